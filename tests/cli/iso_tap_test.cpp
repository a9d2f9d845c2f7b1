// The ISO 3382 evaluation made from the plug-in's own band signals (the run
// watcher's tap, on the run's thread or handed to the ISO thread) against
// EvaluateIsoFile re-filtering the same selection: every number the same bit
// for bit, in both layouts, mono and stereo with and without a pair, and when
// the run delivers no band (no first arrival: the tap falls back to
// re-filtering).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/cli/iso_evaluation.h"
#include "host/cli/run_file.h"
#include "host/kit/plugin_host.h"
#include "interface/bands.h"
#include "interface/settings.h"
#include "platform/headless.h"
#include "tests/prepared_host.h"

namespace {

constexpr int RATE_HZ = 44100;

// Integer-valued samples (a 16-bit file): what the plug-in reads is exactly
// what the host holds. Decaying noise with a direct sound and a floor.
std::vector<float> Response(size_t channels, uint32_t seed) {
  const size_t frames = RATE_HZ * 3 / 2;
  std::vector<float> out(frames * channels);
  for (size_t c = 0; c < channels; ++c) {
    uint32_t state = seed + 977u * static_cast<uint32_t>(c);
    for (size_t f = 0; f < frames; ++f) {
      state = state * 1664525u + 1013904223u;
      const double uniform = (state >> 8) / 8388608.0 - 1.0;
      const double envelope = 9000.0 * std::exp(-6.9 * static_cast<double>(f) / (0.6 * RATE_HZ)) + 6.0;
      out[f * channels + c] = static_cast<float>(std::round(envelope * uniform));
    }
    out[(RATE_HZ / 40 + 7 * c) * channels + c] = 30000.0f;
  }
  return out;
}

// Every number of a band's result, in a fixed order.
void Flatten(const IsoBandResult& r, std::vector<double>& out) {
  out.insert(out.end(), {double(r.bandReasons), r.inrDb, r.noiseDb, r.truncationSeconds, r.compensationDb,
                         r.curvaturePercent, r.lundeby.noisePower, r.lundeby.inrDb,
                         double(r.lundeby.truncationIndex), r.lundeby.compensationEnergy});
  for (const IsoDecayFit* fit : {&r.edt, &r.t20, &r.t30})
    out.insert(out.end(),
               {fit->time.value, double(fit->time.reasons), fit->startSeconds, fit->endSeconds,
                fit->interceptDb, fit->slopeDbPerSecond, fit->r2, fit->xiPermille, fit->uncertaintySeconds});
  for (const IsoValue* value : {&r.c50, &r.c80, &r.d50, &r.ts})
    out.insert(out.end(), {value->value, double(value->reasons)});
}

std::vector<double> Flatten(const cli::IsoFileEvaluation& e) {
  std::vector<double> out{double(e.done), e.rateHz, double(e.channels.size())};
  for (const cli::IsoChannelEvaluation& channel : e.channels) {
    out.push_back(channel.onsetSeconds);
    for (const cli::IsoBandEvaluation& band : channel.bands) {
      out.insert(out.end(),
                 {double(band.evaluated), double(band.row), band.nominalHz, double(band.plot.decay.size())});
      if (band.evaluated) Flatten(band.result, out);
      for (const IsoPlotPoint& point : band.plot.decay) out.insert(out.end(), {point.seconds, point.levelDb});
    }
    const IsoSingleNumbers& s = channel.singleNumbers;
    for (const IsoValue* value : {&s.edt, &s.t20Mid, &s.t30Mid, &s.c80, &s.d50, &s.ts})
      out.insert(out.end(), {value->value, double(value->reasons)});
  }
  out.insert(out.end(), {double(e.pair.kind), e.pair.onsetSeconds, double(e.pair.bands.size())});
  for (const cli::IsoPairBand& band : e.pair.bands) {
    for (const cli::SpatialValue* v : {&band.iaccEarly, &band.iaccLate, &band.iaccAll, &band.jlf, &band.jlfc})
      out.insert(out.end(), {v->value, double(v->reasons.size())});
  }
  for (const cli::SpatialValue* v : {&e.pair.oneMinusIaccE3, &e.pair.jlf, &e.pair.jlfc})
    out.insert(out.end(), {v->value, double(v->reasons.size())});
  return out;
}

// Bit for bit, NaN included.
bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(IsoTap, TappedBandSignalsGiveTheReFilteredEvaluation) {
  struct Case {
    const char* name;
    size_t channels;
    bool thirdOctave;
    cli::PairKind pair;
    bool spareCore;
    const char* threshold;  // empty: automatic
    bool plots;
  };
  const Case cases[] = {
      {"mono octave, inline", 1, false, cli::PairKind::None, false, "", false},
      {"mono octave, ISO thread, plots", 1, false, cli::PairKind::None, true, "", true},
      {"mono thirds, ISO thread", 1, true, cli::PairKind::None, true, "", false},
      {"mono thirds, inline", 1, true, cli::PairKind::None, false, "", false},
      {"stereo octave, no pair, ISO thread", 2, false, cli::PairKind::None, true, "", false},
      {"stereo octave, binaural, ISO thread", 2, false, cli::PairKind::Binaural, true, "", false},
      {"stereo thirds, omni + figure-of-eight, inline", 2, true, cli::PairKind::OmniFigure8, false, "",
       false},
      // No first arrival: the run stops before any band; re-filtered.
      {"no arrival, ISO thread", 1, false, cli::PairKind::None, true, "32000", false},
      {"no arrival, inline", 2, false, cli::PairKind::Binaural, false, "32000", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> samples = Response(c.channels, 11);
    cli::Options options;
    options.thirdOctave = c.thirdOctave;
    options.pair = c.pair;
    options.spareCore = c.spareCore;
    if (*c.threshold) {
      options.thresholdMode = cli::ThresholdMode::Given;
      options.thresholdText = c.threshold;
    }
    if (c.plots) options.htmlPath = "unused.html";
    cli::FileResult result;
    result.input.path = "synthetic";
    cli::AudioData& audio = result.input.audio;
    audio.fileChannels = static_cast<int>(c.channels);
    audio.usedChannels = c.channels == 1 ? std::vector<int>{1} : std::vector<int>{1, 2};
    audio.sampleRate = RATE_HZ;
    audio.fileFrames = samples.size() / c.channels;
    audio.bitsOffered = 16;
    audio.samples = samples;
    result.input.lastFrame = static_cast<uint32_t>(audio.fileFrames - 1);
    cli::AnalyseSelection(options, {}, cli::RunListener{}, result);
    EXPECT_EQ(result.outcome.haveResults, *c.threshold == 0);

    cli::IsoRequest request;
    request.thirdOctave = c.thirdOctave;
    request.keepPlots = c.plots;
    request.pair = c.channels == 2 ? c.pair : cli::PairKind::None;
    cli::IsoFileEvaluation reference;
    cli::EvaluateIsoFile(samples.data(), samples.size() / c.channels, c.channels, RATE_HZ, request, nullptr,
                         reference);
    ASSERT_TRUE(reference.done);
    EXPECT_TRUE(result.outcome.iso.done);
    EXPECT_TRUE(SameBits(Flatten(result.outcome.iso), Flatten(reference)));
  }
}

// The run delivers every band signal of both channels to the tap (the
// evaluation is taken, not re-filtered) in both layouts.
TEST(IsoTap, RunDeliversEveryBand) {
  for (const uint8_t thirdOctave : {0, 1}) {
    const std::vector<float> samples = Response(2, 3);
    headless::ResetThreadState();
    hostkit::PluginHost host;
    PrepareHost(host, thirdOctave, 2, RATE_HZ, samples);
    cli::IsoRequest request;
    request.thirdOctave = thirdOctave != 0;
    request.pair = cli::PairKind::Binaural;
    cli::IsoTappedEvaluation tapped(samples.data(), samples.size() / 2, 2, RATE_HZ, request, nullptr);
    host.onBandSignal = [&](const BandSignalTrace& t) {
      const float nominal = t.row == 0    ? 0.0f
                            : thirdOctave ? ThirdOctaveCentreHz(t.row)
                                          : OctaveCentreHz(t.row);
      tapped.Take(t.channelLetter == 'r' ? 1 : 0,
                  IsoBandSignal{t.row, nominal, t.rateHz, t.samples, t.length});
    };
    host.Do();
    EXPECT_TRUE(tapped.Complete());
    cli::IsoFileEvaluation fromRun, reference;
    tapped.Finish(fromRun);
    cli::EvaluateIsoFile(samples.data(), samples.size() / 2, 2, RATE_HZ, request, nullptr, reference);
    EXPECT_TRUE(SameBits(Flatten(fromRun), Flatten(reference)));
  }
}

// Band signals out of the plug-in's order are not taken: the evaluation
// re-filters and still gives the reference.
TEST(IsoTap, BandsOutOfOrderFallBackToReFiltering) {
  const std::vector<float> samples = Response(1, 5);
  const size_t frames = samples.size();
  cli::IsoRequest request;
  cli::IsoFileEvaluation reference, tapped;
  cli::EvaluateIsoFile(samples.data(), frames, 1, RATE_HZ, request, nullptr, reference);
  cli::IsoTappedEvaluation evaluation(samples.data(), frames, 1, RATE_HZ, request, nullptr);
  // A band before Lin.
  evaluation.Take(0, IsoBandSignal{9, 8000.0f, RATE_HZ, samples.data(), static_cast<uint32_t>(frames)});
  EXPECT_FALSE(evaluation.Complete());
  evaluation.Finish(tapped);
  EXPECT_TRUE(SameBits(Flatten(tapped), Flatten(reference)));
}

}  // namespace
