// One band's eleven parameters: early windows and duration tests, equal
// energy split, centre time of an impulse, missing values, and whole
// analytic decays with and without noise subtraction.
#include "acoustics/band_parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr float kUntouched = -777.0f;

struct Band {
  float values[11];
  char flags[12] = {};
  BandOutcome outcome{};
  std::string Marks() const { return std::string(flags, 11); }
};

// The band is the first n samples of `signal` (all of it when n is 0).
Band Compute(std::vector<float> signal, uint32_t t0, float rateHz, double noise = 0.0, uint32_t n = 0,
             float rtuStart = -5, float rtuEnd = -25) {
  Band band;
  std::fill(std::begin(band.values), std::end(band.values), kUntouched);
  ComputeBandParameters(signal.data(), band.values, band.flags, DecayRange{rtuStart, rtuEnd}, t0, noise,
                        n != 0 ? n : static_cast<uint32_t>(signal.size()), rateHz, &band.outcome);
  return band;
}

// Unit impulses at t0 and `second` samples later, `after` samples from t0 to
// the end. Equal energies: 0 dB and 50 % when the second one is late, no late
// energy when early. A third impulse lies just past the end: any read there
// would show as late energy.
TEST(BandParameters, EarlyWindowsDurationTestsAndEqualSplit) {
  const struct {
    float rateHz;
    uint32_t after, second;
    const char* ratioMarks;
    float d50;
  } cases[] = {
      {44100, 1764, 1000, "nnn", 0},     // 40 ms
      {44100, 2205, 1000, "nnn", 0},     // 50 ms fails the single-precision 0.05
      {44100, 2206, 2205, "yny", 50},    // second impulse at L50 is late
      {44100, 2646, 2204, "nny", 100},   // 60 ms, early: no late energy, C50 missing
      {44100, 3528, 2205, "yny", 50},    // passes 0.08 but E80 would be one past the end
      {44100, 3529, 3528, "yyy", 50},    // both at their windows
      {44100, 3529, 3527, "yny", 50},    // ... and one early of L80: no late energy for C80
      {172.265625f, 14, 7, "nny", 100},  // eight halvings: L50 = 8, L80 = 13
      {172.265625f, 14, 8, "yny", 50},  {172.265625f, 14, 12, "yny", 50}, {172.265625f, 14, 13, "yyy", 50},
  };
  for (const auto& c : cases) {
    std::vector<float> signal(5 + c.after + 1, 0.0f);
    signal[5] = 1.0f;
    signal[5 + c.second] = 1.0f;
    signal[5 + c.after] = 1.0f;
    const Band band = Compute(signal, 5, c.rateHz, 0.0, 5 + c.after);
    const std::string marks{band.flags[0], band.flags[1], band.flags[2]};
    SCOPED_TRACE(std::to_string(c.rateHz) + " after " + std::to_string(c.after) + " second " +
                 std::to_string(c.second));
    EXPECT_EQ(marks, c.ratioMarks);
    // A missing ratio says why: too short after the arrival, or no late energy.
    for (int slot : {0, 1, 2}) {
      const bool longEnough = slot == 1 ? c.after > (c.rateHz > 1000 ? 3528u : 13u) : marks[2] == 'y';
      const ValueStatus expected = marks[slot] == 'y' ? VALUE_OK
                                   : longEnough       ? VALUE_NOT_FINITE
                                                      : VALUE_WINDOW_TOO_SHORT;
      EXPECT_EQ(band.outcome.status[slot], expected) << slot;
    }
    for (int slot : {0, 1}) {
      if (marks[slot] == 'y') {
        EXPECT_EQ(band.values[slot], 0.0f) << slot;  // equal energies: 0 dB
      }
    }
    if (marks[2] == 'y') {
      EXPECT_EQ(band.values[2], c.d50);
    }
    EXPECT_EQ(band.flags[3], 'y');  // TS is always computed
  }
}

