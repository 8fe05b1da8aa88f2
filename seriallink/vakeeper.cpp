#include "vakeeper.h"

#include <exception>

namespace {
// True when the wrapping millisecond clock has reached Due.
bool Reached(uint32_t Now, uint32_t Due) { return int32_t(Now - Due) >= 0; }
}  // namespace

TVaPortKeeper::TVaPortKeeper(TVaCustomComm& Port) : FPort(Port) {
  FPort.SetOnDeviceLost([this](TVaCustomComm*, const std::string& Reason) { DeviceLost(Reason); });
}

TVaPortKeeper::~TVaPortKeeper() { FPort.SetOnDeviceLost(nullptr); }

void TVaPortKeeper::Opened() { SetState(TVaKeeperState::Open, std::string()); }

void TVaPortKeeper::Closed() { SetState(TVaKeeperState::Closed, std::string()); }

void TVaPortKeeper::DeviceLost(const std::string& Reason) {
  // Closing lets go of the device, so that the same name opens again once
  // the device is back; the settings stay with the port.
  FPort.Close();
  FAttempts = 0;
  FDueSet = false;  // the time of the loss is learnt at the next Tick
  SetState(TVaKeeperState::Lost, Reason);
}

void TVaPortKeeper::Tick(uint32_t NowMs) {
  switch (FState) {
    case TVaKeeperState::Closed: return;
    case TVaKeeperState::Open:
      if (!FPort.Active()) SetState(TVaKeeperState::Closed, std::string());
      return;
    case TVaKeeperState::Lost:
    case TVaKeeperState::Reopening:
      if (FPort.Active()) {  // the owner has opened it again itself
        SetState(TVaKeeperState::Open, std::string());
        return;
      }
      if (!FDueSet) {
        FDue = NowMs + RetryIntervalMs;
        FDueSet = true;
        return;
      }
      if (Reached(NowMs, FDue)) Attempt(NowMs);
      return;
  }
}

void TVaPortKeeper::Attempt(uint32_t NowMs) {
  FDue = NowMs + RetryIntervalMs;
  ++FAttempts;
  try {
    FPort.Open();
  } catch (const std::exception& E) {
    // Only the first failure changes the state; the rest are expected while
    // the device is away.
    if (FState != TVaKeeperState::Reopening) SetState(TVaKeeperState::Reopening, E.what());
    return;
  }
  SetState(TVaKeeperState::Open, std::string());
}

void TVaPortKeeper::SetState(TVaKeeperState State, const std::string& Text) {
  if (State == TVaKeeperState::Open || State == TVaKeeperState::Closed) {
    FReason.clear();
  } else if (State == TVaKeeperState::Lost) {
    FReason = Text;
  }
  if (State == FState) return;
  FState = State;
  if (FOnStateChange) {
    const TStateChangeEvent Handler = FOnStateChange;
    Handler(State, Text);
  }
}
