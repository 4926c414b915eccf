// The meters of vardis-meter-sim: the one meter, or with a list of numbers a
// meter behind each number of the modem, set up from the data file's
// "numbers" list and the --number options (layout in README.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/meter_model.h"
#include "sim/modem.h"
#include "sim/simulator.h"

namespace vardis::sim {

// One --number option: PHONE[:SERIAL][,FAULT]...
struct NumberOption {
  std::string phone;
  std::optional<std::uint32_t> serial;
  CallFaults faults;
};

// Serial numbers up to this one are exact in parameter 0 (a 32-bit float).
inline constexpr std::uint32_t kMaxSerialNumber = 16777215;

// The serial number a numbered meter has unless told otherwise: 10000 plus
// its place in the list (1-based). Its history seed is that place.
std::uint32_t defaultSerialNumber(std::size_t place);

struct MeterSetup {
  MeterModel base;                     // the one meter; the start of every numbered one
  std::vector<NumberedMeter> numbers;  // empty: no list
};

// Reads a data file: its keys of a single meter go into `base`, and each
// entry of its "numbers" list adds a numbered meter made from the new base.
// Throws DataError; a text with any error changes nothing.
void loadSetupJson(MeterSetup& setup, std::string_view text);
void loadSetupFile(MeterSetup& setup, const std::string& path);
// Adds the numbered meter of a --number option, made from `base`. Throws
// DataError when the number is in the list already.
void addNumber(MeterSetup& setup, const NumberOption& option);

}  // namespace vardis::sim
