// The lines of the archive reports, each a function of what the store holds
// and of how the meter's numbers are written. The readings call them between
// their reads, so the order of requests and writes is the reading's own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archives/archive_store.h"
#include "format/numtext.h"
#include "params/format_table.h"

namespace vardis {

class Session;

using Lines = std::vector<std::string>;

// How a meter's archive reports are written: number style, field formats,
// heat unit, mass or volume variant, serial number.
struct ReportStyle {
  NumberStyle numbers;
  FormatTable formats;
  std::string heatUnit;  // " Гдж" or "Гкал"
  bool volume = false;
  double serial = 0;
};
ReportStyle reportStyle(const Session& s);

// The head every archive report starts with: title, serial number, a blank
// line, and the column header and unit line between rulers.
struct TableHead {
  std::string title;
  const char* serial;
  const char* headerMass;
  const char* headerVolume;
  const char* unitsEnd;
};
Lines headLines(const ReportStyle& st, const TableHead& h);

// A ruler of n underscores.
std::string ruler(int n);

// The 17 value columns of one row, each "%*.*f" then " | ". B1, B2 and Тс are
// `timeWidth` wide.
std::string valueColumns(const ReportStyle& st, const ArchiveStore& a, int row, int timeWidth);

// "| 05: | <columns>" and a "*" when the row's abnormal-situation word is set.
std::string rowLine(const ReportStyle& st, const ArchiveStore& a, int row, int label,
                    int timeWidth);

// The section of abnormal situations of rows first..last, labelled by number.
Lines abnormalSectionLines(const ArchiveStore& a, const char* header, int first, int last);
// The codes of every set abnormal-situation bit, in table order.
std::string abnormalCodes(std::uint32_t word);
// Whether the section of abnormal situations is written: the OR of the words
// as a signed 32-bit integer is greater than zero.
bool abnormalSectionDue(std::uint32_t orOfWords);
// The OR of the abnormal-situation words of rows first..last.
std::uint32_t abnormalWords(const ArchiveStore& a, int first, int last);

// Hourly report: the day's record in row `row` with the times without mains
// and in abnormal situations, then the integrators at the end of that day.
Lines dayRecordLines(const ReportStyle& st, const ArchiveStore& a, int row);
Lines dayEndIntegratorLines(const ReportStyle& st, const ArchiveStore& a, int row);

// The nine integrator values of one row, as copied aside for the increments.
struct Integrators {
  std::array<double, 4> flow{};
  std::array<double, 2> heat{};
  std::array<double, 2> runTime{};
  double mains = 0;
};
Integrators integratorsAt(const ArchiveStore& a, int row);
Integrators minus(const Integrators& a, const Integrators& b);

// Daily report: the lines of integrator values (М1..М4, Q1, Q2, В1, В2, ТC),
// with their headings for the increments.
Lines dailyIntegratorLines(const ReportStyle& st, const Integrators& v, bool withHeadings);

}  // namespace vardis
