// 8 KiB written and read back for verification through the Arduino link, on the emulated board
// pacing its line at the rate given. Each byte is one UNIVERSAL command each way: 6 bytes to the
// board and 3 back, so the host-to-board direction bounds the work at 16384 * 6 bytes of 10 bits.
// Reported: the ratio of the time taken to that line time, with the link's ten commands in flight
// and with one (stop and wait, as a programmer that waits for every reply does).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "isp/CArduinoIspLink.h"
#include "sim/CArduinoIspEmulator.h"

namespace {

constexpr int kImageSize = 8192;

// state.range(0): the line rate; state.range(1): UNIVERSAL commands in flight.
void BM_ArduinoWriteAndVerify8K(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    CArduinoIspEmulator board;
    board.SetLineRate(baud);
    if (!board.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    ArduinoIspOptions options;
    options.bootWaitMs = 0;
    options.maxInFlight = static_cast<int>(state.range(1));
    CArduinoIspLink link(board.SlavePath(), baud, nullptr, options);
    if (!link.Open() || link.Enter({0xAC, 0x53, 0x00, 0x00}) != 0x69) {
        state.SkipWithError("the link did not open");
        return;
    }
    std::vector<IspInstruction> writes;
    std::vector<IspInstruction> reads;
    for (int a = 0; a < kImageSize; ++a) {
        const auto high = static_cast<std::uint8_t>(a >> 8);
        const auto low = static_cast<std::uint8_t>(a);
        writes.push_back({0x40, high, low, static_cast<std::uint8_t>(a * 13)});
        reads.push_back({0x20, high, low, 0x00});
    }
    std::vector<std::uint8_t> answers(kImageSize);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!link.Transact(writes, answers) || !link.Transact(reads, answers)) {
            state.SkipWithError(link.Reason().c_str());
            break;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        seconds += took.count();
    }
    link.Leave();
    const double line = 2.0 * kImageSize * CArduinoIspLink::kUniversalBytes * 10 / baud;
    state.counters["line_s"] = line;
    state.counters["ratio_to_line"] = seconds / static_cast<double>(state.iterations()) / line;
}

}  // namespace

BENCHMARK(BM_ArduinoWriteAndVerify8K)
    ->ArgsProduct({{19200, 115200}, {10, 1}})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
