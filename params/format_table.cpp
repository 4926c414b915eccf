#include "params/format_table.h"

#include "params/parameter_table.h"

namespace vardis {

int flowDecimals(double upperLimit) {
  // Each comparison is strictly greater; the last one that holds wins.
  int p = 4;
  if (upperLimit > 10) p = 3;
  if (upperLimit > 100) p = 2;
  if (upperLimit > 1000) p = 1;
  if (upperLimit > 10000) p = 0;
  return p;
}

FormatTable computeFormatTable(const ParameterTable& params) {
  FormatTable t;
  int p[4];
  for (int k = 0; k < 4; ++k)
    p[k] = flowDecimals(params.values[static_cast<std::size_t>(10 * (k + 1))]);
  for (int k = 0; k < 4; ++k) {
    t.slot[static_cast<std::size_t>(k)] = {6, p[k]};
    t.slot[static_cast<std::size_t>(4 + k)] = {6, 2};
    t.slot[static_cast<std::size_t>(8 + k)] = {5, 3};
    t.slot[static_cast<std::size_t>(12 + k)] = {6, p[k]};
  }
  t.slot[16] = {7, p[0]};
  t.slot[17] = {7, p[1]};
  t.slot[18] = {6, 2};
  t.slot[19] = {6, 2};
  return t;
}

}  // namespace vardis
