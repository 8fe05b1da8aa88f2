// Finding the frames again after a disturbance on a real line: the bytes of
// a stream arrive one per event or in random splits, with their times, and
// every well-formed request after the disturbance must get its answer and
// its monitor line.

#include <gtest/gtest.h>

#include <random>

#include "fakes.h"

namespace {

std::string LineOf(const TBytes& Frame) {
  std::string Line = " - > ";
  for (uint8_t B : Frame) {
    Line += ' ';
    Line += Hex({B}).substr(0, 2);
  }
  return Line;
}

// Bytes on the line, each with the time it arrived. Bytes of one piece come
// one millisecond apart, as at 10400 baud.
class TLine {
public:
  TLine& Send(const TBytes& Bytes) {
    for (uint8_t B : Bytes) {
      Stream.push_back({Time, B});
      Time += 1000;
    }
    return *this;
  }
  TLine& Silence(int64_t Ms) {
    Time += Ms * 1000;
    return *this;
  }

  // Delivers the stream as receive events of one byte each.
  void OneByteEach(TEcuBench& B) const {
    for (const auto& [At, Byte] : Stream) Deliver(B, At, {Byte});
  }
  // Delivers the stream in random pieces. An event never spans a silence of
  // more than 20 ms: the event thread wakes at the first byte after one, and
  // its event carries that byte's time.
  void RandomSplits(TEcuBench& B, unsigned Seed) const {
    std::mt19937 Random(Seed);
    size_t I = 0;
    while (I < Stream.size()) {
      const size_t Want = 1 + Random() % 8;
      TBytes Piece = {Stream[I].second};
      size_t J = I + 1;
      while (J < Stream.size() && Piece.size() < Want && Stream[J].first - Stream[J - 1].first <= 20000)
        Piece.push_back(Stream[J++].second);
      Deliver(B, Stream[I].first, Piece);
      I = J;
    }
  }

private:
  static void Deliver(TEcuBench& B, int64_t At, const TBytes& Piece) {
    B.Port.Now = At;
    B.Event(Piece);
  }
  std::vector<std::pair<int64_t, uint8_t>> Stream;
  int64_t Time = 0;
};

// A disturbance, then the requests a trip computer sends after it, each
// after the answer pause of a tester (60 ms).
struct TCase {
  std::string Name;
  TLine Line;
  // What the disturbance itself is owed, if it holds a request.
  std::vector<TBytes> AnswersBefore = {};
  std::vector<std::string> LinesBefore = {};
};

// Plays Line both ways and expects, after the disturbance, exactly the
// answers and lines of StartComm, Record01 and TesterPresent.
void ExpectRecovered(const TCase& Case) {
  TLine Line = Case.Line;
  Line.Silence(60).Send(StartComm).Silence(60).Send(Record01).Silence(60).Send(TesterPresent);
  std::vector<TBytes> Answers = Case.AnswersBefore;
  Answers.insert(Answers.end(), {StartCommAnswer, Record01Answer, TesterPresentAnswer});
  std::vector<std::string> Lines = Case.LinesBefore;
  Lines.insert(Lines.end(), {LineOf(StartComm), LineOf(Record01), LineOf(TesterPresent)});
  for (unsigned Seed = 0; Seed <= 20; ++Seed) {
    TEcuBench B;
    if (Seed == 0) Line.OneByteEach(B);
    else Line.RandomSplits(B, Seed);
    EXPECT_EQ(B.Sent(), Answers) << Case.Name << ", seed " << Seed;
    EXPECT_EQ(B.Panel.Lines, Lines) << Case.Name << ", seed " << Seed;
    EXPECT_FALSE(B.Ecu.RequestPending) << Case.Name << ", seed " << Seed;
  }
}

TEST(Resync, WellFormedRequestsAfterADisturbanceAreAnswered) {
  std::vector<TCase> Cases;
  // What OBD-style testers send first: a functional StartCommunication.
  Cases.push_back({"functional StartCommunication", TLine().Send({0xC1, 0x33, 0xF1, 0x81, 0x66})});
  Cases.push_back({"functional long header", TLine().Send({0xC0, 0x33, 0xF1, 0x01, 0x81, 0x66})});
  // The wake-up of a fast init as some adapters deliver it: a lone 00.
  Cases.push_back({"wake-up 00", TLine().Send({0x00})});
  for (int Stray = 0; Stray < 256; ++Stray)
    Cases.push_back({"stray byte " + Hex({static_cast<uint8_t>(Stray)}), TLine().Send({static_cast<uint8_t>(Stray)})});
  // A broken transmission: the tester gave up after three bytes.
  Cases.push_back({"truncated request", TLine().Send({0x82, 0x11, 0xF1})});
  Cases.push_back({"truncated long header", TLine().Send({0x80, 0x11})});
  Cases.push_back({"request plus surplus byte",
                   TLine().Send({0x81, 0x11, 0xF1, 0x3E, 0xC1, 0x85}),
                   {TesterPresentAnswer},
                   {LineOf(TesterPresent)}});
  Cases.push_back({"two requests in one piece",
                   TLine().Send(TesterPresent).Send(TesterPresent),
                   {TesterPresentAnswer, TesterPresentAnswer},
                   {LineOf(TesterPresent), LineOf(TesterPresent)}});
  for (const TCase& Case : Cases) ExpectRecovered(Case);
}

TEST(Resync, AStaleFragmentIsDroppedAndAJustInTimeOneKept) {
  // The fault seen on a line: 82 11 F1, then a second later the whole
  // request; the fragment must not swallow it.
  TEcuBench B;
  B.Start();
  B.Event({0x82, 0x11, 0xF1});
  B.Wait(1000);
  EXPECT_EQ(B.Answer(Record01), Record01Answer);
  EXPECT_EQ(B.Panel.Lines.back(), LineOf(Record01));
  EXPECT_EQ(B.Ecu.FragmentsDropped, 1u);

  // Just past the limit the fragment goes; at the limit it is continued.
  B.Event({0x82, 0x11, 0xF1});
  B.Port.Now += TEcuEmulator::MaxRequestGapUs + 1;
  EXPECT_EQ(B.Answer(Record01), Record01Answer);
  B.Event({0x82, 0x11, 0xF1});
  B.Port.Now += TEcuEmulator::MaxRequestGapUs;
  EXPECT_EQ(B.Answer({0x21, 0x01, 0xA6}), Record01Answer);
  EXPECT_EQ(B.Ecu.FragmentsDropped, 2u);

  // The gap counts from the newest bytes of the fragment, not its first.
  B.Event({0x82});
  for (int I = 0; I < 3; ++I) {
    B.Wait(30);
    B.Event({static_cast<uint8_t>(I == 0 ? 0x11 : I == 1 ? 0xF1 : 0x21)});
  }
  B.Wait(30);
  EXPECT_EQ(B.Answer({0x01, 0xA6}), Record01Answer);
}

TEST(Resync, TheDeafLineOfOneBytePerEventIsGone) {
  // A trip computer's session one byte per event, 5 ms apart, opened with a
  // functional StartCommunication: every physical request is answered.
  TEcuBench B;
  TLine Line;
  Line.Send({0xC1, 0x33, 0xF1, 0x81, 0x66}).Silence(60);
  for (int Round = 0; Round < 5; ++Round) Line.Send(StartComm).Silence(60).Send(Record01).Silence(60);
  Line.OneByteEach(B);
  const std::vector<TBytes> Sent = B.Sent();
  ASSERT_EQ(Sent.size(), 10u);
  for (size_t I = 0; I < Sent.size(); ++I) EXPECT_EQ(Sent[I], I % 2 ? Record01Answer : StartCommAnswer) << I;
  EXPECT_EQ(B.Ecu.FramesReceived, 10u);
}

TEST(Resync, PauseKeepsTheFragmentButNotItsClock) {
  // Bytes read while "Pause" is ticked do not refresh the fragment's time:
  // after a long pause its continuation counts as a new request.
  TEcuBench B;
  B.Start();
  B.Event({0x82, 0x11});
  B.Panel.Pause = true;
  for (int I = 0; I < 10; ++I) {
    B.Wait(20);
    B.Event({0x00});
  }
  B.Panel.Pause = false;
  B.Wait(20);
  EXPECT_EQ(B.Answer(Record01), Record01Answer);
}

}  // namespace
