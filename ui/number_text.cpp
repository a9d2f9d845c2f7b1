// Number text in the general format of the runtime's _gcvt.
//
// The digits come from the exact binary value of the double: the value is
// m * 2^q with an integer m, which is the integer N = m * 2^q (q >= 0) or
// N = m * 5^-q scaled by 10^q (q < 0). N is formed in a fixed big-integer
// buffer, its decimal digits are read off, and the rounding to p significant
// digits is decided on those exact digits, an exact tie going away from zero.
// No printf is involved, so every build and every runtime prints the same
// bytes.
//
// Not finite values, which callers show as missing before they get here, are
// written as "1.#INF", "-1.#INF" and "1.#QNAN" (the texts of the 32-bit
// Windows runtime). Both zeros are written "0.".
#include "ui/number_text.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int MAX_DIGITS = 17;
// 2^1024 has 309 decimal digits and 2^53 * 5^1074 has 767: 90 limbs of nine
// decimal digits each hold either; a few spare.
constexpr int LIMB_COUNT = 96;
constexpr uint32_t LIMB_BASE = 1000000000u;

// Unsigned integer in base 10^9, least significant limb first.
struct BigDecimal {
  uint32_t limbs[LIMB_COUNT];
  int used;
};

void MultiplySmall(BigDecimal* number, uint32_t factor) {
  uint64_t carry = 0;
  for (int i = 0; i < number->used; ++i) {
    uint64_t product = static_cast<uint64_t>(number->limbs[i]) * factor + carry;
    number->limbs[i] = static_cast<uint32_t>(product % LIMB_BASE);
    carry = product / LIMB_BASE;
  }
  while (carry != 0 && number->used < LIMB_COUNT) {
    number->limbs[number->used++] = static_cast<uint32_t>(carry % LIMB_BASE);
    carry /= LIMB_BASE;
  }
}

// Writes the decimal digits of number (no leading zeros) into digits and
// returns their count.
int DecimalDigits(const BigDecimal* number, char* digits) {
  int count = 0;
  for (int i = number->used - 1; i >= 0; --i) {
    uint32_t limb = number->limbs[i];
    char group[9];
    for (int d = 8; d >= 0; --d) {
      group[d] = static_cast<char>('0' + limb % 10);
      limb /= 10;
    }
    for (int d = 0; d < 9; ++d) {
      if (count == 0 && group[d] == '0') continue;
      digits[count++] = group[d];
    }
  }
  return count;
}

char* CopyText(char* buffer, const char* text) {
  std::strcpy(buffer, text);
  return buffer;
}

// The exact value of |value| (finite, not zero) as N * 10^-decimalShift:
// N into number, the shift returned.
int ExactDecimal(double value, BigDecimal* number) {
  int binaryExponent = 0;
  // |value| = fraction * 2^binaryExponent with 0.5 <= fraction < 1; the
  // fraction times 2^53 is an exact integer.
  const double fraction = std::frexp(std::fabs(value), &binaryExponent);
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  int power = binaryExponent - 53;
  while ((mantissa & 1u) == 0) {
    mantissa >>= 1;
    ++power;
  }
  number->used = 0;
  while (mantissa != 0) {
    number->limbs[number->used++] = static_cast<uint32_t>(mantissa % LIMB_BASE);
    mantissa /= LIMB_BASE;
  }
  if (power >= 0) {
    for (int left = power; left > 0; left -= 29) MultiplySmall(number, 1u << (left < 29 ? left : 29));
    return 0;
  }
  const int decimalShift = -power;
  for (int left = decimalShift; left > 0; left -= 13) {
    uint32_t factor = 1;
    for (int i = 0; i < (left < 13 ? left : 13); ++i) factor *= 5;
    MultiplySmall(number, factor);
  }
  return decimalShift;
}

// The exact digits rounded to `digits` significant digits into rounded; a
// tie (a 5 followed by anything, zeros included) rounds away from zero.
// Returns the rounded value's decimal exponent (one more than `exponent`
// when all nines carried).
int RoundDigits(const char* exact, int exactCount, int exponent, int digits, char* rounded) {
  for (int i = 0; i < digits; ++i) rounded[i] = i < exactCount ? exact[i] : '0';
  if (digits >= exactCount || exact[digits] < '5') return exponent;
  int i = digits - 1;
  while (i >= 0 && rounded[i] == '9') rounded[i--] = '0';
  if (i >= 0) {
    ++rounded[i];
    return exponent;
  }
  // All nines: the value becomes 10^(exponent + 1).
  rounded[0] = '1';
  return exponent + 1;
}

