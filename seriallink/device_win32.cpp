// The serial device on Windows: a COM port opened for overlapped I/O.
//
// The handle is used by the window thread and both workers. Every call that
// starts a transfer on it is made under FLock with a look at whether it is
// still open, so a closed handle value, which the system may hand out again,
// is never used. Close cancels every outstanding transfer before closing the
// handle; a worker that gives up a wait cancels its own transfer and lets it
// finish before its OVERLAPPED record and buffer go.
#include "win32.h"

#include "vadevice.h"

#include <atomic>
#include <cctype>
#include <mutex>

namespace vacomm_detail {

namespace {

// How long a worker waits for a cancelled transfer to finish. A driver that
// never finishes it leaves the record alive (deliberately leaked) rather
// than freed under the transfer.
const DWORD CancelWaitMs = 5000;

// An OVERLAPPED record with its own manual-reset event.
struct TVaOverlapped {
  OVERLAPPED Ov = {};
  DWORD EvtMask = 0;
  TVaOverlapped() { Ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~TVaOverlapped() {
    if (Ov.hEvent) CloseHandle(Ov.hEvent);
  }
};

class TVaWin32Device : public TVaDevice, public std::enable_shared_from_this<TVaWin32Device> {
public:
  explicit TVaWin32Device(HANDLE Handle) : FHandle(Handle) {}
  ~TVaWin32Device() override { Close(); }

  void Close() override {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FHandle == INVALID_HANDLE_VALUE) return;
    CancelIoEx(FHandle, nullptr);
    CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }

  bool IsOpen() const override {
    std::lock_guard<std::mutex> Guard(FLock);
    return FHandle != INVALID_HANDLE_VALUE;
  }

  void SetState(const TVaDCB& R) override {
    DCB D = {};
    D.DCBlength = sizeof(DCB);
    D.BaudRate = R.BaudRate;
    D.fBinary = R.fBinary;
    D.fParity = R.fParity;
    D.fOutxCtsFlow = R.fOutxCtsFlow;
    D.fOutxDsrFlow = R.fOutxDsrFlow;
    D.fDtrControl = R.fDtrControl;
    D.fDsrSensitivity = R.fDsrSensitivity;
    D.fTXContinueOnXoff = R.fTXContinueOnXoff;
    D.fOutX = R.fOutX;
    D.fInX = R.fInX;
    D.fErrorChar = R.fErrorChar;
    D.fNull = R.fNull;
    D.fRtsControl = R.fRtsControl;
    D.fAbortOnError = R.fAbortOnError;
    D.XonLim = R.XonLim;
    D.XoffLim = R.XoffLim;
    D.ByteSize = R.ByteSize;
    D.Parity = R.Parity;
    D.StopBits = R.StopBits;
    D.XonChar = R.XonChar;
    D.XoffChar = R.XoffChar;
    D.ErrorChar = R.ErrorChar;
    D.EofChar = R.EofChar;
    D.EvtChar = R.EvtChar;
    Check(Call([&](HANDLE H) { return SetCommState(H, &D); }), "Error writing dcb (%d), %s");
  }

  void Setup(int InSize, int OutSize) override {
    Check(Call([&](HANDLE H) { return SetupComm(H, DWORD(InSize), DWORD(OutSize)); }),
          "Error initializing buffers (%d), %s");
  }

  void SetTimeouts(int ReadIntervalMs) override {
    COMMTIMEOUTS T = {};
    T.ReadIntervalTimeout = DWORD(ReadIntervalMs);
    Check(Call([&](HANDLE H) { return SetCommTimeouts(H, &T); }), "Error setting timeouts (%d), %s");
  }

  void SetMask(uint32_t EventMask) override {
    Check(Call([&](HANDLE H) { return SetCommMask(H, EventMask); }),
          " Error setting EventMask (%d), %s");
  }

  int Read(void* Buf, int Count, int TimeoutMs, TVaWaitEvent& IoEvent) override {
    return Transfer(false, Buf, Count, TimeoutMs, IoEvent, "Read error (%d), %s");
  }

  int Write(const void* Buf, int Count, int TimeoutMs, TVaWaitEvent& IoEvent) override {
    return Transfer(true, const_cast<void*>(Buf), Count, TimeoutMs, IoEvent,
                    "Write error (%d), %s");
  }

  void ClearError(uint32_t& Errors, TVaComStat& ComStat) override {
    DWORD E = 0;
    COMSTAT S = {};
    Check(Call([&](HANDLE H) { return ClearCommError(H, &E, &S); }),
          "Error retrieving statistics (%d), %s");
    Errors = E;
    ComStat.Flags = uint32_t(S.fCtsHold) | uint32_t(S.fDsrHold) << 1 | uint32_t(S.fRlsdHold) << 2 |
                    uint32_t(S.fXoffHold) << 3 | uint32_t(S.fXoffSent) << 4 |
                    uint32_t(S.fEof) << 5 | uint32_t(S.fTxim) << 6;
    ComStat.cbInQue = S.cbInQue;
    ComStat.cbOutQue = S.cbOutQue;
  }

