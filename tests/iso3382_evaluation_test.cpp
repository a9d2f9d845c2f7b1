// The ISO 3382 evaluation against analytic references: exponential decays of
// known T with and without stationary noise, a double slope, the onset rule,
// the uncertainty formula worked by hand, and energy ratios in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "acoustics/iso3382_decay.h"
#include "dsp/iso3382_band_signals.h"
#include "interface/bands.h"

namespace {

constexpr double LN_1E6 = 13.815510557964274;  // ln(10^6): energy decay of 60 dB

// Unit-variance Gaussian noise from a fixed seed (Box-Muller on an LCG).
struct Noise {
  uint64_t state;
  double Next() {
    auto uniform = [this] {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
    };
    const double u = uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }
};

// Noise with an exponential envelope of reverberation time `t60` from
// `onset`, plus stationary noise `inrDb` below the decay's start (none when
// inrDb <= 0); silence-with-noise before the onset.
std::vector<float> NoiseDecay(double rateHz, double seconds, double onsetSeconds, double t60, double inrDb,
                              uint64_t seed, double secondT60 = 0.0, double secondDb = 0.0) {
  Noise g{seed};
  std::vector<float> x(static_cast<size_t>(seconds * rateHz));
  const double floor = inrDb > 0.0 ? std::pow(10.0, -inrDb / 20.0) : 0.0;
  for (size_t k = 0; k < x.size(); ++k) {
    const double t = k / rateHz - onsetSeconds;
    double a = t < 0.0 ? 0.0 : std::exp(-0.5 * LN_1E6 * t / t60);
    if (secondT60 > 0.0 && t >= 0.0)
      a += std::pow(10.0, secondDb / 20.0) * std::exp(-0.5 * LN_1E6 * t / secondT60);
    x[k] = static_cast<float>(a * g.Next() + floor * g.Next());
  }
  return x;
}

IsoBandResult Evaluate(const std::vector<float>& x, double rateHz, double onsetSeconds, double bandwidthHz,
                       IsoWorkspace* work) {
  return EvaluateIsoBand(
      IsoBandInput{x.data(), static_cast<uint32_t>(x.size()), rateHz, onsetSeconds, 1000.0, bandwidthHz},
      work);
}

// T20 and T30 within 2 % where the INR allows them, invalid for the INR where
// it does not; the truncation point where the decay meets the noise (within
// 3 dB of decay: 0.05 T), the INR within 2 dB of the one made.
TEST(IsoDecay, ExponentialDecaysOfKnownT) {
  struct Case {
    double rateHz, t60, inrDb;
    bool t20Valid, t30Valid;
  } cases[] = {
      {44100, 1.0, 0, true, true},    {44100, 1.0, 60, true, true},   {44100, 0.5, 40, true, false},
      {44100, 1.5, 25, false, false}, {5512.5, 2.0, 60, true, true},  {11025, 0.6, 50, true, true},
      {22050, 0.8, 37, true, false},  {2756.25, 3.0, 48, true, true},
  };
  IsoWorkspace work;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rateHz << " Hz, T " << c.t60 << " s, INR " << c.inrDb << " dB");
    const double crossSeconds = c.inrDb > 0 ? c.t60 * c.inrDb / 60.0 : 2.0 * c.t60;
    const std::vector<float> x = NoiseDecay(c.rateHz, 0.1 + 1.8 * crossSeconds, 0.1, c.t60, c.inrDb, 7);
    const IsoBandResult r = Evaluate(x, c.rateHz, 0.1, 710.0, &work);
    EXPECT_EQ(r.t20.time.Valid(), c.t20Valid) << r.t20.time.reasons;
    EXPECT_EQ(r.t30.time.Valid(), c.t30Valid) << r.t30.time.reasons;
    if (c.t20Valid) {
      EXPECT_NEAR(r.t20.time.value / c.t60, 1.0, 0.02);
    } else {
      EXPECT_TRUE(r.t20.time.reasons & ISO_INR_TOO_LOW);
    }
    if (c.t30Valid) {
      EXPECT_NEAR(r.t30.time.value / c.t60, 1.0, 0.02);
    } else {
      EXPECT_TRUE(r.t30.time.reasons & ISO_INR_TOO_LOW);
    }
    EXPECT_TRUE(r.edt.time.Valid()) << r.edt.time.reasons;
    if (c.inrDb > 0) {
      EXPECT_NEAR(r.inrDb, c.inrDb, 2.0);
      EXPECT_NEAR(r.truncationSeconds - 0.1, crossSeconds, 0.05 * c.t60);
    }
  }
}

