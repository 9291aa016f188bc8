#include <benchmark/benchmark.h>

#include "lpt/LptTestSupport.h"

namespace {

// Programs a random 4 KiB image through the controller on the simulated Kestavo cable at cable
// speed 2, with a chip that verifies every byte at the first poll. Reports the port operations
// per programmed byte and the port operations per second.
void BM_Write4KiBAtSpeed2(benchmark::State& state) {
    constexpr int kBytes = 4096;
    SimRig rig(1, 2, MakeSimCable(1, /*busyReads=*/0));
    LoadRandomImage(*rig.programmer, kBytes, 7);
    const std::uint64_t before = rig.cable->PortWrites() + rig.cable->PortReads();
    for (auto _ : state) {
        rig.programmer->WriteChip(kChipS52);
        if (rig.Events().back() != PE_WRITE_DONE) state.SkipWithError("write failed");
    }
    const double ops =
        static_cast<double>(rig.cable->PortWrites() + rig.cable->PortReads() - before);
    state.counters["port_ops_per_byte"] =
        benchmark::Counter(ops / (static_cast<double>(state.iterations()) * kBytes));
    state.counters["port_ops_per_second"] = benchmark::Counter(ops, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Write4KiBAtSpeed2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The simulated cable alone, driven with the same mix of accesses (25 writes to 8 reads): what
// the port itself costs, against which the backend's overhead shows.
void BM_SimCableAlone(benchmark::State& state) {
    auto cable = MakeSimCable(1, 0);
    std::uint8_t control = 0x04;
    std::uint64_t ops = 0;
    for (auto _ : state) {
        for (int i = 0; i < 25; ++i) {
            control ^= 0x01;
            cable->WriteControl(control);
        }
        for (int i = 0; i < 8; ++i) benchmark::DoNotOptimize(cable->ReadStatus());
        ops += 33;
    }
    state.counters["port_ops_per_second"] =
        benchmark::Counter(static_cast<double>(ops), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimCableAlone);

}  // namespace

BENCHMARK_MAIN();
