// The fault engine as the emulator's answer filter: requests in, exact bytes
// out on a fake port, at the times the host polls.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "../emulator/fakes.h"
#include "fault_engine.h"
#include "record_file.h"
#include "session_record.h"

namespace {

using TFrames = std::vector<TBytes>;
// 50 km/h (code 28) and 800 rpm (3200 = 0C80, low byte first).
const TBytes Record06Answer = {0x8E, 0xF1, 0x11, 0x61, 0x06, 0x28, 0x00, 0x00, 0x80,
                               0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAB};
const TBytes Security = {0x82, 0x11, 0xF1, 0x27, 0x01, 0xAC};  // never answered by the unit

TFaultRule Rule(TFaultAction Action, std::optional<uint8_t> Service = {}, std::optional<uint8_t> Id = {},
                int32_t Value = 0) {
  TFaultRule R;
  R.Action = Action;
  R.Service = Service;
  R.Identifier = Id;
  R.DelayMs = R.SilentMs = R.CutBytes = Value;
  R.NegativeCode = static_cast<uint8_t>(Value);
  return R;
}

// A started unit with the engine as its filter.
struct TFaultBench {
  TFaultBench() : Engine(B.Port) {
    B.Panel.Fields[TEcuField::VSS] = "50";
    B.Panel.Fields[TEcuField::RPM] = "800";
    B.Start();
    B.Ecu.SetAnswerFilter(&Engine);
  }
  // What a request arriving at Ms makes the port write.
  TFrames Ask(int64_t Ms, const TBytes& Request) {
    B.Port.Now = Ms * 1000;
    B.Event(Request);
    return B.Sent();
  }
  TFrames PollAt(int64_t Us) {
    const int N = Engine.Poll(Us);
    EXPECT_EQ(N, static_cast<int>(B.Port.Written.size()));
    return B.Sent();
  }
  TEcuBench B;
  TFaultEngine Engine;
};

}  // namespace

TEST(FaultEngine, WithoutAMatchingRuleTheBytesAreThoseOfTheUnitAlone) {
  TFaultBench Plain, Empty, Unmatched;
  Plain.B.Ecu.SetAnswerFilter(nullptr);
  TFaultRule Window = Rule(TFaultAction::NoAnswer);
  Window.FromMs = 0;  // a window, and no scenario plays
  Unmatched.Engine.SetRules(
      {Rule(TFaultAction::NoAnswer, 0x21, 0x07), Rule(TFaultAction::Silent, 0x99, {}, 9), Window});
  for (TFaultBench* F : {&Plain, &Empty, &Unmatched})
    for (const TBytes& R :
         {StartComm, Record01, Record06, Security, TesterPresent, TBytes{0x81, 0x33, 0xF1, 0x81, 0x26}})
      F->B.Event(R);
  EXPECT_EQ(Plain.B.Port.Written.size(), 4u);
  EXPECT_EQ(Empty.B.Port.Written, Plain.B.Port.Written);
  EXPECT_EQ(Unmatched.B.Port.Written, Plain.B.Port.Written);
  EXPECT_EQ(Unmatched.B.Panel.Lines, Plain.B.Panel.Lines);
  EXPECT_EQ(Unmatched.Engine.Hits(0) + Unmatched.Engine.Hits(1) + Unmatched.Engine.Hits(2), 0u);
  EXPECT_EQ(Unmatched.Engine.NextDueUs(), std::nullopt);
}

