#pragma once
// KWP2000 frames as the tester side of the K-line builds and reads them
// (ISO 14230-2 messages with physical address information):
//
//   short header  80+L  target  source  data[L]            checksum   L = 1..63
//   long header   80    target  source  L  data[L]         checksum   L = 0..255
//
// The checksum is the sum of all bytes before it, modulo 256. No Qt, no
// state: byte arithmetic that the client and its tests share.

#include <cstdint>
#include <optional>
#include <vector>

// The longest frame: the long header, 255 data bytes and the checksum.
constexpr int KwpMaxFrame = 4 + 255 + 1;

// A request frame to Target from Source carrying Data (service identifier
// first). The short header when the data fit it and LongHeader is false,
// else the long one. Data of more than 255 bytes are cut to 255.
std::vector<uint8_t> KwpRequest(uint8_t Target, uint8_t Source, const std::vector<uint8_t>& Data,
                                bool LongHeader = false);

// How long the frame that begins with Bytes[0 .. Count-1] is: its whole
// length once the header tells it, 0 while the header is not in yet (a long
// header before its length byte), -1 when Bytes[0] cannot begin a frame with
// address information (format byte outside 0x80..0xBF).
int KwpFrameLength(const uint8_t* Bytes, int Count);

// One complete frame, read: the data point into the bytes it was read from.
struct TKwpFrame {
  uint8_t Target = 0;
  uint8_t Source = 0;
  const uint8_t* Data = nullptr;
  int DataLength = 0;
  bool LongHeader = false;
  bool ChecksumOk = false;
};

// Reads Bytes[0 .. Count-1] as exactly one frame; nothing when Count is not
// the length its header announces.
std::optional<TKwpFrame> KwpReadFrame(const uint8_t* Bytes, int Count);

// The key bytes of a StartCommunication answer (C1 KB1 KB2), as ISO 14230-2
// defines them: KB2 is 0x8F; KB1 has odd parity over its eight bits and
// carries, from bit 0 up, AL0 (length in the format byte), AL1 (length
// byte), HB0 (one-byte header), HB1 (target and source in the header), TP0
// (0: normal timing, 1: extended timing), and the bits 5 and 6 set.
struct TKwpKeyBytes {
  bool ShortHeader = false;  // AL0: the unit takes the length in the format byte
  bool LongHeader = false;   // AL1: the unit takes a separate length byte
};

// The key bytes when a tester that addresses the unit physically with
// normal timing can talk to it: KB2 0x8F, KB1 with odd parity, bits 5 and 6
// set, HB1 set, TP0 clear and at least one of AL0 and AL1 set. Nothing
// otherwise.
std::optional<TKwpKeyBytes> KwpCheckKeyBytes(uint8_t Kb1, uint8_t Kb2);

// One stored fault code of a ReadDiagnosticTroubleCodesByStatus answer.
struct TKwpFaultCode {
  uint16_t Code = 0;  // two bytes, high byte first: 0x0102 is "0102"
  uint8_t Status = 0;
  bool operator==(const TKwpFaultCode&) const = default;
};

// The codes of an answer to service 0x18: data 58, the count K, then K
// times code high byte, code low byte, status. Nothing when the data are
// not exactly that (another service, a count that does not match the
// length).
std::optional<std::vector<TKwpFaultCode>> KwpReadFaultCodes(const uint8_t* Data, int DataLength);
