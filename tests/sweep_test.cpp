// The exponential sweep and its deconvolution against known answers: a
// bundled room response "recorded" by FFT convolution, with noise and a
// memoryless distortion, must come back; repeated sweeps average the noise
// down; recordings that do not fit the sweep are refused; the parameters
// travel with the sweep file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "host/sweep/deconvolution.h"
#include "host/sweep/fft.h"
#include "host/sweep/response_length.h"
#include "host/sweep/sweep_file.h"
#include "host/sweep/sweep_parameters_json.h"
#include "host/sweep/sweep_signal.h"

namespace {

std::vector<double> LivingRoom(int32_t& rateHz) {
  sweep::Recording recording;
  std::string error;
  EXPECT_TRUE(
      sweep::ReadRecording(std::string(ROOMSTAT_SOURCE_DIR) + "/examples/living_room.wav", recording, error))
      << error;
  rateHz = recording.rateHz;
  return std::vector<double>(recording.channels[0].begin(), recording.channels[0].end());
}

// Linear convolution of a and b through FFTW, a.size() + b.size() - 1 samples.
std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
  const size_t length = sweep::FastFftLength(a.size() + b.size());
  std::vector<std::complex<double>> spectrum = sweep::RealSpectrum(a, length);
  const std::vector<std::complex<double>> other = sweep::RealSpectrum(b, length);
  for (size_t k = 0; k < spectrum.size(); ++k) spectrum[k] *= other[k];
  std::vector<double> result = sweep::RealSignal(spectrum, length);
  result.resize(a.size() + b.size() - 1);
  return result;
}

// `signal` with everything outside lowHz..highHz removed (an ideal band-pass):
// no sweep measures outside its range, so this is what deconvolution can return.
std::vector<double> BandLimited(const std::vector<double>& signal, double lowHz, double highHz,
                                int32_t rateHz) {
  const size_t length = sweep::FastFftLength(2 * signal.size());
  std::vector<std::complex<double>> spectrum = sweep::RealSpectrum(signal, length);
  for (size_t k = 0; k < spectrum.size(); ++k) {
    const double hz = static_cast<double>(k) * rateHz / static_cast<double>(length);
    if (hz < lowHz || hz > highHz) spectrum[k] = 0.0;
  }
  std::vector<double> result = sweep::RealSignal(spectrum, length);
  result.resize(signal.size());
  return result;
}

double Correlation(const std::vector<float>& a, size_t aStart, const std::vector<double>& b, size_t count) {
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (size_t n = 0; n < count; ++n) {
    ab += a[aStart + n] * b[n];
    aa += static_cast<double>(a[aStart + n]) * a[aStart + n];
    bb += b[n] * b[n];
  }
  return ab / std::sqrt(aa * bb);
}

double MeanPower(const std::vector<float>& signal, size_t from) {
  double sum = 0.0;
  for (size_t n = from; n < signal.size(); ++n) sum += static_cast<double>(signal[n]) * signal[n];
  return sum / static_cast<double>(signal.size() - from);
}

struct Recorded {
  double a2 = 0.0, a3 = 0.0;  // y = x + a2 x^2 + a3 x^3, with x at a peak of 0.5
  double noiseDb = -60.0;     // white noise power relative to the undistorted recording's power
  double noiseRms = 0.0;      // or this absolute rms, when not 0
  unsigned seed = 1;
  size_t latency = 0;  // samples of silence before the playback starts
};

// The playback convolved with `response`, through the distortion, plus noise.
std::vector<float> Record(const sweep::SweepParameters& p, const std::vector<double>& response,
                          const Recorded& r) {
  const std::vector<float> playback = sweep::SweepPlayback(p);
  std::vector<double> played(r.latency, 0.0);
  played.insert(played.end(), playback.begin(), playback.end());
  std::vector<double> room = Convolve(played, response);
  room.resize(played.size());
  double peak = 0.0, power = 0.0;
  for (double value : room) peak = std::max(peak, std::fabs(value)), power += value * value;
  const double scale = 0.5 / peak;
  power = power * scale * scale / static_cast<double>(room.size());
  const double noiseRms =
      r.noiseRms != 0.0 ? r.noiseRms : std::sqrt(power * std::pow(10.0, r.noiseDb / 10.0));
  std::mt19937 random(r.seed);
  std::normal_distribution<double> noise(0.0, noiseRms);
  std::vector<float> recording(room.size());
  for (size_t n = 0; n < room.size(); ++n) {
    const double x = room[n] * scale;
    recording[n] = static_cast<float>(x + r.a2 * x * x + r.a3 * x * x * x + noise(random));
  }
  return recording;
}

