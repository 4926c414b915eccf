#include "app/app_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace vardis {

namespace {

// An option the help leaves out: for the scripts that take pictures.
QCommandLineOption hidden(QCommandLineOption option) {
  option.setFlags(QCommandLineOption::HiddenFromHelp);
  return option;
}

}  // namespace

std::optional<AppOptions> parseAppOptions(const QStringList& arguments, QString& error,
                                          QString& help) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Heat meter service tool"));
  const QCommandLineOption helpOption = parser.addHelpOption();
  const QCommandLineOption demo(QStringLiteral("demo"),
                                QStringLiteral("Talk to the built-in simulated meter."));
  const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                   QStringLiteral("Folder of the report files and the node list."),
                                   QStringLiteral("DIR"));
  const QCommandLineOption screenshot =
      hidden({QStringLiteral("screenshot"),
              QStringLiteral("Save a picture of the window and quit."), QStringLiteral("FILE")});
  const QCommandLineOption chartScreenshot = hidden(
      {QStringLiteral("chart-screenshot"),
       QStringLiteral("Read yesterday's hourly archive, save a picture of its chart and quit."),
       QStringLiteral("FILE")});
  const QCommandLineOption watchScreenshot = hidden(
      {QStringLiteral("watch-screenshot"),
       QStringLiteral("Watch the current values for a few passes, save a picture of it and quit."),
       QStringLiteral("FILE")});
  const QCommandLineOption tab = hidden(
      {QStringLiteral("tab"), QStringLiteral("Current-values page to show."), QStringLiteral("N")});
  const QCommandLineOption diagnostics =
      hidden({QStringLiteral("diagnostics"), QStringLiteral("Open the diagnostics window.")});
  const QCommandLineOption store(
      QStringLiteral("store"),
      QStringLiteral("The store of readings: sqlite:PATH, or a PostgreSQL URI or conninfo "
                     "(default: as chosen in the Service menu, else $VARDIS_STORE, else "
                     "vardis.sqlite in the data folder)."),
      QStringLiteral("URL"));
  const QCommandLineOption noStore(
      QStringLiteral("no-store"),
      QStringLiteral("Start without storing the readings (the Service menu turns it on)."));
  parser.addOptions({demo, dataDir, store, noStore, screenshot, chartScreenshot, watchScreenshot,
                     tab, diagnostics});

  error.clear();
  help.clear();
  if (!parser.parse(arguments)) {
    error = parser.errorText();
    return std::nullopt;
  }
  if (parser.isSet(helpOption) || parser.optionNames().contains(QStringLiteral("help-all"))) {
    help = parser.helpText();
    return std::nullopt;
  }
  if (!parser.positionalArguments().isEmpty()) {
    error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  AppOptions o;
  o.demo = parser.isSet(demo);
  o.dataDir = parser.value(dataDir);
  if (parser.isSet(dataDir) && o.dataDir.isEmpty()) {
    error = QStringLiteral("Empty folder for --data-dir.");
    return std::nullopt;
  }
  o.screenshot = parser.value(screenshot);
  o.chartScreenshot = parser.value(chartScreenshot);
  o.watchScreenshot = parser.value(watchScreenshot);
  if (parser.isSet(tab)) {
    bool ok = false;
    o.tab = parser.value(tab).toInt(&ok);
    if (!ok || o.tab < 0) {
      error = QStringLiteral("Bad page number '%1'.").arg(parser.value(tab));
      return std::nullopt;
    }
  }
  o.diagnostics = parser.isSet(diagnostics);
  o.store = !parser.isSet(noStore);
  o.storeText = parser.value(store);
  if (parser.isSet(store)) {
    try {
      if (o.storeText.isEmpty()) throw std::invalid_argument("Empty store for --store.");
      store::parseStoreLocation(o.storeText.toStdString(), {});
    } catch (const std::invalid_argument& e) {
      error = QString::fromStdString(e.what());
      return std::nullopt;
    }
  }
  return o;
}

std::filesystem::path dataDirFor(const AppOptions& options, const std::filesystem::path& defaultDir,
                                 const std::filesystem::path& remembered) {
  if (!options.dataDir.isEmpty()) return std::filesystem::path(options.dataDir.toStdString());
  if (options.demo) return defaultDir / "demo";
  std::error_code ec;
  if (!remembered.empty() && std::filesystem::is_directory(remembered, ec)) return remembered;
  return defaultDir;
}

bool remembersChoices(const AppOptions& options) {
  return !options.demo && options.screenshot.isEmpty() && options.chartScreenshot.isEmpty() &&
         options.watchScreenshot.isEmpty();
}

QString choicesFile() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  return QDir(folder).filePath(QStringLiteral("choices.ini"));
}

std::filesystem::path rememberedDataDir(const QString& choicesFile) {
  if (choicesFile.isEmpty() || !QFileInfo::exists(choicesFile)) return {};
  const QSettings settings(choicesFile, QSettings::IniFormat);
  const QString folder = settings.value(QLatin1String(kDataDirChoice)).toString();
  if (settings.status() != QSettings::NoError || folder.isEmpty()) return {};
  return std::filesystem::path(folder.toStdU16String());
}

std::optional<QString> rememberedStore(const QString& choicesFile) {
  if (choicesFile.isEmpty() || !QFileInfo::exists(choicesFile)) return std::nullopt;
  const QSettings settings(choicesFile, QSettings::IniFormat);
  const QVariant text = settings.value(QLatin1String(kStoreChoice));
  if (settings.status() != QSettings::NoError || !text.isValid()) return std::nullopt;
  return text.toString();
}

std::optional<store::StoreLocation> storeLocationFor(const AppOptions& options,
                                                     const std::filesystem::path& dataDir,
                                                     const std::optional<QString>& remembered,
                                                     QString& error, QString& note) {
  if (!options.storeText.isEmpty()) {
    return store::parseStoreLocation(options.storeText.toStdString(), dataDir);
  }
  // The simulated meter's readings stay in the demonstration's own folder.
  if (options.demo) return store::parseStoreLocation({}, dataDir);
  if (remembered) {
    try {
      return store::parseStoreLocation(remembered->toStdString(), dataDir);
    } catch (const std::invalid_argument&) {
      note = QStringLiteral("Запомненное расположение базы показаний %1 не понято: пропущено")
                 .arg(QString::fromStdString(store::maskPasswords(remembered->toStdString())));
    }
  }
  const char* variable = std::getenv(store::kStoreVariable);
  try {
    return store::parseStoreLocation(variable ? variable : "", dataDir);
  } catch (const std::invalid_argument& e) {
    // The message names the option; this text came from the variable.
    std::string why = e.what();
    if (why.rfind("--store ", 0) == 0) why.replace(0, 8, std::string(store::kStoreVariable) + "=");
    error = QString::fromStdString(why);
    return std::nullopt;
  }
}

}  // namespace vardis
