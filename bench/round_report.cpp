// The round's table: vardis-cli round over one simulated modem and over four,
// against the same commands in one session without a modem.
#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
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

void roundRow(const std::string& label, const RoundResult& r,
              const std::function<std::string(const RoundRun&)>& text) {
  std::cout << padded(label, kLabelWidth) << rightAligned(text(r.one), kRoundColumn)
            << rightAligned(text(r.four), kRoundColumn) << "\n";
}

double perTransactionUs(double processorMs, long long transactions) {
  return 1000 * processorMs / static_cast<double>(std::max(1LL, transactions));
}

void printSingle(const SingleRun& s) {
  std::cout << "the same commands in one session straight to the meter, without a modem:\n"
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
  const auto spreadText = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return std::string("-");
    return cell(v.front(), 1, 2) + "/" + cell(medianOf(v), 1, 2) + "/" + cell(v.back(), 1, 2);
  };
  roundRow("  connected seconds", r, [&](const RoundRun& u) {
    std::vector<double> v;
    for (const auto& n : u.nodes) v.push_back(n.connectedSeconds);
    return spreadText(v);
  });
  roundRow("  transactions x " + cell(x, 1, 2) + " ms, s", r, [&](const RoundRun& u) {
    std::vector<double> v;
    for (const auto& n : u.nodes) v.push_back(static_cast<double>(n.transactions) * x / 1000);
    return spreadText(v);
  });
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

}  // namespace

void printRound(const RoundResult& r) {
  std::cout << "the round: vardis-cli round " << r.commands << " over " << kRoundNodes
            << " nodes, over one modem, then over " << kRoundModems
            << " at once; each modem vardis-meter-sim --modem --pace --speed " << kRoundBaud
            << " --connect-delay " << kRoundConnectDelayMs << " --guard-time " << kRoundGuardMs
            << " answering the same " << kRoundNodes
            << " numbers, in a process of its own, on a pseudo-terminal; each run into a fresh "
               "data folder\n\n";
  printSingle(r.single);
  printRoundRuns(r);
  printNodeRows(r);
  std::cout << "\n";
  printRoundCommand(r.one);
  printRoundCommand(r.four);
  printRoundTargets(r);
}

}  // namespace vardis::bench
