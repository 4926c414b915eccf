#include "web/web_server.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "web/access.h"

namespace vardis::web {

namespace {

using Clock = std::chrono::steady_clock;

// When the request this thread answers came in (the log's time).
thread_local Clock::time_point t_started;
// What the log says besides the status: why a request was not let in.
thread_local std::string t_note;

constexpr const char* kJson = "application/json; charset=utf-8";

bool isApi(const std::string& path) {
  return path.rfind("/api/", 0) == 0;
}

// The pages one sees without the token: the login form and its look.
bool isPublic(const std::string& path) {
  return path == "/login" || path == "/static/style.css";
}

std::string errorJson(const std::string& message) {
  return nlohmann::json{{"error", message}}.dump(-1, ' ', false,
                                                 nlohmann::json::error_handler_t::replace) +
         "\n";
}

// The request as the log shows it: the parameters' values that look like
// secrets are not written.
std::string shownTarget(const httplib::Request& req) {
  std::string text = req.path;
  char sep = '?';
  for (const auto& [name, value] : req.params) {
    const bool secret = name.find("token") != std::string::npos ||
                        name.find("password") != std::string::npos || name == "key";
    text += sep + name + "=" + (secret ? "***" : value);
    sep = '&';
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return req.method == "POST" ? req.path : text;
}

// The file of the page at `path`, or 404; 304 when the browser has it.
void serveStatic(const StaticFiles& files, const httplib::Request& req, httplib::Response& res) {
  const StaticFile* f = files.find(req.path);
  if (!f) {
    res.status = 404;
    res.set_content("not found\n", "text/plain; charset=utf-8");
    return;
  }
  res.set_header("ETag", f->etag);
  res.set_header("Cache-Control", "no-cache");
  if (req.get_header_value("If-None-Match") == f->etag) {
    res.status = 304;
    return;
  }
  res.set_content(f->body, f->contentType);
}

}  // namespace

struct WebServer::Impl {
  ServerSettings settings;
  StoreAnswerer answer;
  LogLine log;
  StaticFiles files;
  Access access;
  httplib::Server http;
  int port = 0;

  Impl(ServerSettings s, StoreAnswerer a, LogLine l)
      : settings(std::move(s)),
        answer(std::move(a)),
        log(std::move(l)),
        files(settings.chartJs),
        access(settings.token) {}

  void refuse(const httplib::Request& req, httplib::Response& res) {
    const bool offered = req.has_header("Authorization") ||
                         !cookieValue(req.get_header_value("Cookie"), kSessionCookie).empty();
    t_note = offered ? "(wrong token)" : "(no token)";
    res.status = 401;
    if (isApi(req.path)) {
      res.set_header("WWW-Authenticate", "Bearer");
      res.set_content(errorJson("this view asks for its token: an Authorization: Bearer header "
                                "or the login form at /login"),
                      kJson);
      return;
    }
    const StaticFile* login = files.find("/login");
    res.set_content(login ? login->body : "401\n", "text/html; charset=utf-8");
  }

  void api(const httplib::Request& req, httplib::Response& res) {
    Parameters params(req.params.begin(), req.params.end());
    const auto q = questionOf(req.path, params, req.get_header_value("Accept"));
    res.set_header("Cache-Control", "no-store");
    if (const auto* r = std::get_if<Refusal>(&q)) {
      res.status = r->status;
      res.set_content(errorJson(r->message), kJson);
      return;
    }
    const auto& question = std::get<StoreQuestion>(q);
    const StoreAnswer a = answer(question);
    res.status = a.status;
    if (a.status != 200) {
      res.set_content(errorJson(a.body), kJson);
    } else if (question.csv) {
      res.set_header("Content-Disposition",
                     "attachment; filename=\"vardis-" + question.words.front() + ".csv\"");
      res.set_content(a.body, "text/csv; charset=utf-8");
    } else {
      res.set_content(a.body, kJson);
    }
  }

  void login(const httplib::Request& req, httplib::Response& res) {
    const auto session = access.login(req.get_param_value("token"));
    if (!session) {
      t_note = access.tokenRequired() ? "(wrong token)" : "(no token is asked)";
      res.status = access.tokenRequired() ? 401 : 303;
      if (!access.tokenRequired()) res.set_header("Location", "/");
      serveStatic(files, req, res);
      return;
    }
    res.status = 303;
    res.set_header("Location", "/");
    res.set_header("Set-Cookie", Access::cookieHeader(*session));
  }

  void logRequest(const httplib::Request& req, const httplib::Response& res) {
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t_started).count();
    char time[32];
    std::snprintf(time, sizeof time, "%.1f ms", ms);
    std::string line = req.remote_addr + " " + req.method + " " + shownTarget(req) + " " +
                       std::to_string(res.status) + " " + time;
    if (!t_note.empty()) line += " " + t_note;
    log(line);
  }

  void setUp() {
    http.set_default_headers({{"Content-Security-Policy", "default-src 'self'"},
                              {"X-Content-Type-Options", "nosniff"},
                              {"X-Frame-Options", "DENY"},
                              {"Referrer-Policy", "no-referrer"}});
    http.set_payload_max_length(8192);
    http.set_read_timeout(5);
    http.set_write_timeout(10);
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      t_started = Clock::now();
      t_note.clear();
      if (isPublic(req.path) ||
          access.allows(req.get_header_value("Authorization"), req.get_header_value("Cookie"))) {
        return httplib::Server::HandlerResponse::Unhandled;
      }
      refuse(req, res);
      return httplib::Server::HandlerResponse::Handled;
    });
    http.Get("/api/.*", [this](const auto& req, auto& res) { api(req, res); });
    http.Get(".*", [this](const auto& req, auto& res) { serveStatic(files, req, res); });
    http.Post("/login", [this](const auto& req, auto& res) { login(req, res); });
    http.set_exception_handler([](const auto&, auto& res, std::exception_ptr e) {
      std::string what = "the request failed";
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        what += std::string(": ") + x.what();
      } catch (...) {
      }
      res.status = 500;
      res.set_content(errorJson(what), kJson);
    });
    http.set_logger([this](const auto& req, const auto& res) { logRequest(req, res); });
  }
};

WebServer::WebServer(ServerSettings settings, StoreAnswerer answer, LogLine log)
    : impl_(std::make_unique<Impl>(std::move(settings), std::move(answer), std::move(log))) {
  impl_->setUp();
}

WebServer::~WebServer() = default;

bool WebServer::bind(std::string& error) {
  const auto& s = impl_->settings;
  errno = 0;
  if (s.port == 0) {
    impl_->port = impl_->http.bind_to_any_port(s.host);
  } else if (impl_->http.bind_to_port(s.host, s.port)) {
    impl_->port = s.port;
  }
  if (impl_->port > 0) return true;
  const int err = errno;
  error = "cannot listen on " + s.host + ":" + std::to_string(s.port) +
          (err != 0 ? std::string(": ") + std::strerror(err) : std::string());
  return false;
}

int WebServer::port() const {
  return impl_->port;
}

bool WebServer::hasChartJs() const {
  return impl_->files.hasChartJs();
}

bool WebServer::run() {
  return impl_->http.listen_after_bind();
}

void WebServer::stop() {
  impl_->http.stop();
}

}  // namespace vardis::web
