#include "cli/round_log.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <random>
#include <system_error>

#include "cli/data_export.h"
#include "store/dispatch.h"

namespace vardis::cli {

LiveTable::LiveTable(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}

void LiveTable::start(std::vector<store::RoundNodeRow> rows) {
  const std::lock_guard<std::mutex> lock(mutex_);
  rows_ = std::move(rows);
  states_.assign(rows_.size(), "waiting");
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].result != "stopped") states_[i] = rows_[i].result;
  }
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
  if (i >= rows_.size()) return;
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
  if (!noted_.insert(message).second) return;
  err_ << "vardis-cli: " << message << std::endl;
  if (terminal_) drawn_ = false;  // the table starts again below the message
}

std::string roundSummary(const RoundLog& log) {
  int read = 0;
  double seconds = 0;
  for (const auto& n : log.round.nodes) {
    read += n.result == "read" ? 1 : 0;
    seconds += n.connectedSeconds;
  }
  char minutes[32];
  std::snprintf(minutes, sizeof minutes, "%.1f", seconds / 60);
  const std::size_t total = log.round.nodes.size();
  std::string text = std::to_string(read) + " of " + std::to_string(total) + " nodes read, " +
                     std::to_string(total - static_cast<std::size_t>(read)) + " not; " + minutes +
                     " connected minutes; modems " +
                     (log.round.ports.empty() ? "none" : log.round.ports);
  std::string failed;
  for (const auto& m : log.modemsFailed) failed += (failed.empty() ? "" : " ") + m.port;
  if (!failed.empty()) text += "; not used: " + failed;
  if (log.id && log.metersWithAlarms.value_or(0) > 0) {
    const int n = *log.metersWithAlarms;
    text += "; " + std::to_string(n) + (n == 1 ? " meter" : " meters") +
            " with abnormal situations: vardis-cli alarms --round " + std::to_string(*log.id);
  }
  return text;
}

namespace {

const std::vector<std::string> kColumns{"node",
                                        "name",
                                        "phone",
                                        "serial",
                                        "result",
                                        "attempts",
                                        "connectedSeconds",
                                        "transactions",
                                        "errors",
                                        "timeouts",
                                        "whatRead",
                                        "reportFiles",
                                        "port",
                                        "message",
                                        "drain",
                                        "abnormal"};

// The intervals with abnormal situations node `i` of the log brought.
std::optional<int> abnormalOf(const RoundLog& log, std::size_t i) {
  return i < log.abnormal.size() ? log.abnormal[i] : std::nullopt;
}

std::vector<std::string> fields(const store::RoundNodeRow& n, std::optional<int> abnormal) {
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
          n.message,
          n.drain,
          abnormal ? std::to_string(*abnormal) : ""};
}

std::string csv(const RoundLog& log) {
  std::string out;
  auto line = [&out](const std::vector<std::string>& f) {
    for (std::size_t i = 0; i < f.size(); ++i) out += (i ? "," : "") + csvField(f[i]);
    out += "\r\n";
  };
  line(kColumns);
  for (std::size_t i = 0; i < log.round.nodes.size(); ++i) {
    line(fields(log.round.nodes[i], abnormalOf(log, i)));
  }
  return out;
}

std::string json(const RoundLog& log) {
  using nlohmann::ordered_json;
  const store::RoundRow& round = log.round;
  ordered_json nodes = ordered_json::array();
  for (std::size_t i = 0; i < round.nodes.size(); ++i) {
    const store::RoundNodeRow& n = round.nodes[i];
    const std::optional<int> abnormal = abnormalOf(log, i);
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
                     {"message", n.message},
                     {"drain", n.drain},
                     {"abnormal", abnormal ? ordered_json(*abnormal) : ordered_json()}});
  }
  ordered_json failed = ordered_json::array();
  for (const auto& m : log.modemsFailed) failed.push_back({{"port", m.port}, {"reason", m.why}});
  const ordered_json doc{{"id", log.id ? ordered_json(*log.id) : ordered_json()},
                         {"started", round.started},
                         {"ended", round.ended},
                         {"ports", round.ports},
                         {"modemsFailed", std::move(failed)},
                         {"address", round.address},
                         {"baud", round.baud},
                         {"commands", round.commands},
                         {"summary", roundSummary(log)},
                         {"store", log.storeProblem},
                         {"nodes", std::move(nodes)}};
  return doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

