// The fault code report: ticked items in list order, whatever the target,
// variant or dialogue state, and answers beyond 63 data bytes.

#include <gtest/gtest.h>

#include <cstdio>

#include "fakes.h"
#include "fault_codes.h"
#include "numtext.h"

namespace {

const TBytes FullRequest = {0x84, 0x11, 0xF1, 0x18, 0x00, 0xFF, 0x00, 0x9D};

// A list like the window's: 113 items, the first 0102, item 36 0300, the code
// 0601 three times and 0603 twice; the others have codes of their own.
std::vector<std::pair<std::string, bool>> FaultList() {
  std::vector<std::pair<std::string, bool>> Items;
  for (int I = 0; I < 113; ++I) {
    char Code[8];
    std::snprintf(Code, sizeof Code, "%04d", 1000 + I);
    Items.emplace_back(std::string(Code) + " Неисправность", false);
  }
  Items[0].first = "0102 Датчик массового расхода воздуха";
  Items[35].first = "0300 Пропуски воспламенения";
  for (int I : {60, 61, 62}) Items[static_cast<size_t>(I)].first = "0601 Блок управления";
  for (int I : {63, 64}) Items[static_cast<size_t>(I)].first = "0603 Память блока управления";
  return Items;
}

class FaultCodes : public ::testing::Test {
protected:
  void SetUp() override { B.Panel.Faults = FaultList(); }
  void Tick(std::initializer_list<int> Items) {
    for (int I : Items) B.Panel.Faults.at(static_cast<size_t>(I)).second = true;
  }
  TEcuBench B;
};

TEST_F(FaultCodes, NothingTicked) {
  EXPECT_EQ(B.Answer(FullRequest), (TBytes{0x82, 0xF1, 0x11, 0x58, 0x00, 0xDC}));
  B.Panel.Faults.clear();
  EXPECT_EQ(B.Answer(FullRequest), (TBytes{0x82, 0xF1, 0x11, 0x58, 0x00, 0xDC}));
}

TEST_F(FaultCodes, TickedItemsInListOrder) {
  const TBytes Expected = {0x88, 0xF1, 0x11, 0x58, 0x02, 0x01, 0x02, 0xE0, 0x03, 0x00, 0xE0, 0xAA};
  Tick({35, 0});
  EXPECT_EQ(B.Answer(FullRequest), Expected);
  // Only the list order counts, not the order of ticking.
  B.Panel.Faults = FaultList();
  Tick({0, 35});
  EXPECT_EQ(B.Answer(FullRequest), Expected);
}

TEST_F(FaultCodes, DuplicateCodesAreReportedOncePerItem) {
  Tick({60, 61, 62});
  EXPECT_EQ(B.Answer(FullRequest),
            WithChecksum({0x8B, 0xF1, 0x11, 0x58, 0x03, 0x06, 0x01, 0xE0, 0x06, 0x01, 0xE0, 0x06, 0x01, 0xE0}));
}

TEST_F(FaultCodes, AnsweredForAnyTargetVariantAndDialogueState) {
  // Before any StartCommunication, to target 33: the source is 33.
  EXPECT_EQ(B.Answer({0x84, 0x33, 0xF1, 0x18, 0x00, 0xFF, 0x00, 0xBF}), (TBytes{0x82, 0xF1, 0x33, 0x58, 0x00, 0xFE}));
  EXPECT_FALSE(B.Ecu.CommunicationActive);
  Tick({0});
  for (int Variant : {1, 2, 3}) {
    B.Panel.Variant = Variant;
    // Without parameters, like the full request.
    EXPECT_EQ(B.Answer({0x81, 0x11, 0xF1, 0x18, 0x9B}), WithChecksum({0x85, 0xF1, 0x11, 0x58, 0x01, 0x01, 0x02, 0xE0}));
  }
}

TEST_F(FaultCodes, TwentyCodesFillTheShortHeader) {
  for (int I = 0; I < 20; ++I) Tick({I});
  const TBytes Frame = B.Answer(FullRequest);
  ASSERT_EQ(Frame.size(), 66u);
  EXPECT_EQ(Frame[0], 0xBE);
  EXPECT_EQ(Frame[4], 20);
  EXPECT_EQ(Frame[5], 0x01);
  EXPECT_EQ(Frame[6], 0x02);
  EXPECT_EQ(Frame[7], 0xE0);
  EXPECT_EQ(Frame, WithChecksum(TBytes(Frame.begin(), Frame.end() - 1)));
}

// More than 20 codes: the long header with its length byte; at most 84 codes
// (254 data bytes), and the count byte counts those sent.
TEST_F(FaultCodes, MoreThanTwentyCodesUseTheLongHeader) {
  for (int I = 0; I < 21; ++I) Tick({I});
  TBytes Frame = B.Answer(FullRequest);
  ASSERT_EQ(Frame.size(), 4u + 65u + 1u);
  EXPECT_EQ(TBytes(Frame.begin(), Frame.begin() + 6), (TBytes{0x80, 0xF1, 0x11, 65, 0x58, 21}));
  EXPECT_EQ(Frame, WithChecksum(TBytes(Frame.begin(), Frame.end() - 1)));
  // The last code is item 21's (1020 in this list).
  EXPECT_EQ(TBytes(Frame.end() - 4, Frame.end() - 1), (TBytes{0x10, 0x20, 0xE0}));

  for (int I = 0; I < 113; ++I) Tick({I});
  Frame = B.Answer(FullRequest);
  ASSERT_EQ(Frame.size(), 4u + 254u + 1u);
  EXPECT_EQ(TBytes(Frame.begin(), Frame.begin() + 6), (TBytes{0x80, 0xF1, 0x11, 254, 0x58, 84}));
  EXPECT_EQ(Frame, WithChecksum(TBytes(Frame.begin(), Frame.end() - 1)));
  // The 84th ticked item is list item 83, code 1083.
  EXPECT_EQ(TBytes(Frame.end() - 4, Frame.end() - 1), (TBytes{0x10, 0x83, 0xE0}));
}

TEST_F(FaultCodes, AnItemWithoutAFourDigitCodeIsRefused) {
  for (const char* Text : {"01", "01X2 Датчик", ""}) {
    B.Panel.Faults = FaultList();
    B.Panel.Faults[5].first = Text;
    Tick({0, 5});
    B.Sent();
    const TBytes Request = FullRequest;
    B.Port.Input.assign(Request.begin(), Request.end());
    try {
      B.Ecu.RxChar(static_cast<int>(Request.size()));
      ADD_FAILURE() << "accepted " << Text;
    } catch (const EConvertError& E) {
      EXPECT_EQ(std::string(E.what()), std::string("'") + Text + "' is not a valid fault code");
    }
    EXPECT_TRUE(B.Sent().empty());
  }
  // Unticked, such an item is never looked at.
  B.Panel.Faults[5].second = false;
  EXPECT_EQ(B.Answer(FullRequest), WithChecksum({0x85, 0xF1, 0x11, 0x58, 0x01, 0x01, 0x02, 0xE0}));
}

TEST_F(FaultCodes, NoAnswerSuppressesTheReport) {
  B.Panel.NoAnswer = true;
  EXPECT_TRUE(B.Answer(FullRequest).empty());
  EXPECT_EQ(B.Panel.Lines.size(), 1u);
}

}  // namespace

