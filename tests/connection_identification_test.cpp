// Identification of the meter and the naming of its report files.
#include <gtest/gtest.h>

#include <cmath>

#include "archives/session.h"
#include "connection/report_naming.h"
#include "connection/status_line.h"
#include "params/identification.h"
#include "support/fake_meter.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

using test::FakeLine;
using test::FakeMeter;
using test::TempDir;
using test::VirtualClock;

struct Observed : SessionObserver {
  std::vector<int> progress;
  std::vector<std::string> memo;
  int ended = 0;
  void progressChanged(int p) override { progress.push_back(p); }
  void memoLine(const std::string& l) override { memo.push_back(l); }
  void identificationEnded() override { ++ended; }
};

struct IdentificationFixture : ::testing::Test {
  TempDir dir;
  VirtualClock clock;
  FakeLine line{clock};
  FakeMeter meter;
  std::unique_ptr<Session> session;
  Observed seen;

  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "arc");
    clock.base = LocalDateTime{2011, 4, 8, 9, 5, 0, 0};
    SessionConfig cfg;
    cfg.dataDir = dir.path();
    session = std::make_unique<Session>(line, clock, cfg);
    session->setObserver(&seen);
    session->link.port = "1";
    meter.parameters[0] = 12345;
    line.responder = meter.responder();
  }
  std::filesystem::path arc(const std::string& name) const { return dir.path() / "arc" / name; }
};

TEST_F(IdentificationFixture, CreatesFourEmptyFilesNamedAfterSerialAndStamp) {
  MeterIdentification(*session);
  for (const char* suffix : {"_par.txt", "_chas.txt", "_sut.txt", "_mes.txt"}) {
    const auto p = arc(std::string("12345D2011_04_08_09_05") + suffix);
    ASSERT_TRUE(std::filesystem::exists(p)) << p;
    EXPECT_EQ(std::filesystem::file_size(p), 0u);
  }
  EXPECT_TRUE(session->reports.ReportFilesOpen);
  EXPECT_EQ(session->IdentificationCount, 1);
  EXPECT_EQ(session->shown().reportBaseName, "12345D2011_04_08_09_05");
  EXPECT_EQ(session->shown().startStamp, "2011_04_08_09_05");
  EXPECT_EQ(session->shown().callStatus, "Считывание параметров");
  EXPECT_EQ(session->shown().identificationCount, "n=0");
  EXPECT_EQ(session->operationStatus(), "Параметры записаны");
  EXPECT_EQ(seen.ended, 1);
  EXPECT_EQ(seen.memo, (std::vector<std::string>{"OK=0"}));
  EXPECT_EQ(seen.progress, (std::vector<int>{10, 15, 20, 25, 50, 75, 100}));
  EXPECT_EQ(session->link.counters.RequestCount, 8);
}

TEST_F(IdentificationFixture, ReadsTheEightParametersInOrder) {
  MeterIdentification(*session);
  std::vector<int> indices;
  for (const auto& f : meter.requests) {
    EXPECT_EQ(f[2], 5);
    indices.push_back(f[3]);
  }
  EXPECT_EQ(indices, (std::vector<int>{0, 3, 9, 111, 10, 20, 30, 40}));
}

TEST_F(IdentificationFixture, StampFieldsHaveTwoDigits) {
  EXPECT_EQ(startStampText({2011, 11, 23, 17, 42, 0, 0}), "2011_11_23_17_42");
  EXPECT_EQ(startStampText({2012, 1, 1, 0, 0, 0, 0}), "2012_01_01_00_00");
  EXPECT_EQ(startStampText({2012, 10, 9, 10, 9, 0, 0}), "2012_10_09_10_09");
}

TEST_F(IdentificationFixture, SerialNumberRoundsHalfToEven) {
  EXPECT_EQ(serialNumber(12345.5), 12346);
  EXPECT_EQ(serialNumber(12344.5), 12344);
  EXPECT_EQ(serialNumber(12344.51), 12345);
  EXPECT_EQ(serialNumber(0), 0);
  EXPECT_EQ(serialNumber(-7), -7);
  EXPECT_EQ(serialNumber(2147483647.0), 2147483647);
  EXPECT_EQ(serialNumber(2147483648.0), std::nullopt);
  EXPECT_EQ(serialNumber(-1e30), std::nullopt);
  EXPECT_EQ(serialNumber(std::nan("")), std::nullopt);
}

