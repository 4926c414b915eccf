#include "cli/cli_app.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "archives/archive_data.h"
#include "archives/archive_reading.h"
#include "connection/data_dir.h"
#include "connection/identification.h"
#include "connection/session.h"
#include "link/frame.h"
#include "link/modem.h"
#include "link/node_directory.h"
#include "link/port_text.h"
#include "params/parameter_names.h"
#include "params/parameter_report.h"
#include "values/current_values_read.h"
#include "values/device_clock.h"

namespace vardis::cli {

namespace {

std::atomic<bool>* g_cancel = nullptr;

// Shortest text that reads back as the same double.
std::string exactNumber(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

struct CommandSpec {
  int minArgs;
  int maxArgs;
  const char* help;
};

const std::map<std::string, CommandSpec>& commandTable() {
  static const std::map<std::string, CommandSpec> table{
      {"values", {0, 0, "values    read the current values and the clock, print every label"}},
      {"clock", {0, 0, "clock     read the meter's clock"}},
      {"set-clock", {0, 0, "set-clock write the PC's date and time into the meter"}},
      {"param", {1, 1, "param N   read parameter N and print it with its name"}},
      {"hourly", {0, 1, "hourly [YYYY-MM-DD]   read the hourly archive of a day (default --date)"}},
      {"daily", {0, 1, "daily [YYYY-MM-DD]    read the daily archive of that date's month"}},
      {"monthly", {0, 1, "monthly [YYYY-MM-DD]  read the monthly record of that date's month"}},
      {"dump", {0, 0, "dump      write the stored hourly rows to the hourly report"}},
      {"params", {0, 0, "params    read parameters 0..122 and write the parameter report"}},
      {"nodes", {0, 0, "nodes     list the GSM nodes of gsm_csd.ini in the data folder"}},
      {"dial",
       {1, 2, "dial TEXT | dial --node N   (with --gsm) send the dial text, wait 35 s, identify"}},
      {"hangup", {0, 0, "hangup    (with --gsm) send \"+++\", wait 5 s, send \"ATH\""}},
      {"summary", {0, 0, "summary   print the meter, the link statistics and the report files"}},
      {"transact",
       {1, 4,
        "transact NAME [INDEX [KIND [DATECODE]]]  one transaction by its name, e.g.\n"
        "      transact ReadParameterTransaction 9; INDEX goes to request byte 3,\n"
        "      KIND to byte 4, DATECODE to bytes 5..8"}},
  };
  return table;
}

bool isCommandWord(const std::string& s) {
  return commandTable().count(s) != 0;
}

std::optional<std::uint32_t> parseUnsigned(const std::string& s) {
  std::uint32_t v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

class CliObserver final : public SessionObserver {
 public:
  CliObserver(std::ostream& err, bool progress) : err_(err), progress_(progress) {}
  void progressChanged(int position) override {
    if (!progress_) return;
    const int filled = position * 30 / 100;
    err_ << "\r[" << std::string(static_cast<std::size_t>(std::max(0, filled)), '#')
         << std::string(static_cast<std::size_t>(std::max(0, 30 - filled)), ' ') << "] " << position
         << "%" << (position >= 100 ? "\n" : "") << std::flush;
  }

 private:
  std::ostream& err_;
  bool progress_;
};

void printCounters(const Session& s, std::ostream& out) {
  const auto& c = s.link.counters;
  out << "requests=" << c.RequestCount << " errors=" << c.ErrorCount
      << " timeouts=" << c.TimeoutCount << " link-fault=" << s.link.LinkFault << "\n";
}

// transact NAME [INDEX [KIND [DATECODE]]]
void runTransact(Session& s, const CliCommand& cmd, std::ostream& out) {
  const auto kind = transactionByName(cmd.args[0]);
  if (!kind) throw UserError("unknown transaction '" + cmd.args[0] + "'");
  std::uint32_t numbers[3] = {0, 0, 0};
  for (std::size_t i = 1; i < cmd.args.size(); ++i) {
    const auto v = parseUnsigned(cmd.args[i]);
    if (!v) throw UserError(notAnIntegerMessage(cmd.args[i]));
    numbers[i - 1] = *v;
  }
  const auto index = static_cast<std::uint8_t>(numbers[0] & 0xFF);
  auto& a = s.link.addr;
  a.valueIndex = index;
  a.QuantityIndex = index;
  a.seconds = index;
  a.RecordKind = static_cast<std::uint8_t>(numbers[1] & 0xFF);
  if (cmd.args.size() > 3) a.dateTime = numbers[2];
  a.ArchiveRow = 0;
  if (*kind == Transaction::ReadClock) a.dateTime = 0;

  s.link.run(*kind);

  const std::string& name = cmd.args[0];
  out << name;
  switch (*kind) {
    case Transaction::SetClock:
      out << ": sent date-time=" << a.dateTime << " seconds=" << unsigned(a.seconds);
      break;
    case Transaction::ReadClock:
      out << ": date-time=" << a.dateTime << " seconds=" << unsigned(a.seconds);
      break;
    case Transaction::ReadFloatValue:
      out << " " << unsigned(index) << ": " << exactNumber(s.values.floats[index]);
      break;
    case Transaction::ReadParameter:
      out << " " << unsigned(index) << ": " << exactNumber(s.params.values[index]);
      break;
    case Transaction::ReadCounterValue:
      out << " " << unsigned(index) << ": " << exactNumber(s.values.counters[index]);
      break;
    case Transaction::ReadArchiveFloat:
    case Transaction::ReadArchiveInteger:
    case Transaction::ReadIntegrator: {
      // What reached the line, whatever table it was routed to.
      const std::uint32_t raw = getU32(&s.link.ReplyBuffer[5]);
      out << " " << unsigned(index) << " kind " << unsigned(a.RecordKind) << " date " << a.dateTime
          << ": ";
      if (*kind == Transaction::ReadArchiveFloat) {
        out << exactNumber(floatFromBits(raw));
      } else {
        out << raw;
      }
      break;
    }
  }
  out << "\n";
  printCounters(s, out);
}

void runValues(Session& s, std::ostream& out) {
  ReadCurrentValues(s);
  for (const auto& page : valuePages()) {
    out << "[" << page.tab << "] " << page.group << "\n";
    for (const auto& label : page.labels) out << "  " << s.caption(label) << "\n";
  }
}

void runClock(Session& s, std::ostream& out) {
  ReadDeviceClock(s);
  out << s.caption("Label40") << "\n" << s.caption("Label41") << "\n";
}

void runSetClock(Session& s, std::ostream& out) {
  SetDeviceClock(s);
  const DateTimeParts p = unpackDateTime(s.link.addr.dateTime);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", p.year2 + 2000, p.month, p.day,
                p.hour, p.minute, unsigned(s.link.addr.seconds));
  out << "set the meter clock to " << buf << "\n";
}

void runParam(Session& s, const CliCommand& cmd, std::ostream& out) {
  const auto index = parseInteger(cmd.args[0]);
  if (!index || *index < 0 || *index > 255) {
    throw UserError("param: '" + cmd.args[0] + "' is not a parameter index 0..255");
  }
  s.link.addr.valueIndex = static_cast<std::uint8_t>(*index);
  s.link.ReadParameterTransaction();
  const double v = s.params.values[static_cast<std::size_t>(*index)];
  const ParameterFormat f = parameterFormat(*index);
  out << *index << " " << parameterName(*index) << ": "
      << fixedLeft(v, 0, f.decimals, s.config().numbers) << " (" << exactNumber(v) << ")\n";
}

// Waits in real time, letting the window breathe; a cancel ends the wait.
void waitMs(Session& s, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (s.cancelRequested()) throw CommandCancelled();
    const auto left = until - std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        left, std::chrono::milliseconds(kBreatheSliceMs)));
    s.breatheNow();
  }
}

