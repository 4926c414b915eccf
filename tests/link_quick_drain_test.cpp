// The quick drain on a scripted line: which drain each exchange gets, when it
// ends, and that the counters and values are those of the full drain.
#include <gtest/gtest.h>

#include <set>

#include "archives/session.h"
#include "link/meter_protocol.h"
#include "support/fake_line.h"

namespace vardis {
namespace {

using test::Chunk;
using test::FakeLine;
using test::VirtualClock;
using Bytes = std::vector<std::uint8_t>;

// What the front end is told: the memo line, then the notice.
struct Told : SessionObserver {
  std::vector<std::string> memo;
  int ended = 0;
  void memoLine(const std::string& line) override { memo.push_back(line); }
  void quickDrainEnded() override { ended += memo.size() == 1 ? 1 : 100; }
};

// A meter answering every request with its command byte plus 100, except the
// requests whose number (from 1) is in `silentAt`.
struct QuickRun {
  VirtualClock clock;
  FakeLine line{clock};
  Session session{line, clock, SessionConfig{}};
  MeterProtocol& link = session.link;
  std::set<int> silentAt;
  int requests = 0;
  Told told;
  std::vector<std::string> trace;

  explicit QuickRun(bool quick, std::set<int> silent = {}) : silentAt(std::move(silent)) {
    link.port = "1";
    link.quickDrain = quick;
    session.setObserver(&told);
    link.setTrace([this](const std::string& l) { trace.push_back(l); });
    line.responder = [this](const Bytes& sent) -> std::vector<Chunk> {
      if (sent.size() != kFrameLength || silentAt.count(++requests)) return {};
      const Frame reply = buildFrame(sent[1], sent[2], sent[3], sent[4], sent[2] + 100u);
      return {Chunk{5, Bytes(reply.begin(), reply.end())}};
    };
  }

  // The time-out of each exchange's first drain read (the reads before a reply wait).
  std::vector<std::uint16_t> drains() const {
    std::vector<std::uint16_t> out;
    bool drained = false;
    for (const std::uint16_t t : line.receiveTimeouts) {
      if (t != kReplyWaitMs && !drained) out.push_back(t);
      drained = t != kReplyWaitMs;
    }
    return out;
  }
};

void readSome(Session& s) {
  s.link.ReadClockTransaction();
  s.link.ReadParameterTransaction();
  s.link.ReadFloatValueTransaction();
  s.link.ReadIntegratorTransaction();
}

TEST(QuickDrain, OnlyAfterAWholeGoodReplyTheDrainTakesWhatWaits) {
  QuickRun full(false), quick(true);
  readSome(full.session);
  readSome(quick.session);
  EXPECT_EQ(full.drains(), (std::vector<std::uint16_t>{30, 70, 30, 30}));
  // The first exchange of a connection knows of no good reply yet.
  EXPECT_EQ(quick.drains(), (std::vector<std::uint16_t>{30, 0, 0, 0}));
  EXPECT_EQ(quick.told.ended, 0);
  EXPECT_FALSE(quick.link.quickDrainEnded());
  // The whole of the quick run took its replies' time, no drain wait.
  EXPECT_EQ(quick.clock.ms, 30 + 4 * 5);

  // A modem text leaves the next drain to wait for its answer.
  quick.link.sendRaw("AT\r");
  quick.link.ReadClockTransaction();
  EXPECT_EQ(quick.drains().back(), 30);
}

TEST(QuickDrain, TheFirstExchangeWithoutAGoodReplyEndsItOnceForTheConnection) {
  QuickRun full(false, {3, 6}), quick(true, {3, 6});
  for (QuickRun* r : {&full, &quick}) {
    readSome(r->session);
    readSome(r->session);
  }
  // Counters and values as with the full drain.
  EXPECT_EQ(quick.link.counters.RequestCount, full.link.counters.RequestCount);
  EXPECT_EQ(quick.link.counters.ErrorCount, 2);
  EXPECT_EQ(quick.link.counters.ErrorCount, full.link.counters.ErrorCount);
  EXPECT_EQ(quick.link.LinkFault, 0);
  // Quick until request 3 found no reply; then the full drains to the end.
  const auto d = quick.drains();
  ASSERT_EQ(d.size(), 10u);
  EXPECT_EQ((std::vector<std::uint16_t>(d.begin(), d.begin() + 3)),
            (std::vector<std::uint16_t>{30, 0, 0}));
  for (std::size_t i = 3; i < d.size(); ++i) EXPECT_GE(d[i], 30) << "exchange " << i + 1;
  EXPECT_TRUE(quick.link.quickDrainEnded());
  EXPECT_EQ(quick.told.memo, (std::vector<std::string>{kQuickDrainEndedText}));
  EXPECT_EQ(quick.told.ended, 1);
  const auto notes = std::count_if(quick.trace.begin(), quick.trace.end(), [](const auto& l) {
    return l.find(kQuickDrainEndedText) != std::string::npos;
  });
  EXPECT_EQ(notes, 1);
  // The trace names each drain: quick ones only before the note.
  const auto note = std::find_if(quick.trace.begin(), quick.trace.end(), [](const auto& l) {
    return l.find(kQuickDrainEndedText) != std::string::npos;
  });
  for (auto it = note; it != quick.trace.end(); ++it) {
    EXPECT_EQ(it->find("quick-drain<-"), std::string::npos) << *it;
  }

  // A new connection starts quick again.
  quick.link.newConnection();
  EXPECT_FALSE(quick.link.quickDrainEnded());
  readSome(quick.session);
  EXPECT_EQ(quick.drains().back(), 0);
}

TEST(QuickDrain, BytesAlreadyWaitingAreThrownAwayNotTakenForTheReply) {
  QuickRun quick(true);
  quick.link.ReadClockTransaction();
  // Stray bytes that came right behind the reply.
  quick.line.inject(quick.clock.ms, {0xA5, 0x5A, 0x00});
  quick.link.addr.valueIndex = 7;
  const Reply r = quick.link.ReadFloatValueTransaction();
  EXPECT_TRUE(r.good);
  EXPECT_EQ(r.raw, 104u);
  EXPECT_EQ(quick.link.counters.ErrorCount, 0);
  EXPECT_EQ(quick.line.pending(), 0u);
  EXPECT_NE(quick.trace.back().find("quick-drain<- [A5 5A 00]"), std::string::npos)
      << quick.trace.back();
}

}  // namespace
}  // namespace vardis
