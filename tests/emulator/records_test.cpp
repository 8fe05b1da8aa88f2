// Live data records of the three variants: the bytes for given field texts,
// the order in which fields are read, conversion failures and saturation.

#include <gtest/gtest.h>

#include "fakes.h"
#include "numtext.h"

namespace {

TBytes Request(uint8_t LocalId) { return WithChecksum({0x82, 0x11, 0xF1, 0x21, LocalId}); }

// A frame F1 <- 11 with the given data bytes: short header and checksum.
TBytes Reply(const TBytes& Data) {
  TBytes Frame = {static_cast<uint8_t>(0x80 + Data.size()), 0xF1, 0x11};
  Frame.insert(Frame.end(), Data.begin(), Data.end());
  return WithChecksum(Frame);
}

// Record data bytes: 61, the identifier, zeros, and the given values.
TBytes Record(uint8_t LocalId, size_t Length, std::initializer_list<std::pair<size_t, uint8_t>> Values) {
  TBytes Data(Length, 0x00);
  Data[0] = 0x61;
  Data[1] = LocalId;
  for (const auto& [Index, Value] : Values) Data.at(Index) = Value;
  return Data;
}

// The emulator's answer to a live data request, with communication started.
class Records : public ::testing::Test {
protected:
  void SetUp() override {
    SetDecimalSeparator(',');
    B.Start();
  }
  void TearDown() override { SetDecimalSeparator('.'); }
  TBytes Ask(uint8_t LocalId) { return B.Answer(Request(LocalId)); }
  void Set(TEcuField Field, const std::string& Text) { B.Panel.Fields[Field] = Text; }
  // The message of the conversion error the request raised, nothing sent.
  std::string Failure(uint8_t LocalId) {
    B.Sent();
    B.Port.Input.clear();
    const TBytes R = Request(LocalId);
    B.Port.Input.assign(R.begin(), R.end());
    std::string Message = "no error";
    try {
      B.Ecu.RxChar(static_cast<int>(R.size()));
    } catch (const EConvertError& E) {
      Message = E.what();
    }
    EXPECT_TRUE(B.Sent().empty());
    EXPECT_FALSE(B.Ecu.RequestPending);
    return Message;
  }
  void Values2And3() {
    Set(TEcuField::VSS, "100");
    Set(TEcuField::TOG, "90");
    Set(TEcuField::RPM, "820");
    Set(TEcuField::ATP, "30");
    Set(TEcuField::IMAP, "101");
    Set(TEcuField::Dv, "2,5");
    Set(TEcuField::IAT, "35");
    Set(TEcuField::Ubat, "14");
  }
  TEcuBench B;
};

TEST_F(Records, Variant1FixedRecords) {
  EXPECT_EQ(Ask(0x01), (TBytes{0x89, 0xF1, 0x11, 0x61, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xEB}));
  EXPECT_EQ(Ask(0x02), Reply({0x61, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Ask(0x05), Reply({0x61, 0x05, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0x00, 0x00}));
  for (uint8_t Unknown : {0x00, 0x07, 0x08, 0x10, 0xFF}) EXPECT_TRUE(Ask(Unknown).empty()) << int(Unknown);
  // Other services are not answered by the records either.
  EXPECT_TRUE(B.Answer(WithChecksum({0x82, 0x11, 0xF1, 0x22, 0x01})).empty());
}

// Texts whose codes are exact halves in extended precision (5,37 V is
// 76.5 counts): the bytes that the Linux build sends, on every platform.
TEST_F(Records, HalfwayTextsRoundInExtendedPrecision) {
  struct {
    const char* Text;
    uint8_t Code;
  } const Voltages[] = {{"5,37", 0x4C}, {"8,95", 0x80}, {"16,11", 0xE6}};
  for (const auto& V : Voltages) {
    Set(TEcuField::Ubat, V.Text);
    B.Panel.Variant = 1;
    EXPECT_EQ(Ask(0x03), Reply(Record(0x03, 11, {{4, V.Code}, {5, 0x5B}, {6, 0x5B}}))) << V.Text;
    for (int Variant : {2, 3}) {
      B.Panel.Variant = Variant;
      EXPECT_EQ(Ask(0x02)[3 + 27], V.Code) << V.Text << " variant " << Variant;
    }
  }
  Set(TEcuField::Dv, "104,05");
  for (int Variant : {2, 3}) {
    B.Panel.Variant = Variant;
    EXPECT_EQ(Ask(0x03), Reply(Record(0x03, 20, {{10, 0x80}, {11, 0x80}, {12, 0x80}, {13, 0x80}})))
        << "variant " << Variant;
  }
}

TEST_F(Records, Variant1ValueRecords) {
  Set(TEcuField::ATP, "10");
  EXPECT_EQ(Ask(0x03),
            (TBytes{0x8B, 0xF1, 0x11, 0x61, 0x03, 0x00, 0x00, 0xAB, 0x5B, 0x5B, 0x1A, 0x00, 0x00, 0x00, 0x6C}));
  Set(TEcuField::IMAP, "100");
  Set(TEcuField::Dv, "2,5");
  EXPECT_EQ(Ask(0x04), (TBytes{0x8E, 0xF1, 0x11, 0x61, 0x04, 0x00, 0x64, 0x00, 0x00, 0xA8, 0x03, 0xA8, 0x03, 0xA8, 0x03,
                               0xA8, 0x03, 0x05}));
  Set(TEcuField::IMAP, "200");
  EXPECT_EQ(TBytes(Ask(0x04)).at(5), 0xFF);
  EXPECT_EQ(B.Ecu.TxFrame[6], 0xC7);
  Set(TEcuField::IMAP, "128");  // 32767.5 rounds to the even 32768
  Ask(0x04);
  EXPECT_EQ(B.Ecu.TxFrame[5], 0x00);
  EXPECT_EQ(B.Ecu.TxFrame[6], 0x80);
  Set(TEcuField::VSS, "60");
  Set(TEcuField::RPM, "800");
  EXPECT_EQ(Ask(0x06), (TBytes{0x8E, 0xF1, 0x11, 0x61, 0x06, 0x30, 0x00, 0x00, 0x80, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0x00, 0x00, 0xB3}));
  // Speed is a floating-point text in this variant.
  Set(TEcuField::VSS, "62,5");
  EXPECT_EQ(Ask(0x06).at(5), 0x32);
}

TEST_F(Records, FieldsAreReadInTheOrderOfTheBytesTheyFill) {
  using F = TEcuField;
  const std::pair<uint8_t, std::vector<TEcuField>> Cases1[] = {
      {0x03, {F::Ubat, F::TOG, F::IAT, F::ATP}},
      {0x04, {F::IMAP, F::Dv, F::Dv, F::Dv, F::Dv}},
      {0x06, {F::VSS, F::RPM}},
  };
  for (const auto& [Id, Order] : Cases1) {
    B.Panel.Reads.clear();
    Ask(Id);
    EXPECT_EQ(B.Panel.Reads, Order) << int(Id);
  }
  B.Panel.Variant = 3;
  B.Panel.Reads.clear();
  Ask(0x02);
  EXPECT_EQ(B.Panel.Reads, (std::vector<F>{F::IMAP, F::ATP, F::RPM, F::Ubat, F::TOG, F::IAT}));
  B.Panel.Variant = 2;
  B.Panel.Reads.clear();
  Ask(0x02);
  EXPECT_EQ(B.Panel.Reads, (std::vector<F>{F::IMAP, F::ATP, F::Ubat, F::TOG, F::IAT}));
}

TEST_F(Records, ConversionFailuresSendNothingAndTheNextRequestIsAnswered) {
  Set(TEcuField::TOG, "20,5");
  EXPECT_EQ(Failure(0x03), "'20,5' is not a valid integer value");
  Set(TEcuField::TOG, "20");
  Set(TEcuField::Ubat, "");
  EXPECT_EQ(Failure(0x03), "'' is not a valid floating point value");
  Set(TEcuField::Ubat, "12.00");  // the point under a comma locale
  EXPECT_EQ(Failure(0x03), "'12.00' is not a valid floating point value");
  Set(TEcuField::IAT, "abc");  // Ubat is read first and reported first
  EXPECT_EQ(Failure(0x03), "'12.00' is not a valid floating point value");
  Set(TEcuField::IMAP, "12,7");
  EXPECT_EQ(Failure(0x04), "'12,7' is not a valid integer value");
  Set(TEcuField::RPM, "8OO");
  EXPECT_EQ(Failure(0x06), "'8OO' is not a valid floating point value");
  // The monitor line of each failed request was written.
  EXPECT_EQ(B.Panel.Lines.size(), 1u + 6u);
  EXPECT_FALSE(Ask(0x01).empty());

  B.Panel.Variant = 2;
  Set(TEcuField::TOG, "20,5");
  EXPECT_EQ(Failure(0x02), "'12,7' is not a valid integer value");  // IMAP comes first
  Set(TEcuField::IMAP, "0");
  EXPECT_EQ(Failure(0x02), "'12.00' is not a valid floating point value");
  Set(TEcuField::Ubat, "12");
  EXPECT_EQ(Failure(0x02), "'20,5' is not a valid integer value");
  Set(TEcuField::VSS, "60,5");  // an integer text in variants 2 and 3
  EXPECT_EQ(Failure(0x06), "'60,5' is not a valid integer value");
  Set(TEcuField::Dv, "2.5");
  EXPECT_EQ(Failure(0x03), "'2.5' is not a valid floating point value");
  B.Panel.Variant = 3;
  Set(TEcuField::TOG, "20");
  Set(TEcuField::RPM, "820,5");
  EXPECT_EQ(Failure(0x02), "'820,5' is not a valid integer value");
  Set(TEcuField::Dv, "2,5");
  EXPECT_EQ(Ask(0x03).at(13), 0x03);
}

TEST_F(Records, PointLocaleReadsThePoint) {
  SetDecimalSeparator('.');
  Set(TEcuField::Ubat, "12.00");
  Set(TEcuField::ATP, "10");
  EXPECT_EQ(Ask(0x03).at(7), 0xAB);
}

TEST_F(Records, Variants2And3StartValues) {
  const TBytes Expected = Reply(Record(0x02, 32, {{27, 0xAB}, {29, 0x5B}, {31, 0x5B}}));
  ASSERT_EQ(Expected.size(), 36u);
  EXPECT_EQ(Expected.front(), 0xA0);
  EXPECT_EQ(Expected.back(), 0x66);
  for (int Variant : {2, 3}) {
    B.Panel.Variant = Variant;
    EXPECT_EQ(Ask(0x02), Expected) << Variant;
  }
}

TEST_F(Records, Variants2And3WithValues) {
  Values2And3();
  B.Panel.Variant = 2;
  const TBytes V2 = Reply(Record(0x02, 32, {{13, 0x65}, {22, 0x4C}, {27, 0xC7}, {29, 0xB8}, {31, 0x6F}}));
  EXPECT_EQ(V2.back(), 0xA4);
  EXPECT_EQ(Ask(0x02), V2);
  const TBytes Injection = Reply(Record(0x03, 20, {{10, 0x03}, {11, 0x03}, {12, 0x03}, {13, 0x03}}));
  EXPECT_EQ(Injection.front(), 0x94);
  EXPECT_EQ(Injection.back(), 0x06);
  EXPECT_EQ(Ask(0x03), Injection);
  EXPECT_EQ(Ask(0x05), (TBytes{0x8B, 0xF1, 0x11, 0x61, 0x05, 0, 0, 0, 0, 0, 0, 0, 0xD0, 0x0C, 0xCF}));
  const TBytes Speed = {0x8B, 0xF1, 0x11, 0x61, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, 0x44};
  EXPECT_EQ(Ask(0x06), Speed);

  B.Panel.Variant = 3;
  const TBytes V3 = Reply(Record(0x02, 32, {{13, 0x65}, {22, 0x4C}, {25, 0x14}, {27, 0xC7}, {29, 0xB8}, {31, 0x6F}}));
  EXPECT_EQ(V3.back(), 0xB8);
  EXPECT_EQ(Ask(0x02), V3);
  EXPECT_EQ(Ask(0x03), Injection);
  EXPECT_EQ(Ask(0x06), Speed);
}

TEST_F(Records, Variants2And3RoundingAndParsing) {
  B.Panel.Variant = 3;
  Set(TEcuField::ATP, "10");     // 25.5 -> 26
  Set(TEcuField::RPM, "860");    // 21.5 -> 22
  Set(TEcuField::IMAP, "12,5");  // a floating-point text here: 12.5 -> 12
  Ask(0x02);
  EXPECT_EQ(B.Ecu.TxFrame[3 + 22], 0x1A);
  EXPECT_EQ(B.Ecu.TxFrame[3 + 25], 0x16);
  EXPECT_EQ(B.Ecu.TxFrame[3 + 13], 0x0C);
  Set(TEcuField::RPM, "10000");
  Ask(0x02);
  EXPECT_EQ(B.Ecu.TxFrame[3 + 25], 0xFA);
  B.Panel.Variant = 2;
  Set(TEcuField::IMAP, "101");
  Set(TEcuField::RPM, "10000");
  Ask(0x02);
  EXPECT_EQ(B.Ecu.TxFrame[3 + 13], 0x65);
  EXPECT_EQ(B.Ecu.TxFrame[3 + 25], 0x00);
  EXPECT_EQ(Ask(0x05).at(12), 0x40);
  EXPECT_EQ(B.Ecu.TxFrame[13], 0x9C);
  Set(TEcuField::VSS, "250");
  EXPECT_EQ(Ask(0x06).at(13), 0xC8);
  Set(TEcuField::Dv, "25");
  EXPECT_EQ(Ask(0x03).at(13), 0x1F);
}

TEST_F(Records, EachVariantAnswersOnlyItsOwnIdentifiers) {
  const std::pair<int, std::vector<uint8_t>> Known[] = {
      {1, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}}, {2, {0x02, 0x03, 0x05, 0x06}}, {3, {0x02, 0x03, 0x06}}};
  for (const auto& [Variant, Ids] : Known) {
    B.Panel.Variant = Variant;
    for (int Id = 0; Id < 256; ++Id) {
      const bool Expected = std::find(Ids.begin(), Ids.end(), Id) != Ids.end();
      EXPECT_EQ(!Ask(static_cast<uint8_t>(Id)).empty(), Expected) << Variant << " " << Id;
    }
  }
}

TEST_F(Records, NoLiveDataBeforeCommunicationInAnyVariant) {
  for (int Variant : {1, 2, 3}) {
    TEcuBench Fresh;
    Fresh.Panel.Variant = Variant;
    EXPECT_TRUE(Fresh.Answer(Request(0x02)).empty()) << Variant;
    EXPECT_TRUE(Fresh.Answer(Request(0x06)).empty()) << Variant;
  }
}

TEST_F(Records, RequestDataIsKeptBetweenRequests) {
  Set(TEcuField::VSS, "60");
  Set(TEcuField::RPM, "800");
  const TBytes Full = Ask(0x06);
  ASSERT_FALSE(Full.empty());
  // Service 21 without its identifier: the previous identifier 06 answers.
  EXPECT_EQ(B.Answer({0x81, 0x11, 0xF1, 0x21, 0xA4}), Full);
  B.Panel.Variant = 2;
  EXPECT_EQ(B.Answer({0x81, 0x11, 0xF1, 0x21, 0xA4}), Reply(Record(0x06, 11, {{10, 0x30}})));
  // A long header with no data bytes repeats the whole previous request.
  EXPECT_EQ(B.Answer({0x80, 0x11, 0xF1, 0x00, 0x82}), Reply(Record(0x06, 11, {{10, 0x30}})));
}

// Values beyond a byte are saturated: every byte keeps its position.
TEST_F(Records, OutOfRangeValuesSaturateAndKeepTheLayout) {
  Set(TEcuField::Ubat, "20");  // 284.9 -> FF
  Set(TEcuField::TOG, "150");  // 264 -> FF
  Set(TEcuField::IAT, "-60");  // -16 -> 00
  Set(TEcuField::ATP, "-5");   // -12.75 -> 00
  EXPECT_EQ(Ask(0x03), Reply({0x61, 0x03, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00}));
  Set(TEcuField::IMAP, "2147483647");  // the 64-bit product does not wrap
  Set(TEcuField::Dv, "1e4000");
  EXPECT_EQ(Ask(0x04), Reply({0x61, 0x04, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  Set(TEcuField::IMAP, "-1");
  Set(TEcuField::Dv, "-0,5");
  EXPECT_EQ(Ask(0x04), Reply({0x61, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  Set(TEcuField::IMAP, "32768");  // beyond 32767 kPa the 32-bit product would overflow
  EXPECT_EQ(Ask(0x04).at(5), 0xFF);
  Set(TEcuField::VSS, "400");    // 320 -> FF
  Set(TEcuField::RPM, "16384");  // 65536 -> FFFF
  EXPECT_EQ(Ask(0x06), Reply({0x61, 0x06, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  Set(TEcuField::RPM, "-1");
  EXPECT_EQ(Ask(0x06), Reply({0x61, 0x06, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));

  B.Panel.Variant = 2;
  Set(TEcuField::IMAP, "300");
  Set(TEcuField::Ubat, "-1");
  Set(TEcuField::TOG, "2147483647");  // t + 48 computed without overflow
  EXPECT_EQ(Ask(0x02), Reply(Record(0x02, 32, {{13, 0xFF}, {29, 0xFF}})));
  Set(TEcuField::RPM, "20000");
  EXPECT_EQ(Ask(0x05), Reply(Record(0x05, 11, {{9, 0xFF}, {10, 0xFF}})));
  Set(TEcuField::VSS, "-100");
  EXPECT_EQ(Ask(0x06), Reply(Record(0x06, 11, {})));
  B.Panel.Variant = 3;
  Set(TEcuField::IMAP, "-12,5");
  Set(TEcuField::RPM, "-2147483648");
  EXPECT_EQ(Ask(0x02), Reply(Record(0x02, 32, {{29, 0xFF}})));
  Set(TEcuField::Dv, "300");
  EXPECT_EQ(Ask(0x03), Reply(Record(0x03, 20, {{10, 0xFF}, {11, 0xFF}, {12, 0xFF}, {13, 0xFF}})));
}

}  // namespace
