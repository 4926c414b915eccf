// A report line built by writing texts at fixed columns (column 1 is the
// first character) into a line that starts as a run of blanks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vardis {

class FixedColumnLine {
 public:
  explicit FixedColumnLine(std::size_t blanks);

  // Writes `text` at column c >= 1: it replaces the characters at c onwards; a
  // line shorter than c - 1 gets the text appended at its end without
  // filling; a text reaching beyond the end makes the line grow.
  // The characters of values written with putValue are never overwritten: a
  // text that would land on them starts right after them instead.
  void put(int column, std::string_view text);

  // Writes `prefix` + `value` at column c; the value's characters (without
  // trailing blanks) are kept from being overwritten by later texts.
  void putValue(int column, std::string_view prefix, std::string_view value);

  // The row name "at column 0": the name followed by the line from column
  // length(name) on, so the line becomes one character longer. An empty name
  // leaves the line unchanged.
  void putName(std::string_view name);

  // The line as UTF-8.
  std::string text() const;
  // Its length in characters.
  std::size_t length() const { return line_.size(); }

 private:
  std::size_t place(int column, const std::string& cp1251);

  std::string line_;      // code page 1251: one byte per character
  std::size_t kept_ = 0;  // characters 1 .. kept_ hold a value that must stay
};

}  // namespace vardis
