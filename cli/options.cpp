#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

#include "archives/session.h"
#include "cli/commands.h"
#include "cli/dates.h"
#include "link/port_text.h"
#include "values/device_clock.h"

namespace vardis::cli {

namespace {

// A date the meter's archive can be asked for, or a word for one; else why not.
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
      {"--out",
       [](auto& v, auto& o, auto& error) {
         if (v.empty()) return error = "--out needs a file name", false;
         return o.exportFile = v, true;
       }},
  };
  return table;
}

// Whether `arg` (an option word) belongs to the command `name` rather than
// to vardis-cli, and takes the value after it.
bool commandOption(const std::string& name, const std::string& arg, bool& takesValue) {
  takesValue = arg != "--missing";
  if (name == "dial") return takesValue = true, arg == "--node";
  if (name == "history") return arg == "--serial" || arg == "--from" || arg == "--to";
  if (name == "round") return arg == "--nodes" || arg == "--attempts" || arg == "--redial-pause";
  if (name == "hourly" || name == "daily") {
    return arg == "--missing" || arg == "--from" || arg == "--to" ||
           arg == (name == "hourly" ? "--max-days" : "--max-months");
  }
  return false;
}

// A command word and the arguments after it, up to the next command or option.
bool takeCommand(const std::vector<std::string>& args, std::size_t& i, CliOptions& o,
                 std::string& error) {
  const std::string& a = args[i];
  const CommandEntry* entry = findCommand(a);
  CliCommand cmd{a, {}};
  // History's kind is a word like a command's ("hourly"): its first plain word.
  bool kindTaken = a != "history";
  while (i + 1 < args.size()) {
    const std::string& next = args[i + 1];
    const bool option = next.rfind("--", 0) == 0;
    bool takesValue = false;
    if (option && !commandOption(a, next, takesValue)) break;
    if (!option && findCommand(next) && kindTaken) break;
    kindTaken = kindTaken || !option;
    cmd.args.push_back(args[++i]);
    if (option && takesValue && i + 1 < args.size()) cmd.args.push_back(args[++i]);
  }
  if (a == "dial" && !cmd.args.empty() && cmd.args[0] == "--node" && cmd.args.size() != 2) {
    error = "dial --node needs a node number";
    return false;
  }
  const int n = static_cast<int>(cmd.args.size());
  if (n < entry->minArgs || n > entry->maxArgs) {
    error = "wrong number of arguments for '" + a + "'; " + entry->usage;
    return false;
  }
  if (!parseCommandArgs(cmd, error)) return false;
  if (a == "round" && (!o.commands.empty() || !parseRoundArgs(cmd, error))) {
    if (error.empty()) error = "round comes first: round [options] [COMMANDS...]";
    return false;
  }
  o.commands.push_back(std::move(cmd));
  return true;
}

}  // namespace

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
      "  --quick-drain     after a good reply, send the next request without the drain's\n"
      "                    wait; the first exchange without a good reply ends it for the\n"
      "                    connection (quick=1 or quick_N=1 in the node file: per node)\n"
      "  --create-dirs     make the report folder (arc/ in the data folder) when missing\n"
      "commands:\n";
  for (const auto& entry : commandTable()) text += "  " + std::string(entry.usage) + "\n";
  return text;
}