// Fixed notation with digits - 1 - exponent fraction digits, decided on the
// exact exponent: after a carry the integer part gains a digit.
char* WriteFixed(const char* rounded, int digits, int exponent, int roundedExponent, char* out) {
  const int fractionDigits = digits - 1 - exponent;
  // The rounded value as an integer times 10^-fractionDigits.
  char whole[MAX_DIGITS + 2];
  int wholeCount = 0;
  const bool carried = roundedExponent != exponent;
  if (carried) whole[wholeCount++] = '1';
  for (int i = carried ? 1 : 0; i < digits; ++i) whole[wholeCount++] = rounded[i];
  if (carried) whole[wholeCount++] = '0';
  // whole now holds digits (+1 after a carry) digits; the last
  // fractionDigits of them are the fraction.
  const int integerCount = wholeCount - fractionDigits;
  if (integerCount <= 0) {
    *out++ = '0';
  } else {
    for (int i = 0; i < integerCount; ++i) *out++ = whole[i];
  }
  if (fractionDigits > 0) {
    int last = wholeCount;
    while (last > integerCount && whole[last - 1] == '0') --last;
    *out++ = '.';
    for (int i = integerCount < 0 ? integerCount : 0; i < 0; ++i) *out++ = '0';
    for (int i = integerCount > 0 ? integerCount : 0; i < last; ++i) *out++ = whole[i];
  }
  return out;
}

// Exponential notation: d.ddd, trailing zeros cut, the point kept, a sign
// and three exponent digits.
char* WriteExponential(const char* rounded, int digits, int roundedExponent, char* out) {
  int last = digits;
  while (last > 1 && rounded[last - 1] == '0') --last;
  *out++ = rounded[0];
  *out++ = '.';
  for (int i = 1; i < last; ++i) *out++ = rounded[i];
  *out++ = 'e';
  int shownExponent = roundedExponent;
  *out++ = shownExponent < 0 ? '-' : '+';
  if (shownExponent < 0) shownExponent = -shownExponent;
  *out++ = static_cast<char>('0' + shownExponent / 100);
  *out++ = static_cast<char>('0' + shownExponent / 10 % 10);
  *out++ = static_cast<char>('0' + shownExponent % 10);
  return out;
}

}  // namespace

char* FormatGcvt(double value, int digits, char* buffer) {
  if (digits < 1) digits = 1;
  if (digits > MAX_DIGITS) digits = MAX_DIGITS;
  if (std::isnan(value)) return CopyText(buffer, "1.#QNAN");
  if (std::isinf(value)) return CopyText(buffer, value < 0.0 ? "-1.#INF" : "1.#INF");
  if (value == 0.0) return CopyText(buffer, "0.");

  BigDecimal number;
  const int decimalShift = ExactDecimal(value, &number);
  char exact[LIMB_COUNT * 9];
  const int exactCount = DecimalDigits(&number, exact);
  // Decimal exponent of the exact value: its first digit's position.
  const int exponent = exactCount - decimalShift - 1;
  char rounded[MAX_DIGITS + 1];
  const int roundedExponent = RoundDigits(exact, exactCount, exponent, digits, rounded);

  char* out = buffer;
  if (std::signbit(value)) *out++ = '-';
  if (exponent >= -1 && exponent <= digits - 1) {
    out = WriteFixed(rounded, digits, exponent, roundedExponent, out);
  } else {
    out = WriteExponential(rounded, digits, roundedExponent, out);
  }
  *out = '\0';
  return buffer;
}

char* FormatNumberWidth(char* destination, double value, uint8_t width) {
  char scratch[40];
  FormatGcvt(value, width + 1, scratch);
  size_t length = std::strlen(scratch);
  if (length > width) length = width;
  std::memcpy(destination, scratch, length);
  destination[length] = '\0';
  return destination;
}
