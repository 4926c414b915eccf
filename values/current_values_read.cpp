#include "values/current_values_read.h"

#include <cmath>

#include "connection/session.h"
#include "format/numtext.h"
#include "values/device_clock.h"

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
      {"Gn", "Расход:", {"Label2", "Label3", "Label4", "Label5"}},
      {"Tn", "Температура:", {"Label6", "Label7", "Label8", "Label9"}},
      {"Pn", "Давление:", {"Label10", "Label11", "Label12", "Label13"}},
      {"PLn", "Плотность:", {"Label14", "Label15", "Label16", "Label17"}},
      {"En", "Энтальпия:", {"Label18", "Label19", "Label20", "Label21"}},
      {"Mn", "Масса:", {"Label22", "Label23", "Label24", "Label25"}},
      {"MCn", "Накопленные значения:", {"Label26", "Label27", "Label28", "Label29"}},
      {"HCn", "Нештатные ситуации:", {"Label36", "Label37", "Label38", "Label39"}},
      {"W1", "Тепло №1:", {"Label30", "Label31", "Label32"}},
      {"W2", "Тепло №2:", {"Label33", "Label34", "Label35"}},
      {"Tc", "Время сети:", {"Label42"}},
      {"D", "Приборное дата и время:", {"Label40", "Label41"}},
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

std::vector<std::pair<std::string, std::string>> currentValueCaptions(const Session& s) {
  std::vector<std::pair<std::string, std::string>> out;
  const NumberStyle ns = s.config().numbers;
  const auto& fl = s.values.floats;
  const auto& ct = s.values.counters;
  const auto& slot = s.formats.slot;
  auto label = [](int n) { return "Label" + std::to_string(n); };
  auto num = [](int n) { return std::to_string(n); };
  const bool gj = s.params.values[9] == 0;

  for (int n = 1; n <= 4; ++n) {
    const auto& f = slot[static_cast<std::size_t>(n - 1)];
    out.emplace_back(label(1 + n),
                     "G" + num(n) + ",м3/час: " +
                         fixedRight(fl[static_cast<std::size_t>(n - 1)], f.width, f.decimals, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    const auto& f = slot[static_cast<std::size_t>(3 + n)];
    out.emplace_back(label(5 + n),
                     "T" + num(n) + ",гр.C: " +
                         fixedRight(fl[static_cast<std::size_t>(3 + n)], f.width, f.decimals, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    const auto& f = slot[static_cast<std::size_t>(7 + n)];
    out.emplace_back(label(9 + n),
                     "P" + num(n) + ",Мпа: " +
                         fixedRight(fl[static_cast<std::size_t>(7 + n)], f.width, f.decimals, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    out.emplace_back(label(13 + n), "П" + num(n) + ",кг/м3: " +
                                        fixedRight(fl[static_cast<std::size_t>(23 + n)], 7, 1, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    out.emplace_back(label(17 + n), "Э" + num(n) + ",кДж/кг: " +
                                        fixedRight(fl[static_cast<std::size_t>(17 + n)], 7, 3, ns));
  }
  for (int n = 1; n <= 4; ++n) {
    const auto& f = slot[static_cast<std::size_t>(11 + n)];
    out.emplace_back(label(21 + n),
                     "m" + num(n) + ",т/час: " +
                         fixedRight(fl[static_cast<std::size_t>(11 + n)], f.width, f.decimals, ns));
  }
  out.emplace_back("Label30", std::string(gj ? "W1,Гдж/час: " : "W1,Гкал/час: ") +
                                  fixedRight(fl[16], slot[16].width, slot[16].decimals, ns));
  out.emplace_back("Label33", std::string(gj ? "W2,Гдж/час: " : "W2,Гкал/час: ") +
                                  fixedRight(fl[17], slot[17].width, slot[17].decimals, ns));
  for (int n = 1; n <= 4; ++n) {
    const int p = slot[static_cast<std::size_t>(11 + n)].decimals;
    out.emplace_back(
        label(25 + n),
        "M" + num(n) + ",т: " +
            fixedRight(ct[static_cast<std::size_t>(n - 1)] / integratorDivisor(p), 11, p - 1, ns));
  }
  const int p1 = slot[16].decimals;
  const int p2 = slot[17].decimals;
  out.emplace_back("Label31", std::string(gj ? "Q1,Гдж: " : "Q1,Гкал: ") +
                                  fixedRight(ct[4] / integratorDivisor(p1), 11, p1 - 1, ns));
  out.emplace_back("Label34", std::string(gj ? "Q2,Гдж: " : "Q2,Гкал: ") +
                                  fixedRight(ct[6] / integratorDivisor(p2), 11, p2 - 1, ns));
  out.emplace_back("Label32", "В1,час: " + fixedRight(ct[5] / 10000, 11, 4, ns));
  out.emplace_back("Label35", "В2,час: " + fixedRight(ct[7] / 10000, 11, 4, ns));
  out.emplace_back("Label42", "Tс,ч: " + fixedRight(ct[8] / 10000, 11, 4, ns));

  const std::uint32_t flags = abnormalFlagsFromCounters(ct[24], ct[25]);
  for (int n = 1; n <= 4; ++n) {
    out.emplace_back(label(35 + n), "НС" + num(n) + ": " + abnormalTexts(flags, n));
  }
  return out;
}

void ReadCurrentValues(Session& s) {
  s.setOperationStatus("Считывание параметров");
  s.formats = computeFormatTable(s.params);
  for (int i = 0; i <= 30; ++i) {
    s.link.addr.valueIndex = static_cast<std::uint8_t>(i);
    s.link.ReadFloatValueTransaction();
    s.setProgress(2 * i);
  }
  // The flows, temperatures, pressures, densities, enthalpies, mass flows and
  // heat powers show before the counters are read.
  const auto floatsShown = currentValueCaptions(s);
  for (std::size_t i = 0; i < kFloatCaptionCount; ++i) {
    s.setCaption(floatsShown[i].first, floatsShown[i].second);
  }
  for (int i = 0; i <= 25; ++i) {
    s.link.addr.valueIndex = static_cast<std::uint8_t>(i);
    s.link.ReadCounterValueTransaction();
    s.setProgress(i + 60);
  }
  s.setProgress(100);
  const auto all = currentValueCaptions(s);
  for (std::size_t i = kFloatCaptionCount; i < all.size(); ++i) {
    s.setCaption(all[i].first, all[i].second);
  }
  ReadDeviceClock(s);
  s.setOperationStatus("Параметры считаны");
}

}  // namespace vardis
