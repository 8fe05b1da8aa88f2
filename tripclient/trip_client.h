#pragma once
// The virtual trip computer's KWP2000 client on a serial port component,
// and a loop that runs it without a window.
//
// TTripClient binds a TKwpClient to a TVaCustomComm set up for the K-line
// (VaSetUpKLinePort, a hand-over to the owner's thread): the bytes of each
// receive event go to the client with the time they reached the port,
// requests go out through WriteBuf and the fast init's break through
// SetBreak. Everything runs on the thread that runs the port's hand-overs;
// the owner calls Service once NowUs has reached NextDeadlineUs (a window
// with a single-shot timer, TTripLoop without one). Port failures never
// leave the binding: a request the port refuses counts as unanswered, and
// the text of the failure is kept for the status line. When the device
// goes away and comes back (TVaPortKeeper reopens the port), the client's
// re-init finds the unit again.

#include "kwp_client.h"
#include "vacomm.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
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

// A window thread without a window, for the command line and the tests:
// runs the port's hand-overs and a trip client's deadlines on the thread
// that calls RunUntil. Give it to the port as its synchronizer (shared: the
// port's worker threads may outlive their port and keep it).
class TTripLoop : public TVaSynchronizer {
public:
  // A worker's hand-over: waits until the call has run on the loop's
  // thread, or returns at once after Shutdown.
  void Synchronize(const std::function<void()>& Call) override;
  // Queues Call to run on the loop's thread and returns at once (any
  // thread). Dropped after Shutdown.
  void Post(std::function<void()> Call);
  // Runs queued calls and, whenever its deadline has come, Client's
  // Service (Client may be null) until Done holds (it is looked at before
  // waiting and after everything that runs) or Timeout has passed; returns
  // Done(). Hand-overs run before a deadline that is due: bytes that reached
  // the port before it are seen before it is acted on.
  bool RunUntil(TTripClient* Client, const std::function<bool()>& Done, std::chrono::milliseconds Timeout);
  // From now on, queued and later calls return without running.
  void Shutdown();

private:
  struct TItem {
    std::function<void()> Call;
    bool Waited = false;  // a worker waits for it
    bool Done = false;
  };
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::shared_ptr<TItem>> FQueue;
  bool FShutdown = false;
};
