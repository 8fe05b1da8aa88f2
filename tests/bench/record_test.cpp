// The session record and the timing verdict, from a real emulator fed with
// hand-written traffic: every byte and every time below is a literal.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../emulator/fakes.h"
#include "environment.h"
#include "numtext.h"
#include "record_file.h"
#include "session_record.h"
#include "timing_verdict.h"

namespace {

// A trip computer's side of the line with a clock: Send puts the bytes on
// the line at the given millisecond, each in its own receive event GapMs
// apart (0: all in one event); the emulator answers 0.2 ms after the last.
class TLineBench {
public:
  TLineBench() : Record([this] { return ClockUs; }) {
    // The panel's texts are those of a comma locale.
    SetDecimalSeparator(',');
    B.Ecu.SetObserver(&Record);
    Record.Start();
  }

  void Send(double AtMs, const TBytes& Bytes, double GapMs = 0) {
    if (GapMs == 0) {
      Event(AtMs, Bytes);
      return;
    }
    for (size_t I = 0; I < Bytes.size(); ++I) Event(AtMs + GapMs * static_cast<double>(I), {Bytes[I]});
  }

  TEcuBench B;
  int64_t ClockUs = 0;
  TSessionRecord Record;

private:
  void Event(double AtMs, const TBytes& Bytes) {
    B.Port.Now = static_cast<int64_t>(AtMs * 1000);
    ClockUs = B.Port.Now + 200;
    try {
      B.Event(Bytes);
    } catch (const EConvertError&) {
      // Reported to the operator; the record says what became of the frame.
    }
  }
};

std::string BytesOf(std::string_view Text) { return Hex(TBytes(Text.begin(), Text.end())); }

}  // namespace

TEST(SessionRecord, EveryFrameAnswerDropAndChangeWithItsTimeAndOutcome) {
  TLineBench L;
  L.Send(0, {0x00});
  L.Send(49, StartComm, 1);                     // five events, 1 ms apart
  L.Send(200, {0x81, 0x33, 0xF1, 0x81, 0x26});  // another unit
  L.B.Panel.Fields[TEcuField::IMAP] = "12.7";
  L.Record.Change("EditIMAP=12.7");
  L.Send(300, {0x82, 0x11, 0xF1, 0x21, 0x04, 0xA9});
  L.B.Panel.Pause = true;
  L.Send(400, TesterPresent);
  ASSERT_EQ(L.Record.Count(), 7u);

  const TRecordEntry Wake = L.Record.Entry(0);
  EXPECT_EQ(Wake.Kind, TRecordKind::Dropped);
  EXPECT_EQ(Wake.Outcome, TEcuOutcome::Noise);
  EXPECT_EQ(Wake.TimeUs, 0);

  const TRecordEntry Start = L.Record.Entry(1);
  EXPECT_EQ(Start.Kind, TRecordKind::Received);
  EXPECT_EQ(BytesOf(Start.Bytes), "81 11 F1 81 04 ");
  EXPECT_EQ(Start.TimeUs, 49000);
  EXPECT_EQ(Start.SpanUs, 4000);
  EXPECT_EQ(Start.MaxGapUs, 1000);
  EXPECT_EQ(Start.Outcome, TEcuOutcome::Answered);
  const TRecordEntry Answer = L.Record.Entry(2);
  EXPECT_EQ(Answer.Kind, TRecordKind::Sent);
  EXPECT_EQ(BytesOf(Answer.Bytes), "83 F1 11 C1 6B 8F 40 ");
  EXPECT_EQ(Answer.TimeUs, 53200);

  EXPECT_EQ(L.Record.Entry(3).Outcome, TEcuOutcome::OtherTarget);
  EXPECT_EQ(L.Record.Entry(3).MaxGapUs, -1);
  EXPECT_EQ(L.Record.Entry(4).Kind, TRecordKind::Change);
  EXPECT_EQ(L.Record.Entry(4).Bytes, "EditIMAP=12.7");
  // The bad pressure text: logged, not answered, and why.
  EXPECT_EQ(L.Record.Entry(5).Outcome, TEcuOutcome::ConversionError);
  EXPECT_EQ(L.Record.Entry(6).Outcome, TEcuOutcome::Paused);
  EXPECT_EQ(L.Record.Entry(6).Kind, TRecordKind::Dropped);

  // Stopped, nothing more is taken; started again, it goes on.
  L.B.Panel.Pause = false;
  L.Record.Stop();
  L.Send(500, TesterPresent);
  EXPECT_EQ(L.Record.Count(), 7u);
  L.Record.Start();
  L.Send(600, TesterPresent);
  EXPECT_EQ(L.Record.Count(), 9u);
  EXPECT_EQ(L.Record.StartUs(), 0);
}

