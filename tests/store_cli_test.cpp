// The store of readings through vardis-cli against the simulated meter on a
// pseudo-terminal: what a reading stores is what it exported, a failed value
// is stored as missing, --missing asks the meter only for what the store
// lacks, and a store that cannot be used never stops a reading.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "link/frame.h"
#include "store/reading_store.h"
#include "support/cli_data.h"
#include "support/cli_runner.h"
#include "support/pty_meter.h"
#include "support/store_sql.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPcTime = test::kPinnedPcTime;
using test::dataDir;
using test::pinMeter;

using test::archiveDaysAsked;
using test::sqlExec;
using test::sqlValue;

QJsonArray jsonRecords(const std::string& text, const char* list) {
  const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
  const QJsonObject first = doc[list].toArray().at(0).toObject();
  return (first.contains("exports") ? first["exports"].toArray().at(0).toObject()
                                    : first)["records"]
      .toArray();
}

std::string fileBytes(const fs::path& p) {
  return test::readFile(p);
}

// What the history prints is what the reading exported, value for value; a
// second reading of equal values adds no record.
TEST(StoreCli, HistoryHoldsWhatTheReadingExportedAndEqualReadsAddNothing) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir dir;
  const auto port = meter.simulator->portPath();
  const auto read = test::runCli(port, dataDir(dir), kPcTime,
                                 {"--format", "json", "--out", "-", "hourly", "2011-04-09"});
  ASSERT_EQ(read.status, cli::kExitOk) << read.err;
  const auto history = test::runCli("/dev/null/none", dir.path(), kPcTime,
                                    {"--format", "json", "history", "hourly"});
  ASSERT_EQ(history.status, 0) << history.err;
  const QJsonArray exported = jsonRecords(read.out, "exports");
  const QJsonArray stored = jsonRecords(history.out, "meters");
  ASSERT_EQ(exported.size(), 24);
  EXPECT_EQ(stored, exported);

  const std::string records = sqlValue(dir.path(), "SELECT count(*) FROM records");
  const auto again = test::runCli(port, dir.path(), kPcTime, {"hourly", "2011-04-09"});
  ASSERT_EQ(again.status, cli::kExitOk) << again.err;
  EXPECT_EQ(sqlValue(dir.path(), "SELECT count(*) FROM records"), records);
  EXPECT_EQ(sqlValue(dir.path(), "SELECT count(*) FROM visits WHERE outcome = 'ok'"), "2");
}

// A value whose transaction ran out of attempts is stored as missing (null);
// where a good reading of it is stored too, the history shows the good one.
TEST(StoreCli, AFailedValueIsStoredAsMissingAndNeverHidesAGoodOne) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir faultyDir, bothDir;
  const auto port = meter.simulator->portPath();
  ASSERT_EQ(test::runCli(port, dataDir(bothDir), kPcTime, {"hourly", "2011-04-09"}).status, 0);
  for (const fs::path& d : {dataDir(faultyDir), bothDir.path()}) {
    sim::FaultOptions aimed;  // hour 5, quantity 0: all 11 attempts fail
    aimed.corruptAt = static_cast<unsigned>(meter.requests().size()) + 8 + 5 * 21 + 1;
    aimed.corruptRun = 11;
    meter.simulator->setFaults(aimed);
    EXPECT_EQ(test::runCli(port, d, kPcTime, {"hourly", "2011-04-09"}).status, cli::kExitLinkFault);
    meter.simulator->setFaults({});
  }
  for (const fs::path& d : {faultyDir.path(), bothDir.path()}) {
    const auto h = test::runCli("-", d, kPcTime, {"--format", "json", "history", "hourly"});
    const QJsonArray records = jsonRecords(h.out, "meters");
    ASSERT_EQ(records.size(), 24) << h.err;
    const QJsonValue v = records.at(5).toObject()["quantities"].toArray().at(0)["value"];
    EXPECT_EQ(v.isNull(), d == faultyDir.path()) << d;
    EXPECT_TRUE(records.at(6).toObject()["quantities"].toArray().at(0)["value"].isDouble());
  }
  EXPECT_EQ(sqlValue(bothDir.path(), "SELECT max(revision) FROM records WHERE kind='hourly'"), "2");
}

// --missing reads the days the store lacks, and nothing once it holds them.
TEST(StoreCli, MissingAsksTheMeterOnlyForTheDaysTheStoreLacks) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir dir;
  const auto port = meter.simulator->portPath();
  const std::vector<std::string> args{"hourly",     "--missing", "--from",
                                      "2011-04-07", "--to",      "2011-04-08"};
  // The count of days comes before the first reading, and when it is 0.
  auto asked = [&](const std::string& count) {
    const std::size_t before = meter.requests().size();
    const auto r = test::runCli(port, dataDir(dir), kPcTime, args);
    EXPECT_EQ(r.status, cli::kExitOk) << r.err;
    const auto said = r.out.find("hourly --missing: " + count + " days to read\n");
    EXPECT_NE(said, std::string::npos) << r.out;
    EXPECT_LT(said, r.out.find("_chas.txt")) << r.out;
    return archiveDaysAsked(meter, before);
  };
  EXPECT_EQ(asked("2"), (std::set<int>{7, 8}));
  EXPECT_EQ(asked("0"), std::set<int>{});
  sqlExec(dir.path(),
          "DELETE FROM record_values WHERE record_id IN (SELECT id FROM records WHERE start "
          "LIKE '2011-04-07%'); DELETE FROM records WHERE start LIKE '2011-04-07%'");
  EXPECT_EQ(asked("1"), std::set<int>{7});
}

