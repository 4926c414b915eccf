// Report files against a tool that dies or cannot write: the real vardis-cli
// against the real vardis-meter-sim. A report the tool announced as written
// must be on disk whole, in code page 1251 with CR LF line ends, even when the
// process is killed the moment after; a report folder that is missing or
// refused, or a file that cannot grow, ends the run with a clear message.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/child_process.h"
#include "support/report_lines.h"
#include "support/store_sql.h"
#include "support/temp_dir.h"

namespace vardis::test {
namespace {

namespace fs = std::filesystem;

// Reading a whole hourly archive takes about 20 s at 115200 baud; far more
// than that means the run is stuck.
constexpr std::chrono::seconds kPatience{120};

// The meter's clock and the PC's, pinned: the archives asked for lie before it.
constexpr const char* kPcTime = "2011-04-08 09:05";
constexpr const char* kReportBase = "12345D2011_04_08_09_05";
constexpr const char* kMeterData = R"({
  "comment": "serial number 12345, clock stopped at 2011-04-08 09:05",
  "parameters": {"0": 12345},
  "clock": {"packed": 1104080905, "seconds": 0, "running": false},
  "archiveHorizon": 1104080900
})";

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Every test: a meter data file, a simulated meter reading it, a data folder.
class Durability : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir_.path() / "meter.json") << kMeterData;
    fs::create_directories(reportFolder());
    meter_ = startMeter(port_);
    ASSERT_TRUE(meter_);
    // The meter logs each request ("#17 ..."); a thread keeps its count.
    counter_ = std::thread([this] {
      while (!meter_->atEnd()) {
        meter_->waitForLine([this](const std::string& l) {
          if (l.size() > 1 && l[0] == '#') {
            const std::lock_guard<std::mutex> lock(mutex_);
            requests_ = std::max<std::uint64_t>(requests_, std::stoull(l.substr(1)));
            counted_.notify_all();
          }
          return false;
        });
      }
    });
  }
  void TearDown() override {
    if (meter_) {
      EXPECT_EQ(meter_->killWith(SIGTERM), 0) << meter_->errorText();
    }
    if (counter_.joinable()) counter_.join();
  }

  // A simulated meter of serial number 12345 on a pseudo-terminal of its own.
  std::unique_ptr<ChildProcess> startMeter(std::string& port) {
    auto meter = std::make_unique<ChildProcess>(
        std::vector<std::string>{VARDIS_METER_SIM_PATH, "--verbose", "--data",
                                 (dir_.path() / "meter.json").string()},
        [] {
          ChildProcess::Setup s;
          s.stderrToStdout = true;
          s.patience = kPatience;
          return s;
        }());
    const auto first = meter->nextLine();
    if (!first || !startsWith(*first, "/dev/")) {
      ADD_FAILURE() << "the simulated meter named no port";
      return nullptr;
    }
    port = *first;
    return meter;
  }

  // The number of requests the meter has taken so far.
  std::uint64_t requests() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  // Waits until the meter has taken `n` requests; false when it never did.
  bool waitForRequests(std::uint64_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return counted_.wait_for(lock, kPatience, [&] { return requests_ >= n; });
  }

  fs::path dataDir() const { return dir_.path() / "data"; }
  fs::path reportFolder() const { return dataDir() / "arc"; }
  fs::path report(const std::string& suffix) const {
    return reportFolder() / (std::string(kReportBase) + suffix);
  }

  // vardis-cli on the meter with the pinned PC time and the given commands.
  std::unique_ptr<ChildProcess> startCli(
      const std::vector<std::string>& commands,
      ChildProcess::Setup setup = ChildProcess::Setup::terminal(), std::string port = {}) {
    if (port.empty()) port = port_;
    std::vector<std::string> args{VARDIS_CLI_PATH,    "--port",         port,
                                  "--speed",          "115200",         "--data-dir",
                                  dataDir().string(), "--fake-pc-time", kPcTime};
    args.insert(args.end(), commands.begin(), commands.end());
    setup.patience = kPatience;
    return std::make_unique<ChildProcess>(std::move(args), setup);
  }

  // Runs the commands, waits for the line that announces the report, and
  // kills the tool with SIGKILL at once while its next command is running.
  void killRightAfter(const std::vector<std::string>& commands, const std::string& announcement,
                      const fs::path& reportFile) {
    auto cli = startCli(commands);
    const auto line =
        cli->waitForLine([&](const std::string& l) { return startsWith(l, announcement); });
    ASSERT_TRUE(line) << "no \"" << announcement << "\" line; the tool printed:\n"
                      << cli->output() << cli->errorText();
    const int status = cli->killWith(SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the tool had ended before the kill: " << cli->output() << cli->errorText();
    EXPECT_EQ(*line, announcement + reportFile.string());
  }

  TempDir dir_;
  std::unique_ptr<ChildProcess> meter_;
  std::string port_;
  std::thread counter_;
  std::mutex mutex_;
  std::condition_variable counted_;
  std::uint64_t requests_ = 0;
};

