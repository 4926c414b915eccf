// Identification of the reached meter and the naming of its report files.
#pragma once

#include <optional>
#include <string>

#include "link/pc_clock.h"

namespace vardis {

class Session;

// 2011_04_08_09_05 for 8 April 2011, 09:05.
std::string startStampText(const LocalDateTime& t);

// The serial number as it goes into file names: the value rounded to the
// nearest integer, ties to even. Nothing for a value that no file name can
// hold (not a number, or outside -2147483648..2147483647).
std::optional<long long> serialNumber(double parameterValue);

// Reads the eight identifying parameters and, when all were answered, creates
// the four report files of this meter. The click of the hidden "Счит парам".
// Throws UserError when the report files cannot be created, or the serial
// number cannot name them (no files then).
void MeterIdentification(Session& s);

}  // namespace vardis
