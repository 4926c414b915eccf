#include "cli/round_command.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>

#include "archives/session.h"
#include "cli/commands.h"
#include "cli/export_sink.h"
#include "cli/report_folder.h"
#include "cli/round_log.h"
#include "cli/round_shared.h"
#include "cli/store_option.h"
#include "connection/data_dir.h"
#include "link/node_directory.h"
#include "link/port_text.h"
#include "link/qt_serial_line.h"
#include "link/speeds.h"
#include "round/node_visit.h"
#include "store/recorder.h"
#include "values/device_clock.h"

namespace vardis::cli {

namespace {

std::atomic<bool> g_roundStop{false};

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

// The commands of one visit on one modem's session, the visit stored as the
// single-meter runs store theirs.
class CliVisit final : public round::VisitRunner {
 public:
  CliVisit(Session& s, const CliOptions& o, const std::optional<store::StoreLocation>& location,
           const std::string& port, const std::vector<CliCommand>& commands, RoundStore& st)
      : port_(port),
        commands_(commands),
        store_(st),
        recorder_(location.value_or(store::StoreLocation{}), location.has_value(),
                  [&st](const std::string& w) { st.note(w); }),
        context_{s, o, out_, err_, sink_, run_, recorder_} {
    const LocalDateTime today = s.clock().now();
    pickArchiveDate(s, today.year, today.month, today.day);
  }

  void run(Session& s, std::vector<bool>& done) override {
    // A store the round gave up is not waited for again in every call.
    if (store_.givenUp()) recorder_.setEnabled(false);
    recorder_.visitStarted(s, port_, true);
    recorder_.commandEnded(s, store::StoredReading::Identification);
    bool whole = true;
    try {
      for (std::size_t k = 0; k < commands_.size(); ++k) {
        const bool ok = runCommand(context_, commands_[k]).empty();
        if (ok && k < done.size()) done[k] = true;
        whole = ok && whole;
      }
    } catch (...) {
      recorder_.visitEnded(s, s.cancelRequested() ? "stopped" : "link fault");
      throw;
    }
    recorder_.visitEnded(s, whole ? "ok" : "link fault");
  }

 private:
  std::string port_;
  const std::vector<CliCommand>& commands_;
  RoundStore& store_;
  store::Recorder recorder_;
  ExportSink sink_;
  ExportRun run_;
  std::ostringstream out_, err_;
  CommandContext context_;
};

// The nodes chosen, each once, in the order given; a node without a dial text
// is named and never dialled (it would go as a bare CR).
std::vector<round::RoundNode> chosenNodes(const NodeDirectory& d, const RoundArgs& a,
                                          const std::filesystem::path& dataDir, std::ostream& err,
                                          std::string& error) {
  std::vector<int> numbers;
  for (int n : a.nodes) {
    if (std::find(numbers.begin(), numbers.end(), n) == numbers.end()) numbers.push_back(n);
  }
  if (numbers.empty()) {
    for (int n = 1; n <= d.NodeCount; ++n) numbers.push_back(n);
  }
  std::vector<round::RoundNode> nodes;
  for (int n : numbers) {
    if (n > d.NodeCount) {
      error = "round --nodes: no node " + std::to_string(n) + " (" + std::to_string(d.NodeCount) +
              " nodes)";
      return {};
    }
    const auto k = static_cast<std::size_t>(n);
    round::RoundNode node{n,  d.NodeName[k], d.NodePhone[k], d.NodeInit[k], false,
                          "", d.NodeQuick[k]};
    if (node.phone.empty()) {
      node.refused = "no dial text: the node file has no tel_" + std::to_string(n);
      err << "vardis-cli: node " << n << " has no tel_" << n << " in "
          << nodeFile(dataDir).filename().string() << "; it is not dialled\n";
    }
    nodes.push_back(std::move(node));
  }
  return nodes;
}

// The modems of the round, each once: the same port twice would be two
// sessions fighting over one line.
std::vector<std::string> roundPorts(const CliOptions& o, std::string& error) {
  const std::vector<std::string> given =
      o.ports.empty() ? std::vector<std::string>{o.port} : o.ports;
  std::vector<std::string> seen;
  for (const auto& p : given) {
    const std::string device = portFromText(p).value_or(p);
    if (std::find(seen.begin(), seen.end(), device) != seen.end()) {
      error = "round: the port " + p + " is given twice; nothing was dialled";
      return {};
    }
    seen.push_back(device);
  }
  return given;
}

// One QThread a modem: the serial port wants a Qt thread of its own; the main
// thread only waits.
void onQtThreads(const std::vector<std::function<void()>>& tasks) {
  std::vector<std::unique_ptr<QThread>> threads;
  for (const auto& task : tasks) {
    threads.emplace_back(QThread::create(task));
    threads.back()->start();
  }
  for (auto& t : threads) {
    while (!t->wait(50)) QCoreApplication::processEvents();
  }
}

}  // namespace

void requestRoundStop() {
  g_roundStop.store(true);
}

namespace {

// The table shows the engine's nodes as log rows.
class TableObserver final : public round::RoundObserver {
 public:
  TableObserver(LiveTable& table, const std::vector<std::string>& names)
      : table_(table), names_(names) {}
  void nodeShown(std::size_t i, const round::NodeLog& log, const std::string& state) override {
    if (log.drain == round::DrainUsed::QuickThenFull) {
      table_.note("node " + std::to_string(log.node) + ": " + kQuickDrainEndedText);
    }
    table_.show(i, round::rowOf(log, names_), state);
  }
  void modemFailed(const std::string& port, const std::string& why) override {
    table_.note("the modem on " + port + " cannot be used (" + why + "); it leaves the round");
  }

