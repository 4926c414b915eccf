// Connection control: start-up, "Старт", "Стоп" and the status line texts.
#include <gtest/gtest.h>

#include <limits>

#include "archives/session.h"
#include "connection/status_line.h"
#include "link/port_text.h"
#include "params/identification.h"
#include "support/fake_line.h"

namespace vardis {
namespace {

using test::FakeLine;
using test::VirtualClock;

struct Recorder : SessionObserver {
  std::vector<std::string> events;
  void connectionStarted() override { events.push_back("started"); }
  void memoLine(const std::string& l) override { events.push_back("memo:" + l); }
};

struct SessionFixture : ::testing::Test {
  VirtualClock clock;
  FakeLine line{clock};
  Session session{line, clock, SessionConfig{}};
  Recorder rec;
  void SetUp() override { session.setObserver(&rec); }
};

TEST_F(SessionFixture, WindowCreationOpensPortOneAt9600Once) {
  session.windowCreated();
  EXPECT_EQ(line.calls, (std::vector<std::string>{"Open_Com(1,9600,8,0,0)"}));
  EXPECT_EQ(session.link.port, "0");
  EXPECT_EQ(session.link.ExpectedReplyLength, 11);
  EXPECT_EQ(session.link.ReceiveTimeWord, 200);
  EXPECT_EQ(session.operationStatus(), "_");
}

TEST_F(SessionFixture, ClosingBeforeAnyStartClosesPortZero) {
  session.windowClosing();
  EXPECT_EQ(line.calls, (std::vector<std::string>{"Close_Com(0)"}));
}

TEST_F(SessionFixture, StartClosesThreeTimesThenOpensAtTheChosenSpeed) {
  session.link.counters = {5, 6, 7};
  session.link.LinkFault = 1;
  StartConnection(session, {"1", "3", 4, true});
  EXPECT_EQ(line.calls, (std::vector<std::string>{"Close_Com(3)", "Close_Com(3)", "Close_Com(3)",
                                                  "Open_Com(3,9600,8,0,0)"}));
  EXPECT_EQ(session.link.counters.RequestCount, 0);
  EXPECT_EQ(session.link.counters.ErrorCount, 0);
  EXPECT_EQ(session.link.counters.TimeoutCount, 0);
  EXPECT_EQ(session.link.LinkFault, 1);  // "Старт" leaves the fault alone
  EXPECT_EQ(session.link.addr.meterAddress, 1);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"started", "memo:speed=4"}));
  // "gsm" checked: nothing is read.
  EXPECT_TRUE(line.sent.empty());
}

// An address, port or speed the meter or the tool cannot take is refused
// before any port is touched or anything is sent.
TEST_F(SessionFixture, InputsOutsideTheirRangeAreRefusedBeforeAnythingIsSent) {
  const ConnectionChoice refused[] = {{"999", "1", 8, false}, {"-1", "1", 8, false},
                                      {"0", "0", 8, false},   {"0", "256", 8, false},
                                      {"0", "1", -1, false},  {"0", "1", 9, false}};
  for (const ConnectionChoice& c : refused) {
    line.calls.clear();
    EXPECT_THROW(StartConnection(session, c), UserError) << c.addressText << " " << c.portText;
    EXPECT_TRUE(line.calls.empty()) << c.addressText << " " << c.portText;
  }
  EXPECT_TRUE(line.sent.empty());
}

TEST_F(SessionFixture, APortThatDoesNotOpenIsReportedAtOnce) {
  line.refuseOpen = "/dev/ttyUSB9: No such file or directory";
  try {
    StartConnection(session, {"0", "/dev/ttyUSB9", 8, false});
    FAIL() << "expected the port to be refused";
  } catch (const PortError& e) {
    EXPECT_NE(std::string(e.what()).find("/dev/ttyUSB9: No such file or directory"),
              std::string::npos);
  }
  EXPECT_TRUE(line.sent.empty());
  EXPECT_EQ(session.link.counters.RequestCount, 0);
  EXPECT_EQ(rec.events.back(),
            "memo:port /dev/ttyUSB9 not open: /dev/ttyUSB9: No such file or directory");
}

TEST_F(SessionFixture, EveryListedSpeedIsPassedByIndex) {
  for (int i = 0; i < 9; ++i) {
    line.calls.clear();
    StartConnection(session, {"0", "1", i, true});
    EXPECT_EQ(line.calls.back(), "Open_Com(1," + std::to_string(kSpeeds[i]) + ",8,0,0)");
  }
}

TEST_F(SessionFixture, AddressAndPortAtTheEndsOfTheirRanges) {
  StartConnection(session, {"255", "255", 8, true});
  EXPECT_EQ(session.link.addr.meterAddress, 255);
  EXPECT_EQ(session.link.port, "255");
}

TEST_F(SessionFixture, BadAddressTextStopsAfterTheCountersWereReset) {
  session.link.counters = {5, 6, 7};
  try {
    StartConnection(session, {"12a", "1", 8, true});
    FAIL() << "expected an error";
  } catch (const UserError& e) {
    EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
  }
  EXPECT_EQ(session.link.counters.RequestCount, 0);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"started"}));
  EXPECT_TRUE(line.calls.empty());
}

TEST_F(SessionFixture, BadPortTextOpensNothing) {
  EXPECT_THROW(
      {
        try {
          StartConnection(session, {"0", "ttyUSB0", 8, true});
        } catch (const UserError& e) {
          EXPECT_STREQ(e.what(), "'ttyUSB0' is not a valid integer value");
          throw;
        }
      },
      UserError);
  EXPECT_TRUE(line.calls.empty());
}

