// The client on a serial port component against the emulated unit on the
// master end of a pseudo-terminal: both run on the test's thread through a
// TVaLoop, as the two programs run on their window threads. The waits
// are for events; P2max is widened so that a loaded machine does not make
// answers late.
#include "fakes.h"
#include "numtext.h"
#include "pty_pair.h"
#include "trip_client.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Q = TLiveQuantity;

// The unit on the master end: a thread waits for the client's bytes and
// hands them to the emulator on the loop's thread, echoing them first when
// asked to, as a K-line adapter does.
class TMasterUnit : public TEcuPort {
public:
  TMasterUnit(TPtyPair& Pty, std::shared_ptr<TVaLoop> Loop) : FPty(Pty), FLoop(std::move(Loop)) {
    if (pipe(FStop) != 0) throw std::runtime_error("pipe");
    FThread = std::thread([this] { Run(); });
  }
  // The loop must have been shut down: the thread may wait on it.
  ~TMasterUnit() override {
    (void)!write(FStop[1], "x", 1);
    FThread.join();
    close(FStop[0]);
    close(FStop[1]);
  }
  int ReadBuf(void* Buf, int Count) override {
    const int N = std::min(Count, static_cast<int>(FIn.size()));
    std::memcpy(Buf, FIn.data(), static_cast<size_t>(N));
    FIn.erase(FIn.begin(), FIn.begin() + N);
    return N;
  }
  int WriteBuf(const void* Buf, int Count) override {
    FPty.Send(TBytes(static_cast<const uint8_t*>(Buf), static_cast<const uint8_t*>(Buf) + Count));
    return Count;
  }
  int64_t RxEventTime() const override { return VaMonotonicMicros(); }

  TFakePanel Panel;
  TEcuEmulator Ecu{*this, Panel};
  bool Echo = false;

private:
  void Run() {
    for (;;) {
      pollfd P[2] = {{FPty.Master(), POLLIN, 0}, {FStop[0], POLLIN, 0}};
      if (poll(P, 2, -1) < 0 && errno != EINTR) return;
      if (P[1].revents != 0 || (P[0].revents & (POLLHUP | POLLERR | POLLNVAL))) return;
      uint8_t Buf[512];
      const ssize_t N = read(FPty.Master(), Buf, sizeof Buf);
      if (N <= 0) continue;
      const TBytes Bytes(Buf, Buf + N);
      FLoop->Synchronize([&] {
        if (Echo) FPty.Send(Bytes);
        FIn.insert(FIn.end(), Bytes.begin(), Bytes.end());
        Ecu.RxChar(static_cast<int>(Bytes.size()));
      });
    }
  }

  TPtyPair& FPty;
  std::shared_ptr<TVaLoop> FLoop;
  TBytes FIn;
  int FStop[2] = {-1, -1};
  std::thread FThread;
};

class TripClientOnPty : public ::testing::Test {
protected:
  TripClientOnPty() {
    SetDecimalSeparator(',');
    VaSetUpKLinePort(Comm);
    Comm.SetDeviceName(Pty.SlavePath());
    Comm.SetSynchronizer(Loop);
    Comm.SetExceptionReport([this](const std::exception& E) { Reports.push_back(E.what()); });
    Timing.P2MaxUs = 1000000;
    Trip.Client().SetTiming(Timing);
  }
  ~TripClientOnPty() override {
    Comm.Close();
    Loop->End();
    for (int I = 0; I < 1000 && TVaCustomComm::RunningWorkers() > 0; ++I) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(TVaCustomComm::RunningWorkers(), 0);
    EXPECT_TRUE(Reports.empty()) << Reports.front();
  }
  bool Run(const std::function<bool()>& Done) { return RunTripClient(*Loop, &Trip, Done, 20s); }
  uint64_t Taken(uint8_t Id) const { return Trip.Client().RecordsTaken(Id); }

  TPtyPair Pty;
  std::shared_ptr<TVaLoop> Loop = std::make_shared<TVaLoop>();
  TMasterUnit Unit{Pty, Loop};
  TVaComm Comm;
  TTripClient Trip{Comm};
  TKwpTiming Timing;
  std::vector<std::string> Reports;
};

}  // namespace

