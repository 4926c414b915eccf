// The tables of vardis-cli's store commands, in three shapes: padded columns
// for a person at a terminal (numbers rounded as the reports round them),
// one CSV table, and JSON rows for programs (numbers as the meter holds them).
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vardis::cli {

// One cell: NULL (no good reply, or not known), a whole number, a number, a
// text or a truth value. A number's `decimals` is how a terminal shows it
// (the report's rounding); -1 shows it in full. Files always get it in full.
struct Cell {
  enum class Type { Null, Integer, Real, Text, Truth } type = Type::Null;
  long long integer = 0;
  double real = 0;
  std::string text;
  bool truth = false;
  int decimals = -1;

  Cell() = default;
  Cell(long long v) : type(Type::Integer), integer(v) {}
  Cell(int v) : Cell(static_cast<long long>(v)) {}
  Cell(double v, int shownDecimals = -1) : type(Type::Real), real(v), decimals(shownDecimals) {}
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
};

// The columns --columns keeps: the key columns, then each chosen one in the
// order of the table. A chosen name matches a column of that name or a
// quantity column of it ("M1" matches "M1[t/h]" and "M1[t]"). Empty: all.
// A name that matches no column is named in `error`.
bool chooseColumns(Table& t, const std::vector<std::string>& chosen, std::string& error);

// For a person: columns padded to their widest cell (in characters), two
// blanks apart, numbers rounded to their decimals, NULL as "-".
void printTable(const Table& t, std::ostream& out);

// One CSV table: the header, then a line a row, CR LF, every row with the
// header's number of fields; numbers as meterNumberText gives them, NULL empty.
std::string csvTable(const Table& t);

// The rows as JSON objects keyed by the header; numbers as meterNumber gives them.
nlohmann::ordered_json jsonRows(const Table& t);

}  // namespace vardis::cli
