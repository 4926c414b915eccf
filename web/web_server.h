// The dispatcher's read-only web view: the page, its files and the API over
// the store, on one HTTP listener. The store is asked through an answerer
// (the store commands of vardis-cli); the server itself knows no store.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "web/api_routes.h"
#include "web/static_files.h"

namespace vardis::web {

// The store's answer to a question: the document (status 200), or the
// message of a question it does not answer (400, 404; 503 for a store that
// cannot be reached).
struct StoreAnswer {
  int status = 200;
  std::string body;
};
// Called from the server's threads, several at a time.
using StoreAnswerer = std::function<StoreAnswer(const StoreQuestion&)>;
// One line of the request log, without its line feed.
using LogLine = std::function<void(const std::string&)>;

struct ServerSettings {
  std::string host = "127.0.0.1";
  int port = 8080;    // 0: any free port (port() names it once bound)
  std::string token;  // empty: none asked
  std::filesystem::path chartJs = kChartJsPath;
};

class WebServer {
 public:
  WebServer(ServerSettings settings, StoreAnswerer answer, LogLine log);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Takes the listening address; false, with the reason in `error`, when it
  // cannot (taken, not an address of this host).
  bool bind(std::string& error);
  int port() const;
  bool hasChartJs() const;
  // Answers requests until stop(); false when the listener failed.
  bool run();
  // Ends run(): the requests under way are answered first. From any thread.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vardis::web
