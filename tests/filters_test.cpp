// Fixed sections and resonator: golden impulse responses, DC behaviour,
// band edges and gains measured with long sines.
#include "dsp/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFiveDecimals = 0.5e-5;   // golden values carry five decimals
constexpr double kSevenDecimals = 0.5e-7;  // ... and the resonator's seven
constexpr double kSettledDc = 1e-6;        // float rounding left on a settled constant input

// Steady-state amplitude of a unit sine after `filter`, from the RMS of the
// middle half of a long buffer (start-up and, for the backward resonator,
// the ring-up at the buffer end stay outside it).
template <typename Filter>
double SineGain(double freqHz, double rateHz, uint32_t length, Filter filter) {
  std::vector<float> signal(length);
  for (uint32_t i = 0; i < length; ++i)
    signal[i] = static_cast<float>(std::sin(2 * kPi * freqHz * i / rateHz));
  std::vector<float> out = filter(signal);
  double energy = 0;
  for (uint32_t i = length / 4; i < 3 * length / 4; ++i) energy += double(out[i]) * out[i];
  return std::sqrt(2 * energy / (length / 2));
}

std::vector<float> Fixed(const SixthOrderCoefficients& set, const std::vector<float>& x) {
  std::vector<float> y(x.size());
  FilterSixthOrder(set, x.data(), y.data(), static_cast<uint32_t>(x.size()));
  return y;
}

TEST(FixedSections, ImpulseResponsesMatchGoldenValues) {
  const struct {
    const SixthOrderCoefficients* set;
    double expected[6];
  } cases[] = {
      {&OctaveBandPass, {0.0338, 0.05749, -0.08514, -0.21713, 0.00230, 0.29708}},
      {&DecimationLowPass, {0.0296, 0.1775, 0.42078, 0.45376, 0.11318, -0.19566}},
  };
  std::vector<float> impulse(64, 0.0f);
  impulse[0] = 1.0f;
  for (const auto& c : cases) {
    std::vector<float> y = Fixed(*c.set, impulse);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(y[i], c.expected[i], kFiveDecimals) << i;
  }
}

TEST(FixedSections, SettleOnDcAndCarryNothingBetweenCalls) {
  const struct {
    const SixthOrderCoefficients* set;
    double dcGain;
  } cases[] = {
      {&OctaveBandPass, 0.0},       {&ThirdOctaveBandPass1, 0.0},          {&ThirdOctaveBandPass2, 0.0},
      {&ThirdOctaveBandPass3, 0.0}, {&DecimationLowPass, 1.8936 / 1.8937},
  };
  std::vector<float> dc(44100, 1.0f), noise(4000);
  for (size_t i = 0; i < noise.size(); ++i)
    noise[i] = static_cast<float>(std::sin(i * 0.37) * 1000 + (i % 7));
  for (const auto& c : cases) {
    EXPECT_NEAR(Fixed(*c.set, dc).back(), c.dcGain, kSettledDc);
    std::vector<float> first = Fixed(*c.set, noise);
    std::vector<float> second(noise.size(), 12345.0f);  // stale content must not leak in
    FilterSixthOrder(*c.set, noise.data(), second.data(), static_cast<uint32_t>(noise.size()));
    EXPECT_EQ(first, second);
  }
}

TEST(FixedSections, HalfPowerPointsAtTheirDesignFrequencies) {
  constexpr double kEdgeTolerance = 0.012;  // tabled edges are rounded to whole Hz and the gains near 1
  constexpr double kPassbandRipple = 0.03;  // the third-octave sets dip to about 0.98 between their edges
  const struct {
    const SixthOrderCoefficients* set;
    double lowHz, highHz;
  } cases[] = {
      {&OctaveBandPass, 5660, 11312},      {&ThirdOctaveBandPass1, 5643, 7127},
      {&ThirdOctaveBandPass2, 7125, 8980}, {&ThirdOctaveBandPass3, 8982, 11309},
      {&DecimationLowPass, 11025, 11025},
  };
  auto run = [](const SixthOrderCoefficients* s) {
    return [s](const std::vector<float>& x) { return Fixed(*s, x); };
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(SineGain(c.lowHz, 44100, 40000, run(c.set)), std::sqrt(0.5), kEdgeTolerance) << c.lowHz;
    EXPECT_NEAR(SineGain(c.highHz, 44100, 40000, run(c.set)), std::sqrt(0.5), kEdgeTolerance) << c.highHz;
    if (c.set != &DecimationLowPass) {
      EXPECT_NEAR(SineGain(std::sqrt(c.lowHz * c.highHz), 44100, 40000, run(c.set)), 1.0, kPassbandRipple);
    }
  }
}

