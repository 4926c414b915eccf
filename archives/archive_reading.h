// The archive readings and their reports: hourly ("Часовые"), daily
// ("Суточные"), monthly ("Месячные"), and the row dump.
#pragma once

#include <cstdint>
#include <string>

namespace vardis {

class Session;
struct ArchiveStore;

// Reads the 24 hours, the daily record and the end-of-day integrators of the
// picked date, appending the hourly report between the reading steps.
void ReadHourlyArchive(Session& s);
// Writes the 24 stored hourly rows to the hourly report file; reads nothing.
void WriteRowDump(Session& s);
// Reads the daily records of the picked month and the integrators at its end
// and at the end of the month before; appends the daily report.
void ReadDailyArchive(Session& s);
// Reads the monthly record of the picked month; appends the monthly report.
void ReadMonthlyArchive(Session& s);

// Pieces of the report lines, shared by the three reports.
// The 17 value columns of one row, each "%*.*f" then " | ". B1, B2 and Тс are
// `timeWidth` wide.
std::string valueColumns(const Session& s, int row, int timeWidth);
// The codes of every set abnormal-situation bit, in table order.
std::string abnormalCodes(std::uint32_t word);
// Whether the section of abnormal situations is written: the OR of the words
// as a signed 32-bit integer is greater than zero.
bool abnormalSectionDue(std::uint32_t orOfWords);
// The volume variant of the reports (parameter 111 above 0.5).
bool volumeArchive(const Session& s);

}  // namespace vardis
