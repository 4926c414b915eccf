// The web view's API: a request's path and parameters as a question in the
// words of vardis-cli's store commands (meters, rounds, alarms, consumption,
// history), so that each answer is the command's own `--format json` or
// `--format csv`. Nothing here reads the store.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vardis::web {

// A store command's words, e.g. {"alarms", "--from", "2026-12-01"}, and
// whether its answer is CSV (else JSON).
struct StoreQuestion {
  std::vector<std::string> words;
  bool csv = false;
  bool operator==(const StoreQuestion&) const = default;
};

// A request the API does not take: 404 for a path that is none of its own,
// 400 for a parameter it does not know, gives twice or with a bad value.
struct Refusal {
  int status = 400;
  std::string message;
};

// A request's query parameters, in order, as the server decoded them.
using Parameters = std::vector<std::pair<std::string, std::string>>;

// The question a request under /api/ asks. CSV with `?format=csv` or an
// Accept header that asks for text/csv; `format` wins over the header. An
// empty parameter counts as not given.
std::variant<StoreQuestion, Refusal> questionOf(std::string_view path, const Parameters& params,
                                                std::string_view accept);

}  // namespace vardis::web
