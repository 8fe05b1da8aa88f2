// The answer stage: the frame composer, the monitor line, "Нет ответа", the
// target filter and the communication and session services.

#include <gtest/gtest.h>

#include "fakes.h"
#include "numtext.h"

namespace {

const TBytes LiveData01 = {0x82, 0x11, 0xF1, 0x21, 0x01, 0xA6};

// A bench whose current request came from the tester F1 to the unit 11.
TEcuBench& ForRequestFromF1(TEcuBench& B) {
  B.Ecu.RequestSource = 0xF1;
  B.Ecu.RequestTarget = 0x11;
  return B;
}

TEST(SendAnswer, FramesHexTextWithHeaderAndChecksum) {
  TEcuBench B;
  ForRequestFromF1(B);
  const std::pair<const char*, TBytes> Cases[] = {
      {"C1 6B 8F", {0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x40}}, {"7E", {0x81, 0xF1, 0x11, 0x7E, 0x01}},
      {"C 16B8 F", {0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x40}},  // blanks inside pairs
      {"c16b8f", {0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x40}},    // lower case
      {"C1 6B 8", {0x82, 0xF1, 0x11, 0xC1, 0x6B, 0xB0}},         // odd last digit dropped
  };
  for (const auto& [Text, Frame] : Cases) {
    B.Ecu.SendAnswer(Text);
    EXPECT_EQ(B.Sent(), std::vector<TBytes>{Frame}) << Text;
    EXPECT_EQ(TBytes(B.Ecu.TxFrame.begin(), B.Ecu.TxFrame.begin() + static_cast<long>(Frame.size())), Frame);
  }
  // The addresses are those of the current request.
  B.Ecu.RequestSource = 0x13;
  B.Ecu.RequestTarget = 0x33;
  B.Ecu.SendAnswer("7E");
  EXPECT_EQ(B.Sent(), (std::vector<TBytes>{{0x81, 0x13, 0x33, 0x7E, 0x45}}));
}

TEST(SendAnswer, LongAnswersUseTheLongHeader) {
  TEcuBench B;
  ForRequestFromF1(B);
  std::string Text;
  TBytes Expected = {0x80, 0xF1, 0x11, 64};
  for (int I = 0; I < 64; ++I) {
    Text += IntToHex(I, 2) + " ";
    Expected.push_back(static_cast<uint8_t>(I));
  }
  B.Ecu.SendAnswer(Text);
  EXPECT_EQ(B.Sent(), std::vector<TBytes>{WithChecksum(Expected)});

  // 63 data bytes still fit the short header: format byte BF.
  B.Ecu.SendAnswer(std::string(126, 'A'));
  const std::vector<TBytes> Short = B.Sent();
  ASSERT_EQ(Short.size(), 1u);
  EXPECT_EQ(Short[0][0], 0xBF);
  EXPECT_EQ(Short[0].size(), 67u);

  B.Ecu.SendAnswer(std::string(510, '1'));
  const std::vector<TBytes> Longest = B.Sent();
  ASSERT_EQ(Longest.size(), 1u);
  EXPECT_EQ(Longest[0][3], 255);
  EXPECT_EQ(Longest[0].size(), 260u);

  // An empty answer can only be written with the long header's length 0.
  B.Ecu.SendAnswer(" ");
  EXPECT_EQ(B.Sent(), (std::vector<TBytes>{{0x80, 0xF1, 0x11, 0x00, 0x82}}));
}

TEST(SendAnswer, RefusesBadPairsAndOverlongTextsWithoutSending) {
  TEcuBench B;
  ForRequestFromF1(B);
  B.Ecu.SendAnswer("7E");
  B.Sent();
  EXPECT_THROW(B.Ecu.SendAnswer("C1 G0"), EConvertError);
  EXPECT_THROW(B.Ecu.SendAnswer("C1 -1"), EConvertError);
  EXPECT_THROW(B.Ecu.SendAnswer(std::string(512, '0')), std::length_error);
  EXPECT_TRUE(B.Sent().empty());
  // The previous answer stays in the frame buffer.
  EXPECT_EQ(TBytes(B.Ecu.TxFrame.begin(), B.Ecu.TxFrame.begin() + 5), (TBytes{0x81, 0xF1, 0x11, 0x7E, 0x01}));
}

TEST(Monitor, OneLinePerReceivedFrame) {
  TEcuBench B;
  B.Event(StartComm);
  ASSERT_EQ(B.Panel.Lines.size(), 1u);
  const std::string& Line = B.Panel.Lines[0];
  EXPECT_EQ(Line.size(), 20u);
  EXPECT_EQ(Line.substr(0, 5), " - > ");
  EXPECT_EQ(Line.substr(5), " 81 11 F1 81 04");
  const uint8_t Bytes[] = {0x00, 0x0A, 0xFF};
  B.Ecu.LogFrame(Bytes, 3);
  EXPECT_EQ(B.Panel.Lines.back(), " - >  00 0A FF");
  // Answers are not shown.
  EXPECT_EQ(B.Panel.Lines.size(), 2u);
}

TEST(AnswerStage, NoAnswerSuppressesEveryAnswerButNotTheLine) {
  TEcuBench B;
  B.Panel.NoAnswer = true;
  B.Panel.Faults = {{"0102 Датчик", true}};
  for (const TBytes& Request : {StartComm, TBytes{0x82, 0x11, 0xF1, 0x10, 0x86, 0x1A},
                                TBytes{0x81, 0x11, 0xF1, 0x3E, 0xC1}, TBytes{0x81, 0x11, 0xF1, 0x18, 0x9B}})
    EXPECT_TRUE(B.Answer(Request).empty()) << Hex(Request);
  EXPECT_EQ(B.Panel.Lines.size(), 4u);
  EXPECT_FALSE(B.Ecu.CommunicationActive);
  B.Panel.NoAnswer = false;
  EXPECT_EQ(B.Answer(StartComm), StartCommAnswer);
}

TEST(AnswerStage, OtherTargetsAndUnknownServicesGetNoAnswer) {
  TEcuBench B;
  EXPECT_TRUE(B.Answer({0x81, 0x33, 0xF1, 0x81, 0x26}).empty());
  EXPECT_FALSE(B.Ecu.CommunicationActive);
  for (uint8_t Service : {0x81, 0x82, 0x10, 0x3E})
    EXPECT_TRUE(B.Answer(WithChecksum({0x81, 0x33, 0xF1, Service})).empty()) << int(Service);
  EXPECT_EQ(B.Panel.Lines.size(), 5u);
  B.Start();
  for (uint8_t Service : {0x1A, 0x27, 0x31, 0x14, 0x00, 0xFF})
    EXPECT_TRUE(B.Answer(WithChecksum({0x82, 0x11, 0xF1, Service, 0x01})).empty()) << int(Service);
  // Live data to another target, also with communication started.
  EXPECT_TRUE(B.Answer(WithChecksum({0x82, 0x33, 0xF1, 0x21, 0x01})).empty());
}

TEST(AnswerStage, AWriteErrorLeavesTheAssemblerIdleAndTheNextRequestIsAnswered) {
  TEcuBench B;
  B.Port.WriteError = "Write error (5), Input/output error";
  B.Port.Input.assign(StartComm.begin(), StartComm.end());
  EXPECT_THROW(B.Ecu.RxChar(5), std::runtime_error);
  EXPECT_FALSE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Panel.Lines.size(), 1u);
  B.Port.WriteError.clear();
  EXPECT_EQ(B.Answer({0x81, 0x11, 0xF1, 0x3E, 0xC1}), (TBytes{0x81, 0xF1, 0x11, 0x7E, 0x01}));
}

