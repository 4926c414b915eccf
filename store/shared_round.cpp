#include "store/shared_round.h"

#include "store/schema.h"

namespace vardis::store {

namespace {

// The server's clock, in seconds: every host's leases and redial times on one
// scale. The statement's start, so that the planner takes it as one value and
// a claim follows the index instead of reading the whole queue.
constexpr const char* kNow = "CAST(extract(epoch FROM statement_timestamp()) AS DOUBLE PRECISION)";

std::string sql(const std::string& text) {
  std::string out = text;
  for (std::size_t at = out.find("$NOW"); at != std::string::npos; at = out.find("$NOW", at)) {
    out.replace(at, 4, kNow);
  }
  return out;
}

std::string differences(const SharedRoundSpec& spec, const std::string& commands, int address,
                        int baud) {
  std::string d;
  if (commands != spec.commands) {
    d += "it reads '" + commands + "', this host '" + spec.commands + "'";
  }
  if (address != spec.address || baud != spec.baud) {
    d += std::string(d.empty() ? "" : "; ") + "it asks address " + std::to_string(address) +
         " at " + std::to_string(baud) + " baud, this host address " +
         std::to_string(spec.address) + " at " + std::to_string(spec.baud) + " baud";
  }
  return d;
}

}  // namespace

SharedRoundStore::SharedRoundStore(const StoreLocation& location) {
  if (!location.postgres()) {
    throw SharedRoundRefused(
        "a shared round keeps its queue in a PostgreSQL store (--store postgresql://... or "
        "VARDIS_STORE); " +
        shownLocation(location) + " is an SQLite file of one host");
  }
  db_ = openDatabase(location, Access::Write, kBusyTimeoutMs);
  refuseNewer(*db_, storedVersion(*db_));
  migrate(*db_);
}

SharedRoundStore::~SharedRoundStore() = default;

void SharedRoundStore::storeNodeRow(std::int64_t roundId, const RoundNodeRow& row) {
  insertRoundNode(*db_, roundId, row);
}

void SharedRoundStore::endStale(const SharedRoundSpec& spec) {
  Statement q(*db_,
              "SELECT id, round_id FROM shared_rounds WHERE name = ?1 AND ended IS NULL AND "
              "substr(started, 1, 10) < substr(?2, 1, 10)");
  q.bind(1, spec.name).bind(2, spec.started);
  std::vector<SharedRound> stale;
  while (q.step()) {
    SharedRound r;
    r.id = q.integer(0);
    r.roundId = q.integer(1);
    stale.push_back(r);
  }
  q.reset();
  for (const auto& r : stale) {
    // Its open nodes stay as they are: no host calls them any more.
    Statement nodes(*db_, "UPDATE shared_nodes SET state = 'done' WHERE shared_id = ?1");
    nodes.bind(1, r.id).run();
    finishIfDoneLocked(r, spec.started);
  }
}

SharedRound SharedRoundStore::joined(const SharedRoundSpec& spec, std::int64_t shared) {
  SharedRound r;
  r.id = shared;
  Statement head(*db_,
                 "SELECT round_id, commands, address, baud, attempts, redial_pause_seconds, "
                 "started FROM shared_rounds WHERE id = ?1");
  head.bind(1, shared);
  head.step();
  r.roundId = head.integer(0);
  const std::string why = differences(spec, head.text(1), static_cast<int>(head.integer(2)),
                                      static_cast<int>(head.integer(3)));
  r.attempts = static_cast<int>(head.integer(4));
  r.redialPauseSeconds = static_cast<int>(head.integer(5));
  r.started = head.text(6);
  head.reset();
  if (!why.empty()) {
    throw SharedRoundRefused("round --shared " + spec.name + ": the round of that name started " +
                             r.started + " reads otherwise (" + why +
                             "); this host does not join it");
  }
  Statement q(*db_,
              "SELECT node, name, phone, init, quick_drain FROM shared_nodes WHERE shared_id = ?1 "
              "ORDER BY node");
  q.bind(1, shared);
  while (q.step()) {
    r.nodes.push_back({static_cast<int>(q.integer(0)), q.text(1), q.text(2), q.text(3),
                       q.integer(4) != 0, std::nullopt});
  }
  return r;
}

SharedRound SharedRoundStore::openRound(const SharedRoundSpec& spec) {
  WriteTransaction t(*db_);  // one host at a time makes or joins a round
  endStale(spec);
  Statement open(*db_, "SELECT id FROM shared_rounds WHERE name = ?1 AND ended IS NULL");
  open.bind(1, spec.name);
  if (open.step()) {
    const std::int64_t id = open.integer(0);
    open.reset();
    SharedRound r = joined(spec, id);
    t.commit();
    return r;
  }
  open.reset();
  SharedRound r;
  r.created = true;
  r.started = spec.started;
  r.attempts = spec.attempts;
  r.redialPauseSeconds = spec.redialPauseSeconds;
  r.nodes = spec.nodes;
  Statement head(*db_,
                 "INSERT INTO rounds(started, ended, ports, commands, nodes_read, nodes_failed, "
                 "connected_seconds, address, baud) VALUES(?1, ?1, '', ?2, 0, 0, 0, ?3, ?4) "
                 "RETURNING id");
  r.roundId = head.bind(1, spec.started)
                  .bind(2, spec.commands)
                  .bind(3, spec.address)
                  .bind(4, spec.baud)
                  .insertId();
  Statement shared(*db_,
                   "INSERT INTO shared_rounds(name, round_id, commands, address, baud, attempts, "
                   "redial_pause_seconds, started) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) "
                   "RETURNING id");
  shared.bind(1, spec.name).bind(2, r.roundId).bind(3, spec.commands).bind(4, spec.address);
  r.id = shared.bind(5, spec.baud)
             .bind(6, spec.attempts)
             .bind(7, spec.redialPauseSeconds)
             .bind(8, spec.started)
             .insertId();
  Statement node(*db_, sql("INSERT INTO shared_nodes(shared_id, node, name, phone, init, "
                           "quick_drain, state, attempts, done, due_at) VALUES(?1, ?2, ?3, ?4, "
                           "?5, ?6, ?7, 0, '', $NOW)")
                           .c_str());
  for (const auto& n : spec.nodes) {
    node.bind(1, r.id).bind(2, n.node).bind(3, n.name).bind(4, n.phone).bind(5, n.init);
    node.bind(6, n.quickDrain ? 1 : 0).bind(7, std::string(n.doneAlready ? "done" : "waiting"));
    node.run();
    if (n.doneAlready) storeNodeRow(r.roundId, *n.doneAlready);
  }
  t.commit();
  return r;
}

std::optional<Claim> SharedRoundStore::claim(std::int64_t shared, const std::string& holder,
                                             const std::string& host, const std::string& port,
                                             int leaseSeconds) {
  // The row is locked by the first claimer; every other one skips it and
  // takes the next, so two modems never get one node.
  // A node whose host died (its lease ran out) first, else the waiting node
  // due first; the second is looked for only when there is no first.
  Statement q(*db_,
              sql("UPDATE shared_nodes SET state = 'calling', holder = ?2, host = ?3, port = ?4, "
                  "lease_until = $NOW + ?5 WHERE shared_id = ?1 AND node = coalesce("
                  "(SELECT node FROM shared_nodes WHERE shared_id = ?1 AND state = 'calling' AND "
                  "lease_until < $NOW ORDER BY lease_until LIMIT 1 FOR UPDATE SKIP LOCKED), "
                  "(SELECT node FROM shared_nodes WHERE shared_id = ?1 AND state = 'waiting' AND "
                  "due_at <= $NOW ORDER BY due_at, node LIMIT 1 FOR UPDATE SKIP LOCKED)) "
                  "RETURNING node, attempts, done")
                  .c_str());
  q.bind(1, shared).bind(2, holder).bind(3, host).bind(4, port).bind(5, leaseSeconds);
  if (!q.step()) return std::nullopt;
  Claim c{static_cast<int>(q.integer(0)), static_cast<int>(q.integer(1)), q.text(2)};
  q.reset();
  return c;
}

QueueState SharedRoundStore::state(std::int64_t shared) {
  Statement q(*db_, sql("SELECT min(CASE WHEN state = 'waiting' THEN due_at ELSE lease_until "
                        "END) - $NOW FROM shared_nodes WHERE shared_id = ?1 AND state <> 'done'")
                        .c_str());
  q.bind(1, shared);
  QueueState s;
  if (q.step() && !q.isNull(0)) s.nextInSeconds = std::max(0.0, q.real(0));
  return s;
}

void SharedRoundStore::renew(std::int64_t shared, const std::string& holder, int leaseSeconds) {
  Statement q(*db_, sql("UPDATE shared_nodes SET lease_until = $NOW + ?3 WHERE shared_id = ?1 "
                        "AND holder = ?2 AND state = 'calling'")
                        .c_str());
  q.bind(1, shared).bind(2, holder).bind(3, leaseSeconds).run();
}

void SharedRoundStore::release(std::int64_t shared, int node, const std::string& holder) {
  Statement q(*db_, sql("UPDATE shared_nodes SET state = 'waiting', holder = NULL, lease_until "
                        "= NULL, due_at = $NOW WHERE shared_id = ?1 AND node = ?2 AND holder = "
                        "?3 AND state = 'calling'")
                        .c_str());
  q.bind(1, shared).bind(2, node).bind(3, holder).run();
}

bool SharedRoundStore::attemptEnded(const SharedRound& round, int node, const std::string& holder,
                                    int attempts, const std::string& done,
                                    const std::optional<RoundNodeRow>& finalRow) {
  WriteTransaction t(*db_);
  Statement q(*db_, sql("UPDATE shared_nodes SET state = ?4, attempts = ?5, done = ?6, due_at = "
                        "$NOW + ?7, holder = NULL, lease_until = NULL WHERE shared_id = ?1 AND "
                        "node = ?2 AND holder = ?3 AND state = 'calling' RETURNING node")
                        .c_str());
  q.bind(1, round.id).bind(2, node).bind(3, holder);
  q.bind(4, std::string(finalRow ? "done" : "waiting")).bind(5, attempts).bind(6, done);
  q.bind(7, round.redialPauseSeconds);
  if (!q.step()) return false;  // the lease ran out and another host has the node
  q.reset();
  if (finalRow) storeNodeRow(round.roundId, *finalRow);
  t.commit();
  return true;
}

bool SharedRoundStore::finishIfDone(const SharedRound& round, const std::string& ended) {
  WriteTransaction t(*db_);
  const bool finished = finishIfDoneLocked(round, ended);
  t.commit();
  return finished;
}

bool SharedRoundStore::finishIfDoneLocked(const SharedRound& round, const std::string& ended) {
  {
    Statement open(*db_,
                   "SELECT count(*) FROM shared_nodes WHERE shared_id = ?1 AND state <> 'done'");
    open.bind(1, round.id);
    if (open.step() && open.integer(0) > 0) return false;
  }
  Statement end(*db_,
                "UPDATE shared_rounds SET ended = ?2 WHERE id = ?1 AND ended IS NULL RETURNING id");
  end.bind(1, round.id).bind(2, ended);
  if (!end.step()) return false;
  end.reset();
  std::string ports;
  Statement used(*db_,
                 "SELECT DISTINCT host, port FROM round_nodes WHERE round_id = ?1 AND host IS "
                 "NOT NULL AND port <> '' ORDER BY host, port");
  used.bind(1, round.roundId);
  while (used.step()) ports += (ports.empty() ? "" : " ") + used.text(0) + ":" + used.text(1);
  used.reset();
  Statement totals(*db_,
                   "UPDATE rounds SET ended = ?2, ports = ?3, nodes_read = (SELECT count(*) FROM "
                   "round_nodes WHERE round_id = ?1 AND result = 'read'), nodes_failed = (SELECT "
                   "count(*) FROM round_nodes WHERE round_id = ?1 AND result <> 'read'), "
                   "connected_seconds = (SELECT coalesce(sum(connected_seconds), 0) FROM "
                   "round_nodes WHERE round_id = ?1) WHERE id = ?1");
  totals.bind(1, round.roundId).bind(2, ended).bind(3, ports).run();
  return true;
}

}  // namespace vardis::store
