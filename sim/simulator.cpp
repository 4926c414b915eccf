#include "sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "sim/simulator_internal.h"

namespace vardis::sim {

using detail::closeFd;
using detail::kReplug;
using detail::kUnplug;
using detail::throwErrno;

namespace {

using Clock = std::chrono::steady_clock;

const char* commandName(std::uint8_t command) {
  switch (static_cast<Command>(command)) {
    case Command::SetClock:
      return "set clock";
    case Command::ReadClock:
      return "read clock";
    case Command::ReadFloatValue:
      return "read float value";
    case Command::ReadParameter:
      return "read parameter";
    case Command::ReadCounterValue:
      return "read counter value";
    case Command::ReadArchiveFloat:
      return "read archive float";
    case Command::ReadArchiveInteger:
      return "read archive integer";
  }
  return "unknown command";
}

// Stray bytes that make the eleven bytes the tool reads fail the checksum test.
std::vector<std::uint8_t> noiseBefore(const Frame& reply) {
  std::vector<std::uint8_t> noise = {0xA5, 0x5A, 0x00};
  // The tool sees noise[0..2] + reply[0..7]: byte 9 of that window is reply[6],
  // byte 10 is reply[7].
  unsigned sum = noise[0] + noise[1] + reply[7];
  for (int i = 0; i <= 5; ++i) sum += reply[static_cast<std::size_t>(i)];
  for (std::uint8_t last = 0x00;; ++last) {
    if (last == kStartMark) continue;
    if (((sum + last) & 0xFF) != reply[6]) {
      noise[2] = last;
      break;
    }
  }
  return noise;
}

}  // namespace

const char* outcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Answered:
      return "answered";
    case Outcome::Corrupted:
      return "corrupted";
    case Outcome::Dropped:
      return "dropped";
    case Outcome::Silent:
      return "silent";
    case Outcome::OtherAddress:
      return "other address";
    case Outcome::UnknownCommand:
      return "unknown command";
    case Outcome::Aborted:
      return "aborted";
  }
  return "?";
}

std::string LogEntry::describe() const {
  char text[256];
  std::snprintf(text, sizeof text, "#%llu %s [%u %u] arg %lu (address %u) -> %s",
                static_cast<unsigned long long>(seq), commandName(command), index1, index2,
                static_cast<unsigned long>(argument), address, outcomeName(outcome));
  std::string s = text;
  if (noise) s += ", noise";
  if (split) s += ", split";
  if (paced) s += ", paced";
  if (lateMs > 0) s += ", late " + std::to_string(lateMs) + " ms";
  if (delayMs > lateMs) s += ", turnaround " + std::to_string(delayMs - lateMs) + " ms";
  return s;
}

Simulator::Simulator(MeterModel model, SimulatorOptions options)
    : model_(std::move(model)), options_(std::move(options)) {}

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
  // The integrator table is built on first use; build it now rather than
  // holding up the first integrator reply.
  historyTotalsAtEndOfDay(0);
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

std::size_t Simulator::publish(const LogEntry& entry) {
  std::size_t slot = 0;
  {
    std::lock_guard lock(mutex_);
    if (entry.seq != 0) stats_.requests = entry.seq;
    if (entry.outcome == Outcome::Answered || entry.outcome == Outcome::Corrupted)
      ++stats_.repliesSent;
    slot = log_.size();
    log_.push_back(entry);
  }
  changed_.notify_all();
  return slot;
}

void Simulator::record(LogEntry entry) {
  publish(entry);
  if (options_.onRequest) options_.onRequest(entry);
}

