#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "format/report_file.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
  void SetUp() override {
    static int counter = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("vardis_report_file_" + std::to_string(::getpid()) + "_" +
                                        std::to_string(++counter) + "_" + info->name());
    fs::remove_all(dir_);
    ASSERT_TRUE(fs::create_directory(dir_));
  }

  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  fs::path dir_;
};

// The written bytes.
TEST_F(ReportFileTest, LinesAreCodePage1251WithCrLf) {
  const fs::path path = dir_ / "a_chas.txt";
  {
    ReportFile file;
    file.create(path);
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ(file.path(), path);
    file.writeLine("Гкал");
    file.writeLine("");
    file.writeLine("|Cут. : 05");
    file.close();
    EXPECT_FALSE(file.isOpen());
  }
  EXPECT_EQ(readAll(path),
            "\xC3\xEA\xE0\xEB\r\n"
            "\r\n"
            "|C\xF3\xF2. : 05\r\n");
}

TEST_F(ReportFileTest, CreateLeavesAnEmptyFileAndTruncatesAnOldOne) {
  const fs::path path = dir_ / "old.txt";
  { std::ofstream(path, std::ios::binary) << "text of an earlier run\r\n"; }
  ReportFile file;
  file.create(path);
  EXPECT_EQ(fs::file_size(path), 0u);
  file.writeLine("new");
  file.close();
  EXPECT_EQ(readAll(path), "new\r\n");
}

TEST_F(ReportFileTest, ManyLinesArriveCompleteAndInOrder) {
  const fs::path path = dir_ / "many.txt";
  std::string expected;
  ReportFile file;
  file.create(path);
  for (int i = 0; i < 4000; ++i) {
    const std::string number = std::to_string(i);
    file.writeLine("Строка " + number + std::string(static_cast<std::size_t>(i % 37), '-'));
    expected += "\xD1\xF2\xF0\xEE\xEA\xE0 " + number;
    expected += std::string(static_cast<std::size_t>(i % 37), '-') + "\r\n";
  }
  file.close();
  EXPECT_EQ(readAll(path), expected);
}

TEST_F(ReportFileTest, CommitMakesTheTextVisibleBeforeClose) {
  const fs::path path = dir_ / "commit.txt";
  ReportFile file;
  file.create(path);
  file.writeLine("one");
  file.writeLine("два");
  file.commit();
  EXPECT_EQ(readAll(path), "one\r\n\xE4\xE2\xE0\r\n");
  file.writeLine("three");
  file.commit();
  EXPECT_EQ(readAll(path), "one\r\n\xE4\xE2\xE0\r\nthree\r\n");
  file.close();
  EXPECT_EQ(readAll(path), "one\r\n\xE4\xE2\xE0\r\nthree\r\n");
}

TEST_F(ReportFileTest, DestructorWritesWhatIsBuffered) {
  const fs::path path = dir_ / "dtor.txt";
  {
    ReportFile file;
    file.create(path);
    file.writeLine("kept");
  }
  EXPECT_EQ(readAll(path), "kept\r\n");
}

TEST_F(ReportFileTest, CreatingAgainClosesThePreviousFile) {
  const fs::path first = dir_ / "first.txt";
  const fs::path second = dir_ / "second.txt";
  ReportFile file;
  file.create(first);
  file.writeLine("A");
  file.create(second);
  EXPECT_EQ(readAll(first), "A\r\n");
  file.writeLine("B");
  file.close();
  EXPECT_EQ(readAll(first), "A\r\n");
  EXPECT_EQ(readAll(second), "B\r\n");
}

// A file that is not open.
TEST_F(ReportFileTest, WritingANeverCreatedFileIsError103) {
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
}

TEST_F(ReportFileTest, WritingAfterCloseIsError103) {
  const fs::path path = dir_ / "closed.txt";
  ReportFile file;
  file.create(path);
  file.writeLine("before");
  file.close();
  EXPECT_EQ(ioErrorCodeOf([&] { file.writeLine("after"); }), kIoFileNotOpen);
  EXPECT_EQ(readAll(path), "before\r\n");
}

TEST_F(ReportFileTest, ClosingTwiceOrNeverOpenedIsHarmless) {
  ReportFile never;
  EXPECT_NO_THROW(never.close());
  ReportFile file;
  file.create(dir_ / "twice.txt");
  EXPECT_NO_THROW(file.close());
  EXPECT_NO_THROW(file.close());
  EXPECT_FALSE(file.isOpen());
}

