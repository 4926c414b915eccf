// The main window: the controls under their form names and the handlers that
// hand each command to the session. No protocol or report work is done here.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/command_runner.h"
#include "archives/session.h"
#include "connection/modem_call.h"
#include "link/node_directory.h"
#include "store/recorder.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QWidget;

namespace vardis {
class ArchiveChart;
class LiveWatch;
class PortComboBox;
}  // namespace vardis

class TForm1 : public QMainWindow, private vardis::SessionObserver {
  Q_OBJECT

 public:
  // The window on a given serial line and clock; the real program passes the
  // serial port and the PC clock, the tests their own.
  TForm1(vardis::SerialLine& line, const vardis::PcClock& clock, vardis::SessionConfig config,
         QWidget* parent = nullptr);
  ~TForm1() override;

  vardis::Session& session() { return session_; }

  // Runs one meter command: the other commands are disabled while it runs,
  // "Стоп" cancels it after the current exchange, and a stop or a close asked
  // for meanwhile is carried out once it has unwound (see CommandRunner). The
  // keyboard focus returns to the control that started it. A command that
  // completed hands what it read (`stored`) to the store of readings.
  void runMeterCommand(const std::function<void()>& command,
                       std::optional<vardis::store::StoredReading> stored = std::nullopt);
  void runArchiveReading(void (*reading)(vardis::Session&), vardis::store::StoredReading stored);
  bool commandRunning() const { return runner_.running(); }
  // Runs `action` now, or right after the running command when one runs.
  void whenIdle(std::function<void()> action) { runner_.whenIdle(std::move(action)); }

  // The text of status bar panel 0..3.
  QString panelText(int panel) const;
  // The diagnostics window (Label1, Memo1, the diagnostic buttons, the frame trace).
  QWidget* diagnosticsWindow() const { return diagnostics_; }
  // Puts the demo meter's port, speed and address into the connection controls.
  void setConnectionChoice(const QString& port, int speedIndex, const QString& address);
  // The value label (2 .. 39, 42) that shows a quantity of the current values.
  static int valueLabelNumber(const std::string& quantity);
  static constexpr int kClockDateLabel = 40;
  static constexpr int kClockTimeLabel = 41;
  // The chart window of the last archive reading; nullptr until first opened.
  vardis::ArchiveChart* archiveChart() const { return chart_; }
  // What stores every reading ("Сервис → Сохранять показания в базе").
  const vardis::store::Recorder& recorder() const { return recorder_; }
  // The store the readings go to from the next "Старт" on, and the one the
  // chart's range view reads.
  void setStoreLocation(const vardis::store::StoreLocation& location);
  // "Сервис → База показаний…": the location typed (empty: vardis.sqlite in
  // the data folder) is checked, used and remembered in the choices file.
  // False, with the reason in Russian in `why`, for a text that names no
  // store: then nothing changes.
  bool chooseStore(const QString& text, QString& why);
  // The location in use as that dialog shows it: empty for the data folder's
  // file, any password as "***".
  QString storeText() const;

 signals:
  // After every status refresh.
  void statusRefreshed();
  // The connection has ended ("Стоп", or the close).
  void connectionEnded();

 public slots:
  // Connection control.
  void Button13Click();  // "Старт"
  void Button14Click();  // "Стоп"
  void Timer1Timer();    // status refresh, every 200 ms from "Старт" to "Стоп"
  void Button3Click();   // "view_read": the diagnostic lines into Memo1
  void Button1Click();   // "Пусто": nothing

  // Meter commands: each runs through runMeterCommand.
  void Button2Click();   // identification of the reached meter
  void Button4Click();   // "Считать значения"
  void Button5Click();   // device clock read
  void Button6Click();   // "Время ПК в прибор"
  void Button9Click();   // "Часовые"
  void Button10Click();  // hourly archive row dump
  void Button11Click();  // "Суточные"
  void Button12Click();  // "Месячные"
  void Button15Click();  // "Записать параметры прибора в файл"
  void DateTimePicker1Change();

  // GSM call.
  void ComboBox3Change();
  void Button7Click();         // "Соединится"
  void Button8Click();         // "Разорвать связь"
  virtual void Timer2Timer();  // dial wait over: the identification over the call
  virtual void Timer3Timer();  // hang-up wait over: the hang-up command
  // During the dial wait: the modem's answer, when it gave one, ends the wait
  // (CONNECT: the identification at once; BUSY, "+CME ERROR: 30" and the
  // like: hung up, the modem's line shown). An "OK" is no answer.
  void ModemAnswerTimerTimer();

