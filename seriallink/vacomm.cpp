#include "vacomm.h"

#include "vadevice.h"
#include "vathreads.h"

#include <chrono>
#include <iostream>

using namespace vacomm_detail;

namespace {
const char* const SPortOpen = "Can't perform this operation while port is open";
const char* const SOutputFull = "Output buffer is full. Please check comm status.";

void CheckTransfer(const void* Buf, int Count) {
  if (Count < 0 || (Count > 0 && Buf == nullptr))
    throw EVaCommError(VaSubstitute("Invalid transfer of %d bytes", {VaIntArg(Count)}));
}

// True when E is a platform error that means the device has gone away.
bool IsDeviceGone(const std::exception& E) {
  const auto* System = dynamic_cast<const EVaSystemError*>(&E);
  return System && VaIsDeviceGone(System->Code());
}
}  // namespace

int64_t VaMonotonicMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// ---------------------------------------------------------------------------
// TVaCustomComm: construction

TVaCustomComm::TVaCustomComm()
    : FWriteLock(std::make_shared<TVaCriticalSection>()),
      FReadLock(std::make_unique<TVaCriticalSection>()),
      FIoEvent(std::make_unique<TVaWaitEvent>()) {
  FBuffers.SetOnChange([this] { BuffersChanged(); });
  FEventChars.SetOnChange([this] { WriteDCB(); });
  FFlowControl.SetOnChange([this] { WriteDCB(); });
}

TVaCustomComm::~TVaCustomComm() {
  FDestroying = true;
  try {
    CloseInternal(false);
  } catch (...) {
    // Closing raises nothing of its own, and OnClose is not called here.
  }
  *FAlive = false;
}

void TVaCustomComm::Loaded() {
  if (FAutoOpen) Open();
}

int TVaCustomComm::RunningWorkers() { return VaRunningWorkers(); }

void TVaCustomComm::SetSynchronizer(std::shared_ptr<TVaSynchronizer> Synchronizer) {
  FSynchronizer = std::move(Synchronizer);
}

void TVaCustomComm::ReportException(const std::exception& E) {
  if (FExceptionReport) {
    const TExceptionReport Report = FExceptionReport;
    Report(E);
  } else {
    std::cerr << E.what() << std::endl;
  }
}

// ---------------------------------------------------------------------------
// Properties

void TVaCustomComm::CheckNotOpen() const {
  if (Active()) throw EVaCommError(SPortOpen);
}

void TVaCustomComm::BuffersChanged() {
  CheckNotOpen();
  InitBuffers();
  WriteDCB();
}

void TVaCustomComm::SetBaudrate(TVaBaudrate Value) {
  if (Value == FBaudrate) return;
  FBaudrate = Value;
  if (Value != brUser) FUserBaudrate = 0;
  WriteDCB();
}

void TVaCustomComm::SetUserBaudrate(int Value) {
  if (Value == FUserBaudrate) return;
  VaCheckNotNegative(Value);
  FUserBaudrate = Value;
  FBaudrate = brUser;
  WriteDCB();
}

void TVaCustomComm::SetParity(TVaParity Value) {
  if (Value == FParity) return;
  FParity = Value;
  WriteDCB();
}

void TVaCustomComm::SetDatabits(TVaDatabits Value) {
  if (Value == FDatabits) return;
  FDatabits = Value;
  WriteDCB();
}

void TVaCustomComm::SetStopbits(TVaStopbits Value) {
  if (Value == FStopbits) return;
  FStopbits = Value;
  WriteDCB();
}

void TVaCustomComm::SetOptions(TVaCommOptions Value) {
  if (Value == FOptions) return;
  FOptions = Value;
  WriteDCB();
}

void TVaCustomComm::SetPortNum(TVaPortInt Value) {
  if (Value == FPortNum) return;
  CheckNotOpen();
  FPortNum = Value;
}

void TVaCustomComm::SetDeviceName(const std::string& Value) {
  if (Value == FDeviceName) return;
  CheckNotOpen();
  FDeviceName = Value;
}

void TVaCustomComm::SetMonitorEvents(TVaCommEvents Value) {
  if (Value == FMonitorEvents) return;
  CheckNotOpen();
  FMonitorEvents = Value;
}

void TVaCustomComm::SetBuffers(const TVaBuffers& Value) {
  CheckNotOpen();
  FBuffers.Assign(Value);
}

void TVaCustomComm::SetEventPriority(TThreadPriority Value) {
  if (Value == FEventPriority) return;
  FEventPriority = Value;
  if (FEventThread) FEventThread->SetPriority(Value);
}

