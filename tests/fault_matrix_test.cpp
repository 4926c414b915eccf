// Real readings through the simulated meter with each fault of the line: no
// crash, no hang, counters exactly as replayed from the simulator's log, the
// report complete, every value that got a good reply correct.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "archives/archive_reading.h"
#include "connection/report_naming.h"
#include "connection/status_line.h"
#include "format/cp1251.h"
#include "params/identification.h"
#include "params/parameter_report.h"
#include "support/fake_line.h"
#include "support/predicted_counters.h"
#include "support/pty_meter.h"

namespace vardis {
namespace {

constexpr int kYear = 2011;
constexpr int kMonth = 3;

std::size_t countLines(const std::string& bytes) {
  std::size_t n = 0;
  for (std::size_t pos = bytes.find("\r\n"); pos != std::string::npos;
       pos = bytes.find("\r\n", pos + 2)) {
    ++n;
  }
  return n;
}

struct FaultRun {
  test::TempDir dir;
  std::unique_ptr<PcClock> clock = makeFixedClock({2011, 4, 8, 9, 5, 0, 0});
  test::PtyMeter meter;
  QtSerialLine line;
  std::unique_ptr<Session> session;
  std::size_t logStart = 0;

  explicit FaultRun(bool quickDrain)
      : meter({}, [](sim::MeterModel& m) {
          m.setClock(1104080905, 0);
          m.setClockRunning(false);
        }) {
    std::filesystem::create_directories(dir.path() / "arc");
    SessionConfig cfg;
    cfg.dataDir = dir.path();
    session = std::make_unique<Session>(line, *clock, cfg);
    session->link.quickDrain = quickDrain;
    session->setBreathe([] { QCoreApplication::processEvents(); });
    session->setTrace([this](const std::string& l) { trace.push_back(l); });
    StartConnection(*session, {"0", meter.simulator->portPath(), 8, false});
    EXPECT_TRUE(session->reports.ReportFilesOpen);
  }

  // A failed run shows both ends of the line: what the tool did and what the
  // meter saw.
  ~FaultRun() {
    expectFullDrainAfterAFailure();
    if (!::testing::Test::HasFailure()) return;
    std::cerr << "tool's exchanges:\n";
    for (const auto& l : trace) std::cerr << "  " << l << "\n";
    std::cerr << "meter's log (the faulty run starts at request " << logStart + 1 << "):\n";
    for (const auto& e : meter.simulator->log()) std::cerr << "  " << e.describe() << "\n";
  }

  std::vector<std::string> trace;

  // In quick mode the first exchange without a good reply ends the quick
  // drain, said once; from there on every drain is the full one.
  void expectFullDrainAfterAFailure() const {
    if (!session->link.quickDrain) return;
    const auto isNote = [](const std::string& l) {
      return l.find(kQuickDrainEndedText) != std::string::npos;
    };
    const auto firstBad = std::find_if(trace.begin(), trace.end(),
                                       [](const std::string& l) { return l.ends_with(" bad"); });
    const auto note = std::find_if(trace.begin(), trace.end(), isNote);
    EXPECT_EQ(std::count_if(trace.begin(), trace.end(), isNote), firstBad == trace.end() ? 0 : 1);
    if (firstBad == trace.end()) return;
    EXPECT_EQ(note, firstBad + 1);
    for (auto it = note; it != trace.end(); ++it) {
      EXPECT_EQ(it->find("quick-drain<-"), std::string::npos) << *it;
    }
  }

  // Applies the fault and forgets what came before; counters start from 0.
  void fault(const sim::FaultOptions& f) {
    meter.simulator->setFaults(f);
    logStart = meter.requests().size();
    session->link.counters = {};
    session->link.LinkFault = 0;
  }

  test::Predicted predicted() {
    auto all = meter.requests();
    return test::predictCounters(
        std::vector<sim::LogEntry>(all.begin() + static_cast<std::ptrdiff_t>(logStart), all.end()));
  }

  void expectCounters(const test::Predicted& p) {
    EXPECT_EQ(session->link.counters.RequestCount, p.counters.RequestCount);
    EXPECT_EQ(session->link.counters.ErrorCount, p.counters.ErrorCount);
    EXPECT_EQ(session->link.counters.TimeoutCount, p.counters.TimeoutCount);
    EXPECT_EQ(session->link.LinkFault, p.counters.TimeoutCount > 0 ? 1 : 0);
  }

