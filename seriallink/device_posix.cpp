// The serial device on Linux: a terminal opened non-blocking, waited on with
// epoll, configured through termios2 (tty_linux.cpp).
//
// The descriptor is used by the window thread and both workers. Every call
// on it is made under FLock with a look at whether it is still open, and no
// call waits while holding the lock, so Close never waits for long and a
// closed descriptor number, which the system may hand out again, is never
// used. Workers wait on epoll instances of their own, from which the system
// drops the device when it is closed.
#include "tty_linux.h"
#include "vadevice.h"
#include "vaportname.h"
#include "vatimeout.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace vacomm_detail {

namespace {

class TVaPosixDevice;

class TVaPosixEventWaiter : public TVaEventWaiter {
public:
  TVaPosixEventWaiter(std::shared_ptr<TVaPosixDevice> Device, TVaEvent& Stop);
  ~TVaPosixEventWaiter() override {
    if (FEpoll >= 0) close(FEpoll);
  }
  TVaWaitStatus Wait(uint32_t& Mask, int& Error) override;

private:
  std::shared_ptr<TVaPosixDevice> FDevice;
  int FEpoll = -1;
  TVaLineCounters FSeen;
  bool FHasCounters = false;
  bool FTxPending = false;  // a direct write went out; waiting for the queue to drain
};

class TVaPosixWriter : public TVaWriter {
public:
  TVaPosixWriter(std::shared_ptr<TVaPosixDevice> Device, TVaEvent& Close, TVaEvent& Flush);
  ~TVaPosixWriter() override {
    if (FEpoll >= 0) close(FEpoll);
  }
  TVaWriteStatus Write(const void* Buf, int Count, int& Written, int& AbortIndex, int& Error) override;

private:
  std::shared_ptr<TVaPosixDevice> FDevice;
  int FEpoll = -1;
};

class TVaPosixDevice : public TVaDevice, public std::enable_shared_from_this<TVaPosixDevice> {
public:
  explicit TVaPosixDevice(int Fd) : FFd(Fd) { FHasCounters = VaReadLineCounters(Fd, FCleared); }
  ~TVaPosixDevice() override { Close(); }

  void Close() override {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFd < 0) return;
    (void)ioctl(FFd, TIOCNXCL);
    close(FFd);  // also releases the flock
    FFd = -1;
  }

  bool IsOpen() const override {
    std::lock_guard<std::mutex> Guard(FLock);
    return FFd >= 0;
  }

  void SetState(const TVaDCB& Dcb) override {
    int Error = Call([&](int Fd) { return VaTtyApplyDCB(Fd, Dcb); });
    if (Error < 0) Error = EBADF;
    if (Error) VaRaiseCommError("Error writing dcb (%d), %s", Error);
  }

  // The terminal driver's queues have fixed sizes; only the values are checked.
  void Setup(int InSize, int OutSize) override {
    if (InSize <= 0 || OutSize <= 0) VaRaiseCommError("Error initializing buffers (%d), %s", EINVAL);
  }

  void SetTimeouts(int ReadIntervalMs) override {
    if (ReadIntervalMs < 0) VaRaiseCommError("Error setting timeouts (%d), %s", EINVAL);
    FReadInterval = ReadIntervalMs;
  }

  void SetMask(uint32_t EventMask) override { FMask = EventMask; }
  uint32_t Mask() const { return FMask; }

  int Read(void* Buf, int Count, int TimeoutMs, TVaWaitEvent&) override {
    auto* Bytes = static_cast<uint8_t*>(Buf);
    const uint32_t Start = VaGetTickCount();
    int Got = 0;
    for (;;) {
      int Error = 0;
      const ssize_t n = Io(false, Bytes + Got, size_t(Count - Got), Error);
      if (n > 0) {
        Got += int(n);
        if (Got == Count) return Got;
        continue;
      }
      if (n < 0 && Error != EAGAIN && Error != EINTR) {
        if (Got > 0) return Got;  // the bytes already taken are not lost
        VaRaiseCommError("Read error (%d), %s", Error);
      }
      // Nothing waiting: wait for the next byte, for the read interval once
      // a byte has come, and never beyond the time-out.
      const int Left = VaTickRemaining(Start, VaGetTickCount(), TimeoutMs);
      if (Left == 0) return Got;
      const int Wait = Got > 0 && FReadInterval < Left ? FReadInterval : Left;
      const short Events = PollDevice(POLLIN, Wait);
      if (Events == 0 && Got > 0) return Got;  // the line fell silent
      if (Events & (POLLHUP | POLLERR | POLLNVAL)) {
        // A hung-up terminal reads nothing ever again: one last attempt.
        const ssize_t Last = Io(false, Bytes + Got, size_t(Count - Got), Error);
        return Last > 0 ? Got + int(Last) : Got;
      }
    }
  }

