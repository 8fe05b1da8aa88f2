// The serial device on Windows: a COM port opened for overlapped I/O.
//
// The handle is used by the window thread and both workers. Every call that
// starts a transfer on it is made under FLock with a look at whether it is
// still open, so a closed handle value, which the system may hand out again,
// is never used. Close cancels every outstanding transfer before closing the
// handle.
//
// Every overlapped transfer has a record of its own (OVERLAPPED, event and,
// for reads and writes, the bytes), taken from the pool of the thread that
// starts it. A transfer that is given up is cancelled and waited for, with a
// bound; one whose cancel does not finish in time leaves its record to the
// driver (TVaRecordPool::Abandon), so neither the record nor the caller's
// buffer is ever in use by the driver after the call has returned, and no
// record the driver may still own is used for the next transfer.
#include "device_win32.h"

#include "dcb_win32.h"
#include "varecords.h"
#include "vadevice.h"
#include "vaportname.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace vacomm_detail {

TVaCancelIo VaCancelIo = CancelIoEx;

namespace {

// An OVERLAPPED record with its own manual-reset event and, for reads and
// writes, the bytes of the transfer.
struct TVaOverlapped {
  OVERLAPPED Ov = {};
  DWORD EvtMask = 0;
  std::vector<uint8_t> Data;
  TVaOverlapped() { Ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~TVaOverlapped() {
    if (Ov.hEvent) CloseHandle(Ov.hEvent);
  }
  TVaOverlapped(const TVaOverlapped&) = delete;
  TVaOverlapped& operator=(const TVaOverlapped&) = delete;
  // Ready for a new transfer: cleared, its event reset.
  void Prepare() {
    const HANDLE Event = Ov.hEvent;
    Ov = OVERLAPPED{};
    Ov.hEvent = Event;
    EvtMask = 0;
    ResetEvent(Event);
  }
  bool Finished() const { return HasOverlappedIoCompleted(&Ov); }
};

using TVaRecords = TVaRecordPool<TVaOverlapped>;

class TVaWin32Device : public TVaDevice, public std::enable_shared_from_this<TVaWin32Device> {
public:
  explicit TVaWin32Device(HANDLE Handle) : FHandle(Handle) {}
  ~TVaWin32Device() override { Close(); }

  void Close() override {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FHandle == INVALID_HANDLE_VALUE) return;
    VaCancelIo(FHandle, nullptr);
    CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }

  bool IsOpen() const override {
    std::lock_guard<std::mutex> Guard(FLock);
    return FHandle != INVALID_HANDLE_VALUE;
  }

  // The record is the DCB as it stands (dcb_win32.h declares its layout).
  void SetState(const TVaDCB& R) override {
    static_assert(sizeof(DCB) == sizeof(TVaWin32Dcb), "the DCB's layout");
    const TVaWin32Dcb Record = VaWin32Dcb(R);
    DCB D;
    std::memcpy(&D, &Record, sizeof D);
    Check([&](HANDLE H) { return SetCommState(H, &D); }, "Error writing dcb (%d), %s");
  }

  void Setup(int InSize, int OutSize) override {
    Check([&](HANDLE H) { return SetupComm(H, DWORD(InSize), DWORD(OutSize)); }, "Error initializing buffers (%d), %s");
  }

  void SetTimeouts(int ReadIntervalMs) override {
    COMMTIMEOUTS T = {};
    T.ReadIntervalTimeout = DWORD(ReadIntervalMs);
    Check([&](HANDLE H) { return SetCommTimeouts(H, &T); }, "Error setting timeouts (%d), %s");
  }

  void SetMask(uint32_t EventMask) override {
    Check([&](HANDLE H) { return SetCommMask(H, EventMask); }, " Error setting EventMask (%d), %s");
  }

