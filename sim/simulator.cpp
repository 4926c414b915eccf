// The simulator's life: starting and stopping, the serving loop that hands the
// line's bytes to the modem or the meter, and what the outside reads (logs,
// stats, faults). The meter's requests are handled in simulator_requests.cpp,
// the line itself in simulator_line.cpp.
#include "sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "sim/simulator_internal.h"

namespace vardis::sim {

using detail::throwErrno;
using detail::timespecFor;

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

Simulator::Simulator(MeterModel model, SimulatorOptions options) : options_(std::move(options)) {
  if (!options_.modem.numbers.empty())
    throw std::invalid_argument("a list of numbers needs a meter for each number");
  meters_.push_back(Meter{std::move(model), {}, 0, std::nullopt});
}

Simulator::Simulator(std::vector<NumberedMeter> meters, SimulatorOptions options)
    : options_(std::move(options)) {
  if (meters.empty()) throw std::invalid_argument("a modem with numbers needs at least one");
  options_.modem.enabled = true;
  options_.modem.numbers.clear();
  for (NumberedMeter& m : meters) {
    const std::string number = dialledNumber(m.number.phone);
    if (number.find_first_of("0123456789") == std::string::npos)
      throw std::invalid_argument("the phone '" + m.number.phone + "' has no digits");
    for (const Meter& other : meters_) {
      if (other.number == number)
        throw std::invalid_argument("the number " + number + " is in the list twice");
    }
    meters_.push_back(Meter{std::move(m.meter), number, 0, std::nullopt});
    options_.modem.numbers.push_back(std::move(m.number));
  }
}

Simulator::~Simulator() {
  stop();
}

void Simulator::start() {
  if (running()) return;
  unsigned constant = 0;
  if (!speedConstant(options_.speed, &constant))
    throw std::invalid_argument("unsupported line speed " + std::to_string(options_.speed));

  int pipeFds[2];
  if (::pipe(pipeFds) != 0) throwErrno("pipe");
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
  int ctlFds[2];
  if (::pipe(ctlFds) != 0) throwErrno("pipe");
  ctlRead_ = ctlFds[0];
  ctlWrite_ = ctlFds[1];
  for (int fd : {pipeFds[0], pipeFds[1], ctlFds[0], ctlFds[1]}) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  try {
    if (options_.device.empty()) {
      openPseudoTerminal();
    } else {
      openDevice();
    }
  } catch (...) {
    closeLine();
    throw;
  }
  // The integrator tables are built on first use; build them now rather than
  // holding up the first integrator reply.
  for (const Meter& m : meters_) historyTotalsAtEndOfDay(0, m.model.historySeed());
  if (options_.modem.enabled) {
    modem_.emplace(options_.modem);
  } else {
    modem_.reset();
  }
  {
    std::lock_guard lock(mutex_);
    modemState_ = ModemState::Command;
  }
  stopping_ = false;
  thread_ = std::thread([this] { serve(); });
}

void Simulator::stop() {
  if (thread_.joinable()) {
    stopping_ = true;
    const char byte = 's';
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);
    thread_.join();
  }
  closeLine();
}

void Simulator::serve() {
  std::uint8_t buffer[512];
  while (!stopping_) {
    // The modem's timers (connect after a dial, guard time after "+++") bound the wait.
    timespec timeout{};
    timespec* wait = nullptr;
    if (modem_) {
      if (const auto deadline = modem_->nextDeadline()) {
        const auto now = Clock::now();
        if (*deadline <= now) {
          if (!carryOut(modem_->tick(now))) return;
          continue;
        }
        timeout = timespecFor(*deadline - now);
        wait = &timeout;
      }
    }
    pollfd fds[3] = {{lineFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}, {ctlRead_, POLLIN, 0}};
    const int r = ::ppoll(fds, 3, wait, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (r == 0) continue;  // a modem timer is due
    if (fds[1].revents & POLLIN) return;
    if (fds[2].revents & POLLIN) {
      carryOutControl();
      continue;
    }
    if (lineFd_ < 0) continue;
    bool trouble = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(lineFd_, buffer, sizeof buffer);
      if (n > 0) {
        trouble = false;
        if (!takeBytes(buffer, static_cast<std::size_t>(n))) return;
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        trouble = true;
      }
    }
    // A line that reports trouble without data (a device that went away):
    // do not spin on it.
    if (trouble && !waitUntil(Clock::now() + std::chrono::milliseconds(50))) return;
  }
}