// A byte of a report: printable ASCII or a letter of code page 1251 the
// reports use (А..я, Ё, ё, №).
bool reportByte(unsigned char b) {
  return (b >= 0x20 && b < 0x7F) || b >= 0xC0 || b == 0xA8 || b == 0xB8 || b == 0xB9;
}

// The file's lines, each checked for its CR LF end and its bytes.
std::vector<std::string> reportLines(const fs::path& file) {
  const std::string bytes = readFile(file);
  EXPECT_FALSE(bytes.empty()) << file;
  EXPECT_TRUE(bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0)
      << file << " does not end with CR LF";
  const std::vector<std::string> lines = fileLines(bytes);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    for (const char c : lines[i]) {
      if (!reportByte(static_cast<unsigned char>(c))) {
        ADD_FAILURE() << file << " line " << i + 1 << " holds byte "
                      << static_cast<int>(static_cast<unsigned char>(c)) << ": "
                      << fromCp1251(lines[i]);
        break;
      }
    }
  }
  return lines;
}

bool marked(const std::string& row) {
  return !row.empty() && row.back() == '*';
}

// A whole monthly report: 9 lines, 15 with its section of abnormal situations.
void expectWholeMonthlyReport(const std::vector<std::string>& lines, const std::string& month) {
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], toCp1251("Протокол среднемесячных значений за месяц:" + month));
  EXPECT_TRUE(startsWith(lines[1], toCp1251("Теплосчетчик \"ВАРДИС\":    серийный номер :")));
  EXPECT_EQ(lines.size(), marked(lines[7]) ? 15u : 9u);
}

// A whole hourly report: 49 lines, 78 with its section of abnormal situations.
std::size_t expectWholeHourlyReport(const std::vector<std::string>& lines, const std::string& day) {
  if (lines.size() < 31) {
    ADD_FAILURE() << "only " << lines.size() << " lines";
    return lines.size();
  }
  EXPECT_EQ(lines[0], toCp1251("Протокол среднечасовых значений за сутки:" + day));
  EXPECT_TRUE(startsWith(lines[1], toCp1251("Теплосчетчик \"ВАРДИС\":    серийный №: 12345")));
  bool any = false;
  for (int h = 0; h <= 23; ++h) {
    const std::string& row = lines[7 + static_cast<std::size_t>(h)];
    EXPECT_TRUE(startsWith(row, "| " + two(h) + ": | ")) << fromCp1251(row);
    any = any || marked(row);
  }
  const std::size_t whole = any ? 78 : 49;
  EXPECT_GE(lines.size(), whole);
  return whole;
}

TEST_F(Durability, MonthlyReportIsWholeWhenTheToolIsKilledRightAfter) {
  killRightAfter({"monthly", "2011-03-15", "hourly", "2011-04-07"},
                 "Архивы записаны: ", report("_mes.txt"));
  expectWholeMonthlyReport(reportLines(report("_mes.txt")), "2011.03");
  // The identification created the whole set; the killed hourly reading had
  // written nothing yet.
  for (const char* suffix : {"_par.txt", "_chas.txt", "_sut.txt"}) {
    EXPECT_TRUE(fs::exists(report(suffix))) << suffix;
  }
  EXPECT_EQ(fs::file_size(report("_chas.txt")), 0u);
}

TEST_F(Durability, AUsageErrorIsOneLineAndTouchesNoReport) {
  auto cli = startCli({"monthly", "2011-03-15"});
  ASSERT_TRUE(cli->waitForLine([](const std::string& l) { return startsWith(l, "Архивы"); }));
  EXPECT_EQ(cli->wait(), 0);
  const auto before = readFile(report("_mes.txt"));

  ChildProcess wrong({VARDIS_CLI_PATH, "--port", port_, "--speed", "12345", "--data-dir",
                      dataDir().string(), "monthly", "2011-03-15"});
  const int status = wrong.wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
  const std::string err = wrong.errorText();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_TRUE(startsWith(err, "vardis-cli: ")) << err;
  EXPECT_NE(err.find("12345"), std::string::npos) << err;
  EXPECT_EQ(readFile(report("_mes.txt")), before);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(reportFolder())) ++files;
  EXPECT_EQ(files, 4u);
}