TEST(FaultEngine, EachActionWritesItsExactBytes) {
  TFaultBench F;
  F.Engine.SetRules({Rule(TFaultAction::NoAnswer, 0x21, 0x06), Rule(TFaultAction::BadChecksum, 0x3E),
                     Rule(TFaultAction::BadChecksum, 0x27)});
  EXPECT_EQ(F.Ask(0, Record06), TFrames{});
  EXPECT_EQ(F.Ask(0, Record01), TFrames{Record01Answer});  // another identifier
  EXPECT_EQ(F.Ask(0, TesterPresent), (TFrames{{0x81, 0xF1, 0x11, 0x7E, 0xFE}}));
  EXPECT_EQ(F.Ask(0, Security), TFrames{});  // no answer to spoil
  for (size_t I = 0; I < 3; ++I) EXPECT_EQ(F.Engine.Hits(I), 1u) << I;
  // Cut after K bytes: 3, 0 (nothing), more than the answer has (all).
  const TFrames All = {Record06Answer};
  for (const auto& [K, Expected] :
       std::vector<std::pair<int, TFrames>>{{3, {{0x8E, 0xF1, 0x11}}}, {0, {}}, {99, All}}) {
    F.Engine.SetRules({Rule(TFaultAction::Cut, 0x21, {}, K)});
    EXPECT_EQ(F.Ask(0, Record06), Expected) << K;
  }
  // Negative responses framed as the unit frames answers, also where it
  // would not answer, and to whichever tester asked.
  F.Engine.SetRules({Rule(TFaultAction::Negative, 0x21, {}, 0x22)});
  EXPECT_EQ(F.Ask(0, Record06), (TFrames{{0x83, 0xF1, 0x11, 0x7F, 0x21, 0x22, 0x47}}));
  for (uint8_t Code : {0x10, 0x11, 0x12, 0x21, 0x31}) {
    F.Engine.SetRules({Rule(TFaultAction::Negative, {}, {}, Code)});
    EXPECT_EQ(F.Ask(0, Record01), TFrames{WithChecksum({0x83, 0xF1, 0x11, 0x7F, 0x21, Code})}) << int(Code);
  }
  EXPECT_EQ(F.Ask(0, Security), (TFrames{{0x83, 0xF1, 0x11, 0x7F, 0x27, 0x31, 0x5C}}));
  EXPECT_EQ(F.Ask(0, {0x81, 0x11, 0xF2, 0x3E, 0xC2}), (TFrames{{0x83, 0xF2, 0x11, 0x7F, 0x3E, 0x31, 0x74}}));
  // The adapter's echo of a negative response is not for the unit.
  EXPECT_EQ(F.Ask(0, {0x83, 0xF1, 0x11, 0x7F, 0x27, 0x31, 0x5C}), TFrames{});
  EXPECT_EQ(F.Engine.Hits(0), 3u);
}

TEST(FaultEngine, HeldAnswersGoOutInDueOrderWhenPolledOrBeforeTheNextAnswer) {
  TFaultBench F;
  TFaultRule Pending = Rule(TFaultAction::Negative, 0x21, 0x01, 0x78);
  Pending.PendingMs = 1000;
  F.Engine.SetRules({Rule(TFaultAction::Late, 0x21, 0x06, 200), Rule(TFaultAction::Late, 0x3E, {}, 300), Pending,
                     Rule(TFaultAction::Negative, 0x27, {}, 0x78)});
  EXPECT_EQ(F.Ask(1000, Record06), TFrames{});
  EXPECT_EQ(F.Engine.NextDueUs(), 1'200'000);
  EXPECT_EQ(F.PollAt(1'199'999), TFrames{});
  EXPECT_EQ(F.PollAt(1'200'000), TFrames{Record06Answer});
  // Due at 2350 and 2260: written in due order.
  F.Ask(2050, TesterPresent);
  F.Ask(2060, Record06);
  EXPECT_EQ(F.Engine.NextDueUs(), 2'260'000);
  EXPECT_EQ(F.PollAt(2'400'000), (TFrames{Record06Answer, TesterPresentAnswer}));
  // Due before a request that came before the host polled: written first.
  F.Ask(3000, Record06);
  EXPECT_EQ(F.Ask(3300, StartComm).size(), 2u);
  // Response pending, then the unit's answer PendingMs later; where the
  // unit has no answer, the pending frame only.
  EXPECT_EQ(F.Ask(4000, Record01), (TFrames{{0x83, 0xF1, 0x11, 0x7F, 0x21, 0x78, 0x9D}}));
  EXPECT_EQ(F.PollAt(4'999'999), TFrames{});
  EXPECT_EQ(F.PollAt(5'000'000), TFrames{Record01Answer});
  EXPECT_EQ(F.Ask(6000, Security), TFrames{WithChecksum({0x83, 0xF1, 0x11, 0x7F, 0x27, 0x78})});
  EXPECT_EQ(F.Engine.NextDueUs(), std::nullopt);
}

