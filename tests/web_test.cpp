// The web view's API routes and its access check, without a server.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "web/access.h"
#include "web/api_routes.h"
#include "web/static_files.h"

namespace vardis::web {
namespace {

StoreQuestion asked(std::string_view path, const Parameters& p, std::string_view accept = "") {
  auto q = questionOf(path, p, accept);
  EXPECT_TRUE(std::holds_alternative<StoreQuestion>(q)) << std::get<Refusal>(q).message;
  return std::holds_alternative<StoreQuestion>(q) ? std::get<StoreQuestion>(q) : StoreQuestion{};
}
int refusedWith(std::string_view path, const Parameters& p) {
  auto q = questionOf(path, p, "");
  return std::holds_alternative<Refusal>(q) ? std::get<Refusal>(q).status : 200;
}

TEST(WebRoutes, ParametersBecomeTheCommandsWords) {
  EXPECT_EQ(asked("/api/history",
                  {{"kind", "hourly"}, {"serial", "7"}, {"from", "2026-12-01"}, {"to", ""}}),
            (StoreQuestion{{"history", "--serial", "7", "--from", "2026-12-01", "hourly"}, false}));
  EXPECT_EQ(asked("/api/rounds/12", {}), (StoreQuestion{{"rounds", "12"}, false}));
  EXPECT_EQ(asked("/api/rounds/last", {{"format", "csv"}}),
            (StoreQuestion{{"rounds", "--last"}, true}));
  EXPECT_TRUE(asked("/api/alarms", {}, "text/csv, */*;q=0.1").csv);
  EXPECT_FALSE(asked("/api/alarms", {{"format", "json"}}, "text/csv").csv);
}

TEST(WebRoutes, WhatTheApiDoesNotTakeIsRefused) {
  EXPECT_EQ(refusedWith("/api/history", {{"serial", "7"}}), 400);  // no kind
  EXPECT_EQ(refusedWith("/api/meters", {{"serial", "7"}}), 400);
  EXPECT_EQ(refusedWith("/api/alarms", {{"from", "a"}, {"from", "b"}}), 400);
  EXPECT_EQ(refusedWith("/api/alarms", {{"serial", "--node"}}), 400);
  EXPECT_EQ(refusedWith("/api/alarms", {{"format", "xml"}}), 400);
  EXPECT_EQ(refusedWith("/api/rounds/-1", {}), 404);
  EXPECT_EQ(refusedWith("/api/rounds/12345678901", {}), 404);
  EXPECT_EQ(refusedWith("/api/rounds/", {}), 404);
  EXPECT_EQ(refusedWith("/api/meters/", {}), 404);
}

TEST(WebAccess, TheTokenOrASessionOfTheLoginLetsIn) {
  Access open("");
  EXPECT_TRUE(open.allows("", ""));
  EXPECT_FALSE(open.login("anything"));
  Access guarded("s3cret-token-of-the-centre");
  EXPECT_FALSE(guarded.allows("", ""));
  EXPECT_FALSE(guarded.allows("Bearer s3cret-token-of-the-centr", ""));
  EXPECT_FALSE(guarded.allows("Basic s3cret-token-of-the-centre", ""));
  EXPECT_TRUE(guarded.allows("Bearer s3cret-token-of-the-centre", ""));
  EXPECT_FALSE(guarded.login("wrong"));
  const auto session = guarded.login("s3cret-token-of-the-centre");
  ASSERT_TRUE(session);
  EXPECT_TRUE(guarded.allows("", "theme=dark; vardis_session=" + *session));
  EXPECT_FALSE(guarded.allows("", "vardis_session=" + session->substr(1)));
  EXPECT_FALSE(guarded.allows("", "other_vardis_session=" + *session));
}

TEST(WebFiles, OnlyTheCompiledInFilesAndChartJsAreServed) {
  const StaticFiles files("/nonexistent/chart.js");
  EXPECT_FALSE(files.hasChartJs());
  ASSERT_TRUE(files.find("/"));
  EXPECT_EQ(files.find("/")->contentType, "text/html; charset=utf-8");
  EXPECT_NE(files.find("/")->body.find("ВАРДИС"), std::string::npos);
  EXPECT_TRUE(files.find("/static/app.js"));
  EXPECT_FALSE(files.find("/static/chart.js"));
  EXPECT_FALSE(files.find("/index.html"));
  EXPECT_FALSE(files.find("/static/../index.html"));
  EXPECT_NE(etagOf("a"), etagOf("b"));
}

// Logins and checks from several threads at once, as the server's threads make them.
TEST(WebAccess, SessionsHoldUnderConcurrentLogins) {
  Access access("a-token-of-sixteen-or-more");
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int k = 0; k < 4; ++k) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        const auto s = access.login("a-token-of-sixteen-or-more");
        if (s && access.allows("", "vardis_session=" + *s)) ++good;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), 400);
}

}  // namespace
}  // namespace vardis::web
