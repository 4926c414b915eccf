// The real serial line against the simulated meter on a pseudo-terminal: every
// transaction kind, and the counters under each fault of the line.
#include <gtest/gtest.h>

#include "archives/archive_store.h"
#include "connection/status_line.h"
#include "link/pc_clock.h"
#include "support/pty_meter.h"
#include "values/device_clock.h"

namespace vardis {
namespace {

using test::LineSession;
using test::PtyMeter;

struct E2E : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<PcClock> clock = makeSystemClock();
};

TEST_F(E2E, EveryTransactionKindReturnsTheMetersValue) {
  PtyMeter meter({}, [](sim::MeterModel& m) {
    m.pinParameter(9, 1.0f);
    m.pinParameter(77, 1000000.0625f);
    m.pinFloatValue(4, 71.25f);
    m.pinCounter(24, 0xFFFFFFFFu);
    m.setClock(1104080905, 7);
    m.setClockRunning(false);
    m.pinArchive(sim::RecordKind::Hourly, 1104080500, 0, 12.5);
    m.pinArchive(sim::RecordKind::Hourly, 1104080500, 17, 4096);
    m.pinArchive(sim::RecordKind::DayEndTotals, 1104082300, 8, 3000000000.0);
  });
  LineSession ls(meter.simulator->portPath(), dir.path(), *clock);
  Session& s = *ls.session;
  auto& a = s.link.addr;

  a.valueIndex = 9;
  runTransaction(s, Transaction::ReadParameter);
  EXPECT_EQ(s.params.values[9], 1.0);
  a.valueIndex = 77;
  runTransaction(s, Transaction::ReadParameter);
  EXPECT_EQ(s.params.values[77], 0.0);  // above 1000000
  a.valueIndex = 4;
  runTransaction(s, Transaction::ReadFloatValue);
  EXPECT_EQ(s.values.floats[4], 71.25);
  a.valueIndex = 24;
  runTransaction(s, Transaction::ReadCounterValue);
  EXPECT_EQ(s.values.counters[24], 4294967295.0);
  runTransaction(s, Transaction::ReadClock);
  EXPECT_EQ(a.dateTime, 1104080905u);
  EXPECT_EQ(a.seconds, 7);

  a.RecordKind = 0;
  a.dateTime = 1104080500;
  a.ArchiveRow = 5;
  a.QuantityIndex = 0;
  runTransaction(s, Transaction::ReadArchiveFloat);
  EXPECT_EQ(s.archive.Flow[0][5], 12.5);
  a.QuantityIndex = 17;
  runTransaction(s, Transaction::ReadArchiveInteger);
  EXPECT_EQ(s.archive.AbnormalWord[5], 4096u);
  a.RecordKind = 3;
  a.dateTime = 1104082300;
  a.QuantityIndex = 8;
  runTransaction(s, Transaction::ReadIntegrator);
  EXPECT_EQ(s.archive.MainsTimeTotal[5], 3000000000.0);

  a.seconds = 58;
  a.dateTime = 1112312359;
  runTransaction(s, Transaction::SetClock);
  ASSERT_TRUE(meter.simulator->waitForLog(9, std::chrono::seconds(5)));
  const auto log = meter.requests();
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log.back().command, 0);
  EXPECT_EQ(log.back().index1, 58);
  EXPECT_EQ(log.back().argument, 1112312359u);
  runTransaction(s, Transaction::ReadClock);
  EXPECT_EQ(a.dateTime, 1112312359u);

  EXPECT_EQ(s.link.counters.RequestCount, 10);
  EXPECT_EQ(s.link.counters.ErrorCount, 0);
  EXPECT_EQ(s.link.LinkFault, 0);
}

