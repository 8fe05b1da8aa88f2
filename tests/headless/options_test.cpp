// The command line and the JSON start file: what they set, and what they
// refuse with a reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "environment.h"
#include "fakes.h"
#include "numtext.h"
#include "sim_options.h"

namespace {

TSimOptionsParse Parse(std::vector<std::string> Args, char Separator = ',') { return ParseSimOptions(Args, Separator); }

TEST(SimOptions, TheCommandLineSetsTheRunUp) {
  const TSimOptionsParse P = Parse({"--port",
                                    "/dev/ttyUSB0",
                                    "--variant=2",
                                    "--set",
                                    "Ubat=12.5",
                                    "--text",
                                    "TOG=20.5",
                                    "--fault",
                                    "0102",
                                    "--fault=#67",
                                    "--no-answer",
                                    "--scenario",
                                    "builtin:NEDC",
                                    "--speed",
                                    "10",
                                    "--record",
                                    "a b.jsonl",
                                    "--events",
                                    "--duration",
                                    "1.5",
                                    "--no-input",
                                    "--expect-no-timing-violations",
                                    "--expect-no-conversion-errors",
                                    "--expect-answers",
                                    "3"});
  ASSERT_EQ(P.Error, "");
  const TSimOptions& O = P.Options;
  EXPECT_EQ(O.Device, "/dev/ttyUSB0");
  EXPECT_EQ(O.Start.Variant, 2);
  ASSERT_EQ(O.Start.Fields.size(), 2u);
  EXPECT_EQ(O.Start.Fields[0].Field, TEcuField::Ubat);
  EXPECT_EQ(O.Start.Fields[0].Text, "12,5");  // a number, in the locale's notation
  EXPECT_EQ(O.Start.Fields[1].Text, "20.5");  // a text, as it stands
  EXPECT_EQ(O.Start.Faults, (std::vector<std::string>{"0102", "#67"}));
  EXPECT_EQ(O.Start.NoAnswer, true);
  EXPECT_FALSE(O.Start.Pause.has_value());
  EXPECT_EQ(O.Scenario, "builtin:NEDC");
  EXPECT_EQ(O.Speed, 10);
  EXPECT_EQ(O.Record, "a b.jsonl");
  EXPECT_TRUE(O.Events);
  EXPECT_EQ(O.DurationS, 1.5);
  EXPECT_FALSE(O.ReadInput);
  EXPECT_TRUE(O.Checks.NoTimingViolations);
  EXPECT_TRUE(O.Checks.NoConversionErrors);
  EXPECT_EQ(O.Checks.MinAnswers, 3u);

  // The device alone, as the window takes it; a separator named after a
  // --set still applies to it.
  const TSimOptionsParse Q = Parse({"COM3", "--set", "Dv=2.5", "--decimal-separator", "."});
  ASSERT_EQ(Q.Error, "");
  EXPECT_EQ(Q.Options.Device, "COM3");
  EXPECT_EQ(Q.Options.Start.Fields[0].Text, "2.5");
  EXPECT_TRUE(Parse({"--help"}).Options.Help);
  EXPECT_TRUE(Parse({"--list-faults"}).Options.ListFaults);
}

TEST(SimOptions, ABadCommandLineSaysWhatIsWrong) {
  const std::pair<std::vector<std::string>, const char*> Cases[] = {
      {{}, "no port given"},
      {{"--events"}, "no port given"},
      {{"-p"}, "-p needs a value"},
      {{"-p", "COM1", "--bogus"}, "unknown option --bogus"},
      {{"-p", "COM1", "COM2"}, "unexpected argument \"COM2\""},
      {{"-p", "COM1", "--events=yes"}, "--events takes no value"},
      {{"-p", "COM1", "--variant", "0"}, "expected 1, 2 or 3"},
      {{"-p", "COM1", "--set", "VSS"}, "expected FIELD=NUMBER"},
      {{"-p", "COM1", "--set", "Speed=5"}, "expected FIELD=NUMBER"},
      {{"-p", "COM1", "--set", "Ubat=12,5"}, "\"12,5\" is not a number with a point"},
      {{"-p", "COM1", "--text", "x"}, "expected FIELD=TEXT"},
      {{"-p", "COM1", "--fault", "12"}, "--fault: expected a code"},
      {{"-p", "COM1", "--speed", "0"}, "--speed: expected a factor"},
      {{"-p", "COM1", "--duration", "-1"}, "--duration: expected seconds"},
      {{"-p", "COM1", "--duration", "1,5"}, "--duration: expected seconds"},
      {{"-p", "COM1", "--expect-answers", "2.5"}, "--expect-answers: expected a whole number"},
      {{"-p", "COM1", "--decimal-separator", ";"}, "expected . or ,"},
      {{"-p", "COM1", "--start", "/nonexistent/start.json"}, "cannot read the start file"},
  };
  for (const auto& [Args, Expected] : Cases) {
    const std::string Error = Parse(Args).Error;
    EXPECT_NE(Error.find(Expected), std::string::npos) << "gave: " << Error;
  }
}

TEST(SimOptions, AStartFileGivesNumbersAsTextsAndTextsAsTheyStand) {
  std::string Error;
  const TSimStartState S = ParseStartState(
      R"({"variant": 3, "values": {"vss": 60, "Ubat": 12.5, "Dv": 0.1, "TOG": "20,5", "IAT": -7},
          "faults": ["0102", "#36"], "pause": true, "no_answer": false})",
      ',', Error);
  ASSERT_EQ(Error, "");
  EXPECT_EQ(S.Variant, 3);
  ASSERT_EQ(S.Fields.size(), 5u);
  EXPECT_EQ(S.Fields[0].Field, TEcuField::VSS);
  EXPECT_EQ(S.Fields[0].Text, "60");
  EXPECT_EQ(S.Fields[1].Text, "12,5");
  EXPECT_EQ(S.Fields[2].Text, "0,1");  // the shortest text of the number, not 0.1000000000000000055
  EXPECT_EQ(S.Fields[3].Text, "20,5");
  EXPECT_EQ(S.Fields[4].Text, "-7");
  EXPECT_EQ(S.Faults, (std::vector<std::string>{"0102", "#36"}));
  EXPECT_EQ(S.Pause, true);
  EXPECT_EQ(S.NoAnswer, false);

  const std::pair<const char*, const char*> Bad[] = {
      {"[1]", "expected a JSON object"},
      {"{\"variant\": 1", "not JSON"},
      {R"({"variant": 4})", "\"variant\": expected 1, 2 or 3"},
      {R"({"variant": "2"})", "\"variant\": expected 1, 2 or 3"},
      {R"({"values": [60]})", "\"values\": expected an object"},
      {R"({"values": {"Speed": 1}})", "unknown field \"Speed\""},
      {R"({"values": {"VSS": true}})", "VSS: expected a number or a text"},
      {R"({"faults": "0102"})", "\"faults\": expected an array"},
      {R"({"faults": ["12"]})", "found \"12\""},
      {R"({"pause": 1})", "\"pause\": expected true or false"},
      {R"({"port": "COM1"})", "unknown key \"port\""},
  };
  for (const auto& [Json, Expected] : Bad) {
    std::string Why;
    ParseStartState(Json, ',', Why);
    EXPECT_NE(Why.find(Expected), std::string::npos) << Json << " gave: " << Why;
  }
}