// The rule a scenario's or a start file's codes tick the list by: the codes of
// the real list, a shared code ticking its items in list order, any case.
TEST(FaultCodeList, CodesTickTheirItemsInListOrder) {
  std::vector<std::string> ItemCodes;
  for (const char* Item : FaultCodeItems) ItemCodes.push_back(FaultItemCode(Item));
  EXPECT_EQ(FaultItemCode("01ab Датчик"), "01AB");

  const std::vector<bool> Ticks = TicksForCodes(ItemCodes, {"0601", "0102", "0601", "0603"});
  ASSERT_EQ(Ticks.size(), ItemCodes.size());
  std::vector<std::string> Ticked;
  std::vector<int> Ticked0601;
  for (size_t I = 0; I < Ticks.size(); ++I) {
    if (!Ticks[I]) continue;
    Ticked.push_back(ItemCodes[I]);
    if (ItemCodes[I] == "0601") Ticked0601.push_back(static_cast<int>(I));
  }
  EXPECT_EQ(Ticked, (std::vector<std::string>{"0102", "0601", "0601", "0603"}));
  // The first two of the three 0601 items, not the last.
  ASSERT_EQ(Ticked0601.size(), 2u);
  int Third = -1;
  for (size_t I = static_cast<size_t>(Ticked0601[1]) + 1; I < ItemCodes.size(); ++I)
    if (ItemCodes[I] == "0601") Third = static_cast<int>(I);
  EXPECT_GT(Third, Ticked0601[1]);

  // Nothing named unticks everything; a code named more often than the list
  // has it ticks every such item and no other.
  EXPECT_EQ(TicksForCodes(ItemCodes, {}), std::vector<bool>(ItemCodes.size(), false));
  const std::vector<bool> Many = TicksForCodes({"0102", "0103"}, {"0102", "0102", "0102"});
  EXPECT_EQ(Many, (std::vector<bool>{true, false}));
  EXPECT_EQ(TicksForCodes({"00AB", "00AB"}, {"00ab"}), (std::vector<bool>{true, false}));
}
