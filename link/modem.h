// The GSM modem's texts and waits: the dial command, the escape sequence and
// the hang-up command. The modem's answers are never read; the drain of the
// next meter exchange throws them away.
#pragma once

#include <string>

namespace vardis {

inline constexpr int kDialWaitMs = 35000;    // from dialling to the identification
inline constexpr int kHangUpWaitMs = 5000;   // from "+++" to "ATH"
inline constexpr int kEscapeGuardMs = 1100;  // silence a modem wants before "+++"

// The bytes of the dial command: at most the first 15 characters of the dial
// text (code page 1251), then CR. A shorter text goes whole with its CR.
std::string dialCommandBytes(const std::string& dialTextUtf8);

}  // namespace vardis
