// The store as the web view asks it: each question one of vardis-cli's
// store commands, on a reader of its own, bounded as the API promises.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "cli/options.h"
#include "store/store_location.h"
#include "store/store_reader.h"
#include "web/web_server.h"

namespace vardis::cli {

// history over the API: one meter, and at most this many days of a kind.
inline constexpr int kHistoryHourlyDays = 62;
inline constexpr int kHistoryDays = 366;
inline constexpr int kHistoryMonthlyDays = 3660;

class StoreAnswers {
 public:
  StoreAnswers(store::StoreLocation location, CliOptions options);
  // The answer to one question; called from several threads at once, each
  // on a reader of its own. A store that fails is 503 with its message;
  // a kept connection that fails is first replaced and asked again.
  web::StoreAnswer operator()(const web::StoreQuestion& q);

 private:
  // An idle reader kept from an earlier question, or nothing.
  std::unique_ptr<store::StoreReader> takeKept();
  // Throws the store's error; the reader is kept only when it answered.
  web::StoreAnswer ask(std::unique_ptr<store::StoreReader> reader, const CliCommand& cmd,
                       const CommandArgs& args, const CliOptions& o);
  void giveBack(std::unique_ptr<store::StoreReader> reader);

  store::StoreLocation location_;
  CliOptions options_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<store::StoreReader>> free_;
};

}  // namespace vardis::cli
