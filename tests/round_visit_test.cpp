// A modem of the round on its session, over a scripted GSM modem with a
// meter behind it, on the virtual clock: what an attempt at a node says, and
// which report files the attempts of a node leave.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "archives/session.h"
#include "connection/data_dir.h"
#include "round/node_visit.h"
#include "support/fake_meter.h"
#include "support/temp_dir.h"

namespace vardis::round {
namespace {

// A Hayes modem in front of a FakeMeter: CONNECT to every dial; "+++" and
// ATH answered "OK"; in the data state frames go to the meter, which may be
// silent, and call `dropCall` loses its carrier after `dropAfter` frames.
struct ScriptedGsm {
  test::FakeMeter meter;
  bool meterSilent = false;
  int dropCall = 0;
  int dropAfter = 0;
  int calls = 0;
  int framesInCall = 0;
  bool online = false;

  test::FakeLine::Responder responder() {
    auto toMeter = meter.responder();
    return [this, toMeter](const std::vector<std::uint8_t>& sent) -> std::vector<test::Chunk> {
      const std::string text(sent.begin(), sent.end());
      auto say = [](const std::string& s) {
        return std::vector<test::Chunk>{{100, std::vector<std::uint8_t>(s.begin(), s.end())}};
      };
      if (text.rfind("ATD", 0) == 0) {
        ++calls;
        framesInCall = 0;
        online = true;
        return say("\r\nCONNECT 9600\r\n");
      }
      if (text == "+++") return online ? say("\r\nOK\r\n") : std::vector<test::Chunk>{};
      if (text.find("ATH") != std::string::npos) {
        online = false;
        return say("\r\nOK\r\n");
      }
      if (!online || meterSilent) return {};
      if (calls == dropCall && ++framesInCall > dropAfter) {
        online = false;
        return say("\r\nNO CARRIER\r\n");
      }
      return toMeter(sent);
    };
  }
};

// The visit's one command: a clock reading.
class ClockVisit final : public VisitRunner {
 public:
  void run(Session& s, std::vector<bool>& done) override {
    runTransaction(s, Transaction::ReadClock);
    done[0] = true;
  }
};

struct Rig {
  test::VirtualClock clock;
  test::TempDir dir;
  ScriptedGsm gsm;
  test::FakeLine* line = nullptr;
  ModemFactory factory;

  Rig() {
    std::filesystem::create_directories(reportDir(dir.path()));
    gsm.meter.parameters[0] = 4242;
    SessionModems setup;
    setup.line = [this] {
      auto l = std::make_unique<test::FakeLine>(clock);
      l->responder = gsm.responder();
      line = l.get();
      return l;
    };
    setup.clock = &clock;
    setup.config.dataDir = dir.path();
    setup.options = {3, 60000, 60000};
    setup.runner = [](Session&, const std::string&) { return std::make_unique<ClockVisit>(); };
    factory = sessionModemFactory(std::move(setup));
  }
  std::size_t reportFileCount() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& f :
         std::filesystem::directory_iterator(reportDir(dir.path())))
      ++n;
    return n;
  }
};

const RoundNode kNode{1, "Котельная", "ATD+79000000001", "", false, ""};

TEST(RoundVisit, ACallWithoutAMeterBehindItIsNoMeterAndIsHungUp) {
  Rig rig;
  rig.gsm.meterSilent = true;
  auto modem = rig.factory("/dev/ttyUSB0");
  NodeLog log;
  log.done.assign(1, false);
  std::string why;
  ASSERT_EQ(modem->attempt(kNode, log, why, [](const std::string&) {}), AttemptEnd::Counted);
  EXPECT_EQ(log.result, NodeResult::NoMeter) << log.message;
  EXPECT_EQ(log.attempts, 1);
  EXPECT_FALSE(log.serial);
  EXPECT_EQ(rig.reportFileCount(), 0u);
  EXPECT_LT(rig.clock.ms, 60000) << "the verdict takes seconds";
  // The call is ended: the escape, then ATH, after the dial.
  std::string after;
  bool dialled = false;
  for (const auto& s : rig.line->sent) {
    const std::string t(s.begin(), s.end());
    dialled = dialled || t.rfind("ATD", 0) == 0;
    if (dialled && (t == "+++" || t == "ATH\r")) after += t;
  }
  EXPECT_EQ(after, "+++ATH\r");
}

TEST(RoundVisit, TheAttemptsOfANodeAppendToTheReportFilesOfItsFirst) {
  Rig rig;
  rig.gsm.dropCall = 1;
  rig.gsm.dropAfter = 8;  // the call goes right after the identification
  auto modem = rig.factory("/dev/ttyUSB0");
  NodeLog log;
  log.done.assign(1, false);
  std::string why;
  modem->attempt(kNode, log, why, [](const std::string&) {});
  EXPECT_EQ(log.result, NodeResult::NoCarrier) << log.message;
  const std::string first = log.reportFiles;
  ASSERT_FALSE(first.empty());
  rig.clock.advance(120000);  // the redial pause: another minute for the start stamp
  modem->attempt(kNode, log, why, [](const std::string&) {});
  EXPECT_EQ(log.result, NodeResult::Read) << log.message;
  EXPECT_EQ(log.attempts, 2);
  EXPECT_EQ(log.reportFiles, first);
  EXPECT_EQ(rig.reportFileCount(), 4u);
  EXPECT_EQ(*log.serial, 4242);
}

}  // namespace
}  // namespace vardis::round