  std::string report(ReportKind kind) {
    session->reports.file(kind).commit();
    return test::readFile(session->reports.file(kind).path());
  }

  // Every monthly quantity that got a good reply holds the meter's value.
  void expectMonthlyValues(const test::Predicted& p) {
    for (const auto& [request, good] : p.outcomes) {
      if (!good || (request[2] != 11 && request[2] != 12)) continue;
      const int q = request[3];
      const std::uint32_t code = getU32(&request[5]);
      const double expected = meter.simulator->withModel(
          [&](sim::MeterModel& m) { return m.archiveValue(sim::RecordKind::Monthly, code, q); });
      const auto& a = session->archive;
      double stored = -1;
      if (request[2] == 11) {
        if (q <= 3) stored = a.Flow[static_cast<std::size_t>(q)][23];
        if (q == 4 || q == 6) stored = a.Heat[q == 4 ? 0u : 1u][23];
        if (q >= 9 && q <= 12) stored = a.Temperature[static_cast<std::size_t>(q - 9)][23];
        if (q >= 13 && q <= 16) stored = a.Pressure[static_cast<std::size_t>(q - 13)][23];
        if (q == 5 || q == 7 || q == 8) continue;  // read, not stored
      } else {
        if (q == 5 || q == 7) stored = a.RunTime[q == 5 ? 0u : 1u][23];
        if (q == 8) stored = a.MainsTime[23];
        if (q == 17) stored = a.AbnormalWord[23];
      }
      EXPECT_EQ(stored, expected) << "quantity " << q << " command " << int(request[2]);
    }
  }

