#include "cli/table.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "cli/data_export.h"
#include "format/numtext.h"

namespace vardis::cli {

using nlohmann::ordered_json;

namespace {

bool matches(const std::string& column, const std::string& name) {
  return column == name ||
         (column.size() > name.size() + 1 && column.compare(0, name.size(), name) == 0 &&
          column[name.size()] == '[');
}

// The quantity names of the chosen columns, each once: "M1, T1, W1".
std::string quantityNames(const Table& t, std::size_t first, std::size_t end) {
  std::vector<std::string> names;
  for (std::size_t i = first; i < end; ++i) {
    const std::string name = t.header[i].substr(0, t.header[i].find('['));
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

// A text on one line: control characters (a line break) shown as blanks.
std::string oneLine(std::string text) {
  for (char& ch : text) {
    if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
  }
  return text;
}

std::string terminalText(const Cell& c) {
  switch (c.type) {
    case Cell::Type::Integer:
      return std::to_string(c.integer);
    case Cell::Type::Real:
      if (c.decimals >= 0 && std::isfinite(c.real)) return fixedRight(c.real, 0, c.decimals);
      return meterNumberText(c.real, c.kind);
    case Cell::Type::Text:
      return oneLine(c.text);
    case Cell::Type::Truth:
      return c.truth ? "true" : "false";
    case Cell::Type::Null:
      break;
  }
  return "-";
}

std::string fileText(const Cell& c) {
  switch (c.type) {
    case Cell::Type::Integer:
      return std::to_string(c.integer);
    case Cell::Type::Real:
      return meterNumberText(c.real, c.kind);
    case Cell::Type::Text:
      return c.text;
    case Cell::Type::Truth:
      return c.truth ? "true" : "false";
    case Cell::Type::Null:
      break;
  }
  return "";
}

// Characters, not bytes: "Сут" is three wide.
std::size_t width(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char ch : s) n += (ch & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

bool isNumber(const Cell& c) {
  return c.type == Cell::Type::Integer || c.type == Cell::Type::Real;
}

// A column of numbers and NULLs is right-aligned, any other left-aligned.
std::vector<bool> rightAligned(const Table& t) {
  std::vector<bool> right(t.header.size(), true);
  for (const auto& row : t.rows) {
    for (std::size_t i = 0; i < row.size() && i < right.size(); ++i) {
      if (row[i].type != Cell::Type::Null && !isNumber(row[i])) right[i] = false;
    }
  }
  return right;
}

}  // namespace

bool chooseColumns(Table& t, const std::vector<std::string>& chosen, std::string& error) {
  if (chosen.empty()) return true;
  const std::size_t n = t.header.size();
  const std::size_t keys = std::min(t.keyColumns, n);
  const std::size_t trailing = std::min(t.trailingColumns, n - keys);
  const std::size_t middleEnd = n - trailing;
  std::vector<bool> keep(n, false);
  for (std::size_t i = 0; i < n; ++i) keep[i] = i < keys || i >= middleEnd;
  for (const auto& name : chosen) {
    bool found = false;
    for (std::size_t i = 0; i < n; ++i) {
      if (!matches(t.header[i], name)) continue;
      found = true;
      keep[i] = true;
    }
    if (!found && !t.rows.empty()) {
      const std::string names = quantityNames(t, keys, middleEnd);
      error = "--columns " + name + ": no such column" +
              (names.empty() ? " in this table" : "; the table has " + names);
      return false;
    }
  }
  Table out;
  for (std::size_t i = 0; i < n; ++i) {
    if (keep[i]) out.header.push_back(t.header[i]);
  }
  for (const auto& row : t.rows) {
    out.rows.emplace_back();
    for (std::size_t i = 0; i < n && i < row.size(); ++i) {
      if (keep[i]) out.rows.back().push_back(row[i]);
    }
  }
  out.keyColumns = keys;
  out.trailingColumns = trailing;
  t = std::move(out);
  return true;
}

void printTable(const Table& t, std::ostream& out) {
  const std::size_t n = t.header.size();
  std::vector<std::vector<std::string>> lines{{}};
  for (const auto& h : t.header) lines.front().push_back(oneLine(h));
  for (const auto& row : t.rows) {
    lines.emplace_back();
    for (std::size_t i = 0; i < n; ++i) {
      lines.back().push_back(i < row.size() ? terminalText(row[i]) : "-");
    }
  }
  std::vector<std::size_t> widths(n, 0);
  for (const auto& l : lines) {
    for (std::size_t i = 0; i < n; ++i) widths[i] = std::max(widths[i], width(l[i]));
  }
  const std::vector<bool> right = rightAligned(t);
  for (const auto& l : lines) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
      const std::string pad(widths[i] - width(l[i]), ' ');
      if (i != 0) text += "  ";
      text += right[i] ? pad + l[i] : l[i] + pad;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    out << text << "\n";
  }
}

std::string csvTable(const Table& t) {
  std::string out;
  auto line = [&out](const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + csvField(fields[i]);
    out += "\r\n";
  };
  line(t.header);
  for (const auto& row : t.rows) {
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < t.header.size(); ++i) {
      fields.push_back(i < row.size() ? fileText(row[i]) : "");
    }
    line(fields);
  }
  return out;
}

ordered_json cellJson(const Cell& c) {
  switch (c.type) {
    case Cell::Type::Integer:
      return c.integer;
    case Cell::Type::Real:
      if (!std::isfinite(c.real)) break;
      return meterNumber(c.real, c.kind);
    case Cell::Type::Text:
      return c.text;
    case Cell::Type::Truth:
      return c.truth;
    case Cell::Type::Null:
      break;
  }
  return nullptr;
}

ordered_json jsonRows(const Table& t) {
  ordered_json list = ordered_json::array();
  for (const auto& row : t.rows) {
    ordered_json o = ordered_json::object();
    for (std::size_t i = 0; i < t.header.size(); ++i) {
      o[t.header[i]] = i < row.size() ? cellJson(row[i]) : ordered_json();
    }
    list.push_back(std::move(o));
  }
  return list;
}

QuantityTable::QuantityTable(std::vector<std::string> keys, std::vector<std::string> trailing)
    : keys_(std::move(keys)), trailing_(std::move(trailing)) {}

void QuantityTable::addRow(std::vector<Cell> keys,
                           const std::vector<std::pair<std::string, Cell>>& quantities,
                           std::vector<Cell> trailing) {
  Row row{std::move(keys), {}, std::move(trailing)};
  row.keys.resize(keys_.size());
  row.trailing.resize(trailing_.size());
  for (const auto& [column, cell] : quantities) {
    auto [at, added] = columnIndex_.emplace(column, columns_.size());
    if (added) columns_.push_back(column);
    row.quantities.emplace_back(at->second, cell);
  }
  rows_.push_back(std::move(row));
}

Table QuantityTable::table() const {
  Table t;
  t.header = keys_;
  t.header.insert(t.header.end(), columns_.begin(), columns_.end());
  t.header.insert(t.header.end(), trailing_.begin(), trailing_.end());
  t.keyColumns = keys_.size();
  t.trailingColumns = trailing_.size();
  for (const auto& r : rows_) {
    std::vector<Cell> cells = r.keys;
    cells.resize(keys_.size() + columns_.size());
    for (const auto& [i, cell] : r.quantities) cells[keys_.size() + i] = cell;
    cells.insert(cells.end(), r.trailing.begin(), r.trailing.end());
    t.rows.push_back(std::move(cells));
  }
  return t;
}

}  // namespace vardis::cli
