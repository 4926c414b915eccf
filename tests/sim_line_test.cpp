// The simulated meter on a pseudo-terminal, talked to the way the tool does:
// plain open/read/write on the port path. Faults are checked from this side
// and in the simulator's log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/frame.h"
#include "sim/meter_model.h"
#include "sim/simulator.h"
#include "sim/time_source.h"

namespace vardis::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPatience{5000};  // far longer than any exchange here takes

std::vector<std::uint8_t> bytesOf(const Frame& f) {
  return {f.begin(), f.end()};
}

Frame frameOf(const std::vector<std::uint8_t>& bytes, std::size_t offset = 0) {
  Frame f{};
  for (std::size_t i = 0; i < f.size() && offset + i < bytes.size(); ++i) f[i] = bytes[offset + i];
  return f;
}

bool passesCheck(const Frame& f) {
  return frameSum(f.data()) == f[9];
}

// Bytes that arrived, with the moment each read returned them.
struct Arrival {
  std::vector<std::uint8_t> bytes;
  std::vector<Clock::time_point> when;  // one per byte
};

// The tool's end of a line.
class Port {
 public:
  explicit Port(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd_, 0) << "cannot open " << path;
  }
  explicit Port(int fd) : fd_(fd) {}
  ~Port() {
    if (fd_ >= 0) ::close(fd_);
  }
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  int fd() const { return fd_; }

  void send(const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void send(const Frame& f) { send(bytesOf(f)); }

  // Reads until `count` bytes came or `timeout` passed.
  Arrival receive(std::size_t count, milliseconds timeout = kPatience) {
    Arrival a;
    const auto deadline = Clock::now() + timeout;
    while (a.bytes.size() < count) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buffer[64];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - a.bytes.size()));
      if (n <= 0) continue;
      const auto now = Clock::now();
      for (ssize_t i = 0; i < n; ++i) {
        a.bytes.push_back(buffer[i]);
        a.when.push_back(now);
      }
    }
    return a;
  }

  // One exchange: the reply frame, or all zeros when none came in time.
  Frame exchange(const Frame& request, milliseconds timeout = kPatience) {
    send(request);
    return frameOf(receive(kFrameLength, timeout).bytes);
  }

 private:
  int fd_ = -1;
};

std::int64_t msAt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return secondsSince2000(CivilTime{y, mo, d, h, mi, s}) * 1000;
}

MeterModel testMeter() {
  return MeterModel(std::make_shared<ManualTimeSource>(msAt(2030, 1, 1, 12, 0, 0)));
}

std::unique_ptr<Simulator> startSimulator(FaultOptions faults = {},
                                          MeterModel model = testMeter()) {
  SimulatorOptions options;
  options.faults = faults;
  auto sim = std::make_unique<Simulator>(std::move(model), options);
  sim->start();
  return sim;
}

Frame readParameter(std::uint8_t index) {
  return buildFrame(0, 5, index, 0, 0);
}

TEST(SimLine, AnswersOnThePseudoTerminal) {
  auto sim = startSimulator();
  ASSERT_EQ(sim->portPath().rfind("/dev/", 0), 0u) << sim->portPath();
  Port port(sim->portPath());
  const Frame reply = port.exchange(readParameter(0));
  EXPECT_EQ(reply, buildFrame(0, 5, 0, 0, bitsFromFloat(12345.0f)));

  ASSERT_TRUE(sim->waitForLog(1, kPatience));
  const LogEntry e = sim->log().front();
  EXPECT_EQ(e.seq, 1u);
  EXPECT_EQ(e.command, 5);
  EXPECT_EQ(e.index1, 0);
  EXPECT_EQ(e.outcome, Outcome::Answered);
  EXPECT_TRUE(e.replyPassesCheck());
  EXPECT_EQ(e.reply, reply);
  EXPECT_EQ(e.sent, bytesOf(reply));
  EXPECT_NE(e.describe().find("read parameter"), std::string::npos);
}

TEST(SimLine, ThePortCanBeClosedAndOpenedAgain) {
  auto sim = startSimulator();
  for (int round = 0; round < 3; ++round) {
    Port port(sim->portPath());
    EXPECT_TRUE(passesCheck(port.exchange(readParameter(9)))) << round;
  }
  // Closed while a reply is under way: the next opening still works.
  {
    Port port(sim->portPath());
    port.send(readParameter(3));
  }
  ASSERT_TRUE(sim->waitForLog(4, kPatience));
  Port port(sim->portPath());
  // The reply to the request of the closed port may still come first; both
  // replies are to parameter 3.
  EXPECT_EQ(port.exchange(readParameter(3))[3], 3);
  ASSERT_TRUE(sim->waitForLog(5, kPatience));
  EXPECT_EQ(sim->stats().requests, 5u);
}