  // The I/O event of the port is not used: each transfer waits on the event
  // of its own record, which no earlier, abandoned transfer can signal.
  int Read(void* Buf, int Count, int TimeoutMs, TVaWaitEvent&) override {
    return Transfer(false, Buf, Count, TimeoutMs, "Read error (%d), %s");
  }

  int Write(const void* Buf, int Count, int TimeoutMs, TVaWaitEvent&) override {
    return Transfer(true, const_cast<void*>(Buf), Count, TimeoutMs, "Write error (%d), %s");
  }

  void ClearError(uint32_t& Errors, TVaComStat& ComStat) override {
    DWORD E = 0;
    COMSTAT S = {};
    Check([&](HANDLE H) { return ClearCommError(H, &E, &S); }, "Error retrieving statistics (%d), %s");
    Errors = E;
    ComStat.Flags = uint32_t(S.fCtsHold) | uint32_t(S.fDsrHold) << 1 | uint32_t(S.fRlsdHold) << 2 |
                    uint32_t(S.fXoffHold) << 3 | uint32_t(S.fXoffSent) << 4 | uint32_t(S.fEof) << 5 |
                    uint32_t(S.fTxim) << 6;
    ComStat.cbInQue = S.cbInQue;
    ComStat.cbOutQue = S.cbOutQue;
  }

  void SetBreak(bool On) override {
    Check([&](HANDLE H) { return On ? SetCommBreak(H) : ClearCommBreak(H); }, "Error setting break (%d), %s");
  }

  std::unique_ptr<TVaEventWaiter> CreateEventWaiter(TVaEvent& Stop) override;
  std::unique_ptr<TVaWriter> CreateWriter(TVaEvent& Close, TVaEvent& Flush) override;

  // Runs Op on the handle under the lock; FALSE with ERROR_INVALID_HANDLE
  // when closed. Error is the last error read right after Op failed (0 when
  // it succeeded), before anything else can change it.
  template <typename F>
  BOOL Call(F Op, DWORD& Error) {
    std::lock_guard<std::mutex> Guard(FLock);
    BOOL Ok;
    if (FHandle == INVALID_HANDLE_VALUE) {
      Ok = FALSE;
      Error = ERROR_INVALID_HANDLE;
    } else {
      Ok = Op(FHandle);
      Error = Ok ? 0 : GetLastError();
    }
    return Ok;
  }

  // Cancels the outstanding transfer of a record and waits at most WaitMs
  // for it to finish; false when it did not (the record is still the
  // driver's). Moved is the bytes it moved.
  bool CancelAndFinish(TVaOverlapped& R, DWORD WaitMs, DWORD& Moved) {
    {
      std::lock_guard<std::mutex> Guard(FLock);
      if (FHandle != INVALID_HANDLE_VALUE) VaCancelIo(FHandle, &R.Ov);
    }
    Moved = 0;
    if (WaitForSingleObject(R.Ov.hEvent, WaitMs) != WAIT_OBJECT_0 || !R.Finished()) return false;
    Moved = DWORD(R.Ov.InternalHigh);
    return true;
  }

  // The result of a finished transfer, without waiting.
  BOOL Result(TVaOverlapped& R, DWORD& Moved, DWORD& Error) {
    return Call([&](HANDLE H) { return GetOverlappedResult(H, &R.Ov, &Moved, FALSE); }, Error);
  }

private:
  template <typename F>
  void Check(F Op, const char* Format) {
    DWORD Error = 0;
    if (!Call(Op, Error)) VaRaiseCommError(Format, int(Error));
  }

