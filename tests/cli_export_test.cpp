// vardis-cli --format csv|json: the data exports against the simulated meter on
// a pseudo-terminal, through the real serial line. The exports are read back
// with readers of this test's own (Qt's JSON reader, a small RFC 4180 reader)
// and every value is held against what the meter served: a float it sent as
// the shortest text that reads back as that float, a count exactly.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <sstream>

#include "cli/cli_app.h"
#include "link/pc_clock.h"
#include "link/qt_serial_line.h"
#include "support/cli_runner.h"
#include "support/pty_meter.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;
using sim::RecordKind;

// The meter's clock stands still at 2011-04-10 12:00:07; the PC clock reads
// 12:00, so both runs of a test name their report files alike.
constexpr std::uint32_t kMeterClock = 1104101200;
constexpr int kMeterSeconds = 7;
constexpr const char* kPcTime = "2011-04-10 12:00";
const std::vector<std::string> kReadings{"values",     "hourly",  "2011-04-09", "daily",
                                         "2011-02-01", "monthly", "2011-03-01"};

std::uint32_t dateCode(int y, int m, int d, int h) {
  return static_cast<std::uint32_t>((y - 2000) * 100000000 + m * 1000000 + d * 10000 + h * 100);
}

std::string twoDigits(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

// The abnormal-situation codes in the order the meter's manual lists them,
// with their bits in the word.
std::vector<std::string> codesOf(std::uint32_t word) {
  static const std::pair<const char*, int> table[] = {
      {"T1<", 12}, {"T1>", 13}, {"P1<", 20}, {"P1>", 21}, {"G1<", 0},  {"G1>", 1},  {"G1o", 2},
      {"T2<", 14}, {"T2>", 28}, {"P2<", 22}, {"P2>", 23}, {"G2<", 3},  {"G2>", 4},  {"G2o", 5},
      {"T3<", 16}, {"T3>", 17}, {"P3<", 24}, {"P3>", 25}, {"G3<", 29}, {"G3>", 7},  {"G3o", 8},
      {"T4<", 18}, {"T4>", 19}, {"P4<", 26}, {"P4>", 27}, {"G4<", 9},  {"G4>", 10}, {"G4o", 11},
  };
  std::vector<std::string> out;
  for (const auto& [code, bit] : table) {
    if ((word >> bit) & 1u) out.emplace_back(code);
  }
  return out;
}

// ---------------------------------------------------------------------------
// What an export says, whichever format carried it.

struct Q {
  std::string name;
  std::string unit;
  double value = 0;
  bool meterFloat = false;  // the meter sent it as a 32-bit float
};

// The double of the text with the fewest significant digits that reads back
// as the float `v` holds: what an export gives for it.
double shortestFloat(double v) {
  const auto f = static_cast<float>(v);
  char text[64] = "";
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(f));
    if (std::strtof(text, nullptr) == f) break;
  }
  return std::strtod(text, nullptr);
}

struct Rec {
  std::string label;
  std::string dateTime;
  std::vector<Q> quantities;
  std::optional<std::uint32_t> word;
  std::optional<std::vector<std::string>> codes;
};

struct Totals {
  std::string at;  // increments: "from/to"
  std::vector<Q> quantities;
};

struct ArchiveExport {
  std::string kind;
  std::string period;
  std::vector<Rec> records;
  std::optional<Rec> day;
  std::optional<Totals> integrators, start, increments;
  bool periodGiven = false;  // JSON names the period; CSV has it in the rows' starts
};

struct CurrentExport {
  std::string meterClock;
  std::vector<Q> quantities;
  std::uint32_t word = 0;
  std::vector<std::string> codes;
};

struct LinkExport {
  std::optional<long long> serial;
  long long address = -1;
  long long requests = -1, errors = -1, timeouts = -1;
  std::optional<bool> linkFault;
};

struct RunExport {
  std::vector<std::string> kinds;  // in the order the commands ran
  std::optional<CurrentExport> values;
  std::vector<ArchiveExport> archives;
  LinkExport link;

  const ArchiveExport* archive(const std::string& kind) const {
    for (const auto& a : archives) {
      if (a.kind == kind) return &a;
    }
    return nullptr;
  }
};

// ---------------------------------------------------------------------------
// The JSON reader: Qt's.

std::vector<Q> quantitiesOf(const QJsonValue& v) {
  std::vector<Q> out;
  for (const QJsonValue& e : v.toArray()) {
    const QJsonObject o = e.toObject();
    out.push_back({o["name"].toString().toStdString(), o["unit"].toString().toStdString(),
                   o["value"].toDouble()});
  }
  return out;
}

Rec recordOf(const QJsonObject& o) {
  Rec r;
  r.label = o["label"].toString().toStdString();
  r.dateTime = o["dateTime"].toString().toStdString();
  r.quantities = quantitiesOf(o["quantities"]);
  if (o.contains("abnormalWord")) {
    r.word = static_cast<std::uint32_t>(o["abnormalWord"].toInteger());
    std::vector<std::string> codes;
    for (const QJsonValue& c : o["abnormalCodes"].toArray()) {
      codes.push_back(c.toString().toStdString());
    }
    r.codes = codes;
  }
  return r;
}

