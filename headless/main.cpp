// kline-ecu-sim: the engine control unit on the K-line without a window, for
// test rigs. Opens a serial port as the tester window opens VaComm1, runs the
// same emulator behind it, takes commands on standard input and reports on
// standard output (see SimUsage in sim_options.cpp, or --help).

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ecu_port_adapter.h"
#include "fault_codes.h"
#include "numtext.h"
#include "sim_loop.h"
#include "valoop.h"
#include "sim_options.h"
#include "sim_platform.h"
#include "sim_session.h"
#include "vacomm.h"
#include "vakeeper.h"

namespace {

const char* const ProgramName = "kline-ecu-sim";

// Exit statuses besides 0 and 1 (a failed check).
constexpr int BadStart = 2;
constexpr int PortNotOpened = 3;

// How often a lost port is tried again.
constexpr int64_t KeeperTickUs = 250'000;

int Refuse(int Status, const std::string& Message) {
  std::fprintf(stderr, "%s: %s\n", ProgramName, Message.c_str());
  return Status;
}

const char* StateName(TVaKeeperState State) {
  switch (State) {
    case TVaKeeperState::Open: return "open";
    case TVaKeeperState::Lost: return "lost";
    case TVaKeeperState::Reopening: return "reopening";
    case TVaKeeperState::Closed: return "closed";
  }
  return "closed";
}

}  // namespace

int main(int argc, char** argv) {
  // Field texts are read with the locale's decimal separator, as in the window.
  InitNumberFormatFromLocale();
  const std::vector<std::string> Args(argv + 1, argv + argc);
  const TSimOptionsParse Parse = ParseSimOptions(Args, DecimalSeparator());
  const TSimOptions& O = Parse.Options;
  if (!Parse.Error.empty()) return Refuse(BadStart, Parse.Error + " (--help lists the options)");
  if (O.Help) {
    std::fputs(SimUsage(ProgramName).c_str(), stdout);
    return 0;
  }
  if (O.ListFaults) {
    for (int I = 0; I < FaultCodeItemCount; ++I) std::printf("#%d %s\n", I + 1, FaultCodeItems[static_cast<size_t>(I)]);
    return 0;
  }
  if (O.Separator) SetDecimalSeparator(*O.Separator);

  PrepareProcess();
  auto Loop = std::make_shared<TVaLoop>();
  auto Output = std::make_shared<TLineOutput>(WriteStdout);
  TVaComm Comm;
  TEcuPortAdapter Port(Comm);
  TSimSession Session(
      Port, [Output](const std::string& Line) { Output->Write(Line); }, VaMonotonicMicros);
  Session.SetEvents(O.Events);
  if (const std::string Error = ApplyStartState(Session, O.Start); !Error.empty())
    return Refuse(BadStart, "start state: " + Error);
  if (O.Scenario) {
    Session.SetScenarioSpeed(O.Speed);
    if (const std::string Error = Session.LoadScenario(*O.Scenario); !Error.empty())
      return Refuse(BadStart, "scenario " + *O.Scenario + " not loaded: " + Error);
  }
  if (O.Record) {
    if (const std::string Error = Session.StartRecord(*O.Record); !Error.empty())
      return Refuse(BadStart, "--record: " + Error);
  }

  // The port as the tester window sets up VaComm1; its receive events run
  // the emulator on the loop's thread.
  VaSetUpKLinePort(Comm);
  Comm.SetDeviceName(O.Device);
  Comm.SetOnRxChar([&Session](TVaCustomComm*, int Count) { Session.RxChar(Count); });
  Comm.SetSynchronizer(Loop);
  Comm.SetExceptionReport([&Session](const std::exception& E) { Session.PortError(E.what()); });
  Comm.Loaded();
  TVaPortKeeper Keeper(Comm);
  try {
    Comm.Open();
  } catch (const std::exception& E) {
    return Refuse(PortNotOpened, E.what());
  }
  Keeper.Opened();
  // From now on a lost device is reported, and reported back when it returns.
  Keeper.SetOnStateChange(
      [&Session](TVaKeeperState State, const std::string& Text) { Session.PortState(StateName(State), Text); });
  if (O.Scenario) Session.Execute(*ParseSimCommand("scenario play", '.').Command);
  Output->Write("READY " + O.Device);

  // From here on the loop's thread is the only one that touches the session;
  // the input, the signals and the port's workers post to it.
  std::string EndReason;
  const auto EndWith = [&EndReason, &Loop](const std::string& Reason) {
    if (EndReason.empty()) EndReason = Reason;
    Loop->End();
  };
  if (O.ReadInput) {
    std::thread([Loop, &Session, EndWith] {
      std::string Line;
      while (std::getline(std::cin, Line)) {
        if (!Line.empty() && Line.back() == '\r') Line.pop_back();
        Loop->Post([Line, &Session, EndWith] {
          Session.HandleLine(Line);
          if (Session.QuitAsked()) EndWith("quit");
        });
      }
      Loop->Post([EndWith] { EndWith("end of input"); });
    }).detach();
  }
  WatchSignals([Loop, EndWith](const char* Name) {
    const std::string Reason = Name;
    Loop->Post([EndWith, Reason] { EndWith(Reason); });
  });

  const int64_t StartUs = VaMonotonicMicros();
  const std::optional<int64_t> EndUs =
      O.DurationS ? std::optional<int64_t>(StartUs + static_cast<int64_t>(*O.DurationS * 1e6)) : std::nullopt;
  int64_t NextKeeperUs = 0;
  const auto NextWake = [&]() -> std::optional<int64_t> {
    std::optional<int64_t> Next = Session.NextWakeUs();
    const auto Earlier = [&Next](int64_t Us) { Next = Next ? std::min(*Next, Us) : Us; };
    if (EndUs) Earlier(*EndUs);
    // A lost port is tried again about once a second; an open one needs no tick.
    if (Keeper.State() == TVaKeeperState::Lost || Keeper.State() == TVaKeeperState::Reopening) {
      if (NextKeeperUs == 0) NextKeeperUs = VaMonotonicMicros() + KeeperTickUs;
      Earlier(NextKeeperUs);
    } else {
      NextKeeperUs = 0;
    }
    return Next;
  };
  const auto Wake = [&] {
    const int64_t Now = VaMonotonicMicros();
    Session.Tick();
    if (NextKeeperUs != 0 && Now >= NextKeeperUs) {
      Keeper.Tick(static_cast<uint32_t>(Now / 1000));
      NextKeeperUs = Now + KeeperTickUs;
    }
    if (EndUs && Now >= *EndUs) EndWith("duration");
  };
  Loop->Run(NextWake, Wake);

  // The end: the record is written, the port closed, the summary printed.
  const TSimEnd End = Session.Finish(EndReason, O.Checks);
  Keeper.SetOnStateChange(nullptr);
  Keeper.Closed();
  Comm.Close();
  Output->Write(End.SummaryLine);
  Output->Flush(std::chrono::seconds(2));
  EndProcess(End.ExitStatus);
}
