// J_LF, J_LFC and IACC as ISO 3382-1 defines them, on synthetic pairs whose
// answers are known by hand: reflections of known delay and gain, identical
// or delayed ears, independent late noise; broadband and through the
// octave cascade of the band analysis.
#include "acoustics/iso3382_spatial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/filters.h"

namespace {

constexpr double RATE_HZ = 44100.0;
constexpr size_t DIRECT = 1000;  // sample of the direct sound

// Uniform noise in [-1, 1) from a fixed linear congruential sequence.
std::vector<float> Noise(size_t length, uint32_t seed) {
  std::vector<float> out(length);
  for (float& v : out) {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<float>(static_cast<int32_t>(seed) >> 8) / 8388608.0f;
  }
  return out;
}

// One octave band of the cascade: level 0 is 8 kHz at 44100 Hz, level i
// the octave 8 kHz / 2^i at 44100 / 2^i Hz.
std::vector<float> Band(const std::vector<float>& x, int level) {
  std::vector<float> bands(2 * x.size());
  FilterOctaveCascade(x.data(), static_cast<uint32_t>(x.size()), level + 1, bands.data());
  size_t offset = 0, length = x.size();
  for (int i = 0; i < level; ++i) offset += length, length /= 2;
  return {bands.begin() + static_cast<long>(offset), bands.begin() + static_cast<long>(offset + length)};
}

// Reflections after the direct sound (gain 1 in W only): delay, gain in W,
// gain in Y. The first (in Y only) lies before the lateral window, the last
// after 80 ms.
struct Reflection {
  double delayMs, w, y;
};
const Reflection REFLECTIONS[] = {
    {1.5, 0.0, 0.4}, {12, 0.6, 0.5}, {27, 0.4, -0.35}, {61, 0.3, 0.25}, {95, 0.5, 0.5}};

void PairOfReflections(std::vector<float>* w, std::vector<float>* y) {
  w->assign(static_cast<size_t>(0.3 * RATE_HZ), 0.0f);
  y->assign(w->size(), 0.0f);
  (*w)[DIRECT] = 1.0f;
  for (const Reflection& r : REFLECTIONS) {
    const auto i = DIRECT + static_cast<size_t>(std::lround(r.delayMs * RATE_HZ / 1000.0));
    (*w)[i] += static_cast<float>(r.w);
    (*y)[i] += static_cast<float>(r.y);
  }
}

// The integrals by hand from the reflection table: the omni's energy from 0
// to 80 ms, the lateral energy and |y w| from 5 ms to 80 ms. `swapped`
// reads Y as the omni (its direct sound is 0) and W as the figure-of-eight.
void HandIntegrals(bool swapped, double* jlf, double* jlfc) {
  double omni = swapped ? 0.0 : 1.0, lateral = 0.0, cross = 0.0;
  for (const Reflection& r : REFLECTIONS) {
    const double o = swapped ? r.y : r.w, f = swapped ? r.w : r.y;
    if (r.delayMs < 80) omni += o * o;
    if (r.delayMs >= 5 && r.delayMs < 80) lateral += f * f, cross += std::fabs(f * o);
  }
  *jlf = lateral / omni;
  *jlfc = cross / omni;
}

// Broadband and in octave bands: the reflections pass a band filter alike,
// so the ratios keep their broadband values. 1 %: the band filter's ringing
// of the 1.5 ms reflection across the 5 ms boundary and the overlap of
// neighbouring reflections' ringing (a 3 ms reflection in both channels
// puts the 1 kHz band 3 % high: the direct sound's and its ringing overlap).
TEST(IsoSpatial, LateralFractionsEqualHandIntegrals) {
  struct Case {
    const char* name;
    int level;  // -1: broadband
    double onsetOffset, gainDb;
    bool swapped;
    double tolerance;
  };
  const Case cases[] = {
      {"broadband", -1, 0.0, 0.0, false, 1e-6},
      {"fractional onset", -1, -0.4, 0.0, false, 1e-6},
      {"figure-of-eight +3 dB", -1, 0.0, 3.0, false, 1e-6},
      {"swapped pair", -1, 0.0, 0.0, true, 1e-6},
      {"8 kHz band", 0, 0.0, 0.0, false, 0.01},
      {"4 kHz band", 1, 0.0, 0.0, false, 0.01},
      {"1 kHz band", 3, 0.0, 0.0, false, 0.01},
      {"1 kHz band, +6 dB", 3, 0.0, 6.0, false, 0.01},
  };
  std::vector<float> w, y;
  PairOfReflections(&w, &y);
  for (const Case& c : cases) {
    std::vector<float> bw = c.level < 0 ? w : Band(w, c.level), by = c.level < 0 ? y : Band(y, c.level);
    if (c.swapped) std::swap(bw, by);
    const double scale = c.level < 0 ? 1.0 : std::ldexp(1.0, -c.level);
    const IsoLateral got = ComputeIsoLateral(bw.data(), by.data(), bw.size(), RATE_HZ * scale,
                                             (DIRECT + c.onsetOffset) * scale, c.gainDb);
    double jlf, jlfc;
    HandIntegrals(c.swapped, &jlf, &jlfc);
    jlf *= std::pow(10.0, c.gainDb / 10.0);
    jlfc *= std::pow(10.0, c.gainDb / 20.0);
    ASSERT_EQ(got.status, SPATIAL_OK) << c.name;
    EXPECT_NEAR(got.jlf / jlf, 1.0, c.tolerance) << c.name << ": " << got.jlf << " against " << jlf;
    EXPECT_NEAR(got.jlfc / jlfc, 1.0, c.tolerance) << c.name << ": " << got.jlfc << " against " << jlfc;
  }
}

// A window edge moves continuously: an onset half a sample early takes half
// of the sample before the direct sound, and half a sample late half of
// the direct sound.
TEST(IsoSpatial, FractionalWindowEdgesWeighTheirSamples) {
  std::vector<double> w(8000, 0.0), y(8000, 0.0);
  w[DIRECT - 1] = 2.0, w[DIRECT] = 1.0, y[DIRECT + 1000] = 1.0;
  EXPECT_DOUBLE_EQ(ComputeIsoLateral(w.data(), y.data(), w.size(), RATE_HZ, DIRECT - 0.5, 0.0).jlf,
                   1.0 / 3.0);
  EXPECT_DOUBLE_EQ(ComputeIsoLateral(w.data(), y.data(), w.size(), RATE_HZ, DIRECT + 0.5, 0.0).jlf, 2.0);
}

struct EarPair {
  const char* name;
  std::vector<float> left, right;
};

// Identical ears, a delayed ear within and beyond 1 ms, unrelated ears.
std::vector<EarPair> EarPairs() {
  const size_t n = static_cast<size_t>(0.5 * RATE_HZ);
  const std::vector<float> noise = Noise(n, 7);
  std::vector<EarPair> pairs{{"identical", noise, noise}};
  for (const size_t delay : {13, 44, 88}) {
    std::vector<float> later(n, 0.0f);
    std::memcpy(later.data() + delay, noise.data(), (n - delay) * sizeof(float));
    pairs.push_back({"delayed", noise, later});
  }
  pairs.push_back({"unrelated", noise, Noise(n, 8)});
  return pairs;
}

TEST(IsoSpatial, IaccOfKnownEarPairs) {
  const std::vector<EarPair> pairs = EarPairs();
  const double expectedTau[] = {0.0, 13 / RATE_HZ, 44 / RATE_HZ};
  for (size_t p = 0; p < pairs.size(); ++p) {
    const EarPair& e = pairs[p];
    const IsoIaccSet got = ComputeIsoIacc(e.left.data(), e.right.data(), e.left.size(), RATE_HZ, 0.0, -1.0);
    for (const IsoIacc& v : {got.early, got.late, got.all}) {
      ASSERT_EQ(v.status, SPATIAL_OK) << e.name;
      if (p == 0) {  // exactly: the same sums above and below the fraction bar
        EXPECT_EQ(v.iacc, 1.0);
        EXPECT_EQ(v.tauSeconds, 0.0);
      } else if (p < 3) {  // the delayed copy lacks only the delay's samples of the window
        EXPECT_GT(v.iacc, 0.98) << e.name << " " << p;
        EXPECT_NEAR(v.tauSeconds, expectedTau[p], 0.05 / RATE_HZ) << e.name << " " << p;
      } else {  // 2 ms apart, or unrelated: white noise of N samples, each lag ~ 1/sqrt(N)
        EXPECT_LT(v.iacc, 4.5 / std::sqrt(0.08 * RATE_HZ)) << e.name << " " << p;
      }
    }
  }
}

// Impulses 2 ms apart share no lag within 1 ms: no correlation at all.
TEST(IsoSpatial, EarsMoreThanOneMillisecondApartDoNotCorrelate) {
  std::vector<float> left(8000, 0.0f), right(8000, 0.0f);
  left[DIRECT] = 1.0f, right[DIRECT + 88] = 0.5f;
  const IsoIacc all = ComputeIsoIacc(left.data(), right.data(), left.size(), RATE_HZ, DIRECT, -1.0).all;
  EXPECT_EQ(all.status, SPATIAL_OK);
  EXPECT_EQ(all.iacc, 0.0);
}

// Swapping the ears gives the same IACC bit for bit and the lag negated,
// broadband and in bands, for every pair.
TEST(IsoSpatial, SwappingTheEarsNegatesOnlyTau) {
  for (const EarPair& e : EarPairs()) {
    for (const int level : {-1, 0, 3, 4}) {
      const std::vector<float> l = level < 0 ? e.left : Band(e.left, level);
      const std::vector<float> r = level < 0 ? e.right : Band(e.right, level);
      const double rate = level < 0 ? RATE_HZ : std::ldexp(RATE_HZ, -level);
      const IsoIaccSet a = ComputeIsoIacc(l.data(), r.data(), l.size(), rate, 3.3, -1.0);
      const IsoIaccSet b = ComputeIsoIacc(r.data(), l.data(), l.size(), rate, 3.3, -1.0);
      for (const auto& [x, y] : {std::pair{a.early, b.early}, {a.late, b.late}, {a.all, b.all}}) {
        EXPECT_EQ(x.iacc, y.iacc) << e.name << " level " << level;
        EXPECT_EQ(x.iaccOnLags, y.iaccOnLags) << e.name << " level " << level;
        EXPECT_EQ(x.tauSeconds, -y.tauSeconds) << e.name << " level " << level;
      }
    }
  }
}

// A delay of 13 samples at 44100 Hz falls between the lags of every band
// below 8 kHz (13/8 of a lag at 1 kHz): whole lags miss the peak, the
// refined maximum finds it. Bound: the cascade's low-pass sections leave a
// little aliasing, so a decimated delayed copy is not an exact fractional
// delay.
TEST(IsoSpatial, RefinedPeakFindsADelayBetweenLags) {
  const std::vector<float> noise = Noise(static_cast<size_t>(0.5 * RATE_HZ), 11);
  std::vector<float> later(noise.size(), 0.0f);
  std::memcpy(later.data() + 13, noise.data(), (noise.size() - 13) * sizeof(float));
  for (const int level : {1, 3, 4, 5}) {
    const std::vector<float> l = Band(noise, level), r = Band(later, level);
    const double rate = std::ldexp(RATE_HZ, -level);
    const IsoIacc all = ComputeIsoIacc(l.data(), r.data(), l.size(), rate, 0.0, -1.0).all;
    ASSERT_EQ(all.status, SPATIAL_OK);
    EXPECT_GT(all.iacc, 0.97) << "level " << level << ", on lags " << all.iaccOnLags;
    EXPECT_NEAR(all.tauSeconds * 1000.0, 13 / RATE_HZ * 1000.0, 0.02) << "level " << level;
  }
}

// An early part common to both ears and independent late noise: IACC_E is
// 1 but for the window's edge, IACC_L that of independent noise, below
// 4.5 standard deviations of one lag's correlation, 1/sqrt(2 B T) for a
// band of B Hz over T seconds (1/sqrt(N) broadband), and IACC_A the early
// share of the energy.
TEST(IsoSpatial, CommonEarlyPartIndependentLateNoise) {
  const size_t early = static_cast<size_t>(0.08 * RATE_HZ), n = static_cast<size_t>(1.0 * RATE_HZ);
  const std::vector<float> common = Noise(early, 3), lateLeft = Noise(n, 4), lateRight = Noise(n, 5);
  std::vector<float> left(n, 0.0f), right(n, 0.0f);
  for (size_t i = 0; i < n; ++i) {
    const float decay = static_cast<float>(std::exp(-3.0 * static_cast<double>(i) / static_cast<double>(n)));
    left[i] = i < early ? common[i] : 0.5f * decay * lateLeft[i];
    right[i] = i < early ? common[i] : 0.5f * decay * lateRight[i];
  }
  struct Case {
    int level;
    double bandwidthHz;  // 0: broadband
  };
  for (const Case c : {Case{-1, 0.0}, Case{3, 707.0}, Case{4, 354.0}}) {
    const std::vector<float> l = c.level < 0 ? left : Band(left, c.level);
    const std::vector<float> r = c.level < 0 ? right : Band(right, c.level);
    const double rate = c.level < 0 ? RATE_HZ : std::ldexp(RATE_HZ, -c.level);
    const IsoIaccSet got = ComputeIsoIacc(l.data(), r.data(), l.size(), rate, 0.0, -1.0);
    const double lateSeconds = 0.92;
    const double sigma = c.level < 0 ? 1.0 / std::sqrt(lateSeconds * RATE_HZ)
                                     : 1.0 / std::sqrt(2.0 * c.bandwidthHz * lateSeconds);
    EXPECT_GT(got.early.iacc, c.level < 0 ? 0.999 : 0.97) << "level " << c.level;
    EXPECT_LT(got.late.iacc, 4.5 * sigma) << "level " << c.level;
    if (c.level < 0) {
      double ee = 0, el = 0, er = 0;
      for (size_t i = 0; i < n; ++i)
        (i < early ? ee : el) += double(left[i]) * left[i],
            er += i < early ? 0.0 : double(right[i]) * right[i];
      EXPECT_NEAR(got.all.iacc, ee / std::sqrt((ee + el) * (ee + er)), 0.02);
    }
  }
}

TEST(IsoSpatial, StatusesAndReasons) {
  std::vector<float> a(8000, 0.0f), b(8000, 0.0f);
  a[DIRECT] = 1.0f, b[DIRECT + 500] = 1.0f;
  std::vector<float> nan = a;
  nan[DIRECT + 10] = NAN;
  struct Case {
    const char* name;
    const float *w, *y;
    size_t length;
    double rate, onset, end;
    SpatialStatus lateral, early, late;
  };
  const Case cases[] = {
      {"no samples", a.data(), b.data(), 0, RATE_HZ, DIRECT, -1, SPATIAL_INVALID_INPUT, SPATIAL_INVALID_INPUT,
       SPATIAL_INVALID_INPUT},
      {"rate 0", a.data(), b.data(), a.size(), 0.0, DIRECT, -1, SPATIAL_INVALID_INPUT, SPATIAL_INVALID_INPUT,
       SPATIAL_INVALID_INPUT},
      {"onset not a number", a.data(), b.data(), a.size(), RATE_HZ, NAN, -1, SPATIAL_INVALID_INPUT,
       SPATIAL_INVALID_INPUT, SPATIAL_INVALID_INPUT},
      {"onset at the end", a.data(), b.data(), a.size(), RATE_HZ, 8000, -1, SPATIAL_ONSET_BEYOND_END,
       SPATIAL_ONSET_BEYOND_END, SPATIAL_ONSET_BEYOND_END},
      {"80 ms past the end", a.data(), b.data(), 4000, RATE_HZ, DIRECT, -1, SPATIAL_RESPONSE_TOO_SHORT,
       SPATIAL_RESPONSE_TOO_SHORT, SPATIAL_RESPONSE_TOO_SHORT},
      {"end before the late window", a.data(), b.data(), a.size(), RATE_HZ, DIRECT, 4000, SPATIAL_OK,
       SPATIAL_OK, SPATIAL_RESPONSE_TOO_SHORT},
      {"silent omni / ear", b.data(), a.data(), a.size(), RATE_HZ, DIRECT + 600, -1, SPATIAL_ZERO_DENOMINATOR,
       SPATIAL_ZERO_DENOMINATOR, SPATIAL_ZERO_DENOMINATOR},
      {"a sample not a number", nan.data(), nan.data(), a.size(), RATE_HZ, DIRECT, -1, SPATIAL_NOT_FINITE,
       SPATIAL_NOT_FINITE, SPATIAL_ZERO_DENOMINATOR},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ComputeIsoLateral(c.w, c.y, c.length, c.rate, c.onset, 0.0).status, c.lateral) << c.name;
    const IsoIaccSet set = ComputeIsoIacc(c.w, c.y, c.length, c.rate, c.onset, c.end);
    EXPECT_EQ(set.early.status, c.early) << c.name;
    EXPECT_EQ(set.late.status, c.late) << c.name;
  }
  for (int s = SPATIAL_INVALID_INPUT; s <= SPATIAL_BAND_NOT_VALID; ++s) {
    const SpatialReason r = SpatialReasonOf(static_cast<SpatialStatus>(s));
    EXPECT_GT(std::strlen(r.sentence), 20u) << r.code;
    for (const char* p = r.code; *p; ++p) EXPECT_TRUE((*p >= 'a' && *p <= 'z') || *p == '-') << r.code;
    for (int t = s + 1; t <= SPATIAL_BAND_NOT_VALID; ++t)
      EXPECT_STRNE(r.code, SpatialReasonOf(static_cast<SpatialStatus>(t)).code);
  }
}

