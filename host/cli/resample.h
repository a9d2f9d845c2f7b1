// Sampling-rate conversion of a selection with libsoxr (very high quality,
// linear phase), so that the plug-in's fixed band filters see the rate they
// were designed for and every band is nominal.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

// The rate the band filters are designed for.
constexpr int ANALYSIS_RATE_HZ = 44100;

// Resamples `frames` interleaved frames of `channels` channels from
// `fromRate` to `toRate` into `out` (round(frames * toRate / fromRate)
// frames, time-aligned: the filter's delay is removed). False with a reason
// in `error` when libsoxr refuses.
bool Resample(const float* in, size_t frames, size_t channels, double fromRate, double toRate,
              std::vector<float>& out, std::string& error);

}  // namespace cli
