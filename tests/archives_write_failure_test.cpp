// Readings with no report file open (no identification yet, a failed one, or
// after "Стоп"): refused before their first request, the files left alone.
#include <gtest/gtest.h>

#include "archives/archive_reading.h"
#include "params/parameter_report.h"
#include "support/archive_reports.h"

namespace vardis {
namespace {

using test::ArchiveTest;

class ClosedReportFiles : public ArchiveTest {
 protected:
  // Runs the command and checks that it is refused, asking for an identification.
  template <typename Command>
  void expectRefused(Command command) {
    try {
      command(*session);
      ADD_FAILURE() << "the command ran without report files";
    } catch (const UserError& e) {
      EXPECT_NE(std::string(e.what()).find("identify the meter first"), std::string::npos)
          << e.what();
    }
  }
};

TEST_F(ClosedReportFiles, EveryReportingCommandIsRefusedBeforeItsFirstRequest) {
  pick(2011, 4, 8);
  expectRefused(ReadHourlyArchive);
  expectRefused(ReadDailyArchive);
  expectRefused(ReadMonthlyArchive);
  expectRefused(WriteRowDump);
  expectRefused([](Session& s) { WriteParameterReport(s); });
  EXPECT_TRUE(requests().empty());
  EXPECT_TRUE(seen.progress.empty());
}

TEST_F(ClosedReportFiles, AfterStopTheClosedFileIsLeftAlone) {
  identify();
  session->StopConnection();
  const std::size_t before = requests().size();
  pick(2011, 4, 8);
  expectRefused(ReadHourlyArchive);
  EXPECT_EQ(requests().size(), before);
  const auto file = dir.path() / "arc" / "12345D2011_04_08_09_05_chas.txt";
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

}  // namespace
}  // namespace vardis
