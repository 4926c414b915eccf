// The cells of the tables vardis-bench prints: numbers right-aligned in a
// fixed width, labels padded, and the verdict on a target.
#pragma once

#include <cstddef>
#include <cstdio>
#include <iostream>
#include <string>

namespace vardis::bench {

inline constexpr std::size_t kLabelWidth = 36;

inline std::string cell(double v, int width = 8, int decimals = 2) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
  return buf;
}

inline std::string padded(const std::string& s, std::size_t width) {
  // Width in characters; every text here is ASCII.
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

inline std::string rightAligned(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

inline std::string verdict(bool met) {
  return met ? "met" : "MISSED";
}

inline void section(const std::string& title) {
  std::cout << title << "\n";
}

}  // namespace vardis::bench