TEST_F(Durability, DailyReportIsWholeWhenTheToolIsKilledRightAfter) {
  killRightAfter({"daily", "2011-02-15", "hourly", "2011-04-07"},
                 "Архивы записаны: ", report("_sut.txt"));
  const auto lines = reportLines(report("_sut.txt"));
  // February 2011, not the PC's month: 28 day lines after the 7 of the head;
  // the section of abnormal situations adds 5 lines and one per day.
  ASSERT_GE(lines.size(), 35u + 28u);
  EXPECT_EQ(lines[0], toCp1251("Протокол среднесуточных значений за месяц:2011.02"));
  bool any = false;
  for (std::size_t d = 0; d < 28; ++d) any = any || marked(lines[7 + d]);
  EXPECT_EQ(lines.size(), any ? 40u + 2u * 28u : 35u + 28u);
  EXPECT_EQ(fs::file_size(report("_chas.txt")), 0u);
}

TEST_F(Durability, ParameterReportIsWholeWhenTheToolIsKilledRightAfter) {
  killRightAfter({"params", "hourly", "2011-04-07"}, "Параметры записаны: ", report("_par.txt"));
  const auto lines = reportLines(report("_par.txt"));
  ASSERT_EQ(lines.size(), 62u);
  EXPECT_EQ(lines[0],
            toCp1251("                         КАНАЛЫ ОБЬЕМНОГО РАСХОДА                   "));
  EXPECT_NE(std::find(lines.begin(), lines.end(), toCp1251("         ОБЩИЕ ПАРАМЕТРЫ      ")),
            lines.end());
}

TEST_F(Durability, HourlyReportAndRowDumpAreWholeWhenTheToolIsKilledRightAfter) {
  killRightAfter({"hourly", "2011-04-07", "dump", "hourly", "2011-04-07"},
                 "row dump written: ", report("_chas.txt"));
  const auto lines = reportLines(report("_chas.txt"));
  const std::size_t hourly = expectWholeHourlyReport(lines, "2011.04.07");
  // The 24 stored rows follow the report.
  ASSERT_EQ(lines.size(), hourly + 24);
  for (int h = 0; h <= 23; ++h) {
    const std::string& row = lines[hourly + static_cast<std::size_t>(h)];
    EXPECT_TRUE(startsWith(row, two(h))) << fromCp1251(row);
    // The row holds the hour's values as the report above shows them.
    EXPECT_NE(row.find_first_not_of(" 0.", 2), std::string::npos) << fromCp1251(row);
  }
}

TEST_F(Durability, MissingReportFolderIsNamedAndNothingIsCreated) {
  fs::remove(reportFolder());
  auto cli = startCli({"monthly", "2011-03-15"});
  const int status = cli->finish();
  const std::string err = cli->errorText();
  ASSERT_TRUE(WIFEXITED(status)) << err;
  EXPECT_EQ(WEXITSTATUS(status), 1) << err;
  EXPECT_NE(err.find("I/O error 3"), std::string::npos) << err;
  EXPECT_NE(err.find(reportFolder().string()), std::string::npos) << err;
  EXPECT_NE(err.find("does not exist"), std::string::npos) << err;
  EXPECT_TRUE(fs::is_empty(dataDir())) << "the tool created something in " << dataDir();
  EXPECT_EQ(cli->output().find("Архивы записаны"), std::string::npos) << cli->output();
}

TEST_F(Durability, ReadOnlyReportFolderIsNamedAndNothingIsCreated) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "running as root: a folder's permissions do not stop root from writing";
  }
  fs::permissions(reportFolder(), fs::perms::owner_read | fs::perms::owner_exec);
  auto cli = startCli({"monthly", "2011-03-15"});
  const int status = cli->finish();
  const std::string err = cli->errorText();
  fs::permissions(reportFolder(), fs::perms::owner_all);
  ASSERT_TRUE(WIFEXITED(status)) << err;
  EXPECT_EQ(WEXITSTATUS(status), 1) << err;
  EXPECT_NE(err.find("I/O error 5"), std::string::npos) << err;
  EXPECT_NE(err.find(reportFolder().string()), std::string::npos) << err;
  EXPECT_TRUE(fs::is_empty(reportFolder()));
}

