#pragma once
// The virtual trip computer's side of the K-line: a KWP2000 (ISO 14230)
// tester that wakes the engine control unit with a fast init, polls the
// live data records of one unit variant and its fault codes, and keeps what
// a trip computer displays: the latest engine values, the fault codes and
// the trip (TTripModel of the bench, the same arithmetic as the scenario
// oracle's).
//
// TKwpClient is the protocol alone: no port, no thread, no clock. Its owner
// hands it the received bytes with the time they reached the port, calls
// Tick once NextDeadlineUs has come, and gives it a TKwpLink through which
// it sends frames and sets the break. Every time is in microseconds of one
// monotonic clock that the owner chooses, so that tests run it on a clock
// of their own. TTripClient (trip_client.h) binds it to a TVaComm.
//
// The dialogue, with ISO 14230-2 normal timing (TKwpTiming):
//   - Fast init: the line held low for 25 ms (break) and high for 25 ms,
//     then StartCommunication 81 11 F1 81 04. A port that cannot send a
//     break goes straight to the request. The answer must come from the
//     unit (0x11) to the tester (0xF1) with a good checksum and key bytes
//     that allow normal timing and addresses in the header; the key bytes
//     also say whether requests carry their length in the format byte or
//     in a length byte.
//   - Then, one request at a time: the fault codes (0x18) right away and
//     every FaultCodesUs; otherwise the variant's live data records (0x21)
//     in turn, every record that carries values in every cycle and each
//     fixed record once a connection; TesterPresent (0x3E) after
//     TesterPresentUs without a request, when there is nothing else to ask
//     (polling off, or waiting for the next poll cycle).
//   - A request goes out no sooner than P3min after the end of the last
//     answer. Its answer must begin within P2max of the request's end (its
//     echo's end when the adapter echoes), and its bytes must follow each
//     other within P1max.
//   - A negative response with code 0x78 (response pending) to the request
//     is not a failure: the answer is awaited for up to P2*max from its end,
//     as often as the unit says so.
//   - The adapter's echo of the request is recognised byte by byte and
//     removed; bytes that differ from the request are the answer.
//   - A request that gets no answer, a broken one, or one that is not its
//     answer (bad checksum, wrong addresses, a negative response, another
//     service, a record of the wrong length) is repeated, at most Repeats
//     times; then the client gives up on the unit (NoAnswer), pauses for
//     ReinitPauseUs and begins a new fast init, as long as it runs. A
//     StartCommunication that fails is not repeated: the pause and a new
//     fast init follow at once.
//
// Nothing the line brings can make it throw, loop or grow: bytes outside an
// awaited answer are counted and dropped, an answer is at most one frame
// (KwpMaxFrame bytes), and every Tick either acts or leaves a deadline
// after its own time.

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "kwp_frame.h"
#include "record_decode.h"
#include "trip_model.h"

// What the client needs of the K-line.
class TKwpLink {
public:
  virtual ~TKwpLink() = default;
  // Sends one frame; false when the port refused it (closed, failed). The
  // client then waits for the answer all the same and counts a port error.
  virtual bool Send(const uint8_t* Bytes, int Count) = 0;
  // Holds the line low (break) or releases it; false when the port cannot.
  virtual bool SetBreak(bool On) = 0;
};

// The timing, in microseconds. The defaults are ISO 14230-2 normal timing;
// tests and slow links may widen them.
struct TKwpTiming {
  int64_t P1MaxUs = 20000;        // longest gap between two bytes of an answer
  int64_t P2MaxUs = 50000;        // longest wait from a request's end to its answer's start
  int64_t P3MinUs = 55000;        // shortest pause from an answer's end to the next request
  int64_t P2StarMaxUs = 5000000;  // the wait after "response pending" (7F .. 78) for the answer
  int64_t WakeLowUs = 25000;      // fast init: the line held low ...
  int64_t WakeHighUs = 25000;     // ... then high, before StartCommunication
  // After giving up on the unit, before a new fast init (at least W5 = 300
  // ms of a quiet line).
  int64_t ReinitPauseUs = 1000000;
  // The longest silence of the tester while connected; well below P3max = 5
  // s, after which a unit ends the session.
  int64_t TesterPresentUs = 2000000;
  int64_t FaultCodesUs = 3000000;  // between two fault code requests
  int64_t PollPeriodUs = 0;        // from one poll cycle's start to the next (0: back to back)
  int64_t ByteUs = 962;            // one byte on the line: 10 bits at 10400 baud
  int Repeats = 2;                 // repeats of an unanswered request
};

