// The store commands' tables: one CSV table whose every row has the header's
// fields, the columns --columns keeps, and a terminal's rounding and widths.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/table.h"
#include "support/csv_rows.h"

namespace vardis::cli {
namespace {

// The records of a CSV text that must end in CR LF.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  bool wellEnded = false;
  auto records = test::csvRecords(text, &wellEnded);
  EXPECT_TRUE(wellEnded) << "the text ends in CR LF";
  return records;
}

// Rows of several shapes: an hour, a day's totals, one with a quoted name.
Table sampleTable() {
  QuantityTable q({"serial", "name", "start"}, {"abnormal", "noReply"});
  q.addRow({12345LL, "Котельная, ул. \"Мира\"", "2011-04-09T05:00"},
           {{"M1[t/h]", Cell(static_cast<double>(18.61f), 2, NumberKind::Float)},
            {"T1[degC]", Cell(static_cast<double>(91.83041f), 2, NumberKind::Float)}},
           {"T1<G1o", 0});
  q.addRow({12345LL, "two\r\nlines", "2011-04-09"},
           {{"M1[t]", Cell(1524106.25, 3)}, {"B1[h]", Cell(0.125, 2)}}, {Cell(), 1});
  q.addRow({7LL, "", "2011-04-10"}, {{"T1[degC]", Cell()}}, {"", 0});
  return q.table();
}

TEST(CliTable, OneCsvTableEveryRowWithTheHeadersFieldsAndNumbersAsTheMeterHoldsThem) {
  const Table t = sampleTable();
  const auto records = parseCsv(csvTable(t));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0], (std::vector<std::string>{"serial", "name", "start", "M1[t/h]", "T1[degC]",
                                                  "M1[t]", "B1[h]", "abnormal", "noReply"}));
  for (const auto& r : records) EXPECT_EQ(r.size(), records[0].size());
  EXPECT_EQ(records[1][1], "Котельная, ул. \"Мира\"");
  EXPECT_EQ(records[1][3], "18.61");
  EXPECT_EQ(records[2][1], "two\r\nlines");
  EXPECT_EQ(records[2][5], "1524106.25");  // a count: every decimal it counts in
  EXPECT_EQ(records[2][7], "");            // NULL
  EXPECT_EQ(records[3][4], "");

  const auto json = jsonRows(t);
  ASSERT_EQ(json.size(), 3u);
  EXPECT_EQ(json[0]["M1[t/h]"].dump(), "18.61");
  EXPECT_EQ(json[1]["M1[t]"].dump(), "1524106.25");
  EXPECT_TRUE(json[2]["T1[degC]"].is_null());
  EXPECT_TRUE(json[0]["B1[h]"].is_null());
}

TEST(CliTable, ColumnsKeepTheKeysTheChosenQuantitiesAndTheTrailingColumns) {
  Table t = sampleTable();
  std::string error;
  ASSERT_TRUE(chooseColumns(t, {"B1", "M1"}, error)) << error;
  EXPECT_EQ(t.header, (std::vector<std::string>{"serial", "name", "start", "M1[t/h]", "M1[t]",
                                                "B1[h]", "abnormal", "noReply"}));
  for (const auto& r : t.rows) EXPECT_EQ(r.size(), t.header.size());
  EXPECT_EQ(t.rows[1][4].real, 1524106.25);

  Table again = sampleTable();
  EXPECT_FALSE(chooseColumns(again, {"M1", "W9"}, error));
  EXPECT_NE(error.find("W9"), std::string::npos) << error;
  EXPECT_NE(error.find("M1, T1, B1"), std::string::npos) << error;
  EXPECT_EQ(again.header.size(), 9u);  // unchanged
}

TEST(CliTable, ATerminalRoundsAsTheReportsAndAlignsByCharacters) {
  std::ostringstream printed;
  printTable(sampleTable(), printed);
  std::istringstream in(printed.str());
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 4u);
  // 0.125 at 2 decimals is 0.13: half away from zero, as the reports round.
  EXPECT_NE(lines[2].find("  0.13  "), std::string::npos) << lines[2];
  EXPECT_NE(lines[1].find(" 18.61 "), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find(" 91.83 "), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(" two  lines "), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("1524106.250"), std::string::npos) << lines[2];
  // The numbers' columns end where their header does: "start" and its dates
  // are left-aligned, counted in characters (Cyrillic letters take two bytes).
  auto chars = [](const std::string& s, std::size_t bytes) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < bytes; ++i) n += (s[i] & 0xC0) != 0x80 ? 1 : 0;
    return n;
  };
  const std::size_t noReplyEnd = chars(lines[0], lines[0].size());
  for (const auto& l : lines) EXPECT_EQ(chars(l, l.size()), noReplyEnd) << l;
  EXPECT_NE(lines[3].find("  -  "), std::string::npos) << lines[3];
}

}  // namespace
}  // namespace vardis::cli