  std::unique_ptr<TVaEventWaiter> CreateEventWaiter(TVaEvent& Stop) override;
  std::unique_ptr<TVaWriter> CreateWriter(TVaEvent& Close, TVaEvent& Flush) override;

  // Runs Op on the handle under the lock; FALSE with ERROR_INVALID_HANDLE
  // when closed. Returns Op's result; the last error is kept.
  template <typename F>
  BOOL Call(F Op, DWORD* Error = nullptr) {
    std::lock_guard<std::mutex> Guard(FLock);
    BOOL Ok;
    if (FHandle == INVALID_HANDLE_VALUE) {
      SetLastError(ERROR_INVALID_HANDLE);
      Ok = FALSE;
    } else {
      Ok = Op(FHandle);
    }
    if (Error) *Error = Ok ? 0 : GetLastError();
    return Ok;
  }

  // Cancels an outstanding transfer on its record and waits until it has
  // finished; false when the driver did not finish it in time. Returns the
  // bytes it moved in Moved.
  bool CancelAndFinish(TVaOverlapped& R, DWORD& Moved) {
    Call([&](HANDLE H) { return CancelIoEx(H, &R.Ov); });
    if (WaitForSingleObject(R.Ov.hEvent, CancelWaitMs) != WAIT_OBJECT_0) return false;
    Moved = DWORD(R.Ov.InternalHigh);
    return true;
  }

  // The result of a finished transfer, without waiting.
  BOOL Result(TVaOverlapped& R, DWORD& Moved, DWORD& Error) {
    return Call([&](HANDLE H) { return GetOverlappedResult(H, &R.Ov, &Moved, FALSE); }, &Error);
  }

private:
  [[noreturn]] static void Raise(const char* Format) { VaRaiseCommError(Format, int(GetLastError())); }
  static void Check(BOOL Ok, const char* Format) {
    if (!Ok) Raise(Format);
  }

  // Window thread only; that thread is also the one that closes the handle.
  int Transfer(bool Out, void* Buf, int Count, int TimeoutMs, TVaWaitEvent& IoEvent,
               const char* Failure) {
    OVERLAPPED Ov = {};
    Ov.hEvent = HANDLE(IoEvent.Handle());
    DWORD Moved = 0, Error = 0;
    const BOOL Ok = Call(
        [&](HANDLE H) {
          return Out ? WriteFile(H, Buf, DWORD(Count), &Moved, &Ov)
                     : ReadFile(H, Buf, DWORD(Count), &Moved, &Ov);
        },
        &Error);
    if (!Ok && Error != ERROR_IO_PENDING) VaRaiseCommError(Failure, int(Error));
    const DWORD Wait = WaitForSingleObject(Ov.hEvent, TimeoutMs < 0 ? INFINITE : DWORD(TimeoutMs));
    HANDLE H;
    {
      std::lock_guard<std::mutex> Guard(FLock);
      H = FHandle;
    }
    if (Wait != WAIT_OBJECT_0) {
      // Timed out: cancel before the buffer and the record go, and keep the
      // bytes that did move.
      CancelIoEx(H, &Ov);
      GetOverlappedResult(H, &Ov, &Moved, TRUE);
      return int(Moved);
    }
    if (!GetOverlappedResult(H, &Ov, &Moved, FALSE)) return 0;
    return int(Moved);
  }

  mutable std::mutex FLock;
  HANDLE FHandle;
};

class TVaWin32EventWaiter : public TVaEventWaiter {
public:
  TVaWin32EventWaiter(std::shared_ptr<TVaWin32Device> Device, TVaEvent& Stop)
      : FDevice(std::move(Device)), FStop(Stop), FRecord(new TVaOverlapped) {}
  ~TVaWin32EventWaiter() override {
    if (!FStuck) delete FRecord;
  }

