#include "kwp_frame.h"

#include <algorithm>

std::vector<uint8_t> KwpRequest(uint8_t Target, uint8_t Source, const std::vector<uint8_t>& Data, bool LongHeader) {
  const size_t Length = std::min<size_t>(Data.size(), 255);
  const bool Long = LongHeader || Length == 0 || Length > 63;
  std::vector<uint8_t> Frame;
  Frame.reserve(Length + 5);
  Frame.push_back(static_cast<uint8_t>(Long ? 0x80 : 0x80 + Length));
  Frame.push_back(Target);
  Frame.push_back(Source);
  if (Long) Frame.push_back(static_cast<uint8_t>(Length));
  Frame.insert(Frame.end(), Data.begin(), Data.begin() + static_cast<std::ptrdiff_t>(Length));
  unsigned Sum = 0;
  for (uint8_t B : Frame) Sum += B;
  Frame.push_back(static_cast<uint8_t>(Sum));
  return Frame;
}

int KwpFrameLength(const uint8_t* Bytes, int Count) {
  if (Count < 1) return 0;
  const uint8_t Format = Bytes[0];
  if (Format < 0x80 || Format > 0xBF) return -1;
  if (Format != 0x80) return Format - 0x80 + 4;
  if (Count < 4) return 0;
  return Bytes[3] + 5;
}

std::optional<TKwpFrame> KwpReadFrame(const uint8_t* Bytes, int Count) {
  if (Bytes == nullptr || KwpFrameLength(Bytes, Count) != Count) return std::nullopt;
  TKwpFrame F;
  F.Target = Bytes[1];
  F.Source = Bytes[2];
  F.LongHeader = Bytes[0] == 0x80;
  const int Header = F.LongHeader ? 4 : 3;
  F.Data = Bytes + Header;
  F.DataLength = Count - Header - 1;
  unsigned Sum = 0;
  for (int I = 0; I + 1 < Count; ++I) Sum += Bytes[I];
  F.ChecksumOk = static_cast<uint8_t>(Sum) == Bytes[Count - 1];
  return F;
}

std::optional<TKwpKeyBytes> KwpCheckKeyBytes(uint8_t Kb1, uint8_t Kb2) {
  if (Kb2 != 0x8F) return std::nullopt;
  int Ones = 0;
  for (int Bit = 0; Bit < 8; ++Bit) Ones += (Kb1 >> Bit) & 1;
  if (Ones % 2 != 1) return std::nullopt;
  const bool Al0 = Kb1 & 0x01, Al1 = Kb1 & 0x02, Hb1 = Kb1 & 0x08, Tp0 = Kb1 & 0x10;
  if ((Kb1 & 0x60) != 0x60 || !Hb1 || Tp0 || (!Al0 && !Al1)) return std::nullopt;
  TKwpKeyBytes K;
  K.ShortHeader = Al0;
  K.LongHeader = Al1;
  return K;
}

std::optional<std::vector<TKwpFaultCode>> KwpReadFaultCodes(const uint8_t* Data, int DataLength) {
  if (Data == nullptr || DataLength < 2 || Data[0] != 0x58) return std::nullopt;
  const int Count = Data[1];
  if (DataLength != 2 + 3 * Count) return std::nullopt;
  std::vector<TKwpFaultCode> Codes;
  Codes.reserve(static_cast<size_t>(Count));
  for (int I = 0; I < Count; ++I) {
    const uint8_t* P = Data + 2 + 3 * I;
    Codes.push_back({static_cast<uint16_t>(P[0] << 8 | P[1]), P[2]});
  }
  return Codes;
}