  void monthly() {
    session->pickedDate = {kYear, kMonth, 15};
    ReadMonthlyArchive(*session);
  }
};

// Every case with the full drain and with the quick drain.
class FaultMatrix : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(Drain, FaultMatrix, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Quick" : "Full"; });

std::size_t monthlyLines(const Session& s) {
  return s.archive.AbnormalWord[23] != 0 ? 15 : 9;
}

TEST_P(FaultMatrix, DroppedReplies) {
  FaultRun run(GetParam());
  sim::FaultOptions f;
  f.dropEvery = 4;
  run.fault(f);
  run.monthly();
  const auto p = run.predicted();
  EXPECT_EQ(p.transactions, 21);
  EXPECT_GT(p.counters.ErrorCount, 0);
  run.expectCounters(p);
  run.expectMonthlyValues(p);
  EXPECT_EQ(countLines(run.report(ReportKind::Monthly)), monthlyLines(*run.session));
}

TEST_P(FaultMatrix, CorruptedReplies) {
  FaultRun run(GetParam());
  sim::FaultOptions f;
  f.corruptEvery = 3;
  run.fault(f);
  run.monthly();
  WriteParameterReport(*run.session);
  const auto p = run.predicted();
  EXPECT_EQ(p.transactions, 21 + 123);
  run.expectCounters(p);
  run.expectMonthlyValues(p);
  EXPECT_EQ(countLines(run.report(ReportKind::Monthly)), monthlyLines(*run.session));
  EXPECT_EQ(countLines(run.report(ReportKind::Parameters)), 62u);
  for (int i = 0; i <= 122; ++i) {
    const float v =
        run.meter.simulator->withModel([&](sim::MeterModel& m) { return m.parameter(i); });
    EXPECT_EQ(run.session->params.values[static_cast<std::size_t>(i)],
              v > 1000000.0f ? 0.0 : static_cast<double>(v))
        << i;
  }
}

TEST_P(FaultMatrix, SplitReplies) {
  FaultRun run(GetParam());
  sim::FaultOptions f;
  f.split = true;
  run.fault(f);
  run.monthly();
  const auto p = run.predicted();
  EXPECT_EQ(p.counters.ErrorCount, 0);
  run.expectCounters(p);
  run.expectMonthlyValues(p);
  EXPECT_EQ(countLines(run.report(ReportKind::Monthly)), monthlyLines(*run.session));
}

TEST_P(FaultMatrix, NoiseBeforeEveryReply) {
  FaultRun run(GetParam());
  sim::FaultOptions f;
  f.noise = true;
  run.fault(f);
  run.monthly();
  const auto p = run.predicted();
  EXPECT_EQ(p.transactions, 21);
  EXPECT_EQ(p.counters.TimeoutCount, 21);
  run.expectCounters(p);
  // The report is still complete, from whatever the buffer held.
  const std::string text = run.report(ReportKind::Monthly);
  EXPECT_EQ(countLines(text), monthlyLines(*run.session));
  // No success text after a reading whose every reply failed.
  EXPECT_EQ(run.session->operationStatus(), "Месячные: 21 значение без ответа");
}

TEST_P(FaultMatrix, HourlyReadingWithDroppedReplies) {
  FaultRun run(GetParam());
  sim::FaultOptions f;
  f.dropEvery = 50;
  run.fault(f);
  run.session->pickedDate = {2011, 4, 7};
  ReadHourlyArchive(*run.session);
  const auto p = run.predicted();
  EXPECT_EQ(p.transactions, 533);
  EXPECT_GT(p.counters.ErrorCount, 9);
  run.expectCounters(p);
  const std::string text = run.report(ReportKind::Hourly);
  const bool section = [&] {
    std::uint32_t any = 0;
    for (int h = 0; h < 24; ++h)
      any |= run.session->archive.AbnormalWord[static_cast<std::size_t>(h)];
    return static_cast<std::int32_t>(any) > 0;
  }();
  EXPECT_EQ(countLines(text), section ? 78u : 49u);
  // Hour values against the meter's records (the day's record overwrote row 7).
  for (int h = 0; h < 24; ++h) {
    if (h == 7) continue;
    const std::uint32_t code = 1104070000u + static_cast<std::uint32_t>(h) * 100u;
    const double t1 = run.meter.simulator->withModel(
        [&](sim::MeterModel& m) { return m.archiveValue(sim::RecordKind::Hourly, code, 9); });
    EXPECT_EQ(run.session->archive.Temperature[0][static_cast<std::size_t>(h)], t1) << h;
  }
}

TEST_P(FaultMatrix, RepliesLaterThanTheWaitAreDrainedByTheNextExchange) {
  FaultRun run(GetParam());
  sim::FaultOptions f;
  f.lateMs = 3012;  // lands in the 30 ms drain of the next exchange
  f.lateEvery = 7;
  run.fault(f);
  run.monthly();
  const auto p = run.predicted();
  EXPECT_EQ(p.transactions, 21);
  EXPECT_GE(p.counters.ErrorCount, 3);
  run.expectCounters(p);
  run.expectMonthlyValues(p);
  EXPECT_EQ(countLines(run.report(ReportKind::Monthly)), monthlyLines(*run.session));
}

// A meter that answers in 100 ms (as over a GSM call), one answer 3.06 s
// late: past the reply wait and past a plain drain after it. No value after
// it may belong to another request.
TEST_P(FaultMatrix, OneLateReplyShiftsNothingAfterIt) {
  FaultRun run(GetParam());
  sim::FaultOptions f;
  f.turnaroundMs = 100;
  f.lateMs = 2960;
  f.lateAt = static_cast<unsigned>(run.meter.requests().size()) + 6;
  run.fault(f);
  run.monthly();
  const auto p = run.predicted();
  EXPECT_EQ(p.counters.ErrorCount, 1);
  EXPECT_EQ(p.counters.TimeoutCount, 0);
  run.expectCounters(p);
  run.expectMonthlyValues(p);
  EXPECT_EQ(countLines(run.report(ReportKind::Monthly)), monthlyLines(*run.session));

  WriteParameterReport(*run.session);
  for (int i = 0; i <= 122; ++i) {
    const double expected =
        run.meter.simulator->withModel([&](sim::MeterModel& m) { return double(m.parameter(i)); });
    EXPECT_EQ(run.session->params.values[static_cast<std::size_t>(i)],
              expected > 1000000.0 ? 0.0 : expected)
        << "parameter " << i;
  }
  EXPECT_EQ(run.session->link.counters.ErrorCount, 1);
}

TEST_P(FaultMatrix, AdapterUnpluggedAndPluggedBackMidReading) {
  FaultRun run(GetParam());
  // The tool opens the adapter by a name that stays when the device comes back.
  const auto link = run.dir.path() / "ttyVARDIS";
  std::filesystem::create_symlink(run.meter.simulator->portPath(), link);
  run.session->StopConnection();
  StartConnection(*run.session, {"0", link.string(), 8, false});
  ASSERT_TRUE(run.session->reports.ReportFilesOpen);
  run.fault({});

  auto& trace = run.trace;
  trace.clear();
  // Pull the plug after the 8th request, put it back two exchanges later.
  int stage = 0;
  std::size_t badAtUnplug = 0;
  run.session->setBreathe([&] {
    QCoreApplication::processEvents();
    const auto bad = static_cast<std::size_t>(std::count_if(
        trace.begin(), trace.end(), [](const std::string& l) { return l.ends_with(" bad"); }));
    if (stage == 0 && run.meter.requests().size() >= run.logStart + 8) {
      run.meter.simulator->unplug();
      // The device node goes with the adapter. Left in place, the name would
      // point at a freed pseudo-terminal number that a test running beside
      // this one may get for its own meter.
      std::filesystem::remove(link);
      badAtUnplug = bad;
      stage = 1;
    } else if (stage == 1 && bad >= badAtUnplug + 2) {
      run.meter.simulator->replug();
      std::filesystem::create_symlink(run.meter.simulator->portPath(), link);
      stage = 2;
    }
  });
  run.monthly();
  EXPECT_EQ(stage, 2);
  EXPECT_GE(run.line.reopenCount(), 1);

  const auto bad = std::count_if(trace.begin(), trace.end(),
                                 [](const std::string& l) { return l.ends_with(" bad"); });
  const auto good = std::count_if(trace.begin(), trace.end(),
                                  [](const std::string& l) { return l.ends_with(" ok"); });
  EXPECT_EQ(good, 21);
  EXPECT_GE(bad, 2);
  EXPECT_EQ(run.session->link.counters.ErrorCount, bad);
  EXPECT_EQ(run.session->link.counters.RequestCount, 21 + bad);
  EXPECT_EQ(run.session->link.counters.TimeoutCount, 0);
  EXPECT_EQ(run.session->link.LinkFault, 0);
  // Every request the meter saw after the replug got its value stored.
  const auto p = run.predicted();
  run.expectMonthlyValues(p);
  EXPECT_EQ(countLines(run.report(ReportKind::Monthly)), monthlyLines(*run.session));
}

// A meter that never answers, on the scripted line: no real 33 s per transaction.
TEST_P(FaultMatrix, SilentMeterOnTheScriptedLine) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.path() / "arc");
  test::VirtualClock clock;
  test::FakeLine line{clock};
  SessionConfig cfg;
  cfg.dataDir = dir.path();
  Session s(line, clock, cfg);
  s.link.quickDrain = GetParam();
  s.link.port = "1";
  s.reports.createAll(dir.path() / "arc", "silent");
  s.reports.ReportFilesOpen = true;
  s.pickedDate = {2011, 3, 15};
  ReadMonthlyArchive(s);
  EXPECT_EQ(s.link.counters.RequestCount, 21 * 12);
  EXPECT_EQ(s.link.counters.ErrorCount, 21 * 11);
  EXPECT_EQ(s.link.counters.TimeoutCount, 21);
  EXPECT_EQ(s.link.LinkFault, 1);
  EXPECT_EQ(statusTexts(s).panel0, "Сбой связи !");
  s.reports.file(ReportKind::Monthly).commit();
  // The pre-fill word has bits set: the section is written.
  EXPECT_EQ(countLines(test::readFile(dir.path() / "arc" / "silent_mes.txt")), 15u);

  s.link.counters = {};
  WriteParameterReport(s);  // stops at the first failed read, writes the whole report
  EXPECT_EQ(s.link.counters.RequestCount, 12);
  EXPECT_EQ(s.link.counters.TimeoutCount, 1);
  s.reports.file(ReportKind::Parameters).commit();
  EXPECT_EQ(countLines(test::readFile(dir.path() / "arc" / "silent_par.txt")), 62u);
}

}  // namespace
}  // namespace vardis