TEST(SimLine, FindsTheRequestAfterGarbage) {
  auto sim = startSimulator();
  Port port(sim->portPath());
  std::vector<std::uint8_t> bytes = {0xFF, 0x23, 0x00, 0x05, 0x0D, 0x00, 0x23};
  const auto request = bytesOf(readParameter(0));
  bytes.insert(bytes.end(), request.begin(), request.end());
  port.send(bytes);
  const Frame reply = frameOf(port.receive(kFrameLength).bytes);
  EXPECT_TRUE(passesCheck(reply));
  EXPECT_EQ(floatFromBits(getU32(&reply[5])), 12345.0f);
  ASSERT_TRUE(sim->waitForLog(1, kPatience));
  EXPECT_EQ(sim->stats().bytesSkipped, 7u);
  EXPECT_EQ(sim->stats().framesReceived, 1u);
}

TEST(SimLine, IgnoresOtherMetersAndUnknownCommands) {
  auto sim = startSimulator();
  Port port(sim->portPath());
  port.send(buildFrame(1, 5, 0, 0, 0));
  port.send(buildFrame(0, 7, 0, 0, 0));
  EXPECT_EQ(port.exchange(readParameter(9))[3], 9);  // the first reply is to this one
  ASSERT_TRUE(sim->waitForLog(3, kPatience));
  const auto log = sim->log();
  EXPECT_EQ(log[0].outcome, Outcome::OtherAddress);
  EXPECT_EQ(log[0].seq, 0u);
  EXPECT_EQ(log[1].outcome, Outcome::UnknownCommand);
  EXPECT_EQ(log[1].seq, 0u);
  EXPECT_EQ(log[2].seq, 1u);
}

TEST(SimLine, SetAndReadTheClockOverTheLine) {
  auto time = std::make_shared<ManualTimeSource>(msAt(2030, 1, 1));
  auto sim = startSimulator({}, MeterModel(time));
  Port port(sim->portPath());
  const Frame set = buildFrame(0, 0, 7, 0, 1104080905);
  EXPECT_EQ(port.exchange(set), set);
  time->advance(125'000);
  const Frame reply = port.exchange(buildFrame(0, 1, 0, 0, 0));
  EXPECT_EQ(reply[3], 12);
  EXPECT_EQ(getU32(&reply[5]), 1104080907u);
  EXPECT_EQ(sim->withModel([](MeterModel& m) { return m.clock().packed; }), 1104080907u);
}

TEST(SimLine, DropLeavesEveryNthRequestUnanswered) {
  FaultOptions faults;
  faults.dropEvery = 2;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  for (std::uint8_t i = 1; i <= 4; ++i) {
    port.send(readParameter(i));
    ASSERT_TRUE(sim->waitForLog(i, kPatience));
    if (i % 2 == 1) {
      // Answered: and nothing from the dropped one came before it.
      const Frame reply = frameOf(port.receive(kFrameLength).bytes);
      EXPECT_EQ(reply[3], i);
      EXPECT_TRUE(passesCheck(reply));
    }
  }
  const auto log = sim->log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].outcome, Outcome::Answered);
  EXPECT_EQ(log[1].outcome, Outcome::Dropped);
  EXPECT_EQ(log[2].outcome, Outcome::Answered);
  EXPECT_EQ(log[3].outcome, Outcome::Dropped);
  EXPECT_TRUE(log[1].sent.empty());
  EXPECT_FALSE(log[1].replyPassesCheck());
  // Nothing is left on the line: the next reply is the next request's.
  sim->setFaults({});
  EXPECT_EQ(port.exchange(readParameter(42))[3], 42);
}

TEST(SimLine, CorruptSendsAWrongChecksumEveryNthReply) {
  FaultOptions faults;
  faults.corruptEvery = 3;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  for (std::uint8_t i = 1; i <= 6; ++i) {
    const Frame reply = port.exchange(readParameter(i));
    EXPECT_EQ(reply[3], i);
    EXPECT_EQ(passesCheck(reply), i % 3 != 0) << int{i};
    if (i % 3 == 0) {
      EXPECT_EQ(reply[9], static_cast<std::uint8_t>(frameSum(reply.data()) + 1));
    }
  }
  ASSERT_TRUE(sim->waitForLog(6, kPatience));
  const auto log = sim->log();
  EXPECT_EQ(log[2].outcome, Outcome::Corrupted);
  EXPECT_EQ(log[5].outcome, Outcome::Corrupted);
  EXPECT_EQ(log[4].outcome, Outcome::Answered);
  EXPECT_FALSE(log[2].replyPassesCheck());
  EXPECT_EQ(sim->stats().repliesSent, 6u);
}

