// The line speeds a user picks from: index 0..8, 9600 baud and up on a
// direct line, the default the fastest.
#pragma once

#include <array>
#include <cstdint>

namespace vardis {

inline constexpr std::array<std::uint32_t, 9> kSpeeds{600,   1200,  2400,  4800,  9600,
                                                      19200, 38400, 57600, 115200};
inline constexpr std::array<const char*, 9> kSpeedTexts{
    "600,N,8,1",   "1200,N,8,1",  "2400,N,8,1",  "4800,N,8,1",  "9600,N,8,1",
    "19200,N,8,1", "38400,N,8,1", "57600,N,8,1", "115200,N,8,1"};
inline constexpr int kDefaultSpeedIndex = 8;

}  // namespace vardis
