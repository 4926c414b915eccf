// vardis-cli run in this process against a port, with a pinned PC time.
#pragma once

#include <QCoreApplication>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_app.h"
#include "link/pc_clock.h"
#include "link/qt_serial_line.h"

namespace vardis::test {

struct CliResult {
  int status = -1;
  std::string out, err;
};

inline CliResult runCli(const std::string& port, const std::filesystem::path& dataDir,
                        const std::string& pcTime, const std::vector<std::string>& args,
                        char decimalSeparator = '.') {
  std::vector<std::string> all{"--port",         port,   "--data-dir", dataDir.string(),
                               "--fake-pc-time", pcTime};
  all.insert(all.end(), args.begin(), args.end());
  std::string error;
  auto options = cli::parseArguments(all, error);
  EXPECT_TRUE(options) << error;
  CliResult r;
  if (!options) return r;
  options->decimalSeparator = decimalSeparator;
  QtSerialLine line;
  auto clock = makeSystemClock();
  std::ostringstream out, err;
  r.status = cli::run(*options, line, *clock, out, err, false,
                      [] { QCoreApplication::processEvents(); });
  r.out = out.str();
  r.err = err.str();
  return r;
}

}  // namespace vardis::test
