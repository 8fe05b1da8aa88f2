// A K-line on a clock of the test's own, between the trip client and the
// emulated unit: what the client sends reaches the emulator when its last
// byte is out, the unit's answer begins AnswerDelayUs later, and an adapter
// that echoes hands the request back as soon as it is out. The adapter
// passes every byte to the client LatencyUs after it was on the line.
// Between the two ends the test can alter, drop or add bytes, play noise,
// refuse the break, and unplug the unit. Nothing here sleeps: Run moves the
// clock from event to event.
#pragma once

#include "fakes.h"
#include "kwp_client.h"

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

constexpr int64_t Ms = 1000;

class TSimLine : public TKwpLink {
public:
  struct TSent {
    int64_t TimeUs;
    TBytes Bytes;
  };
  struct TBreak {
    int64_t TimeUs;
    bool On;
  };
  struct TDelivery {
    int64_t TimeUs;
    TBytes Bytes;
  };

  TSimLine();

  bool Send(const uint8_t* Bytes, int Count) override;
  bool SetBreak(bool On) override;

  // Bytes that reach the client at TimeUs.
  void Deliver(int64_t TimeUs, TBytes Bytes);
  // Starts the client now.
  void Start() { Client.Start(Now); }
  // Moves the clock from event to event (deliveries, the client's
  // deadlines) up to UntilUs, or until Done holds; true when it does. Fails
  // the test when a Tick leaves a deadline that is not after its own time
  // while nothing else happens (a spinning client).
  bool Run(int64_t UntilUs, const std::function<bool()>& Done = nullptr);
  bool RunFor(int64_t Us, const std::function<bool()>& Done = nullptr) { return Run(Now + Us, Done); }

  // The services of the requests sent since Index, in order.
  std::vector<uint8_t> ServicesFrom(size_t Index) const;
  // Everything the client was given, with its time.
  std::vector<TDelivery> Delivered;

  int64_t Now = 1000 * Ms;
  TEcuBench Unit;
  TKwpClient Client{*this};
  std::vector<TSent> Sent;
  std::vector<TBreak> Breaks;
  uint64_t Ticks = 0;

  // The line's behaviour, changed by the tests at will.
  int64_t AnswerDelayUs = 10 * Ms;  // from the request's end to the answer's first byte
  int64_t LatencyUs = 0;            // from the line to the client
  bool Echo = false;
  bool CanBreak = true;
  bool Refuse = false;     // the port refuses every request
  bool Unplugged = false;  // requests reach nothing
  // Applied to every answer of the unit before it reaches the client; an
  // empty result drops it.
  std::function<TBytes(const TBytes& Request, const TBytes& Answer)> Alter;

private:
  std::multimap<int64_t, TBytes> FQueue;
};

// A frame from its bytes, the checksum appended (fakes.h has WithChecksum).
inline TBytes Frame(TBytes Bytes) { return WithChecksum(std::move(Bytes)); }
