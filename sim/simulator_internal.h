// What the simulator's line and its request handling share.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace vardis::sim::detail {

[[noreturn]] inline void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

inline void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// What control() asks of the serving thread.
inline constexpr int kUnplug = 1;
inline constexpr int kReplug = 2;

}  // namespace vardis::sim::detail
