// One round of the six nodes of sim/examples/round.json into a data folder,
// as a dispatcher's night leaves it: nodes 1..4 read, 5 never answers, 6
// drops every call (its carrier goes 1.5 s after CONNECT). The round reads
// the values, the hourly archives of the two days before today and
// yesterday's daily archive.
#pragma once

#include <QDate>
#include <QDateTime>
#include <filesystem>
#include <fstream>
#include <string>

#include "connection/data_dir.h"
#include "sim/numbers.h"
#include "support/cli_runner.h"

namespace vardis::test {

// Today's date moved by `offset` days, as the commands take it.
inline std::string dayFromToday(int offset) {
  return QDate::currentDate().addDays(offset).toString(QStringLiteral("yyyy-MM-dd")).toStdString();
}
inline std::string pcNow() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

inline CliResult runExampleRound(const std::filesystem::path& dataDir,
                                 const std::filesystem::path& sourceDir) {
  namespace fs = std::filesystem;
  fs::create_directories(reportDir(dataDir));
  fs::copy_file(sourceDir / "sim/examples/gsm_csd.ini", nodeFile(dataDir));
  // The quick drain, but for node 6, whose carrier goes while its values are read.
  std::ofstream(nodeFile(dataDir), std::ios::app) << "quick=1\r\nquick_6=0\r\n";
  sim::MeterSetup setup;
  sim::loadSetupFile(setup, (sourceDir / "sim/examples/round.json").string());
  setup.numbers[5].number.faults.noCarrierAfterMs = 1500;  // 45 s in the example
  sim::SimulatorOptions o;
  o.speed = 115200;
  o.modem.connectDelayMs = 100;
  o.modem.guardMs = 50;
  o.modem.noAnswerDelayMs = 200;
  sim::Simulator modem(std::move(setup.numbers), o);
  modem.start();
  CliResult r =
      runCli(modem.portPath(), dataDir, pcNow(),
             {"--gsm", "--test-dial-wait-ms", "3000", "round", "--redial-pause", "0", "values",
              "hourly", dayFromToday(-2), "hourly", dayFromToday(-1), "daily", dayFromToday(-1)});
  modem.stop();
  return r;
}

}  // namespace vardis::test
