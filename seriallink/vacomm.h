// TVaComm: the serial port component through which the tester talks to the
// K-line adapter.
//
// One instance owns one serial device: its settings (TVaBuffers,
// TVaFlowControl, TVaEventChars and the line settings), the open device, two
// locks and two worker threads. The event thread waits for device events and
// hands every batch to the window thread through the application's
// TVaSynchronizer; the write thread sends what WriteBuf queued. Every public
// operation is meant to be called on the window thread, the thread that runs
// the TVaSynchronizer's calls.
//
// Failures raise EVaCommError with a fixed English message.
//
// A device that fails or vanishes while the port is open (a USB adapter
// pulled out) is reported once per Open through OnDeviceLost when one is
// set; TVaPortKeeper (vakeeper.h) uses that to close the port and open it
// again when the device is back.
#pragma once

#include "vadcb.h"
#include "vaerror.h"
#include "vasettings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// ---------------------------------------------------------------------------
// The synchronous hand-over to the window thread, supplied by the application.
//
// Synchronize blocks the calling worker until Call has run on the window
// thread; calls run in the order in which they were queued. When the
// application can no longer run calls (it is shutting down), Synchronize may
// return without running Call. Call never throws: the component catches
// everything inside it.
class TVaSynchronizer {
public:
  virtual ~TVaSynchronizer() = default;
  virtual void Synchronize(const std::function<void()>& Call) = 0;
};

// ---------------------------------------------------------------------------
// The clock of the component's time stamps: the system's steady clock in
// microseconds. Every part of the program that compares its own times with
// RxEventTime or LastWriteTime reads this one.
int64_t VaMonotonicMicros();

// What ReadStatus reports besides the error flags (the COMSTAT record).
struct TVaComStat {
  uint32_t Flags = 0;     // hold reasons; always 0 on Linux
  uint32_t cbInQue = 0;   // bytes waiting to be read
  uint32_t cbOutQue = 0;  // bytes not yet sent by the driver
};

// ---------------------------------------------------------------------------
// The component

namespace vacomm_detail {
class TVaCriticalSection;
class TVaWaitEvent;
class TVaDevice;
struct TVaWorker;
struct TVaEventThreadState;
struct TVaWriteThreadState;
}  // namespace vacomm_detail

// Common base of the component set.
class TVaComponent {
public:
  TVaComponent() = default;
  TVaComponent(const TVaComponent&) = delete;
  TVaComponent& operator=(const TVaComponent&) = delete;
  virtual ~TVaComponent() = default;
};

class TVaCustomComm : public TVaComponent {
public:
  using TNotifyEvent = std::function<void(TVaCustomComm* Sender)>;
  using TVaCommRxCharEvent = std::function<void(TVaCustomComm* Sender, int Count)>;
  using TVaCommErrorEvent = std::function<void(TVaCustomComm* Sender, int Errors)>;
  using TVaCommRxBufEvent = std::function<void(TVaCustomComm* Sender, const void* Data, int Count)>;
  using TExceptionReport = std::function<void(const std::exception& E)>;
  using TVaDeviceLostEvent = std::function<void(TVaCustomComm* Sender, const std::string& Reason)>;

  TVaCustomComm();
  // Closes the port (without OnClose). Worker threads still running keep what
  // they use alive and end on their own.
  ~TVaCustomComm() override;

  // --- operations
  void Open();
  void Close();
  bool Active() const;
  int ReadBuf(void* Buf, int Count);
  int WriteBuf(const void* Buf, int Count);
  int InQueCount();
  void ReadStatus(uint32_t& Errors, TVaComStat& ComStat);
  // Holds the transmit line in the break state (low) while On, as a K-line
  // wake-up pattern needs; bytes still queued for sending are not waited
  // for. Nothing while the port is closed. A pseudo-terminal accepts it and
  // does nothing. Raises "Error setting break (%d), %s".
  void SetBreak(bool On);
  // The after-loading step: opens the port when AutoOpen is set.
  void Loaded();

  // --- the hand-over and the exception report supplied by the application
  void SetSynchronizer(std::shared_ptr<TVaSynchronizer> Synchronizer);
  std::shared_ptr<TVaSynchronizer> Synchronizer() const { return FSynchronizer; }
  // Where an exception goes that escapes the delivery of received bytes and
  // device events, OnOpen, OnError, or that ends the write thread. Called on
  // the window thread. Without one, the message is written to stderr.
  void SetExceptionReport(TExceptionReport Report) { FExceptionReport = std::move(Report); }

