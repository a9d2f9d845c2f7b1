// One file through the plug-in: its own plug-in instance and settings block,
// the settings dialog filled as a person would, the run, and what the run
// showed (the results store while its dialog was open, the copied report,
// the message boxes and status texts).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/cli/audio_file.h"
#include "host/cli/options.h"
#include "host/cli/settings_check.h"
#include "host/kit/run_record.h"
#include "interface/results.h"
#include "interface/settings.h"

namespace cli {

enum ExitCode {
  EXIT_OK = 0,
  EXIT_USAGE = 1,
  EXIT_UNREADABLE = 2,
  EXIT_NO_RESULTS = 3,
  EXIT_WRITE_FAILED = 4,  // an output file could not be written (the previous one is untouched)
  EXIT_REFUSED = 5,       // the selection holds no response to analyse (silent, no decay, too short)
  EXIT_INTERRUPTED = 130,
};

struct PluginMessage {
  std::string caption;
  std::string text;
};

// Everything the outputs need to know about one file.
struct FileResult {
  // Third-octave bands (else octaves), and the number of channels analysed.
  bool ThirdOctave() const { return settings.thirdOctave != 0; }
  int ChannelCount() const { return static_cast<int>(audio.usedChannels.size()); }

  std::string path;
  int exitCode = EXIT_OK;
  std::string error;  // why there are no results (exit codes 2, 3, 130)

  AudioData audio;                         // samples are dropped once the run is over
  uint32_t firstFrame = 0, lastFrame = 0;  // selection, inclusive
  std::vector<double> peaks;               // per used channel, in the offered scale, before scaling
  double scaleFactor = 1.0;                // applied to a float file whose peak lay outside the 16-bit scale
  bool scaled = false;
  int32_t resampledFrom = 0;    // the file's rate when the selection was resampled, else 0
  int32_t analysisRate = 0;     // the rate the plug-in analysed at
  uint32_t analysedFrames = 0;  // frames of the selection as offered to the plug-in
  uint16_t analysedBits = 0;    // width offered (32 once resampled)
  std::string refusal;          // reason code when the selection was refused (exit code 5)
  ThresholdMode thresholdMode = ThresholdMode::Auto;
  std::string typedThreshold;  // text typed into the W threshold field (empty: none)

  AnalysisSettings settings{};                 // the confirmed settings block
  std::vector<uint8_t> settingsBytes;          // the same, as bytes
  std::vector<SettingAdjustment> adjustments;  // values the dialog stored otherwise than typed
  bool haveResults = false;
  AcousticResults store{};    // copied while the results dialog was open
  hostkit::RunRecord record;  // what the run reported of each value's state
  // With --html: per used channel the thinned energy-time curve of the
  // selection (the level curves of the bands are in `record`).
  std::vector<hostkit::LevelCurve> energyTime;
  std::string report;                    // the copied clipboard text
  std::vector<PluginMessage> messages;   // message boxes, in order
  std::vector<std::string> statusTexts;  // status texts, in order
};

// Progress and message notifications of one running file (called on the
// worker's thread).
struct RunListener {
  std::function<void(const std::string&)> onStatus;
  std::function<void(int32_t, int32_t)> onProgress;
  std::function<void(const PluginMessage&)> onMessage;
};

// Set by the first interrupt: the running band analyses stop after their
// current level, and no further file starts.
extern std::atomic<bool> g_stopRequested;

// Analyses result.audio, whose samples are exactly the selection's frames
// (result.firstFrame and result.lastFrame number them in the source, path
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
