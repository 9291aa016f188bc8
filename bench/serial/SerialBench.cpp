// 8 KiB written and verified through the programmer box emulator, which paces both directions at
// 57600 baud. Reported: data bytes per second (written plus read back) and the ratio of the time
// taken to the wire time (19 bytes on the line per 16 data bytes each way, 10 bits a byte).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>

#include "core/CEventQueue.h"
#include "core/CProgrammer.h"
#include "serial/PortNames.h"
#include "serial/SerialBackend.h"
#include "sim/CBoxEmulator.h"

namespace {

constexpr int kPort = 1;
constexpr int kBaud = 57600;
constexpr int kImageSize = 8192;

// Waits for the event, failing the benchmark when something else ends the operation.
bool WaitFor(CEventQueue& queue, int wanted, benchmark::State& state) {
    while (auto code = queue.WaitEvent(std::chrono::seconds(10))) {
        if (*code == wanted) return true;
        if (*code == PE_RECEIVE_ERROR || *code == PE_WRITE_ERROR || *code == PE_UNAVAILABLE) break;
    }
    state.SkipWithError("the operation did not finish");
    return false;
}

// state.range(0): the rate the emulator paces its line at, 0 for none (the round trips alone).
void BM_WriteAndVerify8K(benchmark::State& state) {
    CBoxEmulator box;
    box.SetLineRate(static_cast<int>(state.range(0)));
    if (!box.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    SetComDeviceOverride(kPort, box.SlavePath());
    ChipInfo chip{};
    std::strcpy(chip.szName, "AT89S52");
    chip.bAlgorithm = 2;
    chip.nRomKB = 8;
    CEventQueue queue;
    BackendFactory factory;
    factory.createSerial = CreateSerialBackend;
    CProgrammer programmer(std::move(factory));
    programmer.m_ChipList = {chip};
    programmer.m_nComPort = kPort;
    programmer.m_nBaudIndex = 3;
    programmer.Init(&queue, 0, 0);
    programmer.CheckReady(0);
    if (!WaitFor(queue, PE_READY, state)) return;

    std::mt19937 random(52);
    for (int i = 0; i < kImageSize; ++i) {
        programmer.m_pBuffer1[i] = static_cast<std::uint8_t>(random() % 255);
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        programmer.WriteChip(0);
        if (!WaitFor(queue, PE_READY, state)) break;  // the box's answer to the end frame
        programmer.m_bReadWrittenLength = 1;
        programmer.ReadChip(0);
        if (!WaitFor(queue, PE_READ_DONE, state)) break;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        seconds += took.count();
        queue.TakeAll();
    }
    const double wire = 2.0 * (kImageSize / 16) * 19 * 10 / kBaud;
    const double iterations = static_cast<double>(state.iterations());
    state.counters["data_bytes_per_s"] = 2.0 * kImageSize * iterations / seconds;
    state.counters["wire_s"] = wire;
    state.counters["ratio_to_wire"] = seconds / iterations / wire;
    SetComDeviceOverride(kPort, "");
}

BENCHMARK(BM_WriteAndVerify8K)
    ->Arg(kBaud)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
