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

// A value as its caption shows it: the number, or the words that say the
// meter gave no good reply for it.
std::string floatText(const ValueSession& s, int index, int width, int decimals,
                      const NumberStyle& ns) {
  const auto i = static_cast<std::size_t>(index);
  return s.values.floatNoReply[i] ? kNoReplyText
                                  : fixedRight(s.values.floats[i], width, decimals, ns);
}

std::string counterText(const ValueSession& s, int index, double divisor, int width, int decimals,
                        const NumberStyle& ns) {
  const auto i = static_cast<std::size_t>(index);
  return s.values.counterNoReply[i]
             ? kNoReplyText
             : fixedRight(s.values.counters[i] / divisor, width, decimals, ns);
}

// The captions of the float values: flows, temperatures, pressures, densities,
// enthalpies, mass flows and heat powers.
void floatCaptions(const ValueSession& s, Captions& out) {
  const NumberStyle ns = s.config().numbers;
  const auto& slot = s.formats.slot;
  auto num = [](int n) { return std::to_string(n); };
  const bool gj = s.params.values[9] == 0;

  for (int n = 1; n <= 4; ++n) {
    const auto& f = slot[static_cast<std::size_t>(n - 1)];
    out.emplace_back("G" + num(n),
                     "G" + num(n) + ",м3/час: " + floatText(s, n - 1, f.width, f.decimals, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    const auto& f = slot[static_cast<std::size_t>(3 + n)];
    out.emplace_back("T" + num(n),
                     "T" + num(n) + ",гр.C: " + floatText(s, 3 + n, f.width, f.decimals, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    const auto& f = slot[static_cast<std::size_t>(7 + n)];
    out.emplace_back("P" + num(n),
                     "P" + num(n) + ",Мпа: " + floatText(s, 7 + n, f.width, f.decimals, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    out.emplace_back("PL" + num(n), "П" + num(n) + ",кг/м3: " + floatText(s, 23 + n, 7, 1, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    out.emplace_back("E" + num(n), "Э" + num(n) + ",кДж/кг: " + floatText(s, 17 + n, 7, 3, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    const auto& f = slot[static_cast<std::size_t>(11 + n)];
    out.emplace_back("m" + num(n),
                     "m" + num(n) + ",т/час: " + floatText(s, 11 + n, f.width, f.decimals, ns));
  }
  out.emplace_back("W1", std::string(gj ? "W1,Гдж/час: " : "W1,Гкал/час: ") +
                             floatText(s, 16, slot[16].width, slot[16].decimals, ns));
  out.emplace_back("W2", std::string(gj ? "W2,Гдж/час: " : "W2,Гкал/час: ") +
                             floatText(s, 17, slot[17].width, slot[17].decimals, ns));
}

// The captions of the counters: masses, heats, run times, mains time, and the
// abnormal situations of the four channels.
void counterCaptions(const ValueSession& s, Captions& out) {
  const NumberStyle ns = s.config().numbers;
  const auto& ct = s.values.counters;
  const auto& slot = s.formats.slot;
  auto num = [](int n) { return std::to_string(n); };
  const bool gj = s.params.values[9] == 0;

  for (int n = 1; n <= 4; ++n) {
    const int p = slot[static_cast<std::size_t>(11 + n)].decimals;
    out.emplace_back("M" + num(n), "M" + num(n) + ",т: " +
                                       counterText(s, n - 1, integratorDivisor(p), 11, p - 1, ns));
  }
  const int p1 = slot[16].decimals;
  const int p2 = slot[17].decimals;
  out.emplace_back("Q1", std::string(gj ? "Q1,Гдж: " : "Q1,Гкал: ") +
                             counterText(s, 4, integratorDivisor(p1), 11, p1 - 1, ns));
  out.emplace_back("Q2", std::string(gj ? "Q2,Гдж: " : "Q2,Гкал: ") +
                             counterText(s, 6, integratorDivisor(p2), 11, p2 - 1, ns));
  out.emplace_back("B1", "В1,час: " + counterText(s, 5, 10000, 11, 4, ns));
  out.emplace_back("B2", "В2,час: " + counterText(s, 7, 10000, 11, 4, ns));
  out.emplace_back("Tc", "Tс,ч: " + counterText(s, 8, 10000, 11, 4, ns));

  const std::uint32_t flags = abnormalFlagsFromCounters(ct[24], ct[25]);
  for (int n = 1; n <= 4; ++n) {
    const bool failed = s.values.counterNoReply[24] || s.values.counterNoReply[25];
    out.emplace_back("HC" + num(n),
                     "НС" + num(n) + ": " + (failed ? kNoReplyText : abnormalTexts(flags, n)));
  }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> currentValueCaptions(const ValueSession& s) {
  Captions out;
  floatCaptions(s, out);
  counterCaptions(s, out);
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
