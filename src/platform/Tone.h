#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Beeps: sine tones on the default sound device, and the fixed tone sequences of the success and
// failure prompts, each played on a detached thread of its own.
namespace platform {

// Sample rate of every generated tone.
constexpr int kToneSampleRate = 48000;

// Mono signed 16-bit samples of a sine at hz lasting ms milliseconds (rate * ms / 1000 samples),
// with a short linear fade at both ends so the tone starts and stops without a click. Empty for
// a non-positive duration; silence for a non-positive frequency. Pure, any thread.
std::vector<std::int16_t> GenerateTone(int hz, int ms, int sampleRate = kToneSampleRate);

// Plays the tone and returns when it has sounded, like the Windows Beep call: the caller is held
// for the tone's length even when no sound device opens (the tone is then silent), so sequences
// keep their rhythm. Any thread; several tones may play at once.
void PlayTone(int hz, int ms);

// What PlayTone does instead of sounding (tests record tones with it). An empty function restores
// the sound device. Any thread; a tone already playing finishes with the player it started with.
using TonePlayer = std::function<void(int hz, int ms)>;
void SetTonePlayer(TonePlayer player);

// One tone of a prompt followed by a pause.
struct ToneStep {
    int hz;
    int ms;
    int pauseMs;
};

// Three 30 ms tones at 2000 Hz, 100 ms apart.
std::span<const ToneStep> SuccessTones();
// One tone of 410 Hz for 150 ms.
std::span<const ToneStep> FailureTones();

// Runs the steps in order on the calling thread: play(hz, ms), then pause(pauseMs) when positive.
void PlayToneSequence(std::span<const ToneStep> steps, const std::function<void(int, int)>& play,
                      const std::function<void(int)>& pause);

// Plays the sequence through PlayTone on a new detached thread and returns at once. The steps
// must outlive the thread (the two sequences above are static). A thread that cannot be started
// costs only its sound.
void StartToneSequence(std::span<const ToneStep> steps);

}  // namespace platform