sweep::SweepParameters RoomSweep(int32_t rateHz) {
  sweep::SweepParameters p;
  p.rateHz = rateHz;
  p.endHz = sweep::HighestEndHz(rateHz);
  p.sweepSeconds = 6.0;
  p.silenceSeconds = 2.0;
  return p;
}

}  // namespace

// The living room through a sweep with distortion and noise 60 dB down comes
// back: over its first 0.5 s it correlates with the original (restricted to
// the swept band) above 0.998, and the harmonic products, 10-30 dB above the
// noise where they land, are cut from it.
TEST(SweepDeconvolution, RecoversKnownResponseWithoutHarmonics) {
  int32_t rateHz = 0;
  const std::vector<double> room = LivingRoom(rateHz);
  const sweep::SweepParameters p = RoomSweep(rateHz);
  const std::vector<double> reference = BandLimited(room, p.startHz, p.endHz, rateHz);
  size_t roomPeak = 0;
  for (size_t n = 0; n < room.size(); ++n)
    if (std::fabs(room[n]) > std::fabs(room[roomPeak])) roomPeak = n;
  const size_t compared = static_cast<size_t>(0.5 * rateHz);

  Recorded clean;
  clean.latency = 1234;
  Recorded distorted = clean;
  distorted.a2 = 0.3;  // second harmonic 22 dB, third 38 dB below the fundamental
  distorted.a3 = 0.2;
  const sweep::DeconvolutionResult plain = sweep::DeconvolveChannels({Record(p, room, clean)}, rateHz, p);
  const sweep::DeconvolutionResult bent = sweep::DeconvolveChannels({Record(p, room, distorted)}, rateHz, p);
  ASSERT_EQ(plain.status, sweep::SweepStatus::Ok) << plain.sentence;
  ASSERT_EQ(bent.status, sweep::SweepStatus::Ok) << bent.sentence;

  const size_t lead = static_cast<size_t>(std::lround(0.005 * rateHz));
  ASSERT_EQ(bent.channels[0].size(), static_cast<size_t>(2.0 * rateHz));  // the silence's length
  const double correlation = Correlation(bent.channels[0], lead - roomPeak, reference, compared);
  EXPECT_GT(correlation, 0.998);
  EXPECT_NEAR(bent.facts.directSoundSeconds, static_cast<double>(clean.latency + roomPeak) / rateHz, 1e-9);

  // The kept response of the distorted recording is that of the clean one
  // but for the distortion's in-band gain: what is left of the products in
  // it (the part not explained by the clean response, 1 - correlation^2,
  // which also holds the low-frequency square of the envelope that x^2
  // adds) is more than 35 dB below it, where 20 dB of products were cut.
  const double kept = Correlation(bent.channels[0], 0,
                                  std::vector<double>(plain.channels[0].begin(), plain.channels[0].end()),
                                  plain.channels[0].size());
  const double residualDb = 10.0 * std::log10(1.0 - kept * kept);
  EXPECT_LT(residualDb, -35.0);
  // Where they land (before the response) they stood well above the noise.
  EXPECT_GT(bent.facts.harmonicCutDb - plain.facts.harmonicCutDb, 10.0);
  std::printf(
      "correlation %.6f, residual of the products %.1f dB, harmonic energy cut %.1f dB (clean %.1f dB), PNR "
      "%.1f dB\n",
      correlation, residualDb, bent.facts.harmonicCutDb, plain.facts.harmonicCutDb, bent.facts.peakToNoiseDb);
}

