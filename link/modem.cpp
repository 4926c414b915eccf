#include "link/modem.h"

#include "connection/identification.h"
#include "connection/session.h"
#include "format/cp1251.h"

namespace vardis {

std::string dialCommandBytes(const std::string& dialTextUtf8) {
  std::string bytes = utf8ToCp1251(dialTextUtf8);
  if (bytes.size() > 15) bytes.resize(15);
  bytes.push_back('\r');
  return bytes;
}

void Dial(Session& s, const std::string& dialTextUtf8) {
  s.link.sendRaw(dialCommandBytes(dialTextUtf8));
  s.setCaption("Label47", "Соединение ~30c");
}

void DialWaitElapsed(Session& s) {
  MeterIdentification(s);
}

void StartHangUp(Session& s) {
  s.link.sendRaw("+++");
  s.setCaption("Label47", "Разрыв  ~5c ");
}

void HangUpWaitElapsed(Session& s) {
  s.setCaption("Label47", "Завершено");
  s.link.sendRaw("ATH\r");
}

}  // namespace vardis
