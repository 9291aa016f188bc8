#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Tone.h"

namespace {

// Sign changes between consecutive non-zero samples.
int ZeroCrossings(const std::vector<std::int16_t>& s) {
    int crossings = 0;
    int last = 0;
    for (std::int16_t v : s) {
        if (v == 0) continue;
        const int sign = v > 0 ? 1 : -1;
        if (last != 0 && sign != last) ++crossings;
        last = sign;
    }
    return crossings;
}

TEST(ToneGenerator, FrequencyAndDurationOfThePromptTones) {
    struct Case {
        int hz;
        int ms;
    };
    for (Case c : {Case{2000, 30}, Case{410, 150}, Case{1000, 7}}) {
        const auto samples = platform::GenerateTone(c.hz, c.ms);
        EXPECT_EQ(samples.size(), static_cast<size_t>(platform::kToneSampleRate * c.ms / 1000));
        // A sine crosses zero twice per period; allow one crossing lost at each faded end.
        const int expected = 2 * c.hz * c.ms / 1000;
        EXPECT_NEAR(ZeroCrossings(samples), expected, 2) << c.hz << " Hz, " << c.ms << " ms";
    }
}

TEST(ToneGenerator, FadesInAndOutWithoutClipping) {
    const auto samples = platform::GenerateTone(2000, 30);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.front(), 0);
    EXPECT_LE(std::abs(samples.back()), 200);
    int peak = 0;
    for (std::int16_t v : samples) peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_GT(peak, 8000);
    EXPECT_LT(peak, 32767);
}

TEST(ToneGenerator, DegenerateArguments) {
    EXPECT_TRUE(platform::GenerateTone(440, 0).empty());
    EXPECT_TRUE(platform::GenerateTone(440, -5).empty());
    const auto silent = platform::GenerateTone(0, 10);
    EXPECT_EQ(silent.size(), 480u);
    EXPECT_EQ(ZeroCrossings(silent), 0);
}

using Call = std::pair<char, int>;  // 't' tone hz, 'l' tone length, 'p' pause

std::vector<Call> Trace(std::span<const platform::ToneStep> steps) {
    std::vector<Call> calls;
    platform::PlayToneSequence(
        steps,
        [&](int hz, int ms) {
            calls.push_back({'t', hz});
            calls.push_back({'l', ms});
        },
        [&](int ms) {
            calls.push_back({'p', ms});
        });
    return calls;
}

TEST(ToneSequence, SuccessIsThreeShortHighTonesAHundredMillisecondsApart) {
    const std::vector<Call> expected{{'t', 2000}, {'l', 30},  {'p', 100},  {'t', 2000},
                                     {'l', 30},   {'p', 100}, {'t', 2000}, {'l', 30}};
    EXPECT_EQ(Trace(platform::SuccessTones()), expected);
}

TEST(ToneSequence, FailureIsOneLowTone) {
    const std::vector<Call> expected{{'t', 410}, {'l', 150}};
    EXPECT_EQ(Trace(platform::FailureTones()), expected);
}

TEST(ToneSequence, StartedSequencePlaysOnAnotherThroughTheInstalledPlayer) {
    std::mutex m;
    std::condition_variable cv;
    std::vector<int> tones;
    const auto caller = std::this_thread::get_id();
    bool otherThread = true;
    platform::SetTonePlayer([&](int hz, int) {
        std::lock_guard lock(m);
        otherThread = otherThread && std::this_thread::get_id() != caller;
        tones.push_back(hz);
        cv.notify_all();
    });
    platform::StartToneSequence(platform::SuccessTones());
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return tones.size() == 3; }));
        EXPECT_TRUE(otherThread);
    }
    platform::SetTonePlayer({});
}

}  // namespace
