// The record of one file's way through the roomstat host, in the order it is
// filled: what was read (input), what the plug-in was offered (offer), what
// its settings dialog confirmed (confirmation) and what the run gave
// (outcome). Every output format reads this record and nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/cli/audio_file.h"
#include "host/cli/iso_evaluation.h"
#include "host/cli/options.h"
#include "host/cli/settings_check.h"
#include "host/kit/run_record.h"
#include "host/sweep/deconvolution.h"
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

// The file and the frames selected from it.
struct FileInput {
  std::string path;
  AudioData audio;                         // samples are dropped once the run is over
  uint32_t firstFrame = 0, lastFrame = 0;  // selection, inclusive
  // With --sweep: the file is a recording of the sweep, `audio` its
  // deconvolved response, and these the deconvolution's facts.
  std::optional<sweep::DeconvolutionFacts> deconvolution;
};

// What the plug-in was offered of the selection.
struct FileOffer {
  std::vector<double> peaks;  // per used channel, in the offered scale, before scaling
  double scaleFactor = 1.0;   // applied to a float file whose peak lay outside the 16-bit scale
  bool scaled = false;
  int32_t resampledFrom = 0;    // the file's rate when the selection was resampled, else 0
  int32_t analysisRate = 0;     // the rate the plug-in analysed at
  uint32_t analysedFrames = 0;  // frames of the selection as offered to the plug-in
  uint16_t analysedBits = 0;    // width offered (32 once resampled)
  ThresholdMode thresholdMode = ThresholdMode::Auto;
  std::string typedThreshold;  // text typed into the W threshold field (empty: none)
};

// What the settings dialog confirmed.
struct FileConfirmation {
  AnalysisSettings settings{};                 // the confirmed settings block
  std::vector<uint8_t> settingsBytes;          // the same, as bytes (empty: never confirmed)
  std::vector<SettingAdjustment> adjustments;  // values the dialog stored otherwise than typed
};

// What the run gave: the exit status, the results and what the plug-in
// showed on the way.
struct FileOutcome {
  int exitCode = EXIT_OK;
  std::string error;    // why there are no results (exit codes 2, 3, 5, 130)
  std::string refusal;  // reason code when the selection was refused (exit code 5)
  bool haveResults = false;
  AcousticResults store{};    // copied while the results dialog was open
  hostkit::RunRecord record;  // what the run reported of each value's state
  // With --html: per used channel the thinned energy-time curve of the
  // selection (the level curves of the bands are in `record`).
  std::vector<hostkit::LevelCurve> energyTime;
  std::string report;                    // the copied clipboard text
  std::vector<PluginMessage> messages;   // message boxes, in order
  std::vector<std::string> statusTexts;  // status texts, in order
  // The host's ISO 3382 evaluation of the same offered selection (not done
  // with --evaluation plugin, or when the run never offered the selection).
  IsoFileEvaluation iso;
};

// What the options ask of every output of this file.
struct FileRequest {
  Evaluation evaluation = Evaluation::Both;  // --evaluation: which values the outputs show
  PairKind pair = PairKind::None;            // --pair (None for a file without two channels)
};

// Everything the outputs need to know about one file.
struct FileResult {
  // Third-octave bands (else octaves), and the number of channels analysed.
  bool ThirdOctave() const { return confirmation.settings.thirdOctave != 0; }
  int ChannelCount() const { return static_cast<int>(input.audio.usedChannels.size()); }

  FileRequest request;
  FileInput input;
  FileOffer offer;
  FileConfirmation confirmation;
  FileOutcome outcome;
};

}  // namespace cli
