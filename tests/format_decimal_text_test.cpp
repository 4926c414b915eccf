// The number texts of the exports: a float the meter sent reads back as that
// float from the shortest text there is; a scaled count reads back as itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "format/decimal_text.h"

namespace vardis {
namespace {

// "0.0125" 3, "1.5e-07" 2.
int significantDigits(const std::string& text) {
  const std::string mantissa = text.substr(0, text.find_first_of("eE"));
  std::string digits;
  for (char c : mantissa) {
    if (c >= '0' && c <= '9') digits += c;
  }
  const auto first = digits.find_first_not_of('0');
  return first == std::string::npos ? 1 : static_cast<int>(digits.size() - first);
}

TEST(DecimalText, AFloatReadsBackFromTheShortestTextThereIs) {
  std::mt19937 random(20110410);
  std::vector<float> sample{18.61f, 0.1f, 1524106.25f, 91.83041f, 1e-7f, 3.4e38f, -0.001f, 24.f};
  std::uniform_real_distribution<float> mantissa(1.f, 10.f);
  for (int i = 0; i < 2000; ++i) sample.push_back(mantissa(random) * std::pow(10.f, i % 12 - 4));
  for (float f : sample) {
    const std::string text = meterNumberText(f, NumberKind::Float);
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
    EXPECT_EQ(meterNumber(f, NumberKind::Float), std::strtod(text.c_str(), nullptr)) << text;
    // One significant digit fewer names another float (a whole number is
    // written out whole: fewer digits would take more characters).
    const int n = significantDigits(text);
    if (n > 1 && text.find_first_of(".e") != std::string::npos) {
      char shorter[64];
      std::snprintf(shorter, sizeof shorter, "%.*e", n - 2, static_cast<double>(f));
      EXPECT_NE(std::strtof(shorter, nullptr), f) << text << " could be " << shorter;
    }
  }
  EXPECT_EQ(meterNumberText(18.61f, NumberKind::Float), "18.61");
  EXPECT_EQ(meterNumberText(std::nan(""), NumberKind::Float), "nan");
  EXPECT_EQ(meterNumberText(-INFINITY), "-inf");
}

// A count scaled by a power of ten keeps every decimal it counts in, also
// where a float holds the same value (1524106.25 is a float's, "1524106.2").
TEST(DecimalText, AScaledCountReadsBackAsItselfAndItsDifferencesAsDecimals) {
  EXPECT_EQ(meterNumberText(1524106.25), "1524106.25");
  EXPECT_EQ(meterNumberText(96960.8125), "96960.8125");
  EXPECT_EQ(meterNumberText(1.2345), "1.2345");
  EXPECT_EQ(meterNumberText(0.1f), "0.10000000149011612");
  EXPECT_EQ(decimalDifference(1524106.77, 1510947.68), 13159.09);
  EXPECT_EQ(meterNumberText(decimalDifference(1524106.77, 1510947.68)), "13159.09");
  std::mt19937 random(7);
  std::uniform_int_distribution<long long> count(0, 4294967295LL);
  for (int i = 0; i < 2000; ++i) {
    const long long a = count(random), b = count(random);
    const double scale = std::pow(10.0, i % 5);
    const double end = static_cast<double>(a) / scale, start = static_cast<double>(b) / scale;
    EXPECT_EQ(std::strtod(meterNumberText(end).c_str(), nullptr), end);
    EXPECT_EQ(decimalDifference(end, start), static_cast<double>(a - b) / scale) << a << " " << b;
  }
  EXPECT_TRUE(std::isnan(decimalDifference(NAN, 1)));
  // A mean flow times its hours, on the meter's decimals.
  EXPECT_EQ(meterNumberText(decimalFloatSum({18.197916f}, 24)), "436.749984");
  EXPECT_EQ(meterNumberText(decimalFloatSum({0.1f, 0.2f, 18.61f}, 1)), "18.91");
}

}  // namespace
}  // namespace vardis