// Writes `text` into a file of its own beside `target`, then gives it the
// target's name only if that name is free: whole or absent, never over another.
bool writeNew(const std::filesystem::path& target, const std::string& text, bool& taken) {
  std::error_code ec;
  taken = std::filesystem::exists(target, ec);
  if (taken) return false;
  // A name of its own: another program may be writing a log of the same name now.
  const auto temp =
      std::filesystem::path(target.string() + ".part-" + std::to_string(std::random_device{}()));
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f << text;
    if (!f.flush()) {
      f.close();
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::filesystem::create_hard_link(temp, target, ec);
  taken = ec == std::errc::file_exists;
  std::error_code ignored;
  std::filesystem::remove(temp, ignored);
  return !ec;
}

}  // namespace

std::string writeRoundLog(const std::filesystem::path& dataDir, const RoundLog& log,
                          std::string& error) {
  const auto folder = dataDir / "rounds";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string stamp = log.round.started;
  for (char& c : stamp) c = c == ':' ? '-' : (c == 'T' ? '_' : c);
  const std::string csvText = csv(log);
  const std::string jsonText = json(log);
  for (int n = 1; n < 1000; ++n) {
    const std::string base =
        (folder / ("round-" + stamp + (n == 1 ? "" : "-" + std::to_string(n)))).string();
    bool taken = false;
    if (!writeNew(base + ".json", jsonText, taken)) {
      if (taken) continue;
      error = "the round log " + base + ".json could not be written";
      return "";
    }
    if (!writeNew(base + ".csv", csvText, taken)) {
      std::filesystem::remove(base + ".json", ec);
      if (taken) continue;
      error = "the round log " + base + ".csv could not be written";
      return "";
    }
    return base + ".csv";
  }
  error = "no free name for the round log in " + folder.string();
  return "";
}

RoundStore::RoundStore(const std::optional<store::StoreLocation>& location, LiveTable& table)
    : table_(table) {
  if (!location) return;
  try {
    store_ = std::make_unique<store::ReadingStore>(*location);
  } catch (const std::exception& e) {
    failed(e.what());
  }
}

RoundStore::~RoundStore() = default;

void RoundStore::failed(const std::string& what) {
  note(what + "; the round goes on without the store");
}

void RoundStore::note(const std::string& message) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!problem_.empty()) return;  // given up already, and said so
    problem_ = message;
  }
  table_.note(message);
}

bool RoundStore::givenUp() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return !problem_.empty();
}

bool RoundStore::readToday(const std::string& phone, const store::RoundRow& round) {
  if (!store_ || givenUp()) return false;
  try {
    return store_->nodeReadOn(phone, round.commands, round.address, round.baud,
                              round.started.substr(0, 10));
  } catch (const std::exception& e) {
    failed(e.what());
    store_.reset();
    return false;
  }
}

std::string RoundStore::keep(RoundLog& log) {
  if (store_ && !givenUp()) {
    try {
      const std::int64_t id = log.id ? *log.id : store_->storeRound(log.round);
      log.id = id;
      store::Database& db = store_->database();
      log.metersWithAlarms = store::metersWithAlarms(db, id);
      log.abnormal.clear();
      for (const auto& n : log.round.nodes) {
        std::optional<int> count;
        if (n.serial) {
          store::AlarmQuery q;
          q.serial = n.serial;
          q.round = id;
          count = static_cast<int>(store::alarms(db, q).size());
        }
        log.abnormal.push_back(count);
      }
    } catch (const std::exception& e) {
      failed(e.what());
    }
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  return problem_;
}

}  // namespace vardis::cli
