// Setting up the numbered meters from a data file's "numbers" list and from
// the --number options.
#include "sim/numbers.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/data_reading.h"

namespace vardis::sim {

namespace {

using namespace data;

// At most this many calls can be counted for a fault; `true` means every call.
constexpr std::uint64_t kMaxCallCount = 1000000;
constexpr double kMaxNoCarrierSeconds = 86400.0;

MeterModel numberedMeter(const MeterModel& base, std::size_t place) {
  MeterModel meter = base;
  meter.pinParameter(0, static_cast<float>(defaultSerialNumber(place)));
  meter.setHistorySeed(place);
  return meter;
}

void checkNewNumber(const std::vector<NumberedMeter>& numbers, const std::string& phone,
                    const std::string& where) {
  const std::string number = dialledNumber(phone);
  if (number.find_first_of("0123456789") == std::string::npos)
    fail(where, "the phone '" + phone + "' has no digits");
  for (const NumberedMeter& n : numbers) {
    if (dialledNumber(n.number.phone) == number)
      fail(where, "the number " + number + " is in the list already");
  }
}

// A count of calls, or true for every call (false: none).
unsigned callCountOf(const json& v, const std::string& where) {
  if (v.is_boolean()) return v.get<bool>() ? kEveryCall : 0;
  if (!v.is_number()) fail(where, "expected a count of calls or true, found " + typeName(v));
  return static_cast<unsigned>(unsignedOf(v, where, kMaxCallCount));
}

CallFaults readFaults(const json& v, const std::string& where) {
  requireObject(v, where);
  rejectUnknownKeys(v, where, {"busy", "noAnswer", "silent", "noCarrierAfter", "comment"});
  CallFaults f;
  if (const auto it = v.find("busy"); it != v.end())
    f.busyCalls = static_cast<unsigned>(unsignedOf(*it, where + ".busy", kMaxCallCount));
  if (const auto it = v.find("noAnswer"); it != v.end())
    f.noAnswerCalls = callCountOf(*it, where + ".noAnswer");
  if (const auto it = v.find("silent"); it != v.end())
    f.silentCalls = callCountOf(*it, where + ".silent");
  if (const auto it = v.find("noCarrierAfter"); it != v.end()) {
    const double seconds = numberOf(*it, where + ".noCarrierAfter");
    const auto ms = std::llround(seconds * 1000.0);
    if (!(seconds <= kMaxNoCarrierSeconds) || ms < 1)
      fail(where + ".noCarrierAfter", "expected seconds 0.001..86400, found " + it->dump());
    f.noCarrierAfterMs = static_cast<int>(ms);
  }
  return f;
}

// The number's own data on top of its meter; the places in messages are
// those of the whole file.
void applyNumberData(MeterModel& meter, const json& v, const std::string& where) {
  requireObject(v, where);
  try {
    meter.loadJson(v.dump());
  } catch (const DataError& e) {
    static constexpr std::string_view kHead = "meter data: at \"";
    std::string message = e.what();
    if (message.rfind(kHead, 0) == 0) {
      message.insert(kHead.size(), where + ".");
    } else {
      message.insert(std::strlen("meter data: "), "at \"" + where + "\": ");
    }
    throw DataError(message);
  }
}

NumberedMeter readNumber(const json& v, const MeterModel& base, std::size_t place,
                         const std::vector<NumberedMeter>& before, const std::string& where) {
  requireObject(v, where);
  rejectUnknownKeys(v, where, {"phone", "serial", "data", "faults", "comment"});
  const json& phone = member(v, "phone", where);
  if (!phone.is_string()) fail(where + ".phone", "expected a string, found " + typeName(phone));
  NumberedMeter n{ModemNumber{phone.get<std::string>(), {}}, numberedMeter(base, place)};
  checkNewNumber(before, n.number.phone, where + ".phone");
  if (const auto it = v.find("data"); it != v.end()) applyNumberData(n.meter, *it, where + ".data");
  if (const auto it = v.find("serial"); it != v.end()) {
    const auto serial = unsignedOf(*it, where + ".serial", kMaxSerialNumber);
    n.meter.pinParameter(0, static_cast<float>(serial));
  }
  if (const auto it = v.find("faults"); it != v.end())
    n.number.faults = readFaults(*it, where + ".faults");
  return n;
}

}  // namespace

std::uint32_t defaultSerialNumber(std::size_t place) {
  return static_cast<std::uint32_t>(10000 + place);
}

void loadSetupJson(MeterSetup& setup, std::string_view text) {
  json doc;
  try {
    doc = json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    throw DataError(std::string("meter data: not valid JSON: ") + e.what());
  }
  requireObject(doc, "");
  json list = json::array();
  if (const auto it = doc.find("numbers"); it != doc.end()) {
    if (!it->is_array()) fail("numbers", "expected an array, found " + typeName(*it));
    list = *it;
    doc.erase("numbers");
  }
  // Everything goes to a copy first so that a bad file changes nothing.
  MeterSetup staged = setup;
  staged.base.loadJson(doc.dump());
  for (std::size_t i = 0; i < list.size(); ++i) {
    staged.numbers.push_back(readNumber(list[i], staged.base, staged.numbers.size() + 1,
                                        staged.numbers, "numbers[" + std::to_string(i) + "]"));
  }
  setup = std::move(staged);
}

void loadSetupFile(MeterSetup& setup, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw DataError("cannot read meter data file '" + path + "': " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw DataError("cannot read meter data file '" + path + "'");
  try {
    loadSetupJson(setup, text.str());
  } catch (const DataError& e) {
    throw DataError(path + ": " + e.what());
  }
}

void addNumber(MeterSetup& setup, const NumberOption& option) {
  const std::string where = "--number " + option.phone;
  const std::string number = dialledNumber(option.phone);
  for (const NumberedMeter& n : setup.numbers) {
    if (dialledNumber(n.number.phone) == number)
      throw DataError(where + ": the number " + number + " is in the list already");
  }
  NumberedMeter n{ModemNumber{option.phone, option.faults},
                  numberedMeter(setup.base, setup.numbers.size() + 1)};
  if (option.serial) n.meter.pinParameter(0, static_cast<float>(*option.serial));
  setup.numbers.push_back(std::move(n));
}

}  // namespace vardis::sim
