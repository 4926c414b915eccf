#include "bench/round_bench.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "bench/child_process.h"
#include "bench/common.h"
#include "connection/data_dir.h"
#include "store/store_location.h"

namespace vardis::bench {

namespace {

constexpr std::size_t kOutputTailLines = 12;

// Node n's phone: +79000000001 for node 1; every modem answers all of them.
std::string phoneOf(int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "+790000000%02d", n);
  return buf;
}

void writeNodeFile(const std::filesystem::path& dataDir, int nodes) {
  std::ofstream f(nodeFile(dataDir), std::ios::binary | std::ios::trunc);
  // The modems' guard time set as the simulated ones have it, so the tool
  // waits no longer than they need before "+++".
  f << "[baza]\r\nkol_uzlov=" << nodes << "\r\ninit=ATS12=" << kRoundGuardMs / 20 << "\r\n";
  for (int n = 1; n <= nodes; ++n) {
    f << "tel_" << n << "=ATD" << phoneOf(n) << "\r\nname_u" << n << "=Node " << n << "\r\n";
  }
  if (!f.flush()) throw std::runtime_error("cannot write " + nodeFile(dataDir).string());
}

std::vector<std::string> modemArgs(int nodes) {
  std::vector<std::string> args{"--modem",         "--pace",
                                "--speed",         std::to_string(kRoundBaud),
                                "--connect-delay", std::to_string(kRoundConnectDelayMs),
                                "--guard-time",    std::to_string(kRoundGuardMs)};
  for (int n = 1; n <= nodes; ++n) {
    args.push_back("--number");
    args.push_back(phoneOf(n));
  }
  return args;
}

// The last lines of what a program printed.
std::string outputTail(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::size_t from = lines.size() > kOutputTailLines ? lines.size() - kOutputTailLines : 0;
  std::string out;
  for (std::size_t i = from; i < lines.size(); ++i) out += "    " + lines[i] + "\n";
  return out;
}

// The JSON log the round left in rounds/; false when there is none.
bool readRoundLog(const std::filesystem::path& dataDir, RoundRun& r) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dataDir / "rounds", ec)) {
    if (entry.path().extension() != ".json") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const nlohmann::json doc = nlohmann::json::parse(in, nullptr, false);
    if (doc.is_discarded() || !doc.contains("nodes")) return false;
    r.summary = doc.value("summary", "");
    for (const auto& n : doc["nodes"]) {
      r.nodes.push_back({n.value("node", 0), n.value("result", ""), n.value("attempts", 0),
                         n.value("connectedSeconds", 0.0), n.value("transactions", 0LL),
                         n.value("errors", 0LL), n.value("timeouts", 0LL), n.value("port", ""),
                         n.value("message", ""), n.value("drain", "")});
    }
    return true;
  }
  return false;
}

// How vardis-cli runs a round.
struct RoundCall {
  std::vector<std::string> ports;
  std::vector<std::string> commands;
  bool quickDrain = false;
  int nodes = kRoundNodes;
  std::string store;                   // --store; "" for none
  std::vector<std::string> roundArgs;  // before the commands: --shared NAME --host H
};

// The round into that data folder, its node file written first.
RoundRun roundIn(const Options& o, const std::filesystem::path& dataDir, const RoundCall& c) {
  RoundRun r;
  r.modems = static_cast<int>(c.ports.size());
  r.quickDrain = c.quickDrain;
  writeNodeFile(dataDir, c.nodes);
  std::vector<std::string> args{"--gsm", "--speed", std::to_string(kRoundBaud), "--data-dir",
                                dataDir.string()};
  r.command = "vardis-cli --gsm --speed " + std::to_string(kRoundBaud) + " --data-dir TMP";
  if (!c.store.empty()) {
    args.insert(args.end(), {"--store", c.store});
    r.command += " --store '" + store::maskPasswords(c.store) + "'";
  }
  if (c.quickDrain) {
    args.push_back("--quick-drain");
    r.command += " --quick-drain";
  }
  for (std::size_t i = 0; i < c.ports.size(); ++i) {
    args.insert(args.end(), {"--port", c.ports[i]});
    r.command += " --port P" + std::to_string(i + 1);
  }
  args.push_back("round");
  r.command += " round";
  std::vector<std::string> words = c.roundArgs;
  words.insert(words.end(), c.commands.begin(), c.commands.end());
  for (const auto& w : words) {
    args.push_back(w);
    r.command += " " + w;
  }
  const std::filesystem::path outputFile = dataDir / "cli-output.txt";
  const Finished f = runToEnd(o.cliProgram, args, outputFile);
  r.exitStatus = f.exitStatus;
  r.wallMs = ms(f.wall);
  r.processorMs = processorSeconds(f.usage) * 1000;
  if (!readRoundLog(dataDir, r)) {
    r.problem = "no readable round log in rounds/; vardis-cli printed:\n" + outputTail(outputFile);
  } else if (r.exitStatus != 0) {
    r.problem = "vardis-cli printed:\n" + outputTail(outputFile);
  }
  return r;
}

