// The serial line to the meter: the four operations of the closed serial-port
// library the tool was first built on, with the semantics the protocol relies on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vardis {

// Called while the caller waits, so the window can repaint and take clicks.
using Breathe = std::function<void()>;

// A port is named by its text: a decimal number n for the legacy port n
// (COMn on Windows, /dev/ttyS{n-1} elsewhere) or a device path.
using PortName = std::string;

class SerialLine {
 public:
  virtual ~SerialLine() = default;

  // Opens the port at the given speed, 8 data bits, no parity, one stop bit.
  // A port that does not open never answers; openFailure tells why.
  virtual void Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                        std::uint8_t parity, std::uint8_t stopBits) = 0;
  // Releases the port; harmless for a port that is not open, and when repeated.
  virtual void Close_Com(const PortName& port) = 0;
  // Puts the bytes on the line in order and returns without waiting for an answer.
  virtual void Send_Binary(const PortName& port, const std::uint8_t* data, std::size_t count) = 0;
  // Places received bytes at buffer[0..] in arrival order, leaves the rest of the
  // buffer untouched, and returns as soon as `wanted` bytes arrived or the time-out
  // passed. While it waits it runs the breathe callback at least every 50 ms.
  // A time-out of 0 takes only the bytes that have already arrived, at once.
  // The result is informational only (the number of bytes received here).
  virtual std::uint16_t Receive_Binary(const PortName& port, std::uint8_t* buffer,
                                       std::uint16_t timeoutMs, std::uint16_t wanted,
                                       std::uint16_t* timeWord) = 0;

  // Why the last Open_Com of this port did not open it, with the system's
  // reason ("/dev/ttyUSB9: No such file or directory"); "" when it is open or
  // the line cannot tell.
  virtual std::string openFailure(const PortName& /*port*/) const { return {}; }
  // Whether the last Send_Binary put its bytes on the line (false when the
  // port was not open and could not be opened again).
  virtual bool lastSendWent() const { return true; }

  void setBreathe(Breathe b) { breathe_ = std::move(b); }

 protected:
  void breathe() const {
    if (breathe_) breathe_();
  }

 private:
  Breathe breathe_;
};

// The longest the line waits without letting the window breathe.
inline constexpr int kBreatheSliceMs = 50;

}  // namespace vardis
