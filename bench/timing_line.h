// A serial line that times the exchanges going through the real one.
//
// The protocol runs every exchange as drain read, send, reply read; this line
// takes a read before a send as the drain and the read after it as the reply,
// and keeps one record per exchange with the moments of the four steps.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "link/serial_line.h"

namespace vardis::bench {

using Clock = std::chrono::steady_clock;

struct ExchangeTimes {
  std::uint16_t drainTimeoutMs = 0;
  std::uint16_t replyGot = 0;
  Clock::time_point drainStart, drainEnd;
  Clock::time_point sendStart, sendEnd;
  Clock::time_point replyStart, replyEnd;
  // From the start of the reply read to its first byte; -1: nothing came.
  std::int64_t firstByteMicros = -1;
};

class TimingLine final : public SerialLine {
 public:
  // `firstByteMicros` tells, after a read on `line`, how long it waited for
  // the first byte (-1: none came).
  TimingLine(SerialLine& line, std::function<std::int64_t()> firstByteMicros)
      : line_(line), firstByteMicros_(std::move(firstByteMicros)) {}

  void Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                std::uint8_t parity, std::uint8_t stopBits) override {
    line_.Open_Com(port, baud, dataBits, parity, stopBits);
  }
  void Close_Com(const PortName& port) override { line_.Close_Com(port); }

  void Send_Binary(const PortName& port, const std::uint8_t* data, std::size_t count) override {
    current_.sendStart = Clock::now();
    line_.Send_Binary(port, data, count);
    current_.sendEnd = Clock::now();
    sent_ = true;
  }

  std::uint16_t Receive_Binary(const PortName& port, std::uint8_t* buffer, std::uint16_t timeoutMs,
                               std::uint16_t wanted, std::uint16_t* timeWord) override {
    const Clock::time_point start = Clock::now();
    const std::uint16_t got = line_.Receive_Binary(port, buffer, timeoutMs, wanted, timeWord);
    const Clock::time_point end = Clock::now();
    if (!sent_) {
      current_ = ExchangeTimes{};
      current_.drainTimeoutMs = timeoutMs;
      current_.drainStart = start;
      current_.drainEnd = end;
      return got;
    }
    sent_ = false;
    current_.replyStart = start;
    current_.replyEnd = end;
    current_.replyGot = got;
    current_.firstByteMicros = firstByteMicros_();
    if (recording_) exchanges_.push_back(current_);
    return got;
  }

  // Exchanges are kept only while recording.
  void setRecording(bool on) { recording_ = on; }
  void reserve(std::size_t n) { exchanges_.reserve(n); }
  const std::vector<ExchangeTimes>& exchanges() const { return exchanges_; }

 private:
  SerialLine& line_;
  std::function<std::int64_t()> firstByteMicros_;
  ExchangeTimes current_;
  bool sent_ = false;
  bool recording_ = false;
  std::vector<ExchangeTimes> exchanges_;
};

}  // namespace vardis::bench