// Reads parameters 0..n-1 and checks the counters against the simulator's log:
// every request whose reply could not pass the check is one error and one more
// request; the values are the meter's.
void readAndCheck(PtyMeter& meter, Session& s, int n) {
  for (int i = 0; i < n; ++i) {
    s.link.addr.valueIndex = static_cast<std::uint8_t>(i);
    runTransaction(s, Transaction::ReadParameter);
  }
  const auto log = meter.requests();
  int failed = 0;
  for (const auto& e : log) failed += e.replyPassesCheck() ? 0 : 1;
  EXPECT_EQ(static_cast<int>(log.size()), n + failed);
  EXPECT_EQ(s.link.counters.ErrorCount, failed);
  EXPECT_EQ(s.link.counters.RequestCount, n + failed);
  EXPECT_EQ(s.link.counters.TimeoutCount, 0);
  EXPECT_EQ(s.link.LinkFault, 0);
  for (int i = 0; i < n; ++i) {
    const float expected =
        meter.simulator->withModel([&](sim::MeterModel& m) { return m.parameter(i); });
    const double stored = expected > 1000000.0f ? 0.0 : static_cast<double>(expected);
    EXPECT_EQ(s.params.values[static_cast<std::size_t>(i)], stored) << i;
  }
}

TEST_F(E2E, DropEveryThirdCostsOneErrorEach) {
  sim::FaultOptions f;
  f.dropEvery = 3;
  PtyMeter meter(f);
  LineSession ls(meter.simulator->portPath(), dir.path(), *clock);
  readAndCheck(meter, *ls.session, 5);
  // Requests 3 and 6 were dropped: two errors.
  EXPECT_EQ(ls.session->link.counters.ErrorCount, 2);
}

TEST_F(E2E, CorruptEverySecondCostsOneErrorEach) {
  sim::FaultOptions f;
  f.corruptEvery = 2;
  PtyMeter meter(f);
  LineSession ls(meter.simulator->portPath(), dir.path(), *clock);
  readAndCheck(meter, *ls.session, 4);
  // 1 ok, 2 bad, 3 ok, 4 bad, 5 ok, 6 bad, 7 ok: four transactions, three errors.
  EXPECT_EQ(ls.session->link.counters.ErrorCount, 3);
}

TEST_F(E2E, SplitAndLateRepliesStillPass) {
  sim::FaultOptions f;
  f.split = true;
  f.lateMs = 300;
  PtyMeter meter(f);
  LineSession ls(meter.simulator->portPath(), dir.path(), *clock);
  readAndCheck(meter, *ls.session, 6);
  EXPECT_EQ(ls.session->link.counters.ErrorCount, 0);
}

TEST_F(E2E, NoiseBeforeEveryReplyExhaustsTheAttempts) {
  sim::FaultOptions f;
  f.noise = true;
  PtyMeter meter(f);
  LineSession ls(meter.simulator->portPath(), dir.path(), *clock);
  Session& s = *ls.session;
  s.link.addr.valueIndex = 9;
  runTransaction(s, Transaction::ReadParameter);
  EXPECT_EQ(s.link.counters.RequestCount, 12);
  EXPECT_EQ(s.link.counters.ErrorCount, 11);
  EXPECT_EQ(s.link.counters.TimeoutCount, 1);
  EXPECT_EQ(s.link.LinkFault, 1);
  ASSERT_TRUE(meter.simulator->waitForLog(11, std::chrono::seconds(5)));
  EXPECT_EQ(meter.requests().size(), 11u);
  // The buffer holds the last 11 bytes received: noise, then the reply's start.
  const auto last = meter.requests().back();
  ASSERT_TRUE(last.reply.has_value());
  EXPECT_EQ(s.link.ReplyBuffer[3], (*last.reply)[0]);
  EXPECT_EQ(s.link.ReplyBuffer[10], (*last.reply)[7]);
}

TEST_F(E2E, StrayBytesOfTheLineAreDrainedBeforeEachRequest) {
  sim::FaultOptions f;
  f.noise = true;
  PtyMeter meter(f);
  LineSession ls(meter.simulator->portPath(), dir.path(), *clock);
  Session& s = *ls.session;
  s.link.addr.valueIndex = 0;
  runTransaction(s, Transaction::ReadParameter);  // leaves three reply bytes on the line
  meter.simulator->setFaults({});
  const int before = s.link.counters.ErrorCount;
  s.link.addr.valueIndex = 3;
  runTransaction(s, Transaction::ReadParameter);
  EXPECT_EQ(s.link.counters.ErrorCount, before);
  const float expected =
      meter.simulator->withModel([](sim::MeterModel& m) { return m.parameter(3); });
  EXPECT_EQ(s.params.values[3], static_cast<double>(expected));
}

