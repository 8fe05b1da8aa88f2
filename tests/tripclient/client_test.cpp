// The client's dialogue with the emulated unit on a line with a clock of the
// test's own (sim_line.h): ISO 14230-2 timing to the microsecond, repeats
// and re-init, echo, bad answers, and the trip it keeps.
#include "sim_line.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using K = TKwpLinkState;

// The local identifiers of the records asked for since Index.
std::vector<uint8_t> RecordsFrom(const TSimLine& L, size_t Index) {
  std::vector<uint8_t> Ids;
  for (size_t I = Index; I < L.Sent.size(); ++I) {
    if (L.Sent[I].Bytes[3] == 0x21) Ids.push_back(L.Sent[I].Bytes[4]);
  }
  return Ids;
}

// The unit's answers to service 0x21 altered by F (checksum fixed after).
std::function<TBytes(const TBytes&, const TBytes&)> OnRecords(std::function<void(TBytes&)> F, bool FixSum = true) {
  return [F, FixSum](const TBytes& Request, const TBytes& Answer) {
    if (Request[3] != 0x21) return Answer;
    TBytes Out(Answer.begin(), Answer.end() - 1);
    F(Out);
    return FixSum ? Frame(Out) : Out;
  };
}

}  // namespace

TEST(KwpClient, FastInitThenFaultCodesThenRecordsAtP3min) {
  TSimLine L;
  const int64_t T0 = L.Now;
  L.Start();
  ASSERT_TRUE(L.RunFor(5000 * Ms, [&] { return L.Client.RecordsTaken(6) == 2; }));
  // 25 ms low, 25 ms high, then StartCommunication.
  ASSERT_GE(L.Breaks.size(), 2u);
  EXPECT_TRUE(L.Breaks[0].TimeUs == T0 && L.Breaks[0].On);
  EXPECT_TRUE(L.Breaks[1].TimeUs == T0 + 25 * Ms && !L.Breaks[1].On);
  EXPECT_EQ(L.Sent[0].Bytes, StartComm);
  EXPECT_EQ(L.Sent[0].TimeUs, T0 + 50 * Ms);
  EXPECT_EQ(L.Sent[1].Bytes, (TBytes{0x84, 0x11, 0xF1, 0x18, 0x00, 0xFF, 0x00, 0x9D}));
  EXPECT_EQ(L.Sent[2].Bytes, (TBytes{0x82, 0x11, 0xF1, 0x21, 0x01, 0xA6}));
  // Fixed records once a connection, the value records every cycle.
  EXPECT_EQ(RecordsFrom(L, 0), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 3, 4, 6}));
  // Each request P3min after the answer before it, not a microsecond sooner.
  for (size_t I = 1; I < L.Sent.size(); ++I) {
    int64_t LastAnswer = 0;
    for (const auto& D : L.Delivered)
      if (D.TimeUs <= L.Sent[I].TimeUs) LastAnswer = D.TimeUs;
    EXPECT_EQ(L.Sent[I].TimeUs - LastAnswer, 55 * Ms) << "request " << I;
  }
  const TKwpCounters& C = L.Client.Counters();
  EXPECT_EQ(C.Requests, L.Sent.size());
  EXPECT_EQ(C.Answers, L.Sent.size());
  EXPECT_EQ(C.Retries + C.Timeouts + C.BadFrames + C.NoiseBytes + C.Echoes, 0u);
  EXPECT_EQ(L.Client.State(), K::Connected);
}

