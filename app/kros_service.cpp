// The "Сервис" menu, the diagnostics window it opens (the trace saved to a
// file or copied), the switch of the store of readings and its location, the
// quick drain, remembered in the data folder, and the About box.
#include <QAction>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QTextOption>
#include <QVBoxLayout>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/archive_chart.h"
#include "app/kros.h"
#include "app/window_texts.h"
#include "store/reading_store.h"
#include "vardis_version.h"

namespace {

constexpr const char* kSettingsFileName = "vardis-window.ini";
constexpr const char* kQuickDrainKey = "quickDrain";

// "Сервис → О программе": the version, what the program is, the Qt it runs on.
QString aboutText() {
  return QStringLiteral("vardis " VARDIS_VERSION
                        "\n\nСервисная программа теплосчётчика ВАРДИС: текущие значения, "
                        "архивы и параметры прибора по линии RS-232 или через GSM-модем.\n\nQt %1")
      .arg(QString::fromLatin1(qVersion()));
}

// The text that names the location: empty for the data folder's own file;
// `masked`, any password as "***".
QString locationText(const vardis::store::StoreLocation& l, const std::filesystem::path& dataDir,
                     bool masked) {
  if (l.postgres()) {
    return QString::fromStdString(masked ? vardis::store::shownLocation(l) : l.conninfo);
  }
  if (l.file == vardis::store::storeFile(dataDir)) return {};
  return QStringLiteral("sqlite:") + QString::fromStdU16String(l.file.u16string());
}

}  // namespace

QString TForm1::settingsFile() const {
  return QString::fromStdU16String((session_.config().dataDir / kSettingsFileName).u16string());
}

void TForm1::applyQuickDrain() {
  session_.link.quickDrain = QuickDrainAction->isChecked() || nodeQuick_;
}

void TForm1::quickDrainToggled(bool on) {
  applyQuickDrain();
  // The data folder is not made for this: without it the choice lasts this run.
  std::error_code ec;
  bool kept = std::filesystem::is_directory(session_.config().dataDir, ec);
  if (kept) {
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.setValue(kQuickDrainKey, on);
    settings.sync();
    kept = settings.status() == QSettings::NoError;
  }
  if (kept || settingsWarned_) return;
  settingsWarned_ = true;
  Memo1->appendPlainText(
      QStringLiteral("Не удалось записать %1: «Быстрый обмен» действует только до выхода")
          .arg(settingsFile()));
}

