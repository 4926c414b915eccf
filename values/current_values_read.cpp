#include "values/current_values_read.h"

#include <cmath>

#include "format/numtext.h"
#include "values/device_clock.h"
#include "values/value_session.h"

namespace vardis {

const std::vector<AbnormalFlag>& abnormalFlagTable() {
  static const std::vector<AbnormalFlag> table{
      {1, "T1<  ", 12}, {1, "T1>  ", 13}, {1, "P1<  ", 20}, {1, "P1>  ", 21}, {1, "G1<  ", 0},
      {1, "G1>  ", 1},  {1, "G1o  ", 2},  {2, "T2<  ", 14}, {2, "T2>  ", 28}, {2, "P2<  ", 22},
      {2, "P2>  ", 23}, {2, "G2<  ", 3},  {2, "G2>  ", 4},  {2, "G2o  ", 5},  {3, "T3<  ", 16},
      {3, "T3>  ", 17}, {3, "P3<  ", 24}, {3, "P3>  ", 25}, {3, "G3<  ", 29}, {3, "G3>  ", 7},
      {3, "G3o  ", 8},  {4, "T4<  ", 18}, {4, "T4>  ", 19}, {4, "P4<  ", 26}, {4, "P4>  ", 27},
      {4, "G4<  ", 9},  {4, "G4>  ", 10}, {4, "G4o  ", 11},
  };
  return table;
}

const std::vector<ValuePage>& valuePages() {
  static const std::vector<ValuePage> pages{
      {"Gn", "Расход:", {"G1", "G2", "G3", "G4"}},
      {"Tn", "Температура:", {"T1", "T2", "T3", "T4"}},
      {"Pn", "Давление:", {"P1", "P2", "P3", "P4"}},
      {"PLn", "Плотность:", {"PL1", "PL2", "PL3", "PL4"}},
      {"En", "Энтальпия:", {"E1", "E2", "E3", "E4"}},
      {"Mn", "Масса:", {"m1", "m2", "m3", "m4"}},
      {"MCn", "Накопленные значения:", {"M1", "M2", "M3", "M4"}},
      {"HCn", "Нештатные ситуации:", {"HC1", "HC2", "HC3", "HC4"}},
      {"W1", "Тепло №1:", {"W1", "Q1", "B1"}},
      {"W2", "Тепло №2:", {"W2", "Q2", "B2"}},
      {"Tc", "Время сети:", {"Tc"}},
      {"D", "Приборное дата и время:", {}, true},
  };
  return pages;
}

std::string abnormalTexts(std::uint32_t word, int channel) {
  std::string out;
  for (const auto& f : abnormalFlagTable()) {
    if (f.channel == channel && (word >> f.bit) & 1u) out += f.text;
  }
  return out;
}

namespace {

std::uint32_t low32(double v) {
  if (!std::isfinite(v)) return 0;
  const double r = std::nearbyint(v);
  if (r >= 0 && r < 18446744073709551616.0) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(r) & 0xFFFFFFFFu);
  }
  if (r < 0 && r >= -9223372036854775808.0) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(r)));
  }
  return 0;
}

}  // namespace

std::uint32_t abnormalFlagsFromCounters(double counter24, double counter25) {
  return low32(counter24) | low32(counter25);
}