TEST(SimOptions, TheStartStateReachesTheUnitAndOptionsComeAfterTheFile) {
  const std::filesystem::path File =
      std::filesystem::temp_directory_path() / ("sim_start_" + UniqueTempSuffix() + ".json");
  {
    std::ofstream Out(File);
    Out << R"({"variant": 2, "values": {"VSS": 100, "RPM": 800}, "faults": ["0300"]})";
  }
  const TSimOptionsParse P = Parse({"COM1", "--start", File.string(), "--set", "VSS=60", "--fault", "0102"});
  std::filesystem::remove(File);
  ASSERT_EQ(P.Error, "");
  SetDecimalSeparator(',');
  TFakePort Port;
  TSimSession Session(
      Port, [](const std::string&) {}, [] { return int64_t{0}; });
  Session.Panel().Reset();
  ASSERT_EQ(ApplyStartState(Session, P.Options.Start), "");
  EXPECT_EQ(Session.Panel().ActiveVariant(), 2);
  EXPECT_EQ(Session.Panel().FieldText(TEcuField::VSS), "60");
  EXPECT_EQ(Session.Panel().FieldText(TEcuField::RPM), "800");
  EXPECT_EQ(Session.Panel().FieldText(TEcuField::Ubat), "12,00");  // the window's start text
  // Ticked in list order, whatever the order named.
  EXPECT_EQ(Session.Panel().TickedCodes(), (std::vector<std::string>{"0102", "0300"}));

  TSimStartState Unknown;
  Unknown.Faults = {"0999"};
  EXPECT_EQ(ApplyStartState(Session, Unknown), "tick: no fault code 0999 in the list");
  SetDecimalSeparator('.');
}

}  // namespace