TEST_F(SessionFixture, DevicePathIsUsedAsThePort) {
  StartConnection(session, {"0", "/dev/pts/7", 8, true});
  EXPECT_EQ(line.calls.back(), "Open_Com(/dev/pts/7,115200,8,0,0)");
  session.StopConnection();
  EXPECT_EQ(line.calls.back(), "Close_Com(/dev/pts/7)");
}

TEST_F(SessionFixture, StatusTextsFollowCountersAndLinkFault) {
  StatusTexts t = statusTexts(session);
  EXPECT_EQ(t.panel0, "№ запроса=0");
  EXPECT_EQ(t.panel1, "Кол.таймаутов=0");
  EXPECT_EQ(t.panel2, "Кол.ошибок=0");
  EXPECT_EQ(t.panel3, "_");
  session.link.counters = {17, 16, 1};
  session.setOperationStatus("Параметры записаны");
  t = statusTexts(session);
  EXPECT_EQ(t.panel0, "№ запроса=17");
  EXPECT_EQ(t.panel1, "Кол.таймаутов=1");
  EXPECT_EQ(t.panel2, "Кол.ошибок=16");
  EXPECT_EQ(t.panel3, "Параметры записаны");
  session.link.LinkFault = 1;
  EXPECT_EQ(statusTexts(session).panel0, "Сбой связи !");
}

TEST_F(SessionFixture, DiagnosticViewHasSeventeenLines) {
  const Frame f = buildFrame(0, 5, 9, 0, bitsFromFloat(1.5f));
  std::copy(f.begin(), f.end(), session.link.ReplyBuffer.begin());
  session.link.ReplyBuffer[11] = 1;
  session.link.ReceiveResult = 11;
  session.link.ReplySum = f[9];
  const auto lines = session.diagnosticLines();
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "35");
  EXPECT_EQ(lines[3], "9");
  EXPECT_EQ(lines[11], "1");
  EXPECT_EQ(lines[12], "l=11");
  EXPECT_EQ(lines[13], "r=200");
  EXPECT_EQ(lines[14], "f=1.5000");
  EXPECT_EQ(lines[15], "ret=11");
  EXPECT_EQ(lines[16], "kc__=" + std::to_string(f[9]));
}

TEST_F(SessionFixture, DiagnosticFloatHasTenDigitsThenTurnsScientific) {
  auto shown = [&](float v) {
    const Frame f = buildFrame(0, 5, 9, 0, bitsFromFloat(v));
    std::copy(f.begin(), f.end(), session.link.ReplyBuffer.begin());
    return session.diagnosticLines()[14];
  };
  EXPECT_EQ(shown(-0.25f), "f=-0.2500");
  EXPECT_EQ(shown(1234567.125f), "f=1234567.1250");
  // 123456.7890625 has thirteen significant digits: ten are shown.
  EXPECT_EQ(shown(123456.7890625f), "f=123456.7891");
  EXPECT_EQ(shown(9999998976.0f), "f=9999998976.0000");
  EXPECT_EQ(shown(1e10f), "f=1.000000000E+10");
  EXPECT_EQ(shown(std::numeric_limits<float>::max()), "f=3.402823466E+38");
  EXPECT_EQ(shown(-std::numeric_limits<float>::max()), "f=-3.402823466E+38");
}

TEST(PortText, IntegersAsTheRuntimeReadsThem) {
  EXPECT_EQ(parseInteger("12"), 12);
  EXPECT_EQ(parseInteger("  12"), 12);
  EXPECT_EQ(parseInteger("-3"), -3);
  EXPECT_EQ(parseInteger("+3"), 3);
  EXPECT_EQ(parseInteger("2147483647"), 2147483647);
  EXPECT_EQ(parseInteger("-2147483648"), -2147483647 - 1);
  EXPECT_FALSE(parseInteger("2147483648"));
  EXPECT_FALSE(parseInteger(""));
  EXPECT_FALSE(parseInteger("-"));
  EXPECT_FALSE(parseInteger("12 "));
  EXPECT_FALSE(parseInteger("1.5"));
  EXPECT_FALSE(parseInteger("x1"));
}

TEST(PortText, PortNumbersAndDevicePaths) {
  EXPECT_EQ(portFromText("1"), "1");
  EXPECT_EQ(portFromText("256"), "0");
  EXPECT_EQ(portFromText("-1"), "255");
  EXPECT_EQ(portFromText("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(portFromText("COM12"), "COM12");
  EXPECT_FALSE(portFromText("COM"));
  EXPECT_FALSE(portFromText("ttyUSB0"));
  EXPECT_FALSE(portFromText("/"));
#ifdef _WIN32
  EXPECT_EQ(deviceForPort("1"), "COM1");
  EXPECT_EQ(deviceForPort("12"), "COM12");
  EXPECT_EQ(deviceForPort("COM12"), "COM12");
  EXPECT_EQ(deviceForPort(*portFromText("com3")), "com3");
#else
  EXPECT_EQ(deviceForPort("1"), "/dev/ttyS0");
  EXPECT_EQ(deviceForPort("9"), "/dev/ttyS8");
#endif
  EXPECT_EQ(deviceForPort("0"), "");
  EXPECT_EQ(deviceForPort("/dev/pts/3"), "/dev/pts/3");
}

}  // namespace
}  // namespace vardis
