// Figures of TVaComm on a pseudo-terminal, printed; it passes or fails
// nothing.
//
//   build/tests/seriallink/seriallink_bench [requests]
//
// Round trip: from the last byte of a request written on the master end to
// the first byte of the answer readable there, with a receive handler that
// answers at once through the write thread; the median and the 99th
// percentile over 1000 requests. Processor time: what the whole process
// spends per second with a port open and idle, and with the line hung up
// while answers are still queued (the test's own hand-over loop, which
// looks for work every 5 ms, is in both).
#include "test_support.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace {

// Process CPU time per second while Setup's port is open, after Setup.
double CpuPerSecond(const std::function<void(TPtyPair&, TPort&)>& Setup) {
  TPtyPair Pty;
  TPort P(Pty.SlavePath());
  P.Comm.Open();
  Setup(Pty, P);
  P.Sync->RunFor(100ms);  // the threads settle
  const TMs Before = ProcessCpuTime();
  const auto Start = std::chrono::steady_clock::now();
  P.Sync->RunFor(2000ms);
  const double Used = double((ProcessCpuTime() - Before).count());
  const double Seconds = double(Since(Start).count()) / 1000.0;
  P.Comm.Close();
  WorkersEnd(*P.Sync);
  return Used / Seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int Requests = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;
  TPtyPair Pty;
  Pty.CloseSlave();
  auto Sync = std::make_shared<TTestSynchronizer>();
  std::atomic<bool> Ready{false}, Stop{false};

  // The window thread: owns the port and runs the hand-overs.
  std::thread Window([&] {
    TVaComm Comm;
    VaSetUpKLinePort(Comm);
    Comm.SetDeviceName(Pty.SlavePath());
    Comm.SetSynchronizer(Sync);
    std::vector<uint8_t> Pending;
    Comm.SetOnRxChar([&](TVaCustomComm* Sender, int Count) {
      std::vector<uint8_t> Buf(static_cast<size_t>(Count));
      const int Got = Sender->ReadBuf(Buf.data(), Count);
      Pending.insert(Pending.end(), Buf.begin(), Buf.begin() + Got);
      while (Pending.size() >= 6) {
        static const uint8_t Answer[] = {0x83, 0xF1, 0x11, 0xC1, 0xEF, 0x8F, 0xC4};
        Sender->WriteBuf(Answer, sizeof Answer);
        Pending.erase(Pending.begin(), Pending.begin() + 6);
      }
    });
    Comm.Open();
    Ready = true;
    Sync->RunUntil([&] { return Stop.load(); }, std::chrono::hours(1));
    Comm.Close();
    WorkersEnd(*Sync);
  });
  while (!Ready) std::this_thread::sleep_for(1ms);

  const std::vector<uint8_t> Request = {0x82, 0x11, 0xF1, 0x21, 0x06, 0xAB};
  std::vector<double> Us;
  Us.reserve(size_t(Requests));
  int Lost = 0;
  for (int i = 0; i < Requests; ++i) {
    Pty.Send(Request);
    const auto Sent = std::chrono::steady_clock::now();
    struct pollfd P = {Pty.Master(), POLLIN, 0};
    if (poll(&P, 1, 1000) != 1) {
      ++Lost;
      continue;
    }
    const auto First = std::chrono::steady_clock::now();
    Us.push_back(std::chrono::duration<double, std::micro>(First - Sent).count());
    // Take the whole answer before the next request.
    size_t Have = 0;
    while (Have < 7) {
      const auto Part = Pty.Receive(7 - Have, 1000ms);
      if (Part.empty()) break;
      Have += Part.size();
    }
  }
  Stop = true;
  Window.join();

  std::sort(Us.begin(), Us.end());
  if (Us.empty()) {
    std::printf("no answers\n");
    return 1;
  }
  const auto At = [&](double Q) { return Us[std::min(Us.size() - 1, size_t(Q * double(Us.size())))]; };
  std::printf("requests %d, answered %zu, lost %d\n", Requests, Us.size(), Lost);
  std::printf("round trip: median %.0f us, 99th percentile %.0f us, max %.0f us\n", At(0.5), At(0.99), Us.back());

  const double Idle = CpuPerSecond([](TPtyPair&, TPort&) {});
  std::printf("processor time, port open and idle: %.1f ms per second\n", Idle);
  const double HungUp = CpuPerSecond([](TPtyPair& Line, TPort& Port) {
    Line.CloseMaster();
    Line.CloseSlave();
    Port.Comm.WriteBuf("answer", 6);
  });
  std::printf("processor time, line hung up with an answer queued: %.1f ms per second\n", HungUp);
  return Lost == 0 ? 0 : 1;
}
