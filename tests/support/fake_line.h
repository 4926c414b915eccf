// A scripted serial line on a virtual clock: a dead transaction costs no real time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/pc_clock.h"
#include "link/serial_line.h"

namespace vardis::test {

// A clock that moves only when the fake line waits.
class VirtualClock final : public PcClock {
 public:
  LocalDateTime now() const override {
    LocalDateTime t = base;
    const std::int64_t total = t.millisecond + ms;
    t.millisecond = static_cast<int>(total % 1000);
    std::int64_t secs = t.second + total / 1000;
    t.second = static_cast<int>(secs % 60);
    std::int64_t mins = t.minute + secs / 60;
    t.minute = static_cast<int>(mins % 60);
    t.hour = static_cast<int>((t.hour + mins / 60) % 24);  // days are not needed here
    return t;
  }
  std::int64_t steadyMs() const override { return ms; }
  void advance(std::int64_t d) { ms += d; }

  LocalDateTime base{2011, 4, 8, 9, 5, 7, 0};
  std::int64_t ms = 0;
};

// A reply chunk: bytes arriving `delayMs` after the request was sent.
struct Chunk {
  std::int64_t delayMs = 5;
  std::vector<std::uint8_t> bytes;
};

class FakeLine final : public SerialLine {
 public:
  // Decides what comes back for each frame sent; empty = silence.
  using Responder = std::function<std::vector<Chunk>(const std::vector<std::uint8_t>& sent)>;

  explicit FakeLine(VirtualClock& clock) : clock_(clock) {}

  void Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                std::uint8_t parity, std::uint8_t stopBits) override {
    calls.push_back("Open_Com(" + port + "," + std::to_string(baud) + "," +
                    std::to_string(dataBits) + "," + std::to_string(parity) + "," +
                    std::to_string(stopBits) + ")");
    open_[port] = true;
  }
  void Close_Com(const PortName& port) override {
    calls.push_back("Close_Com(" + port + ")");
    open_[port] = false;
  }
  std::string openFailure(const PortName& /*port*/) const override { return refuseOpen; }
  // Set: every port refuses to open, with this reason.
  std::string refuseOpen;
  bool lastSendWent() const override { return !portGone; }
  // The device went away: what is sent does not reach the line.
  bool portGone = false;
  void Send_Binary(const PortName& port, const std::uint8_t* data, std::size_t count) override {
    std::vector<std::uint8_t> bytes(data, data + count);
    sent.push_back(bytes);
    sentPorts.push_back(port);
    if (!responder) return;
    for (const Chunk& c : responder(bytes)) {
      std::int64_t at = clock_.ms + c.delayMs;
      for (std::uint8_t b : c.bytes) incoming_.push_back({at, b});
    }
  }
  std::uint16_t Receive_Binary(const PortName& port, std::uint8_t* buffer, std::uint16_t timeoutMs,
                               std::uint16_t wanted, std::uint16_t* /*timeWord*/) override {
    ++receiveCalls;
    receivePorts.push_back(port);
    receiveTimeouts.push_back(timeoutMs);
    const std::int64_t deadline = clock_.ms + timeoutMs;
    std::uint16_t got = 0;
    while (got < wanted) {
      // Wait in slices of at most 50 ms, letting the caller breathe.
      if (!incoming_.empty() && incoming_.front().at <= deadline) {
        const auto next = incoming_.front();
        while (clock_.ms + kBreatheSliceMs < next.at) stepTo(clock_.ms + kBreatheSliceMs);
        if (clock_.ms < next.at) stepTo(next.at);
        buffer[got++] = next.byte;
        incoming_.pop_front();
        continue;
      }
      while (clock_.ms < deadline) stepTo(std::min(deadline, clock_.ms + kBreatheSliceMs));
      break;
    }
    return got;
  }

  // Queues bytes that arrive at a given virtual time, unprompted.
  void inject(std::int64_t atMs, const std::vector<std::uint8_t>& bytes) {
    for (auto b : bytes) incoming_.push_back({atMs, b});
  }
  std::size_t pending() const { return incoming_.size(); }

  Responder responder;
  std::vector<std::string> calls;
  std::vector<std::vector<std::uint8_t>> sent;
  std::vector<PortName> sentPorts;
  std::vector<PortName> receivePorts;
  std::vector<std::uint16_t> receiveTimeouts;
  int receiveCalls = 0;
  int breatheCalls = 0;
  std::int64_t longestGapMs = 0;  // longest virtual wait between two breathes

 private:
  struct Incoming {
    std::int64_t at;
    std::uint8_t byte;
  };
  void stepTo(std::int64_t t) {
    clock_.ms = t;
    longestGapMs = std::max(longestGapMs, clock_.ms - lastBreathe_);
    lastBreathe_ = clock_.ms;
    ++breatheCalls;
    breathe();
  }

  VirtualClock& clock_;
  std::deque<Incoming> incoming_;
  std::map<PortName, bool> open_;
  std::int64_t lastBreathe_ = 0;
};

// A responder for a meter that answers every well-formed request with `value`
// in bytes 5..8 (and `seconds` in byte 3 for the clock).
inline FakeLine::Responder meterAnswering(std::function<std::uint32_t(const Frame&)> value,
                                          std::uint8_t seconds = 0) {
  return [value, seconds](const std::vector<std::uint8_t>& sent) -> std::vector<Chunk> {
    if (sent.size() != kFrameLength) return {};
    Frame req{};
    std::copy(sent.begin(), sent.end(), req.begin());
    const std::uint8_t b3 = req[2] == 1 ? seconds : req[3];
    const Frame reply = buildFrame(req[1], req[2], b3, req[4], value(req));
    return {Chunk{5, std::vector<std::uint8_t>(reply.begin(), reply.end())}};
  };
}

}  // namespace vardis::test
