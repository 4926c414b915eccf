// The quick drain's table: the same readings with the link's quick drain on,
// against the floor without a drain and against the full drain's wall time.
#include <string>
#include <vector>

#include "bench/report.h"
#include "bench/speed_rows.h"
#include "bench/table_text.h"

namespace vardis::bench {

namespace {

// What the quick drain is to reach.
constexpr unsigned kFastBaud = 115200;
constexpr unsigned kSlowBaud = 9600;
constexpr double kFloorFactorTarget = 1.3;  // wall time a transaction, of the wire's floor (115200)
constexpr double kFastShareTargetPct = 35;  // of the full drain's wall time at 115200
constexpr double kSlowShareTargetPct = 60;  // at 9600
constexpr double kOwnPartTargetMs = 0.1;    // the tool's line minus the plain line, p50

double perTransaction(const SpeedResult& r) {
  return r.cycle.p50;  // the reading's wall time over its transactions
}

double shareOfFull(const SpeedResult& quick, const SpeedResult& full) {
  return full.wallMs > 0 ? 100 * quick.wallMs / full.wallMs : 0;
}

std::string yesNo(bool b) {
  return b ? "yes" : "no";
}

void printQuickTimes(const std::vector<SpeedResult>& rs, const std::vector<SpeedResult>& plain) {
  section("the tool's line (QSerialPort, breathing the event loop), quick drain:");
  partRows(rs);
  valueRow("reading wall time / transactions", rs, [](const SpeedResult& r) {
    return cell(r.cycle.ideal) + cell(perTransaction(r)) + std::string(16, ' ');
  });
  valueRow("no drain: floor on the pty, T+10 b", rs,
           [](const SpeedResult& r) { return cell(r.ptyNoDrainMs) + std::string(24, ' '); });
  spreadRow("  overhead above it (own drain)", rs, &SpeedResult::abovePty, false);
  valueRow("no drain: floor on a wire, 22 b+T", rs,
           [](const SpeedResult& r) { return cell(r.wireNoDrainMs) + std::string(24, ' '); });
  valueRow("  wall time a transaction, x it", rs, [](const SpeedResult& r) {
    return std::string(8, ' ') + cell(perTransaction(r) / r.wireNoDrainMs) + std::string(16, ' ');
  });
  valueRow("drains with a time-out of 0", rs, [](const SpeedResult& r) {
    return std::to_string(r.quickDrains) + " of " + std::to_string(r.exchanges) + "      ";
  });
  section("a plain line (select/read/write, no Qt), quick drain:");
  spreadRow("drain read", plain, &SpeedResult::drain);
  spreadRow("reply read: to the first byte", plain, &SpeedResult::firstByte);
  spreadRow("reply read: first to last byte", plain, &SpeedResult::restOfReply);
  spreadRow("  overhead above the floor", plain, &SpeedResult::abovePty, false);
  ownPartRow(rs, plain);
}

void printAgainstFull(const std::vector<SpeedRuns>& runs, const std::vector<SpeedResult>& rs,
                      const std::vector<SpeedResult>& plain) {
  std::vector<SpeedResult> fullTool, fullPlain;
  for (const auto& r : runs) {
    fullTool.push_back(r.tool);
    fullPlain.push_back(r.plain);
  }
  totalRows(rs, plain);
  bothRow("quick drain ended", rs, plain,
          [](const SpeedResult& r) { return yesNo(r.quickDrainEnded); });
  bothRow("full drain: reading wall time, s", fullTool, fullPlain,
          [](const SpeedResult& r) { return cell(r.wallMs / 1000, 1, 1); });
  std::string line = padded("quick, % of the full's wall time", kLabelWidth);
  for (const auto& r : runs) {
    line += "  " + rightAligned(cell(shareOfFull(r.quickTool, r.tool), 1, 1) + " %  (plain " +
                                    cell(shareOfFull(r.quickPlain, r.plain), 1, 1) + " %)",
                                kSpeedWidth);
  }
  std::cout << line << "\n";
}

const SpeedRuns* runAt(const std::vector<SpeedRuns>& runs, unsigned baud) {
  for (const auto& r : runs) {
    if (r.quickTool.baud == baud) return &r;
  }
  return nullptr;
}

bool readClean(const SpeedResult& r) {
  return r.exchanges > 0 && r.linkFault == 0 && !r.quickDrainEnded;
}

void printQuickTargets(const std::vector<SpeedRuns>& runs) {
  std::cout << "\ntargets (the quick drain):\n";
  if (const SpeedRuns* f = runAt(runs, kFastBaud)) {
    const SpeedResult& q = f->quickTool;
    const double floor = kFloorFactorTarget * q.wireNoDrainMs;
    const double share = shareOfFull(q, f->tool);
    std::cout << "  " << kFastBaud
              << " baud: wall time a transaction <= " << cell(kFloorFactorTarget, 1, 1)
              << " x the floor without a drain on a wire (" << cell(floor, 1, 2)
              << " ms): " << cell(perTransaction(q), 1, 2) << " ms, "
              << cell(perTransaction(q) / q.wireNoDrainMs, 1, 2)
              << " x: " << verdict(readClean(q) && perTransaction(q) <= floor) << "\n"
              << "  " << kFastBaud << " baud: wall time <= " << cell(kFastShareTargetPct, 1, 0)
              << " % of the full drain's: " << cell(q.wallMs / 1000, 1, 1) << " of "
              << cell(f->tool.wallMs / 1000, 1, 1) << " s, " << cell(share, 1, 1)
              << " %: " << verdict(readClean(q) && share <= kFastShareTargetPct) << "\n";
  }
  if (const SpeedRuns* s = runAt(runs, kSlowBaud)) {
    const double share = shareOfFull(s->quickTool, s->tool);
    std::cout << "  " << kSlowBaud << " baud: wall time <= " << cell(kSlowShareTargetPct, 1, 0)
              << " % of the full drain's: " << cell(s->quickTool.wallMs / 1000, 1, 1) << " of "
              << cell(s->tool.wallMs / 1000, 1, 1) << " s, " << cell(share, 1, 1)
              << " %: " << verdict(readClean(s->quickTool) && share <= kSlowShareTargetPct) << "\n";
  }
  bool ownMet = true;
  std::string own;
  for (const auto& r : runs) {
    const double part = ownPart(r.quickTool, r.quickPlain);
    ownMet = ownMet && part <= kOwnPartTargetMs;
    own += (own.empty() ? "" : ", ") + cell(part, 1, 2);
  }
  std::cout << "  the tool's line's own part (minus the plain line), p50 <= "
            << cell(kOwnPartTargetMs, 1, 1) << " ms: " << own << " ms: " << verdict(ownMet) << "\n";
}

}  // namespace

void printQuick(const std::vector<SpeedRuns>& runs) {
  std::vector<SpeedResult> rs, plain;
  for (const auto& r : runs) {
    rs.push_back(r.quickTool);
    plain.push_back(r.quickPlain);
  }
  std::cout << "the quick drain (MeterProtocol::quickDrain, vardis-cli --quick-drain): the same "
               "readings, meter and pseudo-terminal; after a complete good reply the next drain "
               "takes only the bytes already waiting (time-out 0)\n\n";
  speedHeads(rs);
  printQuickTimes(rs, plain);
  std::cout << "\n";
  printAgainstFull(runs, rs, plain);
  printQuickTargets(runs);
}

}  // namespace vardis::bench