void TForm1::buildServiceMenu() {
  DiagnosticsAction = new QAction(QStringLiteral("Диагностика"), this);
  DiagnosticsAction->setObjectName("DiagnosticsAction");
  DiagnosticsAction->setShortcut(QKeySequence(Qt::Key_F12));
  DiagnosticsAction->setShortcutContext(Qt::ApplicationShortcut);
  connect(DiagnosticsAction, &QAction::triggered, this, &TForm1::showDiagnostics);
  ChartAction = new QAction(QStringLiteral("График архива"), this);
  ChartAction->setObjectName("ChartAction");
  ChartAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  ChartAction->setShortcutContext(Qt::ApplicationShortcut);
  connect(ChartAction, &QAction::triggered, this, &TForm1::showArchiveChart);
  // Every reading goes to the store unless this is off; turned on again, the
  // store takes the readings from the next "Старт" on.
  StoreAction = new QAction(QStringLiteral("Сохранять показания в базе"), this);
  StoreAction->setObjectName("StoreAction");
  StoreAction->setCheckable(true);
  StoreAction->setChecked(recorder_.enabled());
  connect(StoreAction, &QAction::toggled, this, [this](bool on) { recorder_.setEnabled(on); });
  StoreLocationAction = new QAction(QStringLiteral("База показаний…"), this);
  StoreLocationAction->setObjectName("StoreLocationAction");
  connect(StoreLocationAction, &QAction::triggered, this, &TForm1::showStoreDialog);
  // The quick drain, as chosen in the last run; it holds from now on, also for
  // the connection under way (unless it has ended there).
  QuickDrainAction = new QAction(QStringLiteral("Быстрый обмен"), this);
  QuickDrainAction->setObjectName("QuickDrainAction");
  QuickDrainAction->setCheckable(true);
  QuickDrainAction->setChecked(
      QSettings(settingsFile(), QSettings::IniFormat).value(kQuickDrainKey, false).toBool());
  applyQuickDrain();
  connect(QuickDrainAction, &QAction::toggled, this, &TForm1::quickDrainToggled);
  WatchAction = new QAction(QStringLiteral("Наблюдение"), this);
  WatchAction->setObjectName("WatchAction");
  connect(WatchAction, &QAction::triggered, this, &TForm1::showLiveWatch);
  ReportFolderAction = new QAction(QStringLiteral("Открыть папку отчётов"), this);
  ReportFolderAction->setObjectName("ReportFolderAction");
  connect(ReportFolderAction, &QAction::triggered, this, &TForm1::openReportFolder);
  auto* about = new QAction(QStringLiteral("О программе"), this);
  about->setObjectName("AboutAction");
  connect(about, &QAction::triggered, this,
          [this] { QMessageBox::about(this, QStringLiteral("О программе"), aboutText()); });
  QMenu* service = menuBar()->addMenu(QStringLiteral("Сервис"));
  service->addAction(DiagnosticsAction);
  service->addAction(ChartAction);
  service->addAction(StoreLocationAction);
  service->addAction(StoreAction);
  service->addAction(QuickDrainAction);
  service->addAction(WatchAction);
  service->addAction(ReportFolderAction);
  service->addSeparator();
  service->addAction(about);
  addAction(DiagnosticsAction);
  addAction(ChartAction);
  // The chart belongs with the archive buttons: a right click on their group
  // offers it, and the group keeps its layout.
  GroupBox3->addAction(ChartAction);
  GroupBox3->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TForm1::buildDiagnostics() {
  diagnostics_ = new QWidget(this, Qt::Window);
  diagnostics_->setObjectName("DiagnosticsWindow");
  diagnostics_->setWindowTitle(QStringLiteral("Диагностика"));
  diagnostics_->resize(720, 520);

  Label1 = makeLabel("Label1", QStringLiteral("Label1"), diagnostics_);
  Memo1 = new QPlainTextEdit(diagnostics_);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Button1 = makeButton("Button1", QStringLiteral("Пусто"), &TForm1::Button1Click);
  Button3 = makeButton("Button3", QStringLiteral("view_read"), &TForm1::Button3Click);
  Button5 = makeButton("Button5", QStringLiteral("Button5"), &TForm1::Button5Click);
  Button10 = makeButton("Button10", QStringLiteral("Button10"), &TForm1::Button10Click);
  wanted_.erase(Button1);
  wanted_.erase(Button3);

  TraceView = new QPlainTextEdit(diagnostics_);
  TraceView->setObjectName("TraceView");
  TraceView->setReadOnly(true);
  // Long lines (a reply's hex dump) wrap, at a space or anywhere: no sideways scrolling.
  TraceView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  TraceView->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  TraceView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  TraceView->setMaximumBlockCount(5000);
  TraceView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* clearTrace = new QPushButton(QStringLiteral("Очистить"));
  clearTrace->setObjectName("TraceClear");
  connect(clearTrace, &QPushButton::clicked, TraceView, &QPlainTextEdit::clear);
  // The file dialog would hold a running command up: saving waits for its end.
  TraceSave = makeButton("TraceSave", QStringLiteral("Сохранить…"), &TForm1::saveTrace);
  TraceCopy = new QPushButton(QStringLiteral("Копировать"));
  TraceCopy->setObjectName("TraceCopy");
  TraceCopy->setAutoDefault(false);
  connect(TraceCopy, &QPushButton::clicked, this, &TForm1::copyTrace);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Button1, Button3, Button5, Button10}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* traceHead = new QHBoxLayout;
  traceHead->addWidget(new QLabel(QStringLiteral("Обмен с прибором:")));
  traceHead->addStretch(1);
  traceHead->addWidget(TraceSave);
  traceHead->addWidget(TraceCopy);
  traceHead->addWidget(clearTrace);

  auto* box = new QVBoxLayout(diagnostics_);
  box->addWidget(Label1);
  box->addWidget(Memo1, 1);
  box->addLayout(buttons);
  box->addLayout(traceHead);
  box->addWidget(TraceView, 2);
}

