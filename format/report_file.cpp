#include "format/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

#include "format/cp1251.h"

namespace vardis {

namespace {

// Buffered text goes to the operating system once it grows beyond this.
constexpr std::size_t kWriteOutThreshold = 8192;

std::string ioMessage(int code) {
  return "I/O error " + std::to_string(code);
}

[[noreturn]] void throwErrno(int err, const std::filesystem::path& path) {
  throw IoError(ioErrorFromErrno(err), path.string() + ": " + std::generic_category().message(err));
}

}  // namespace

IoError::IoError(int code) : std::runtime_error(ioMessage(code)), code_(code) {}

IoError::IoError(int code, std::string detail)
    : std::runtime_error(ioMessage(code)), code_(code), detail_(std::move(detail)) {}

int ioErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return kIoPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kIoAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EIO:
      return kIoDiskWrite;
    default:
      return kIoDiskWrite;
  }
}

ReportFile::~ReportFile() {
  try {
    close();
  } catch (...) {
    // Nothing can be reported from here.
  }
}

void ReportFile::create(const std::filesystem::path& path) {
  openWith(path, O_TRUNC);
}

void ReportFile::openForAppend(const std::filesystem::path& path) {
  openWith(path, O_APPEND);
}

void ReportFile::openWith(const std::filesystem::path& path, int mode) {
  // Opening over an open file closes that one first, as the runtime's rewrite
  // does; should its last write fail, that error is thrown and nothing is
  // opened.
  close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | mode | O_CLOEXEC, 0644);
  if (fd < 0) throwErrno(errno, path);
  fd_ = fd;
  path_ = path;
  buffer_.clear();
}

void ReportFile::writeLine(std::string_view utf8) {
  if (fd_ < 0) throw IoError(kIoFileNotOpen, path_.string());
  buffer_ += utf8ToCp1251(utf8);
  buffer_ += "\r\n";
  if (buffer_.size() > kWriteOutThreshold) writeOut();
}

void ReportFile::commit() {
  if (fd_ < 0) throw IoError(kIoFileNotOpen, path_.string());
  writeOut();
  while (::fsync(fd_) != 0) {
    const int err = errno;
    if (err == EINTR) continue;
    // Pipes and character devices cannot be synced; what they were given is
    // all there is to hand over.
    if (err == EINVAL || err == EROFS) break;
    throwErrno(err, path_);
  }
}

void ReportFile::close() {
  if (fd_ < 0) return;
  std::optional<IoError> writeFailure;
  try {
    writeOut();
  } catch (const IoError& e) {
    writeFailure = e;
  }
  const int fd = std::exchange(fd_, -1);
  buffer_.clear();
  // A close interrupted by a signal has still released the descriptor on
  // Linux; it must not be retried.
  const int closeError = ::close(fd) != 0 && errno != EINTR ? errno : 0;
  if (writeFailure) throw *writeFailure;
  if (closeError != 0) throwErrno(closeError, path_);
}

// Hands the whole buffer to the operating system. When a write fails (a full
// disk), the file is cut back to the end of its last complete line, so a later
// report never continues a half-written one, and the lines not written are
// dropped with the command that failed.
void ReportFile::writeOut() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    const int err = n == 0 ? ENOSPC : errno;
    if (err == EINTR) continue;
    dropPartialLine(done);
    buffer_.clear();
    throwErrno(err, path_);
  }
  buffer_.clear();
}

void ReportFile::dropPartialLine(std::size_t written) {
  const auto lastEnd = written == 0 ? std::string::npos : buffer_.rfind("\r\n", written - 1);
  const std::size_t complete =
      lastEnd == std::string::npos || lastEnd + 2 > written ? 0 : lastEnd + 2;
  const std::size_t partial = written - complete;
  if (partial == 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || st.st_size < static_cast<off_t>(partial)) return;
  // Cutting back frees space, so it succeeds on a full disk; should it fail,
  // nothing more can be done about the half line.
  const off_t end = st.st_size - static_cast<off_t>(partial);
  if (::ftruncate(fd_, end) == 0) ::lseek(fd_, end, SEEK_SET);
}

}  // namespace vardis
