// The meter protocol against a scripted line on a virtual clock.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "archives/session.h"
#include "link/meter_protocol.h"
#include "support/fake_line.h"

namespace vardis {
namespace {

using test::Chunk;
using test::FakeLine;
using test::VirtualClock;
using Bytes = std::vector<std::uint8_t>;

struct ProtocolFixture : ::testing::Test {
  VirtualClock clock;
  FakeLine line{clock};
  // The protocol of a whole session, so that each reply lands in its store.
  Session session{line, clock, SessionConfig{}};
  MeterProtocol& link = session.link;
  ParameterTable& params = session.params;
  CurrentValues& values = session.values;
  ArchiveStore& archive = session.archive;

  Reply run(Transaction t) { return runTransaction(session, t); }

  void SetUp() override { link.port = "1"; }

  // Counts only the frames sent, not the drains.
  std::size_t exchanges() const { return line.sent.size(); }

  static Bytes reply(std::uint8_t b3, std::uint32_t value, std::uint8_t address = 0,
                     std::uint8_t cmd = 1) {
    const Frame f = buildFrame(address, cmd, b3, 0, value);
    return Bytes(f.begin(), f.end());
  }
};

TEST_F(ProtocolFixture, RequestFramesAreBuiltByteForByte) {
  link.addr.meterAddress = 1;
  run(Transaction::ReadClock);
  EXPECT_EQ(line.sent.at(0), (Bytes{0x23, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0x32, 0x0D}));

  line.sent.clear();
  link.addr.meterAddress = 0;
  link.addr.valueIndex = 9;
  run(Transaction::ReadParameter);
  EXPECT_EQ(line.sent.at(0), (Bytes{0x23, 0x00, 0x05, 0x09, 0, 0, 0, 0, 0, 0x3E, 0x0D}));

  line.sent.clear();
  link.addr.meterAddress = 1;
  link.addr.QuantityIndex = 0;
  link.addr.RecordKind = 0;
  link.addr.dateTime = 1104080500;
  run(Transaction::ReadArchiveFloat);
  EXPECT_EQ(line.sent.at(0),
            (Bytes{0x23, 0x01, 0x0B, 0x00, 0x00, 0x74, 0xEE, 0xCE, 0x41, 0xAD, 0x0D}));

  line.sent.clear();
  link.addr.seconds = 7;
  link.addr.dateTime = 1104080905;
  run(Transaction::SetClock);
  EXPECT_EQ(line.sent.at(0),
            (Bytes{0x23, 0x01, 0x00, 0x07, 0x00, 0x09, 0xF0, 0xCE, 0x41, 0x40, 0x0D}));
}

TEST_F(ProtocolFixture, NoMeterOnReadClockExhaustsSixteenExchanges) {
  run(Transaction::ReadClock);
  EXPECT_EQ(exchanges(), 16u);
  EXPECT_EQ(link.counters.RequestCount, 17);
  EXPECT_EQ(link.counters.ErrorCount, 16);
  EXPECT_EQ(link.counters.TimeoutCount, 1);
  EXPECT_EQ(link.LinkFault, 1);
  // The pre-fill is all that the buffer holds.
  EXPECT_EQ(link.addr.dateTime, 16843009u);
  EXPECT_EQ(link.addr.seconds, 1);
  // Drain 30 ms and reply wait 3000 ms per exchange, on the virtual clock.
  EXPECT_EQ(clock.ms, 16 * 3030);
}

TEST_F(ProtocolFixture, AttemptsPerTransactionKind) {
  const std::pair<Transaction, std::size_t> cases[] = {
      {Transaction::SetClock, 11},         {Transaction::ReadFloatValue, 11},
      {Transaction::ReadParameter, 11},    {Transaction::ReadCounterValue, 11},
      {Transaction::ReadArchiveFloat, 11}, {Transaction::ReadArchiveInteger, 11},
      {Transaction::ReadIntegrator, 13},   {Transaction::ReadClock, 16},
  };
  for (const auto& [kind, attempts] : cases) {
    line.sent.clear();
    link.counters = {};
    run(kind);
    EXPECT_EQ(exchanges(), attempts) << transactionInfo(kind).name;
    EXPECT_EQ(link.counters.RequestCount, static_cast<int>(attempts) + 1);
    EXPECT_EQ(link.counters.ErrorCount, static_cast<int>(attempts));
    EXPECT_EQ(link.counters.TimeoutCount, 1);
  }
}

TEST_F(ProtocolFixture, DrainUsesItsTimeoutBeforeEverySend) {
  run(Transaction::ReadParameter);
  ASSERT_EQ(line.receiveTimeouts.size(), 22u);
  for (std::size_t i = 0; i < line.receiveTimeouts.size(); i += 2) {
    EXPECT_EQ(line.receiveTimeouts[i], 70);
    EXPECT_EQ(line.receiveTimeouts[i + 1], 3000);
  }
  line.receiveTimeouts.clear();
  run(Transaction::ReadFloatValue);
  EXPECT_EQ(line.receiveTimeouts.front(), 30);
}

TEST_F(ProtocolFixture, FailFailPassCountsTwoErrors) {
  int n = 0;
  line.responder = [&](const Bytes&) -> std::vector<Chunk> {
    ++n;
    Bytes r = reply(0, 42, 0, 8);
    if (n <= 2) r[9] ^= 0x55;  // bad checksum twice
    return {Chunk{5, r}};
  };
  link.LinkFault = 0;
  link.addr.valueIndex = 3;
  run(Transaction::ReadCounterValue);
  EXPECT_EQ(link.counters.RequestCount, 3);
  EXPECT_EQ(link.counters.ErrorCount, 2);
  EXPECT_EQ(link.counters.TimeoutCount, 0);
  EXPECT_EQ(link.LinkFault, 0);
  EXPECT_EQ(values.counters[3], 42.0);
}

TEST_F(ProtocolFixture, LinkFaultStaysRaisedUntilClearedByTheCaller) {
  run(Transaction::ReadFloatValue);
  ASSERT_EQ(link.LinkFault, 1);
  line.responder = test::meterAnswering([](const Frame&) { return 1u; });
  run(Transaction::ReadFloatValue);
  EXPECT_EQ(link.LinkFault, 1);
}

TEST_F(ProtocolFixture, ElevenZeroBytesPassTheCheck) {
  line.responder = [](const Bytes&) { return std::vector<Chunk>{Chunk{5, Bytes(11, 0)}}; };
  values.floats[4] = 99;
  link.addr.valueIndex = 4;
  run(Transaction::ReadFloatValue);
  EXPECT_EQ(link.counters.ErrorCount, 0);
  EXPECT_EQ(values.floats[4], 0.0);
}

TEST_F(ProtocolFixture, OnlyTheChecksumIsChecked) {
  line.responder = [](const Bytes&) {
    Frame f = buildFrame(0x77, 0x99, 0, 0, bitsFromFloat(2.5f));
    f[0] = 0x40;  // wrong start mark
    f[10] = 0x0A;
    f[9] = frameSum(f.data());
    return std::vector<Chunk>{Chunk{5, Bytes(f.begin(), f.end())}};
  };
  link.addr.valueIndex = 7;
  run(Transaction::ReadFloatValue);
  EXPECT_EQ(link.counters.ErrorCount, 0);
  EXPECT_EQ(values.floats[7], 2.5);
}

TEST_F(ProtocolFixture, ParameterValuesAboveOneMillionAreStoredAsZero) {
  float reply_value = 0;
  line.responder = test::meterAnswering([&](const Frame&) { return bitsFromFloat(reply_value); });
  auto read = [&](float v) {
    reply_value = v;
    link.addr.valueIndex = 5;
    run(Transaction::ReadParameter);
    return params.values[5];
  };
  EXPECT_EQ(read(1000000.0f), 1000000.0);
  EXPECT_EQ(read(1000000.0625f), 0.0);
  EXPECT_EQ(read(-3.0e30f), static_cast<double>(-3.0e30f));
  EXPECT_EQ(read(std::numeric_limits<float>::infinity()), 0.0);
  EXPECT_EQ(read(-std::numeric_limits<float>::infinity()),
            -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(read(std::numeric_limits<float>::quiet_NaN())));
  // Widened without change.
  EXPECT_EQ(read(0.1f), static_cast<double>(0.1f));
}

TEST_F(ProtocolFixture, UnsignedRepliesNeverTurnNegative) {
  line.responder = test::meterAnswering([](const Frame&) { return 0xFFFFFFFFu; });
  link.addr.valueIndex = 24;
  run(Transaction::ReadCounterValue);
  EXPECT_EQ(values.counters[24], 4294967295.0);

  link.addr.QuantityIndex = 17;
  link.addr.ArchiveRow = 3;
  run(Transaction::ReadArchiveInteger);
  EXPECT_EQ(archive.AbnormalWord[3], 0xFFFFFFFFu);

  link.addr.QuantityIndex = 8;
  run(Transaction::ReadIntegrator);
  EXPECT_EQ(archive.MainsTimeTotal[3], 4294967295.0);
}

TEST_F(ProtocolFixture, ArchiveRepliesAreRoutedByTransactionAndQuantity) {
  line.responder = test::meterAnswering([](const Frame& req) {
    // Value = 100 + quantity, as float for command 11, integer for 12.
    return req[2] == 11 ? bitsFromFloat(100.0f + req[3]) : 100u + req[3];
  });
  link.addr.ArchiveRow = 9;
  for (std::uint8_t q = 0; q <= 18; ++q) {
    link.addr.QuantityIndex = q;
    run(Transaction::ReadArchiveFloat);
    run(Transaction::ReadArchiveInteger);
    run(Transaction::ReadIntegrator);
  }
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(archive.Flow[k][9], 100 + k);
    EXPECT_EQ(archive.Temperature[k][9], 109 + k);
    EXPECT_EQ(archive.Pressure[k][9], 113 + k);
    EXPECT_EQ(archive.FlowTotal[k][9], 100 + k);
  }
  EXPECT_EQ(archive.Heat[0][9], 104);
  EXPECT_EQ(archive.Heat[1][9], 106);
  EXPECT_EQ(archive.RunTime[0][9], 105);
  EXPECT_EQ(archive.RunTime[1][9], 107);
  EXPECT_EQ(archive.MainsTime[9], 108);
  EXPECT_EQ(archive.AbnormalWord[9], 117u);
  EXPECT_EQ(archive.HeatTotal[0][9], 104);
  EXPECT_EQ(archive.RunTimeTotal[0][9], 105);
  EXPECT_EQ(archive.HeatTotal[1][9], 106);
  EXPECT_EQ(archive.RunTimeTotal[1][9], 107);
  EXPECT_EQ(archive.MainsTimeTotal[9], 108);
  EXPECT_EQ(link.counters.ErrorCount, 0);
  // Other rows untouched.
  EXPECT_EQ(archive.Flow[0][8], 0);
  EXPECT_EQ(archive.Flow[0][10], 0);
}

TEST_F(ProtocolFixture, ArchiveFloatForOperatingTimeChangesNoTable) {
  line.responder = test::meterAnswering([](const Frame&) { return bitsFromFloat(77.0f); });
  const ArchiveStore before = archive;
  link.addr.QuantityIndex = 5;
  link.addr.ArchiveRow = 2;
  run(Transaction::ReadArchiveFloat);
  EXPECT_EQ(exchanges(), 1u);
  EXPECT_EQ(link.counters.RequestCount, 1);
  EXPECT_EQ(archive.RunTime, before.RunTime);
  EXPECT_EQ(archive.Flow, before.Flow);
  EXPECT_EQ(archive.Heat, before.Heat);
}

TEST_F(ProtocolFixture, ExhaustedTransactionDecodesTheLastBytesReceived) {
  // A short reply: 8 bytes each time, never a full frame.
  line.responder = [](const Bytes&) {
    return std::vector<Chunk>{Chunk{5, Bytes{0x23, 0, 8, 0, 0, 0x10, 0x20, 0x30}}};
  };
  run(Transaction::ReadCounterValue);
  EXPECT_EQ(link.LinkFault, 1);
  // Bytes 5..7 from the reply, byte 8 still holds the pre-fill 1.
  EXPECT_EQ(values.counters[0], static_cast<double>(0x01302010u));
}

TEST_F(ProtocolFixture, StrayBytesAreDrainedBeforeTheRequest) {
  line.inject(0, Bytes{'O', 'K', '\r', '\n', 0x23, 0x23});
  line.responder = test::meterAnswering([](const Frame&) { return 5u; });
  link.addr.valueIndex = 1;
  run(Transaction::ReadCounterValue);
  EXPECT_EQ(link.counters.ErrorCount, 0);
  EXPECT_EQ(values.counters[1], 5.0);
  EXPECT_EQ(line.pending(), 0u);
}

// A stale reply the drain took is never taken for the reply to the request.
TEST_F(ProtocolFixture, ADrainedReplyIsNeverTakenForTheAnswer) {
  line.inject(0, reply(0, 77, 0, 8));
  run(Transaction::ReadCounterValue);  // no meter: only the stale frame ever arrives
  EXPECT_EQ(link.LinkFault, 1);
  EXPECT_EQ(link.counters.ErrorCount, 11);
}

TEST_F(ProtocolFixture, WindowBreathesAtLeastEvery50msDuringADeadTransaction) {
  int breathes = 0;
  line.setBreathe([&] { ++breathes; });
  link.setBreathe([&] { ++breathes; });
  run(Transaction::ReadClock);
  EXPECT_LE(line.longestGapMs, kBreatheSliceMs);
  EXPECT_GE(breathes, 16 * 3030 / kBreatheSliceMs);
}

TEST_F(ProtocolFixture, CancelEndsTheTransactionAfterTheCurrentExchange) {
  std::atomic<bool> cancel{false};
  link.setCancelFlag(&cancel);
  link.setBreathe([&] { cancel = true; });  // the user presses "Стоп" during the first exchange
  EXPECT_THROW(run(Transaction::ReadClock), CommandCancelled);
  EXPECT_EQ(exchanges(), 1u);
  EXPECT_EQ(link.counters.TimeoutCount, 0);
  EXPECT_EQ(link.LinkFault, 0);
  // A cancel that is already pending sends nothing.
  line.sent.clear();
  EXPECT_THROW(run(Transaction::ReadFloatValue), CommandCancelled);
  EXPECT_EQ(exchanges(), 0u);
}

TEST_F(ProtocolFixture, TraceShowsEveryByteOfAnExchangeOnOneLine) {
  std::vector<std::string> lines;
  link.setTrace([&](const std::string& l) { lines.push_back(l); });
  line.inject(0, Bytes{0xAA});
  line.responder = test::meterAnswering([](const Frame&) { return 0x01020304u; });
  link.addr.valueIndex = 9;
  run(Transaction::ReadParameter);
  ASSERT_EQ(lines.size(), 1u);
  const std::string& l = lines[0];
  EXPECT_NE(l.find("09:05:07.000"), std::string::npos) << l;
  EXPECT_NE(l.find("drain<- [AA]"), std::string::npos) << l;
  EXPECT_NE(l.find("send-> [23 00 05 09 00 00 00 00 00 3E 0D]"), std::string::npos) << l;
  EXPECT_NE(l.find("reply<- [23 00 05 09 00 04 03 02 01"), std::string::npos) << l;
  EXPECT_NE(l.find(" ok"), std::string::npos) << l;
}

TEST_F(ProtocolFixture, ASendThatDidNotGoOutIsTracedAsSuchAndCounted) {
  std::vector<std::string> lines;
  link.setTrace([&](const std::string& l) { lines.push_back(l); });
  line.portGone = true;
  run(Transaction::ReadFloatValue);
  ASSERT_EQ(lines.size(), 11u);
  for (const auto& l : lines) {
    EXPECT_NE(l.find("send-> port not open"), std::string::npos) << l;
    EXPECT_EQ(l.find("send-> ["), std::string::npos) << l;
  }
  EXPECT_EQ(link.counters.ErrorCount, 11);
  EXPECT_EQ(link.LinkFault, 1);
}

TEST_F(ProtocolFixture, ModemTextsGoOutExactlyAndPrefillTheWholeReplyBuffer) {
  link.ReplyBuffer.fill(9);
  link.sendRaw("+++");
  EXPECT_EQ(line.sent.at(0), (Bytes{'+', '+', '+'}));
  for (auto b : link.ReplyBuffer) EXPECT_EQ(b, 1);
}

TEST(TransactionTable, NamesRoundTrip) {
  for (int i = 0; i < 8; ++i) {
    const auto t = static_cast<Transaction>(i);
    EXPECT_EQ(transactionByName(transactionInfo(t).name), t);
  }
  EXPECT_FALSE(transactionByName("ReadClock"));
}

}  // namespace
}  // namespace vardis
