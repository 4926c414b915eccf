#include "cli/round_command.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>

#include "archives/session.h"
#include "cli/commands.h"
#include "cli/export_sink.h"
#include "cli/round_log.h"
#include "connection/data_dir.h"
#include "link/node_directory.h"
#include "link/qt_serial_line.h"
#include "round/node_visit.h"
#include "store/recorder.h"
#include "values/device_clock.h"

namespace vardis::cli {

namespace {

std::atomic<bool> g_roundStop{false};

std::string isoNow(const PcClock& clock) {
  return isoDateTime(clock.now());
}

std::string commandText(const std::vector<CliCommand>& commands) {
  std::string out;
  for (const auto& c : commands) {
    out += (out.empty() ? "" : " ") + c.name;
    for (const auto& a : c.args) out += " " + a;
  }
  return out;
}

// The --trace file of a round: every modem's lines, each named by its port.
class RoundTrace {
 public:
  bool open(const std::string& file, std::ostream& err) {
    if (file.empty()) return true;
    file_ = std::make_unique<std::ofstream>(file, std::ios::app);
    if (*file_) return true;
    err << "vardis-cli: cannot write the trace file " << file << "\n";
    return false;
  }
  TraceSink sinkFor(const std::string& port) {
    if (!file_) return nullptr;
    return [this, port](const std::string& line) {
      const std::lock_guard<std::mutex> lock(mutex_);
      *file_ << port << " " << line << "\n" << std::flush;
    };
  }

