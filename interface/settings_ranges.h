// What the settings dialog's fields can hold: the ranges the dialog clamps
// typed values to, and the limits every host keeps the values it types and
// the blocks it loads within.
#pragma once

// RTU's decay range: the start lies from -100 to 0 dB; the end at least
// 1 dB below the start, and not below -100 dB unless the start is -100.
constexpr float RTU_HIGHEST_DB = 0.0f;
constexpr float RTU_LOWEST_DB = -100.0f;
constexpr float RTU_MIN_SPAN_DB = 1.0f;

// First-arrival thresholds: whole numbers in the 16-bit sample scale.
constexpr long THRESHOLD_LOWEST = 0;
constexpr long THRESHOLD_HIGHEST = 32767;

// W's gain in LF, kept within +-100 dB by the hosts so that the weighted
// energy stays finite (the dialog itself stores any number).
constexpr double BOOST_LIMIT_DB = 100.0;
