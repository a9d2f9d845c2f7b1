#include "host/cli/resample.h"

#include <soxr.h>

#include <cmath>

namespace cli {

bool Resample(const float* in, size_t frames, size_t channels, double fromRate, double toRate,
              std::vector<float>& out, std::string& error) {
  const size_t outFrames = static_cast<size_t>(std::llround(static_cast<double>(frames) * toRate / fromRate));
  out.assign(outFrames * channels, 0.0f);
  if (outFrames == 0) return true;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
  size_t done = 0;
  const soxr_error_t failure = soxr_oneshot(fromRate, toRate, static_cast<unsigned>(channels), in, frames,
                                            nullptr, out.data(), outFrames, &done, &io, &quality, nullptr);
  if (failure) {
    error = std::string("cannot resample: ") + failure;
    return false;
  }
  out.resize(done * channels);
  return true;
}

}  // namespace cli
