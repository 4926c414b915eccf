#include "format/numtext.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace vardis {

namespace {

// Every finite double is an integer times a power of two no smaller than
// 2^-1074, so its decimal expansion ends within 1074 fractional digits.
constexpr int kExactFractionDigits = 1074;

// Room for the integer part of the largest double (309 digits), the point and
// the exact fraction.
constexpr std::size_t kExactBufferSize = 1536;

constexpr int kDefaultDecimals = 2;

// The magnitude of `value` (finite) rounded to `decimals`, half away from zero
// on the exact binary value. The result has no sign and uses `separator`.
std::string roundedMagnitude(double value, int decimals, char separator) {
  std::array<char, kExactBufferSize> buf{};
  const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                       std::chars_format::fixed, kExactFractionDigits);
  if (ec != std::errc{}) return "?";  // cannot happen: the buffer holds any double

  const std::string_view exact(buf.data(), static_cast<std::size_t>(end - buf.data()));
  const std::size_t point = exact.find('.');
  const std::string_view intPart = exact.substr(0, point);
  const std::string_view fracPart =
      point == std::string_view::npos ? std::string_view{} : exact.substr(point + 1);

  // Digits of the result without the point: the integer part and the kept
  // fraction digits, zero-filled when more decimals are asked than exist.
  std::string digits(intPart);
  const auto want = static_cast<std::size_t>(decimals);
  if (want <= fracPart.size()) {
    digits.append(fracPart.substr(0, want));
  } else {
    digits.append(fracPart);
    digits.append(want - fracPart.size(), '0');
  }

  // The first dropped digit alone decides: the expansion is exact, so a 5 or
  // more there means the rest is at least one half.
  const bool roundUp = want < fracPart.size() && fracPart[want] >= '5';
  if (roundUp) {
    bool carry = true;
    for (std::size_t i = digits.size(); carry && i > 0;) {
      --i;
      if (digits[i] == '9') {
        digits[i] = '0';
      } else {
        ++digits[i];
        carry = false;
      }
    }
    if (carry) digits.insert(digits.begin(), '1');
  }

  // Split again into integer and fraction digits.
  const std::size_t intLen = digits.size() - want;
  std::string text = digits.substr(0, intLen);
  if (want > 0) {
    text.push_back(separator);
    text.append(digits, intLen, want);
  }
  return text;
}

std::string numberText(double value, int decimals, NumberStyle style) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (decimals < 0) decimals = kDefaultDecimals;
  std::string text = roundedMagnitude(value, decimals, style.decimalSeparator);
  // The sign follows the value, not the rounded text: -0.001 gives "-0.00".
  if (std::signbit(value)) text.insert(text.begin(), '-');
  return text;
}

std::string atLeastDigits(long long value, std::size_t minDigits) {
  // The magnitude as unsigned, so that the most negative value works too.
  const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
  std::array<char, 24> buf{};
  const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude);
  (void)ec;  // 24 characters hold any 64-bit number
  const std::string_view digits(buf.data(), static_cast<std::size_t>(end - buf.data()));

  std::string text;
  if (value < 0) text.push_back('-');
  if (digits.size() < minDigits) text.append(minDigits - digits.size(), '0');
  text.append(digits);
  return text;
}

}  // namespace

std::string fixedRight(double value, int width, int decimals, NumberStyle style) {
  std::string text = numberText(value, decimals, style);
  if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

std::string fixedLeft(double value, int width, int decimals, NumberStyle style) {
  std::string text = numberText(value, decimals, style);
  if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
    text.append(static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

std::string twoDigits(long long value) {
  return atLeastDigits(value, 2);
}

std::string fourDigits(long long value) {
  return atLeastDigits(value, 4);
}

}  // namespace vardis