TEST(TimingVerdict, AConformingTripComputerPassesEveryMeasure) {
  TLineBench L;
  L.Send(0, {0x00});         // wake-up
  L.Send(49, StartComm, 2);  // 49..57 ms, answered at 57.2
  L.Send(120, Record01, 5);  // 62.8 ms after the answer
  L.Send(300, Record01, 5);
  L.Send(1300, TesterPresent, 5);
  L.Send(2300, TesterPresent, 5);
  const TTimingVerdict V = JudgeTiming(L.Record);
  EXPECT_TRUE(V.Pass());
  const TTimingMeasure* P4 = V.Find("P4");
  ASSERT_NE(P4, nullptr);
  EXPECT_EQ(P4->Samples, 5u);
  EXPECT_DOUBLE_EQ(P4->MinMs, 2);
  EXPECT_DOUBLE_EQ(P4->MaxMs, 5);
  const TTimingMeasure* P3 = V.Find("P3");
  EXPECT_EQ(P3->Samples, 4u);
  EXPECT_DOUBLE_EQ(P3->MinMs, 62.8);   // 120 - 57.2
  EXPECT_DOUBLE_EQ(P3->MaxMs, 979.8);  // 2300 - 1320.2
  EXPECT_DOUBLE_EQ(P3->MedianMs, (154.8 + 974.8) / 2);
  EXPECT_DOUBLE_EQ(V.Find("TesterPresent")->MinMs, 1000);
  EXPECT_DOUBLE_EQ(V.Find("WakeUp")->MinMs, 49);
  EXPECT_EQ(V.Find("P2")->Samples, 5u);
  EXPECT_DOUBLE_EQ(V.Find("P2")->MaxMs, 0.2);
  EXPECT_EQ(V.Find("Retries")->Samples, 0u);
}

TEST(TimingVerdict, SlowBytesEarlyPollsAndRetriesAreReported) {
  {
    // Bytes 30 ms apart: P4 fails, nothing else does.
    TLineBench L;
    L.Send(0, StartComm, 30);
    L.Send(300, Record01, 30);
    const TTimingVerdict V = JudgeTiming(L.Record);
    EXPECT_FALSE(V.Find("P4")->Pass());
    EXPECT_EQ(V.Find("P4")->Outside, 2u);
    EXPECT_DOUBLE_EQ(V.Find("P4")->MaxMs, 30);
    EXPECT_TRUE(V.Find("P3")->Pass());
    EXPECT_FALSE(V.Pass());
  }
  {
    // Polling 20 ms after each answer: P3 fails.
    TLineBench L;
    L.Send(0, StartComm);
    L.Send(20.2, Record01);
    L.Send(40.4, Record01);
    L.Send(200, Record01);
    const TTimingVerdict V = JudgeTiming(L.Record);
    const TTimingMeasure* P3 = V.Find("P3");
    EXPECT_EQ(P3->Samples, 3u);
    EXPECT_EQ(P3->Outside, 2u);
    EXPECT_DOUBLE_EQ(P3->MinMs, 20);
    EXPECT_FALSE(V.Pass());
  }
  {
    // A request left unanswered and sent three times more, 100 ms apart;
    // then a new one. No wake-up before StartCommunication is not a fault.
    TLineBench L;
    L.Send(0, StartComm);
    L.B.Panel.NoAnswer = true;
    for (int I = 0; I < 4; ++I) L.Send(100 + 100 * I, Record01);
    L.B.Panel.NoAnswer = false;
    L.Send(600, TesterPresent);
    const TTimingVerdict V = JudgeTiming(L.Record);
    const TTimingMeasure* Retries = V.Find("Retries");
    EXPECT_EQ(Retries->Samples, 3u);
    EXPECT_DOUBLE_EQ(Retries->MinMs, 100);
    EXPECT_EQ(Retries->Note, "запросов повторено: 1, наибольшее число повторов подряд: 3");
    EXPECT_EQ(V.Find("WakeUp")->Samples, 0u);
    EXPECT_EQ(V.Find("WakeUp")->Note, "StartCommunication: 1, без пробуждения: 1");
    EXPECT_TRUE(V.Pass());
  }
}

