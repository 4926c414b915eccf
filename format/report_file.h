// A report text file: created empty, appended line by line in code page 1251
// with CR LF line ends, committed to disk when a command ends.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vardis {

// The runtime's input/output error: the message is "I/O error N".
//   2   file not found          3   path not found (missing folder)
//   5   access denied (read-only file or folder)
//   101 disk write error (disk full, device error)
//   103 file not open
class IoError : public std::runtime_error {
 public:
  explicit IoError(int code);
  IoError(int code, std::string detail);  // detail: e.g. the path, for logs
  int code() const noexcept { return code_; }
  const std::string& detail() const noexcept { return detail_; }

 private:
  int code_;
  std::string detail_;
};

inline constexpr int kIoFileNotFound = 2;
inline constexpr int kIoPathNotFound = 3;
inline constexpr int kIoAccessDenied = 5;
inline constexpr int kIoDiskWrite = 101;
inline constexpr int kIoFileNotOpen = 103;

// Maps an errno value to the runtime's I/O error number.
int ioErrorFromErrno(int err);

// A report file. Reports are only ever appended: opening never truncates,
// and each report goes to the file whole or not at all. Lines are kept in
// memory until commit(), which appends the whole report under an exclusive
// lock of the file (so two programs writing into one file never mix or lose
// reports), syncs it to the disk, and on any failure cuts the file back to
// exactly what it held before. A report that is never committed (a stopped
// command, a failed reading) leaves the file as it was.
class ReportFile {
 public:
  ReportFile() = default;
  ~ReportFile();  // closes; a report not committed is dropped; never throws
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Opens the file for appending, creating it empty when it does not exist.
  // Throws IoError; the file stays closed then.
  void open(const std::filesystem::path& path);
  bool isOpen() const noexcept { return fd_ >= 0; }
  const std::filesystem::path& path() const noexcept { return path_; }

  // Adds one line to the report being written: `utf8` converted to code page
  // 1251, then CR LF. Throws IoError(103) when the file is not open.
  void writeLine(std::string_view utf8);
  // Whether lines wait for a commit.
  bool hasPendingReport() const noexcept { return !pending_.empty(); }

  // Appends the report written since the last commit to the file and syncs
  // it to the disk. Throws IoError (103 when not open, else the write or sync
  // error); the file then holds exactly what it held before, and the report
  // is dropped.
  void commit();
  // Drops the lines written since the last commit.
  void discard() noexcept { pending_.clear(); }

  // Drops a report not committed and closes. Throws IoError when closing
  // fails; the file is closed in any case. Closing a closed file does nothing.
  void close();

 private:
  void appendWhole();

  int fd_ = -1;
  std::filesystem::path path_;
  std::string pending_;
};

}  // namespace vardis
