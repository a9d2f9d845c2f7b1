// The text formats of the roomstat host: the table and the report
// (table_output.cpp) and csv (csv_output.cpp); json is json_output.h. Every
// number comes from the plug-in's results store or its copied report; what a
// cell shows is decided in cells.h.
#pragma once

#include <string>
#include <vector>

#include "host/cli/cells.h"
#include "host/cli/file_result.h"

namespace cli {

// The file facts and threshold lines of the table, for other formats.
std::string FileFactsText(const FileResult& result);
std::string ThresholdText(const FileResult& result);
std::string RtuText(const FileResult& result);  // "(-5. dB, -15. dB)"

// What the table shows: which evaluations (--evaluation), what the two
// channels are (--pair: the words of the channel headings and thresholds),
// and whether implementation notes are wanted (--verbose).
struct TableView {
  Evaluation evaluation = Evaluation::Both;
  PairKind pair = PairKind::None;
  bool verbose = false;
};

// Whole outputs for all files, in input order. Files without results are
// left out of csv and shown by their error in table and report (the json
// format is json_output.h).
std::string FormatTable(const std::vector<FileResult>& results, const TableView& view = {});
std::string FormatReport(const std::vector<FileResult>& results);
std::string FormatCsv(const std::vector<FileResult>& results);

}  // namespace cli
