// The meter's side of the simulator: a request frame to its reply, shaped by
// the faults and sent on time, and the request log.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace vardis::sim {

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

// Parameter 0 as the whole number it is meant to be.
std::uint32_t serialNumberOf(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 4294967295.0f) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(std::lround(value));
}

// A log entry with the fields of the request filled in.
LogEntry entryFor(const Frame& frame) {
  LogEntry e;
  e.request = frame;
  e.address = frame[1];
  e.command = frame[2];
  e.index1 = frame[3];
  e.index2 = frame[4];
  e.argument = getU32(&frame[5]);
  return e;
}

// A request that gets its reply: what the faults make of the reply (a wrong
// checksum, noise in front) and of its sending (split, paced, late).
void shapeReply(LogEntry& e, Frame reply, const FaultOptions& f) {
  e.outcome = Outcome::Answered;
  const bool aimed = f.corruptAt != 0 && e.seq >= f.corruptAt && e.seq - f.corruptAt < f.corruptRun;
  if ((f.corruptEvery != 0 && e.seq % f.corruptEvery == 0) || aimed) {
    reply[9] = static_cast<std::uint8_t>(reply[9] + 1);
    e.outcome = Outcome::Corrupted;
  }
  e.reply = reply;
  if (f.noise) {
    e.noise = true;
    e.sent = noiseBefore(reply);
  }
  e.sent.insert(e.sent.end(), reply.begin(), reply.end());
  e.split = f.split;
  e.paced = f.pace;
  const bool late =
      f.lateAt != 0 ? e.seq == f.lateAt : (f.lateEvery == 0 || e.seq % f.lateEvery == 0);
  e.lateMs = late ? std::max(0, f.lateMs) : 0;
  e.delayMs = e.lateMs + std::max(0, f.turnaroundMs);
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
    case Outcome::TooSoon:
      return "too soon";
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
  if (!number.empty()) {
    s += "; number " + number + ", meter " + std::to_string(serial) + ", call " +
         std::to_string(call);
  }
  return s;
}

std::size_t Simulator::publish(const LogEntry& entry) {
  std::size_t slot = 0;
  {
    std::lock_guard lock(mutex_);
    if (entry.seq != 0) ++stats_.requests;
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
  LogEntry e = entryFor(frame);
  e.frame = ++frameCount_;
  const FaultOptions f = faults();

  Meter& meter = meters_[current_];
  e.call = callId_;
  e.number = meter.number;
  std::optional<Frame> reply;
  bool ours = false;
  {
    std::lock_guard lock(modelMutex_);
    e.serial = serialNumberOf(meter.model.parameter(0));
    ours = frame[1] == meter.model.address();
    if (ours) reply = meter.model.answer(frame);
  }
  if (!ours || !reply) {
    e.outcome = ours ? Outcome::UnknownCommand : Outcome::OtherAddress;
    record(std::move(e));
    return;
  }
  if (f.minGapMs > 0 && meter.lastReplyEnd &&
      Clock::now() - *meter.lastReplyEnd < std::chrono::milliseconds(f.minGapMs)) {
    e.outcome = Outcome::TooSoon;
    record(std::move(e));
    return;
  }

  e.seq = ++meter.requests;
  if (f.silent) {
    e.outcome = Outcome::Silent;
  } else if (f.dropEvery != 0 && e.seq % f.dropEvery == 0) {
    e.outcome = Outcome::Dropped;
  } else {
    shapeReply(e, *reply, f);
    sendReply(std::move(e), f);
    return;
  }
  record(std::move(e));
}

void Simulator::sendReply(LogEntry e, const FaultOptions& f) {
  // When each byte goes out.
  std::chrono::microseconds step{0};
  if (f.split) step += std::chrono::milliseconds(std::max(0, f.splitGapMs));
  if (f.pace) step += std::chrono::microseconds(10000000 / lineSpeed());
  const auto first = Clock::now() + std::chrono::milliseconds(e.delayMs);
  std::vector<Clock::time_point> when(e.sent.size());
  for (std::size_t i = 0; i < when.size(); ++i) when[i] = first + step * static_cast<long long>(i);
  // The entry is in the log before the first byte of the reply leaves, so
  // whoever has read a reply can count on finding its request logged.
  const std::size_t slot = publish(e);
  const bool sent = sendAt(e.sent, when);
  meters_[current_].lastReplyEnd = Clock::now();
  if (!sent) {
    e.outcome = Outcome::Aborted;
    {
      std::lock_guard lock(mutex_);
      log_[slot].outcome = Outcome::Aborted;
      --stats_.repliesSent;
    }
    changed_.notify_all();
  }
  if (options_.onRequest) options_.onRequest(e);
}

}  // namespace vardis::sim
