#include "link/qt_serial_line.h"

#include <QSerialPort>
#include <QThread>
#include <algorithm>

#include "link/port_text.h"

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace vardis {

namespace {

// Asks the driver to hand over received bytes at once instead of batching
// them; drivers that do not know the request are left as they are.
void askLowLatency([[maybe_unused]] QSerialPort& serial) {
#ifdef __linux__
  const int fd = static_cast<int>(serial.handle());
  if (fd < 0) return;
  serial_struct ss{};
  if (::ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
  if (ss.flags & ASYNC_LOW_LATENCY) return;
  ss.flags |= ASYNC_LOW_LATENCY;
  ::ioctl(fd, TIOCSSERIAL, &ss);
#endif
}

bool hardError(QSerialPort::SerialPortError e) {
  return e != QSerialPort::NoError && e != QSerialPort::TimeoutError;
}

}  // namespace

QtSerialLine::QtSerialLine() = default;
QtSerialLine::~QtSerialLine() = default;

bool QtSerialLine::openDevice(Wanted& w) {
  w.serial.reset();
  if (w.device.empty()) {
    lastOpenError_ = "no device for this port";
    return false;
  }
  auto serial = std::make_unique<QSerialPort>();
  serial->setPortName(QString::fromStdString(w.device));
  if (!serial->open(QIODevice::ReadWrite)) {
    lastOpenError_ = w.device + ": " + serial->errorString().toStdString();
    return false;
  }
  serial->setBaudRate(static_cast<qint32>(w.baud));
  serial->setDataBits(w.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8);
  serial->setParity(w.parity == 0 ? QSerialPort::NoParity : QSerialPort::EvenParity);
  serial->setStopBits(w.stopBits == 0 ? QSerialPort::OneStop : QSerialPort::TwoStop);
  serial->setFlowControl(QSerialPort::NoFlowControl);
  askLowLatency(*serial);
  lastOpenError_.clear();
  w.serial = std::move(serial);
  w.broken = false;
  return true;
}

void QtSerialLine::Open_Com(const PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                            std::uint8_t parity, std::uint8_t stopBits) {
  Close_Com(port);
  Wanted& w = ports_[port];
  w.device = deviceForPort(port);
  w.baud = baud;
  w.dataBits = dataBits;
  w.parity = parity;
  w.stopBits = stopBits;
  openDevice(w);
}

std::string QtSerialLine::openFailure(const PortName& port) const {
  const auto it = ports_.find(port);
  if (it == ports_.end()) return "the port was never opened";
  if (it->second.serial && it->second.serial->isOpen()) return {};
  return lastOpenError_.empty() ? "the port is not open" : lastOpenError_;
}

void QtSerialLine::Close_Com(const PortName& port) {
  const auto it = ports_.find(port);
  if (it == ports_.end()) return;
  if (it->second.serial && it->second.serial->isOpen()) it->second.serial->close();
  ports_.erase(it);
}

QSerialPort* QtSerialLine::ready(const PortName& port) {
  const auto it = ports_.find(port);
  if (it == ports_.end()) return nullptr;
  Wanted& w = it->second;
  if (w.serial && w.serial->isOpen() && !w.broken) return w.serial.get();
  // The device went away, or never opened: try it again now.
  if (w.serial && w.serial->isOpen()) w.serial->close();
  const bool hadOne = w.broken;
  if (!openDevice(w)) {
    w.broken = hadOne;
    return nullptr;
  }
  if (hadOne) ++reopens_;
  return w.serial.get();
}

void QtSerialLine::markBroken(const PortName& port) {
  const auto it = ports_.find(port);
  if (it != ports_.end()) it->second.broken = true;
}

void QtSerialLine::Send_Binary(const PortName& port, const std::uint8_t* data, std::size_t count) {
  QSerialPort* serial = ready(port);
  lastSendWent_ = serial != nullptr;
  if (!serial || count == 0) return;
  serial->write(reinterpret_cast<const char*>(data), static_cast<qint64>(count));
  // Push the bytes out now; the call returns without waiting for an answer.
  serial->flush();
  if (hardError(serial->error())) markBroken(port);
}

void QtSerialLine::waitIdle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    const int slice = std::min<int>(kWaitSliceMs, ms - static_cast<int>(timer.elapsed()));
    if (slice > 0) QThread::msleep(static_cast<unsigned long>(slice));
    breathe();
  }
}

// The bytes the port's buffer and the system hold now, without waiting.
std::uint16_t QtSerialLine::takeArrived(const PortName& port, QSerialPort& serial,
                                        std::uint8_t* buffer, std::uint16_t wanted) {
  std::uint16_t got = 0;
  for (int pull = 0; pull < 2 && got < wanted; ++pull) {
    const qint64 n = serial.read(reinterpret_cast<char*>(buffer) + got, wanted - got);
    if (n > 0) {
      if (got == 0) firstByteMicros_ = 0;
      got = static_cast<std::uint16_t>(got + n);
    }
    // What the system holds comes into the port's buffer without a wait.
    if (got < wanted && pull == 0 && !serial.waitForReadyRead(0) && hardError(serial.error())) {
      markBroken(port);
      break;
    }
  }
  return got;
}

std::uint16_t QtSerialLine::Receive_Binary(const PortName& port, std::uint8_t* buffer,
                                           std::uint16_t timeoutMs, std::uint16_t wanted,
                                           std::uint16_t* /*timeWord*/) {
  firstByteMicros_ = -1;
  QSerialPort* serial = ready(port);
  if (!serial) {
    // A port that is not there never answers; the caller still waits its time.
    waitIdle(timeoutMs);
    return 0;
  }
  if (timeoutMs == 0) return takeArrived(port, *serial, buffer, wanted);
  QElapsedTimer timer;
  timer.start();
  std::uint16_t got = 0;
  for (;;) {
    if (serial->bytesAvailable() > 0 && got < wanted) {
      const qint64 n = serial->read(reinterpret_cast<char*>(buffer) + got, wanted - got);
      if (n > 0) {
        if (got == 0) firstByteMicros_ = timer.nsecsElapsed() / 1000;
        got = static_cast<std::uint16_t>(got + n);
      }
    }
    if (got >= wanted) break;
    const qint64 left = timeoutMs - timer.elapsed();
    if (left <= 0) break;
    // A short wait (the drain before each request) is one piece: every extra
    // wake-up would cost the reading time; a longer one goes in slices.
    const int slice = static_cast<int>(left <= kWholeWaitMs ? left : kWaitSliceMs);
    QElapsedTimer waited;
    waited.start();
    const bool readable = serial->waitForReadyRead(slice);
    if (!readable && (hardError(serial->error()) || waited.elapsed() < slice / 2)) {
      // End of file or an error at once: the device is gone. Wait out the
      // time without spinning; the next exchange opens it again.
      markBroken(port);
      breathe();
      const qint64 rest = timeoutMs - timer.elapsed();
      if (rest > 0) waitIdle(static_cast<int>(rest));
      break;
    }
    breathe();
    const auto it = ports_.find(port);  // the breathe may have closed the port
    if (it == ports_.end() || it->second.serial.get() != serial || it->second.broken) {
      const qint64 rest = timeoutMs - timer.elapsed();
      if (rest > 0) waitIdle(static_cast<int>(rest));
      break;
    }
  }
  return got;
}

}  // namespace vardis