 private:
  LiveTable& table_;
  const std::vector<std::string>& names_;
};

int exitStatus(const round::RoundOutcome& r, const std::string& logError) {
  if (!logError.empty()) return 1;
  const bool all = std::all_of(r.nodes.begin(), r.nodes.end(), [](const round::NodeLog& n) {
    return n.result == round::NodeResult::Read;
  });
  if (all) return 0;
  // Not one modem could be used, or not one node was tried: a night that failed.
  if (r.modemsUsed.empty() || !r.anyAttempted) return kExitRoundFailed;
  return kExitNodesNotRead;
}

}  // namespace

namespace {

// What a round needs before its first call; nothing (with the message said
// and `status` set) when a port, the nodes or the report folder are wrong.
struct RoundSetup {
  std::filesystem::path dataDir;
  RoundArgs args;
  std::vector<std::string> ports;
  std::vector<round::RoundNode> nodes;
  std::vector<CliCommand> commands;
  std::vector<std::string> names;
};

std::optional<RoundSetup> setUpRound(const CliOptions& o, std::ostream& err, int& status) {
  RoundSetup r;
  r.dataDir = o.dataDir.empty() ? defaultDataDir() : std::filesystem::path(o.dataDir);
  std::string error;
  r.args = parseRoundArgs(o.commands.front(), error).value_or(RoundArgs{});
  r.ports = roundPorts(o, error);
  status = 2;
  if (r.ports.empty()) {
    err << "vardis-cli: " << error << "\n";
    return std::nullopt;
  }
  const NodeDirectory directory = loadNodeDirectory(nodeFile(r.dataDir));
  if (!directory.warning.empty()) err << "vardis-cli: " << directory.warning << "\n";
  r.nodes = chosenNodes(directory, r.args, r.dataDir, err, error);
  if (r.nodes.empty()) {
    err << "vardis-cli: " << (error.empty() ? "no nodes in " + nodeFile(r.dataDir).string() : error)
        << "\n";
    return std::nullopt;
  }
  // Without the report folder every node would be called only to fail.
  status = 1;
  if (!prepareReportFolder(r.dataDir, o.createDirs, err)) return std::nullopt;
  if (std::error_code ec; !std::filesystem::is_directory(reportDir(r.dataDir), ec)) {
    err << "vardis-cli: the report folder " << reportDir(r.dataDir).string()
        << " does not exist; no node was called\n";
    hintReportFolder(r.dataDir, err);
    return std::nullopt;
  }
  r.commands.assign(o.commands.begin() + 1, o.commands.end());
  if (r.commands.empty()) r.commands = defaultRoundCommands();
  for (const auto& c : r.commands) r.names.push_back(c.name);
  return r;
}

// The modems of the round on their sessions, each visit's readings stored.
round::ModemFactory roundModems(const CliOptions& o, const PcClock& clock, const RoundSetup& r,
                                const std::optional<store::StoreLocation>& location,
                                RoundTrace& trace, RoundStore& st, const round::RoundPlan& plan) {
  round::SessionModems modems;
  modems.line = [] { return std::make_unique<QtSerialLine>(); };
  modems.clock = &clock;
  modems.config.dataDir = r.dataDir;
  modems.config.numbers.decimalSeparator = o.decimalSeparator;
  modems.address = o.address;
  modems.speedIndex = o.speedIndex;
  modems.options = plan.options;
  modems.stop = &g_roundStop;
  modems.runner = [&o, &r, &trace, &st, location](
                      Session& s, const std::string& port) -> std::unique_ptr<round::VisitRunner> {
    if (auto sink = trace.sinkFor(port)) s.setTrace(std::move(sink));
    return std::make_unique<CliVisit>(s, o, location, port, r.commands, st);
  };
  return round::sessionModemFactory(std::move(modems));
}

// A shared round's exit: the nodes this host called, and the round's others.
int sharedExitStatus(const round::RoundOutcome& r, const std::vector<round::NodeLog>& called,
                     const std::string& logError, bool storeLost) {
  if (!logError.empty()) return 1;
  if (storeLost) return kExitRoundFailed;
  const bool all = std::all_of(called.begin(), called.end(), [](const round::NodeLog& n) {
    return n.result == round::NodeResult::Read;
  });
  if (!all) return kExitNodesNotRead;
  return r.modemsUsed.empty() && !called.empty() ? kExitRoundFailed : 0;
}

}  // namespace

int runRound(const CliOptions& o, const PcClock& clock, std::ostream& out, std::ostream& err,
             bool terminal) {
  int status = 0;
  auto setup = setUpRound(o, err, status);
  if (!setup) return status;
  RoundSetup& r = *setup;
  RoundTrace trace;
  if (!trace.open(o.traceFile, err)) return 2;
  std::optional<store::StoreLocation> location;
  if (o.store) location = cliStoreLocation(o, r.dataDir);

  RoundLog log;
  log.round.started = isoDateTime(clock.now());
  log.round.commands = commandText(r.commands);
  log.round.address = parseUnsigned(o.address).value_or(0);
  log.round.baud = static_cast<int>(kSpeeds[static_cast<std::size_t>(o.speedIndex)]);
  LiveTable table(err, terminal);
  RoundStore st(location, table);
  // A node a round read earlier today with these commands, address and speed is not called again.
  for (auto& n : r.nodes) {
    n.readEarlier = n.refused.empty() && st.readToday(n.phone, log.round);
    n.quickDrain = n.quickDrain || o.quickDrain;
  }
  round::RoundPlan plan{r.nodes,
                        r.ports,
                        r.commands.size(),
                        {r.args.attempts, r.args.redialPauseSeconds * 1000, o.dialWaitMs}};
  std::vector<store::RoundNodeRow> rows;
  for (const auto& n : round::RoundQueue(r.nodes, plan.options, r.names.size()).logs())
    rows.push_back(round::rowOf(n, r.names));

  std::optional<SharedRun> shared;
  std::unique_ptr<round::SharedQueue> sharedQueue;
  std::atomic<bool> storeLost{false};
  if (!r.args.shared.empty()) {
    shared = openSharedRound(r.args, location, log.round, r.nodes, rows, err, status);
    if (!shared) return status;
    plan.nodes = sharedNodes(shared->round, o.quickDrain);
    plan.options.attempts = shared->round.attempts;
    plan.options.redialPauseMs = shared->round.redialPauseSeconds * 1000;
    sharedQueue = std::make_unique<round::SharedQueue>(
        *shared->store, shared->round, shared->me, plan.options, r.names,
        [&clock] { return isoDateTime(clock.now()); },
        [&table, &storeLost](const std::string& m) {
          storeLost = true;
          table.note(m);
        });
    rows.clear();
    for (const auto& n : sharedQueue->logs()) rows.push_back(round::rowOf(n, r.names));
  }
  TableObserver observer(table, r.names);
  table.start(rows);
  g_roundStop.store(false);
  round::RoundEnvironment env;
  env.clock = &clock;
  env.modems = roundModems(o, clock, r, location, trace, st, plan);
  env.observer = &observer;
  env.stop = &g_roundStop;
  env.parallel = onQtThreads;
  const round::RoundOutcome outcome =
      sharedQueue ? round::runRound(plan, env, *sharedQueue) : round::runRound(plan, env);

  const auto called = sharedQueue ? sharedQueue->calledHere() : outcome.nodes;
  for (const auto& n : called) {
    log.round.nodes.push_back(round::rowOf(n, r.names));
    if (shared) log.round.nodes.back().host = shared->me.host;
  }
  for (const auto& p : outcome.modemsUsed)
    log.round.ports += (log.round.ports.empty() ? "" : " ") + p;
  log.modemsFailed = outcome.modemsFailed;
  log.round.ended = isoDateTime(clock.now());
  if (shared) log.id = shared->round.roundId;
  log.storeProblem = st.keep(log);
  std::string error;
  const std::string file = writeRoundLog(r.dataDir, log, error);
  out << "round: " << roundSummary(log) << "; log " << (file.empty() ? error : file) << "\n";
  if (shared) return sharedExitStatus(outcome, called, file.empty() ? error : "", storeLost.load());
  return exitStatus(outcome, file.empty() ? error : "");
}

}  // namespace vardis::cli