bool parseDate(const std::string& text, PickedDate& out);

void pickDate(Session& s, const CliCommand& cmd) {
  if (cmd.args.empty()) return;
  PickedDate d;
  parseDate(cmd.args[0], d);
  DateTimePicker1Change(s, d.year, d.month, d.day);
}

void printNodes(const Session& s, std::ostream& out, std::ostream& err) {
  const NodeDirectory nodes = loadNodeDirectory(nodeFile(s.config().dataDir));
  if (!nodes.warning.empty()) err << "vardis-cli: " << nodes.warning << "\n";
  if (nodes.NodeCount == 0) out << "no nodes in " << nodeFile(s.config().dataDir).string() << "\n";
  for (int n = 1; n <= nodes.NodeCount; ++n) {
    out << n << "  " << nodes.NodeName[static_cast<std::size_t>(n)] << "  "
        << nodes.NodePhone[static_cast<std::size_t>(n)] << "\n";
  }
}

void runDial(Session& s, const CliCommand& cmd, int waitMsValue, std::ostream& out,
             std::ostream& err) {
  std::string text = cmd.args[0];
  if (text == "--node") {
    const NodeDirectory nodes = loadNodeDirectory(nodeFile(s.config().dataDir));
    const auto n = parseInteger(cmd.args[1]);
    if (!n || *n < 1 || *n > nodes.NodeCount) {
      throw UserError("dial --node " + cmd.args[1] + ": no such node in " +
                      nodeFile(s.config().dataDir).string() + " (" +
                      std::to_string(nodes.NodeCount) + " nodes)");
    }
    text = nodes.phoneForSelection(*n - 1);
  }
  Dial(s, text);
  out << "dialled " << text << "; waiting " << waitMsValue / 1000.0 << " s for the call\n";
  waitMs(s, waitMsValue);
  DialWaitElapsed(s);
  if (s.reports.ReportFilesOpen) {
    out << "meter " << serialNumber(s.params.values[0]).value_or(0) << " identified; reports in "
        << reportDir(s.config().dataDir).string() << "/" << s.caption("Edit2")
        << "_{par,chas,sut,mes}.txt\n";
  } else {
    err << "vardis-cli: the meter did not answer over the call; no report files\n";
  }
}

