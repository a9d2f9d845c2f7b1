// The one routine that turns a number into the text the user sees, with the
// rules of the Windows runtime's _gcvt, so that every build prints the same
// bytes.
#pragma once

#include <cstdint>

// Room for any result of FormatGcvt with up to 17 significant digits.
constexpr int NUMBER_TEXT_SIZE = 32;

// Writes value with `digits` significant digits (clamped to 1..17) into
// buffer (at least NUMBER_TEXT_SIZE bytes) and returns buffer. The digits are
// those of the exact binary value, an exact tie rounded away from zero; not
// finite values give "1.#INF", "-1.#INF" or "1.#QNAN".
char* FormatGcvt(double value, int digits, char* buffer);
// _gcvt at width + 1 digits, cut to at most `width` characters.
char* FormatNumberWidth(char* destination, double value, uint8_t width);
