// The parameter report as a whole: all 62 lines, compared line by line with a
// text built here from the line layouts (titles, column headers, channel,
// heat-configuration and general lines) and from the names and formats of the
// parameters, written out again in this file.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archives/session.h"
#include "connection/report_naming.h"
#include "params/identification.h"
#include "params/parameter_report.h"
#include "support/fake_meter.h"
#include "support/report_lines.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

using test::fromCp1251;
using test::toCp1251;

constexpr std::size_t kReportLines = 62;

// What the meter answers: parameter index -> single-precision value.
using ParameterSet = std::map<int, float>;
// What the table holds after reading 0 to 122.
using StoredValues = std::array<double, 123>;

std::string blanks(std::size_t n) {
  return std::string(n, ' ');
}

// ---------------------------------------------------------------------------
// Names and formats of the parameters the report prints.

struct Format {
  int width;
  int decimals;
};

// Channel 1 of each block; channels 2 to 4 share the format at the same position.
constexpr std::array<Format, 10> kFlowFormats = {
    {{7, 1}, {8, 2}, {8, 2}, {7, 2}, {7, 2}, {3, 0}, {7, 2}, {6, 2}, {7, 5}, {5, 3}}};
constexpr std::array<Format, 4> kTemperatureFormats = {{{6, 2}, {5, 3}, {6, 2}, {6, 2}}};
constexpr std::array<Format, 5> kPressureFormats = {{{7, 4}, {7, 4}, {7, 4}, {7, 4}, {7, 4}}};

Format formatOf(int i) {
  if (i >= 10 && i <= 49) return kFlowFormats[static_cast<std::size_t>((i - 10) % 10)];
  if (i >= 52 && i <= 67) return kTemperatureFormats[static_cast<std::size_t>((i - 52) % 4)];
  if (i >= 68 && i <= 87) return kPressureFormats[static_cast<std::size_t>((i - 68) % 5)];
  if (i >= 90 && i <= 110) return {5, 2};
  if (i >= 112 && i <= 119) return {5, 0};
  switch (i) {
    case 0:
      return {7, 0};
    case 1:
      return {4, 0};
    case 2:
      return {2, 0};
    case 3:
      return {3, 0};
    case 4:
      return {2, 0};
    case 5:
      return {7, 0};
    case 6:
      return {7, 0};
    case 7:
      return {6, 0};
    case 8:
      return {6, 0};
    case 9:
      return {2, 0};
    case 50:
      return {0, 1};
    case 51:
      return {8, 1};
    case 88:
      return {7, 1};
    case 89:
      return {7, 1};
    case 111:
      return {5, 0};
    case 122:
      return {7, 0};
    default:
      return {7, 2};
  }
}

// Only channel 1 of a block has a name; the row carries it for all channels.
std::string nameOf(int i) {
  static const std::map<int, std::string> kNames = {
      {0, "Серийный номер"},   {1, "Пароль на изм."},    {2, "Пароль на обнул."},
      {3, "Отчетный день"},    {4, "Авт.переход час"},   {5, "Кол.УЗС каналов"},
      {6, "Адрес сети"},       {7, "Скорость обмена"},   {8, "DCON"},
      {9, "Ед.измерения W"},   {10, "G макс., м3/час"},  {11, "G мин., м3/час"},
      {12, "Gconst., м3/час"}, {13, "Вн.диаметр   ,мм"}, {14, "База датчиков,мм"},
      {15, "Усреднение,с"},    {16, "Cмещение нуля,нс"}, {17, "Длина кабеля , м"},
      {18, "Коэфф.коррекции"}, {19, "Задержка ПЭП,мкс"}, {50, "Код 100 ом."},
      {51, "Код 150 ом."},     {52, "Тconst.,гр.C"},     {53, "Тw:=  1.385/1.391"},
      {54, "Т мин.,гр.C"},     {55, "Т макс.,гр.C"},     {68, "Pconst.,Мпа"},
      {69, "P макс.изм.,Мпа"}, {70, "P мин.изм.,Мпа"},   {71, "P макс.,Мпа"},
      {72, "P мин.,Мпа"},      {88, "Код АЦП 4ма."},     {89, "Код АЦП 20ма."},
      {110, "Сброс"},          {111, "Архив обьема"},    {112, "Окно УЗС  , мкс"},
      {116, "Ширина УЗС  "},   {122, "Хорда"},
  };
  if (i >= 90 && i <= 99) return "w1." + std::to_string(i - 89) + ":=  ";
  if (i >= 100 && i <= 109) return "w2." + std::to_string(i - 99) + ":=  ";
  const auto it = kNames.find(i);
  return it == kNames.end() ? std::string() : it->second;
}

