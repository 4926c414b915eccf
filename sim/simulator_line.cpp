// The simulator's line: the pseudo-terminal or device, its speed, unplugging
// and replugging it, and writing and waiting on it.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "sim/simulator.h"
#include "sim/simulator_internal.h"

namespace vardis::sim {

using detail::closeFd;
using detail::throwErrno;
using detail::timespecFor;

namespace {

using Clock = std::chrono::steady_clock;

// What control() asks of the serving thread.
constexpr int kUnplug = 1;
constexpr int kReplug = 2;

struct SpeedEntry {
  unsigned baud;
  speed_t constant;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

}  // namespace

bool speedConstant(unsigned baud, unsigned* constant) {
  for (const SpeedEntry& e : kSpeeds) {
    if (e.baud == baud) {
      *constant = e.constant;
      return true;
    }
  }
  return false;
}

unsigned baudOfSpeedConstant(unsigned constant) {
  for (const SpeedEntry& e : kSpeeds) {
    if (e.constant == constant) return e.baud;
  }
  return 0;
}

void Simulator::openPseudoTerminal() {
  lineFd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (lineFd_ < 0) throwErrno("cannot open a pseudo-terminal");
  ::fcntl(lineFd_, F_SETFD, FD_CLOEXEC);
  if (::grantpt(lineFd_) != 0) throwErrno("grantpt");
  if (::unlockpt(lineFd_) != 0) throwErrno("unlockpt");
  char name[256];
  if (::ptsname_r(lineFd_, name, sizeof name) != 0) throwErrno("ptsname");
  {
    std::lock_guard lock(mutex_);
    portPath_ = name;
  }

  // Keep the slave open ourselves: then the master never reads a hang-up while
  // the tool closes and reopens the port.
  slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveFd_ < 0) throwErrno("cannot open " + portPath_);
  termios tio{};
  if (::tcgetattr(slaveFd_, &tio) != 0) throwErrno("tcgetattr " + portPath_);
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  unsigned constant = 0;
  speedConstant(options_.speed, &constant);
  ::cfsetispeed(&tio, constant);
  ::cfsetospeed(&tio, constant);
  if (::tcsetattr(slaveFd_, TCSANOW, &tio) != 0) throwErrno("tcsetattr " + portPath_);
  ::fcntl(lineFd_, F_SETFL, ::fcntl(lineFd_, F_GETFL) | O_NONBLOCK);
}

void Simulator::openDevice() {
  portPath_ = options_.device;
  lineFd_ = ::open(portPath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (lineFd_ < 0) throwErrno("cannot open " + portPath_);
  termios tio{};
  if (::tcgetattr(lineFd_, &tio) != 0) throwErrno(portPath_ + " is not a serial device");
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  unsigned constant = 0;
  speedConstant(options_.speed, &constant);
  ::cfsetispeed(&tio, constant);
  ::cfsetospeed(&tio, constant);
  if (::tcsetattr(lineFd_, TCSANOW, &tio) != 0) throwErrno("cannot set up " + portPath_);
  ::tcflush(lineFd_, TCIOFLUSH);
}

void Simulator::closeLine() {
  closeFd(lineFd_);
  closeFd(slaveFd_);
  closeFd(wakeRead_);
  closeFd(wakeWrite_);
  closeFd(ctlRead_);
  closeFd(ctlWrite_);
}

void Simulator::unplug() {
  control(kUnplug);
}
void Simulator::replug() {
  control(kReplug);
}

void Simulator::control(int what) {
  if (!running() || !options_.device.empty()) return;
  std::unique_lock lock(mutex_);
  pendingControl_ = what;
  const char byte = 'c';
  [[maybe_unused]] const ssize_t n = ::write(ctlWrite_, &byte, 1);
  changed_.wait(lock, [&] { return pendingControl_ == 0 || stopping_; });
}

void Simulator::carryOutControl() {
  char byte;
  while (::read(ctlRead_, &byte, 1) > 0) {
  }
  std::unique_lock lock(mutex_);
  const int what = pendingControl_;
  lock.unlock();
  if (what == kUnplug) {
    closeFd(lineFd_);
    closeFd(slaveFd_);
  } else if (what == kReplug && lineFd_ < 0) {
    try {
      openPseudoTerminal();
    } catch (const std::exception&) {
      closeFd(lineFd_);
      closeFd(slaveFd_);
    }
  }
  lock.lock();
  pendingControl_ = 0;
  changed_.notify_all();
}

unsigned Simulator::lineSpeed() const {
  termios tio{};
  const int fd = slaveFd_ >= 0 ? slaveFd_ : lineFd_;
  if (::tcgetattr(fd, &tio) == 0) {
    const unsigned baud = baudOfSpeedConstant(::cfgetospeed(&tio));
    if (baud != 0) return baud;
  }
  return options_.speed;
}

bool Simulator::waitUntil(Clock::time_point deadline) {
  while (!stopping_) {
    const auto now = Clock::now();
    if (now >= deadline) return true;
    const timespec ts = timespecFor(deadline - now);
    pollfd wake{wakeRead_, POLLIN, 0};
    const int r = ::ppoll(&wake, 1, &ts, nullptr);
    if (r > 0) return false;
  }
  return false;
}

bool Simulator::writeSome(const std::uint8_t* data, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(lineFd_, data + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // The line does not take more now: wait a while for room.
      pollfd fds[2] = {{lineFd_, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
      const int r = ::poll(fds, 2, 500);
      if (r > 0 && (fds[0].revents & POLLOUT) && !(fds[1].revents & POLLIN)) continue;
    }
    break;
  }
  std::lock_guard lock(mutex_);
  stats_.bytesSent += done;
  stats_.bytesNotSent += count - done;
  return done == count;
}

bool Simulator::sendAt(const std::vector<std::uint8_t>& bytes,
                       const std::vector<Clock::time_point>& when) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (!waitUntil(when[i])) return false;
    const auto now = Clock::now();
    std::size_t j = i + 1;
    while (j < bytes.size() && when[j] <= now) ++j;
    writeSome(&bytes[i], j - i);
    i = j;
  }
  return true;
}

}  // namespace vardis::sim
