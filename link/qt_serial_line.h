// The serial line on QSerialPort.
#pragma once

#include <QElapsedTimer>
#include <map>
#include <memory>

#include "link/serial_line.h"

class QSerialPort;

namespace vardis {

class QtSerialLine final : public SerialLine {
 public:
  // How long one wait for bytes lasts before the window breathes: well inside
  // the 50 ms the line promises, so the window's 200 ms status refresh is never
  // held back by much more than a whole wait.
  static constexpr int kWaitSliceMs = 20;
  // A wait of up to this long is made in one piece.
  static constexpr int kWholeWaitMs = 30;

  QtSerialLine();
  ~QtSerialLine() override;

  void Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                std::uint8_t parity, std::uint8_t stopBits) override;
  void Close_Com(const PortName& port) override;
  void Send_Binary(const PortName& port, const std::uint8_t* data, std::size_t count) override;
  std::uint16_t Receive_Binary(const PortName& port, std::uint8_t* buffer, std::uint16_t timeoutMs,
                               std::uint16_t wanted, std::uint16_t* timeWord) override;

  std::string openFailure(const PortName& port) const override;
  bool lastSendWent() const override { return lastSendWent_; }

  // The last reason a port did not open, for the user ("" when it did).
  const std::string& lastOpenError() const { return lastOpenError_; }
  // How often a vanished device was opened again.
  int reopenCount() const { return reopens_; }
  // Time from the start of the last Receive_Binary to its first byte, in
  // microseconds; -1 when nothing arrived. For the speed benchmark.
  std::int64_t lastFirstByteMicros() const { return firstByteMicros_; }

 private:
  // A port the user opened: it stays wanted until closed, so a device that
  // vanishes (an unplugged USB adapter) is opened again before the next exchange.
  struct Wanted {
    std::string device;
    std::uint32_t baud = 9600;
    std::uint8_t dataBits = 8, parity = 0, stopBits = 0;
    std::unique_ptr<QSerialPort> serial;
    bool broken = false;
  };

  bool openDevice(Wanted& w);
  // The open port for an exchange, reopening a broken one; nullptr when the
  // device cannot be had now.
  QSerialPort* ready(const PortName& port);
  void markBroken(const PortName& port);
  std::uint16_t takeArrived(const PortName& port, QSerialPort& serial, std::uint8_t* buffer,
                            std::uint16_t wanted);
  void waitIdle(int ms);

  std::map<PortName, Wanted> ports_;
  std::string lastOpenError_;
  bool lastSendWent_ = true;
  int reopens_ = 0;
  std::int64_t firstByteMicros_ = -1;
};

}  // namespace vardis