  void showDiagnostics();
  // "Сервис → График архива": opens the chart of the last archive reading.
  void showArchiveChart();
  // "Сервис → Наблюдение": opens the live values window.
  void showLiveWatch();
  // "Сервис → Открыть папку отчётов": the report folder in the file manager.
  void openReportFolder();
  // "Сервис → База показаний…": the dialog where the store's location is typed.
  void showStoreDialog();

 public:
  // The live values window; nullptr until first opened.
  vardis::LiveWatch* liveWatch() const { return watch_; }
  // Where the window remembers its connection choices between runs (port,
  // speed, address, "gsm", the last node); "" (the default) remembers nothing.
  // The program sets it before the window is shown; restoreChoices() puts the
  // remembered choices into the controls.
  void setChoicesFile(const QString& file) { choicesFile_ = file; }
  void restoreChoices();

 protected:
  // Shows a runtime error to the user; the tests capture it instead.
  virtual void showError(const QString& text);
  // Asks the user a yes/no question ("Да"/"Нет"); true for "Да". The tests
  // answer it instead.
  virtual bool ask(const QString& text);
  // The file "Сохранить…" writes the trace to, as the user picks it; "" when
  // the user cancels. The tests answer it instead.
  virtual QString askTraceFile();
  // Opens `folder` in the desktop's file manager; false when it could not.
  // The tests record the folder instead.
  virtual bool openFolder(const QString& folder);

  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void FormClose();
  void StopConnection();
  // The visit in the store of readings ends with "Стоп" or the close.
  void endVisit();
  // The store of readings cannot be used: said in the memo and the status
  // line, without a box that would wait; the readings go on.
  void storeWarning(const std::string& message);

  // SessionObserver
  void connectionStarted() override;
  void memoLine(const std::string& line) override;
  void progressChanged(int position) override;
  void operationStatusChanged(const std::string& text) override;
  void startStampChanged(const std::string& text) override;
  void reportBaseNameChanged(const std::string& text) override;
  void identificationCountChanged(const std::string& text) override;
  void callStatusChanged(const std::string& text) override;
  void deviceClockChanged(const std::string& date, const std::string& time) override;
  void valueCaptionChanged(const std::string& quantity, const std::string& text) override;
  void identificationEnded() override;

  // The report folder of the data folder, as shown to the user.
  QString reportFolder() const;
  // Before an identification: a missing report folder is offered to be made.
  void offerReportFolder();
  // After a completed command: the meter and its report set shown (after an
  // identification), or the report the command appended to named in the memo.
  void sayReportWritten(vardis::store::StoredReading reading);
  void showMeterFiles();
  // "Старт": the meter shown last is no longer the one on the line.
  void forgetMeterFiles();
  // The connection choices into the choices file, when one is set.
  void rememberChoices();
  // The store's location typed in "База показаний…" into the choices file.
  void rememberStore(const QString& text);
  // The window's client area at its fixed size, and, once shown, shrunk to
  // the screen's available area (the client area then scrolls).
  void applyClientSize();
  void fitToScreen();

  void buildForm();
  void buildHiddenControls(QWidget* central);
  void buildTimers();
  void buildServiceMenu();
  QWidget* buildConnectionGroup();
  QWidget* buildValuesGroup();
  QWidget* buildArchiveGroup();
  QWidget* buildGsmGroup();
  void buildStatusBar();
  void buildDiagnostics();
  QWidget* valuePage(const QString& tabCaption, const QString& groupCaption,
                     const std::vector<std::pair<int, QString>>& labels);
  QPushButton* makeButton(const char* name, const QString& caption, void (TForm1::*handler)());
  QLabel* makeLabel(const char* name, const QString& caption, QWidget* parent = nullptr);