TEST(KwpClient, UnansweredRepeatedTwiceThenFastInitAfterAPause) {
  TSimLine L;
  L.Start();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.RecordsTaken(3) == 1; }));
  L.Unit.Panel.NoAnswer = true;
  const size_t From = L.Sent.size();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.State() == K::NoAnswer; }));
  const int64_t GaveUp = L.Now;
  ASSERT_EQ(L.Sent.size() - From, 3u);
  for (size_t I = From + 1; I < L.Sent.size(); ++I) {
    EXPECT_EQ(L.Sent[I].Bytes, L.Sent[From].Bytes);
    // Repeated as soon as P2max after the request's end has passed.
    EXPECT_EQ(L.Sent[I].TimeUs - L.Sent[I - 1].TimeUs, 6 * 962 + 50 * Ms);
  }
  EXPECT_EQ(L.Client.Counters().Retries, 2u);
  EXPECT_EQ(L.Client.Counters().Timeouts, 3u);
  EXPECT_EQ(L.Client.LastProblem(), TKwpProblem::Timeout);
  // Quiet for the pause, then a new wake-up; a StartCommunication that
  // fails is not repeated.
  ASSERT_TRUE(L.RunFor(3000 * Ms, [&] { return L.Breaks.size() == 5; }));
  EXPECT_EQ(L.Breaks[2].TimeUs, GaveUp + 1000 * Ms);
  EXPECT_EQ(L.ServicesFrom(From + 3), std::vector<uint8_t>{0x81});
  EXPECT_EQ(L.Breaks[4].TimeUs, L.Sent.back().TimeUs + 5 * 962 + 50 * Ms + 1000 * Ms);
  // The unit is back: connected again.
  L.Unit.Panel.NoAnswer = false;
  ASSERT_TRUE(L.RunFor(3000 * Ms, [&] { return L.Client.State() == K::Connected; }));
  EXPECT_EQ(L.Client.Counters().Inits, 3u);
}

TEST(KwpClient, EchoRemovedAndTheAnswerAwaitedFromItsEnd) {
  // An adapter 30 ms late and a unit 40 ms slow: 70 ms from the request's
  // end, within P2max only when counted from the echo.
  for (bool Echo : {true, false}) {
    TSimLine L;
    L.Echo = Echo;
    L.LatencyUs = 30 * Ms;
    L.AnswerDelayUs = 40 * Ms;
    L.Start();
    L.RunFor(3000 * Ms);
    const TKwpCounters& C = L.Client.Counters();
    if (Echo) {
      EXPECT_GE(L.Client.RecordsTaken(6), 2u);
      EXPECT_EQ(C.Echoes, C.Requests);
      EXPECT_EQ(C.Timeouts + C.BadFrames + C.NoiseBytes, 0u);
      EXPECT_TRUE(L.Client.AdapterEchoes());
    } else {
      EXPECT_GT(C.Timeouts, 0u);
    }
  }
  // Echo and answer in one piece.
  TSimLine L;
  L.Alter = [](const TBytes& Request, const TBytes& Answer) {
    TBytes Both = Request;
    Both.insert(Both.end(), Answer.begin(), Answer.end());
    return Both;
  };
  L.Start();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.RecordsTaken(6) == 1; }));
  EXPECT_EQ(L.Client.Counters().Echoes, L.Client.Counters().Requests);
  EXPECT_EQ(L.Client.Counters().BadFrames, 0u);
}

