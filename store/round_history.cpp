// The rounds over the node directory as the store holds them, and which node
// each meter was found at.
#include "store/dispatch.h"

namespace vardis::store {

namespace {

constexpr const char* kRoundColumns =
    "SELECT id, started, ended, ports, commands, nodes_read, nodes_failed, connected_seconds "
    "FROM rounds";

RoundListRow roundRow(const Statement& q) {
  RoundListRow r;
  r.id = q.integer(0);
  r.started = q.text(1);
  r.ended = q.text(2);
  r.ports = q.text(3);
  r.commands = q.text(4);
  r.nodesRead = static_cast<int>(q.integer(5));
  r.nodesFailed = static_cast<int>(q.integer(6));
  r.connectedSeconds = q.real(7);
  return r;
}

std::optional<long long> firstSerial(Statement& q) {
  if (!q.step()) return std::nullopt;
  return q.integer(0);
}

}  // namespace

std::vector<RoundListRow> rounds(Database& db, int limit) {
  const std::string sql = std::string(kRoundColumns) + " ORDER BY started DESC, id DESC LIMIT ?1";
  Statement q(db, sql.c_str());
  q.bind(1, limit);
  std::vector<RoundListRow> out;
  while (q.step()) out.push_back(roundRow(q));
  return out;
}

std::optional<RoundListRow> roundById(Database& db, std::int64_t id) {
  const std::string sql = std::string(kRoundColumns) + " WHERE id = ?1";
  Statement q(db, sql.c_str());
  q.bind(1, id);
  if (!q.step()) return std::nullopt;
  return roundRow(q);
}

std::optional<std::int64_t> lastRoundId(Database& db) {
  Statement q(db, "SELECT id FROM rounds ORDER BY started DESC, id DESC LIMIT 1");
  if (!q.step()) return std::nullopt;
  return q.integer(0);
}

std::vector<RoundNodeRow> roundNodes(Database& db, std::int64_t round) {
  Statement q(db,
              "SELECT node, name, phone, serial, result, attempts, connected_seconds, "
              "transactions, errors, timeouts, what_read, report_files, port, message, host "
              "FROM round_nodes WHERE round_id = ?1 "
              "ORDER BY CASE WHEN result = 'read' THEN 1 ELSE 0 END, node");
  q.bind(1, round);
  std::vector<RoundNodeRow> out;
  while (q.step()) {
    RoundNodeRow n;
    n.node = static_cast<int>(q.integer(0));
    n.name = q.text(1);
    n.phone = q.text(2);
    if (!q.isNull(3)) n.serial = q.integer(3);
    n.result = q.text(4);
    n.attempts = static_cast<int>(q.integer(5));
    n.connectedSeconds = q.real(6);
    n.transactions = q.integer(7);
    n.errors = q.integer(8);
    n.timeouts = q.integer(9);
    n.whatRead = q.text(10);
    n.reportFiles = q.text(11);
    n.port = q.text(12);
    n.message = q.text(13);
    if (!q.isNull(14)) n.host = q.text(14);
    out.push_back(std::move(n));
  }
  return out;
}

std::map<long long, MeterNode> meterNodes(Database& db) {
  // One row per meter: the node of the round that started last among those
  // that found it.
  Statement q(db,
              "SELECT serial, node, name, phone FROM (SELECT n.serial, n.node, n.name, n.phone, "
              "ROW_NUMBER() OVER (PARTITION BY n.serial ORDER BY r.started DESC, r.id DESC) "
              "AS latest FROM round_nodes n JOIN rounds r ON r.id = n.round_id "
              "WHERE n.serial IS NOT NULL) found WHERE latest = 1");
  std::map<long long, MeterNode> out;
  while (q.step()) out[q.integer(0)] = {static_cast<int>(q.integer(1)), q.text(2), q.text(3)};
  return out;
}

std::optional<long long> serialAtPhone(Database& db, const std::string& phone) {
  Statement q(db,
              "SELECT n.serial FROM round_nodes n JOIN rounds r ON r.id = n.round_id "
              "WHERE n.phone = ?1 AND n.serial IS NOT NULL "
              "ORDER BY r.started DESC, r.id DESC LIMIT 1");
  q.bind(1, phone);
  return firstSerial(q);
}

std::optional<long long> serialAtNode(Database& db, int node) {
  Statement q(db,
              "SELECT n.serial FROM round_nodes n JOIN rounds r ON r.id = n.round_id "
              "WHERE n.node = ?1 AND n.serial IS NOT NULL "
              "ORDER BY r.started DESC, r.id DESC LIMIT 1");
  q.bind(1, node);
  return firstSerial(q);
}

}  // namespace vardis::store