std::optional<Totals> totalsOf(const QJsonObject& o, const char* key) {
  if (!o.contains(key)) return std::nullopt;
  const QJsonObject t = o[key].toObject();
  Totals out;
  out.at = t.contains("at")
               ? t["at"].toString().toStdString()
               : t["from"].toString().toStdString() + "/" + t["to"].toString().toStdString();
  out.quantities = quantitiesOf(t["quantities"]);
  return out;
}

RunExport fromJson(const std::string& text, const std::string& heatUnit) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  EXPECT_TRUE(doc.isObject());
  const QJsonObject root = doc.object();
  EXPECT_EQ(root.keys(), (QStringList{"exports", "link", "meter"}));
  RunExport run;
  for (const QJsonValue& v : root["exports"].toArray()) {
    const QJsonObject e = v.toObject();
    const std::string kind = e["kind"].toString().toStdString();
    run.kinds.push_back(kind);
    if (kind == "values") {
      CurrentExport c;
      c.meterClock = e["meterClock"].toString().toStdString();
      c.quantities = quantitiesOf(e["quantities"]);
      c.word = static_cast<std::uint32_t>(e["abnormalWord"].toInteger());
      for (const QJsonValue& code : e["abnormalCodes"].toArray()) {
        c.codes.push_back(code.toString().toStdString());
      }
      run.values = c;
      continue;
    }
    ArchiveExport a;
    a.kind = kind;
    a.period = e["period"].toString().toStdString();
    a.periodGiven = true;
    EXPECT_EQ(e["volume"], QJsonValue(false)) << kind;
    EXPECT_EQ(e["heatUnit"].toString().toStdString(), heatUnit) << kind;
    for (const QJsonValue& r : e["records"].toArray()) a.records.push_back(recordOf(r.toObject()));
    if (e.contains("dayRecord")) a.day = recordOf(e["dayRecord"].toObject());
    a.integrators = totalsOf(e, "integrators");
    a.start = totalsOf(e, "startIntegrators");
    a.increments = totalsOf(e, "increments");
    run.archives.push_back(a);
  }
  const QJsonObject meter = root["meter"].toObject();
  EXPECT_TRUE(meter["node"].isNull());  // a reading on a port, not a round's
  EXPECT_EQ(meter["name"], QJsonValue(""));
  if (!meter["serial"].isNull()) run.link.serial = meter["serial"].toInteger(-1);
  run.link.address = meter["address"].toInteger(-1);
  const QJsonObject link = root["link"].toObject();
  run.link.requests = link["requests"].toInteger(-1);
  run.link.errors = link["errors"].toInteger(-1);
  run.link.timeouts = link["timeouts"].toInteger(-1);
  if (link["linkFault"].isBool()) run.link.linkFault = link["linkFault"].toBool();
  return run;
}

// ---------------------------------------------------------------------------
// The CSV reader: RFC 4180, records as lists of fields.

using CsvRecord = std::vector<std::string>;

std::vector<CsvRecord> parseCsv(const std::string& text) {
  std::vector<CsvRecord> records;
  CsvRecord fields;
  std::string field;
  bool quoted = false;
  bool lineStarted = false;
  auto endField = [&] {
    fields.push_back(field);
    field.clear();
  };
  auto endRecord = [&] {
    endField();
    records.push_back(fields);
    fields.clear();
    lineStarted = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
      continue;
    }
    lineStarted = true;
    if (c == '"' && field.empty()) {
      quoted = true;
    } else if (c == ',') {
      endField();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      endRecord();
    } else if (c == '\n') {
      endRecord();
    } else {
      field += c;
    }
  }
  EXPECT_FALSE(quoted) << "a quoted field runs to the end";
  if (lineStarted) endRecord();
  return records;
}

double csvNumber(const std::string& text) {
  bool ok = false;
  const double v = QLocale::c().toDouble(QString::fromStdString(text), &ok);
  EXPECT_TRUE(ok) << "not a number: '" << text << "'";
  return v;
}

long long csvInteger(const std::string& text) {
  bool ok = false;
  const long long v = QString::fromStdString(text).toLongLong(&ok);
  EXPECT_TRUE(ok) << "not a whole number: '" << text << "'";
  return v;
}

// "M1[t/h]" -> name "M1", unit "t/h".
std::pair<std::string, std::string> nameAndUnit(const std::string& column) {
  const auto open = column.find('[');
  EXPECT_NE(open, std::string::npos) << column;
  EXPECT_EQ(column.back(), ']') << column;
  if (open == std::string::npos) return {column, ""};
  return {column.substr(0, open), column.substr(open + 1, column.size() - open - 2)};
}

// "T1<G1o": the codes joined without blanks, three characters each.
std::vector<std::string> splitCodes(const std::string& text) {
  EXPECT_EQ(text.size() % 3, 0u) << text;
  std::vector<std::string> out;
  for (std::size_t i = 0; i + 3 <= text.size(); i += 3) out.push_back(text.substr(i, 3));
  return out;
}

