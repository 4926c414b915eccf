#include "bench/plain_line.h"

#include <fcntl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace vardis::bench {

namespace {

speed_t speedConstant(std::uint32_t baud) {
  switch (baud) {
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    default:
      return B115200;
  }
}

}  // namespace

PlainLine::~PlainLine() {
  if (fd_ >= 0) ::close(fd_);
}

void PlainLine::Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t /*dataBits*/,
                         std::uint8_t /*parity*/, std::uint8_t /*stopBits*/) {
  Close_Com(port);
  fd_ = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  termios tio{};
  ::tcgetattr(fd_, &tio);
  ::cfmakeraw(&tio);
  ::cfsetspeed(&tio, speedConstant(baud));
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::tcsetattr(fd_, TCSANOW, &tio);
}

void PlainLine::Close_Com(const PortName& /*port*/) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void PlainLine::Send_Binary(const PortName& /*port*/, const std::uint8_t* data, std::size_t count) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < count) {
    const ssize_t n = ::write(fd_, data + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      return;
    }
  }
}

std::uint16_t PlainLine::Receive_Binary(const PortName& /*port*/, std::uint8_t* buffer,
                                        std::uint16_t timeoutMs, std::uint16_t wanted,
                                        std::uint16_t* /*timeWord*/) {
  using Clock = std::chrono::steady_clock;
  firstByteMicros_ = -1;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + std::chrono::milliseconds(timeoutMs);
  std::uint16_t got = 0;
  while (fd_ >= 0 && got < wanted) {
    const ssize_t n = ::read(fd_, buffer + got, wanted - got);
    if (n > 0) {
      if (got == 0) {
        firstByteMicros_ =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
      }
      got = static_cast<std::uint16_t>(got + n);
      continue;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) break;
    // select() takes the time left to the microsecond, rounded up.
    const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - now).count();
    timeval tv{static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd_, &readable);
    if (::select(fd_ + 1, &readable, nullptr, nullptr, &tv) < 0 && errno != EINTR) break;
  }
  return got;
}

}  // namespace vardis::bench
