// Live data answers decoded: frames written out byte by byte, everything
// that is not one well-formed answer, and the emulator's own answers for
// values across the gauges' ranges read back within half a code step.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "../emulator/fakes.h"
#include "numtext.h"
#include "record_decode.h"

namespace {

using Q = TLiveQuantity;
using TExpect = std::vector<std::pair<Q, double>>;

std::optional<TLiveRecord> Decode(int Variant, const TBytes& Frame) {
  return DecodeLiveRecord(Variant, Frame.data(), Frame.size());
}

// Exactly the quantities Expected, each equal to its value.
void ExpectValues(const std::optional<TLiveRecord>& R, const TExpect& Expected, const std::string& What) {
  ASSERT_TRUE(R.has_value()) << What;
  std::array<bool, LiveQuantityCount> Seen{};
  for (const auto& [Quantity, Value] : Expected) {
    Seen[static_cast<size_t>(Quantity)] = true;
    ASSERT_TRUE(R->Carries(Quantity)) << What << ": " << LiveQuantityName(Quantity);
    EXPECT_NEAR(*R->Value(Quantity), Value, 1e-9) << What << ": " << LiveQuantityName(Quantity);
  }
  for (int I = 0; I < LiveQuantityCount; ++I) {
    EXPECT_EQ(R->Values[I].has_value(), Seen[I]) << What << ": " << LiveQuantityName(static_cast<Q>(I));
  }
}

// A frame written as hex pairs separated by blanks.
TBytes H(const std::string& Text) {
  TBytes Bytes;
  for (size_t I = 0; I + 1 < Text.size(); I += 3)
    Bytes.push_back(static_cast<uint8_t>(HexPairToInt(Text.substr(I, 2))));
  return Bytes;
}

struct TLiteral {
  int Variant;
  TBytes Frame;
  TExpect Values;
};

// Answers as the unit sends them, the codes worked out by hand.
const std::vector<TLiteral>& Literals() {
  static const std::vector<TLiteral> List = {
      // [0] A fixed record: a live data answer without values.
      {1, H("89 F1 11 61 01 00 00 FF FF 00 00 00 EB"), {}},
      // [1] AB = 171 x 17.9/255 V; 5B = 91 x 0.75 - 48 degC twice; 1A = 26 x 100/255 %.
      {1,
       H("8B F1 11 61 03 00 00 AB 5B 5B 1A 00 00 00 6C"),
       {{Q::SupplyVoltage, 171 * 17.9 / 255}, {Q::Coolant, 20.25}, {Q::IntakeAir, 20.25}, {Q::Throttle, 2600.0 / 255}}},
      // [2] Pressure 6400 = 25600 x 256/65535 kPa; injection 03A8 = 936 x 175/65535 ms.
      {1,
       H("8E F1 11 61 04 00 64 00 00 A8 03 A8 03 A8 03 A8 03 05"),
       {{Q::ManifoldPressure, 25600 * 256.0 / 65535}, {Q::Injection, 936 * 175.0 / 65535}}},
      // [3] Speed 30 = 48 x 1.25 km/h; engine speed 0C80 = 3200 / 4 rpm.
      {1, H("8E F1 11 61 06 30 00 00 80 0C 00 00 00 00 00 00 00 B3"), {{Q::Speed, 60}, {Q::EngineSpeed, 800}}},
      // [4] 65 = 101 kPa; 4C = 76 x 100/255 %; C7 = 199 x 17.9/255 V; B8 = 184 x 0.75 - 48 = 90 degC;
      // 6F = 111 x 0.75 - 48 = 35.25 degC. Variant 3 also has 14 = 20 x 40 rpm in byte 25.
      {2,
       H("A0 F1 11 61 02 00 00 00 00 00 00 00 00 00 00 00 65 00 00 00 00 00 00 00 00 4C "
         "00 00 00 00 C7 00 B8 00 6F A4"),
       {{Q::ManifoldPressure, 101},
        {Q::Throttle, 7600.0 / 255},
        {Q::SupplyVoltage, 199 * 17.9 / 255},
        {Q::Coolant, 90},
        {Q::IntakeAir, 35.25}}},
      {3,
       H("A0 F1 11 61 02 00 00 00 00 00 00 00 00 00 00 00 65 00 00 00 00 00 00 00 00 4C "
         "00 00 14 00 C7 00 B8 00 6F B8"),
       {{Q::ManifoldPressure, 101},
        {Q::Throttle, 7600.0 / 255},
        {Q::EngineSpeed, 800},
        {Q::SupplyVoltage, 199 * 17.9 / 255},
        {Q::Coolant, 90},
        {Q::IntakeAir, 35.25}}},
      // [6] Injection 03 = 3 x 208.1/255 ms, the same record in variants 2 and 3.
      {3,
       H("94 F1 11 61 03 00 00 00 00 00 00 00 00 03 03 03 03 00 00 00 00 00 00 06"),
       {{Q::Injection, 3 * 208.1 / 255}}},
      // [7] Engine speed 0CD0 = 3280 / 4 = 820 rpm, low byte first.
      {2, H("8B F1 11 61 05 00 00 00 00 00 00 00 D0 0C CF"), {{Q::EngineSpeed, 820}}},
      // [8] Speed 50 = 80 x 1.25 km/h.
      {2, H("8B F1 11 61 06 00 00 00 00 00 00 00 00 50 44"), {{Q::Speed, 100}}},
  };
  return List;
}

TEST(RecordDecode, AnswersWrittenOutByHand) {
  for (const TLiteral& L : Literals()) {
    ExpectValues(Decode(L.Variant, L.Frame), L.Values, "variant " + std::to_string(L.Variant) + ": " + Hex(L.Frame));
  }
  // The same record in the long header form: 80, addresses, length byte.
  const TBytes Long = H("80 F1 11 0B 61 06 00 00 00 00 00 00 00 00 50 44");
  ExpectValues(Decode(3, Long), {{Q::Speed, 100}}, "long header");
}

TEST(RecordDecode, NothingButWellFormedAnswersOfTheVariant) {
  for (const TLiteral& L : Literals()) {
    const std::string What = "variant " + std::to_string(L.Variant) + ": " + Hex(L.Frame);
    // Cut anywhere, one byte too many, a wrong checksum.
    for (size_t N = 0; N < L.Frame.size(); ++N) {
      EXPECT_FALSE(Decode(L.Variant, TBytes(L.Frame.begin(), L.Frame.begin() + N))) << What << " cut to " << N;
    }
    TBytes Longer = L.Frame;
    Longer.push_back(0x00);
    EXPECT_FALSE(Decode(L.Variant, Longer)) << What;
    TBytes Bad = L.Frame;
    Bad.back() ^= 0xFF;
    EXPECT_FALSE(Decode(L.Variant, Bad)) << What;
    // A variant that does not exist.
    EXPECT_FALSE(Decode(0, L.Frame)) << What;
    EXPECT_FALSE(Decode(4, L.Frame)) << What;
  }
  // Negative responses (busy, response pending), other services' answers.
  const std::vector<TBytes> Others = {
      WithChecksum({0x83, 0xF1, 0x11, 0x7F, 0x21, 0x21}),
      WithChecksum({0x83, 0xF1, 0x11, 0x7F, 0x21, 0x78}),
      WithChecksum({0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F}),
      WithChecksum({0x82, 0xF1, 0x11, 0x58, 0x00}),
      WithChecksum({0x81, 0xF1, 0x11, 0x61}),
      WithChecksum({0x82, 0xF1, 0x11, 0x61, 0x06}),
      // Right length and checksum, but not a record of any variant.
      WithChecksum(H("8B F1 11 61 07 00 00 00 00 00 00 00 00 00")),
  };
  for (int Variant = 1; Variant <= 3; ++Variant) {
    for (const TBytes& F : Others) EXPECT_FALSE(Decode(Variant, F)) << Variant << ": " << Hex(F);
  }
  EXPECT_FALSE(DecodeLiveRecord(1, nullptr, 10));
  // A record of one variant read as another: variant 1's 0x06 has 14 data
  // bytes, the others' 11; variant 3 has no 0x05, variants 2 and 3 no 0x04.
  EXPECT_FALSE(Decode(2, Literals()[3].Frame));
  EXPECT_FALSE(Decode(3, Literals()[3].Frame));
  EXPECT_FALSE(Decode(3, Literals()[7].Frame));
  EXPECT_FALSE(Decode(2, Literals()[2].Frame));
  EXPECT_FALSE(Decode(1, Literals()[8].Frame));
}

// Field texts drawn across the gauge ranges, the emulator's answers decoded,
// each value within half a code step of its text (rounding to the nearest
// code) and each record carrying exactly its quantities.
class EmulatorRoundTrip : public ::testing::Test {
protected:
  void SetUp() override {
    FSeparator = DecimalSeparator();
    SetDecimalSeparator('.');
    B.Start();
  }
  void TearDown() override { SetDecimalSeparator(FSeparator); }

