#include "link/qt_serial_line.h"

#include <QSerialPort>
#include <QThread>
#include <algorithm>

#include "link/port_text.h"

namespace vardis {

QtSerialLine::QtSerialLine() = default;
QtSerialLine::~QtSerialLine() = default;

QSerialPort* QtSerialLine::find(const PortName& port) const {
  const auto it = ports_.find(port);
  if (it == ports_.end() || !it->second->isOpen()) return nullptr;
  return it->second.get();
}

void QtSerialLine::Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                            std::uint8_t parity, std::uint8_t stopBits) {
  Close_Com(port);
  lastOpenError_.clear();
  const std::string device = deviceForPort(port);
  if (device.empty()) {
    lastOpenError_ = "no device for port " + port;
    return;
  }
  auto serial = std::make_unique<QSerialPort>();
  serial->setPortName(QString::fromStdString(device));
  if (!serial->open(QIODevice::ReadWrite)) {
    lastOpenError_ = device + ": " + serial->errorString().toStdString();
    return;
  }
  serial->setBaudRate(static_cast<qint32>(baud));
  serial->setDataBits(dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8);
  serial->setParity(parity == 0 ? QSerialPort::NoParity : QSerialPort::EvenParity);
  serial->setStopBits(stopBits == 0 ? QSerialPort::OneStop : QSerialPort::TwoStop);
  serial->setFlowControl(QSerialPort::NoFlowControl);
  ports_[port] = std::move(serial);
}

void QtSerialLine::Close_Com(const PortName& port) {
  const auto it = ports_.find(port);
  if (it == ports_.end()) return;
  if (it->second->isOpen()) it->second->close();
  ports_.erase(it);
}

void QtSerialLine::Send_Binary(const PortName& port, const std::uint8_t* data, std::size_t count) {
  QSerialPort* serial = find(port);
  if (!serial || count == 0) return;
  serial->write(reinterpret_cast<const char*>(data), static_cast<qint64>(count));
  // Push the bytes out now; the call returns without waiting for an answer.
  serial->waitForBytesWritten(0);
  serial->flush();
}

void QtSerialLine::waitIdle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    const int slice = std::min<int>(kBreatheSliceMs, ms - static_cast<int>(timer.elapsed()));
    if (slice > 0) QThread::msleep(static_cast<unsigned long>(slice));
    breathe();
  }
}

std::uint16_t QtSerialLine::Receive_Binary(const PortName& port, std::uint8_t* buffer,
                                           std::uint16_t timeoutMs, std::uint16_t wanted,
                                           std::uint16_t* /*timeWord*/) {
  QSerialPort* serial = find(port);
  if (!serial) {
    // A port that is not open never answers; the caller still waits its time.
    waitIdle(timeoutMs);
    return 0;
  }
  QElapsedTimer timer;
  timer.start();
  std::uint16_t got = 0;
  for (;;) {
    if (serial->bytesAvailable() > 0 && got < wanted) {
      const qint64 n = serial->read(reinterpret_cast<char*>(buffer) + got, wanted - got);
      if (n > 0) got = static_cast<std::uint16_t>(got + n);
    }
    if (got >= wanted) break;
    const qint64 left = timeoutMs - timer.elapsed();
    if (left <= 0) break;
    const int slice = static_cast<int>(std::min<qint64>(left, kBreatheSliceMs));
    QElapsedTimer waited;
    waited.start();
    if (!serial->waitForReadyRead(slice) && waited.elapsed() < slice / 2) {
      // The port reports an error at once (a vanished adapter): do not spin.
      QThread::msleep(static_cast<unsigned long>(slice - waited.elapsed()));
    }
    breathe();
    serial = find(port);  // the breathe may have closed the port
    if (!serial) {
      const qint64 rest = timeoutMs - timer.elapsed();
      if (rest > 0) waitIdle(static_cast<int>(rest));
      break;
    }
  }
  return got;
}

}  // namespace vardis
