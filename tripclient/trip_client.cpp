#include "trip_client.h"

#include <algorithm>

TTripClient::TTripClient(TVaCustomComm& Port, TClock Clock)
    : FPort(Port), FClock(Clock ? std::move(Clock) : TClock(VaMonotonicMicros)), FPortClock(!Clock) {
  FPort.SetOnRxChar([this](TVaCustomComm*, int Count) { RxChar(Count); });
}

TTripClient::~TTripClient() {
  FPort.SetOnRxChar(nullptr);
  if (FBreakHeld) {
    try {
      FPort.SetBreak(false);
    } catch (const EVaCommError&) {
      // The port is failing anyway; nothing more to release.
    }
  }
}

void TTripClient::Start() {
  if (!FPort.Active()) FPort.Open();
  FPortError.clear();
  FClient.Start(NowUs());
  Updated();
}

void TTripClient::Stop() {
  FClient.Stop();
  Updated();
}

void TTripClient::Service() {
  FClient.Tick(NowUs());
  Updated();
}

void TTripClient::RxChar(int Count) {
  // One event's bytes all carry the event's time: they were waiting
  // together when the port reported them.
  const int64_t Arrival = FPortClock && FPort.RxEventTime() != 0 ? FPort.RxEventTime() : NowUs();
  uint8_t Buffer[256];
  try {
    while (Count > 0) {
      const int Got = FPort.ReadBuf(Buffer, std::min<int>(Count, sizeof Buffer));
      if (Got <= 0) break;
      FClient.Received(Buffer, Got, Arrival);
      Count -= Got;
    }
  } catch (const EVaCommError& E) {
    FPortError = E.what();
  }
  Updated();
}

bool TTripClient::TLink::Send(const uint8_t* Bytes, int Count) {
  try {
    return FOwner.FPort.WriteBuf(Bytes, Count) == Count;
  } catch (const EVaCommError& E) {
    FOwner.FPortError = E.what();
    return false;
  }
}

bool TTripClient::TLink::SetBreak(bool On) {
  if (!FOwner.FPort.Active()) return false;
  try {
    FOwner.FPort.SetBreak(On);
    FOwner.FBreakHeld = On;
    return true;
  } catch (const EVaCommError& E) {
    FOwner.FPortError = E.what();
    return false;
  }
}

// ---------------------------------------------------------------------------
// TTripLoop

void TTripLoop::Synchronize(const std::function<void()>& Call) {
  auto Item = std::make_shared<TItem>();
  Item->Call = Call;
  Item->Waited = true;
  std::unique_lock<std::mutex> Lock(FLock);
  if (FShutdown) return;
  FQueue.push_back(Item);
  FChanged.notify_all();
  FChanged.wait(Lock, [&] { return Item->Done; });
}

void TTripLoop::Post(std::function<void()> Call) {
  auto Item = std::make_shared<TItem>();
  Item->Call = std::move(Call);
  std::lock_guard<std::mutex> Lock(FLock);
  if (FShutdown) return;
  FQueue.push_back(Item);
  FChanged.notify_all();
}

bool TTripLoop::RunUntil(TTripClient* Client, const std::function<bool()>& Done, std::chrono::milliseconds Timeout) {
  using TSteady = std::chrono::steady_clock;
  const TSteady::time_point End = TSteady::now() + Timeout;
  for (;;) {
    if (Done && Done()) return true;
    std::shared_ptr<TItem> Item;
    {
      std::lock_guard<std::mutex> Lock(FLock);
      if (!FQueue.empty() && !FShutdown) {
        Item = FQueue.front();
        FQueue.pop_front();
      }
    }
    if (Item) {
      Item->Call();
      std::lock_guard<std::mutex> Lock(FLock);
      Item->Done = true;
      FChanged.notify_all();
      continue;
    }
    TSteady::time_point WakeAt = End;
    if (Client) {
      const int64_t Due = Client->NextDeadlineUs();
      if (Due != TKwpClient::Never) {
        const int64_t Left = Due - Client->NowUs();
        if (Left <= 0) {
          Client->Service();
          continue;
        }
        WakeAt = std::min(WakeAt, TSteady::now() + std::chrono::microseconds(Left));
      }
    }
    if (TSteady::now() >= End) return Done ? Done() : false;
    std::unique_lock<std::mutex> Lock(FLock);
    FChanged.wait_until(Lock, WakeAt, [&] { return !FQueue.empty() || FShutdown; });
    if (FShutdown) return Done ? Done() : false;
  }
}

void TTripLoop::Shutdown() {
  std::lock_guard<std::mutex> Lock(FLock);
  FShutdown = true;
  for (const std::shared_ptr<TItem>& Item : FQueue) Item->Done = true;
  FQueue.clear();
  FChanged.notify_all();
}
