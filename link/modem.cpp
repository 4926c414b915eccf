#include "link/modem.h"

#include "format/cp1251.h"

namespace vardis {

std::string dialCommandBytes(const std::string& dialTextUtf8) {
  std::string bytes = utf8ToCp1251(dialTextUtf8);
  if (bytes.size() > 15) bytes.resize(15);
  bytes.push_back('\r');
  return bytes;
}

}  // namespace vardis
