#pragma once
// The emulated engine control unit: assembles KWP2000 requests from the
// receive events of the serial port, answers them as the selected variant and
// writes one traffic monitor line per received frame.
//
// It runs on the window thread only and sees the window through TEcuPanel and
// the port through TEcuPort. Every answer is stated as hex text and framed by
// SendAnswer; a failed conversion of an edit text (EConvertError) or a port
// error leaves RxChar as an exception with nothing sent for that request.

#include <array>
#include <cstdint>
#include <string>

#include "ecu_interfaces.h"

class TEcuEmulator {
public:
  static constexpr int BufferSize = 1024;
  // The emulated unit's own address.
  static constexpr uint8_t EcuAddress = 0x11;

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
  // The last answer frame, kept until the next answer overwrites it.
  std::array<uint8_t, BufferSize> TxFrame{};

private:
  void ProcessEvent(int Length);
  void AnswerRequest();
  void SendStopCommunication();
  void WriteFrame(int DataLength, int HeaderSize);

  // Live data records.
  void AnswerVariant1(uint8_t LocalId);
  void AnswerVariant2(uint8_t LocalId);
  void AnswerVariant3(uint8_t LocalId);
  void AnswerFaultCodes();

  TEcuPort& Port;
  TEcuPanel& Panel;
};