TEST(FaultEngine, EveryNthTimeWindowAndTheFirstMatchingRuleWins) {
  TFaultBench F;
  TFaultRule Third06 = Rule(TFaultAction::NoAnswer, 0x21, 0x06);
  Third06.EveryNth = 3;
  F.Engine.SetRules({Third06, Rule(TFaultAction::BadChecksum, 0x21)});
  TBytes Bad06 = Record06Answer, Bad01 = Record01Answer;
  Bad06.back() ^= 0xFF;
  Bad01.back() ^= 0xFF;
  // The third 06 goes to rule 0, which does not count the 01.
  const TFrames Out = {Bad06, Bad06, {}, Bad01, Bad06, Bad06, {}};
  const TFrames In = {Record06, Record06, Record06, Record01, Record06, Record06, Record06};
  for (size_t I = 0; I < In.size(); ++I) EXPECT_EQ(F.Ask(0, In[I]), Out[I].empty() ? TFrames{} : TFrames{Out[I]}) << I;
  EXPECT_EQ(F.Engine.Hits(0), 2u);
  EXPECT_EQ(F.Engine.Hits(1), 5u);
  // A rule does not count what an earlier rule took: every 2nd of the 06s.
  TFaultRule Second = Rule(TFaultAction::Negative, {}, {}, 0x21);
  Second.EveryNth = 2;
  F.Engine.SetRules({Rule(TFaultAction::NoAnswer, 0x3E), Second});
  EXPECT_EQ(F.Ask(0, TesterPresent), TFrames{});
  EXPECT_EQ(F.Ask(0, Record06), TFrames{Record06Answer});
  EXPECT_EQ(F.Ask(0, TesterPresent), TFrames{});
  EXPECT_EQ(F.Ask(0, Record06), TFrames{WithChecksum({0x83, 0xF1, 0x11, 0x7F, 0x21, 0x21})});

  // Windows [From, To) on the scenario clock; none while no scenario plays.
  TFaultRule Window = Rule(TFaultAction::NoAnswer, 0x3E), Open = Rule(TFaultAction::BadChecksum, 0x3E);
  Window.FromMs = 10'000;
  Window.ToMs = 20'000;
  Open.FromMs = 50'000;
  F.Engine.SetRules({Window, Open});
  std::optional<int64_t> Scenario;
  F.Engine.SetScenarioClock([&Scenario] { return Scenario; });
  const TBytes Bad3E = {0x81, 0xF1, 0x11, 0x7E, 0xFE};
  for (const auto& [Time, Expected] :
       std::vector<std::pair<std::optional<int64_t>, TBytes>>{{std::nullopt, TesterPresentAnswer},
                                                              {9'999, TesterPresentAnswer},
                                                              {10'000, {}},
                                                              {19'999, {}},
                                                              {20'000, TesterPresentAnswer},
                                                              {50'000, Bad3E},
                                                              {1'000'000'000, Bad3E}}) {
    Scenario = Time;
    EXPECT_EQ(F.Ask(0, TesterPresent), Expected.empty() ? TFrames{} : TFrames{Expected}) << Time.value_or(-1);
  }
  F.Engine.SetScenarioClock(nullptr);  // then the time set by hand
  F.Engine.SetScenarioTimeMs(15'000);
  EXPECT_EQ(F.Ask(0, TesterPresent), TFrames{});
}

TEST(FaultEngine, ASilenceSwallowsEveryAnswerAndHeldFramesUntilItEnds) {
  TFaultBench F;
  F.Engine.SetRules({Rule(TFaultAction::Silent, 0x3E, {}, 3000), Rule(TFaultAction::Late, 0x21, 0x06, 500)});
  EXPECT_EQ(F.Ask(0, Record06), TFrames{});         // held until 500
  EXPECT_EQ(F.Ask(100, TesterPresent), TFrames{});  // silent until 3100
  EXPECT_EQ(F.PollAt(600'000), TFrames{});
  EXPECT_EQ(F.Engine.NextDueUs(), 3'100'000);
  EXPECT_EQ(F.Ask(1000, StartComm), TFrames{});
  EXPECT_EQ(F.Ask(1500, Record06), TFrames{});  // swallowed: not offered to the rules
  EXPECT_EQ(F.Engine.Hits(1), 1u);
  EXPECT_EQ(F.Engine.Swallowed(), 2u);
  EXPECT_EQ(F.PollAt(3'099'999), TFrames{});
  EXPECT_EQ(F.PollAt(3'100'000), TFrames{Record06Answer});
  EXPECT_EQ(F.Ask(3200, Record01), TFrames{Record01Answer});
  // Reset ends a silence at once and forgets what was held.
  F.Ask(4000, Record06);
  F.Ask(4100, TesterPresent);
  F.Engine.Reset();
  EXPECT_EQ(F.Ask(4200, TesterPresent), TFrames{TesterPresentAnswer});
  EXPECT_EQ(F.PollAt(10'000'000), TFrames{});
}

TEST(FaultEngine, ARuleForEverythingNeitherHangsNorGrowsWithoutBound) {
  TFaultBench F;
  F.Engine.SetRules({Rule(TFaultAction::Late, {}, {}, 1000)});
  for (int I = 0; I < 300; ++I) F.Ask(I, TesterPresent);
  EXPECT_EQ(F.Engine.PendingCount(), TFaultEngine::MaxPending);
  EXPECT_EQ(F.Engine.DroppedPending(), 300u - TFaultEngine::MaxPending);
  EXPECT_EQ(F.PollAt(1'255'000).size(), TFaultEngine::MaxPending);
  // Response pending for everything: a pending frame each, answers held
  // within the same bound.
  F.Engine.SetRules({Rule(TFaultAction::Negative, {}, {}, 0x78)});
  for (int I = 0; I < 300; ++I) EXPECT_EQ(F.Ask(2000 + I, TesterPresent).size(), 1u);
  EXPECT_EQ(F.Engine.PendingCount(), TFaultEngine::MaxPending);
}

TEST(FaultEngine, RulesAppliedByHandAndRulesRefused) {
  TFaultBench F;
  F.Engine.SetRules({Rule(TFaultAction::NoAnswer, 0x3E)});
  const uint64_t Hand = F.Engine.AddRule(Rule(TFaultAction::BadChecksum, 0x3E));  // first: it wins
  F.Engine.AddRule(Rule(TFaultAction::NoAnswer, 0x21), false);
  EXPECT_EQ(F.Ask(0, TesterPresent), (TFrames{{0x81, 0xF1, 0x11, 0x7E, 0xFE}}));
  EXPECT_TRUE(F.Engine.RemoveRule(Hand));
  EXPECT_FALSE(F.Engine.RemoveRule(Hand));
  EXPECT_EQ(F.Ask(0, TesterPresent), TFrames{});
  EXPECT_EQ(F.Ask(0, Record01), TFrames{});
  // Clearing the rules keeps what is already held.
  F.Engine.AddRule(Rule(TFaultAction::Late, {}, {}, 50));
  F.Ask(300, TesterPresent);
  F.Engine.ClearRules();
  EXPECT_EQ(F.Ask(310, TesterPresent), TFrames{TesterPresentAnswer});
  EXPECT_EQ(F.PollAt(350'000), TFrames{TesterPresentAnswer});
  // Refused with the reason; the rules in force stay.
  F.Engine.SetRules({Rule(TFaultAction::NoAnswer, 0x3E)});
  TFaultRule LongPending = Rule(TFaultAction::Negative, {}, {}, 0x78);
  LongPending.PendingMs = 5001;
  for (const TFaultRule& Bad : {Rule(TFaultAction::Negative, 0x21, 0x06, 0x33), Rule(TFaultAction::Late), LongPending,
                                Rule(TFaultAction::Silent, {}, {}, 600'001)}) {
    EXPECT_THROW(F.Engine.SetRules({Rule(TFaultAction::NoAnswer), Bad}), std::invalid_argument);
    EXPECT_THROW(F.Engine.AddRule(Bad), std::invalid_argument);
  }
  EXPECT_EQ(CheckFaultRule(Rule(TFaultAction::Negative, 0x21, 0x06, 0x33)),
            "правило \"21 06: отрицательный ответ 33\": код отрицательного ответа должен быть одним из 10, 11, 12, 21, "
            "22, 31, 78");
  EXPECT_EQ(F.Engine.RuleCount(), 1u);
  TFaultRule R = Rule(TFaultAction::Late, 0x21, 0x06, 200);
  R.EveryNth = 3;
  R.FromMs = 10'000;
  R.ToMs = 20'000;
  EXPECT_EQ(DescribeFaultRule(R), "21 06, каждый 3-й, 10000..20000 мс: ответ через 200 мс");
}

TEST(FaultRecord, HitsAndHeldAnswersAreInTheRecordAndBothFiles) {
  TFaultBench F;
  int64_t ClockUs = 0;
  TSessionRecord Record([&ClockUs] { return ClockUs; });
  F.B.Ecu.SetObserver(&Record);
  F.Engine.SetListener(&Record);
  Record.Start();
  TFaultRule Pending = Rule(TFaultAction::Negative, 0x21, 0x06, 0x78);
  Pending.Name = "Ожидание, 1 с";
  F.Engine.SetRules({Pending, Rule(TFaultAction::BadChecksum, 0x3E)});
  ClockUs = 100'200;
  F.Ask(100, Record06);
  ClockUs = 1'100'000;
  F.PollAt(1'100'000);
  ClockUs = 1'200'200;
  F.Ask(1200, TesterPresent);
  std::ostringstream Csv, Json;
  WriteRecord(Csv, TRecordFormat::Csv, Record, Record.Count(), {});
  WriteRecord(Json, TRecordFormat::JsonLines, Record, Record.Count(), {});
  EXPECT_EQ(Csv.str(),
            "time_ms,direction,bytes,outcome,span_ms,max_gap_ms,measure,samples,min_ms,median_ms,max_ms,range_ms,"
            "verdict\r\n"
            "100.000,rx,82 11 F1 21 06 AB,fault_rule,,,,,,,,,\r\n"
            "100.200,fault,\"Ожидание, 1 с\",negative,,,,,,,,,\r\n"
            "100.200,tx,83 F1 11 7F 21 78 9D,,,,,,,,,,\r\n"
            "1100.000,tx,8E F1 11 61 06 28 00 00 80 0C 00 00 00 00 00 00 00 AB,,,,,,,,,,\r\n"
            "1200.000,rx,81 11 F1 3E C1,fault_rule,,,,,,,,,\r\n"
            "1200.200,fault,3E: неверная контрольная сумма,bad_checksum,,,,,,,,,\r\n"
            "1200.200,tx,81 F1 11 7E FE,,,,,,,,,,\r\n");
  const std::string J = Json.str();
  EXPECT_EQ(std::count(J.begin(), J.end(), '\n'), 7);
  EXPECT_NE(J.find("{\"t_ms\":100.000,\"dir\":\"rx\",\"bytes\":\"82 11 F1 21 06 AB\",\"outcome\":\"fault_rule\"}\n"
                   "{\"t_ms\":100.200,\"dir\":\"fault\",\"rule\":\"Ожидание, 1 с\",\"action\":\"negative\"}\n"),
            std::string::npos)
      << J;
  EXPECT_EQ(Record.Entry(5).Action, TFaultAction::BadChecksum);
}
