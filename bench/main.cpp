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
#include <sys/prctl.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archives/archive_reading.h"
#include "archives/session.h"
#include "bench/child_process.h"
#include "bench/plain_line.h"
#include "bench/timing_line.h"
#include "connection/data_dir.h"
#include "link/qt_serial_line.h"
#include "params/identification.h"
#include "values/device_clock.h"

namespace vardis::bench {
namespace {

constexpr int kQuickReadings = 1;
constexpr int kFullReadings = 10;
constexpr int kTransactionsPerReading = 533;
constexpr int kRequestBytes = 11;
constexpr int kReplyBytes = 11;
constexpr int kBitsPerByte = 10;

// What the program is to reach.
constexpr double kOverheadTargetMs = 0.3;  // p50 above the floor
constexpr double kProcessorTargetPct = 2;  // of wall time while reading
constexpr double kMemoryTargetMb = 40;     // vardis-cli peak resident memory

struct Options {
  std::string mode = "--full";
  int readings = kFullReadings;
  int turnaroundMs = 5;
  int timerSlackNs = -1;  // -1: as the system sets it
  std::string meterProgram = VARDIS_METER_SIM_PROGRAM;
  std::string cliProgram = VARDIS_CLI_PROGRAM;
};

void usage(std::ostream& out) {
  out << "usage: vardis-bench [--full | --quick] [--readings N] [--turnaround MS]\n"
         "                    [--timer-slack NS] [--meter-sim PATH] [--cli PATH]\n"
         "Reads hourly archives from the simulated meter at 9600 and 115200 baud,\n"
         "over the tool's serial line and over a plain one, and prints the time of\n"
         "each transaction against its floor, the processor share of the reading\n"
         "and the peak memory of vardis-cli.\n"
         "\n"
         "  --full            10 hourly readings (5330 transactions) a speed (default)\n"
         "  --quick           1 hourly reading (533 transactions) a speed\n"
         "  --readings N      N hourly readings a speed\n"
         "  --turnaround MS   the meter's delay before each reply (default 5)\n"
         "  --timer-slack NS  the reading thread's timer slack (prctl), not the meter's\n"
         "  --meter-sim PATH  the simulated meter program\n"
         "  --cli PATH        the vardis-cli program\n";
}

int wholeNumber(const std::string& option, const std::string& text, int min, int max) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < min || v > max) {
    throw std::invalid_argument(option + " needs a whole number " + std::to_string(min) + ".." +
                                std::to_string(max));
  }
  return static_cast<int>(v);
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
    } else {
      throw std::invalid_argument("unknown option '" + a + "'");
    }
  }
  return o;
}

