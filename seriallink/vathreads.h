// The two worker threads of an open port: the event thread, which waits for
// device events and hands them to the window thread, and the write thread,
// which sends the bytes that WriteBuf queued.
//
// Each thread's state is shared between the port and the running thread, so
// closing or destroying the port never frees what a worker still uses. The
// port only signals a thread to stop; it never waits for one, because a
// worker may be blocked in a hand-over to the very thread that closes the
// port. A hand-over that runs after the port has let go of its thread does
// nothing.
#pragma once

#include "vacomm.h"
#include "vadevice.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace vacomm_detail {

// Priority handling and the running-worker count shared by both threads.
struct TVaWorker {
  // Set on the window thread when the port lets go of the thread; read on
  // the window thread by every hand-over before it touches the port.
  std::atomic<bool> Released{false};
  TVaCustomComm* Owner = nullptr;
  std::shared_ptr<TVaDevice> Device;
  std::shared_ptr<TVaSynchronizer> Sync;

  void SetPriority(TThreadPriority Priority);

protected:
  // Called by the body first and last.
  void EnterThread();
  void LeaveThread();
  // Runs Call on the window thread and waits for it; an exception that
  // escapes Call is raised again here.
  void HandOver(const std::function<void()>& Call);
  // Window thread, the port not released: runs Body as one delivery into
  // the port. A device loss met inside is raised once Body has returned; an
  // exception that means the device is gone goes to OnDeviceLost when the
  // port has one. Returns any other exception that escaped Body.
  std::exception_ptr RunDelivery(const std::function<void()>& Body);
  // Window thread: reports an exception that escaped a delivery, unless the
  // port has been let go of meanwhile.
  void ReportEscaped(const std::exception_ptr& Escaped);

private:
  std::mutex FPriorityLock;
  TThreadPriority FPriority = tpNormal;
  intptr_t FToken = 0;
  bool FRunning = false;
};

// Starts Body on a new detached thread that keeps State alive until it ends.
template <typename T>
void VaStartWorker(const std::shared_ptr<T>& State);
int VaRunningWorkers();

struct TVaEventThreadState : TVaWorker {
  uint32_t EvtMask = 0;     // the events of the last completed wait
  int64_t EvtTime = 0;      // when that wait ended (VaMonotonicMicros)
  std::string DeviceShown;  // how messages name the device
  TVaWaitEvent WaitEvent;   // signalled by Stop
  std::atomic<bool> Terminated{false};
  std::unique_ptr<TVaEventWaiter> Waiter;

  void Stop();
  void Body();
  void SyncEvents();

private:
  void Deliver(uint32_t Mask, int64_t Time);
  // Tells the port, once per thread, that the device is gone.
  void ReportLoss(const std::string& Reason);
  bool FLossReported = false;
};

// The write queue: Size bytes at the front of a block that never moves.
class TVaCommBuffer {
public:
  explicit TVaCommBuffer(int Capacity);
  int Capacity() const { return FCapacity; }
  // Read without the lock by the window thread's wait for room.
  int32_t Size() const { return FSize.load(std::memory_order_acquire); }
  const uint8_t* Data() const { return FData.get(); }
  void Append(const void* Bytes, int Count);  // the caller makes sure they fit
  void Remove(int Count);
  void Clear() { FSize.store(0, std::memory_order_release); }

private:
  std::unique_ptr<uint8_t[]> FData;
  int FCapacity;
  std::atomic<int32_t> FSize{0};
};

struct TVaWriteThreadState : TVaWorker {
  explicit TVaWriteThreadState(int Capacity) : Buffer(Capacity) {}

  std::shared_ptr<TVaCriticalSection> WriteLock;
  std::shared_ptr<std::atomic<int64_t>> LastWriteTime;
  TVaCommBuffer Buffer;
  TVaWaitEvent DataEvent, CloseEvent, FlushEvent, FlushDoneEvent;
  std::unique_ptr<TVaWriter> Writer;

  // Whether an emptied queue is handed over to the window thread: only
  // while the port has an OnTxEmpty handler. Without one the hand-over would
  // only wake the window thread for nothing, and, worse, keep the write
  // thread waiting while the window thread waits for room in the queue (an
  // event that answers many requests at once).
  std::atomic<bool> ReportTxEmpty{false};

  // Set when an exception has ended the body; Reason is written before.
  std::atomic<bool> Ended{false};
  std::string EndReason;

  void Stop() { CloseEvent.Signal(); }
  // Window thread: queues the bytes, waiting up to TimeoutMs for room.
  bool Enqueue(const void* Buf, int Count, int32_t TimeoutMs);
  void Body();

private:
  bool FTerminated = false;  // the body's own flag
  void WriteDone(int Written);
  void SyncTxEmpty();
  void SyncWriteError(int Error);
};

// How long a worker pauses after a failed wait or write before it tries
// again, so that a device that has gone away never makes a thread spin.
constexpr int VA_RETRY_PAUSE_MS = 250;
// Failed waits in a row (each followed by that pause) after which the event
// thread gives the device up for lost, whatever the error.
constexpr int VA_FAILED_WAITS_LOST = 8;

}  // namespace vacomm_detail
