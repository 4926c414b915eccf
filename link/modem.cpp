#include "link/modem.h"

#include <cctype>

#include "format/cp1251.h"

namespace vardis {

std::string dialCommandBytes(const std::string& dialTextUtf8) {
  std::string bytes = utf8ToCp1251(dialTextUtf8);
  if (bytes.size() > 15) bytes.resize(15);
  bytes.push_back('\r');
  return bytes;
}

int escapeGuardMs(const std::string& init) {
  std::string upper;
  for (char c : init) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::size_t at = upper.find("S12=");
  if (at == std::string::npos) return kEscapeGuardMs;
  int fiftieths = 0;
  std::size_t i = at + 4;
  for (; i < upper.size() && i < at + 7 && std::isdigit(static_cast<unsigned char>(upper[i]));
       ++i) {
    fiftieths = fiftieths * 10 + (upper[i] - '0');
  }
  return i == at + 4 ? kEscapeGuardMs : fiftieths * 20 + 100;
}

}  // namespace vardis
