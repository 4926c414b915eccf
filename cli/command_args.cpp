// The arguments of vardis-cli's commands: which options each takes, and their checks.
#include <algorithm>
#include <set>

#include "cli/dates.h"
#include "cli/options.h"
#include "link/port_text.h"

namespace vardis::cli {

bool storeOnlyCommand(const std::string& name) {
  return name == "history" || name == "meters" || name == "rounds" || name == "alarms" ||
         name == "consumption";
}

const CommandOption* findCommandOption(const std::string& name) {
  static const std::vector<CommandOption> table{
      {"--missing", false, {"hourly", "daily"}},
      {"--from", true, {"history", "hourly", "daily", "alarms", "consumption"}},
      {"--to", true, {"history", "hourly", "daily", "alarms", "consumption"}},
      {"--max-days", true, {"hourly"}},
      {"--max-months", true, {"daily"}},
      {"--serial", true, {"history", "alarms", "consumption"}},
      {"--node", true, {"dial", "history", "alarms", "consumption"}},
      {"--round", true, {"alarms"}},
      {"--by", true, {"consumption"}},
      {"--last", false, {"rounds"}},
      {"--nodes", true, {"round"}},
      {"--attempts", true, {"round"}},
      {"--redial-pause", true, {"round"}},
      {"--shared", true, {"round"}},
      {"--lease", true, {"round"}},
      {"--host", true, {"round"}},
      {"--listen", true, {"serve"}},
      {"--token-file", true, {"serve"}},
  };
  const auto it = std::find_if(table.begin(), table.end(),
                               [&](const CommandOption& o) { return name == o.name; });
  return it == table.end() ? nullptr : &*it;
}

namespace {

bool archiveCommand(const std::string& name) {
  return name == "hourly" || name == "daily" || name == "monthly";
}

// A number after an option word, within bounds; nothing when there is none.
std::optional<int> numberAfter(const CliCommand& cmd, std::size_t i, int least, int most) {
  const auto n = i + 1 < cmd.args.size() ? parseInteger(cmd.args[i + 1]) : std::nullopt;
  if (!n || *n < least || *n > most) return std::nullopt;
  return *n;
}

// The option word at `i` and its value (`i` moves past it) into `a`; false,
// with the reason in `error`, when its value is no good.
bool takeOption(const CliCommand& cmd, std::size_t& i, CommandArgs& a, std::string& error) {
  const std::string& w = cmd.args[i];
  const std::string what = cmd.name + " " + w;
  const bool hasValue = i + 1 < cmd.args.size();
  const std::string value = hasValue ? cmd.args[i + 1] : "";
  if (w == "--missing" || w == "--last") {
    (w == "--missing" ? a.missing : a.lastRound) = true;
    return true;
  }
  if (w == "--from" || w == "--to") {
    if (!hasValue) return error = what + " needs a date: YYYY-MM-DD, today or yesterday", false;
    return checkedDate(what, cmd.args[++i], w == "--from" ? a.from : a.to, error);
  }
  if (w == "--by" && (value == "day" || value == "month")) {
    a.by = cmd.args[++i];
    return true;
  }
  if (w == "--by")
    return error = what + (hasValue ? " " + value : "") + ": not day or month", false;
  if (w == "--round" && value == "last") return a.lastRound = true, ++i, true;
  const auto n = numberAfter(cmd, i, 1, 2147483647);
  if (w == "--round" && !n) {
    return error = what + (hasValue ? " " + value + ": not a round ID or last"
                                    : " needs a round ID or last"),
           false;
  }
  if (w == "--round") return a.roundId = *n, ++i, true;
  if (w == "--serial") {
    const auto serial = hasValue ? parseInteger(value) : std::nullopt;
    if (!serial) return error = what + " needs a serial number", false;
    return a.serial = *serial, ++i, true;
  }
  if (w == "--node") {
    const auto node = numberAfter(cmd, i, 1, 255);
    if (!node) {
      return error = what + (hasValue ? " " + value + ": not a node number 1..255"
                                      : " needs a node number"),
             false;
    }
    return a.node = *node, ++i, true;
  }
  if (w != "--max-days" && w != "--max-months") return error = what + ": unexpected", false;
  const bool days = w == "--max-days";
  if (!n) {
    return error = what + " needs a number of " + (days ? "days" : "months") + " (1 or more)",
           false;
  }
  return a.maxPeriods = *n, ++i, true;
}

// A plain word: the archive's date, history's kind, the round's ID.
bool takeWord(const CliCommand& cmd, const std::string& w, CommandArgs& a, std::string& error) {
  if (archiveCommand(cmd.name) && a.date.empty() && !a.missing) {
    return checkedDate(cmd.name, w, a.date, error);
  }
  if (cmd.name == "history" && a.kind.empty()) return a.kind = w, true;
  if (cmd.name == "rounds" && !a.roundId) {
    const auto id = parseInteger(w);
    if (!id || *id < 1) return error = "rounds " + w + ": not a round ID", false;
    return a.roundId = *id, true;
  }
  return error = cmd.name + " " + w + ": unexpected", false;
}

// What the arguments say together.
bool checkTogether(const CliCommand& cmd, const CommandArgs& a, std::string& error) {
  const bool archive = archiveCommand(cmd.name);
  if ((a.missing && !a.date.empty()) || (archive && !a.missing && !(a.from + a.to).empty())) {
    return error = cmd.name + ": a date, or --missing with --from and --to, not both", false;
  }
  if (a.maxPeriods && !a.missing) {
    return error = cmd.name + (cmd.name == "hourly" ? ": --max-days" : ": --max-months") +
                   " goes with --missing",
           false;
  }
  if (a.serial && a.node) {
    return error = cmd.name + ": --serial and --node both choose the meter; give one", false;
  }
  if (cmd.name == "rounds" && a.lastRound && a.roundId) {
    return error = "rounds: --last or a round ID, not both", false;
  }
  // Dates as given compare as dates (the words only with each other; a word
  // and a date are compared once the day is known).
  const bool words = !parseIsoDate(a.from) && !parseIsoDate(a.to);
  const bool dates = parseIsoDate(a.from) && parseIsoDate(a.to);
  if ((dates && a.to < a.from) || (words && a.to == "yesterday" && a.from == "today")) {
    return error = cmd.name + ": --to " + a.to + " is before --from " + a.from, false;
  }
  static const char* kinds[] = {"hourly", "daily", "monthly", "values",
                                "params", "clock", "visits"};
  if (cmd.name == "history" &&
      std::none_of(std::begin(kinds), std::end(kinds), [&](auto k) { return a.kind == k; })) {
    return error = "history needs a kind: hourly, daily, monthly, values, params, clock or visits",
           false;
  }
  return true;
}

}  // namespace

std::optional<CommandArgs> parseCommandArgs(const CliCommand& cmd, std::string& error) {
  CommandArgs a;
  if (!archiveCommand(cmd.name) && !storeOnlyCommand(cmd.name)) return a;
  std::set<std::string> given;
  for (std::size_t i = 0; i < cmd.args.size(); ++i) {
    const std::string& w = cmd.args[i];
    const bool option = findCommandOption(w) != nullptr;
    if (option && !given.insert(w).second) {
      error = cmd.name + " " + w + ": given twice";
      return std::nullopt;
    }
    if (option ? !takeOption(cmd, i, a, error) : !takeWord(cmd, w, a, error)) return std::nullopt;
  }
  if (!checkTogether(cmd, a, error)) return std::nullopt;
  return a;
}

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

// A round's or a host's name: 1..64 letters, digits, '-', '_', '.'.
bool plainName(const std::string& text) {
  if (text.empty() || text.size() > 64) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
  });
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
    } else if (w == "--lease" && (!n || *n < 5 || *n > 3600)) {
      error = "round --lease " + v + ": not a number of seconds 5..3600";
    } else if ((w == "--shared" || w == "--host") && !plainName(v)) {
      error = "round " + w + " " + v + ": not a name of letters, digits and -_.";
    } else if (w == "--shared") {
      r.shared = v;
    } else if (w == "--host") {
      r.host = v;
    } else if (w == "--lease") {
      r.leaseSeconds = *n;
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
  const bool leaseGiven = std::find(cmd.args.begin(), cmd.args.end(), "--lease") != cmd.args.end();
  if (r.shared.empty() && (leaseGiven || !r.host.empty())) {
    error =
        std::string("round ") + (leaseGiven ? "--lease" : "--host") + " goes with --shared NAME";
    return std::nullopt;
  }
  return r;
}

}  // namespace vardis::cli
