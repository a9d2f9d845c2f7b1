// Throughput of the band filters and of one band's parameter set, in samples
// per second, for 1 s and 10 s of signal at 48 kHz.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "acoustics/band_parameters.h"
#include "dsp/filters.h"

namespace {

constexpr int kRateHz = 48000;

// A decaying noise-like response with a 0.8 s reverberation time.
std::vector<float> Response(int64_t length) {
  std::vector<float> x(static_cast<size_t>(length));
  uint32_t state = 12345u;
  for (int64_t k = 0; k < length; ++k) {
    state = state * 1664525u + 1013904223u;
    const double noise = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
    x[static_cast<size_t>(k)] = static_cast<float>(20000.0 * noise * std::exp(-6.9 * k / (0.8 * kRateHz)));
  }
  return x;
}

void BM_FilterSixthOrder(benchmark::State& state) {
  const std::vector<float> source = Response(state.range(0));
  std::vector<float> destination(source.size());
  for (auto _ : state) {
    FilterSixthOrder(OctaveBandPass, source.data(), destination.data(), static_cast<uint32_t>(source.size()));
    benchmark::DoNotOptimize(destination.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ResonatorOctaveFilter(benchmark::State& state) {
  const std::vector<float> source = Response(state.range(0));
  std::vector<float> work(source.size());
  for (auto _ : state) {
    std::memcpy(work.data(), source.data(), source.size() * sizeof(float));
    ResonatorOctaveFilter(work.data(), static_cast<uint32_t>(work.size()), 1000.0f,
                          static_cast<float>(kRateHz));
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ComputeBandParameters(benchmark::State& state) {
  const std::vector<float> source = Response(state.range(0));
  std::vector<float> work(source.size());
  BandOutcome outcome;
  float values[11];
  char flags[11];
  for (auto _ : state) {
    std::memcpy(work.data(), source.data(), source.size() * sizeof(float));
    ComputeBandParameters(work.data(), values, flags, DecayRange{-5.0f, -35.0f}, 0, 0.0,
                          static_cast<uint32_t>(work.size()), static_cast<float>(kRateHz), &outcome);
    benchmark::DoNotOptimize(values);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The copy into the work buffer is part of each iteration for the in-place
// routines, as it is in the band analysis.
BENCHMARK(BM_FilterSixthOrder)->Arg(kRateHz)->Arg(10 * kRateHz);
BENCHMARK(BM_ResonatorOctaveFilter)->Arg(kRateHz)->Arg(10 * kRateHz);
BENCHMARK(BM_ComputeBandParameters)->Arg(kRateHz)->Arg(10 * kRateHz);

}  // namespace
