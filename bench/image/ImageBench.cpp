#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "image/HexConverter.h"
#include "image/HexText.h"
#include "image/VerifyListing.h"

namespace {

constexpr int kSpace = image::kHexAddressSpace;

std::vector<std::uint8_t> RandomImage(unsigned seed) {
    std::vector<std::uint8_t> bytes(image::kHexImageMinSize);
    std::mt19937 random(seed);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// A full 64 KiB image as 4,096 records of 16 bytes (about 180 KB of text).
void BM_ConvertHex64K(benchmark::State& state) {
    const std::vector<std::uint8_t> source = RandomImage(1);
    const std::string text = HexTextOf(source.data(), kSpace);
    std::vector<std::uint8_t> image(image::kHexImageMinSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(image::ConvertHexToImage(text.c_str(), image.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ConvertHex64K)->Unit(benchmark::kMillisecond);

// Two buffers that differ at every address: 65,536 listing lines.
void BM_VerifyListing65536(benchmark::State& state) {
    std::vector<std::uint8_t> written(kSpace);
    std::vector<std::uint8_t> read(kSpace);
    for (int i = 0; i < kSpace; ++i) {
        written[i] = static_cast<std::uint8_t>(i);
        read[i] = static_cast<std::uint8_t>(~i);
    }
    for (auto _ : state) {
        image::VerifyListing listing = image::CompareBuffers(written.data(), read.data());
        benchmark::DoNotOptimize(listing.lines.data());
    }
    state.SetItemsProcessed(state.iterations() * kSpace);
}
BENCHMARK(BM_VerifyListing65536)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