TEST(BandParameters, CentreTimeOfAnImpulseIsOneSamplePeriod) {
  for (float rateHz : {44100.0f, 5512.5f, 172.265625f}) {
    std::vector<float> signal(300, 0.0f);
    signal[40] = 0.5f;
    const Band band = Compute(signal, 40, rateHz);
    EXPECT_FLOAT_EQ(band.values[3], 1000.0f / rateHz);
    EXPECT_EQ(band.Marks().substr(3), "ynnnnnnn");  // a flat level curve gives no fit
  }
}

TEST(BandParameters, MissingWhenNothingCanBeMeasured) {
  Band late = Compute(std::vector<float>(50, 1.0f), 50, 44100);  // arrival at the end
  EXPECT_EQ(late.Marks(), "nnnnnnnnnnn");
  for (float v : late.values) EXPECT_EQ(v, kUntouched);
  for (ValueStatus status : late.outcome.status) EXPECT_EQ(status, VALUE_NO_ARRIVAL);

  Band silent = Compute(std::vector<float>(8000, 0.0f), 0, 44100);
  EXPECT_EQ(silent.Marks(), "nnnnnnnnnnn");
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(silent.values[slot], kUntouched) << slot;
    EXPECT_EQ(silent.outcome.status[slot], VALUE_NOT_FINITE) << slot;
  }
  // A silent level curve is flat at 0 dB: the fits never reach their range.
  for (int slot = 4; slot < 11; ++slot)
    EXPECT_EQ(silent.outcome.status[slot], VALUE_FIT_RANGE_NOT_REACHED) << slot;
}

// x = exp(-c k) decays 60 dB in `rt` seconds; it starts at t0, or `gap`
// samples after a faint arrival at t0 (a flat start that EDT must skip).
// With noise the squared samples carry the noise power on top, which the
// subtraction removes again.
TEST(BandParameters, ExponentialDecayGivesItsReverberationTime) {
  constexpr double kRelative = 1e-4;  // float energies and the noise added in float
  constexpr uint32_t t0 = 20;
  const struct {
    float rateHz;
    double rt, noise;
    uint32_t length, gap;
  } cases[] = {
      {44100, 0.5, 0.0, 44100, 0},   {44100, 0.5, 1e-6, 44100, 0},    {44100, 0.3, 0.0, 30000, 400},
      {5512.5f, 1.2, 0.0, 12000, 0}, {344.53125f, 2.0, 0.0, 1400, 0},
  };
  for (const auto& c : cases) {
    const double perSample = 3 * std::log(10.0) / (c.rt * c.rateHz);
    std::vector<float> signal(c.length, static_cast<float>(std::sqrt(c.noise)));
    for (uint32_t k = t0 + c.gap; k < c.length; ++k) {
      signal[k] = static_cast<float>(std::sqrt(std::exp(-2 * perSample * (k - t0 - c.gap)) + c.noise));
    }
    if (c.gap != 0) signal[t0] = 1e-3f;
    const Band band = Compute(signal, t0, c.rateHz, c.noise);
    SCOPED_TRACE(std::to_string(c.rateHz) + " noise " + std::to_string(c.noise) + " gap " +
                 std::to_string(c.gap));
    EXPECT_EQ(band.Marks().substr(4), "yyyyyyy");
    for (int slot = 0; slot < 11; ++slot) EXPECT_EQ(band.outcome.status[slot], VALUE_OK) << slot;
    for (int slot : {4, 5, 7, 9}) EXPECT_NEAR(band.values[slot], c.rt, c.rt * kRelative) << slot;
    for (int slot : {6, 8, 10}) EXPECT_NEAR(band.values[slot], 1.0, kRelative) << slot;
    // RTU over -5..-25 dB runs the same fit as RT20.
    EXPECT_EQ(band.values[9], band.values[5]);
    EXPECT_EQ(band.values[10], band.values[6]);
    // D50: the share of the energy within L50 samples of t0.
    const double early = 1 - std::exp(-2 * perSample * (std::trunc(0.05 * c.rateHz) - c.gap));
    EXPECT_NEAR(band.values[2], 100 * early, 100 * kRelative);
  }
}

}  // namespace