// ---------------------------------------------------------------------------
// The expected text.

// "%-*.*f" with a point: left-justified in `width`, never cut.
std::string valueText(double v, Format f) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%-*.*f", f.width, f.decimals, v);
  return buf;
}

// A report line in code page 1251 (one byte per character), built by writing
// texts at fixed columns into a run of blanks.
class Row {
 public:
  explicit Row(std::size_t n) : line_(n, ' ') {}

  // Column c >= 1: the text replaces characters c onwards; a line shorter than
  // c - 1 gets it at its end without filling; the line grows as needed.
  void at(int column, const std::string& utf8) {
    const std::string t = toCp1251(utf8);
    const std::size_t start = std::min(static_cast<std::size_t>(column - 1), line_.size());
    if (start + t.size() > line_.size()) line_.resize(start + t.size(), ' ');
    line_.replace(start, t.size(), t);
  }

  // Column 0: the name, then the line from column length(name) on.
  void name(const std::string& utf8) {
    const std::string n = toCp1251(utf8);
    if (n.empty()) return;
    line_ = n + line_.substr(n.size() - 1);
  }

  const std::string& bytes() const { return line_; }

 private:
  std::string line_;
};

class ExpectedReport {
 public:
  explicit ExpectedReport(const StoredValues& v) : v_(v) {}

  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    auto text = [&out](const std::string& utf8) { out.push_back(toCp1251(utf8)); };
    const std::string header = blanks(19) + "|    №1     |     №2    |    №3     |    №4     |";

    text(blanks(25) + "КАНАЛЫ ОБЬЕМНОГО РАСХОДА" + blanks(19));
    text(header);
    for (int i = 10; i <= 19; ++i) out.push_back(channel(i, 10));
    text(" ");
    text(blanks(25) + "КАНАЛЫ ТЕМПЕРАТУРЫ" + blanks(25));
    text(header);
    for (int i = 52; i <= 55; ++i) out.push_back(channel(i, 4));
    text(" ");
    text(blanks(25) + "КАНАЛЫ ДАВЛЕНИЯ" + blanks(28));
    text(header);
    for (int i = 68; i <= 72; ++i) out.push_back(channel(i, 5));
    text(" ");
    text("КОНФИГУРАЦИЯ РАСЧЕТА ТЕПЛОВОЙ ЭНЕРГИИ" + blanks(3));
    text("     №1             |           №2     |");
    for (int i = 90; i <= 99; ++i) out.push_back(heat(i));
    text(" ");
    text(blanks(9) + "ОБЩИЕ ПАРАМЕТРЫ" + blanks(6));
    for (int i = 0; i <= 9; ++i) out.push_back(general(i));
    out.push_back(general(111));
    out.push_back(general(122));
    for (int i : {50, 51, 88, 89}) out.push_back(general(i));
    text(blanks(9) + "ДОПОЛНИТЕЛЬНЫЕ ПАРАМЕТРЫ" + blanks(6));
    text(header);
    out.push_back(channel(112, 1));
    out.push_back(channel(116, 1));
    return out;
  }

  std::string value(int i) const { return valueText(v_[static_cast<std::size_t>(i)], formatOf(i)); }

  // The channel lines repeat every `stride` parameters: one column per channel.
  std::string channel(int i, int stride) const {
    Row r(66);
    r.name(nameOf(i));
    for (int k = 0; k < 4; ++k) r.at(20 + 12 * k, "| " + value(i + k * stride));
    r.at(68, "|");
    return r.bytes();
  }

  // Heat system 1 on the left, heat system 2 (ten parameters on) on the right;
  // a value of 10 or more starts one column earlier so the points line up.
  std::string heat(int i) const {
    Row r(39);
    r.name(nameOf(i));
    r.at(raw(i) >= 10 ? 9 : 10, " " + value(i));
    r.at(20, " | " + nameOf(i + 10));
    r.at(raw(i + 10) >= 10 ? 31 : 32, value(i + 10));
    r.at(40, "|");
    return r.bytes();
  }

  std::string general(int i) const {
    Row r(29);
    r.name(nameOf(i));
    r.at(20, "| " + value(i));
    r.at(30, endText(i));
    return r.bytes();
  }

  std::string endText(int i) const {
    const bool zero = raw(i) == 0;
    switch (i) {
      case 9:
        return zero ? "| ГДж" : "| Гкал";
      case 111:
        return zero ? "| тонны" : "| м3";
      case 122:
        return zero ? "| однолучевой" : "| двухлучевой";
      default:
        return "|";
    }
  }

 private:
  double raw(int i) const { return v_[static_cast<std::size_t>(i)]; }
  const StoredValues& v_;
};

