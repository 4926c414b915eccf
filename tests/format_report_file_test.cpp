#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "format/report_file.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vardis {
namespace {

namespace fs = std::filesystem;
using test::readFile;

// Runs `action` and returns the code of the IoError it throws, or -1 when it
// throws nothing.
template <typename Action>
int ioErrorCodeOf(Action&& action) {
  try {
    action();
  } catch (const IoError& e) {
    return e.code();
  }
  return -1;
}

class ReportFileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_.path() / "locked", fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::path at(const char* name) const { return dir_.path() / name; }

  test::TempDir dir_;
};

// The written bytes: code page 1251, CR LF exactly once (never doubled by a
// text mode), and nothing more.
TEST_F(ReportFileTest, LinesAreCodePage1251WithCrLf) {
  const fs::path path = at("a_chas.txt");
  ReportFile file;
  file.open(path);
  EXPECT_TRUE(file.isOpen());
  EXPECT_EQ(file.path(), path);
  file.writeLine("Гкал");
  file.writeLine("");
  file.writeLine("|Cут. : 05");
  file.commit();
  file.close();
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(readFile(path),
            "\xC3\xEA\xE0\xEB\r\n"
            "\r\n"
            "|C\xF3\xF2. : 05\r\n");
}

TEST_F(ReportFileTest, OpeningCreatesAMissingFileAndNeverTruncates) {
  const fs::path fresh = at("fresh.txt");
  ReportFile file;
  file.open(fresh);
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_EQ(fs::file_size(fresh), 0u);

  const fs::path old = at("old.txt");
  { std::ofstream(old, std::ios::binary) << "text of an earlier run\r\n"; }
  file.open(old);
  file.writeLine("new");
  file.commit();
  EXPECT_EQ(readFile(old), "text of an earlier run\r\nnew\r\n");
}

TEST_F(ReportFileTest, AReportReachesTheFileWholeAtCommitOrNotAtAll) {
  const fs::path path = at("commit.txt");
  ReportFile file;
  file.open(path);
  file.writeLine("one");
  file.writeLine("два");
  EXPECT_TRUE(file.hasPendingReport());
  EXPECT_EQ(readFile(path), "");
  file.commit();
  EXPECT_FALSE(file.hasPendingReport());
  EXPECT_EQ(readFile(path), "one\r\n\xE4\xE2\xE0\r\n");

  file.writeLine("stopped half way");
  file.discard();
  file.writeLine("three");
  file.commit();
  const std::string two = "one\r\n\xE4\xE2\xE0\r\nthree\r\n";
  EXPECT_EQ(readFile(path), two);

  // Closing, or dropping the object, with a report not committed adds nothing.
  file.writeLine("never committed");
  file.close();
  {
    ReportFile other;
    other.open(path);
    other.writeLine("never committed either");
  }
  EXPECT_EQ(readFile(path), two);
}

TEST_F(ReportFileTest, ManyLinesArriveCompleteAndInOrder) {
  const fs::path path = at("many.txt");
  std::string expected;
  ReportFile file;
  file.open(path);
  for (int i = 0; i < 4000; ++i) {
    const std::string number = std::to_string(i);
    file.writeLine("Строка " + number + std::string(static_cast<std::size_t>(i % 37), '-'));
    expected += "\xD1\xF2\xF0\xEE\xEA\xE0 " + number;
    expected += std::string(static_cast<std::size_t>(i % 37), '-') + "\r\n";
  }
  file.commit();
  EXPECT_EQ(readFile(path), expected);
}

// Writers that share a file (two programs on one data folder, two meters of
// one serial number) never mix or lose each other's reports.
TEST_F(ReportFileTest, WritersSharingAFileKeepEveryReportWhole) {
  const fs::path path = at("shared_chas.txt");
  constexpr int kWriters = 4;
  constexpr int kReports = 50;
  constexpr int kLines = 30;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      ReportFile file;
      file.open(path);
      for (int r = 0; r < kReports; ++r) {
        for (int l = 0; l < kLines; ++l) {
          file.writeLine("w" + std::to_string(w) + " r" + std::to_string(r) + " l" +
                         std::to_string(l) + std::string(90, '.'));
        }
        file.commit();
      }
    });
  }
  for (auto& t : writers) t.join();

  std::istringstream in(readFile(path));
  std::vector<int> nextReport(kWriters, 0);
  std::string line;
  int reports = 0;
  while (std::getline(in, line)) {
    const int w = line.at(1) - '0';
    ASSERT_LT(w, kWriters);
    const std::string prefix = "w" + std::to_string(w) + " r" + std::to_string(nextReport[w]);
    for (int l = 0; l < kLines; ++l) {
      if (l > 0) {
        ASSERT_TRUE(std::getline(in, line));
      }
      ASSERT_EQ(line, prefix + " l" + std::to_string(l) + std::string(90, '.') + "\r");
    }
    ++nextReport[w];
    ++reports;
  }
  EXPECT_EQ(reports, kWriters * kReports);
}

