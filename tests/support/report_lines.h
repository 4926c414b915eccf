// Byte-level checks of report files: a code page 1251 encoder of its own (so
// the file layer is not judged by itself), the number texts of the reports
// written with the C library, and a line-by-line comparison with readable
// messages.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vardis::test {

// UTF-8 to code page 1251 for the characters the reports use: ASCII, А..я,
// Ё, ё and №. Anything else is a mistake in the test and becomes '?'.
inline std::string toCp1251(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp = 0;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < utf8.size()) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
      len = 3;
    } else {
      cp = 0xFFFD;
    }
    i += len;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp >= 0x410 && cp <= 0x44F) {
      out += static_cast<char>(0xC0 + (cp - 0x410));
    } else if (cp == 0x401) {
      out += static_cast<char>(0xA8);
    } else if (cp == 0x451) {
      out += static_cast<char>(0xB8);
    } else if (cp == 0x2116) {
      out += static_cast<char>(0xB9);
    } else {
      out += '?';
    }
  }
  return out;
}

// Code page 1251 back to UTF-8, for messages. Bytes outside the report
// alphabet are shown as \xNN.
inline std::string fromCp1251(std::string_view bytes) {
  std::string out;
  auto put = [&out](std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      put(b);
    } else if (b >= 0xC0) {
      put(0x410u + (b - 0xC0u));
    } else if (b == 0xA8) {
      put(0x401);
    } else if (b == 0xB8) {
      put(0x451);
    } else if (b == 0xB9) {
      put(0x2116);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(b));
      out += hex;
    }
  }
  return out;
}

// Characters [pos, pos + n) of a code page 1251 line, as UTF-8.
inline std::string slice(const std::string& cp1251Line, std::size_t pos, std::size_t n) {
  return fromCp1251(cp1251Line.substr(pos, n));
}

// "%*.*f" with a point: right-aligned, never cut; a negative decimals count
// prints 2 decimals.
inline std::string num(double value, int width, int decimals) {
  if (decimals < 0) decimals = 2;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, value);
  return buf;
}

// "%-*.*f".
inline std::string numLeft(double value, int width, int decimals) {
  if (decimals < 0) decimals = 2;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%-*.*f", width, decimals, value);
  return buf;
}

// "%.2d" and "%.4d".
inline std::string two(int v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2d", v);
  return buf;
}
inline std::string four(int v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4d", v);
  return buf;
}

inline std::string underscores(int n) {
  return std::string(static_cast<std::size_t>(n), '_');
}

// The lines of a file whose every line ends with CR LF, still in code page
// 1251. A last piece without CR LF is returned as a line of its own with
// "<no CR LF>" after it, so that it never compares equal.
inline std::vector<std::string> fileLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(at) + "<no CR LF>");
      break;
    }
    lines.push_back(bytes.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// The bytes a report of these lines has on disk.
inline std::string fileBytesOf(const std::vector<std::string>& utf8Lines) {
  std::string out;
  for (const auto& l : utf8Lines) out += toCp1251(l) + "\r\n";
  return out;
}

// Compares the file byte for byte with the expected lines; names every
// differing line (up to ten) with the first differing column.
inline ::testing::AssertionResult reportIs(const std::string& fileBytes,
                                           const std::vector<std::string>& expectedUtf8) {
  if (fileBytes == fileBytesOf(expectedUtf8)) return ::testing::AssertionSuccess();
  const std::vector<std::string> got = fileLines(fileBytes);
  auto failure = ::testing::AssertionFailure();
  if (got.size() != expectedUtf8.size()) {
    failure << "line count: expected " << expectedUtf8.size() << ", got " << got.size() << "\n";
  }
  int shown = 0;
  const std::size_t n = std::max(got.size(), expectedUtf8.size());
  for (std::size_t i = 0; i < n && shown < 10; ++i) {
    const std::string want = i < expectedUtf8.size() ? toCp1251(expectedUtf8[i]) : "<none>";
    const std::string have = i < got.size() ? got[i] : "<none>";
    if (want == have) continue;
    ++shown;
    std::size_t col = 0;
    while (col < want.size() && col < have.size() && want[col] == have[col]) ++col;
    failure << "line " << i + 1 << " differs at column " << col + 1 << " (expected " << want.size()
            << " bytes, got " << have.size() << ")\n  expected: [" << fromCp1251(want)
            << "]\n  actual:   [" << fromCp1251(have) << "]\n";
  }
  return failure;
}

}  // namespace vardis::test