// The table after a full reading: the single-precision value widened, a value
// above 1000000 stored as 0.
StoredValues storedValues(const ParameterSet& set) {
  StoredValues v{};
  for (const auto& [i, f] : set) {
    if (i < 0 || i > 122) continue;
    const double d = static_cast<double>(f);
    v[static_cast<std::size_t>(i)] = d > 1000000.0 ? 0.0 : d;
  }
  return v;
}

std::vector<std::string> expectedReport(const ParameterSet& set) {
  const StoredValues v = storedValues(set);
  return ExpectedReport(v).lines();
}

// Line numbers below count from 1, as in the report.
void expectSameLines(const std::vector<std::string>& actual,
                     const std::vector<std::string>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(actual[i] == expected[i])
        << "line " << i + 1 << "\n  expected: [" << fromCp1251(expected[i]) << "]\n  actual:   ["
        << fromCp1251(actual[i]) << "]";
  }
}

// ---------------------------------------------------------------------------
// Parameter sets.

void put(ParameterSet& p, int first, int stride, const std::array<float, 4>& channels) {
  for (int k = 0; k < 4; ++k) p[first + k * stride] = channels[static_cast<std::size_t>(k)];
}
void flow(ParameterSet& p, int j, const std::array<float, 4>& c) {
  put(p, 10 + j, 10, c);
}
void temperature(ParameterSet& p, int j, const std::array<float, 4>& c) {
  put(p, 52 + j, 4, c);
}
void pressure(ParameterSet& p, int j, const std::array<float, 4>& c) {
  put(p, 68 + j, 5, c);
}

