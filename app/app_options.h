// The command line of the window program.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>

#include "store/store_location.h"

namespace vardis {

struct AppOptions {
  bool demo = false;         // --demo: the simulated meter on a pseudo-terminal
  QString dataDir;           // --data-dir DIR; empty: the default data folder
  QString screenshot;        // --screenshot FILE: save the window as a picture and quit
  QString chartScreenshot;   // --chart-screenshot FILE: read yesterday's hours, save the chart
  QString watchScreenshot;   // --watch-screenshot FILE: watch the values a while, save the watch
  int tab = -1;              // --tab N: the current-values page shown first
  bool diagnostics = false;  // --diagnostics: open the diagnostics window at start
  bool store = true;         // false with --no-store: the readings are not stored at start
  QString storeText;         // --store URL: the store (store/store_location.h); empty: as chosen
};

// Parses the arguments (the program name first). On an error returns nothing
// and puts the message into `error`; `--help` returns nothing with `error` empty
// and the help text in `help`.
std::optional<AppOptions> parseAppOptions(const QStringList& arguments, QString& error,
                                          QString& help);

// The data folder the program works in: --data-dir when given; for a
// demonstration a "demo" folder inside the default one, so that the demo never
// makes the real report folder; otherwise the folder remembered from the last
// run when it still is one, else the default one.
std::filesystem::path dataDirFor(const AppOptions& options, const std::filesystem::path& defaultDir,
                                 const std::filesystem::path& remembered = {});

// Whether the window remembers its choices in this run: not for a
// demonstration, nor when it only takes pictures.
bool remembersChoices(const AppOptions& options);

// Where the window remembers its choices between runs: choices.ini in the
// user's configuration folder (~/.config/vardis on Linux).
QString choicesFile();

// The key of the data folder in the choices file, and the folder remembered
// there: empty when none (the default folder) or when the file cannot be read.
inline constexpr const char* kDataDirChoice = "dataDir";
std::filesystem::path rememberedDataDir(const QString& choicesFile);

// The key of the store's location chosen in "Сервис → База показаний…", and
// the text remembered there: nothing when none was chosen or the file cannot
// be read; an empty text is the data folder's own file.
inline constexpr const char* kStoreChoice = "store";
std::optional<QString> rememberedStore(const QString& choicesFile);

// The store the window works on: --store, else the location chosen in the
// window (`remembered`), else $VARDIS_STORE, else vardis.sqlite in the data
// folder; for a demonstration, without --store, always the latter. Nothing,
// with the message in `error`, for a $VARDIS_STORE that names no store; a
// remembered text that names none is passed over and said in `note`.
std::optional<store::StoreLocation> storeLocationFor(const AppOptions& options,
                                                     const std::filesystem::path& dataDir,
                                                     const std::optional<QString>& remembered,
                                                     QString& error, QString& note);

}  // namespace vardis
