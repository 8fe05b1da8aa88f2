#pragma once
// The virtual trip computer's KWP2000 client on a serial port component,
// and its run without a window.
//
// TTripClient binds a TKwpClient to a TVaCustomComm set up for the K-line
// (VaSetUpKLinePort, a hand-over to the owner's thread): the bytes of each
// receive event go to the client with the time they reached the port,
// requests go out through WriteBuf and the fast init's break through
// SetBreak. Everything runs on the thread that runs the port's hand-overs;
// the owner calls Service once NowUs has reached NextDeadlineUs (a window
// with a single-shot timer, RunTripClient without one). Port failures never
// leave the binding: a request the port refuses counts as unanswered, and
// the text of the failure is kept for the status line. When the device
// goes away and comes back (TVaPortKeeper reopens the port), the client's
// re-init finds the unit again.

#include "kwp_client.h"
#include "valoop.h"
#include "vacomm.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class TTripClient {
public:
  using TClock = std::function<int64_t()>;
  using TNotify = std::function<void()>;

  // Takes the port's OnRxChar. Clock: microseconds of a monotonic clock;
  // without one, VaMonotonicMicros, and received bytes are dated by the
  // port's RxEventTime (when they reached the port, however late the
  // owner's thread got to them).
  explicit TTripClient(TVaCustomComm& Port, TClock Clock = nullptr);
  // Releases OnRxChar and a break still held.
  ~TTripClient();
  TTripClient(const TTripClient&) = delete;
  TTripClient& operator=(const TTripClient&) = delete;

  TKwpClient& Client() { return FClient; }
  const TKwpClient& Client() const { return FClient; }
  TVaCustomComm& Port() { return FPort; }
  int64_t NowUs() const { return FClock(); }

  // Opens the port when it is closed (which may raise EVaCommError) and
  // starts the client with a fast init.
  void Start();
  // Stops the client; the port stays as it is.
  void Stop();
  // Lets the client act on the time: call once NowUs() has reached
  // NextDeadlineUs(); calling earlier does no harm.
  void Service();
  int64_t NextDeadlineUs() const { return FClient.NextDeadlineUs(); }

  // The message of the port's last failure in a read, a write or a break;
  // empty when there was none.
  const std::string& PortError() const { return FPortError; }
  // Called after received bytes or Service, for a display to follow.
  void SetOnUpdate(TNotify Handler) { FOnUpdate = std::move(Handler); }

private:
  class TLink : public TKwpLink {
  public:
    explicit TLink(TTripClient& Owner) : FOwner(Owner) {}
    bool Send(const uint8_t* Bytes, int Count) override;
    bool SetBreak(bool On) override;

  private:
    TTripClient& FOwner;
  };

  void RxChar(int Count);
  void Updated() {
    if (FOnUpdate) FOnUpdate();
  }

  TVaCustomComm& FPort;
  TClock FClock;
  bool FPortClock;  // received bytes dated by the port's RxEventTime
  TLink FLink{*this};
  TKwpClient FClient{FLink};
  bool FBreakHeld = false;
  std::string FPortError;
  TNotify FOnUpdate;
};

// Runs Loop with Client's deadlines as its timer (Client may be null) until
// Done holds or Timeout has passed; returns whether Done held. The headless
// runs of the client (self-test, tests) use it as a window uses its timer.
bool RunTripClient(TVaLoop& Loop, TTripClient* Client, const std::function<bool()>& Done,
                   std::chrono::milliseconds Timeout);
