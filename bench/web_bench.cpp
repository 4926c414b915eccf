#include "bench/web_bench.h"

#include <httplib.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <thread>

#include "bench/common.h"
#include "bench/table_text.h"
#include "cli/serve_store.h"
#include "store/missing.h"
#include "store/reading_store.h"
#include "web/web_server.h"

namespace vardis::bench {

namespace {

constexpr int kMeters = 100;
constexpr long long kFirstSerial = 30001;
constexpr int kRuns = 50;
constexpr double kApiTargetMs = 50;    // /api/rounds/ID and a week of hourly history, p50
constexpr double kPageTargetMs = 300;  // the page's first load, all its requests

std::string isoDay(int year, int dayOfYear) {
  store::Day d{year, 1, 1};
  for (int i = 0; i < dayOfYear; ++i) d = store::nextDay(d);
  return store::isoText(d);
}

// 100 meters, each the year's hourly and daily readings, and a round of
// their nodes that read their last day, every tenth node not read.
std::int64_t fillStore(const std::filesystem::path& file, const YearReadings& y) {
  store::ReadingStore s(file);
  const std::string started = isoDay(y.year, 0) + "T09:00:00";
  store::RoundRow round{isoDay(y.year, 364) + "T01:00:00",
                        isoDay(y.year, 364) + "T03:10:00",
                        "/dev/ttyUSB0",
                        "values hourly --missing daily --missing monthly",
                        0,
                        9600,
                        {}};
  for (int m = 0; m < kMeters; ++m) {
    const long long serial = kFirstSerial + m;
    const auto visit = s.beginVisit({started, "/dev/ttyUSB0", 9600, false});
    std::string formats = "8.3";
    for (int slot = 1; slot < 20; ++slot) formats += ",8.3";
    const auto meter = s.meter({serial, 0, "GJ", false, formats}, visit, started);
    for (const auto& d : y.hourly) s.storeArchive(meter, visit, d.integratorsAt + "T23:30:00", d);
    for (const auto& d : y.daily) s.storeArchive(meter, visit, d.integratorsAt + "T23:30:00", d);
    store::RoundNodeRow n;
    n.node = m + 1;
    n.name = "Узел " + std::to_string(m + 1);
    n.phone = "ATD+7900100" + std::to_string(1000 + m);
    const bool failed = m % 10 == 9;
    n.serial = failed ? std::nullopt : std::optional<long long>(serial);
    n.result = failed ? "no answer" : "read";
    n.message = failed ? "dialled " + n.phone + ": NO ANSWER" : "";
    n.attempts = failed ? 3 : 1;
    n.whatRead = failed ? "" : "values hourly daily monthly";
    n.port = "/dev/ttyUSB0";
    round.nodes.push_back(n);
  }
  return s.storeRound(round);
}

// Milliseconds of each run of `paths`, asked one after the other over one
// connection; right when every answer was 200.
StoreTimes timedRequests(httplib::Client& c, const std::vector<std::vector<std::string>>& runs) {
  std::vector<double> t;
  bool right = true;
  for (const auto& paths : runs) {
    const Clock::time_point start = Clock::now();
    for (const auto& p : paths) {
      const auto r = c.Get(p);
      right = right && r && r->status == 200 && !r->body.empty();
    }
    t.push_back(ms(Clock::now() - start));
  }
  return timesOf(std::move(t), right);
}

}  // namespace

WebResult measureWeb(const Options&) {
  WebResult r;
  const YearReadings y = yearReadings();
  r.year = y.year;
  r.meters = kMeters;
  TempFolder folder;
  const auto file = store::storeFile(folder.path());
  const Clock::time_point filling = Clock::now();
  const std::int64_t round = fillStore(file, y);
  r.fillSeconds = ms(Clock::now() - filling) / 1000;
  cli::CliOptions options;
  options.dataDir = folder.path().string();
  const auto answers =
      std::make_shared<cli::StoreAnswers>(store::parseStoreLocation({}, folder.path()), options);
  web::ServerSettings settings;
  settings.port = 0;
  web::WebServer server(
      settings, [answers](const web::StoreQuestion& q) { return (*answers)(q); },
      [](const std::string&) {});
  std::string error;
  if (!server.bind(error)) throw std::runtime_error(error);
  std::thread serving([&] { server.run(); });
  httplib::Client c("127.0.0.1", server.port());
  std::vector<std::vector<std::string>> rounds, weeks, pages, meterPages;
  for (int i = 0; i < kRuns; ++i) {
    const std::string serial = std::to_string(kFirstSerial + (i * 7) % kMeters);
    const int start = (i * 37) % 350;
    const std::string week =
        "serial=" + serial + "&from=" + isoDay(y.year, start) + "&to=" + isoDay(y.year, start + 6);
    rounds.push_back({"/api/rounds/" + std::to_string(round)});
    weeks.push_back({"/api/history?kind=hourly&" + week});
    pages.push_back({"/", "/static/style.css", "/static/chart.js", "/static/charts.js",
                     "/static/app.js", "/api/rounds/last", "/api/alarms", "/api/meters"});
    meterPages.push_back(
        {"/api/meters", "/api/history?kind=hourly&" + week, "/api/consumption?" + week});
  }
  r.round = timedRequests(c, rounds);
  r.week = timedRequests(c, weeks);
  r.page = timedRequests(c, pages);
  r.meterPage = timedRequests(c, meterPages);
  r.pageRequests = static_cast<int>(pages.front().size());
  server.stop();
  serving.join();
  return r;
}

void printWeb(const WebResult& r) {
  const auto row = [](const char* what, const StoreTimes& t, double target) {
    std::cout << "  " << padded(what, 46) << cell(t.p50, 8, 2) << cell(t.max, 8, 2)
              << (target > 0 ? "  target <= " + cell(target, 1, 0) + ": " +
                                   verdict(t.right && t.p50 <= target)
                             : std::string(t.right ? "" : "  (a request failed)"))
              << "\n";
  };
  std::cout << "the web view (vardis-cli serve) on loopback: a store of " << r.meters
            << " meters with the hourly and daily records of " << r.year
            << " each and a round of their nodes (filled in " << cell(r.fillSeconds, 1, 0)
            << " s); " << r.round.runs << " runs a case, one client, one request at a time\n"
            << "  " << padded("", 46) << rightAligned("p50, ms", 8) << rightAligned("max", 8)
            << "\n";
  row("/api/rounds/ID (100 nodes)", r.round, kApiTargetMs);
  row("/api/history: a meter's week of hourly records", r.week, kApiTargetMs);
  row(("the page's first load (" + std::to_string(r.pageRequests) + " requests)").c_str(), r.page,
      kPageTargetMs);
  row("a meter's page (meters, its week, consumption)", r.meterPage, 0);
}

}  // namespace vardis::bench
