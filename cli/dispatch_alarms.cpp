// vardis-cli alarms: every interval with abnormal situations in the store,
// newest first, its word decoded channel by channel.
#include "cli/dispatch_parts.h"
#include "store/dispatch.h"
#include "values/current_values_read.h"

namespace vardis::cli {

namespace {

using nlohmann::ordered_json;

// The most rows one question shows (the newest).
constexpr int kAlarmLimit = 10000;

struct Situation {
  std::string code;  // "T1<", "G1o", or "bit31" for a bit that names none
  std::string text;
};

// "T1<: temperature 1 below its lower limit", from the code itself: a
// quantity letter, the channel's digit, then <, > or o.
std::string situationText(const std::string& code) {
  if (code.size() != 3) return code;
  const std::string quantity = code[0] == 'T'   ? "temperature "
                               : code[0] == 'P' ? "pressure "
                                                : "flow ";
  const std::string what = quantity + code[1];
  if (code[2] == '<') return what + " below its lower limit";
  if (code[2] == '>') return what + " above its upper limit";
  return what + " fault";
}

std::string trimmed(const char* text) {
  std::string s = text;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The situations of channel 1..4 in the order of the reports' tables.
std::vector<Situation> channelSituations(std::uint32_t word, int channel) {
  std::vector<Situation> out;
  for (const auto& f : abnormalFlagTable()) {
    if (f.channel != channel || ((word >> f.bit) & 1u) == 0) continue;
    const std::string code = trimmed(f.text);
    out.push_back({code, situationText(code)});
  }
  return out;
}

// The set bits that name no situation.
std::vector<int> otherBits(std::uint32_t word) {
  std::vector<int> out;
  for (int bit = 0; bit < 32; ++bit) {
    if (((word >> bit) & 1u) == 0) continue;
    bool named = false;
    for (const auto& f : abnormalFlagTable()) named = named || f.bit == bit;
    if (!named) out.push_back(bit);
  }
  return out;
}

// The codes of a row as they are printed, and the texts of them all.
struct Decoded {
  std::string channels[4];  // "T1<G1o"
  std::string other;        // "bit6,bit31"
  std::string texts;        // "T1<: ...; G1o: ..."
};

Decoded decode(std::uint32_t word) {
  Decoded d;
  auto addText = [&d](const std::string& code, const std::string& text) {
    d.texts += (d.texts.empty() ? "" : "; ") + code + ": " + text;
  };
  for (int c = 1; c <= 4; ++c) {
    for (const auto& s : channelSituations(word, c)) {
      d.channels[c - 1] += s.code;
      addText(s.code, s.text);
    }
  }
  for (int bit : otherBits(word)) {
    const std::string code = "bit" + std::to_string(bit);
    d.other += (d.other.empty() ? "" : ",") + code;
    addText(code, "no situation of its own");
  }
  return d;
}

Table alarmTable(const DispatchRun& r, const std::vector<store::AlarmRow>& rows) {
  Table t{{"serial", "node", "name", "kind", "start", "abnormalWord", "channel1", "channel2",
           "channel3", "channel4", "otherBits", "situations"},
          {},
          5};
  const bool terminal = onTerminal(r);
  for (const auto& a : rows) {
    std::vector<Cell> row{a.serial};
    addNodeCells(r, a.serial, row);
    row.insert(row.end(), {a.kind, a.start, static_cast<long long>(a.word)});
    const Decoded d = decode(a.word);
    for (const auto& c : d.channels) row.push_back(textOrNull(c));
    row.push_back(textOrNull(d.other));
    // On a terminal the blanks of the texts must not read as columns.
    row.push_back(terminal ? "\"" + d.texts + "\"" : d.texts);
    t.rows.push_back(std::move(row));
  }
  return t;
}

ordered_json alarmJson(const DispatchRun& r, const store::AlarmRow& a) {
  const NodeName n = r.names.of(a.serial);
  ordered_json channels = ordered_json::array();
  for (int c = 1; c <= 4; ++c) {
    ordered_json codes = ordered_json::array();
    for (const auto& s : channelSituations(a.word, c)) {
      codes.push_back({{"code", s.code}, {"text", s.text}});
    }
    channels.push_back({{"channel", c}, {"codes", std::move(codes)}});
  }
  return {{"serial", a.serial},
          {"node", n.node ? ordered_json(*n.node) : ordered_json()},
          {"name", n.name},
          {"kind", a.kind},
          {"start", a.start},
          {"abnormalWord", a.word},
          {"channels", std::move(channels)},
          {"otherBits", otherBits(a.word)}};
}

// The question: the meter chosen, the round (--round ID|last), the dates
// (the last 7 days unless a round is asked).
bool alarmQuery(const DispatchRun& r, store::AlarmQuery& q, std::string& error) {
  if (!chosenMeter(r, q.serial, error)) return false;
  q.round = r.args.roundId;
  if (r.args.lastRound) {
    q.round = store::lastRoundId(r.db);
    if (!q.round) {
      error = "no round in the store";
      return false;
    }
  } else if (q.round && !store::roundById(r.db, *q.round)) {
    error = "no round " + std::to_string(*q.round) + " in the store";
    return false;
  }
  q.limit = kAlarmLimit;
  // A round's own intervals have no date bound unless one is given.
  const bool fromGiven = !r.args.from.empty(), toGiven = !r.args.to.empty();
  CalendarDate from = addDays(r.today, -6);
  CalendarDate to = r.today;
  if (q.round && !fromGiven) from = CalendarDate{1, 1, 1};
  if (q.round && !toGiven) to = CalendarDate{9999, 12, 31};
  if (!dateRange(r, "alarms", from, to, error)) return false;
  if (!q.round || fromGiven) q.from = isoDate(from);
  if (!q.round || toGiven) q.to = isoDate(to);
  return true;
}

std::string whatWasAsked(const store::AlarmQuery& q) {
  std::string text;
  if (q.round) text += " in what round " + std::to_string(*q.round) + " brought";
  if (!q.from.empty()) text += " from " + q.from;
  if (!q.to.empty()) text += " to " + q.to;
  if (q.serial) text += " of meter " + std::to_string(*q.serial);
  return text;
}

}  // namespace

bool runAlarms(DispatchRun& r, std::string& error) {
  store::AlarmQuery q;
  if (!alarmQuery(r, q, error)) return false;
  const auto rows = store::alarms(r.db, q);
  std::string head;
  if (rows.empty()) {
    head = "no interval with abnormal situations" + whatWasAsked(q);
  } else if (rows.size() >= static_cast<std::size_t>(kAlarmLimit)) {
    head = "the newest " + std::to_string(kAlarmLimit) + " intervals" + whatWasAsked(q) +
           "; --from and --to ask for others";
  }
  ordered_json list = ordered_json::array();
  if (!onTerminal(r) && r.options.exportFormat == ExportFormat::Json) {
    for (const auto& a : rows) list.push_back(alarmJson(r, a));
  }
  const ordered_json json{{"from", q.from.empty() ? ordered_json() : ordered_json(q.from)},
                          {"to", q.to.empty() ? ordered_json() : ordered_json(q.to)},
                          {"round", q.round ? ordered_json(*q.round) : ordered_json()},
                          {"alarms", std::move(list)}};
  return answer(r, alarmTable(r, rows), head, json, error);
}

}  // namespace vardis::cli