// A decay that bends (0.4 s, then 2.5 s from 20 dB down) has T30 well above
// T20: curvature above 10 % marks both.
TEST(IsoDecay, DoubleSlopeIsFlaggedForCurvature) {
  const std::vector<float> x = NoiseDecay(44100, 4.0, 0.05, 0.4, 0, 11, 2.5, -20.0);
  IsoWorkspace work;
  const IsoBandResult r = Evaluate(x, 44100, 0.05, 710.0, &work);
  EXPECT_GT(r.curvaturePercent, 10.0);
  EXPECT_TRUE(r.t30.time.reasons & ISO_CURVATURE_ABOVE_10_PERCENT);
  EXPECT_TRUE(r.t20.time.reasons & ISO_CURVATURE_ABOVE_10_PERCENT);
  EXPECT_TRUE(r.edt.time.Valid());
}

// The onset is the first sample whose square reaches 20 dB below the peak's.
TEST(IsoOnset, FirstRiseToTwentyDecibelsBelowPeak) {
  struct Case {
    float early, late;  // at samples 100 and 150; the peak 1.0 at 200
    double expectedIndex;
  } cases[] = {{0.05f, 0.2f, 150}, {0.0f, -0.2f, 150}, {0.1f, 0.2f, 100}, {0.0999f, 0.0f, 200}};
  for (const Case& c : cases) {
    std::vector<float> x(400, 1e-4f);
    x[100] = c.early, x[150] = c.late, x[200] = 1.0f;
    EXPECT_DOUBLE_EQ(IsoOnsetSeconds(x.data(), 400, 8000.0), c.expectedIndex / 8000.0);
  }
  std::vector<float> silent(64, 0.0f);
  EXPECT_TRUE(std::isnan(IsoOnsetSeconds(silent.data(), 64, 8000.0)));
}

// ISO 3382-2:2008, 7.2, by hand for T = 1.2 s in the 1 kHz octave (B = 0.71 *
// 1000 Hz), n = 10, N = 1:
//   sigma(T20) = 0.88 * 1.2 * sqrt((1 + 1.90/10) / (1 * 710 * 1.2)) = 0.0394655 s
//   sigma(T30) = 0.55 * 1.2 * sqrt((1 + 1.52/10) / (1 * 710 * 1.2)) = 0.0242689 s
// and T20 = 2 s in a third (B = 0.23 * 1000 Hz) with n = 1:
//   0.88 * 2 * sqrt((1 + 1.90) / (230 * 2)) = 0.1397439 s.
TEST(IsoUncertainty, HandComputedFromTheStandardsFormula) {
  EXPECT_NEAR(IsoReverberationUncertaintySeconds(1.2, IsoNominalBandwidthHz(1000, false), 20), 0.0394655,
              1e-7);
  EXPECT_NEAR(IsoReverberationUncertaintySeconds(1.2, IsoNominalBandwidthHz(1000, false), 30), 0.0242689,
              1e-7);
  EXPECT_NEAR(IsoReverberationUncertaintySeconds(2.0, IsoNominalBandwidthHz(1000, true), 20, 1), 0.1397439,
              1e-7);
  EXPECT_TRUE(std::isnan(IsoReverberationUncertaintySeconds(1.2, 0.0, 20)));  // Lin has no bandwidth
}