// A sweep played twice and averaged: the noise after the decay is 3 dB lower
// (10 log10 2 = 3.01 dB; 2.5..3.5 allows for the spread of the estimated
// power of 3 s of noise per response).
TEST(SweepDeconvolution, TwoSweepsAveragedLowerTheNoiseByThreeDb) {
  int32_t rateHz = 0;
  const std::vector<double> room = LivingRoom(rateHz);
  sweep::SweepParameters once = RoomSweep(rateHz), twice = RoomSweep(rateHz);
  once.silenceSeconds = twice.silenceSeconds = 4.0;
  twice.repetitions = 2;
  Recorded r;
  r.noiseRms = 1e-4;
  const size_t decayed = static_cast<size_t>(1.0 * rateHz);  // the living room has decayed into noise by 1 s
  for (unsigned seed : {7u, 9u}) {
    r.seed = seed;
    const sweep::DeconvolutionResult one = sweep::DeconvolveChannels({Record(once, room, r)}, rateHz, once);
    r.seed = seed + 1;
    const sweep::DeconvolutionResult two = sweep::DeconvolveChannels({Record(twice, room, r)}, rateHz, twice);
    ASSERT_EQ(two.status, sweep::SweepStatus::Ok) << two.sentence;
    const double dropDb =
        10.0 * std::log10(MeanPower(one.channels[0], decayed) / MeanPower(two.channels[0], decayed));
    EXPECT_GT(dropDb, 2.5);
    EXPECT_LT(dropDb, 3.5);
    EXPECT_EQ(two.facts.sweepsAveraged, 2);
    std::printf("noise drop %.2f dB, PNR %.1f -> %.1f dB\n", dropDb, one.facts.peakToNoiseDb,
                two.facts.peakToNoiseDb);
  }
}

TEST(SweepDeconvolution, RefusesRecordingsThatDoNotFitTheSweep) {
  sweep::SweepParameters p;
  p.rateHz = 8000;
  p.endHz = 3000;
  p.sweepSeconds = 1.0;
  p.silenceSeconds = 0.5;
  p.repetitions = 2;
  const std::vector<float> playback = sweep::SweepPlayback(p);
  std::vector<float> withNan = playback;
  withNan[100] = NAN;
  const struct {
    std::vector<std::vector<float>> recording;
    int32_t rateHz;
    sweep::SweepStatus expected;
  } cases[] = {
      {{playback}, 8000, sweep::SweepStatus::Ok},
      {{playback}, 16000, sweep::SweepStatus::RateMismatch},
      {{std::vector<float>(playback.begin(), playback.end() - 1)}, 8000, sweep::SweepStatus::TooShort},
      {{playback, std::vector<float>(playback.size() - 1)}, 8000, sweep::SweepStatus::BadRecording},
      {{withNan}, 8000, sweep::SweepStatus::BadRecording},
      {{}, 8000, sweep::SweepStatus::BadRecording},
      {{std::vector<float>(playback.size(), 0.0f)}, 8000, sweep::SweepStatus::NoResponse},
  };
  for (const auto& c : cases) {
    const sweep::DeconvolutionResult result = sweep::DeconvolveChannels(c.recording, c.rateHz, p);
    EXPECT_EQ(result.status, c.expected) << result.sentence;
    EXPECT_EQ(result.channels.empty(), c.expected != sweep::SweepStatus::Ok);
    if (c.expected != sweep::SweepStatus::Ok) {
      EXPECT_FALSE(result.sentence.empty());
    }
  }
  // A wire: the sweep itself deconvolves to an impulse at the lead, of the
  // fraction of the band swept (20..3000 of 0..4000 Hz) minus the fades'
  // and the transitions' share.
  const sweep::DeconvolutionResult wire = sweep::DeconvolveChannels({playback}, 8000, p);
  EXPECT_NEAR(wire.channels[0][40], (3000.0 - 20.0) / 4000.0, 0.05);
}

