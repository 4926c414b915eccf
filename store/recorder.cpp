#include "store/recorder.h"

#include <cstdio>
#include <map>

#include "archives/archive_data.h"
#include "archives/archive_reading.h"
#include "archives/session.h"
#include "connection/report_naming.h"
#include "store/reading_store.h"

namespace vardis::store {

namespace {

constexpr int kStoredParameters = 123;  // 0..122, as the parameter report reads them

std::string isoTime(const LocalDateTime& t) {
  return isoDateTime(t);
}

std::string formatTableText(const FormatTable& f) {
  std::string out;
  for (const auto& slot : f.slot) {
    if (!out.empty()) out += ',';
    out += std::to_string(slot.width) + "." + std::to_string(slot.decimals);
  }
  return out;
}

}  // namespace

std::optional<StoredReading> storedReadingOf(const std::string& command) {
  static const std::map<std::string, StoredReading> table{
      {"values", StoredReading::Values},      {"clock", StoredReading::Clock},
      {"set-clock", StoredReading::ClockSet}, {"hourly", StoredReading::Hourly},
      {"daily", StoredReading::Daily},        {"monthly", StoredReading::Monthly},
      {"params", StoredReading::Parameters},  {"dial", StoredReading::Identification}};
  const auto it = table.find(command);
  if (it == table.end()) return std::nullopt;
  return it->second;
}

std::string storeTime(const Session& s) {
  return isoTime(s.clock().now());
}

Recorder::Recorder(const std::filesystem::path& dataDir, bool enabled, Warn warn)
    : Recorder(parseStoreLocation("", dataDir), enabled, std::move(warn)) {}

Recorder::Recorder(StoreLocation location, bool enabled, Warn warn)
    : location_(std::move(location)), enabled_(enabled), warn_(std::move(warn)) {}

void Recorder::setLocation(StoreLocation location) {
  store_.reset();
  problem_.clear();
  fault_.reset();
  location_ = std::move(location);
}

Recorder::~Recorder() = default;

void Recorder::setEnabled(bool on) {
  // An open visit is still ended in the store; a visit started with the
  // store off is not stored at all.
  enabled_ = on;
}

template <class Action>
void Recorder::guarded(Action&& action) {
  try {
    action();
  } catch (const StoreError& e) {
    store_.reset();
    problem_ = e.what();
    fault_ = e.fault();
    if (warn_) warn_(problem_ + "; the readings go on without the store");
  }
}

void Recorder::visitStarted(const Session& s, const std::string& port, bool gsm) {
  meter_ = 0;
  visit_ = 0;
  lastMeterClock_.reset();
  if (!enabled_) return;
  guarded([&] {
    if (!store_) store_ = std::make_unique<ReadingStore>(location_);
    const int baud = static_cast<int>(kSpeeds[static_cast<std::size_t>(s.speedIndex)]);
    visit_ = store_->beginVisit({storeTime(s), port, baud, gsm});
  });
}

void Recorder::noteMeter(const Session& s) {
  const auto serial = serialNumber(s.params.values[0]);
  if (!s.reports.ReportFilesOpen || !serial) return;
  if (meter_ != 0 && serial_ == *serial) return;
  MeterInfo info{*serial, s.link.addr.meterAddress, s.params.values[9] == 0 ? "GJ" : "Gcal",
                 volumeArchive(s), formatTableText(s.formats)};
  meter_ = store_->meter(info, visit_, storeTime(s));
  serial_ = *serial;
}

void Recorder::commandEnded(const Session& s, StoredReading what) {
  if (!enabled_ || !store_ || visit_ == 0) return;
  guarded([&] {
    noteMeter(s);
    if (meter_ == 0) return;
    const std::string now = storeTime(s);
    switch (what) {
      case StoredReading::Identification:
        break;
      case StoredReading::Values: {
        const CurrentData c = currentData(s);
        store_->storeCurrent(meter_, visit_, now, c);
        lastMeterClock_ = c.meterClock;
        break;
      }
      case StoredReading::Clock: {
        const CurrentData c = currentData(s);
        store_->storeClockRead(meter_, visit_, now, c.meterClock);
        lastMeterClock_ = c.meterClock;
        break;
      }
      case StoredReading::ClockSet:
        if (s.clockSetting) {
          store_->storeClockSet(meter_, visit_, now, isoTime(s.clockSetting->sent),
                                s.clockSetting->acknowledged, lastMeterClock_);
        }
        lastMeterClock_.reset();
        break;
      case StoredReading::Hourly:
      case StoredReading::Daily:
      case StoredReading::Monthly:
        // Only a reading that completed; a stopped one left its report unwritten too.
        if (const ArchiveData d = lastArchiveData(s); !d.kind.empty()) {
          store_->storeArchive(meter_, visit_, now, d);
        }
        break;
      case StoredReading::Parameters:
        store_->storeParameters(meter_, visit_, now, s.params, kStoredParameters);
        break;
    }
  });
}

void Recorder::visitAbandoned() {
  if (store_ && visit_ != 0 && meter_ == 0) guarded([&] { store_->dropVisit(visit_); });
  visit_ = 0;
}

void Recorder::visitEnded(const Session& s, const std::string& outcome) {
  if (!store_ || visit_ == 0) return;
  guarded([&] {
    const auto& n = s.link.counters;
    store_->endVisit(visit_, {storeTime(s), n.RequestCount, n.ErrorCount, n.TimeoutCount,
                              s.link.LinkFault != 0, outcome});
  });
  visit_ = 0;
}

}  // namespace vardis::store