TEST_F(TripClientOnPty, EveryRecordOfEveryVariantDecodedWithinOneCount) {
  const std::pair<TEcuField, const char*> Fields[] = {
      {TEcuField::VSS, "87"},  {TEcuField::TOG, "93"},  {TEcuField::RPM, "2345"}, {TEcuField::ATP, "37,5"},
      {TEcuField::IMAP, "98"}, {TEcuField::Dv, "4,25"}, {TEcuField::IAT, "31"},   {TEcuField::Ubat, "13,70"}};
  for (const auto& [Field, Text] : Fields) Unit.Panel.Fields[Field] = Text;
  Unit.Panel.Faults = {{"0102 a", true}, {"0171 b", false}, {"0300 c", true}};
  const double Volt = 17.9 / 255, Percent = 100.0 / 255;
  // Value and one count of each quantity, per variant.
  struct TExpect {
    Q Quantity;
    double Value, Count[3];
  } Expected[] = {
      {Q::Speed, 87, {1.25, 1.25, 1.25}},
      {Q::Coolant, 93, {0.75, 0.75, 0.75}},
      {Q::EngineSpeed, 2345, {0.25, 0.25, 40}},
      {Q::Throttle, 37.5, {Percent, Percent, Percent}},
      {Q::ManifoldPressure, 98, {256.0 / 65535, 1, 1}},
      {Q::Injection, 4.25, {175.0 / 65535, 208.1 / 255, 208.1 / 255}},
      {Q::IntakeAir, 31, {0.75, 0.75, 0.75}},
      {Q::SupplyVoltage, 13.7, {Volt, Volt, Volt}},
  };
  Trip.Start();
  for (int Variant = 1; Variant <= 3; ++Variant) {
    Unit.Panel.Variant = Variant;
    Trip.Client().SetVariant(Variant);
    std::vector<std::pair<uint8_t, uint64_t>> Before;
    for (uint8_t Id = 1; Id <= 6; ++Id)
      if (LiveRecordLength(Variant, Id) != 0) Before.emplace_back(Id, Taken(Id));
    // Each record, and a whole cycle after the first record 06: a request
    // on the line when the variant changed may have been of the other one.
    ASSERT_TRUE(Run([&] {
      return Taken(6) >= Before.back().second + 2 &&
             std::all_of(Before.begin(), Before.end(), [&](auto& B) { return Taken(B.first) > B.second; });
    })) << "variant "
        << Variant << ", " << KwpLinkStateName(Trip.Client().State());
    for (const TExpect& E : Expected) {
      const std::optional<double>& V = Trip.Client().Value(E.Quantity);
      ASSERT_TRUE(V) << Variant << " " << LiveQuantityName(E.Quantity);
      EXPECT_NEAR(*V, E.Value, E.Count[Variant - 1]) << Variant << " " << LiveQuantityName(E.Quantity);
    }
  }
  EXPECT_EQ(Trip.Client().FaultCodes(), (std::vector<TKwpFaultCode>{{0x0102, 0xE0}, {0x0300, 0xE0}}));
}

TEST_F(TripClientOnPty, NoAnswerTickedIsSeenAsNoAnswerAndTheLinkComesBack) {
  Timing.P2MaxUs = 200000;
  Timing.ReinitPauseUs = 300000;
  Trip.Client().SetTiming(Timing);
  Trip.Start();
  ASSERT_TRUE(Run([&] { return Taken(6) >= 1; }));
  Unit.Panel.NoAnswer = true;
  const uint64_t Retries = Trip.Client().Counters().Retries;
  const size_t Lines = Unit.Panel.Lines.size();
  ASSERT_TRUE(Run([&] { return Trip.Client().State() == TKwpLinkState::NoAnswer; }));
  EXPECT_EQ(Trip.Client().Counters().Retries - Retries, 2u);
  // The unit saw one request three times.
  ASSERT_EQ(Unit.Panel.Lines.size() - Lines, 3u);
  EXPECT_EQ(Unit.Panel.Lines[Lines + 1], Unit.Panel.Lines[Lines]);
  EXPECT_EQ(Unit.Panel.Lines[Lines + 2], Unit.Panel.Lines[Lines]);
  Unit.Panel.NoAnswer = false;
  const uint64_t Speeds = Taken(6);
  ASSERT_TRUE(Run([&] { return Taken(6) > Speeds && Trip.Client().State() == TKwpLinkState::Connected; }));
  EXPECT_GE(Trip.Client().Counters().Inits, 2u);
}

TEST_F(TripClientOnPty, TheAdaptersEchoIsRemoved) {
  Unit.Echo = true;
  Unit.Panel.Fields[TEcuField::VSS] = "100";
  Trip.Start();
  ASSERT_TRUE(Run([&] { return Taken(6) >= 2; }));
  const TKwpCounters& C = Trip.Client().Counters();
  EXPECT_EQ(C.Echoes, C.Requests);
  EXPECT_EQ(C.BadFrames, 0u);
  EXPECT_TRUE(Trip.Client().AdapterEchoes());
  EXPECT_EQ(Trip.Client().Value(Q::Speed), 100.0);
}
