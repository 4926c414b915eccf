// Reading meter data files: pinned parameters, current values, clock, archive
// values and the history's seed (layout in README.md).
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/data_reading.h"
#include "sim/meter_model.h"

namespace vardis::sim {

namespace data {

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  throw DataError("meter data: " + (where.empty() ? std::string() : "at \"" + where + "\": ") +
                  what);
}

std::string typeName(const json& v) {
  return v.type_name();
}

const json& requireObject(const json& v, const std::string& where) {
  if (!v.is_object()) fail(where, "expected an object, found " + typeName(v));
  return v;
}

double numberOf(const json& v, const std::string& where) {
  if (!v.is_number()) fail(where, "expected a number, found " + typeName(v));
  return v.get<double>();
}

std::uint64_t unsignedOf(const json& v, const std::string& where, std::uint64_t max) {
  const std::string range = "expected a whole number 0.." + std::to_string(max);
  if (v.is_number_unsigned()) {
    const auto u = v.get<std::uint64_t>();
    if (u > max) fail(where, range + ", found " + std::to_string(u));
    return u;
  }
  if (v.is_number_integer()) fail(where, range + ", found " + std::to_string(v.get<long long>()));
  if (v.is_number_float()) {
    const double d = v.get<double>();
    if (d >= 0.0 && d <= static_cast<double>(max) && std::floor(d) == d)
      return static_cast<std::uint64_t>(d);
    fail(where, range + ", found " + v.dump());
  }
  fail(where, range + ", found " + typeName(v));
}

void rejectUnknownKeys(const json& object, const std::string& where,
                       std::initializer_list<const char*> known) {
  for (const auto& item : object.items()) {
    bool ok = false;
    for (const char* k : known) ok = ok || item.key() == k;
    if (ok) continue;
    std::string list;
    for (const char* k : known) list += std::string(list.empty() ? "" : ", ") + k;
    fail(where.empty() ? item.key() : where + "." + item.key(),
         "unknown key (expected one of: " + list + ")");
  }
}

const json& member(const json& object, const char* key, const std::string& where) {
  const auto it = object.find(key);
  if (it == object.end()) fail(where, std::string("missing \"") + key + "\"");
  return *it;
}

}  // namespace data

