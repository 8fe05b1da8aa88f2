// Request assembly, the answer stage, the frame composer, the monitor line and
// the communication and session services.

#include "ecu_emulator.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "numtext.h"

namespace {

// Service identifiers of the requests answered.
constexpr uint8_t StartCommunication = 0x81;
constexpr uint8_t StopCommunication = 0x82;
constexpr uint8_t StartDiagnosticSession = 0x10;
constexpr uint8_t TesterPresent = 0x3E;
constexpr uint8_t ReadDataByLocalIdentifier = 0x21;
constexpr uint8_t ReadDtcByStatus = 0x18;

// The format byte of a long header; short headers carry the length in it.
constexpr uint8_t LongFormat = 0x80;
constexpr int MaxShortLength = 63;
constexpr int MaxLongLength = 255;

}  // namespace

TEcuEmulator::TEcuEmulator(TEcuPort& Port, TEcuPanel& Panel) : Port(Port), Panel(Panel) { FormCreate(); }

void TEcuEmulator::FormCreate() {
  RxBuffer.fill(0);
  PartialFrame.fill(0);
  PartialCount = 0;
  RequestPending = false;
  HeaderLength = 3;
  PendingDataLength = 0;
  RequestTarget = 0;
  RequestSource = 0;
  RequestData.fill(0);
  CommunicationActive = false;
  TxFrame.fill(0);
  PendingArrival = 0;
  FramesReceived = 0;
  AnswersSent = 0;
  FragmentsDropped = 0;
  EventError = nullptr;
  FHoldAnswer = false;
  FHeldLength = 0;
  FTakenByRule = false;
  FRequestLength = 0;
  FEventArrival = 0;
}

void TEcuEmulator::RxChar(int Count) {
  const int64_t Arrival = Port.RxEventTime();
  EventError = nullptr;
  // More bytes than the receive buffer holds are read and handled in
  // buffer-sized pieces, so nothing is left behind in the port's queue.
  while (Count > 0) {
    const int Wanted = std::min(Count, BufferSize);
    int Read = Port.ReadBuf(RxBuffer.data(), Wanted);
    if (Read <= 0) break;
    Read = std::min(Read, Wanted);
    Count -= Wanted;
    // "Pause" discards what was read: no line, no assembly, no answer.
    if (Panel.PauseChecked()) {
      Dropped(RxBuffer.data(), Read, Arrival, TEcuOutcome::Paused);
      continue;
    }
    ProcessEvent(Read, Arrival);
  }
  if (EventError) std::rethrow_exception(std::exchange(EventError, nullptr));
}

namespace {

// The header size a format byte announces: a length byte follows the
// addresses when the format byte's length bits are 0 (0x80, 0xC0).
uint8_t HeaderLengthOf(uint8_t Format) { return (Format & 0x3F) == 0 ? 4 : 3; }

}  // namespace

void TEcuEmulator::ProcessEvent(int Length, int64_t Arrival) {
  // Bytes after a silence longer than any tester leaves within a request
  // start a new request; the fragment before them was a broken transmission.
  if (RequestPending && Arrival - PendingArrival > MaxRequestGapUs) DropPending();
  ++EventSerial;
  FEventArrival = Arrival;
  int Pos = 0;
  while (Pos < Length) {
    if (!RequestPending) {
      // Only a format byte with address information begins a frame; any
      // other byte is line noise (a wake-up 00, a stray byte) and skipped.
      const int NoiseStart = Pos;
      while (Pos < Length && RxBuffer[static_cast<size_t>(Pos)] < LongFormat) ++Pos;
      Dropped(RxBuffer.data() + NoiseStart, Pos - NoiseStart, Arrival, TEcuOutcome::Noise);
      if (Pos == Length) break;
      const uint8_t Format = RxBuffer[static_cast<size_t>(Pos)];
      PieceCount = 0;
      NotePiece(Arrival);
      HeaderLength = HeaderLengthOf(Format);
      const int Available = Length - Pos;
      const uint8_t* Start = RxBuffer.data() + Pos;
      int FrameLength = 0;  // 0: not known yet (long header without its length byte)
      if (HeaderLength == 3) {
        PendingDataLength = Format & 0x3F;
        FrameLength = PendingDataLength + 4;
      } else if (Available >= 4) {
        PendingDataLength = Start[3];
        FrameLength = PendingDataLength + 5;
      }
      if (FrameLength != 0 && Available >= FrameLength) {
        HandleFrame(Start, FrameLength);
        Pos += FrameLength;
        continue;
      }
      // The frame goes on in a later event.
      std::memcpy(PartialFrame.data(), Start, static_cast<size_t>(Available));
      PartialCount = Available;
      RequestPending = true;
      break;
    }
    // Continuation: take what the frame still needs, first the length byte
    // of a long header.
    NotePiece(Arrival);
    const bool LengthKnown = HeaderLength == 3 || PartialCount >= 4;
    const int Needed = LengthKnown ? PendingDataLength + HeaderLength + 1 - PartialCount : 4 - PartialCount;
    const int Take = std::min(Needed, Length - Pos);
    std::memcpy(PartialFrame.data() + PartialCount, RxBuffer.data() + Pos, static_cast<size_t>(Take));
    PartialCount += Take;
    Pos += Take;
    if (!LengthKnown) {
      if (PartialCount < 4) break;
      // The length byte is in; the rest of the frame may follow in this event.
      PendingDataLength = PartialFrame[3];
    }
    if (PartialCount < PendingDataLength + HeaderLength + 1) continue;
    const int FrameBytes = PartialCount;
    RequestPending = false;
    PartialCount = 0;
    HandleFrame(PartialFrame.data(), FrameBytes);
  }
  if (RequestPending) PendingArrival = Arrival;
}