  // Window thread only; that thread is also the one that closes the handle.
  // The bytes go through the record's own buffer, so the caller's buffer is
  // free when this returns even if the driver never finishes the transfer.
  int Transfer(bool Out, void* Buf, int Count, int TimeoutMs, const char* Failure) {
    if (Count <= 0) return 0;
    TVaOverlapped& R = FTransfers.Current();
    R.Prepare();
    if (R.Data.size() < size_t(Count)) R.Data.resize(size_t(Count));
    if (Out) std::memcpy(R.Data.data(), Buf, size_t(Count));
    DWORD Moved = 0, Error = 0;
    const BOOL Ok = Call(
        [&](HANDLE H) {
          return Out ? WriteFile(H, R.Data.data(), DWORD(Count), nullptr, &R.Ov)
                     : ReadFile(H, R.Data.data(), DWORD(Count), nullptr, &R.Ov);
        },
        Error);
    if (!Ok && Error != ERROR_IO_PENDING) VaRaiseCommError(Failure, int(Error));
    if (WaitForSingleObject(R.Ov.hEvent, TimeoutMs < 0 ? INFINITE : DWORD(TimeoutMs)) != WAIT_OBJECT_0) {
      // Timed out: cancel, and keep the bytes that did move. A cancel that
      // does not finish in time leaves the record to the driver.
      if (!CancelAndFinish(R, VA_WINDOW_CANCEL_WAIT_MS, Moved)) {
        FTransfers.Abandon();
        return 0;
      }
    } else if (!Result(R, Moved, Error)) {
      VaRaiseCommError(Failure, int(Error));
    }
    if (Moved > DWORD(Count)) Moved = DWORD(Count);
    if (!Out) std::memcpy(Buf, R.Data.data(), Moved);
    return int(Moved);
  }

  mutable std::mutex FLock;
  HANDLE FHandle;
  TVaRecords FTransfers;  // the window thread's reads and direct writes
};

class TVaWin32EventWaiter : public TVaEventWaiter {
public:
  TVaWin32EventWaiter(std::shared_ptr<TVaWin32Device> Device, TVaEvent& Stop)
      : FDevice(std::move(Device)), FStop(Stop) {}

  TVaWaitStatus Wait(uint32_t& Mask, int& Failure) override {
    TVaOverlapped& R = FRecords.Current();
    R.Prepare();
    DWORD Error = 0;
    if (FDevice->Call([&](HANDLE H) { return WaitCommEvent(H, &R.EvtMask, &R.Ov); }, Error))
      return FJudge.Judge(true, R.EvtMask, 0, Mask, Failure);
    // A removed device refuses the wait at once (access denied, bad command)
    // or ends the outstanding one with an error; the code tells which.
    if (Error != ERROR_IO_PENDING) return FJudge.Judge(false, 0, int(Error), Mask, Failure);
    HANDLE Handles[2] = {HANDLE(FStop.Handle()), R.Ov.hEvent};
    const DWORD Which = WaitForMultipleObjects(2, Handles, FALSE, INFINITE);
    const DWORD WaitError = Which == WAIT_FAILED ? GetLastError() : 0;
    if (Which == WAIT_OBJECT_0 + 1) {
      DWORD Moved = 0;
      const BOOL Ok = FDevice->Result(R, Moved, Error);
      return FJudge.Judge(Ok, R.EvtMask, int(Error), Mask, Failure);
    }
    DWORD Moved = 0;
    if (!FDevice->CancelAndFinish(R, VA_WORKER_CANCEL_WAIT_MS, Moved)) FRecords.Abandon();
    Mask = 0;
    Failure = 0;
    if (Which == WAIT_OBJECT_0) return TVaWaitStatus::Stopped;
    return FJudge.Judge(false, 0, int(WaitError), Mask, Failure);
  }

private:
  std::shared_ptr<TVaWin32Device> FDevice;
  TVaEvent& FStop;
  TVaRecords FRecords;
  TVaWaitJudge FJudge;
};

class TVaWin32Writer : public TVaWriter {
public:
  TVaWin32Writer(std::shared_ptr<TVaWin32Device> Device, TVaEvent& Close, TVaEvent& Flush)
      : FDevice(std::move(Device)), FClose(Close), FFlush(Flush) {}

