// The parameter report: its 62 lines, the fixed-column placement, and the
// reading loop that stops at the first failed read.
#include <gtest/gtest.h>

#include "archives/session.h"
#include "connection/report_naming.h"
#include "format/cp1251.h"
#include "format/fixed_line.h"
#include "params/identification.h"
#include "params/parameter_report.h"
#include "support/fake_meter.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

std::string blanks(std::size_t n) {
  return std::string(n, ' ');
}
// Length in characters of a UTF-8 text.
std::size_t chars(const std::string& s) {
  return utf8ToCp1251(s).size();
}

TEST(FixedColumnLine, PlacementRules) {
  FixedColumnLine l(10);
  l.put(3, "ab");
  EXPECT_EQ(l.text(), "  ab      ");
  l.put(9, "xyz");  // reaches beyond the end: the line grows
  EXPECT_EQ(l.text(), "  ab    xyz");
  l.put(20, "Q");  // beyond the end: appended without filling
  EXPECT_EQ(l.text(), "  ab    xyzQ");
  FixedColumnLine n(5);
  n.putName("Имя");  // name, then the line from column 3 on: one longer
  EXPECT_EQ(n.text(), "Имя   ");
  EXPECT_EQ(n.length(), 6u);
  FixedColumnLine e(5);
  e.putName("");
  EXPECT_EQ(e.text(), blanks(5));
}

TEST(FixedColumnLine, AValueTooWideKeepsAllItsDigits) {
  FixedColumnLine l(20);
  l.putValue(2, "| ", "1234567890");  // columns 4..13
  l.put(10, "|");                     // would land on the digits
  EXPECT_EQ(l.text(), " | 1234567890|      ");
  // Trailing blanks of a padded value may be overwritten.
  FixedColumnLine m(20);
  m.putValue(2, "", "12   ");
  m.put(5, "|");
  EXPECT_EQ(m.text(), " 12 |" + blanks(15));
}

// Expected lines, built from the layout rules by hand.
std::string channel(const std::string& name, const std::string v[4]) {
  std::string l = name + blanks(19 - chars(name));
  for (int k = 0; k < 4; ++k) l += "| " + v[k] + blanks(10 - chars(v[k]));
  return l + "|";
}
std::string general(const std::string& name, const std::string& v, const std::string& end) {
  return name + blanks(19 - chars(name)) + "| " + v + blanks(8 - chars(v)) + end;
}

struct ReportFixture : ::testing::Test {
  test::TempDir dir;
  test::VirtualClock clock;
  test::FakeLine line{clock};
  test::FakeMeter meter;
  std::unique_ptr<Session> session;
  std::vector<int> progress;
  struct P : SessionObserver {
    std::vector<int>* out;
    void progressChanged(int p) override { out->push_back(p); }
  } observer;

  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "arc");
    SessionConfig cfg;
    cfg.dataDir = dir.path();
    session = std::make_unique<Session>(line, clock, cfg);
    session->link.port = "1";
    meter.parameters[0] = 777;
    line.responder = meter.responder();
    MeterIdentification(*session);
    observer.out = &progress;
    session->setObserver(&observer);
    meter.requests.clear();
  }
  std::vector<std::string> fileLines() {
    session->reports.file(ReportKind::Parameters).commit();
    const std::string utf8 = cp1251ToUtf8(
        test::readFile(dir.path() / "arc" / (session->shown().reportBaseName + "_par.txt")));
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
      const auto end = utf8.find("\r\n", pos);
      EXPECT_NE(end, std::string::npos);
      lines.push_back(utf8.substr(pos, end - pos));
      pos = end + 2;
    }
    return lines;
  }
};

TEST_F(ReportFixture, AllZeroParametersGiveTheZeroEndTexts) {
  meter.parameters.clear();
  WriteParameterReport(*session);
  const auto lines = fileLines();
  ASSERT_EQ(lines.size(), 62u);
  EXPECT_EQ(lines[0], blanks(25) + "КАНАЛЫ ОБЬЕМНОГО РАСХОДА" + blanks(19));
  EXPECT_EQ(lines[1], blanks(19) + "|    №1     |     №2    |    №3     |    №4     |");
  EXPECT_EQ(lines[12], " ");
  EXPECT_EQ(lines[13], blanks(25) + "КАНАЛЫ ТЕМПЕРАТУРЫ" + blanks(25));
  EXPECT_EQ(lines[20], blanks(25) + "КАНАЛЫ ДАВЛЕНИЯ" + blanks(28));
  EXPECT_EQ(lines[28], "КОНФИГУРАЦИЯ РАСЧЕТА ТЕПЛОВОЙ ЭНЕРГИИ" + blanks(3));
  EXPECT_EQ(lines[29], "     №1             |           №2     |");
  EXPECT_EQ(lines[41], blanks(9) + "ОБЩИЕ ПАРАМЕТРЫ" + blanks(6));
  EXPECT_EQ(lines[51], general("Ед.измерения W", "0", "| ГДж"));
  EXPECT_EQ(lines[52], general("Архив обьема", "0", "| тонны"));
  EXPECT_EQ(lines[53], general("Хорда", "0", "| однолучевой"));
  EXPECT_EQ(lines[42], general("Серийный номер", "0", "|"));
  EXPECT_EQ(lines[54], general("Код 100 ом.", "0.0", "|"));  // width 0: no blanks added
  EXPECT_EQ(lines[57], general("Код АЦП 20ма.", "0.0", "|"));
  EXPECT_EQ(lines[58], blanks(9) + "ДОПОЛНИТЕЛЬНЫЕ ПАРАМЕТРЫ" + blanks(6));
  const std::string zeros[4] = {"0", "0", "0", "0"};
  EXPECT_EQ(lines[60], channel("Окно УЗС  , мкс", zeros));
  EXPECT_EQ(lines[61], channel("Ширина УЗС  ", zeros));
  for (int i : {2, 11, 15, 18, 22, 26, 60, 61})
    EXPECT_EQ(chars(lines[static_cast<std::size_t>(i)]), 68u) << i;
  for (int i = 30; i <= 39; ++i) EXPECT_EQ(chars(lines[static_cast<std::size_t>(i)]), 40u) << i;
  for (int i = 42; i <= 57; ++i) {
    if (i < 51 || i > 53) {
      EXPECT_EQ(chars(lines[static_cast<std::size_t>(i)]), 30u) << i;
    }
  }
  EXPECT_EQ(session->operationStatus(), "Параметры записаны");
}