  // Enabled state: what the connection state wants, gated by a running command.
  void setWanted(QPushButton* button, bool enabled);
  void applyEnabled();
  // The focus around a command: the focused control, moved off a button the
  // command disables, and given back when the command has ended.
  QPointer<QWidget> parkFocus();
  void restoreFocus(const QPointer<QWidget>& before);
  void appendTrace(const std::string& line);
  // "Сохранить…" and "Копировать" of the diagnostics window: the whole trace,
  // one line each, to a file the user picks or to the clipboard.
  void saveTrace();
  void copyTrace();
  // After a completed archive reading: the chart shows what it stored.
  void refreshArchiveChart();
  // "Старт": what the last meter showed goes (values and clock back to their
  // form captions, the status to "_", the progress to 0).
  void clearMeterDisplay();
  // What "Старт" changes before its port is open, put back when the port does
  // not open (or its text names none): the window stays as before the click.
  struct StartSnapshot {
    std::map<QPushButton*, bool> wanted;
    bool timer1Active = false;
    std::vector<QString> statusTexts;  // Label49 .. Label52, then the status panels
    std::map<int, QString> values;     // the value labels, the clock's included
    int progressBar = 0;
    std::string operationStatus;
    int progress = 0;
    vardis::ExchangeCounters counters;
    std::int32_t linkFault = 0;
    vardis::PortName port;
    std::uint8_t meterAddress = 0;
    int speedIndex = 0;
    std::optional<std::int64_t> meterClockAheadSeconds;
    bool nodeQuick = false;
    bool quickDrain = false;
    QString title;
    std::vector<QString> panelTips;
  };
  StartSnapshot snapshotStart() const;
  void restoreStart(const StartSnapshot& before);
  // Where the window keeps its own choices: vardis-window.ini in the data folder.
  QString settingsFile() const;
  // The quick drain: on when "Быстрый обмен" is checked or the node being
  // called asks for it in the node file.
  void applyQuickDrain();
  // "Быстрый обмен" toggled: the session at once, the choice into the
  // settings file (a file that cannot be written is said once in the memo).
  void quickDrainToggled(bool on);

  vardis::Session session_;
  vardis::NodeDirectory nodes_;
  vardis::DialStep dialStep_;  // the dial under way, polled by ModemAnswerTimer
  vardis::CommandRunner runner_;
  vardis::store::Recorder recorder_;
  bool centred_ = false;
  bool nodeQuick_ = false;       // the node dialled last has quick=1
  bool settingsWarned_ = false;  // the settings file could not be written
  QString choicesFile_;
  std::map<QPushButton*, bool> wanted_;

 public:
  // The controls, under their form names.
  QGroupBox* GroupBox1 = nullptr;  // "Параметры связи"
  QComboBox* ComboBox10 = nullptr;
  QComboBox* ComboBox11 = nullptr;
  vardis::PortComboBox* ComboBox1 = nullptr;
  QPushButton* Button13 = nullptr;
  QPushButton* Button14 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label49 = nullptr;
  QLabel* Label50 = nullptr;
  QLabel* Label51 = nullptr;
  QLabel* Label52 = nullptr;

  QGroupBox* GroupBox2 = nullptr;  // "Текущие значения"
  QTabWidget* PageControl2 = nullptr;
  std::map<int, QLabel*> valueLabels;  // Label2 .. Label42
  QPushButton* Button4 = nullptr;
  QPushButton* Button6 = nullptr;

  QGroupBox* GroupBox3 = nullptr;  // "Архивы теплосчетчика : "
  QDateEdit* DateTimePicker1 = nullptr;
  QPushButton* Button9 = nullptr;
  QPushButton* Button11 = nullptr;
  QPushButton* Button12 = nullptr;

  QGroupBox* GroupBox4 = nullptr;  // "GSM связь (CSD):"
  QComboBox* ComboBox3 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button7 = nullptr;
  QPushButton* Button8 = nullptr;
  QLabel* Label47 = nullptr;

  QPushButton* Button15 = nullptr;
  std::vector<QLabel*> StatusBar1Panels;

  // Hidden.
  QPushButton* Button2 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;

  // Diagnostics.
  QLabel* Label1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button10 = nullptr;
  QPlainTextEdit* TraceView = nullptr;
  QPushButton* TraceSave = nullptr;  // "Сохранить…"
  QPushButton* TraceCopy = nullptr;  // "Копировать"

  QTimer* Timer1 = nullptr;
  QTimer* Timer2 = nullptr;
  QTimer* Timer3 = nullptr;
  QTimer* ModemAnswerTimer = nullptr;
  QAction* DiagnosticsAction = nullptr;
  QAction* ChartAction = nullptr;
  QAction* StoreAction = nullptr;          // checkable: every reading goes to the store
  QAction* StoreLocationAction = nullptr;  // "База показаний…"
  QAction* QuickDrainAction = nullptr;     // checkable: the quick drain, remembered
  QAction* WatchAction = nullptr;          // "Наблюдение"
  QAction* ReportFolderAction = nullptr;   // "Открыть папку отчётов"

 private:
  QWidget* diagnostics_ = nullptr;
  vardis::ArchiveChart* chart_ = nullptr;
  vardis::LiveWatch* watch_ = nullptr;
};
