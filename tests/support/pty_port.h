// The tool's end of a simulator's pseudo-terminal, for tests that speak to the
// simulated meter or modem byte by byte.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

#include "link/frame.h"

namespace vardis::test {

class PtyPort {
 public:
  explicit PtyPort(const std::string& path,
                   std::chrono::milliseconds patience = std::chrono::milliseconds(5000))
      : patience_(patience) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd_, 0) << "cannot open " << path;
  }
  ~PtyPort() {
    if (fd_ >= 0) ::close(fd_);
  }
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  void send(std::string_view bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void send(const Frame& f) {
    send(std::string_view(reinterpret_cast<const char*>(f.data()), f.size()));
  }

  // Reads until `count` bytes came or the patience ran out.
  std::string receive(std::size_t count) {
    using Clock = std::chrono::steady_clock;
    std::string got;
    const auto deadline = Clock::now() + patience_;
    while (got.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[64];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  // True when bytes wait to be read now.
  bool hasInput() {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }

 private:
  int fd_ = -1;
  std::chrono::milliseconds patience_;
};

}  // namespace vardis::test