std::size_t columnOf(const CsvRecord& head, const std::string& name) {
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (head[i] == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return head.size();
}

const CsvRecord kKeyColumns{"serial", "node", "name", "kind", "record", "start", "label", "ended"};

// One row of the one table into the run: the values, an archive's records
// (one archive per run of rows of its kind), its integrators.
void addCsvRow(RunExport& run, const CsvRecord& head, const CsvRecord& row, std::size_t abnormal) {
  if (!row[0].empty()) run.link.serial = csvInteger(row[0]);
  EXPECT_EQ(row[1] + row[2], "");  // no round found this meter
  EXPECT_EQ(row.back(), "0");      // every value had a good reply
  std::vector<Q> quantities;       // the row's own: its fields that hold a value
  for (std::size_t i = kKeyColumns.size(); i < abnormal; ++i) {
    if (row[i].empty()) continue;
    auto [name, unit] = nameAndUnit(head[i]);
    quantities.push_back({name, unit, csvNumber(row[i])});
  }
  std::optional<std::uint32_t> word;
  std::optional<std::vector<std::string>> codes;
  if (!row[abnormal + 1].empty()) {
    word = static_cast<std::uint32_t>(csvInteger(row[abnormal + 1]));
    codes = splitCodes(row[abnormal]);
  } else {
    EXPECT_EQ(row[abnormal], "");
  }
  const std::string& kind = row[3];
  const std::string& record = row[4];
  if (record == "values") {
    EXPECT_EQ(row[6] + row[7], "");
    run.values = CurrentExport{row[5], quantities, word.value_or(0),
                               codes.value_or(std::vector<std::string>{})};
    run.kinds.push_back(kind);
    return;
  }
  EXPECT_EQ(row[7], "true");  // the intervals and days read are over
  if (run.archives.empty() || run.archives.back().kind != kind) {
    run.archives.emplace_back();
    run.archives.back().kind = kind;
    run.kinds.push_back(kind);
  }
  ArchiveExport& a = run.archives.back();
  if (record == "interval" || record == "day") {
    Rec rec{row[6], row[5], quantities, word, codes};
    if (record == "day") {
      a.day = rec;
    } else {
      a.records.push_back(rec);
    }
  } else if (record == "integrators" || record == "start" || record == "increments") {
    EXPECT_EQ(row[6], "");
    (record == "integrators" ? a.integrators
     : record == "start"     ? a.start
                             : a.increments) = Totals{row[5], quantities};
  } else {
    ADD_FAILURE() << "unknown record " << record;
  }
}

// The one table: every row with the header's fields.
RunExport fromCsv(const std::string& text) {
  RunExport run;
  const std::vector<CsvRecord> records = parseCsv(text);
  if (records.empty()) {
    ADD_FAILURE() << "no header";
    return run;
  }
  const CsvRecord& head = records[0];
  EXPECT_EQ(CsvRecord(head.begin(), head.begin() + 8), kKeyColumns);
  const std::size_t abnormal = columnOf(head, "abnormal");
  if (abnormal + 3 != head.size()) {
    ADD_FAILURE() << "the table does not end in abnormal,abnormalWord,noReply";
    return run;
  }
  EXPECT_EQ(head[abnormal + 1] + "," + head[abnormal + 2], "abnormalWord,noReply");
  for (std::size_t r = 1; r < records.size(); ++r) {
    EXPECT_EQ(records[r].size(), head.size()) << "row " << r;
    if (records[r].size() == head.size()) addCsvRow(run, head, records[r], abnormal);
  }
  return run;
}

// ---------------------------------------------------------------------------
// What the meter served.

struct Served {
  sim::Simulator& sim;

  double archive(RecordKind kind, std::uint32_t code, int quantity) const {
    return sim.withModel([&](sim::MeterModel& m) { return m.archiveValue(kind, code, quantity); });
  }
  double divisor(int channel) const {
    return sim.withModel([&](sim::MeterModel& m) { return m.flowDivisor(channel); });
  }
  double floatValue(int i) const {
    return sim.withModel([&](sim::MeterModel& m) { return static_cast<double>(m.floatValue(i)); });
  }
  double counter(int i) const {
    return sim.withModel([&](sim::MeterModel& m) { return static_cast<double>(m.counter(i)); });
  }
  double parameter(int i) const {
    return sim.withModel([&](sim::MeterModel& m) { return static_cast<double>(m.parameter(i)); });
  }
  std::string heatUnit() const { return parameter(9) == 0 ? "GJ" : "Gcal"; }

  // An interval record: quantities 0..3 flow, 4 and 6 heat, 5 and 7 run
  // times, 8 mains time, 9..12 temperatures, 13..16 pressures.
  std::vector<Q> interval(RecordKind kind, std::uint32_t code) const {
    std::vector<Q> q;
    for (int k = 1; k <= 4; ++k)
      q.push_back({"M" + std::to_string(k), "t/h", archive(kind, code, k - 1), true});
    for (int k = 1; k <= 4; ++k)
      q.push_back({"T" + std::to_string(k), "degC", archive(kind, code, 8 + k), true});
    for (int k = 1; k <= 4; ++k)
      q.push_back({"P" + std::to_string(k), "MPa", archive(kind, code, 12 + k), true});
    q.push_back({"W1", heatUnit(), archive(kind, code, 4), true});
    q.push_back({"W2", heatUnit(), archive(kind, code, 6), true});
    q.push_back({"B1", "h", archive(kind, code, 5) / 10000});
    q.push_back({"B2", "h", archive(kind, code, 7) / 10000});
    q.push_back({"Tc", "h", archive(kind, code, 8) / 10000});
    return q;
  }
  std::uint32_t word(RecordKind kind, std::uint32_t code) const {
    return static_cast<std::uint32_t>(archive(kind, code, 17));
  }
  // The integrators at the end of a day, in the units shown; with a start,
  // the counts counted since the end of that day.
  std::vector<Q> totals(std::uint32_t code, std::optional<std::uint32_t> since = {}) const {
    const RecordKind k = RecordKind::DayEndTotals;
    auto count = [&](int quantity) {
      return archive(k, code, quantity) - (since ? archive(k, *since, quantity) : 0);
    };
    std::vector<Q> q;
    for (int c = 1; c <= 4; ++c)
      q.push_back({"M" + std::to_string(c), "t", count(c - 1) / divisor(c)});
    q.push_back({"Q1", heatUnit(), count(4) / divisor(1)});
    q.push_back({"Q2", heatUnit(), count(6) / divisor(2)});
    q.push_back({"B1", "h", count(5) / 10000});
    q.push_back({"B2", "h", count(7) / 10000});
    q.push_back({"Tc", "h", count(8) / 10000});
    return q;
  }
  std::vector<Q> current() const {
    std::vector<Q> q;
    auto add = [&](const std::string& name, const std::string& unit, double v) {
      q.push_back({name, unit, v});
    };
    auto addFloat = [&](const std::string& name, const std::string& unit, int index) {
      q.push_back({name, unit, floatValue(index), true});
    };
    for (int n = 1; n <= 4; ++n) addFloat("G" + std::to_string(n), "m3/h", n - 1);
    for (int n = 1; n <= 4; ++n) addFloat("T" + std::to_string(n), "degC", 3 + n);
    for (int n = 1; n <= 4; ++n) addFloat("P" + std::to_string(n), "MPa", 7 + n);
    for (int n = 1; n <= 4; ++n) addFloat("density" + std::to_string(n), "kg/m3", 23 + n);
    for (int n = 1; n <= 4; ++n) addFloat("enthalpy" + std::to_string(n), "kJ/kg", 17 + n);
    for (int n = 1; n <= 4; ++n) addFloat("m" + std::to_string(n), "t/h", 11 + n);
    for (int n = 1; n <= 4; ++n) add("M" + std::to_string(n), "t", counter(n - 1) / divisor(n));
    addFloat("W1", heatUnit() + "/h", 16);
    addFloat("W2", heatUnit() + "/h", 17);
    add("Q1", heatUnit(), counter(4) / divisor(1));
    add("Q2", heatUnit(), counter(6) / divisor(2));
    add("B1", "h", counter(5) / 10000);
    add("B2", "h", counter(7) / 10000);
    add("Tc", "h", counter(8) / 10000);
    return q;
  }
};

// Each quantity the meter served, found by name and unit (a CSV row has them
// in the order of the table's columns): a float as its shortest text reads
// back, a count exactly.
void expectQuantities(const std::vector<Q>& got, const std::vector<Q>& want,
                      const std::string& where) {
  ASSERT_EQ(got.size(), want.size()) << where;
  for (const Q& w : want) {
    const auto it = std::find_if(got.begin(), got.end(),
                                 [&](const Q& g) { return g.name == w.name && g.unit == w.unit; });
    ASSERT_NE(it, got.end()) << where << " has no " << w.name << "[" << w.unit << "]";
    EXPECT_EQ(it->value, w.meterFloat ? shortestFloat(w.value) : w.value) << where << " " << w.name;
    if (w.meterFloat) {
      EXPECT_EQ(static_cast<float>(it->value), static_cast<float>(w.value));
    }
  }
}

void expectRecord(const Rec& got, const Served& meter, RecordKind kind, std::uint32_t code,
                  const std::string& label, const std::string& dateTime) {
  const std::string where = label + " " + dateTime;
  EXPECT_EQ(got.label, label);
  EXPECT_EQ(got.dateTime, dateTime);
  expectQuantities(got.quantities, meter.interval(kind, code), where);
  const std::uint32_t word = meter.word(kind, code);
  ASSERT_TRUE(got.word.has_value()) << where;
  EXPECT_EQ(*got.word, word) << where;
  ASSERT_TRUE(got.codes.has_value()) << where;
  EXPECT_EQ(*got.codes, codesOf(word)) << where;
}

// Every value of a run of kReadings against the meter.
void expectTheMetersData(const RunExport& run, const Served& meter) {
  EXPECT_EQ(run.kinds, (std::vector<std::string>{"values", "hourly", "daily", "monthly"}));

  ASSERT_TRUE(run.values.has_value());
  EXPECT_EQ(run.values->meterClock, "2011-04-10T12:00:07");
  expectQuantities(run.values->quantities, meter.current(), "values");
  const auto word =
      static_cast<std::uint32_t>(meter.counter(24)) | static_cast<std::uint32_t>(meter.counter(25));
  EXPECT_EQ(run.values->word, word);
  EXPECT_EQ(run.values->codes, codesOf(word));

  // Hourly, 2011-04-09: the hours, the day's record, the day's end values.
  const ArchiveExport* hourly = run.archive("hourly");
  ASSERT_NE(hourly, nullptr);
  if (hourly->periodGiven) {
    EXPECT_EQ(hourly->period, "2011-04-09");
  }
  ASSERT_EQ(hourly->records.size(), 24u);
  for (int h = 0; h <= 23; ++h) {
    expectRecord(hourly->records[static_cast<std::size_t>(h)], meter, RecordKind::Hourly,
                 dateCode(2011, 4, 9, h), twoDigits(h), "2011-04-09T" + twoDigits(h) + ":00");
  }
  ASSERT_TRUE(hourly->day.has_value());
  EXPECT_EQ(hourly->day->label, "Сут");
  EXPECT_EQ(hourly->day->dateTime, "2011-04-09");
  expectQuantities(hourly->day->quantities,
                   meter.interval(RecordKind::Daily, dateCode(2011, 4, 9, 23)), "day record");
  EXPECT_FALSE(hourly->day->word.has_value()) << "the hourly reading does not read the day's word";
  ASSERT_TRUE(hourly->integrators.has_value());
  EXPECT_EQ(hourly->integrators->at, "2011-04-09");
  expectQuantities(hourly->integrators->quantities, meter.totals(dateCode(2011, 4, 9, 23)),
                   "hourly integrators");
  EXPECT_FALSE(hourly->start.has_value());
  EXPECT_FALSE(hourly->increments.has_value());

  // Daily, February 2011: 28 days, the end of the month and the month before.
  const ArchiveExport* daily = run.archive("daily");
  ASSERT_NE(daily, nullptr);
  if (daily->periodGiven) {
    EXPECT_EQ(daily->period, "2011-02");
  }
  ASSERT_EQ(daily->records.size(), 28u);
  for (int d = 1; d <= 28; ++d) {
    expectRecord(daily->records[static_cast<std::size_t>(d - 1)], meter, RecordKind::Daily,
                 dateCode(2011, 2, d, 23), twoDigits(d), "2011-02-" + twoDigits(d));
  }
  EXPECT_FALSE(daily->day.has_value());
  ASSERT_TRUE(daily->integrators && daily->start && daily->increments);
  const std::vector<Q> end = meter.totals(dateCode(2011, 2, 28, 23));
  const std::vector<Q> start = meter.totals(dateCode(2011, 1, 31, 23));
  EXPECT_EQ(daily->integrators->at, "2011-02-28");
  expectQuantities(daily->integrators->quantities, end, "daily end values");
  EXPECT_EQ(daily->start->at, "2011-01-31");
  expectQuantities(daily->start->quantities, start, "daily start values");
  // The counts counted in between, in decimal steps: 13159.09, never
  // 13159.090000000084.
  const std::vector<Q> increments =
      meter.totals(dateCode(2011, 2, 28, 23), dateCode(2011, 1, 31, 23));
  EXPECT_EQ(daily->increments->at, "2011-01-31/2011-02-28");
  expectQuantities(daily->increments->quantities, increments, "daily increments");

  // Monthly, March 2011: the one record, labelled with the report day.
  const ArchiveExport* monthly = run.archive("monthly");
  ASSERT_NE(monthly, nullptr);
  if (monthly->periodGiven) {
    EXPECT_EQ(monthly->period, "2011-03");
  }
  ASSERT_EQ(monthly->records.size(), 1u);
  const int reportDay = static_cast<int>(meter.parameter(3));
  expectRecord(monthly->records[0], meter, RecordKind::Monthly, dateCode(2011, 3, reportDay, 23),
               twoDigits(reportDay), "2011-03");

  // The data has abnormal codes to show, and more than one in a record.
  std::size_t longest = 0;
  for (const auto* a : {hourly, daily, monthly}) {
    for (const auto& r : a->records) longest = std::max(longest, r.codes->size());
  }
  EXPECT_GT(longest, 1u);

  EXPECT_EQ(run.link.serial, std::optional<long long>(12345));
}

// ---------------------------------------------------------------------------
// Running vardis-cli in this process.

using test::CliResult;

// Pinned: the stopped clock, and the running hour's abnormal words (bit 6 of
// counter 25 names nothing and shows no code).
void pinMeter(sim::MeterModel& m) {
  m.setClock(kMeterClock, kMeterSeconds);
  m.setClockRunning(false);
  m.pinCounter(24, (1u << 12) | (1u << 2) | (1u << 29));
  m.pinCounter(25, 1u << 6);
  m.pinFloatValue(0, 0.1f);  // 0.10000000149011612 in full
}

struct CliExport : ::testing::Test {
  CliResult runCli(const std::string& port, const fs::path& dataDir,
                   const std::vector<std::string>& args, char decimalSeparator = '.') {
    return test::runCli(port, dataDir, kPcTime, args, decimalSeparator);
  }

  static fs::path dataDir(const test::TempDir& dir) {
    fs::create_directories(dir.path() / "arc");
    return dir.path();
  }

  // The number of requests the meter took so far, once `expected` are logged
  // (or five seconds passed).
  static long long requestsTaken(test::PtyMeter& meter, long long expected) {
    meter.simulator->waitForLog(static_cast<std::size_t>(std::max(0LL, expected)),
                                std::chrono::seconds(5));
    return static_cast<long long>(meter.requests().size());
  }
};

// ---------------------------------------------------------------------------

TEST(ExportText, NumbersReadBackExactlyWithAPointWhateverTheLocale) {
  EXPECT_EQ(cli::numberText(static_cast<double>(0.1f)), "0.10000000149011612");
  EXPECT_EQ(cli::numberText(12.5), "12.5");
  EXPECT_EQ(cli::numberText(3), "3");
  EXPECT_EQ(cli::numberText(-0.001), "-0.001");
  for (double v : {1e20, 97921.2216, 13159.090000000084, 4294967295.0 / 10000, 1.0 / 3}) {
    bool ok = false;
    EXPECT_EQ(QLocale::c().toDouble(QString::fromStdString(cli::numberText(v)), &ok), v);
    EXPECT_TRUE(ok);
  }
}

TEST(ExportText, FieldsAreQuotedOnlyWhenTheyMustBe) {
  EXPECT_EQ(cli::csvField("T1< G1o"), "T1< G1o");
  EXPECT_EQ(cli::csvField("Сут"), "Сут");
  EXPECT_EQ(cli::csvField("a,b"), "\"a,b\"");
  EXPECT_EQ(cli::csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(cli::csvField("two\r\nlines"), "\"two\r\nlines\"");
  const std::vector<std::string> fields{"a,b", "say \"hi\"", "two\r\nlines", "", "plain"};
  std::string line;
  for (const auto& f : fields) line += (line.empty() ? "" : ",") + cli::csvField(f);
  const auto records = parseCsv(line + "\r\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], fields);
}

// The link statistics are JSON's only: the CSV of a run without readings is
// the header of its table.
TEST(ExportText, ARunWithoutReadingsGivesTheHeaderAndItsLinkStatisticsInJson) {
  cli::ExportRun run;
  run.address = 7;
  run.link = {12, 1, 0, false};
  CsvRecord head = kKeyColumns;
  head.insert(head.end(), {"abnormal", "abnormalWord", "noReply"});
  EXPECT_EQ(parseCsv(cli::csvText(run)), std::vector<CsvRecord>{head});
  const RunExport json = fromJson(cli::jsonText(run), "Gcal");
  EXPECT_TRUE(json.kinds.empty());
  EXPECT_FALSE(json.link.serial.has_value());
  EXPECT_EQ(json.link.address, 7);
  EXPECT_EQ(json.link.requests, 12);
  EXPECT_EQ(json.link.errors, 1);
  EXPECT_EQ(json.link.timeouts, 0);
  EXPECT_EQ(json.link.linkFault, std::optional<bool>(false));
}

TEST(ExportArguments, UsageErrorsSayWhatIsWrong) {
  std::string error;
  EXPECT_FALSE(cli::parseArguments({"--format", "xml", "values"}, error));
  EXPECT_NE(error.find("xml"), std::string::npos) << error;
  EXPECT_FALSE(cli::parseArguments({"--format"}, error));
  EXPECT_NE(error.find("--format"), std::string::npos) << error;
  EXPECT_FALSE(cli::parseArguments({"--out", "data.csv", "values"}, error));
  EXPECT_NE(error.find("--format"), std::string::npos) << error;
  auto o = cli::parseArguments({"--format", "json", "--out", "data.json", "daily"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->exportFormat, cli::ExportFormat::Json);
  EXPECT_EQ(o->exportFile, "data.json");
  o = cli::parseArguments({"monthly", "--format", "csv"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->exportFormat, cli::ExportFormat::Csv);
  EXPECT_EQ(o->exportFile, "");
  ASSERT_EQ(o->commands.size(), 1u);
}

TEST_F(CliExport, AnOutFileInAMissingFolderEndsTheRunBeforeTheMeterIsCalled) {
  test::PtyMeter meter;
  test::TempDir dir;
  const fs::path missing = dir.path() / "no-such-folder" / "data.csv";
  CliResult r = runCli(meter.simulator->portPath(), dataDir(dir),
                       {"--format", "csv", "--out", missing.string(), "values"});
  EXPECT_EQ(r.status, cli::kExitUsage);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "vardis-cli: --out " + missing.string() + ": the folder " +
                       (dir.path() / "no-such-folder").string() + " does not exist\n");
  EXPECT_FALSE(fs::exists(missing.parent_path()));
  EXPECT_TRUE(fs::is_empty(dir.path() / "arc"));
  EXPECT_EQ(meter.simulator->stats().framesReceived, 0u);

  r = runCli(meter.simulator->portPath(), dataDir(dir),
             {"--format", "json", "--out", dir.path().string(), "values"});
  EXPECT_EQ(r.status, cli::kExitUsage);
  EXPECT_NE(r.err.find("is a folder"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(dir.path() / "arc"));
}

// The JSON document in a file, the messages on standard output as always, and
// the reports exactly as a run without the export writes them.
TEST_F(CliExport, JsonFileHoldsWhatTheMeterServedAndTheReportsStayTheSame) {
  test::PtyMeter meter({}, pinMeter);
  const Served served{*meter.simulator};
  test::TempDir withExport, without;
  const fs::path file = withExport.path() / "export.json";
  std::vector<std::string> args{"--format", "json", "--out", file.string()};
  args.insert(args.end(), kReadings.begin(), kReadings.end());

  const CliResult exported = runCli(meter.simulator->portPath(), dataDir(withExport), args);
  ASSERT_EQ(exported.status, cli::kExitOk) << exported.err;
  const std::string text = test::readFile(file);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const RunExport run = fromJson(text, served.heatUnit());
  EXPECT_EQ(run.link.requests, requestsTaken(meter, run.link.requests));
  const CliResult plain = runCli(meter.simulator->portPath(), dataDir(without), kReadings);
  ASSERT_EQ(plain.status, cli::kExitOk) << plain.err;

  // The messages are those of the run without the export, but for the folder.
  auto withoutFolder = [](std::string messages, const fs::path& folder) {
    const std::string name = folder.string();
    for (auto at = messages.find(name); at != std::string::npos; at = messages.find(name, at)) {
      messages.replace(at, name.size(), "DIR");
    }
    return messages;
  };
  EXPECT_EQ(withoutFolder(exported.out, withExport.path()),
            withoutFolder(plain.out, without.path()));
  EXPECT_NE(exported.out.find("meter 12345 identified"), std::string::npos) << exported.out;
  EXPECT_EQ(exported.err, "");

  // Four reports, byte for byte the same.
  auto reportNames = [](const fs::path& dataDir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dataDir / "arc")) {
      names.insert(e.path().filename().string());
    }
    return names;
  };
  const std::set<std::string> names = reportNames(without.path());
  EXPECT_EQ(reportNames(withExport.path()), names);
  EXPECT_EQ(names, (std::set<std::string>{
                       "12345D2011_04_10_12_00_par.txt", "12345D2011_04_10_12_00_chas.txt",
                       "12345D2011_04_10_12_00_sut.txt", "12345D2011_04_10_12_00_mes.txt"}));
  for (const auto& name : names) {
    const std::string a = test::readFile(withExport.path() / "arc" / name);
    const std::string b = test::readFile(without.path() / "arc" / name);
    // No parameter report was asked for: that one stays empty.
    EXPECT_EQ(b.empty(), name.find("_par") != std::string::npos) << name;
    EXPECT_TRUE(a == b) << name << " differs";
  }

  expectTheMetersData(run, served);
  EXPECT_EQ(run.link.address, 0);
  EXPECT_EQ(run.link.errors, 0);
  EXPECT_EQ(run.link.timeouts, 0);
  EXPECT_EQ(run.link.linkFault, std::optional<bool>(false));
  // The pinned G1 of 0.1f is the float's shortest text, not its double's.
  EXPECT_NE(text.find("\"value\": 0.1\n"), std::string::npos);
  EXPECT_EQ(text.find("0.10000000149011612"), std::string::npos);
}

// CSV on standard output: nothing else there; the messages go to standard
// error; a decimal comma in the reports does not reach the CSV.
TEST_F(CliExport, CsvOnStandardOutputHoldsWhatTheMeterServed) {
  test::PtyMeter meter({}, pinMeter);
  const Served served{*meter.simulator};
  test::TempDir dir;
  std::vector<std::string> args{"--format", "csv"};
  args.insert(args.end(), kReadings.begin(), kReadings.end());

  const CliResult r = runCli(meter.simulator->portPath(), dataDir(dir), args, ',');
  ASSERT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_NE(r.err.find("meter 12345 identified"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("_chas.txt"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.rfind("serial,node,name,kind,record,start,label,ended,G1[m3/h],", 0), 0u)
      << r.out.substr(0, 80);
  EXPECT_EQ(r.out.find("identified"), std::string::npos);

  // Every line ends in CR LF; one table: the values, 24 hours and the day's
  // record and integrators, 28 days and 3 rows of integrators, the month.
  std::size_t lf = 0, crlf = 0;
  for (std::size_t i = 0; i < r.out.size(); ++i) {
    if (r.out[i] != '\n') continue;
    ++lf;
    if (i > 0 && r.out[i - 1] == '\r') ++crlf;
  }
  EXPECT_EQ(lf, crlf);
  EXPECT_EQ(parseCsv(r.out).size(), 1u + 1 + 24 + 2 + 28 + 3 + 1);

  const RunExport run = fromCsv(r.out);
  expectTheMetersData(run, served);
  EXPECT_NE(r.out.find(",0.1,"), std::string::npos);     // the pinned G1 of 0.1f
  EXPECT_EQ(r.out.find("requests"), std::string::npos);  // the link statistics are JSON's

  // The report took the decimal comma.
  const std::string mes = test::readFile(dir.path() / "arc" / "12345D2011_04_10_12_00_mes.txt");
  bool decimalComma = false;
  for (std::size_t i = 1; i + 1 < mes.size(); ++i) {
    decimalComma = decimalComma ||
                   (mes[i] == ',' && std::isdigit(static_cast<unsigned char>(mes[i - 1])) != 0 &&
                    std::isdigit(static_cast<unsigned char>(mes[i + 1])) != 0);
  }
  EXPECT_TRUE(decimalComma);
}

// Replies that fail their check are counted as the link statistics say.
TEST_F(CliExport, LinkStatisticsCountTheFailedReplies) {
  sim::FaultOptions faults;
  faults.corruptEvery = 10;
  test::PtyMeter meter(faults, pinMeter);
  const Served served{*meter.simulator};
  test::TempDir dir;
  const CliResult r = runCli(meter.simulator->portPath(), dataDir(dir),
                             {"--format", "json", "--out", "-", "values", "clock"});
  ASSERT_EQ(r.status, cli::kExitOk) << r.err;
  const RunExport run = fromJson(r.out, served.heatUnit());
  EXPECT_EQ(run.kinds, std::vector<std::string>{"values"});
  ASSERT_TRUE(run.values.has_value());
  expectQuantities(run.values->quantities, served.current(), "values");

  EXPECT_EQ(run.link.requests, requestsTaken(meter, run.link.requests));
  const auto log = meter.requests();
  long long failed = 0;
  for (const auto& e : log) failed += e.replyPassesCheck() ? 0 : 1;
  EXPECT_GT(failed, 0);
  EXPECT_EQ(run.link.requests, static_cast<long long>(log.size()));
  EXPECT_EQ(run.link.errors, failed);
  EXPECT_EQ(run.link.timeouts, 0);
  EXPECT_EQ(run.link.linkFault, std::optional<bool>(false));
  EXPECT_NE(r.err.find("Время:  12:00:07"), std::string::npos) << r.err;
}

// One quantity of one hour without a good reply: exactly that cell is null in
// the export, every other value is the one the meter served, and the report
// keeps its shape.
TEST_F(CliExport, OneFailedCellIsNullAndEveryOtherValueIsTheMeters) {
  test::PtyMeter meter({}, pinMeter);
  const std::vector<std::string> args{"--format", "json", "--out", "-", "hourly", "2011-04-09"};
  test::TempDir cleanDir, faultyDir;
  const CliResult clean = runCli(meter.simulator->portPath(), dataDir(cleanDir), args);
  ASSERT_EQ(clean.status, cli::kExitOk) << clean.err;

  // After the 8 identification requests, hour 5 starts at request 8 + 5 * 21 + 1
  // with quantity 0; all 11 attempts at it fail.
  sim::FaultOptions aimed;
  aimed.corruptAt = static_cast<unsigned>(meter.requests().size()) + 8 + 5 * 21 + 1;
  aimed.corruptRun = 11;
  meter.simulator->setFaults(aimed);
  const CliResult faulty = runCli(meter.simulator->portPath(), dataDir(faultyDir), args);
  EXPECT_EQ(faulty.status, cli::kExitLinkFault);
  EXPECT_NE(faulty.err.find("hourly: 1 of 533 values had no good reply"), std::string::npos)
      << faulty.err;

  const auto records = [](const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text))
        .object()["exports"]
        .toArray()
        .at(0)
        .toObject()["records"]
        .toArray();
  };
  const QJsonArray want = records(clean.out);
  const QJsonArray got = records(faulty.out);
  ASSERT_EQ(got.size(), 24);
  ASSERT_EQ(want.size(), 24);
  for (int h = 0; h < 24; ++h) {
    const QJsonArray wq = want.at(h).toObject()["quantities"].toArray();
    const QJsonArray gq = got.at(h).toObject()["quantities"].toArray();
    ASSERT_EQ(gq.size(), wq.size());
    EXPECT_EQ(got.at(h).toObject()["noReply"].toInt(), h == 5 ? 1 : 0) << h;
    for (int q = 0; q < gq.size(); ++q) {
      const QJsonValue v = gq.at(q).toObject()["value"];
      if (h == 5 && q == 0) {
        EXPECT_TRUE(v.isNull());
      } else {
        EXPECT_EQ(v, wq.at(q).toObject()["value"]) << h << " " << q;
      }
    }
  }
  const auto lines = [](const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir / "arc")) {
      if (e.path().string().find("_chas") != std::string::npos) {
        const std::string text = test::readFile(e.path());
        return std::count(text.begin(), text.end(), '\n');
      }
    }
    return std::ptrdiff_t{-1};
  };
  EXPECT_EQ(lines(faultyDir.path()), lines(cleanDir.path()));
}

}  // namespace
}  // namespace vardis