void runHangUp(Session& s, int waitMsValue, std::ostream& out) {
  // A modem takes "+++" as the escape only after a second of silence on the
  // line; in the window the user's click gives that pause.
  waitMs(s, std::min(waitMsValue, kEscapeGuardMs));
  StartHangUp(s);
  waitMs(s, waitMsValue);
  HangUpWaitElapsed(s);
  out << "hung up\n";
}

void printSummary(const Session& s, std::ostream& out) {
  const auto& c = s.link.counters;
  out << "Summary\n";
  const auto serial = serialNumber(s.params.values[0]);
  out << "  meter serial number: " << (serial ? std::to_string(*serial) : "none") << "\n";
  out << "  transactions: " << (c.RequestCount - c.ErrorCount) << " (requests " << c.RequestCount
      << ", errors " << c.ErrorCount << ", time-outs " << c.TimeoutCount << ", link fault "
      << (s.link.LinkFault ? "raised" : "clear") << ")\n";
  if (!s.reports.ReportFilesOpen) {
    out << "  report files: none open\n";
    return;
  }
  out << "  report files:\n";
  for (ReportKind k :
       {ReportKind::Parameters, ReportKind::Hourly, ReportKind::Daily, ReportKind::Monthly}) {
    out << "    " << s.reports.file(k).path().string() << "\n";
  }
}

// Flushed at once: a program watching the output learns that the report is
// complete on disk as soon as it is.
void printReportDone(const Session& s, ReportKind kind, std::ostream& out) {
  out << s.operationStatus() << ": " << s.reports.file(kind).path().string() << std::endl;
}

bool parseDate(const std::string& text, PickedDate& out) {
  int y = 0, m = 0, d = 0, n = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &n) != 3 ||
      static_cast<std::size_t>(n) != text.size()) {
    return false;
  }
  out = PickedDate{y, m, d};
  return true;
}

