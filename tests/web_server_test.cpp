// The web view's server in-process, several clients at once. Not in the
// ThreadSanitizer build: Debian's cpp-httplib is built without it, and its
// own thread hand-offs would be reported as races.
#include "web/web_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vardis::web {
namespace {

// Several browsers at once: logins, sessions and questions on the server's
// threads, and a stop from another thread that ends the serving.
TEST(WebServerThreads, ConcurrentRequestsEachGetTheirAnswer) {
  std::atomic<int> asked{0};
  ServerSettings settings;
  settings.port = 0;
  settings.token = "a-token-of-sixteen-or-more";
  std::atomic<int> logged{0};
  WebServer server(
      settings,
      [&](const StoreQuestion& q) {
        ++asked;
        return StoreAnswer{200, "{\"words\": " + std::to_string(q.words.size()) + "}\n"};
      },
      [&](const std::string&) { ++logged; });
  std::string error;
  ASSERT_TRUE(server.bind(error)) << error;
  std::thread serving([&] { server.run(); });
  constexpr int kClients = 4, kEach = 15;
  std::vector<std::thread> clients;
  std::atomic<int> good{0};
  for (int k = 0; k < kClients; ++k) {
    clients.emplace_back([&] {
      httplib::Client c("127.0.0.1", server.port());
      for (int i = 0; i < kEach; ++i) {
        const auto login =
            c.Post("/login", "token=" + settings.token, "application/x-www-form-urlencoded");
        if (!login || login->status != 303) continue;
        const std::string cookie = login->get_header_value("Set-Cookie");
        const auto r = c.Get("/api/rounds/" + std::to_string(i + 1),
                             {{"Cookie", cookie.substr(0, cookie.find(';'))}});
        if (r && r->status == 200 && r->body == "{\"words\": 2}\n") ++good;
      }
    });
  }
  for (auto& t : clients) t.join();
  server.stop();
  serving.join();
  EXPECT_EQ(good.load(), kClients * kEach);
  EXPECT_EQ(asked.load(), kClients * kEach);
  EXPECT_EQ(logged.load(), 2 * kClients * kEach);
}

}  // namespace
}  // namespace vardis::web