bool Simulator::takeBytes(const std::uint8_t* data, std::size_t count) {
  bool echo = false;
  {
    std::lock_guard lock(mutex_);
    stats_.bytesReceived += count;
    echo = options_.faults.echo;
  }
  // An echoing line (a loopback, a converter or modem with echo) sends every
  // byte back before whatever sits behind it answers.
  if (echo) writeSome(data, count);
  if (!modem_) return feedMeter(data, count);
  std::vector<ModemStep> steps = modem_->receive(data, count, Clock::now());
  std::size_t passed = 0;
  for (const ModemStep& step : steps) passed += step.toMeter.size();
  {
    std::lock_guard lock(mutex_);
    stats_.modemBytes += count - passed;
  }
  return carryOut(std::move(steps));
}

bool Simulator::feedMeter(const std::uint8_t* data, std::size_t count) {
  receiver_.feed(data, count);
  while (const auto frame = receiver_.next()) {
    {
      std::lock_guard lock(mutex_);
      ++stats_.framesReceived;
      stats_.bytesSkipped = receiver_.skippedBytes();
    }
    changed_.notify_all();
    handleFrame(*frame);
    if (stopping_) return false;
  }
  std::lock_guard lock(mutex_);
  stats_.bytesSkipped = receiver_.skippedBytes();
  return true;
}

bool Simulator::carryOut(std::vector<ModemStep> steps) {
  for (ModemStep& step : steps) {
    if (!step.toMeter.empty() && !feedMeter(step.toMeter.data(), step.toMeter.size())) return false;
    if (!step.event) continue;
    ModemEvent& e = *step.event;
    // A new call, or the call resumed: the meter of the number starts from a
    // clean slate.
    if (e.kind == ModemEventKind::Connect || e.kind == ModemEventKind::Online) {
      receiver_.clear();
      callId_ = e.call;
      if (e.numberIndex >= 0) current_ = static_cast<std::size_t>(e.numberIndex);
    }
    // Logged before the answer goes out, as the meter's requests are.
    const std::string answer = e.answer;
    recordModem(std::move(e));
    if (!answer.empty())
      writeSome(reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size());
    if (stopping_) return false;
  }
  return true;
}

void Simulator::recordModem(ModemEvent event) {
  if (options_.onModemEvent) options_.onModemEvent(event);
  {
    std::lock_guard lock(mutex_);
    modemState_ = event.state;
    modemLog_.push_back(std::move(event));
  }
  changed_.notify_all();
}

std::vector<LogEntry> Simulator::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::size_t Simulator::logSize() const {
  std::lock_guard lock(mutex_);
  return log_.size();
}

bool Simulator::waitForLog(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return log_.size() >= count; });
}

bool Simulator::waitForFrames(std::uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return stats_.framesReceived >= count; });
}

std::vector<ModemEvent> Simulator::modemLog() const {
  std::lock_guard lock(mutex_);
  return modemLog_;
}

bool Simulator::waitForModemEvent(ModemEventKind kind, std::size_t count,
                                  std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(
               std::count_if(modemLog_.begin(), modemLog_.end(),
                             [&](const ModemEvent& e) { return e.kind == kind; })) >= count;
  });
}

ModemState Simulator::modemState() const {
  std::lock_guard lock(mutex_);
  return modemState_;
}

SimulatorStats Simulator::stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

FaultOptions Simulator::faults() const {
  std::lock_guard lock(mutex_);
  return options_.faults;
}

void Simulator::setFaults(const FaultOptions& faults) {
  std::lock_guard lock(mutex_);
  options_.faults = faults;
}

}  // namespace vardis::sim
