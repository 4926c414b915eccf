// The GSM modem: dialling a node, and hanging up with the escape sequence and
// the hang-up command. The modem's answers are never read; the drain of the
// next meter exchange throws them away.
#pragma once

#include <string>

namespace vardis {

class Session;

inline constexpr int kDialWaitMs = 35000;    // from dialling to the identification
inline constexpr int kHangUpWaitMs = 5000;   // from "+++" to "ATH"
inline constexpr int kEscapeGuardMs = 1100;  // silence a modem wants before "+++"

// The bytes of the dial command: at most the first 15 characters of the dial
// text (code page 1251), then CR. A shorter text goes whole with its CR.
std::string dialCommandBytes(const std::string& dialTextUtf8);

// "Соединится": sends the dial command and shows the connecting status. The
// front end then runs DialWaitElapsed after kDialWaitMs.
void Dial(Session& s, const std::string& dialTextUtf8);
// The wait after dialling is over: the meter is identified over the call.
void DialWaitElapsed(Session& s);

// "Разорвать связь": sends "+++" and shows the hanging-up status. The front end
// then runs HangUpWaitElapsed after kHangUpWaitMs.
void StartHangUp(Session& s);
// Sends "ATH" CR.
void HangUpWaitElapsed(Session& s);

}  // namespace vardis
