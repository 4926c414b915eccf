// RFC 4180 text as records of fields, for the tests that read vardis-cli's CSV.
#pragma once

#include <string>
#include <vector>

namespace vardis::test {

// The records of `text`, whose every line ends in CR LF; `wellEnded` (when
// given) says whether the text ended in one. Quoted fields may hold commas,
// doubled quotes and line ends.
inline std::vector<std::vector<std::string>> csvRecords(const std::string& text,
                                                        bool* wellEnded = nullptr) {
  std::vector<std::vector<std::string>> records(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
      field += c, ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      records.back().push_back(std::move(field)), field.clear();
    } else if (!quoted && c == '\r' && text.compare(i, 2, "\r\n") == 0) {
      records.back().push_back(std::move(field)), field.clear();
      records.emplace_back(), ++i;
    } else {
      field += c;
    }
  }
  if (wellEnded) *wellEnded = records.back().empty() && field.empty();
  records.pop_back();
  return records;
}

}  // namespace vardis::test
