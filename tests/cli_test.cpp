// vardis-cli: arguments, exit status and what it prints, over a scripted line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "cli/cli_app.h"
#include "cli/dates.h"
#include "cli/export_sink.h"
#include "cli/output_pipe.h"
#include "format/numtext.h"
#include "params/parameter_names.h"
#include "support/fake_meter.h"
#include "support/temp_dir.h"
#include "values/current_values_read.h"

namespace vardis {
namespace {

using test::FakeLine;
using test::FakeMeter;
using test::VirtualClock;

std::optional<cli::CliOptions> parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string e;
  auto o = cli::parseArguments(args, e);
  if (error) *error = e;
  return o;
}

TEST(CliArguments, CommandsKeepTheirArgumentsInOrder) {
  auto o = parse({"--port", "/dev/pts/4", "--speed", "9600", "--address", "7", "transact",
                  "ReadParameterTransaction", "9", "clock", "param", "3", "values"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->port, "/dev/pts/4");
  EXPECT_EQ(o->speedIndex, 4);
  EXPECT_EQ(o->address, "7");
  ASSERT_EQ(o->commands.size(), 4u);
  EXPECT_EQ(o->commands[0].name, "transact");
  EXPECT_EQ(o->commands[0].args, (std::vector<std::string>{"ReadParameterTransaction", "9"}));
  EXPECT_EQ(o->commands[1].name, "clock");
  EXPECT_EQ(o->commands[2].args, (std::vector<std::string>{"3"}));
  EXPECT_EQ(o->commands[3].name, "values");
}

TEST(CliArguments, DefaultsMatchTheWindow) {
  auto o = parse({"--no-store"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->port, "1");
  EXPECT_EQ(o->speedIndex, 8);
  EXPECT_EQ(o->address, "0");
  EXPECT_FALSE(o->gsm);
  EXPECT_TRUE(o->commands.empty());
}

TEST(CliArguments, UsageErrorsSayWhatIsWrong) {
  std::string e;
  EXPECT_FALSE(parse({"--speed", "9601"}, &e));
  EXPECT_NE(e.find("9601"), std::string::npos);
  EXPECT_FALSE(parse({"--port"}, &e));
  EXPECT_NE(e.find("--port"), std::string::npos);
  EXPECT_FALSE(parse({"frobnicate"}, &e));
  EXPECT_NE(e.find("frobnicate"), std::string::npos);
  EXPECT_FALSE(parse({"transact"}, &e));
  EXPECT_FALSE(parse({"param", "1", "2"}, &e));
  EXPECT_FALSE(parse({"--date", "2043-01-01"}, &e));
  EXPECT_FALSE(parse({"--date", "1999-12-31"}, &e));
  EXPECT_FALSE(parse({"--date", "2011-02-29"}, &e));
  EXPECT_TRUE(parse({"--date", "2012-02-29"}));
  EXPECT_FALSE(parse({"--fake-pc-time", "yesterday"}, &e));
  EXPECT_TRUE(parse({"--fake-pc-time", "2011-04-08 09:05"}));
  EXPECT_FALSE(parse({}, &e));  // nothing asked: no port is opened
  EXPECT_EQ(e, "no command given");
}

// Every date is YYYY-MM-DD with its zeros, a real one, or today / yesterday;
// the refusal shows the form.
TEST(CliArguments, DatesAreFullIsoDatesOrAWord) {
  std::string e;
  for (const char* bad : {"2026-12-1", "2026-1-09", "26-12-09", "2026-12-09x", "2026/12/09",
                          "2026-02-29", "2026-04-31", "2026-13-01", "+026-12-09", "Today"}) {
    EXPECT_FALSE(parse({"history", "--from", bad, "daily"}, &e)) << bad;
    EXPECT_EQ(e, std::string("history --from ") + bad +
                     ": not a date; expected YYYY-MM-DD (e.g. 2026-12-09), today or yesterday");
    EXPECT_FALSE(parse({"--date", bad, "hourly"}, &e)) << bad;
    EXPECT_FALSE(parse({"hourly", bad}, &e)) << bad;
    EXPECT_FALSE(parse({"daily", "--missing", "--to", bad}, &e)) << bad;
  }
  for (const char* good : {"2024-02-29", "today", "yesterday"}) {
    EXPECT_TRUE(parse({"--date", good, "hourly", good, "monthly"}, &e)) << good << ": " << e;
    EXPECT_TRUE(parse({"history", "--from", good, "--to", "today", "hourly"}, &e)) << e;
    EXPECT_TRUE(parse({"hourly", "--missing", "--from", good, "--to", "today"}, &e)) << e;
  }
  EXPECT_FALSE(parse({"history", "--from", "2026-11-10", "--to", "2026-11-09", "daily"}, &e));
  EXPECT_FALSE(parse({"hourly", "--missing", "--from", "today", "--to", "yesterday"}, &e));
  EXPECT_TRUE(parse({"hourly", "--missing", "--from", "2026-11-09", "--to", "2026-11-10"}, &e));
  for (const char* bad : {"2026-12-9 10:00", "2026-12-09 1:00", "2026-12-09 10:00:5",
                          "2026-02-30 10:00", "2026-12-09 24:00"}) {
    EXPECT_FALSE(parse({"--fake-pc-time", bad, "clock"}, &e)) << bad;
  }
  EXPECT_TRUE(parse({"--fake-pc-time", "2026-12-09T10:00:05.250", "clock"}, &e)) << e;
  EXPECT_FALSE(parse({"hourly", "--max-days", "100"}, &e));  // only with --missing
  EXPECT_FALSE(parse({"daily", "--missing", "--max-days", "100"}, &e));
  EXPECT_FALSE(parse({"hourly", "--missing", "--max-days", "0"}, &e));
}

// A --missing range beyond its bound takes --max-days / --max-months; the
// count is of every day or month the range touches.
TEST(CliArguments, MissingRangesAreBoundedAndCounted) {
  const CalendarDate today{2026, 12, 9};
  std::string e;
  cli::CommandArgs a;
  a.missing = true;
  a.from = "2026-10-08";  // 62 days to yesterday
  auto r = cli::missingRange(a, true, today, 115200, e);
  ASSERT_TRUE(r) << e;
  EXPECT_EQ(r->periods, 62);
  a.from = "2026-10-07";
  EXPECT_FALSE(cli::missingRange(a, true, today, 115200, e));
  a.maxPeriods = 63;
  EXPECT_TRUE(cli::missingRange(a, true, today, 115200, e));
  a = {};
  a.missing = true;
  r = cli::missingRange(a, false, today, 115200, e);  // the 7 days before today: one month
  ASSERT_TRUE(r);
  EXPECT_EQ(r->periods, 1);
  EXPECT_EQ(r->from, (CalendarDate{2026, 12, 2}));
  a.from = "2024-12-31";
  a.to = "2026-12-31";  // after today: the range ends today
  r = cli::missingRange(a, false, today, 9600, e);
  EXPECT_FALSE(r);
  EXPECT_EQ(e,
            "daily --missing: 25 months from 2024-12 to 2026-12, about 16 minutes on the "
            "line at 9600 baud; give --max-months 25 to read them");
}

// The options of vardis-cli stand anywhere; a command's option follows its
// word, or stands right before the command when the one before cannot take it.
TEST(CliArguments, OptionsStandAnywhereAndCommandOptionsFindTheirCommand) {
  const auto history = [](std::vector<std::string> args) {
    const auto o = parse(std::move(args));
    return o ? std::make_pair(o->exportFormat, o->commands)
             : std::make_pair(cli::ExportFormat{}, std::vector<cli::CliCommand>{});
  };
  const auto expected = std::make_pair(cli::ExportFormat::Json,
                                       std::vector<cli::CliCommand>{{"history", {"hourly"}}});
  EXPECT_EQ(history({"history", "--format", "json", "hourly"}), expected);
  EXPECT_EQ(history({"--format", "json", "history", "hourly"}), expected);
  EXPECT_EQ(history({"history", "hourly", "--format=json"}), expected);

  auto o = parse({"values", "--speed", "9600", "--port", "/dev/pts/3", "clock", "--gsm"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->speedIndex, 4);
  EXPECT_EQ(o->port, "/dev/pts/3");
  EXPECT_TRUE(o->gsm);
  ASSERT_EQ(o->commands.size(), 2u);
  // Before its command, after one that does not take it, after its own command.
  std::string e;
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--from", "2026-12-01", "history", "hourly"},
           {"history", "--from", "2026-12-01", "hourly"},
           {"history", "hourly", "--data-dir", "/tmp/x", "--from=2026-12-01"}}) {
    o = parse(args, &e);
    ASSERT_TRUE(o) << e;
    const auto a = cli::parseCommandArgs(o->commands.at(0), e);
    ASSERT_TRUE(a) << e;
    EXPECT_EQ(a->from, "2026-12-01");
    EXPECT_EQ(a->kind, "hourly");
  }
  o = parse({"values", "--from", "2026-12-01", "hourly", "--missing", "daily", "--missing"}, &e);
  ASSERT_TRUE(o) << e;
  EXPECT_EQ(o->commands.at(1).args,
            (std::vector<std::string>{"--from", "2026-12-01", "--missing"}));
  EXPECT_EQ(o->commands.at(2).args, (std::vector<std::string>{"--missing"}));
  // The command before takes what it can: --from stays with hourly.
  o = parse({"hourly", "--missing", "--from", "2026-12-01", "daily", "--missing"}, &e);
  ASSERT_TRUE(o) << e;
  EXPECT_EQ(o->commands.at(0).args.size(), 3u);
  o = parse({"--gsm", "--nodes", "1,3", "round", "--attempts", "2", "values"}, &e);
  ASSERT_TRUE(o) << e;
  EXPECT_EQ(cli::parseRoundArgs(o->commands.at(0), e)->nodes, (std::vector<int>{1, 3}));
}

TEST(CliArguments, AMisplacedOrUnknownOptionIsNamed) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"values", "--missing"}, "--missing belongs to hourly and daily, not to values"},
      {{"--missing", "values"}, "--missing belongs to hourly and daily, not to values"},
      {{"--missing"}, "--missing belongs to hourly and daily; give it with one of them"},
      {{"hourly", "--max-months", "3"}, "--max-months belongs to daily, not to hourly"},
      {{"values", "--node", "3", "2026-12-01"},
       "--node belongs to dial, history, alarms and consumption, not to values"},
      {{"--frob", "values"}, "unknown option --frob"},
      {{"values", "--frob=1"}, "unknown option --frob"},
      {{"-x", "values"}, "unknown option -x"},
      {{"--gsm=yes", "values"}, "--gsm takes no value"},
      {{"history", "--from", "today", "--from", "yesterday", "daily"},
       "history --from: given twice"},
  };
  for (const auto& [args, message] : cases) {
    std::string e;
    EXPECT_FALSE(parse(args, &e)) << message;
    EXPECT_EQ(e, message);
  }
}

