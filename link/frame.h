// The meter's 11-byte request and reply frames.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace vardis {

inline constexpr std::uint8_t kStartMark = 0x23;  // '#'
inline constexpr std::uint8_t kFrameEnd = 0x0D;   // CR
inline constexpr std::size_t kFrameLength = 11;

// Meter command bytes.
enum class Command : std::uint8_t {
  SetClock = 0,
  ReadClock = 1,
  ReadFloatValue = 4,
  ReadParameter = 5,
  ReadCounterValue = 8,
  ReadArchiveFloat = 11,
  ReadArchiveInteger = 12,  // also the integrator read
};

using Frame = std::array<std::uint8_t, kFrameLength>;

// Sum of bytes 0..8 and byte 10, modulo 256: the frame's checksum byte 9.
inline std::uint8_t frameSum(const std::uint8_t* frame) {
  unsigned sum = 0;
  for (int i = 0; i <= 8; ++i) sum += frame[i];
  sum += frame[10];
  return static_cast<std::uint8_t>(sum & 0xFF);
}

inline void putU32(std::uint8_t* at, std::uint32_t v) {
  at[0] = static_cast<std::uint8_t>(v & 0xFF);
  at[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  at[2] = static_cast<std::uint8_t>((v >> 16) & 0xFF);
  at[3] = static_cast<std::uint8_t>((v >> 24) & 0xFF);
}

inline std::uint32_t getU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

inline float floatFromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

inline std::uint32_t bitsFromFloat(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// Builds a complete frame (request or reply share the layout) with its checksum.
inline Frame buildFrame(std::uint8_t address, std::uint8_t command, std::uint8_t index1,
                        std::uint8_t index2, std::uint32_t argument) {
  Frame f{};
  f[0] = kStartMark;
  f[1] = address;
  f[2] = command;
  f[3] = index1;
  f[4] = index2;
  putU32(&f[5], argument);
  f[10] = kFrameEnd;
  f[9] = frameSum(f.data());
  return f;
}

}  // namespace vardis
