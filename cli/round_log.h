// What a round prints and leaves: the live table of the nodes on a terminal,
// and the log files of the round (CSV and JSON) in the data folder.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "store/reading_store.h"

namespace vardis::cli {

// The nodes' states while the round runs: redrawn in place on a terminal, one
// line a change otherwise.
class LiveTable {
 public:
  LiveTable(std::ostream& err, bool terminal, std::vector<store::RoundNodeRow> rows);
  void show(std::size_t i, const store::RoundNodeRow& row, const std::string& state);
  void note(const std::string& message);

 private:
  std::string line(std::size_t i) const;
  void redraw();

  std::ostream& err_;
  bool terminal_;
  std::vector<store::RoundNodeRow> rows_;
  std::vector<std::string> states_;
  bool drawn_ = false;
  std::mutex mutex_;
};

// "2 of 3 nodes read, 1 failed; 4.2 connected minutes".
std::string roundSummary(const store::RoundRow& round);

// Writes rounds/round-START.csv and .json; the CSV path, or "" with `error`.
std::string writeRoundLog(const std::filesystem::path& dataDir, const store::RoundRow& round,
                          std::string& error);

}  // namespace vardis::cli