  // Records: each local identifier with the quantities it carries and their code steps.
  void Check(int Variant, const std::vector<std::pair<uint8_t, TExpect>>& Records) {
    B.Panel.Variant = Variant;
    std::mt19937 Random(Variant);
    int Round = 0;
    // The ends of the range first, then values between them.
    auto Draw = [&](double Lo, double Hi, bool Whole) {
      if (Round < 2) return Round == 0 ? Lo : Hi;
      const double V = std::uniform_real_distribution<double>(Lo, Hi)(Random);
      return Whole ? std::round(V) : std::round(V * 100) / 100;
    };
    for (; Round < 300; ++Round) {
      // Whole numbers where a variant reads the field as an integer. The
      // gauges' ranges, temperatures up to 143 degC (the top code).
      std::array<double, LiveQuantityCount> V{};
      V[int(Q::Speed)] = Draw(0, 250, Variant != 1);
      V[int(Q::EngineSpeed)] = Draw(0, 10000, Variant == 3);
      V[int(Q::Injection)] = Draw(0, 25, false);
      V[int(Q::Coolant)] = Draw(-40, 143, true);
      V[int(Q::Throttle)] = Draw(0, 100, false);
      V[int(Q::ManifoldPressure)] = Draw(0, 255, Variant != 3);
      V[int(Q::IntakeAir)] = Draw(-40, 143, true);
      V[int(Q::SupplyVoltage)] = Draw(0, 17.9, false);
      const TEcuField Fields[] = {TEcuField::VSS, TEcuField::RPM,  TEcuField::Dv,  TEcuField::TOG,
                                  TEcuField::ATP, TEcuField::IMAP, TEcuField::IAT, TEcuField::Ubat};
      for (int I = 0; I < LiveQuantityCount; ++I) {
        char Text[32];
        std::snprintf(Text, sizeof Text, V[I] == std::round(V[I]) ? "%.0f" : "%.2f", V[I]);
        B.Panel.Fields[Fields[I]] = Text;
      }
      for (const auto& [LocalId, Carried] : Records) {
        const TBytes Answer = B.Answer(WithChecksum({0x82, 0x11, 0xF1, 0x21, LocalId}));
        const std::optional<TLiveRecord> R = Decode(Variant, Answer);
        ASSERT_TRUE(R) << Variant << "/" << int(LocalId) << ": " << Hex(Answer);
        for (int I = 0; I < LiveQuantityCount; ++I) {
          const Q Quantity = static_cast<Q>(I);
          const auto Step = std::find_if(Carried.begin(), Carried.end(), [&](auto& C) { return C.first == Quantity; });
          ASSERT_EQ(R->Carries(Quantity), Step != Carried.end())
              << Variant << "/" << int(LocalId) << " " << LiveQuantityName(Quantity);
          if (Step != Carried.end()) {
            EXPECT_NEAR(*R->Value(Quantity), V[I], Step->second / 2 + 1e-9)
                << Variant << "/" << int(LocalId) << " " << LiveQuantityName(Quantity) << " " << Hex(Answer);
          }
        }
      }
    }
  }

