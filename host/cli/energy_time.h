// The energy-time curve of an impulse response as the plug-in was offered
// it, thinned for drawing: per bucket of consecutive frames the loudest
// sample's level in dB re the channel's peak (the envelope a reader looks
// at for the direct sound and the first reflections).
#pragma once

#include <cstdint>
#include <vector>

#include "host/kit/run_record.h"

namespace cli {

// Channel `channel` of `channelCount` interleaved channels, frames
// [first, last]; indices count from `first`. Silent samples read -200 dB.
hostkit::LevelCurve EnergyTimeCurve(const std::vector<float>& samples, int channelCount, int channel,
                                    uint32_t first, uint32_t last,
                                    uint32_t maxPoints = hostkit::MAX_CURVE_POINTS);

}  // namespace cli
