// The files the web view serves: the page, its script and its style, compiled
// into the program, and Chart.js read once from where Debian installs it. No
// path of a request ever reaches the file system: a request names one of
// these, or it is not found.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vardis::web {

// A file as it was compiled in (web_resources.cpp, made from web/page/).
struct EmbeddedFile {
  std::string_view name;  // "index.html"
  std::string_view body;
};
const std::vector<EmbeddedFile>& embeddedFiles();

struct StaticFile {
  std::string path;  // the request's path: "/", "/static/app.js"
  std::string contentType;
  std::string body;
  std::string etag;  // a strong validator of the body, quoted
};

// Where Debian's libjs-chart.js puts the script the page draws with.
inline constexpr const char* kChartJsPath = "/usr/share/javascript/chart.js/chart.min.js";

class StaticFiles {
 public:
  // The compiled-in files, and Chart.js when `chartJs` can be read (the page
  // then draws no charts and says so).
  explicit StaticFiles(const std::filesystem::path& chartJs);
  // The file served at `path`, or nullptr.
  const StaticFile* find(std::string_view path) const;
  bool hasChartJs() const { return chartJs_; }

 private:
  std::vector<StaticFile> files_;
  bool chartJs_ = false;
};

// The content type a file's name calls for.
std::string contentTypeOf(std::string_view name);

// The validator of a body: its FNV-1a hash, quoted.
std::string etagOf(std::string_view body);

}  // namespace vardis::web