// An ideal exponential h^2 = exp(-13.82 t / T) from the onset:
// C(t) = 10 lg(e^(13.82 t / T) - 1), D50 = 100 (1 - e^(-13.82 0.05 / T)),
// Ts = T / 13.82. Tolerances: the sample grid against the integral
// (at most 1/(2 tau fs) relative, tau the energy time constant).
TEST(IsoEnergy, IdealExponentialAgainstClosedForms) {
  struct Case {
    double rateHz, t60, onsetSeconds;
  } cases[] = {{44100, 1.0, 0.0}, {44100, 0.4, 0.01}, {11025, 2.0, 0.0}, {48000, 0.25, 0.02}};
  IsoWorkspace work;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rateHz << " Hz, T " << c.t60 << " s");
    std::vector<float> x(static_cast<size_t>((c.onsetSeconds + 2.2 * c.t60) * c.rateHz), 0.0f);
    const size_t onset = static_cast<size_t>(std::lround(c.onsetSeconds * c.rateHz));
    for (size_t k = onset; k < x.size(); ++k)
      x[k] = static_cast<float>(std::exp(-0.5 * LN_1E6 * (k - onset) / c.rateHz / c.t60));
    const double onsetSeconds = IsoOnsetSeconds(x.data(), static_cast<uint32_t>(x.size()), c.rateHz);
    ASSERT_DOUBLE_EQ(onsetSeconds, onset / c.rateHz);
    const IsoBandResult r = Evaluate(x, c.rateHz, onsetSeconds, 0.0, &work);
    const double k = LN_1E6 / c.t60;
    EXPECT_NEAR(r.c50.value, 10.0 * std::log10(std::exp(0.05 * k) - 1.0), 0.01);
    EXPECT_NEAR(r.c80.value, 10.0 * std::log10(std::exp(0.08 * k) - 1.0), 0.01);
    EXPECT_NEAR(r.d50.value, 100.0 * (1.0 - std::exp(-0.05 * k)), 0.05);
    EXPECT_NEAR(r.ts.value, 1000.0 / k, 0.05);
    EXPECT_NEAR(r.edt.time.value / c.t60, 1.0, 0.005);
    EXPECT_NEAR(r.t30.time.value / c.t60, 1.0, 0.005);
    EXPECT_LT(r.t30.xiPermille, 1.0);
    EXPECT_TRUE(r.c80.Valid() && r.ts.Valid() && r.t30.time.Valid());
  }
}

// Filtered noise through the plug-in's own band signals: the octave bands
// 1 kHz to 8 kHz of a 2 s decay at 44.1 kHz, T20 and T30 as the mean over 8
// responses within 2 % (one response scatters by the statistics of a random
// decay, ISO 3382-2's sigma: 2.5 % at 1 kHz, 0.9 % for the mean of 8), and a
// thinned curve for drawing that starts at 0 dB, falls, and ends at the
// truncation point.
TEST(IsoDecay, OctaveBandsOfTheBandFilters) {
  constexpr int RESPONSES = 8;
  constexpr double T60 = 2.0;
  double t20Sum[10] = {}, t30Sum[10] = {};
  IsoWorkspace work;
  for (int seed = 1; seed <= RESPONSES; ++seed) {
    const std::vector<float> x = NoiseDecay(44100, 3.0, 0.05, T60, 70, seed);
    const double onset = IsoOnsetSeconds(x.data(), static_cast<uint32_t>(x.size()), 44100);
    ForEachIsoBandSignal(
        x.data(), static_cast<uint32_t>(x.size()), 44100, false, [&](const IsoBandSignal& band) {
          if (band.row < 6) return true;
          const IsoBandResult r =
              EvaluateIsoBand(IsoBandInput{band.samples, band.length, band.rateHz, onset, band.nominalHz,
                                           IsoNominalBandwidthHz(band.nominalHz, false)},
                              &work);
          EXPECT_TRUE(r.t30.time.Valid()) << band.nominalHz << " Hz: " << r.t30.time.reasons;
          t20Sum[band.row] += r.t20.time.value;
          t30Sum[band.row] += r.t30.time.value;
          const IsoDecayPlot plot = IsoBandDecayPlot(r, work, 200);
          EXPECT_LE(plot.decay.size(), 200u);
          EXPECT_DOUBLE_EQ(plot.decay.front().levelDb, 0.0);
          for (size_t i = 1; i < plot.decay.size(); ++i)
            EXPECT_LE(plot.decay[i].levelDb, plot.decay[i - 1].levelDb + 0.01);
          EXPECT_NEAR(plot.decay.back().seconds, plot.truncationSeconds, 2.0 / band.rateHz);
          return true;
        });
  }
  for (int row = 6; row <= 9; ++row) {
    SCOPED_TRACE(OctaveCentreHz(row));
    EXPECT_NEAR(t20Sum[row] / RESPONSES / T60, 1.0, 0.02);
    EXPECT_NEAR(t30Sum[row] / RESPONSES / T60, 1.0, 0.02);
  }
}

