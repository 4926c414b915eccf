// Meter data files: what they pin, and the errors for files that cannot be used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "sim/meter_model.h"
#include "sim/time_source.h"

namespace vardis::sim {
namespace {

std::int64_t msAt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return secondsSince2000(CivilTime{y, mo, d, h, mi, s}) * 1000;
}

struct DataTest : ::testing::Test {
  std::shared_ptr<ManualTimeSource> time = std::make_shared<ManualTimeSource>(msAt(2030, 1, 1));
  MeterModel model{time};

  // The error text of loading `text`, or "" when it loads.
  std::string errorOf(const std::string& text) {
    try {
      model.loadJson(text);
    } catch (const DataError& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(DataTest, PinsEveryKindOfValue) {
  model.loadJson(R"({
    "comment": "a meter with a few values pinned",
    "address": 3,
    "parameters": {"0": 54321, "9": 0, "10": 5000.5, "111": 1},
    "floatValues": {"0": 1.25, "30": -7.5},
    "counters": {"24": 4096, "25": 268435456, "0": 4294967295},
    "clock": {"packed": 1104080905, "seconds": 7},
    "archive": [
      {"kind": 0, "date": 1104080500, "quantity": 0, "value": 1.5},
      {"kind": 0, "date": 1104080500, "quantity": 17, "value": 4097},
      {"kind": 1, "date": 1104082300, "quantity": 8, "value": 240000},
      {"kind": 2, "date": 1104252300, "quantity": 9, "value": 65.25},
      {"kind": 3, "date": 1104082300, "quantity": 4, "value": 123456}
    ]
  })");
  EXPECT_EQ(model.address(), 3);
  EXPECT_EQ(model.parameter(0), 54321.0f);
  EXPECT_EQ(model.parameter(9), 0.0f);
  EXPECT_EQ(model.parameter(10), 5000.5f);
  EXPECT_EQ(model.parameter(111), 1.0f);
  EXPECT_EQ(model.parameter(3), 1.0f);  // not pinned
  EXPECT_EQ(model.floatValue(0), 1.25f);
  EXPECT_EQ(model.floatValue(30), -7.5f);
  EXPECT_EQ(model.counter(24), 4096u);
  EXPECT_EQ(model.counter(25), 268435456u);
  EXPECT_EQ(model.counter(0), 4294967295u);
  EXPECT_EQ(model.clock().packed, 1104080905u);
  EXPECT_EQ(model.clock().seconds, 7);
  EXPECT_EQ(model.archiveValue(RecordKind::Hourly, 1104080500, 0), 1.5);
  EXPECT_EQ(model.archiveReplyBits(Command::ReadArchiveInteger, RecordKind::Hourly, 1104080500, 17),
            4097u);
  EXPECT_EQ(model.archiveValue(RecordKind::Daily, 1104082300, 8), 240000.0);
  EXPECT_EQ(model.archiveValue(RecordKind::Monthly, 1104252300, 9), 65.25);
  EXPECT_EQ(
      model.archiveReplyBits(Command::ReadArchiveInteger, RecordKind::DayEndTotals, 1104082300, 4),
      123456u);
  // A pin answers only its own code; the clock stands before the hour after.
  EXPECT_EQ(model.archiveValue(RecordKind::Hourly, 1104080400, 0),
            model.hourRecord(2011, 4, 8, 4).value(0));
  EXPECT_EQ(model.archiveValue(RecordKind::Hourly, 1104081000, 0), 0.0);

  // Through the protocol.
  const auto reply = model.answer(buildFrame(3, 11, 0, 0, 1104080500));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(floatFromBits(getU32(&(*reply)[5])), 1.5f);
  const auto parameter = model.answer(buildFrame(3, 5, 0, 0, 0));
  EXPECT_EQ(floatFromBits(getU32(&(*parameter)[5])), 54321.0f);
}

TEST_F(DataTest, FloatPinsAreStoredAsFloats) {
  model.loadJson(R"({"archive": [{"kind": 0, "date": 1104080500, "quantity": 9, "value": 0.1}]})");
  EXPECT_EQ(model.archiveValue(RecordKind::Hourly, 1104080500, 9), static_cast<double>(0.1f));
}

TEST_F(DataTest, ClockCanStandStill) {
  model.loadJson(R"({"clock": {"packed": 1104080905, "seconds": 7, "running": false}})");
  time->advance(3'600'000);
  EXPECT_EQ(model.clock().packed, 1104080905u);
  EXPECT_EQ(model.clock().seconds, 7);
  model.loadJson(R"({"clock": {"packed": 1104080905}})");
  time->advance(61'000);
  EXPECT_EQ(model.clock().packed, 1104080906u);
  EXPECT_EQ(model.clock().seconds, 1);
}

TEST_F(DataTest, ArchiveHorizonDecidesWhichRecordsExist) {
  model.loadJson(R"({"archiveHorizon": 1104081000})");
  EXPECT_TRUE(model.hourRecord(2011, 4, 8, 9).present);
  EXPECT_FALSE(model.hourRecord(2011, 4, 8, 10).present);
}

TEST_F(DataTest, LaterFilesAddToEarlierOnes) {
  model.loadJson(R"({"parameters": {"0": 1}})");
  model.loadJson(R"({"parameters": {"3": 25}})");
  EXPECT_EQ(model.parameter(0), 1.0f);
  EXPECT_EQ(model.parameter(3), 25.0f);
}

TEST_F(DataTest, BadDataIsRefusedWithAClearMessage) {
  struct Case {
    const char* text;
    const char* expected;  // part of the message
  };
  const Case cases[] = {
      {"", "not valid JSON"},
      {"{\"parameters\": {\"0\": 1,}}", "not valid JSON"},
      {"[1, 2]", "expected an object"},
      {R"({"parameter": {"0": 1}})", "\"parameter\": unknown key"},
      {R"({"parameters": [1, 2]})", "\"parameters\": expected an object, found array"},
      {R"({"parameters": {"abc": 1}})", "\"parameters.abc\": the key must be an index 0..255"},
      {R"({"parameters": {"256": 1}})", "\"parameters.256\": the key must be an index"},
      {R"({"parameters": {"-1": 1}})", "\"parameters.-1\""},
      {R"({"parameters": {"9": "1"}})", "\"parameters.9\": expected a number, found string"},
      {R"({"parameters": {"9": 1e39}})", "does not fit a 32-bit float"},
      {R"({"floatValues": {"3": null}})", "\"floatValues.3\": expected a number, found null"},
      {R"({"counters": {"24": -1}})", "\"counters.24\": expected a whole number 0..4294967295"},
      {R"({"counters": {"24": 4294967296}})", "\"counters.24\""},
      {R"({"counters": {"24": 1.5}})", "\"counters.24\""},
      {R"({"address": 256})", "\"address\": expected a whole number 0..255"},
      {R"({"clock": 1104080905})", "\"clock\": expected an object"},
      {R"({"clock": {"seconds": 7}})", "\"clock\": missing \"packed\""},
      {R"({"clock": {"packed": 1113080905}})", "\"clock.packed\": 1113080905 is not a date"},
      {R"({"clock": {"packed": 1104080905, "seconds": 60}})", "\"clock.seconds\""},
      {R"({"clock": {"packed": 1104080905, "running": 1}})", "\"clock.running\""},
      {R"({"clock": {"packed": 1104080905, "secs": 1}})", "\"clock.secs\": unknown key"},
      {R"({"archiveHorizon": "today"})", "\"archiveHorizon\""},
      {R"({"archive": {"kind": 0}})", "\"archive\": expected an array"},
      {R"({"archive": [{"kind": 0, "date": 1104080500, "quantity": 0}]})",
       "\"archive[0]\": missing \"value\""},
      {R"({"archive": [{"kind": 4, "date": 1104080500, "quantity": 0, "value": 1}]})",
       "\"archive[0].kind\": expected a whole number 0..3"},
      {R"({"archive": [{"kind": 0, "date": 1104080530, "quantity": 0, "value": 1}]})",
       "\"archive[0].date\": 1104080530 is not an archive date code"},
      {R"({"archive": [{"kind": 1, "date": 1104002300, "quantity": 0, "value": 1}]})",
       "\"archive[0].date\""},
      {R"({"archive": [{"kind": 0, "date": 1104080500, "quantity": 256, "value": 1}]})",
       "\"archive[0].quantity\""},
      {R"({"archive": [{"kind": 0, "date": 1104080500, "quantity": 8, "value": 0.5}]})",
       "\"archive[0].value\": expected a whole number"},
      {R"({"archive": [{"kind": 3, "date": 1104082300, "quantity": 0, "value": -3}]})",
       "\"archive[0].value\""},
      {R"({"archive": [1]})", "\"archive[0]\": expected an object, found number"},
      {R"({"archive": [{"kind": 0, "date": 1104080500, "quantity": 0, "value": 1, "x": 2}]})",
       "\"archive[0].x\": unknown key"},
  };
  for (const Case& c : cases) {
    const std::string message = errorOf(c.text);
    EXPECT_NE(message.find(c.expected), std::string::npos)
        << "data: " << c.text << "\nmessage: " << message;
    EXPECT_EQ(message.rfind("meter data", 0), 0u) << message;
  }
}

TEST_F(DataTest, ARefusedFileChangesNothing) {
  const std::uint32_t clock = model.clock().packed;
  EXPECT_THROW(model.loadJson(R"({"address": 9, "parameters": {"0": 1},
                                  "clock": {"packed": 1104080905},
                                  "counters": {"3": "x"}})"),
               DataError);
  EXPECT_EQ(model.address(), 0);
  EXPECT_EQ(model.parameter(0), 12345.0f);
  EXPECT_EQ(model.clock().packed, clock);
}

TEST_F(DataTest, FilesAreReadAndTheirErrorsNamed) {
  const std::string dir = ::testing::TempDir();
  const std::string tag = std::to_string(::getpid());
  const std::string good = dir + "/sim_data_good_" + tag + ".json";
  const std::string bad = dir + "/sim_data_bad_" + tag + ".json";
  std::ofstream(good) << R"({"parameters": {"0": 777}})";
  std::ofstream(bad) << R"({"parameters": {"0": true}})";

  model.loadJsonFile(good);
  EXPECT_EQ(model.parameter(0), 777.0f);
  try {
    model.loadJsonFile(bad);
    ADD_FAILURE() << "a bad file was taken";
  } catch (const DataError& e) {
    EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("parameters.0"), std::string::npos) << e.what();
  }
  try {
    model.loadJsonFile(dir + "/no_such_meter_data.json");
    ADD_FAILURE() << "a missing file was taken";
  } catch (const DataError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot read meter data file"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("no_such_meter_data.json"), std::string::npos);
  }
  std::remove(good.c_str());
  std::remove(bad.c_str());
}

}  // namespace
}  // namespace vardis::sim
