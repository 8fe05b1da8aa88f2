// The unit without a window, driven by control lines over a fake port: the
// answers the commands lead to, the event lines, fault rules, records and
// the end of the run with its checks.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "environment.h"
#include "fakes.h"
#include "numtext.h"
#include "sim_session.h"

namespace {

using TJson = nlohmann::json;

class SimSession : public ::testing::Test {
protected:
  void SetUp() override {
    SetDecimalSeparator(',');
    Session = std::make_unique<TSimSession>(
        Port, [this](const std::string& Line) { Lines.push_back(Line); }, [this] { return Now; });
    Session->Panel().Reset();
  }
  void TearDown() override { SetDecimalSeparator('.'); }

  // A command and its one answer line.
  std::string Command(const std::string& Line) {
    const size_t Before = Lines.size();
    Session->HandleLine(Line);
    EXPECT_EQ(Lines.size(), Before + 1) << Line;
    return Lines.back();
  }
  // The frames written for one receive event holding Bytes.
  std::vector<TBytes> Event(const TBytes& Bytes) {
    Port.Written.clear();
    Port.Now = Now;
    Port.Input.insert(Port.Input.end(), Bytes.begin(), Bytes.end());
    Session->RxChar(static_cast<int>(Bytes.size()));
    return Port.Written;
  }
  TBytes Answer(const TBytes& Request) {
    const std::vector<TBytes> Frames = Event(Request);
    return Frames.empty() ? TBytes{} : Frames.back();
  }
  std::vector<TJson> EventLines() const {
    std::vector<TJson> Events;
    for (const std::string& L : Lines)
      if (!L.empty() && L[0] == '{') Events.push_back(TJson::parse(L));
    return Events;
  }

