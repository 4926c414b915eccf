// vardis-cli: the headless twin of the window.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLocale>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli/cli_app.h"
#include "cli/output_pipe.h"
#include "link/qt_serial_line.h"
#include "vardis_version.h"

namespace {

extern "C" void onInterrupt(int) {
  vardis::cli::requestCancel();
}

bool descriptorOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

// Standard output holds what the run says and exports: a run whose output
// cannot be written ends on status 1, with the reason on standard error. A
// reader that went away (`vardis-cli ... | head`) wanted no more: the run
// ends quietly with its own status.
int finishOutput(int status) {
  // The reason is named only when this last flush met it: the errno of an
  // earlier failed write is long overwritten.
  const bool failedBefore = !std::cout || std::ferror(stdout);
  errno = 0;
  std::cout.flush();
  const bool failedNow = !std::cout || std::fflush(stdout) != 0;
  const int err = failedBefore ? 0 : errno;
  if (!failedBefore && !failedNow) return status;
  if (vardis::cli::standardOutputReaderGone()) return status;
  std::cerr << "vardis-cli: standard output could not be written"
            << (err != 0 ? std::string(": ") + std::strerror(err) : std::string()) << "\n";
  return status == 0 ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed standard descriptor would be handed to the next file opened (a
  // report, the serial port) and written into by mistake: hold it with
  // /dev/null. A closed standard output is refused before anything is done.
  const bool outputClosed = !descriptorOpen(1);
  for (int fd = 0; fd <= 2; ++fd) {
    if (!descriptorOpen(fd)) ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
  }
  if (outputClosed) {
    std::cerr << "vardis-cli: standard output is closed; nothing was done\n";
    return 1;
  }
  // A reader that went away is an error of the write, not a reason to die:
  // the meter commands go on reading and writing their reports.
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit (ulimit -f) is a write error (EFBIG) the store and the
  // reports name, not a reason to die.
  std::signal(SIGXFSZ, SIG_IGN);
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  // Nothing asked: the usage, and no port is opened.
  if (args.empty()) {
    std::cerr << vardis::cli::usageText();
    return vardis::cli::kExitUsage;
  }
  std::string error;
  auto options = vardis::cli::parseArguments(args, error);
  if (!options) {
    if (error.empty()) {
      std::cout << vardis::cli::usageText();
      return finishOutput(0);
    }
    std::cerr << "vardis-cli: " << error << " (vardis-cli --help lists the options)\n";
    return vardis::cli::kExitUsage;
  }
  if (options->version) {
    std::cout << "vardis-cli " VARDIS_VERSION "\n";
    return finishOutput(0);
  }
  const QString point = QLocale().decimalPoint();
  options->decimalSeparator = point.isEmpty() ? '.' : point.at(0).toLatin1();
  if (options->decimalSeparator == 0) options->decimalSeparator = '.';

  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);

  vardis::QtSerialLine line;
  auto clock = vardis::makeSystemClock();
  return finishOutput(vardis::cli::run(*options, line, *clock, std::cout, std::cerr, isatty(2) != 0,
                                       [] { QCoreApplication::processEvents(); }));
}
