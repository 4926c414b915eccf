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

class ReportFile {
 public:
  ReportFile() = default;
  ~ReportFile();  // closes, writing what is buffered; never throws
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Creates (or truncates) the file and keeps it open for appending.
  // Throws IoError; the file stays closed then.
  void create(const std::filesystem::path& path);
  // Opens an existing file (or creates it) and appends after its end.
  void openForAppend(const std::filesystem::path& path);
  bool isOpen() const noexcept { return fd_ >= 0; }
  const std::filesystem::path& path() const noexcept { return path_; }

  // Appends one line: `utf8` converted to code page 1251, then CR LF.
  // Throws IoError(103) when the file is not open, or the write error.
  void writeLine(std::string_view utf8);

  // Hands everything written so far to the operating system and syncs it to
  // the disk (fsync). Called when a command's report is complete.
  void commit();

  // Writes what is buffered and closes. Throws IoError on a failed write;
  // the file is closed in any case. Closing a closed file does nothing.
  void close();

 private:
  void openWith(const std::filesystem::path& path, int mode);
  void writeOut();
  void dropPartialLine(std::size_t written);

  int fd_ = -1;
  std::filesystem::path path_;
  std::string buffer_;
};

}  // namespace vardis
