// The HTML room report: one self-contained page (inline CSS and SVG, no
// script, no external file) with, per file, the file facts, the results
// table with the reasons for missing values, the energy-time curve, the
// decay curve and fitted lines of every band, and the parameters against
// frequency; first the average over the files (and, for two files, their
// differences). Every number and curve comes from the plug-in's run (the
// results store and the run record); the page only draws them.
#pragma once

#include <string>
#include <vector>

#include "host/cli/average.h"
#include "host/cli/file_result.h"

namespace cli {

struct HtmlExtras {
  const Average* average = nullptr;  // null: no average section
  std::string averageError;          // why the average was refused (shown instead)
  const Comparison* comparison = nullptr;
  std::string comparisonError;
};

std::string FormatHtml(const std::vector<FileResult>& results, const HtmlExtras& extras);

}  // namespace cli
