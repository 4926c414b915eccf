// The least a serial line can do on this system: wait, read and write on the
// device, nothing else. The benchmark runs the same reading over it to tell
// what the pseudo-terminal, the scheduler and the simulated meter cost from
// what the tool's own line adds.
#pragma once

#include <chrono>
#include <cstdint>

#include "link/serial_line.h"

namespace vardis::bench {

class PlainLine final : public SerialLine {
 public:
  PlainLine() = default;
  ~PlainLine() override;
  PlainLine(const PlainLine&) = delete;
  PlainLine& operator=(const PlainLine&) = delete;

  // `port` is a device path; raw 8N1 at `baud`.
  void Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                std::uint8_t parity, std::uint8_t stopBits) override;
  void Close_Com(const PortName& port) override;
  void Send_Binary(const PortName& port, const std::uint8_t* data, std::size_t count) override;
  // Waits in one select() for the whole time left; no breathing.
  std::uint16_t Receive_Binary(const PortName& port, std::uint8_t* buffer, std::uint16_t timeoutMs,
                               std::uint16_t wanted, std::uint16_t* timeWord) override;

  std::int64_t lastFirstByteMicros() const { return firstByteMicros_; }

 private:
  int fd_ = -1;
  std::int64_t firstByteMicros_ = -1;
};

}  // namespace vardis::bench
