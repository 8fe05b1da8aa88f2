// The unit side of the end-to-end check of the Win32 serial backend, run
// under Wine: a TVaComm set up exactly as the tester window sets up its
// port, with the emulator behind OnRxChar and a panel of fields with the
// window's start values. The trip computer side (com_port_e2e_driver, on
// Linux) holds the master end of the pseudo-terminal that Wine maps as the
// COM port; it sends requests there and steers this program through its
// standard input, one command a line:
//
//   open COMn            -> "opened" or "error <message>"
//   set <field> <text>   -> "ok"     (VSS TOG RPM ATP IMAP Dv IAT Ubat)
//   variant <1..3>       -> "ok"
//   fault <0|1> <text>   -> "ok"     (appends an item, ticked or not)
//   faults-clear         -> "ok"
//   counts               -> "counts <frames received> <answers sent>"
//   close                -> "closed"
//   quit                 -> "bye", and the program ends
//
// and reports "lost <reason>" (OnDeviceLost) and "report <message>" (the
// exception report) when they happen. The hand-over of the port's workers
// runs its calls on the main thread, between commands, as the window
// thread does.
#include "ecu_emulator.h"
#include "ecu_port_adapter.h"
#include "numtext.h"
#include "valoop.h"
#include "vacomm.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

class TPanel : public TEcuPanel {
public:
  std::string FieldText(TEcuField Field) const override { return Fields.at(Field); }
  int FaultCodeCount() const override { return int(Faults.size()); }
  std::string FaultCodeText(int Index) const override { return Faults.at(size_t(Index)).first; }
  bool FaultCodeChecked(int Index) const override { return Faults.at(size_t(Index)).second; }
  int ActiveVariant() const override { return Variant; }
  bool PauseChecked() const override { return false; }
  bool NoAnswerChecked() const override { return false; }
  void AppendMonitorLine(const std::string&) override {}

  // The tester window's start values, written with a comma separator.
  std::map<TEcuField, std::string> Fields = {{TEcuField::VSS, "0"},  {TEcuField::TOG, "20"},    {TEcuField::RPM, "0"},
                                             {TEcuField::ATP, "0"},  {TEcuField::IMAP, "0"},    {TEcuField::Dv, "0,00"},
                                             {TEcuField::IAT, "20"}, {TEcuField::Ubat, "12,00"}};
  std::vector<std::pair<std::string, bool>> Faults;
  int Variant = 1;
};

void Say(const std::string& Line) {
  std::fputs((Line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// The port as TForm1::SetUpVaComm1 sets it up; only the device name is the
// one asked for.
void SetUpPort(TVaComm& Comm, const std::shared_ptr<TVaLoop>& Main, TEcuEmulator& Ecu) {
  VaSetUpKLinePort(Comm);
  Comm.SetOnRxChar([&Ecu](TVaCustomComm*, int Count) { Ecu.RxChar(Count); });
  Comm.SetSynchronizer(Main);
  Comm.SetExceptionReport([](const std::exception& E) { Say(std::string("report ") + E.what()); });
  Comm.SetOnDeviceLost([](TVaCustomComm*, const std::string& Reason) { Say("lost " + Reason); });
  Comm.Loaded();
}

const std::map<std::string, TEcuField> FieldNames = {
    {"VSS", TEcuField::VSS},   {"TOG", TEcuField::TOG}, {"RPM", TEcuField::RPM}, {"ATP", TEcuField::ATP},
    {"IMAP", TEcuField::IMAP}, {"Dv", TEcuField::Dv},   {"IAT", TEcuField::IAT}, {"Ubat", TEcuField::Ubat}};

}  // namespace

int main() {
  SetDecimalSeparator(',');
  // Everything runs on the main thread: the workers' hand-overs and the
  // commands read from standard input.
  auto Main = std::make_shared<TVaLoop>();
  TPanel Panel;
  TVaComm Comm;
  TEcuPortAdapter Port(Comm);
  TEcuEmulator Ecu(Port, Panel);
  Ecu.FormCreate();
  SetUpPort(Comm, Main, Ecu);

  auto Command = [&](const std::string& Line) {
    std::istringstream In(Line);
    std::string Verb;
    In >> Verb;
    try {
      if (Verb == "open") {
        std::string Name;
        In >> Name;
        Comm.SetDeviceName(Name);
        Comm.Open();
        Say("opened");
      } else if (Verb == "set") {
        std::string Name, Text;
        In >> Name;
        std::getline(In >> std::ws, Text);
        Panel.Fields[FieldNames.at(Name)] = Text;
        Say("ok");
      } else if (Verb == "variant") {
        In >> Panel.Variant;
        Say("ok");
      } else if (Verb == "fault") {
        int Ticked = 0;
        std::string Text;
        In >> Ticked;
        std::getline(In >> std::ws, Text);
        Panel.Faults.emplace_back(Text, Ticked != 0);
        Say("ok");
      } else if (Verb == "faults-clear") {
        Panel.Faults.clear();
        Say("ok");
      } else if (Verb == "counts") {
        Say("counts " + std::to_string(Ecu.FramesReceived) + " " + std::to_string(Ecu.AnswersSent));
      } else if (Verb == "close") {
        Comm.Close();
        Say("closed");
      } else if (Verb == "quit") {
        Comm.Close();
        Say("bye");
        Main->End();
      } else {
        Say("error unknown command: " + Line);
      }
    } catch (const std::exception& E) {
      Say(std::string("error ") + E.what());
    }
  };

  // Commands are read on a thread of their own and run on the main thread.
  // The end of the input ends the program as "quit" does.
  std::thread([Main, Command] {
    std::string Line;
    while (std::getline(std::cin, Line)) {
      if (!Line.empty() && Line.back() == '\r') Line.pop_back();
      Main->Post([Command, Line] { Command(Line); });
      if (Line == "quit") return;
    }
    Main->Post([Command] { Command("quit"); });
  }).detach();
  Main->Run(nullptr, nullptr);
  std::fflush(stdout);
  // Workers that still wait on a hand-over were released by End(); the
  // process ends without waiting for detached threads.
  std::_Exit(0);
}
