#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

#include "archives/session.h"
#include "cli/commands.h"
#include "cli/dates.h"
#include "cli/store_option.h"
#include "link/port_text.h"
#include "values/device_clock.h"

namespace vardis::cli {

bool checkedDate(const std::string& what, const std::string& text, std::string& out,
                 std::string& error) {
  if (!isDateText(text)) return error = notADateMessage(what, text), false;
  const auto d = parseIsoDate(text);
  if (d && !archiveDateAllowed(d->year, d->month, d->day)) {
    return error = what + " " + text + ": outside 2000-01-01 to 2042-12-31 of the meter's archive",
           false;
  }
  return out = text, true;
}

namespace {

bool setSpeed(const std::string& v, CliOptions& o, std::string& error) {
  const auto baud = parseUnsigned(v);
  for (std::size_t k = 0; k < kSpeeds.size(); ++k) {
    if (baud && kSpeeds[k] == *baud) {
      o.speedIndex = static_cast<int>(k);
      return true;
    }
  }
  error = "--speed " + v + ": not one of 600 1200 2400 4800 9600 19200 38400 57600 115200";
  return false;
}

bool setFormat(const std::string& v, CliOptions& o, std::string& error) {
  if (v == "csv" || v == "json") {
    o.exportFormat = v == "csv" ? ExportFormat::Csv : ExportFormat::Json;
    return true;
  }
  error = "--format " + v + ": not csv or json";
  return false;
}

bool setTestWait(const std::string& option, const std::string& v, int& ms, std::string& error) {
  const auto n = parseUnsigned(v);
  if (!n) {
    error = option + " " + v + ": not a number of milliseconds";
    return false;
  }
  ms = static_cast<int>(*n);
  return true;
}

bool setColumns(const std::string& v, CliOptions& o, std::string& error) {
  // Given twice, the lists join.
  for (std::size_t pos = 0;;) {
    const std::size_t comma = v.find(',', pos);
    std::string name = v.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    if (name.empty()) {
      return error = "--columns " + v + ": an empty column name; give names like M1,T1,W1", false;
    }
    o.columns.push_back(std::move(name));
    if (comma == std::string::npos) return true;
    pos = comma + 1;
  }
}

// The options that take a value: each stores it, or says why it cannot.
using OptionSetter = std::function<bool(const std::string& value, CliOptions&, std::string& error)>;

const std::map<std::string, OptionSetter>& valueOptions() {
  static const std::map<std::string, OptionSetter> table{
      {"--port",
       [](auto& v, auto& o, auto&) {
         o.ports.push_back(v);
         return o.port = o.ports.front(), true;
       }},
      {"--speed", setSpeed},
      {"--address", [](auto& v, auto& o, auto&) { return o.address = v, true; }},
      {"--data-dir", [](auto& v, auto& o, auto&) { return o.dataDir = v, true; }},
      {"--trace", [](auto& v, auto& o, auto&) { return o.traceFile = v, true; }},
      {"--date",
       [](auto& v, auto& o, auto& error) { return checkedDate("--date", v, o.date, error); }},
      {"--test-dial-wait-ms",
       [](auto& v, auto& o, auto& e) {
         return setTestWait("--test-dial-wait-ms", v, o.dialWaitMs, e);
       }},
      {"--test-hangup-wait-ms",
       [](auto& v, auto& o, auto& e) {
         return setTestWait("--test-hangup-wait-ms", v, o.hangUpWaitMs, e);
       }},
      {"--fake-pc-time",
       [](auto& v, auto& o, auto& error) {
         LocalDateTime t;
         if (!parseLocalDateTime(v, t)) {
           return error = "--fake-pc-time " + v +
                          ": not a date and time; expected 'YYYY-MM-DD HH:MM[:SS]' "
                          "(e.g. '2026-12-09 08:05')",
                  false;
         }
         return o.fakePcTime = v, true;
       }},
      {"--format", setFormat},
      {"--columns", setColumns},
      {"--store",
       [](auto& v, auto& o, auto& error) {
         if (const auto why = storeTextError(v)) return error = *why, false;
         return o.storeText = v, true;
       }},
      {"--out",
       [](auto& v, auto& o, auto& error) {
         if (v.empty()) return error = "--out needs a file name", false;
         return o.exportFile = v, true;
       }},
  };
  return table;
}

// The options that take no value.
const std::map<std::string, void (*)(CliOptions&)>& flagOptions() {
  static const std::map<std::string, void (*)(CliOptions&)> table{
      {"--gsm", [](CliOptions& o) { o.gsm = true; }},
      {"--no-store", [](CliOptions& o) { o.store = false; }},
      {"--quick-drain", [](CliOptions& o) { o.quickDrain = true; }},
      {"--create-dirs", [](CliOptions& o) { o.createDirs = true; }},
      {"--version", [](CliOptions& o) { o.version = true; }},
  };
  return table;
}

bool belongsTo(const CommandOption& option, const std::string& command) {
  return std::find(option.commands.begin(), option.commands.end(), command) !=
         option.commands.end();
}

// "hourly and daily", "history, hourly and daily".
std::string namesText(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t k = 0; k < names.size(); ++k) {
    text += (k == 0 ? "" : k + 1 == names.size() ? " and " : ", ") + names[k];
  }
  return text;
}

// The walk over the words: vardis-cli's options wherever they stand; a
// command's option after its word when that command takes it, else kept for
// the command word right after it; the other words are commands and their
// arguments.
class ArgumentWalk {
 public:
  ArgumentWalk(const std::vector<std::string>& args, CliOptions& o, std::string& error)
      : args_(args), o_(o), error_(error) {}