// Where the exported data goes: standard output or the --out file, created
// (or emptied) before the meter is reached.
class ExportSink {
 public:
  // False with a message in `error` when the file cannot be written.
  bool open(const CliOptions& o, std::ostream& out, std::string& error) {
    if (o.exportFormat == ExportFormat::None) return true;
    if (o.exportFile.empty() || o.exportFile == "-") {
      stream_ = &out;
      return true;
    }
    const std::filesystem::path path(o.exportFile);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      error = "--out " + o.exportFile + ": is a folder, not a file";
      return false;
    }
    const std::filesystem::path folder = path.parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
      error = "--out " + o.exportFile + ": the folder " + folder.string() + " does not exist";
      return false;
    }
    file_ = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    if (!*file_) {
      error = "--out " + o.exportFile + ": cannot create the file";
      return false;
    }
    stream_ = file_.get();
    return true;
  }
  bool active() const { return stream_ != nullptr; }
  // Whether the export takes standard output, so the messages must go elsewhere.
  bool onStandardOutput() const { return stream_ != nullptr && !file_; }
  // Writes the text; false when it did not reach its place.
  bool write(const std::string& text) {
    *stream_ << text << std::flush;
    return static_cast<bool>(*stream_);
  }

 private:
  std::ostream* stream_ = nullptr;
  std::unique_ptr<std::ofstream> file_;
};

// Keeps the data of the archive reading that just ended for the export.
void exportArchive(const Session& s, const std::string& kind, ExportRun& run) {
  ArchiveData d = lastArchiveData(s);
  if (d.kind != kind) return;  // nothing complete was read
  run.exports.push_back({kind, std::nullopt, std::move(d)});
}

}  // namespace

void requestCancel() {
  if (g_cancel) g_cancel->store(true);
}

std::string usageText() {
  std::string text =
      "usage: vardis-cli [options] [command [args]]...\n"
      "options:\n"
      "  --port TEXT       port number (1..9: COMn, /dev/ttyS{n-1}) or a device path (default 1)\n"
      "  --speed BAUD      600 1200 2400 4800 9600 19200 38400 57600 115200 (default 115200)\n"
      "  --address N       meter address 0..255 (default 0)\n"
      "  --data-dir DIR    data folder (default $VARDIS_HOME, else ~/vardis)\n"
      "  --gsm             the line goes through a GSM modem\n"
      "  --trace FILE      write every byte sent and received to FILE ('-' for stderr)\n"
      "  --date YYYY-MM-DD the archive date (default: today)\n"
      "  --fake-pc-time 'YYYY-MM-DD HH:MM[:SS]'\n"
      "                    use this fixed PC date and time instead of the real clock (tests)\n"
      "  --test-dial-wait-ms MS, --test-hangup-wait-ms MS\n"
      "                    shorten the modem waits of 35 s and 5 s (tests)\n"
      "  --format csv|json values, hourly, daily and monthly also write their data in\n"
      "                    this format to standard output; the messages then go to stderr\n"
      "  --out FILE        with --format: write the data into FILE instead (emptied first;\n"
      "                    '-' for standard output)\n"
      "commands:\n";
  for (const auto& [name, entry] : commandTable()) text += "  " + std::string(entry.help) + "\n";
  return text;
}

