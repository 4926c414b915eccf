// The window's dial on the real serial line to a simulated modem: a busy
// number's answer is shown at once, hung up, and the meter is asked nothing;
// the "OK" the modem gives to a hang-up is never taken for the next dial's
// answer, so each later dial identifies the meter it reached.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "connection/data_dir.h"
#include "link/qt_serial_line.h"
#include "sim/simulator.h"
#include "support/line_window.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

namespace {

using vardis::sim::ModemEventKind;
using vardis::test::TestForm;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kPhone = "+79000000001";

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

// Three numbers: the first busy on every call, a meter of its own behind each
// of the other two (serial numbers 20002 and 20003).
std::unique_ptr<vardis::sim::Simulator> threeNodes() {
  std::vector<vardis::sim::NumberedMeter> meters;
  for (int node = 1; node <= 3; ++node) {
    vardis::sim::CallFaults faults;
    if (node == 1) faults.busyCalls = vardis::sim::kEveryCall;
    vardis::sim::MeterModel meter;
    meter.pinParameter(0, static_cast<float>(20000 + node));
    meters.push_back({{"+7900000000" + std::to_string(node), faults}, std::move(meter)});
  }
  vardis::sim::SimulatorOptions options;
  options.speed = 115200;
  options.modem.connectDelayMs = 100;
  options.modem.guardMs = 50;
  auto sim = std::make_unique<vardis::sim::Simulator>(std::move(meters), options);
  sim->start();
  return sim;
}

// Every call status the session shows, in order, passed on to the window.
class CallStatuses final : public vardis::SessionObserver {
 public:
  explicit CallStatuses(vardis::Session& s) : session_(s), window_(s.observer()) {
    session_.setObserver(this);
  }
  ~CallStatuses() override { session_.setObserver(&window_); }
  std::vector<std::string> shown;

  void callStatusChanged(const std::string& t) override {
    shown.push_back(t);
    window_.callStatusChanged(t);
  }
  void connectionStarted() override { window_.connectionStarted(); }
  void memoLine(const std::string& l) override { window_.memoLine(l); }
  void progressChanged(int p) override { window_.progressChanged(p); }
  void operationStatusChanged(const std::string& t) override { window_.operationStatusChanged(t); }
  void startStampChanged(const std::string& t) override { window_.startStampChanged(t); }
  void reportBaseNameChanged(const std::string& t) override { window_.reportBaseNameChanged(t); }
  void identificationCountChanged(const std::string& t) override {
    window_.identificationCountChanged(t);
  }
  void deviceClockChanged(const std::string& d, const std::string& t) override {
    window_.deviceClockChanged(d, t);
  }
  void valueCaptionChanged(const std::string& q, const std::string& t) override {
    window_.valueCaptionChanged(q, t);
  }
  void identificationEnded() override { window_.identificationEnded(); }

 private:
  vardis::Session& session_;
  vardis::SessionObserver& window_;
};

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
    vardis::test::LineWindow w;
    TestForm& form = *w.form;
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

  // BUSY, then a dial that connects, "Разорвать связь", and a third dial: the
  // modem's "OK" to each hang-up stays on the line, yet each connecting dial
  // identifies the meter of the number it dialled.
  void eachDialAfterAHangUpIdentifiesTheMeterItReached() {
    const auto modem = threeNodes();
    vardis::test::LineWindow w;
    TestForm& form = *w.form;
    CallStatuses statuses(form.session());
    form.Timer3->setInterval(300);  // the modem's guard time is 50 ms
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.setConnectionChoice(QString::fromStdString(modem->portPath()), 8, QStringLiteral("0"));
    form.CheckBox2->setChecked(true);
    QTest::mouseClick(form.Button13, Qt::LeftButton);

    form.Edit1->setText(QStringLiteral("ATD+79000000001"));
    QTest::mouseClick(form.Button7, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(form.Label47->text(), QStringLiteral("BUSY"), 5000);
    QVERIFY(modem->waitForModemEvent(ModemEventKind::HangUp, 1, std::chrono::seconds(5)));

    const auto dialAndIdentify = [&](const char* number, const QString& serial) {
      form.Edit1->setText(QString::fromLatin1("ATD") + QString::fromLatin1(number));
      QTest::mouseClick(form.Button7, Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(form.Edit2->text().startsWith(serial + 'D'), 15000);
      QTRY_VERIFY_WITH_TIMEOUT(form.Button8->isEnabled(), 15000);  // the identification ended
    };
    dialAndIdentify("+79000000002", QStringLiteral("20002"));
    if (QTest::currentTestFailed()) return;

    // The user's pause before the click: the modem takes "+++" only after its
    // guard time (50 ms) of silence on the line.
    QTest::qWait(150);
    QTest::mouseClick(form.Button8, Qt::LeftButton);
    // Timer3 sends "ATH" from the event loop: the wait lets it run.
    const auto hangUps = [&] {
      const auto events = modem->modemLog();
      return std::count_if(events.begin(), events.end(),
                           [](const auto& e) { return e.kind == ModemEventKind::HangUp; });
    };
    QTRY_COMPARE_WITH_TIMEOUT(hangUps(), 2, 5000);
    QCOMPARE(form.Label47->text(), QString::fromUtf8("Завершено"));

    dialAndIdentify("+79000000003", QStringLiteral("20003"));
    if (QTest::currentTestFailed()) return;
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));

    // Each meter was asked only in the call to its own number.
    for (const auto& e : modem->log()) {
      QVERIFY(!e.number.empty());
      QCOMPARE(e.serial, 20000u + static_cast<unsigned>(e.number.back() - '0'));
    }
    // Each dial's outcome was the modem's answer to it, never a bare "OK".
    QCOMPARE(std::count(statuses.shown.begin(), statuses.shown.end(), "BUSY"), 1);
    QCOMPARE(std::count(statuses.shown.begin(), statuses.shown.end(), "CONNECT 9600"), 2);
    QVERIFY(std::find(statuses.shown.begin(), statuses.shown.end(), "OK") == statuses.shown.end());
    QTest::mouseClick(form.Button14, Qt::LeftButton);
  }
};

QTEST_MAIN(ModemAnswerTest)
#include "app_modem_answer_test.moc"