  // False on a usage error (the message in `error`) or --help (empty error).
  bool walk() {
    for (i_ = 0; i_ < args_.size(); ++i_) {
      if (!step()) return false;
      if (o_.version) return true;  // nothing else is done
    }
    if (!waiting_.empty()) return misplaced(*waiting_.front(), current() ? current()->name : "");
    return finishCommand();
  }

 private:
  bool step() {
    const std::string& a = args_[i_];
    // "--format=json" is "--format json".
    const std::size_t eq = a.rfind("--", 0) == 0 ? a.find('=') : std::string::npos;
    const std::string name = a.substr(0, eq);
    std::optional<std::string> given;
    if (eq != std::string::npos) given = a.substr(eq + 1);
    if (const auto setter = valueOptions().find(name); setter != valueOptions().end()) {
      if (!given && i_ + 1 >= args_.size()) return fail("option " + name + " needs a value");
      return setter->second(given ? *given : args_[++i_], o_, error_);
    }
    if (const auto flag = flagOptions().find(name); flag != flagOptions().end()) {
      if (given) return fail(name + " takes no value");
      return flag->second(o_), true;
    }
    if (a == "--help" || a == "-h") return error_.clear(), false;
    if (const CommandOption* option = findCommandOption(name)) return commandOption(*option, given);
    if (a.size() > 1 && a[0] == '-' && !std::isdigit(static_cast<unsigned char>(a[1]))) {
      return fail("unknown option " + name);
    }
    // History's kind is a word like a command's ("hourly"): its first plain word.
    const bool kindNext = current() && current()->name == "history" && !kindTaken_;
    if (findCommand(a) && !(kindNext && waiting_.empty())) return startCommand(a);
    if (!waiting_.empty() && current()) return misplaced(*waiting_.front(), current()->name);
    if (!current() || !waiting_.empty()) return fail("unknown command '" + a + "'");
    current()->args.push_back(a);
    kindTaken_ = true;
    return true;
  }

