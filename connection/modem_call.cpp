#include "connection/modem_call.h"

#include "connection/connection.h"

namespace vardis {

void Dial(Connection& s, const std::string& dialTextUtf8) {
  s.link.sendRaw(dialCommandBytes(dialTextUtf8));
  s.showCallStatus("Соединение ~30c");
}

void StartHangUp(Connection& s) {
  s.link.sendRaw("+++");
  s.showCallStatus("Разрыв  ~5c ");
}

void HangUpWaitElapsed(Connection& s) {
  s.showCallStatus("Завершено");
  s.link.sendRaw("ATH\r");
}

}  // namespace vardis
