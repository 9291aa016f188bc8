#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "isp/CArduinoIspLink.h"
#include "lpt/LptTestSupport.h"
#include "lpt/ParallelBackend.h"
#include "platform/FailureReason.h"
#include "sim/CArduinoIspEmulator.h"

namespace {

using Faults = CArduinoIspEmulator::Faults;

// A controller whose cable backend runs over the Arduino link to an emulated board with the
// faults given; failure reasons recorded.
struct ArduinoRig {
    explicit ArduinoRig(const Faults& faults) {
        platform::SetSettingsDir(settings.path());
        platform::SetFailureReasonSink([this](const std::string& r) { reasons.push_back(r); });
        EXPECT_TRUE(board.Start());
        board.SetFaults(faults);
        BackendFactory factory;
        factory.createParallel = [this](CProgrammer& p, int, int) {
            return CreateLinkBackend(p, [this](std::function<bool()> stopping) {
                ArduinoIspOptions options;
                options.bootWaitMs = 0;
                options.syncReplyMs = 20;
                options.replyTimeoutMs = 300;
                return std::make_unique<CArduinoIspLink>(board.SlavePath(), 19200,
                                                         std::move(stopping), options);
            });
        };
        programmer = std::make_unique<CProgrammer>(std::move(factory));
        programmer->m_ChipList = TestChipList();
        programmer->Init(&queue, 1, 2);
        initEvents = queue.TakeAll();
    }
    ~ArduinoRig() {
        programmer.reset();
        platform::SetFailureReasonSink({});
        platform::SetSettingsDir("");
    }

    TempDir settings;
    CArduinoIspEmulator board;
    CEventQueue queue;
    std::vector<std::string> reasons;
    std::unique_ptr<CProgrammer> programmer;
    std::vector<int> initEvents;
};

Faults Set(void (*set)(Faults&)) {
    Faults faults;
    set(faults);
    return faults;
}

}  // namespace

TEST(ArduinoBackend, ABoardThatDoesNotSyncFailsTheInitNamingItsPort) {
    ArduinoRig rig(Set([](Faults& f) { f.noSync = true; }));
    EXPECT_EQ(rig.initEvents, std::vector<int>{PE_PARALLEL_INIT_FAILED});
    ASSERT_EQ(rig.reasons.size(), 1u);
    EXPECT_EQ(rig.reasons[0].rfind(rig.board.SlavePath() + ": no answer to STK500 sync", 0), 0u);
}

// Replies are counted from the sync on: the write's bytes start after about ten, so the 60th
// falls within a write of 300 bytes.
TEST(ArduinoBackend, FaultsMidWriteEndItWithOneFailureAndLeaveProgrammingMode) {
    for (const Faults& faults :
         {Set([](Faults& f) { f.dropReplyByte = 60; }), Set([](Faults& f) { f.stopAfter = 60; }),
          Set([](Faults& f) { f.noChip = true; })}) {
        ArduinoRig rig(faults);
        ASSERT_EQ(rig.initEvents, std::vector<int>{PE_PARALLEL_INIT_DONE});
        CProgrammer& p = *rig.programmer;
        LoadRandomImage(p, 300, 5);
        p.WriteChip(kChipS52);
        const std::vector<int> events = OperationEvents(rig.queue);
        const int failure = faults.noChip ? PE_NO_CHIP_ANSWER : PE_WRITE_ERROR;
        EXPECT_EQ(events.back(), failure);
        EXPECT_EQ(std::count(events.begin(), events.end(), failure), 1);
        ASSERT_EQ(rig.reasons.size(), 1u);
        EXPECT_EQ(rig.reasons[0].rfind(rig.board.SlavePath() + ": ", 0), 0u) << rig.reasons[0];
        EXPECT_FALSE(rig.board.HoldsReset());
    }
}
