// The rows of the speed tables, one column group a baud rate: a spread of a
// part of the transaction, a single value, and the tool's line's figure with
// the plain line's after it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "bench/speed.h"

namespace vardis::bench {

inline constexpr std::size_t kSpeedWidth = 34;

using ResultText = std::function<std::string(const SpeedResult&)>;

// "9600 baud" over each column group, and "ideal p50 p99 max" under it.
void speedHeads(const std::vector<SpeedResult>& rs);

void spreadRow(const std::string& label, const std::vector<SpeedResult>& rs,
               Spread SpeedResult::*field, bool withIdeal = true);

// The parts of a transaction, in order, from the drain read to the gap after it.
void partRows(const std::vector<SpeedResult>& rs);

void valueRow(const std::string& label, const std::vector<SpeedResult>& rs, const ResultText& text);

// `tool` and `plain` hold the same speeds in the same order.
void bothRow(const std::string& label, const std::vector<SpeedResult>& tool,
             const std::vector<SpeedResult>& plain, const ResultText& text);

// The tool's line's overhead above the pseudo-terminal's floor minus the
// plain line's, p50: what the tool's line itself adds.
double ownPart(const SpeedResult& tool, const SpeedResult& plain);
void ownPartRow(const std::vector<SpeedResult>& tool, const std::vector<SpeedResult>& plain);

// The reading as a whole: transactions, errors, wall and processor time,
// context switches.
void totalRows(const std::vector<SpeedResult>& tool, const std::vector<SpeedResult>& plain);

}  // namespace vardis::bench