TEST(SimLine, NoiseBeforeTheReplySpoilsTheElevenBytesTheToolReads) {
  FaultOptions faults;
  faults.noise = true;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  for (std::uint8_t i = 0; i < 20; ++i) {
    port.send(readParameter(i));
    const Arrival a = port.receive(kNoiseLength + kFrameLength);
    ASSERT_EQ(a.bytes.size(), kNoiseLength + kFrameLength);
    EXPECT_FALSE(passesCheck(frameOf(a.bytes))) << int{i};  // what the tool reads
    const Frame reply = frameOf(a.bytes, kNoiseLength);
    EXPECT_TRUE(passesCheck(reply));
    EXPECT_EQ(reply[3], i);
  }
  ASSERT_TRUE(sim->waitForLog(20, kPatience));
  const LogEntry e = sim->log().back();
  EXPECT_TRUE(e.noise);
  EXPECT_EQ(e.outcome, Outcome::Answered);
  EXPECT_FALSE(e.replyPassesCheck());
  EXPECT_EQ(e.sent.size(), kNoiseLength + kFrameLength);
}

TEST(SimLine, SplitDribblesTheReplyByteByByte) {
  FaultOptions faults;
  faults.split = true;
  faults.splitGapMs = 5;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  const auto sent = Clock::now();
  port.send(readParameter(0));
  const Arrival a = port.receive(kFrameLength);
  ASSERT_EQ(a.bytes.size(), kFrameLength);
  EXPECT_TRUE(passesCheck(frameOf(a.bytes)));
  // The last byte leaves ten gaps after the first.
  EXPECT_GE(a.when.back() - sent, milliseconds(10 * 5));
  ASSERT_TRUE(sim->waitForLog(1, kPatience));
  EXPECT_TRUE(sim->log().front().split);
  EXPECT_TRUE(sim->log().front().replyPassesCheck());
}

TEST(SimLine, LateAndTurnaroundDelayTheReply) {
  FaultOptions faults;
  faults.lateMs = 150;
  faults.turnaroundMs = 50;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  const auto sent = Clock::now();
  port.send(readParameter(0));
  const Arrival a = port.receive(kFrameLength);
  ASSERT_EQ(a.bytes.size(), kFrameLength);
  EXPECT_GE(a.when.front() - sent, milliseconds(200));
  ASSERT_TRUE(sim->waitForLog(1, kPatience));
  EXPECT_EQ(sim->log().front().lateMs, 150);
  EXPECT_EQ(sim->log().front().delayMs, 200);
  EXPECT_NE(sim->log().front().describe().find("late 150 ms"), std::string::npos);
}

TEST(SimLine, SilentNeverAnswers) {
  FaultOptions faults;
  faults.silent = true;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  port.send(readParameter(1));
  port.send(buildFrame(0, 1, 0, 0, 0));
  ASSERT_TRUE(sim->waitForLog(2, kPatience));
  for (const LogEntry& e : sim->log()) {
    EXPECT_EQ(e.outcome, Outcome::Silent);
    EXPECT_TRUE(e.sent.empty());
  }
  EXPECT_EQ(sim->log()[1].seq, 2u);
  // Once it speaks again, the first bytes on the line are the new reply.
  sim->setFaults({});
  EXPECT_EQ(port.exchange(readParameter(7))[3], 7);
  ASSERT_TRUE(sim->waitForLog(3, kPatience));
  EXPECT_EQ(sim->stats().repliesSent, 1u);
}

TEST(SimLine, PaceSendsAtTheSpeedTheToolSet) {
  FaultOptions faults;
  faults.pace = true;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  termios tio{};
  ASSERT_EQ(::tcgetattr(port.fd(), &tio), 0);
  ::cfsetispeed(&tio, B1200);
  ::cfsetospeed(&tio, B1200);
  ASSERT_EQ(::tcsetattr(port.fd(), TCSANOW, &tio), 0);
  // 11 bytes of 10 bits at 1200 baud: the last byte leaves 10 byte times
  // (83 ms) after the first; at the 9600 baud of the options it would be 10 ms.
  const auto sent = Clock::now();
  port.send(readParameter(0));
  const Arrival a = port.receive(kFrameLength);
  ASSERT_EQ(a.bytes.size(), kFrameLength);
  EXPECT_TRUE(passesCheck(frameOf(a.bytes)));
  EXPECT_GE(a.when.back() - sent, milliseconds(80));
  ASSERT_TRUE(sim->waitForLog(1, kPatience));
  EXPECT_TRUE(sim->log().front().paced);
}

