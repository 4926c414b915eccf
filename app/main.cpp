// vardis: the service tool's window.
#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QLibraryInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimer>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include "app/app_options.h"
#include "app/archive_chart.h"
#include "app/demo_meter.h"
#include "app/kros.h"
#include "app/live_watch.h"
#include "archives/archive_data.h"
#include "connection/data_dir.h"
#include "link/qt_serial_line.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
// Time for the first paint before the picture is taken.
constexpr int kScreenshotDelayMs = 300;
// Long enough for the watch's first passes at one a second.
constexpr int kWatchPictureMs = 8500;

vardis::NumberStyle localNumbers() {
  vardis::NumberStyle style;
  const QString point = QLocale().decimalPoint();
  const char c = point.isEmpty() ? '.' : point.at(0).toLatin1();
  style.decimalSeparator = c == 0 ? '.' : c;
  return style;
}

// The window of the program: when it takes pictures unattended, errors go to
// standard error instead of a message box nobody would close.
class ProgramForm : public TForm1 {
 public:
  using TForm1::TForm1;
  bool unattended = false;
  int errors = 0;

 protected:
  void showError(const QString& text) override {
    if (!unattended) {
      TForm1::showError(text);
      return;
    }
    std::fprintf(stderr, "vardis: %s\n", text.toLocal8Bit().constData());
    ++errors;
  }
};

bool savePicture(QWidget* w, const QString& file) {
  if (w->grab().save(file)) return true;
  std::fprintf(stderr, "vardis: cannot write %s\n", file.toLocal8Bit().constData());
  return false;
}

// The window, and the diagnostics window when open, as pictures; then quits.
void windowPictures(ProgramForm& form, const QString& file, int status) {
  if (!file.isEmpty()) {
    if (!savePicture(&form, file)) status = kExitFailure;
    if (form.diagnosticsWindow()->isVisible()) {
      QString second = file;
      const int dot = second.lastIndexOf('.');
      second.insert(dot > 0 ? dot : second.size(), QStringLiteral("-diagnostics"));
      if (!savePicture(form.diagnosticsWindow(), second)) status = kExitFailure;
    }
  }
  form.close();
  QCoreApplication::exit(status);
}

// "Старт", yesterday's "Часовые", then the chart window as a picture.
void chartPicture(ProgramForm& form, const vardis::PcClock& clock, const QString& chartFile,
                  const QString& windowFile) {
  const vardis::LocalDateTime now = clock.now();
  form.DateTimePicker1->setDate(QDate(now.year, now.month, now.day).addDays(-1));
  form.Button13Click();
  if (form.errors == 0) form.Button9Click();
  if (form.errors != 0 || vardis::lastArchiveData(form.session()).kind != "hourly") {
    std::fprintf(stderr, "vardis: the hourly archive was not read\n");
    windowPictures(form, {}, kExitFailure);
    return;
  }
  form.showArchiveChart();
  // The chart lays itself out on the first paint.
  QTimer::singleShot(kScreenshotDelayMs, &form, [&form, chartFile, windowFile] {
    const int status = savePicture(form.archiveChart(), chartFile) ? 0 : kExitFailure;
    windowPictures(form, windowFile, status);
  });
}

// "Старт", then a watch of the current values every second; after a few
// passes the watch window (and the main window) as pictures.
void watchPicture(ProgramForm& form, const QString& watchFile, const QString& windowFile) {
  form.Button13Click();
  if (form.errors != 0) {
    std::fprintf(stderr, "vardis: the meter was not identified\n");
    windowPictures(form, {}, kExitFailure);
    return;
  }
  form.showLiveWatch();
  vardis::LiveWatch* watch = form.liveWatch();
  watch->intervalBox()->setValue(1);
  watch->setTicked(QStringLiteral("T2"), true);
  watch->start();
  QTimer::singleShot(kWatchPictureMs, &form, [&form, watch, watchFile, windowFile] {
    const int status = savePicture(watch, watchFile) ? 0 : kExitFailure;
    windowPictures(form, windowFile, status);
  });
}

// The help needs no display.
bool helpAsked(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a(argv[i]);
    if (a == "-h" || a == "--help" || a == "-?" || a == "--help-all") return true;
  }
  return false;
}

// The options of the command line. Nothing when the program ends here, with
// its exit status in `status`: after the help, or on a usage error.
std::optional<vardis::AppOptions> commandLine(int& status) {
  QString error;
  QString help;
  auto options = vardis::parseAppOptions(QCoreApplication::arguments(), error, help);
  if (options) return options;
  if (error.isEmpty()) {
    std::fputs(help.toLocal8Bit().constData(), stdout);
    status = 0;
  } else {
    std::fprintf(stderr, "vardis: %s\n", error.toLocal8Bit().constData());
    status = kExitUsage;
  }
  return std::nullopt;
}