// A file that is not open.
TEST_F(ReportFileTest, WritingANeverOpenedOrClosedFileIsError103) {
  ReportFile file;
  EXPECT_FALSE(file.isOpen());
  try {
    file.writeLine("x");
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_EQ(e.code(), 103);
    EXPECT_STREQ(e.what(), "I/O error 103");
  }
  EXPECT_EQ(ioErrorCodeOf([&] { file.commit(); }), kIoFileNotOpen);
  EXPECT_NO_THROW(file.close());

  file.open(at("closed.txt"));
  file.close();
  EXPECT_NO_THROW(file.close());
  EXPECT_EQ(ioErrorCodeOf([&] { file.writeLine("after"); }), kIoFileNotOpen);
}

// Files that cannot be opened.
TEST_F(ReportFileTest, MissingFolderIsError3AndCreatesNothing) {
  const fs::path missing = at("arc");
  ReportFile file;
  try {
    file.open(missing / "x_par.txt");
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_EQ(e.code(), kIoPathNotFound);
    EXPECT_STREQ(e.what(), "I/O error 3");
  }
  EXPECT_FALSE(file.isOpen());
  EXPECT_FALSE(fs::exists(missing));

  const fs::path notDir = at("plain");
  { std::ofstream(notDir) << "x"; }
  EXPECT_EQ(ioErrorCodeOf([&] { file.open(notDir / "x.txt"); }), kIoPathNotFound);
  EXPECT_FALSE(file.isOpen());
}

#ifndef _WIN32
TEST_F(ReportFileTest, ReadOnlyFolderIsError5) {
  if (::geteuid() == 0) GTEST_SKIP() << "root is not stopped by permissions";
  const fs::path locked = at("locked");
  ASSERT_TRUE(fs::create_directory(locked));
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  ReportFile file;
  EXPECT_EQ(ioErrorCodeOf([&] { file.open(locked / "x.txt"); }), kIoAccessDenied);
  EXPECT_FALSE(file.isOpen());
  EXPECT_FALSE(fs::exists(locked / "x.txt"));
}

// Failing writes.
TEST_F(ReportFileTest, FullDeviceIsError101WithoutCrash) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ReportFile file;
  file.open("/dev/full");
  file.writeLine("short line");
  EXPECT_EQ(ioErrorCodeOf([&] { file.commit(); }), kIoDiskWrite);
  EXPECT_TRUE(file.isOpen());
  EXPECT_FALSE(file.hasPendingReport());  // the failed report went with the failure
  EXPECT_NO_THROW(file.close());
}

// Lowers the largest file size the process may write, so that writes beyond it
// fail with EFBIG; restores the limit on leaving.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() { restore(); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return ok_; }
  void restore() {
    if (restored_) return;
    restored_ = true;
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = SIG_DFL;
  bool ok_ = false;
  bool restored_ = false;
};

TEST_F(ReportFileTest, AReportCutByAFullDiskLeavesTheFileAsItWas) {
  const fs::path path = at("limited.txt");
  ReportFile file;
  file.open(path);
  file.writeLine("committed head");
  file.commit();
  const std::string committed = "committed head\r\n";

  FileSizeLimit limit(committed.size() + 1000);
  ASSERT_TRUE(limit.ok());
  for (int i = 0; i < 100; ++i) file.writeLine("line " + std::to_string(i) + std::string(60, '.'));
  EXPECT_EQ(ioErrorCodeOf([&] { file.commit(); }), kIoDiskWrite);
  EXPECT_TRUE(file.isOpen());
  EXPECT_EQ(readFile(path), committed);

  limit.restore();
  file.writeLine("next report");
  file.commit();
  EXPECT_EQ(readFile(path), committed + "next report\r\n");
}
#endif

// The error type.
TEST(IoErrorTest, MessageIsTheRuntimeTextAndDetailIsExtra) {
  const IoError plain(101);
  EXPECT_STREQ(plain.what(), "I/O error 101");
  EXPECT_EQ(plain.code(), 101);
  EXPECT_TRUE(plain.detail().empty());

  const IoError detailed(5, "c:/vardis/arc/x_par.txt");
  EXPECT_STREQ(detailed.what(), "I/O error 5");
  EXPECT_EQ(detailed.detail(), "c:/vardis/arc/x_par.txt");
}

TEST(IoErrorTest, ErrnoMapping) {
  EXPECT_EQ(ioErrorFromErrno(ENOENT), 3);
  EXPECT_EQ(ioErrorFromErrno(ENOTDIR), 3);
  EXPECT_EQ(ioErrorFromErrno(EACCES), 5);
  EXPECT_EQ(ioErrorFromErrno(EPERM), 5);
  EXPECT_EQ(ioErrorFromErrno(EROFS), 5);
  EXPECT_EQ(ioErrorFromErrno(ENOSPC), 101);
#ifdef EDQUOT
  EXPECT_EQ(ioErrorFromErrno(EDQUOT), 101);
#endif
  EXPECT_EQ(ioErrorFromErrno(EFBIG), 101);
  EXPECT_EQ(ioErrorFromErrno(EIO), 101);
  EXPECT_EQ(ioErrorFromErrno(EBADF), 101);
}

}  // namespace
}  // namespace vardis
