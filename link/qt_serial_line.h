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
  QtSerialLine();
  ~QtSerialLine() override;

  void Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                std::uint8_t parity, std::uint8_t stopBits) override;
  void Close_Com(const PortName& port) override;
  void Send_Binary(const PortName& port, const std::uint8_t* data, std::size_t count) override;
  std::uint16_t Receive_Binary(const PortName& port, std::uint8_t* buffer, std::uint16_t timeoutMs,
                               std::uint16_t wanted, std::uint16_t* timeWord) override;

  // The last reason a port did not open, for the user ("" when it did).
  const std::string& lastOpenError() const { return lastOpenError_; }

 private:
  QSerialPort* find(const PortName& port) const;
  void waitIdle(int ms);

  std::map<PortName, std::unique_ptr<QSerialPort>> ports_;
  std::string lastOpenError_;
};

}  // namespace vardis
