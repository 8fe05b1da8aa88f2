// Round-trip time through TVaComm on a pseudo-terminal: from the last byte of
// a request written on the master end to the first byte of the answer
// readable there, with a receive handler that answers at once through the
// write thread. Prints the median and the 99th percentile over 1000 requests.
#include "test_support.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
  const int Requests = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;
  TPtyPair Pty;
  Pty.CloseSlave();
  auto Sync = std::make_shared<TTestSynchronizer>();
  std::atomic<bool> Ready{false}, Stop{false};

  // The window thread: owns the port and runs the hand-overs.
  std::thread Window([&] {
    TVaComm Comm;
    Comm.SetBaudrate(brUser);
    Comm.SetUserBaudrate(10400);
    Comm.SetDeviceName(Pty.SlavePath());
    Comm.Buffers().SetReadTimeout(500);
    Comm.Buffers().SetWriteTimeout(5000);
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
  std::printf("round trip: median %.0f us, 99th percentile %.0f us, max %.0f us\n", At(0.5),
              At(0.99), Us.back());
  return Lost == 0 ? 0 : 1;
}
