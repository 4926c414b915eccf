// The modem's answer picked out of what it sends: result codes among echoes,
// split over reads, in either case.
#include <gtest/gtest.h>

#include "connection/modem_answer.h"

namespace vardis {
namespace {

TEST(ModemAnswerReader, TakesTheFirstResultCodeAfterTheEcho) {
  ModemAnswerReader r;
  EXPECT_EQ(r.feed("ATD+79001234567\r"), std::nullopt);  // the echo is no answer
  EXPECT_EQ(r.feed("\r\nCONNECT 9600/RLP\r\n"), ModemAnswer::Connect);
  EXPECT_EQ(r.answerLine(), "CONNECT 9600/RLP");
}

TEST(ModemAnswerReader, CodesSplitOverReadsAndInAnyCase) {
  struct Case {
    std::string first, second;
    ModemAnswer want;
  };
  for (const Case& c : {Case{"\r\nBU", "SY\r\n", ModemAnswer::Busy},
                        Case{"\r\nNO CAR", "RIER\r\n", ModemAnswer::NoCarrier},
                        Case{"\r\nno answer", "\r\n", ModemAnswer::NoAnswer},
                        Case{"\r\nNO DIAL TO", "NE\r\n", ModemAnswer::NoDialtone},
                        Case{"\r\nERROR", "\r\n", ModemAnswer::Error},
                        Case{"AT&K0\r\r\nOK", "\r\n", ModemAnswer::Ok}}) {
    ModemAnswerReader r;
    EXPECT_EQ(r.feed(c.first), std::nullopt) << c.first;
    EXPECT_EQ(r.feed(c.second), c.want) << c.first << c.second;
  }
}

TEST(ModemAnswerReader, GsmErrorsKeepTheModemsOwnLine) {
  for (const std::string line : {"+CME ERROR: 30", "+cms error: 500", "+CME ERROR"}) {
    ModemAnswerReader r;
    EXPECT_EQ(r.feed("\r\n " + line + "\r\n"), ModemAnswer::DeviceError) << line;
    EXPECT_EQ(r.answerLine(), line);
  }
  EXPECT_STREQ(modemAnswerText(ModemAnswer::DeviceError), "+CME ERROR");
  ModemAnswerReader r;
  EXPECT_EQ(r.feed("\r\n+CME ERRORS\r\n+CMEERROR: 3\r\n"), std::nullopt);
}

TEST(ModemAnswerReader, TheCodesAfterAnAnswerWaitForTheNextFeed) {
  ModemAnswerReader r;
  EXPECT_EQ(r.feed("\r\nOK\r\n\r\nBUSY\r\n\r\nNO CA"), ModemAnswer::Ok);
  EXPECT_EQ(r.feed({}), ModemAnswer::Busy);
  EXPECT_EQ(r.answerLine(), "BUSY");
  EXPECT_EQ(r.feed({}), std::nullopt);
  EXPECT_EQ(r.feed("RRIER\r\n"), ModemAnswer::NoCarrier);
}

TEST(ModemAnswerReader, LinesThatOnlyLookLikeCodesAreNone) {
  ModemAnswerReader r;
  EXPECT_EQ(r.feed("\r\nCONNECTED\r\nBUSYNESS\r\nRING\r\n" + std::string(200, 'x') + "\r\n"),
            std::nullopt);
}

}  // namespace
}  // namespace vardis
