// The real vardis-cli and the store: `meters` and `history` read a store the
// user may only read while its writer has it open, and a file-size limit is a
// write error of the store named once, not a signal that ends the reading.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store/reading_store.h"
#include "support/pty_meter.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPcTime = "2011-04-10 12:00";

struct Ran {
  int status = -1;     // the wait status
  std::string output;  // standard output and standard error together
};

struct RunAs {
  bool nobody = false;                  // root drops to nobody first
  std::optional<rlim_t> fileSizeLimit;  // SIGXFSZ left as it is: the program must ignore it
};

// Runs vardis-cli with `args` to its end, as `how` says.
Ran runCli(const std::vector<std::string>& args, const RunAs& how) {
  std::vector<std::string> all{VARDIS_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pipe[2];
  if (::pipe(pipe) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipe[1], 1);
    ::dup2(pipe[1], 2);
    ::close(pipe[0]);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, 0);
    ::signal(SIGXFSZ, SIG_DFL);
    if (how.fileSizeLimit) {
      const rlimit limit{*how.fileSizeLimit, *how.fileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (how.nobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipe[1]);
  Ran r;
  char buf[4096];
  for (ssize_t n; (n = ::read(pipe[0], buf, sizeof buf)) > 0;) r.output.append(buf, n);
  ::close(pipe[0]);
  ::waitpid(child, &r.status, 0);
  return r;
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The nightly round's store: its writer has it open (what it committed is
// still in the log), and the folder and the file are not the reader's.
TEST(StoreAccessCli, MetersAndHistoryReadAStoreTheUserMayOnlyRead) {
  test::TempDir dir;
  const fs::path file = store::storeFile(dir.path());
  store::ReadingStore writer(file);
  const auto visit = writer.beginVisit({"2011-04-10T12:00:00", "/dev/ttyS0", 9600, false});
  writer.meter({12345, 1, "GJ", false, "8.3"}, visit, "2011-04-10T12:00:01");
  ASSERT_TRUE(fs::exists(file.string() + "-shm"));
  const std::string bytes = test::readFile(file);
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  for (const auto& command : std::vector<std::vector<std::string>>{
           {"meters"}, {"--format", "csv", "history", "visits"}}) {
    std::vector<std::string> args{"--data-dir", dir.path().string()};
    args.insert(args.end(), command.begin(), command.end());
    const Ran r = runCli(args, {.nobody = true, .fileSizeLimit = std::nullopt});
    ASSERT_TRUE(WIFEXITED(r.status)) << r.output;
    if (WEXITSTATUS(r.status) == 127) GTEST_SKIP() << "nobody may not run " << VARDIS_CLI_PATH;
    EXPECT_EQ(WEXITSTATUS(r.status), 0) << r.output;
    EXPECT_NE(r.output.find("12345"), std::string::npos) << r.output;
  }
  EXPECT_EQ(test::readFile(file), bytes);
}

void pinMeter(sim::MeterModel& m) {
  m.setClock(1104101200, 7);
  m.setClockRunning(false);
}

// With files limited to 4 KiB the monthly report (about 1.3 KB) fits and the
// store's first write does not: the store is given up with one message, and
// the reading and its report are what they are without the store.
TEST(StoreAccessCli, AFileSizeLimitIsAStoreWriteErrorAndTheReadingGoesOn) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir limited, free;
  auto read = [&](const test::TempDir& dir, std::vector<std::string> extra, const RunAs& how) {
    fs::create_directories(dir.path() / "arc");
    std::vector<std::string> args{"--port",         meter.simulator->portPath(),
                                  "--data-dir",     dir.path().string(),
                                  "--fake-pc-time", kPcTime};
    args.insert(args.end(), extra.begin(), extra.end());
    return runCli(args, how);
  };
  const Ran r = read(limited, {"monthly", "2011-03-01"}, {.nobody = false, .fileSizeLimit = 4096});
  ASSERT_TRUE(WIFEXITED(r.status)) << "ended by signal " << WTERMSIG(r.status) << ": " << r.output;
  EXPECT_EQ(WEXITSTATUS(r.status), 0) << r.output;
  EXPECT_EQ(count(r.output, "vardis-cli: the store"), 1u) << r.output;
  EXPECT_NE(r.output.find("could not be written"), std::string::npos) << r.output;

  const Ran without = read(free, {"--no-store", "monthly", "2011-03-01"}, {});
  ASSERT_EQ(without.status, 0) << without.output;
  int reports = 0;
  for (const auto& e : fs::directory_iterator(free.path() / "arc")) {
    reports += fs::file_size(e.path()) > 0 ? 1 : 0;
    EXPECT_EQ(test::readFile(limited.path() / "arc" / e.path().filename()),
              test::readFile(e.path()))
        << e.path().filename();
  }
  EXPECT_EQ(reports, 1);
}

}  // namespace
}  // namespace vardis
