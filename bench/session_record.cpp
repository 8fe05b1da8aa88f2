#include "session_record.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// One entry as stored: 24 bytes. Its bytes lie in the pool at ByteIndex
// (chunk ByteIndex >> ChunkShift, offset within it the low bits); a run of
// bytes never spans two chunks.
struct TStored {
  int64_t TimeUs;
  uint32_t ByteIndex;
  uint16_t Length;
  TRecordKind Kind;
  TEcuOutcome Outcome;
  int32_t SpanUs;
  int32_t MaxGapUs;
};
static_assert(sizeof(TStored) == 24, "entries stay compact");

constexpr unsigned ChunkShift = 20;  // 1 MiB of bytes a chunk
constexpr size_t ChunkBytes = size_t(1) << ChunkShift;
constexpr size_t BlockEntries = 65536;
// The byte index is 32 bits: 4 GiB of bytes at most.
constexpr size_t MaxChunks = size_t(1) << (32 - ChunkShift);
// The longest run of bytes an entry keeps: frames are at most 260 bytes and
// a receive event's dropped bytes at most 1024; a change text is cut here.
constexpr size_t MaxRun = 4096;

int32_t ClampUs(int64_t Us) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(Us, std::numeric_limits<int32_t>::min() + 1, std::numeric_limits<int32_t>::max()));
}

}  // namespace

// The tables of blocks and chunks are reserved in full at the start, so they
// never move: a thread that writes the first entries to a file reads them
// while the window thread goes on appending.
struct TSessionRecord::TStore {
  TStore() {
    Blocks.reserve(TSessionRecord::MaxEntries / BlockEntries + 1);
    Chunks.reserve(MaxChunks);
  }
  std::vector<std::unique_ptr<TStored[]>> Blocks;
  size_t Count = 0;
  std::vector<std::unique_ptr<uint8_t[]>> Chunks;
  size_t ChunkUsed = ChunkBytes;  // bytes used in the last chunk

  TStored& At(size_t Index) { return Blocks[Index / BlockEntries][Index % BlockEntries]; }
  const TStored& At(size_t Index) const { return Blocks[Index / BlockEntries][Index % BlockEntries]; }

  bool Full(size_t Bytes) const {
    return this->Count >= TSessionRecord::MaxEntries || (ChunkUsed + Bytes > ChunkBytes && Chunks.size() >= MaxChunks);
  }

  // Copies Count bytes into the pool; returns their index.
  uint32_t Put(const void* Bytes, size_t Count) {
    if (ChunkUsed + Count > ChunkBytes) {
      Chunks.push_back(std::make_unique<uint8_t[]>(ChunkBytes));
      ChunkUsed = 0;
    }
    const uint32_t Index = static_cast<uint32_t>(((Chunks.size() - 1) << ChunkShift) | ChunkUsed);
    if (Count > 0) std::memcpy(Chunks.back().get() + ChunkUsed, Bytes, Count);
    ChunkUsed += Count;
    return Index;
  }

  std::string_view Bytes(const TStored& E) const {
    const uint8_t* Chunk = Chunks[E.ByteIndex >> ChunkShift].get();
    return {reinterpret_cast<const char*>(Chunk + (E.ByteIndex & (ChunkBytes - 1))), E.Length};
  }

  TStored& Push() {
    if (Count % BlockEntries == 0) Blocks.push_back(std::make_unique<TStored[]>(BlockEntries));
    return At(Count++);
  }
};

TSessionRecord::TSessionRecord(TClock Clock) : FClock(std::move(Clock)), FStore(std::make_unique<TStore>()) {}

TSessionRecord::~TSessionRecord() = default;

void TSessionRecord::Start() {
  if (!FStarted) {
    FStartUs = FClock();
    FStarted = true;
  }
  FRecording = true;
}

void TSessionRecord::Stop() {
  FRecording = false;
  FPendingFrame = SIZE_MAX;
}

void TSessionRecord::Clear() {
  FStore = std::make_unique<TStore>();
  FStarted = false;
  FLeftOut = 0;
  FPendingFrame = SIZE_MAX;
  if (FRecording) {
    FStartUs = FClock();
    FStarted = true;
  }
}

size_t TSessionRecord::Count() const { return FStore->Count; }

TRecordEntry TSessionRecord::Entry(size_t Index) const {
  const TStored& E = FStore->At(Index);
  // A fault hit keeps its action where a received frame keeps its span.
  if (E.Kind == TRecordKind::FaultHit)
    return {E.TimeUs, E.Kind, E.Outcome, 0, -1, FStore->Bytes(E), static_cast<TFaultAction>(E.SpanUs)};
  return {E.TimeUs, E.Kind, E.Outcome, E.SpanUs, E.MaxGapUs, FStore->Bytes(E)};
}

