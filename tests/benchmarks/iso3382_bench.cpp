// The ISO 3382 evaluation's cost beside the plug-in's own band work, on one
// 9.8 s mono response at 44.1 kHz (the rate the hosts resample to): a direct
// sound, then decaying noise (T 1.2 s) over a stationary floor 60 dB below
// the decay's start, so that Lundeby's truncation has a knee to find.
//
//  - IsoBandSignals: the band signals alone (Lin and every band through the
//    plug-in's filters), octave (0) and third-octave (1);
//  - IsoEvaluateBands: EvaluateIsoBand over the collected signals, one
//    workspace for all bands;
//  - IsoWholeChannel: both, band by band, as a host evaluates a channel
//    (workspace and scratch kept from run to run, as from channel to channel);
//  - PluginBandWork: the plug-in's own band work on the same signal: Lin,
//    then FilterOctaveCascade (or the third-octave pairs and the
//    decimation) and ComputeBandParameters with its noise correction per band;
//  - PluginWholeRun44k: a whole XfmDo of the same response.
// Compare medians of one run only (IsoEvaluateBands / PluginBandWork).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "acoustics/band_parameters.h"
#include "acoustics/iso3382_decay.h"
#include "dsp/filters.h"
#include "dsp/iso3382_band_signals.h"
#include "dsp/signal.h"
#include "host/kit/plugin_host.h"
#include "interface/settings.h"
#include "platform/headless.h"
#include "tests/prepared_host.h"

