// The control lines: every command, and every way a line can be wrong
// (answered with the reason, the program going on).
#include <gtest/gtest.h>

#include "sim_commands.h"

namespace {

TSimCommand Parsed(const std::string& Line, char Separator = '.') {
  const TSimParse P = ParseSimCommand(Line, Separator);
  EXPECT_TRUE(P.Command.has_value()) << Line << ": " << P.Error;
  return P.Command.value_or(TSimCommand{});
}

TEST(SimCommands, EveryCommandIsRead) {
  TSimCommand C = Parsed("set VSS 60");
  EXPECT_EQ(C.Verb, TSimVerb::Set);
  EXPECT_EQ(C.Field, TEcuField::VSS);
  EXPECT_EQ(C.Text, "60");
  // A number with a point becomes a text with the separator in use.
  C = Parsed("set ubat 12.50", ',');
  EXPECT_EQ(C.Field, TEcuField::Ubat);
  EXPECT_EQ(C.Text, "12,50");
  EXPECT_EQ(Parsed("SET Dv -0.5").Text, "-0.5");
  EXPECT_EQ(Parsed("set TOG +7").Text, "7");

  // A text reaches the field exactly as given: blanks, commas, nothing.
  C = Parsed("text TOG 20,5 ");
  EXPECT_EQ(C.Verb, TSimVerb::Text);
  EXPECT_EQ(C.Field, TEcuField::TOG);
  EXPECT_EQ(C.Text, "20,5 ");
  EXPECT_EQ(Parsed("text IAT   x").Text, "  x");
  EXPECT_EQ(Parsed("text RPM").Text, "");
  EXPECT_EQ(Parsed("text RPM ").Text, "");

  C = Parsed("tick 03a0");
  EXPECT_EQ(C.Verb, TSimVerb::Tick);
  EXPECT_EQ(C.Code, "03A0");
  C = Parsed("untick #113");
  EXPECT_EQ(C.Verb, TSimVerb::Untick);
  EXPECT_EQ(C.Item, 113);
  EXPECT_TRUE(C.Code.empty());
  EXPECT_EQ(Parsed("untick ALL").Verb, TSimVerb::UntickAll);

  C = Parsed("variant 3");
  EXPECT_EQ(C.Verb, TSimVerb::Variant);
  EXPECT_EQ(C.Item, 3);
  C = Parsed("pause on");
  EXPECT_EQ(C.Verb, TSimVerb::Pause);
  EXPECT_TRUE(C.On);
  C = Parsed("noanswer OFF");
  EXPECT_EQ(C.Verb, TSimVerb::NoAnswer);
  EXPECT_FALSE(C.On);
  C = Parsed("events on");
  EXPECT_EQ(C.Verb, TSimVerb::Events);
  EXPECT_TRUE(C.On);

  C = Parsed(R"(rule {"service": "21", "identifier": "06", "every": 3, "action": "late", "delay_ms": 200})");
  EXPECT_EQ(C.Verb, TSimVerb::Rule);
  EXPECT_EQ(C.Rule.Service, uint8_t{0x21});
  EXPECT_EQ(C.Rule.Identifier, uint8_t{0x06});
  EXPECT_EQ(C.Rule.EveryNth, 3u);
  EXPECT_EQ(C.Rule.Action, TFaultAction::Late);
  EXPECT_EQ(C.Rule.DelayMs, 200);
  C = Parsed("rule remove 12");
  EXPECT_EQ(C.Verb, TSimVerb::RuleRemove);
  EXPECT_EQ(C.Id, 12u);
  EXPECT_EQ(Parsed("rule clear").Verb, TSimVerb::RuleClear);

  // A file name is the rest of the line, blanks within it included.
  C = Parsed("record start  runs/day one.jsonl  ");
  EXPECT_EQ(C.Verb, TSimVerb::RecordStart);
  EXPECT_EQ(C.Text, "runs/day one.jsonl");
  EXPECT_EQ(Parsed("record stop").Verb, TSimVerb::RecordStop);
  C = Parsed("record save out.csv");
  EXPECT_EQ(C.Verb, TSimVerb::RecordSave);
  EXPECT_EQ(C.Text, "out.csv");

  EXPECT_EQ(Parsed("scenario play").Verb, TSimVerb::ScenarioPlay);
  EXPECT_EQ(Parsed("scenario pause").Verb, TSimVerb::ScenarioPause);
  EXPECT_EQ(Parsed("scenario stop").Verb, TSimVerb::ScenarioStop);
  EXPECT_EQ(Parsed("counters").Verb, TSimVerb::Counters);
  EXPECT_EQ(Parsed("values").Verb, TSimVerb::Values);
  EXPECT_EQ(Parsed("help").Verb, TSimVerb::Help);
  EXPECT_EQ(Parsed("\tquit  ").Verb, TSimVerb::Quit);
}

TEST(SimCommands, EveryMalformedLineNamesWhatIsWrong) {
  // Each line with a piece of the error it must give.
  const std::pair<const char*, const char*> Cases[] = {
      {"", "empty line"},
      {"   ", "empty line"},
      {"jump 3", "unknown command \"jump\""},
      {"set", "expected a field"},
      {"set XYZ 5", "unknown field \"XYZ\""},
      {"set VSS", "expected a number after VSS"},
      {"set VSS abc", "\"abc\" is not a number with a point"},
      {"set Ubat 12,5", "\"12,5\" is not a number with a point"},
      {"set VSS 1e3", "\"1e3\" is not a number"},
      {"set VSS 5.", "\"5.\" is not a number"},
      {"set VSS .5", "\".5\" is not a number"},
      {"set VSS 60 km/h", "unexpected \"km/h\""},
      {"text", "expected a field"},
      {"text Speed 5", "unknown field \"Speed\""},
      {"tick", "expected a fault code"},
      {"tick 012", "found \"012\""},
      {"tick 01G2", "found \"01G2\""},
      {"tick #0", "no item \"#0\""},
      {"tick #114", "no item \"#114\""},
      {"tick #x", "no item \"#x\""},
      {"tick all", "found \"all\""},
      {"tick 0102 0103", "unexpected \"0103\""},
      {"untick", "or all"},
      {"variant", "expected 1, 2 or 3"},
      {"variant 4", "found \"4\""},
      {"variant 1 2", "unexpected \"2\""},
      {"pause", "expected on or off"},
      {"pause maybe", "found \"maybe\""},
      {"noanswer on now", "unexpected \"now\""},
      {"events 1", "found \"1\""},
      {"rule", "expected a rule as JSON"},
      {"rule {\"action\": \"late\"}", "\"delay_ms\""},
      {"rule {\"action\": \"explode\"}", "\"action\""},
      {"rule {\"service\": \"21\"", "JSON"},
      {"rule [1]", "\"rules\""},
      {"rule remove", "expected the number of a rule"},
      {"rule remove x", "found \"x\""},
      {"rule clear all", "unexpected \"all\""},
      {"record", "expected start FILE, stop or save FILE"},
      {"record begin x.csv", "found \"begin\""},
      {"record start", "expected a file"},
      {"record save", "expected a file"},
      {"record stop now", "unexpected \"now\""},
      {"scenario", "expected play, pause or stop"},
      {"scenario rewind", "found \"rewind\""},
      {"scenario play now", "unexpected \"now\""},
      {"counters please", "unexpected \"please\""},
      {"values all", "unexpected \"all\""},
      {"help me", "unexpected \"me\""},
      {"quit now", "unexpected \"now\""},
  };
  for (const auto& [Line, Expected] : Cases) {
    const TSimParse P = ParseSimCommand(Line, '.');
    EXPECT_FALSE(P.Command.has_value()) << Line;
    EXPECT_NE(P.Error.find(Expected), std::string::npos) << "line \"" << Line << "\" gave: " << P.Error;
  }
}

TEST(SimCommands, NumbersBecomeFieldTextsOnlyWithAPoint) {
  EXPECT_EQ(NumberFieldText("12.5", ','), "12,5");
  EXPECT_EQ(NumberFieldText("12.5", '.'), "12.5");
  EXPECT_EQ(NumberFieldText("-40", ','), "-40");
  EXPECT_EQ(NumberFieldText("007.250", ','), "007,250");
  for (const char* Bad : {"", "-", "+", "1.2.3", "1,5", " 1", "1 ", "0x10", "inf", "nan", "1e2", "--1"})
    EXPECT_FALSE(NumberFieldText(Bad, ',').has_value()) << Bad;
}

}  // namespace