TEST(CliArguments, TheStoreCommandsTakeTheirArguments) {
  std::string e;
  const auto args = [&](std::vector<std::string> words) {
    const auto o = parse(std::move(words), &e);
    return o ? cli::parseCommandArgs(o->commands.at(0), e) : std::nullopt;
  };
  auto a = args({"rounds"});
  ASSERT_TRUE(a) << e;
  EXPECT_TRUE(!a->lastRound && !a->roundId);
  EXPECT_TRUE(args({"rounds", "--last"})->lastRound);
  EXPECT_EQ(args({"rounds", "12"})->roundId, 12);
  a = args({"alarms", "--round", "last", "--node", "3", "--from", "yesterday", "--to", "today"});
  ASSERT_TRUE(a) << e;
  EXPECT_TRUE(a->lastRound);
  EXPECT_EQ(a->node, 3);
  EXPECT_EQ(a->from + "|" + a->to, "yesterday|today");
  EXPECT_EQ(args({"alarms", "--round", "7", "--serial", "10001"})->roundId, 7);
  a = args({"--by", "month", "consumption", "--serial", "10001"});
  ASSERT_TRUE(a) << e;
  EXPECT_EQ(a->by, "month");
  EXPECT_EQ(a->serial, 10001);
  EXPECT_EQ(args({"consumption"})->by, "day");
  EXPECT_EQ(args({"history", "--node", "2", "daily"})->node, 2);

  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"rounds", "--last", "5"}, "rounds: --last or a round ID, not both"},
      {{"rounds", "x"}, "rounds x: not a round ID"},
      {{"alarms", "--serial", "1", "--node", "2"},
       "alarms: --serial and --node both choose the meter; give one"},
      {{"alarms", "--round", "0"}, "alarms --round 0: not a round ID or last"},
      {{"consumption", "--by", "week"}, "consumption --by week: not day or month"},
      {{"consumption", "--node", "256"}, "consumption --node 256: not a node number 1..255"},
      {{"consumption", "--to", "2026-11-30", "--from", "2026-12-01"},
       "consumption: --to 2026-11-30 is before --from 2026-12-01"},
      {{"alarms", "values"},
       "history, meters, rounds, alarms and consumption read only the store; run them without "
       "meter commands"},
      {{"--columns", "M1,,T1", "meters"},
       "--columns M1,,T1: an empty column name; give names like M1,T1,W1"},
      {{"--columns", "", "meters"}, "--columns : an empty column name; give names like M1,T1,W1"},
  };
  for (const auto& [words, message] : refused) {
    EXPECT_FALSE(parse(words, &e)) << message;
    EXPECT_EQ(e, message);
  }
  auto o = parse({"--columns", "M1,T1", "consumption", "--columns=W1"}, &e);
  ASSERT_TRUE(o) << e;
  EXPECT_EQ(o->columns, (std::vector<std::string>{"M1", "T1", "W1"}));
  // --version: nothing else is looked at.
  o = parse({"values", "--version", "--frob"}, &e);
  ASSERT_TRUE(o) << e;
  EXPECT_TRUE(o->version);
}

