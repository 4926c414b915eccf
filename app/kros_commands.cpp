// The window's meter commands and the GSM call: each hands its work to the
// session through runMeterCommand, which gives the focus back afterwards and
// hands what a completed command read to the store of readings.
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/kros.h"
#include "archives/archive_reading.h"
#include "connection/modem_call.h"
#include "params/identification.h"
#include "params/parameter_report.h"
#include "store/recorder.h"
#include "values/current_values_read.h"
#include "values/device_clock.h"

namespace {

// "2011.04.08 09:05:07".
QString stampText(const vardis::LocalDateTime& t) {
  return QString::asprintf("%04d.%02d.%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                           t.minute, t.second);
}

using vardis::store::StoredReading;

}  // namespace

void TForm1::runMeterCommand(const std::function<void()>& command,
                             std::optional<StoredReading> stored) {
  // The one place where a meter command ends without an exception: what it
  // read goes to the store, before a stop or a close asked for meanwhile.
  const auto completed = [this, &command, stored] {
    command();
    if (stored) {
      sayReportWritten(*stored);
      recorder_.commandEnded(session_, *stored);
    }
  };
  if (commandRunning()) {
    // Started by the running command: part of it, focus and all.
    runner_.run(completed);
    return;
  }
  const QPointer<QWidget> before = parkFocus();
  runner_.run(completed);
  restoreFocus(before);
}

// A disabled control hands its focus to the next one in the tab order, often
// the date box, where a digit typed later would change the archive date
// unnoticed. A button the command disables hands it to its window instead.
QPointer<QWidget> TForm1::parkFocus() {
  QWidget* focused = QApplication::focusWidget();
  if (!focused || (focused->window() != this && focused->window() != diagnostics_)) {
    focused = focusWidget();
  }
  if (!focused) return nullptr;
  auto* button = qobject_cast<QPushButton*>(focused);
  if (button && wanted_.count(button)) focused->window()->setFocus(Qt::OtherFocusReason);
  return focused;
}

void TForm1::restoreFocus(const QPointer<QWidget>& before) {
  if (before && before->isEnabled() && before->isVisible()) {
    before->setFocus(Qt::OtherFocusReason);
    return;
  }
  // The focus stays where it is, but not in the date box unless it was there.
  const auto inDateBox = [this](const QWidget* w) {
    return w && (w == DateTimePicker1 || DateTimePicker1->isAncestorOf(w));
  };
  if (inDateBox(focusWidget()) && !inDateBox(before)) setFocus(Qt::OtherFocusReason);
}

void TForm1::Button2Click() {
  runMeterCommand([this] { vardis::MeterIdentification(session_); }, StoredReading::Identification);
}

void TForm1::Button4Click() {
  runMeterCommand([this] { vardis::ReadCurrentValues(session_); }, StoredReading::Values);
}

void TForm1::Button5Click() {
  runMeterCommand([this] { vardis::ReadDeviceClock(session_); }, StoredReading::Clock);
}

// Nothing goes to the meter until the user agrees to the time it gets.
void TForm1::Button6Click() {
  const QString now = stampText(session_.clock().now());
  if (!ask(QStringLiteral("Записать в прибор время ПК %1?").arg(now))) return;
  runMeterCommand([this] { vardis::SetDeviceClockAndReadBack(session_); }, StoredReading::ClockSet);
}

// "Часовые", "Суточные", "Месячные": the picked date, the reading, and the
// chart of a reading that completed.
void TForm1::runArchiveReading(void (*reading)(vardis::Session&), StoredReading stored) {
  bool read = false;
  runMeterCommand(
      [this, reading, &read] {
        DateTimePicker1Change();
        reading(session_);
        read = true;
      },
      stored);
  if (read) refreshArchiveChart();
}

void TForm1::Button9Click() {
  runArchiveReading(vardis::ReadHourlyArchive, StoredReading::Hourly);
}

void TForm1::Button10Click() {
  runMeterCommand([this] { vardis::WriteRowDump(session_); });
}

void TForm1::Button11Click() {
  runArchiveReading(vardis::ReadDailyArchive, StoredReading::Daily);
}

void TForm1::Button12Click() {
  runArchiveReading(vardis::ReadMonthlyArchive, StoredReading::Monthly);
}

void TForm1::Button15Click() {
  runMeterCommand([this] { vardis::WriteParameterReport(session_); }, StoredReading::Parameters);
}

void TForm1::DateTimePicker1Change() {
  const QDate d = DateTimePicker1->date();
  vardis::pickArchiveDate(session_, d.year(), d.month(), d.day());
}

// ---------------------------------------------------------------------------
// GSM call

void TForm1::ComboBox3Change() {
  // A text typed into the box selects no node.
  int position = ComboBox3->currentIndex();
  if (position >= 0 && ComboBox3->currentText() != ComboBox3->itemText(position)) position = -1;
  Edit1->setText(QString::fromStdString(nodes_.phoneForSelection(position)));
}

void TForm1::Button7Click() {
  const std::string dialText = Edit1->text().toStdString();
  // The init string and the quick drain of the node picked, when the number
  // is still that node's; another number is no node's and has neither.
  int position = ComboBox3->currentIndex();
  std::string init;
  nodeQuick_ = false;
  if (position >= 0 && nodes_.phoneForSelection(position) == dialText) {
    const auto node = static_cast<std::size_t>(position) + 1;
    init = nodes_.NodeInit[node];
    nodeQuick_ = node < nodes_.NodeQuick.size() && nodes_.NodeQuick[node];
  }
  applyQuickDrain();
  // The call ends with the identification, which needs the report folder.
  if (!dialText.empty()) offerReportFolder();
  runMeterCommand([this, dialText, init] {
    dialStep_.start(session_, init, dialText);
    Timer2->start();
    ModemAnswerTimer->start();
  });
}

void TForm1::ModemAnswerTimerTimer() {
  if (!Timer2->isActive()) {
    ModemAnswerTimer->stop();
    return;
  }
  const auto answer = dialStep_.poll(session_, 10);
  if (!answer) return;
  ModemAnswerTimer->stop();
  Timer2->stop();
  if (*answer == vardis::ModemAnswer::Connect) Timer2Timer();
}

void TForm1::Button8Click() {
  Timer3->start();
  runMeterCommand([this] { vardis::StartHangUp(session_); });
}

void TForm1::Timer2Timer() {
  Timer2->stop();
  ModemAnswerTimer->stop();
  runMeterCommand([this] { vardis::DialWaitElapsed(session_); }, StoredReading::Identification);
}

void TForm1::Timer3Timer() {
  Timer3->stop();
  runMeterCommand([this] { vardis::HangUpWaitElapsed(session_); });
}
