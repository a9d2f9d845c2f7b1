// Spatial averages over source and receiver positions (one file per
// position) and the comparison of two files against the just-noticeable
// differences of ISO 3382-1 Annex A. Both read only values that are results
// (cells.h). A value that is not a result is left out of a mean and
// counted; a value that carries a warning (a decay fit below the
// impulse-to-noise ratio its range needs, an ISO 3382 value that is not
// valid) is left out as well unless flagged values are asked for, and is
// never given a just-noticeable-difference star. Squared correlations are
// neither averaged nor differenced. The ISO 3382 evaluation's values are
// averaged and compared in their own rows, never mixed with the plug-in's.
//
// Just-noticeable differences (one JND):
//   EDT 5 % of A (ISO 3382-1:2009 Table A.1); T20, T30, RTU 5 % of A (T
//   is not in Table A.1: EDT's relative JND is applied to the decay times);
//   C80 1 dB (Table A.1); C50 1 dB (not in Table A.1: C80's); D50 5
//   percentage points (Table A.1: 0.05 as a ratio); Ts 10 ms (Table A.1);
//   LF 0.05 (Table A.1's J_LF and J_LFC), only for an omni + figure-of-eight
//   pair (--pair wy); IACC 0.075 (not in Table A.1 of ISO 3382-1:2009;
//   Cox, Davies and Lam, Acustica 79 (1993), as commonly used), only for a
//   binaural pair (--pair binaural). No star in the bands below ISO 3382-1's
//   frequency range (the 31.5 and 63 Hz octaves, the 25 to 80 Hz thirds).
#pragma once

#include <string>
#include <vector>

#include "host/cli/cells.h"
#include "host/cli/file_result.h"

