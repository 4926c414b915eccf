#include "app/kros.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

#include "app/archive_chart.h"
#include "app/live_watch.h"
#include "app/port_combo_box.h"
#include "app/window_texts.h"
#include "archives/archive_data.h"
#include "connection/data_dir.h"
#include "connection/status_line.h"
#include "params/identification.h"
#include "store/reading_store.h"
#include "store/recorder.h"
#include "values/device_clock.h"

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

// How long the status line shows that the store of readings is given up.
constexpr int kStoreWarningMs = 15000;

}  // namespace

TForm1::TForm1(vardis::SerialLine& line, const vardis::PcClock& clock, vardis::SessionConfig config,
               QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      session_(line, clock, std::move(config)),
      runner_(session_,
              {.busyChanged = [this] { applyEnabled(); },
               .stop = [this] { StopConnection(); },
               .close = [this] { close(); },
               .error = [this](const std::string& text) { showError(vardis::windowText(text)); }}),
      recorder_(session_.config().dataDir, true,
                [this](const std::string& message) { storeWarning(message); }) {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("ВАРДИС АРХИВ V2.1 2011.04.08"));
  buildForm();
  applyClientSize();

  session_.setObserver(this);
  // Each exchange lets the window repaint, refresh the status line and take "Стоп".
  session_.setBreathe([] { QCoreApplication::processEvents(); });
  session_.setTrace([this](const std::string& text) { appendTrace(text); });

  FormCreate();

  connect(DateTimePicker1, &QDateEdit::dateChanged, this, &TForm1::DateTimePicker1Change);
}

