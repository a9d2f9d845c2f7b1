// Backward integration, dB conversion and the decay fits: analytic decays,
// every status number, the 0.85 acceptance and the tail guards.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "acoustics/decay.h"

namespace {

constexpr double kRelativeFit = 1e-5;  // a float level curve limits the fitted slope to ~1e-7

TEST(BackwardIntegrate, SumsFromTheEndWithArrivalWeightsAndNoiseClamp) {
  const struct { double noise; float integrated[5]; double moment; } cases[] = {
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
  const struct { const char* what; std::vector<float> curve; uint32_t t0; bool nc; double head; float range;
                 double rateHz; double time; float coefficient; } cases[] = {
      {"line 44100", Line(44100, 0, 0, 60.0 / 22050), 0, false, 5, 20, 44100, 0.5, 1},
      {"line decimated", Line(4000, 7, 0, 0.05), 7, true, 5, 30, 172.265625, 60 / (0.05 * 172.265625), 1},
      {"EDT skips flat", Line(2000, 10, 300, 0.03), 10, false, double(0.1f), 10, 44100, 60 / (0.03 * 44100), 1},
      {"never reaches start", Line(500, 0, 0, 0.01), 0, false, 5, 20, 44100, 0, 0},
      {"one point", Points({0, -6, -40}, 100, -40), 0, false, 5, 20, 44100, 0, 71},
      {"flat segment", Points({0, -10, -10, -10, -10, -40}, 100, -40), 0, false, 5, 20, 44100, 0, 61},
      {"slope exactly 0", Points({0, -6, -8, -6, -40}, 100, -40), 0, false, 5, 20, 44100, 0, 21},
      {"level spread 0", Points(nearFlat, 200, -40), 0, false, 5, 20, 44100, 0, 41},
      {"non-finite level", Points({0, -inf, nan}, 100, nan), 0, false, 5, inf, 44100, 0, 31},
      // Walk ending at index 92 of 100: inside 15/16, outside 9/10.
      {"end 92, plain", Line(100, 0, 0, 25 / 90.5), 0, false, 5, 20, 1, 60 / (25 / 90.5), 1},
      {"end 92, noise corrected", Line(100, 0, 0, 25 / 90.5), 0, true, 5, 20, 1, 0, 0},
      {"end 90, noise corrected", Line(100, 0, 0, 25 / 88.5), 0, true, 5, 20, 1, 60 / (25 / 88.5), 1},
      {"end 95, plain", Line(100, 0, 0, 25 / 93.5), 0, false, 5, 20, 1, 0, 0},
  };
  for (const auto& c : cases) {
    float time = -1, coefficient = -1;
    FitDecay(c.curve.data(), static_cast<uint32_t>(c.curve.size()), c.t0, c.nc, c.head, c.range, c.rateHz, &time,
             &coefficient);
    EXPECT_NEAR(time, c.time, c.time * kRelativeFit) << c.what;
    EXPECT_NEAR(coefficient, c.coefficient, c.coefficient == 1 ? kRelativeFit : 0.0) << c.what;
  }
}

TEST(FitDecay, SquaredCorrelationAcceptedFrom085) {
  // Levels 0, u, -2 at points 1..3 have r^2 = 3 / (u^2 + 2u + 4).
  for (double target : {0.8499, 0.85 - 1e-8, 0.85 + 1e-8, 0.8501}) {
    const float u = static_cast<float>(-1 + std::sqrt(3 / target - 3));
    const double q = 3 / (double(u) * u + 2.0 * u + 4);
    ASSERT_EQ(q < 0.85, target < 0.85);
    const std::vector<float> curve = Points({0, u, -2, -40}, 50, -40);
    float time = -1, coefficient = -1;
    FitDecay(curve.data(), 50, 0, false, 0, 10, 1000, &time, &coefficient);
    EXPECT_NEAR(coefficient, q < 0.85 ? 0.0 : q, 1e-6) << target;
    EXPECT_EQ(time == 0, q < 0.85) << target;
  }
}

}  // namespace
