// Request assembly, the answer stage, the frame composer, the monitor line and
// the communication and session services.

#include "ecu_emulator.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

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
}

void TEcuEmulator::RxChar(int Count) {
  // More bytes than the receive buffer holds are read and handled in
  // buffer-sized pieces, each as if it had been an event of its own, so
  // nothing is left behind in the port's queue to be mistaken for the start
  // of the next event.
  while (Count > 0) {
    const int Wanted = std::min(Count, BufferSize);
    int Read = Port.ReadBuf(RxBuffer.data(), Wanted);
    if (Read <= 0) return;
    Read = std::min(Read, Wanted);
    Count -= Wanted;
    // "Pause" discards what was read: no line, no assembly, no answer.
    if (Panel.PauseChecked()) continue;
    ProcessEvent(Read);
  }
}

void TEcuEmulator::ProcessEvent(int Length) {
  if (!RequestPending) {
    const uint8_t Format = RxBuffer[0];
    int FrameLength = 0;  // 0: not known yet (long header without its length byte)
    if (Format == LongFormat) {
      HeaderLength = 4;
      if (Length >= 4) {
        PendingDataLength = RxBuffer[3];
        FrameLength = PendingDataLength + 5;
      }
    } else {
      PendingDataLength = static_cast<uint8_t>(Format - 0x80);
      HeaderLength = 3;
      // Format bytes without address information or with functional
      // addressing: the event is dropped without a trace.
      if (PendingDataLength > MaxShortLength) return;
      FrameLength = PendingDataLength + 4;
    }
    if (Length != FrameLength) {
      std::memcpy(PartialFrame.data(), RxBuffer.data(), static_cast<size_t>(Length));
      PartialCount = Length;
      RequestPending = true;
      return;
    }
    RequestTarget = RxBuffer[1];
    RequestSource = RxBuffer[2];
    std::memcpy(RequestData.data(), RxBuffer.data() + HeaderLength, static_cast<size_t>(PendingDataLength));
    PendingDataLength = 0;
    LogFrame(RxBuffer.data(), Length);
  } else {
    // A request that would outgrow the buffer cannot be a frame: it is
    // dropped together with these bytes and the assembler starts afresh.
    if (Length > BufferSize - PartialCount) {
      RequestPending = false;
      PartialCount = 0;
      PendingDataLength = 0;
      return;
    }
    std::memcpy(PartialFrame.data() + PartialCount, RxBuffer.data(), static_cast<size_t>(Length));
    PartialCount += Length;
    if (HeaderLength == 4) {
      if (PartialCount < 4) return;
      PendingDataLength = PartialFrame[3];
    }
    const int DataLength = static_cast<uint8_t>(PendingDataLength);
    if (PartialCount < DataLength + HeaderLength + 1) return;
    RequestTarget = PartialFrame[1];
    RequestSource = PartialFrame[2];
    std::memcpy(RequestData.data(), PartialFrame.data() + HeaderLength, static_cast<size_t>(DataLength));
    const int FrameBytes = PartialCount;
    PendingDataLength = 0;
    RequestPending = false;
    PartialCount = 0;
    LogFrame(PartialFrame.data(), FrameBytes);
  }
  AnswerRequest();
}

void TEcuEmulator::AnswerRequest() {
  if (Panel.NoAnswerChecked()) return;
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
  Port.WriteBuf(TxFrame.data(), ChecksumAt + 1);
}

void TEcuEmulator::LogFrame(const uint8_t* Bytes, int Count) {
  std::string Line = " - > ";
  Line.reserve(5 + 3 * static_cast<size_t>(std::max(Count, 0)));
  for (int I = 0; I < Count; ++I) Line += " " + IntToHex(Bytes[I], 2);
  Panel.AppendMonitorLine(Line);
}