  // The bytes are copied into the record, so the queue they came from is
  // free again when this returns, whatever the driver does.
  TVaWriteStatus Write(const void* Buf, int Count, int& Written, int& AbortIndex, int& Error) override {
    Written = 0;
    if (Count <= 0) return TVaWriteStatus::Done;
    TVaOverlapped& R = FRecords.Current();
    R.Prepare();
    R.Data.assign(static_cast<const uint8_t*>(Buf), static_cast<const uint8_t*>(Buf) + Count);
    DWORD Moved = 0, Failure = 0;
    if (FDevice->Call([&](HANDLE H) { return WriteFile(H, R.Data.data(), DWORD(Count), nullptr, &R.Ov); }, Failure)) {
      if (!FDevice->Result(R, Moved, Failure)) {
        Error = int(Failure);
        return TVaWriteStatus::Failed;
      }
      Written = int(Moved);
      return TVaWriteStatus::Done;
    }
    if (Failure != ERROR_IO_PENDING) {
      Error = int(Failure);
      return TVaWriteStatus::Failed;
    }
    HANDLE Handles[3] = {HANDLE(FClose.Handle()), HANDLE(FFlush.Handle()), R.Ov.hEvent};
    const DWORD Which = WaitForMultipleObjects(3, Handles, FALSE, INFINITE);
    const DWORD WaitError = Which == WAIT_FAILED ? GetLastError() : 0;
    if (Which == WAIT_OBJECT_0 + 2) {
      if (!FDevice->Result(R, Moved, Failure)) {
        Error = int(Failure);
        return TVaWriteStatus::Failed;
      }
      Written = int(Moved);
      return TVaWriteStatus::Done;
    }
    if (!FDevice->CancelAndFinish(R, VA_WORKER_CANCEL_WAIT_MS, Moved)) FRecords.Abandon();
    Written = int(Moved);
    if (Which == WAIT_OBJECT_0 || Which == WAIT_OBJECT_0 + 1) {
      AbortIndex = int(Which - WAIT_OBJECT_0);
      return TVaWriteStatus::Aborted;
    }
    Error = int(WaitError);
    return TVaWriteStatus::Failed;
  }

private:
  std::shared_ptr<TVaWin32Device> FDevice;
  TVaEvent& FClose;
  TVaEvent& FFlush;
  TVaRecords FRecords;
};

std::unique_ptr<TVaEventWaiter> TVaWin32Device::CreateEventWaiter(TVaEvent& Stop) {
  return std::make_unique<TVaWin32EventWaiter>(shared_from_this(), Stop);
}

std::unique_ptr<TVaWriter> TVaWin32Device::CreateWriter(TVaEvent& Close, TVaEvent& Flush) {
  return std::make_unique<TVaWin32Writer>(shared_from_this(), Close, Flush);
}

}  // namespace

// A COM name goes through the device namespace, without which "COM10" and
// above cannot be opened; every other name is used as it stands.
std::string TVaDevice::PlatformPath(const std::string& DevicePath) {
  int Number;
  return VaComPortNumber(DevicePath, Number) ? "\\\\.\\" + DevicePath : DevicePath;
}

std::string TVaDevice::ShownName(const std::string& DevicePath) { return DevicePath; }

std::shared_ptr<TVaDevice> TVaDevice::Open(const std::string& Path, const std::string& Shown) {
  const HANDLE Handle =
      CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (Handle == INVALID_HANDLE_VALUE) {
    const DWORD Error = GetLastError();
    if (Error == ERROR_FILE_NOT_FOUND)
      throw EVaCommError(VaSubstitute("Specified device not found (%s).", {VaTextArg(Shown)}));
    throw EVaCommError(VaSubstitute("Can't open specified device %s", {VaTextArg(Shown)}) +
                       VaCommErrorText(" (Error %d, %s)", int(Error)));
  }
  return std::make_shared<TVaWin32Device>(Handle);
}

}  // namespace vacomm_detail
