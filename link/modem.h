// The GSM modem's texts and waits: the dial command, the escape sequence and
// the hang-up command, and the guard time of the escape. What the modem
// answers is read by the call above (connection/modem_answer.h).
#pragma once

#include <string>

namespace vardis {

inline constexpr int kDialWaitMs = 35000;    // from dialling to the identification
inline constexpr int kHangUpWaitMs = 5000;   // from "+++" to "ATH"
inline constexpr int kEscapeGuardMs = 1100;  // silence a modem wants before "+++"

// The bytes of the dial command: at most the first 15 characters of the dial
// text (code page 1251), then CR. A shorter text goes whole with its CR.
std::string dialCommandBytes(const std::string& dialTextUtf8);

// The silence to keep before and after "+++" for a modem set up with `init`:
// its register S12 ("S12=n" in any case, up to three digits) in fiftieths of
// a second, plus 100 ms; kEscapeGuardMs when the init string does not set it.
int escapeGuardMs(const std::string& init);

}  // namespace vardis
