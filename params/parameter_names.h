// Fixed names and report formats of the meter's configuration parameters.
//
// Index layout (channel k = 1..4):
//   0..9      general
//   10..49    flow channels, 10 parameters each, at 10*k + j (j = 0..9)
//   50, 51    resistance codes at 100 and 150 ohm
//   52..67    temperature channels, 4 parameters each, at 52 + 4*(k-1) + j (j = 0..3)
//   68..87    pressure channels, 5 parameters each, at 68 + 5*(k-1) + j (j = 0..4)
//   88, 89    converter codes at 4 mA and 20 mA
//   90..99    heat-energy calculation of heat system 1
//   100..109  heat-energy calculation of heat system 2
//   110, 111  reset; volume archive switch
//   112..115  ultrasonic signal window, one per channel
//   116..119  ultrasonic signal width, one per channel
//   120, 121  no name
//   122       chord type
//   123..255  not read (123..134 and 140..179 still carry names)
//
// In the channel blocks only channel 1 has names; channels 2..4 have the empty
// name and the same format as channel 1 at the same position.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vardis {

// Field width and number of decimals of a parameter in the parameter report.
// A width of 0 means "no minimum width".
struct ParameterFormat {
  std::uint8_t width;
  std::uint8_t decimals;

  friend bool operator==(const ParameterFormat&, const ParameterFormat&) = default;
};

inline constexpr int kParameterCount = 256;

// All 256 names, UTF-8, indexed by parameter index; an index without a name has
// the empty text. Built once on first use; constant afterwards.
const std::array<std::string, kParameterCount>& parameterNames();

// The name of the parameter at `index` (UTF-8, possibly empty). Indices outside
// 0..255 give the empty text.
const std::string& parameterName(int index);

// The report format of the parameter at `index`. Indices 0..122 (the parameters
// that are read) have their listed format; every other index, including those
// outside 0..255, gives {0, 0}.
ParameterFormat parameterFormat(int index);

}  // namespace vardis