  // --- properties
  bool AutoOpen() const { return FAutoOpen; }
  void SetAutoOpen(bool Value) { FAutoOpen = Value; }
  TVaBaudrate Baudrate() const { return FBaudrate; }
  void SetBaudrate(TVaBaudrate Value);
  TVaParity Parity() const { return FParity; }
  void SetParity(TVaParity Value);
  TVaDatabits Databits() const { return FDatabits; }
  void SetDatabits(TVaDatabits Value);
  TVaStopbits Stopbits() const { return FStopbits; }
  void SetStopbits(TVaStopbits Value);
  TVaEventChars& EventChars() { return FEventChars; }
  void SetEventChars(const TVaEventChars& Value) { FEventChars.Assign(Value); }
  TVaFlowControl& FlowControl() { return FFlowControl; }
  void SetFlowControl(const TVaFlowControl& Value) { FFlowControl.Assign(Value); }
  TVaCommOptions Options() const { return FOptions; }
  void SetOptions(TVaCommOptions Value);
  TVaPortInt PortNum() const { return FPortNum; }
  void SetPortNum(TVaPortInt Value);
  const std::string& DeviceName() const { return FDeviceName; }
  void SetDeviceName(const std::string& Value);
  TVaCommEvents MonitorEvents() const { return FMonitorEvents; }
  void SetMonitorEvents(TVaCommEvents Value);
  TVaBuffers& Buffers() { return FBuffers; }
  void SetBuffers(const TVaBuffers& Value);
  TThreadPriority EventPriority() const { return FEventPriority; }
  void SetEventPriority(TThreadPriority Value);
  TThreadPriority WritePriority() const { return FWritePriority; }
  void SetWritePriority(TThreadPriority Value);
  bool DirectWrite() const { return FDirectWrite; }
  void SetDirectWrite(bool Value);
  bool UpdateDCB() const { return FUpdateDCB; }
  void SetUpdateDCB(bool Value);
  int UserBaudrate() const { return FUserBaudrate; }
  void SetUserBaudrate(int Value);

  // The device path: DeviceName used as a format text with PortNum
  // ("COM%d" with PortNum 2 gives "COM2").
  std::string DevicePath() const;
  // The settings record that WriteDCB writes, built fresh from the settings.
  TVaDCB BuildDCB() const;
  // The platform event mask computed at Open (0 while closed).
  uint32_t EventMask() const { return FEventMask; }

  // When the event thread's wait for device events ended for the batch that
  // OnRxChar and the other handlers of that batch are handling now
  // (VaMonotonicMicros): the time the bytes reached the port, however late
  // the window thread got round to them. Bytes that arrive before the
  // window thread reads the queue size are counted in the batch and share
  // its time; bytes that arrive while a handler of the batch still runs
  // after that are stamped when it returns. Window thread; 0 before the
  // first event.
  int64_t RxEventTime() const { return FRxEventTime; }
  // When the last write of queued bytes (or a direct write) handed them to
  // the driver (VaMonotonicMicros); 0 before the first. Any thread.
  int64_t LastWriteTime() const { return FLastWriteTime->load(std::memory_order_acquire); }

  // --- events (called on the window thread with this component as Sender)
  void SetOnOpen(TNotifyEvent Handler) { FOnOpen = std::move(Handler); }
  void SetOnClose(TNotifyEvent Handler) { FOnClose = std::move(Handler); }
  void SetOnCts(TNotifyEvent Handler) { FOnCts = std::move(Handler); }
  void SetOnDsr(TNotifyEvent Handler) { FOnDsr = std::move(Handler); }
  void SetOnRlsd(TNotifyEvent Handler) { FOnRlsd = std::move(Handler); }
  void SetOnRing(TNotifyEvent Handler) { FOnRing = std::move(Handler); }
  void SetOnBreak(TNotifyEvent Handler) { FOnBreak = std::move(Handler); }
  void SetOnError(TVaCommErrorEvent Handler) { FOnError = std::move(Handler); }
  void SetOnRxChar(TVaCommRxCharEvent Handler) { FOnRxChar = std::move(Handler); }
  void SetOnRxFlag(TNotifyEvent Handler) { FOnRxFlag = std::move(Handler); }
  void SetOnRxBuf(TVaCommRxBufEvent Handler) { FOnRxBuf = std::move(Handler); }
  void SetOnTxEmpty(TNotifyEvent Handler);
  void SetOnPErr(TNotifyEvent Handler) { FOnPErr = std::move(Handler); }
  void SetOnRx80Full(TNotifyEvent Handler) { FOnRx80Full = std::move(Handler); }
  void SetOnEvent1(TNotifyEvent Handler) { FOnEvent1 = std::move(Handler); }
  void SetOnEvent2(TNotifyEvent Handler) { FOnEvent2 = std::move(Handler); }
  // The device has failed or vanished: the event thread's wait reports a
  // hang-up or keeps failing, or a read, a write or a look at the queues
  // meets an error that means the device is gone (EIO, ENXIO, ENODEV, EBADF
  // on Linux; access denied, device removed, operation aborted and the like
  // on Windows). Reason is the component's error text of the first such
  // failure. Raised on the window thread at most once per Open: after the
  // event handler that met the failure has returned, or, for a call that
  // the application makes outside any event, inside that call before its
  // exception is raised. While this handler is set, the exceptions that
  // mean the device is gone are not passed to the exception report. The
  // port stays open; the handler may close it.
  void SetOnDeviceLost(TVaDeviceLostEvent Handler) { FOnDeviceLost = std::move(Handler); }
  const TVaCommRxCharEvent& OnRxChar() const { return FOnRxChar; }