TEST(KwpClient, WrongAnswersAreRepeatedThenGivenUpAndTheUnitFoundAgain) {
  struct TCase {
    const char* What;
    std::function<TBytes(const TBytes&, const TBytes&)> Alter;
    TKwpProblem Problem;
    int64_t RepeatUs;  // from the last byte received to the repeat: P3min, or P1max for a cut answer
  } Cases[] = {
      {"checksum", OnRecords([](TBytes& F) { F.push_back(0); }, false), TKwpProblem::Checksum, 55 * Ms},
      {"target", OnRecords([](TBytes& F) { F[1] = 0xF2; }), TKwpProblem::Addresses, 55 * Ms},
      {"source", OnRecords([](TBytes& F) { F[2] = 0x12; }), TKwpProblem::Addresses, 55 * Ms},
      {"negative", OnRecords([](TBytes& F) { F = {0x83, 0xF1, 0x11, 0x7F, 0x21, 0x12}; }), TKwpProblem::Negative,
       55 * Ms},
      {"too long", OnRecords([](TBytes& F) { ++F[0], F.push_back(0); }), TKwpProblem::Unexpected, 55 * Ms},
      {"other service", OnRecords([](TBytes& F) {
         F = {0x81, 0xF1, 0x11, 0x7E};
       }),
       TKwpProblem::Unexpected, 55 * Ms},
      {"cut", OnRecords([](TBytes& F) { F.resize(5); }, false), TKwpProblem::Broken, 20 * Ms},
  };
  for (const TCase& C : Cases) {
    TSimLine L;
    L.Alter = C.Alter;
    L.Start();
    ASSERT_TRUE(L.RunFor(3000 * Ms, [&] { return L.Client.State() == K::NoAnswer; })) << C.What;
    EXPECT_EQ(L.Client.LastProblem(), C.Problem) << C.What;
    EXPECT_EQ(RecordsFrom(L, 0), (std::vector<uint8_t>{1, 1, 1})) << C.What;
    EXPECT_EQ(L.Client.Counters().Retries, 2u) << C.What;
    EXPECT_EQ(L.Client.RecordsTaken(1), 0u) << C.What;
    const int64_t Repeat = L.Sent.back().TimeUs;
    EXPECT_EQ(Repeat - L.Delivered[L.Delivered.size() - 2].TimeUs, C.RepeatUs) << C.What;
    L.Alter = nullptr;
    ASSERT_TRUE(L.RunFor(3000 * Ms, [&] { return L.Client.RecordsTaken(6) == 1; })) << C.What;
  }
  // Bytes that cannot begin a frame before a good answer, and bytes after
  // it, are noise; the answer counts.
  TSimLine L;
  L.Alter = [](const TBytes&, const TBytes& Answer) {
    TBytes More = {0x00, 0x55};
    More.insert(More.end(), Answer.begin(), Answer.end());
    More.push_back(0xFF);
    return More;
  };
  L.Start();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.RecordsTaken(6) == 1; }));
  EXPECT_EQ(L.Client.Counters().Retries, 0u);
  EXPECT_EQ(L.Client.Counters().NoiseBytes, 3 * L.Client.Counters().Answers);
}

TEST(KwpClient, NoiseNeverMakesItSpinAndItRecoversWhenTheLineClears) {
  TSimLine L;
  std::mt19937 Random(14);
  // Twenty seconds of bytes every few milliseconds, many of them headers.
  for (int64_t T = L.Now; T < L.Now + 20000 * Ms; T += 1 * Ms + Random() % (20 * Ms)) {
    TBytes Chunk(1 + Random() % 40);
    for (uint8_t& B : Chunk) B = Random() % 3 == 0 ? 0x80 + Random() % 0x40 : Random() % 256;
    L.Deliver(T, Chunk);
  }
  L.Start();
  L.RunFor(20000 * Ms);
  EXPECT_LT(L.Ticks, 2000u);  // deadlines, not a busy loop
  EXPECT_GT(L.Client.Counters().NoiseBytes + L.Client.Counters().BadFrames, 0u);
  const uint64_t Before = L.Client.RecordsTaken(6);
  ASSERT_TRUE(L.RunFor(5000 * Ms, [&] { return L.Client.RecordsTaken(6) > Before + 1; }));
  EXPECT_EQ(L.Client.State(), K::Connected);
}

TEST(KwpClient, TesterPresentWhenIdleFaultCodesEveryThreeSeconds) {
  TSimLine L;
  L.Client.SetPolling(false);
  L.Unit.Panel.Faults = {{"0102 a", true}, {"0300 b", false}, {"1689 c", true}};
  L.Start();
  L.RunFor(10000 * Ms);
  ASSERT_EQ(L.ServicesFrom(0), (std::vector<uint8_t>{0x81, 0x18, 0x3E, 0x18, 0x3E, 0x18, 0x3E, 0x18}));
  const int64_t T1 = L.Sent[1].TimeUs;
  const int64_t Expected[] = {0, 2000, 3000, 5000, 6000, 8000, 9000};
  for (size_t I = 0; I < 7; ++I) EXPECT_EQ(L.Sent[I + 1].TimeUs - T1, Expected[I] * Ms) << I;
  EXPECT_EQ(L.Sent[2].Bytes, (TBytes{0x82, 0x11, 0xF1, 0x3E, 0x01, 0xC3}));
  EXPECT_EQ(L.Client.FaultCodes(), (std::vector<TKwpFaultCode>{{0x0102, 0xE0}, {0x1689, 0xE0}}));
  // Thirty codes take the long answer form.
  L.Unit.Panel.Faults.assign(30, {"0443 d", true});
  L.RunFor(3000 * Ms);
  EXPECT_EQ(L.Client.FaultCodes(), std::vector<TKwpFaultCode>(30, {0x0443, 0xE0}));
  EXPECT_EQ(L.Delivered.back().Bytes[0], 0x80);
}

