// The json format: each file's record, the average and the comparison as
// json documents (built here, laid out by json_writer.h), and the whole
// output. A new block of a file (an evaluation, spatial quantities) is a
// member added in FileJson, with its layout line in FILE_LAYOUT if it is
// written one member per line.
#pragma once

#include <string>
#include <vector>

#include "host/cli/average.h"
#include "host/cli/file_result.h"
#include "host/cli/json_writer.h"

namespace cli {

// One file's document, as an element of the output's "files" array.
Json FileJson(const FileResult& result);
Json AverageJson(const Average& average);
Json ComparisonJson(const Comparison& comparison);

// Which members of each document are written one per line.
const JsonLayout& FileLayout();
const JsonLayout& AverageLayout();
const JsonLayout& ComparisonLayout();

// What the json output holds besides the files: with --average or
// --compare the files become the "files" member of an envelope, followed by
// "average" and "comparison" (null when refused).
struct JsonExtras {
  bool averageAsked = false;
  const Average* average = nullptr;
  bool comparisonAsked = false;
  const Comparison* comparison = nullptr;
};

// The whole json output, with its final line end.
std::string FormatJson(const std::vector<FileResult>& results, const JsonExtras& extras = {});

}  // namespace cli
