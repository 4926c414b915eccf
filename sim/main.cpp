// vardis-meter-sim: a simulated meter for demonstrations and end-to-end tests.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "sim/command_line.h"
#include "sim/meter_model.h"
#include "sim/numbers.h"
#include "sim/simulator.h"
#include "vardis_version.h"

namespace vardis::sim {
namespace {

// Applies the data file, the numbers and the address of the command line to
// the meters; false (the reason on standard error) when they cannot be used.
bool setUpMeters(const CommandLine& cl, MeterSetup& setup) {
  try {
    if (!cl.dataFile.empty()) loadSetupFile(setup, cl.dataFile);
    for (const NumberOption& number : cl.numbers) addNumber(setup, number);
  } catch (const DataError& e) {
    std::cerr << "vardis-meter-sim: " << e.what() << "\n";
    return false;
  }
  if (!setup.numbers.empty() && !cl.simulator.modem.enabled) {
    std::cerr << "vardis-meter-sim: " << cl.dataFile << ": the numbers need --modem\n";
    return false;
  }
  if (cl.address) {
    const auto address = static_cast<std::uint8_t>(*cl.address);
    setup.base.setAddress(address);
    for (NumberedMeter& n : setup.numbers) n.meter.setAddress(address);
  }
  return true;
}

// The one meter, or the numbered meters behind the modem.
std::unique_ptr<Simulator> makeSimulator(MeterSetup setup, const SimulatorOptions& options) {
  if (setup.numbers.empty()) return std::make_unique<Simulator>(std::move(setup.base), options);
  return std::make_unique<Simulator>(std::move(setup.numbers), options);
}

// --verbose: one line per request and per modem event on standard error.
void logToStandardError(SimulatorOptions& options) {
  options.onRequest = [](const LogEntry& entry) {
    std::fprintf(stderr, "%s\n", entry.describe().c_str());
  };
  options.onModemEvent = [](const ModemEvent& event) {
    std::fprintf(stderr, "%s\n", event.describe().c_str());
  };
}

// Blocks SIGINT and SIGTERM, before any other thread starts, so that they are
// left to sigwait; returns the set to wait for.
sigset_t blockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  return stopSignals;
}

// --verbose: the totals once the meter has stopped.
void printTotals(const Simulator& simulator, bool modem) {
  const SimulatorStats s = simulator.stats();
  std::fprintf(stderr, "requests %llu, replies %llu, bytes in %llu, skipped %llu\n",
               static_cast<unsigned long long>(s.requests),
               static_cast<unsigned long long>(s.repliesSent),
               static_cast<unsigned long long>(s.bytesReceived),
               static_cast<unsigned long long>(s.bytesSkipped));
  if (modem) {
    std::fprintf(stderr, "modem events %zu, command bytes %llu\n", simulator.modemLog().size(),
                 static_cast<unsigned long long>(s.modemBytes));
  }
}

}  // namespace
}  // namespace vardis::sim

int main(int argc, char** argv) {
  using namespace vardis::sim;

  const std::vector<std::string> args(argv + 1, argv + argc);
  // --version: the version and nothing else.
  if (std::find(args.begin(), args.end(), "--version") != args.end()) {
    std::cout << "vardis-meter-sim " VARDIS_VERSION "\n";
    return 0;
  }
  CommandLine cl;
  try {
    cl = parseCommandLine(args);
  } catch (const UsageError& e) {
    std::cerr << "vardis-meter-sim: " << e.what() << "\n(--help lists the options)\n";
    return 2;
  }
  if (cl.help) {
    std::cout << usageText() << "  --version        print the version and exit\n";
    return 0;
  }

  MeterSetup setup;
  if (!setUpMeters(cl, setup)) return 1;
  if (cl.verbose) logToStandardError(cl.simulator);

  // The signals are taken by sigwait below; the serving thread must not get them.
  const sigset_t stopSignals = blockStopSignals();
  std::unique_ptr<Simulator> simulator;
  try {
    simulator = makeSimulator(std::move(setup), cl.simulator);
    simulator->start();
  } catch (const std::exception& e) {
    std::cerr << "vardis-meter-sim: " << e.what() << "\n";
    return 1;
  }
  std::cout << simulator->portPath() << std::endl;

  int signal = 0;
  while (sigwait(&stopSignals, &signal) != 0) {
  }
  simulator->stop();
  if (cl.verbose) printTotals(*simulator, cl.simulator.modem.enabled);
  return 0;
}
