#include "cli/cli_app.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>

#include "archives/archive_reading.h"
#include "archives/session.h"
#include "cli/commands.h"
#include "cli/dates.h"
#include "cli/export_sink.h"
#include "cli/history.h"
#include "cli/report_folder.h"
#include "cli/round_command.h"
#include "cli/serve.h"
#include "cli/store_option.h"
#include "connection/data_dir.h"
#include "connection/modem_call.h"
#include "connection/report_naming.h"
#include "params/identification.h"
#include "store/recorder.h"
#include "values/device_clock.h"

namespace vardis::cli {

namespace {

std::atomic<bool>* g_cancel = nullptr;

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
  void quickDrainEnded() override {
    if (progress_) err_ << "\n";
    err_ << "vardis-cli: " << kQuickDrainEndedText << std::endl;
  }

 private:
  std::ostream& err_;
  bool progress_;
};

// Where the trace goes: standard error ("-") or a file appended to.
class TraceOutput {
 public:
  // False when the file cannot be opened.
  bool open(const CliOptions& o, Session& session, std::ostream& err) {
    if (o.traceFile.empty()) return true;
    if (o.traceFile == "-") {
      session.setTrace([&err](const std::string& l) { err << l << "\n"; });
      return true;
    }
    file_ = std::make_unique<std::ofstream>(o.traceFile, std::ios::app);
    if (!*file_) return false;
    std::ofstream* tf = file_.get();
    // A failed write leaves the stream failed; the run then ends on status 1.
    session.setTrace([tf](const std::string& l) { *tf << l << "\n" << std::flush; });
    return true;
  }
  // False when something could not be written to the file.
  bool good() { return !file_ || static_cast<bool>(file_->flush()); }

 private:
  std::unique_ptr<std::ofstream> file_;
};

// The archive date: the one given, else the PC's. The PC's date stands in for
// a date not given, so it is checked like one. False when it is outside what
// the meter's archive can be asked for and a command needs it. A --missing
// range longer than its bound is refused here too, before the port is opened.
bool pickStartDate(const CliOptions& options, Session& session, const PcClock& clock,
                   std::ostream& err) {
  const CalendarDate today = clock.now().date();
  const CalendarDate d = options.date.empty() ? today : resolveDate(options.date, today);
  for (const auto& c : options.commands) {
    std::string error;
    const auto a = parseCommandArgs(c, error);
    if (!a || !a->missing) continue;
    const unsigned baud = kSpeeds[static_cast<std::size_t>(options.speedIndex)];
    if (!missingRange(*a, c.name == "hourly", today, baud, error)) {
      err << "vardis-cli: " << error << "\n";
      return false;
    }
  }
  const bool needed = std::any_of(options.commands.begin(), options.commands.end(), [](auto& c) {
    return (c.name == "hourly" || c.name == "daily" || c.name == "monthly") && c.args.empty();
  });
  if (needed && !archiveDateAllowed(d.year, d.month, d.day)) {
    err << "vardis-cli: the PC clock reads " << isoDate(d)
        << ", outside 2000-01-01 to 2042-12-31 of the meter's archive; give the date "
           "(--date YYYY-MM-DD)\n";
    return false;
  }
  pickArchiveDate(session, d.year, d.month, d.day);
  return true;
}

// How the visit ended, for the store.
std::string visitOutcome(const Session& s, int status) {
  if (s.cancelRequested()) return "stopped";
  if (status == kExitLinkFault || s.link.LinkFault != 0) return "link fault";
  return status == kExitOk ? "ok" : "error";
}

// "Старт", every command in order, and the message of the error that ended
// them; the exit status.
int runCommands(CommandContext& c, const ConnectionChoice& choice) {
  Session& session = c.session;
  try {
    StartConnection(session, choice);
    c.recorder.visitStarted(session, choice.portText, choice.gsm);
    c.recorder.commandEnded(session, store::StoredReading::Identification);
    if (!choice.gsm) {
      if (session.reports.ReportFilesOpen) {
        c.out << "meter " << serialNumber(session.params.values[0]).value_or(0)
              << " identified; reports in " << reportDir(session.config().dataDir).string() << "/"
              << session.shown().reportBaseName << "_{par,chas,sut,mes}.txt\n";
      } else {
        c.err << "vardis-cli: the meter did not answer the identification; no report files\n";
      }
    }
    for (const auto& cmd : c.options.commands) {
      if (session.cancelRequested()) break;
      // A report with values the meter never gave is said once, with the count.
      if (const std::string failed = runCommand(c, cmd); !failed.empty()) {
        c.err << "vardis-cli: " << cmd.name << ": " << failed << "\n";
      }
    }
    return kExitOk;
  } catch (const CommandCancelled&) {
    session.commandStopped();
    c.err << "vardis-cli: cancelled (" << session.operationStatus() << ")\n";
  } catch (const PortError& e) {
    c.err << "vardis-cli: " << e.what() << "\n";
    return kExitLinkFault;
  } catch (const NoMeterAnswer& e) {
    // Silence or only the echo of the requests: no meter, no files, no visit.
    c.err << "vardis-cli: " << e.what() << "\n";
    return kExitLinkFault;
  } catch (const CallFailed& e) {
    c.err << "vardis-cli: " << e.what() << "\n";
    return kExitLinkFault;
  } catch (const IoError& e) {
    c.err << "vardis-cli: " << e.what()
          << (e.code() == kIoFileNotOpen ? ": no report file is open (the meter was not identified)"
                                         : (e.detail().empty() ? "" : ": " + e.detail()))
          << "\n";
  } catch (const std::exception& e) {
    c.err << "vardis-cli: " << e.what() << "\n";
    // The meter was reached, but its report files could not be made.
    if (session.link.counters.RequestCount > 0) hintReportFolder(session.config().dataDir, c.err);
    // Refused because the meter never answered (no identification, no files):
    // the link is what failed.
    if (session.link.LinkFault != 0 && !session.reports.ReportFilesOpen) return kExitLinkFault;
  }
  return kExitCommandError;
}

// "Стоп", then the export; the exit status.
int finishRun(CommandContext& c, int status) {
  Session& session = c.session;
  if (session.reports.ReportFilesOpen) {
    c.exportRun.serial = serialNumber(session.params.values[0]);  // valid: it named the files
  }
  c.recorder.visitEnded(session, visitOutcome(session, status));
  try {
    session.StopConnection();
  } catch (const std::exception& e) {
    c.err << "vardis-cli: " << e.what() << " while closing the report files\n";
    status = kExitCommandError;
  }
  if (c.exportSink.active()) {
    c.exportRun.address = session.link.addr.meterAddress;
    const auto& n = session.link.counters;
    c.exportRun.link = {n.RequestCount, n.ErrorCount, n.TimeoutCount, session.link.LinkFault != 0};
    const bool written =
        c.exportSink.write(c.options.exportFormat == ExportFormat::Json ? jsonText(c.exportRun)
                                                                        : csvText(c.exportRun));
    if (!written) {
      const std::string& file = c.options.exportFile;
      c.err << "vardis-cli: the exported data could not be written"
            << (file.empty() || file == "-" ? "" : " to " + file) << "\n";
      if (status == kExitOk) status = kExitCommandError;
    }
  }
  return status;
}

}  // namespace

