#include "host/cli/resample.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

#include "host/cli/limits.h"
#include "host/kit/lazy_library.h"

namespace cli {

namespace {

// Input frames handed to libsoxr per call: its buffers stay a few MB, and a
// stop request is seen within a few milliseconds.
constexpr size_t CHUNK_FRAMES = size_t{1} << 16;

// libsoxr (and the OpenMP runtime it brings) is loaded the first time a
// selection is resampled: a run at the file's own rate does not load it.
constexpr const char* SOXR_LIBRARY = "libsoxr.so.0";

struct Soxr {
  decltype(&soxr_io_spec) ioSpec;
  decltype(&soxr_quality_spec) qualitySpec;
  decltype(&soxr_create) create;
  decltype(&soxr_process) process;
  decltype(&soxr_delete) destroy;
};

// The library's functions; throws when it cannot be loaded.
const Soxr& LoadedSoxr() {
  static const Soxr soxr = [] {
    hostkit::LazyLibrary library(SOXR_LIBRARY);
    Soxr s{};
    library.Resolve("soxr_io_spec", &s.ioSpec);
    library.Resolve("soxr_quality_spec", &s.qualitySpec);
    library.Resolve("soxr_create", &s.create);
    library.Resolve("soxr_process", &s.process);
    library.Resolve("soxr_delete", &s.destroy);
    library.RequireAll();
    return s;
  }();
  return soxr;
}

struct SoxrDelete {
  void operator()(soxr_t soxr) const { LoadedSoxr().destroy(soxr); }
};

}  // namespace

uint64_t ResampledFrames(uint64_t frames, double fromRate, double toRate) {
  const double resampled = std::round(static_cast<double>(frames) * toRate / fromRate);
  return resampled >= 0x1p63 ? UINT64_MAX : static_cast<uint64_t>(resampled);
}

bool CheckResampling(uint64_t frames, double fromRate, double toRate, std::string& why) {
  char text[320];
  if (!(fromRate >= MIN_RESAMPLED_RATE_HZ)) {
    std::snprintf(text, sizeof(text),
                  "its sampling rate, %.6g Hz, lies below %d Hz, the lowest rate that is resampled to %.6g "
                  "Hz: does its header give the wrong rate?",
                  fromRate, MIN_RESAMPLED_RATE_HZ, toRate);
    why = text;
    return false;
  }
  const uint64_t resampled = ResampledFrames(frames, fromRate, toRate);
  if (resampled > MAX_ANALYSED_FRAMES) {
    std::snprintf(text, sizeof(text),
                  "the selection, %llu frames at %.6g Hz, would hold %llu frames resampled to %.6g Hz; one "
                  "analysis takes at most %llu frames: select a shorter part with --start and --end",
                  static_cast<unsigned long long>(frames), fromRate,
                  static_cast<unsigned long long>(resampled), toRate,
                  static_cast<unsigned long long>(MAX_ANALYSED_FRAMES));
    why = text;
    return false;
  }
  return true;
}

ResampleStatus Resample(const float* in, size_t frames, size_t channels, double fromRate, double toRate,
                        const std::atomic<bool>& stop, std::vector<float>& out, std::string& error) {
  out.clear();
  if (!CheckResampling(frames, fromRate, toRate, error)) return ResampleStatus::Refused;
  const size_t outFrames = static_cast<size_t>(ResampledFrames(frames, fromRate, toRate));
  if (outFrames == 0) return ResampleStatus::Done;
  // Reserved, not filled: the pages are first touched chunk by chunk, as
  // the frames arrive (filling a 1 h selection at once takes seconds that no
  // stop request could cut short).
  std::vector<float> chunkOut(CHUNK_FRAMES * channels);
  try {
    out.reserve(outFrames * channels);
  } catch (const std::bad_alloc&) {
    error =
        "there is not enough memory for the selection resampled to " + std::to_string(outFrames) + " frames";
    return ResampleStatus::Failed;
  }
  const Soxr* library = nullptr;
  try {
    library = &LoadedSoxr();
  } catch (const std::exception& e) {
    error = std::string("cannot resample: ") + e.what();
    return ResampleStatus::Failed;
  }
  const soxr_io_spec_t io = library->ioSpec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = library->qualitySpec(SOXR_VHQ, SOXR_LINEAR_PHASE);
  soxr_error_t failure = nullptr;
  const std::unique_ptr<struct soxr, SoxrDelete> soxr(
      library->create(fromRate, toRate, static_cast<unsigned>(channels), &failure, &io, &quality, nullptr));
  size_t fed = 0, produced = 0;
  while (!failure && produced < outFrames) {
    if (stop.load()) {
      out = std::vector<float>();
      error = "interrupted";
      return ResampleStatus::Interrupted;
    }
    // Once every frame is in, a null input drains the filter's tail.
    const size_t length = std::min(CHUNK_FRAMES, frames - fed);
    const float* chunk = fed < frames ? in + fed * channels : nullptr;
    size_t taken = 0, given = 0;
    failure = library->process(soxr.get(), chunk, length, &taken, chunkOut.data(),
                               std::min(CHUNK_FRAMES, outFrames - produced), &given);
    out.insert(out.end(), chunkOut.begin(), chunkOut.begin() + static_cast<std::ptrdiff_t>(given * channels));
    fed += taken;
    produced += given;
    if (taken == 0 && given == 0) break;
  }
  if (failure) {
    out = std::vector<float>();
    error = std::string("cannot resample: ") + failure;
    return ResampleStatus::Failed;
  }
  return ResampleStatus::Done;
}

}  // namespace cli