void Simulator::handleFrame(const Frame& frame) {
  LogEntry e;
  e.frame = ++frameCount_;
  e.request = frame;
  e.address = frame[1];
  e.command = frame[2];
  e.index1 = frame[3];
  e.index2 = frame[4];
  e.argument = getU32(&frame[5]);
  const FaultOptions f = faults();

  std::optional<Frame> reply;
  bool ours = false;
  {
    std::lock_guard lock(modelMutex_);
    ours = frame[1] == model_.address();
    if (ours) reply = model_.answer(frame);
  }
  if (!ours || !reply) {
    e.outcome = ours ? Outcome::UnknownCommand : Outcome::OtherAddress;
    record(std::move(e));
    return;
  }

  e.seq = ++requestCount_;
  if (f.silent) {
    e.outcome = Outcome::Silent;
  } else if (f.dropEvery != 0 && e.seq % f.dropEvery == 0) {
    e.outcome = Outcome::Dropped;
  } else {
    e.outcome = Outcome::Answered;
    if (f.corruptEvery != 0 && e.seq % f.corruptEvery == 0) {
      (*reply)[9] = static_cast<std::uint8_t>((*reply)[9] + 1);
      e.outcome = Outcome::Corrupted;
    }
    e.reply = reply;
    if (f.noise) {
      e.noise = true;
      e.sent = noiseBefore(*reply);
    }
    e.sent.insert(e.sent.end(), reply->begin(), reply->end());
    e.split = f.split;
    e.paced = f.pace;
    const bool late =
        f.lateAt != 0 ? e.seq == f.lateAt : (f.lateEvery == 0 || e.seq % f.lateEvery == 0);
    e.lateMs = late ? std::max(0, f.lateMs) : 0;
    e.delayMs = e.lateMs + std::max(0, f.turnaroundMs);

    // When each byte goes out.
    std::chrono::microseconds step{0};
    if (f.split) step += std::chrono::milliseconds(std::max(0, f.splitGapMs));
    if (f.pace) step += std::chrono::microseconds(10000000 / lineSpeed());
    const auto first = Clock::now() + std::chrono::milliseconds(e.delayMs);
    std::vector<Clock::time_point> when(e.sent.size());
    for (std::size_t i = 0; i < when.size(); ++i)
      when[i] = first + step * static_cast<long long>(i);
    // The entry is in the log before the first byte of the reply leaves, so
    // whoever has read a reply can count on finding its request logged.
    const std::size_t slot = publish(e);
    if (!sendAt(e.sent, when)) {
      e.outcome = Outcome::Aborted;
      {
        std::lock_guard lock(mutex_);
        log_[slot].outcome = Outcome::Aborted;
        --stats_.repliesSent;
      }
      changed_.notify_all();
    }
    if (options_.onRequest) options_.onRequest(e);
    return;
  }
  record(std::move(e));
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
    // A new call, or the call resumed: the meter starts from a clean slate.
    if (e.kind == ModemEventKind::Connect || e.kind == ModemEventKind::Online) receiver_.clear();
    // Logged before the answer goes out, as the meter's requests are.
    const std::string answer = e.answer;
    recordModem(std::move(e));
    if (!answer.empty())
      writeSome(reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size());
    if (stopping_) return false;
  }
  return true;
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
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline - now);
        timeout.tv_sec = static_cast<time_t>(left.count() / 1000000000);
        timeout.tv_nsec = static_cast<long>(left.count() % 1000000000);
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
      continue;
    }
    if (lineFd_ < 0) continue;
    bool trouble = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(lineFd_, buffer, sizeof buffer);
      if (n > 0) {
        trouble = false;
        const auto count = static_cast<std::size_t>(n);
        {
          std::lock_guard lock(mutex_);
          stats_.bytesReceived += count;
        }
        if (modem_) {
          std::vector<ModemStep> steps = modem_->receive(buffer, count, Clock::now());
          std::size_t passed = 0;
          for (const ModemStep& step : steps) passed += step.toMeter.size();
          {
            std::lock_guard lock(mutex_);
            stats_.modemBytes += count - passed;
          }
          if (!carryOut(std::move(steps))) return;
        } else if (!feedMeter(buffer, count)) {
          return;
        }
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        trouble = true;
      }
    }
    // A line that reports trouble without data (a device that went away):
    // do not spin on it.
    if (trouble && !waitUntil(Clock::now() + std::chrono::milliseconds(50))) return;
  }
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
