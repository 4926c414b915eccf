// The store of every reading: meters, visits, archive records with their
// revisions, current values, parameter sets and clock events, in one SQLite
// file beside the report folder. Each reading is stored in one transaction:
// it is in the store whole or not at all. A value without a good reply is
// stored as NULL, never as a number.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archives/archive_data.h"
#include "store/database.h"
#include "store/store_location.h"

namespace vardis {
struct ParameterTable;
}

namespace vardis::store {

inline constexpr const char* kStoreFileName = "vardis.sqlite";
// How long a write waits for another program's transaction to end.
inline constexpr int kBusyTimeoutMs = 5000;

// The store's file in a data folder.
std::filesystem::path storeFile(const std::filesystem::path& dataDir);

struct VisitStart {
  std::string started;  // PC time, ISO 8601 with seconds
  std::string port;
  int speed = 0;
  bool gsm = false;
};

struct VisitEnd {
  std::string ended;
  long long requests = 0;
  long long errors = 0;
  long long timeouts = 0;
  bool linkFault = false;
  std::string outcome;  // "ok", "link fault", "stopped", "error"
};

struct MeterInfo {
  long long serial = 0;
  int address = 0;
  std::string heatUnit;     // "GJ" or "Gcal"
  bool volume = false;      // volume variant (G in m3)
  std::string formatTable;  // "width.decimals" of the 20 display slots
};

// What storing a reading did.
struct StoredCount {
  int added = 0;      // records new, or read again with other values
  int unchanged = 0;  // records read again with the same values
};

// One node of a round over the node directory, as its log gives it.
struct RoundNodeRow {
  int node = 0;
  std::string name;
  std::string phone;
  std::optional<long long> serial;
  std::string result;  // "read", "partial", "busy", "no carrier", "no answer", ...
  int attempts = 0;
  double connectedSeconds = 0;
  long long transactions = 0;
  long long errors = 0;
  long long timeouts = 0;
  std::string whatRead;     // "values hourly×2 daily monthly"
  std::string reportFiles;  // the report files' base name
  std::string port;         // the modem that took the last attempt
  std::string message;      // why the last attempt failed
  std::string drain;        // "full", "quick", "quick, then full" (log files only)
  std::string host;         // the host that called it in a shared round; "" otherwise
};

struct RoundRow {
  std::string started;
  std::string ended;
  std::string ports;     // "/dev/ttyUSB0 /dev/ttyUSB1"
  std::string commands;  // "values hourly --missing daily --missing monthly"
  int address = 0;       // the meter address every node was asked at
  int baud = 0;          // the line speed to the meters, in baud
  std::vector<RoundNodeRow> nodes;
};

// One node's row of a stored round.
void insertRoundNode(Database& db, std::int64_t round, const RoundNodeRow& row);

class ReadingStore {
 public:
  // Opens the store, creating it when missing, in WAL mode, and brings its
  // tables to this version. Throws StoreError.
  explicit ReadingStore(const std::filesystem::path& file, int busyTimeoutMs = kBusyTimeoutMs);
  // The store at that location: an SQLite file as above, or a PostgreSQL
  // database, its tables made or brought to this version.
  explicit ReadingStore(const StoreLocation& location, int busyTimeoutMs = kBusyTimeoutMs);
  ~ReadingStore();

  std::int64_t beginVisit(const VisitStart& visit);
  void endVisit(std::int64_t visit, const VisitEnd& end);
  // A visit that reached no meter goes: nothing was read in it.
  void dropVisit(std::int64_t visit);
  // The meter of that serial number, created or brought up to date, and the
  // visit marked as its.
  std::int64_t meter(const MeterInfo& info, std::int64_t visit, const std::string& seenAt);

  // Every record of an archive reading (and the integrators it read).
  StoredCount storeArchive(std::int64_t meter, std::int64_t visit, const std::string& readAt,
                           const ArchiveData& data);
  void storeCurrent(std::int64_t meter, std::int64_t visit, const std::string& readAt,
                    const CurrentData& data);
  // Parameters 0..count-1; a set equal to the meter's last one changes nothing.
  void storeParameters(std::int64_t meter, std::int64_t visit, const std::string& readAt,
                       const ParameterTable& params, int count);
  void storeClockRead(std::int64_t meter, std::int64_t visit, const std::string& readAt,
                      const std::optional<std::string>& meterTime);
  void storeClockSet(std::int64_t meter, std::int64_t visit, const std::string& readAt,
                     const std::string& pcTimeSent, bool acknowledged,
                     const std::optional<std::string>& before);

  // A round's log, in one transaction: stored whole or, on a StoreError (two
  // rows of the same node among them), not at all. Returns the new round's id.
  std::int64_t storeRound(const RoundRow& round);
  // Whether a round started on `day` ("YYYY-MM-DD") read the node of that
  // phone with those commands at that meter address and line speed. A round
  // stored before rounds kept their address and speed never matches.
  bool nodeReadOn(const std::string& phone, const std::string& commands, int address, int baud,
                  const std::string& day);

  Database& database() { return db_; }

 private:
  struct Statements;
  explicit ReadingStore(std::unique_ptr<Database> db, int busyTimeoutMs);
  void setUp();
  std::unique_ptr<Database> owned_;
  Database& db_;
  std::unique_ptr<Statements> st_;
};

}  // namespace vardis::store
