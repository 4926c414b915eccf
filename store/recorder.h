// What both front ends do with the store: a visit from "Старт" to "Стоп", and
// after each command that completed, what it read. A store that cannot be
// used is said once and given up: the readings and their reports go on
// without it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "store/sqlite_db.h"
#include "store/store_location.h"

namespace vardis {
class Session;
}

namespace vardis::store {

class ReadingStore;

// What a command read, for the store.
enum class StoredReading {
  Identification,
  Values,
  Clock,
  ClockSet,
  Hourly,
  Daily,
  Monthly,
  Parameters
};

// The reading a vardis-cli command word stores, if any.
std::optional<StoredReading> storedReadingOf(const std::string& command);

// The PC's date and time as the store keeps it: "2026-12-08T19:44:37".
std::string storeTime(const Session& s);

class Recorder {
 public:
  using Warn = std::function<void(const std::string& message)>;

  // Nothing is opened until the first visit; `enabled` false keeps it so.
  // The store is the data folder's own file.
  Recorder(const std::filesystem::path& dataDir, bool enabled, Warn warn);
  // The store at that location (a file, or a PostgreSQL database).
  Recorder(StoreLocation location, bool enabled, Warn warn);
  ~Recorder();

  // "Старт": a new visit on that port.
  void visitStarted(const Session& s, const std::string& port, bool gsm);
  // A command completed: what it read is stored. Nothing before the meter
  // was identified (its serial number names everything it read).
  void commandEnded(const Session& s, StoredReading what);
  // "Стоп", with how the visit ended: "ok", "link fault", "stopped", "error".
  void visitEnded(const Session& s, const std::string& outcome);
  // "Старт" reached no meter (a silent line, one that only echoes): the
  // visit leaves nothing in the store.
  void visitAbandoned();

  bool enabled() const { return enabled_; }
  void setEnabled(bool on);
  // Another store from the next visit on (the one open is closed).
  void setLocation(StoreLocation location);
  const StoreLocation& location() const { return location_; }
  // The open store, or nullptr (off, given up, or no visit yet).
  ReadingStore* store() { return store_.get(); }
  // The store's message when it was given up; empty otherwise.
  const std::string& problem() const { return problem_; }
  // What the store said was wrong, when it gave up; nothing before.
  std::optional<StoreFault> fault() const { return fault_; }

 private:
  template <class Action>
  void guarded(Action&& action);
  void noteMeter(const Session& s);

  StoreLocation location_;
  bool enabled_;
  Warn warn_;
  std::unique_ptr<ReadingStore> store_;
  std::string problem_;
  std::optional<StoreFault> fault_;
  std::int64_t visit_ = 0;
  std::int64_t meter_ = 0;
  long long serial_ = 0;
  std::optional<std::string> lastMeterClock_;
};

}  // namespace vardis::store