  TVaWaitStatus Wait(uint32_t& Mask, int& Failure) override {
    Mask = 0;
    Failure = 0;
    TVaOverlapped& R = *FRecord;
    ResetEvent(R.Ov.hEvent);
    DWORD Error = 0;
    if (FDevice->Call([&](HANDLE H) { return WaitCommEvent(H, &R.EvtMask, &R.Ov); }, &Error)) {
      Mask = R.EvtMask;
      return TVaWaitStatus::Events;
    }
    // A removed device refuses the wait at once (access denied, bad command)
    // or ends the outstanding one with an error; the code tells which.
    if (Error != ERROR_IO_PENDING) {
      Failure = int(Error);
      return TVaWaitStatus::Failed;
    }
    HANDLE Handles[2] = {HANDLE(FStop.Handle()), R.Ov.hEvent};
    const DWORD Which = WaitForMultipleObjects(2, Handles, FALSE, INFINITE);
    if (Which == WAIT_OBJECT_0 + 1) {
      DWORD Moved = 0;
      if (!FDevice->Result(R, Moved, Error)) {
        Failure = int(Error);
        return TVaWaitStatus::Failed;
      }
      Mask = R.EvtMask;
      return TVaWaitStatus::Events;
    }
    const DWORD WaitError = Which == WAIT_OBJECT_0 ? 0 : GetLastError();
    DWORD Moved = 0;
    if (!FDevice->CancelAndFinish(R, Moved)) FStuck = true;
    if (Which == WAIT_OBJECT_0) return TVaWaitStatus::Stopped;
    Failure = int(WaitError);
    return TVaWaitStatus::Failed;
  }

private:
  std::shared_ptr<TVaWin32Device> FDevice;
  TVaEvent& FStop;
  TVaOverlapped* FRecord;
  bool FStuck = false;
};

class TVaWin32Writer : public TVaWriter {
public:
  TVaWin32Writer(std::shared_ptr<TVaWin32Device> Device, TVaEvent& Close, TVaEvent& Flush)
      : FDevice(std::move(Device)), FClose(Close), FFlush(Flush), FRecord(new TVaOverlapped) {}
  ~TVaWin32Writer() override {
    if (!FStuck) delete FRecord;
  }

  TVaWriteStatus Write(const void* Buf, int Count, int& Written, int& AbortIndex,
                       int& Error) override {
    TVaOverlapped& R = *FRecord;
    R.Ov = OVERLAPPED{0, 0, {{0, 0}}, R.Ov.hEvent};
    DWORD Moved = 0, Failure = 0;
    Written = 0;
    if (FDevice->Call([&](HANDLE H) { return WriteFile(H, Buf, DWORD(Count), &Moved, &R.Ov); },
                      &Failure)) {
      Written = int(Moved);
      return TVaWriteStatus::Done;
    }
    if (Failure != ERROR_IO_PENDING) {
      Error = int(Failure);
      return TVaWriteStatus::Failed;
    }
    HANDLE Handles[3] = {HANDLE(FClose.Handle()), HANDLE(FFlush.Handle()), R.Ov.hEvent};
    const DWORD Which = WaitForMultipleObjects(3, Handles, FALSE, INFINITE);
    if (Which == WAIT_OBJECT_0 + 2) {
      if (!FDevice->Result(R, Moved, Failure)) {
        Error = int(Failure);
        return TVaWriteStatus::Failed;
      }
      Written = int(Moved);
      return TVaWriteStatus::Done;
    }
    if (!FDevice->CancelAndFinish(R, Moved)) FStuck = true;
    Written = int(Moved);
    if (Which == WAIT_OBJECT_0 || Which == WAIT_OBJECT_0 + 1) {
      AbortIndex = int(Which - WAIT_OBJECT_0);
      return TVaWriteStatus::Aborted;
    }
    Error = int(GetLastError());
    return TVaWriteStatus::Failed;
  }

private:
  std::shared_ptr<TVaWin32Device> FDevice;
  TVaEvent& FClose;
  TVaEvent& FFlush;
  TVaOverlapped* FRecord;
  bool FStuck = false;
};

std::unique_ptr<TVaEventWaiter> TVaWin32Device::CreateEventWaiter(TVaEvent& Stop) {
  return std::make_unique<TVaWin32EventWaiter>(shared_from_this(), Stop);
}

std::unique_ptr<TVaWriter> TVaWin32Device::CreateWriter(TVaEvent& Close, TVaEvent& Flush) {
  return std::make_unique<TVaWin32Writer>(shared_from_this(), Close, Flush);
}

bool IsComName(const std::string& Name) {
  if (Name.size() < 4 || Name.size() > 12) return false;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(Name[size_t(i)])) != "COM"[i]) return false;
  for (size_t i = 3; i < Name.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(Name[i]))) return false;
  return true;
}

}  // namespace

// A COM name goes through the device namespace, without which "COM10" and
// above cannot be opened; every other name is used as it stands.
std::string TVaDevice::PlatformPath(const std::string& DevicePath) {
  return IsComName(DevicePath) ? "\\\\.\\" + DevicePath : DevicePath;
}

std::string TVaDevice::ShownName(const std::string& DevicePath) { return DevicePath; }

std::shared_ptr<TVaDevice> TVaDevice::Open(const std::string& Path, const std::string& Shown) {
  const HANDLE Handle = CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (Handle == INVALID_HANDLE_VALUE) {
    const DWORD Error = GetLastError();
    if (Error == ERROR_FILE_NOT_FOUND)
      throw EVaCommError(VaSubstitute("Specified device not found (%s).", {Shown}));
    throw EVaCommError(VaSubstitute("Can't open specified device %s", {Shown}) +
                       VaCommErrorText(" (Error %d, %s)", int(Error)));
  }
  return std::make_shared<TVaWin32Device>(Handle);
}

}  // namespace vacomm_detail
