// The IEC 61260-1:2014 section of the report: every band filter of the
// plug-in measured through the decimating cascade against Table 1 and the
// effective bandwidth, and the measured classes held against the committed
// table of dsp/iso3382_filter_class.
#pragma once

#include <string>
#include <vector>

#include "tests/conformance/band_filter_tones.h"
#include "tests/conformance/report_rows.h"

namespace conformance {

struct BandVerdict {
  const BandResponse* response = nullptr;
  double margin[3] = {0, 0, 0};       // worst Table 1 margin by class (index 1, 2)
  double marginOmega[3] = {0, 0, 0};  // where it lies
  double bandwidthDeviationDb = 0.0;
  int iecClass = 0;  // 1, 2, 0 = none
};

std::vector<BandVerdict> JudgeBands(const std::vector<BandResponse>& responses);

// The section; `tableAgrees` tells whether every measured class and margin
// equals the committed table.
// ΔA of every band at the Table 1 breakpoints beside the corridors (Markdown).
std::string BreakpointAppendix(const std::vector<BandVerdict>& verdicts);

Section FilterSection(const std::vector<BandVerdict>& verdicts, const ToneRunStats& stats, bool* tableAgrees);

}  // namespace conformance
