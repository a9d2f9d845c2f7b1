// The four output formats of the roomstat host. Every number comes from the
// plug-in's results store or its copied report; cell texts follow the
// results dialogs' rules and use the plug-in's own number formatting.
#pragma once

#include <string>
#include <vector>

#include "host/cli/analysis.h"
#include "host/cli/value_state.h"

namespace cli {

// Text of one results-dialog cell, "- -" for anything that is not a result.
std::string ParameterCellText(const FileResult& result, int channel, int band, int slot);
std::string PairCellText(const FileResult& result, PairRow row, int band);
std::string NoiseCellText(const FileResult& result, int band);

// The file facts and threshold lines of the table, for other formats.
std::string FileFactsText(const FileResult& result);
std::string ThresholdText(const FileResult& result);
std::string RtuText(const FileResult& result);  // "(-5. dB, -15. dB)"

// Whole outputs for all files, in input order. Files without results are
// left out of csv, shown by their error in table and report, and kept with
// their error in json.
std::string FormatTable(const std::vector<FileResult>& results);
std::string FormatReport(const std::vector<FileResult>& results);
std::string FormatCsv(const std::vector<FileResult>& results);
std::string FormatJson(const std::vector<FileResult>& results);

}  // namespace cli