// A round of kRoundNodes over those ports, in the data folder's own store.
RoundCall callOver(std::vector<std::string> ports, const std::vector<std::string>& commands,
                   bool quickDrain = false) {
  RoundCall c;
  c.ports = std::move(ports);
  c.commands = commands;
  c.quickDrain = quickDrain;
  return c;
}

RoundRun runRound(const Options& o, const RoundCall& c) {
  TempFolder folder;
  return roundIn(o, folder.path(), c);
}

// "20:52:12.248 ReadParameterTransaction ...": milliseconds of the day, or -1.
long long traceMs(const std::string& line) {
  int h = 0, m = 0, s = 0, milli = 0;
  char name[64] = {};
  if (std::sscanf(line.c_str(), "%2d:%2d:%2d.%3d %63s", &h, &m, &s, &milli, name) != 5) return -1;
  if (!std::string(name).ends_with("Transaction")) return -1;
  return ((h * 60LL + m) * 60 + s) * 1000 + milli;
}

// The exchanges of a trace and their mean time, the first one's start to the
// last one's over the intervals between them.
void readTrace(const std::filesystem::path& file, SingleRun& r) {
  std::ifstream in(file, std::ios::binary);
  long long first = -1, last = -1, dayOffset = 0;
  for (std::string line; std::getline(in, line);) {
    const long long t = traceMs(line);
    if (t < 0) continue;
    if (last >= 0 && t + dayOffset < last) dayOffset += 24LL * 60 * 60 * 1000;  // midnight
    last = t + dayOffset;
    if (first < 0) first = last;
    ++r.exchanges;
  }
  if (r.exchanges > 1) r.exchangeMs = static_cast<double>(last - first) / (r.exchanges - 1);
}

SingleRun runSingle(const Options& o, const std::vector<std::string>& commands, bool quickDrain) {
  SingleRun r;
  MeterProcess meter(o.meterProgram, {"--pace", "--speed", std::to_string(kRoundBaud)});
  TempFolder folder;
  const std::filesystem::path trace = folder.path() / "trace.txt";
  std::vector<std::string> args{
      "--port",     meter.port(),           "--speed", std::to_string(kRoundBaud),
      "--data-dir", folder.path().string(), "--trace", trace.string()};
  r.command = "vardis-cli --port PTY --speed " + std::to_string(kRoundBaud) +
              " --data-dir TMP --trace FILE";
  if (quickDrain) {
    args.push_back("--quick-drain");
    r.command += " --quick-drain";
  }
  args.insert(args.end(), commands.begin(), commands.end());
  for (const auto& c : commands) r.command += " " + c;
  const std::filesystem::path outputFile = folder.path() / "cli-output.txt";
  const Finished f = runToEnd(o.cliProgram, args, outputFile);
  r.exitStatus = f.exitStatus;
  r.wallMs = ms(f.wall);
  r.processorMs = processorSeconds(f.usage) * 1000;
  readTrace(trace, r);
  if (r.exitStatus != 0 || r.exchanges < 2) {
    r.problem = "vardis-cli printed:\n" + outputTail(outputFile);
  }
  return r;
}