TEST(KwpClient, KeyBytesChooseTheRequestFormOrEndTheInit) {
  auto Keys = [](uint8_t Kb1) {
    return [Kb1](const TBytes& Request, const TBytes& Answer) {
      return Request[3] == 0x81 ? Frame({0x83, 0xF1, 0x11, 0xC1, Kb1, 0x8F}) : Answer;
    };
  };
  TSimLine L;
  L.Alter = Keys(0xEA);  // length byte only
  L.Start();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.RecordsTaken(6) == 1; }));
  EXPECT_EQ(L.Sent[1].Bytes, (TBytes{0x80, 0x11, 0xF1, 0x04, 0x18, 0x00, 0xFF, 0x00, 0x9D}));
  TSimLine Extended;
  Extended.Alter = Keys(0xFB);  // extended timing
  Extended.Start();
  ASSERT_TRUE(Extended.RunFor(2000 * Ms, [&] { return Extended.Client.State() == K::NoAnswer; }));
  EXPECT_EQ(Extended.Client.LastProblem(), TKwpProblem::KeyBytes);
  EXPECT_EQ(Extended.Sent.size(), 1u);
}

TEST(KwpClient, PortsWithoutBreakOrThatRefuse) {
  TSimLine L;
  L.CanBreak = false;
  const int64_t T0 = L.Now;
  L.Start();
  ASSERT_FALSE(L.Sent.empty());
  EXPECT_EQ(L.Sent[0].TimeUs, T0);  // straight on to StartCommunication
  L.Refuse = true;
  L.RunFor(5000 * Ms);
  EXPECT_GT(L.Client.Counters().PortErrors, 2u);
  EXPECT_EQ(L.Client.LastProblem(), TKwpProblem::PortRefused);
  EXPECT_LT(L.Ticks, 200u);
}

TEST(KwpClient, VariantChoosesTheRecordsAndTheValues) {
  TSimLine L;
  L.Unit.Panel.Variant = 3;
  L.Unit.Panel.Fields[TEcuField::RPM] = "820";
  L.Client.SetVariant(3);
  L.Start();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.RecordsTaken(6) == 1; }));
  EXPECT_EQ(RecordsFrom(L, 0), (std::vector<uint8_t>{2, 3, 6}));
  EXPECT_EQ(L.Client.Value(TLiveQuantity::EngineSpeed), 800.0);  // 820 / 40 rounds to 20 counts
  L.Unit.Panel.Variant = 2;
  L.Client.SetVariant(2);
  EXPECT_FALSE(L.Client.Value(TLiveQuantity::EngineSpeed));
  const size_t From = L.Sent.size();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.RecordsTaken(6) == 2; }));
  EXPECT_EQ(L.Client.Value(TLiveQuantity::EngineSpeed), 820.0);
  EXPECT_EQ(RecordsFrom(L, From), (std::vector<uint8_t>{2, 3, 5, 6}));
}

