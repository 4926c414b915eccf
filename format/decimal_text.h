// Number texts for files that other programs read back: the shortest decimal
// text of a value as the meter holds it, and differences of decimal counters
// without the tail of binary subtraction.
#pragma once

#include <string>
#include <vector>

namespace vardis {

// How the meter holds a number.
enum class NumberKind {
  // Sent as a 32-bit float and widened to double unchanged: flows,
  // temperatures, pressures, heat, densities, enthalpies, parameters.
  Float,
  // Anything else: a count scaled by a power of ten (integrators, run times:
  // 1.2345, 1524106.77), or a number worked out from the meter's.
  Double,
};

// The shortest text that reads back as the meter's own value, '.' as the
// decimal point whatever the locale. Float: the shortest text that reads back
// as that 32-bit float, 18.61 rather than 18.610000610351562 (a value no float
// holds is taken as a Double). Double: the shortest text that reads back as
// the same double. "nan", "inf", "-inf" for values that are no finite number.
//
// The kind must be said: a scaled count such as 1524106.25 is a float's value
// too, whose shortest float text (1524106.2) would be another number.
std::string meterNumberText(double v, NumberKind kind = NumberKind::Double);

// The double that meterNumberText's text reads back as: for JSON writers that
// print the shortest text of a double, so that they print that text.
double meterNumber(double v, NumberKind kind = NumberKind::Double);

// end − start rounded to the decimals the two values' Double texts carry
// (1524106.77 − 1510947.68 is 13159.09, not 13159.090000000084), for counters
// that count in decimal steps. Falls back to the plain difference when a text
// carries more than 9 decimals or a value is no finite number.
double decimalDifference(double end, double start);

// The sum of the meter's floats, each times a whole factor (a mean flow
// times its hours), worked on their shortest decimal texts and rounded to the
// decimals those carry: 18.197916 x 24 is 436.749984, not 436.74998474121094.
// Falls back to the plain sum when a text carries more than 9 decimals.
double decimalFloatSum(const std::vector<double>& floats, double factor);

}  // namespace vardis
