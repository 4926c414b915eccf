// The tables of vardis-cli's store commands, in three shapes: padded columns
// for a person at a terminal (numbers rounded as the reports round them),
// one CSV table, and JSON rows for programs (numbers as the meter holds them).
#pragma once

#include <iosfwd>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "format/decimal_text.h"

namespace vardis::cli {

// One cell: NULL (no good reply, or not known), a whole number, a number, a
// text or a truth value. A number's `decimals` is how a terminal shows it
// (the report's rounding); -1 shows it in full. Files always get it in full,
// as meterNumberText gives it for the number's kind (a float the meter sent,
// or any other double).
struct Cell {
  enum class Type { Null, Integer, Real, Text, Truth } type = Type::Null;
  long long integer = 0;
  double real = 0;
  std::string text;
  bool truth = false;
  int decimals = -1;
  NumberKind kind = NumberKind::Double;

  Cell() = default;
  Cell(long long v) : type(Type::Integer), integer(v) {}
  Cell(int v) : Cell(static_cast<long long>(v)) {}
  Cell(double v, int shownDecimals = -1, NumberKind k = NumberKind::Double)
      : type(Type::Real), real(v), decimals(shownDecimals), kind(k) {}
  Cell(std::string v) : type(Type::Text), text(std::move(v)) {}
  Cell(const char* v) : Cell(std::string(v)) {}
  Cell(bool v) : type(Type::Truth), truth(v) {}
};

struct Table {
  std::vector<std::string> header;  // column names; a quantity's is "M1[t/h]"
  std::vector<std::vector<Cell>> rows;
  // The leading columns that say what a row is (serial, node, name, kind,
  // start, ...): kept whatever --columns chooses.
  std::size_t keyColumns = 0;
  // The last columns (abnormal, noReply, ...): kept whatever --columns chooses.
  std::size_t trailingColumns = 0;
};

// The columns --columns keeps: the key columns, then each chosen one in the
// order of the table, then the trailing columns. A chosen name matches a
// column of that name or a quantity column of it ("M1" matches "M1[t/h]" and
// "M1[t]"). Empty: all. A name that matches no column is named in `error`
// (with the quantities the table has); a table without rows takes any name.
bool chooseColumns(Table& t, const std::vector<std::string>& chosen, std::string& error);

// For a person: columns padded to their widest cell (in characters), two
// blanks apart, numbers rounded to their decimals (half away from zero, as
// the reports round) and right-aligned, NULL as "-".
void printTable(const Table& t, std::ostream& out);

// One CSV table: the header, then a line a row, CR LF, every row with the
// header's number of fields; numbers as meterNumberText gives them, NULL empty.
std::string csvTable(const Table& t);

// The rows as JSON objects keyed by the header; numbers as meterNumber gives
// them (JSON null for NULL and for a value that is no finite number).
nlohmann::ordered_json jsonRows(const Table& t);

// A cell as JSON, as jsonRows gives it.
nlohmann::ordered_json cellJson(const Cell& c);

// A table whose quantity columns are the union of its rows' quantities, in
// the order they were first seen, between the key columns and the trailing
// columns; a row without a column's quantity is NULL there.
class QuantityTable {
 public:
  QuantityTable(std::vector<std::string> keys, std::vector<std::string> trailing);

  // `keys` and `trailing` as many as the header names; quantities by column.
  void addRow(std::vector<Cell> keys, const std::vector<std::pair<std::string, Cell>>& quantities,
              std::vector<Cell> trailing);
  bool empty() const { return rows_.empty(); }
  Table table() const;

 private:
  struct Row {
    std::vector<Cell> keys;
    std::vector<std::pair<std::size_t, Cell>> quantities;
    std::vector<Cell> trailing;
  };
  std::vector<std::string> keys_, trailing_, columns_;
  std::map<std::string, std::size_t> columnIndex_;
  std::vector<Row> rows_;
};

}  // namespace vardis::cli
