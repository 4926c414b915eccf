// The dispatcher's morning after one round of the six nodes of
// sim/examples/round.json (nodes 1..4 read, 5 never answers, 6 drops every
// call): rounds, alarms and consumption checked against the store's own rows.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archives/archive_data.h"
#include "connection/data_dir.h"
#include "format/decimal_text.h"
#include "sim/numbers.h"
#include "support/cli_runner.h"
#include "support/csv_rows.h"
#include "support/example_round.h"
#include "support/store_sql.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

std::string day(int offset) {
  return test::dayFromToday(offset);
}
using test::pcNow;
// The source tree: __FILE__ as the compiler was given it, from the build folder.
const fs::path kSource = (fs::path(VARDIS_CLI_PATH).parent_path().parent_path() / __FILE__)
                             .lexically_normal()
                             .parent_path()
                             .parent_path();

// Every row of a statement, NULL as "".
Rows sqlRows(const fs::path& dir, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_stmt* st = nullptr;
  Rows out;
  sqlite3_open((dir / store::kStoreFileName).string().c_str(), &db);
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
  while (st && sqlite3_step(st) == SQLITE_ROW) {
    out.emplace_back();
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      const auto* t = sqlite3_column_text(st, i);
      out.back().emplace_back(t ? reinterpret_cast<const char*>(t) : "");
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}

// The chosen revision of each record of a kind (the latest without a missing
// value, else the latest), as a correlated subquery.
std::string chosen(const std::string& kinds, const std::string& join = "") {
  return "FROM records r JOIN meters m ON m.id = r.meter_id " + join + " WHERE r.kind IN (" +
         kinds +
         ") AND r.revision = (SELECT x.revision FROM records x WHERE x.meter_id = r.meter_id AND "
         "x.kind = r.kind AND x.start = r.start ORDER BY x.missing <> 0, x.revision DESC LIMIT 1)";
}
// serial, kind, start, word of every interval with abnormal situations.
Rows storedAlarms(const fs::path& dir, const std::string& andWhere = "") {
  return sqlRows(dir, "SELECT m.serial, r.kind, r.start, r.abnormal_word " +
                          chosen("'hourly', 'daily', 'monthly'") +
                          " AND r.abnormal_word IS NOT NULL AND r.abnormal_word <> 0" + andWhere);
}

// A CSV text (RFC 4180) as rows of fields; the header is row 0.
Rows parseCsv(const std::string& text) {
  return test::csvRecords(text);
}
std::size_t column(const Rows& csv, const std::string& name) {
  for (std::size_t i = 0; i < csv.front().size(); ++i) {
    if (csv.front()[i] == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

std::string joined(const std::vector<std::string>& codes) {
  std::string out;
  for (const auto& c : codes) out += c;
  return out;
}

// One round of the example nodes, run once for every test of the suite.
class DispatchMorning : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<test::TempDir>();
    round_ = test::runExampleRound(dir(), kSource);
    id_ = test::sqlValue(dir(), "SELECT max(id) FROM rounds");
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static const fs::path& dir() { return dir_->path(); }

  // vardis-cli on the store of the round.
  static test::CliResult cli(const std::vector<std::string>& args) {
    return test::runCli("/dev/ttyNONE", dir(), pcNow(), args);
  }
  static Rows csvOf(std::vector<std::string> args) {
    args.insert(args.begin(), {"--format", "csv"});
    const auto r = cli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? parseCsv(r.out) : Rows{{}};
  }

  static inline std::unique_ptr<test::TempDir> dir_;
  static inline test::CliResult round_;
  static inline std::string id_;
};

TEST_F(DispatchMorning, RoundsShowTheFailedNodesFirstWithTheModemsAnswers) {
  ASSERT_EQ(round_.status, 4) << round_.err;
  ASSERT_FALSE(id_.empty());
  const auto shown = cli({"rounds", "--last"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out.rfind("round " + id_ + ", ", 0), 0u) << shown.out;
  EXPECT_NE(shown.out.find("4 of 6 nodes read, 2 not;"), std::string::npos) << shown.out;
  const Rows nodes = csvOf({"rounds", id_});
  ASSERT_EQ(nodes.size(), 7u);
  EXPECT_EQ(nodes[0][0], "round");
  const std::size_t node = column(nodes, "node"), result = column(nodes, "result");
  const std::vector<std::string> firsts{"5", "6"}, causes{"no answer", "no carrier"};
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(nodes[k + 1][node], firsts[k]);
    EXPECT_EQ(nodes[k + 1][result], causes[k]);
    const std::string message =
        test::sqlValue(dir(), "SELECT message FROM round_nodes WHERE node = " + firsts[k] +
                                  " AND round_id = " + id_);
    EXPECT_EQ(nodes[k + 1][column(nodes, "message")], message);
    EXPECT_NE(shown.out.find(message), std::string::npos) << message;
  }
  for (std::size_t k = 3; k < 7; ++k) EXPECT_EQ(nodes[k][result], "read") << nodes[k][node];
  for (const auto& row : nodes) EXPECT_EQ(row.size(), nodes[0].size());
  const Rows list = csvOf({"rounds"});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1][column(list, "read")] + " " + list[1][column(list, "notRead")], "4 2");
  const auto none = cli({"rounds", "999"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("no round 999 in the store"), std::string::npos) << none.err;
}

TEST_F(DispatchMorning, AlarmsAreExactlyTheStoredIntervalsWithAWordDecoded) {
  const Rows stored = storedAlarms(dir());
  ASSERT_FALSE(stored.empty());
  const Rows listed = csvOf({"alarms", "--round", id_});
  ASSERT_EQ(listed.size(), stored.size() + 1);
  const std::size_t serial = column(listed, "serial"), start = column(listed, "start");
  std::set<std::vector<std::string>> fromStore(stored.begin(), stored.end()), fromCli;
  for (std::size_t i = 1; i < listed.size(); ++i) {
    const auto& row = listed[i];
    fromCli.insert({row[serial], row[column(listed, "kind")], row[start],
                    row[column(listed, "abnormalWord")]});
    if (i > 1) {
      EXPECT_GE(listed[i - 1][start], row[start]) << "newest first";
    }
    const int n = std::stoi(row[serial]) - 10000;
    EXPECT_EQ(row[column(listed, "node")], std::to_string(n));
    const std::string name =
        test::sqlValue(dir(), "SELECT name FROM round_nodes WHERE node = " + std::to_string(n));
    EXPECT_EQ(row[column(listed, "name")], name);
    const auto codes = abnormalCodeList(std::stoul(row[column(listed, "abnormalWord")]));
    std::string channels;
    for (int c = 1; c <= 4; ++c) channels += row[column(listed, "channel" + std::to_string(c))];
    EXPECT_EQ(channels, joined(codes));
    for (const auto& code : codes) {
      EXPECT_NE(row[column(listed, "situations")].find(code + ": "), std::string::npos) << code;
    }
  }
  EXPECT_EQ(fromCli, fromStore);

  const Rows yesterday = csvOf({"alarms", "--from", day(-1), "--to", "yesterday"});
  EXPECT_EQ(yesterday.size(),
            storedAlarms(dir(), " AND substr(r.start, 1, 10) = '" + day(-1) + "'").size() + 1);

  const auto json = cli({"--format", "json", "alarms", "--round", "last"});
  const QJsonArray alarms =
      QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object()["alarms"].toArray();
  ASSERT_EQ(static_cast<std::size_t>(alarms.size()), stored.size()) << json.err;
  for (const auto& a : alarms) {
    std::string codes;
    const QJsonArray channels = a.toObject()["channels"].toArray();
    EXPECT_EQ(channels.size(), 4);
    for (const auto& c : channels) {
      for (const auto& code : c.toObject()["codes"].toArray()) {
        codes += code.toObject()["code"].toString().toStdString();
        EXPECT_FALSE(code.toObject()["text"].toString().isEmpty());
      }
    }
    const auto word = static_cast<std::uint32_t>(a.toObject()["abnormalWord"].toInteger());
    EXPECT_EQ(codes, joined(abnormalCodeList(word)));
  }
  const auto terminal = cli({"alarms", "--round", id_});
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = terminal.out.find("\"\n", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, stored.size()) << terminal.out;
}

TEST_F(DispatchMorning, ConsumptionByDayIsTheDifferenceOfTheStoredIntegrators) {
  // The integrators by meter, day and quantity ("" where not held).
  std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> held;
  for (const auto& r :
       sqlRows(dir(), "SELECT m.serial, r.start, v.name, v.value " +
                          chosen("'integrators'", "JOIN record_values v ON v.record_id = r.id"))) {
    held[r[0]][r[1]][r[2]] = r[3];
  }
  ASSERT_EQ(held.size(), 4u);
  const Rows rows = csvOf({"consumption", "--by", "day", "--from", day(-10), "--to", day(-1)});
  ASSERT_EQ(rows.size(), 4u * 10 + 1);
  int compared = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto& row = rows[i];
    const auto& days = held[row[0]];
    const std::string period = row[column(rows, "period")];
    const std::string before = QDate::fromString(QString::fromStdString(period), Qt::ISODate)
                                   .addDays(-1)
                                   .toString(Qt::ISODate)
                                   .toStdString();
    if (!days.count(period) || !days.count(before)) continue;
    EXPECT_EQ(row[column(rows, "source")], "integrators") << period;
    for (std::size_t c = 5; c < row.size(); ++c) {
      const std::string name = rows[0][c].substr(0, rows[0][c].find('['));
      const std::string end = days.at(period).at(name), start = days.at(before).at(name);
      if (end.empty() || start.empty()) {
        EXPECT_EQ(row[c], "") << name;
        continue;
      }
      EXPECT_EQ(std::stod(row[c]), decimalDifference(std::stod(end), std::stod(start)))
          << row[0] << " " << period << " " << name;
      ++compared;
    }
  }
  EXPECT_GE(compared, 4 * 6);  // Q1, Q2, M1..M4 of yesterday at least, for each meter

  const Rows node1 = csvOf({"consumption", "--node", "1"});
  ASSERT_GT(node1.size(), 1u);
  for (std::size_t i = 1; i < node1.size(); ++i) EXPECT_EQ(node1[i][0], "10001");
  const auto unknown = cli({"consumption", "--node", "5"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("node 5"), std::string::npos) << unknown.err;
  const auto tooLong = cli({"consumption", "--from", "2020-01-01", "--to", "2021-06-01"});
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_NE(tooLong.err.find("at most 366 days"), std::string::npos) << tooLong.err;
}

TEST_F(DispatchMorning, TheSummaryAndTheRoundLogCountTheAbnormalSituations) {
  std::map<std::string, int> perMeter;
  for (const auto& a : storedAlarms(dir())) ++perMeter[a[0]];
  const std::size_t n = perMeter.size();
  const std::string note = "; " + std::to_string(n) + (n == 1 ? " meter" : " meters") +
                           " with abnormal situations: vardis-cli alarms --round " + id_ + "; log ";
  EXPECT_EQ(round_.out.find(n ? note : "abnormal") != std::string::npos, n > 0) << round_.out;

  fs::path csv;
  for (const auto& f : fs::directory_iterator(dir() / "rounds")) {
    if (f.path().extension() == ".csv") csv = f.path();
  }
  const Rows log = parseCsv(test::readFile(csv));
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0].back(), "abnormal");
  for (std::size_t i = 1; i < log.size(); ++i) {
    const std::string serial = log[i][column(log, "serial")];
    EXPECT_EQ(log[i].back(), serial.empty() ? "" : std::to_string(perMeter[serial])) << serial;
  }
  const QJsonObject json =
      QJsonDocument::fromJson(
          QByteArray::fromStdString(test::readFile(fs::path(csv).replace_extension(".json"))))
          .object();
  EXPECT_EQ(std::to_string(json["id"].toInteger()), id_);
}

}  // namespace
}  // namespace vardis
