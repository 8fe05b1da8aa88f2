#include "self_test.h"

#include <chrono>
#include <cmath>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ecu_emulator.h"
#include "ecu_port_adapter.h"
#include "fault_codes.h"
#include "numtext.h"
#include "pty_link.h"
#include "trip_client.h"

namespace {

using namespace std::chrono_literals;
using Q = TLiveQuantity;

// The tester window as the emulator reads it: the parameter fields, the
// fault code list of the tester and "Нет ответа".
class TPanel : public TEcuPanel {
public:
  std::string FieldText(TEcuField Field) const override { return Fields.at(Field); }
  int FaultCodeCount() const override { return FaultCodeItemCount; }
  std::string FaultCodeText(int Index) const override { return FaultCodeItems.at(static_cast<size_t>(Index)); }
  bool FaultCodeChecked(int Index) const override { return Ticked.count(Index) != 0; }
  int ActiveVariant() const override { return Variant; }
  bool PauseChecked() const override { return false; }
  bool NoAnswerChecked() const override { return NoAnswer; }
  void AppendMonitorLine(const std::string&) override {}

  std::map<TEcuField, std::string> Fields;
  std::map<int, bool> Ticked;
  int Variant = 1;
  bool NoAnswer = false;
};

// A value the unit is given, and one count of each variant's record.
struct TValue {
  TEcuField Field;
  Q Quantity;
  double Value;
  double Count[3];
};

const double Volt = 17.9 / 255, Percent = 100.0 / 255;
const TValue Values[] = {
    {TEcuField::VSS, Q::Speed, 87, {1.25, 1.25, 1.25}},
    {TEcuField::TOG, Q::Coolant, 93, {0.75, 0.75, 0.75}},
    {TEcuField::RPM, Q::EngineSpeed, 2345, {0.25, 0.25, 40}},
    {TEcuField::ATP, Q::Throttle, 37.5, {Percent, Percent, Percent}},
    {TEcuField::IMAP, Q::ManifoldPressure, 98, {256.0 / 65535, 1, 1}},
    {TEcuField::Dv, Q::Injection, 4.25, {175.0 / 65535, 208.1 / 255, 208.1 / 255}},
    {TEcuField::IAT, Q::IntakeAir, 31, {0.75, 0.75, 0.75}},
    {TEcuField::Ubat, Q::SupplyVoltage, 13.7, {Volt, Volt, Volt}},
};
// Items 1, 36 and 113 of the list: 0102, 0300, 1689.
const int TickedItems[] = {0, 35, 112};

class TSelfTest {
public:
  explicit TSelfTest(std::FILE* Out) : FOut(Out) {}
  int Run();

private:
  bool Wait(const std::function<bool()>& Done, std::chrono::milliseconds Timeout = 10s) {
    return RunTripClient(*FLoop, FTrip.get(), Done, Timeout);
  }
  void Check(bool Passed, const std::string& What) {
    std::fprintf(FOut, "%s %s\n", Passed ? "PASS" : "FAIL", What.c_str());
    std::fflush(FOut);
    if (!Passed) ++FFailed;
  }
  void CheckVariant(int Variant);