TEST_F(ReportFixture, ChannelLineForTheFlowLimits) {
  meter.parameters[10] = 12.5f;
  meter.parameters[20] = 100;
  meter.parameters[30] = 3;
  meter.parameters[40] = 0;
  meter.parameters[9] = 1;
  meter.parameters[111] = 1;
  meter.parameters[122] = 2;
  WriteParameterReport(*session);
  const auto lines = fileLines();
  const std::string v[4] = {"12.5", "100.0", "3.0", "0.0"};
  EXPECT_EQ(lines[2], channel("G макс., м3/час", v));
  EXPECT_EQ(lines[51], general("Ед.измерения W", "1", "| Гкал"));
  EXPECT_EQ(lines[52], general("Архив обьема", "1", "| м3"));
  EXPECT_EQ(lines[53], general("Хорда", "2", "| двухлучевой"));
}

TEST_F(ReportFixture, HeatConfigurationValuesLineUpOnTheirPoint) {
  meter.parameters[90] = 10;
  meter.parameters[100] = 9.99f;
  meter.parameters[91] = 9.99f;
  meter.parameters[101] = 10;
  WriteParameterReport(*session);
  const auto lines = fileLines();
  // 10.00 at column 10 (its blank at 9); 9.99 at column 11; second value at 31 or 32.
  EXPECT_EQ(lines[30], "w1.1:=  " + std::string(" 10.00") + blanks(6) + "| w2.1:=  " + blanks(1) +
                           "9.99 " + blanks(3) + "|");
  EXPECT_EQ(lines[31], "w1.2:=  " + blanks(2) + "9.99 " + blanks(5) + "| w2.2:=  " + "10.00" +
                           blanks(4) + "|");
  EXPECT_EQ(lines[39], "w1.10:=  " + std::string(" 0.00 ") + blanks(5) + "| w2.10:=  " + "0.00 " +
                           blanks(3) + "|");
}

TEST_F(ReportFixture, AFailedReadEndsTheLoopButTheReportIsWrittenInFull) {
  for (int i = 0; i <= 122; ++i) session->params.values[static_cast<std::size_t>(i)] = 5;
  meter.parameters[10] = 7;
  auto answering = meter.responder();
  line.responder = [&](const std::vector<std::uint8_t>& sent) -> std::vector<test::Chunk> {
    if (sent.size() == 11 && sent[3] == 40) return {};  // parameter 40 never answers
    return answering(sent);
  };
  WriteParameterReport(*session);
  EXPECT_EQ(session->link.LinkFault, 1);
  EXPECT_EQ(progress.back(), 31);  // 39 * 100 div 122
  EXPECT_EQ(meter.requests.size(), 40u);
  const auto lines = fileLines();
  ASSERT_EQ(lines.size(), 62u);
  // Parameters after 40 keep their earlier values.
  EXPECT_EQ(lines[42], general("Серийный номер", "777", "|"));
  EXPECT_EQ(lines[52], general("Архив обьема", "5", "| м3"));
  EXPECT_EQ(session->operationStatus(), "Параметры: 1 значение без ответа");
}

TEST_F(ReportFixture, TwoClicksGiveTwoCompleteReports) {
  WriteParameterReport(*session);
  WriteParameterReport(*session);
  const auto lines = fileLines();
  ASSERT_EQ(lines.size(), 124u);
  EXPECT_EQ(lines[62], lines[0]);
  EXPECT_EQ(lines[123], lines[61]);
  EXPECT_EQ(progress.back(), 100);
}

TEST_F(ReportFixture, AValueTooWideForItsColumnKeepsItsDigits) {
  meter.parameters[10] = 123456789.0f;  // above 1000000: stored as 0
  meter.parameters[11] = -987654.25f;   // negative: kept, 10 characters in a field of 8
  WriteParameterReport(*session);
  const auto lines = fileLines();
  EXPECT_NE(lines[3].find("| -987654.25| 0.00"), std::string::npos) << lines[3];
}

}  // namespace
}  // namespace vardis