void TVaCustomComm::SetWritePriority(TThreadPriority Value) {
  if (Value == FWritePriority) return;
  FWritePriority = Value;
  if (FWriteThread) FWriteThread->SetPriority(Value);
}

void TVaCustomComm::SetDirectWrite(bool Value) {
  if (Value == FDirectWrite) return;
  CheckNotOpen();
  FDirectWrite = Value;
}

void TVaCustomComm::SetUpdateDCB(bool Value) {
  if (Value == FUpdateDCB) return;
  CheckNotOpen();
  FUpdateDCB = Value;
}

std::string TVaCustomComm::DevicePath() const {
  // DeviceName is a format text with PortNum as its one integer argument;
  // anything else in it is taken literally.
  return VaSubstitute(FDeviceName, {VaIntArg(FPortNum)});
}

TVaDCB TVaCustomComm::BuildDCB() const {
  TVaLineSettings Line;
  Line.Baudrate = FBaudrate;
  Line.UserBaudrate = FUserBaudrate;
  Line.Parity = FParity;
  Line.Databits = FDatabits;
  Line.Stopbits = FStopbits;
  Line.Options = FOptions;
  return VaBuildDCB(Line, FFlowControl, FEventChars, FBuffers);
}

// ---------------------------------------------------------------------------
// Open and Close

bool TVaCustomComm::Active() const { return FDevice != nullptr; }

void TVaCustomComm::Open() {
  CheckNotOpen();
  const bool NeedsHandOver = VaEventMask(FMonitorEvents) != 0 || !FDirectWrite;
  if (NeedsHandOver && !FSynchronizer) throw EVaCommError("Can't open the port: no window thread hand-over is set");
  OpenHandle();
  FLossRaised = false;
  FLossReason.clear();
  try {
    WriteDCB();
    InitBuffers();
    InitTimeouts();
    InitEventMask();
    StartThreads();
  } catch (...) {
    StopThreads();
    ReleaseHandle();
    throw;
  }
  DoOpen();
}

void TVaCustomComm::OpenHandle() {
  const std::string Path = DevicePath();
  FDevice = TVaDevice::Open(TVaDevice::PlatformPath(Path), TVaDevice::ShownName(Path));
}

void TVaCustomComm::WriteDCB() {
  if (!Active() || !FUpdateDCB) return;
  FDevice->SetState(BuildDCB());
}

void TVaCustomComm::InitBuffers() {
  if (Active()) FDevice->Setup(FBuffers.ReadSize(), FBuffers.WriteSize());
}

void TVaCustomComm::InitTimeouts() {
  if (Active()) FDevice->SetTimeouts(5);
}

void TVaCustomComm::InitEventMask() {
  FEventMask = VaEventMask(FMonitorEvents);
  // Without direct writes the write thread reports an empty queue itself.
  if (!FDirectWrite) FEventMask &= ~VA_EV_TXEMPTY;
  FDevice->SetMask(FEventMask);
}

void TVaCustomComm::StartThreads() {
  if (FEventMask != 0) {
    auto T = std::make_shared<TVaEventThreadState>();
    T->Owner = this;
    T->Device = FDevice;
    T->Sync = FSynchronizer;
    T->DeviceShown = TVaDevice::ShownName(DevicePath());
    T->Waiter = FDevice->CreateEventWaiter(T->WaitEvent);
    T->SetPriority(FEventPriority);
    FEventThread = T;
    VaStartWorker(T);
  }
  if (!FDirectWrite) {
    auto T = std::make_shared<TVaWriteThreadState>(FBuffers.WriteSize());
    T->Owner = this;
    T->Device = FDevice;
    T->Sync = FSynchronizer;
    T->WriteLock = FWriteLock;
    T->LastWriteTime = FLastWriteTime;
    T->ReportTxEmpty = static_cast<bool>(FOnTxEmpty);
    T->Writer = FDevice->CreateWriter(T->CloseEvent, T->FlushEvent);
    T->SetPriority(FWritePriority);
    FWriteThread = T;
    VaStartWorker(T);
  }
}

void TVaCustomComm::SetOnTxEmpty(TNotifyEvent Handler) {
  FOnTxEmpty = std::move(Handler);
  if (FWriteThread) FWriteThread->ReportTxEmpty = static_cast<bool>(FOnTxEmpty);
}

void TVaCustomComm::StopThreads() {
  if (FEventThread) {
    FEventThread->Released = true;
    FEventThread->Stop();
    FEventThread.reset();
  }
  if (FWriteThread) {
    FWriteThread->Released = true;
    FWriteThread->Stop();
    FWriteThread.reset();
  }
}