  int Write(const void* Buf, int Count, int TimeoutMs, TVaWaitEvent&) override {
    auto* Bytes = static_cast<uint8_t*>(const_cast<void*>(Buf));
    const uint32_t Start = VaGetTickCount();
    int Done = 0, Failure = 0;
    while (Done < Count) {
      int Error = 0;
      const ssize_t n = Io(true, Bytes + Done, size_t(Count - Done), Error);
      if (n > 0) {
        Done += int(n);
        continue;
      }
      if (n < 0 && Error != EAGAIN && Error != EINTR) {
        Failure = Error;
        break;
      }
      const int Left = VaTickRemaining(Start, VaGetTickCount(), TimeoutMs);
      if (Left == 0) break;  // time-out: what went out is the result
      if (PollDevice(POLLOUT, Left) & (POLLHUP | POLLERR | POLLNVAL)) {
        Failure = EIO;
        break;
      }
    }
    // A failure before any byte went out raises; after, the count tells.
    if (Done == 0 && Failure) VaRaiseCommError("Write error (%d), %s", Failure);
    // The event thread watches the output queue drain for EV_TXEMPTY.
    if (Done > 0 && (FMask & VA_EV_TXEMPTY)) FTxSent.Signal();
    return Done;
  }

  TVaWaitEvent& TxSent() { return FTxSent; }
  // Bytes the driver has not sent yet; -1 when it cannot tell.
  int OutQueue() {
    int Waiting = 0;
    return Call([&](int Fd) { return ioctl(Fd, TIOCOUTQ, &Waiting); }) == 0 ? Waiting : -1;
  }

  void ClearError(uint32_t& Errors, TVaComStat& ComStat) override {
    int Error = 0;
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFd < 0) Error = EBADF;
    int InQue = 0, OutQue = 0;
    if (!Error && ioctl(FFd, FIONREAD, &InQue) != 0) Error = errno;
    if (Error) VaRaiseCommError("Error retrieving statistics (%d), %s", Error);
    if (ioctl(FFd, TIOCOUTQ, &OutQue) != 0) OutQue = 0;
    ComStat.cbInQue = uint32_t(InQue > 0 ? InQue : 0);
    ComStat.cbOutQue = uint32_t(OutQue > 0 ? OutQue : 0);
    TVaLineCounters Now;
    if (FHasCounters && VaReadLineCounters(FFd, Now)) {
      Errors = ErrorFlags(FCleared, Now);
      FCleared = Now;
    }
  }

  void SetBreak(bool On) override {
    int Error = Call([&](int Fd) { return ioctl(Fd, On ? TIOCSBRK : TIOCCBRK) == 0 ? 0 : errno; });
    if (Error < 0) Error = EBADF;
    if (Error) VaRaiseCommError("Error setting break (%d), %s", Error);
  }

  std::unique_ptr<TVaEventWaiter> CreateEventWaiter(TVaEvent& Stop) override {
    return std::make_unique<TVaPosixEventWaiter>(shared_from_this(), Stop);
  }

  std::unique_ptr<TVaWriter> CreateWriter(TVaEvent& Close, TVaEvent& Flush) override {
    return std::make_unique<TVaPosixWriter>(shared_from_this(), Close, Flush);
  }

  // One non-blocking read or write under the lock; Error holds its errno
  // (EBADF once the device is closed).
  ssize_t Io(bool Out, void* Buf, size_t Count, int& Error) {
    const ssize_t r = Call([&](int Fd) { return Out ? write(Fd, Buf, Count) : read(Fd, Buf, Count); });
    Error = r < 0 ? errno : 0;
    return r;
  }

  // Runs Op on the descriptor under the lock; EBADF-like -1 when closed.
  template <typename F>
  auto Call(F Op) -> decltype(Op(0)) {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFd < 0) {
      errno = EBADF;
      return decltype(Op(0))(-1);
    }
    return Op(FFd);
  }

  // Adds the descriptor to a worker's epoll instance.
  int AddTo(int Epoll, uint32_t Events) {
    return Call([&](int Fd) {
      struct epoll_event E = {};
      E.events = Events;
      E.data.u32 = 1;
      return epoll_ctl(Epoll, EPOLL_CTL_ADD, Fd, &E) == 0 ? 0 : errno;
    });
  }

  static uint32_t ErrorFlags(const TVaLineCounters& Before, const TVaLineCounters& Now) {
    uint32_t Flags = 0;
    if (Now.BufOverrun != Before.BufOverrun) Flags |= VA_CE_RXOVER;
    if (Now.Overrun != Before.Overrun) Flags |= VA_CE_OVERRUN;
    if (Now.Parity != Before.Parity) Flags |= VA_CE_RXPARITY;
    if (Now.Frame != Before.Frame) Flags |= VA_CE_FRAME;
    if (Now.Brk != Before.Brk) Flags |= VA_CE_BREAK;
    return Flags;
  }

  bool ReadCounters(TVaLineCounters& C) {
    return Call([&](int Fd) { return VaReadLineCounters(Fd, C) ? 0 : -1; }) == 0;
  }