// A fresh folder with the report folder in it, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vardis-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
    std::filesystem::create_directories(reportDir(path_));
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double processorSeconds(const rusage& u) {
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Yesterday by the PC's calendar: its hour records have all ended.
PickedDate yesterday() {
  const std::time_t t = std::time(nullptr) - 24 * 60 * 60;
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::string dateText(const PickedDate& d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

int speedIndexOf(unsigned baud) {
  for (std::size_t i = 0; i < kSpeeds.size(); ++i) {
    if (kSpeeds[i] == baud) return static_cast<int>(i);
  }
  throw std::invalid_argument("no such speed");
}

// Milliseconds one byte takes on the wire.
double byteMs(unsigned baud) {
  return kBitsPerByte * 1000.0 / baud;
}

// One quantity over all transactions of a speed.
struct Spread {
  double ideal = 0;
  double p50 = 0, p99 = 0, max = 0;
};

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

Spread spread(std::vector<double> v, double ideal) {
  std::sort(v.begin(), v.end());
  Spread s;
  s.ideal = ideal;
  s.p50 = percentile(v, 0.50);
  s.p99 = percentile(v, 0.99);
  s.max = v.empty() ? 0 : v.back();
  return s;
}

struct SpeedResult {
  unsigned baud = 0;
  std::size_t exchanges = 0;
  ExchangeCounters counters;
  int linkFault = 0;
  double wallMs = 0;
  double processorMs = 0;
  long voluntarySwitches = 0;
  long involuntarySwitches = 0;
  // The parts of a transaction, in order.
  Spread drain, send, between, firstByte, restOfReply, transaction, gap, cycle;
  // The transaction above its floors.
  double wireFloorMs = 0, ptyFloorMs = 0;
  Spread aboveWire, abovePty;
};

SpeedResult summarise(unsigned baud, int turnaroundMs, const std::vector<ExchangeTimes>& xs,
                      const std::vector<std::size_t>& readingStarts) {
  SpeedResult r;
  r.baud = baud;
  r.exchanges = xs.size();
  const double byte = byteMs(baud);
  std::vector<double> drain, send, between, first, rest, total, gap, aboveWire, abovePty;
  double drainTimeoutSum = 0;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    const ExchangeTimes& x = xs[i];
    drainTimeoutSum += x.drainTimeoutMs;
    drain.push_back(ms(x.drainEnd - x.drainStart));
    send.push_back(ms(x.sendEnd - x.sendStart));
    between.push_back(ms(x.sendStart - x.drainEnd) + ms(x.replyStart - x.sendEnd));
    const double reply = ms(x.replyEnd - x.replyStart);
    if (x.firstByteMicros >= 0) {
      const double f = static_cast<double>(x.firstByteMicros) / 1000;
      first.push_back(f);
      rest.push_back(reply - f);
    }
    const double t = ms(x.replyEnd - x.drainStart);
    total.push_back(t);
    // On the wire the request and the reply each take their bytes' time; on
    // the pseudo-terminal the request takes none and the meter puts its first
    // byte out at the turnaround, so the last one follows 10 byte times later.
    const double wireFloor = x.drainTimeoutMs + (kRequestBytes + kReplyBytes) * byte + turnaroundMs;
    const double ptyFloor = x.drainTimeoutMs + turnaroundMs + (kReplyBytes - 1) * byte;
    aboveWire.push_back(t - wireFloor);
    abovePty.push_back(t - ptyFloor);
    const bool lastOfReading =
        i + 1 == xs.size() ||
        std::find(readingStarts.begin(), readingStarts.end(), i + 1) != readingStarts.end();
    if (!lastOfReading) gap.push_back(ms(xs[i + 1].drainStart - x.replyEnd));
  }
  const double drainMs = xs.empty() ? 0 : drainTimeoutSum / static_cast<double>(xs.size());
  r.wireFloorMs = drainMs + (kRequestBytes + kReplyBytes) * byte + turnaroundMs;
  r.ptyFloorMs = drainMs + turnaroundMs + (kReplyBytes - 1) * byte;
  r.drain = spread(std::move(drain), drainMs);
  r.send = spread(std::move(send), 0);
  r.between = spread(std::move(between), 0);
  r.firstByte = spread(std::move(first), turnaroundMs);
  r.restOfReply = spread(std::move(rest), (kReplyBytes - 1) * byte);
  r.transaction = spread(std::move(total), r.ptyFloorMs);
  r.gap = spread(std::move(gap), 0);
  r.aboveWire = spread(std::move(aboveWire), 0);
  r.abovePty = spread(std::move(abovePty), 0);
  return r;
}

// The timer slack of this thread while the object lives; -1: left alone.
class TimerSlack {
 public:
  explicit TimerSlack(int ns) : set_(ns >= 0) {
    if (set_) ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(std::max(1, ns)));
  }
  ~TimerSlack() {
    if (set_) ::prctl(PR_SET_TIMERSLACK, 0UL);  // back to the thread's default
  }
  TimerSlack(const TimerSlack&) = delete;
  TimerSlack& operator=(const TimerSlack&) = delete;

 private:
  bool set_;
};

enum class LineKind {
  Tool,   // the tool's line on QSerialPort, breathing the event loop as vardis-cli does
  Plain,  // bare select/read/write, no breathing
};

// Identifies the meter, then reads `readings` hourly archives of one day and
// times them.
SpeedResult measureSpeed(const Options& o, unsigned baud, const PickedDate& date, LineKind kind) {
  MeterProcess meter(o.meterProgram, {"--pace", "--turnaround", std::to_string(o.turnaroundMs),
                                      "--speed", std::to_string(baud)});
  // Only the reading process gets the timer slack asked for: the meter,
  // started before, keeps the system's.
  const TimerSlack slack(o.timerSlackNs);
  TempFolder folder;
  QtSerialLine toolLine;
  PlainLine plainLine;
  SerialLine& inner = kind == LineKind::Tool ? static_cast<SerialLine&>(toolLine) : plainLine;
  TimingLine line(inner, [&] {
    return kind == LineKind::Tool ? toolLine.lastFirstByteMicros()
                                  : plainLine.lastFirstByteMicros();
  });
  const auto clock = makeSystemClock();
  SessionConfig config;
  config.dataDir = folder.path();
  Session s(line, *clock, config);
  if (kind == LineKind::Tool) {
    // The session hands the callback to the line it knows, the timing one;
    // the real line needs it too.
    const Breathe breathe = [] { QCoreApplication::processEvents(); };
    toolLine.setBreathe(breathe);
    s.setBreathe(breathe);
  }

  StartConnection(s, {"0", meter.port(), speedIndexOf(baud), false});
  if (s.link.LinkFault != 0 || !s.reports.ReportFilesOpen) {
    throw std::runtime_error("the meter on " + meter.port() + " did not answer at " +
                             std::to_string(baud) + " baud");
  }
  pickArchiveDate(s, date.year, date.month, date.day);
  s.link.counters = ExchangeCounters{};

  std::vector<std::size_t> readingStarts;
  line.reserve(static_cast<std::size_t>(o.readings) * (kTransactionsPerReading + 16));
  line.setRecording(true);
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < o.readings; ++i) {
    readingStarts.push_back(line.exchanges().size());
    ReadHourlyArchive(s);
  }
  const Clock::time_point end = Clock::now();
  ::getrusage(RUSAGE_SELF, &after);
  line.setRecording(false);
  s.StopConnection();

  SpeedResult r = summarise(baud, o.turnaroundMs, line.exchanges(), readingStarts);
  r.counters = s.link.counters;
  r.linkFault = s.link.LinkFault;
  r.wallMs = ms(end - start);
  r.processorMs = (processorSeconds(after) - processorSeconds(before)) * 1000;
  r.voluntarySwitches = after.ru_nvcsw - before.ru_nvcsw;
  r.involuntarySwitches = after.ru_nivcsw - before.ru_nivcsw;
  const double n = r.exchanges == 0 ? 1 : static_cast<double>(r.exchanges);
  r.cycle = Spread{r.ptyFloorMs, r.wallMs / n, 0, 0};
  return r;
}