// Noise-like samples spanning many magnitudes, so that roundings differ
// wherever the order of the arithmetic would.
std::vector<float> Noise(uint32_t length, uint32_t seed) {
  std::vector<float> x(length);
  for (uint32_t i = 0; i < length; ++i) {
    seed = seed * 1664525u + 1013904223u;
    x[i] = static_cast<float>((static_cast<double>(seed >> 8) / 8388608.0 - 1.0) *
                              std::pow(10.0, (seed % 9) - 2.0));
  }
  return x;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

// The section's sum in plain doubles, in its written order: b0 x[n], then
// (b_k x[n-k] - a_k y[n-k]) for k = 1..6 while those samples exist.
std::vector<float> WrittenOrder(const SixthOrderCoefficients& set, const std::vector<float>& x) {
  std::vector<float> y(x.size());
  for (size_t n = 0; n < x.size(); ++n) {
    double acc = set.b[0] * static_cast<double>(x[n]) - set.a[0] * 0.0;
    for (size_t k = 1; k <= 6 && k <= n; ++k)
      acc = acc + (set.b[k] * static_cast<double>(x[n - k]) - set.a[k] * static_cast<double>(y[n - k]));
    y[n] = static_cast<float>(acc);
  }
  return y;
}

// Every set, on noise and on inputs that start with negative zeros (a sum
// of -0 shows whether a zero term was added where none is written).
TEST(FixedSections, SectionGivesTheBitsOfItsWrittenOrder) {
  const SixthOrderCoefficients* sets[] = {&OctaveBandPass, &ThirdOctaveBandPass1, &ThirdOctaveBandPass2,
                                          &ThirdOctaveBandPass3, &DecimationLowPass};
  for (uint32_t length : {0u, 1u, 6u, 7u, 4001u}) {
    std::vector<float> x = Noise(length, 2 * length + 11);
    for (uint32_t n = 0; n < length && n < 9; ++n) x[n] = -0.0f;
    for (const SixthOrderCoefficients* set : sets)
      EXPECT_TRUE(SameBits(Fixed(*set, x), WrittenOrder(*set, x))) << length;
  }
}

TEST(FixedSections, PairsGiveTheBitsOfSeparateCalls) {
  const SixthOrderCoefficients* pairs[][2] = {{&OctaveBandPass, &DecimationLowPass},
                                              {&ThirdOctaveBandPass1, &ThirdOctaveBandPass2},
                                              {&ThirdOctaveBandPass3, &DecimationLowPass}};
  for (uint32_t length : {0u, 1u, 5u, 6u, 7u, 12u, 13u, 4001u}) {
    const std::vector<float> x = Noise(length, length + 1);
    for (const auto& pair : pairs) {
      const std::vector<float> first = Fixed(*pair[0], x), second = Fixed(*pair[1], x);
      std::vector<float> firstOut(length), secondOut(length);
      FilterSixthOrderPair(*pair[0], *pair[1], x.data(), firstOut.data(), secondOut.data(), length, false);
      EXPECT_TRUE(SameBits(firstOut, first)) << length;
      EXPECT_TRUE(SameBits(secondOut, second)) << length;
      // Decimating in place: the source ends as every second low-pass output.
      std::vector<float> halved = x, band(length);
      FilterSixthOrderPair(*pair[0], *pair[1], halved.data(), band.data(), halved.data(), length, true);
      std::vector<float> expected(x.begin() + length / 2, x.end());  // the rest of the source stays
      for (uint32_t m = length / 2; m-- > 0;) expected.insert(expected.begin(), second[2 * m]);
      EXPECT_TRUE(SameBits(band, first)) << length;
      EXPECT_TRUE(SameBits(halved, expected)) << length;
    }
  }
}

TEST(FixedSections, OctaveCascadeGivesTheBitsOfLevelByLevelFiltering) {
  for (int levels : {1, 2, 3, 9}) {
    for (uint32_t length : {0u, 1u, 7u, 13u, 100u, 4001u}) {
      const std::vector<float> x = Noise(length, 3 * length + 5);
      std::vector<float> bands(2 * length + 1, -1.0f);
      FilterOctaveCascade(x.data(), length, levels, bands.data());
      std::vector<float> level = x;
      uint32_t offset = 0;
      for (int i = 0; i < levels; ++i) {
        const std::vector<float> band = Fixed(OctaveBandPass, level), low = Fixed(DecimationLowPass, level);
        EXPECT_TRUE(
            SameBits(std::vector<float>(bands.begin() + offset, bands.begin() + offset + band.size()), band))
            << length << " level " << i << " of " << levels;
        offset += static_cast<uint32_t>(level.size());
        level.resize(level.size() / 2);
        for (size_t m = 0; m < level.size(); ++m) level[m] = low[2 * m];
      }
      // Nothing written past the levels' signals.
      for (size_t i = offset; i < bands.size(); ++i) ASSERT_EQ(bands[i], -1.0f) << length << ", " << levels;
    }
  }
}

TEST(Resonator, PairGivesTheBitsOfSeparateOctaveFilters) {
  for (uint32_t length : {2u, 3u, 4u, 9u, 3000u}) {
    for (float centreHz : {31.5f, 1000.0f, 16000.0f}) {
      std::vector<float> left = Noise(length, 7), right = Noise(length, 8);
      std::vector<float> expectedLeft = left, expectedRight = right;
      ResonatorOctaveFilter(expectedLeft.data(), length, centreHz, 44100.0f);
      ResonatorOctaveFilter(expectedRight.data(), length, centreHz, 44100.0f);
      ResonatorOctaveFilterPair(left.data(), right.data(), length, centreHz, 44100.0f);
      EXPECT_TRUE(SameBits(left, expectedLeft)) << length << " " << centreHz;
      EXPECT_TRUE(SameBits(right, expectedRight)) << length << " " << centreHz;
    }
  }
}

TEST(Resonator, BackwardImpulseResponseAndDesignValues) {
  std::vector<float> x(8, 0.0f);
  x[7] = 1.0f;
  ResonatorBandPass(1000.0f, 4.0f, x.data(), 44100.0f, 8);
  const double expected[8] = {0.0174997, 0.0340384, 0.0318210, 0.0290475,
                              0.0257928, 0.0221385, 0.0181713, 0.0139811};
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(x[7 - k], expected[k], kSevenDecimals) << k;
  // The first two outputs give the design values back: 2a, then 2g * 2a.
  EXPECT_NEAR(x[7] / 2.0, 0.0087498, 1e-7);
  EXPECT_NEAR(x[6] / (2.0 * x[7]), 0.9725451, 1e-6);  // recovered through float outputs
  float one[2] = {3.0f, 7.0f};                        // a single sample gets the first step alone
  ResonatorBandPass(1000.0f, 4.0f, one, 44100.0f, 1);
  EXPECT_FLOAT_EQ(one[0], static_cast<float>(3.0 * x[7]));
  EXPECT_EQ(one[1], 7.0f);
  ResonatorBandPass(1000.0f, 4.0f, one + 1, 44100.0f, 0);  // nothing to do
  EXPECT_EQ(one[1], 7.0f);
}

TEST(Resonator, GainAtCentreAndOctaveFilterGains) {
  constexpr double kGainTolerance = 1e-4;   // RMS of float output over a finite window
  constexpr double kThreeFigures = 0.0005;  // 0.0480 holds to three figures; 4 kHz already reaches 0.0484
  auto resonator = [](std::vector<float> x) {
    ResonatorBandPass(1000.0f, 4.0f, x.data(), 44100.0f, static_cast<uint32_t>(x.size()));
    return x;
  };
  EXPECT_NEAR(SineGain(1000, 44100, 44100, resonator), 1.0, kGainTolerance);

  const struct {
    float centreHz;
    double gain;
  } cases[] = {
      {31.5f, 0.0480}, {63, 0.0480},   {125, 0.0480},  {250, 0.0480},  {500, 0.0480},
      {1000, 0.0480},  {2000, 0.0480}, {4000, 0.0480}, {8000, 0.0496}, {16000, 0.0616},
  };
  for (const auto& c : cases) {
    auto octave = [&c](std::vector<float> x) {
      ResonatorOctaveFilter(x.data(), static_cast<uint32_t>(x.size()), c.centreHz, 44100.0f);
      return x;
    };
    EXPECT_NEAR(SineGain(c.centreHz, 44100, 441000, octave), c.gain, kThreeFigures) << c.centreHz;
  }
}

}  // namespace
