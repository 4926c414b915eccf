#include "cli/commands.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <thread>

#include "archives/archive_data.h"
#include "archives/archive_reading.h"
#include "archives/session.h"
#include "cli/dates.h"
#include "cli/export_sink.h"
#include "connection/data_dir.h"
#include "connection/modem_call.h"
#include "connection/report_naming.h"
#include "link/frame.h"
#include "link/node_directory.h"
#include "link/port_text.h"
#include "params/identification.h"
#include "params/parameter_names.h"
#include "params/parameter_report.h"
#include "store/missing.h"
#include "store/reading_store.h"
#include "store/recorder.h"
#include "values/current_values_read.h"
#include "values/device_clock.h"

namespace vardis::cli {

namespace {

// Shortest text that reads back as the same double.
std::string exactNumber(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

void printCounters(const Session& s, std::ostream& out) {
  const auto& c = s.link.counters;
  out << "requests=" << c.RequestCount << " errors=" << c.ErrorCount
      << " timeouts=" << c.TimeoutCount << " link-fault=" << s.link.LinkFault << "\n";
}

// transact NAME [INDEX [KIND [DATECODE]]]
void transact(Session& s, const CliCommand& cmd, std::ostream& out) {
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

  runTransaction(s, *kind);

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

void values(Session& s, std::ostream& out) {
  ReadCurrentValues(s);
  for (const auto& page : valuePages()) {
    out << "[" << page.tab << "] " << page.group << "\n";
    for (const auto& quantity : page.quantities) {
      out << "  " << s.shown().valueCaption(quantity) << "\n";
    }
    if (page.deviceClock)
      out << "  " << s.shown().clockDate << "\n  " << s.shown().clockTime << "\n";
  }
}

void clock(Session& s, std::ostream& out) {
  ReadDeviceClock(s);
  out << s.shown().clockDate << "\n" << s.shown().clockTime << "\n";
}

void setClock(Session& s, std::ostream& out) {
  SetDeviceClock(s);
  const DateTimeParts p = unpackDateTime(s.link.addr.dateTime);
  const std::string at = isoDateTime(calendarDate(p), static_cast<int>(p.hour),
                                     static_cast<int>(p.minute), s.link.addr.seconds);
  out << "set the meter clock to " << at.substr(0, 10) << " " << at.substr(11) << "\n";
}

void param(Session& s, const CliCommand& cmd, std::ostream& out) {
  const auto index = parseInteger(cmd.args[0]);
  if (!index || *index < 0 || *index > 255) {
    throw UserError("param: '" + cmd.args[0] + "' is not a parameter index 0..255");
  }
  readParameter(s, static_cast<std::uint8_t>(*index));
  const double v = s.params.values[static_cast<std::size_t>(*index)];
  const ParameterFormat f = parameterFormat(*index);
  out << *index << " " << parameterName(*index) << ": "
      << fixedLeft(v, 0, f.decimals, s.config().numbers) << " (" << exactNumber(v) << ")\n";
}

void nodes(const Session& s, std::ostream& out, std::ostream& err) {
  const NodeDirectory nodes = loadNodeDirectory(nodeFile(s.config().dataDir));
  if (!nodes.warning.empty()) err << "vardis-cli: " << nodes.warning << "\n";
  if (nodes.NodeCount == 0) out << "no nodes in " << nodeFile(s.config().dataDir).string() << "\n";
  for (int n = 1; n <= nodes.NodeCount; ++n) {
    out << n << "  " << nodes.NodeName[static_cast<std::size_t>(n)] << "  "
        << nodes.NodePhone[static_cast<std::size_t>(n)] << "\n";
  }
}

void dial(Session& s, const CliCommand& cmd, int answerWaitMs, std::ostream& out,
          std::ostream& err) {
  std::string text = cmd.args[0];
  std::string init;
  if (text == "--node") {
    const NodeDirectory nodes = loadNodeDirectory(nodeFile(s.config().dataDir));
    const auto n = parseInteger(cmd.args[1]);
    if (!n || *n < 1 || *n > nodes.NodeCount) {
      throw UserError("dial --node " + cmd.args[1] + ": no such node in " +
                      nodeFile(s.config().dataDir).string() + " (" +
                      std::to_string(nodes.NodeCount) + " nodes)");
    }
    text = nodes.phoneForSelection(*n - 1);
    init = nodes.NodeInit[static_cast<std::size_t>(*n)];
    if (nodes.NodeQuick[static_cast<std::size_t>(*n)]) s.link.quickDrain = true;
  }
  out << "dialled " << text << "; waiting up to " << answerWaitMs / 1000.0
      << " s for the modem's answer" << std::endl;
  PlaceCall(s, init, text, answerWaitMs);
  out << "modem: " << s.shown().callStatus << "\n";
  DialWaitElapsed(s);
  if (s.reports.ReportFilesOpen) {
    out << "meter " << serialNumber(s.params.values[0]).value_or(0) << " identified; reports in "
        << reportDir(s.config().dataDir).string() << "/" << s.shown().reportBaseName
        << "_{par,chas,sut,mes}.txt\n";
  } else {
    err << "vardis-cli: the meter did not answer over the call; no report files\n";
  }
}

void hangUp(Session& s, int waitMsValue, std::ostream& out) {
  // A modem takes "+++" as the escape only after a second of silence on the
  // line; in the window the user's click gives that pause.
  waitMs(s, std::min(waitMsValue, kEscapeGuardMs));
  StartHangUp(s);
  waitMs(s, waitMsValue);
  HangUpWaitElapsed(s);
  out << "hung up\n";
}

void summary(const Session& s, std::ostream& out) {
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

// Keeps the data of the archive reading that just ended for the export.
void exportArchive(const Session& s, const std::string& kind, ExportRun& run) {
  ArchiveData d = lastArchiveData(s);
  if (d.kind != kind) return;  // nothing complete was read
  run.exports.push_back({kind, std::nullopt, std::move(d)});
}

// One archive reading of the picked date: the reading, its export, the store,
// and the line that says its report is on disk.
template <void (*Read)(Session&)>
void readOne(CommandContext& c, const char* kind, ReportKind report) {
  Read(c.session);
  if (c.exportSink.active()) exportArchive(c.session, kind, c.exportRun);
  c.recorder.commandEnded(c.session, *store::storedReadingOf(kind));
  printReportDone(c.session, report, c.out);
}

// --missing: the days (hourly) or months (daily) of the range the store does
// not hold whole; every one of them when the store cannot be asked.
std::vector<CalendarDate> missingPeriods(CommandContext& c, const MissingRange& range, bool hourly,
                                         CalendarDate today) {
  const CalendarDate from = range.from;
  const CalendarDate to = range.to;
  if (range.clipped) {
    c.err << "vardis-cli: " << (hourly ? "hourly" : "daily")
          << " --missing: the days after today are not in the meter's archive yet; reading up to "
          << isoDate(today) << "\n";
  }
  const auto serial = serialNumber(c.session.params.values[0]);
  if (store::ReadingStore* st = c.recorder.store(); st && serial) {
    try {
      return hourly ? store::missingHourlyDays(st->database(), *serial, from, to, today)
                    : store::missingDailyMonths(st->database(), *serial, from, to, today);
    } catch (const store::StoreError& e) {
      c.err << "vardis-cli: " << e.what() << "; reading the whole range\n";
    }
  } else {
    c.err << "vardis-cli: the store cannot be asked what it holds; reading the whole range\n";
  }
  std::vector<CalendarDate> all;
  for (CalendarDate d = from; d <= to; d = nextDay(d)) {
    const CalendarDate period = hourly ? d : firstOfMonth(d);
    if (all.empty() || all.back() != period) all.push_back(period);
  }
  return all;
}

// An archive reading: of the date given (or picked), or with --missing of
// each day or month of the range the store lacks.
template <void (*Read)(Session&)>
void archive(CommandContext& c, const CliCommand& cmd, const char* kind, ReportKind report) {
  std::string error;
  const CommandArgs a = parseCommandArgs(cmd, error).value_or(CommandArgs{});
  const CalendarDate today = c.session.clock().now().date();
  if (!a.missing) {
    if (!a.date.empty()) {
      const CalendarDate d = resolveDate(a.date, today);
      pickArchiveDate(c.session, d.year, d.month, d.day);
    }
    readOne<Read>(c, kind, report);
    return;
  }
  const bool hourly = std::string(kind) == "hourly";
  const auto range = missingRange(a, hourly, today,
                                  kSpeeds[static_cast<std::size_t>(c.options.speedIndex)], error);
  if (!range) throw UserError(error);
  const auto periods = missingPeriods(c, *range, hourly, today);
  c.out << kind << " --missing: " << periods.size() << (hourly ? " days" : " months") << " to read"
        << std::endl;
  for (const CalendarDate& d : periods) {
    if (c.session.cancelRequested()) throw CommandCancelled();
    pickArchiveDate(c.session, d.year, d.month, d.day);
    readOne<Read>(c, kind, report);
  }
}

void runValues(CommandContext& c, const CliCommand&) {
  values(c.session, c.out);
  if (c.exportSink.active()) {
    c.exportRun.exports.push_back({"values", currentData(c.session), std::nullopt});
  }
}

void runDump(CommandContext& c, const CliCommand&) {
  WriteRowDump(c.session);
  c.out << "row dump written: " << c.session.reports.file(ReportKind::Hourly).path().string()
        << std::endl;
}

void runParams(CommandContext& c, const CliCommand&) {
  WriteParameterReport(c.session);
  printReportDone(c.session, ReportKind::Parameters, c.out);
}

}  // namespace

const std::vector<CommandEntry>& commandTable() {
  static const std::vector<CommandEntry> table{
      {"alarms", 0, 8,
       "alarms [--from DATE] [--to DATE] [--serial N | --node N] [--round ID|last]\n"
       "      the intervals with abnormal situations in the store, newest first, decoded\n"
       "      (default: the last 7 days; with --round: those the round read)",
       nullptr},
      {"clock", 0, 0, "clock     read the meter's clock",
       [](CommandContext& c, const CliCommand&) { clock(c.session, c.out); }},
      {"consumption", 0, 8,
       "consumption [--from DATE] [--to DATE] [--by day|month] [--serial N | --node N]\n"
       "      what each meter used, by day (default) or month, from the store's\n"
       "      integrators (default: the last 7 days; --by month: the last 12 months)",
       nullptr},
      {"daily", 0, 7,
       "daily [DATE]          read the daily archive of that date's month\n"
       "      daily --missing [--from DATE] [--to DATE] [--max-months N]: each month of the\n"
       "      range whose days the store does not all hold (default: the last 7 days);\n"
       "      more than 24 months need --max-months",
       [](CommandContext& c, const CliCommand& cmd) {
         archive<ReadDailyArchive>(c, cmd, "daily", ReportKind::Daily);
       }},
      {"dial", 1, 2,
       "dial TEXT | dial --node N   (with --gsm) dial (after the node's init string),\n"
       "      read the modem's answer (up to 60 s), identify the meter on CONNECT",
       [](CommandContext& c, const CliCommand& cmd) {
         dial(c.session, cmd, c.options.dialWaitMs, c.out, c.err);
         if (cmd.args[0] != "--node") return;
         // The export names the node it dialled (dial checked the number).
         const int n = static_cast<int>(*parseInteger(cmd.args[1]));
         c.exportRun.node = n;
         c.exportRun.nodeName = loadNodeDirectory(nodeFile(c.session.config().dataDir))
                                    .NodeName[static_cast<std::size_t>(n)];
       }},
      {"dump", 0, 0, "dump      write the stored hourly rows to the hourly report", runDump},
      {"hangup", 0, 0, "hangup    (with --gsm) send \"+++\", wait 5 s, send \"ATH\"",
       [](CommandContext& c, const CliCommand&) {
         hangUp(c.session, c.options.hangUpWaitMs, c.out);
       }},
      {"history", 1, 7,
       "history [--serial N | --node N] [--from DATE] [--to DATE] KIND   print from the\n"
       "      store; KIND: hourly daily monthly values params clock visits",
       nullptr},
      {"hourly", 0, 7,
       "hourly [DATE]         read the hourly archive of a day (default --date)\n"
       "      hourly --missing [--from DATE] [--to DATE] [--max-days N]: each day of the\n"
       "      range whose 24 hours the store does not hold (default: the last 7 days\n"
       "      before today); more than 62 days need --max-days",
       [](CommandContext& c, const CliCommand& cmd) {
         archive<ReadHourlyArchive>(c, cmd, "hourly", ReportKind::Hourly);
       }},
      {"meters", 0, 0, "meters    list the meters in the store with their last visit", nullptr},
      {"monthly", 0, 1, "monthly [DATE]        read the monthly record of that date's month",
       [](CommandContext& c, const CliCommand& cmd) {
         archive<ReadMonthlyArchive>(c, cmd, "monthly", ReportKind::Monthly);
       }},
      {"nodes", 0, 0, "nodes     list the GSM nodes of gsm_csd.ini in the data folder",
       [](CommandContext& c, const CliCommand&) { nodes(c.session, c.out, c.err); }},
      {"param", 1, 1, "param N   read parameter N and print it with its name",
       [](CommandContext& c, const CliCommand& cmd) { param(c.session, cmd, c.out); }},
      {"params", 0, 0, "params    read parameters 0..122 and write the parameter report",
       runParams},
      {"round", 0, 12,
       "round [--nodes 1,3-5] [--attempts N] [--redial-pause S] [COMMANDS...]   (with --gsm)\n"
       "      call every node of gsm_csd.ini (or those chosen), over every --port given,\n"
       "      and run the commands on each (default: values hourly --missing daily\n"
       "      --missing monthly); a failed node is called again after the others\n"
       "      --shared NAME [--lease S] [--host NAME]: the round's queue is in the\n"
       "      PostgreSQL store, shared with every host running a round of that name;\n"
       "      a call holds its node for S seconds (default 120), renewed while it lasts",
       nullptr},
      {"rounds", 0, 1,
       "rounds [--last | ID]  the rounds in the store, newest first; --last or ID: that\n"
       "      round's nodes, those not read first, with the modem's last answer",
       nullptr},
      {"serve", 0, 4,
       "serve [--listen ADDRESS:PORT] [--token-file FILE]   the store's read-only web\n"
       "      view and its JSON/CSV API (default 127.0.0.1:8080); another address than\n"
       "      loopback needs a token file; SIGTERM or Ctrl-C ends it",
       nullptr},
      {"set-clock", 0, 0, "set-clock write the PC's date and time into the meter",
       [](CommandContext& c, const CliCommand&) { setClock(c.session, c.out); }},
      {"summary", 0, 0, "summary   print the meter, the link statistics and the report files",
       [](CommandContext& c, const CliCommand&) { summary(c.session, c.out); }},
      {"transact", 1, 4,
       "transact NAME [INDEX [KIND [DATECODE]]]  one transaction by its name, e.g.\n"
       "      transact ReadParameterTransaction 9; INDEX goes to request byte 3,\n"
       "      KIND to byte 4, DATECODE to bytes 5..8",
       [](CommandContext& c, const CliCommand& cmd) { transact(c.session, cmd, c.out); }},
      {"values", 0, 0, "values    read the current values and the clock, print every label",
       runValues},
  };
  return table;
}

std::string runCommand(CommandContext& c, const CliCommand& cmd) {
  c.session.beginCommand(cmd.name);
  findCommand(cmd.name)->handler(c, cmd);
  // The archive readings store each reading themselves (--missing reads several).
  const auto what = store::storedReadingOf(cmd.name);
  if (what && *what != store::StoredReading::Hourly && *what != store::StoredReading::Daily &&
      *what != store::StoredReading::Monthly) {
    c.recorder.commandEnded(c.session, *what);
  }
  return c.session.failureSummary();
}

const std::vector<CliCommand>& defaultRoundCommands() {
  static const std::vector<CliCommand> list{
      {"values", {}}, {"hourly", {"--missing"}}, {"daily", {"--missing"}}, {"monthly", {}}};
  return list;
}

const CommandEntry* findCommand(const std::string& name) {
  const auto& table = commandTable();
  const auto it = std::find_if(table.begin(), table.end(),
                               [&](const CommandEntry& e) { return name == e.name; });
  return it == table.end() ? nullptr : &*it;
}

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

}  // namespace vardis::cli