struct CliResult {
  unsigned baud = 115200;
  std::string command;
  int exitStatus = -1;
  double peakMb = 0;
  double wallMs = 0;
  double processorMs = 0;
  std::string output;
};

// vardis-cli against a meter of its own: its peak memory and processor time
// as the kernel counted them.
CliResult measureCli(const Options& o, const PickedDate& date) {
  CliResult r;
  MeterProcess meter(o.meterProgram, {"--pace", "--turnaround", std::to_string(o.turnaroundMs),
                                      "--speed", std::to_string(r.baud)});
  TempFolder folder;
  const std::vector<std::string> args{"--port",       meter.port(),
                                      "--speed",      std::to_string(r.baud),
                                      "--data-dir",   folder.path().string(),
                                      "values",       "monthly",
                                      dateText(date), "params"};
  r.command = "vardis-cli --port PTY --speed " + std::to_string(r.baud) +
              " --data-dir TMP values monthly " + dateText(date) + " params";
  const std::filesystem::path outputFile = folder.path() / "cli-output.txt";
  const Finished f = runToEnd(o.cliProgram, args, outputFile);
  r.exitStatus = f.exitStatus;
  r.peakMb = static_cast<double>(f.usage.ru_maxrss) / 1024;  // kilobytes on Linux
  r.wallMs = ms(f.wall);
  r.processorMs = processorSeconds(f.usage) * 1000;
  if (r.exitStatus != 0) {
    std::FILE* in = std::fopen(outputFile.c_str(), "r");
    if (in) {
      char buf[512];
      while (std::fgets(buf, sizeof buf, in)) r.output += buf;
      std::fclose(in);
    }
  }
  return r;
}

// The table.

std::string cell(double v, int width = 8, int decimals = 2) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
  return buf;
}

