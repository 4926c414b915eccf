// Number texts of the displays and reports.
#pragma once

#include <string>

namespace vardis {

// The decimal separator of the user's regional settings; front ends pass it in.
struct NumberStyle {
  char decimalSeparator = '.';
};

// "%*.*f": fixed point, rounded to `decimals` (half away from zero on the exact
// binary value), no thousands separator, no separator when decimals is 0, a
// leading '-' when negative, padded on the left with blanks to `width` and never
// cut. A negative decimals count prints 2 decimals. NaN prints "NAN", infinities
// "INF" / "-INF".
std::string fixedRight(double value, int width, int decimals, NumberStyle style = {});

// "%-*.*f": the same text padded on the right.
std::string fixedLeft(double value, int width, int decimals, NumberStyle style = {});

// "%.2d" and "%.4d": at least 2 (4) digits with leading zeros; a minus sign
// comes before the zeros.
std::string twoDigits(long long value);
std::string fourDigits(long long value);

}  // namespace vardis