  // A command's option and its value: the command's before it, or the next one's.
  bool commandOption(const CommandOption& option, const std::optional<std::string>& given) {
    std::vector<std::string> words{option.name};
    if (given && !option.takesValue) return fail(option.name + " takes no value");
    if (given) {
      words.push_back(*given);
    } else if (option.takesValue && i_ + 1 < args_.size()) {
      words.push_back(args_[++i_]);
    }
    std::vector<std::string>& to =
        waiting_.empty() && current() && belongsTo(option, current()->name) ? current()->args
                                                                            : waitingWords_;
    if (&to == &waitingWords_) waiting_.push_back(&option);
    to.insert(to.end(), words.begin(), words.end());
    return true;
  }

  bool startCommand(const std::string& name) {
    if (!finishCommand()) return false;
    for (const CommandOption* option : waiting_) {
      if (!belongsTo(*option, name)) return misplaced(*option, name);
    }
    o_.commands.push_back({name, std::move(waitingWords_)});
    waitingWords_.clear();
    waiting_.clear();
    kindTaken_ = false;
    return true;
  }

  // The checks of the command just ended.
  bool finishCommand() {
    CliCommand* cmd = current();
    if (!cmd || checked_ == o_.commands.size()) return true;
    checked_ = o_.commands.size();
    const CommandEntry* entry = findCommand(cmd->name);
    if (cmd->name == "dial" && !cmd->args.empty() && cmd->args[0] == "--node" &&
        cmd->args.size() != 2) {
      return fail("dial --node needs a node number");
    }
    if (!parseCommandArgs(*cmd, error_)) return false;
    const int n = static_cast<int>(cmd->args.size());
    if (n < entry->minArgs || n > entry->maxArgs) {
      return fail("wrong number of arguments for '" + cmd->name + "'; " + entry->usage);
    }
    if (cmd->name == "round" && (o_.commands.size() > 1 || !parseRoundArgs(*cmd, error_))) {
      return fail(error_.empty() ? "round comes first: round [options] [COMMANDS...]" : error_);
    }
    return true;
  }

  bool misplaced(const CommandOption& option, const std::string& command) {
    return fail(option.name + " belongs to " + namesText(option.commands) +
                (command.empty() ? "; give it with one of them" : ", not to " + command));
  }

  bool fail(const std::string& message) { return error_ = message, false; }
  CliCommand* current() { return o_.commands.empty() ? nullptr : &o_.commands.back(); }

  const std::vector<std::string>& args_;
  CliOptions& o_;
  std::string& error_;
  std::size_t i_ = 0;
  bool kindTaken_ = false;
  std::size_t checked_ = 0;  // the commands whose checks have run
  // Command options before the command word they belong to.
  std::vector<const CommandOption*> waiting_;
  std::vector<std::string> waitingWords_;
};

}  // namespace