// Standard output into a pipe: its reader gone is told apart from a reader
// still there and from a file; the export then counts as written.
TEST(OutputPipe, AReaderThatWentAwayIsToldApart) {
  test::TempDir dir;
  std::fflush(stdout);
  const int saved = ::dup(1);
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ::dup2(p[1], 1);
  ::close(p[1]);
  const bool whileRead = cli::standardOutputReaderGone();
  ::close(p[0]);
  const bool afterClose = cli::standardOutputReaderGone();
  cli::CliOptions o;
  o.exportFormat = cli::ExportFormat::Json;
  std::ostringstream failed;
  failed.setstate(std::ios::badbit);
  cli::ExportSink sink;
  std::string e;
  ASSERT_TRUE(sink.open(o, failed, e));
  const bool exportWritten = sink.write("{}");
  const int file = ::open((dir.path() / "out").c_str(), O_WRONLY | O_CREAT, 0600);
  ::dup2(file, 1);
  ::close(file);
  const bool onFile = cli::standardOutputReaderGone();
  const bool exportOnFile = sink.write("{}");
  ::dup2(saved, 1);
  ::close(saved);
  EXPECT_FALSE(whileRead);
  EXPECT_TRUE(afterClose);
  EXPECT_TRUE(exportWritten);
  EXPECT_FALSE(onFile);
  EXPECT_FALSE(exportOnFile);
}

