// vardis-meter-sim: a simulated meter for demonstrations and end-to-end tests.
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "sim/command_line.h"
#include "sim/meter_model.h"
#include "sim/simulator.h"

namespace vardis::sim {
namespace {

// Applies the data file and the address of the command line to the meter;
// false (the reason on standard error) when the data file cannot be used.
bool setUpMeter(const CommandLine& cl, MeterModel& model) {
  try {
    if (!cl.dataFile.empty()) model.loadJsonFile(cl.dataFile);
  } catch (const DataError& e) {
    std::cerr << "vardis-meter-sim: " << e.what() << "\n";
    return false;
  }
  if (cl.address) model.setAddress(static_cast<std::uint8_t>(*cl.address));
  return true;
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

  CommandLine cl;
  try {
    cl = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::cerr << "vardis-meter-sim: " << e.what() << "\n(--help lists the options)\n";
    return 2;
  }
  if (cl.help) {
    std::cout << usageText();
    return 0;
  }

  MeterModel model;
  if (!setUpMeter(cl, model)) return 1;
  if (cl.verbose) logToStandardError(cl.simulator);

  // The signals are taken by sigwait below; the serving thread must not get them.
  const sigset_t stopSignals = blockStopSignals();
  Simulator simulator(std::move(model), cl.simulator);
  try {
    simulator.start();
  } catch (const std::exception& e) {
    std::cerr << "vardis-meter-sim: " << e.what() << "\n";
    return 1;
  }
  std::cout << simulator.portPath() << std::endl;

  int signal = 0;
  while (sigwait(&stopSignals, &signal) != 0) {
  }
  simulator.stop();
  if (cl.verbose) printTotals(simulator, cl.simulator.modem.enabled);
  return 0;
}
