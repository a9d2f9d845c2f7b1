// The one rule that turns a result into the text of its cell, for the
// dialogs, the clipboard report and every host's table: four significant
// digits, or the missing mark for a value that was not computed or is not
// finite. Each output has its own missing mark.
#pragma once

#include <cstdint>

#include "ui/number_text.h"

constexpr const char* DIALOG_MISSING = "- -";
constexpr const char* REPORT_MISSING = "--";

// A parameter cell (mark 'y' = computed). Returns buffer (NUMBER_TEXT_SIZE
// bytes) or `missing`.
const char* ParameterCellText(char mark, float value, const char* missing, char* buffer);
// An inter-channel cell: 0.0 means not computed.
const char* PairCellText(double value, const char* missing, char* buffer);
// A cell of the third-octave results dialog: outside the wide band (column
// 0) a value within 0.0001 of zero is shown as missing too.
const char* ThirdOctaveCellText(int column, char mark, float value, char* buffer);
// A noise-correction cell: `missing` when the correction is off, else
// "yes" where the band's noise floor was subtracted and "no" elsewhere.
const char* NoiseCorrectionCellText(uint8_t noiseCorrection, char mark, const char* missing);