struct CliRun : ::testing::Test {
  test::TempDir dir;
  VirtualClock clock;
  FakeLine line{clock};
  FakeMeter meter;
  std::ostringstream out, err;

  int run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data-dir", dir.path().string()});
    std::string e;
    auto o = cli::parseArguments(args, e);
    EXPECT_TRUE(o) << e;
    return cli::run(*o, line, clock, out, err, false);
  }
};

TEST_F(CliRun, IdentifiesThenRunsTheCommandsThenStops) {
  std::filesystem::create_directories(dir.path() / "arc");
  meter.parameters[0] = 12345;
  meter.parameters[9] = 1;
  meter.clock = 1104080905;
  meter.seconds = 7;
  line.responder = meter.responder();
  const int status = run({"--fake-pc-time", "2011-04-08 09:05", "--port", "/dev/pts/9", "transact",
                          "ReadParameterTransaction", "9", "clock"});
  EXPECT_EQ(status, cli::kExitOk) << err.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("12345D2011_04_08_09_05"), std::string::npos) << text;
  EXPECT_NE(text.find("ReadParameterTransaction 9: 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("requests=9 errors=0 timeouts=0 link-fault=0"), std::string::npos) << text;
  EXPECT_NE(text.find("Дата:  2011.04.08 \nВремя:  09:05:07\n"), std::string::npos) << text;
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "arc" / "12345D2011_04_08_09_05_par.txt"));
  // "Стоп" closed the port it opened.
  EXPECT_EQ(line.calls.back(), "Close_Com(/dev/pts/9)");
}