void TVaCustomComm::ReleaseHandle() {
  if (FDevice) {
    FDevice->Close();
    FDevice.reset();
  }
  FEventMask = 0;
  FUnreportedErrors = 0;
  FLossReason.clear();  // a loss not yet raised is of no more use
}

void TVaCustomComm::DoOpen() {
  if (!FOnOpen) return;
  const std::shared_ptr<bool> Alive = FAlive;
  try {
    const TNotifyEvent Handler = FOnOpen;
    Handler(this);
  } catch (const std::exception& E) {
    if (*Alive) ReportException(E);
  }
}

void TVaCustomComm::DoClose() {
  if (FOnClose && !FDestroying) {
    const TNotifyEvent Handler = FOnClose;
    Handler(this);
  }
}

void TVaCustomComm::Close() { CloseInternal(true); }

void TVaCustomComm::CloseInternal(bool Notify) {
  if (!Active()) return;
  {
    std::lock_guard<TVaCriticalSection> Guard(*FReadLock);
    StopThreads();
  }
  ReleaseHandle();
  if (Notify) DoClose();
  VaSleep(300);
}

// ---------------------------------------------------------------------------
// Reading and writing

// The device calls below look at their failures outside the locks: a loss
// raised from there may close or destroy the port.

int TVaCustomComm::ReadBuf(void* Buf, int Count) {
  if (!Active()) return 0;
  CheckTransfer(Buf, Count);
  if (Count == 0) return 0;
  try {
    std::lock_guard<TVaCriticalSection> Guard(*FReadLock);
    return FDevice->Read(Buf, Count, FBuffers.ReadTimeout(), *FIoEvent);
  } catch (const std::exception& E) {
    DeviceFailed(E);
    throw;
  }
}

int TVaCustomComm::WriteBuf(const void* Buf, int Count) {
  if (!Active()) return 0;
  CheckTransfer(Buf, Count);
  if (Count == 0) return 0;
  if (!FDirectWrite) {
    if (!FWriteThread) throw EVaCommError(SOutputFull);
    if (FWriteThread->Ended)
      throw EVaCommError("The port's write thread has stopped (" + FWriteThread->EndReason +
                         "). Close and open the port again.");
    if (!FWriteThread->Enqueue(Buf, Count, FBuffers.WriteTimeout())) {
      if (FWriteThread->Ended)
        throw EVaCommError("The port's write thread has stopped (" + FWriteThread->EndReason +
                           "). Close and open the port again.");
      throw EVaCommError(SOutputFull);
    }
    return Count;
  }
  try {
    std::lock_guard<TVaCriticalSection> Guard(*FWriteLock);
    const int Written = FDevice->Write(Buf, Count, FBuffers.ReadTimeout(), *FIoEvent);
    if (Written > 0) FLastWriteTime->store(VaMonotonicMicros(), std::memory_order_release);
    return Written;
  } catch (const std::exception& E) {
    DeviceFailed(E);
    throw;
  }
}

void TVaCustomComm::ReadStatus(uint32_t& Errors, TVaComStat& ComStat) {
  try {
    std::lock_guard<TVaCriticalSection> Guard(*FReadLock);
    Errors = 0;
    ComStat = TVaComStat{};
    if (Active()) FDevice->ClearError(Errors, ComStat);
  } catch (const std::exception& E) {
    DeviceFailed(E);
    throw;
  }
}

void TVaCustomComm::SetBreak(bool On) {
  if (!Active()) return;
  try {
    FDevice->SetBreak(On);
  } catch (const std::exception& E) {
    DeviceFailed(E);
    throw;
  }
}

int TVaCustomComm::InQueCount() {
  if (!Active()) return 0;
  uint32_t Errors;
  TVaComStat Stat;
  ReadStatus(Errors, Stat);
  FUnreportedErrors |= Errors;
  return int(Stat.cbInQue > 0x7FFFFFFFu ? 0x7FFFFFFFu : Stat.cbInQue);
}

// ---------------------------------------------------------------------------
// Event delivery (window thread)

void TVaCustomComm::DoRxChar() {
  const int Count = InQueCount();
  if (Count <= 0) return;
  if (FOnRxChar) {
    const TVaCommRxCharEvent Handler = FOnRxChar;
    Handler(this, Count);
  }
}

