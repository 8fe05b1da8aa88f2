// The trip computer side of the end-to-end check of the Win32 serial
// backend. Creates a pseudo-terminal, starts the given command (which maps
// a COM port of Wine to the terminal's slave and runs com_port_e2e.exe
// there) with "{}" in its arguments replaced by the slave's path, steers the
// program through its standard input, and plays the trip computer on the
// master end. Every answer is compared with the bytes that the Linux build
// of the emulator gives for the same panel and the same bytes (TEcuBench).
//
//   com_port_e2e_driver COM5 -- bash -c '... wine com_port_e2e.exe' _ {}
//
// What Wine cannot show on a pseudo-terminal is not checked here: Wine sets
// 38400 baud instead of 10400 on it (the bytes flow all the same), and does
// not enforce exclusive opening of the COM port.
//
// Exit code 0 when every check passed; prints the round-trip figures.
#include "fakes.h"
#include "numtext.h"
#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <functional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int Failures = 0;

void Fail(const std::string& What) {
  ++Failures;
  std::fprintf(stderr, "e2e FAILED: %s\n", What.c_str());
}

double Ms(Clock::duration D) { return std::chrono::duration<double, std::milli>(D).count(); }

// The Windows program behind its pipes.
class TChild {
public:
  TChild(std::vector<std::string> Args) {
    int In[2], Out[2];
    if (pipe(In) != 0 || pipe(Out) != 0) throw std::runtime_error("pipe failed");
    FPid = fork();
    if (FPid < 0) throw std::runtime_error("fork failed");
    if (FPid == 0) {
      dup2(In[0], 0);
      dup2(Out[1], 1);
      close(In[0]);
      close(In[1]);
      close(Out[0]);
      close(Out[1]);
      std::vector<char*> Argv;
      for (auto& A : Args) Argv.push_back(A.data());
      Argv.push_back(nullptr);
      execvp(Argv[0], Argv.data());
      std::perror("exec");
      _exit(127);
    }
    close(In[0]);
    close(Out[1]);
    FIn = In[1];
    FOut = Out[0];
    // Only the child's own ends go to later children (Wine's server among
    // them): a copy of ours would keep the child's input open for ever.
    fcntl(FIn, F_SETFD, FD_CLOEXEC);
    fcntl(FOut, F_SETFD, FD_CLOEXEC);
  }
  ~TChild() {
    if (FPid > 0 && !Exited) kill(FPid, SIGKILL), waitpid(FPid, nullptr, 0);
  }