TEST_F(IdentificationFixture, ASerialNumberNoFileNameCanHoldIsRefusedWithNoFiles) {
  meter.parameters[0] = -1e30f;
  try {
    MeterIdentification(*session);
    FAIL() << "no error";
  } catch (const UserError& e) {
    EXPECT_NE(std::string(e.what()).find("no report files"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(session->reports.ReportFilesOpen);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "arc"));
}

TEST_F(IdentificationFixture, HeatUnitFromParameterNine) {
  meter.parameters[9] = 0;
  MeterIdentification(*session);
  EXPECT_EQ(session->HeatUnitText, " Гдж");
  meter.parameters[9] = 1;
  clock.advance(60000);
  MeterIdentification(*session);
  EXPECT_EQ(session->HeatUnitText, "Гкал");
}

TEST_F(IdentificationFixture, FlowDecimalsFromTheUpperLimits) {
  const std::pair<float, int> cases[] = {{10.0f, 4},    {10.01f, 3},   {100.0f, 3},  {1000.5f, 1},
                                         {10000.0f, 1}, {20000.0f, 0}, {-5.0f, 4},   {5.0f, 4},
                                         {50.0f, 3},    {500.0f, 2},   {5000.0f, 1}, {50000.0f, 0},
                                         {1000.0f, 2},  {10000.5f, 0}};
  for (const auto& [limit, decimals] : cases) {
    meter.parameters[10] = limit;
    meter.parameters[40] = limit;
    MeterIdentification(*session);
    const auto& t = session->formats.slot;
    EXPECT_EQ(t[0].decimals, decimals) << limit;
    EXPECT_EQ(t[12].decimals, decimals) << limit;
    EXPECT_EQ(t[16].decimals, decimals) << limit;
    EXPECT_EQ(t[3].decimals, decimals) << limit;
    EXPECT_EQ(t[15].decimals, decimals) << limit;
  }
  const auto& t = session->formats.slot;
  EXPECT_EQ(t[0].width, 6);
  EXPECT_EQ(t[4].width, 6);
  EXPECT_EQ(t[4].decimals, 2);
  EXPECT_EQ(t[8].width, 5);
  EXPECT_EQ(t[8].decimals, 3);
  EXPECT_EQ(t[16].width, 7);
  EXPECT_EQ(t[17].width, 7);
  EXPECT_EQ(t[18].width, 6);
  EXPECT_EQ(t[19].decimals, 2);
}

TEST_F(IdentificationFixture, GarbledMeterCreatesNoFilesButStillSetsUnitsAndFormats) {
  // A meter that answers, if only with bad checksums, keeps every read's attempts.
  line.responder = [](const std::vector<std::uint8_t>&) {
    return std::vector<test::Chunk>{{5, std::vector<std::uint8_t>(11, 0x01)}};
  };
  MeterIdentification(*session);
  EXPECT_EQ(meter.requests.size(), 0u);
  EXPECT_EQ(line.sent.size(), 8u * 11u);
  EXPECT_EQ(session->link.LinkFault, 1);
  EXPECT_EQ(statusTexts(*session).panel0, "Сбой связи !");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "arc"));
  EXPECT_FALSE(session->reports.ReportFilesOpen);
  EXPECT_EQ(session->IdentificationCount, 0);
  EXPECT_EQ(session->HeatUnitText, "Гкал");
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(session->formats.slot[static_cast<std::size_t>(k)].decimals, 4);
  EXPECT_EQ(session->operationStatus(), "Прибор не ответил: файлы не созданы");
  EXPECT_EQ(seen.ended, 1);
}

TEST_F(IdentificationFixture, MissingReportFolderIsOneClearMessage) {
  std::filesystem::remove_all(dir.path() / "arc");
  try {
    MeterIdentification(*session);
    FAIL() << "expected an error";
  } catch (const UserError& e) {
    const std::string msg = e.what();
    EXPECT_EQ(msg.rfind("I/O error 3", 0), 0u) << msg;
    EXPECT_NE(msg.find((dir.path() / "arc").string()), std::string::npos) << msg;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "arc"));  // not created silently
  EXPECT_FALSE(session->reports.ReportFilesOpen);
  EXPECT_EQ(session->operationStatus(), "Считывание параметров");
}

TEST_F(IdentificationFixture, NewIdentificationClosesTheOldSetWithItsText) {
  MeterIdentification(*session);
  session->reports.file(ReportKind::Hourly).writeLine("hour line");
  session->reports.file(ReportKind::Hourly).commit();
  clock.advance(60000);
  MeterIdentification(*session);
  EXPECT_EQ(test::readFile(arc("12345D2011_04_08_09_05_chas.txt")), "hour line\r\n");
  EXPECT_EQ(session->shown().reportBaseName, "12345D2011_04_08_09_06");
  EXPECT_TRUE(std::filesystem::exists(arc("12345D2011_04_08_09_06_chas.txt")));
  EXPECT_EQ(session->IdentificationCount, 2);
}

TEST_F(IdentificationFixture, SameMinuteAgainKeepsWhatWasWritten) {
  MeterIdentification(*session);
  session->reports.file(ReportKind::Daily).writeLine("day report");
  session->reports.file(ReportKind::Daily).commit();
  session->StopConnection();
  MeterIdentification(*session);
  session->reports.file(ReportKind::Daily).writeLine("second");
  session->reports.file(ReportKind::Daily).commit();
  session->StopConnection();
  EXPECT_EQ(test::readFile(arc("12345D2011_04_08_09_05_sut.txt")), "day report\r\nsecond\r\n");
}

TEST_F(IdentificationFixture, StopClosesTheFilesOnce) {
  MeterIdentification(*session);
  session->reports.file(ReportKind::Monthly).writeLine("x");
  session->reports.file(ReportKind::Monthly).commit();
  session->reports.file(ReportKind::Monthly).writeLine("a report that never completed");
  session->StopConnection();
  EXPECT_FALSE(session->reports.ReportFilesOpen);
  EXPECT_EQ(test::readFile(arc("12345D2011_04_08_09_05_mes.txt")), "x\r\n");
  EXPECT_NO_THROW(session->StopConnection());
  EXPECT_THROW(session->reports.file(ReportKind::Monthly).writeLine("y"), IoError);
}

TEST_F(IdentificationFixture, StartWithoutGsmIdentifies) {
  StartConnection(*session, {"0", "1", 8, false});
  EXPECT_TRUE(session->reports.ReportFilesOpen);
  const StatusTexts t = statusTexts(*session);
  EXPECT_EQ(t.panel0, "№ запроса=8");
  EXPECT_EQ(t.panel1, "Кол.таймаутов=0");
  EXPECT_EQ(t.panel2, "Кол.ошибок=0");
  EXPECT_EQ(t.panel3, "Параметры записаны");
}

}  // namespace
}  // namespace vardis
