// The window's dial on the real serial line to a simulated modem with a
// number that is busy: "Соединится" reads the modem's answer, shows it in the
// call status at once, hangs up and asks the meter nothing.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <memory>

#include "app/kros.h"
#include "connection/data_dir.h"
#include "link/qt_serial_line.h"
#include "sim/simulator.h"
#include "support/temp_dir.h"

namespace {

using vardis::sim::ModemEventKind;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kPhone = "+79000000001";

class TestForm : public TForm1 {
 public:
  using TForm1::TForm1;
  QStringList errors;

 protected:
  void showError(const QString& text) override { errors << text; }
};

// A modem whose one number is busy on every call, with a meter behind it.
std::unique_ptr<vardis::sim::Simulator> busyModem() {
  vardis::sim::CallFaults busy;
  busy.busyCalls = vardis::sim::kEveryCall;
  std::vector<vardis::sim::NumberedMeter> meters;
  meters.push_back({{kPhone, busy}, vardis::sim::MeterModel()});
  vardis::sim::SimulatorOptions options;
  options.speed = 115200;
  options.modem.connectDelayMs = 100;
  auto sim = std::make_unique<vardis::sim::Simulator>(std::move(meters), options);
  sim->start();
  return sim;
}

// The first modem event of a kind, if any.
std::optional<vardis::sim::ModemEvent> firstEvent(const vardis::sim::Simulator& sim,
                                                  ModemEventKind kind) {
  for (const auto& e : sim.modemLog()) {
    if (e.kind == kind) return e;
  }
  return std::nullopt;
}

}  // namespace

class ModemAnswerTest : public QObject {
  Q_OBJECT

 private slots:
  void busyIsShownAtOnceAndNoMeterRequestFollows() {
    const auto modem = busyModem();
    vardis::test::TempDir dir;
    std::filesystem::create_directories(vardis::reportDir(dir.path()));
    vardis::QtSerialLine line;
    const auto clock = vardis::makeSystemClock();
    vardis::SessionConfig config;
    config.dataDir = dir.path();
    TestForm form(line, *clock, config);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    form.setConnectionChoice(QString::fromStdString(modem->portPath()), 8, QStringLiteral("0"));
    form.CheckBox2->setChecked(true);
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));

    form.Edit1->setText(QString::fromLatin1("ATD") + QString::fromLatin1(kPhone));
    QTest::mouseClick(form.Button7, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    QCOMPARE(form.Label47->text(), QString::fromUtf8("Соединение ~30c"));
    QVERIFY(form.Timer2->isActive());

    // The modem says BUSY at once; the window shows it within a second.
    QVERIFY(modem->waitForModemEvent(ModemEventKind::Busy, 1, std::chrono::seconds(5)));
    SteadyClock::time_point shownAt{};
    QVERIFY(QTest::qWaitFor(
        [&] {
          if (form.Label47->text() != QStringLiteral("BUSY")) return false;
          shownAt = SteadyClock::now();
          return true;
        },
        5000));
    const auto busy = firstEvent(*modem, ModemEventKind::Busy);
    QVERIFY(busy);
    const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(shownAt - busy->at);
    QVERIFY2(late < std::chrono::seconds(1),
             qPrintable(QStringLiteral("BUSY shown %1 ms after the modem said it")
                            .arg(static_cast<qint64>(late.count()))));
    QCOMPARE(form.session().shown().callStatus, std::string("BUSY"));
    QVERIFY(!form.Timer2->isActive());
    QVERIFY(!form.ModemAnswerTimer->isActive());

    // The window hangs up; the meter was asked nothing, and its 35 s wait will
    // not ask it anything later.
    QVERIFY(modem->waitForModemEvent(ModemEventKind::HangUp, 1, std::chrono::seconds(5)));
    QVERIFY(form.errors.isEmpty());
    QVERIFY(modem->log().empty());
    QCOMPARE(modem->stats().framesReceived, std::uint64_t{0});
    const auto events = modem->modemLog();
    QCOMPARE(events.size(), std::size_t{3});
    QCOMPARE(events[0].kind, ModemEventKind::Dial);
    QCOMPARE(events[0].text, std::string("ATD") + kPhone);
    QCOMPARE(events[1].kind, ModemEventKind::Busy);
    QCOMPARE(events[2].kind, ModemEventKind::HangUp);

    QTest::mouseClick(form.Button14, Qt::LeftButton);
  }
};

QTEST_MAIN(ModemAnswerTest)
#include "app_modem_answer_test.moc"