  // Sends a command and returns its reply; lines about events that come
  // meanwhile are kept aside. "(no reply)" after Timeout.
  std::string Command(const std::string& Line, Clock::duration Timeout = 60s) {
    const std::string L = Line + "\n";
    if (write(FIn, L.data(), L.size()) != ssize_t(L.size())) return "(no reply)";
    return NextReply(Timeout);
  }
  std::string NextReply(Clock::duration Timeout) {
    const auto End = Clock::now() + Timeout;
    for (;;) {
      std::string Line;
      if (!ReadLine(Line, End)) return "(no reply)";
      if (Line.rfind("lost ", 0) == 0) Losses.push_back(Line.substr(5));
      else if (Line.rfind("report ", 0) == 0) Reports.push_back(Line.substr(7));
      else return Line;
    }
  }
  // Reads event lines until Until() holds or Timeout passes.
  void CollectEvents(Clock::duration Timeout, const std::function<bool()>& Until) {
    const auto End = Clock::now() + Timeout;
    while (!Until()) {
      std::string Line;
      if (!ReadLine(Line, End)) return;
      if (Line.rfind("lost ", 0) == 0) Losses.push_back(Line.substr(5));
      else if (Line.rfind("report ", 0) == 0) Reports.push_back(Line.substr(7));
      else Fail("unexpected line from the program: " + Line);
    }
  }
  // Waits for the program to end; false if it has not within Timeout.
  bool Wait(Clock::duration Timeout) {
    const auto End = Clock::now() + Timeout;
    while (Clock::now() < End) {
      int Status = 0;
      if (waitpid(FPid, &Status, WNOHANG) == FPid) {
        Exited = true;
        return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  std::vector<std::string> Losses, Reports;

private:
  bool ReadLine(std::string& Line, Clock::time_point End) {
    for (;;) {
      const size_t Nl = FBuffer.find('\n');
      if (Nl != std::string::npos) {
        Line = FBuffer.substr(0, Nl);
        FBuffer.erase(0, Nl + 1);
        if (!Line.empty() && Line.back() == '\r') Line.pop_back();
        return true;
      }
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(End - Clock::now()).count();
      if (Left <= 0) return false;
      pollfd P = {FOut, POLLIN, 0};
      if (poll(&P, 1, int(Left)) <= 0) continue;
      char Buf[512];
      const ssize_t N = read(FOut, Buf, sizeof Buf);
      if (N <= 0) return false;
      FBuffer.append(Buf, size_t(N));
    }
  }
  pid_t FPid = -1;
  int FIn = -1, FOut = -1;
  std::string FBuffer;
  bool Exited = false;
};

// The line to the Windows program: a pseudo-terminal whose slave Wine maps
// as the COM port. Its ends are closed on exec, so that neither lives on in
// the Windows program or Wine's server (a master held open there would keep
// the terminal up after Unplug).
class TLine {
public:
  const std::string& Path() const { return Pty.SlavePath(); }
  void Send(const TBytes& Bytes) {
    try {
      Pty.Send(Bytes);
    } catch (const std::exception& E) {
      Fail(std::string("write to the terminal: ") + E.what());
    }
  }
  // Reads until Count bytes are in or Timeout passes.
  TBytes Receive(size_t Count, Clock::duration Timeout) {
    return Pty.Receive(Count, std::chrono::duration_cast<std::chrono::milliseconds>(Timeout));
  }
  // The adapter is pulled out: both ends go, the slave is hung up.
  void Unplug() {
    Pty.CloseMaster();
    Pty.CloseSlave();
  }

private:
  TPtyPair Pty;
};

TBytes Request(uint8_t LocalId) { return WithChecksum({0x82, 0x11, 0xF1, 0x21, LocalId}); }

const char* FieldName(TEcuField F) {
  switch (F) {
    case TEcuField::VSS: return "VSS";
    case TEcuField::TOG: return "TOG";
    case TEcuField::RPM: return "RPM";
    case TEcuField::ATP: return "ATP";
    case TEcuField::IMAP: return "IMAP";
    case TEcuField::Dv: return "Dv";
    case TEcuField::IAT: return "IAT";
    case TEcuField::Ubat: return "Ubat";
  }
  return "?";
}

// The Windows program and the Linux reference, given the same panel and the
// same bytes.
class TCheck {
public:
  TCheck(TChild& Child, TLine& Line) : Child(Child), Line(Line) {}

  void Set(TEcuField Field, const std::string& Text) {
    Reference.Panel.Fields[Field] = Text;
    Expect(Child.Command(std::string("set ") + FieldName(Field) + " " + Text), "ok");
  }
  void Variant(int V) {
    Reference.Panel.Variant = V;
    Expect(Child.Command("variant " + std::to_string(V)), "ok");
  }
  void Fault(const std::string& Text, bool Ticked) {
    Reference.Panel.Faults.emplace_back(Text, Ticked);
    Expect(Child.Command(std::string("fault ") + (Ticked ? "1 " : "0 ") + Text), "ok");
  }
  void ClearFaults() {
    Reference.Panel.Faults.clear();
    Expect(Child.Command("faults-clear"), "ok");
  }

  // Sends the request in the given pieces (a few ms apart, well within the
  // 50 ms a request may pause) and compares what comes back with the
  // reference's answer. A request without an answer is checked by the next
  // one: whatever it wrongly sent would come before that one's answer.
  void Exchange(const std::string& What, const std::vector<TBytes>& Pieces) {
    Reference.Sent();
    for (size_t i = 0; i < Pieces.size(); ++i) {
      if (i > 0) Reference.Wait(5);
      Reference.Event(Pieces[i]);
    }
    TBytes Expected;
    for (const TBytes& Frame : Reference.Sent()) Expected.insert(Expected.end(), Frame.begin(), Frame.end());
    Clock::time_point Sent;
    for (size_t i = 0; i < Pieces.size(); ++i) {
      if (i > 0) std::this_thread::sleep_for(5ms);
      Sent = Clock::now();
      Line.Send(Pieces[i]);
    }
    ++Requests;
    if (Expected.empty()) {
      Unanswered.push_back(What);
      return;
    }
    const TBytes Got = Line.Receive(Expected.size(), 10s);
    if (Got.size() == Expected.size()) RoundTrips.push_back(Ms(Clock::now() - Sent));
    if (Got != Expected) Fail(What + ": expected " + Hex(Expected) + "got " + Hex(Got));
    else ++Matched;
  }
  void Exchange(const std::string& What, const TBytes& Request) { Exchange(What, std::vector<TBytes>{Request}); }

  void Expect(const std::string& Got, const std::string& Wanted) {
    if (Got != Wanted) Fail("program said \"" + Got + "\", expected \"" + Wanted + "\"");
  }

  TChild& Child;
  TLine& Line;
  TEcuBench Reference;
  int Requests = 0, Matched = 0;
  std::vector<std::string> Unanswered;  // requests the Linux build does not answer either
  std::vector<double> RoundTrips;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || std::string(argv[2]) != "--") {
    std::fprintf(stderr, "usage: %s COMn -- command args... ({} is the terminal's path)\n", argv[0]);
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const std::string Port = argv[1];
  SetDecimalSeparator(',');
  TLine Line;
  std::vector<std::string> Args;
  for (int i = 3; i < argc; ++i) Args.push_back(std::string(argv[i]) == "{}" ? Line.Path() : argv[i]);
  std::printf("e2e: %s is %s\n", Port.c_str(), Line.Path().c_str());
  std::fflush(stdout);

  const auto Started = Clock::now();
  TChild Child(Args);
  TCheck C(Child, Line);

  // A port that does not exist: the message, and the port stays closed.
  C.Expect(Child.Command("open COM9", 120s), "error Specified device not found (COM9).");
  C.Expect(Child.Command("open " + Port), "opened");
  std::printf("e2e: program started and port open in %.1f s\n", Ms(Clock::now() - Started) / 1000);

  // Variant 1: start, every record with the start values and with values.
  C.Exchange("StartCommunication", TBytes{0x81, 0x11, 0xF1, 0x81, 0x04});
  for (uint8_t Id = 1; Id <= 6; ++Id) C.Exchange("variant 1 record " + std::to_string(Id), Request(Id));
  C.Set(TEcuField::VSS, "100");
  C.Set(TEcuField::TOG, "90");
  C.Set(TEcuField::RPM, "820");
  C.Set(TEcuField::ATP, "30");
  C.Set(TEcuField::IMAP, "101");
  C.Set(TEcuField::Dv, "2,5");
  C.Set(TEcuField::IAT, "35");
  C.Set(TEcuField::Ubat, "14");
  for (uint8_t Id = 1; Id <= 6; ++Id)
    C.Exchange("variant 1 record " + std::to_string(Id) + " with values", Request(Id));
  // Variants 2 and 3.
  for (int V : {2, 3}) {
    C.Variant(V);
    for (uint8_t Id : {2, 3, 5, 6})
      C.Exchange("variant " + std::to_string(V) + " record " + std::to_string(Id), Request(Id));
  }
  // The texts whose codes are exact halves in extended precision.
  for (const char* Text : {"5,37", "8,95", "16,11"}) {
    C.Set(TEcuField::Ubat, Text);
    C.Variant(1);
    C.Exchange(std::string("variant 1 record 3, Ubat ") + Text, Request(0x03));
    for (int V : {2, 3}) {
      C.Variant(V);
      C.Exchange("variant " + std::to_string(V) + " record 2, Ubat " + Text, Request(0x02));
    }
  }
  C.Set(TEcuField::Dv, "104,05");
  for (int V : {2, 3}) {
    C.Variant(V);
    C.Exchange("variant " + std::to_string(V) + " record 3, Dv 104,05", Request(0x03));
  }
  C.Variant(1);
  C.Exchange("variant 1 record 4, Dv 104,05", Request(0x04));

  // Fault codes: none, two, and more than 20 (the long header).
  const TBytes Faults = {0x84, 0x11, 0xF1, 0x18, 0x00, 0xFF, 0x00, 0x9D};
  C.Exchange("fault codes, none", Faults);
  C.Fault("0102 Датчик массового расхода воздуха, низкий уровень выходного сигнала", true);
  C.Fault("0103 Датчик массового расхода воздуха, высокий уровень", false);
  C.Fault("0300 Пропуски воспламенения", true);
  C.Exchange("fault codes, two ticked", Faults);
  for (int i = 0; i < 24; ++i) {
    char Code[8];
    std::snprintf(Code, sizeof Code, "%04X", 0x0400 + i);
    C.Fault(std::string(Code) + " код", true);
  }
  C.Exchange("fault codes, 26 ticked (long header)", Faults);
  C.ClearFaults();

  C.Exchange("TesterPresent", WithChecksum({0x81, 0x11, 0xF1, 0x3E}));
  // A request split by the line, and two in one burst.
  C.Exchange("split record request", std::vector<TBytes>{{0x82, 0x11}, {0xF1, 0x21, 0x03, 0xA8}});
  {
    TBytes Two = Request(0x01);
    const TBytes Second = Request(0x06);
    Two.insert(Two.end(), Second.begin(), Second.end());
    C.Exchange("two requests in one burst", Two);
  }
  // A functional frame (an OBD tester's) is dropped without an answer; the
  // next answer shows that nothing was sent for it.
  C.Exchange("functional frame", TBytes{0xC1, 0x33, 0xF1, 0x81, 0x66});
  C.Exchange("TesterPresent after the functional frame", WithChecksum({0x81, 0x11, 0xF1, 0x3E}));
  C.Exchange("StopCommunication", WithChecksum({0x81, 0x11, 0xF1, 0x82}));

  // The program counted what it got and sent, as the reference did.
  const std::string Counts =
      "counts " + std::to_string(C.Reference.Ecu.FramesReceived) + " " + std::to_string(C.Reference.Ecu.AnswersSent);
  C.Expect(Child.Command("counts"), Counts);

  // The adapter is pulled out while the port is open: one loss, no hang.
  const auto Pulled = Clock::now();
  Line.Unplug();
  Child.CollectEvents(30s, [&] { return !Child.Losses.empty(); });
  const double LossMs = Ms(Clock::now() - Pulled);
  if (Child.Losses.empty()) Fail("no loss reported within 30 s of the terminal going away");
  // Further failures of the gone device must not be reported again.
  Child.CollectEvents(3s, [] { return false; });
  if (Child.Losses.size() > 1) Fail("the loss was reported " + std::to_string(Child.Losses.size()) + " times");
  for (const std::string& R : Child.Reports) Fail("exception report: " + R);
  C.Expect(Child.Command("close", 30s), "closed");
  C.Expect(Child.Command("quit", 30s), "bye");
  if (!Child.Wait(30s)) Fail("the program did not end within 30 s of quit");

  std::vector<double> T = C.RoundTrips;
  std::sort(T.begin(), T.end());
  if (!T.empty())
    std::printf(
        "e2e: %d of %d requests answered byte for byte like the Linux build; round trip median %.2f ms, "
        "fastest %.2f ms, slowest %.2f ms (%zu answers)\n",
        C.Matched, C.Requests, T[T.size() / 2], T.front(), T.back(), T.size());
  for (const std::string& U : C.Unanswered) std::printf("e2e: not answered, as in the Linux build: %s\n", U.c_str());
  if (!Child.Losses.empty())
    std::printf("e2e: device gone reported once after %.0f ms: %s\n", LossMs, Child.Losses[0].c_str());
  std::printf("e2e: %s\n", Failures == 0 ? "passed" : "FAILED");
  return Failures == 0 ? 0 : 1;
}
