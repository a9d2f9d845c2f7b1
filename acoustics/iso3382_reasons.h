// Why an ISO 3382 value is not valid: one bit per reason, each with a stable
// kebab-case code (the outputs' reason codes) and a plain sentence. A value
// is valid when its reasons are 0; an invalid value keeps its number where
// one could be computed.
#pragma once

#include <cstdint>

enum IsoReason : uint32_t {
  ISO_NO_ONSET = 1u << 0,
  ISO_SILENT_BAND = 1u << 1,
  ISO_NO_DECAY_ABOVE_NOISE = 1u << 2,
  ISO_INR_TOO_LOW = 1u << 3,
  ISO_RANGE_NOT_REACHED = 1u << 4,
  ISO_TRUNCATED_BEFORE_RANGE = 1u << 5,
  ISO_CURVATURE_ABOVE_10_PERCENT = 1u << 6,
  ISO_NONLINEARITY_ABOVE_10_PERMILLE = 1u << 7,
  ISO_SELECTION_TOO_SHORT = 1u << 8,
  ISO_BAND_MISSING = 1u << 9,
};

struct IsoReasonText {
  IsoReason bit;
  const char* code;      // stable, for json and csv
  const char* sentence;  // for people
};

constexpr IsoReasonText ISO_REASONS[] = {
    {ISO_NO_ONSET, "no-onset",
     "The response has no onset in this band: the selection is silent or the onset lies past the band "
     "signal's end."},
    {ISO_SILENT_BAND, "silent-band", "The band holds no energy after the onset."},
    {ISO_NO_DECAY_ABOVE_NOISE, "no-decay-above-noise",
     "No decay stands out of the background noise, so no truncation point could be found."},
    {ISO_INR_TOO_LOW, "inr-too-low",
     "The impulse-to-noise ratio is too small: the end of the evaluation range lies less than 10 dB above "
     "the noise."},
    {ISO_RANGE_NOT_REACHED, "range-not-reached",
     "The decay curve does not fall through the whole evaluation range within the selection."},
    {ISO_TRUNCATED_BEFORE_RANGE, "truncated-before-range",
     "The decay meets the background noise (the truncation point) before the end of the evaluation range."},
    {ISO_CURVATURE_ABOVE_10_PERCENT, "curvature-above-10-percent",
     "The decay is curved: T30 exceeds T20 by more than 10 % (ISO 3382-2, Annex B)."},
    {ISO_NONLINEARITY_ABOVE_10_PERMILLE, "nonlinearity-above-10-permille",
     "The decay is not straight over the evaluation range: its non-linearity exceeds 10 per mille "
     "(ISO 3382-2, Annex B)."},
    {ISO_SELECTION_TOO_SHORT, "selection-too-short",
     "The selection ends before the time limit of the parameter (50 ms or 80 ms after the onset)."},
    {ISO_BAND_MISSING, "band-missing", "A band that the single number averages was not evaluated."},
};
constexpr int ISO_REASON_COUNT = static_cast<int>(sizeof(ISO_REASONS) / sizeof(ISO_REASONS[0]));