// What the link indicator shows.
enum class TKwpLinkState : uint8_t {
  Stopped,    // not started
  Init,       // fast init and StartCommunication under way
  Connected,  // the last request was answered
  Retrying,   // a request went unanswered and is being repeated
  NoAnswer,   // the unit did not answer: pausing before a new fast init
};

// Why the last request failed.
enum class TKwpProblem : uint8_t {
  None,
  Timeout,      // no answer within P2max
  Broken,       // an answer began but stopped before its end
  Checksum,     // a frame with a wrong checksum
  Addresses,    // a frame not from the unit to the tester
  Negative,     // a negative response (7F)
  Unexpected,   // another service's answer, or a record of the wrong length or identifier
  KeyBytes,     // StartCommunication answered with key bytes the tester cannot use
  PortRefused,  // the port did not take the request
};

struct TKwpCounters {
  uint64_t Requests = 0;    // frames sent, repeats and StartCommunication included
  uint64_t Answers = 0;     // answers taken
  uint64_t Retries = 0;     // repeats sent
  uint64_t Timeouts = 0;    // requests that got no (complete) answer in time
  uint64_t BadFrames = 0;   // frames that were not the answer (see TKwpProblem)
  uint64_t Inits = 0;       // fast inits begun
  uint64_t Echoes = 0;      // echoes of a request removed
  uint64_t NoiseBytes = 0;  // bytes dropped outside any frame or answer
  uint64_t PortErrors = 0;  // requests that the port refused
  uint64_t Pending = 0;     // "response pending" answers (7F .. 78) waited out
};

enum class TKwpRequestKind : uint8_t { StartCommunication, ReadRecord, FaultCodes, TesterPresent };

class TKwpClient {
public:
  static constexpr uint8_t TesterAddress = 0xF1;
  static constexpr uint8_t UnitAddress = 0x11;
  static constexpr int64_t Never = INT64_MAX;

  explicit TKwpClient(TKwpLink& Link);

  // Settings; each may change at any time.
  void SetTiming(const TKwpTiming& Value) { FTiming = Value; }
  const TKwpTiming& Timing() const { return FTiming; }
  // The unit variant to poll (1, 2 or 3; other values are ignored). A
  // change forgets the values and the fixed records seen, and starts a new
  // poll cycle; the connection stays.
  void SetVariant(int Variant);
  int Variant() const { return FVariant; }
  // Polling the live data records on or off; fault codes and TesterPresent
  // go on while connected.
  void SetPolling(bool On) { FPolling = On; }
  bool Polling() const { return FPolling; }

  // Begins with a fast init at NowUs; nothing when already started.
  void Start(int64_t NowUs);
  // Stops at once: no more requests; a break held is released. Received
  // bytes are ignored until the next Start. Counters and values stay.
  void Stop();
  // Bytes received, ArrivalUs when they reached the port.
  void Received(const uint8_t* Bytes, int Count, int64_t ArrivalUs);
  // The time has come (NowUs at or after NextDeadlineUs): acts on it.
  void Tick(int64_t NowUs);
  // When Tick has something to do next; Never when stopped.
  int64_t NextDeadlineUs() const;

  TKwpLinkState State() const { return FState; }
  const TKwpCounters& Counters() const { return FCounters; }
  TKwpProblem LastProblem() const { return FLastProblem; }
  // An echo of a request has been seen since Start.
  bool AdapterEchoes() const { return FAdapterEchoes; }
  // The kind of the request on the line, while one is awaited.
  std::optional<TKwpRequestKind> Awaiting() const;

  // The latest value of each quantity that the variant's records carry, and
  // when its answer arrived; empty until one has.
  const std::optional<double>& Value(TLiveQuantity Quantity) const { return FValues[Index(Quantity)]; }
  int64_t ValueTimeUs(TLiveQuantity Quantity) const { return FValueTimes[Index(Quantity)]; }
  // The fault codes of the latest answer to 0x18, in the order sent.
  bool FaultCodesKnown() const { return FFaultCodesKnown; }
  const std::vector<TKwpFaultCode>& FaultCodes() const { return FFaultCodes; }
  // Live data answers taken since Start, per local identifier (0..15).
  uint64_t RecordsTaken(uint8_t LocalId) const { return LocalId < 16 ? FRecordsTaken[LocalId] : 0; }

