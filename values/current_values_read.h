// "Считать значения": the current readings, scaled and shown on the tab pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vardis {

class ValueSession;

// The abnormal-situation word: seven flags per measuring channel. Bits 6, 15,
// 30 and 31 name nothing.
struct AbnormalFlag {
  int channel;       // 1..4
  const char* text;  // five characters, e.g. "T1<  "
  int bit;
};
// In display order: per channel T<, T>, P<, P>, G<, G>, Go.
const std::vector<AbnormalFlag>& abnormalFlagTable();

// The texts of the set flags of one channel, in table order, joined.
std::string abnormalTexts(std::uint32_t word, int channel);

// The word from the two counters 24 and 25: each rounded, low 32 bits, OR-ed.
std::uint32_t abnormalFlagsFromCounters(double counter24, double counter25);

// One current value as the window shows it: the quantity ("G1"), its label
// ("G1,м3/час"), the value scaled as shown (nothing without a good reply),
// and the width and decimals of its text.
struct CurrentQuantity {
  std::string quantity;
  std::string label;
  std::optional<double> value;
  int width = 0;
  int decimals = 0;
};

// The numeric current values from the values as they stand, in the order
// they are shown: the float values, then the counters (the abnormal
// situations are words, not numbers, and are not among them).
std::vector<CurrentQuantity> currentQuantities(const ValueSession& s);

// The caption of every shown current value from the values as they stand, by
// quantity ("G1" .. "G4", "T1", "P1", "PL1", "E1", "m1", "W1", "W2", "M1",
// "Q1", "Q2", "B1", "B2", "Tc", "HC1" .. "HC4"), in the order they are shown.
// The float-value captions come first (kFloatCaptionCount of them), then the
// counters and the abnormal-situation channels.
std::vector<std::pair<std::string, std::string>> currentValueCaptions(const ValueSession& s);
inline constexpr std::size_t kFloatCaptionCount = 26;

// The tab pages of the current values: tab caption, group caption, and the
// quantities shown, top to bottom. The device clock page shows the meter clock.
struct ValuePage {
  const char* tab;
  const char* group;
  std::vector<std::string> quantities;
  bool deviceClock = false;
};
const std::vector<ValuePage>& valuePages();

// Reads float values 0..30 and counters 0..25, shows them, then reads the clock.
void ReadCurrentValues(ValueSession& s);

}  // namespace vardis