TEST(Services, StartCommunicationEnablesLiveData) {
  TEcuBench B;
  EXPECT_TRUE(B.Answer(LiveData01).empty());
  EXPECT_EQ(B.Answer(StartComm), StartCommAnswer);
  EXPECT_TRUE(B.Ecu.CommunicationActive);
  EXPECT_FALSE(B.Answer(LiveData01).empty());
  // Extra parameters are not examined; another tester address is answered.
  EXPECT_EQ(B.Answer(WithChecksum({0x83, 0x11, 0xF1, 0x81, 0x12, 0x34})), StartCommAnswer);
  EXPECT_EQ(B.Answer(WithChecksum({0x81, 0x11, 0xF0, 0x81})), WithChecksum({0x83, 0xF0, 0x11, 0xC1, 0x6B, 0x8F}));
}

TEST(Services, StopCommunicationAnswersAndKeepsLiveDataEnabled) {
  TEcuBench B;
  const TBytes Answer = {0x81, 0xF1, 0x11, 0xC2, 0x45};
  EXPECT_EQ(B.Answer({0x81, 0x11, 0xF1, 0x82, 0x05}), Answer);
  EXPECT_FALSE(B.Ecu.CommunicationActive);
  // 82 11 F1 82 06 announces two data bytes: it is answered once the sixth
  // byte arrives.
  EXPECT_TRUE(B.Answer({0x82, 0x11, 0xF1, 0x82, 0x06}).empty());
  EXPECT_EQ(B.Answer({0x00}), Answer);
  B.Start();
  EXPECT_EQ(B.Answer({0x81, 0x11, 0xF1, 0x82, 0x05}), Answer);
  EXPECT_TRUE(B.Ecu.CommunicationActive);
  EXPECT_EQ(B.Answer(LiveData01),
            (TBytes{0x89, 0xF1, 0x11, 0x61, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xEB}));
}

TEST(Services, StartDiagnosticSessionAlwaysNamesMode86) {
  TEcuBench B;
  const TBytes Answer = {0x82, 0xF1, 0x11, 0x50, 0x86, 0x5A};
  EXPECT_EQ(B.Answer({0x82, 0x11, 0xF1, 0x10, 0x86, 0x1A}), Answer);
  EXPECT_TRUE(B.Ecu.CommunicationActive);
  EXPECT_EQ(B.Answer(WithChecksum({0x82, 0x11, 0xF1, 0x10, 0x81})), Answer);
  EXPECT_EQ(B.Answer(WithChecksum({0x81, 0x11, 0xF1, 0x10})), Answer);

  TEcuBench Fresh;
  Fresh.Answer({0x82, 0x11, 0xF1, 0x10, 0x81, 0x15});
  EXPECT_FALSE(Fresh.Answer(LiveData01).empty());
}

TEST(Services, TesterPresentIsAnsweredWithOrWithoutCommunication) {
  TEcuBench B;
  const TBytes Request = {0x81, 0x11, 0xF1, 0x3E, 0xC1};
  const TBytes Answer = {0x81, 0xF1, 0x11, 0x7E, 0x01};
  EXPECT_EQ(B.Answer(Request), Answer);
  EXPECT_FALSE(B.Ecu.CommunicationActive);
  B.Start();
  EXPECT_EQ(B.Answer(Request), Answer);
}

}  // namespace
