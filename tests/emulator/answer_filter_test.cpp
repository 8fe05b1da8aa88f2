// The answer filter between the answer stage and the port: which requests it
// is asked about, what it is shown, and that the port, the observer and the
// outcome see exactly what it decided.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "fakes.h"
#include "numtext.h"

namespace {

const TBytes Security = {0x82, 0x11, 0xF1, 0x27, 0x01, 0xAC};  // SecurityAccess: never answered

// Notes what it is shown ("target source | data | arrival | answer") and
// answers as told.
class TScriptedFilter : public TEcuAnswerFilter {
public:
  TEcuAnswerAction FilterAnswer(const TEcuRequest& R, const uint8_t* Answer, int AnswerCount, uint8_t* Out,
                                int& OutCount) override {
    Seen.push_back(Hex({R.Target, R.Source}) + "| " + Hex(TBytes(R.Data, R.Data + R.DataLength)) + "| " +
                   std::to_string(R.Arrival) + " | " + Hex(TBytes(Answer, Answer + AnswerCount)));
    std::copy_n(Bytes.begin(), std::min(Bytes.size(), size_t{MaxReplacement}), Out);
    OutCount = Count.value_or(static_cast<int>(Bytes.size()));
    return Action;
  }
  TEcuAnswerAction Action = TEcuAnswerAction::Send;
  TBytes Bytes;
  std::optional<int> Count;
  std::vector<std::string> Seen;
};

// Everything the observer is told, in order.
class TTrace : public TEcuObserver {
public:
  void FrameReceived(const uint8_t* B, int N, const int64_t*, int) override { Add("rx ", B, N); }
  void FrameOutcome(TEcuOutcome Outcome) override { Events.push_back("outcome " + std::to_string(int(Outcome))); }
  void AnswerSent(const uint8_t* B, int N) override { Add("tx ", B, N); }
  void BytesDropped(const uint8_t* B, int N, int64_t, TEcuOutcome) override { Add("drop ", B, N); }
  void Add(const char* What, const uint8_t* B, int N) { Events.push_back(What + Hex(TBytes(B, B + N))); }
  std::vector<std::string> Events;
};

std::string Outcome(TEcuOutcome O) { return "outcome " + std::to_string(int(O)); }

struct TFilterBench {
  explicit TFilterBench(TEcuAnswerFilter* Filter) {
    B.Ecu.SetObserver(&Trace);
    B.Ecu.SetAnswerFilter(Filter);
  }
  TEcuBench B;
  TTrace Trace;
};

}  // namespace

TEST(AnswerFilter, PassingEverythingChangesNothingAndSeesEachRequestForTheUnit) {
  TScriptedFilter Filter;
  TFilterBench With(&Filter), Without(nullptr);
  const std::vector<TBytes> Script = {
      Record06,
      StartComm,
      StartCommAnswer,  // the adapter's echo of our answer
      Record06,
      Security,
      TesterPresent,                         //
      {0x81, 0x33, 0xF1, 0x81, 0x26},        // another unit
      {0x82, 0x33, 0xF1, 0x18, 0x00, 0xBE},  // fault codes of another unit: answered, not filtered
      {0xC1, 0x33, 0xF1, 0x81, 0x66},        // functional
      {0x82, 0x11, 0xF1, 0x18, 0x00, 0x9C}};
  for (size_t I = 0; I < Script.size(); ++I) {
    for (TFilterBench* F : {&With, &Without}) {
      F->B.Port.Now = static_cast<int64_t>(I) * 1000;
      F->B.Event(Script[I]);
    }
  }
  EXPECT_EQ(With.B.Port.Written, Without.B.Port.Written);
  EXPECT_EQ(With.B.Port.Written.size(), 5u);
  EXPECT_EQ(With.B.Panel.Lines, Without.B.Panel.Lines);
  EXPECT_EQ(With.Trace.Events, Without.Trace.Events);
  EXPECT_EQ(Filter.Seen,
            (std::vector<std::string>{"11 F1 | 21 06 | 0 | ",  // before StartCommunication: no answer
                                      "11 F1 | 81 | 1000 | 83 F1 11 C1 6B 8F 40 ",
                                      "11 F1 | 21 06 | 3000 | 8E F1 11 61 06 00 00 00 00 00 00 00 00 00 00 00 00 F7 ",
                                      "11 F1 | 27 01 | 4000 | ", "11 F1 | 3E | 5000 | 81 F1 11 7E 01 ",
                                      "11 F1 | 18 00 | 9000 | 82 F1 11 58 00 DC "}));
}