namespace {

using Captions = std::vector<std::pair<std::string, std::string>>;

// The float values: flows, temperatures, pressures, densities, enthalpies,
// mass flows and heat powers.
void floatQuantities(const ValueSession& s, std::vector<CurrentQuantity>& out) {
  const auto& slot = s.formats.slot;
  const bool gj = s.params.values[9] == 0;
  const auto add = [&s, &out](std::string quantity, std::string label, int index, int width,
                              int decimals) {
    const auto i = static_cast<std::size_t>(index);
    out.push_back({std::move(quantity), std::move(label),
                   s.values.floatNoReply[i] ? std::nullopt : std::optional(s.values.floats[i]),
                   width, decimals});
  };
  const auto fromSlot = [&](const char* family, const char* unit, int first) {
    for (int n = 1; n <= 4; ++n) {
      const auto& f = slot[static_cast<std::size_t>(first + n - 1)];
      const std::string digit = std::to_string(n);
      add(family + digit, family + digit + "," + unit, first + n - 1, f.width, f.decimals);
    }
  };
  fromSlot("G", "м3/час", 0);
  fromSlot("T", "гр.C", 4);
  fromSlot("P", "Мпа", 8);
  for (int n = 1; n <= 4; ++n)
    add("PL" + std::to_string(n), "П" + std::to_string(n) + ",кг/м3", 23 + n, 7, 1);
  for (int n = 1; n <= 4; ++n)
    add("E" + std::to_string(n), "Э" + std::to_string(n) + ",кДж/кг", 17 + n, 7, 3);
  fromSlot("m", "т/час", 12);
  add("W1", gj ? "W1,Гдж/час" : "W1,Гкал/час", 16, slot[16].width, slot[16].decimals);
  add("W2", gj ? "W2,Гдж/час" : "W2,Гкал/час", 17, slot[17].width, slot[17].decimals);
}

// The counters: masses, heats, run times and mains time, scaled.
void counterQuantities(const ValueSession& s, std::vector<CurrentQuantity>& out) {
  const auto& slot = s.formats.slot;
  const bool gj = s.params.values[9] == 0;
  const auto add = [&s, &out](std::string quantity, std::string label, int index, double divisor,
                              int decimals) {
    const auto i = static_cast<std::size_t>(index);
    out.push_back(
        {std::move(quantity), std::move(label),
         s.values.counterNoReply[i] ? std::nullopt : std::optional(s.values.counters[i] / divisor),
         11, decimals});
  };
  for (int n = 1; n <= 4; ++n) {
    const int p = slot[static_cast<std::size_t>(11 + n)].decimals;
    add("M" + std::to_string(n), "M" + std::to_string(n) + ",т", n - 1, integratorDivisor(p),
        p - 1);
  }
  const int p1 = slot[16].decimals;
  const int p2 = slot[17].decimals;
  add("Q1", gj ? "Q1,Гдж" : "Q1,Гкал", 4, integratorDivisor(p1), p1 - 1);
  add("Q2", gj ? "Q2,Гдж" : "Q2,Гкал", 6, integratorDivisor(p2), p2 - 1);
  add("B1", "В1,час", 5, 10000, 4);
  add("B2", "В2,час", 7, 10000, 4);
  add("Tc", "Tс,ч", 8, 10000, 4);
}

// The abnormal situations of the four channels.
void abnormalCaptions(const ValueSession& s, Captions& out) {
  const auto& ct = s.values.counters;
  const std::uint32_t flags = abnormalFlagsFromCounters(ct[24], ct[25]);
  const bool failed = s.values.counterNoReply[24] || s.values.counterNoReply[25];
  for (int n = 1; n <= 4; ++n) {
    out.emplace_back(
        "HC" + std::to_string(n),
        "НС" + std::to_string(n) + ": " + (failed ? kNoReplyText : abnormalTexts(flags, n)));
  }
}

}  // namespace

std::vector<CurrentQuantity> currentQuantities(const ValueSession& s) {
  std::vector<CurrentQuantity> out;
  floatQuantities(s, out);
  counterQuantities(s, out);
  return out;
}

std::vector<std::pair<std::string, std::string>> currentValueCaptions(const ValueSession& s) {
  const NumberStyle ns = s.config().numbers;
  Captions out;
  for (const CurrentQuantity& q : currentQuantities(s)) {
    out.emplace_back(q.quantity, q.label + ": " +
                                     (q.value ? fixedRight(*q.value, q.width, q.decimals, ns)
                                              : std::string(kNoReplyText)));
  }
  abnormalCaptions(s, out);
  return out;
}

Reply readFloatValue(ValueSession& s, std::uint8_t index) {
  s.link.addr.valueIndex = index;
  return s.link.ReadFloatValueTransaction([&s, index](const Reply& r) {
    s.values.floats[index] = r.asFloat();
    s.values.floatNoReply[index] = !r.good;
  });
}

Reply readCounterValue(ValueSession& s, std::uint8_t index) {
  s.link.addr.valueIndex = index;
  return s.link.ReadCounterValueTransaction([&s, index](const Reply& r) {
    s.values.counters[index] = static_cast<double>(r.raw);
    s.values.counterNoReply[index] = !r.good;
  });
}

void ReadCurrentValues(ValueSession& s) {
  s.beginCommand("Значения");
  s.setOperationStatus("Считывание параметров");
  s.formats = computeFormatTable(s.params);
  for (int i = 0; i <= 30; ++i) {
    readFloatValue(s, static_cast<std::uint8_t>(i));
    s.setProgress(2 * i);
  }
  // The flows, temperatures, pressures, densities, enthalpies, mass flows and
  // heat powers show before the counters are read.
  const auto floatsShown = currentValueCaptions(s);
  for (std::size_t i = 0; i < kFloatCaptionCount; ++i) {
    s.showValueCaption(floatsShown[i].first, floatsShown[i].second);
  }
  for (int i = 0; i <= 25; ++i) {
    readCounterValue(s, static_cast<std::uint8_t>(i));
    s.setProgress(i + 60);
  }
  s.setProgress(100);
  const auto all = currentValueCaptions(s);
  for (std::size_t i = kFloatCaptionCount; i < all.size(); ++i) {
    s.showValueCaption(all[i].first, all[i].second);
  }
  ReadDeviceClock(s);
  s.endCommand("Параметры считаны");
}

}  // namespace vardis
