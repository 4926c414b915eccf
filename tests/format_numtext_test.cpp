#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "format/numtext.h"

namespace vardis {
namespace {

constexpr NumberStyle kComma{','};

// Field width, padding and the number of decimals.
TEST(FixedRight, PadsOnTheLeftToTheWidth) {
  EXPECT_EQ(fixedRight(123.456, 11, 3), "    123.456");
  EXPECT_EQ(fixedRight(0.0, 6, 2), "  0.00");
  EXPECT_EQ(fixedRight(7.0, 1, 0), "7");
}

TEST(FixedRight, NegativeDecimalsPrintTwo) {
  EXPECT_EQ(fixedRight(12340.0, 11, -1), "   12340.00");
  EXPECT_EQ(fixedRight(0.125, 0, -7), "0.13");
}

TEST(FixedRight, ZeroDecimalsHaveNoSeparator) {
  EXPECT_EQ(fixedRight(1234.56, 0, 0), "1235");
  EXPECT_EQ(fixedRight(1234.56, 6, 0), "  1235");
  EXPECT_EQ(fixedRight(1234.56, 6, 0, kComma), "  1235");
}

TEST(FixedRight, NoThousandsSeparator) {
  EXPECT_EQ(fixedRight(1234567.5, 0, 1), "1234567.5");
  EXPECT_EQ(fixedRight(1234567.5, 0, 1, kComma), "1234567,5");
}

TEST(FixedRight, WiderTextIsNeverCut) {
  EXPECT_EQ(fixedRight(123456.789, 5, 2), "123456.79");
  EXPECT_EQ(fixedRight(-98765.4321, 3, 3), "-98765.432");
}

TEST(FixedRight, WidthZeroOrBelowMeansNoPadding) {
  EXPECT_EQ(fixedRight(1.0, 0, 1), "1.0");
  EXPECT_EQ(fixedRight(1.0, -5, 1), "1.0");
  EXPECT_EQ(fixedLeft(1.0, -5, 1), "1.0");
}

TEST(FixedRight, CommaSeparatorFromTheStyle) {
  EXPECT_EQ(fixedRight(3.14159, 8, 3, kComma), "   3,142");
  EXPECT_EQ(fixedRight(-0.5, 6, 2, kComma), " -0,50");
}

// Rounding is half away from zero, decided on the exact binary value.
TEST(FixedRightRounding, ExactTiesGoAwayFromZero) {
  EXPECT_EQ(fixedRight(0.125, 0, 2), "0.13");  // 0.125 is exact
  EXPECT_EQ(fixedRight(-0.125, 0, 2), "-0.13");
  EXPECT_EQ(fixedRight(0.5, 0, 0), "1");
  EXPECT_EQ(fixedRight(1.5, 0, 0), "2");
  EXPECT_EQ(fixedRight(2.5, 0, 0), "3");  // not to even
  EXPECT_EQ(fixedRight(-2.5, 0, 0), "-3");
  EXPECT_EQ(fixedRight(0.375, 0, 2), "0.38");
}

TEST(FixedRightRounding, BinaryValueBelowTheTieRoundsDown) {
  EXPECT_EQ(fixedRight(2.675, 0, 2),
            "2.67");  // 2.67499999999999982236431605997495353221893310546875
  EXPECT_EQ(fixedRight(1.005, 0, 2),
            "1.00");  // 1.00499999999999989341858963598497211933135986328125
  EXPECT_EQ(fixedRight(1.45, 0, 1), "1.4");
  EXPECT_EQ(fixedRight(9.995, 0, 2), "9.99");
}

TEST(FixedRightRounding, BinaryValueAboveTheTieRoundsUp) {
  EXPECT_EQ(fixedRight(0.45, 0, 1),
            "0.5");  // 0.450000000000000011102230246251565404236316680908203125
  EXPECT_EQ(fixedRight(1.125000000000001, 0, 2), "1.13");
  // Just above a tie by less than any short decimal form would show.
  EXPECT_EQ(fixedRight(std::nextafter(0.5, 1.0), 0, 0), "1");
  EXPECT_EQ(fixedRight(std::nextafter(0.5, 0.0), 0, 0), "0");
}

TEST(FixedRightRounding, CarryRunsIntoTheIntegerPart) {
  EXPECT_EQ(fixedRight(9.9996, 0, 3), "10.000");
  EXPECT_EQ(fixedRight(99.95, 0, 1), "100.0");  // 99.9500000000000028421709...
  EXPECT_EQ(fixedRight(999.5, 0, 0), "1000");
  EXPECT_EQ(fixedRight(-999.9999, 8, 2), "-1000.00");
  EXPECT_EQ(fixedRight(0.96, 0, 0), "1");
}

TEST(FixedRightRounding, NoDoubleRounding) {
  // Rounding first to three decimals would give 0.445 and then 0.45.
  EXPECT_EQ(fixedRight(0.4449, 0, 2), "0.44");
  EXPECT_EQ(fixedRight(0.04999999, 0, 1), "0.0");
}

// Signs.
TEST(FixedRightSign, NegativeValuesHaveALeadingMinus) {
  EXPECT_EQ(fixedRight(-1.5, 6, 1), "  -1.5");
  EXPECT_EQ(fixedRight(-12.0, 0, 0), "-12");
}

TEST(FixedRightSign, TinyNegativeKeepsItsMinusLikePrintf) {
  EXPECT_EQ(fixedRight(-0.001, 0, 2), "-0.00");
  EXPECT_EQ(fixedRight(-0.0, 6, 2), " -0.00");
  EXPECT_EQ(fixedRight(-0.4, 0, 0), "-0");
}

// Values at the ends of the double range.
TEST(FixedRightRange, LargeValuesAreWrittenInFull) {
  const std::string text = fixedRight(1e300, 0, 2);
  ASSERT_EQ(text.size(), 301u + 3u);
  // 1e300 is not exactly a power of ten; its binary value is written.
  EXPECT_EQ(text.substr(0, 20), "10000000000000000525");
  EXPECT_EQ(text.substr(text.size() - 3), ".00");

  const std::string max = fixedRight(DBL_MAX, 0, 0);
  EXPECT_EQ(max.size(), 309u);
  EXPECT_EQ(max.substr(0, 17), "17976931348623157");
  EXPECT_EQ(fixedRight(-DBL_MAX, 0, 1).substr(0, 3), "-17");
}

TEST(FixedRightRange, SmallestValuesRoundToZeroOrShowAllDigits) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  EXPECT_EQ(fixedRight(tiny, 0, 2), "0.00");
  const std::string all = fixedRight(tiny, 0, 1074);
  ASSERT_EQ(all.size(), 2u + 1074u);
  EXPECT_EQ(all.back(), '5');  // 2^-1074 ends in 5
  EXPECT_EQ(all.substr(0, 326), "0." + std::string(323, '0') + "4");
  // One decimal fewer: the dropped 5 is an exact tie and rounds up.
  EXPECT_EQ(fixedRight(tiny, 0, 1073).substr(1070), "26563");  // ...265625 -> ...26563
}

TEST(FixedRightRange, MoreDecimalsThanTheValueHasAreZeros) {
  EXPECT_EQ(fixedRight(0.5, 0, 1100), "0.5" + std::string(1099, '0'));
  EXPECT_EQ(fixedRight(0.1, 0, 30), "0.100000000000000005551115123126");
}

// NaN and infinities.
TEST(FixedRightNonFinite, NanAndInfinitiesArePaddedWords) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(fixedRight(nan, 5, 2), "  NAN");
  EXPECT_EQ(fixedRight(inf, 6, 2), "   INF");
  EXPECT_EQ(fixedRight(-inf, 6, 2), "  -INF");
  EXPECT_EQ(fixedRight(inf, 0, 0), "INF");
  EXPECT_EQ(fixedRight(nan, 2, 3), "NAN");
  EXPECT_EQ(fixedLeft(nan, 5, 2), "NAN  ");
  EXPECT_EQ(fixedLeft(-inf, 6, 2), "-INF  ");
}

