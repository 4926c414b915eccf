#include "cli/serve_store.h"

#include "cli/dates.h"
#include "cli/history.h"
#include "store/dispatch.h"

namespace vardis::cli {

namespace {

// The most idle readers kept open between requests.
constexpr std::size_t kIdleReaders = 8;

web::StoreAnswer badRequest(std::string message) {
  return {400, std::move(message)};
}

// The bound of history over the API: a meter named, both ends given, the
// range no longer than its kind allows. Nothing when the question keeps it.
std::optional<web::StoreAnswer> historyRefusal(const CommandArgs& a, const CliOptions& o) {
  if (!a.serial && !a.node) return badRequest("/api/history needs serial or node: one meter");
  if (a.from.empty() || a.to.empty()) {
    return badRequest("/api/history needs from and to (YYYY-MM-DD)");
  }
  const CalendarDate today = pcToday(o);
  const CalendarDate from = resolveDate(a.from, today), to = resolveDate(a.to, today);
  const int most = a.kind == "hourly"    ? kHistoryHourlyDays
                   : a.kind == "monthly" ? kHistoryMonthlyDays
                                         : kHistoryDays;
  if (to < from) return badRequest("to " + isoDate(to) + " is before from " + isoDate(from));
  const long long days = daysBetween(from, to) + 1;
  if (days <= most) return std::nullopt;
  return badRequest("history " + a.kind + ": " + std::to_string(days) + " days from " +
                    isoDate(from) + " to " + isoDate(to) + "; one question covers at most " +
                    std::to_string(most) + " days");
}

}  // namespace

StoreAnswers::StoreAnswers(store::StoreLocation location, CliOptions options)
    : location_(std::move(location)), options_(std::move(options)) {}

std::unique_ptr<store::StoreReader> StoreAnswers::takeKept() {
  const std::lock_guard lock(mutex_);
  if (free_.empty()) return nullptr;
  auto r = std::move(free_.back());
  free_.pop_back();
  return r;
}

void StoreAnswers::giveBack(std::unique_ptr<store::StoreReader> reader) {
  // A connection to a server is worth keeping; a file is opened anew for
  // each question, so that one read as immutable (a folder this user may
  // only read) still shows what a round wrote since.
  if (!location_.postgres()) return;
  const std::lock_guard lock(mutex_);
  if (free_.size() < kIdleReaders) free_.push_back(std::move(reader));
}

web::StoreAnswer StoreAnswers::operator()(const web::StoreQuestion& q) {
  const CliCommand cmd{q.words.front(), {q.words.begin() + 1, q.words.end()}};
  std::string error;
  const auto args = parseCommandArgs(cmd, error);
  if (!args) return badRequest(error);
  if (cmd.name == "history") {
    if (auto refusal = historyRefusal(*args, options_)) return *refusal;
  }
  CliOptions o = options_;
  o.exportFormat = q.csv ? ExportFormat::Csv : ExportFormat::Json;
  o.exportFile.clear();
  o.columns.clear();
  // A kept connection may have outlived its server (restarted, or the
  // network gone for a while): its failure is asked again on a new one,
  // and the other kept ones are let go. The question only reads.
  if (auto kept = takeKept()) {
    try {
      return ask(std::move(kept), cmd, *args, o);
    } catch (const store::StoreError&) {
      const std::lock_guard lock(mutex_);
      free_.clear();
    }
  }
  try {
    return ask(std::make_unique<store::StoreReader>(location_), cmd, *args, o);
  } catch (const store::StoreError& e) {
    return {503, "the store cannot be read: " + store::maskPasswords(e.what())};
  }
}

web::StoreAnswer StoreAnswers::ask(std::unique_ptr<store::StoreReader> reader,
                                   const CliCommand& cmd, const CommandArgs& args,
                                   const CliOptions& o) {
  if (cmd.name == "rounds" && args.roundId &&
      !store::roundById(reader->database(), *args.roundId)) {
    giveBack(std::move(reader));
    return {404, "no round " + std::to_string(*args.roundId) + " in the store"};
  }
  const StoreCommandAnswer a = answerStoreCommand(reader->database(), cmd, o);
  giveBack(std::move(reader));
  if (a.answered) return {200, a.text};
  const bool noRound = a.text == "no round in the store";
  return {noRound ? 404 : 400, a.text};
}

}  // namespace vardis::cli
