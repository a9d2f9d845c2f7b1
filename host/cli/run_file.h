// Driving one file through the plug-in: its own plug-in instance and settings block,
// the settings dialog filled as a person would, the run, and what the run
// showed (the results store while its dialog was open, the copied report,
// the message boxes and status texts).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/cli/file_result.h"
#include "host/cli/interrupts.h"
#include "host/cli/options.h"

namespace cli {

// Progress and message notifications of one running file (called on the
// worker's thread).
struct RunListener {
  std::function<void(const std::string&)> onStatus;
  std::function<void(int32_t, int32_t)> onProgress;
  std::function<void(const PluginMessage&)> onMessage;
};

// Analyses result.input.audio, whose samples are exactly the selection's frames
// (result.input.firstFrame and result.input.lastFrame number them in the source, path
// names the source); otherwise as AnalyseFile. The selection is resampled to
// 44100 Hz first unless options.nativeRate, and refused (exit code 5) when
// it holds no response (see prepare.h).
void AnalyseSelection(const Options& options, const std::vector<uint8_t>& baseSettings,
                      const RunListener& listener, FileResult& result);

// Analyses one file; `baseSettings` is a saved block to start from (empty:
// XfmInit on a new block). Fills `result`; never throws.
void AnalyseFile(const std::string& path, const Options& options, const std::vector<uint8_t>& baseSettings,
                 const RunListener& listener, FileResult& result);

}  // namespace cli
