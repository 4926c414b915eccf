#include "archives/archive_data.h"

#include <cstdio>

#include "archives/archive_reading.h"
#include "archives/interval_end.h"
#include "archives/session.h"
#include "values/current_values_read.h"
#include "values/device_clock.h"

namespace vardis {

namespace {

std::string heatUnit(const Session& s) {
  return s.params.values[9] == 0 ? "GJ" : "Gcal";
}

ArchiveRecord intervalRecord(const Session& s, int row, std::string label, std::string when) {
  const auto& a = s.archive;
  const auto r = static_cast<std::size_t>(row);
  const bool volume = volumeArchive(s);
  const std::string flowName = volume ? "G" : "M";
  const std::string flowUnit = volume ? "m3/h" : "t/h";
  ArchiveRecord rec;
  rec.label = std::move(label);
  rec.dateTime = std::move(when);
  for (std::size_t k = 0; k < 4; ++k) {
    rec.quantities.push_back({flowName + std::to_string(k + 1), flowUnit, a.Flow[k][r]});
  }
  for (std::size_t k = 0; k < 4; ++k) {
    rec.quantities.push_back({"T" + std::to_string(k + 1), "degC", a.Temperature[k][r]});
  }
  for (std::size_t k = 0; k < 4; ++k) {
    rec.quantities.push_back({"P" + std::to_string(k + 1), "MPa", a.Pressure[k][r]});
  }
  rec.quantities.push_back({"W1", heatUnit(s), a.Heat[0][r]});
  rec.quantities.push_back({"W2", heatUnit(s), a.Heat[1][r]});
  rec.quantities.push_back({"B1", "h", a.RunTime[0][r] / 10000});
  rec.quantities.push_back({"B2", "h", a.RunTime[1][r] / 10000});
  rec.quantities.push_back({"Tc", "h", a.MainsTime[r] / 10000});
  for (std::size_t i = 0; i < kRecordQuantities.size(); ++i) {
    rec.quantities[i].noReply = a.intervalNoReply[kRecordQuantities[i]][r];
  }
  rec.abnormalWord = a.AbnormalWord[r];
  rec.abnormalNoReply = a.intervalNoReply[17][r];
  if (!rec.abnormalNoReply) rec.abnormalCodes = abnormalCodeList(rec.abnormalWord);
  return rec;
}

// Integrators scaled like the reports (raw count / divisor of the slot's
// decimals); `noReply` by integrator quantity 0..8.
std::vector<Quantity> integratorQuantities(const Session& s, const double flow[4],
                                           const double heat[2], const double runTime[2],
                                           double mains, const bool noReply[9]) {
  const bool volume = volumeArchive(s);
  const auto& slot = s.formats.slot;
  std::vector<Quantity> q;
  for (std::size_t k = 0; k < 4; ++k) {
    q.push_back({std::string(volume ? "G" : "M") + std::to_string(k + 1), volume ? "m3" : "t",
                 flow[k] / integratorDivisor(slot[12 + k].decimals)});
  }
  q.push_back({"Q1", heatUnit(s), heat[0] / integratorDivisor(slot[16].decimals)});
  q.push_back({"Q2", heatUnit(s), heat[1] / integratorDivisor(slot[17].decimals)});
  q.push_back({"B1", "h", runTime[0] / 10000});
  q.push_back({"B2", "h", runTime[1] / 10000});
  q.push_back({"Tc", "h", mains / 10000});
  for (std::size_t i = 0; i < kIntegratorQuantities.size(); ++i) {
    q[i].noReply = noReply[kIntegratorQuantities[i]];
  }
  return q;
}

std::vector<Quantity> integratorsOfRow(const Session& s, int row) {
  const auto& a = s.archive;
  const auto r = static_cast<std::size_t>(row);
  const double flow[4] = {a.FlowTotal[0][r], a.FlowTotal[1][r], a.FlowTotal[2][r],
                          a.FlowTotal[3][r]};
  const double heat[2] = {a.HeatTotal[0][r], a.HeatTotal[1][r]};
  const double run[2] = {a.RunTimeTotal[0][r], a.RunTimeTotal[1][r]};
  bool noReply[9];
  for (std::size_t q = 0; q < 9; ++q) noReply[q] = a.totalNoReply[q][r];
  return integratorQuantities(s, flow, heat, run, a.MainsTimeTotal[r], noReply);
}

}  // namespace

int noReplyCount(const std::vector<Quantity>& quantities) {
  int n = 0;
  for (const auto& q : quantities) n += q.noReply ? 1 : 0;
  return n;
}

int ArchiveRecord::noReplyCount() const {
  return vardis::noReplyCount(quantities) + (abnormalNoReply ? 1 : 0);
}

int CurrentData::noReplyCount() const {
  return vardis::noReplyCount(quantities) + (abnormalNoReply ? 1 : 0) + (meterClockNoReply ? 1 : 0);
}

std::vector<std::string> abnormalCodeList(std::uint32_t word) {
  std::vector<std::string> out;
  for (const auto& f : abnormalFlagTable()) {
    if ((word >> f.bit) & 1u) {
      std::string code = f.text;
      while (!code.empty() && code.back() == ' ') code.pop_back();
      out.push_back(code);
    }
  }
  return out;
}

namespace {

std::string twoDigitText(int n) {
  char two[16];
  std::snprintf(two, sizeof two, "%02d", n);
  return two;
}

// The day's record took the row of hour `day`: that hour's own values were kept.
void restoreKeptHour(ArchiveRecord& record, const IntervalRow& k) {
  const double values[17] = {k.flow[0],
                             k.flow[1],
                             k.flow[2],
                             k.flow[3],
                             k.temperature[0],
                             k.temperature[1],
                             k.temperature[2],
                             k.temperature[3],
                             k.pressure[0],
                             k.pressure[1],
                             k.pressure[2],
                             k.pressure[3],
                             k.heat[0],
                             k.heat[1],
                             k.runTime[0] / 10000,
                             k.runTime[1] / 10000,
                             k.mains / 10000};
  auto& q = record.quantities;
  for (std::size_t i = 0; i < q.size() && i < 17; ++i) {
    q[i].value = values[i];
    q[i].noReply = k.noReply[i];
  }
}

void hourlyData(const Session& s, const LastReading& r, ArchiveData& d) {
  d.kind = "hourly";
  d.period = isoDate(r.year, r.month, r.day);
  for (int h = 0; h <= 23; ++h) {
    d.records.push_back(
        intervalRecord(s, h, twoDigitText(h), isoMinute({r.year, r.month, r.day}, h, 0)));
  }
  const CalendarDate day{r.year, r.month, r.day};
  for (int h = 0; h <= 23; ++h) {
    d.records[static_cast<std::size_t>(h)].ended = hourEnded(day, h, r.endedBy);
  }
  if (r.day >= 0 && r.day <= 23) {
    restoreKeptHour(d.records[static_cast<std::size_t>(r.day)], r.keptHour);
  }
  // The day's record shares row d with hour d, and keeps that hour's word.
  d.dayRecord.push_back(intervalRecord(s, r.day, "Сут", isoDate(r.year, r.month, r.day)));
  d.dayRecord.back().abnormalWord = 0;
  d.dayRecord.back().abnormalCodes.clear();
  d.dayRecord.back().ended = dayEnded(day, r.endedBy);
  d.integrators = integratorsOfRow(s, r.day);
  d.integratorsAt = isoDate(r.year, r.month, r.day);
  d.integratorsEnded = dayEnded(day, r.endedBy);
}

void dailyData(const Session& s, const LastReading& r, ArchiveData& d) {
  d.kind = "daily";
  d.period = std::to_string(r.year) + "-" + twoDigitText(r.month);
  for (int day = 1; day <= r.days; ++day) {
    d.records.push_back(intervalRecord(s, day, twoDigitText(day), isoDate(r.year, r.month, day)));
    d.records.back().ended = dayEnded({r.year, r.month, day}, r.endedBy);
  }
  d.integrators =
      integratorQuantities(s, r.endFlow, r.endHeat, r.endRunTime, r.endMains, r.endNoReply);
  d.integratorsAt = isoDate(r.year, r.month, r.snapshotDay);
  d.startIntegrators = integratorsOfRow(s, r.startDay);
  const int pm = r.month == 1 ? 12 : r.month - 1;
  const int py = r.month == 1 ? r.year - 1 : r.year;
  d.startIntegratorsAt = isoDate(py, pm, r.startDay);
  // In the month still running the end values may be those of day 0: no day.
  d.integratorsEnded = r.snapshotDay >= 1 && dayEnded({r.year, r.month, r.snapshotDay}, r.endedBy);
  d.startIntegratorsEnded = dayEnded({py, pm, r.startDay}, r.endedBy);
  for (std::size_t i = 0; i < d.integrators.size(); ++i) {
    Quantity inc = d.integrators[i];
    inc.value -= d.startIntegrators[i].value;
    inc.noReply = inc.noReply || d.startIntegrators[i].noReply;
    d.increments.push_back(inc);
  }
}

void monthlyData(const Session& s, const LastReading& r, ArchiveData& d) {
  d.kind = "monthly";
  d.period = std::to_string(r.year) + "-" + twoDigitText(r.month);
  d.records.push_back(intervalRecord(s, 23, twoDigitText(r.reportDay), d.period));
  // The record of a month is over once the calendar month is, whatever its report day.
  d.records.back().ended = monthEnded(r.year, r.month, r.endedBy);
}

}  // namespace

ArchiveData lastArchiveData(const Session& s) {
  const LastReading& r = s.lastReading;
  ArchiveData d;
  if (!r.complete || r.kind == ReadingKind::None) return d;
  d.volume = volumeArchive(s);
  d.heatUnit = heatUnit(s);
  switch (r.kind) {
    case ReadingKind::Hourly:
      hourlyData(s, r, d);
      break;
    case ReadingKind::Daily:
      dailyData(s, r, d);
      break;
    case ReadingKind::Monthly:
      monthlyData(s, r, d);
      break;
    case ReadingKind::None:
      break;
  }
  return d;
}

CurrentData currentData(const Session& s) {
  CurrentData c;
  const CurrentValues& v = s.values;
  const auto& ct = v.counters;
  const auto& slot = s.formats.slot;
  const std::string heat = heatUnit(s);
  auto fromFloat = [&](std::string name, std::string unit, int index) {
    const auto i = static_cast<std::size_t>(index);
    c.quantities.push_back({std::move(name), std::move(unit), v.floats[i], v.floatNoReply[i]});
  };
  auto fromCounter = [&](std::string name, std::string unit, int index, double divisor) {
    const auto i = static_cast<std::size_t>(index);
    c.quantities.push_back(
        {std::move(name), std::move(unit), v.counters[i] / divisor, v.counterNoReply[i]});
  };
  auto four = [&](const std::string& name, const char* unit, int first) {
    for (int n = 1; n <= 4; ++n) fromFloat(name + std::to_string(n), unit, first + n - 1);
  };
  four("G", "m3/h", 0);
  four("T", "degC", 4);
  four("P", "MPa", 8);
  four("density", "kg/m3", 24);
  four("enthalpy", "kJ/kg", 18);
  four("m", "t/h", 12);
  for (int n = 1; n <= 4; ++n) {
    const int p = slot[static_cast<std::size_t>(11 + n)].decimals;
    fromCounter("M" + std::to_string(n), "t", n - 1, integratorDivisor(p));
  }
  fromFloat("W1", heat + "/h", 16);
  fromFloat("W2", heat + "/h", 17);
  fromCounter("Q1", heat, 4, integratorDivisor(slot[16].decimals));
  fromCounter("Q2", heat, 6, integratorDivisor(slot[17].decimals));
  fromCounter("B1", "h", 5, 10000);
  fromCounter("B2", "h", 7, 10000);
  fromCounter("Tc", "h", 8, 10000);
  c.abnormalNoReply = v.counterNoReply[24] || v.counterNoReply[25];
  c.abnormalWord = abnormalFlagsFromCounters(ct[24], ct[25]);
  if (!c.abnormalNoReply) c.abnormalCodes = abnormalCodeList(c.abnormalWord);
  c.meterClockWord = s.link.addr.dateTime;
  c.meterClockNoReply = s.clockNoReply;
  const DateTimeParts p = unpackDateTime(s.link.addr.dateTime);
  const unsigned seconds = s.link.addr.seconds;
  const int year = static_cast<int>(p.year2) + 2000;
  const bool possible = p.month >= 1 && p.month <= 12 && p.day >= 1 &&
                        static_cast<int>(p.day) <= daysInMonth(year, static_cast<int>(p.month)) &&
                        p.hour <= 23 && p.minute <= 59 && seconds <= 59;
  if (possible && !c.meterClockNoReply) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02u:%02u:%02u", year, p.month, p.day, p.hour,
                  p.minute, seconds);
    c.meterClock = buf;
  }
  return c;
}

}  // namespace vardis
