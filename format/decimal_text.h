// Number texts for files that other programs read back: the shortest decimal
// text of a value as the meter holds it, and differences of decimal counters
// without the tail of binary subtraction.
#pragma once

#include <string>

namespace vardis {

// The shortest text that reads back as the meter's own value, '.' as the
// decimal point whatever the locale. A value the meter sent as a 32-bit float
// (every float widened to double is one) gets the shortest text that reads
// back as that float: 18.61 rather than 18.610000610351562. Any other value
// (a counter scaled by a power of ten: 1.2345, 1524106.77) gets the shortest
// text that reads back as the same double. "nan", "inf", "-inf" for values
// that are no finite number.
std::string meterNumberText(double v);

// The double that the text of meterNumberText reads back as: for JSON
// writers that print the shortest text of a double.
double meterNumber(double v);

// end − start rounded to the decimals the two values' texts carry
// (1524106.77 − 1510947.68 is 13159.09, not 13159.090000000084), for counters
// that count in decimal steps. Falls back to the plain difference when a text
// carries more than 9 decimals or a value is no finite number.
double decimalDifference(double end, double start);

}  // namespace vardis