// The history's --from and --to are days: --to takes the whole day, the words
// are days of the PC clock, and a monthly record counts in a range touching its month.
TEST(StoreCli, HistoryRangesAreWholeDays) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir dir;
  const auto read =
      test::runCli(meter.simulator->portPath(), dataDir(dir), kPcTime,
                   {"hourly", "yesterday", "daily", "today", "monthly", "2011-03-01"});
  ASSERT_EQ(read.status, cli::kExitOk) << read.err;
  auto records = [&](std::vector<std::string> range, const char* kind) {
    range.insert(range.begin(), {"--format", "json", "history"});
    range.push_back(kind);
    const auto h = test::runCli("-", dir.path(), kPcTime, range);
    EXPECT_EQ(h.status, 0) << h.err;
    std::vector<std::string> starts;
    for (const auto& r : jsonRecords(h.out, "meters")) {
      starts.push_back(r.toObject()["dateTime"].toString().toStdString());
    }
    return starts;
  };
  EXPECT_EQ(records({"--from", "2011-04-01", "--to", "2011-04-01"}, "daily"),
            std::vector<std::string>{"2011-04-01"});
  const auto hours = records({"--from", "yesterday", "--to", "yesterday"}, "hourly");
  ASSERT_EQ(hours.size(), 24u);
  EXPECT_EQ(hours.back(), "2011-04-09T23:00");
  EXPECT_EQ(records({"--from", "yesterday", "--to", "today"}, "hourly"), hours);
  EXPECT_EQ(records({"--from", "2011-03-31", "--to", "2011-04-01"}, "monthly"),
            std::vector<std::string>{"2011-03"});
}

// RFC 4180 records; every line ends in CR LF.
std::vector<std::vector<std::string>> csvRecords(const std::string& text) {
  std::vector<std::vector<std::string>> out(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      quoted = !quoted;
      if (!quoted && i + 1 < text.size() && text[i + 1] == '"') out.back().back() += c;
    } else if (!quoted && c == ',') {
      out.back().emplace_back();
    } else if (!quoted && text.compare(i, 2, "\r\n") == 0) {
      out.push_back(std::vector<std::string>(1));
      ++i;
    } else {
      out.back().back() += c;
    }
  }
  EXPECT_EQ(out.back(), std::vector<std::string>(1)) << "the text ends in CR LF";
  out.pop_back();
  return out;
}

std::vector<std::string> words(const std::string& line, char separator = ' ') {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string w; std::getline(in, w, separator);) {
    w.erase(0, w.find_first_not_of(" \r"));
    w.erase(w.find_last_not_of(" \r") + 1);
    if (!w.empty()) out.push_back(w);
  }
  return out;
}

// A float's text is the shortest that reads back as that float; a count of
// hundredths, thousandths or ten-thousandths carries no more decimals.
void expectMeterText(const std::string& column, const std::string& text) {
  const bool count = column.find("[h]") != std::string::npos ||
                     column.find("[t]") != std::string::npos || column.front() == 'Q';
  if (count) {
    const auto point = text.find('.');
    EXPECT_LE(point == std::string::npos ? 0 : text.size() - point - 1, 4u)
        << column << " " << text;
    return;
  }
  const float f = std::strtof(text.c_str(), nullptr);
  char shortest[32];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(shortest, sizeof shortest, "%.*g", digits, static_cast<double>(f));
    if (std::strtof(shortest, nullptr) == f) break;
  }
  EXPECT_EQ(std::strtod(text.c_str(), nullptr), std::strtod(shortest, nullptr)) << column;
}

