// The impulse-to-noise ratio a host reads from a band's level curve: a
// signal whose energy per sample is P for its first 10 ms and N afterwards
// has a ratio of P / N, whether the noise was subtracted or not.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/kit/run_record.h"

namespace {

// Level curve (10 log10 of the backward-integrated energy, exactly 0 dB for
// none) of `early` per sample over `head` samples from `arrival`, `late`
// everywhere else.
std::vector<float> LevelCurve(uint32_t length, uint32_t arrival, uint32_t head, double early, double late) {
  std::vector<float> curve(length);
  double sum = 0.0;
  for (uint32_t k = length; k-- > 0;) {
    sum += k >= arrival && k < arrival + head ? early : late;
    curve[k] = sum > 0.0 ? static_cast<float>(10.0 * std::log10(sum)) : 0.0f;
  }
  return curve;
}

TEST(ImpulseToNoise, RatioOfEarlyEnergyToNoiseEnergy) {
  constexpr float RATE = 44100.0f;
  constexpr uint32_t LENGTH = 32000, HEAD = 441;  // 10 ms
  const struct {
    const char* name;
    uint32_t arrival;
    double early, late, subtracted;
    double expectedDb;
  } cases[] = {
      {"noise left in, measured in the last sixteenth", 0, 1e6, 1.0, 0.0, 60.0},
      {"arrival later in the signal", 5000, 1e4, 1.0, 0.0, 40.0},
      // Subtracted: the curve holds P - N early and nothing after.
      {"noise subtracted", 100, 1e6 - 4.0, 0.0, 4.0, 10.0 * std::log10(1e6 / 4.0)},
      {"a tail without energy", 0, 1e6, 0.0, 0.0, INFINITY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> curve = LevelCurve(LENGTH, c.arrival, HEAD, c.early, c.late);
    if (std::isinf(c.expectedDb)) {
      EXPECT_EQ(hostkit::ImpulseToNoiseDb(curve.data(), LENGTH, c.arrival, c.subtracted, RATE), INFINITY);
    } else {
      EXPECT_NEAR(hostkit::ImpulseToNoiseDb(curve.data(), LENGTH, c.arrival, c.subtracted, RATE),
                  c.expectedDb, 0.01);
    }
  }
  std::vector<float> curve = LevelCurve(LENGTH, 0, HEAD, 1e6, 1.0);
  EXPECT_TRUE(std::isnan(hostkit::ImpulseToNoiseDb(curve.data(), LENGTH, LENGTH, 0.0, RATE)));  // no arrival
}

}  // namespace
