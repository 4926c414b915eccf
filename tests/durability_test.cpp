// Report files against a tool that dies or cannot write: the real vardis-cli
// against the real vardis-meter-sim. A report the tool announced as written
// must be on disk whole, in code page 1251 with CR LF line ends, even when the
// process is killed the moment after; a report folder that is missing or
// refused, or a file that cannot grow, ends the run with a clear message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/report_lines.h"
#include "support/temp_dir.h"

namespace vardis::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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

// A program run with its standard output on a pseudo-terminal (so that it is
// line-buffered as on a console) or on a pipe, and its standard error on a pipe.
class Child {
 public:
  struct Setup {
    bool stdoutOnTerminal = false;
    // Largest file the program may write (RLIMIT_FSIZE); SIGXFSZ is ignored,
    // so writes beyond it fail with EFBIG as on a full disk.
    std::optional<rlim_t> fileSizeLimit;
    // Standard error joins standard output (the simulator's request log).
    bool stderrToStdout = false;
    // Standard output goes to this file instead ("" closes it).
    std::optional<std::string> stdoutFile;

    // Standard output on a terminal, files limited to `limit` bytes when given.
    static Setup terminal(std::optional<rlim_t> limit = std::nullopt) {
      Setup s;
      s.stdoutOnTerminal = true;
      s.fileSizeLimit = limit;
      return s;
    }
  };

  Child(std::vector<std::string> args, Setup setup) {
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe2 failed";
      return;
    }
    int outWrite = -1;
    if (setup.stdoutOnTerminal) {
      out_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (out_ < 0 || ::grantpt(out_) != 0 || ::unlockpt(out_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal for the output";
        return;
      }
      outWrite = ::open(::ptsname(out_), O_RDWR | O_NOCTTY | O_CLOEXEC);
      termios raw{};
      if (outWrite < 0 || ::tcgetattr(outWrite, &raw) != 0) {
        ADD_FAILURE() << "cannot open the terminal side";
        return;
      }
      ::cfmakeraw(&raw);  // no CR added before LF, no echo
      ::tcsetattr(outWrite, TCSANOW, &raw);
    } else {
      int out[2];
      if (::pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed";
        return;
      }
      out_ = out[0];
      outWrite = out[1];
    }
    err_ = err[0];
    const int nullIn = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls from here to exec.
      ::dup2(nullIn, 0);
      if (setup.stdoutFile && setup.stdoutFile->empty()) {
        ::close(1);
      } else if (setup.stdoutFile) {
        ::dup2(::open(setup.stdoutFile->c_str(), O_WRONLY), 1);
      } else {
        ::dup2(outWrite, 1);
      }
      ::dup2(setup.stderrToStdout ? outWrite : err[1], 2);
      if (setup.fileSizeLimit) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{*setup.fileSizeLimit, *setup.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    EXPECT_GT(pid_, 0) << "fork failed";
    ::close(nullIn);
    ::close(outWrite);
    ::close(err[1]);
  }

  ~Child() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reads standard output until a line (without its end) satisfies `wanted`;
  // nothing when the output ends or the patience runs out first.
  std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& wanted) {
    const auto deadline = Clock::now() + kPatience;
    for (;;) {
      for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        output_ += line + "\n";
        if (wanted(line)) return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return std::nullopt;
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buffer[512];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) {
        // EOF, or EIO once the terminal side is gone.
        atEnd_ = true;
        if (!pending_.empty()) output_ += std::exchange(pending_, std::string()) + "\n";
        return std::nullopt;
      }
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // Reads standard output to its end, then waits for the end; the wait status.
  int finish() {
    waitForLine([](const std::string&) { return false; });
    return wait();
  }

  // Whether standard output has ended.
  bool atEnd() const { return atEnd_; }
  // Lines of standard output read so far.
  const std::string& output() const { return output_; }

  // Sends the signal and waits for the end; the wait status.
  int killWith(int signal) {
    ::kill(pid_, signal);
    return wait();
  }
  // Waits for the end; the wait status.
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ended_ = true;
    return status;
  }
  // Everything written to standard error (read to its end: call after wait()).
  std::string errorText() {
    std::string text;
    char buffer[512];
    ssize_t n = 0;
    while ((n = ::read(err_, buffer, sizeof buffer)) > 0)
      text.append(buffer, static_cast<std::size_t>(n));
    return text;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool ended_ = false;
  bool atEnd_ = false;
  std::string pending_;
  std::string output_;
};

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
  std::unique_ptr<Child> startMeter(std::string& port) {
    auto meter = std::make_unique<Child>(
        std::vector<std::string>{VARDIS_METER_SIM_PATH, "--verbose", "--data",
                                 (dir_.path() / "meter.json").string()},
        [] {
          Child::Setup s;
          s.stderrToStdout = true;
          return s;
        }());
    const auto first = meter->waitForLine([](const std::string&) { return true; });
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
  std::unique_ptr<Child> startCli(const std::vector<std::string>& commands,
                                  Child::Setup setup = Child::Setup::terminal(),
                                  std::string port = {}) {
    if (port.empty()) port = port_;
    std::vector<std::string> args{VARDIS_CLI_PATH,    "--port",         port,
                                  "--speed",          "115200",         "--data-dir",
                                  dataDir().string(), "--fake-pc-time", kPcTime};
    args.insert(args.end(), commands.begin(), commands.end());
    return std::make_unique<Child>(std::move(args), setup);
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
  std::unique_ptr<Child> meter_;
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

  Child wrong({VARDIS_CLI_PATH, "--port", port_, "--speed", "12345", "--data-dir",
               dataDir().string(), "monthly", "2011-03-15"},
              Child::Setup{});
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
                      Child::Setup::terminal(kLimit));
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
                    Child::Setup::terminal(), secondPort);
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
}

// Output that cannot be written ends the run on status 1 with a message.
TEST_F(Durability, OutputsThatCannotBeWrittenEndOnStatusOne) {
  const auto expectStatusOne = [](Child& cli, const std::string& words) {
    const int status = cli.finish();
    const std::string err = cli.errorText();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << " " << err;
    EXPECT_NE(err.find(words), std::string::npos) << err;
  };
  auto trace = startCli({"--trace", "/dev/full", "clock"});
  expectStatusOne(*trace, "the trace could not be written to /dev/full");
  Child::Setup full;
  full.stdoutFile = "/dev/full";
  expectStatusOne(*startCli({"clock"}, full), "standard output could not be written");
  Child::Setup closed;
  closed.stdoutFile = "";
  expectStatusOne(*startCli({"clock"}, closed), "standard output is closed");
}

// With no date given, the PC's date is the archive date, checked like one typed.
TEST_F(Durability, APcDateOutsideTheArchiveIsRefusedBeforeAnythingIsSent) {
  for (const char* pcTime : {"2043-01-01 10:00", "1999-12-31 23:59"}) {
    const std::uint64_t before = requests();
    Child cli({VARDIS_CLI_PATH, "--port", port_, "--speed", "115200", "--data-dir",
               dataDir().string(), "--fake-pc-time", pcTime, "monthly"},
              Child::Setup{});
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
    EXPECT_EQ(readFile(report(c.suffix)), before) << "after signal " << signal;
  }

  auto full =
      startCli(c.commands, Child::Setup::terminal(static_cast<rlim_t>(before.size() + 100)));
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