 private:
  std::unique_ptr<std::ofstream> file_;
  std::mutex mutex_;
};

// Everything one modem needs; it lives and dies on that modem's thread.
struct Modem {
  const CliOptions& options;
  const PcClock& clock;
  const std::filesystem::path& dataDir;
  const std::vector<CliCommand>& commands;
  round::RoundQueue& queue;
  LiveTable& table;
  RoundTrace& trace;
};

// The commands of one visit, the visit stored as the single-meter runs store theirs.
bool visitCommands(Session& s, CommandContext& c, const std::string& port,
                   const std::vector<CliCommand>& commands, store::RoundNodeRow& log) {
  c.recorder.visitStarted(s, port, true);
  c.recorder.commandEnded(s, store::StoredReading::Identification);
  bool whole = true;
  try {
    for (const auto& cmd : commands) {
      whole = runCommand(c, cmd).empty() && whole;
      log.whatRead += (log.whatRead.empty() ? "" : " ") + cmd.name;
    }
  } catch (...) {
    c.recorder.visitEnded(s, s.cancelRequested() ? "stopped" : "link fault");
    throw;
  }
  c.recorder.visitEnded(s, whole ? "ok" : "link fault");
  return whole;
}

void runModem(const Modem& m, const std::string& port) {
  QtSerialLine line;
  SessionConfig config;
  config.dataDir = m.dataDir;
  config.numbers.decimalSeparator = m.options.decimalSeparator;
  Session s(line, m.clock, config);
  if (auto sink = m.trace.sinkFor(port)) s.setTrace(std::move(sink));
  s.setBreathe([&s] {
    if (g_roundStop.load()) s.requestCancel();
  });
  const LocalDateTime today = m.clock.now();
  pickArchiveDate(s, today.year, today.month, today.day);
  store::Recorder recorder(m.dataDir, m.options.store,
                           [&m](const std::string& w) { m.table.note(w); });
  ExportSink sink;
  ExportRun run;
  std::ostringstream out, err;
  CommandContext c{s, m.options, out, err, sink, run, recorder};
  while (const auto i = m.queue.take(g_roundStop)) {
    store::RoundNodeRow log = m.queue.log(*i);
    const auto step = [&](const std::string& state) { m.table.show(*i, log, state); };
    round::visitNode(
        s, {m.options.address, port, m.options.speedIndex, true}, m.queue.node(*i),
        m.queue.options(),
        [&](Session& session, store::RoundNodeRow& l) {
          return visitCommands(session, c, port, m.commands, l);
        },
        log, step);
    try {
      s.StopConnection();
    } catch (const std::exception& e) {
      log.message = e.what();
    }
    s.clearCancel();
    m.queue.setLog(*i, log);
    m.queue.attemptEnded(*i);
    m.table.show(*i, log, log.result);
  }
}

std::vector<round::RoundNode> chosenNodes(const NodeDirectory& d, const RoundArgs& a,
                                          std::string& error) {
  std::vector<round::RoundNode> nodes;
  std::vector<int> numbers = a.nodes;
  if (numbers.empty()) {
    for (int n = 1; n <= d.NodeCount; ++n) numbers.push_back(n);
  }
  for (int n : numbers) {
    if (n > d.NodeCount) {
      error = "round --nodes: no node " + std::to_string(n) + " (" + std::to_string(d.NodeCount) +
              " nodes)";
      return {};
    }
    const auto k = static_cast<std::size_t>(n);
    nodes.push_back({n, d.NodeName[k], d.NodePhone[k], d.NodeInit[k]});
  }
  return nodes;
}

}  // namespace

void requestRoundStop() {
  g_roundStop.store(true);
}

int runRound(const CliOptions& o, const PcClock& clock, std::ostream& out, std::ostream& err,
             bool terminal) {
  const auto dataDir = o.dataDir.empty() ? defaultDataDir() : std::filesystem::path(o.dataDir);
  std::string error;
  const RoundArgs args = parseRoundArgs(o.commands.front(), error).value_or(RoundArgs{});
  const NodeDirectory directory = loadNodeDirectory(nodeFile(dataDir));
  if (!directory.warning.empty()) err << "vardis-cli: " << directory.warning << "\n";
  auto nodes = chosenNodes(directory, args, error);
  if (nodes.empty()) {
    err << "vardis-cli: " << (error.empty() ? "no nodes in " + nodeFile(dataDir).string() : error)
        << "\n";
    return 2;
  }
  // Without the report folder every node would be called only to fail.
  if (std::error_code ec; !std::filesystem::is_directory(reportDir(dataDir), ec)) {
    err << "vardis-cli: the report folder " << reportDir(dataDir).string()
        << " does not exist; no node was called\n";
    return 1;
  }
  RoundTrace trace;
  if (!trace.open(o.traceFile, err)) return 2;
  std::vector<CliCommand> commands(o.commands.begin() + 1, o.commands.end());
  if (commands.empty()) commands = defaultRoundCommands();
  store::RoundRow round{isoNow(clock), "", "", commandText(commands), {}};
  for (const auto& p : o.ports) round.ports += (round.ports.empty() ? "" : " ") + p;

  std::unique_ptr<store::ReadingStore> st;
  if (o.store) {
    try {
      st = std::make_unique<store::ReadingStore>(store::storeFile(dataDir));
    } catch (const store::StoreError& e) {
      err << "vardis-cli: " << e.what() << "; the round goes on without the store\n";
    }
  }
  round::RoundQueue queue(nodes, {args.attempts, args.redialPauseSeconds * 1000, o.dialWaitMs});
  std::vector<store::RoundNodeRow> rows = queue.logs();
  // A node a round read earlier today with these commands is not called again.
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (st && st->nodeReadOn(nodes[i].phone, round.commands, round.started.substr(0, 10))) {
      rows[i].result = "read";
      rows[i].message = "read earlier today";
      queue.setLog(i, rows[i]);
      queue.attemptEnded(i);
    }
  }
  LiveTable table(err, terminal, queue.logs());
  g_roundStop.store(false);
  const Modem modem{o, clock, dataDir, commands, queue, table, trace};
  // One QThread a modem: the serial port wants a Qt thread of its own.
  std::vector<std::unique_ptr<QThread>> threads;
  for (const auto& port : o.ports.empty() ? std::vector<std::string>{o.port} : o.ports) {
    threads.emplace_back(QThread::create([&modem, port] { runModem(modem, port); }));
    threads.back()->start();
  }
  for (auto& t : threads) {
    while (!t->wait(50)) QCoreApplication::processEvents();  // the main thread only waits
  }
  round.nodes = queue.logs();
  round.ended = isoNow(clock);
  if (st) st->storeRound(round);
  const std::string log = writeRoundLog(dataDir, round, error);
  out << "round: " << roundSummary(round) << "; log " << (log.empty() ? error : log) << "\n";
  const bool all = std::all_of(round.nodes.begin(), round.nodes.end(),
                               [](const auto& n) { return n.result == "read"; });
  return log.empty() ? 1 : (all ? 0 : kExitNodesNotRead);
}

}  // namespace vardis::cli