// The parameters read back to the same doubles from the sweep file's comment
// (WAV, FLAC) or from the sidecar (AU has no strings).
TEST(SweepFile, ParametersTravelWithTheSweep) {
  sweep::SweepParameters p;
  p.startHz = 31.25;
  p.endHz = 17000.1;
  p.sweepSeconds = 1.0 / 3.0;
  p.rateHz = 44100;
  p.levelDbfs = -12.345678901234567;
  p.fadeInSeconds = 0.02;
  p.fadeOutSeconds = 0.003;
  p.silenceSeconds = 0.7;
  p.repetitions = 3;
  const std::string json = sweep::SweepParametersToJson(p);
  char folder[] = "/tmp/sweep_test_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  for (const std::string& name : {std::string("s.wav"), std::string("s.flac"), std::string("s.au")}) {
    const std::string path = std::string(folder) + "/" + name;
    std::vector<unsigned char> bytes;
    bool stored = false;
    std::string error;
    ASSERT_TRUE(sweep::EncodeAudio(path, p.rateHz, 1, sweep::SweepPlayback(p), json, bytes, stored, error))
        << error;
    EXPECT_EQ(stored, name != "s.au") << name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!stored) std::ofstream(sweep::SidecarPath(path)) << json;
    sweep::SweepParameters back;
    ASSERT_TRUE(sweep::ReadSweepParameters(path, back, error)) << name << ": " << error;
    EXPECT_EQ(sweep::SweepParametersToJson(back), json) << name;
    EXPECT_EQ(back.levelDbfs, p.levelDbfs);
    std::remove(path.c_str());
    std::remove(sweep::SidecarPath(path).c_str());
  }
  rmdir(folder);

  sweep::SweepParameters ignored;
  std::string error;
  for (const std::string& bad :
       {std::string("[]"), std::string("{\"kind\":\"other\",\"version\":1}"),
        json.substr(0, json.size() - 2) + "}",
        std::string(json).replace(json.find("\"repetitions\":3"), 15, "\"repetitions\":0")}) {
    EXPECT_FALSE(sweep::SweepParametersFromJson(bad, ignored, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

// An exponentially decaying noise of known decay time T over an independent
// noise 60 dB below its start: the decay meets the noise at T after its
// onset. The kept length is the truncation point plus a quarter of it (at
// least 0.1 s), never more than the response; noise alone is kept whole.
TEST(SweepResponseLength, CutsWhereTheDecayMeetsTheNoisePlusAMargin) {
  constexpr int32_t rate = 44100;
  constexpr double onsetSeconds = 0.005;
  struct Case {
    double decaySeconds;  // T (60 dB), 0: noise alone
    double lengthSeconds;
    bool found;
    bool capped;  // the margin reaches past the response's end
  };
  const Case cases[] = {
      {0.3, 2.0, true, false},  // the least margin, 0.1 s
      {0.9, 3.0, true, false},  // a quarter of the truncation point
      {1.5, 1.8, true, true},
      {0.0, 1.0, false, true},
  };
  std::mt19937 random(7);
  std::normal_distribution<double> gauss(0.0, 1.0);
  for (const Case& c : cases) {
    const size_t frames = static_cast<size_t>(c.lengthSeconds * rate);
    const size_t onset = static_cast<size_t>(onsetSeconds * rate);
    std::vector<float> response(frames);
    for (size_t n = 0; n < frames; ++n) {
      const double t = (static_cast<double>(n) - static_cast<double>(onset)) / rate;
      // Amplitude falls 60 dB in T: exp(-3 ln 10 t / T).
      const double decay =
          c.decaySeconds > 0.0 && t >= 0.0 ? std::exp(-3.0 * std::log(10.0) * t / c.decaySeconds) : 0.0;
      response[n] = static_cast<float>(gauss(random) * decay + gauss(random) * 1e-3);
    }
    const sweep::KeptLength kept = sweep::DecayedLength({response, response}, rate, onset, 20.0, 20000.0);
    ASSERT_EQ(kept.decayFound, c.found) << c.decaySeconds;
    const double keptSeconds = static_cast<double>(kept.frames) / rate;
    if (c.capped) {
      EXPECT_EQ(kept.frames, frames) << c.decaySeconds;
      continue;
    }
    // The latest of the bands' crosspoints: at T, and late by the scatter of
    // eight band estimates (up to a quarter here), never early.
    const double expected = onsetSeconds + c.decaySeconds;
    EXPECT_GT(kept.truncationSeconds, 0.95 * expected) << c.decaySeconds;
    EXPECT_LT(kept.truncationSeconds, 1.25 * expected) << c.decaySeconds;
    const double margin = std::max(0.25 * kept.truncationSeconds, 0.1);
    EXPECT_NEAR(keptSeconds, kept.truncationSeconds + margin, 1.0 / rate) << c.decaySeconds;
  }
}