private:
  // Window thread only (the thread that also closes): waits for the
  // descriptor without the lock. Returns the poll events, 0 on time-out.
  short PollDevice(short Events, int Milliseconds) {
    int Fd;
    {
      std::lock_guard<std::mutex> Guard(FLock);
      Fd = FFd;
    }
    if (Fd < 0) return POLLNVAL;
    struct pollfd P = {Fd, Events, 0};
    const int r = poll(&P, 1, Milliseconds);
    return r > 0 ? P.revents : 0;
  }

  mutable std::mutex FLock;
  int FFd;
  std::atomic<uint32_t> FMask{0};
  TVaWaitEvent FTxSent;  // signalled by a direct write
  int FReadInterval = 5;
  bool FHasCounters = false;
  TVaLineCounters FCleared;
};

// --- the event thread's wait

TVaPosixEventWaiter::TVaPosixEventWaiter(std::shared_ptr<TVaPosixDevice> Device, TVaEvent& Stop)
    : FDevice(std::move(Device)) {
  FEpoll = epoll_create1(EPOLL_CLOEXEC);
  if (FEpoll < 0) VaRaiseCommError("Error creating event (%d), %s", errno);
  struct epoll_event E = {};
  E.events = EPOLLIN;
  E.data.u32 = 0;
  if (epoll_ctl(FEpoll, EPOLL_CTL_ADD, int(Stop.Handle()), &E) != 0)
    VaRaiseCommError("Error creating event (%d), %s", errno);
  E.data.u32 = 2;
  if (epoll_ctl(FEpoll, EPOLL_CTL_ADD, int(FDevice->TxSent().Handle()), &E) != 0)
    VaRaiseCommError("Error creating event (%d), %s", errno);
  // Edge-triggered: an event means new bytes. Bytes that the handler leaves
  // unread, or that nobody reads, do not wake the thread again.
  if (const int Error = FDevice->AddTo(FEpoll, EPOLLIN | EPOLLET))
    VaRaiseCommError(" Error setting EventMask (%d), %s", Error);
  FHasCounters = FDevice->ReadCounters(FSeen);
}

TVaWaitStatus TVaPosixEventWaiter::Wait(uint32_t& Mask, int& Error) {
  Mask = 0;
  Error = 0;
  struct epoll_event Events[3];
  int n;
  do {
    // While sent bytes drain, look at the output queue every few ms.
    n = epoll_wait(FEpoll, Events, 3, FTxPending ? 5 : -1);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    Error = errno;
    return TVaWaitStatus::Failed;
  }
  bool Received = false, HungUp = false;
  for (int i = 0; i < n; ++i) {
    if (Events[i].data.u32 == 0) return TVaWaitStatus::Stopped;
    if (Events[i].data.u32 == 2) {
      FDevice->TxSent().Reset();
      FTxPending = true;
      continue;
    }
    if (Events[i].events & EPOLLIN) Received = true;
    if (Events[i].events & (EPOLLHUP | EPOLLERR)) HungUp = true;
  }
  const uint32_t Wanted = FDevice->Mask();
  if (Received) Mask |= Wanted & VA_EV_RXCHAR;
  if (FTxPending && FDevice->OutQueue() <= 0) {
    FTxPending = false;
    Mask |= Wanted & VA_EV_TXEMPTY;
  }
  // Line errors and breaks show in the driver's counters.
  TVaLineCounters Now;
  if (FHasCounters && (Wanted & (VA_EV_ERR | VA_EV_BREAK)) && FDevice->ReadCounters(Now)) {
    const uint32_t Flags = TVaPosixDevice::ErrorFlags(FSeen, Now);
    FSeen = Now;
    if (Flags & ~VA_CE_BREAK) Mask |= Wanted & VA_EV_ERR;
    if (Flags & VA_CE_BREAK) Mask |= Wanted & VA_EV_BREAK;
  }
  return HungUp ? TVaWaitStatus::Hangup : TVaWaitStatus::Events;
}

// --- the write thread's sending