  // The number of worker threads of all ports whose body has not yet
  // returned. Closing a port does not wait for its threads; this tells when
  // they are gone.
  static int RunningWorkers();

protected:
  virtual void OpenHandle();
  virtual void StartThreads();
  virtual void DoRxChar();
  virtual void DoEvents(uint32_t Mask);
  virtual void NotifyLinkEvents(uint32_t Mask);
  virtual void NotifyLinkData(const void* Data, int Count);

  void CheckNotOpen() const;
  bool CheckLineErrors();
  void WriteDCB();
  void ReportException(const std::exception& E);

private:
  friend struct vacomm_detail::TVaWorker;
  friend struct vacomm_detail::TVaEventThreadState;
  friend struct vacomm_detail::TVaWriteThreadState;

  void InitBuffers();
  void InitTimeouts();
  void InitEventMask();
  void StopThreads();
  void ReleaseHandle();
  void DoOpen();
  void DoClose();
  void BuffersChanged();
  void CloseInternal(bool Notify);

  // Device loss, all on the window thread. A worker's hand-over into the
  // port is one delivery; a loss met inside one is raised when the
  // outermost delivery ends, so that no handler runs inside another's call.
  void BeginDelivery() { ++FDeliveries; }
  void EndDelivery();
  // A window-thread call on the device failed with E: a loss when E means
  // the device is gone.
  void DeviceFailed(const std::exception& E);
  // An exception escaped a delivery: true when it means the device is gone
  // and OnDeviceLost is set, which then takes it instead of the report.
  bool TakeDeviceFailure(const std::exception& E);
  void LoseDevice(const std::string& Reason);
  void RaiseDeviceLost(const std::string& Reason);

  std::shared_ptr<vacomm_detail::TVaDevice> FDevice;  // the DeviceHandle
  std::shared_ptr<vacomm_detail::TVaCriticalSection> FWriteLock;
  std::unique_ptr<vacomm_detail::TVaCriticalSection> FReadLock;
  std::unique_ptr<vacomm_detail::TVaWaitEvent> FIoEvent;  // completion of a read or direct write
  std::shared_ptr<vacomm_detail::TVaEventThreadState> FEventThread;
  std::shared_ptr<vacomm_detail::TVaWriteThreadState> FWriteThread;
  uint32_t FEventMask = 0;
  // Line errors that InQueCount cleared while reading the queue size; the
  // next CheckLineErrors reports them.
  uint32_t FUnreportedErrors = 0;
  bool FAutoOpen = false;
  TVaPortInt FPortNum = 0;
  std::string FDeviceName = "COM%d";
  TVaCommEvents FMonitorEvents{ceError, ceRxChar, ceTxEmpty};
  TVaBuffers FBuffers;
  TThreadPriority FEventPriority = tpNormal;
  TThreadPriority FWritePriority = tpHighest;
  bool FDirectWrite = false;
  TVaBaudrate FBaudrate = br1200;
  TVaParity FParity = paNone;
  TVaDatabits FDatabits = db8;
  TVaStopbits FStopbits = sb1;
  TVaCommOptions FOptions;
  TVaFlowControl FFlowControl;
  TVaEventChars FEventChars;
  bool FUpdateDCB = true;
  int FUserBaudrate = 0;
  bool FDestroying = false;
  int64_t FRxEventTime = 0;
  // Shared with the write thread, which may outlive the component.
  const std::shared_ptr<std::atomic<int64_t>> FLastWriteTime = std::make_shared<std::atomic<int64_t>>(0);
  int FDeliveries = 0;       // worker hand-overs running (nested) on the window thread
  bool FLossRaised = false;  // OnDeviceLost raised since the last Open
  std::string FLossReason;   // a loss met in a delivery, raised when it ends
  // False once the destructor has run; handlers that may destroy the
  // component are followed by a look at it.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

  TNotifyEvent FOnOpen, FOnClose, FOnCts, FOnDsr, FOnRlsd, FOnRing, FOnBreak, FOnRxFlag, FOnTxEmpty, FOnPErr,
      FOnRx80Full, FOnEvent1, FOnEvent2;
  TVaCommErrorEvent FOnError;
  TVaCommRxCharEvent FOnRxChar;
  TVaCommRxBufEvent FOnRxBuf;
  TVaDeviceLostEvent FOnDeviceLost;

  std::shared_ptr<TVaSynchronizer> FSynchronizer;
  TExceptionReport FExceptionReport;
};

// The component as the windows use it; adds nothing to TVaCustomComm.
class TVaComm : public TVaCustomComm {
public:
  TVaComm() = default;
};

// The settings of a port on the K-line, as the tester's window keeps them for
// VaComm1 and every other face of the tester uses them: 10400 baud, 8 data
// bits, no parity, one stop bit, no flow control of any kind, DTR and RTS
// off, reads given up after 500 ms and writes after 5000 ms. The device name
// is "COM1" until the owner names another.
void VaSetUpKLinePort(TVaCustomComm& Comm);
