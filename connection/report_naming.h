// The naming of a meter's report files at its identification.
#pragma once

#include <optional>
#include <string>

#include "link/pc_clock.h"

namespace vardis {

class Connection;

// 2011_04_08_09_05 for 8 April 2011, 09:05.
std::string startStampText(const LocalDateTime& t);

// The serial number as it goes into file names: the value rounded to the
// nearest integer, ties to even. Nothing for a value that no file name can
// hold (not a number, or outside -2147483648..2147483647).
std::optional<long long> serialNumber(double parameterValue);

// The start of an identification: the start stamp from the PC clock, the
// statuses, the identification count and the link fault cleared.
void beginIdentification(Connection& s);

// Names and creates the four report files of the meter with this serial
// number parameter (the set of an earlier meter ends first). Throws UserError
// when the serial number cannot name them (no files then) or they cannot be
// created.
void openReportFiles(Connection& s, double serialValue);

// Refuses a command that writes a report when no report files are open (no
// identification yet, or a failed one), before its first request.
void requireReportFiles(const Connection& s);

}  // namespace vardis
