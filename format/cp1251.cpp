#include "format/cp1251.h"

#include <array>
#include <cstddef>

namespace vardis {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr unsigned char kUnassignedByte = 0x98;

// Bytes 0x80..0xFF of code page 1251. Bytes below 0x80 are ASCII.
constexpr std::array<char32_t, 128> kHighHalf = {
    // 0x80
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    // 0x90; 0x98 is unassigned
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,        //
    kReplacement, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    // 0xA0
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    // 0xB0
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  //
    // 0xC0: А..Я
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  //
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  //
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  //
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  //
    // 0xE0: а..я
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  //
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  //
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  //
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  //
};

// One step of UTF-8 decoding. `length` is the number of bytes taken; for an
// ill-formed sequence it covers the longest prefix that could have begun a
// well-formed one (at least one byte), and `valid` is false.
struct Decoded {
  char32_t codePoint = 0;
  std::size_t length = 1;
  bool valid = false;
};

Decoded decodeOne(std::string_view s, std::size_t pos) {
  const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byteAt(pos);
  if (b0 < 0x80) return {b0, 1, true};

  std::size_t need = 0;  // continuation bytes
  char32_t cp = 0;
  // Bounds of the second byte; they exclude overlongs, surrogates and code
  // points above U+10FFFF.
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return {};  // a stray continuation byte, C0, C1 or F5..FF
  }

  std::size_t taken = 1;
  for (std::size_t k = 0; k < need; ++k) {
    if (pos + taken >= s.size()) return {0, taken, false};  // cut short
    const unsigned char b = byteAt(pos + taken);
    const unsigned char min = k == 0 ? lo : 0x80;
    const unsigned char max = k == 0 ? hi : 0xBF;
    if (b < min || b > max) return {0, taken, false};
    cp = (cp << 6) | (b & 0x3Fu);
    ++taken;
  }
  return {cp, taken, true};
}

// The code page byte of a character, or '?' when it has none.
char encodeOne(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));
  for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
    if (0x80 + i == kUnassignedByte) continue;
    if (kHighHalf[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    // The code page reaches no further than the Basic Multilingual Plane.
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string utf8ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const Decoded d = decodeOne(utf8, pos);
    out.push_back(d.valid ? encodeOne(d.codePoint) : '?');
    pos += d.length;
  }
  return out;
}

std::string cp1251ToUtf8(std::string_view cp1251) {
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (const char c : cp1251) {
    const auto b = static_cast<unsigned char>(c);
    appendUtf8(out, b < 0x80 ? char32_t{b} : kHighHalf[b - 0x80u]);
  }
  return out;
}

bool isValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const Decoded d = decodeOne(bytes, pos);
    if (!d.valid) return false;
    pos += d.length;
  }
  return true;
}

}  // namespace vardis