void TEcuEmulator::HandleFrame(const uint8_t* Frame, int FrameLength) {
  HeaderLength = HeaderLengthOf(Frame[0]);
  PendingDataLength = 0;
  if (Observer != nullptr) Observer->FrameReceived(Frame, FrameLength, PieceTimes.data(), PieceCount);
  // Functional addressing (format byte 0xC0..0xFF) is for every unit on the
  // line at once, which this one does not take part in: no line, no answer.
  if (Frame[0] >= 0xC0) {
    if (Observer != nullptr) Observer->FrameOutcome(TEcuOutcome::Functional);
    return;
  }
  RequestTarget = Frame[1];
  RequestSource = Frame[2];
  const int DataLength = FrameLength - HeaderLength - 1;
  std::memcpy(RequestData.data(), Frame + HeaderLength, static_cast<size_t>(DataLength));
  FRequestLength = DataLength;
  FTakenByRule = false;
  ++FramesReceived;
  LogFrame(Frame, FrameLength);
  // A request that cannot be answered for a bad field text must not cost the
  // frames after it in the same event their answers. A port error ends the
  // event: the answers after it would only wait for the same port.
  const uint64_t AnswersBefore = AnswersSent;
  try {
    AnswerRequest();
  } catch (const EConvertError&) {
    if (Observer != nullptr) Observer->FrameOutcome(TEcuOutcome::ConversionError);
    if (!EventError) EventError = std::current_exception();
    return;
  } catch (...) {
    if (Observer != nullptr) Observer->FrameOutcome(TEcuOutcome::PortError);
    throw;
  }
  if (Observer == nullptr) return;
  if (FTakenByRule) Observer->FrameOutcome(TEcuOutcome::FaultRule);
  else Observer->FrameOutcome(AnswersSent > AnswersBefore ? TEcuOutcome::Answered : Unanswered());
}

TEcuOutcome TEcuEmulator::Unanswered() const {
  if (Panel.NoAnswerChecked()) return TEcuOutcome::NoAnswerTicked;
  const uint8_t Service = RequestData[0];
  if (RequestTarget != EcuAddress && Service != ReadDtcByStatus) return TEcuOutcome::OtherTarget;
  if (Service == ReadDataByLocalIdentifier && !CommunicationActive) return TEcuOutcome::NotStarted;
  return TEcuOutcome::UnknownService;
}

void TEcuEmulator::NotePiece(int64_t Arrival) {
  if (PieceEvent == EventSerial && PieceCount > 0) return;
  PieceEvent = EventSerial;
  if (PieceCount < static_cast<int>(PieceTimes.size())) PieceTimes[static_cast<size_t>(PieceCount++)] = Arrival;
}

void TEcuEmulator::DropPending() {
  Dropped(PartialFrame.data(), PartialCount, PendingArrival, TEcuOutcome::FragmentDropped);
  RequestPending = false;
  PartialCount = 0;
  PendingDataLength = 0;
  ++FragmentsDropped;
}

void TEcuEmulator::AnswerRequest() {
  if (Panel.NoAnswerChecked()) return;
  // With a filter, the answer to a request for this unit is built but held
  // back until the filter has had its say. Requests for other units (and
  // the adapter's echo of our own answers) never reach it.
  if (FAnswerFilter == nullptr || RequestTarget != EcuAddress) {
    Dispatch();
    return;
  }
  FHoldAnswer = true;
  FHeldLength = 0;
  try {
    Dispatch();
  } catch (...) {
    FHoldAnswer = false;
    throw;
  }
  FHoldAnswer = false;
  FilterAnswer();
}