TEST(IsoSpatial, SingleNumbersNeedEveryBand) {
  const IsoIacc e[3] = {{0.6, 0, 0.6, SPATIAL_OK}, {0.45, 0, 0.45, SPATIAL_OK}, {0.3, 0, 0.3, SPATIAL_OK}};
  EXPECT_DOUBLE_EQ(OneMinusIaccE3(e[0], e[1], e[2]).value, 0.55);
  const IsoIacc bad{0.3, 0, 0.3, SPATIAL_ZERO_DENOMINATOR};
  EXPECT_EQ(OneMinusIaccE3(e[0], bad, e[2]).status, SPATIAL_BAND_NOT_VALID);
  IsoLateral bands[4] = {
      {0.1, 0.2, SPATIAL_OK}, {0.2, 0.3, SPATIAL_OK}, {0.3, 0.4, SPATIAL_OK}, {0.2, 0.5, SPATIAL_OK}};
  const IsoLateral mean = LateralSingleNumbers(bands);
  EXPECT_EQ(mean.status, SPATIAL_OK);
  EXPECT_DOUBLE_EQ(mean.jlf, 0.2);
  EXPECT_DOUBLE_EQ(mean.jlfc, 0.35);
  bands[2].status = SPATIAL_RESPONSE_TOO_SHORT;
  EXPECT_EQ(LateralSingleNumbers(bands).status, SPATIAL_BAND_NOT_VALID);
}

}  // namespace