// Files that cannot be created.
TEST_F(ReportFileTest, MissingFolderIsError3AndCreatesNothing) {
  const fs::path missing = dir_ / "arc";
  ReportFile file;
  try {
    file.create(missing / "x_par.txt");
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_EQ(e.code(), kIoPathNotFound);
    EXPECT_STREQ(e.what(), "I/O error 3");
  }
  EXPECT_FALSE(file.isOpen());
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(ioErrorCodeOf([&] { file.writeLine("x"); }), kIoFileNotOpen);
}

TEST_F(ReportFileTest, FileInPlaceOfAFolderIsError3) {
  const fs::path notDir = dir_ / "plain";
  { std::ofstream(notDir) << "x"; }
  ReportFile file;
  EXPECT_EQ(ioErrorCodeOf([&] { file.create(notDir / "x.txt"); }), kIoPathNotFound);
  EXPECT_FALSE(file.isOpen());
}

TEST_F(ReportFileTest, ReadOnlyFolderIsError5) {
  if (::geteuid() == 0) GTEST_SKIP() << "root is not stopped by permissions";
  const fs::path locked = dir_ / "locked";
  ASSERT_TRUE(fs::create_directory(locked));
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  ReportFile file;
  EXPECT_EQ(ioErrorCodeOf([&] { file.create(locked / "x.txt"); }), kIoAccessDenied);
  EXPECT_FALSE(file.isOpen());
  EXPECT_FALSE(fs::exists(locked / "x.txt"));
}

// Failing writes.
TEST_F(ReportFileTest, FullDeviceIsError101WithoutCrash) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ReportFile file;
  file.create("/dev/full");
  file.writeLine("short line");  // still buffered
  EXPECT_EQ(ioErrorCodeOf([&] { file.commit(); }), kIoDiskWrite);
  EXPECT_TRUE(file.isOpen());
  // The failed report's lines went with the failure: closing has nothing to write.
  EXPECT_NO_THROW(file.close());
  EXPECT_FALSE(file.isOpen());
  EXPECT_NO_THROW(file.close());
}

TEST_F(ReportFileTest, FullDeviceFailsALongReportAtTheWriteLine) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ReportFile file;
  file.create("/dev/full");
  int failedAt = -1;
  for (int i = 0; i < 1000 && failedAt < 0; ++i) {
    if (ioErrorCodeOf([&] { file.writeLine(std::string(100, 'x')); }) == kIoDiskWrite) failedAt = i;
  }
  EXPECT_GT(failedAt, 0);  // the first lines only fill the buffer
  EXPECT_LT(failedAt, 1000);
}  // the destructor meets the same error and must swallow it

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

TEST_F(ReportFileTest, FailedWriteLeavesOnlyCompleteLines) {
  const fs::path path = dir_ / "limited.txt";
  ReportFile file;
  file.create(path);
  file.writeLine("committed head");
  file.commit();
  const std::string committed = "committed head\r\n";
  ASSERT_EQ(readAll(path), committed);

  std::string expected = committed;
  FileSizeLimit limit(committed.size() + 1000);
  ASSERT_TRUE(limit.ok());
  int code = -1;
  for (int i = 0; i < 1000 && code < 0; ++i) {
    const std::string line = "line " + std::to_string(i) + std::string(60, '.');
    code = ioErrorCodeOf([&] { file.writeLine(line); });
    expected += line + "\r\n";
  }
  EXPECT_EQ(code, kIoDiskWrite);
  EXPECT_TRUE(file.isOpen());
  // The write stopped at the limit; what was committed is untouched, and the
  // line cut by the limit is gone: the file ends at a line end.
  const std::string onDisk = readAll(path);
  EXPECT_LE(onDisk.size(), committed.size() + 1000);
  EXPECT_GT(onDisk.size(), committed.size());
  EXPECT_EQ(onDisk, expected.substr(0, onDisk.size()));
  EXPECT_EQ(onDisk.substr(onDisk.size() - 2), "\r\n");

  // Once writing is possible again, the next report starts on a line of its own.
  limit.restore();
  file.writeLine("next report");
  file.close();
  EXPECT_EQ(readAll(path), onDisk + "next report\r\n");
}

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
  EXPECT_EQ(ioErrorFromErrno(EDQUOT), 101);
  EXPECT_EQ(ioErrorFromErrno(EFBIG), 101);
  EXPECT_EQ(ioErrorFromErrno(EIO), 101);
  EXPECT_EQ(ioErrorFromErrno(EBADF), 101);
}

}  // namespace
}  // namespace vardis
