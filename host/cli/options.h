// Command-line options of the roomstat host and their parsing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "interface/settings_ranges.h"

namespace cli {

enum class OutputFormat { Table, Report, Csv, Json };

// How the first-arrival threshold is chosen.
enum class ThresholdMode {
  Auto,   // 20 dB below the peak of the selection's weaker channel
  Given,  // typed as the user gave it
  Keep,   // left as the settings block holds it (--settings without --threshold)
};

// Which evaluations a run makes and shows (--evaluation): the plug-in's,
// the host's ISO 3382 evaluation, or both side by side.
enum class Evaluation { Both, Plugin, Iso };

// What the two channels of a file are (--pair): none declared, two ears, or
// an omnidirectional (W) and a figure-of-eight (Y) microphone, omni first.
enum class PairKind { None, Binaural, OmniFigure8 };

// The figure-of-eight gain that --figure8-gain accepts, dB either way.
constexpr double FIGURE8_GAIN_LIMIT_DB = 40.0;

struct Options {
  std::vector<std::string> inputs;
  std::optional<OutputFormat> format;  // unset: table on a terminal, report otherwise
  std::string outputPath;              // empty: stdout
  std::string htmlPath;                // --html: the HTML room report (empty: none)
  // --average: spatial average per channel kind, or over all channels.
  enum class AverageMode { None, PerChannel, AllChannels } average = AverageMode::None;
  bool compare = false;                // --compare: the differences of exactly two files
  bool averageIncludeFlagged = false;  // --average-include-flagged: values with a warning stay in the means

  // Settings typed into the settings dialog (empty: left as the block holds it).
  std::optional<std::string> rtuStartText, rtuEndText;
  ThresholdMode thresholdMode = ThresholdMode::Auto;
  bool thresholdGiven = false;  // --threshold was given (auto included)
  std::string thresholdText;
  std::optional<std::string> yThresholdText;  // given: Lock is unticked
  std::optional<std::string> boostText;
  std::optional<bool> noiseCorrection;
  std::optional<bool> thirdOctave;
  bool nativeRate = false;  // analyse at the file's rate (no resampling to 44100 Hz)
  Evaluation evaluation = Evaluation::Both;
  PairKind pair = PairKind::None;
  double figure8GainDb = 0.0;    // added to the figure-of-eight channel's level (ISO J_LF, J_LFC)
  std::string settingsPath;      // start from a saved block instead of the defaults
  std::string saveSettingsPath;  // write the confirmed block here
  std::string sweepPath;         // --sweep: every FILE is a recording of this sweep file, deconvolved first

  // Selection.
  std::optional<double> startSeconds, endSeconds;
  std::optional<uint64_t> firstFrame, lastFrame;
  // 1-based channels of the file to analyse (one or two); empty: all (1 or 2).
  std::vector<int> channels;

  int jobs = 0;  // 0: number of cores
  // Set by the batch, not by an option: one file is analysed at a time and
  // another core is free, so a file's ISO 3382 evaluation runs beside the
  // plug-in's run on its own thread.
  bool spareCore = false;
  bool quiet = false;
  bool verbose = false;  // implementation notes in the table (json always has them)
  bool help = false;
  bool version = false;
};

// Parses argv. On a usage error returns false and fills `error`.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

// What a settings dialog field can hold: 38 characters (the ranges of the
// values are in interface/settings_ranges.h).
constexpr size_t MAX_FIELD_TEXT = 38;

// True when `text` is a finite decimal number (sign, digits, point,
// exponent; no hexadecimal, "inf" or "nan") of at most MAX_FIELD_TEXT characters.
bool IsNumberText(const std::string& text);

// True when `text` is a whole number from THRESHOLD_LOWEST to
// THRESHOLD_HIGHEST, in digits.
bool IsThresholdText(const std::string& text);

const char* UsageText();

}  // namespace cli
