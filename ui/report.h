// The clipboard text report: the whole result of a run as tab-separated
// text, one section per channel, lines ending in CR LF, missing cells "--".
#pragma once

#include <cstdint>

#include "interface/results_view.h"
#include "interface/settings.h"

// A text being built into a caller's buffer. Appending never writes past
// `capacity` (the text stays zero-terminated and is cut short) but always
// counts the full length, so the same builder measures a report
// (capacity 0, data may be null) and writes it.
struct ReportText {
  char* data;         // destination, capacity bytes
  uint32_t capacity;  // bytes, terminator included
  uint32_t length;    // characters of the whole text, terminator excluded
};

// Empties text (length 0, a terminator at data[0] when there is room).
void ResetReportText(ReportText* text, char* data, uint32_t capacity);
void AppendText(ReportText* text, const char* piece);

// Octave (11 columns) or third-octave (28 columns) layout of the pieces.
enum ReportForm { REPORT_OCTAVE = 0, REPORT_THIRD_OCTAVE = 1 };

// Heading line, "Parameters" line and the eleven parameter rows of one
// channel of `results`.
void AppendParameterTable(ReportText* text, ReportForm form, const ResultsView& results, int channel);
// One row of a per-band double: label, then the cells; 0 or a value that is
// not finite is written "--".
void AppendPairRow(ReportText* text, ReportForm form, const char* label, const double* row);
// The "NC:" row: "--" everywhere when noiseCorrection is 0, else "yes"/"no".
void AppendNoiseCorrectionRow(ReportText* text, ReportForm form, uint8_t noiseCorrection,
                              const char* noiseCorrected);

// Replaces text's contents with the report of a run with `channelCount`
// channels (2: a section per channel; 0: none; any other count: one), its
// settings and its results.
void BuildReport(ReportText* text, ReportForm form, uint16_t channelCount, const AnalysisSettings& settings,
                 const ResultsView& results);
// Length of that report (terminator excluded), for sizing its block.
uint32_t ReportLength(ReportForm form, uint16_t channelCount, const AnalysisSettings& settings,
                      const ResultsView& results);

// Bytes of the clipboard block for a report of `length` characters: 4000 per
// channel, or more when the whole zero-terminated text needs it.
uint32_t ReportBlockSize(uint16_t channelCount, uint32_t length);