  // The trip: every live data answer taken is a sample at its arrival time.
  TTripModel& Trip() { return FTrip; }
  const TTripModel& Trip() const { return FTrip; }
  TTripReadings TripReadings(int64_t NowUs) const { return FTrip.Readings(NowUs); }
  void ResetTrip() { FTrip.Reset(); }

private:
  enum class TPhase : uint8_t { Stopped, WakeLow, WakeHigh, Awaiting, Idle, Pause };

  struct TRequest {
    TKwpRequestKind Kind = TKwpRequestKind::TesterPresent;
    uint8_t Service = 0;
    uint8_t LocalId = 0;
    int Variant = 0;
    std::vector<uint8_t> Frame;
    int Attempts = 0;  // times sent
  };

  static size_t Index(TLiveQuantity Q) { return static_cast<size_t>(Q); }

  void BeginInit(int64_t NowUs);
  void Send(TRequest Request, int64_t NowUs);
  void Resend(int64_t NowUs);
  // Idle: sends what is due at NowUs, or sets FNextSendUs to when something is.
  void SendNext(int64_t NowUs);
  std::optional<uint8_t> NextRecord(int64_t NowUs, int64_t& DueUs);
  TRequest MakeRequest(TKwpRequestKind Kind, std::vector<uint8_t> Data, uint8_t LocalId = 0) const;
  void Feed(uint8_t Byte, int64_t ArrivalUs);
  void TakeFrame(int64_t EndUs);
  // The frame in FRx is the answer to FRequest, or it is not (Problem set).
  bool Accept(const TKwpFrame& Frame, int64_t EndUs, TKwpProblem& Problem);
  void Failed(TKwpProblem Problem, int64_t NowUs);
  void GiveUp(int64_t NowUs);
  void ForgetPolling();

  TKwpLink& FLink;
  TKwpTiming FTiming;
  int FVariant = 1;
  bool FPolling = true;

  TPhase FPhase = TPhase::Stopped;
  TKwpLinkState FState = TKwpLinkState::Stopped;
  TKwpProblem FLastProblem = TKwpProblem::None;
  TKwpCounters FCounters;
  bool FAdapterEchoes = false;
  bool FLongRequests = false;  // the unit's key bytes ask for the length byte

  int64_t FPhaseEndUs = 0;        // WakeLow, WakeHigh, Pause: when the phase ends
  int64_t FNextSendUs = 0;        // Idle: when SendNext has something to do
  int64_t FEarliestSendUs = 0;    // P3min after the last answer
  int64_t FAnswerDeadlineUs = 0;  // Awaiting: P2max, or P1max once the answer began
  int64_t FLastRequestUs = 0;
  int64_t FFaultCodesDueUs = 0;
  bool FRepeatDue = false;    // Idle: FRequest is to be repeated
  bool FSendRefused = false;  // Awaiting: the port did not take the request

  TRequest FRequest;  // the request on the line, or the one to repeat
  std::array<uint8_t, KwpMaxFrame> FRx{};
  int FRxCount = 0;
  int FEchoMatched = 0;  // bytes of the request matched as its echo; -1: no echo
  bool FAnswerBegun = false;

  std::vector<uint8_t> FCycle;  // the local identifiers of this poll cycle
  size_t FCycleIndex = 0;
  int64_t FCycleStartUs = 0;
  bool FCycleStarted = false;
  std::bitset<16> FFixedSeen;  // fixed records taken this connection

  std::array<std::optional<double>, LiveQuantityCount> FValues{};
  std::array<int64_t, LiveQuantityCount> FValueTimes{};
  std::array<uint64_t, 16> FRecordsTaken{};
  bool FFaultCodesKnown = false;
  std::vector<TKwpFaultCode> FFaultCodes;
  TTripModel FTrip;
};

// "Init", "Connected", ...: for messages and test failures.
const char* KwpLinkStateName(TKwpLinkState State);
const char* KwpProblemName(TKwpProblem Problem);
