// The speed goals and the floor they are measured against.
//
// Floor: the loop-carried chain of the recursions alone, with every term that
// does not depend on the previous output left out: for a sixth-order section
// one multiplication, one subtraction and six additions in double and the
// rounding to float and back per sample; for a resonator pass a
// multiplication, an addition, a subtraction, the doubling and the rounding.
// No arrangement of the real filters that keeps their order of arithmetic
// can run a sample of one recursion faster than this.
//
// Goals: a whole XfmDo on 9.8 s of mono at 96 kHz (octave, third-octave), and
// a batch of 100 one-second responses analysed by one and by two threads,
// each response in its own plug-in instance as the command-line host does.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "host/kit/plugin_host.h"
#include "interface/settings.h"
#include "platform/headless.h"
#include "tests/prepared_host.h"

namespace {

void BM_FloorSixthOrderChain(benchmark::State& state) {
  const int64_t samples = state.range(0);
  volatile double coefficient = 0.5;  // volatile: no folding; |a1| < 1 keeps y finite and normal
  const double a1 = coefficient, term = 1e-3;
  for (auto _ : state) {
    double y = 0.5;
    for (int64_t n = 0; n < samples; ++n) {
      double acc = term - a1 * y;
      acc = (((((term + acc) + term) + term) + term) + term);
      acc = acc + term;
      y = static_cast<double>(static_cast<float>(acc));
    }
    benchmark::DoNotOptimize(y);
  }
  state.SetItemsProcessed(state.iterations() * samples);
}

void BM_FloorResonatorChain(benchmark::State& state) {
  const int64_t samples = state.range(0);
  volatile double coefficient = 0.45;  // 2 gamma < 1 keeps y finite and normal
  const double gamma = coefficient, term = 1e-3, otherTerm = 0.5e-3;
  for (auto _ : state) {
    double y = 0.5;
    for (int64_t n = 0; n < samples; ++n) {
      y = static_cast<double>(static_cast<float>(2.0 * ((term + gamma * y) - otherTerm)));
    }
    benchmark::DoNotOptimize(y);
  }
  state.SetItemsProcessed(state.iterations() * samples);
}

// A decaying noise-like response with a direct sound, `channels` interleaved.
std::vector<float> Response(int rateHz, double seconds, int channels, uint32_t seed) {
  const int frames = static_cast<int>(rateHz * seconds);
  std::vector<float> out(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i) {
    const double envelope = 8000.0 * std::exp(-6.9 * i / (1.2 * rateHz));
    for (int c = 0; c < channels; ++c) {
      seed = seed * 1664525u + 1013904223u;
      out[static_cast<size_t>(i) * channels + c] =
          static_cast<float>(envelope * ((seed >> 8) / 8388608.0 - 1.0));
    }
  }
  out[static_cast<size_t>(rateHz / 50) * channels] = 30000.0f;  // the direct sound after 20 ms
  return out;
}

void MonoRun(benchmark::State& state, uint8_t thirdOctave) {
  headless::ResetThreadState();
  hostkit::PluginHost host;
  PrepareHost(host, thirdOctave, 1, 96000, Response(96000, 9.8, 1, 42u));
  for (auto _ : state) {
    host.calls.clear();
    benchmark::DoNotOptimize(host.Do());
  }
}

void BM_WholeRunMonoOctave(benchmark::State& state) { MonoRun(state, 0); }
void BM_WholeRunMonoThirdOctave(benchmark::State& state) { MonoRun(state, 1); }

// 100 one-second stereo responses at 48 kHz, shared out among the threads.
void BM_BatchOf100OneSecondFiles(benchmark::State& state) {
  static const std::vector<float> audio = Response(48000, 1.0, 2, 7u);
  for (auto _ : state) {
    headless::ResetThreadState();
    for (int file = state.thread_index(); file < 100; file += state.threads()) {
      hostkit::PluginHost host;
      PrepareHost(host, 0, 2, 48000, audio);
      benchmark::DoNotOptimize(host.Do());
    }
  }
}

BENCHMARK(BM_FloorSixthOrderChain)->Arg(1 << 20);
BENCHMARK(BM_FloorResonatorChain)->Arg(1 << 20);
BENCHMARK(BM_WholeRunMonoOctave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeRunMonoThirdOctave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BatchOf100OneSecondFiles)->Unit(benchmark::kMillisecond)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
