#pragma once
// The emulated engine control unit: assembles KWP2000 requests from the
// receive events of the serial port, answers them as the selected variant and
// writes one traffic monitor line per received frame.
//
// It runs on the window thread only and sees the window through TEcuPanel and
// the port through TEcuPort. Every answer is stated as hex text and framed by
// SendAnswer; a failed conversion of an edit text (EConvertError) or a port
// error leaves RxChar as an exception with nothing sent for that request; a
// conversion error does so after the other requests of the same event have
// been handled.
//
// Frames are found in the byte stream however the line splits them into
// receive events: every frame is assembled by the length its header
// announces and handled as soon as its last byte is in; the bytes after it
// start the next frame. A byte that cannot begin a frame (no address
// information) is skipped; functional frames (format byte 0xC0..0xFF) are
// assembled and dropped without a trace. A fragment whose next bytes arrive
// more than MaxRequestGapUs later is a broken transmission and is dropped.

#include <array>
#include <cstdint>
#include <exception>
#include <string>

#include "ecu_interfaces.h"

class TEcuEmulator {
public:
  static constexpr int BufferSize = 1024;
  // The emulated unit's own address.
  static constexpr uint8_t EcuAddress = 0x11;
  // The longest silence within one request. A tester keeps the bytes of a
  // request within P4max = 20 ms of each other and waits at least P2max =
  // 50 ms for an answer before it sends again, so bytes that come later than
  // this belong to a new request.
  static constexpr int64_t MaxRequestGapUs = 50000;

  TEcuEmulator(TEcuPort& Port, TEcuPanel& Panel);

  // Resets every piece of state to its start value (idle assembler, short
  // header, communication not started, buffers zeroed).
  void FormCreate();

  // One receive event: Count bytes are waiting in the port's input queue.
  void RxChar(int Count);

  // Frames the data bytes written as hex text (blanks ignored, pairs of hex
  // digits read from the left, an odd last digit dropped) for the current
  // request and writes the frame to the port. Up to 63 data bytes use the
  // short header; longer answers (up to 255 data bytes) and an empty one the
  // long header with its length byte. More than 255 throws std::length_error.
  void SendAnswer(const std::string& HexText);

  // Appends the monitor line: " - > " followed by " XX" for each byte.
  void LogFrame(const uint8_t* Bytes, int Count);

  // A listener to every frame, answer and dropped byte (none: nullptr). It
  // sees what happens; it changes nothing of it.
  void SetObserver(TEcuObserver* Value) { Observer = Value; }

  // A filter between the answer stage and the port (none: nullptr, and every
  // answer goes out as the unit builds it). It sees each physical request
  // addressed to the unit with the answer about to be written and decides
  // what is written instead; the observer is told the bytes actually
  // written, and the frame's outcome is FaultRule when the filter did not
  // let the answer pass as it was. The monitor line is not affected.
  void SetAnswerFilter(TEcuAnswerFilter* Value) { FAnswerFilter = Value; }
  TEcuAnswerFilter* AnswerFilter() const { return FAnswerFilter; }

  // Assembler state. Public so that tests and diagnostics can read it; only
  // the emulator itself writes it.
  std::array<uint8_t, BufferSize> RxBuffer{};
  std::array<uint8_t, BufferSize> PartialFrame{};
  int32_t PartialCount = 0;
  bool RequestPending = false;
  uint8_t HeaderLength = 3;
  int32_t PendingDataLength = 0;
  uint8_t RequestTarget = 0;
  uint8_t RequestSource = 0;
  std::array<uint8_t, BufferSize> RequestData{};
  // Set by StartCommunication and StartDiagnosticSession, never cleared.
  bool CommunicationActive = false;
  // The last answer frame the unit built, kept until the next answer
  // overwrites it (an answer filter may have written other bytes).
  std::array<uint8_t, BufferSize> TxFrame{};
  // When the newest bytes of the pending request reached the port.
  int64_t PendingArrival = 0;

  // Counts since FormCreate, for the window's status line: physical frames
  // received (one monitor line each), answer frames handed to the port, and
  // fragments dropped after a silence.
  uint64_t FramesReceived = 0;
  uint64_t AnswersSent = 0;
  uint64_t FragmentsDropped = 0;

private:
  void ProcessEvent(int Length, int64_t Arrival);
  // Takes the frame that ends at Frame[FrameLength - 1]: logs and answers a
  // physical one, drops a functional one.
  void HandleFrame(const uint8_t* Frame, int FrameLength);
  void DropPending();
  // Why a request that met no exception got no answer.
  TEcuOutcome Unanswered() const;
  // Notes that the current event brought bytes of the frame being assembled.
  void NotePiece(int64_t Arrival);
  void Dropped(const uint8_t* Bytes, int Count, int64_t Arrival, TEcuOutcome Why) {
    if (Observer != nullptr && Count > 0) Observer->BytesDropped(Bytes, Count, Arrival, Why);
  }
  void AnswerRequest();
  // The tests of the answer stage, one after the other.
  void Dispatch();
  // Hands the answer held back in TxFrame (or none) to the answer filter and
  // writes what it decides.
  void FilterAnswer();
  void WriteAnswer(const uint8_t* Bytes, int Count);
  void SendStopCommunication();
  void WriteFrame(int DataLength, int HeaderSize);

  // Live data records.
  void AnswerVariant1(uint8_t LocalId);
  void AnswerVariant2(uint8_t LocalId);
  void AnswerVariant3(uint8_t LocalId);
  void AnswerFaultCodes();

  TEcuPort& Port;
  TEcuPanel& Panel;
  TEcuObserver* Observer = nullptr;
  TEcuAnswerFilter* FAnswerFilter = nullptr;
  // While the answer stage runs with a filter, the answer is built in
  // TxFrame but held back (FHeldLength bytes, 0: none) until the filter has
  // seen it; FTakenByRule notes that the filter did not let it pass.
  bool FHoldAnswer = false;
  int FHeldLength = 0;
  bool FTakenByRule = false;
  int FRequestLength = 0;
  int64_t FEventArrival = 0;
  std::array<uint8_t, TEcuAnswerFilter::MaxReplacement> FReplacement{};
  // Arrival times of the receive events that brought the frame being
  // assembled (a frame is at most 260 bytes, so at most 260 events).
  std::array<int64_t, 260> PieceTimes{};
  int PieceCount = 0;
  uint64_t EventSerial = 0, PieceEvent = 0;
  // The first exception of the event being handled; it leaves RxChar once
  // every frame of the event has been handled.
  std::exception_ptr EventError;
};
