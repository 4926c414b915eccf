// The modem call of a connection: dialling a node and hanging up. The front
// end runs the waits between the steps (kDialWaitMs, kHangUpWaitMs).
#pragma once

#include <string>

#include "link/modem.h"

namespace vardis {

class Connection;

// "Соединится": sends the dial command and shows the connecting status. The
// front end then runs DialWaitElapsed after kDialWaitMs.
void Dial(Connection& s, const std::string& dialTextUtf8);

// "Разорвать связь": sends "+++" and shows the hanging-up status. The front end
// then runs HangUpWaitElapsed after kHangUpWaitMs.
void StartHangUp(Connection& s);
// Sends "ATH" CR.
void HangUpWaitElapsed(Connection& s);

}  // namespace vardis