void requestCancel() {
  if (g_cancel) g_cancel->store(true);
  requestRoundStop();
}

int run(const CliOptions& options, SerialLine& line, const PcClock& realClock, std::ostream& stdOut,
        std::ostream& err, bool progressOnTerminal, Breathe breathe) {
  // A $VARDIS_STORE that names no store is refused before anything is opened.
  if (const auto why = storeLocationError(options)) {
    err << "vardis-cli: " << *why << "\n";
    return kExitUsage;
  }
  if (!options.commands.empty() && options.commands.front().name == "serve") {
    return runServe(options, err);
  }
  ExportSink exportSink;
  if (std::string error; !exportSink.open(options, stdOut, error)) {
    err << "vardis-cli: " << error << "\n";
    return kExitUsage;
  }
  if (!options.commands.empty() && storeOnlyCommand(options.commands.front().name)) {
    return runStoreCommands(options, exportSink, stdOut, err);
  }

  // With the export on standard output the messages go to standard error.
  std::ostream& out = exportSink.onStandardOutput() ? err : stdOut;
  ExportRun exportRun;

  std::unique_ptr<PcClock> fixedClock;
  if (LocalDateTime t; !options.fakePcTime.empty() && parseLocalDateTime(options.fakePcTime, t)) {
    fixedClock = makeFixedClock(t);
  }
  const PcClock& clock = fixedClock ? *fixedClock : realClock;
  if (!options.commands.empty() && options.commands.front().name == "round") {
    return runRound(options, clock, stdOut, err, progressOnTerminal);
  }
  SessionConfig config;
  config.dataDir =
      options.dataDir.empty() ? defaultDataDir() : std::filesystem::path(options.dataDir);
  config.numbers.decimalSeparator = options.decimalSeparator;
  if (!prepareReportFolder(config.dataDir, options.createDirs, err)) return kExitCommandError;
  Session session(line, clock, config);
  CliObserver observer(err, progressOnTerminal);
  session.setObserver(&observer);
  session.link.quickDrain = options.quickDrain;
  if (breathe) session.setBreathe(std::move(breathe));

  TraceOutput trace;
  if (!trace.open(options, session, err)) {
    err << "vardis-cli: cannot write the trace file " << options.traceFile << "\n";
    return kExitUsage;
  }
  if (!pickStartDate(options, session, clock, err)) return kExitUsage;

  // Without the store, whatever $VARDIS_STORE says is not looked at.
  store::Recorder recorder(options.store ? cliStoreLocation(options, config.dataDir)
                                         : store::parseStoreLocation({}, config.dataDir),
                           options.store,
                           [&err](const std::string& m) { err << "vardis-cli: " << m << "\n"; });
  CommandContext context{session, options, out, err, exportSink, exportRun, recorder};
  g_cancel = &session.cancelFlag();
  int status =
      runCommands(context, {options.address, options.port, options.speedIndex, options.gsm});
  status = finishRun(context, status);
  g_cancel = nullptr;
  if (!trace.good()) {
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
