// A whole XfmDo on a 10 s, 96 kHz stereo response, in octave and in
// third-octave mode, through the host kit and the headless stand-in (the
// results dialog closes by itself).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "host/kit/plugin_host.h"
#include "interface/settings.h"
#include "platform/headless.h"
#include "tests/prepared_host.h"

namespace {

constexpr int RATE_HZ = 96000;
constexpr int SECONDS = 10;

std::vector<float> StereoResponse() {
  uint32_t state = 1234567u;
  const int frames = RATE_HZ * SECONDS;
  std::vector<float> out(2 * static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    const double envelope = 10000.0 * std::pow(10.0, -3.0 * i / (1.5 * RATE_HZ));
    for (int c = 0; c < 2; ++c) {
      state = state * 1664525u + 1013904223u;
      out[2 * static_cast<size_t>(i) + c] = static_cast<float>(envelope * ((state >> 8) / 8388608.0 - 1.0));
    }
  }
  out[2000] = out[2001] = 30000.0f;  // the direct sound
  return out;
}

void WholeRun(benchmark::State& state, uint8_t thirdOctave) {
  headless::ResetThreadState();
  hostkit::PluginHost host;
  PrepareHost(host, thirdOctave, 2, RATE_HZ, StereoResponse(), 32);
  for (auto _ : state) {
    host.calls.clear();
    benchmark::DoNotOptimize(host.Do());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(RATE_HZ) * SECONDS);
}

void BM_WholeRunOctave(benchmark::State& state) { WholeRun(state, 0); }
void BM_WholeRunThirdOctave(benchmark::State& state) { WholeRun(state, 1); }

BENCHMARK(BM_WholeRunOctave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WholeRunThirdOctave)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
