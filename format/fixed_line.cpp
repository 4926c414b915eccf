#include "format/fixed_line.h"

#include <algorithm>

#include "format/cp1251.h"

namespace vardis {

FixedColumnLine::FixedColumnLine(std::size_t blanks) : line_(blanks, ' ') {}

std::size_t FixedColumnLine::place(int column, const std::string& text) {
  std::size_t start = column < 1 ? 0 : static_cast<std::size_t>(column - 1);
  // Never over the digits of a value already written.
  start = std::max(start, kept_);
  if (line_.size() < start) {
    // Appended directly at the end, without filling.
    start = line_.size();
  }
  if (start + text.size() > line_.size()) line_.resize(start + text.size(), ' ');
  std::copy(text.begin(), text.end(), line_.begin() + static_cast<std::ptrdiff_t>(start));
  return start;
}

void FixedColumnLine::put(int column, std::string_view text) {
  place(column, utf8ToCp1251(text));
}

void FixedColumnLine::putValue(int column, std::string_view prefix, std::string_view value) {
  const std::string p = utf8ToCp1251(prefix);
  const std::string v = utf8ToCp1251(value);
  const std::size_t start = place(column, p + v);
  const std::size_t significant = v.find_last_not_of(' ');
  if (significant != std::string::npos) {
    kept_ = std::max(kept_, start + p.size() + significant + 1);
  }
}

void FixedColumnLine::putName(std::string_view name) {
  const std::string n = utf8ToCp1251(name);
  if (n.empty()) return;
  const std::size_t from = std::min(n.size() - 1, line_.size());
  line_ = n + line_.substr(from);
}

std::string FixedColumnLine::text() const {
  return cp1251ToUtf8(line_);
}

}  // namespace vardis
