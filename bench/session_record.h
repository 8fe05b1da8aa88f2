#pragma once
// The record of a session on the line: every frame received and every answer
// sent, the bytes dropped outside frames, and the operator's changes that
// alter answers, each with a monotonic time in microseconds.
//
// Times of received bytes are the arrival times the port gives for their
// receive events (when the bytes reached the port, not when the window got
// round to them); the time of an answer is taken when it is handed to the
// port's write queue, from which the port's write thread sends it at once.
// Both are on one clock, the steady clock that the port uses.
//
// The record listens to the emulator (TEcuObserver) and to the fault engine
// (TFaultListener: each rule's hits, and the frames the engine held and
// wrote later, as answers sent when they are written) and changes nothing
// of what they do. Entries are kept compactly (24 bytes each, the bytes in a
// chunked pool that never moves), so a day of polling, a million requests
// and their answers, takes about 75 MB; past MaxEntries the record stops
// taking entries and counts what it left out.
//
// No Qt: the window and the command-line program are faces of it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ecu_interfaces.h"
#include "fault_engine.h"

enum class TRecordKind : uint8_t {
  Received,  // a complete frame from the line
  Sent,      // an answer handed to the port
  Dropped,   // bytes read and dropped outside any frame
  Change,    // the operator changed something that alters answers
  FaultHit,  // a fault rule took a request
};

// One entry as read back.
struct TRecordEntry {
  int64_t TimeUs = 0;  // received: arrival of the first byte's event
  TRecordKind Kind = TRecordKind::Received;
  TEcuOutcome Outcome = TEcuOutcome::Answered;  // received and dropped only
  // Received: from the first to the last receive event of the frame, and
  // the longest silence between two of them (-1: the frame came in one).
  int32_t SpanUs = 0;
  int32_t MaxGapUs = -1;
  // The bytes; for a change, its text ("EditIMAP=12.7", "Variant=2", ...);
  // for a fault hit, the rule's name or description.
  std::string_view Bytes;
  TFaultAction Action = TFaultAction::NoAnswer;  // fault hits only
};

class TSessionRecord : public TEcuObserver, public TFaultListener {
public:
  using TClock = std::function<int64_t()>;
  static constexpr size_t MaxEntries = 16'000'000;

  // Clock: microseconds of the clock the port's arrival times are on.
  explicit TSessionRecord(TClock Clock);
  ~TSessionRecord() override;

  // Recording is off at start; entries are taken only while it is on.
  void Start();
  void Stop();
  bool Recording() const { return FRecording; }
  // Forgets every entry.
  void Clear();

  size_t Count() const;
  TRecordEntry Entry(size_t Index) const;
  // Entries not taken because the record was full.
  uint64_t LeftOut() const { return FLeftOut; }
  // Memory held by the entries and their bytes.
  size_t BytesUsed() const;
  // The time the record counts from (its first Start since Clear).
  int64_t StartUs() const { return FStartUs; }

  // The operator changed something that alters answers (a field text, a
  // tick, the variant, "Pause", "Нет ответа"): What = "EditIMAP=12.7".
  void Change(std::string_view What);

  // TEcuObserver
  void FrameReceived(const uint8_t* Bytes, int Count, const int64_t* PieceTimes, int Pieces) override;
  void FrameOutcome(TEcuOutcome Outcome) override;
  void AnswerSent(const uint8_t* Bytes, int Count) override;
  void BytesDropped(const uint8_t* Bytes, int Count, int64_t Arrival, TEcuOutcome Why) override;

  // TFaultListener: a hit is kept with the rule's text and action at the
  // time it is told; a held frame as an answer sent.
  void FaultHit(const TFaultRule& Rule, size_t Index, uint64_t Hits, int64_t NowUs) override;
  void FaultFrameSent(const uint8_t* Bytes, int Count, int64_t NowUs) override;

private:
  struct TStore;
  void Add(int64_t TimeUs, TRecordKind Kind, TEcuOutcome Outcome, int32_t SpanUs, int32_t MaxGapUs, const void* Bytes,
           size_t Count);

  TClock FClock;
  std::unique_ptr<TStore> FStore;
  bool FRecording = false;
  bool FStarted = false;
  int64_t FStartUs = 0;
  uint64_t FLeftOut = 0;
  // The entry of the frame whose outcome is still to come.
  size_t FPendingFrame = SIZE_MAX;
};

// The name other tools read for an outcome ("answered", "other_target", ...).
const char* OutcomeName(TEcuOutcome Outcome);
const char* KindName(TRecordKind Kind);