TEST(AnswerFilter, WithheldAndReplacedAnswersAreExactlyWhatIsWrittenAndObserved) {
  TScriptedFilter Filter;
  TFilterBench F(&Filter);
  TEcuBench& B = F.B;
  // Withheld: nothing written, but the unit's state moves on as if it had
  // answered, and the monitor has its line.
  Filter.Action = TEcuAnswerAction::Withhold;
  EXPECT_EQ(B.Answer(StartComm), TBytes{});
  EXPECT_TRUE(B.Ecu.CommunicationActive);
  EXPECT_EQ(B.Panel.Lines.back(), " - >  81 11 F1 81 04");
  EXPECT_EQ(F.Trace.Events, (std::vector<std::string>{"rx 81 11 F1 81 04 ", Outcome(TEcuOutcome::FaultRule)}));

  // Replaced, also where the unit has no answer; TxFrame keeps the unit's.
  F.Trace.Events.clear();
  Filter.Action = TEcuAnswerAction::Replace;
  Filter.Bytes = {0x83, 0xF1, 0x11, 0x7F, 0x27, 0x11, 0x3C};
  EXPECT_EQ(B.Answer(Security), Filter.Bytes);
  EXPECT_EQ(F.Trace.Events, (std::vector<std::string>{"rx 82 11 F1 27 01 AC ", "tx 83 F1 11 7F 27 11 3C ",
                                                      Outcome(TEcuOutcome::FaultRule)}));
  Filter.Bytes = {0x81, 0xF1, 0x11, 0x7E};
  EXPECT_EQ(B.Answer(TesterPresent), Filter.Bytes);
  EXPECT_EQ(TBytes(B.Ecu.TxFrame.begin(), B.Ecu.TxFrame.begin() + 5), TesterPresentAnswer);
  // No bytes, or a negative count: nothing; more than the buffer: cut to it.
  Filter.Bytes.clear();
  EXPECT_EQ(B.Answer(TesterPresent), TBytes{});
  Filter.Bytes.assign(2000, 0x55);
  EXPECT_EQ(B.Answer(TesterPresent), TBytes(TEcuAnswerFilter::MaxReplacement, 0x55));
  Filter.Count = -3;
  EXPECT_EQ(B.Answer(TesterPresent), TBytes{});
  EXPECT_EQ(B.Ecu.AnswersSent, 3u);

  // Taken away, the filter is asked nothing more.
  B.Ecu.SetAnswerFilter(nullptr);
  EXPECT_EQ(B.Answer(TesterPresent), TesterPresentAnswer);
  EXPECT_EQ(Filter.Seen.size(), 6u);
}

TEST(AnswerFilter, NotAskedWhenNoAnswerIsTickedPausedOrAFieldFailsAndPortErrorsStayPortErrors) {
  TScriptedFilter Filter;
  Filter.Action = TEcuAnswerAction::Replace;
  Filter.Bytes = {0x83, 0xF1, 0x11, 0x7F, 0x3E, 0x10, 0x20};
  TFilterBench F(nullptr);
  TEcuBench& B = F.B;
  B.Start();
  B.Ecu.SetAnswerFilter(&Filter);
  B.Panel.NoAnswer = true;
  EXPECT_EQ(B.Answer(TesterPresent), TBytes{});
  B.Panel.NoAnswer = false;
  B.Panel.Pause = true;
  EXPECT_EQ(B.Answer(TesterPresent), TBytes{});
  B.Panel.Pause = false;
  // A bad speed text leaves RxChar as always, and the answer stage is not
  // left holding answers back: a direct SendAnswer still writes.
  B.Panel.Fields[TEcuField::VSS] = "abc";
  EXPECT_THROW(B.Answer(Record06), EConvertError);
  EXPECT_EQ(F.Trace.Events.back(), Outcome(TEcuOutcome::ConversionError));
  EXPECT_TRUE(Filter.Seen.empty());
  B.Ecu.SendAnswer("7E");
  EXPECT_EQ(B.Sent(), std::vector<TBytes>{TesterPresentAnswer});

  B.Port.WriteError = "Write error (5)";
  EXPECT_THROW(B.Event(TesterPresent), std::runtime_error);
  EXPECT_EQ(F.Trace.Events.back(), Outcome(TEcuOutcome::PortError));
  EXPECT_EQ(Filter.Seen.size(), 1u);
}
