// vardis-cli: the headless twin of the window.
#include <unistd.h>

#include <QCoreApplication>
#include <QLocale>
#include <csignal>
#include <iostream>

#include "cli/cli_app.h"
#include "link/qt_serial_line.h"

namespace {

extern "C" void onInterrupt(int) {
  vardis::cli::requestCancel();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = vardis::cli::parseArguments(args, error);
  if (!options) {
    if (error.empty()) {
      std::cout << vardis::cli::usageText();
      return 0;
    }
    std::cerr << "vardis-cli: " << error << " (vardis-cli --help lists the options)\n";
    return vardis::cli::kExitUsage;
  }
  const QString point = QLocale().decimalPoint();
  options->decimalSeparator = point.isEmpty() ? '.' : point.at(0).toLatin1();
  if (options->decimalSeparator == 0) options->decimalSeparator = '.';

  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);

  vardis::QtSerialLine line;
  auto clock = vardis::makeSystemClock();
  return vardis::cli::run(*options, line, *clock, std::cout, std::cerr, isatty(2) != 0,
                          [] { QCoreApplication::processEvents(); });
}