std::string padded(const std::string& s, std::size_t width) {
  // Width in characters; every text here is ASCII.
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

std::string rightAligned(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

constexpr std::size_t kLabelWidth = 36;
constexpr std::size_t kSpeedWidth = 34;

void spreadRow(const std::string& label, const std::vector<SpeedResult>& rs,
               Spread SpeedResult::*field, bool withIdeal = true) {
  std::string line = padded(label, kLabelWidth);
  for (const auto& r : rs) {
    const Spread& s = r.*field;
    line += "  " + (withIdeal ? cell(s.ideal) : std::string(8, ' ')) + cell(s.p50) + cell(s.p99) +
            cell(s.max);
  }
  std::cout << line << "\n";
}

void valueRow(const std::string& label, const std::vector<SpeedResult>& rs,
              const std::function<std::string(const SpeedResult&)>& text) {
  std::string line = padded(label, kLabelWidth);
  for (const auto& r : rs) line += "  " + rightAligned(text(r), kSpeedWidth - 2) + "  ";
  std::cout << line << "\n";
}

std::string verdict(bool met) {
  return met ? "met" : "MISSED";
}

struct SpeedRuns {
  SpeedResult tool;
  SpeedResult plain;
};

void section(const std::string& title) {
  std::cout << title << "\n";
}

void printTable(const Options& o, const PickedDate& date, const std::vector<SpeedRuns>& runs,
                const CliResult& cli) {
  std::vector<SpeedResult> rs, plain;
  for (const auto& r : runs) {
    rs.push_back(r.tool);
    plain.push_back(r.plain);
  }
  std::cout << "vardis-bench " << o.mode << ": " << o.readings << " hourly reading"
            << (o.readings == 1 ? "" : "s") << " of " << dateText(date) << " ("
            << o.readings * kTransactionsPerReading
            << " transactions) a speed and line; meter: vardis-meter-sim --pace --turnaround "
            << o.turnaroundMs << " (T) in a process of its own, on a pseudo-terminal";
  if (o.timerSlackNs >= 0) std::cout << "; timer slack " << o.timerSlackNs << " ns";
  std::cout << "\n\n";

  std::string head = padded("", kLabelWidth);
  std::string sub = padded("milliseconds", kLabelWidth);
  for (const auto& r : rs) {
    head += "  " + rightAligned(std::to_string(r.baud) + " baud", kSpeedWidth - 2) + "  ";
    sub += "  " + rightAligned("ideal", 8) + rightAligned("p50", 8) + rightAligned("p99", 8) +
           rightAligned("max", 8);
  }
  std::cout << head << "\n" << sub << "\n";
  section("the tool's line (QSerialPort, breathing the event loop):");
  spreadRow("drain read", rs, &SpeedResult::drain);
  spreadRow("send", rs, &SpeedResult::send);
  spreadRow("between the calls (breathe)", rs, &SpeedResult::between);
  spreadRow("reply read: to the first byte", rs, &SpeedResult::firstByte);
  spreadRow("reply read: first to last byte", rs, &SpeedResult::restOfReply);
  spreadRow("transaction, drain to last byte", rs, &SpeedResult::transaction);
  spreadRow("gap to the next transaction", rs, &SpeedResult::gap);
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
  {
    // Tails differ from run to run by more than the lines do: p50 only.
    std::string line = padded("tool's line minus plain line, p50", kLabelWidth);
    for (const auto& r : runs) {
      line += "  " + std::string(8, ' ') + cell(r.tool.abovePty.p50 - r.plain.abovePty.p50) +
              std::string(16, ' ');
    }
    std::cout << line << "\n";
  }
  std::cout << "\n";
  const auto both = [&](const std::string& label,
                        const std::function<std::string(const SpeedResult&)>& text) {
    std::string line = padded(label, kLabelWidth);
    for (const auto& r : runs) {
      line += "  " + rightAligned(text(r.tool) + "  (plain " + text(r.plain) + ")", kSpeedWidth);
    }
    std::cout << line << "\n";
  };
  both("transactions measured", [](const SpeedResult& r) { return std::to_string(r.exchanges); });
  both("errors / time-outs / link fault", [](const SpeedResult& r) {
    return std::to_string(r.counters.ErrorCount) + "/" + std::to_string(r.counters.TimeoutCount) +
           "/" + std::to_string(r.linkFault);
  });
  both("reading wall time, s", [](const SpeedResult& r) { return cell(r.wallMs / 1000, 1, 1); });
  both("processor time, % of wall",
       [](const SpeedResult& r) { return cell(100 * r.processorMs / r.wallMs, 1, 2) + " %"; });
  both("processor time a transaction, us", [](const SpeedResult& r) {
    return cell(1000 * r.processorMs / static_cast<double>(std::max<std::size_t>(1, r.exchanges)),
                1, 0);
  });
  both("context switches a transaction", [](const SpeedResult& r) {
    const double n = static_cast<double>(std::max<std::size_t>(1, r.exchanges));
    return cell(static_cast<double>(r.voluntarySwitches + r.involuntarySwitches) / n, 1, 1);
  });
  std::cout << "\n"
            << cli.command << "\n"
            << padded("  peak memory (ru_maxrss)", kLabelWidth) << cell(cli.peakMb, 1, 1)
            << " MB, exit status " << cli.exitStatus << "\n"
            << padded("  processor time, % of wall", kLabelWidth)
            << cell(100 * cli.processorMs / cli.wallMs, 1, 2) << " % of "
            << cell(cli.wallMs / 1000, 1, 1) << " s\n";
  if (!cli.output.empty()) std::cout << cli.output;

  bool overheadMet = true, ownOverheadMet = true, processorMet = true;
  std::string overheads, ownOverheads, processor;
  for (const auto& r : runs) {
    const double own = r.tool.abovePty.p50 - r.plain.abovePty.p50;
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

}  // namespace
}  // namespace vardis::bench

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
  try {
    const vardis::PickedDate date = yesterday();
    std::vector<SpeedRuns> runs;
    for (const unsigned baud : {9600u, 115200u}) {
      SpeedRuns r;
      r.tool = measureSpeed(options, baud, date, LineKind::Tool);
      r.plain = measureSpeed(options, baud, date, LineKind::Plain);
      runs.push_back(std::move(r));
    }
    const CliResult cli = measureCli(options, date);
    printTable(options, date, runs, cli);
  } catch (const std::exception& e) {
    std::cerr << "vardis-bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
