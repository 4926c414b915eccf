// Readings whose report file is not open: every request before the first
// line is made, the rows are filled, and the first line ends the command.
#include <gtest/gtest.h>

#include "archives/archive_reading.h"
#include "support/archive_reports.h"

namespace vardis {
namespace {

using test::ArchiveTest;
using test::dateCode;
using test::Interval;
using test::Request;

class ClosedReportFiles : public ArchiveTest {
 protected:
  // Runs the command and checks that it ends with "I/O error 103".
  template <typename Command>
  void expectFileNotOpen(Command command) {
    try {
      command(*session);
      ADD_FAILURE() << "the command ended without an error";
    } catch (const IoError& e) {
      EXPECT_EQ(e.code(), 103);
      EXPECT_STREQ(e.what(), "I/O error 103");
    }
  }
};

TEST_F(ClosedReportFiles, HourlyReadsTheTwentyFourHoursThenFails) {
  const auto hours = loadHours(2011, 4, 8);
  pick(2011, 4, 8);

  expectFileNotOpen(ReadHourlyArchive);

  std::vector<Request> want;
  for (int h = 0; h < 24; ++h) test::addIntervalRequests(want, 0, dateCode(2011, 4, 8, h), true);
  EXPECT_EQ(requests(), want);  // the hour loop comes before the first line
  EXPECT_EQ(session->operationStatus(), "Считывание часовых архивов");
  EXPECT_EQ(seen.statuses, (std::vector<std::string>{"Считывание часовых архивов"}));
  EXPECT_EQ(seen.progress, test::progressSteps(4, 92));
  for (std::size_t h = 0; h < 24; ++h) {
    EXPECT_EQ(session->archive.Flow[3][h], static_cast<double>(hours[h].flow[3])) << h;
    EXPECT_EQ(session->archive.Pressure[0][h], static_cast<double>(hours[h].pressure[0])) << h;
    EXPECT_EQ(session->archive.MainsTime[h], static_cast<double>(hours[h].mains)) << h;
  }
}

TEST_F(ClosedReportFiles, HourlyAfterStopFailsAndLeavesTheClosedFileAlone) {
  identify();
  session->StopConnection();
  pick(2011, 4, 8);

  expectFileNotOpen(ReadHourlyArchive);

  EXPECT_EQ(requests().size(), 504u);
  EXPECT_EQ(session->operationStatus(), "Считывание часовых архивов");
  const auto file = dir.path() / "arc" / "12345D2011_04_08_09_05_chas.txt";
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

TEST_F(ClosedReportFiles, DailyReadsTheWholeMonthThenFails) {
  const auto days = loadDays(2011, 2, 28);
  pick(2011, 2, 5);

  expectFileNotOpen(ReadDailyArchive);

  std::vector<Request> want;
  for (int d = 1; d <= 28; ++d) {
    test::addIntervalRequests(want, 1, dateCode(2011, 2, d, 23), true);
  }
  EXPECT_EQ(requests(), want);
  EXPECT_EQ(session->operationStatus(), "Считывание суточных архивов");
  EXPECT_EQ(seen.statuses, (std::vector<std::string>{"Считывание суточных архивов"}));
  ASSERT_FALSE(seen.progress.empty());
  EXPECT_EQ(seen.progress.back(), 100);
  for (std::size_t d = 1; d <= 28; ++d) {
    EXPECT_EQ(session->archive.Heat[1][d], static_cast<double>(days[d].heat[1])) << d;
    EXPECT_EQ(session->archive.RunTime[0][d], static_cast<double>(days[d].runTime[0])) << d;
  }
}

TEST_F(ClosedReportFiles, MonthlyReadsTheRecordThenFails) {
  // No identification: the report day parameter is still 0.
  Interval record = test::dayRecord(9);
  record.abnormal = 1u << 4;
  test::putInterval(meter, 2, dateCode(2011, 2, 0, 23), record);
  pick(2011, 2, 5);

  expectFileNotOpen(ReadMonthlyArchive);

  std::vector<Request> want;
  test::addIntervalRequests(want, 2, 1102002300u, true);
  EXPECT_EQ(requests(), want);
  EXPECT_EQ(session->operationStatus(), "Считывание месячных архивов");
  EXPECT_EQ(seen.progress, test::progressSteps(5, 95));
  EXPECT_EQ(session->archive.Temperature[2][23], static_cast<double>(record.temperature[2]));
  EXPECT_EQ(session->archive.AbnormalWord[23], 1u << 4);
}

}  // namespace
}  // namespace vardis