TVaPosixWriter::TVaPosixWriter(std::shared_ptr<TVaPosixDevice> Device, TVaEvent& Close, TVaEvent& Flush)
    : FDevice(std::move(Device)) {
  FEpoll = epoll_create1(EPOLL_CLOEXEC);
  if (FEpoll < 0) VaRaiseCommError("Error creating event (%d), %s", errno);
  TVaEvent* Aborts[2] = {&Close, &Flush};
  for (uint32_t i = 0; i < 2; ++i) {
    struct epoll_event E = {};
    E.events = EPOLLIN;
    E.data.u32 = 10 + i;
    if (epoll_ctl(FEpoll, EPOLL_CTL_ADD, int(Aborts[i]->Handle()), &E) != 0)
      VaRaiseCommError("Error creating event (%d), %s", errno);
  }
  if (const int Error = FDevice->AddTo(FEpoll, EPOLLOUT)) VaRaiseCommError("Error creating event (%d), %s", Error);
}

TVaWriteStatus TVaPosixWriter::Write(const void* Buf, int Count, int& Written, int& AbortIndex, int& Error) {
  const auto* Bytes = static_cast<const uint8_t*>(Buf);
  Written = 0;
  for (;;) {
    int WriteError = 0;
    const ssize_t n = FDevice->Io(true, const_cast<uint8_t*>(Bytes) + Written, size_t(Count - Written), WriteError);
    if (n > 0) {
      Written += int(n);
      if (Written == Count) return TVaWriteStatus::Done;
      continue;
    }
    if (n < 0 && WriteError != EAGAIN && WriteError != EINTR) {
      if (Written > 0) return TVaWriteStatus::Done;
      Error = WriteError;
      return TVaWriteStatus::Failed;
    }
    // The driver's queue is full: wait for room, or for Close or Flush.
    struct epoll_event Events[3];
    int r;
    do {
      r = epoll_wait(FEpoll, Events, 3, -1);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
      Error = errno;
      return Written > 0 ? TVaWriteStatus::Done : TVaWriteStatus::Failed;
    }
    int Abort = -1;
    for (int i = 0; i < r; ++i)
      if (Events[i].data.u32 >= 10) {
        const int Index = int(Events[i].data.u32 - 10);
        if (Abort < 0 || Index < Abort) Abort = Index;
      }
    if (Abort >= 0) {
      AbortIndex = Abort;
      return TVaWriteStatus::Aborted;
    }
  }
}

}  // namespace

// "COMn" is the n-th serial port, /dev/ttyS<n-1>; a path is used as it
// stands; any other name is looked for in /dev.
std::string TVaDevice::PlatformPath(const std::string& DevicePath) {
  int Number;
  if (VaComPortNumber(DevicePath, Number)) return "/dev/ttyS" + std::to_string(Number - 1);
  if (!DevicePath.empty() && DevicePath[0] == '/') return DevicePath;
  return "/dev/" + DevicePath;
}

// Messages name the device by its path and, where the operator chose it as
// COMn, by that name too: "/dev/ttyS8 (COM9)".
std::string TVaDevice::ShownName(const std::string& DevicePath) {
  const std::string Path = PlatformPath(DevicePath);
  return Path == DevicePath ? Path : Path + " (" + DevicePath + ")";
}

std::shared_ptr<TVaDevice> TVaDevice::Open(const std::string& Path, const std::string& Shown) {
  const auto CantOpen = [&](int Error) {
    throw EVaCommError(VaSubstitute("Can't open specified device %s", {VaTextArg(Shown)}) +
                       VaCommErrorText(" (Error %d, %s)", Error));
  };
  const int Fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Fd < 0) {
    const int Error = errno;
    if (Error == ENOENT || Error == ENXIO || Error == ENODEV)
      throw EVaCommError(VaSubstitute("Specified device not found (%s).", {VaTextArg(Shown)}));
    CantOpen(Error);
  }
  // Only a terminal is a serial port.
  if (!isatty(Fd)) {
    close(Fd);
    CantOpen(ENOTTY);
  }
  // flock: a second opener that also locks is refused, even one with the
  // rights to pass TIOCEXCL.
  if (flock(Fd, LOCK_EX | LOCK_NB) != 0) {
    const int Error = errno == EWOULDBLOCK ? EBUSY : errno;
    close(Fd);
    CantOpen(Error);
  }
  // TIOCEXCL: any other program's open of the terminal fails with EBUSY.
  if (ioctl(Fd, TIOCEXCL) != 0) {
    const int Error = errno;
    close(Fd);
    CantOpen(Error);
  }
  VaTtyRequestLowLatency(Fd);
  return std::make_shared<TVaPosixDevice>(Fd);
}

}  // namespace vacomm_detail