// The daily history: one CSV table that every row fills, numbers as the meter
// holds them; for a person, one line a day rounded as the daily report
// rounds, the columns --columns names.
TEST(StoreCli, DailyHistoryIsOneCsvTableAndATerminalTableAsTheReportRounds) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir dir;
  ASSERT_EQ(
      test::runCli(meter.simulator->portPath(), dataDir(dir), kPcTime, {"daily", "2011-02-01"})
          .status,
      cli::kExitOk);
  const auto csv = test::runCli("-", dir.path(), kPcTime, {"--format", "csv", "history", "daily"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  const auto rows = csvRecords(csv.out);
  ASSERT_EQ(rows.size(), 1u + 28 + 3);  // the days, the end, the start, the increments
  const auto& head = rows[0];
  EXPECT_EQ(std::vector<std::string>(head.begin(), head.begin() + 8),
            (std::vector<std::string>{"serial", "node", "name", "kind", "record", "start", "label",
                                      "ended"}));
  EXPECT_EQ(head.back(), "noReply");
  for (std::size_t r = 1; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), head.size()) << "row " << r;
    EXPECT_EQ(rows[r][0] + "|" + rows[r][1] + "|" + rows[r][2], "12345||");
    for (std::size_t i = 8; i + 3 < head.size(); ++i) {
      if (!rows[r][i].empty()) expectMeterText(head[i], rows[r][i]);
    }
  }
  EXPECT_EQ(rows[31][4] + " " + rows[31][5], "increments 2011-01-31/2011-02-28");

  const auto shown = test::runCli("-", dir.path(), kPcTime, {"history", "daily"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  std::vector<std::string> lines;
  for (const auto& l : words(shown.out, '\n')) lines.push_back(l);
  ASSERT_EQ(lines.size(), 1u + 28 + 1) << shown.out;  // and how to get the integrators
  std::string sut;
  for (const auto& [name, bytes] : test::reportFiles(dir.path())) {
    if (name.find("_sut") != std::string::npos) sut = bytes;
  }
  for (int day : {1, 25}) {
    const std::string label = (day < 10 ? "| 0" : "| ") + std::to_string(day) + ": |";
    const auto at = sut.find(label);
    ASSERT_NE(at, std::string::npos) << label;
    auto report = words(sut.substr(at + label.size(), sut.find('\n', at) - at - label.size()), '|');
    if (report.back() == "*") report.pop_back();
    const auto line = words(lines[static_cast<std::size_t>(day)]);
    ASSERT_GE(line.size(), 3u + report.size());
    EXPECT_EQ(std::vector<std::string>(line.begin() + 3, line.begin() + 3 + 17), report) << day;
  }
  const auto chosen =
      test::runCli("-", dir.path(), kPcTime, {"--columns", "T1,B1", "history", "daily"});
  EXPECT_EQ(words(chosen.out.substr(0, chosen.out.find('\n'))),
            (std::vector<std::string>{"serial", "node", "name", "start", "T1[degC]", "B1[h]",
                                      "abnormal"}));
  const auto wrong =
      test::runCli("-", dir.path(), kPcTime, {"--columns", "T1,X9", "history", "daily"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("X9"), std::string::npos) << wrong.err;
  const auto node = test::runCli("-", dir.path(), kPcTime, {"history", "--node", "3", "daily"});
  EXPECT_EQ(node.status, 1);
  EXPECT_NE(node.err.find("node 3"), std::string::npos) << node.err;
}

struct BadStore {
  const char* name;
  std::function<void(const fs::path& file)> make;
  const char* message;
  friend void PrintTo(const BadStore& b, std::ostream* os) { *os << b.name; }
};

class StoreCliBadStore : public ::testing::TestWithParam<BadStore> {};

// A store that cannot be used: one message, the reading and its report as
// without it, the store's bytes untouched.
TEST_P(StoreCliBadStore, OneMessageAndTheReadingGoesOn) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir dir;
  const fs::path file = dataDir(dir) / store::kStoreFileName;
  GetParam().make(file);
  const std::string before = fileBytes(file);
  const auto r = test::runCli(meter.simulator->portPath(), dir.path(), kPcTime,
                              {"values", "monthly", "2011-03-01"});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("vardis-cli: the store"), r.err.rfind("vardis-cli: the store"));  // once
  EXPECT_NE(r.out.find("_mes.txt"), std::string::npos) << r.out;
  EXPECT_EQ(fileBytes(file), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoreCliBadStore,
    ::testing::Values(BadStore{"Corrupt",
                               [](const fs::path& f) {
                                 std::ofstream(f, std::ios::binary) << std::string(4096, 'x');
                               },
                               "is damaged or not a store"},
                      BadStore{"Newer",
                               [](const fs::path& f) {
                                 { store::ReadingStore s(f); }
                                 sqlExec(f.parent_path(), "PRAGMA user_version = 99");
                               },
                               "was written by a newer version of vardis (store version 99"}),
    [](const auto& info) { return std::string(info.param.name); });

// A store another program holds locked past the busy time-out.
TEST(StoreCli, AStoreLockedByAnotherProgramIsGivenUpAndTheReadingGoesOn) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir dir;
  const fs::path file = dataDir(dir) / store::kStoreFileName;
  std::optional<test::StoreLock> lock;
  lock.emplace(file);
  const auto r =
      test::runCli(meter.simulator->portPath(), dir.path(), kPcTime, {"monthly", "2011-03-01"});
  lock.reset();
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_NE(r.err.find("is locked by another program"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("_mes.txt"), std::string::npos) << r.out;
  EXPECT_EQ(sqlValue(dir.path(), "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(sqlValue(dir.path(), "SELECT count(*) FROM visits"), "0");
}

}  // namespace
}  // namespace vardis
