#include "bench/options.h"

#include <cstdlib>
#include <ostream>
#include <stdexcept>

namespace vardis::bench {

namespace {

int wholeNumber(const std::string& option, const std::string& text, int min, int max) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < min || v > max) {
    throw std::invalid_argument(option + " needs a whole number " + std::to_string(min) + ".." +
                                std::to_string(max));
  }
  return static_cast<int>(v);
}

}  // namespace

void usage(std::ostream& out) {
  out << "usage: vardis-bench [--full | --quick] [--readings N] [--turnaround MS]\n"
         "                    [--timer-slack NS] [--meter-sim PATH] [--cli PATH]\n"
         "                    [--store-only] [--store-runs N] [--round-only]\n"
         "                    [--postgres-only] [--web-only]\n"
         "Reads hourly archives from the simulated meter at 9600 and 115200 baud,\n"
         "over the tool's serial line and over a plain one, and prints the time of\n"
         "each transaction against its floor, the processor share of the reading\n"
         "and the peak memory of vardis-cli; then the same readings with the quick\n"
         "drain, against the floor without a drain and the full drain's wall time.\n"
         "Then fills a store with a meter-year of readings and prints the time of\n"
         "storing an hourly reading, of reading the year back and the size of the\n"
         "file. Then runs vardis-cli round over 20 nodes with one simulated modem\n"
         "and with four, and over one again with --quick-drain, and prints the wall\n"
         "time, the processor time a transaction and each node's connected seconds\n"
         "against the time its transactions need. Last, on a PostgreSQL server of\n"
         "its own (tests/support/pg-server) over TCP on 127.0.0.1: the same storing\n"
         "and reading back, 32 workers claiming the 10000 nodes of a shared round's\n"
         "queue, and a round of 60 nodes shared by 3 vardis-cli hosts of 2 simulated\n"
         "modems each against the same nodes over one modem. Then the web view\n"
         "(vardis-cli serve) on loopback over a store of 100 meter-years: a round's\n"
         "nodes, a meter's week of hourly records and the page's first load.\n"
         "\n"
         "  --full            10 hourly readings (5330 transactions) a speed, line and\n"
         "                    drain (default)\n"
         "  --quick           1 hourly reading (533 transactions) a speed, line and drain\n"
         "  --readings N      N hourly readings a speed\n"
         "  --turnaround MS   the meter's delay before each reply (default 5)\n"
         "  --timer-slack NS  the reading thread's timer slack (prctl), not the meter's\n"
         "  --meter-sim PATH  the simulated meter program\n"
         "  --cli PATH        the vardis-cli program\n"
         "  --store-only      the store alone, without a meter (a few seconds)\n"
         "  --store-runs N    N runs of each way of storing a reading (default 50)\n"
         "  --round-only      the round alone (two minutes or so); with --store-only,\n"
         "                    the store and the round\n"
         "  --postgres-only   the PostgreSQL part alone (five minutes or so); with\n"
         "                    --store-only or --round-only, those parts too\n"
         "  --web-only        the web view alone (a few minutes, most of it filling the\n"
         "                    store); with the other --...-only, those parts too\n";
}

Options parseOptions(const std::vector<std::string>& args, bool& help) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      help = true;
    } else if (a == "--quick") {
      o.mode = a;
      o.readings = kQuickReadings;
    } else if (a == "--full") {
      o.mode = a;
      o.readings = kFullReadings;
    } else if (a == "--readings") {
      o.readings = wholeNumber(a, value(), 1, 1000);
      o.mode = "--readings " + std::to_string(o.readings);
    } else if (a == "--turnaround") {
      o.turnaroundMs = wholeNumber(a, value(), 0, 1000);
    } else if (a == "--timer-slack") {
      o.timerSlackNs = wholeNumber(a, value(), 1, 100000000);
    } else if (a == "--meter-sim") {
      o.meterProgram = value();
    } else if (a == "--cli") {
      o.cliProgram = value();
    } else if (a == "--store-only") {
      o.storeOnly = true;
    } else if (a == "--round-only") {
      o.roundOnly = true;
    } else if (a == "--postgres-only") {
      o.postgresOnly = true;
    } else if (a == "--web-only") {
      o.webOnly = true;
    } else if (a == "--store-runs") {
      o.storeRuns = wholeNumber(a, value(), 1, 365);
    } else {
      throw std::invalid_argument("unknown option '" + a + "'");
    }
  }
  return o;
}

}  // namespace vardis::bench
