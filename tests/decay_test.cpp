// Backward integration, dB conversion and the decay fits: analytic decays,
// every status number, the 0.85 acceptance and the tail guards.
#include "acoustics/decay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr double kRelativeFit = 1e-5;  // a float level curve limits the fitted slope to ~1e-7

TEST(BackwardIntegrate, SumsFromTheEndWithArrivalWeightsAndNoiseClamp) {
  const struct {
    double noise;
    float integrated[5];
    double moment;
  } cases[] = {
      // e = 4 1 9 0 16; weights from t0 = 1: 1 2 3 4
      {0.0, {30, 26, 25, 16, 16}, (1 * 1 + 2 * 9 + 3 * 0 + 4 * 16) / 8.0},
      // e - 2, negatives to 0: 2 0 7 0 14
      {2.0, {23, 21, 21, 14, 14}, (2 * 7 + 4 * 14) / 8.0},
  };
  for (const auto& c : cases) {
    float x[5] = {2, -1, 3, 0, -4};
    EXPECT_DOUBLE_EQ(BackwardIntegrate(x, 5, 1, c.noise, 8.0), c.moment);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(x[k], c.integrated[k]) << k;
  }
  float untouched = 5.0f;
  EXPECT_EQ(BackwardIntegrate(&untouched, 0, 0, 0.0, 44100.0), 0.0);
  EXPECT_EQ(untouched, 5.0f);
}

// Converting the level curve only as far as the fits read it changes no fit,
// and finishing it gives the whole conversion; a noise-subtracted tail of
// zeros (0 dB) lies beyond the span read.
TEST(LevelCurve, ConvertedOnDemandAsIfWhole) {
  const uint32_t n = 20000, t0 = 300;
  std::vector<float> energy(n);
  for (uint32_t k = 0; k < 15000; ++k)
    energy[k] = static_cast<float>(std::exp(-static_cast<double>(k) / 900.0) * 1e6);
  std::vector<float> levels = energy;
  for (float& value : levels) value = static_cast<float>(EnergyToDecibels(value));
  const struct {
    double headDropDb;
    float rangeDb;
  } fits[] = {{0.1f, 10}, {5, 20}, {5, 30}, {0, 60}, {40, 1}};
  for (bool noise : {false, true}) {
    std::vector<float> curve = energy;
    PartialLevelCurve partial{curve.data(), n, t0, t0};
    for (const auto& f : fits) {
      const FitResult whole = FitDecay(levels.data(), n, t0, noise, f.headDropDb, f.rangeDb, 1000.0);
      const FitResult lazy = FitDecayOnEnergy(&partial, noise, f.headDropDb, f.rangeDb, 1000.0);
      EXPECT_EQ(std::memcmp(&whole, &lazy, sizeof whole), 0) << f.headDropDb << " " << f.rangeDb;
    }
    // Only the span the fits read was converted, each point as the whole
    // curve holds it; the rest is still energy.
    EXPECT_LT(partial.convertedEnd, 15000u);
    for (uint32_t k = 0; k < n; ++k) {
      const bool converted = k >= t0 && k < partial.convertedEnd;
      ASSERT_EQ(curve[k], converted ? levels[k] : energy[k]) << k;
    }
  }
}

TEST(EnergyToDecibels, LevelsAndTheZeroFallback) {
  const double cases[][2] = {{100, 20}, {1, 0}, {1e-3, -30}, {0, 0}, {-5, 0}, {std::nan(""), 0}};
  for (const auto& c : cases) EXPECT_NEAR(EnergyToDecibels(c[0]), c[1], 1e-12) << c[0];
}

// Level curve (dB, re the arrival) of n samples: `flat` samples at 0 dB from
// t0, then a straight fall of slopeDb per sample, floored at floorDb.
std::vector<float> Line(uint32_t n, uint32_t t0, uint32_t flat, double slopeDb, double floorDb = -1000) {
  std::vector<float> c(n, 30.0f);  // before the arrival: ignored by the fits
  for (uint32_t i = t0; i < n; ++i)
    c[i] = static_cast<float>(std::max(floorDb, -slopeDb * (i < t0 + flat ? 0.0 : i - t0 - flat + 1.0)));
  return c;
}

std::vector<float> Points(std::vector<float> head, uint32_t n, float rest) {
  head.resize(n, rest);
  return head;
}

