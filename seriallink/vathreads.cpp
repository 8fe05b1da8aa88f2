#include "vathreads.h"

#include "vatimeout.h"

#include <cstring>
#include <exception>
#include <thread>

namespace vacomm_detail {

namespace {
std::atomic<int> GRunningWorkers{0};

// The report for an exception of unknown type.
const EVaCommError& UnknownException() {
  static const EVaCommError E("Unknown exception");
  return E;
}
}  // namespace

int VaRunningWorkers() { return GRunningWorkers.load(); }

template <typename T>
void VaStartWorker(const std::shared_ptr<T>& State) {
  GRunningWorkers.fetch_add(1);
  try {
    std::thread([S = State]() mutable {
      S->Body();
      S.reset();
      GRunningWorkers.fetch_sub(1);
    }).detach();
  } catch (const std::exception& E) {
    GRunningWorkers.fetch_sub(1);
    throw EVaCommError(std::string("Can't start port thread: ") + E.what());
  }
}
template void VaStartWorker(const std::shared_ptr<TVaEventThreadState>&);
template void VaStartWorker(const std::shared_ptr<TVaWriteThreadState>&);

// --- TVaWorker

void TVaWorker::SetPriority(TThreadPriority Priority) {
  std::lock_guard<std::mutex> Guard(FPriorityLock);
  FPriority = Priority;
  if (FRunning) VaSetThreadPriority(FToken, Priority);
}

void TVaWorker::EnterThread() {
  std::lock_guard<std::mutex> Guard(FPriorityLock);
  FToken = VaCurrentThreadToken();
  FRunning = true;
  VaSetThreadPriority(FToken, FPriority);
}

void TVaWorker::LeaveThread() {
  std::lock_guard<std::mutex> Guard(FPriorityLock);
  FRunning = false;
  VaReleaseThreadToken(FToken);
  FToken = 0;
}

void TVaWorker::HandOver(const std::function<void()>& Call) {
  std::exception_ptr Error;
  Sync->Synchronize([&] {
    try {
      Call();
    } catch (...) {
      Error = std::current_exception();
    }
  });
  if (Error) std::rethrow_exception(Error);
}

std::exception_ptr TVaWorker::RunDelivery(const std::function<void()>& Body) {
  TVaCustomComm* Port = Owner;
  const std::shared_ptr<bool> Alive = Port->FAlive;
  std::exception_ptr Escaped;
  Port->BeginDelivery();
  try {
    Body();
  } catch (const std::exception& E) {
    // Released: a handler closed or destroyed the port; what escaped is of
    // no more use to it.
    if (Released || !Port->TakeDeviceFailure(E)) Escaped = std::current_exception();
  } catch (...) {
    Escaped = std::current_exception();
  }
  // A handler may have destroyed the port; one that only closed (and maybe
  // opened) it still ends the delivery it is in.
  if (*Alive) Port->EndDelivery();
  return Escaped;
}

void TVaWorker::ReportEscaped(const std::exception_ptr& Escaped) {
  if (!Escaped || Released) return;
  try {
    std::rethrow_exception(Escaped);
  } catch (const std::exception& E) {
    Owner->ReportException(E);
  } catch (...) {
    Owner->ReportException(UnknownException());
  }
}

// --- the event thread

void TVaEventThreadState::Stop() {
  Terminated = true;
  WaitEvent.Signal();
}

void TVaEventThreadState::Body() {
  EnterThread();
  bool HungUp = false;
  int Failures = 0;  // failed waits in a row
  while (!Terminated) {
    uint32_t Mask = 0;
    int Error = 0;
    const TVaWaitStatus Status = Waiter->Wait(Mask, Error);
    // The batch's time: taken here, not when the window thread gets round
    // to it, so that a busy window thread does not stretch the gaps
    // between received bytes.
    const int64_t Time = VaMonotonicMicros();
    if (Terminated) break;
    if (Status != TVaWaitStatus::Failed) Failures = 0;
    switch (Status) {
      case TVaWaitStatus::Events:
        HungUp = false;
        Deliver(Mask, Time);
        break;
      case TVaWaitStatus::Hangup:
        // Deliver what came with the first report of a hang-up only, then
        // wait a while: the state lasts until the device comes back or the
        // port is closed. Reading what came usually meets the failure
        // first and names it; otherwise the hang-up itself is the loss.
        if (!HungUp) {
          Deliver(Mask, Time);
          if (!Terminated) ReportLoss(VaSubstitute("The device %s has hung up", {VaTextArg(DeviceShown)}));
        }
        HungUp = true;
        WaitEvent.WaitFor(VA_RETRY_PAUSE_MS);
        break;
      case TVaWaitStatus::Failed:
        ++Failures;
        if (VaIsDeviceGone(Error) || Failures >= VA_FAILED_WAITS_LOST)
          ReportLoss(VaCommErrorText("Error waiting for device events (%d), %s", Error));
        WaitEvent.WaitFor(VA_RETRY_PAUSE_MS);
        break;
      case TVaWaitStatus::Stopped: break;
    }
  }
  Waiter.reset();
  LeaveThread();
}

void TVaEventThreadState::Deliver(uint32_t Mask, int64_t Time) {
  if (Mask == 0 || Terminated) return;
  EvtMask = Mask;
  EvtTime = Time;
  // SyncEvents catches everything, so nothing comes back here.
  HandOver([this] { SyncEvents(); });
}

void TVaEventThreadState::ReportLoss(const std::string& Reason) {
  if (FLossReported || Terminated) return;
  FLossReported = true;
  // LoseDevice catches what the handler raises, so nothing comes back here.
  HandOver([this, &Reason] {
    if (!Released) Owner->LoseDevice(Reason);
  });
}

void TVaEventThreadState::SyncEvents() {
  if (Released) return;  // the port is closed or gone
  Owner->FRxEventTime = EvtTime;
  ReportEscaped(RunDelivery([this] {
    TVaCustomComm* Port = Owner;
    if (EvtMask & VA_EV_RXCHAR) {
      Port->DoRxChar();
      if (Released) return;  // the handler closed or destroyed the port
      EvtMask &= ~VA_EV_RXCHAR;
    }
    if (EvtMask != 0) Port->DoEvents(EvtMask);
  }));
}

// --- the write queue

TVaCommBuffer::TVaCommBuffer(int Capacity)
    : FData(new uint8_t[Capacity > 0 ? Capacity : 1]), FCapacity(Capacity > 0 ? Capacity : 0) {}

void TVaCommBuffer::Append(const void* Bytes, int Count) {
  const int32_t Size = FSize.load(std::memory_order_relaxed);
  std::memcpy(FData.get() + Size, Bytes, size_t(Count));
  FSize.store(Size + Count, std::memory_order_release);
}

void TVaCommBuffer::Remove(int Count) {
  const int32_t Size = FSize.load(std::memory_order_relaxed);
  if (Count > Size) Count = Size;
  std::memmove(FData.get(), FData.get() + Count, size_t(Size - Count));
  FSize.store(Size - Count, std::memory_order_release);
}

// --- the write thread

bool TVaWriteThreadState::Enqueue(const void* Buf, int Count, int32_t TimeoutMs) {
  const int64_t Capacity = Buffer.Capacity();
  if (int64_t(Buffer.Size()) + Count > Capacity) {
    // Poll for room, bounded by the time-out; yield so that the write
    // thread gets the core on a busy machine.
    const uint32_t Start = VaGetTickCount();
    while (int64_t(Buffer.Size()) + Count > Capacity) {
      if (Ended) return false;
      if (VaTickExpired(Start, VaGetTickCount(), TimeoutMs)) return false;
      std::this_thread::yield();
    }
  }
  std::lock_guard<TVaCriticalSection> Guard(*WriteLock);
  Buffer.Append(Buf, Count);
  DataEvent.Signal();
  return true;
}

void TVaWriteThreadState::Body() {
  EnterThread();
  try {
    while (!FTerminated) {
      const int Which = VaWaitForAny({&CloseEvent, &FlushEvent, &DataEvent}, VA_INFINITE);
      if (Which == 0) {
        FTerminated = true;
      } else if (Which == 1) {
        FlushEvent.Reset();
        FlushDoneEvent.Signal();
      } else if (Which == 2) {
        int Count;
        const uint8_t* Data;
        {
          std::lock_guard<TVaCriticalSection> Guard(*WriteLock);
          Count = Buffer.Size();
          Data = Buffer.Data();
          if (Count == 0) {
            DataEvent.Reset();
            continue;
          }
        }
        int Written = 0, AbortIndex = -1, Error = 0;
        switch (Writer->Write(Data, Count, Written, AbortIndex, Error)) {
          case TVaWriteStatus::Done: WriteDone(Written); break;
          case TVaWriteStatus::Aborted:
            if (AbortIndex == 0) {
              FTerminated = true;
            } else {
              if (Written > 0) WriteDone(Written);
              FlushEvent.Reset();
              FlushDoneEvent.Signal();
            }
            break;
          case TVaWriteStatus::Failed:
            HandOver([this, Error] { SyncWriteError(Error); });
            // The bytes stay queued; try again after a pause so that a
            // device that has gone away is not hammered.
            if (CloseEvent.WaitFor(VA_RETRY_PAUSE_MS) == wrSignaled) FTerminated = true;
            break;
        }
      } else {
        throw EVaCommError("The write thread's wait for its events failed");
      }
    }
  } catch (const std::exception& E) {
    // The thread ends here. WriteBuf refuses from now on, and the reason is
    // reported once on the window thread.
    EndReason = E.what();
    Ended = true;
    try {
      HandOver([this, &E] {
        if (!Released) Owner->ReportException(E);
      });
    } catch (...) {}
  }
  Writer.reset();
  LeaveThread();
}

void TVaWriteThreadState::WriteDone(int Written) {
  if (Written > 0) LastWriteTime->store(VaMonotonicMicros(), std::memory_order_release);
  bool Empty;
  {
    std::lock_guard<TVaCriticalSection> Guard(*WriteLock);
    Buffer.Remove(Written);
    Empty = Buffer.Size() == 0;
    if (Empty) DataEvent.Reset();
    else DataEvent.Signal();
  }
  if (Empty && ReportTxEmpty) HandOver([this] { SyncTxEmpty(); });
}

// An exception that escapes these ends the write thread (see Body).
void TVaWriteThreadState::SyncTxEmpty() {
  if (Released) return;
  if (const auto Escaped = RunDelivery([this] { Owner->DoEvents(VA_EV_TXEMPTY); })) std::rethrow_exception(Escaped);
}

void TVaWriteThreadState::SyncWriteError(int Error) {
  if (Released) return;
  const auto Escaped = RunDelivery([this, Error] {
    Owner->DoEvents(VA_EV_ERR);
    if (!Released && VaIsDeviceGone(Error)) Owner->LoseDevice(VaCommErrorText("Write error (%d), %s", Error));
  });
  if (Escaped) std::rethrow_exception(Escaped);
}

}  // namespace vacomm_detail
