// The round's table: vardis-cli round over one simulated modem and over four,
// against the same commands in one session without a modem; then over one
// modem with the quick drain against the full drain. Also the round shared by
// several hosts through PostgreSQL against one modem.
#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "bench/report.h"
#include "bench/table_text.h"

namespace vardis::bench {

namespace {

// What the round is to reach.
constexpr double kRoundWallTargetPct = 30;   // four modems' wall time, of one modem's
constexpr double kRoundOverheadTargetS = 1;  // a node's connected time above its transactions'
constexpr std::size_t kRoundColumn = 16;

// A node's connected seconds minus the time its transactions need, over the
// nodes that were connected; sorted.
std::vector<double> overheads(const RoundRun& run, double exchangeMs) {
  std::vector<double> v;
  for (const auto& n : run.nodes) {
    if (n.connectedSeconds <= 0) continue;
    v.push_back(n.connectedSeconds - static_cast<double>(n.transactions) * exchangeMs / 1000);
  }
  std::sort(v.begin(), v.end());
  return v;
}

double medianOf(const std::vector<double>& sorted) {
  return sorted.empty() ? 0 : sorted[(sorted.size() + 1) / 2 - 1];
}

using RunText = std::function<std::string(const RoundRun&)>;

void pairRow(const std::string& label, const RoundRun& a, const RoundRun& b, const RunText& text) {
  std::cout << padded(label, kLabelWidth) << rightAligned(text(a), kRoundColumn)
            << rightAligned(text(b), kRoundColumn) << "\n";
}

void roundRow(const std::string& label, const RoundResult& r, const RunText& text) {
  pairRow(label, r.one, r.four, text);
}

// min/p50/max
std::string spreadText(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return "-";
  return cell(v.front(), 1, 2) + "/" + cell(medianOf(v), 1, 2) + "/" + cell(v.back(), 1, 2);
}

std::vector<double> connectedSeconds(const RoundRun& u) {
  std::vector<double> v;
  for (const auto& n : u.nodes) v.push_back(n.connectedSeconds);
  return v;
}

std::vector<double> transactionSeconds(const RoundRun& u, double exchangeMs) {
  std::vector<double> v;
  for (const auto& n : u.nodes)
    v.push_back(static_cast<double>(n.transactions) * exchangeMs / 1000);
  return v;
}

double totalConnected(const RoundRun& u) {
  const auto v = connectedSeconds(u);
  return std::accumulate(v.begin(), v.end(), 0.0);
}

double perTransactionUs(double processorMs, long long transactions) {
  return 1000 * processorMs / static_cast<double>(std::max(1LL, transactions));
}

void printSingle(const std::string& title, const SingleRun& s) {
  std::cout << title << "\n"
            << s.command << "\n"
            << padded("  exchanges (trace), exit status", kLabelWidth) << s.exchanges << ", "
            << s.exitStatus << "\n"
            << padded("  exchange, first to last / count-1", kLabelWidth)
            << cell(s.exchangeMs, 1, 2) << " ms\n"
            << padded("  wall time", kLabelWidth) << cell(s.wallMs / 1000, 1, 2) << " s\n"
            << padded("  processor time an exchange", kLabelWidth)
            << cell(perTransactionUs(s.processorMs, s.exchanges), 1, 0) << " us\n";
  if (!s.problem.empty()) std::cout << s.problem;
}

void printRoundRuns(const RoundResult& r) {
  std::cout << "\n"
            << padded("", kLabelWidth) << rightAligned("one modem", kRoundColumn)
            << rightAligned("four modems", kRoundColumn) << "\n";
  roundRow("exit status", r, [](const RoundRun& u) { return std::to_string(u.exitStatus); });
  roundRow("nodes read", r, [](const RoundRun& u) {
    return std::to_string(u.nodesRead()) + " / " + std::to_string(u.nodes.size());
  });
  roundRow("transactions (round log)", r,
           [](const RoundRun& u) { return std::to_string(u.transactions()); });
  roundRow("errors / time-outs", r, [](const RoundRun& u) {
    long long e = 0, t = 0;
    for (const auto& n : u.nodes) e += n.errors, t += n.timeouts;
    return std::to_string(e) + "/" + std::to_string(t);
  });
  roundRow("wall time, s", r, [](const RoundRun& u) { return cell(u.wallMs / 1000, 1, 1); });
  roundRow("  x modems / nodes, s", r, [](const RoundRun& u) {
    return cell(u.wallMs / 1000 * u.modems / std::max<double>(1, u.nodes.size()), 1, 2);
  });
  roundRow("processor time (user+system), s", r,
           [](const RoundRun& u) { return cell(u.processorMs / 1000, 1, 2); });
  roundRow("processor time a transaction, us", r, [](const RoundRun& u) {
    return cell(perTransactionUs(u.processorMs, u.transactions()), 1, 0);
  });
}

// Each node's figures, as min / p50 / max over the nodes.
void printNodeRows(const RoundResult& r) {
  const double x = r.single.exchangeMs;
  section("a node (min / p50 / max over the nodes connected):");
  roundRow("  connected seconds", r,
           [&](const RoundRun& u) { return spreadText(connectedSeconds(u)); });
  roundRow("  transactions x " + cell(x, 1, 2) + " ms, s", r,
           [&](const RoundRun& u) { return spreadText(transactionSeconds(u, x)); });
  roundRow("  connected minus that, s", r,
           [&](const RoundRun& u) { return spreadText(overheads(u, x)); });
  roundRow("  the node connected longest", r, [](const RoundRun& u) {
    const auto most = std::max_element(
        u.nodes.begin(), u.nodes.end(),
        [](const auto& a, const auto& b) { return a.connectedSeconds < b.connectedSeconds; });
    return most == u.nodes.end() ? std::string("-") : std::to_string(most->node);
  });
}

void printRoundCommand(const RoundRun& u) {
  std::cout << u.command << "\n  " << u.summary << "\n";
  for (const auto& n : u.nodes) {
    if (n.result == "read") continue;
    std::cout << "  node " << n.node << ": " << n.result << " after " << n.attempts
              << " attempts on " << n.port << (n.message.empty() ? "" : ": " + n.message) << "\n";
  }
  if (!u.problem.empty()) std::cout << u.problem;
}

void printRoundTargets(const RoundResult& r) {
  const double share = 100 * r.four.wallMs / std::max(1.0, r.one.wallMs);
  const double cpuOne = perTransactionUs(r.one.processorMs, r.one.transactions());
  const double cpuFour = perTransactionUs(r.four.processorMs, r.four.transactions());
  const auto one = overheads(r.one, r.single.exchangeMs);
  const auto four = overheads(r.four, r.single.exchangeMs);
  const auto worst = [](const std::vector<double>& v) {
    return v.empty() ? 0 : std::max(std::abs(v.front()), std::abs(v.back()));
  };
  const bool read = r.one.nodesRead() == kRoundNodes && r.four.nodesRead() == kRoundNodes;
  std::cout << "\ntargets (the round):\n"
            << "  four modems' wall time <= " << cell(kRoundWallTargetPct, 1, 0)
            << " % of one modem's: " << cell(r.four.wallMs / 1000, 1, 1) << " of "
            << cell(r.one.wallMs / 1000, 1, 1) << " s, " << cell(share, 1, 1)
            << " %: " << verdict(read && share <= kRoundWallTargetPct) << "\n"
            << "  processor time a transaction, four modems <= one: " << cell(cpuFour, 1, 0)
            << " against " << cell(cpuOne, 1, 0) << " us: " << verdict(cpuFour <= cpuOne) << "\n"
            << "  connected seconds a node minus its transactions' time within "
            << cell(kRoundOverheadTargetS, 1, 0) << " s: at most " << cell(worst(one), 1, 2)
            << " (one modem), " << cell(worst(four), 1, 2) << " s (four): "
            << verdict(!one.empty() && !four.empty() &&
                       std::max(worst(one), worst(four)) <= kRoundOverheadTargetS)
            << "\n";
}

// The drains of the nodes as the round log names them: "20 quick".
std::string drainsText(const RoundRun& u) {
  std::map<std::string, int> counts;
  for (const auto& n : u.nodes) counts[n.drain.empty() ? "-" : n.drain] += 1;
  std::string text;
  for (const auto& [name, count] : counts) {
    text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + name;
  }
  return text.empty() ? "-" : text;
}

// One modem with the full drain (the round above) against the quick drain.
void printRoundQuick(const RoundResult& r) {
  const RoundRun& full = r.one;
  const RoundRun& quick = r.oneQuick;
  const auto single = [&](const RoundRun& u) -> const SingleRun& {
    return u.quickDrain ? r.singleQuick : r.single;
  };
  std::cout << "\nthe round over one modem once more with --quick-drain, against the full "
               "drain's above:\n\n";
  printSingle("the same commands in one session, quick drain:", r.singleQuick);
  std::cout << "\n"
            << padded("one modem", kLabelWidth) << rightAligned("full drain", kRoundColumn)
            << rightAligned("quick drain", kRoundColumn) << "\n";
  pairRow("exit status", full, quick,
          [](const RoundRun& u) { return std::to_string(u.exitStatus); });
  pairRow("nodes read", full, quick, [](const RoundRun& u) {
    return std::to_string(u.nodesRead()) + " / " + std::to_string(u.nodes.size());
  });
  pairRow("drain (round log)", full, quick, drainsText);
  pairRow("transactions / errors / time-outs", full, quick, [](const RoundRun& u) {
    long long e = 0, t = 0;
    for (const auto& n : u.nodes) e += n.errors, t += n.timeouts;
    return std::to_string(u.transactions()) + "/" + std::to_string(e) + "/" + std::to_string(t);
  });
  pairRow("wall time, s", full, quick,
          [](const RoundRun& u) { return cell(u.wallMs / 1000, 1, 1); });
  pairRow("exchange in one session, ms", full, quick,
          [&](const RoundRun& u) { return cell(single(u).exchangeMs, 1, 2); });
  section("a node's connected seconds (min / p50 / max):");
  pairRow("  connected seconds", full, quick,
          [](const RoundRun& u) { return spreadText(connectedSeconds(u)); });
  pairRow("  transactions x the exchange, s", full, quick, [&](const RoundRun& u) {
    return spreadText(transactionSeconds(u, single(u).exchangeMs));
  });
  pairRow("  connected minus that, s", full, quick,
          [&](const RoundRun& u) { return spreadText(overheads(u, single(u).exchangeMs)); });
  pairRow("  all nodes together, s", full, quick,
          [](const RoundRun& u) { return cell(totalConnected(u), 1, 2); });
  std::cout << padded("  quick, % of the full drain's", kLabelWidth)
            << rightAligned(
                   cell(100 * totalConnected(quick) / std::max(1e-9, totalConnected(full)), 1, 1) +
                       " %",
                   2 * kRoundColumn)
            << "\n\n";
  printRoundCommand(quick);
}

// The hosts' runs as one: all their nodes, the first start to the last end.
RoundRun hostsTogether(const SharedRoundResult& r) {
  RoundRun all;
  all.modems = kSharedHosts * kSharedModemsAHost;
  all.wallMs = r.wallMs;
  all.exitStatus = 0;
  for (const auto& h : r.hosts) {
    all.processorMs += h.processorMs;
    all.exitStatus = std::max(all.exitStatus, h.exitStatus);
    all.nodes.insert(all.nodes.end(), h.nodes.begin(), h.nodes.end());
  }
  return all;
}

// "10 + 11": the nodes each modem of a host called.
std::string modemsText(const RoundRun& h) {
  std::map<std::string, int> counts;
  for (const auto& n : h.nodes) counts[n.port] += 1;
  std::string text;
  for (const auto& [port, count] : counts) {
    text += (text.empty() ? "" : " + ") + std::to_string(count);
  }
  return text.empty() ? "-" : text;
}

void printSharedHosts(const SharedRoundResult& r) {
  section("the hosts (wall time each its own):");
  for (std::size_t i = 0; i < r.hosts.size(); ++i) {
    const RoundRun& h = r.hosts[i];
    std::cout << "  h" << i + 1 << ": " << h.nodes.size() << " nodes called (" << modemsText(h)
              << " a modem), " << h.nodesRead() << " read, " << cell(h.wallMs / 1000, 1, 1)
              << " s, exit status " << h.exitStatus << "\n";
  }
  std::cout << "  over the hosts' round logs: " << r.readOnce << " nodes read once by one host, "
            << r.calledTwice << " called by more than one, " << r.notRead << " not read"
            << (r.strangeNodes > 0 ? ", " + std::to_string(r.strangeNodes) + " not in the file"
                                   : "")
            << "\n\n";
}

}  // namespace

void printSharedRound(const SharedRoundResult& r, double seconds) {
  const RoundRun all = hostsTogether(r);
  std::cout << "the shared round: vardis-cli round " << r.commands << " over " << kSharedNodes
            << " nodes by " << kSharedHosts
            << " hosts started together, each a vardis-cli round --shared " << kSharedRoundName
            << " --host hN with a data folder and the node file of its own, on "
            << kSharedModemsAHost
            << " simulated modems of its own; against the same nodes over one modem; every modem "
               "vardis-meter-sim --modem --pace --speed "
            << kRoundBaud << " --connect-delay " << kRoundConnectDelayMs << " --guard-time "
            << kRoundGuardMs << " answering all " << kSharedNodes
            << " numbers; each round with --store a database of its own; " << cell(seconds, 1, 1)
            << " s\n\n"
            << padded("", kLabelWidth) << rightAligned("one modem", kRoundColumn)
            << rightAligned("3 x 2 modems", kRoundColumn) << "\n";
  pairRow("exit status (the highest)", r.one, all,
          [](const RoundRun& u) { return std::to_string(u.exitStatus); });
  pairRow("nodes read", r.one, all, [](const RoundRun& u) {
    return std::to_string(u.nodesRead()) + " / " + std::to_string(u.nodes.size());
  });
  pairRow("transactions / errors / time-outs", r.one, all, [](const RoundRun& u) {
    long long e = 0, t = 0;
    for (const auto& n : u.nodes) e += n.errors, t += n.timeouts;
    return std::to_string(u.transactions()) + "/" + std::to_string(e) + "/" + std::to_string(t);
  });
  pairRow("wall, first start to last end, s", r.one, all,
          [](const RoundRun& u) { return cell(u.wallMs / 1000, 1, 1); });
  pairRow("  x modems / nodes, s", r.one, all, [](const RoundRun& u) {
    return cell(u.wallMs / 1000 * u.modems / std::max<double>(1, u.nodes.size()), 1, 2);
  });
  pairRow("processor time (user+system), s", r.one, all,
          [](const RoundRun& u) { return cell(u.processorMs / 1000, 1, 2); });
  pairRow("a node's connected s (min/p50/max)", r.one, all,
          [](const RoundRun& u) { return spreadText(connectedSeconds(u)); });
  std::cout << "\n";
  printSharedHosts(r);
  printRoundCommand(r.one);
  for (const auto& h : r.hosts) printRoundCommand(h);
}

void printRound(const RoundResult& r) {
  std::cout << "the round: vardis-cli round " << r.commands << " over " << kRoundNodes
            << " nodes, over one modem, then over " << kRoundModems
            << " at once, then over one again with --quick-drain; each modem vardis-meter-sim "
               "--modem --pace --speed "
            << kRoundBaud << " --connect-delay " << kRoundConnectDelayMs << " --guard-time "
            << kRoundGuardMs << " answering the same " << kRoundNodes
            << " numbers, in a process of its own, on a pseudo-terminal; each run into a fresh "
               "data folder\n\n";
  printSingle("the same commands in one session straight to the meter, without a modem:", r.single);
  printRoundRuns(r);
  printNodeRows(r);
  std::cout << "\n";
  printRoundCommand(r.one);
  printRoundCommand(r.four);
  printRoundTargets(r);
  printRoundQuick(r);
}

}  // namespace vardis::bench