size_t TSessionRecord::BytesUsed() const {
  return FStore->Blocks.size() * BlockEntries * sizeof(TStored) + FStore->Chunks.size() * ChunkBytes;
}

void TSessionRecord::Add(int64_t TimeUs, TRecordKind Kind, TEcuOutcome Outcome, int32_t SpanUs, int32_t MaxGapUs,
                         const void* Bytes, size_t Count) {
  Count = std::min(Count, MaxRun);
  if (FStore->Full(Count)) {
    ++FLeftOut;
    return;
  }
  const uint32_t Index = FStore->Put(Bytes, Count);
  TStored& E = FStore->Push();
  E = {TimeUs, Index, static_cast<uint16_t>(Count), Kind, Outcome, SpanUs, MaxGapUs};
}

void TSessionRecord::Change(std::string_view What) {
  if (!FRecording) return;
  Add(FClock(), TRecordKind::Change, TEcuOutcome::Answered, 0, -1, What.data(), What.size());
}

void TSessionRecord::FrameReceived(const uint8_t* Bytes, int Count, const int64_t* PieceTimes, int Pieces) {
  FPendingFrame = SIZE_MAX;
  if (!FRecording) return;
  const int64_t First = Pieces > 0 ? PieceTimes[0] : FClock();
  const int64_t Last = Pieces > 0 ? PieceTimes[Pieces - 1] : First;
  int64_t MaxGap = -1;
  for (int I = 1; I < Pieces; ++I) MaxGap = std::max(MaxGap, PieceTimes[I] - PieceTimes[I - 1]);
  if (!FStore->Full(static_cast<size_t>(std::max(Count, 0)))) FPendingFrame = FStore->Count;
  // The outcome follows once the frame has been answered or not.
  Add(First, TRecordKind::Received, TEcuOutcome::Answered, ClampUs(Last - First), ClampUs(MaxGap), Bytes,
      static_cast<size_t>(std::max(Count, 0)));
}

void TSessionRecord::FrameOutcome(TEcuOutcome Outcome) {
  if (FPendingFrame < FStore->Count) FStore->At(FPendingFrame).Outcome = Outcome;
  FPendingFrame = SIZE_MAX;
}

void TSessionRecord::AnswerSent(const uint8_t* Bytes, int Count) {
  if (!FRecording) return;
  Add(FClock(), TRecordKind::Sent, TEcuOutcome::Answered, 0, -1, Bytes, static_cast<size_t>(std::max(Count, 0)));
}

void TSessionRecord::BytesDropped(const uint8_t* Bytes, int Count, int64_t Arrival, TEcuOutcome Why) {
  if (!FRecording) return;
  Add(Arrival, TRecordKind::Dropped, Why, 0, -1, Bytes, static_cast<size_t>(std::max(Count, 0)));
}

void TSessionRecord::FaultHit(const TFaultRule& Rule, size_t, uint64_t, int64_t) {
  if (!FRecording) return;
  const std::string Text = DescribeFaultRule(Rule);
  Add(FClock(), TRecordKind::FaultHit, TEcuOutcome::FaultRule, static_cast<int32_t>(Rule.Action), -1, Text.data(),
      Text.size());
}

void TSessionRecord::FaultFrameSent(const uint8_t* Bytes, int Count, int64_t) { AnswerSent(Bytes, Count); }

const char* OutcomeName(TEcuOutcome Outcome) {
  switch (Outcome) {
    case TEcuOutcome::Answered: return "answered";
    case TEcuOutcome::NoAnswerTicked: return "no_answer_ticked";
    case TEcuOutcome::OtherTarget: return "other_target";
    case TEcuOutcome::NotStarted: return "not_started";
    case TEcuOutcome::UnknownService: return "unknown_service";
    case TEcuOutcome::ConversionError: return "conversion_error";
    case TEcuOutcome::PortError: return "port_error";
    case TEcuOutcome::Functional: return "functional";
    case TEcuOutcome::Noise: return "noise";
    case TEcuOutcome::FragmentDropped: return "fragment_dropped";
    case TEcuOutcome::Paused: return "paused";
    case TEcuOutcome::FaultRule: return "fault_rule";
  }
  return "unknown";
}

const char* KindName(TRecordKind Kind) {
  switch (Kind) {
    case TRecordKind::Received: return "rx";
    case TRecordKind::Sent: return "tx";
    case TRecordKind::Dropped: return "drop";
    case TRecordKind::Change: return "op";
    case TRecordKind::FaultHit: return "fault";
  }
  return "unknown";
}
