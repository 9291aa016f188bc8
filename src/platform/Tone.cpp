#include "platform/Tone.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <system_error>
#include <thread>

namespace platform {

namespace {

constexpr double kAmplitude = 0.4 * 32767.0;
constexpr int kFadeMs = 5;
// How much sound ALSA may buffer ahead; short, so the tone ends close to when PlayTone returns.
constexpr unsigned kLatencyUs = 50000;

constexpr std::array<ToneStep, 3> kSuccess{{{2000, 30, 100}, {2000, 30, 100}, {2000, 30, 0}}};
constexpr std::array<ToneStep, 1> kFailure{{{410, 150, 0}}};

std::mutex g_playerMutex;
std::shared_ptr<const TonePlayer> g_player;

// ALSA reports a missing device on stderr by default; a missing device only means silence here.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaError); });
}

// Writes the samples to the default playback device and waits until they have played. False
// when no device opens or the device fails; the caller then keeps the time by itself.
bool PlayOnDefaultDevice(const std::vector<std::int16_t>& samples) {
    SilenceAlsaErrors();
    snd_pcm_t* pcm = nullptr;
    // Opened non-blocking so a device held by another program fails at once instead of waiting.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    bool ok = snd_pcm_nonblock(pcm, 0) == 0 &&
              snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                                 kToneSampleRate, 1, kLatencyUs) == 0;
    const std::int16_t* next = samples.data();
    snd_pcm_uframes_t left = samples.size();
    while (ok && left > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, next, left);
        if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
        if (n < 0) {
            ok = false;
        } else {
            next += n;
            left -= static_cast<snd_pcm_uframes_t>(n);
        }
    }
    if (ok) snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    return ok;
}

void PlayOnDevice(int hz, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    PlayOnDefaultDevice(GenerateTone(hz, ms));
    // Holds the caller for the tone's length whatever happened to the sound.
    std::this_thread::sleep_until(end);
}

}  // namespace

std::vector<std::int16_t> GenerateTone(int hz, int ms, int sampleRate) {
    if (ms <= 0 || sampleRate <= 0) return {};
    const std::size_t count =
        static_cast<std::size_t>(sampleRate) * static_cast<std::size_t>(ms) / 1000;
    std::vector<std::int16_t> samples(count, 0);
    if (hz <= 0) return samples;
    const std::size_t fade =
        std::min(count / 2, static_cast<std::size_t>(sampleRate) * kFadeMs / 1000);
    const double step = 2.0 * std::numbers::pi * hz / sampleRate;
    for (std::size_t i = 0; i < count; ++i) {
        double gain = 1.0;
        const std::size_t edge = std::min(i, count - 1 - i);
        if (edge < fade) gain = static_cast<double>(edge) / static_cast<double>(fade);
        samples[i] = static_cast<std::int16_t>(std::lround(kAmplitude * gain * std::sin(step * i)));
    }
    return samples;
}

void SetTonePlayer(TonePlayer player) {
    std::lock_guard lock(g_playerMutex);
    g_player = player ? std::make_shared<const TonePlayer>(std::move(player)) : nullptr;
}

void PlayTone(int hz, int ms) {
    std::shared_ptr<const TonePlayer> player;
    {
        std::lock_guard lock(g_playerMutex);
        player = g_player;
    }
    if (player) {
        (*player)(hz, ms);
    } else {
        PlayOnDevice(hz, ms);
    }
}

std::span<const ToneStep> SuccessTones() {
    return kSuccess;
}

std::span<const ToneStep> FailureTones() {
    return kFailure;
}

void PlayToneSequence(std::span<const ToneStep> steps, const std::function<void(int, int)>& play,
                      const std::function<void(int)>& pause) {
    for (const ToneStep& s : steps) {
        play(s.hz, s.ms);
        if (s.pauseMs > 0) pause(s.pauseMs);
    }
}

void StartToneSequence(std::span<const ToneStep> steps) {
    try {
        std::thread([steps] {
            PlayToneSequence(steps, PlayTone, [](int ms) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            });
        }).detach();
    } catch (const std::system_error&) {
        // No thread: the prompt stays silent.
    }
}

}  // namespace platform