// Each node's entries over the hosts' round logs: read by one host once, called
// by more than one, not read at all.
void countReads(SharedRoundResult& r) {
  std::map<int, std::pair<int, int>> seen;  // node: entries, reads
  for (const auto& h : r.hosts) {
    for (const auto& n : h.nodes) {
      auto& [entries, reads] = seen[n.node];
      ++entries;
      if (n.result == "read") ++reads;
      if (n.node < 1 || n.node > kSharedNodes) ++r.strangeNodes;
    }
  }
  for (int n = 1; n <= kSharedNodes; ++n) {
    const auto [entries, reads] = seen.contains(n) ? seen[n] : std::pair<int, int>{0, 0};
    if (entries > 1) ++r.calledTwice;
    if (reads == 0) ++r.notRead;
    if (entries == 1 && reads == 1) ++r.readOnce;
  }
}

// The hosts' vardis-cli processes started together, each on two modems of its own.
void runHosts(const Options& o, const std::vector<std::string>& ports,
              const std::string& sharedStore, SharedRoundResult& r) {
  std::array<TempFolder, kSharedHosts> folders;
  std::array<std::exception_ptr, kSharedHosts> failures;
  r.hosts.resize(kSharedHosts);
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> threads;
  for (int h = 0; h < kSharedHosts; ++h) {
    const auto from = ports.begin() + h * kSharedModemsAHost;
    RoundCall c = callOver({from, from + kSharedModemsAHost}, {r.commands});
    c.nodes = kSharedNodes;
    c.store = sharedStore;
    c.roundArgs = {"--shared", kSharedRoundName, "--host", "h" + std::to_string(h + 1)};
    const auto i = static_cast<std::size_t>(h);
    threads.emplace_back([&o, &r, &folders, &failures, i, c = std::move(c)] {
      try {
        r.hosts[i] = roundIn(o, folders[i].path(), c);
      } catch (...) {
        failures[i] = std::current_exception();
      }
    });
  }
  for (auto& t : threads) t.join();
  r.wallMs = ms(Clock::now() - start);
  for (const auto& f : failures) {
    if (f) std::rethrow_exception(f);
  }
}

}  // namespace

SharedRoundResult measureSharedRound(const Options& o, const std::string& oneStore,
                                     const std::string& sharedStore) {
  SharedRoundResult r;
  std::vector<std::unique_ptr<MeterProcess>> modems;
  std::vector<std::string> ports;
  for (int i = 0; i < kSharedHosts * kSharedModemsAHost; ++i) {
    modems.push_back(std::make_unique<MeterProcess>(o.meterProgram, modemArgs(kSharedNodes)));
    ports.push_back(modems.back()->port());
  }
  runHosts(o, ports, sharedStore, r);
  countReads(r);
  RoundCall one = callOver({ports.front()}, {r.commands});
  one.nodes = kSharedNodes;
  one.store = oneStore;
  r.one = runRound(o, one);
  return r;
}

long long RoundRun::transactions() const {
  long long sum = 0;
  for (const auto& n : nodes) sum += n.transactions;
  return sum;
}

int RoundRun::nodesRead() const {
  return static_cast<int>(
      std::count_if(nodes.begin(), nodes.end(), [](const auto& n) { return n.result == "read"; }));
}

RoundResult measureRound(const Options& o) {
  RoundResult r;
  r.date = dateText(yesterday());
  const std::vector<std::string> commands{"values", "monthly", r.date};
  r.commands = "values monthly " + r.date;
  r.single = runSingle(o, commands, false);
  r.singleQuick = runSingle(o, commands, true);
  std::vector<std::unique_ptr<MeterProcess>> modems;
  std::vector<std::string> ports;
  for (int i = 0; i < kRoundModems; ++i) {
    modems.push_back(std::make_unique<MeterProcess>(o.meterProgram, modemArgs(kRoundNodes)));
    ports.push_back(modems.back()->port());
  }
  r.one = runRound(o, callOver({ports.front()}, commands));
  r.four = runRound(o, callOver(ports, commands));
  r.oneQuick = runRound(o, callOver({ports.front()}, commands, true));
  return r;
}

}  // namespace vardis::bench
