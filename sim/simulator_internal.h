// What the simulator's source files share.
#pragma once

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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

// A time left as the timeout of ppoll.
inline timespec timespecFor(std::chrono::steady_clock::duration left) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(ns / 1000000000);
  ts.tv_nsec = static_cast<long>(ns % 1000000000);
  return ts;
}

}  // namespace vardis::sim::detail
