// Field widths and decimals of the value displays and archive reports.
#pragma once

#include <array>

namespace vardis {

struct ParameterTable;

struct FieldFormat {
  int width = 0;
  int decimals = 0;
};

// Slots: 0..3 G1..G4, 4..7 T1..T4, 8..11 P1..P4, 12..15 M1..M4 (or G),
// 16 W1 (and Q1), 17 W2 (and Q2), 18 and 19 spare.
struct FormatTable {
  std::array<FieldFormat, 20> slot{};
};

// The flow decimals of a channel from its upper flow limit.
int flowDecimals(double upperLimit);

// The table as identification and every current-values read set it, from the
// upper flow limits (parameters 10, 20, 30, 40).
FormatTable computeFormatTable(const ParameterTable& params);

}  // namespace vardis
