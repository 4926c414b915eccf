#include "cli/options.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

#include "archives/session.h"
#include "cli/commands.h"
#include "values/device_clock.h"

namespace vardis::cli {

namespace {

constexpr const char* kDateRange = ": not a date YYYY-MM-DD from 2000-01-01 to 2042-12-31";

bool archiveDate(const std::string& text) {
  PickedDate d;
  return parseDate(text, d) && archiveDateAllowed(d.year, d.month, d.day);
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
      {"--port", [](auto& v, auto& o, auto&) { return o.port = v, true; }},
      {"--speed", setSpeed},
      {"--address", [](auto& v, auto& o, auto&) { return o.address = v, true; }},
      {"--data-dir", [](auto& v, auto& o, auto&) { return o.dataDir = v, true; }},
      {"--trace", [](auto& v, auto& o, auto&) { return o.traceFile = v, true; }},
      {"--date",
       [](auto& v, auto& o, auto& error) {
         if (!archiveDate(v)) return error = "--date " + v + kDateRange, false;
         return o.date = v, true;
       }},
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
           return error = "--fake-pc-time " + v + ": not a date and time 'YYYY-MM-DD HH:MM[:SS]'",
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

// A command word and the arguments after it, up to the next command or option.
bool takeCommand(const std::vector<std::string>& args, std::size_t& i, CliOptions& o,
                 std::string& error) {
  const std::string& a = args[i];
  const CommandEntry* entry = findCommand(a);
  CliCommand cmd{a, {}};
  while (i + 1 < args.size() && !findCommand(args[i + 1]) &&
         (args[i + 1].rfind("--", 0) != 0 || (a == "dial" && args[i + 1] == "--node"))) {
    cmd.args.push_back(args[++i]);
  }
  if (a == "dial" && !cmd.args.empty() && cmd.args[0] == "--node" && cmd.args.size() != 2) {
    error = "dial --node needs a node number";
    return false;
  }
  if ((a == "hourly" || a == "daily" || a == "monthly") && !cmd.args.empty() &&
      !archiveDate(cmd.args[0])) {
    error = a + " " + cmd.args[0] + kDateRange;
    return false;
  }
  const int n = static_cast<int>(cmd.args.size());
  if (n < entry->minArgs || n > entry->maxArgs) {
    error = "wrong number of arguments for '" + a + "'; " + entry->usage;
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
  for (const auto& entry : commandTable()) text += "  " + std::string(entry.usage) + "\n";
  return text;
}

std::optional<CliOptions> parseArguments(const std::vector<std::string>& args, std::string& error) {
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
  if (!o.exportFile.empty() && o.exportFormat == ExportFormat::None) {
    error = "--out " + o.exportFile + " needs --format csv or --format json";
    return std::nullopt;
  }
  return o;
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

std::optional<std::uint32_t> parseUnsigned(const std::string& s) {
  std::uint32_t v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

}  // namespace vardis::cli
