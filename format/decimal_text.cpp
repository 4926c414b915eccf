#include "format/decimal_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace vardis {

namespace {

bool heldAsFloat(double v) {
  if (!std::isfinite(v)) return false;
  if (std::fabs(v) > 3.4028234663852886e38) return false;
  return static_cast<double>(static_cast<float>(v)) == v;
}

bool asFloat(double v, NumberKind kind) {
  return kind == NumberKind::Float && heldAsFloat(v);
}

// The shortest text of a finite value of its kind.
std::string shortest(double v, NumberKind kind) {
  char buf[64];
  const auto r = asFloat(v, kind) ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                                  : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// The decimals a shortest text carries: "13.09" 2, "1e-05" 5, "1200" 0.
int decimalsOf(const std::string& text) {
  const auto e = text.find_first_of("eE");
  const std::string mantissa = text.substr(0, e);
  const auto point = mantissa.find('.');
  int decimals = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
  if (e != std::string::npos) decimals -= std::atoi(text.c_str() + e + 1);
  return decimals < 0 ? 0 : decimals;
}

}  // namespace

std::string meterNumberText(double v, NumberKind kind) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  return shortest(v, kind);
}

double meterNumber(double v, NumberKind kind) {
  if (!asFloat(v, kind)) return v;
  const std::string text = shortest(v, kind);
  double out = v;
  std::from_chars(text.data(), text.data() + text.size(), out);
  return out;
}

namespace {

// `plain` rounded to `decimals`, read back from its fixed text; `plain` itself
// when that cannot be exact.
double roundedTo(double plain, int decimals) {
  if (decimals > 9 || !std::isfinite(plain)) return plain;
  const double scale = std::pow(10.0, decimals);
  const double steps = std::round(plain * scale);
  if (std::fabs(steps) > 9e15) return plain;
  // The text of steps / scale is the exact decimal; read it back as a double.
  char buf[64];
  const auto r =
      std::to_chars(buf, buf + sizeof buf, steps / scale, std::chars_format::fixed, decimals);
  double out = plain;
  std::from_chars(buf, r.ptr, out);
  return out;
}

}  // namespace

double decimalDifference(double end, double start) {
  const double plain = end - start;
  if (!std::isfinite(end) || !std::isfinite(start)) return plain;
  return roundedTo(plain, std::max(decimalsOf(shortest(end, NumberKind::Double)),
                                   decimalsOf(shortest(start, NumberKind::Double))));
}

double decimalFloatSum(const std::vector<double>& floats, double factor) {
  double sum = 0;
  int decimals = 0;
  for (const double v : floats) {
    if (!std::isfinite(v)) return NAN;
    sum += meterNumber(v, NumberKind::Float) * factor;
    decimals = std::max(decimals, decimalsOf(shortest(v, NumberKind::Float)));
  }
  return roundedTo(sum, decimals);
}

}  // namespace vardis
