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

// The volume variant of the reports (parameter 111 above 0.5).
bool volumeArchive(const Session& s);

}  // namespace vardis
