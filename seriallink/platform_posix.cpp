// Events, waits, ticks, thread priorities and error texts on Linux.
#include "vadevice.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace vacomm_detail {

std::string VaSystemErrorText(int Code) {
  char Buffer[256];
  return VaTrimSystemText(strerror_r(Code, Buffer, sizeof Buffer));
}

// A pulled USB adapter hangs its terminal up: later calls fail with EIO
// (ENXIO or ENODEV from some drivers); EBADF is a descriptor that is gone.
bool VaIsDeviceGone(int Code) { return Code == EIO || Code == ENXIO || Code == ENODEV || Code == EBADF; }

uint32_t VaSystemTickCount() {
  struct timespec Now;
  clock_gettime(CLOCK_MONOTONIC, &Now);
  return uint32_t(uint64_t(Now.tv_sec) * 1000u + uint64_t(Now.tv_nsec) / 1000000u);
}

void VaSystemSleep(int Milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds)); }

intptr_t VaCurrentThreadToken() { return intptr_t(syscall(SYS_gettid)); }

void VaReleaseThreadToken(intptr_t) {}

void VaSetThreadPriority(intptr_t Token, TThreadPriority Priority) {
  // Linux gives every thread its own nice value. Raising a thread above
  // normal needs CAP_SYS_NICE; without it the thread keeps its priority.
  static const int Nice[] = {19, 10, 5, 0, -5, -10, -20};
  (void)setpriority(PRIO_PROCESS, id_t(Token), Nice[int(Priority)]);
}

namespace {

// poll() that is not cut short by signals; Milliseconds < 0 waits forever.
// A real wait, so its remaining time is measured by the real clock.
int PollRetrying(struct pollfd* Fds, nfds_t Count, int Milliseconds) {
  const auto Deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds < 0 ? 0 : Milliseconds);
  for (;;) {
    const int Result = poll(Fds, Count, Milliseconds);
    if (Result >= 0 || errno != EINTR) return Result;
    if (Milliseconds > 0) {
      const auto Left =
          std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
      Milliseconds = Left.count() > 0 ? int(Left.count()) : 0;
    }
  }
}

}  // namespace

TVaHandleObject::~TVaHandleObject() {
  if (FHandle >= 0) close(int(FHandle));
}

TVaWaitResult TVaHandleObject::WaitFor(int Milliseconds) {
  struct pollfd P = {int(FHandle), POLLIN, 0};
  const int Result = PollRetrying(&P, 1, Milliseconds < 0 ? -1 : Milliseconds);
  if (Result > 0) return wrSignaled;
  if (Result == 0) return wrTimeout;
  FError = errno;
  return wrError;
}

// A manual-reset event is an eventfd: readable while signalled; Reset drains it.
TVaWaitEvent::TVaWaitEvent() {
  const int Fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (Fd < 0) VaRaiseCommError("Error creating event (%d), %s", errno);
  FHandle = Fd;
}

void TVaEvent::Signal() {
  const uint64_t One = 1;
  while (write(int(FHandle), &One, sizeof One) < 0 && errno == EINTR) {}
}

void TVaEvent::Reset() {
  uint64_t Value;
  while (read(int(FHandle), &Value, sizeof Value) < 0 && errno == EINTR) {}
}

bool TVaEvent::IsSignaled() { return WaitFor(0) == wrSignaled; }

int VaWaitForAny(std::initializer_list<TVaEvent*> Events, int Milliseconds) {
  struct pollfd Fds[8];
  nfds_t Count = 0;
  for (TVaEvent* E : Events) {
    if (Count == 8) break;
    Fds[Count++] = {int(E->Handle()), POLLIN, 0};
  }
  const int Result = PollRetrying(Fds, Count, Milliseconds < 0 ? -1 : Milliseconds);
  if (Result == 0) return -1;
  if (Result < 0) return -2;
  for (nfds_t i = 0; i < Count; ++i)
    if (Fds[i].revents != 0) return int(i);
  return -2;
}

}  // namespace vacomm_detail
