// Reading the store apart from writing it: a user who may only read the file
// reads it, a store of another version or a path that is no file is refused,
// and no refusal changes a byte of the file or makes anything beside it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "store/history.h"
#include "store/reading_store.h"
#include "store/store_reader.h"
#include "support/temp_dir.h"

namespace vardis::store {
namespace {

namespace fs = std::filesystem;

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// A store of this version holding one meter, closed.
void storeOneMeter(const fs::path& file) {
  ReadingStore s(file);
  const auto visit = s.beginVisit({"2011-04-10T12:00:00", "/dev/ttyS0", 9600, false});
  s.meter({12345, 1, "GJ", false, "8.3"}, visit, "2011-04-10T12:00:01");
}

// The fault of what opening `file` as T threw; nothing when it opened.
template <class T>
std::optional<StoreFault> faultOpening(const fs::path& file, std::string* message = nullptr) {
  try {
    T opened(file);
  } catch (const StoreError& e) {
    if (message) *message = e.what();
    return e.fault();
  }
  return std::nullopt;
}

// The store in WAL mode (as the writer leaves it) and in rollback-journal
// mode, read as a user who may write neither the file nor its folder. Root
// writes anything: the reader then runs as nobody in a child.
TEST(StoreAccess, AUserWhoMayOnlyReadTheStoreReadsItAndChangesNothing) {
  for (const char* mode : {"WAL", "DELETE"}) {
    SCOPED_TRACE(mode);
    test::TempDir dir;
    const fs::path file = storeFile(dir.path());
    storeOneMeter(file);
    {
      SqliteDatabase db(file, false, 100);
      db.exec((std::string("PRAGMA journal_mode=") + mode).c_str());
    }
    const std::set<std::string> before = entries(dir.path());
    const std::string bytes = test::readFile(file);
    ::chmod(file.c_str(), 0444);
    ::chmod(dir.path().c_str(), 0555);
    const pid_t child = ::fork();
    if (child == 0) {
      if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
      // A folder above that nobody may enter (a chroot's root of mode 0700).
      if (::access(dir.path().c_str(), R_OK | X_OK) != 0) ::_exit(5);
      try {
        StoreReader reader(file);
        const auto found = meters(reader.database());
        ::_exit(found.size() == 1 && found[0].serial == 12345 ? 0 : 4);
      } catch (const StoreError& e) {
        ::_exit(10 + static_cast<int>(e.fault()));
      }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(dir.path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 5) GTEST_SKIP() << "nobody cannot reach " << dir.path();
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "3: could not drop root, 4: wrong meters, 10 + the fault otherwise";
    EXPECT_EQ(entries(dir.path()), before);
    EXPECT_EQ(test::readFile(file), bytes);
  }
}

// A rollback-journal store of a newer version is refused by the writer and
// the reader before anything is written (the writer used to switch it to WAL
// first); one without the tables is refused by the reader as older.
TEST(StoreAccess, AStoreOfAnotherVersionIsRefusedAndLeftByteForByte) {
  test::TempDir dir;
  const fs::path file = storeFile(dir.path());
  {
    SqliteDatabase db(file, true, 100);
    db.exec("CREATE TABLE later(x); PRAGMA user_version = 99");
  }
  const std::string bytes = test::readFile(file);
  EXPECT_EQ(faultOpening<ReadingStore>(file), StoreFault::Newer);
  EXPECT_EQ(faultOpening<StoreReader>(file), StoreFault::Newer);
  EXPECT_EQ(test::readFile(file), bytes);
  EXPECT_EQ(entries(dir.path()), std::set<std::string>{kStoreFileName});

  fs::remove(file);
  { SqliteDatabase db(file, true, 100); }
  std::string message;
  EXPECT_EQ(faultOpening<StoreReader>(file, &message), StoreFault::Older);
  EXPECT_EQ(message, "the store " + file.string() +
                         " was made by an older version; a reading with the store on brings it "
                         "up to date");
}

struct NotAFile {
  const char* name;
  std::function<fs::path(const fs::path& dir)> make;  // the store's path
  const char* what;
  friend void PrintTo(const NotAFile& n, std::ostream* os) { *os << n.name; }
};

class StoreAccessNotAFile : public ::testing::TestWithParam<NotAFile> {};

// A path that is no regular file is refused by writer and reader before
// SQLite could make a journal or a log beside it.
TEST_P(StoreAccessNotAFile, IsRefusedAndNothingIsMadeBesideIt) {
  test::TempDir dir;
  const fs::path path = GetParam().make(dir.path());
  const std::set<std::string> before = entries(dir.path());
  const fs::path target = fs::canonical(path);
  for (const bool writer : {true, false}) {
    std::string message;
    const auto fault = writer ? faultOpening<ReadingStore>(path, &message)
                              : faultOpening<StoreReader>(path, &message);
    EXPECT_EQ(fault, StoreFault::CannotOpen) << message;
    EXPECT_EQ(message, "the store " + path.string() + " cannot be opened (it is " +
                           GetParam().what + "); nothing was made beside it");
  }
  EXPECT_EQ(entries(dir.path()), before);
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    EXPECT_FALSE(fs::exists(target.string() + suffix)) << target << suffix;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, StoreAccessNotAFile,
                         ::testing::Values(NotAFile{"Folder",
                                                    [](const fs::path& d) {
                                                      fs::create_directory(d / kStoreFileName);
                                                      return d / kStoreFileName;
                                                    },
                                                    "a folder"},
                                           NotAFile{"SymlinkToDevNull",
                                                    [](const fs::path& d) {
                                                      fs::create_symlink("/dev/null",
                                                                         d / kStoreFileName);
                                                      return d / kStoreFileName;
                                                    },
                                                    "a device"},
                                           NotAFile{"Pipe",
                                                    [](const fs::path& d) {
                                                      ::mkfifo((d / kStoreFileName).c_str(), 0644);
                                                      return d / kStoreFileName;
                                                    },
                                                    "a pipe"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A symlink to a store is followed by both; a missing store is made by the
// writer only.
TEST(StoreAccess, ASymlinkToAStoreIsReadAndAMissingStoreIsMadeOnlyByTheWriter) {
  test::TempDir dir;
  const fs::path missing = dir.path() / "none.sqlite";
  EXPECT_EQ(faultOpening<StoreReader>(missing), StoreFault::CannotOpen);
  EXPECT_FALSE(fs::exists(missing));

  storeOneMeter(dir.path() / "real.sqlite");
  fs::create_symlink("real.sqlite", dir.path() / kStoreFileName);
  StoreReader reader(storeFile(dir.path()));
  EXPECT_EQ(meters(reader.database()).size(), 1u);
  EXPECT_EQ(faultOpening<ReadingStore>(storeFile(dir.path())), std::nullopt);
}

}  // namespace
}  // namespace vardis::store