TEST(RecordFile, CsvAndJsonLinesHoldEveryEntryAndTheVerdict) {
  TLineBench L;
  L.Send(10, StartComm, 1);
  L.Record.Change("Edit \"Dv\"=1,5");
  L.Send(100, {0x05});
  std::ostringstream Csv;
  WriteRecord(Csv, TRecordFormat::Csv, L.Record, L.Record.Count(), JudgeTiming(L.Record));
  const std::string Text = Csv.str();
  // The record counts from its start (the clock was 0 then).
  EXPECT_EQ(
      Text.substr(0, Text.find("\r\n,verdict")),
      "time_ms,direction,bytes,outcome,span_ms,max_gap_ms,measure,samples,min_ms,median_ms,max_ms,range_ms,verdict\r\n"
      "10.000,rx,81 11 F1 81 04,answered,4.000,1.000,,,,,,,\r\n"
      "14.200,tx,83 F1 11 C1 6B 8F 40,,,,,,,,,,\r\n"
      "14.200,op,\"Edit \"\"Dv\"\"=1,5\",,,,,,,,,,\r\n"
      "100.000,drop,05,noise,,,,,,,,,");
  EXPECT_NE(Text.find(",verdict,,,,,P4,1,1.000,1.000,1.000,0..20,pass\r\n"), std::string::npos) << Text;

  std::ostringstream Json;
  WriteRecord(Json, TRecordFormat::JsonLines, L.Record, L.Record.Count(), JudgeTiming(L.Record));
  std::istringstream Lines(Json.str());
  std::string Line;
  std::vector<std::string> All;
  while (std::getline(Lines, Line)) All.push_back(Line);
  ASSERT_EQ(All.size(), 4u + 6u);
  EXPECT_EQ(
      All[0],
      R"({"t_ms":10.000,"dir":"rx","bytes":"81 11 F1 81 04","outcome":"answered","span_ms":4.000,"max_gap_ms":1.000})");
  EXPECT_EQ(All[1], R"({"t_ms":14.200,"dir":"tx","bytes":"83 F1 11 C1 6B 8F 40"})");
  EXPECT_EQ(All[2], R"({"t_ms":14.200,"dir":"op","change":"Edit \"Dv\"=1,5"})");
  EXPECT_EQ(All[4].rfind(R"({"verdict":"P4","caption":"P4: паузы между байтами запроса","samples":1,)", 0), 0u)
      << All[4];
}

TEST(RecordFile, SavedSafelyOrNotAtAllWithTheReason) {
  namespace fs = std::filesystem;
  TLineBench L;
  L.Send(0, StartComm);
  const fs::path Dir = fs::temp_directory_path() / ("record-test-" + UniqueTempSuffix());
  fs::create_directories(Dir);
  const fs::path Target = Dir / "session.csv";
  EXPECT_EQ(SaveRecordFile(Target.string(), TRecordFormat::Csv, L.Record, L.Record.Count()), "");
  std::string Header;
  {
    // Closed before the folder goes: Windows keeps an open file.
    std::ifstream In(Target);
    std::getline(In, Header);
  }
  EXPECT_EQ(Header.substr(0, 19), "time_ms,direction,b");
  // Nothing but the file itself is left.
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);

  // A folder that does not exist: the reason, and nothing written.
  const std::string Reason =
      SaveRecordFile((Dir / "missing" / "session.csv").string(), TRecordFormat::Csv, L.Record, L.Record.Count());
  EXPECT_FALSE(Reason.empty());
  // A target that is a folder: the rename fails; the temporary goes.
  fs::create_directories(Dir / "taken.jsonl" / "inside");
  EXPECT_FALSE(SaveRecordFile((Dir / "taken.jsonl").string(), TRecordFormat::JsonLines, L.Record, 1).empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 2);
  EXPECT_EQ(RecordFormatOf("a/b.JSONL"), TRecordFormat::JsonLines);
  EXPECT_EQ(RecordFormatOf("a/b.txt"), TRecordFormat::Csv);
  fs::remove_all(Dir);
}