  TEcuBench B;
  char FSeparator = '.';
};

constexpr double Volt = 17.9 / 255, Percent = 100.0 / 255;

TEST_F(EmulatorRoundTrip, Variant1) {
  Check(1, {{0x01, {}},
            {0x02, {}},
            {0x05, {}},
            {0x03, {{Q::SupplyVoltage, Volt}, {Q::Coolant, 0.75}, {Q::IntakeAir, 0.75}, {Q::Throttle, Percent}}},
            {0x04, {{Q::ManifoldPressure, 256.0 / 65535}, {Q::Injection, 175.0 / 65535}}},
            {0x06, {{Q::Speed, 1.25}, {Q::EngineSpeed, 0.25}}}});
}

TEST_F(EmulatorRoundTrip, Variant2) {
  Check(2, {{0x02,
             {{Q::ManifoldPressure, 1},
              {Q::Throttle, Percent},
              {Q::SupplyVoltage, Volt},
              {Q::Coolant, 0.75},
              {Q::IntakeAir, 0.75}}},
            {0x03, {{Q::Injection, 208.1 / 255}}},
            {0x05, {{Q::EngineSpeed, 0.25}}},
            {0x06, {{Q::Speed, 1.25}}}});
}

TEST_F(EmulatorRoundTrip, Variant3) {
  Check(3, {{0x02,
             {{Q::ManifoldPressure, 1},
              {Q::Throttle, Percent},
              {Q::EngineSpeed, 40},
              {Q::SupplyVoltage, Volt},
              {Q::Coolant, 0.75},
              {Q::IntakeAir, 0.75}}},
            {0x03, {{Q::Injection, 208.1 / 255}}},
            {0x06, {{Q::Speed, 1.25}}}});
}

}  // namespace
