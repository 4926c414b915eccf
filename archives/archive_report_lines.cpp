#include "archives/archive_report_lines.h"

#include "archives/archive_reading.h"
#include "archives/report_texts.h"
#include "archives/session.h"
#include "values/current_values.h"
#include "values/current_values_read.h"

namespace vardis {

namespace rt = report_text;

namespace {

// The label with its channel digit: the first '1' of the text becomes k.
std::string withDigit(const char* label, int k) {
  std::string s = label;
  const auto pos = s.find('1');
  if (pos != std::string::npos) s[pos] = static_cast<char>('0' + k);
  return s;
}

std::string unitLine(const ReportStyle& st, const char* end) {
  return std::string(st.volume ? rt::kUnitsVolume : rt::kUnitsMass) + st.heatUnit +
         rt::kUnitsHeatJoin + st.heatUnit + end;
}

// "Q1 , Гдж :" and the heat integrator k (1 or 2) scaled by its decimals.
std::string heatTotalLine(const ReportStyle& st, int k, double total) {
  const int p = st.formats.slot[static_cast<std::size_t>(15 + k)].decimals;
  return std::string(k == 1 ? "Q1 ," : "Q2 ,") + st.heatUnit + " : " +
         fixedRight(total / integratorDivisor(p), 11, p, st.numbers) + "    ";
}

}  // namespace

ReportStyle reportStyle(const Session& s) {
  return ReportStyle{s.config().numbers, s.formats, s.HeatUnitText, volumeArchive(s),
                     s.params.values[0]};
}

std::string ruler(int n) {
  return std::string(static_cast<std::size_t>(n), '_');
}

Lines headLines(const ReportStyle& st, const TableHead& h) {
  return {h.title,    h.serial + fixedLeft(st.serial, 6, 0, st.numbers), " ",
          ruler(156), st.volume ? h.headerVolume : h.headerMass,         unitLine(st, h.unitsEnd),
          ruler(156)};
}

std::string valueColumns(const ReportStyle& st, const ArchiveStore& a, int row, int timeWidth) {
  const auto& slot = st.formats.slot;
  const auto r = static_cast<std::size_t>(row);
  std::string out;
  auto cell = [&](double v, int width, int decimals) {
    out += fixedRight(v, width, decimals, st.numbers);
    out += " | ";
  };
  for (std::size_t k = 0; k < 4; ++k) cell(a.Flow[k][r], slot[12 + k].width, slot[12 + k].decimals);
  for (std::size_t k = 0; k < 4; ++k) {
    cell(a.Temperature[k][r], slot[4 + k].width, slot[4 + k].decimals);
  }
  for (std::size_t k = 0; k < 4; ++k)
    cell(a.Pressure[k][r], slot[8 + k].width, slot[8 + k].decimals);
  cell(a.Heat[0][r], slot[16].width, slot[16].decimals);
  cell(a.Heat[1][r], slot[17].width, slot[17].decimals);
  cell(a.RunTime[0][r] / 10000, timeWidth, 2);
  cell(a.RunTime[1][r] / 10000, timeWidth, 2);
  cell(a.MainsTime[r] / 10000, timeWidth, 2);
  return out;
}

std::string rowLine(const ReportStyle& st, const ArchiveStore& a, int row, int label,
                    int timeWidth) {
  return "| " + twoDigits(label) + ": | " + valueColumns(st, a, row, timeWidth) +
         (a.AbnormalWord[static_cast<std::size_t>(row)] != 0 ? "*" : "");
}

Lines abnormalSectionLines(const ArchiveStore& a, const char* header, int first, int last) {
  Lines out{rt::kAbnormalTitle, ruler(53), header, ruler(53)};
  for (int r = first; r <= last; ++r) {
    out.push_back("| " + twoDigits(r) + ": | " +
                  abnormalCodes(a.AbnormalWord[static_cast<std::size_t>(r)]));
  }
  out.push_back(ruler(54));
  return out;
}

std::string abnormalCodes(std::uint32_t word) {
  std::string out;
  for (const auto& f : abnormalFlagTable()) {
    if ((word >> f.bit) & 1u) out += f.text;
  }
  return out;
}

bool abnormalSectionDue(std::uint32_t orOfWords) {
  return static_cast<std::int32_t>(orOfWords) > 0;
}

std::uint32_t abnormalWords(const ArchiveStore& a, int first, int last) {
  std::uint32_t any = 0;
  for (int r = first; r <= last; ++r) any |= a.AbnormalWord[static_cast<std::size_t>(r)];
  return any;
}

Lines dayRecordLines(const ReportStyle& st, const ArchiveStore& a, int row) {
  const auto r = static_cast<std::size_t>(row);
  const NumberStyle& ns = st.numbers;
  const double noMains = (240000 - a.MainsTime[r]) / 10000;
  const double abnormal1 = (240000 - a.RunTime[0][r] - (240000 - a.MainsTime[r])) / 10000;
  const double abnormal2 = (240000 - a.RunTime[1][r] - (240000 - a.MainsTime[r])) / 10000;
  return {rt::kDayLabel + valueColumns(st, a, row, 4),
          "      ",
          rt::kNoMainsTime + fixedRight(noMains, 4, 2, ns) + "  ",
          rt::kAbnormalTime1 + fixedRight(abnormal1, 4, 2, ns) + "  ",
          rt::kAbnormalTime2 + fixedRight(abnormal2, 4, 2, ns) + "  ",
          "      "};
}

Lines dayEndIntegratorLines(const ReportStyle& st, const ArchiveStore& a, int row) {
  const auto r = static_cast<std::size_t>(row);
  const NumberStyle& ns = st.numbers;
  Lines out{rt::kIntegratorsAtDayEnd};
  for (int k = 1; k <= 4; ++k) {
    const int p = st.formats.slot[static_cast<std::size_t>(11 + k)].decimals;
    out.push_back(withDigit(st.volume ? rt::kVolumeLabel : rt::kMassLabel, k) + " : " +
                  fixedRight(a.FlowTotal[static_cast<std::size_t>(k - 1)][r] / integratorDivisor(p),
                             11, p, ns) +
                  "  ");
  }
  out.push_back(heatTotalLine(st, 1, a.HeatTotal[0][r]));
  out.push_back(rt::kRunTime1 + fixedRight(a.RunTimeTotal[0][r] / 10000, 11, 2, ns) + "  ");
  out.push_back(heatTotalLine(st, 2, a.HeatTotal[1][r]));
  out.push_back(withDigit(rt::kRunTime1, 2) + fixedRight(a.RunTimeTotal[1][r] / 10000, 11, 2, ns) +
                "  ");
  out.push_back(rt::kMainsTimeTotal + fixedRight(a.MainsTimeTotal[r] / 10000, 11, 2, ns) + "  ");
  out.push_back(ruler(157));
  return out;
}

Integrators integratorsAt(const ArchiveStore& a, int row) {
  const auto r = static_cast<std::size_t>(row);
  Integrators v;
  for (std::size_t k = 0; k < 4; ++k) v.flow[k] = a.FlowTotal[k][r];
  for (std::size_t k = 0; k < 2; ++k) {
    v.heat[k] = a.HeatTotal[k][r];
    v.runTime[k] = a.RunTimeTotal[k][r];
  }
  v.mains = a.MainsTimeTotal[r];
  return v;
}

Integrators minus(const Integrators& a, const Integrators& b) {
  Integrators d;
  for (std::size_t k = 0; k < 4; ++k) d.flow[k] = a.flow[k] - b.flow[k];
  for (std::size_t k = 0; k < 2; ++k) {
    d.heat[k] = a.heat[k] - b.heat[k];
    d.runTime[k] = a.runTime[k] - b.runTime[k];
  }
  d.mains = a.mains - b.mains;
  return d;
}

Lines dailyIntegratorLines(const ReportStyle& st, const Integrators& v, bool withHeadings) {
  const NumberStyle& ns = st.numbers;
  Lines out;
  if (withHeadings) out.emplace_back(rt::kMassHeading);
  for (int k = 1; k <= 4; ++k) {
    const int p = st.formats.slot[static_cast<std::size_t>(11 + k)].decimals;
    out.push_back(
        withDigit(rt::kMonthlyMassLabel1, k) +
        fixedRight(v.flow[static_cast<std::size_t>(k - 1)] / integratorDivisor(p), 11, p, ns) +
        "  ");
  }
  if (withHeadings) out.emplace_back(rt::kHeatHeading);
  out.push_back(heatTotalLine(st, 1, v.heat[0]));
  out.push_back(heatTotalLine(st, 2, v.heat[1]));
  if (withHeadings) out.emplace_back(rt::kRunTimeHeading);
  for (int k = 1; k <= 2; ++k) {
    out.push_back(withDigit(rt::kRunTime1, k) +
                  fixedRight(v.runTime[static_cast<std::size_t>(k - 1)] / 10000, 11, 2, ns) + "  ");
  }
  if (withHeadings) out.emplace_back(rt::kMainsHeading);
  out.push_back(std::string(rt::kMainsTimeTotal) + fixedRight(v.mains / 10000, 11, 2, ns) + "  ");
  return out;
}

}  // namespace vardis