// Left-justified texts.
TEST(FixedLeft, PadsOnTheRight) {
  EXPECT_EQ(fixedLeft(12.5, 8, 1), "12.5    ");
  EXPECT_EQ(fixedLeft(-3.0, 5, 0), "-3   ");
  EXPECT_EQ(fixedLeft(123456.0, 3, 0), "123456");
  EXPECT_EQ(fixedLeft(2.675, 6, 2, kComma), "2,67  ");
  EXPECT_EQ(fixedLeft(12340.0, 10, -1), "12340.00  ");
}

TEST(FixedLeft, SameDigitsAsRightAligned) {
  for (const double v : {0.0, 1.0, -1.25, 0.125, 2.675, 1e10, -7.77777}) {
    for (int decimals = -1; decimals <= 5; ++decimals) {
      std::string right = fixedRight(v, 20, decimals);
      std::string left = fixedLeft(v, 20, decimals);
      ASSERT_EQ(right.size(), 20u);
      ASSERT_EQ(left.size(), 20u);
      right.erase(0, right.find_first_not_of(' '));
      left.erase(left.find_last_not_of(' ') + 1);
      EXPECT_EQ(left, right) << v << " decimals " << decimals;
    }
  }
}

// Integers with leading zeros.
TEST(LeadingZeros, TwoDigits) {
  EXPECT_EQ(twoDigits(0), "00");
  EXPECT_EQ(twoDigits(9), "09");
  EXPECT_EQ(twoDigits(10), "10");
  EXPECT_EQ(twoDigits(23), "23");
  EXPECT_EQ(twoDigits(100), "100");
  EXPECT_EQ(twoDigits(-5), "-05");
  EXPECT_EQ(twoDigits(-10), "-10");
}

TEST(LeadingZeros, FourDigits) {
  EXPECT_EQ(fourDigits(2011), "2011");
  EXPECT_EQ(fourDigits(7), "0007");
  EXPECT_EQ(fourDigits(0), "0000");
  EXPECT_EQ(fourDigits(123), "0123");
  EXPECT_EQ(fourDigits(12345), "12345");
  EXPECT_EQ(fourDigits(-7), "-0007");
}

TEST(LeadingZeros, ExtremeValues) {
  EXPECT_EQ(twoDigits(LLONG_MAX), "9223372036854775807");
  EXPECT_EQ(fourDigits(LLONG_MIN), "-9223372036854775808");
}

}  // namespace
}  // namespace vardis