TEST_F(Durability, FullDiskEndsTheRunWithAClearMessageAndKeepsEarlierReports) {
  // The monthly report takes about 1.3 KB, the 24 rows of the dump about
  // 2.4 KB: a file may grow to 1800 bytes, so the first fits and the second
  // runs out of room.
  constexpr rlim_t kLimit = 1800;
  auto cli = startCli({"monthly", "2011-03-15", "dump", "monthly", "2011-02-15"},
                      ChildProcess::Setup::terminal(kLimit));
  const int status = cli->finish();
  const std::string err = cli->errorText();
  ASSERT_TRUE(WIFEXITED(status)) << "the tool did not end by itself: " << err;
  EXPECT_EQ(WEXITSTATUS(status), 1) << err;
  EXPECT_NE(err.find("I/O error 101"), std::string::npos) << err;
  EXPECT_NE(err.find(report("_chas.txt").string()), std::string::npos) << err;

  // The monthly report written before is whole; the run stopped at the dump.
  EXPECT_NE(cli->output().find("Архивы записаны: " + report("_mes.txt").string()),
            std::string::npos)
      << cli->output();
  EXPECT_EQ(cli->output().find("row dump written"), std::string::npos) << cli->output();
  const auto lines = reportLines(report("_mes.txt"));
  expectWholeMonthlyReport(lines, "2011.03");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), lines[0]), 1);
  EXPECT_EQ(fs::file_size(report("_chas.txt")), 0u);  // the cut dump left nothing
}

// Two programs read two meters of one serial number into one data folder in
// the same minute: they name the same files, and every report of both is
// there, whole.
TEST_F(Durability, TwoProgramsOnOneFolderKeepEveryReport) {
  std::string secondPort;
  auto second = startMeter(secondPort);
  ASSERT_TRUE(second);
  auto a = startCli({"monthly", "2011-03-15", "params", "monthly", "2011-02-15"});
  auto b = startCli({"params", "monthly", "2011-03-15", "monthly", "2011-02-15"},
                    ChildProcess::Setup::terminal(), secondPort);
  EXPECT_EQ(a->finish(), 0) << a->errorText();
  EXPECT_EQ(b->finish(), 0) << b->errorText();
  second->killWith(SIGTERM);

  // Four monthly reports, each title followed by the rest of its head.
  const auto monthly = reportLines(report("_mes.txt"));
  const std::string title = toCp1251("Протокол среднемесячных значений за месяц:");
  int titles = 0;
  for (std::size_t i = 0; i + 1 < monthly.size(); ++i) {
    if (!startsWith(monthly[i], title)) continue;
    ++titles;
    EXPECT_TRUE(startsWith(monthly[i + 1], toCp1251("Теплосчетчик \"ВАРДИС\":")));
  }
  EXPECT_EQ(titles, 4);
  EXPECT_EQ(reportLines(report("_par.txt")).size(), 2u * 62u);
  // Both stored every reading into the one store.
  EXPECT_EQ(a->errorText().find("store"), std::string::npos) << a->errorText();
  EXPECT_EQ(b->errorText().find("store"), std::string::npos) << b->errorText();
  EXPECT_EQ(sqlValue(dataDir(), "SELECT count(*) FROM visits WHERE outcome = 'ok'"), "2");
  // Both meters carry serial 12345 and the same parameters: one set.
  EXPECT_EQ(sqlValue(dataDir(), "SELECT count(*) FROM parameter_sets"), "1");
  EXPECT_EQ(sqlValue(dataDir(), "SELECT count(DISTINCT start) FROM records WHERE kind='monthly'"),
            "2");
}

// Killed the moment the meter answered the last request of a reading, while
// its report and its records are being written: the store holds the whole
// reading or none of it, and is sound.
TEST_F(Durability, TheStoreHoldsAWholeReadingOrNoneWhenTheToolIsKilledWhileStoring) {
  auto cli = startCli({"hourly", "2011-04-07", "hourly", "2011-04-06"});
  ASSERT_TRUE(waitForRequests(8 + 533));
  const int status = cli->killWith(SIGKILL);
  EXPECT_TRUE(WIFSIGNALED(status)) << cli->output() << cli->errorText();
  EXPECT_EQ(sqlValue(dataDir(), "PRAGMA integrity_check"), "ok");
  const std::string hours = sqlValue(dataDir(), "SELECT count(*) FROM records WHERE kind='hourly'");
  EXPECT_TRUE(hours == "0" || hours == "24") << hours;
  EXPECT_EQ(sqlValue(dataDir(), "SELECT count(*) FROM records r WHERE (SELECT count(*) FROM "
                                "record_values v WHERE v.record_id = r.id) = 0"),
            "0");
  EXPECT_EQ(sqlValue(dataDir(), "SELECT count(*) FROM visits WHERE ended IS NULL"), "1");
}