std::string usageText() {
  std::string text =
      "usage: vardis-cli [options] [command [args]]...\n"
      "The options stand anywhere on the line, before, between or after the commands\n"
      "(--format json or --format=json). A command's own options (--from, --missing, ...)\n"
      "follow its word; one that the command before cannot take may also stand right\n"
      "before its command: --from 2026-12-01 history hourly.\n"
      "options:\n"
      "  --port TEXT       port number (1..9: COMn, /dev/ttyS{n-1}) or a device path (default 1)\n"
      "  --speed BAUD      600 1200 2400 4800 9600 19200 38400 57600 115200 (default 115200)\n"
      "  --address N       meter address 0..255 (default 0)\n"
      "  --data-dir DIR    data folder (default $VARDIS_HOME, else ~/vardis)\n"
      "  --gsm             the line goes through a GSM modem\n"
      "  --trace FILE      write every byte sent and received to FILE ('-' for stderr)\n"
      "  --date DATE       the archive date (default: today); every DATE is YYYY-MM-DD\n"
      "                    with its zeros (2026-12-09), today or yesterday\n"
      "  --fake-pc-time 'YYYY-MM-DD HH:MM[:SS]'\n"
      "                    use this fixed PC date and time instead of the real clock (tests)\n"
      "  --test-dial-wait-ms MS, --test-hangup-wait-ms MS\n"
      "                    shorten the modem waits of 60 s (its answer) and 5 s (tests)\n"
      "  --format csv|json values, hourly, daily and monthly also write their data in\n"
      "                    this format to standard output; the messages then go to stderr\n"
      "  --out FILE        with --format: write the data into FILE instead (emptied first;\n"
      "                    '-' for standard output)\n"
      "  --no-store        do not keep the readings in the store (vardis.sqlite in the\n"
      "                    data folder)\n"
      "  --store URL       the store: sqlite:PATH, or a PostgreSQL URI or conninfo\n"
      "                    (postgresql://vardis@db/vardis, service=vardis); default\n"
      "                    $VARDIS_STORE, else vardis.sqlite in the data folder\n"
      "  --quick-drain     after a good reply, send the next request without the drain's\n"
      "                    wait; the first exchange without a good reply ends it for the\n"
      "                    connection (quick=1 or quick_N=1 in the node file: per node)\n"
      "  --create-dirs     make the report folder (arc/ in the data folder) when missing\n"
      "  --columns M1,T1,W1\n"
      "                    the tables of the store commands keep only these quantity\n"
      "                    columns (and those that say what a row is)\n"
      "  --version         print the version and do nothing else\n"
      "  --help            this text\n"
      "commands:\n";
  for (const auto& entry : commandTable()) text += "  " + std::string(entry.usage) + "\n";
  return text +
         "history, meters, rounds, alarms, consumption and serve read only the store\n"
         "(vardis.sqlite in the data folder): no port is opened for them. Exit status: 0\n"
         "done, 1 a command failed, 2 a usage error, 3 the meter or the line failed, 4 a\n"
         "round left nodes unread.\n";
}

std::optional<CliOptions> parseArguments(const std::vector<std::string>& args, std::string& error) {
  if (args.empty()) {
    error = "no command given";
    return std::nullopt;
  }
  CliOptions o;
  if (!ArgumentWalk(args, o, error).walk()) return std::nullopt;
  if (o.version) return o;
  const bool serve = std::any_of(o.commands.begin(), o.commands.end(),
                                 [](const CliCommand& c) { return c.name == "serve"; });
  if (serve && o.commands.size() > 1) {
    error = "serve runs alone: the page asks the store what the other commands would";
    return std::nullopt;
  }
  if (serve && o.exportFormat != ExportFormat::None) {
    error =
        "serve answers in JSON and CSV as each request asks; --format and --out do not go "
        "with it";
    return std::nullopt;
  }
  if (serve && !o.store) {
    error = "serve shows the store; it cannot go with --no-store";
    return std::nullopt;
  }
  const auto storeOnly = [](const CliCommand& c) { return storeOnlyCommand(c.name); };
  if (std::any_of(o.commands.begin(), o.commands.end(), storeOnly) &&
      !std::all_of(o.commands.begin(), o.commands.end(), storeOnly)) {
    error =
        "history, meters, rounds, alarms and consumption read only the store; run them without "
        "meter commands";
    return std::nullopt;
  }
  const bool missing = std::any_of(o.commands.begin(), o.commands.end(), [](auto& c) {
    return std::find(c.args.begin(), c.args.end(), "--missing") != c.args.end();
  });
  if (!o.commands.empty() && o.commands.front().name == "round" && !o.gsm) {
    error = "round calls the nodes of gsm_csd.ini through a modem: it needs --gsm";
    return std::nullopt;
  }
  if (!o.storeText.empty() && !o.store) {
    error = "--store names a store; it cannot go with --no-store";
    return std::nullopt;
  }
  if (missing && !o.store) {
    error = "--missing asks the store what it holds; it cannot go with --no-store";
    return std::nullopt;
  }
  if (!o.exportFile.empty() && o.exportFormat == ExportFormat::None) {
    error = "--out " + o.exportFile + " needs --format csv or --format json";
    return std::nullopt;
  }
  return o;
}

std::optional<std::uint32_t> parseUnsigned(const std::string& s) {
  std::uint32_t v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

}  // namespace vardis::cli