TEST(KwpClient, TripWorkedByHandAndTheSameAsTheScenarioOracles) {
  TSimLine L;
  L.Unit.Panel.Fields[TEcuField::VSS] = "60";
  L.Unit.Panel.Fields[TEcuField::RPM] = "2000";
  L.Unit.Panel.Fields[TEcuField::Dv] = "3,00";
  L.Start();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.RecordsTaken(6) == 1; }));
  // Speed and engine speed both arrive with record 06; injection came
  // before it. From then on 60 km/h for 60 s is 1.000 km. Fuel, with the
  // bench's constants (200 cm3/min injectors, 4 cylinders): 3 ms travels as
  // 1123 counts of 175/65535 ms = 2.998779 ms, so 4 x 200 x 2000 x 2.998779
  // x 60 / 7.2e9 = 0.0399837 l, and 3.99837 l/100 km; at the end 2.39902
  // l/h, the same 3.99837 l/100 km at 60 km/h.
  const int64_t End = L.Client.ValueTimeUs(TLiveQuantity::Speed) + 60000 * Ms;
  L.Run(End);
  const TTripReadings R = L.Client.TripReadings(End);
  EXPECT_NEAR(R.DistanceKm, 1.0, 1e-9);
  ASSERT_TRUE(R.FuelL && R.ConsumptionL100Km);
  const double Dv = 1123 * 175.0 / 65535;
  EXPECT_NEAR(*R.FuelL, 4 * 200 * 2000 * Dv * 60 / 7.2e9, 1e-12);
  EXPECT_NEAR(*R.FuelL, 0.0399837, 1e-7);
  EXPECT_NEAR(*R.ConsumptionL100Km, 3.99837, 1e-5);
  EXPECT_EQ(R.MaxSpeedKmh, 60.0);
  ASSERT_TRUE(R.FuelRateLh && R.InstantL100Km);
  EXPECT_NEAR(*R.FuelRateLh, 2.39902, 1e-5);
  EXPECT_NEAR(*R.InstantL100Km, 3.99837, 1e-5);
  // The scenario oracle's feed, given the same answers at the same times.
  TTripFeed Oracle([&] { return End; }, [] { return 1; });
  Oracle.Model().SetFuelConstants(TFuelConstants::BenchDefault());
  for (const auto& D : L.Delivered) Oracle.AddAnswer(D.TimeUs, 1, D.Bytes.data(), D.Bytes.size());
  const TTripReadings O = Oracle.Readings();
  EXPECT_EQ(O.DistanceKm, R.DistanceKm);
  EXPECT_EQ(O.TripTimeS, R.TripTimeS);
  EXPECT_EQ(O.AverageSpeedKmh, R.AverageSpeedKmh);
  EXPECT_EQ(O.FuelL, R.FuelL);
  L.Client.ResetTrip();
  EXPECT_FALSE(L.Client.Trip().Started());
}

TEST(KwpClient, ResponsePendingWaitsUpToP2StarMaxForTheAnswer) {
  // The unit says "response pending" to the first speed record and answers
  // two seconds later, far beyond P2max: no failure, no repeat.
  TSimLine L;
  bool Pended = false;
  L.Alter = [&](const TBytes& Request, const TBytes& Answer) {
    if (Request[3] != 0x21 || Request[4] != 0x06 || Pended) return Answer;
    Pended = true;
    L.Deliver(L.Now + 2000 * Ms, Answer);
    return Frame({0x83, 0xF1, 0x11, 0x7F, 0x21, 0x78});
  };
  L.Start();
  ASSERT_TRUE(L.RunFor(5000 * Ms, [&] { return L.Client.RecordsTaken(6) == 1; }));
  const TKwpCounters& C = L.Client.Counters();
  EXPECT_EQ(C.Pending, 1u);
  EXPECT_EQ(C.Retries + C.Timeouts + C.BadFrames, 0u);
  EXPECT_EQ(L.Client.State(), K::Connected);

  // A unit that keeps saying so and never answers: the request is repeated
  // P2*max after the last "pending", not P2max.
  TSimLine Q;
  Q.Alter = [](const TBytes& Request, const TBytes& Answer) {
    return Request[3] == 0x21 && Request[4] == 0x06 ? Frame({0x83, 0xF1, 0x11, 0x7F, 0x21, 0x78}) : Answer;
  };
  Q.Start();
  ASSERT_TRUE(Q.RunFor(10000 * Ms, [&] { return Q.Client.Counters().Retries == 1; }));
  int64_t PendingAt = 0;
  for (const auto& D : Q.Delivered)
    if (D.Bytes.size() == 7 && D.Bytes[5] == 0x78) PendingAt = D.TimeUs;
  ASSERT_NE(PendingAt, 0);
  EXPECT_EQ(Q.Sent.back().TimeUs - PendingAt, 5000 * Ms);
  EXPECT_EQ(Q.Client.LastProblem(), TKwpProblem::Timeout);
}
