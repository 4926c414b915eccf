// A round shared by several poller hosts: its queue lives in a PostgreSQL
// store. The first host to start a round of a name makes the queue from its
// node file; a host that starts the same name later joins it. Every modem of
// every host claims the next due node (FOR UPDATE SKIP LOCKED) under a lease
// its host renews while the call lasts; a node whose lease ran out (its host
// died) is due again at once, the dead host's attempt not counted. Times are
// the server's own, in seconds, so the hosts' clocks never matter.
//
// One connection, used by one thread at a time; every call throws StoreError.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/reading_store.h"
#include "store/store_location.h"

namespace vardis::store {

struct SharedNodeSpec {
  int node = 0;
  std::string name;
  std::string phone;
  std::string init;
  bool quickDrain = false;
  // Set: the node is done before the round begins (no dial text, or read
  // earlier today): its row, stored as the round's.
  std::optional<RoundNodeRow> doneAlready;
};

struct SharedRoundSpec {
  std::string name;
  std::string started;  // this host's PC time, as the store keeps times
  std::string commands;
  int address = 0;
  int baud = 0;
  int attempts = 3;
  int redialPauseSeconds = 60;
  std::vector<SharedNodeSpec> nodes;
};

struct SharedRound {
  std::int64_t id = 0;       // in shared_rounds
  std::int64_t roundId = 0;  // in rounds: what `rounds` lists
  bool created = false;      // this host made it; false: it joined
  std::string started;
  int attempts = 3;
  int redialPauseSeconds = 60;
  std::vector<SharedNodeSpec> nodes;  // the round's, from the store, by number
};

// Why a host may not join the open round of that name.
class SharedRoundRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Claim {
  int node = 0;
  int attempts = 0;  // counted before this call
  std::string done;  // per command of the visit: '1' completed in an earlier attempt
};

// What a host's modem finds when it asks for work.
struct QueueState {
  std::optional<double> nextInSeconds;  // a node comes due or a lease runs out
  bool over() const { return !nextInSeconds; }
};

class SharedRoundStore {
 public:
  // Opens the PostgreSQL store (its tables brought to this version).
  explicit SharedRoundStore(const StoreLocation& location);
  ~SharedRoundStore();

  // Makes the round of spec.name or joins the open one; a host whose
  // commands, address or speed differ is refused (SharedRoundRefused). An open
  // round started on an earlier day than spec.started is ended first, so each
  // night's round is a new one.
  SharedRound openRound(const SharedRoundSpec& spec);

  // The next due node for that modem, leased to `holder` for `leaseSeconds`.
  std::optional<Claim> claim(std::int64_t shared, const std::string& holder,
                             const std::string& host, const std::string& port, int leaseSeconds);
  QueueState state(std::int64_t shared);
  // Every lease of `holder` again for `leaseSeconds`.
  void renew(std::int64_t shared, const std::string& holder, int leaseSeconds);
  // The node back to the queue with its attempts as they were (its modem
  // could not call, or this host stops).
  void release(std::int64_t shared, int node, const std::string& holder);
  // An attempt ended: the node is done (its row stored as the round's, with
  // the host) or due again after the redial pause. False when the lease was
  // lost to another host: nothing is changed.
  bool attemptEnded(const SharedRound& round, int node, const std::string& holder, int attempts,
                    const std::string& done, const std::optional<RoundNodeRow>& finalRow);
  // Ends the round in the store when no node is open: its rounds row gets
  // its end, counts and the modems ("host:port") that read. True for the host
  // that ended it.
  bool finishIfDone(const SharedRound& round, const std::string& ended);

 private:
  void storeNodeRow(std::int64_t roundId, const RoundNodeRow& row);
  SharedRound joined(const SharedRoundSpec& spec, std::int64_t shared);
  void endStale(const SharedRoundSpec& spec);
  bool finishIfDoneLocked(const SharedRound& round, const std::string& ended);
  std::unique_ptr<Database> db_;
};

}  // namespace vardis::store
