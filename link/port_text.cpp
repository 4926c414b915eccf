#include "link/port_text.h"

#include <cctype>
#include <limits>

namespace vardis {

std::optional<std::int32_t> parseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!std::isdigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > static_cast<long long>(std::numeric_limits<std::int32_t>::max()) + 1) {
      return std::nullopt;
    }
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::string notAnIntegerMessage(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid integer value";
}

bool isDevicePath(std::string_view text) {
  if (text.empty()) return false;
  if (text.front() == '/') return text.size() > 1;
  if (text.rfind("\\\\.\\", 0) == 0) return text.size() > 4;
  if (text.size() > 3 && (text[0] == 'C' || text[0] == 'c') && (text[1] == 'O' || text[1] == 'o') &&
      (text[2] == 'M' || text[2] == 'm')) {
    for (std::size_t i = 3; i < text.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
  }
  return false;
}

std::optional<PortName> portFromText(std::string_view text) {
  if (const auto n = parseInteger(text)) {
    return std::to_string(static_cast<std::uint32_t>(*n) & 0xFFu);
  }
  if (isDevicePath(text)) return PortName(text);
  return std::nullopt;
}

std::string deviceForPort(const PortName& port) {
  if (const auto n = parseInteger(port)) {
    if (*n <= 0) return {};
#ifdef _WIN32
    return "COM" + std::to_string(*n);
#else
    return "/dev/ttyS" + std::to_string(*n - 1);
#endif
  }
  return port;
}

}  // namespace vardis
