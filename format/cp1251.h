// Windows code page 1251, both ways. Internally texts are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vardis {

// UTF-8 to code page 1251. A character the code page cannot hold becomes '?'.
// Invalid UTF-8 bytes become '?' as well.
std::string utf8ToCp1251(std::string_view utf8);

// Code page 1251 to UTF-8. The one unassigned byte (0x98) maps to U+FFFD.
std::string cp1251ToUtf8(std::string_view cp1251);

// True when the bytes are well-formed UTF-8 (ASCII included).
bool isValidUtf8(std::string_view bytes);

}  // namespace vardis