void TEcuEmulator::FilterAnswer() {
  const TEcuRequest Request{RequestTarget, RequestSource, RequestData.data(), FRequestLength, FEventArrival};
  int Count = 0;
  const TEcuAnswerAction Action =
      FAnswerFilter->FilterAnswer(Request, TxFrame.data(), FHeldLength, FReplacement.data(), Count);
  switch (Action) {
    case TEcuAnswerAction::Send:
      if (FHeldLength > 0) WriteAnswer(TxFrame.data(), FHeldLength);
      return;
    case TEcuAnswerAction::Withhold: FTakenByRule = true; return;
    case TEcuAnswerAction::Replace:
      FTakenByRule = true;
      Count = std::clamp(Count, 0, static_cast<int>(FReplacement.size()));
      if (Count > 0) WriteAnswer(FReplacement.data(), Count);
      return;
  }
}

void TEcuEmulator::Dispatch() {
  const uint8_t Service = RequestData[0];
  const bool ForUs = RequestTarget == EcuAddress;
  // The tests are made one after the other; the services are distinct, so at
  // most one of them answers. Nothing else is answered, and no negative
  // response is ever sent.
  if (ForUs && Service == StartCommunication) {
    CommunicationActive = true;
    SendAnswer("C1 6B 8F");
  }
  if (ForUs && Service == StopCommunication) SendStopCommunication();
  if (ForUs && Service == StartDiagnosticSession) {
    CommunicationActive = true;
    SendAnswer("50 86");
  }
  if (ForUs && Service == TesterPresent) SendAnswer("7E");
  const bool LiveData = CommunicationActive && ForUs && Service == ReadDataByLocalIdentifier;
  const int Variant = LiveData ? Panel.ActiveVariant() : 0;
  if (Variant == 1) AnswerVariant1(RequestData[1]);
  if (Variant == 2) AnswerVariant2(RequestData[1]);
  if (Variant == 3) AnswerVariant3(RequestData[1]);
  if (Service == ReadDtcByStatus) AnswerFaultCodes();
}

void TEcuEmulator::SendAnswer(const std::string& HexText) {
  std::string Digits;
  Digits.reserve(HexText.size());
  for (char C : HexText)
    if (C != ' ') Digits += C;
  // Everything is converted before TxFrame is touched, so a bad pair leaves
  // the last answer in place and sends nothing.
  const size_t Count = Digits.size() / 2;
  if (Count > static_cast<size_t>(MaxLongLength))
    throw std::length_error("Answer of " + std::to_string(Count) + " data bytes is too long for one frame");
  uint8_t Data[MaxLongLength];
  for (size_t N = 0; N < Count; ++N) Data[N] = static_cast<uint8_t>(HexPairToInt(Digits.substr(2 * N, 2)));

  const int N = static_cast<int>(Count);
  // The short header holds 1..63 data bytes in its format byte; any other
  // length needs the long header with its length byte.
  const int HeaderSize = N >= 1 && N <= MaxShortLength ? 3 : 4;
  if (HeaderSize == 3) {
    TxFrame[0] = static_cast<uint8_t>(0x80 + N);
  } else {
    TxFrame[0] = LongFormat;
    TxFrame[3] = static_cast<uint8_t>(N);
  }
  std::memcpy(TxFrame.data() + HeaderSize, Data, Count);
  WriteFrame(N, HeaderSize);
}

void TEcuEmulator::SendStopCommunication() {
  // The one answer built directly in the frame buffer: a single data byte.
  TxFrame[0] = 0x81;
  TxFrame[3] = 0xC2;
  WriteFrame(1, 3);
}

void TEcuEmulator::WriteFrame(int DataLength, int HeaderSize) {
  TxFrame[1] = RequestSource;
  TxFrame[2] = RequestTarget;
  const int ChecksumAt = HeaderSize + DataLength;
  unsigned Sum = 0;
  for (int I = 0; I < ChecksumAt; ++I) Sum += TxFrame[static_cast<size_t>(I)];
  TxFrame[static_cast<size_t>(ChecksumAt)] = static_cast<uint8_t>(Sum);
  // The services are distinct, so a request has at most one answer to hold.
  if (FHoldAnswer) FHeldLength = ChecksumAt + 1;
  else WriteAnswer(TxFrame.data(), ChecksumAt + 1);
}

void TEcuEmulator::WriteAnswer(const uint8_t* Bytes, int Count) {
  Port.WriteBuf(Bytes, Count);
  ++AnswersSent;
  if (Observer != nullptr) Observer->AnswerSent(Bytes, Count);
}

void TEcuEmulator::LogFrame(const uint8_t* Bytes, int Count) {
  std::string Line = " - > ";
  AppendHexBytes(Line, Bytes, static_cast<size_t>(std::max(Count, 0)));
  Panel.AppendMonitorLine(Line);
}