TForm1::~TForm1() {
  session_.setObserver(nullptr);
  session_.setBreathe({});
  session_.setTrace({});
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (centred_) return;
  centred_ = true;
  fitToScreen();
  if (const QScreen* s = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TForm1::showDiagnostics() {
  diagnostics_->show();
  diagnostics_->raise();
  diagnostics_->activateWindow();
}

void TForm1::showArchiveChart() {
  if (!chart_) {
    chart_ = new vardis::ArchiveChart(this);
    chart_->setStoreLocation(recorder_.location());
    chart_->setData(vardis::lastArchiveData(session_));
  }
  chart_->show();
  chart_->raise();
  chart_->activateWindow();
}

void TForm1::refreshArchiveChart() {
  // An open chart follows at once; a closed one stays closed and shows this
  // reading when opened again. A reading that failed or was stopped leaves the
  // chart on the last one that completed.
  if (chart_) chart_->setData(vardis::lastArchiveData(session_));
}

QString TForm1::panelText(int panel) const {
  return StatusBar1Panels.at(static_cast<std::size_t>(panel))->text();
}

void TForm1::setConnectionChoice(const QString& port, int speedIndex, const QString& address) {
  ComboBox1->setCurrentText(port);
  ComboBox10->setCurrentIndex(speedIndex);
  ComboBox11->setCurrentText(address);
}

// ---------------------------------------------------------------------------
// Enabled state and errors

void TForm1::setWanted(QPushButton* button, bool enabled) {
  wanted_[button] = enabled;
  applyEnabled();
}

void TForm1::applyEnabled() {
  const bool busy = commandRunning();
  for (const auto& [button, want] : wanted_) button->setEnabled(want && !busy);
  // While a command runs, "Стоп" is the way to end it.
  if (busy) Button14->setEnabled(!runner_.stopPending());
}

void TForm1::showError(const QString& text) {
  QMessageBox::critical(this, QCoreApplication::applicationName(), text);
}

bool TForm1::ask(const QString& text) {
  QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text,
                  QMessageBox::NoButton, this);
  const QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
  // Enter or Esc leaves things as they are.
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

// ---------------------------------------------------------------------------
// Window creation and close

void TForm1::FormCreate() {
  nodes_ = vardis::loadNodeDirectory(vardis::nodeFile(session_.config().dataDir));
  {
    const QSignalBlocker quiet(ComboBox3);
    for (int n = 1; n <= nodes_.NodeCount; ++n) {
      ComboBox3->addItem(q(nodes_.NodeName[static_cast<std::size_t>(n)]));
    }
    ComboBox3->setCurrentIndex(-1);
    ComboBox3->setEditText(QStringLiteral("Узел учета"));
  }
  if (!nodes_.warning.empty()) Memo1->appendPlainText(vardis::memoText(nodes_.warning));

  const vardis::LocalDateTime now = session_.clock().now();
  DateTimePicker1->setDate(QDate(now.year, now.month, now.day));
  DateTimePicker1Change();
  session_.windowCreated();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (commandRunning()) {
    // The running command waits for the answer. "Да": it ends after its
    // exchange, then the window closes; "Нет": it goes on and the window stays.
    if (runner_.closePending() ||
        !ask(QStringLiteral("Идёт обмен с прибором. Остановить его и закрыть окно?")) ||
        runner_.postponeClose()) {
      event->ignore();
      return;
    }
    // The command ended while the question was open: the window closes now.
  }
  FormClose();
  diagnostics_->close();
  if (chart_) chart_->close();
  if (watch_) watch_->close();
  QMainWindow::closeEvent(event);
}

void TForm1::FormClose() {
  endVisit();
  rememberChoices();
  runner_.guarded([this] { session_.windowClosing(); });
}

void TForm1::endVisit() {
  recorder_.visitEnded(session_, session_.link.LinkFault != 0 ? "link fault" : "ok");
}

void TForm1::storeWarning(const std::string& message) {
  const QString text = vardis::storeWarningText(recorder_.fault(), recorder_.location(), message);
  Memo1->appendPlainText(text);
  statusBar()->showMessage(text, kStoreWarningMs);
}

// ---------------------------------------------------------------------------
// Connection control

void TForm1::Button13Click() {
  vardis::ConnectionChoice choice;
  choice.addressText = ComboBox11->currentText().toStdString();
  choice.portText = ComboBox1->currentText().toStdString();
  choice.speedIndex = ComboBox10->currentIndex();
  choice.gsm = CheckBox2->isChecked();
  // The visit begins once the line is open; on a direct line "Старт" ends with
  // the identification of the meter (vardis::StartConnection, with the visit
  // between its two steps).
  // On a direct line "Старт" ends with the identification, which needs the report folder.
  if (!choice.gsm) offerReportFolder();
  const StartSnapshot before = snapshotStart();
  clearMeterDisplay();
  forgetMeterFiles();
  // No node is called yet: the quick drain is the menu's until a dial.
  nodeQuick_ = false;
  applyQuickDrain();
  runMeterCommand([this, choice, before] {
    try {
      session_.openLine(choice);
    } catch (const vardis::UserError&) {
      // No port open (or none named): nothing was sent, the window is as it
      // was before the click, and the error is shown.
      restoreStart(before);
      throw;
    }
    // The port opened: these choices are kept even if the program ends badly.
    rememberChoices();
    try {
      recorder_.visitStarted(session_, choice.portText, choice.gsm);
      if (!choice.gsm) Button2Click();
    } catch (const vardis::NoMeterAnswer&) {
      // Nothing answered but the line itself: nothing of this visit is kept.
      session_.setProgress(0);
      recorder_.visitAbandoned();
      throw;
    } catch (...) {
      // Ended without success (no meter, no files, or stopped): no bar full of nothing.
      session_.setProgress(0);
      throw;
    }
  });
}

TForm1::StartSnapshot TForm1::snapshotStart() const {
  StartSnapshot s;
  s.wanted = wanted_;
  s.timer1Active = Timer1->isActive();
  for (const QLabel* l : {Label49, Label50, Label51, Label52}) s.statusTexts.push_back(l->text());
  for (const QLabel* l : StatusBar1Panels) s.statusTexts.push_back(l->text());
  for (const auto& [number, label] : valueLabels) s.values[number] = label->text();
  s.progressBar = ProgressBar1->value();
  s.operationStatus = session_.operationStatus();
  s.progress = session_.progress();
  s.counters = session_.link.counters;
  s.linkFault = session_.link.LinkFault;
  s.port = session_.link.port;
  s.meterAddress = session_.link.addr.meterAddress;
  s.speedIndex = session_.speedIndex;
  s.meterClockAheadSeconds = session_.meterClockAheadSeconds;
  s.nodeQuick = nodeQuick_;
  s.quickDrain = session_.link.quickDrain;
  s.title = windowTitle();
  for (const QLabel* l : StatusBar1Panels) s.panelTips.push_back(l->toolTip());
  return s;
}

void TForm1::restoreStart(const StartSnapshot& before) {
  session_.link.counters = before.counters;
  session_.link.LinkFault = before.linkFault;
  session_.link.port = before.port;
  session_.link.addr.meterAddress = before.meterAddress;
  session_.speedIndex = before.speedIndex;
  session_.meterClockAheadSeconds = before.meterClockAheadSeconds;
  nodeQuick_ = before.nodeQuick;
  session_.link.quickDrain = before.quickDrain;
  // The session's texts first: they reach the labels, which then get their own back.
  session_.setOperationStatus(before.operationStatus);
  session_.setProgress(before.progress);
  ProgressBar1->setValue(before.progressBar);
  std::vector<QLabel*> status{Label49, Label50, Label51, Label52};
  status.insert(status.end(), StatusBar1Panels.begin(), StatusBar1Panels.end());
  for (std::size_t i = 0; i < status.size() && i < before.statusTexts.size(); ++i)
    status[i]->setText(before.statusTexts[i]);
  for (const auto& [number, text] : before.values) valueLabels.at(number)->setText(text);
  if (!before.timer1Active) Timer1->stop();
  setWindowTitle(before.title);
  for (std::size_t i = 0; i < StatusBar1Panels.size() && i < before.panelTips.size(); ++i)
    StatusBar1Panels[i]->setToolTip(before.panelTips[i]);
  // The enabled states follow once the command has unwound.
  wanted_ = before.wanted;
  applyEnabled();
}

void TForm1::connectionStarted() {
  Timer1->start();
  setWanted(Button14, true);
  setWanted(Button7, true);
  setWanted(Button13, false);
}

void TForm1::Button14Click() {
  runner_.stop();
}

void TForm1::StopConnection() {
  setWanted(Button13, true);
  setWanted(Button14, false);
  Timer1->stop();
  setWanted(Button7, false);
  setWanted(Button8, false);
  endVisit();
  runner_.guarded([this] { session_.StopConnection(); });
  emit connectionEnded();
}

void TForm1::Timer1Timer() {
  const vardis::StatusTexts t = vardis::statusTexts(session_);
  Label49->setText(q(t.panel0));
  Label50->setText(q(t.panel1));
  Label51->setText(q(t.panel2));
  Label52->setText(q(t.panel3));
  const QLabel* sources[4] = {Label49, Label50, Label51, Label52};
  for (int i = 0; i < 4; ++i)
    StatusBar1Panels[static_cast<std::size_t>(i)]->setText(sources[i]->text());
  emit statusRefreshed();
}

void TForm1::Button3Click() {
  for (const std::string& line : session_.diagnosticLines()) Memo1->appendPlainText(q(line));
}

void TForm1::Button1Click() {}

// ---------------------------------------------------------------------------
// What the session reports

void TForm1::memoLine(const std::string& line) {
  Memo1->appendPlainText(vardis::memoText(line));
}

void TForm1::progressChanged(int position) {
  ProgressBar1->setValue(position);
}

void TForm1::operationStatusChanged(const std::string& text) {
  Label52->setText(q(text));
}

void TForm1::startStampChanged(const std::string& text) {
  Edit3->setText(q(text));
}

void TForm1::reportBaseNameChanged(const std::string& text) {
  Edit2->setText(q(text));
}

void TForm1::identificationCountChanged(const std::string& text) {
  Label1->setText(q(text));
}

void TForm1::callStatusChanged(const std::string& text) {
  Label47->setText(q(text));
}

void TForm1::deviceClockChanged(const std::string& date, const std::string& time) {
  valueLabels.at(kClockDateLabel)->setText(q(date));
  valueLabels.at(kClockTimeLabel)->setText(q(time));
}

void TForm1::valueCaptionChanged(const std::string& quantity, const std::string& text) {
  const auto it = valueLabels.find(valueLabelNumber(quantity));
  if (it != valueLabels.end()) it->second->setText(q(text));
}

void TForm1::identificationEnded() {
  setWanted(Button8, true);
}

void TForm1::appendTrace(const std::string& line) {
  TraceView->appendPlainText(q(line));
}
