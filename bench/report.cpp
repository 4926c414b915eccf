#include "bench/report.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "bench/common.h"
#include "bench/speed_rows.h"
#include "bench/table_text.h"

namespace vardis::bench {

namespace {

// What the program is to reach.
constexpr double kOverheadTargetMs = 0.3;  // p50 above the floor
constexpr double kProcessorTargetPct = 2;  // of wall time while reading
constexpr double kMemoryTargetMb = 40;     // vardis-cli peak resident memory
constexpr double kStoreTargetMs = 5;       // storing an hourly reading, p50
constexpr double kHistoryTargetMs = 200;   // a meter-year of hourly records read back, p50
constexpr double kStoreSizeTargetMb = 10;  // a meter-year of hourly and daily records

void printHeading(const Options& o, const CalendarDate& date, const std::vector<SpeedResult>& rs) {
  std::cout << "vardis-bench " << o.mode << ": " << o.readings << " hourly reading"
            << (o.readings == 1 ? "" : "s") << " of " << dateText(date) << " ("
            << o.readings * kTransactionsPerReading
            << " transactions) a speed and line; meter: vardis-meter-sim --pace --turnaround "
            << o.turnaroundMs << " (T) in a process of its own, on a pseudo-terminal";
  if (o.timerSlackNs >= 0) std::cout << "; timer slack " << o.timerSlackNs << " ns";
  std::cout << "\n\n";
  speedHeads(rs);
}

// The parts of a transaction over either line.
void printTimes(const std::vector<SpeedResult>& rs, const std::vector<SpeedResult>& plain) {
  section("the tool's line (QSerialPort, breathing the event loop):");
  partRows(rs);
  valueRow("reading wall time / transactions", rs, [](const SpeedResult& r) {
    return cell(r.cycle.ideal) + cell(r.cycle.p50) + std::string(16, ' ');
  });
  valueRow("floor on the pseudo-terminal", rs,
           [](const SpeedResult& r) { return cell(r.ptyFloorMs) + std::string(24, ' '); });
  spreadRow("  overhead above it", rs, &SpeedResult::abovePty, false);
  valueRow("floor on a wire: drain+22 bytes+T", rs,
           [](const SpeedResult& r) { return cell(r.wireFloorMs) + std::string(24, ' '); });
  spreadRow("  overhead above it", rs, &SpeedResult::aboveWire, false);
  section("a plain line (select/read/write, no Qt), same meter and pseudo-terminal:");
  spreadRow("drain read", plain, &SpeedResult::drain);
  spreadRow("reply read: to the first byte", plain, &SpeedResult::firstByte);
  spreadRow("reply read: first to last byte", plain, &SpeedResult::restOfReply);
  spreadRow("  overhead above the floor", plain, &SpeedResult::abovePty, false);
  ownPartRow(rs, plain);
}

void printCli(const CliResult& cli) {
  std::cout << "\n"
            << cli.command << "\n"
            << padded("  peak memory (ru_maxrss)", kLabelWidth) << cell(cli.peakMb, 1, 1)
            << " MB, exit status " << cli.exitStatus << "\n"
            << padded("  processor time, % of wall", kLabelWidth)
            << cell(100 * cli.processorMs / cli.wallMs, 1, 2) << " % of "
            << cell(cli.wallMs / 1000, 1, 1) << " s\n";
  if (!cli.output.empty()) std::cout << cli.output;
}

void printTargets(const std::vector<SpeedRuns>& runs, const CliResult& cli) {
  bool overheadMet = true, ownOverheadMet = true, processorMet = true;
  std::string overheads, ownOverheads, processor;
  for (const auto& r : runs) {
    const double own = ownPart(r.tool, r.plain);
    const double share = 100 * r.tool.processorMs / r.tool.wallMs;
    overheadMet = overheadMet && r.tool.abovePty.p50 <= kOverheadTargetMs;
    ownOverheadMet = ownOverheadMet && own <= kOverheadTargetMs;
    processorMet = processorMet && share <= kProcessorTargetPct;
    const std::string sep = overheads.empty() ? "" : ", ";
    overheads += sep + cell(r.tool.abovePty.p50, 1, 2);
    ownOverheads += sep + cell(own, 1, 2);
    processor += sep + cell(share, 1, 2);
  }
  std::cout << "\ntargets (9600, 115200 baud):\n"
            << "  overhead above the floor, p50 <= " << cell(kOverheadTargetMs, 1, 1)
            << " ms: " << overheads << " ms: " << verdict(overheadMet) << "\n"
            << "    the tool's line's own part (minus the plain line): " << ownOverheads
            << " ms: " << verdict(ownOverheadMet) << "\n"
            << "  processor time while reading <= " << cell(kProcessorTargetPct, 1, 0)
            << " % of wall: " << processor << " %: " << verdict(processorMet) << "\n"
            << "  vardis-cli peak memory < " << cell(kMemoryTargetMb, 1, 0)
            << " MB: " << cell(cli.peakMb, 1, 1)
            << " MB: " << verdict(cli.exitStatus == 0 && cli.peakMb < kMemoryTargetMb) << "\n";
}

constexpr std::size_t kStoreLabelWidth = 40;
constexpr double kMb = 1024.0 * 1024.0;

void timesRow(const std::string& label, const StoreTimes& t, const std::string& note = "") {
  std::cout << padded(label, kStoreLabelWidth) << cell(t.p50) << cell(t.max)
            << rightAligned(std::to_string(t.runs), 8) << (note.empty() ? "" : "  " + note)
            << (t.right ? "" : "  WRONG COUNT") << "\n";
}

void printStoreTimes(const StoreResult& r) {
  std::cout << "the store: one meter, " << r.hourlyReadings << " hourly readings of " << r.year
            << " and its " << r.dailyReadings
            << " daily readings, 17 values a record, into a fresh file in a temporary folder;"
               " SQLite "
            << r.sqliteVersion << ", WAL, synchronous=NORMAL\n\n"
            << padded("milliseconds", kStoreLabelWidth) << rightAligned("p50", 8)
            << rightAligned("max", 8) << rightAligned("runs", 8) << "\n";
  section("storing a reading, the store kept open (26 records of an hourly one):");
  timesRow("  the year's days into a growing store", r.fill, "26 records added each");
  timesRow("  the year's daily readings", r.daily, "a month's days added each");
  timesRow("  a new day, the year in the store", r.newDay, "26 added each");
  timesRow("  a day read again, same values", r.sameDay, "26 unchanged each");
  timesRow("  a day read again, other values", r.otherDay, "26 revisions added each");
  section("storing a reading as vardis-cli does, the year in the store:");
  timesRow("  open the store", r.openStore);
  timesRow("  store a new day", r.storeOnce, "26 added each");
  timesRow("  close it (checkpoints the log)", r.closeStore);
  timesRow("  the three together", r.oneReading);
  section("reading the year back:");
  timesRow("  history: hourly, one meter, the year", r.query,
           std::to_string(r.queryRecords) + " records in " + std::to_string(r.queryDays) + " days");
  timesRow("  days with hourly records missing", r.missing,
           std::to_string(r.missingDays) + " days missing");
}

void printStoreSize(const StoreResult& r) {
  section("the file after the year's hourly and daily readings, PRAGMA wal_checkpoint(TRUNCATE):");
  std::cout << padded("  vardis.sqlite, MB", kStoreLabelWidth)
            << cell(static_cast<double>(r.fileBytes) / kMb) << "  (" << r.fileBytes
            << " bytes; the log " << r.walBytes << " bytes)\n"
            << padded("  records / values", kStoreLabelWidth) << "  " << r.records << " / "
            << r.values << "\n"
            << padded("  bytes a value", kStoreLabelWidth)
            << cell(static_cast<double>(r.fileBytes) / static_cast<double>(std::max(1LL, r.values)))
            << "\n";
  long long rest = 0;
  for (const auto& [name, bytes] : r.tableBytes) {
    // The tables of the other readings are a page or two each.
    if (static_cast<double>(bytes) * 100 < static_cast<double>(r.fileBytes)) {
      rest += bytes;
      continue;
    }
    std::cout << padded("    " + name + ", MB", kStoreLabelWidth)
              << cell(static_cast<double>(bytes) / kMb) << "\n";
  }
  if (!r.tableBytes.empty()) {
    std::cout << padded("    the other tables, MB", kStoreLabelWidth)
              << cell(static_cast<double>(rest) / kMb) << "\n";
  }
}

void printStoreTargets(const StoreResult& r) {
  const double storing = std::max(r.newDay.p50, r.sameDay.p50);
  const double sizeMb = static_cast<double>(r.fileBytes) / kMb;
  std::cout << "\ntargets (the store):\n"
            << "  storing an hourly reading, p50 < " << cell(kStoreTargetMs, 1, 0)
            << " ms: new day " << cell(r.newDay.p50, 1, 2) << ", read again "
            << cell(r.sameDay.p50, 1, 2) << " ms (max " << cell(r.newDay.max, 1, 2) << ", "
            << cell(r.sameDay.max, 1, 2) << "): " << verdict(storing < kStoreTargetMs) << "\n"
            << "    opened, stored and closed as vardis-cli does: " << cell(r.oneReading.p50, 1, 2)
            << " ms (max " << cell(r.oneReading.max, 1, 2) << ")\n"
            << "  a meter-year of hourly records read back, p50 < " << cell(kHistoryTargetMs, 1, 0)
            << " ms: " << cell(r.query.p50, 1, 1) << " ms, " << r.queryRecords
            << " records: " << verdict(r.query.p50 < kHistoryTargetMs && r.query.right) << "\n"
            << "  a meter-year of hourly and daily records < " << cell(kStoreSizeTargetMb, 1, 0)
            << " MB: " << cell(sizeMb, 1, 2) << " MB: " << verdict(sizeMb < kStoreSizeTargetMb)
            << "\n";
}

}  // namespace

void printStore(const StoreResult& r) {
  printStoreTimes(r);
  printStoreSize(r);
  printStoreTargets(r);
}

void printTable(const Options& o, const CalendarDate& date, const std::vector<SpeedRuns>& runs,
                const CliResult& cli) {
  std::vector<SpeedResult> rs, plain;
  for (const auto& r : runs) {
    rs.push_back(r.tool);
    plain.push_back(r.plain);
  }
  printHeading(o, date, rs);
  printTimes(rs, plain);
  std::cout << "\n";
  totalRows(rs, plain);
  printCli(cli);
  printTargets(runs, cli);
  std::cout << "\n";
  printQuick(runs);
}

}  // namespace vardis::bench