std::optional<CliOptions> parseArguments(const std::vector<std::string>& args, std::string& error) {
  if (args.empty()) {
    error = "no command given";
    return std::nullopt;
  }
  CliOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (const auto setter = valueOptions().find(a); setter != valueOptions().end()) {
      if (i + 1 >= args.size()) {
        error = "option " + a + " needs a value";
        return std::nullopt;
      }
      if (!setter->second(args[++i], o, error)) return std::nullopt;
    } else if (a == "--gsm") {
      o.gsm = true;
    } else if (a == "--no-store") {
      o.store = false;
    } else if (a == "--quick-drain") {
      o.quickDrain = true;
    } else if (a == "--create-dirs") {
      o.createDirs = true;
    } else if (a == "--help" || a == "-h") {
      error = "";
      return std::nullopt;
    } else if (a.rfind("--", 0) == 0) {
      error = "unknown option " + a;
      return std::nullopt;
    } else if (findCommand(a)) {
      if (!takeCommand(args, i, o, error)) return std::nullopt;
    } else {
      error = "unknown command '" + a + "'";
      return std::nullopt;
    }
  }
  const auto storeOnly = [](const CliCommand& c) { return storeOnlyCommand(c.name); };
  if (std::any_of(o.commands.begin(), o.commands.end(), storeOnly) &&
      !std::all_of(o.commands.begin(), o.commands.end(), storeOnly)) {
    error = "history and meters read only the store; run them without meter commands";
    return std::nullopt;
  }
  const bool missing = std::any_of(o.commands.begin(), o.commands.end(), [](auto& c) {
    return std::find(c.args.begin(), c.args.end(), "--missing") != c.args.end();
  });
  if (!o.commands.empty() && o.commands.front().name == "round" && !o.gsm) {
    error = "round calls the nodes of gsm_csd.ini through a modem: it needs --gsm";
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

namespace vardis::cli {

bool storeOnlyCommand(const std::string& name) {
  return name == "history" || name == "meters";
}

std::optional<CommandArgs> parseCommandArgs(const CliCommand& cmd, std::string& error) {
  CommandArgs a;
  const bool archive = cmd.name == "hourly" || cmd.name == "daily" || cmd.name == "monthly";
  if (!archive && cmd.name != "history") return a;
  for (std::size_t i = 0; i < cmd.args.size(); ++i) {
    const std::string& w = cmd.args[i];
    const bool hasValue = i + 1 < cmd.args.size();
    if (w == "--missing") {
      a.missing = true;
    } else if ((w == "--from" || w == "--to") && !hasValue) {
      error = cmd.name + " " + w + " needs a date: YYYY-MM-DD, today or yesterday";
      return std::nullopt;
    } else if (w == "--from" || w == "--to") {
      if (!checkedDate(cmd.name + " " + w, cmd.args[++i], w == "--from" ? a.from : a.to, error)) {
        return std::nullopt;
      }
    } else if (w == "--serial") {
      const auto n = hasValue ? parseInteger(cmd.args[i + 1]) : std::nullopt;
      if (!n) {
        error = "history --serial needs a serial number";
        return std::nullopt;
      }
      a.serial = *n;
      ++i;
    } else if (w == "--max-days" || w == "--max-months") {
      const auto n = hasValue ? parseInteger(cmd.args[i + 1]) : std::nullopt;
      if (!n || *n < 1) {
        error = cmd.name + " " + w + " needs a number of " +
                (w == "--max-days" ? "days" : "months") + " (1 or more)";
        return std::nullopt;
      }
      a.maxPeriods = *n;
      ++i;
    } else if (archive && a.date.empty() && !a.missing) {
      if (!checkedDate(cmd.name, w, a.date, error)) return std::nullopt;
    } else if (cmd.name == "history" && a.kind.empty()) {
      a.kind = w;
    } else {
      error = cmd.name + " " + w + ": unexpected";
      return std::nullopt;
    }
  }
  if ((a.missing && !a.date.empty()) || (archive && !a.missing && !(a.from + a.to).empty())) {
    error = cmd.name + ": a date, or --missing with --from and --to, not both";
    return std::nullopt;
  }
  if (a.maxPeriods && !a.missing) {
    error = cmd.name + (cmd.name == "hourly" ? ": --max-days" : ": --max-months") +
            " goes with --missing";
    return std::nullopt;
  }
  // Dates as given compare as dates (the words only with each other; a word
  // and a date are compared once the day is known).
  const bool words = !parseIsoDate(a.from) && !parseIsoDate(a.to);
  const bool dates = parseIsoDate(a.from) && parseIsoDate(a.to);
  if ((dates && a.to < a.from) || (words && a.to == "yesterday" && a.from == "today")) {
    error = cmd.name + ": --to " + a.to + " is before --from " + a.from;
    return std::nullopt;
  }
  static const char* kinds[] = {"hourly", "daily", "monthly", "values",
                                "params", "clock", "visits"};
  if (cmd.name == "history" &&
      std::none_of(std::begin(kinds), std::end(kinds), [&](auto k) { return a.kind == k; })) {
    error = "history needs a kind: hourly, daily, monthly, values, params, clock or visits";
    return std::nullopt;
  }
  return a;
}

}  // namespace vardis::cli

namespace vardis::cli {

namespace {

// "1,3-5" into 1 3 4 5; false on anything else.
bool nodeList(const std::string& text, std::vector<int>& out) {
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t comma = std::min(text.find(',', pos), text.size());
    const std::string part = text.substr(pos, comma - pos);
    const std::size_t dash = part.find('-');
    const auto first = parseInteger(part.substr(0, dash));
    const auto last = dash == std::string::npos ? first : parseInteger(part.substr(dash + 1));
    if (!first || !last || *first < 1 || *last < *first || *last > 255) return false;
    for (int n = *first; n <= *last; ++n) out.push_back(n);
    pos = comma + 1;
  }
  return !out.empty();
}

}  // namespace

std::optional<RoundArgs> parseRoundArgs(const CliCommand& cmd, std::string& error) {
  RoundArgs r;
  for (std::size_t i = 0; i + 1 < cmd.args.size(); i += 2) {
    const std::string& w = cmd.args[i];
    const std::string& v = cmd.args[i + 1];
    const auto n = parseInteger(v);
    if (w == "--nodes" && !nodeList(v, r.nodes)) {
      error = "round --nodes " + v + ": not a list of node numbers like 1,3-5";
    } else if (w == "--attempts" && (!n || *n < 1 || *n > 100)) {
      error = "round --attempts " + v + ": not a number of attempts 1..100";
    } else if (w == "--redial-pause" && (!n || *n < 0 || *n > 86400)) {
      error = "round --redial-pause " + v + ": not a number of seconds";
    } else if (w == "--attempts") {
      r.attempts = *n;
    } else if (w == "--redial-pause") {
      r.redialPauseSeconds = *n;
    }
    if (!error.empty()) return std::nullopt;
  }
  if (cmd.args.size() % 2 != 0) {
    error = "round " + cmd.args.back() + ": needs a value";
    return std::nullopt;
  }
  return r;
}

}  // namespace vardis::cli
