#include <benchmark/benchmark.h>

#include "lpt/GpioTestSupport.h"
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

// Every DB-25 pin on a GPIO line of its own.
GpioPinMap EveryPinMapped() {
    GpioPinMap map = EmptyGpioPinMap();
    for (int pin = 1; pin <= 17; ++pin) map[static_cast<size_t>(pin)] = pin;
    return map;
}

// Reads back a random 4 KiB image at cable speed 2 on the ByteBlaster (the read phase alone is
// counted) and reports the port operations per byte read and per second. Arguments: page mode
// on (1) or off (0), and the parallel port's registers (0) or a port made of GPIO lines of a
// fake line device (1).
void BM_Read4KiBAtSpeed2(benchmark::State& state) {
    constexpr int kBytes = 4096;
    const bool pageRead = state.range(0) != 0;
    SimRig::PortOnCable gpio = [](std::unique_ptr<CSimCable> cable) {
        return std::make_unique<CGpioOnSimCable>(std::move(cable), EveryPinMapped());
    };
    SimRig rig(2, 2, MakeSimCable(2, 0), false, pageRead ? "" : "[Options]\nPageRead=0\n",
               state.range(1) ? gpio : SimRig::PortOnCable{});
    LoadRandomImage(*rig.programmer, kBytes, 8);
    rig.programmer->WriteChip(kChipS52);
    if (rig.Events().back() != PE_WRITE_DONE) state.SkipWithError("write failed");
    rig.programmer->m_bReadWrittenLength = 1;
    // Accesses at the port interface: register accesses, or line ioctls through GPIO.
    const std::uint64_t before = rig.port->accesses;
    for (auto _ : state) {
        rig.programmer->ReadChip(kChipS52);
        if (rig.Events().back() != PE_READ_DONE) state.SkipWithError("read failed");
    }
    const double ops = static_cast<double>(rig.port->accesses - before);
    state.counters["port_ops_per_byte"] =
        benchmark::Counter(ops / (static_cast<double>(state.iterations()) * kBytes));
    state.counters["port_ops_per_second"] = benchmark::Counter(ops, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Read4KiBAtSpeed2)
    ->ArgNames({"page", "gpio"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