TEST_F(CliRun, ParamSetClockAndValuesPrintWhatTheMeterHolds) {
  meter.parameters[9] = 1;
  meter.parameters[3] = 25.9f;
  meter.floats[4] = 71.5f;
  meter.floats[8] = 0.6f;
  line.responder = meter.responder();
  const int status = run({"--gsm", "--fake-pc-time", "2011-12-31 23:59", "param", "9", "param", "3",
                          "set-clock", "values"});
  EXPECT_EQ(status, cli::kExitOk) << err.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("9 " + parameterName(9) + ": 1 (1)\n"), std::string::npos) << text;
  // The value with the decimals of its format, then in full.
  EXPECT_NE(text.find("3 " + parameterName(3) + ": " +
                      fixedLeft(25.9f, 0, parameterFormat(3).decimals, NumberStyle{}) +
                      " (25.899999618530273)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("set the meter clock to 2011-12-31 23:59:00\n"), std::string::npos) << text;
  EXPECT_EQ(meter.clock, 1112312359u);
  // Every page of values under its tab and group, every label on it.
  std::size_t lines = 0;
  for (const auto& page : valuePages()) {
    EXPECT_NE(text.find(std::string("[") + page.tab + "] " + page.group + "\n"), std::string::npos)
        << page.tab;
    lines += 1 + page.quantities.size() + (page.deviceClock ? 2 : 0);
  }
  EXPECT_NE(text.find("\n  T1,гр.C:  71.50\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n  P1,Мпа: 0.600\n"), std::string::npos) << text;
  const std::size_t start = text.find(std::string("[") + valuePages().front().tab + "]");
  ASSERT_NE(start, std::string::npos);
  const std::string valuesPart = text.substr(start);
  EXPECT_GE(static_cast<std::size_t>(std::count(valuesPart.begin(), valuesPart.end(), '\n')),
            lines);

  // An index out of range is the command's error, named.
  const int bad = run({"--gsm", "param", "256"});
  EXPECT_EQ(bad, cli::kExitCommandError);
  EXPECT_NE(err.str().find("'256' is not a parameter index 0..255"), std::string::npos)
      << err.str();
}

TEST_F(CliRun, LinkFaultGivesStatusThree) {
  const int status = run({"--gsm", "transact", "ReadFloatValueTransaction", "1"});
  EXPECT_EQ(status, cli::kExitLinkFault);
  EXPECT_NE(err.str().find("link fault"), std::string::npos);
  EXPECT_NE(out.str().find("requests=12 errors=11 timeouts=1 link-fault=1"), std::string::npos)
      << out.str();
}

TEST_F(CliRun, BadPortTextIsACommandError) {
  const int status = run({"--port", "ttyUSB0", "--gsm"});
  EXPECT_EQ(status, cli::kExitCommandError);
  EXPECT_NE(err.str().find("'ttyUSB0' is not a valid integer value"), std::string::npos);
}

TEST_F(CliRun, APortThatCannotOpenEndsAtOnceWithStatusThree) {
  line.refuseOpen = "/dev/ttyUSB9: No such file or directory";
  const int status = run({"--port", "/dev/ttyUSB9", "values"});
  EXPECT_EQ(status, cli::kExitLinkFault);
  EXPECT_NE(err.str().find("cannot open the port /dev/ttyUSB9 (/dev/ttyUSB9: No such file"),
            std::string::npos)
      << err.str();
  EXPECT_TRUE(line.sent.empty());
  EXPECT_EQ(clock.ms, 0);  // no exchange was waited for
}

// A --missing of more days than allowed is refused with its count and line
// time before the port is opened.
TEST_F(CliRun, AMissingRangeBeyondItsBoundOpensNoPort) {
  line.refuseOpen = "opened";
  const int status = run({"--fake-pc-time", "2026-12-09 10:00", "--speed", "9600", "values",
                          "hourly", "--missing", "--from", "2000-01-01"});
  EXPECT_EQ(status, cli::kExitUsage);
  EXPECT_EQ(err.str(),
            "vardis-cli: hourly --missing: 9839 days from 2000-01-01 to 2026-12-08, about 84 hours "
            "on the line at 9600 baud; give --max-days 9839 to read them\n");
  EXPECT_TRUE(line.sent.empty());
}

TEST_F(CliRun, AnAddressOutsideOneByteSendsNothing) {
  line.responder = meter.responder();
  EXPECT_EQ(run({"--address", "999", "--gsm", "values"}), cli::kExitCommandError);
  EXPECT_NE(err.str().find("the meter address 999 is outside 0 to 255"), std::string::npos)
      << err.str();
  EXPECT_TRUE(line.sent.empty());
}

// A value whose every reply fails is shown, exported and counted as failed;
// the others are the meter's.
TEST_F(CliRun, AValueWithoutAGoodReplyIsNeverShownOrExportedAsANumber) {
  meter.floats[4] = 71.5f;
  meter.floats[5] = 65.25f;
  auto answer = meter.responder();
  line.responder = [&](const std::vector<std::uint8_t>& sent) {
    auto chunks = answer(sent);
    if (sent.size() == kFrameLength && sent[2] == 4 && sent[3] == 4) chunks[0].bytes[9] ^= 0x5A;
    return chunks;
  };
  const int status = run({"--gsm", "--format", "json", "--out", "-", "values"});
  EXPECT_EQ(status, cli::kExitLinkFault);
  EXPECT_NE(err.str().find("T1,гр.C: нет ответа"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("T2,гр.C:  65.25"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("values: 1 of 58 values had no good reply"), std::string::npos)
      << err.str();
  std::string json = out.str();
  json.erase(std::remove_if(json.begin(), json.end(), [](char c) { return c == ' ' || c == '\n'; }),
             json.end());
  EXPECT_NE(json.find(R"({"name":"T1","unit":"degC","value":null})"), std::string::npos) << json;
  EXPECT_NE(json.find(R"({"name":"T2","unit":"degC","value":65.25})"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("noReply":1)"), std::string::npos) << json;
}

TEST_F(CliRun, MissingReportFolderIsNamedAndNothingIsCreated) {
  meter.parameters[0] = 12345;  // a meter answering only zeros is an echo of the requests
  line.responder = meter.responder();
  const int status = run({});
  EXPECT_EQ(status, cli::kExitCommandError);
  EXPECT_NE(err.str().find("I/O error 3"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find((dir.path() / "arc").string()), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("mkdir -p " + (dir.path() / "arc").string()), std::string::npos)
      << err.str();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "arc"));

  // Told how, the user makes it with the run itself.
  err.str("");
  EXPECT_EQ(run({"--create-dirs", "--fake-pc-time", "2011-04-08 09:05"}), cli::kExitOk)
      << err.str();
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "arc" / "12345D2011_04_08_09_05_par.txt"));
}

TEST_F(CliRun, UnknownTransactionNameIsACommandError) {
  const int status = run({"--gsm", "transact", "ReadSomething"});
  EXPECT_EQ(status, cli::kExitCommandError);
  EXPECT_NE(err.str().find("ReadSomething"), std::string::npos);
}

}  // namespace
}  // namespace vardis
