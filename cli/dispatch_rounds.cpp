// vardis-cli rounds: the rounds in the store, or one round and its nodes,
// the nodes not read first.
#include <algorithm>
#include <cmath>

#include "cli/dispatch_parts.h"
#include "cli/round_log.h"
#include "store/dispatch.h"

namespace vardis::cli {

namespace {

using nlohmann::ordered_json;

// The most rounds the list shows.
constexpr int kRoundListLimit = 50;

// Connected minutes to a tenth, as the round's summary says them.
double minutes(double seconds) {
  return std::round(seconds / 6) / 10;
}

Table roundListTable(const std::vector<store::RoundListRow>& rows) {
  Table t{
      {"round", "started", "ended", "modems", "read", "notRead", "connectedMinutes", "commands"},
      {},
      1};
  for (const auto& r : rows) {
    t.rows.push_back({static_cast<long long>(r.id), r.started, r.ended, r.ports, r.nodesRead,
                      r.nodesFailed, Cell(minutes(r.connectedSeconds), 1), r.commands});
  }
  return t;
}

bool listRounds(DispatchRun& r, std::string& error) {
  const auto rows = store::rounds(r.db, kRoundListLimit);
  Table t = roundListTable(rows);
  std::string head;
  if (rows.empty()) {
    head = "no round in the store";
  } else if (rows.size() == static_cast<std::size_t>(kRoundListLimit)) {
    head = "the latest " + std::to_string(kRoundListLimit) + " rounds; rounds ID shows one";
  }
  const ordered_json json{{"rounds", jsonRows(t)}};
  // The commands are long: a person sees them in the round's own head line.
  return answer(r, std::move(t), head, json, error,
                {"started", "ended", "modems", "read", "notRead", "connectedMinutes"});
}

// The nodes of a round; in CSV led by the round's id, so that the nodes of
// several rounds can go into one table.
Table nodeTable(std::int64_t round, const std::vector<store::RoundNodeRow>& nodes,
                const std::vector<std::optional<int>>& abnormal, bool withRound) {
  Table t{
      {"node", "name", "phone", "serial", "result", "attempts", "message", "whatRead", "abnormal",
       "connectedSeconds", "transactions", "errors", "timeouts", "port", "reportFiles", "host"},
      {},
      6};
  if (withRound) {
    t.header.insert(t.header.begin(), "round");
    ++t.keyColumns;
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const auto& n = nodes[i];
    std::vector<Cell> row;
    if (withRound) row.emplace_back(static_cast<long long>(round));
    row.insert(row.end(),
               {n.node, n.name, n.phone, n.serial ? Cell(*n.serial) : Cell(), n.result, n.attempts,
                n.message, n.whatRead, abnormal[i] ? Cell(*abnormal[i]) : Cell(),
                Cell(n.connectedSeconds), n.transactions, n.errors, n.timeouts, n.port,
                n.reportFiles, n.host.empty() ? Cell() : Cell(n.host)});
    t.rows.push_back(std::move(row));
  }
  return t;
}

// The round as its summary line says it, with the store's count of meters
// with abnormal situations.
RoundLog logOf(const store::RoundListRow& round, const std::vector<store::RoundNodeRow>& nodes,
               int metersWithAlarms) {
  RoundLog log;
  log.round.started = round.started;
  log.round.ended = round.ended;
  log.round.ports = round.ports;
  log.round.commands = round.commands;
  log.round.nodes = nodes;
  log.id = round.id;
  log.metersWithAlarms = metersWithAlarms;
  return log;
}

bool showRound(DispatchRun& r, std::int64_t id, std::string& error) {
  const std::optional<store::RoundListRow> round = store::roundById(r.db, id);
  if (!round) {
    error = "no round " + std::to_string(id) + " in the store";
    return false;
  }
  const auto nodes = store::roundNodes(r.db, id);
  std::vector<std::optional<int>> abnormal;
  for (const auto& n : nodes) {
    std::optional<int> count;
    if (n.serial) {
      store::AlarmQuery q;
      q.serial = n.serial;
      q.round = id;
      count = static_cast<int>(store::alarms(r.db, q).size());
    }
    abnormal.push_back(count);
  }
  const int withAlarms = store::metersWithAlarms(r.db, id);
  const std::string summary = roundSummary(logOf(*round, nodes, withAlarms));
  const std::string head = "round " + std::to_string(id) + ", " + round->started + " to " +
                           round->ended + ", commands \"" + round->commands + "\": " + summary;
  const bool csv = !onTerminal(r) && r.options.exportFormat == ExportFormat::Csv;
  Table t = nodeTable(id, nodes, abnormal, csv);
  const ordered_json json{{"round",
                           {{"id", id},
                            {"started", round->started},
                            {"ended", round->ended},
                            {"modems", round->ports},
                            {"commands", round->commands},
                            {"nodesRead", round->nodesRead},
                            {"nodesFailed", round->nodesFailed},
                            {"connectedSeconds", round->connectedSeconds},
                            {"metersWithAlarms", withAlarms},
                            {"summary", summary}}},
                          {"nodes", jsonRows(t)}};
  // A shared round's nodes say which host read them.
  const bool hosts =
      std::any_of(nodes.begin(), nodes.end(), [](auto& n) { return !n.host.empty(); });
  std::vector<std::string> shown{"message", "whatRead", "abnormal"};
  if (hosts) shown.insert(shown.begin() + 2, {"host", "port"});
  return answer(r, std::move(t), head, json, error, shown);
}

}  // namespace

bool runRounds(DispatchRun& r, std::string& error) {
  if (!r.args.lastRound && !r.args.roundId) return listRounds(r, error);
  std::optional<std::int64_t> id = r.args.roundId;
  if (r.args.lastRound) {
    id = store::lastRoundId(r.db);
    if (!id) {
      error = "no round in the store";
      return false;
    }
  }
  return showRound(r, *id, error);
}

}  // namespace vardis::cli
