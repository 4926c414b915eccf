#include "web/static_files.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace vardis::web {

namespace {

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The path a compiled-in file is served at: the page at "/" and "/login",
// the rest under /static/.
std::string servedPath(std::string_view name) {
  if (name == "index.html") return "/";
  if (name == "login.html") return "/login";
  return "/static/" + std::string(name);
}

}  // namespace

std::string contentTypeOf(std::string_view name) {
  if (endsWith(name, ".html")) return "text/html; charset=utf-8";
  if (endsWith(name, ".js")) return "text/javascript; charset=utf-8";
  if (endsWith(name, ".css")) return "text/css; charset=utf-8";
  if (endsWith(name, ".svg")) return "image/svg+xml";
  return "application/octet-stream";
}

std::string etagOf(std::string_view body) {
  std::uint64_t h = 14695981039346656037ULL;
  for (const unsigned char c : body) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  char text[24];
  std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(h));
  return text;
}

StaticFiles::StaticFiles(const std::filesystem::path& chartJs) {
  for (const auto& f : embeddedFiles()) {
    files_.push_back(
        {servedPath(f.name), contentTypeOf(f.name), std::string(f.body), etagOf(f.body)});
  }
  std::ifstream in(chartJs, std::ios::binary);
  std::ostringstream body;
  if (in && (body << in.rdbuf()) && !body.str().empty()) {
    files_.push_back({"/static/chart.js", contentTypeOf(".js"), body.str(), etagOf(body.str())});
    chartJs_ = true;
  }
}

const StaticFile* StaticFiles::find(std::string_view path) const {
  const auto it = std::find_if(files_.begin(), files_.end(),
                               [&](const StaticFile& f) { return f.path == path; });
  return it == files_.end() ? nullptr : &*it;
}

}  // namespace vardis::web
