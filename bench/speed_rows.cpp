#include "bench/speed_rows.h"

#include <algorithm>
#include <iostream>

#include "bench/table_text.h"

namespace vardis::bench {

void speedHeads(const std::vector<SpeedResult>& rs) {
  std::string head = padded("", kLabelWidth);
  std::string sub = padded("milliseconds", kLabelWidth);
  for (const auto& r : rs) {
    head += "  " + rightAligned(std::to_string(r.baud) + " baud", kSpeedWidth - 2) + "  ";
    sub += "  " + rightAligned("ideal", 8) + rightAligned("p50", 8) + rightAligned("p99", 8) +
           rightAligned("max", 8);
  }
  std::cout << head << "\n" << sub << "\n";
}

void spreadRow(const std::string& label, const std::vector<SpeedResult>& rs,
               Spread SpeedResult::*field, bool withIdeal) {
  std::string line = padded(label, kLabelWidth);
  for (const auto& r : rs) {
    const Spread& s = r.*field;
    line += "  " + (withIdeal ? cell(s.ideal) : std::string(8, ' ')) + cell(s.p50) + cell(s.p99) +
            cell(s.max);
  }
  std::cout << line << "\n";
}

void partRows(const std::vector<SpeedResult>& rs) {
  spreadRow("drain read", rs, &SpeedResult::drain);
  spreadRow("send", rs, &SpeedResult::send);
  spreadRow("between the calls (breathe)", rs, &SpeedResult::between);
  spreadRow("reply read: to the first byte", rs, &SpeedResult::firstByte);
  spreadRow("reply read: first to last byte", rs, &SpeedResult::restOfReply);
  spreadRow("transaction, drain to last byte", rs, &SpeedResult::transaction);
  spreadRow("gap to the next transaction", rs, &SpeedResult::gap);
}

void valueRow(const std::string& label, const std::vector<SpeedResult>& rs,
              const ResultText& text) {
  std::string line = padded(label, kLabelWidth);
  for (const auto& r : rs) line += "  " + rightAligned(text(r), kSpeedWidth - 2) + "  ";
  std::cout << line << "\n";
}

void bothRow(const std::string& label, const std::vector<SpeedResult>& tool,
             const std::vector<SpeedResult>& plain, const ResultText& text) {
  std::string line = padded(label, kLabelWidth);
  for (std::size_t i = 0; i < tool.size() && i < plain.size(); ++i) {
    line += "  " + rightAligned(text(tool[i]) + "  (plain " + text(plain[i]) + ")", kSpeedWidth);
  }
  std::cout << line << "\n";
}

double ownPart(const SpeedResult& tool, const SpeedResult& plain) {
  return tool.abovePty.p50 - plain.abovePty.p50;
}

void ownPartRow(const std::vector<SpeedResult>& tool, const std::vector<SpeedResult>& plain) {
  // Tails differ from run to run by more than the lines do: p50 only.
  std::string line = padded("tool's line minus plain line, p50", kLabelWidth);
  for (std::size_t i = 0; i < tool.size() && i < plain.size(); ++i) {
    line += "  " + std::string(8, ' ') + cell(ownPart(tool[i], plain[i])) + std::string(16, ' ');
  }
  std::cout << line << "\n";
}

void totalRows(const std::vector<SpeedResult>& tool, const std::vector<SpeedResult>& plain) {
  const auto count = [](const SpeedResult& r) {
    return static_cast<double>(std::max<std::size_t>(1, r.exchanges));
  };
  bothRow("transactions measured", tool, plain,
          [](const SpeedResult& r) { return std::to_string(r.exchanges); });
  bothRow("errors / time-outs / link fault", tool, plain, [](const SpeedResult& r) {
    return std::to_string(r.counters.ErrorCount) + "/" + std::to_string(r.counters.TimeoutCount) +
           "/" + std::to_string(r.linkFault);
  });
  bothRow("reading wall time, s", tool, plain,
          [](const SpeedResult& r) { return cell(r.wallMs / 1000, 1, 1); });
  bothRow("processor time, % of wall", tool, plain,
          [](const SpeedResult& r) { return cell(100 * r.processorMs / r.wallMs, 1, 2) + " %"; });
  bothRow("processor time a transaction, us", tool, plain,
          [&](const SpeedResult& r) { return cell(1000 * r.processorMs / count(r), 1, 0); });
  bothRow("context switches a transaction", tool, plain, [&](const SpeedResult& r) {
    return cell(static_cast<double>(r.voluntarySwitches + r.involuntarySwitches) / count(r), 1, 1);
  });
}

}  // namespace vardis::bench