// A meter in service: heat in GJ, mass archive, single-beam chord; every other
// parameter read by the report is non-zero and fits its column.
ParameterSet serviceMeter() {
  ParameterSet p;
  const std::array<float, 10> general = {12345, 1234, 12, 25, 1, 4, 17, 9600, 3, 0};
  for (int i = 0; i < 10; ++i) p[i] = general[static_cast<std::size_t>(i)];
  flow(p, 0, {25.5f, 40.0f, 63.2f, 160.0f});
  flow(p, 1, {0.25f, 0.4f, 0.63f, 1.6f});
  flow(p, 2, {12.5f, 20.0f, 31.75f, 80.0f});
  flow(p, 3, {25.4f, 32.0f, 50.0f, 80.0f});
  flow(p, 4, {95.5f, 110.25f, 150.0f, 205.75f});
  flow(p, 5, {5, 10, 15, 30});
  flow(p, 6, {-12.34f, 3.5f, 0.75f, -1.25f});
  flow(p, 7, {10.5f, 15.0f, 20.25f, 7.75f});
  flow(p, 8, {1.00125f, 0.99875f, 1.0025f, 0.9975f});
  flow(p, 9, {1.25f, 2.5f, 12.345f, 0.875f});
  p[50] = 1234.5f;
  p[51] = 1856.3f;
  temperature(p, 0, {20.0f, 5.5f, 70.25f, 45.0f});
  temperature(p, 1, {1.385f, 1.391f, 1.385f, 1.391f});
  temperature(p, 2, {-40.0f, 0.5f, 1.0f, 2.0f});
  temperature(p, 3, {150.0f, 130.5f, 95.25f, 110.0f});
  pressure(p, 0, {0.6f, 0.45f, 1.2f, 0.3f});
  pressure(p, 1, {1.6f, 2.5f, 1.0f, 4.0f});
  pressure(p, 2, {0.05f, 0.1f, 0.02f, 0.01f});
  pressure(p, 3, {1.2f, 2.0f, 0.8f, 3.5f});
  pressure(p, 4, {0.15f, 0.2f, 0.1f, 0.25f});
  p[88] = 819.2f;
  p[89] = 4095.8f;
  const std::array<float, 10> w1 = {1.5f,   12.25f, 9.99f,  10.0f, 0.5f,
                                    25.75f, 3.0f,   99.99f, 7.12f, 50.0f};
  const std::array<float, 10> w2 = {2.5f,   11.0f, 9.5f,  10.5f, 0.25f,
                                    33.33f, 4.0f,  88.8f, 6.66f, 15.0f};
  for (int j = 0; j < 10; ++j) {
    p[90 + j] = w1[static_cast<std::size_t>(j)];
    p[100 + j] = w2[static_cast<std::size_t>(j)];
  }
  p[110] = 1.5f;  // read, not printed
  p[111] = 0;
  put(p, 112, 1, {120, 125, 130, 140});
  put(p, 116, 1, {8, 9, 10, 12});
  p[120] = 3.25f;  // read, not printed
  p[121] = 4.5f;   // read, not printed
  p[122] = 0;
  return p;
}

// Heat in Gcal, volume archive, double-beam chord, and other values throughout.
ParameterSet volumeMeter() {
  ParameterSet p;
  const std::array<float, 10> general = {987654, 4321, 7, 1, 2, 2, 250, 19200, 1, 1};
  for (int i = 0; i < 10; ++i) p[i] = general[static_cast<std::size_t>(i)];
  flow(p, 0, {6.3f, 1000.0f, 2.5f, 99999.9f});
  flow(p, 1, {0.06f, 12.34f, 0.03f, 100.0f});
  flow(p, 2, {3.15f, 500.0f, 1.25f, 12345.67f});
  flow(p, 3, {15.0f, 300.0f, 10.0f, 1000.0f});
  flow(p, 4, {60.5f, 350.75f, 45.25f, 1200.0f});
  flow(p, 5, {1, 2, 60, 999});
  flow(p, 6, {0.5f, -0.75f, 99.99f, -100.0f});
  flow(p, 7, {1.5f, 30.0f, 2.75f, 100.5f});
  flow(p, 8, {1.0f, 1.01234f, 0.95f, 0.99999f});
  flow(p, 9, {0.125f, 10.5f, 99.999f, 3.75f});
  p[50] = 7.9f;
  p[51] = 2987.6f;
  temperature(p, 0, {-5.5f, 90.0f, 4.25f, 10.0f});
  temperature(p, 1, {1.391f, 1.385f, 1.391f, 1.385f});
  temperature(p, 2, {0.25f, -10.0f, 3.0f, 5.0f});
  temperature(p, 3, {175.0f, 120.0f, 60.5f, 80.25f});
  pressure(p, 0, {1.6f, 0.25f, 2.5f, 0.35f});
  pressure(p, 1, {2.5f, 1.6f, 6.3f, 1.0f});
  pressure(p, 2, {0.025f, 0.5f, 0.125f, 0.0625f});
  pressure(p, 3, {2.4f, 1.2f, 5.5f, 0.9f});
  pressure(p, 4, {0.2f, 0.05f, 0.3f, 0.04f});
  p[88] = 655.3f;
  p[89] = 3276.7f;
  // 9.996 is below 10 but prints as 10.00: the column follows the value, not its text.
  const std::array<float, 10> w1 = {45.5f, 0.75f,  10.5f, 9.996f, 62.25f,
                                    2.0f,  18.75f, 0.01f, 88.5f,  5.5f};
  const std::array<float, 10> w2 = {9.25f,  40.0f, 0.5f,  10.0f, 9.996f,
                                    77.75f, 1.25f, 12.5f, 0.1f,  95.05f};
  for (int j = 0; j < 10; ++j) {
    p[90 + j] = w1[static_cast<std::size_t>(j)];
    p[100 + j] = w2[static_cast<std::size_t>(j)];
  }
  p[110] = 2.25f;
  p[111] = 1;
  put(p, 112, 1, {90, 95, 100, 105});
  put(p, 116, 1, {20, 18, 16, 14});
  p[120] = 1.5f;
  p[121] = 2.5f;
  p[122] = 2;
  return p;
}

