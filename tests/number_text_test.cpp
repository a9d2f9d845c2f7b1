// Number text in the _gcvt general format: the documented examples, the
// choice between fixed and exponential notation made on the exact value,
// carries into a new digit, exact ties and values whose nearest double lies
// just beside a tie, clamped digit counts and non-finite values.
#include "ui/number_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

TEST(NumberText, MatchesTheRuntimeFormat) {
  constexpr double INF = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    int digits;
    const char* text;
  } cases[] = {
      // The documented examples at four digits.
      {1.0, 4, "1."},
      {0.5, 4, "0.5"},
      {-5.0, 4, "-5."},
      {12.34, 4, "12.34"},
      {1234.0, 4, "1234"},
      {0.05, 4, "5.e-002"},
      {12345.0, 4, "1.235e+004"},
      {0.0, 4, "0."},
      {-0.0, 4, "0."},
      // Fixed notation down to e = -1, exponential below and from e = p on.
      {0.1, 4, "0.1"},
      {0.0999, 4, "9.99e-002"},
      {-0.25, 4, "-0.25"},
      {123.0, 4, "123."},
      {10000.0, 4, "1.e+004"},
      {99999.0, 5, "99999"},
      {100000.0, 5, "1.e+005"},
      {-15.0, 7, "-15."},
      {1e-300, 4, "1.e-300"},
      {1.5e300, 4, "1.5e+300"},
      {5e-324, 4, "4.941e-324"},  // the smallest subnormal, 4.9406564584124654e-324
      // Carries into a new digit: the notation follows the exact exponent.
      {9999.6, 4, "10000"},
      {0.099996, 4, "1.e-001"},
      {0.99996, 4, "1."},
      {99.996, 4, "100."},
      {99999.6, 5, "100000"},
      {9.99996, 5, "10."},
      {9999999.6, 7, "10000000"},
      {0.99999996, 7, "1."},
      {-9999.6, 4, "-10000"},
      {99999.5, 4, "1.e+005"},
      // Exact ties (representable halves) round away from zero.
      {-12345.0, 4, "-1.235e+004"},
      {0.125, 2, "0.13"},
      {2.5, 1, "3"},
      {123456.5, 6, "123457"},
      {1234567.5, 7, "1234568"},
      {-0.375, 2, "-0.38"},
      // Decimal ties that are not representable: the double decides.
      // 1.0005 is 1.000499999999999989..., 2.675 is 2.67499999...
      {1.0005, 4, "1."},
      {2.675, 3, "2.67"},
      {1.0015, 4, "1.002"},
      // Trailing zeros of the fraction go, the point stays.
      {1.5, 7, "1.5"},
      {-100.25, 7, "-100.25"},
      {0.000123456, 4, "1.235e-004"},
      // Single-precision values widened to double keep their binary digits.
      {static_cast<double>(-15.3f), 7, "-15.3"},
      {static_cast<double>(0.1f), 7, "0.1"},
      {static_cast<double>(0.1f), 9, "0.100000001"},
      // Digits beyond seventeen are clamped; the longest text still fits.
      {0.1, 17, "0.10000000000000001"},
      {0.1, 40, "0.10000000000000001"},
      // The double nearest to -1.2345678901234567e-300 lies above ...567 at 17 digits.
      {-1.2345678901234567e-300, 17, "-1.2345678901234568e-300"},
      // Non-finite values have fixed texts.
      {INF, 4, "1.#INF"},
      {-INF, 4, "-1.#INF"},
      {std::numeric_limits<double>::quiet_NaN(), 4, "1.#QNAN"},
  };
  for (const auto& c : cases) {
    char buffer[NUMBER_TEXT_SIZE];
    const std::string text = FormatGcvt(c.value, c.digits, buffer);
    EXPECT_EQ(text, c.text) << c.value << " at " << c.digits << " digits";
    EXPECT_LT(text.size(), static_cast<size_t>(NUMBER_TEXT_SIZE));
  }
}

TEST(NumberText, WidthConvertsAtOneMoreDigitAndCuts) {
  const struct {
    double value;
    uint8_t width;
    const char* text;
  } cases[] = {
      {-5.0, 6, "-5."},
      {-15.0, 6, "-15."},
      {static_cast<double>(-33.3f), 6, "-33.3"},
      {-100.0, 6, "-100."},
      {0.0, 6, "0."},
      {123.0, 0, ""},
      // 7 digits give "-12.34568", cut to six characters (not rounded again).
      {-12.345678, 6, "-12.34"},
      // Exponential text is cut as well.
      {1.0e-5, 6, "1.e-00"},
  };
  for (const auto& c : cases) {
    char destination[64];
    EXPECT_STREQ(FormatNumberWidth(destination, c.value, c.width), c.text) << c.value;
  }
}

}  // namespace
