// Spatial averages over source and receiver positions (one file per
// position) and the comparison of two files against the just-noticeable
// differences of ISO 3382-1 Annex A. Both read only values that are results
// (cells.h): a missing value is left out of a mean and counted.
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
bool JndRelative(int row);
// The rows of a group or compared channel: the parameters, or for "pair"
// the inter-channel rows.
std::vector<int> GroupRows(
    const std::string& channel);  // differences of the row are given in per cent (decay times)

struct Statistic {
  int count = 0;    // computed values
  int missing = 0;  // values left out (not a result)
  double mean = 0.0;
  double deviation = 0.0;  // sample standard deviation (n - 1); not shown for a single value
};

// One group of channels averaged together.
struct AverageGroup {
  std::string channel;  // "mono", "left", "right", "all" or "pair" (the inter-channel rows)
  Statistic cells[MAX_BANDS][AVERAGE_ROW_COUNT];
};

struct Average {
  int fileCount = 0;
  bool thirdOctave = false;
  int sampleRate = 0;
  std::vector<std::string> files;
  std::vector<AverageGroup> groups;
};

// Averages the files with results, per channel kind (mono, left, right) or,
// with allChannels, over every channel; stereo files add the "pair" group.
// Refuses (false, `error`) files of different rates or band sets, or no file
// with results.
bool ComputeAverage(const std::vector<FileResult>& results, bool allChannels, Average& average,
                    std::string& error);

// The difference of two files, B - A, per channel, band and row.
struct Difference {
  bool bothComputed = false;
  double a = 0.0, b = 0.0;
  double difference = 0.0;  // b - a, in the row's unit; per cent of a for decay times
  bool relative = false;    // difference in per cent of a
  double jnd = 0.0;         // 0: no just-noticeable difference for this row
  bool noticeable = false;  // |difference| > jnd
};

struct Comparison {
  std::string fileA, fileB;
  bool thirdOctave = false;
  std::vector<std::string> channels;  // "mono" or "left", "right", then "pair" for stereo
  std::vector<std::vector<std::vector<Difference>>> cells;  // [channel][band][row]
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
