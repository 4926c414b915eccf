// The simulated meter's answers to request frames, and finding frames in a
// byte stream with garbage.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "link/frame.h"
#include "sim/frame_receiver.h"
#include "sim/meter_model.h"
#include "sim/time_source.h"

namespace vardis::sim {
namespace {

std::int64_t msAt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return secondsSince2000(CivilTime{y, mo, d, h, mi, s}) * 1000;
}

Frame fromBytes(std::initializer_list<std::uint8_t> bytes) {
  Frame f{};
  std::copy(bytes.begin(), bytes.end(), f.begin());
  return f;
}

// The reply's fixed parts: start mark, address, command, end mark and checksum.
void expectReplyShape(const Frame& reply, std::uint8_t address, std::uint8_t command) {
  EXPECT_EQ(reply[0], 0x23);
  EXPECT_EQ(reply[1], address);
  EXPECT_EQ(reply[2], command);
  EXPECT_EQ(reply[10], 0x0D);
  EXPECT_EQ(reply[9], frameSum(reply.data()));
}

struct ProtocolTest : ::testing::Test {
  std::shared_ptr<ManualTimeSource> time =
      std::make_shared<ManualTimeSource>(msAt(2030, 1, 1, 12, 0, 0));
  MeterModel model{time};

  Frame ask(std::uint8_t command, std::uint8_t index1, std::uint8_t index2 = 0,
            std::uint32_t argument = 0) {
    const auto reply = model.answer(buildFrame(model.address(), command, index1, index2, argument));
    EXPECT_TRUE(reply.has_value());
    if (!reply) return Frame{};
    expectReplyShape(*reply, model.address(), command);
    return *reply;
  }
};

TEST_F(ProtocolTest, RequestsOfTheToolAreWellFormed) {
  const Frame examples[] = {
      fromBytes({0x23, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x32, 0x0D}),
      fromBytes({0x23, 0x00, 0x05, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3E, 0x0D}),
      fromBytes({0x23, 0x01, 0x0B, 0x00, 0x00, 0x74, 0xEE, 0xCE, 0x41, 0xAD, 0x0D}),
      fromBytes({0x23, 0x01, 0x00, 0x07, 0x00, 0x09, 0xF0, 0xCE, 0x41, 0x40, 0x0D})};
  for (const Frame& f : examples) EXPECT_TRUE(isWellFormedFrame(f.data()));
  EXPECT_EQ(getU32(&examples[2][5]), 1104080500u);
  Frame bad = examples[0];
  bad[9] ^= 1;
  EXPECT_FALSE(isWellFormedFrame(bad.data()));
  bad = examples[0];
  bad[10] = 0x0A;
  bad[9] = frameSum(bad.data());
  EXPECT_FALSE(isWellFormedFrame(bad.data()));
}

TEST_F(ProtocolTest, ReadClockCarriesSecondsInByte3AndTheDateInBytes5To8) {
  model.loadJson(R"({"clock": {"packed": 1104080905, "seconds": 7}})");
  const Frame reply = ask(1, 0);
  EXPECT_EQ(reply[3], 7);
  EXPECT_EQ(reply[4], 0);
  EXPECT_EQ(getU32(&reply[5]), 1104080905u);
  EXPECT_EQ(reply, buildFrame(0, 1, 7, 0, 1104080905));
}

TEST_F(ProtocolTest, SetClockIsEchoedAndTheClockRunsOnFromIt) {
  // 2011-04-08 09:05:07, address 1, as the tool sends it.
  model.setAddress(1);
  const Frame request =
      fromBytes({0x23, 0x01, 0x00, 0x07, 0x00, 0x09, 0xF0, 0xCE, 0x41, 0x40, 0x0D});
  const auto echo = model.answer(request);
  ASSERT_TRUE(echo.has_value());
  EXPECT_EQ(*echo, request);

  time->advance(65'000);
  Frame reply = ask(1, 0);
  EXPECT_EQ(getU32(&reply[5]), 1104080906u);
  EXPECT_EQ(reply[3], 12);

  time->advance(3600'000);
  reply = ask(1, 0);
  EXPECT_EQ(getU32(&reply[5]), 1104081006u);
  EXPECT_EQ(reply[3], 12);
}

TEST_F(ProtocolTest, SetClockWithAnImpossibleDateLeavesTheClock) {
  const std::uint32_t before = model.clock().packed;
  const Frame request = buildFrame(0, 0, 7, 0, 1113010000);  // month 13
  EXPECT_EQ(model.answer(request), request);
  EXPECT_EQ(model.clock().packed, before);
  EXPECT_EQ(model.answer(buildFrame(0, 0, 60, 0, 1104080905)).value()[3], 60);  // second 60
  EXPECT_EQ(model.clock().packed, before);
}

TEST_F(ProtocolTest, ReadParameterAnswersAFloat) {
  Frame reply = ask(5, 9);
  EXPECT_EQ(reply[3], 9);
  EXPECT_EQ(floatFromBits(getU32(&reply[5])), 1.0f);
  reply = ask(5, 0);
  EXPECT_EQ(floatFromBits(getU32(&reply[5])), 12345.0f);
  // Parameter 9, address 0: the reply the tool expects for its example request.
  EXPECT_EQ(reply[9], frameSum(reply.data()));
  for (int i = 0; i < 256; ++i) {
    reply = ask(5, static_cast<std::uint8_t>(i));
    EXPECT_EQ(getU32(&reply[5]), bitsFromFloat(model.parameter(i))) << i;
  }
}

TEST_F(ProtocolTest, ReadFloatValueAndCounterValue) {
  for (int i = 0; i <= 30; ++i) {
    const Frame reply = ask(4, static_cast<std::uint8_t>(i));
    EXPECT_EQ(reply[3], i);
    EXPECT_EQ(getU32(&reply[5]), bitsFromFloat(model.floatValue(i))) << i;
  }
  for (int i = 0; i <= 25; ++i) {
    const Frame reply = ask(8, static_cast<std::uint8_t>(i));
    EXPECT_EQ(reply[3], i);
    EXPECT_EQ(getU32(&reply[5]), model.counter(i)) << i;
  }
  model.pinCounter(24, 4096);
  model.pinFloatValue(4, 71.25f);
  EXPECT_EQ(getU32(&ask(8, 24)[5]), 4096u);
  EXPECT_EQ(floatFromBits(getU32(&ask(4, 4)[5])), 71.25f);
}

TEST_F(ProtocolTest, ArchiveRequestsEchoQuantityAndKind) {
  // Hour 05 of 2011-04-08, as in the tool's example request.
  for (int q = 0; q <= 17; ++q) {
    const Frame f = ask(11, static_cast<std::uint8_t>(q), 0, 1104080500);
    EXPECT_EQ(f[3], q);
    EXPECT_EQ(f[4], 0);
    EXPECT_EQ(
        getU32(&f[5]),
        bitsFromFloat(static_cast<float>(model.archiveValue(RecordKind::Hourly, 1104080500, q))));
  }
  const IntervalRecord hour = model.hourRecord(2011, 4, 8, 5);
  EXPECT_EQ(floatFromBits(getU32(&ask(11, 0, 0, 1104080500)[5])), hour.flow[0]);
  EXPECT_EQ(floatFromBits(getU32(&ask(11, 13, 0, 1104080500)[5])), hour.pressure[0]);
  EXPECT_EQ(getU32(&ask(12, 5, 0, 1104080500)[5]), hour.runTime[0]);
  EXPECT_EQ(getU32(&ask(12, 17, 0, 1104080500)[5]), hour.abnormal);

  const IntervalRecord day = model.dayRecord(2011, 4, 8);
  Frame f = ask(11, 4, 1, 1104082300);
  EXPECT_EQ(f[4], 1);
  EXPECT_EQ(floatFromBits(getU32(&f[5])), day.heat[0]);
  EXPECT_EQ(getU32(&ask(12, 8, 1, 1104082300)[5]), day.mainsTime);

  const IntervalRecord month = model.monthRecord(2011, 4);
  f = ask(11, 9, 2, 1104012300);
  EXPECT_EQ(f[4], 2);
  EXPECT_EQ(floatFromBits(getU32(&f[5])), month.temperature[0]);

  const auto totals = *model.dayEndTotals(2011, 4, 8);
  for (int q = 0; q <= 8; ++q) {
    f = ask(12, static_cast<std::uint8_t>(q), 3, 1104082300);
    EXPECT_EQ(f[4], 3);
    EXPECT_EQ(getU32(&f[5]), totals[q]) << q;
  }
}

TEST_F(ProtocolTest, OtherAddressesAndUnknownCommandsGetNoAnswer) {
  model.setAddress(5);
  EXPECT_FALSE(model.answer(buildFrame(0, 1, 0, 0, 0)).has_value());
  EXPECT_FALSE(model.answer(buildFrame(6, 1, 0, 0, 0)).has_value());
  EXPECT_TRUE(model.answer(buildFrame(5, 1, 0, 0, 0)).has_value());
  for (const std::uint8_t command : {2, 3, 6, 7, 9, 10, 13, 0x23, 255}) {
    EXPECT_FALSE(model.answer(buildFrame(5, command, 0, 0, 0)).has_value()) << int{command};
  }
}

std::vector<std::uint8_t> bytesOf(const Frame& f) {
  return {f.begin(), f.end()};
}

TEST(SimFrameReceiver, FindsFramesAfterGarbage) {
  const Frame a = buildFrame(0, 5, 9, 0, 0);
  const Frame b = buildFrame(0, 1, 0, 0, 0);
  std::vector<std::uint8_t> stream = {0x00, 0xFF, 0x23, 0x01, 0x0D, 0x23};  // two false starts
  const auto av = bytesOf(a);
  stream.insert(stream.end(), av.begin(), av.end());
  stream.insert(stream.end(), {0x23, 0x23, 0x23});
  const auto bv = bytesOf(b);
  stream.insert(stream.end(), bv.begin(), bv.end());

  FrameReceiver rx;
  rx.feed(stream.data(), stream.size());
  EXPECT_EQ(rx.next(), a);
  EXPECT_EQ(rx.next(), b);
  EXPECT_FALSE(rx.next().has_value());
  EXPECT_EQ(rx.skippedBytes(), 9u);
  EXPECT_EQ(rx.pendingBytes(), 0u);
}

TEST(SimFrameReceiver, WaitsForTheRestOfAFrame) {
  const Frame a = buildFrame(3, 8, 24, 0, 0);
  FrameReceiver rx;
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_FALSE(rx.next().has_value());
    rx.feed(&a[i], 1);
  }
  EXPECT_EQ(rx.next(), a);
  EXPECT_EQ(rx.skippedBytes(), 0u);
}

TEST(SimFrameReceiver, SkipsACorruptFrameAndACutOffOne) {
  Frame bad = buildFrame(0, 4, 1, 0, 0);
  bad[9] ^= 0x40;
  const Frame cut = buildFrame(0, 4, 2, 0, 0);
  const Frame good = buildFrame(0, 4, 3, 0, 0);
  FrameReceiver rx;
  rx.feed(bad.data(), bad.size());
  rx.feed(cut.data(), 6);  // the rest of it never comes
  EXPECT_FALSE(rx.next().has_value());
  rx.feed(good.data(), good.size());
  EXPECT_EQ(rx.next(), good);
  EXPECT_EQ(rx.skippedBytes(), 17u);
}

}  // namespace
}  // namespace vardis::sim