// The simulated meter of --demo; nothing, told on standard error, when it
// cannot start.
std::unique_ptr<vardis::DemoMeter> startDemo(const std::filesystem::path& dataDir) {
  QString error;
  auto demo = vardis::startDemoMeter(error);
  if (!demo) {
    std::fprintf(stderr, "vardis: --demo: %s\n", error.toLocal8Bit().constData());
    return nullptr;
  }
  // A demonstration needs no set-up: its report folder is made when missing.
  std::error_code ec;
  std::filesystem::create_directories(vardis::reportDir(dataDir), ec);
  std::fprintf(stdout, "vardis: --demo: reports in %s\n",
               vardis::reportDir(dataDir).string().c_str());
  std::fflush(stdout);
  return demo;
}

// --chart-screenshot and --screenshot: the pictures once the window is up.
void picturesWhenShown(ProgramForm& form, const vardis::PcClock& clock,
                       const vardis::AppOptions& options) {
  if (!options.chartScreenshot.isEmpty()) {
    form.unattended = true;
    const QString chartFile = options.chartScreenshot;
    const QString windowFile = options.screenshot;
    QTimer::singleShot(kScreenshotDelayMs, &form, [&form, &clock, chartFile, windowFile] {
      chartPicture(form, clock, chartFile, windowFile);
    });
  } else if (!options.watchScreenshot.isEmpty()) {
    form.unattended = true;
    const QString watchFile = options.watchScreenshot;
    const QString windowFile = options.screenshot;
    QTimer::singleShot(kScreenshotDelayMs, &form, [&form, watchFile, windowFile] {
      watchPicture(form, watchFile, windowFile);
    });
  } else if (!options.screenshot.isEmpty()) {
    const QString file = options.screenshot;
    QTimer::singleShot(kScreenshotDelayMs, &form, [&form, file] { windowPictures(form, file, 0); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
#ifdef SIGXFSZ
  // A file-size limit (ulimit -f) is a write error (EFBIG) the store and the
  // reports name, not a reason to die.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  if (helpAsked(argc, argv)) {
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vardis"));
    commandLine(status);
    return status;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vardis"));
  // Qt's own dialogs and menus speak Russian, like the window, when Qt's
  // Russian catalogue is installed (qt6-translations-l10n).
  QTranslator qtRussian;
  if (qtRussian.load(QStringLiteral("qtbase_ru"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtRussian);
  }
  const auto options = commandLine(status);
  if (!options) return status;

  // The choices of the last run: the data folder now, the rest once the window is made.
  const QString choices = vardis::remembersChoices(*options) ? vardis::choicesFile() : QString();
  const std::filesystem::path remembered = vardis::rememberedDataDir(choices);
  vardis::SessionConfig config;
  config.dataDir = vardis::dataDirFor(*options, vardis::defaultDataDir(), remembered);
  config.numbers = localNumbers();
  QString storeError;
  QString storeNote;
  const auto store = vardis::storeLocationFor(
      *options, config.dataDir, vardis::rememberedStore(choices), storeError, storeNote);
  if (!store) {
    std::fprintf(stderr, "vardis: %s\n", storeError.toLocal8Bit().constData());
    return kExitUsage;
  }
  std::unique_ptr<vardis::DemoMeter> demo;
  if (options->demo) {
    demo = startDemo(config.dataDir);
    if (!demo) return kExitFailure;
  }

  vardis::QtSerialLine line;
  const auto clock = vardis::makeSystemClock();
  ProgramForm form(line, *clock, config);
  if (demo) form.setConnectionChoice(demo->port(), demo->speedIndex(), demo->address());
  form.setChoicesFile(choices);
  form.restoreChoices();
  if (options->dataDir.isEmpty() && !remembered.empty() && config.dataDir != remembered) {
    form.Memo1->appendPlainText(
        QStringLiteral("Запомненная папка данных %1 не найдена: работа в папке %2")
            .arg(QString::fromStdU16String(remembered.u16string()),
                 QString::fromStdU16String(config.dataDir.u16string())));
  }
  form.setStoreLocation(*store);
  if (!storeNote.isEmpty()) form.Memo1->appendPlainText(storeNote);
  form.StoreAction->setChecked(options->store);
  if (options->tab >= 0) form.PageControl2->setCurrentIndex(options->tab);
  form.show();
  if (options->diagnostics) form.showDiagnostics();
  picturesWhenShown(form, *clock, *options);
  return QApplication::exec();
}