namespace {

constexpr int RATE_HZ = 44100;
constexpr double SECONDS = 9.8;
constexpr int LEVEL_COUNT = 9;

// Sample units as the plug-in sees a 16-bit file.
const std::vector<float>& Response() {
  static const std::vector<float> x = [] {
    std::vector<float> out(static_cast<size_t>(RATE_HZ * SECONDS));
    uint32_t seed = 42u;
    auto uniform = [&seed] {
      seed = seed * 1664525u + 1013904223u;
      return (seed >> 8) / 8388608.0 - 1.0;
    };
    for (size_t i = 0; i < out.size(); ++i) {
      const double envelope = 8000.0 * std::exp(-6.9 * i / (1.2 * RATE_HZ));
      out[i] = static_cast<float>(envelope * uniform() + 8.0 * uniform());
    }
    out[RATE_HZ / 50] = 30000.0f;  // the direct sound after 20 ms
    return out;
  }();
  return x;
}

bool ThirdOctave(const benchmark::State& state) { return state.range(0) != 0; }

void BM_IsoBandSignals(benchmark::State& state) {
  const std::vector<float>& x = Response();
  IsoBandScratch scratch;
  for (auto _ : state) {
    double sink = 0.0;
    ForEachIsoBandSignal(
        x.data(), static_cast<uint32_t>(x.size()), RATE_HZ, ThirdOctave(state),
        [&sink](const IsoBandSignal& band) {
          sink += band.samples[band.length / 2];
          return true;
        },
        &scratch);
    benchmark::DoNotOptimize(sink);
  }
}

IsoBandInput InputFor(const float* samples, uint32_t length, double rateHz, float nominalHz, double onset,
                      bool thirdOctave) {
  return IsoBandInput{samples, length,    rateHz,
                      onset,   nominalHz, IsoNominalBandwidthHz(nominalHz, thirdOctave)};
}

void BM_IsoEvaluateBands(benchmark::State& state) {
  const std::vector<float>& x = Response();
  const bool third = ThirdOctave(state);
  const std::vector<IsoOwnedBandSignal> bands =
      CollectIsoBandSignals(x.data(), static_cast<uint32_t>(x.size()), RATE_HZ, third);
  const double onset = IsoOnsetSeconds(x.data(), static_cast<uint32_t>(x.size()), RATE_HZ);
  IsoWorkspace work;
  for (auto _ : state) {
    double sink = 0.0;
    for (const IsoOwnedBandSignal& b : bands) {
      const IsoBandResult r =
          EvaluateIsoBand(InputFor(b.samples.data(), static_cast<uint32_t>(b.samples.size()), b.rateHz,
                                   b.nominalHz, onset, third),
                          &work);
      sink += r.t30.time.value + r.c80.value;
    }
    benchmark::DoNotOptimize(sink);
  }
}

void BM_IsoWholeChannel(benchmark::State& state) {
  const std::vector<float>& x = Response();
  const bool third = ThirdOctave(state);
  IsoWorkspace work;
  IsoBandScratch scratch;
  for (auto _ : state) {
    double sink = 0.0;
    const double onset = IsoOnsetSeconds(x.data(), static_cast<uint32_t>(x.size()), RATE_HZ);
    ForEachIsoBandSignal(
        x.data(), static_cast<uint32_t>(x.size()), RATE_HZ, third,
        [&](const IsoBandSignal& b) {
          const IsoBandResult r =
              EvaluateIsoBand(InputFor(b.samples, b.length, b.rateHz, b.nominalHz, onset, third), &work);
          sink += r.t30.time.value + r.c80.value;
          return true;
        },
        &scratch);
    benchmark::DoNotOptimize(sink);
  }
}

// One band's parameters as the band analysis computes them (noise corrected).
float PluginBand(float* band, uint32_t t0, uint32_t length, float rateHz) {
  float values[11];
  char flags[11];
  BandOutcome outcome;
  const double noise = EstimateNoiseFloor(band, length);
  ComputeBandParameters(band, values, flags, DecayRange{-5.0f, -35.0f}, t0, noise, length, rateHz, &outcome);
  return values[0];
}

void BM_PluginBandWork(benchmark::State& state) {
  const std::vector<float>& x = Response();
  const bool third = ThirdOctave(state);
  std::vector<float> source(x.size()), work(2 * x.size() + 1);
  for (auto _ : state) {
    uint32_t length = static_cast<uint32_t>(x.size());
    float rateHz = RATE_HZ;
    source.assign(x.begin(), x.end());
    work.assign(x.begin(), x.end());
    uint32_t t0 = FindFirstArrival(work.data(), length, 20000.0);
    float sink = PluginBand(work.data(), t0, length, rateHz);
    if (!third) {
      FilterOctaveCascade(source.data(), length, LEVEL_COUNT, work.data());
      float* band = work.data();
      for (int level = LEVEL_COUNT; level >= 1; --level, band += length, length /= 2, rateHz *= 0.5f, t0 /= 2)
        sink += PluginBand(band, t0, length, rateHz);
    } else {
      for (int level = LEVEL_COUNT; level >= 1; --level, length /= 2, rateHz *= 0.5f, t0 /= 2) {
        float* signals[3] = {work.data(), work.data() + length, work.data()};
        FilterSixthOrderPair(ThirdOctaveBandPass1, ThirdOctaveBandPass2, source.data(), signals[0],
                             signals[1], length, false);
        sink += PluginBand(signals[0], t0, length, rateHz) + PluginBand(signals[1], t0, length, rateHz);
        FilterSixthOrderPair(ThirdOctaveBandPass3, DecimationLowPass, source.data(), signals[2],
                             source.data(), length, true);
        sink += PluginBand(signals[2], t0, length, rateHz);
      }
    }
    benchmark::DoNotOptimize(sink);
  }
}

void BM_PluginWholeRun44k(benchmark::State& state) {
  headless::ResetThreadState();
  hostkit::PluginHost host;
  PrepareHost(host, static_cast<uint8_t>(ThirdOctave(state)), 1, RATE_HZ, Response());
  for (auto _ : state) {
    host.calls.clear();
    benchmark::DoNotOptimize(host.Do());
  }
}

// Argument: 0 octave, 1 third-octave.
BENCHMARK(BM_IsoBandSignals)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsoEvaluateBands)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsoWholeChannel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PluginBandWork)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PluginWholeRun44k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