  std::FILE* FOut;
  int FFailed = 0;
  std::shared_ptr<TVaLoop> FLoop = std::make_shared<TVaLoop>();
  TPanel FPanel;
  TVaComm FUnitComm, FTripComm;
  std::unique_ptr<TTripClient> FTrip;
  std::vector<std::string> FReports;
};

void TSelfTest::CheckVariant(int Variant) {
  const std::string Name = "variant " + std::to_string(Variant) + ": ";
  FPanel.Variant = Variant;
  TKwpClient& Client = FTrip->Client();
  Client.SetVariant(Variant);
  std::vector<std::pair<uint8_t, uint64_t>> Before;
  for (uint8_t Id = 1; Id <= 15; ++Id)
    if (LiveRecordLength(Variant, Id) != 0) Before.emplace_back(Id, Client.RecordsTaken(Id));
  // Every record, and a whole cycle after the first record 06 (the last of
  // each variant): a request on the line at the change was of the old one.
  const bool Read = Wait([&] {
    if (Client.RecordsTaken(Before.back().first) < Before.back().second + 2) return false;
    for (const auto& [Id, Taken] : Before)
      if (Client.RecordsTaken(Id) <= Taken) return false;
    return true;
  });
  Check(Read, Name + "every record read (" + KwpLinkStateName(Client.State()) + ")");
  for (const TValue& V : Values) {
    const std::optional<double>& Got = Client.Value(V.Quantity);
    const double Count = V.Count[Variant - 1];
    Check(Got && std::fabs(*Got - V.Value) <= Count, Name + LiveQuantityName(V.Quantity) + " " +
                                                         FormatFloat("0.##", V.Value) + " read as " +
                                                         (Got ? FormatFloat("0.####", *Got) : std::string("nothing")) +
                                                         " (one count " + FormatFloat("0.####", Count) + ")");
  }
  std::vector<TKwpFaultCode> Expected = {{0x0102, 0xE0}, {0x0300, 0xE0}, {0x1689, 0xE0}};
  Check(Client.FaultCodes() == Expected, Name + "fault codes 0102 0300 1689 read");
}

int TSelfTest::Run() {
  TPtyLink Link;
  for (const TValue& V : Values)
    FPanel.Fields[V.Field] =
        FormatFloat(V.Field == TEcuField::Ubat || V.Field == TEcuField::Dv ? "0.00" : "0.#", V.Value);
  for (int Item : TickedItems) FPanel.Ticked[Item] = true;
  TEcuPortAdapter UnitPort(FUnitComm);
  TEcuEmulator Ecu(UnitPort, FPanel);
  auto Report = [this](const std::exception& E) { FReports.push_back(E.what()); };
  for (TVaComm* Comm : {&FUnitComm, &FTripComm}) {
    VaSetUpKLinePort(*Comm);
    Comm->SetSynchronizer(FLoop);
    Comm->SetExceptionReport(Report);
  }
  FUnitComm.SetDeviceName(Link.Path(0));
  FUnitComm.SetOnRxChar([&Ecu](TVaCustomComm*, int Count) { Ecu.RxChar(Count); });
  FTripComm.SetDeviceName(Link.Path(1));
  FTrip = std::make_unique<TTripClient>(FTripComm);
  try {
    FUnitComm.Open();
    FTrip->Start();
  } catch (const std::exception& E) {
    Check(false, std::string("ports opened: ") + E.what());
    return FFailed;
  }
  TKwpClient& Client = FTrip->Client();
  Check(Wait([&] { return Client.State() == TKwpLinkState::Connected; }), "fast init and StartCommunication");
  for (int Variant = 1; Variant <= 3; ++Variant) CheckVariant(Variant);

  const TTripReadings Trip = Client.TripReadings(FTrip->NowUs());
  Check(Trip.DistanceKm > 0 && Trip.DistanceKm <= (87 + 1.25) * Trip.TripTimeS / 3600,
        "trip: " + FormatFloat("0.0000", Trip.DistanceKm) + " km in " + FormatFloat("0.0", Trip.TripTimeS) +
            " s at 87 km/h");

  FPanel.NoAnswer = true;
  Check(Wait([&] { return Client.State() == TKwpLinkState::NoAnswer; }), "\"Нет ответа\" seen as no answer");
  FPanel.NoAnswer = false;
  const uint64_t Speeds = Client.RecordsTaken(6);
  Check(Wait([&] { return Client.State() == TKwpLinkState::Connected && Client.RecordsTaken(6) > Speeds; }),
        "link back once \"Нет ответа\" is cleared");
  Check(FReports.empty(), "no port errors" + (FReports.empty() ? std::string() : ": " + FReports.front()));

  FTrip->Stop();
  FTripComm.Close();
  FUnitComm.Close();
  FLoop->End();
  // The ports' threads end on their own once released.
  for (int I = 0; I < 500 && TVaCustomComm::RunningWorkers() > 0; ++I) std::this_thread::sleep_for(10ms);
  return FFailed;
}

}  // namespace

int RunTripSelfTest(std::FILE* Out) {
  TSelfTest Test(Out);
  const int Failed = Test.Run();
  std::fprintf(Out, "%s: %d check(s) failed\n", Failed == 0 ? "PASS" : "FAIL", Failed);
  return Failed;
}
