#include "ui/cell_text.h"

#include <cmath>

namespace {

constexpr int CELL_DIGITS = 4;
// A third-octave value this close to zero is shown as missing.
constexpr float SMALLEST_THIRD_OCTAVE_MAGNITUDE = 0.0001f;

}  // namespace

const char* ParameterCellText(char mark, float value, const char* missing, char* buffer) {
  if (mark != 'y' || !std::isfinite(value)) return missing;
  return FormatGcvt(static_cast<double>(value), CELL_DIGITS, buffer);
}

const char* PairCellText(double value, const char* missing, char* buffer) {
  if (value == 0.0 || !std::isfinite(value)) return missing;
  return FormatGcvt(value, CELL_DIGITS, buffer);
}

const char* ThirdOctaveCellText(int column, char mark, float value, char* buffer) {
  if (column != 0 && !(value < -SMALLEST_THIRD_OCTAVE_MAGNITUDE || value > SMALLEST_THIRD_OCTAVE_MAGNITUDE))
    return DIALOG_MISSING;
  return ParameterCellText(mark, value, DIALOG_MISSING, buffer);
}

const char* NoiseCorrectionCellText(uint8_t noiseCorrection, char mark, const char* missing) {
  if (noiseCorrection == 0) return missing;
  return mark == 'y' ? "yes" : "no";
}
