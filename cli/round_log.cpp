#include "cli/round_log.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/data_export.h"

namespace vardis::cli {

LiveTable::LiveTable(std::ostream& err, bool terminal, std::vector<store::RoundNodeRow> rows)
    : err_(err), terminal_(terminal), rows_(std::move(rows)), states_(rows_.size(), "waiting") {
  if (terminal_) redraw();
}

std::string LiveTable::line(std::size_t i) const {
  const auto& r = rows_[i];
  char head[64];
  std::snprintf(head, sizeof head, "%3d  ", r.node);
  std::string text = head + r.name + "  " + r.phone + "  " + states_[i];
  if (r.attempts > 0) text += " (attempt " + std::to_string(r.attempts) + ")";
  if (r.serial) text += "  meter " + std::to_string(*r.serial);
  return text;
}

void LiveTable::redraw() {
  if (drawn_) err_ << "\x1b[" << rows_.size() << "A";
  for (std::size_t i = 0; i < rows_.size(); ++i) err_ << "\r\x1b[2K" << line(i) << "\n";
  err_ << std::flush;
  drawn_ = true;
}

void LiveTable::show(std::size_t i, const store::RoundNodeRow& row, const std::string& state) {
  const std::lock_guard<std::mutex> lock(mutex_);
  rows_[i] = row;
  states_[i] = state;
  if (terminal_) {
    redraw();
  } else {
    err_ << "round: node " << line(i) << std::endl;
  }
}

void LiveTable::note(const std::string& message) {
  const std::lock_guard<std::mutex> lock(mutex_);
  err_ << "vardis-cli: " << message << std::endl;
  if (terminal_) drawn_ = false;  // the table starts again below the message
}

std::string roundSummary(const store::RoundRow& round) {
  int read = 0;
  double seconds = 0;
  for (const auto& n : round.nodes) {
    read += n.result == "read" ? 1 : 0;
    seconds += n.connectedSeconds;
  }
  char minutes[32];
  std::snprintf(minutes, sizeof minutes, "%.1f", seconds / 60);
  return std::to_string(read) + " of " + std::to_string(round.nodes.size()) + " nodes read, " +
         std::to_string(round.nodes.size() - static_cast<std::size_t>(read)) + " not; " + minutes +
         " connected minutes";
}

namespace {

const std::vector<std::string> kColumns{
    "node",         "name",   "phone",    "serial",   "result",      "attempts", "connectedSeconds",
    "transactions", "errors", "timeouts", "whatRead", "reportFiles", "port",     "message"};

std::vector<std::string> fields(const store::RoundNodeRow& n) {
  return {std::to_string(n.node),
          n.name,
          n.phone,
          n.serial ? std::to_string(*n.serial) : "",
          n.result,
          std::to_string(n.attempts),
          numberText(n.connectedSeconds),
          std::to_string(n.transactions),
          std::to_string(n.errors),
          std::to_string(n.timeouts),
          n.whatRead,
          n.reportFiles,
          n.port,
          n.message};
}

std::string csv(const store::RoundRow& round) {
  std::string out;
  auto line = [&out](const std::vector<std::string>& f) {
    for (std::size_t i = 0; i < f.size(); ++i) out += (i ? "," : "") + csvField(f[i]);
    out += "\r\n";
  };
  line(kColumns);
  for (const auto& n : round.nodes) line(fields(n));
  return out;
}

std::string json(const store::RoundRow& round) {
  using nlohmann::ordered_json;
  ordered_json nodes = ordered_json::array();
  for (const auto& n : round.nodes) {
    nodes.push_back({{"node", n.node},
                     {"name", n.name},
                     {"phone", n.phone},
                     {"serial", n.serial ? ordered_json(*n.serial) : ordered_json()},
                     {"result", n.result},
                     {"attempts", n.attempts},
                     {"connectedSeconds", n.connectedSeconds},
                     {"transactions", n.transactions},
                     {"errors", n.errors},
                     {"timeouts", n.timeouts},
                     {"whatRead", n.whatRead},
                     {"reportFiles", n.reportFiles},
                     {"port", n.port},
                     {"message", n.message}});
  }
  const ordered_json doc{{"started", round.started},       {"ended", round.ended},
                         {"ports", round.ports},           {"commands", round.commands},
                         {"summary", roundSummary(round)}, {"nodes", std::move(nodes)}};
  return doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string writeRoundLog(const std::filesystem::path& dataDir, const store::RoundRow& round,
                          std::string& error) {
  const auto folder = dataDir / "rounds";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string stamp = round.started;
  for (char& c : stamp) c = c == ':' ? '-' : (c == 'T' ? '_' : c);
  const auto base = folder / ("round-" + stamp);
  for (const auto& [ext, text] : {std::pair{".csv", csv(round)}, std::pair{".json", json(round)}}) {
    std::ofstream f(base.string() + ext, std::ios::binary | std::ios::trunc);
    f << text;
    if (!f.flush()) {
      error = "the round log " + base.string() + ext + " could not be written";
      return "";
    }
  }
  return base.string() + ".csv";
}

}  // namespace vardis::cli