QString TForm1::askTraceFile() {
  const vardis::LocalDateTime t = session_.clock().now();
  const QString name = QString::asprintf("trace_%04d_%02d_%02d_%02d_%02d.txt", t.year, t.month,
                                         t.day, t.hour, t.minute);
  const QString folder = QString::fromStdU16String(session_.config().dataDir.u16string());
  return QFileDialog::getSaveFileName(diagnostics_, QStringLiteral("Сохранить обмен"),
                                      QDir(folder).filePath(name),
                                      QStringLiteral("Текст (*.txt);;Все файлы (*)"));
}

void TForm1::saveTrace() {
  const QString path = askTraceFile();
  if (path.isEmpty()) return;
  const QString shown = QDir::toNativeSeparators(path);
  // Written whole or not at all: a failed save leaves an older file as it was.
  QSaveFile file(path);
  QByteArray text = TraceView->toPlainText().toUtf8();
  if (!text.isEmpty()) text += '\n';
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() ||
      !file.commit()) {
    showError(QStringLiteral("Не удалось записать %1 (%2)").arg(shown, file.errorString()));
    return;
  }
  Memo1->appendPlainText(QStringLiteral("Обмен сохранён в %1").arg(shown));
}

void TForm1::copyTrace() {
  QGuiApplication::clipboard()->setText(TraceView->toPlainText());
}

QString TForm1::storeText() const {
  return locationText(recorder_.location(), session_.config().dataDir, true);
}

void TForm1::setStoreLocation(const vardis::store::StoreLocation& location) {
  recorder_.setLocation(location);
  if (!chart_) return;
  chart_->setStoreLocation(location);
  if (chart_->isVisible()) chart_->refreshMeters();
}

bool TForm1::chooseStore(const QString& text, QString& why) {
  // The text as the dialog showed it ("***" for a password) keeps the store in use.
  vardis::store::StoreLocation location = recorder_.location();
  if (text != storeText()) {
    try {
      location = vardis::store::parseStoreLocation(text.toStdString(), session_.config().dataDir);
    } catch (const std::invalid_argument& e) {
      why = QStringLiteral(
                "Расположение базы не понято (%1). Нужен файл sqlite:ПУТЬ, адрес "
                "postgresql://… или строка подключения вида service=vardis.")
                .arg(QString::fromStdString(e.what()));
      return false;
    }
  }
  setStoreLocation(location);
  rememberStore(locationText(location, session_.config().dataDir, false));
  Memo1->appendPlainText(QStringLiteral("База показаний: %1").arg(vardis::storeName(location)));
  return true;
}

void TForm1::showStoreDialog() {
  QDialog dialog(this);
  dialog.setObjectName("StoreDialog");
  dialog.setWindowTitle(QStringLiteral("База показаний"));
  auto* edit = new QLineEdit(storeText());
  edit->setObjectName("StoreLocationEdit");
  edit->setPlaceholderText(QStringLiteral("vardis.sqlite в папке данных"));
  edit->setMinimumWidth(480);
  auto* hint = new QLabel(QStringLiteral(
      "Файл SQLite (sqlite:ПУТЬ) или база PostgreSQL: postgresql://vardis@сервер/vardis "
      "или service=vardis. Пусто — vardis.sqlite в папке данных. Пароль лучше держать "
      "в ~/.pgpass, а не здесь."));
  hint->setWordWrap(true);
  auto* message = new QLabel;
  message->setObjectName("StoreLocationMessage");
  message->setWordWrap(true);
  message->hide();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Сохранить"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    QString why;
    if (chooseStore(edit->text().trimmed(), why)) {
      dialog.accept();
      return;
    }
    message->setText(why);
    message->show();
  });
  auto* box = new QVBoxLayout(&dialog);
  box->addWidget(new QLabel(QStringLiteral("Расположение базы показаний:")));
  box->addWidget(edit);
  box->addWidget(hint);
  box->addWidget(message);
  box->addWidget(buttons);
  dialog.exec();
}
