// vardis-cli serve: the store's read-only web view, until a signal ends it.
#include "cli/serve.h"

#include <pthread.h>

#include <atomic>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>

#include "cli/serve_store.h"
#include "cli/store_option.h"
#include "connection/data_dir.h"
#include "web/web_server.h"

namespace vardis::cli {

namespace {

// ADDR:PORT or [IPv6]:PORT into `a`; false with the reason.
bool parseListen(const std::string& text, ServeArgs& a, std::string& error) {
  const std::size_t colon = text.rfind(':');
  std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
  const std::string port = colon == std::string::npos ? "" : text.substr(colon + 1);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const auto n = parseUnsigned(port);
  if (host.empty() || !n || *n > 65535 || port.size() > 5) {
    error = "serve --listen " + text + ": expected ADDRESS:PORT, e.g. 127.0.0.1:8080";
    return false;
  }
  a.host = host;
  a.port = static_cast<int>(*n);
  return true;
}

// The token: the file's first line without its blanks; false with the reason.
bool readToken(const std::string& file, std::string& token, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    error = "serve --token-file " + file + ": no such file";
    return false;
  }
  std::ifstream in(file);
  std::getline(in, token);
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!token.empty() && blank(token.back())) token.pop_back();
  while (!token.empty() && blank(token.front())) token.erase(0, 1);
  if (!in && !in.eof()) {
    error = "serve --token-file " + file + ": cannot be read";
    return false;
  }
  if (token.size() < 16) {
    error = "serve --token-file " + file +
            ": its first line must hold a token of 16 or more "
            "characters (e.g. from: openssl rand -hex 32)";
    return false;
  }
  return true;
}

std::string localTime() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

// Waits for SIGTERM or SIGINT (blocked in every thread of the server) and
// stops the server; ends without one once `done` is set.
void awaitSignal(web::WebServer& server, const std::atomic<bool>& done,
                 std::atomic<bool>& signalled, sigset_t set) {
  const timespec slice{0, 200'000'000};
  while (!done.load()) {
    if (sigtimedwait(&set, nullptr, &slice) > 0) {
      signalled = true;
      server.stop();
      return;
    }
  }
}

}  // namespace

bool loopbackHost(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

std::optional<ServeArgs> parseServeArgs(const CliCommand& cmd, std::string& error) {
  ServeArgs a;
  bool listenGiven = false;
  for (std::size_t i = 0; i < cmd.args.size(); ++i) {
    const std::string& w = cmd.args[i];
    const bool known = w == "--listen" || w == "--token-file";
    if (!known) return error = "serve " + w + ": unexpected", std::nullopt;
    if (i + 1 >= cmd.args.size()) {
      return error = "serve " + w + (w == "--listen" ? " needs ADDRESS:PORT" : " needs a file"),
             std::nullopt;
    }
    const std::string& value = cmd.args[++i];
    if ((w == "--listen" && listenGiven) || (w == "--token-file" && !a.tokenFile.empty())) {
      return error = "serve " + w + " is given twice", std::nullopt;
    }
    if (w == "--token-file") {
      a.tokenFile = value;
    } else if (listenGiven = true; !parseListen(value, a, error)) {
      return std::nullopt;
    }
  }
  if (!loopbackHost(a.host) && a.tokenFile.empty()) {
    error = "serve --listen " + a.host + ":" + std::to_string(a.port) +
            " opens the store to other machines: it needs --token-file FILE (only 127.0.0.1, "
            "::1 or localhost go without a token)";
    return std::nullopt;
  }
  return a;
}

int runServe(const CliOptions& o, std::ostream& err) {
  std::string error;
  const auto args = parseServeArgs(o.commands.front(), error);
  web::ServerSettings settings;
  if (args && !args->tokenFile.empty() && !readToken(args->tokenFile, settings.token, error)) {
    err << "vardis-cli: " << error << "\n";
    return 2;
  }
  if (!args) {
    err << "vardis-cli: " << error << "\n";
    return 2;
  }
  settings.host = args->host;
  settings.port = args->port;
  const auto dataDir = o.dataDir.empty() ? defaultDataDir() : std::filesystem::path(o.dataDir);
  store::StoreLocation location;
  try {
    location = cliStoreLocation(o, dataDir);
    store::StoreReader check(location);  // a store that cannot be read is named now
  } catch (const std::invalid_argument& e) {
    err << "vardis-cli: " << e.what() << "\n";
    return 2;
  } catch (const store::StoreError& e) {
    err << "vardis-cli: " << store::maskPasswords(e.what()) << "\n";
    return 1;
  }
  std::mutex logMutex;
  auto answers = std::make_shared<StoreAnswers>(location, o);
  const auto answer = [answers](const web::StoreQuestion& q) { return (*answers)(q); };
  web::WebServer server(settings, answer, [&](const std::string& line) {
    const std::lock_guard lock(logMutex);
    err << localTime() << " " << line << std::endl;
  });
  if (!server.bind(error)) {
    err << "vardis-cli: serve: " << error << "\n";
    return 1;
  }
  // The signals wait for the thread below, not for a handler in some
  // thread of the server's.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::atomic<bool> done{false}, signalled{false};
  std::thread signals(awaitSignal, std::ref(server), std::cref(done), std::ref(signalled), set);
  const std::string host =
      settings.host.find(':') != std::string::npos ? "[" + settings.host + "]" : settings.host;
  {
    const std::lock_guard lock(logMutex);
    err << "vardis-cli: serving " << store::shownLocation(location) << ", read-only, at http://"
        << host << ":" << server.port() << "/"
        << (settings.token.empty() ? "" : " (the token of " + args->tokenFile + " is asked)")
        << "; SIGTERM or Ctrl-C ends it" << std::endl;
    if (!server.hasChartJs()) {
      err << "vardis-cli: " << web::kChartJsPath
          << " is missing: the page draws no charts (Debian's libjs-chart.js has it)" << std::endl;
    }
  }
  const bool ran = server.run();
  done = true;
  signals.join();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  err << "vardis-cli: the web view ended" << std::endl;
  return ran || signalled ? 0 : 1;
}

}  // namespace vardis::cli