// Rows, rates and centres of the band signals, and which band a tone lands in.
TEST(IsoBandSignals, RowsRatesAndTones) {
  for (bool third : {false, true}) {
    const double toneHz = third ? 1000.0 : 250.0;
    const int toneRow = third ? 17 : 4;
    std::vector<float> x(44100);
    for (size_t k = 0; k < x.size(); ++k)
      x[k] = static_cast<float>(std::sin(6.283185307179586 * toneHz * k / 44100));
    std::vector<IsoOwnedBandSignal> bands = CollectIsoBandSignals(x.data(), 44100, 44100, third);
    ASSERT_EQ(static_cast<int>(bands.size()), third ? 28 : 10);
    int loudestRow = -1;
    double loudest = 0.0;
    for (const IsoOwnedBandSignal& b : bands) {
      const int level = b.row == 0 ? 9 : (third ? (b.row + 2) / 3 : b.row);
      EXPECT_DOUBLE_EQ(b.rateHz, 44100.0 / (1 << (9 - level)));
      EXPECT_EQ(b.samples.size(), static_cast<size_t>(44100 >> (9 - level)));
      EXPECT_FLOAT_EQ(b.nominalHz, BandColumns(third)[b.row].nominalHz);
      double meanSquare = 0.0;
      for (float s : b.samples) meanSquare += static_cast<double>(s) * s / b.samples.size();
      if (b.row != 0 && meanSquare > loudest) loudest = meanSquare, loudestRow = b.row;
    }
    EXPECT_EQ(loudestRow, toneRow);
  }
  int visits = 0;
  std::vector<float> x(4096, 0.0f);
  EXPECT_FALSE(
      ForEachIsoBandSignal(x.data(), 4096, 44100, true, [&](const IsoBandSignal&) { return ++visits < 3; }));
  EXPECT_EQ(visits, 3);
}

// Single numbers: the mean over 500 Hz and 1 kHz, valid only with both, with
// the union of reasons; the thirds of those octaves in third-octave mode.
TEST(IsoSingleNumbers, MeanOfTheMidBandsWithTheirReasons) {
  std::vector<IsoBandResult> octave(OCTAVE_ROWS);
  for (IsoBandResult& r : octave) r.t30.time = r.edt.time = r.c80 = IsoValue{9.0, ISO_INR_TOO_LOW};
  octave[5].t30.time = IsoValue{1.0, 0}, octave[6].t30.time = IsoValue{2.0, 0};
  octave[5].edt.time = IsoValue{1.0, ISO_RANGE_NOT_REACHED},
  octave[6].edt.time = IsoValue{1.4, ISO_INR_TOO_LOW};
  octave[5].c80 = IsoValue{1.0, 0}, octave[6].c80 = IsoValue{NAN, ISO_SELECTION_TOO_SHORT};
  const IsoSingleNumbers s = IsoSingleNumberAverages(octave.data(), OCTAVE_ROWS, false);
  EXPECT_DOUBLE_EQ(s.t30Mid.value, 1.5);
  EXPECT_TRUE(s.t30Mid.Valid());
  EXPECT_DOUBLE_EQ(s.edt.value, 1.2);
  EXPECT_EQ(s.edt.reasons, ISO_RANGE_NOT_REACHED | ISO_INR_TOO_LOW);
  EXPECT_EQ(s.c80.reasons, ISO_SELECTION_TOO_SHORT | ISO_BAND_MISSING);
  std::vector<IsoBandResult> thirds(THIRD_OCTAVE_ROWS);
  for (int row = 0; row < THIRD_OCTAVE_ROWS; ++row)
    thirds[row].t20.time = IsoValue{row >= 13 && row <= 18 ? row : 99.0, 0};
  EXPECT_DOUBLE_EQ(IsoSingleNumberAverages(thirds.data(), THIRD_OCTAVE_ROWS, true).t20Mid.value, 15.5);
}

}  // namespace