void TVaCustomComm::DoEvents(uint32_t Mask) {
  const std::shared_ptr<bool> Alive = FAlive;
  if (Mask & VA_EV_ERR) {
    CheckLineErrors();
    if (!*Alive) return;
  }
  const struct {
    uint32_t Bit;
    TNotifyEvent TVaCustomComm::*Handler;
  } Steps[] = {
      {VA_EV_RXFLAG, &TVaCustomComm::FOnRxFlag},     {VA_EV_CTS, &TVaCustomComm::FOnCts},
      {VA_EV_DSR, &TVaCustomComm::FOnDsr},           {VA_EV_RING, &TVaCustomComm::FOnRing},
      {VA_EV_RLSD, &TVaCustomComm::FOnRlsd},         {VA_EV_TXEMPTY, &TVaCustomComm::FOnTxEmpty},
      {VA_EV_BREAK, &TVaCustomComm::FOnBreak},       {VA_EV_PERR, &TVaCustomComm::FOnPErr},
      {VA_EV_RX80FULL, &TVaCustomComm::FOnRx80Full}, {VA_EV_EVENT1, &TVaCustomComm::FOnEvent1},
      {VA_EV_EVENT2, &TVaCustomComm::FOnEvent2},
  };
  for (const auto& Step : Steps) {
    if (!(Mask & Step.Bit) || !(this->*Step.Handler)) continue;
    const TNotifyEvent Handler = this->*Step.Handler;
    Handler(this);
    if (!*Alive) return;  // a handler destroyed the component
  }
  NotifyLinkEvents(Mask);
}

bool TVaCustomComm::CheckLineErrors() {
  uint32_t Errors = 0;
  TVaComStat Stat;
  ReadStatus(Errors, Stat);
  // Reading the queue size for OnRxChar clears the flags too; they are not lost.
  Errors |= FUnreportedErrors;
  FUnreportedErrors = 0;
  const bool Result = Errors != 0;
  if (Result && FOnError) {
    const std::shared_ptr<bool> Alive = FAlive;
    try {
      const TVaCommErrorEvent Handler = FOnError;
      Handler(this, int(Errors));
    } catch (const std::exception& E) {
      if (*Alive && !TakeDeviceFailure(E)) ReportException(E);
    }
  }
  return Result;
}

// ---------------------------------------------------------------------------
// Device loss (window thread)

void TVaCustomComm::DeviceFailed(const std::exception& E) {
  if (IsDeviceGone(E)) LoseDevice(E.what());
}

bool TVaCustomComm::TakeDeviceFailure(const std::exception& E) {
  if (!FOnDeviceLost || !IsDeviceGone(E)) return false;
  LoseDevice(E.what());
  return true;
}

void TVaCustomComm::LoseDevice(const std::string& Reason) {
  if (FLossRaised || !Active()) return;
  if (FDeliveries > 0) {
    // The first failure names the loss; it is raised when the delivery ends.
    if (FLossReason.empty()) FLossReason = Reason;
    return;
  }
  RaiseDeviceLost(Reason);
}

void TVaCustomComm::EndDelivery() {
  if (FDeliveries > 0) --FDeliveries;
  if (FDeliveries > 0 || FLossReason.empty()) return;
  std::string Reason;
  Reason.swap(FLossReason);
  RaiseDeviceLost(Reason);
}

void TVaCustomComm::RaiseDeviceLost(const std::string& Reason) {
  if (FLossRaised || !Active()) return;
  FLossRaised = true;
  if (!FOnDeviceLost) return;
  const std::shared_ptr<bool> Alive = FAlive;
  try {
    const TVaDeviceLostEvent Handler = FOnDeviceLost;
    Handler(this, Reason);
  } catch (const std::exception& E) {
    if (*Alive) ReportException(E);
  } catch (...) {
    if (*Alive) ReportException(EVaCommError("Unknown exception"));
  }
}

// No data consumers are ever attached in this program, so these have
// nothing to tell.
void TVaCustomComm::NotifyLinkEvents(uint32_t) {}
void TVaCustomComm::NotifyLinkData(const void*, int) {}

void VaSetUpKLinePort(TVaCustomComm& Comm) {
  Comm.SetBaudrate(brUser);
  Comm.SetUserBaudrate(10400);
  Comm.SetDeviceName("COM1");
  Comm.Buffers().SetReadTimeout(500);
  Comm.Buffers().SetWriteTimeout(5000);
  TVaFlowControl& Flow = Comm.FlowControl();
  Flow.SetOutCtsFlow(false);
  Flow.SetOutDsrFlow(false);
  Flow.SetControlDtr(dtrDisabled);
  Flow.SetControlRts(rtsDisabled);
  Flow.SetXonXoffOut(false);
  Flow.SetXonXoffIn(false);
  Flow.SetDsrSensitivity(false);
  Flow.SetTxContinueOnXoff(false);
}