std::optional<CliOptions> parseArguments(const std::vector<std::string>& args, std::string& error) {
  CliOptions o;
  std::size_t i = 0;
  auto value = [&](const std::string& opt) -> std::optional<std::string> {
    if (i + 1 >= args.size()) {
      error = "option " + opt + " needs a value";
      return std::nullopt;
    }
    return args[++i];
  };
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--port") {
      auto v = value(a);
      if (!v) return std::nullopt;
      o.port = *v;
    } else if (a == "--speed") {
      auto v = value(a);
      if (!v) return std::nullopt;
      const auto baud = parseUnsigned(*v);
      int found = -1;
      for (std::size_t k = 0; k < kSpeeds.size(); ++k) {
        if (baud && kSpeeds[k] == *baud) found = static_cast<int>(k);
      }
      if (found < 0) {
        error = "--speed " + *v + ": not one of 600 1200 2400 4800 9600 19200 38400 57600 115200";
        return std::nullopt;
      }
      o.speedIndex = found;
    } else if (a == "--address") {
      auto v = value(a);
      if (!v) return std::nullopt;
      o.address = *v;
    } else if (a == "--data-dir") {
      auto v = value(a);
      if (!v) return std::nullopt;
      o.dataDir = *v;
    } else if (a == "--gsm") {
      o.gsm = true;
    } else if (a == "--trace") {
      auto v = value(a);
      if (!v) return std::nullopt;
      o.traceFile = *v;
    } else if (a == "--date") {
      auto v = value(a);
      if (!v) return std::nullopt;
      PickedDate d;
      if (!parseDate(*v, d) || !archiveDateAllowed(d.year, d.month, d.day)) {
        error = "--date " + *v + ": not a date YYYY-MM-DD from 2000-01-01 to 2042-12-31";
        return std::nullopt;
      }
      o.date = *v;
    } else if (a == "--test-dial-wait-ms" || a == "--test-hangup-wait-ms") {
      auto v = value(a);
      if (!v) return std::nullopt;
      const auto ms = parseUnsigned(*v);
      if (!ms) {
        error = a + " " + *v + ": not a number of milliseconds";
        return std::nullopt;
      }
      (a == "--test-dial-wait-ms" ? o.dialWaitMs : o.hangUpWaitMs) = static_cast<int>(*ms);
    } else if (a == "--fake-pc-time") {
      auto v = value(a);
      if (!v) return std::nullopt;
      LocalDateTime t;
      if (!parseLocalDateTime(*v, t)) {
        error = "--fake-pc-time " + *v + ": not a date and time 'YYYY-MM-DD HH:MM[:SS]'";
        return std::nullopt;
      }
      o.fakePcTime = *v;
    } else if (a == "--format") {
      auto v = value(a);
      if (!v) return std::nullopt;
      if (*v == "csv") {
        o.exportFormat = ExportFormat::Csv;
      } else if (*v == "json") {
        o.exportFormat = ExportFormat::Json;
      } else {
        error = "--format " + *v + ": not csv or json";
        return std::nullopt;
      }
    } else if (a == "--out") {
      auto v = value(a);
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = "--out needs a file name";
        return std::nullopt;
      }
      o.exportFile = *v;
    } else if (a == "--help" || a == "-h") {
      error = "";
      return std::nullopt;
    } else if (a.rfind("--", 0) == 0) {
      error = "unknown option " + a;
      return std::nullopt;
    } else if (isCommandWord(a)) {
      CliCommand cmd{a, {}};
      while (i + 1 < args.size() && !isCommandWord(args[i + 1]) &&
             (args[i + 1].rfind("--", 0) != 0 || (a == "dial" && args[i + 1] == "--node"))) {
        cmd.args.push_back(args[++i]);
      }
      if (a == "dial" && !cmd.args.empty() && cmd.args[0] == "--node" && cmd.args.size() != 2) {
        error = "dial --node needs a node number";
        return std::nullopt;
      }
      if ((a == "hourly" || a == "daily" || a == "monthly") && !cmd.args.empty()) {
        PickedDate d;
        if (!parseDate(cmd.args[0], d) || !archiveDateAllowed(d.year, d.month, d.day)) {
          error = a + " " + cmd.args[0] + ": not a date YYYY-MM-DD from 2000-01-01 to 2042-12-31";
          return std::nullopt;
        }
      }
      const auto& entry = commandTable().at(a);
      const int n = static_cast<int>(cmd.args.size());
      if (n < entry.minArgs || n > entry.maxArgs) {
        error = "wrong number of arguments for '" + a + "'; " + entry.help;
        return std::nullopt;
      }
      o.commands.push_back(std::move(cmd));
    } else {
      error = "unknown command '" + a + "'";
      return std::nullopt;
    }
  }
  if (!o.exportFile.empty() && o.exportFormat == ExportFormat::None) {
    error = "--out " + o.exportFile + " needs --format csv or --format json";
    return std::nullopt;
  }
  return o;
}

