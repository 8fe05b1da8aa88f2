// TVaPortKeeper: brings a port back after its device was lost.
//
// A K-line adapter on USB can be pulled out and plugged in again while the
// tester runs all day. The keeper watches one port for that: when the port
// reports the device lost, the keeper closes it (which frees the device
// name), and from then on its owner's Tick calls open the port again about
// once a second, with the same device name and settings, until that works.
//
// Use, all on the window thread (the thread that runs the port's
// hand-overs):
//   TVaPortKeeper Keeper(Port);      // becomes the port's OnDeviceLost handler
//   Port.Open(); Keeper.Opened();    // the first Open stays with the owner
//   ... every 100 to 250 ms: Keeper.Tick(milliseconds of a steady clock);
//   Port.Close(); Keeper.Closed();   // the owner closes: no more reopening
//
// The keeper takes the port's OnDeviceLost for itself (and clears it when
// destroyed); the owner hears of a loss through OnStateChange. The keeper
// must be destroyed before its port.
#pragma once

#include "vacomm.h"

#include <cstdint>
#include <functional>
#include <string>

enum class TVaKeeperState {
  Closed,     // not opened yet, or closed by the owner
  Open,       // the port is open
  Lost,       // the device was lost and the port closed; the first attempt is not due yet
  Reopening,  // attempts to open the port have failed so far
};

class TVaPortKeeper {
public:
  // Called with the new state and a text for the status line: the loss
  // reason for Lost, the failure of the first attempt for Reopening, empty
  // for Open and Closed.
  using TStateChangeEvent = std::function<void(TVaKeeperState State, const std::string& Text)>;

  // Time between two attempts to open the port again.
  static constexpr uint32_t RetryIntervalMs = 1000;

  explicit TVaPortKeeper(TVaCustomComm& Port);
  ~TVaPortKeeper();
  TVaPortKeeper(const TVaPortKeeper&) = delete;
  TVaPortKeeper& operator=(const TVaPortKeeper&) = delete;

  // The owner has opened the port itself: state Open.
  void Opened();
  // The owner has closed the port, or wants it left closed: state Closed,
  // and no more attempts.
  void Closed();
  // Called by the owner every 100 to 250 ms with a millisecond clock that
  // may wrap. While the device is lost, opens the port when an attempt is
  // due: the first RetryIntervalMs after the first Tick that follows the
  // loss, then every RetryIntervalMs. Failed attempts are not reported
  // again. Does nothing to the port otherwise; a port found closed in state
  // Open (the owner closed it without saying) gives state Closed.
  void Tick(uint32_t NowMs);

  TVaKeeperState State() const { return FState; }
  // Why the device was lost; kept while Lost or Reopening, empty otherwise.
  const std::string& Reason() const { return FReason; }
  // Attempts to open the port since the last loss.
  int Attempts() const { return FAttempts; }
  void SetOnStateChange(TStateChangeEvent Handler) { FOnStateChange = std::move(Handler); }

private:
  void DeviceLost(const std::string& Reason);
  void Attempt(uint32_t NowMs);
  void SetState(TVaKeeperState State, const std::string& Text);

  TVaCustomComm& FPort;
  TVaKeeperState FState = TVaKeeperState::Closed;
  std::string FReason;
  int FAttempts = 0;
  bool FDueSet = false;  // FDue holds the time of the next attempt
  uint32_t FDue = 0;
  TStateChangeEvent FOnStateChange;
};
