#include "web/api_routes.h"

#include <algorithm>
#include <array>

namespace vardis::web {

namespace {

// A parameter of the API and the option word of the command it becomes
// (none: the command's plain word, as history's kind).
struct Parameter {
  std::string_view name;
  std::string_view option;
};

struct Route {
  std::string_view path;
  std::string_view command;
  std::vector<Parameter> params;
};

const std::vector<Route>& routes() {
  static const std::vector<Route> list{
      {"/api/meters", "meters", {}},
      {"/api/rounds", "rounds", {}},
      {"/api/alarms",
       "alarms",
       {{"from", "--from"},
        {"to", "--to"},
        {"serial", "--serial"},
        {"node", "--node"},
        {"round", "--round"}}},
      {"/api/consumption",
       "consumption",
       {{"from", "--from"},
        {"to", "--to"},
        {"by", "--by"},
        {"serial", "--serial"},
        {"node", "--node"}}},
      {"/api/history",
       "history",
       {{"serial", "--serial"},
        {"node", "--node"},
        {"from", "--from"},
        {"to", "--to"},
        {"kind", ""}}},
  };
  return list;
}

Refusal refused(std::string message) {
  return Refusal{400, std::move(message)};
}

// Whether the answer is asked for as CSV; a refusal for a format the API has not.
std::variant<bool, Refusal> csvAsked(const Parameters& params, std::string_view accept) {
  for (const auto& [name, value] : params) {
    if (name != "format" || value.empty()) continue;
    if (value == "csv" || value == "json") return value == "csv";
    return refused("format=" + value + ": expected csv or json");
  }
  return accept.find("text/csv") != std::string_view::npos;
}

// The words of /api/rounds/ID and /api/rounds/last.
std::variant<StoreQuestion, Refusal> oneRound(std::string_view id) {
  if (id == "last") return StoreQuestion{{"rounds", "--last"}};
  const bool digits =
      !id.empty() && id.size() <= 10 &&
      std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) return Refusal{404, "no such round: /api/rounds/ID takes a round's number or last"};
  return StoreQuestion{{"rounds", std::string(id)}};
}

}  // namespace

std::variant<StoreQuestion, Refusal> questionOf(std::string_view path, const Parameters& params,
                                                std::string_view accept) {
  const auto csv = csvAsked(params, accept);
  if (const auto* r = std::get_if<Refusal>(&csv)) return *r;
  constexpr std::string_view kOneRound = "/api/rounds/";
  const bool roundById = path.substr(0, kOneRound.size()) == kOneRound;
  const auto route = std::find_if(routes().begin(), routes().end(), [&](const Route& r) {
    return r.path == (roundById ? "/api/rounds" : path);
  });
  if (route == routes().end()) return Refusal{404, "no such page of the API: " + std::string(path)};
  StoreQuestion q{{std::string(route->command)}};
  if (roundById) {
    auto one = oneRound(path.substr(kOneRound.size()));
    if (auto* r = std::get_if<Refusal>(&one)) return *r;
    q = std::get<StoreQuestion>(one);
  }
  std::string plainWord;
  std::vector<std::string_view> seen;
  for (const auto& param : params) {
    const std::string& name = param.first;
    const std::string& value = param.second;
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
      return refused("the parameter " + name + " is given twice");
    }
    seen.push_back(name);
    if (name == "format") continue;
    const auto p = std::find_if(route->params.begin(), route->params.end(),
                                [&](const Parameter& x) { return x.name == name; });
    if (p == route->params.end()) {
      return refused(std::string(path) + " takes no parameter " + name);
    }
    if (value.empty()) continue;
    // A value is never an option word of the command it goes to.
    if (value.front() == '-') return refused(name + "=" + value + ": not a value of " + name);
    if (p->option.empty()) {
      plainWord = value;
      continue;
    }
    q.words.emplace_back(p->option);
    q.words.push_back(value);
  }
  if (route->command == "history") {
    if (plainWord.empty()) {
      return refused(
          "/api/history needs kind: hourly, daily, monthly, values, params, clock or visits");
    }
    q.words.push_back(plainWord);
  }
  q.csv = std::get<bool>(csv);
  return q;
}

}  // namespace vardis::web