int run(const CliOptions& options, SerialLine& line, const PcClock& realClock, std::ostream& stdOut,
        std::ostream& err, bool progressOnTerminal, Breathe breathe) {
  ExportSink exportSink;
  {
    std::string error;
    if (!exportSink.open(options, stdOut, error)) {
      err << "vardis-cli: " << error << "\n";
      return kExitUsage;
    }
  }
  // With the export on standard output the messages go to standard error.
  std::ostream& out = exportSink.onStandardOutput() ? err : stdOut;
  ExportRun exportRun;

  std::unique_ptr<PcClock> fixedClock;
  if (!options.fakePcTime.empty()) {
    LocalDateTime t;
    parseLocalDateTime(options.fakePcTime, t);
    fixedClock = makeFixedClock(t);
  }
  const PcClock& clock = fixedClock ? *fixedClock : realClock;
  SessionConfig config;
  config.dataDir =
      options.dataDir.empty() ? defaultDataDir() : std::filesystem::path(options.dataDir);
  config.numbers.decimalSeparator = options.decimalSeparator;
  Session session(line, clock, config);
  CliObserver observer(err, progressOnTerminal);
  session.setObserver(&observer);
  g_cancel = &session.cancelFlag();
  if (breathe) session.setBreathe(std::move(breathe));

  std::unique_ptr<std::ofstream> traceFile;
  if (!options.traceFile.empty()) {
    if (options.traceFile == "-") {
      session.setTrace([&err](const std::string& l) { err << l << "\n"; });
    } else {
      traceFile = std::make_unique<std::ofstream>(options.traceFile, std::ios::app);
      if (!*traceFile) {
        err << "vardis-cli: cannot write the trace file " << options.traceFile << "\n";
        g_cancel = nullptr;
        return kExitUsage;
      }
      std::ofstream* tf = traceFile.get();
      // A failed write leaves the stream failed; the run then ends on status 1.
      session.setTrace([tf](const std::string& l) { *tf << l << "\n" << std::flush; });
    }
  }

  int status = kExitOk;
  ConnectionChoice choice{options.address, options.port, options.speedIndex, options.gsm};
  {
    const LocalDateTime today = clock.now();
    PickedDate d{today.year, today.month, today.day};
    if (!options.date.empty()) parseDate(options.date, d);
    // The PC's date stands in for a date not given: it is checked like one.
    const bool needed = std::any_of(options.commands.begin(), options.commands.end(), [](auto& c) {
      return (c.name == "hourly" || c.name == "daily" || c.name == "monthly") && c.args.empty();
    });
    if (needed && !archiveDateAllowed(d.year, d.month, d.day)) {
      char text[16];
      std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
      err << "vardis-cli: the PC clock reads " << text
          << ", outside 2000-01-01 to 2042-12-31 of the meter's archive; give the date "
             "(--date YYYY-MM-DD)\n";
      g_cancel = nullptr;
      return kExitUsage;
    }
    DateTimePicker1Change(session, d.year, d.month, d.day);
  }
  try {
    session.StartConnection(choice);
    if (!options.gsm) {
      if (session.reports.ReportFilesOpen) {
        out << "meter " << serialNumber(session.params.values[0]).value_or(0)
            << " identified; reports in " << reportDir(session.config().dataDir).string() << "/"
            << session.caption("Edit2") << "_{par,chas,sut,mes}.txt\n";
      } else {
        err << "vardis-cli: the meter did not answer the identification; no report files\n";
      }
    }
    for (const auto& cmd : options.commands) {
      if (session.cancelRequested()) break;
      if (cmd.name == "transact") {
        runTransact(session, cmd, out);
      } else if (cmd.name == "values") {
        runValues(session, out);
        if (exportSink.active()) {
          exportRun.exports.push_back({"values", currentData(session), std::nullopt});
        }
      } else if (cmd.name == "clock") {
        runClock(session, out);
      } else if (cmd.name == "set-clock") {
        runSetClock(session, out);
      } else if (cmd.name == "param") {
        runParam(session, cmd, out);
      } else if (cmd.name == "hourly") {
        pickDate(session, cmd);
        ReadHourlyArchive(session);
        if (exportSink.active()) exportArchive(session, "hourly", exportRun);
        printReportDone(session, ReportKind::Hourly, out);
      } else if (cmd.name == "daily") {
        pickDate(session, cmd);
        ReadDailyArchive(session);
        if (exportSink.active()) exportArchive(session, "daily", exportRun);
        printReportDone(session, ReportKind::Daily, out);
      } else if (cmd.name == "monthly") {
        pickDate(session, cmd);
        ReadMonthlyArchive(session);
        if (exportSink.active()) exportArchive(session, "monthly", exportRun);
        printReportDone(session, ReportKind::Monthly, out);
      } else if (cmd.name == "dump") {
        WriteRowDump(session);
        out << "row dump written: " << session.reports.file(ReportKind::Hourly).path().string()
            << std::endl;
      } else if (cmd.name == "params") {
        WriteParameterReport(session);
        printReportDone(session, ReportKind::Parameters, out);
      } else if (cmd.name == "summary") {
        printSummary(session, out);
      } else if (cmd.name == "nodes") {
        printNodes(session, out, err);
      } else if (cmd.name == "dial") {
        runDial(session, cmd, options.dialWaitMs, out, err);
      } else if (cmd.name == "hangup") {
        runHangUp(session, options.hangUpWaitMs, out);
      }
    }
  } catch (const CommandCancelled&) {
    err << "vardis-cli: cancelled\n";
    status = kExitCommandError;
  } catch (const UserError& e) {
    err << "vardis-cli: " << e.what() << "\n";
    status = kExitCommandError;
  } catch (const IoError& e) {
    err << "vardis-cli: " << e.what()
        << (e.code() == kIoFileNotOpen ? ": no report file is open (the meter was not identified)"
                                       : (e.detail().empty() ? "" : ": " + e.detail()))
        << "\n";
    status = kExitCommandError;
  } catch (const std::exception& e) {
    err << "vardis-cli: " << e.what() << "\n";
    status = kExitCommandError;
  }
  if (session.reports.ReportFilesOpen) {
    exportRun.serial = serialNumber(session.params.values[0]);  // valid: it named the files
  }
  try {
    session.StopConnection();
  } catch (const std::exception& e) {
    err << "vardis-cli: " << e.what() << " while closing the report files\n";
    status = kExitCommandError;
  }
  g_cancel = nullptr;
  if (exportSink.active()) {
    exportRun.address = session.link.addr.meterAddress;
    const auto& c = session.link.counters;
    exportRun.link = {c.RequestCount, c.ErrorCount, c.TimeoutCount, session.link.LinkFault != 0};
    const bool written = exportSink.write(
        options.exportFormat == ExportFormat::Json ? jsonText(exportRun) : csvText(exportRun));
    if (!written) {
      err << "vardis-cli: the exported data could not be written"
          << (options.exportFile.empty() || options.exportFile == "-" ? ""
                                                                      : " to " + options.exportFile)
          << "\n";
      if (status == kExitOk) status = kExitCommandError;
    }
  }
  if (traceFile && !traceFile->flush()) {
    err << "vardis-cli: the trace could not be written to " << options.traceFile << "\n";
    if (status == kExitOk) status = kExitCommandError;
  }
  if (status == kExitOk && (session.link.LinkFault || session.link.counters.TimeoutCount > 0)) {
    err << "vardis-cli: link fault: the meter did not answer (requests="
        << session.link.counters.RequestCount << ", errors=" << session.link.counters.ErrorCount
        << ", timeouts=" << session.link.counters.TimeoutCount << ")\n";
    status = kExitLinkFault;
  }
  return status;
}

}  // namespace vardis::cli
