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

bool RunTripClient(TVaLoop& Loop, TTripClient* Client, const std::function<bool()>& Done,
                   std::chrono::milliseconds Timeout) {
  // The client's deadline is in its own clock (a test's, maybe); the loop
  // waits on the steady clock for as long as is left of it.
  const auto NextDue = [Client]() -> std::optional<int64_t> {
    if (Client == nullptr) return std::nullopt;
    const int64_t Due = Client->NextDeadlineUs();
    if (Due == TKwpClient::Never) return std::nullopt;
    return VaMonotonicMicros() + (Due - Client->NowUs());
  };
  return Loop.Run(
      NextDue, [Client] { Client->Service(); }, Done, Timeout);
}