TEST(FitDecay, AnalyticDecaysStatusNumbersAndTailGuards) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  // 100 points at -5 dB with the first one float-step lower: a non-zero slope
  // whose level spread rounds to exactly 0.
  std::vector<float> nearFlat{0.0f, std::nextafter(-5.0f, -6.0f)};
  nearFlat.resize(101, -5.0f);
  const struct {
    const char* what;
    std::vector<float> curve;
    uint32_t t0;
    bool nc;
    double head;
    float range;
    double rateHz;
    double time;
    float coefficient;
    FitStatus status;
  } cases[] = {
      {"line 44100", Line(44100, 0, 0, 60.0 / 22050), 0, false, 5, 20, 44100, 0.5, 1, FIT_OK},
      {"line decimated", Line(4000, 7, 0, 0.05), 7, true, 5, 30, 172.265625, 60 / (0.05 * 172.265625), 1,
       FIT_OK},
      {"EDT skips flat", Line(2000, 10, 300, 0.03), 10, false, double(0.1f), 10, 44100, 60 / (0.03 * 44100),
       1, FIT_OK},
      {"never reaches start", Line(500, 0, 0, 0.01), 0, false, 5, 20, 44100, 0, 0, FIT_RANGE_NOT_REACHED},
      {"one point", Points({0, -6, -40}, 100, -40), 0, false, 5, 20, 44100, 0, 71, FIT_FLAT},
      {"flat segment", Points({0, -10, -10, -10, -10, -40}, 100, -40), 0, false, 5, 20, 44100, 0, 61,
       FIT_FLAT},
      {"slope exactly 0", Points({0, -6, -8, -6, -40}, 100, -40), 0, false, 5, 20, 44100, 0, 21, FIT_FLAT},
      {"level spread 0", Points(nearFlat, 200, -40), 0, false, 5, 20, 44100, 0, 41, FIT_FLAT},
      {"non-finite level", Points({0, -inf, nan}, 100, nan), 0, false, 5, inf, 44100, 0, 31, FIT_FLAT},
      // Walk ending at index 92 of 100: inside 15/16, outside 9/10.
      {"end 92, plain", Line(100, 0, 0, 25 / 90.5), 0, false, 5, 20, 1, 60 / (25 / 90.5), 1, FIT_OK},
      {"end 92, noise corrected", Line(100, 0, 0, 25 / 90.5), 0, true, 5, 20, 1, 0, 0, FIT_TAIL_GUARD},
      {"end 90, noise corrected", Line(100, 0, 0, 25 / 88.5), 0, true, 5, 20, 1, 60 / (25 / 88.5), 1, FIT_OK},
      {"never reaches end", Line(100, 0, 0, 0.1), 0, false, 5, 20, 1, 0, 0, FIT_RANGE_NOT_REACHED},
      {"end 95, plain", Line(100, 0, 0, 25 / 93.5), 0, false, 5, 20, 1, 0, 0, FIT_TAIL_GUARD},
  };
  for (const auto& c : cases) {
    const FitResult fit = FitDecay(c.curve.data(), static_cast<uint32_t>(c.curve.size()), c.t0, c.nc, c.head,
                                   c.range, c.rateHz);
    EXPECT_NEAR(fit.decayTime, c.time, c.time * kRelativeFit) << c.what;
    EXPECT_NEAR(fit.coefficient, c.coefficient, c.coefficient == 1 ? kRelativeFit : 0.0) << c.what;
    EXPECT_EQ(fit.status, c.status) << c.what;
    if (c.status == FIT_OK) {
      // A straight line is its own regression: the line through the centroid
      // meets the curve at both ends of the segment, which spans the range.
      const uint32_t last = fit.firstIndex + fit.pointCount - 1;
      for (uint32_t i : {fit.firstIndex, last}) {
        const double drawn = fit.centroidLevelDb + fit.slopeDbPerSample * (i - fit.centroidIndex);
        EXPECT_NEAR(drawn, c.curve[i], 1e-3) << c.what << " at " << i;
      }
      EXPECT_LE(c.curve[fit.firstIndex], c.curve[c.t0] - c.head) << c.what;
      EXPECT_GE(c.curve[last], c.curve[c.t0] - c.head - c.range) << c.what;
      EXPECT_LT(c.curve[last + 1], c.curve[c.t0] - c.head - c.range) << c.what;
    }
  }
}

TEST(FitDecay, SquaredCorrelationAcceptedFrom085) {
  // Levels 0, u, -2 at points 1..3 have r^2 = 3 / (u^2 + 2u + 4).
  for (double target : {0.8499, 0.85 - 1e-8, 0.85 + 1e-8, 0.8501}) {
    const float u = static_cast<float>(-1 + std::sqrt(3 / target - 3));
    const double q = 3 / (double(u) * u + 2.0 * u + 4);
    ASSERT_EQ(q < 0.85, target < 0.85);
    const std::vector<float> curve = Points({0, u, -2, -40}, 50, -40);
    const FitResult fit = FitDecay(curve.data(), 50, 0, false, 0, 10, 1000);
    EXPECT_NEAR(fit.coefficient, q < 0.85 ? 0.0 : q, 1e-6) << target;
    EXPECT_EQ(fit.decayTime == 0, q < 0.85) << target;
    EXPECT_EQ(fit.status, q < 0.85 ? FIT_LOW_CORRELATION : FIT_OK) << target;
  }
}

}  // namespace
