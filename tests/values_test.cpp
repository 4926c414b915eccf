// Current values, the device clock and the date picker.
#include <gtest/gtest.h>

#include "archives/session.h"
#include "support/fake_meter.h"
#include "values/current_values_read.h"
#include "values/device_clock.h"

namespace vardis {
namespace {

using test::FakeLine;
using test::FakeMeter;
using test::VirtualClock;

struct ValuesFixture : ::testing::Test {
  VirtualClock clock;
  FakeLine line{clock};
  FakeMeter meter;
  Session session{line, clock, SessionConfig{}};
  void SetUp() override {
    session.link.port = "1";
    line.responder = meter.responder();
  }
};

TEST(PackedDateTime, BothWays) {
  EXPECT_EQ(packDateTime({11, 4, 8, 9, 5}), 1104080905u);
  const DateTimeParts p = unpackDateTime(1104080905u);
  EXPECT_EQ(p.year2, 11u);
  EXPECT_EQ(p.month, 4u);
  EXPECT_EQ(p.day, 8u);
  EXPECT_EQ(p.hour, 9u);
  EXPECT_EQ(p.minute, 5u);
  EXPECT_EQ(packDateTime({42, 12, 31, 23, 59}), 4212312359u);  // the largest that fits
  EXPECT_EQ(archiveDateCode(2011, 4, 8, 5), 1104080500u);
  EXPECT_EQ(archiveDateCode(2011, 4, 8, 23), 1104082300u);
}

TEST(ClockCaptions, TwoBlanksAfterThePrefixAndTheTwoDigitRule) {
  EXPECT_EQ(clockDateCaption(1104080905u), "Дата:  2011.04.08 ");
  EXPECT_EQ(clockTimeCaption(1104080905u, 7), "Время:  09:05:07");
  EXPECT_EQ(clockDateCaption(0), "Дата:  2000.00.00 ");
  EXPECT_EQ(clockTimeCaption(0, 0), "Время:  00:00:00");
  EXPECT_EQ(clockDateCaption(1010101010u), "Дата:  2010.10.10 ");
  EXPECT_EQ(clockTimeCaption(1010101010u, 10), "Время:  10:10:10");
  EXPECT_EQ(clockTimeCaption(1109090909u, 9), "Время:  09:09:09");
  EXPECT_EQ(clockTimeCaption(0, 100), "Время:  00:00:100");
  // The pre-fill of an unanswered read.
  EXPECT_EQ(clockDateCaption(16843009u), "Дата:  2000.16.84 ");
  EXPECT_EQ(clockTimeCaption(16843009u, 1), "Время:  30:09:01");
}

TEST_F(ValuesFixture, ReadDeviceClockShowsTheMetersClock) {
  meter.clock = 1104080905;
  meter.seconds = 7;
  ReadDeviceClock(session);
  EXPECT_EQ(session.shown().clockDate, "Дата:  2011.04.08 ");
  EXPECT_EQ(session.shown().clockTime, "Время:  09:05:07");
}

TEST_F(ValuesFixture, SetDeviceClockSendsOneReadingOfThePcClock) {
  clock.base = LocalDateTime{2011, 12, 31, 23, 59, 58, 900};
  SetDeviceClock(session);
  ASSERT_EQ(meter.requests.size(), 1u);
  const Frame& f = meter.requests[0];
  EXPECT_EQ(f[2], 0);
  EXPECT_EQ(f[3], 58);
  EXPECT_EQ(f[4], 0);
  EXPECT_EQ(getU32(&f[5]), 1112312359u);
  EXPECT_EQ(session.link.addr.dateTime, 1112312359u);
  EXPECT_EQ(session.link.addr.seconds, 58);
  // Nothing is shown.
  EXPECT_EQ(session.shown().clockDate, "");
}

TEST_F(ValuesFixture, SetDeviceClockRefusesYearsTheMeterCannotHold) {
  for (int year : {2000, 1999, 2043, 2100}) {
    clock.base = LocalDateTime{year, 6, 1, 12, 0, 0, 0};
    EXPECT_THROW(SetDeviceClock(session), UserError) << year;
  }
  EXPECT_TRUE(line.sent.empty());
  clock.base = LocalDateTime{2042, 12, 31, 23, 59, 0, 0};
  EXPECT_NO_THROW(SetDeviceClock(session));
  clock.base = LocalDateTime{2001, 1, 1, 0, 0, 0, 0};
  EXPECT_NO_THROW(SetDeviceClock(session));
}

TEST(DatePicker, DayCountsFollowTheGregorianRule) {
  VirtualClock clock;
  FakeLine line{clock};
  Session s{line, clock, SessionConfig{}};
  EXPECT_EQ(pickArchiveDate(s, 2012, 2, 10).daysInMonth, 29);
  EXPECT_EQ(pickArchiveDate(s, 2011, 2, 10).daysInMonth, 28);
  EXPECT_EQ(pickArchiveDate(s, 2000, 2, 1).daysInMonth, 29);
  EXPECT_EQ(pickArchiveDate(s, 2100, 2, 1).daysInMonth, 28);
  EXPECT_EQ(pickArchiveDate(s, 2011, 4, 8).daysInMonth, 30);
  EXPECT_EQ(s.pickedDate.year, 2011);
  EXPECT_EQ(s.pickedDate.day, 8);
  EXPECT_TRUE(archiveDateAllowed(2000, 1, 1));
  EXPECT_TRUE(archiveDateAllowed(2042, 12, 31));
  EXPECT_FALSE(archiveDateAllowed(1999, 12, 31));
  EXPECT_FALSE(archiveDateAllowed(2043, 1, 1));
  EXPECT_FALSE(archiveDateAllowed(2011, 2, 29));
}

std::string captionOf(const Session& s, const std::string& control) {
  for (const auto& [c, t] : currentValueCaptions(s)) {
    if (c == control) return t;
  }
  return "<none>";
}

TEST_F(ValuesFixture, IntegratorsScaleByTheChannelDecimals) {
  session.params.values[10] = 5;  // p1 = 4
  session.formats = computeFormatTable(session.params);
  session.values.counters[0] = 123456;
  EXPECT_EQ(captionOf(session, "M1"), "M1,т:     123.456");
  session.params.values[10] = 50000;  // p1 = 0: divisor 0.1, decimals -1 print 2
  session.formats = computeFormatTable(session.params);
  session.values.counters[0] = 1234;
  EXPECT_EQ(captionOf(session, "M1"), "M1,т:    12340.00");
  session.values.counters[5] = 12345;
  EXPECT_EQ(captionOf(session, "B1"), "В1,час:      1.2345");
}

TEST_F(ValuesFixture, AbnormalFlagsFollowTheIrregularBitTable) {
  session.values.counters[24] = 1u << 12;
  session.values.counters[25] = 1u << 28;
  EXPECT_EQ(captionOf(session, "HC1"), "НС1: T1<  ");
  EXPECT_EQ(captionOf(session, "HC2"), "НС2: T2>  ");
  EXPECT_EQ(captionOf(session, "HC3"), "НС3: ");
  EXPECT_EQ(captionOf(session, "HC4"), "НС4: ");
  session.values.counters[24] = (1u << 6) | (1u << 15) | (1u << 30) | (1u << 31);
  session.values.counters[25] = 0;
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(captionOf(session, "HC" + std::to_string(n)), "НС" + std::to_string(n) + ": ");
  }
  // Table order within a channel, whatever the bit numbers: T<, T>, P<, P>, G<, G>, Go.
  EXPECT_EQ(abnormalTexts(0xFFFFFFFFu, 3), "T3<  T3>  P3<  P3>  G3<  G3>  G3o  ");
  EXPECT_EQ(abnormalTexts(1u << 29, 3), "G3<  ");
  EXPECT_EQ(abnormalFlagsFromCounters(4294967295.0, 0), 0xFFFFFFFFu);
}

TEST_F(ValuesFixture, ReadCurrentValuesFillsEveryLabelThenReadsTheClock) {
  meter.parameters[10] = 50;  // p1 = 3
  session.params.values[10] = 50;
  meter.floats[0] = 12.3456f;
  meter.floats[4] = 71.5f;
  meter.floats[8] = 0.6f;
  meter.floats[12] = 1.25f;
  meter.floats[16] = 0.5f;
  meter.floats[17] = 0.25f;
  meter.floats[18] = 300.0f;
  meter.floats[24] = 977.8f;
  meter.counters[4] = 5000;
  meter.counters[8] = 240000;
  meter.clock = 1104080905;
  meter.seconds = 7;
  std::vector<int> progress;
  struct P : SessionObserver {
    std::vector<int>* out;
    void progressChanged(int p) override { out->push_back(p); }
  } obs;
  obs.out = &progress;
  session.setObserver(&obs);
  ReadCurrentValues(session);

  EXPECT_EQ(session.shown().valueCaption("G1"), "G1,м3/час: 12.346");
  EXPECT_EQ(session.shown().valueCaption("T1"), "T1,гр.C:  71.50");
  EXPECT_EQ(session.shown().valueCaption("P1"), "P1,Мпа: 0.600");
  EXPECT_EQ(session.shown().valueCaption("PL1"), "П1,кг/м3:   977.8");
  EXPECT_EQ(session.shown().valueCaption("E1"), "Э1,кДж/кг: 300.000");
  EXPECT_EQ(session.shown().valueCaption("m1"), "m1,т/час:  1.250");
  EXPECT_EQ(session.shown().valueCaption("W1"), "W1,Гдж/час:   0.500");
  EXPECT_EQ(session.shown().valueCaption("W2"), "W2,Гдж/час:  0.2500");
  EXPECT_EQ(session.shown().valueCaption("Q1"), "Q1,Гдж:       50.00");
  EXPECT_EQ(session.shown().valueCaption("Tc"), "Tс,ч:     24.0000");
  EXPECT_EQ(session.shown().clockDate, "Дата:  2011.04.08 ");
  EXPECT_EQ(session.operationStatus(), "Параметры считаны");
  // 31 floats, 26 counters, then the clock.
  ASSERT_EQ(meter.requests.size(), 58u);
  EXPECT_EQ(meter.requests[30][2], 4);
  EXPECT_EQ(meter.requests[30][3], 30);
  EXPECT_EQ(meter.requests[56][2], 8);
  EXPECT_EQ(meter.requests[56][3], 25);
  EXPECT_EQ(meter.requests[57][2], 1);
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress[30], 60);
  EXPECT_EQ(progress[31], 60);
  EXPECT_EQ(progress[56], 85);
  EXPECT_EQ(progress.back(), 100);

  session.params.values[9] = 1;
  EXPECT_EQ(captionOf(session, "W1"), "W1,Гкал/час:   0.500");
  EXPECT_EQ(captionOf(session, "Q2"), "Q2,Гкал:       0.000");  // p2 = 4
}

TEST_F(ValuesFixture, NoMeterShowsNoNumber) {
  line.responder = nullptr;
  ReadCurrentValues(session);
  // Every caption says the meter gave no reply, none shows the prefill.
  for (const auto& [quantity, text] : session.shown().valueCaptions) {
    EXPECT_NE(text.find(kNoReplyText), std::string::npos) << quantity << ": " << text;
  }
  EXPECT_EQ(session.shown().valueCaption("G1"), "G1,м3/час: нет ответа");
  EXPECT_EQ(session.shown().clockTime, "Время:  нет ответа");
  EXPECT_EQ(session.operationStatus(), "Значения: 58 значений без ответа");
}

}  // namespace
}  // namespace vardis