  TFakePort Port;
  int64_t Now = 1'000'000;
  std::vector<std::string> Lines;
  std::unique_ptr<TSimSession> Session;
};

const TBytes StartCommunication = {0x81, 0x11, 0xF1, 0x81, 0x04};
TBytes Record(uint8_t Id) { return WithChecksum({0x82, 0x11, 0xF1, 0x21, Id}); }
const TBytes ReadFaults = {0x84, 0x11, 0xF1, 0x18, 0x00, 0xFF, 0x00, 0x9D};

TEST_F(SimSession, CommandsChangeWhatTheUnitAnswers) {
  EXPECT_EQ(Answer(StartCommunication), (TBytes{0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x40}));
  EXPECT_EQ(Command("set VSS 60"), "OK VSS=60");
  EXPECT_EQ(Command("set RPM 800"), "OK RPM=800");
  EXPECT_EQ(Answer(Record(0x06)), (TBytes{0x8E, 0xF1, 0x11, 0x61, 0x06, 0x30, 0x00, 0x00, 0x80, 0x0C, 0x00, 0x00, 0x00,
                                          0x00, 0x00, 0x00, 0x00, 0xB3}));
  // Variant 2 reads the speed as an integer into data byte 10.
  EXPECT_EQ(Command("variant 2"), "OK variant 2");
  EXPECT_EQ(Answer(Record(0x06)), WithChecksum({0x8B, 0xF1, 0x11, 0x61, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0x30}));
  // A value with a point reaches a floating-point field in the locale's notation.
  EXPECT_EQ(Command("set Ubat 14.0"), "OK Ubat=14,0");
  EXPECT_EQ(Answer(Record(0x02))[30], 0xC7);

  EXPECT_EQ(Command("tick #1"), "OK ticked #1 0102");
  EXPECT_EQ(Command("tick 0300"), "OK ticked #36 0300");
  EXPECT_EQ(Answer(ReadFaults), (TBytes{0x88, 0xF1, 0x11, 0x58, 0x02, 0x01, 0x02, 0xE0, 0x03, 0x00, 0xE0, 0xAA}));
  EXPECT_EQ(Command("untick 0102"), "OK unticked #1 0102");
  EXPECT_EQ(Command("untick all"), "OK nothing ticked");
  EXPECT_EQ(Answer(ReadFaults), (TBytes{0x82, 0xF1, 0x11, 0x58, 0x00, 0xDC}));

  EXPECT_EQ(Command("noanswer on"), "OK noanswer on");
  EXPECT_TRUE(Answer(ReadFaults).empty());
  Command("noanswer off");
  EXPECT_EQ(Command("pause on"), "OK pause on");
  EXPECT_TRUE(Answer(ReadFaults).empty());
  EXPECT_TRUE(Port.Input.empty());  // read and dropped
  Command("pause off");
  EXPECT_FALSE(Answer(ReadFaults).empty());
  EXPECT_EQ(Session->Counters().FramesReceived, 8u);  // the paused one is not a frame
}

TEST_F(SimSession, TickingACodeTakesTheNextItemWithIt) {
  EXPECT_EQ(Command("tick 0601"), "OK ticked #67 0601");
  EXPECT_EQ(Command("tick 0601"), "OK ticked #68 0601");
  EXPECT_EQ(Command("tick 0601"), "OK ticked #69 0601");
  EXPECT_EQ(Command("tick 0601"), "ERROR tick: every item with code 0601 is ticked already");
  EXPECT_EQ(Command("untick 0601"), "OK unticked #67 0601");
  EXPECT_EQ(Command("tick 9999"), "ERROR tick: no fault code 9999 in the list");
  EXPECT_EQ(Command("untick 0102"), "ERROR untick: every item with code 0102 is unticked already");
  // An item by number is ticked whatever its state.
  EXPECT_EQ(Command("tick #68"), "OK ticked #68 0601");
  EXPECT_EQ(Session->Panel().TickedCodes(), (std::vector<std::string>{"0601", "0601"}));
}

TEST_F(SimSession, ABadTextReachesTheEmulatorAndIsCountedAndShown) {
  Command("events on");
  Answer(StartCommunication);
  EXPECT_EQ(Command("text TOG 20,5"), "OK TOG=20,5");
  EXPECT_TRUE(Answer(Record(0x03)).empty());
  EXPECT_EQ(Session->Counters().ConversionErrors, 1u);
  const std::vector<TJson> Events = EventLines();
  ASSERT_GE(Events.size(), 2u);
  EXPECT_EQ(Events[Events.size() - 2]["outcome"], "conversion_error");
  EXPECT_EQ(Events.back()["event"], "error");
  EXPECT_EQ(Events.back()["message"], "'20,5' is not a valid integer value");
  // The next request is answered once the text is good again; an empty text
  // is refused like any other.
  Command("set TOG 90");
  EXPECT_EQ(Answer(Record(0x03))[8], 0xB8);
  Command("text Ubat");
  EXPECT_TRUE(Answer(Record(0x03)).empty());
  EXPECT_EQ(EventLines().back()["message"], "'' is not a valid floating point value");
  EXPECT_EQ(Session->Counters().ConversionErrors, 2u);
}

TEST_F(SimSession, EventLinesFollowTheLine) {
  Answer(StartCommunication);  // events off: nothing printed
  EXPECT_TRUE(Lines.empty());
  Command("events on");
  Now += 60'000;
  Event({0x00});  // a wake-up byte outside any frame
  Now += 30'000;
  Answer(StartCommunication);
  const std::vector<TJson> Events = EventLines();
  ASSERT_EQ(Events.size(), 3u);
  EXPECT_EQ(Events[0]["event"], "drop");
  EXPECT_EQ(Events[0]["why"], "noise");
  // The received frame comes first with its outcome, then its answer.
  EXPECT_EQ(Events[1]["event"], "rx");
  EXPECT_EQ(Events[1]["bytes"], "81 11 F1 81 04");
  EXPECT_EQ(Events[1]["outcome"], "answered");
  EXPECT_DOUBLE_EQ(Events[1]["t_ms"].get<double>(), 90.0);
  EXPECT_EQ(Events[2]["event"], "tx");
  EXPECT_EQ(Events[2]["bytes"], "83 F1 11 C1 6B 8F 40");
  Command("events off");
  Answer(StartCommunication);
  EXPECT_EQ(EventLines().size(), 3u);
}

TEST_F(SimSession, AFaultRuleAppliedByHandHoldsTheAnswerUntilItIsDue) {
  Answer(StartCommunication);
  const std::string Added = Command(R"(rule {"service": "21", "identifier": "06", "action": "late", "delay_ms": 200})");
  ASSERT_EQ(Added.rfind("OK rule 1: ", 0), 0u) << Added;
  EXPECT_TRUE(Answer(Record(0x06)).empty());
  ASSERT_TRUE(Session->NextWakeUs().has_value());
  EXPECT_EQ(*Session->NextWakeUs(), Now + 200'000);
  Now += 199'000;
  Session->Tick();
  EXPECT_TRUE(Port.Written.empty());
  Now += 1'000;
  Session->Tick();
  ASSERT_EQ(Port.Written.size(), 1u);
  EXPECT_EQ(Port.Written[0][4], 0x06);
  EXPECT_FALSE(Session->NextWakeUs().has_value());
  // Other requests are not taken; without the rule the answer is at once.
  EXPECT_FALSE(Answer(Record(0x01)).empty());
  EXPECT_EQ(Command("rule remove 7"), "ERROR rule remove: no rule 7 applied by hand");
  EXPECT_EQ(Command("rule remove 1"), "OK rule 1 removed");
  EXPECT_FALSE(Answer(Record(0x06)).empty());
  const TSimCounters C = Session->Counters();
  EXPECT_EQ(C.FaultHits, 1u);
  EXPECT_EQ(C.AnswersSent, 4u);  // the late one counted when it went out
}

TEST_F(SimSession, ARecordIsWrittenWhenItStopsAndIsParseable) {
  const std::filesystem::path Dir = std::filesystem::temp_directory_path() / ("sim_record_" + UniqueTempSuffix());
  std::filesystem::create_directories(Dir);
  const std::string File = (Dir / "run.jsonl").string();
  EXPECT_EQ(Command("record stop"), "ERROR record stop: no record is running");
  EXPECT_EQ(Command("record start " + (Dir / "missing" / "x.csv").string()).rfind("ERROR record start: ", 0), 0u);
  EXPECT_EQ(Command("record start " + File), "OK recording to " + File);
  EXPECT_EQ(Command("record start " + File).rfind("ERROR record start: a record to ", 0), 0u);
  Answer(StartCommunication);
  Command("set VSS 60");
  Now += 100'000;
  Answer(Record(0x06));
  EXPECT_EQ(Command("record stop"), "OK record written to " + File + ": 5 entries, timing pass");
  std::vector<TJson> Rows;
  {
    std::ifstream In(File);
    for (std::string Line; std::getline(In, Line);) Rows.push_back(TJson::parse(Line));
  }
  ASSERT_EQ(Rows.size(), 5u + 6u);  // the entries, then the six measures
  EXPECT_EQ(Rows[0]["dir"], "rx");
  EXPECT_EQ(Rows[1]["dir"], "tx");
  EXPECT_EQ(Rows[2]["change"], "EditVSS=60");
  EXPECT_EQ(Rows[3]["bytes"], "82 11 F1 21 06 AB");
  EXPECT_EQ(Rows[4]["bytes"].get<std::string>().substr(0, 17), "8E F1 11 61 06 30");
  EXPECT_EQ(Rows.back()["verdict"], "P2");
  std::filesystem::remove_all(Dir);
}

TEST_F(SimSession, TheEndJudgesTheWholeRunAndTheChecksAskedFor) {
  const std::filesystem::path File =
      std::filesystem::temp_directory_path() / ("sim_end_" + UniqueTempSuffix() + ".csv");
  ASSERT_EQ(Session->StartRecord(File.string()), "");
  Command("text VSS x");
  Answer(StartCommunication);
  // The next request 10 ms after the answer: P3 (55..5000 ms) fails.
  Now += 10'000;
  Answer(Record(0x01));
  Now += 10'000;
  Answer(Record(0x06));
  TSimChecks Checks;
  Checks.NoTimingViolations = true;
  Checks.NoConversionErrors = true;
  Checks.MinAnswers = 2;
  const TSimEnd End = Session->Finish("quit", Checks);
  EXPECT_EQ(End.ExitStatus, 1);
  ASSERT_EQ(End.SummaryLine.rfind("SUMMARY ", 0), 0u);
  const TJson S = TJson::parse(End.SummaryLine.substr(8));
  EXPECT_EQ(S["end"], "quit");
  EXPECT_EQ(S["frames_received"], 3);
  EXPECT_EQ(S["answers_sent"], 2);
  EXPECT_EQ(S["conversion_errors"], 1);
  EXPECT_EQ(S["timing"]["pass"], false);
  EXPECT_EQ(S["checks"]["no_timing_violations"], false);
  EXPECT_EQ(S["checks"]["no_conversion_errors"], false);
  EXPECT_EQ(S["checks"]["min_answers"], true);
  // The record that was running is written at the end.
  EXPECT_EQ(S["record"]["written"], true);
  EXPECT_TRUE(std::filesystem::exists(File));
  std::filesystem::remove(File);
}

TEST_F(SimSession, WithoutChecksAFailedVerdictIsReportedButTheEndIsClean) {
  Answer(StartCommunication);
  Now += 10'000;
  Answer(StartCommunication);
  const TSimEnd End = Session->Finish("end of input", {});
  EXPECT_EQ(End.ExitStatus, 0);
  EXPECT_NE(End.SummaryLine.find("\"pass\":false"), std::string::npos);
}

TEST_F(SimSession, AScenarioWritesItsTracksIntoTheFields) {
  EXPECT_NE(Session->LoadScenario("/nonexistent/city.json"), "");
  EXPECT_EQ(Command("scenario play"), "ERROR scenario play: no scenario loaded (--scenario)");
  const std::filesystem::path File =
      std::filesystem::temp_directory_path() / ("sim_scenario_" + UniqueTempSuffix() + ".json");
  {
    std::ofstream Out(File);
    Out << R"({"name": "разгон", "variant": 3, "faults": ["0601", "0601"],
              "tracks": {"VSS": {"points": [[0, 0], [10, 100]]}},
              "rules": [{"service": "18", "action": "no_answer"}]})";
  }
  ASSERT_EQ(Session->LoadScenario(File.string()), "");
  EXPECT_EQ(Command("scenario play"), "OK scenario playing: разгон");
  EXPECT_EQ(Session->Panel().ActiveVariant(), 3);
  EXPECT_EQ(Session->Panel().TickedCodes(), (std::vector<std::string>{"0601", "0601"}));
  EXPECT_EQ(Session->Panel().FieldText(TEcuField::VSS), "0");
  EXPECT_TRUE(Answer(ReadFaults).empty());  // the scenario's rule
  Now += 5'000'000;
  ASSERT_TRUE(Session->NextWakeUs().has_value());
  Session->Tick();
  EXPECT_EQ(Session->Panel().FieldText(TEcuField::VSS), "50");
  Now += 6'000'000;
  Session->Tick();
  EXPECT_EQ(Session->Panel().FieldText(TEcuField::VSS), "100");
  EXPECT_EQ(EventLines().back()["state"], "finished");
  EXPECT_FALSE(Session->NextWakeUs().has_value());  // nothing left to do: no ticking

  // Codes the list does not hold are refused, as in the window.
  {
    std::ofstream Out(File);
    Out << R"({"name": "x", "faults": ["0102", "0102"], "tracks": {"VSS": {"points": [[0, 1]]}}})";
  }
  EXPECT_NE(Session->LoadScenario(File.string()).find("0102 named 2 times"), std::string::npos);
  std::filesystem::remove(File);
  EXPECT_EQ(Session->LoadScenario("builtin:NEDC"), "");
  EXPECT_NE(Session->LoadScenario("builtin:Autobahn"), "");
}

}  // namespace