// Output that cannot be written ends the run on status 1 with a message.
TEST_F(Durability, OutputsThatCannotBeWrittenEndOnStatusOne) {
  const auto expectStatusOne = [](ChildProcess& cli, const std::string& words) {
    const int status = cli.finish();
    const std::string err = cli.errorText();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << " " << err;
    EXPECT_NE(err.find(words), std::string::npos) << err;
  };
  auto trace = startCli({"--trace", "/dev/full", "clock"});
  expectStatusOne(*trace, "the trace could not be written to /dev/full");
  ChildProcess::Setup full;
  full.stdoutFile = "/dev/full";
  expectStatusOne(*startCli({"clock"}, full), "standard output could not be written");
  ChildProcess::Setup closed;
  closed.stdoutFile = "";
  expectStatusOne(*startCli({"clock"}, closed), "standard output is closed");
}

// With no date given, the PC's date is the archive date, checked like one typed.
TEST_F(Durability, APcDateOutsideTheArchiveIsRefusedBeforeAnythingIsSent) {
  for (const char* pcTime : {"2043-01-01 10:00", "1999-12-31 23:59"}) {
    const std::uint64_t before = requests();
    ChildProcess cli({VARDIS_CLI_PATH, "--port", port_, "--speed", "115200", "--data-dir",
                      dataDir().string(), "--fake-pc-time", pcTime, "monthly"});
    const int status = cli.wait();
    const std::string err = cli.errorText();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status << " " << err;
    EXPECT_NE(err.find(std::string(pcTime).substr(0, 10)), std::string::npos) << err;
    EXPECT_NE(err.find("--date"), std::string::npos) << err;
    EXPECT_TRUE(fs::is_empty(reportFolder()));
    EXPECT_EQ(requests(), before);
  }
}

// A report that does not complete leaves its file exactly as it was: stopped
// by SIGINT or SIGTERM in the middle of the reading, or cut by a full disk.
struct ReportKindCase {
  const char* name;
  std::vector<std::string> commands;
  const char* suffix;
};

void PrintTo(const ReportKindCase& c, std::ostream* os) {
  *os << c.name;
}

class StoppedReport : public Durability, public ::testing::WithParamInterface<ReportKindCase> {};

TEST_P(StoppedReport, LeavesTheFileAsItWasBeforeTheReportBegan) {
  const ReportKindCase& c = GetParam();
  auto first = startCli(c.commands);
  ASSERT_EQ(first->finish(), 0) << first->errorText();
  const std::string before = readFile(report(c.suffix));
  ASSERT_FALSE(before.empty());

  for (const int signal : {SIGINT, SIGTERM}) {
    // The identification takes 8 requests; 3 more are early in any reading.
    const std::uint64_t middle = requests() + 8 + 3;
    auto cli = startCli(c.commands);
    ASSERT_TRUE(waitForRequests(middle)) << cli->errorText();
    const int status = cli->killWith(signal);
    const std::string err = cli->errorText();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << " " << err;
    EXPECT_NE(err.find("cancelled"), std::string::npos) << err;
    EXPECT_NE(err.find("остановлено, отчёт не записан"), std::string::npos) << err;
    EXPECT_EQ(readFile(report(c.suffix)), before) << "after signal " << signal;
  }

  auto full =
      startCli(c.commands, ChildProcess::Setup::terminal(static_cast<rlim_t>(before.size() + 100)));
  const int status = full->finish();
  const std::string err = full->errorText();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << " " << err;
  EXPECT_NE(err.find("I/O error 101"), std::string::npos) << err;
  EXPECT_EQ(readFile(report(c.suffix)), before) << "after a full disk";
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, StoppedReport,
    ::testing::Values(ReportKindCase{"monthly", {"monthly", "2011-03-15"}, "_mes.txt"},
                      ReportKindCase{"daily", {"daily", "2011-02-15"}, "_sut.txt"},
                      ReportKindCase{"hourly", {"hourly", "2011-04-07"}, "_chas.txt"},
                      ReportKindCase{"params", {"params"}, "_par.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vardis::test
