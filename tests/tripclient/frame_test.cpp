// Frames of the tester side, as byte literals (ISO 14230-2 headers).
#include "fakes.h"
#include "kwp_frame.h"

#include <gtest/gtest.h>

TEST(KwpFrame, RequestsInBothHeaderForms) {
  // Short header: format 80+L, target 11, source F1, data, checksum.
  EXPECT_EQ(KwpRequest(0x11, 0xF1, {0x81}), (TBytes{0x81, 0x11, 0xF1, 0x81, 0x04}));
  EXPECT_EQ(KwpRequest(0x11, 0xF1, {0x21, 0x06}), (TBytes{0x82, 0x11, 0xF1, 0x21, 0x06, 0xAB}));
  EXPECT_EQ(KwpRequest(0x11, 0xF1, {0x18, 0x00, 0xFF, 0x00}), (TBytes{0x84, 0x11, 0xF1, 0x18, 0x00, 0xFF, 0x00, 0x9D}));
  // Long header: format 80, then a length byte.
  EXPECT_EQ(KwpRequest(0x11, 0xF1, {0x21, 0x01}, true), (TBytes{0x80, 0x11, 0xF1, 0x02, 0x21, 0x01, 0xA6}));
  // No data, or more than 63 bytes: only the long header can say so.
  EXPECT_EQ(KwpRequest(0x11, 0xF1, {}), (TBytes{0x80, 0x11, 0xF1, 0x00, 0x82}));
  const TBytes Long = KwpRequest(0x11, 0xF1, TBytes(64, 0x01));
  EXPECT_EQ(Long.size(), 69u);
  EXPECT_EQ(Long[0], 0x80);
  EXPECT_EQ(Long[3], 64);
}

TEST(KwpFrame, LengthFromTheHeaderAndReading) {
  const uint8_t Answer[] = {0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x40};
  EXPECT_EQ(KwpFrameLength(Answer, 1), 7);
  const uint8_t LongStart[] = {0x80, 0xF1, 0x11, 0x5C};
  EXPECT_EQ(KwpFrameLength(LongStart, 3), 0);  // the length byte is not in yet
  EXPECT_EQ(KwpFrameLength(LongStart, 4), 0x5C + 5);
  for (uint8_t Format : {0x00, 0x7F, 0xC0, 0xC1, 0xFF}) EXPECT_EQ(KwpFrameLength(&Format, 1), -1) << int(Format);

  std::optional<TKwpFrame> F = KwpReadFrame(Answer, 7);
  ASSERT_TRUE(F);
  EXPECT_TRUE(F->ChecksumOk);
  EXPECT_EQ(F->Target, 0xF1);
  EXPECT_EQ(F->Source, 0x11);
  EXPECT_EQ(TBytes(F->Data, F->Data + F->DataLength), (TBytes{0xC1, 0x6B, 0x8F}));
  const uint8_t Wrong[] = {0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x41};
  EXPECT_FALSE(KwpReadFrame(Wrong, 7)->ChecksumOk);
  EXPECT_FALSE(KwpReadFrame(Answer, 6));  // cut
  EXPECT_FALSE(KwpReadFrame(Answer, 8));  // more than the header says
}

TEST(KwpFrame, KeyBytesOfNormalTimingWithAddresses) {
  struct TCase {
    uint8_t Kb1, Kb2;
    bool Usable, Short, Long;
  } Cases[] = {
      {0x6B, 0x8F, true, true, true},     // the unit's own: both length forms
      {0xEF, 0x8F, true, true, true},     // all header forms, parity bit set
      {0xE9, 0x8F, true, true, false},    // length in the format byte only
      {0xEA, 0x8F, true, false, true},    // length byte only
      {0x6B, 0x8E, false, false, false},  // KB2 is always 8F
      {0x6A, 0x8F, false, false, false},  // even parity
      {0xFB, 0x8F, false, false, false},  // TP0: extended timing
      {0x67, 0x8F, false, false, false},  // HB1 clear: no addresses in the header
      {0xEC, 0x8F, false, false, false},  // neither length form
      {0x0B, 0x8F, false, false, false},  // bits 5 and 6 clear
  };
  for (const TCase& C : Cases) {
    const std::optional<TKwpKeyBytes> K = KwpCheckKeyBytes(C.Kb1, C.Kb2);
    ASSERT_EQ(K.has_value(), C.Usable) << std::hex << int(C.Kb1) << " " << int(C.Kb2);
    if (K) {
      EXPECT_TRUE(K->ShortHeader == C.Short && K->LongHeader == C.Long) << std::hex << int(C.Kb1);
    }
  }
}

TEST(KwpFrame, FaultCodesOfAnAnswer) {
  const TBytes None = {0x58, 0x00};
  EXPECT_EQ(KwpReadFaultCodes(None.data(), 2), std::vector<TKwpFaultCode>{});
  const TBytes Two = {0x58, 0x02, 0x01, 0x02, 0xE0, 0x16, 0x89, 0xE0};
  EXPECT_EQ(KwpReadFaultCodes(Two.data(), 8), (std::vector<TKwpFaultCode>{{0x0102, 0xE0}, {0x1689, 0xE0}}));
  // The count must match the length; the service must be 58.
  EXPECT_FALSE(KwpReadFaultCodes(Two.data(), 7));
  const TBytes Three = {0x58, 0x03, 0x01, 0x02, 0xE0, 0x16, 0x89, 0xE0};
  EXPECT_FALSE(KwpReadFaultCodes(Three.data(), 8));
  const TBytes Other = {0x59, 0x00};
  EXPECT_FALSE(KwpReadFaultCodes(Other.data(), 2));
}
