#include "sim_platform.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

sigset_t EndSignals() {
  sigset_t Set;
  sigemptyset(&Set);
  sigaddset(&Set, SIGINT);
  sigaddset(&Set, SIGTERM);
  sigaddset(&Set, SIGHUP);
  return Set;
}

}  // namespace

void PrepareProcess() {
  signal(SIGPIPE, SIG_IGN);
  // Threads inherit the mask: only the watcher's sigwait takes these.
  const sigset_t Set = EndSignals();
  pthread_sigmask(SIG_BLOCK, &Set, nullptr);
}

void WatchSignals(std::function<void(const char* Name)> OnSignal) {
  std::thread([OnSignal = std::move(OnSignal)] {
    const sigset_t Set = EndSignals();
    for (;;) {
      int Signal = 0;
      if (sigwait(&Set, &Signal) != 0) continue;
      OnSignal(Signal == SIGINT ? "SIGINT" : Signal == SIGTERM ? "SIGTERM" : "SIGHUP");
    }
  }).detach();
}

bool WriteStdout(const char* Data, size_t Size) {
  while (Size > 0) {
    const ssize_t N = write(STDOUT_FILENO, Data, Size);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Data += N;
    Size -= static_cast<size_t>(N);
  }
  return true;
}

void EndProcess(int Status) {
  std::fflush(stderr);
  std::_Exit(Status);
}
