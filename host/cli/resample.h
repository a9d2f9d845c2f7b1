// Sampling-rate conversion of a selection with libsoxr (very high quality,
// linear phase), so that the plug-in's fixed band filters see the rate they
// were designed for and every band is nominal. The conversion streams through
// libsoxr in bounded chunks, so that its own memory stays small and a stop
// request ends it between chunks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// The rate the band filters are designed for.
constexpr int ANALYSIS_RATE_HZ = 44100;

enum class ResampleStatus {
  Done,
  Refused,      // the rate lies below the floor, or the result would exceed the frame limit
  Interrupted,  // `stop` was set
  Failed,       // libsoxr refused, or memory ran out
};

// Frames of `frames` frames at `fromRate` resampled to `toRate`.
uint64_t ResampledFrames(uint64_t frames, double fromRate, double toRate);

// Whether a selection of `frames` frames at `fromRate` may be resampled to
// `toRate` (limits.h: the rate floor and the frame limit of the result),
// decided from the numbers alone, before anything is read or allocated.
// False with a sentence in `why`.
bool CheckResampling(uint64_t frames, double fromRate, double toRate, std::string& why);

// Resamples `frames` interleaved frames of `channels` channels from
// `fromRate` to `toRate` into `out` (round(frames * toRate / fromRate)
// frames, time-aligned: the filter's delay is removed). Checks
// CheckResampling first; reads `stop` between chunks. Anything but Done
// leaves `out` empty and a sentence in `error`.
ResampleStatus Resample(const float* in, size_t frames, size_t channels, double fromRate, double toRate,
                        const std::atomic<bool>& stop, std::vector<float>& out, std::string& error);

}  // namespace cli