namespace {

using namespace data;

int indexKey(const std::string& key, const std::string& where) {
  int index = -1;
  const char* end = key.data() + key.size();
  const auto [ptr, ec] = std::from_chars(key.data(), end, index);
  if (key.empty() || ec != std::errc() || ptr != end || index < 0 || index > 255)
    fail(where + "." + key, "the key must be an index 0..255");
  return index;
}

float floatOf(const json& v, const std::string& where) {
  const double d = numberOf(v, where);
  if (!(std::fabs(d) <= FLT_MAX)) fail(where, "the number does not fit a 32-bit float");
  return static_cast<float>(d);
}

std::uint32_t packedOf(const json& v, const std::string& where) {
  const auto packed = static_cast<std::uint32_t>(unsignedOf(v, where, 0xFFFFFFFFu));
  if (!isValidDateTime(unpackDateTime(packed)))
    fail(where, std::to_string(packed) +
                    " is not a date and time YYMMDDhhmm of the years 2000..2042 "
                    "(e.g. 1104080905 for 2011-04-08 09:05)");
  return packed;
}

void readArchiveEntry(MeterModel& model, const json& entry, const std::string& where) {
  requireObject(entry, where);
  rejectUnknownKeys(entry, where, {"kind", "date", "quantity", "value", "comment"});
  const auto kind = static_cast<int>(unsignedOf(member(entry, "kind", where), where + ".kind", 3));
  const auto quantity =
      static_cast<int>(unsignedOf(member(entry, "quantity", where), where + ".quantity", 255));
  const auto date = static_cast<std::uint32_t>(
      unsignedOf(member(entry, "date", where), where + ".date", 0xFFFFFFFFu));
  CivilTime t = unpackDateTime(date);
  if (kind == static_cast<int>(RecordKind::Monthly) && t.day <= 31) t.day = 1;
  if (!isValidDateTime(t) || t.minute != 0)
    fail(where + ".date", std::to_string(date) +
                              " is not an archive date code YYMMDDhh00 of the years 2000..2042 "
                              "(e.g. 1104080500 for hour 05 of 2011-04-08)");
  const json& value = member(entry, "value", where);
  const bool integer =
      kind == static_cast<int>(RecordKind::DayEndTotals) || isIntegerQuantity(quantity);
  const double v = integer ? static_cast<double>(unsignedOf(value, where + ".value", 0xFFFFFFFFu))
                           : static_cast<double>(floatOf(value, where + ".value"));
  model.pinArchive(static_cast<RecordKind>(kind), date, quantity, v);
}

// "parameters", "floatValues" and "counters": index keys to values.
void readValuePins(MeterModel& staged, const json& doc) {
  if (const auto it = doc.find("parameters"); it != doc.end()) {
    for (const auto& item : requireObject(*it, "parameters").items()) {
      staged.pinParameter(indexKey(item.key(), "parameters"),
                          floatOf(item.value(), "parameters." + item.key()));
    }
  }
  if (const auto it = doc.find("floatValues"); it != doc.end()) {
    for (const auto& item : requireObject(*it, "floatValues").items()) {
      staged.pinFloatValue(indexKey(item.key(), "floatValues"),
                           floatOf(item.value(), "floatValues." + item.key()));
    }
  }
  if (const auto it = doc.find("counters"); it != doc.end()) {
    for (const auto& item : requireObject(*it, "counters").items()) {
      staged.pinCounter(indexKey(item.key(), "counters"),
                        static_cast<std::uint32_t>(
                            unsignedOf(item.value(), "counters." + item.key(), 0xFFFFFFFFu)));
    }
  }
}

void readClock(MeterModel& staged, const json& value) {
  const json& clock = requireObject(value, "clock");
  rejectUnknownKeys(clock, "clock", {"packed", "seconds", "running"});
  const std::uint32_t packed = packedOf(member(clock, "packed", "clock"), "clock.packed");
  int seconds = 0;
  if (const auto s = clock.find("seconds"); s != clock.end())
    seconds = static_cast<int>(unsignedOf(*s, "clock.seconds", 59));
  staged.setClockRunning(true);
  staged.setClock(packed, seconds);
  if (const auto r = clock.find("running"); r != clock.end()) {
    if (!r->is_boolean()) fail("clock.running", "expected true or false, found " + typeName(*r));
    staged.setClockRunning(r->get<bool>());
  }
}

void readArchive(MeterModel& staged, const json& archive) {
  if (!archive.is_array()) fail("archive", "expected an array, found " + typeName(archive));
  for (std::size_t i = 0; i < archive.size(); ++i)
    readArchiveEntry(staged, archive[i], "archive[" + std::to_string(i) + "]");
}

}  // namespace

void MeterModel::loadJson(std::string_view text) {
  json doc;
  try {
    doc = json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    throw DataError(std::string("meter data: not valid JSON: ") + e.what());
  }
  requireObject(doc, "");
  rejectUnknownKeys(doc, "",
                    {"address", "parameters", "floatValues", "counters", "clock", "archiveHorizon",
                     "archive", "seed", "comment"});

  // Everything is applied to a copy first so that a bad file changes nothing.
  MeterModel staged = *this;
  if (const auto it = doc.find("address"); it != doc.end())
    staged.address_ = static_cast<std::uint8_t>(unsignedOf(*it, "address", 255));
  readValuePins(staged, doc);
  if (const auto it = doc.find("clock"); it != doc.end()) readClock(staged, *it);
  if (const auto it = doc.find("archiveHorizon"); it != doc.end())
    staged.setArchiveHorizon(packedOf(*it, "archiveHorizon"));
  if (const auto it = doc.find("archive"); it != doc.end()) readArchive(staged, *it);
  if (const auto it = doc.find("seed"); it != doc.end())
    staged.setHistorySeed(unsignedOf(*it, "seed", 0xFFFFFFFFu));
  *this = std::move(staged);
}

void MeterModel::loadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw DataError("cannot read meter data file '" + path + "': " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw DataError("cannot read meter data file '" + path + "'");
  try {
    loadJson(text.str());
  } catch (const DataError& e) {
    throw DataError(path + ": " + e.what());
  }
}

}  // namespace vardis::sim
