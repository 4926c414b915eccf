// vardis-bench: how fast the tool reads a meter, and what it costs.
//
// The simulated meter runs as its own program on a pseudo-terminal and sends
// its replies at the wire speed of the baud rate the tool set, after a fixed
// turnaround. This process is the tool: the real serial line on QSerialPort
// under a core session, reading hourly archives (533 transactions each) at
// 9600 and 115200 baud. It prints one table:
//  - each transaction split into drain read, send, the wait for the first
//    reply byte and the rest of the reply, as p50 / p99 / max;
//  - the floor of a transaction and the overhead above it;
//  - the same reading over a plain select/read/write line without Qt, which
//    shows what the pseudo-terminal, the scheduler and the simulated meter
//    cost on this machine whatever the tool does;
//  - the processor time of this process as a share of wall time while it reads;
//  - the peak memory of vardis-cli reading values, a monthly record and the
//    parameters.
// Then the same readings with the quick drain (after a good reply the next
// drain takes only the bytes already waiting), over both lines: their parts,
// the floor without a drain on a wire and on the pseudo-terminal, and the wall
// time against the full drain's of the same run.
// Then, without a meter, the store: the time of storing an hourly reading into
// a store that holds a year, of reading the year back, and the file's size.
// Last the round: vardis-cli round calling 20 nodes over one simulated modem
// and over four, its wall time, its processor time a transaction and each
// node's connected seconds against the time its transactions need; then the
// round over one modem once more with --quick-drain, each node's connected
// seconds against the full drain's.
// At the end (alone with --postgres-only) the store on a PostgreSQL server the
// benchmark starts for itself (tests/support/pg-server) and reaches over TCP
// on 127.0.0.1 with the password: storing an hourly reading with a
// meter-year in it and reading the year back; 32 worker threads, each its own
// connection, claiming the 10,000 nodes of a shared round's queue, with and
// without ending each attempt; and a round of 60 nodes shared by three
// vardis-cli hosts of two simulated modems each, its wall time against the
// same nodes over one modem and whether every node was read once.
// Then (alone with --web-only) the web view on loopback over a store of 100
// meters with a year each and a round of their nodes: /api/rounds/ID, a
// meter's week of hourly history and the page's first load.
//
// options.cpp reads the command line, speed.cpp times the readings,
// cli_run.cpp runs vardis-cli, store_bench.cpp fills and times the store,
// round_bench.cpp runs the rounds, pg_bench.cpp runs the server and its
// measurements, and report.cpp, quick_report.cpp, round_report.cpp and
// pg_bench.cpp print the tables (speed_rows.cpp: the rows they share).
#include <QCoreApplication>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/cli_run.h"
#include "bench/common.h"
#include "bench/options.h"
#include "bench/pg_bench.h"
#include "bench/report.h"
#include "bench/round_bench.h"
#include "bench/speed.h"
#include "bench/store_bench.h"
#include "bench/web_bench.h"

int main(int argc, char** argv) {
  using namespace vardis::bench;
  QCoreApplication app(argc, argv);
  bool help = false;
  Options options;
  try {
    options = parseOptions(std::vector<std::string>(argv + 1, argv + argc), help);
  } catch (const std::invalid_argument& e) {
    std::cerr << "vardis-bench: " << e.what() << "\n";
    usage(std::cerr);
    return 2;
  }
  if (help) {
    usage(std::cout);
    return 0;
  }
  const bool all =
      !options.storeOnly && !options.roundOnly && !options.postgresOnly && !options.webOnly;
  try {
    if (all) {
      const vardis::CalendarDate date = yesterday();
      std::vector<SpeedRuns> runs;
      for (const unsigned baud : {9600u, 115200u}) {
        SpeedRuns r;
        r.tool = measureSpeed(options, baud, date, LineKind::Tool);
        r.plain = measureSpeed(options, baud, date, LineKind::Plain);
        r.quickTool = measureSpeed(options, baud, date, LineKind::Tool, true);
        r.quickPlain = measureSpeed(options, baud, date, LineKind::Plain, true);
        runs.push_back(std::move(r));
      }
      const CliResult cli = measureCli(options, date);
      printTable(options, date, runs, cli);
      std::cout << "\n";
    }
    if (all || options.storeOnly) printStore(measureStore(options));
    if (all || options.roundOnly) {
      if (all || options.storeOnly) std::cout << "\n";
      printRound(measureRound(options));
    }
    if (all || options.postgresOnly) {
      if (all || options.storeOnly || options.roundOnly) std::cout << "\n";
      printPostgres(measurePostgres(options));
    }
    if (all || options.webOnly) {
      if (!all && (options.storeOnly || options.roundOnly || options.postgresOnly)) {
        std::cout << "\n";
      }
      if (all) std::cout << "\n";
      printWeb(measureWeb(options));
    }
  } catch (const std::exception& e) {
    std::cerr << "vardis-bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
