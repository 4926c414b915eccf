// The few file operations a report needs, on the system's own calls: POSIX
// descriptors on Linux, the C runtime's descriptors (always binary) on Windows.
// Each returns what the system call returns; a failure leaves errno set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace vardis::native_file {

// Opens for writing at the end, creating the file when it does not exist
// (never truncating it). Returns a descriptor, or -1.
int openAppend(const std::filesystem::path& path);
// Writes up to `size` bytes at the end of the file; the count written, or -1.
std::int64_t write(int fd, const char* data, std::size_t size);
// Hands what the system holds of the file to the disk (fsync, _commit); 0 or -1.
int sync(int fd);
// The file's length in bytes, or -1.
std::int64_t size(int fd);
// Cuts the file to `length` bytes; 0 or -1.
int truncate(int fd, std::int64_t length);
// Waits for, and takes, the exclusive lock that report writers share; 0 or -1.
// Readers are not held up by it.
int lockExclusive(int fd);
int unlock(int fd);
// Closes the descriptor; 0 or -1 (an interrupted close has still closed it).
int close(int fd);

}  // namespace vardis::native_file
