#include "host/cli/energy_time.h"

#include <algorithm>
#include <cmath>

namespace cli {

hostkit::LevelCurve EnergyTimeCurve(const std::vector<float>& samples, int channelCount, int channel,
                                    uint32_t first, uint32_t last, uint32_t maxPoints) {
  hostkit::LevelCurve curve;
  const uint64_t frames = static_cast<uint64_t>(last) - first + 1;
  auto magnitude = [&](uint64_t frame) {
    return std::fabs(static_cast<double>(samples[(first + frame) * channelCount + channel]));
  };
  double peak = 0.0;
  for (uint64_t f = 0; f < frames; ++f) peak = std::max(peak, magnitude(f));
  const uint64_t buckets = std::min<uint64_t>(frames, maxPoints);
  for (uint64_t b = 0; b < buckets; ++b) {
    const uint64_t begin = frames * b / buckets, end = frames * (b + 1) / buckets;
    uint64_t loudest = begin;
    for (uint64_t f = begin + 1; f < end; ++f) {
      if (magnitude(f) > magnitude(loudest)) loudest = f;
    }
    const double m = magnitude(loudest);
    curve.index.push_back(static_cast<uint32_t>(loudest));
    curve.levelDb.push_back(m > 0.0 && peak > 0.0 ? static_cast<float>(20.0 * std::log10(m / peak))
                                                  : -200.0f);
  }
  return curve;
}

}  // namespace cli
