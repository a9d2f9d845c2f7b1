// What the plug-in is offered of a file's selection: the peaks, the
// selection resampled to the filters' design rate (unless the file's own
// rate is kept), a float file brought into the 16-bit scale, the threshold
// to type, and a refusal of a selection that holds no response to analyse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/cli/file_result.h"

namespace cli {

struct OfferedAudio {
  std::vector<float> samples;  // interleaved frames of the used channels
  uint16_t bits = 16;
  int32_t rate = 0;
  uint32_t first = 0, last = 0;  // selection within `samples`, inclusive
};

// Fills `offered` from result.audio (whose samples, the selection's frames
// alone, it takes), and the result's peaks, scaling, rates and typed
// threshold. False when the selection cannot be analysed: exitCode, error
// and (for a refusal) refusal are set.
bool PrepareSelection(const Options& options, FileResult& result, OfferedAudio& offered);

// Shortest selection any band can give a value from, in seconds (the
// 50 ms early window of C50 and D50).
constexpr double MIN_SELECTION_SECONDS = 0.05;
// A selection in which no 50 ms after the peak (no tenth, when shorter) lie
// this many dB below the 50 ms that start at the peak has no decay.
constexpr double MIN_DECAY_DB = 10.0;
// A float file whose peak lies below this (in the 16-bit scale, -30 dBFS)
// is scaled up like a loud one when the threshold is automatic, so that
// the threshold keeps its resolution.
constexpr double QUIET_PEAK = 1036.0;

}  // namespace cli