// ---------------------------------------------------------------------------

class ParameterReportFull : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "arc");
    session = std::make_unique<Session>(line, clock, SessionConfig{dir.path(), NumberStyle{'.'}});
    session->link.port = "1";
    line.responder = meter.responder();
    meter.parameters = {{0, 12345.0f}};
    MeterIdentification(*session);
    ASSERT_TRUE(session->reports.ReportFilesOpen);
    meter.requests.clear();
  }

  // Runs the report with the meter answering `set` and returns the 62 lines it
  // appended, in code page 1251.
  std::vector<std::string> report(const ParameterSet& set) {
    meter.parameters = set;
    WriteParameterReport(*session);
    EXPECT_EQ(session->link.LinkFault, 0);
    EXPECT_EQ(meter.requests.size(), 123u);
    meter.requests.clear();
    ReportFile& f = session->reports.file(ReportKind::Parameters);
    f.commit();
    const std::vector<std::string> all = test::fileLines(test::readFile(f.path()));
    if (all.size() < kReportLines) {
      ADD_FAILURE() << "only " << all.size() << " lines in the file";
      return all;
    }
    return std::vector<std::string>(all.end() - static_cast<std::ptrdiff_t>(kReportLines),
                                    all.end());
  }

  // Reports `base`, then `base` with `changes`; the second report must differ
  // from the first in line `changedLine` (counted from 1) only.
  std::string changedLineOf(const ParameterSet& base, const ParameterSet& changes,
                            std::size_t changedLine) {
    const auto before = report(base);
    expectSameLines(before, expectedReport(base));
    ParameterSet wide = base;
    for (const auto& [i, v] : changes) wide[i] = v;
    const auto after = report(wide);
    if (after.size() != kReportLines || before.size() != kReportLines) {
      ADD_FAILURE() << "report sizes " << before.size() << ", " << after.size();
      return {};
    }
    for (std::size_t i = 0; i < kReportLines; ++i) {
      if (i + 1 == changedLine) continue;
      EXPECT_TRUE(after[i] == before[i])
          << "line " << i + 1 << " changed: [" << fromCp1251(after[i]) << "]";
    }
    return fromCp1251(after[changedLine - 1]);
  }

  test::TempDir dir;
  test::VirtualClock clock;
  test::FakeLine line{clock};
  test::FakeMeter meter;
  std::unique_ptr<Session> session;
};

TEST_F(ParameterReportFull, ServiceMeterInGigajoulesWithMassArchiveAndSingleBeam) {
  const ParameterSet set = serviceMeter();
  const auto lines = report(set);
  expectSameLines(lines, expectedReport(set));

  // The layout in characters: channel lines 68, heat lines 40, general lines 29
  // plus their end text.
  ASSERT_EQ(lines.size(), kReportLines);
  for (std::size_t n : {3, 12, 16, 19, 23, 27, 61, 62}) EXPECT_EQ(lines[n - 1].size(), 68u) << n;
  for (std::size_t n = 31; n <= 40; ++n) EXPECT_EQ(lines[n - 1].size(), 40u) << n;
  EXPECT_EQ(fromCp1251(lines[51]), "Ед.измерения W" + blanks(5) + "| 0" + blanks(7) + "| ГДж");
  EXPECT_EQ(fromCp1251(lines[52]), "Архив обьема" + blanks(7) + "| 0" + blanks(7) + "| тонны");
  EXPECT_EQ(fromCp1251(lines[53]), "Хорда" + blanks(14) + "| 0" + blanks(7) + "| однолучевой");
  for (std::size_t n : {43, 50, 55, 56, 57, 58}) EXPECT_EQ(lines[n - 1].size(), 30u) << n;
}

