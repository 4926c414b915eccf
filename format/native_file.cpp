#include "format/native_file.h"

#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vardis::native_file {

#ifdef _WIN32

namespace {

// The lock is taken on one byte far beyond any report's end, so that it only
// keeps report writers apart and never stops a reader of the file.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFu;

HANDLE handleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

int failWithLastError() {
  switch (GetLastError()) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_ACCESS_DENIED:
      errno = EACCES;
      break;
    default:
      errno = EIO;
  }
  return -1;
}

}  // namespace

int openAppend(const std::filesystem::path& path) {
  // Binary: CR LF goes to the disk as it is given, never doubled.
  return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT,
                _S_IREAD | _S_IWRITE);
}

std::int64_t write(int fd, const char* data, std::size_t size) {
  const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
  return _write(fd, data, chunk);
}

int sync(int fd) {
  return _commit(fd);
}

std::int64_t size(int fd) {
  return _filelengthi64(fd);
}

int truncate(int fd, std::int64_t length) {
  const errno_t err = _chsize_s(fd, length);
  if (err != 0) {
    errno = err;
    return -1;
  }
  return 0;
}

int lockExclusive(int fd) {
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  return LockFileEx(handleOf(fd), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) ? 0 : failWithLastError();
}

int unlock(int fd) {
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  return UnlockFileEx(handleOf(fd), 0, 1, 0, &at) ? 0 : failWithLastError();
}

int close(int fd) {
  return _close(fd);
}

#else

int openAppend(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

std::int64_t write(int fd, const char* data, std::size_t size) {
  return ::write(fd, data, size);
}

int sync(int fd) {
  return ::fsync(fd);
}

std::int64_t size(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  return st.st_size;
}

int truncate(int fd, std::int64_t length) {
  return ::ftruncate(fd, static_cast<off_t>(length));
}

int lockExclusive(int fd) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return -1;
  }
  return 0;
}

int unlock(int fd) {
  return ::flock(fd, LOCK_UN);
}

int close(int fd) {
  return ::close(fd);
}

#endif

}  // namespace vardis::native_file
