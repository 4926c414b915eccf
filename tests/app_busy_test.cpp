// The window on a real serial line whose far end never answers: the status line
// keeps refreshing through a dead exchange, and "Стоп" ends the command after it.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "app/kros.h"
#include "link/qt_serial_line.h"
#include "support/temp_dir.h"

namespace {

// The status line refreshes every 200 ms, and at least every 250 ms however
// long an exchange waits.
constexpr qint64 kLongestGapMs = 250;

// A pseudo-terminal whose master side nobody reads or writes.
class SilentPty {
 public:
  SilentPty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      if (const char* name = ::ptsname(master_)) path_ = QString::fromLocal8Bit(name);
    }
  }
  ~SilentPty() {
    if (master_ >= 0) ::close(master_);
  }
  SilentPty(const SilentPty&) = delete;
  SilentPty& operator=(const SilentPty&) = delete;
  const QString& path() const { return path_; }

 private:
  int master_ = -1;
  QString path_;
};

// The real serial line, with its calls counted.
class RecordingLine final : public vardis::SerialLine {
 public:
  RecordingLine() {
    inner_.setBreathe([this] { breathe(); });
  }
  void Open_Com(const vardis::PortName& port, std::uint32_t baud, std::uint8_t dataBits,
                std::uint8_t parity, std::uint8_t stopBits) override {
    calls.push_back("Open_Com(" + port + ")");
    inner_.Open_Com(port, baud, dataBits, parity, stopBits);
    lastOpenError = inner_.lastOpenError();
  }
  void Close_Com(const vardis::PortName& port) override {
    calls.push_back("Close_Com(" + port + ")");
    inner_.Close_Com(port);
  }
  void Send_Binary(const vardis::PortName& port, const std::uint8_t* data,
                   std::size_t count) override {
    ++sends;
    inner_.Send_Binary(port, data, count);
  }
  std::uint16_t Receive_Binary(const vardis::PortName& port, std::uint8_t* buffer,
                               std::uint16_t timeoutMs, std::uint16_t wanted,
                               std::uint16_t* timeWord) override {
    return inner_.Receive_Binary(port, buffer, timeoutMs, wanted, timeWord);
  }

  std::vector<std::string> calls;
  std::string lastOpenError;
  int sends = 0;

 private:
  vardis::QtSerialLine inner_;
};

class TestForm : public TForm1 {
 public:
  using TForm1::TForm1;
  QStringList errors;

 protected:
  void showError(const QString& text) override { errors << text; }
};

}  // namespace

class BusyTest : public QObject {
  Q_OBJECT

 private slots:
  void statusRefreshesDuringADeadExchangeAndStopEndsIt() {
    SilentPty pty;
    QVERIFY(!pty.path().isEmpty());
    RecordingLine line;
    const auto clock = vardis::makeSystemClock();
    vardis::test::TempDir dir;
    vardis::SessionConfig config;
    config.dataDir = dir.path();
    TestForm form(line, *clock, config);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    form.setConnectionChoice(pty.path(), 8, QStringLiteral("0"));
    form.CheckBox2->setChecked(true);
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QVERIFY(form.errors.isEmpty());
    QVERIFY2(line.lastOpenError.empty(), line.lastOpenError.c_str());
    QVERIFY(form.Timer1->isActive());

    QElapsedTimer clockOnWall;
    clockOnWall.start();
    std::vector<qint64> refreshes;
    connect(&form, &TForm1::statusRefreshed, &form,
            [&] { refreshes.push_back(clockOnWall.elapsed()); });
    qint64 clickAt = -1;
    int sendsAtClick = -1;
    QTimer::singleShot(1000, &form, [&] {
      clickAt = clockOnWall.elapsed();
      sendsAtClick = line.sends;
      QTest::mouseClick(form.Button14, Qt::LeftButton);
    });

    line.calls.clear();
    int transactions = 0;
    const qint64 startAt = clockOnWall.elapsed();
    form.runMeterCommand([&] {
      for (int i = 0; i < 3; ++i) {
        form.session().link.ReadParameterTransaction();
        ++transactions;
      }
    });
    const qint64 endAt = clockOnWall.elapsed();

    // "Стоп" came during the first exchange and ended the command after it.
    QVERIFY(clickAt >= 0);
    QCOMPARE(sendsAtClick, 1);
    QCOMPARE(line.sends, 1);
    QCOMPARE(transactions, 0);
    QVERIFY2(endAt - clickAt <= vardis::kReplyWaitMs + 500,
             qPrintable(QStringLiteral("%1 ms after the click").arg(endAt - clickAt)));
    QVERIFY(form.errors.isEmpty());

    // The stop itself followed.
    QCOMPARE(line.calls, std::vector<std::string>{"Close_Com(" + pty.path().toStdString() + ")"});
    QVERIFY(form.Button13->isEnabled());
    QVERIFY(!form.Button14->isEnabled());
    QVERIFY(!form.Timer1->isActive());

    // The 200 ms refresh went on through the dead exchange.
    std::vector<qint64> during;
    for (qint64 at : refreshes) {
      if (at >= startAt && at <= endAt) during.push_back(at);
    }
    QVERIFY2(during.size() >= static_cast<std::size_t>((endAt - startAt) / kLongestGapMs),
             qPrintable(
                 QStringLiteral("%1 refreshes in %2 ms").arg(during.size()).arg(endAt - startAt)));
    std::vector<qint64> gaps;
    qint64 previous = startAt;
    for (qint64 at : during) {
      gaps.push_back(at - previous);
      previous = at;
    }
    gaps.push_back(endAt - previous);
    const qint64 longest = *std::max_element(gaps.begin(), gaps.end());
    qInfo("%d refreshes in %lld ms, the longest gap %lld ms", int(during.size()), endAt - startAt,
          longest);
    QVERIFY2(longest <= kLongestGapMs, qPrintable(QStringLiteral("a gap of %1 ms").arg(longest)));
  }
};

QTEST_MAIN(BusyTest)
#include "app_busy_test.moc"