TEST(SimLine, StopsPromptlyWhileAReplyWaits) {
  FaultOptions faults;
  faults.lateMs = 60'000;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  port.send(readParameter(0));
  ASSERT_TRUE(sim->waitForFrames(1, kPatience));
  const auto before = Clock::now();
  sim->stop();
  EXPECT_LT(Clock::now() - before, milliseconds(2000));
  ASSERT_EQ(sim->logSize(), 1u);
  EXPECT_EQ(sim->log().front().outcome, Outcome::Aborted);
  EXPECT_FALSE(sim->running());
}

TEST(SimLine, AReplyThatArrivedHasItsRequestInTheLogAlready) {
  // The simulator's own request callback is held until the test has looked:
  // the reply must be out, and its request logged, before that callback runs.
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  SimulatorOptions options;
  options.onRequest = [&](const LogEntry&) {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return release; });
  };
  auto sim = std::make_unique<Simulator>(testMeter(), options);
  sim->start();
  Port port(sim->portPath());
  port.send(readParameter(0));
  const Arrival a = port.receive(kFrameLength);
  const std::size_t logged = sim->logSize();
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  EXPECT_EQ(a.bytes.size(), kFrameLength);
  EXPECT_EQ(logged, 1u);
  sim->stop();
}

TEST(SimLine, ServesAGivenSerialDevice) {
  // A pseudo-terminal made here stands in for the serial device; the test talks
  // through its master side.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  char name[256];
  ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);
  Port port(master);

  SimulatorOptions options;
  options.device = name;
  options.speed = 19200;
  MeterModel model = testMeter();
  model.setAddress(17);
  Simulator sim(std::move(model), options);
  sim.start();
  EXPECT_EQ(sim.portPath(), name);
  const Frame reply = port.exchange(buildFrame(17, 5, 9, 0, 0));
  EXPECT_EQ(reply, buildFrame(17, 5, 9, 0, bitsFromFloat(1.0f)));
  sim.stop();
}

TEST(SimLine, RefusesWhatItCannotOpen) {
  SimulatorOptions options;
  options.device = "/nonexistent/ttyUSB9";
  Simulator missing(testMeter(), options);
  EXPECT_THROW(missing.start(), std::system_error);
  options.device = "/dev/null";  // not a terminal
  Simulator notSerial(testMeter(), options);
  EXPECT_THROW(notSerial.start(), std::system_error);
  options.device.clear();
  options.speed = 12345;
  Simulator oddSpeed(testMeter(), options);
  EXPECT_THROW(oddSpeed.start(), std::invalid_argument);
}

// What the log is for: the counters of a client that retries like the tool
// (at most 11 exchanges, one more request and error per failed one).
TEST(SimLine, TheLogAccountsForEveryExchange) {
  FaultOptions faults;
  faults.dropEvery = 4;
  faults.corruptEvery = 3;
  auto sim = startSimulator(faults);
  Port port(sim->portPath());
  int requestCount = 0, errorCount = 0;
  for (std::uint8_t index = 0; index < 8; ++index) {
    ++requestCount;
    for (int attempt = 0; attempt < 11; ++attempt) {
      const std::size_t entries = sim->logSize() + 1;
      port.send(readParameter(index));
      ASSERT_TRUE(sim->waitForLog(entries, kPatience));
      const LogEntry e = sim->log().back();
      const Arrival a = port.receive(e.sent.size());
      ASSERT_EQ(a.bytes.size(), e.sent.size());
      if (!a.bytes.empty() && passesCheck(frameOf(a.bytes))) break;
      ++errorCount;
      ++requestCount;
    }
  }
  // The same counts from the log alone.
  int logErrors = 0;
  for (const LogEntry& e : sim->log()) logErrors += e.replyPassesCheck() ? 0 : 1;
  EXPECT_EQ(errorCount, logErrors);
  EXPECT_EQ(requestCount, 8 + logErrors);
  EXPECT_GT(logErrors, 0);
}

}  // namespace
}  // namespace vardis::sim