TEST_F(ParameterReportFull, VolumeMeterInGigacaloriesWithDoubleBeam) {
  const ParameterSet set = volumeMeter();
  const auto lines = report(set);
  expectSameLines(lines, expectedReport(set));
  ASSERT_EQ(lines.size(), kReportLines);
  EXPECT_EQ(fromCp1251(lines[51]), "Ед.измерения W" + blanks(5) + "| 1" + blanks(7) + "| Гкал");
  EXPECT_EQ(fromCp1251(lines[52]), "Архив обьема" + blanks(7) + "| 1" + blanks(7) + "| м3");
  EXPECT_EQ(fromCp1251(lines[53]), "Хорда" + blanks(14) + "| 2" + blanks(7) + "| двухлучевой");
}

TEST_F(ParameterReportFull, AllParametersZero) {
  const ParameterSet set;  // the meter answers 0 for every index
  const auto lines = report(set);
  expectSameLines(lines, expectedReport(set));
}

TEST_F(ParameterReportFull, ASecondReportWithOtherValuesFollowsTheFirst) {
  const auto first = report(serviceMeter());
  const auto second = report(volumeMeter());
  expectSameLines(first, expectedReport(serviceMeter()));
  expectSameLines(second, expectedReport(volumeMeter()));
}

// A value wider than its column keeps all its digits: the text written next on
// the line starts right after them.

TEST_F(ParameterReportFull, HeatSystemOneValueTooWidePushesTheNextField) {
  // w1.1 = -123456.50 (10 characters) below 10: its blank at column 10, digits
  // at 11 to 20, where " | w2.1:=  " would start. w2.1 = 2.50 stays at 32.
  const std::string line = changedLineOf(serviceMeter(), {{90, -123456.5f}}, 31);
  EXPECT_EQ(line,
            "w1.1:=  " + blanks(2) + "-123456.50" + " | " + "w2.1:=  " + "2.50 " + blanks(3) + "|");
  EXPECT_EQ(line.size(), 40u);
}

TEST_F(ParameterReportFull, HeatSystemTwoValueTooWidePushesTheClosingBar) {
  // w2.2 = -98765.25 (9 characters) below 10: columns 32 to 40, so the closing
  // "|" comes at column 41.
  const std::string line = changedLineOf(serviceMeter(), {{101, -98765.25f}}, 32);
  EXPECT_EQ(line, "w1.2:=  " + std::string(" 12.25") + blanks(5) + " | " + "w2.2:=  " + " " +
                      "-98765.25" + "|");
  EXPECT_EQ(line.size(), 41u);
}

TEST_F(ParameterReportFull, GeneralValueTooWidePushesTheClosingBar) {
  // Code 150 = -999999.5 (9 characters): columns 22 to 30, the "|" at 31.
  const std::string line = changedLineOf(serviceMeter(), {{51, -999999.5f}}, 56);
  EXPECT_EQ(line, "Код 150 ом." + blanks(8) + "| " + "-999999.5" + "|");
}

TEST_F(ParameterReportFull, GeneralValueTooWidePushesTheEndText) {
  // Heat unit -12345678 (9 characters, kept: only values above 1000000 become
  // 0): not 0, so Gcal, and "| Гкал" starts at column 31.
  const std::string line = changedLineOf(serviceMeter(), {{9, -12345678.0f}}, 52);
  EXPECT_EQ(line, "Ед.измерения W" + blanks(5) + "| " + "-12345678" + "| Гкал");
}

}  // namespace
}  // namespace vardis
