#include "format/report_file.h"

#include <cerrno>
#include <system_error>
#include <utility>

#include "format/cp1251.h"
#include "format/native_file.h"

namespace vardis {

namespace {

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
#ifdef EDQUOT
    case EDQUOT:
#endif
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

void ReportFile::open(const std::filesystem::path& path) {
  close();
  const int fd = native_file::openAppend(path);
  if (fd < 0) throwErrno(errno, path);
  fd_ = fd;
  path_ = path;
}

void ReportFile::writeLine(std::string_view utf8) {
  if (fd_ < 0) throw IoError(kIoFileNotOpen, path_.string());
  pending_ += utf8ToCp1251(utf8);
  pending_ += "\r\n";
}

void ReportFile::commit() {
  if (fd_ < 0) throw IoError(kIoFileNotOpen, path_.string());
  if (native_file::lockExclusive(fd_) != 0) {
    const int err = errno;
    pending_.clear();
    throwErrno(err, path_);
  }
  try {
    appendWhole();
  } catch (...) {
    native_file::unlock(fd_);
    pending_.clear();
    throw;
  }
  native_file::unlock(fd_);
  pending_.clear();
}

// Under the lock: appends the pending report and syncs it; on a failure the
// file is cut back to the length it had before (cutting frees space, so it
// succeeds on a full disk too).
void ReportFile::appendWhole() {
  const std::int64_t before = native_file::size(fd_);
  if (before < 0) throwErrno(errno, path_);
  std::size_t done = 0;
  int err = 0;
  while (done < pending_.size() && err == 0) {
    const std::int64_t n = native_file::write(fd_, pending_.data() + done, pending_.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0) {
      err = ENOSPC;
    } else if (errno != EINTR) {
      err = errno;
    }
  }
  while (err == 0 && native_file::sync(fd_) != 0) {
    // Pipes and character devices cannot be synced; what they were given is
    // all there is to hand over.
    if (errno == EINVAL || errno == EROFS || errno == EBADF) break;
    if (errno != EINTR) err = errno;
  }
  if (err == 0) return;
  if (done > 0) native_file::truncate(fd_, before);
  throwErrno(err, path_);
}

void ReportFile::close() {
  if (fd_ < 0) return;
  pending_.clear();
  const int fd = std::exchange(fd_, -1);
  // A close interrupted by a signal has still released the descriptor; it
  // must not be retried.
  if (native_file::close(fd) != 0 && errno != EINTR) throwErrno(errno, path_);
}

}  // namespace vardis
