// The window on the real serial line against the simulated meter on a
// pseudo-terminal: "Старт" with "gsm", "Стоп" twice, a bad port text, and a
// meter that never answers: the status line keeps refreshing through a dead
// exchange, and "Стоп" ends the command after it.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "app/kros.h"
#include "link/qt_serial_line.h"
#include "support/pty_meter.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

namespace {

using vardis::test::TestForm;

// The status line refreshes every 200 ms, and at least every 250 ms however
// long an exchange waits.
constexpr qint64 kLongestGapMs = 250;

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

// The window shown, on the real line to a simulated meter.
struct WindowOnMeter {
  explicit WindowOnMeter(const vardis::sim::FaultOptions& faults = {})
      : meter(faults), port(QString::fromStdString(meter.simulator->portPath())) {
    config.dataDir = dir.path();
    form = std::make_unique<TestForm>(line, *clock, config);
    form->show();
  }
  vardis::test::PtyMeter meter;
  QString port;
  RecordingLine line;
  std::unique_ptr<vardis::PcClock> clock = vardis::makeSystemClock();
  vardis::test::TempDir dir;
  vardis::SessionConfig config;
  std::unique_ptr<TestForm> form;
};

}  // namespace

class BusyTest : public QObject {
  Q_OBJECT

 private slots:
  void startWithGsmSendsNothingAndStopTwiceClosesOnce() {
    WindowOnMeter w;
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    TestForm& form = *w.form;
    RecordingLine& line = w.line;
    const QString& port = w.port;

    form.setConnectionChoice(port, 8, QStringLiteral("0"));
    form.CheckBox2->setChecked(true);
    line.calls.clear();
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QVERIFY(form.errors.isEmpty());
    QVERIFY2(line.lastOpenError.empty(), line.lastOpenError.c_str());
    QCOMPARE(
        std::count(line.calls.begin(), line.calls.end(), "Open_Com(" + port.toStdString() + ")"),
        1);
    // Nothing went to the meter: the call is to be dialled first.
    QCOMPARE(line.sends, 0);
    QCOMPARE(w.meter.simulator->stats().bytesReceived, std::uint64_t{0});
    QVERIFY(!form.session().reports.ReportFilesOpen);
    QVERIFY(!form.Button13->isEnabled());
    QVERIFY(form.Button14->isEnabled());

    line.calls.clear();
    QTest::mouseClick(form.Button14, Qt::LeftButton);
    QTest::mouseClick(form.Button14, Qt::LeftButton);
    QCOMPARE(line.calls, std::vector<std::string>{"Close_Com(" + port.toStdString() + ")"});
    QVERIFY(form.Button13->isEnabled());
    QVERIFY(!form.Button14->isEnabled());
    QVERIFY(!form.Timer1->isActive());
  }

  void badPortTextOpensNothing() {
    WindowOnMeter w;
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    TestForm& form = *w.form;
    RecordingLine& line = w.line;

    form.setConnectionChoice(QStringLiteral("abc"), 8, QStringLiteral("0"));
    line.calls.clear();
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QCOMPARE(form.errors, QStringList{QStringLiteral("'abc' is not a valid integer value")});
    QVERIFY(form.Button13->isEnabled());
    QVERIFY(!form.Button14->isEnabled());
    for (const auto& call : line.calls) QVERIFY2(!call.starts_with("Open_Com"), call.c_str());
    QCOMPARE(line.sends, 0);
    QCOMPARE(w.meter.simulator->stats().bytesReceived, std::uint64_t{0});
  }

  void statusRefreshesDuringADeadExchangeAndStopEndsIt() {
    vardis::sim::FaultOptions silent;
    silent.silent = true;
    WindowOnMeter w(silent);
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    TestForm& form = *w.form;
    RecordingLine& line = w.line;
    const QString& port = w.port;

    form.setConnectionChoice(port, 8, QStringLiteral("0"));
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
    QCOMPARE(line.calls, std::vector<std::string>{"Close_Com(" + port.toStdString() + ")"});
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