TEST_F(E2E, IdentificationOverTheLine) {
  std::filesystem::create_directories(dir.path() / "arc");
  PtyMeter meter;
  test::TempDir unused;
  auto fixed = makeFixedClock({2011, 4, 8, 9, 5, 0, 0});
  QtSerialLine line;
  SessionConfig cfg;
  cfg.dataDir = dir.path();
  Session s(line, *fixed, cfg);
  s.setBreathe([] { QCoreApplication::processEvents(); });
  StartConnection(s, {"0", meter.simulator->portPath(), 8, false});
  EXPECT_TRUE(s.reports.ReportFilesOpen);
  EXPECT_EQ(s.shown().reportBaseName, "12345D2011_04_08_09_05");
  const StatusTexts t = statusTexts(s);
  EXPECT_EQ(t.panel0, "№ запроса=8");
  EXPECT_EQ(t.panel1, "Кол.таймаутов=0");
  EXPECT_EQ(t.panel2, "Кол.ошибок=0");
  EXPECT_EQ(t.panel3, "Параметры записаны");
  s.StopConnection();
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "arc" / "12345D2011_04_08_09_05_mes.txt"));
}

// An adapter pulled out and not put back: each wait fails without spinning the
// processor, and the line opens the device again once it is back.
TEST_F(E2E, AVanishedDeviceIsWaitedOutWithoutSpinningAndReopenedWhenBack) {
  PtyMeter meter;
  const auto name = dir.path() / "ttyVARDIS";
  std::filesystem::create_symlink(meter.simulator->portPath(), name);
  QtSerialLine line;
  int breathes = 0;
  line.setBreathe([&] { ++breathes; });
  const PortName port = name.string();
  line.Open_Com(port, 115200, 8, 0, 0);
  ASSERT_EQ(line.lastOpenError(), "");
  const Frame request = buildFrame(0, 5, 0, 0, 0);
  auto exchange = [&](std::uint16_t waitMs) {
    std::array<std::uint8_t, 64> reply{};
    std::uint16_t word = 0;
    line.Send_Binary(port, request.data(), request.size());
    return line.Receive_Binary(port, reply.data(), waitMs, kFrameLength, &word);
  };
  EXPECT_EQ(exchange(3000), kFrameLength);

  // The device node goes with the adapter.
  meter.simulator->unplug();
  std::filesystem::remove(name);
  constexpr std::uint16_t kWaitMs = 500;
  for (int i = 0; i < 3; ++i) {
    breathes = 0;
    EXPECT_EQ(exchange(kWaitMs), 0) << "exchange " << i;
    // A read that fails at once, tried again and again, would breathe
    // thousands of times in the wait.
    EXPECT_LE(breathes, kWaitMs / QtSerialLine::kWaitSliceMs + 3) << "exchange " << i;
  }
  EXPECT_EQ(line.reopenCount(), 0);
  EXPECT_NE(line.lastOpenError(), "");

  meter.simulator->replug();
  std::filesystem::create_symlink(meter.simulator->portPath(), name);
  EXPECT_EQ(exchange(3000), kFrameLength);
  EXPECT_EQ(line.reopenCount(), 1);
  line.Close_Com(port);
}

// "Время ПК в прибор" over the line: one reading of the PC clock, its whole
// seconds and minute packed into the set-clock request; the meter's clock
// then reads back what the PC had.
TEST_F(E2E, SettingTheMetersClockFromThePcAndReadingItBack) {
  PtyMeter meter({}, [](sim::MeterModel& m) { m.setClockRunning(false); });
  const auto pc = makeFixedClock({2011, 12, 31, 23, 59, 58, 900});
  LineSession ls(meter.simulator->portPath(), dir.path(), *pc);
  Session& s = *ls.session;

  SetDeviceClock(s);
  const auto log = meter.requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log.back().command, 0);
  EXPECT_EQ(log.back().index1, 58);
  EXPECT_EQ(log.back().argument, 1112312359u);
  const auto kept = meter.simulator->withModel([](sim::MeterModel& m) { return m.clock(); });
  EXPECT_EQ(kept.packed, 1112312359u);
  EXPECT_EQ(kept.seconds, 58);

  ReadDeviceClock(s);
  EXPECT_EQ(s.shown().clockDate, "Дата:  2011.12.31 ");
  EXPECT_EQ(s.shown().clockTime, "Время:  23:59:58");
  EXPECT_EQ(s.link.counters.ErrorCount, 0);
}

}  // namespace
}  // namespace vardis