namespace cli {

// The sampling rate the plug-in analysed a file at (band centres scale with it).
int AnalysisRateHz(const FileResult& result);

// The rows of a band that are averaged or compared: the eleven parameters,
// then the four inter-channel rows.
constexpr int AVERAGE_ROW_COUNT = PARAMS_PER_BAND + PAIR_ROW_COUNT;
const char* RowName(int row);  // "C50", ..., "r RTU", "LF", ..., "Tau IACC"
const char* RowUnit(int row);  // "dB", "%", "ms", "s", ""
// Differences of the row are given in per cent of A (decay times).
bool JndRelative(int row);
// The unit of a difference of the row: "%" (per cent of A), "pp" (D50,
// percentage points), else the row's unit.
const char* DifferenceUnit(int row);
const char* IsoDifferenceUnit(IsoParameter parameter);
// The rows of a group or compared channel that are averaged and compared:
// the parameters without the squared correlations ("r" rows), or for
// "pair" the inter-channel rows.
std::vector<int> GroupRows(const std::string& channel);
// A band below ISO 3382-1's frequency range: no JND star.
bool BelowIsoRange(bool thirdOctave, int band);

// A value of one position that is not in a mean, and why.
struct LeftOutValue {
  std::string file;
  std::string channel;   // "mono", "left", "right" ("left" for the pair rows)
  std::string reason;    // codes: cells.h reasons, ISO codes, "warning", or the file's status
  std::string sentence;  // the reason in words (the warning's sentence for a flagged value)
  bool flagged = false;  // a value with a warning, left out by default
};

struct Statistic {
  int count = 0;    // values in the mean
  int missing = 0;  // values left out because they are not results (failed files included)
  double mean = 0.0;
  double deviation = 0.0;  // sample standard deviation (n - 1); not shown for a single value
  // N, every position of the group: count + missing + flagged values left
  // out. "n of N" is count of positions. A value the band layout or the
  // declared pair never has (the 16 kHz octave's decay values, LF of a
  // binaural pair) is no position.
  int positions = 0;
  // Values with a warning: left out of the mean by default, in it with
  // --average-include-flagged (Average::includeFlagged).
  int flagged = 0;
  // A mean of fewer than half the positions (count * 2 < positions), drawn
  // as such (table and csv mark it, json "fewerThanHalf").
  bool fewerThanHalf = false;
  std::vector<LeftOutValue> leftOut;  // every value not in the mean
};

// One group of channels averaged together.
struct AverageGroup {
  std::string channel;  // "mono", "left", "right", "all" or "pair" (the inter-channel rows)
  Statistic cells[MAX_BANDS][AVERAGE_ROW_COUNT];  // the "r" rows stay empty (never averaged)
  // The ISO 3382 evaluation's values of the same channels (not for
  // "pair"), labelled "ISO 3382" in every output; hasIso when any file of
  // the group has the evaluation.
  bool hasIso = false;
  Statistic iso[MAX_BANDS][ISO_PARAMETER_COUNT];
};

// A file with no results, which no mean holds.
struct LeftOutFile {
  std::string file;
  std::string status;  // StatusName: "unreadable", "refused", ...
  std::string reason;  // the file's error
};

struct Average {
  int fileCount = 0;  // files with results
  bool thirdOctave = false;
  int sampleRate = 0;
  std::vector<std::string> files;  // files with results
  std::vector<AverageGroup> groups;
  bool includeFlagged = false;            // --average-include-flagged
  std::vector<LeftOutFile> leftOutFiles;  // every file without results, counted as a missing position
};

// Averages the files with results, per channel kind (mono, left, right) or,
// with allChannels, over every channel; stereo files add the "pair" group.
// A file without results is a missing position of every group it would
// belong to. Refuses (false, `error`) files of different rates or band
// sets, or no file with results.
bool ComputeAverage(const std::vector<FileResult>& results, bool allChannels, Average& average,
                    std::string& error, bool includeFlagged = false);

// The difference of two files, B - A, per channel, band and row.
struct Difference {
  bool bothComputed = false;  // both values are results (flagged or not)
  double a = 0.0, b = 0.0;
  double difference = 0.0;       // b - a, in `unit`; per cent of a for decay times
  bool relative = false;         // difference in per cent of a
  double jnd = 0.0;              // 0: no just-noticeable difference for this row (and pair)
  bool noticeable = false;       // |difference| > jnd between two clean values in ISO 3382-1's range
  std::string unit;              // DifferenceUnit: "%", "pp", "dB", "ms", "s", ""
  bool flagged = false;          // A or B carries a warning: shown, never starred
  bool belowRange = false;       // a band below ISO 3382-1's range: never starred
  std::string reasonA, reasonB;  // why a value is not a result, or its warning codes ("" when clean)
};

// Whether a difference was held against a JND: both values clean results,
// a JND for the row, in ISO 3382-1's range.
bool Judged(const Difference& difference);

using DifferenceGrid = std::vector<std::vector<std::vector<Difference>>>;  // [channel][band][row]

struct Comparison {
  std::string fileA, fileB;
  bool thirdOctave = false;
  std::vector<std::string> channels;  // "mono" or "left", "right", then "pair" for stereo
  DifferenceGrid cells;               // [channel][band][row]; the "r" rows stay empty
  // The pair both files declare ("binaural", "wy"; "" when none or they
  // differ): it decides which inter-channel rows get a JND.
  std::string pair;
  // The ISO 3382 evaluation's differences, [channel][band][IsoParameter],
  // for the channels before "pair"; empty unless both files have it.
  bool hasIso = false;
  DifferenceGrid iso;
};

// Compares exactly two files with results of the same channel count, rate and
// band set; refuses others with a clear `error`.
bool CompareFiles(const std::vector<FileResult>& results, Comparison& comparison, std::string& error);

// The average and the comparison in each text format (json: json_output.h).
std::string AverageTable(const Average& average);
std::string AverageReport(const Average& average);  // tab-separated, CR LF
std::string AverageCsv(const Average& average);
std::string ComparisonTable(const Comparison& comparison);
std::string ComparisonReport(const Comparison& comparison);
std::string ComparisonCsv(const Comparison& comparison);

}  // namespace cli
