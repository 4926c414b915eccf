// What a round prints and leaves: the live table of the nodes on a terminal,
// the log files of the round (CSV and JSON) in the data folder, and the
// round's rows in the store. The log files are written whatever becomes of
// the store.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "round/round_engine.h"
#include "store/reading_store.h"
#include "store/store_location.h"

namespace vardis::cli {

// The nodes' states while the round runs: redrawn in place on a terminal, one
// line a change otherwise.
class LiveTable {
 public:
  LiveTable(std::ostream& err, bool terminal);
  // The nodes as the round begins.
  void start(std::vector<store::RoundNodeRow> rows);
  void show(std::size_t i, const store::RoundNodeRow& row, const std::string& state);
  // A message, each text once a round (a store that fails fails for every modem).
  void note(const std::string& message);

 private:
  std::string line(std::size_t i) const;
  void redraw();

  std::ostream& err_;
  bool terminal_;
  std::vector<store::RoundNodeRow> rows_;
  std::vector<std::string> states_;
  std::set<std::string> noted_;
  bool drawn_ = false;
  std::mutex mutex_;
};

struct RoundLog {
  store::RoundRow round;  // its ports: the modems that took part
  std::vector<round::FailedModem> modemsFailed;
  std::string storeProblem;  // "" when the store kept the round (or is switched off)
  // What the store made of the round; nothing when no store kept it.
  std::optional<std::int64_t> id;       // the round's id in the store
  std::optional<int> metersWithAlarms;  // meters with abnormal situations in what it brought
  // Per node of round.nodes: the intervals with abnormal situations its
  // meter brought into the store (nothing for a node without a meter).
  std::vector<std::optional<int>> abnormal;
};

// "2 of 3 nodes read, 1 not; 4.2 connected minutes; modems /dev/ttyUSB0",
// when some could not be used "; not used: /dev/ttyUSB1", and when meters
// brought abnormal situations "; 2 meters with abnormal situations:
// vardis-cli alarms --round 7".
std::string roundSummary(const RoundLog& log);

// Writes rounds/round-START.csv and .json, each whole or not at all; a name
// already taken (a round of the same second) gets "-2", "-3", ...: no log is
// ever overwritten. The CSV path, or "" with `error`.
std::string writeRoundLog(const std::filesystem::path& dataDir, const RoundLog& log,
                          std::string& error);

// The store as a round uses it: a store that cannot be opened, is locked past
// the busy time-out, full or damaged is named once (on the table) and the
// round goes on without it.
class RoundStore {
 public:
  // Nothing: no store.
  RoundStore(const std::optional<store::StoreLocation>& location, LiveTable& table);
  ~RoundStore();
  // Whether a round of the day of `round` read the node of that phone with
  // the same commands, address and speed.
  bool readToday(const std::string& phone, const store::RoundRow& round);
  // Stores the round of `log` (unless it has an id already: a shared round's
  // nodes are stored as they end) and gives `log` its id and its counts of
  // abnormal situations; the first thing that went wrong with the store in
  // this round, or "".
  std::string keep(RoundLog& log);
  // A store problem met elsewhere (a modem's visit that could not be stored).
  // The first problem is said and gives the store up for the rest of the
  // round: no visit waits for it again.
  void note(const std::string& message);
  bool givenUp() const;

 private:
  void failed(const std::string& what);

  std::unique_ptr<store::ReadingStore> store_;
  LiveTable& table_;
  std::string problem_;
  mutable std::mutex mutex_;
};

}  // namespace vardis::cli
