// Request assembly from receive events: both header forms, frames spread over
// several events, dropped format bytes, "Pause", buffer bounds and echoes.

#include <gtest/gtest.h>

#include "fakes.h"

namespace {

const TBytes StartComm = {0x81, 0x11, 0xF1, 0x81, 0x04};
const TBytes StartCommAnswer = {0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x40};

TEST(Assembly, ShortHeaderFrameInOneEvent) {
  TEcuBench B;
  EXPECT_EQ(B.Answer(StartComm), StartCommAnswer);
  EXPECT_EQ(B.Ecu.RequestTarget, 0x11);
  EXPECT_EQ(B.Ecu.RequestSource, 0xF1);
  EXPECT_EQ(B.Ecu.RequestData[0], 0x81);
  EXPECT_EQ(B.Ecu.RequestData[1], 0x00);
  EXPECT_FALSE(B.Ecu.RequestPending);
  ASSERT_EQ(B.Panel.Lines.size(), 1u);
  EXPECT_EQ(B.Panel.Lines[0], " - >  81 11 F1 81 04");
}

TEST(Assembly, LongHeaderFrameInOneEvent) {
  TEcuBench B;
  B.Event({0x80, 0x11, 0xF1, 0x02, 0x21, 0x01, 0xA6});
  EXPECT_EQ(B.Ecu.HeaderLength, 4);
  EXPECT_EQ(B.Ecu.RequestData[0], 0x21);
  EXPECT_EQ(B.Ecu.RequestData[1], 0x01);
  EXPECT_EQ(B.Ecu.PendingDataLength, 0);
  ASSERT_EQ(B.Panel.Lines.size(), 1u);
  EXPECT_EQ(B.Panel.Lines[0], " - >  80 11 F1 02 21 01 A6");
}

TEST(Assembly, FramesSpreadOverSeveralEvents) {
  {
    // Long header: the length byte arrives with the second event.
    TEcuBench B;
    B.Event({0x80});
    EXPECT_TRUE(B.Ecu.RequestPending);
    EXPECT_EQ(B.Ecu.PartialCount, 1);
    B.Event({0x11, 0xF1, 0x02});
    EXPECT_TRUE(B.Ecu.RequestPending);
    EXPECT_EQ(B.Ecu.PartialCount, 4);
    EXPECT_TRUE(B.Panel.Lines.empty());
    B.Event({0x21, 0x01, 0xA6});
    EXPECT_FALSE(B.Ecu.RequestPending);
    EXPECT_EQ(B.Ecu.PartialCount, 0);
    EXPECT_EQ(B.Ecu.RequestData[0], 0x21);
    EXPECT_EQ(B.Ecu.RequestData[1], 0x01);
    ASSERT_EQ(B.Panel.Lines.size(), 1u);
    EXPECT_EQ(B.Panel.Lines[0], " - >  80 11 F1 02 21 01 A6");
  }
  {
    // Short header: target and source are taken once the bytes are there.
    TEcuBench B;
    B.Event({0x82, 0x11});
    EXPECT_TRUE(B.Ecu.RequestPending);
    B.Event({0xF1, 0x21, 0x01, 0xA6});
    EXPECT_EQ(B.Ecu.RequestTarget, 0x11);
    EXPECT_EQ(B.Ecu.RequestSource, 0xF1);
    EXPECT_EQ(B.Ecu.RequestData[1], 0x01);
    EXPECT_EQ(B.Panel.Lines, std::vector<std::string>{" - >  82 11 F1 21 01 A6"});
  }
  {
    // One byte at a time.
    TEcuBench B;
    for (uint8_t Byte : StartComm) B.Event({Byte});
    EXPECT_EQ(B.Sent(), std::vector<TBytes>{StartCommAnswer});
    EXPECT_EQ(B.Panel.Lines.size(), 1u);
  }
}

TEST(Assembly, FormatBytesWithoutPhysicalAddressingAreDropped) {
  TEcuBench B;
  for (int Format = 0; Format < 256; ++Format) {
    if (Format >= 0x80 && Format <= 0xBF) continue;
    B.Event({static_cast<uint8_t>(Format), 0x11, 0xF1, 0x81, 0x04});
    EXPECT_FALSE(B.Ecu.RequestPending) << Format;
  }
  B.Event({0xC1, 0x33, 0xF1, 0x81, 0x66});
  EXPECT_TRUE(B.Panel.Lines.empty());
  EXPECT_TRUE(B.Sent().empty());
  // An event that starts in the middle of a frame is read from its first byte.
  B.Event({0xF1, 0x81, 0x04});
  EXPECT_TRUE(B.Panel.Lines.empty());
  EXPECT_EQ(B.Answer(StartComm), StartCommAnswer);
}

TEST(Assembly, SurplusBytesKeepTheRequestPendingUntilTheNextEvent) {
  TEcuBench B;
  B.Event({0x81, 0x11, 0xF1, 0x81, 0x04, 0x00});
  EXPECT_TRUE(B.Ecu.RequestPending);
  EXPECT_TRUE(B.Panel.Lines.empty());
  EXPECT_TRUE(B.Sent().empty());
  EXPECT_EQ(B.Answer({0x3E}), StartCommAnswer);
  EXPECT_EQ(B.Panel.Lines, std::vector<std::string>{" - >  81 11 F1 81 04 00 3E"});
  EXPECT_FALSE(B.Ecu.RequestPending);

  // Two frames in one event: the second is shown and dropped with the first.
  B.Event({0x81, 0x11, 0xF1, 0x3E, 0xC1, 0x81, 0x11, 0xF1, 0x81, 0x04});
  EXPECT_TRUE(B.Sent().empty());
  EXPECT_EQ(B.Answer({0x00}), (TBytes{0x81, 0xF1, 0x11, 0x7E, 0x01}));
  EXPECT_EQ(B.Panel.Lines.back(), " - >  81 11 F1 3E C1 81 11 F1 81 04 00");
}

TEST(Assembly, PauseConsumesBytesAndKeepsThePendingRequest) {
  TEcuBench B;
  B.Event({0x81, 0x11});
  B.Panel.Pause = true;
  B.Event(StartComm);
  B.Event({0xF1, 0x81, 0x04});
  EXPECT_TRUE(B.Port.Input.empty());
  EXPECT_TRUE(B.Panel.Lines.empty());
  EXPECT_TRUE(B.Sent().empty());
  EXPECT_TRUE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Ecu.PartialCount, 2);
  B.Panel.Pause = false;
  EXPECT_EQ(B.Answer({0xF1, 0x81, 0x04}), StartCommAnswer);
}

TEST(Assembly, OnlyTheBytesActuallyReadAreProcessed) {
  TEcuBench B;
  B.Port.ReadLimit = 3;
  B.Port.Input.assign(StartComm.begin(), StartComm.end());
  B.Ecu.RxChar(5);
  EXPECT_TRUE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Ecu.PartialCount, 3);
  EXPECT_TRUE(B.Sent().empty());
  B.Ecu.RxChar(2);  // the two bytes still waiting complete the frame
  EXPECT_EQ(B.Sent(), std::vector<TBytes>{StartCommAnswer});

  // A read that returns nothing changes nothing.
  B.Port.Input.clear();
  B.Ecu.RxChar(5);
  EXPECT_FALSE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Panel.Lines.size(), 1u);
}

TEST(Assembly, EventsLargerThanTheBufferAreReadInBufferSizedPieces) {
  TEcuBench B;
  TBytes Flood(1024, 0x00);  // format byte 00: dropped
  Flood.insert(Flood.end(), StartComm.begin(), StartComm.end());
  B.Event(Flood);
  EXPECT_EQ(B.Port.ReadSizes, (std::vector<int>{1024, 5}));
  EXPECT_TRUE(B.Port.Input.empty());
  EXPECT_EQ(B.Sent(), std::vector<TBytes>{StartCommAnswer});
}

TEST(Assembly, APendingRequestThatWouldOutgrowTheBufferIsDropped) {
  TEcuBench B;
  B.Event({0x82, 0x11});
  B.Event(TBytes(1023, 0x55));  // 2 + 1023 > 1024
  EXPECT_FALSE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Ecu.PartialCount, 0);
  EXPECT_TRUE(B.Panel.Lines.empty());
  EXPECT_EQ(B.Answer(StartComm), StartCommAnswer);

  // Exactly filling the buffer still completes the request.
  B.Event({0x82, 0x11});
  TBytes Rest = {0xF1, 0x3E, 0x00, 0xC2};
  Rest.resize(1022, 0x55);
  EXPECT_EQ(B.Answer(Rest), (TBytes{0x81, 0xF1, 0x11, 0x7E, 0x01}));
  EXPECT_EQ(B.Panel.Lines.back().size(), 5u + 3u * 1024u);
}

TEST(Assembly, AReadErrorLeavesTheStateUnchanged) {
  TEcuBench B;
  B.Event({0x80, 0x11});
  B.Port.ReadError = "Read error (5), Input/output error";
  B.Port.Input.assign(StartComm.begin(), StartComm.end());
  EXPECT_THROW(B.Ecu.RxChar(5), std::runtime_error);
  EXPECT_TRUE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Ecu.PartialCount, 2);
  EXPECT_EQ(B.Ecu.HeaderLength, 4);
  EXPECT_TRUE(B.Panel.Lines.empty());
}

TEST(Assembly, FormCreateResetsEverything) {
  TEcuBench B;
  B.Start();
  B.Event({0x80, 0x11, 0xF1});
  ASSERT_TRUE(B.Ecu.RequestPending);
  B.Ecu.FormCreate();
  EXPECT_FALSE(B.Ecu.RequestPending);
  EXPECT_FALSE(B.Ecu.CommunicationActive);
  EXPECT_EQ(B.Ecu.PartialCount, 0);
  EXPECT_EQ(B.Ecu.HeaderLength, 3);
  EXPECT_EQ(B.Ecu.PendingDataLength, 0);
  EXPECT_EQ(B.Ecu.RequestData[0], 0);
  EXPECT_EQ(B.Ecu.TxFrame[0], 0);
  EXPECT_EQ(B.Ecu.PartialFrame[0], 0);
  // Live data is refused again until communication is restarted.
  EXPECT_TRUE(B.Answer({0x82, 0x11, 0xF1, 0x21, 0x01, 0xA6}).empty());
}

TEST(Assembly, OwnAnswersFedBackAsEchoesAreShownAndNotAnswered) {
  TEcuBench B;
  B.Panel.Faults.assign(30, {"0102 Датчик", true});
  const TBytes Requests[] = {StartComm, {0x82, 0x11, 0xF1, 0x21, 0x06, 0xAB}, {0x81, 0x11, 0xF1, 0x18, 0x9B},
                             {0x81, 0x11, 0xF1, 0x82, 0x05}};
  for (const TBytes& Request : Requests) {
    const TBytes Reply = B.Answer(Request);
    ASSERT_FALSE(Reply.empty()) << Hex(Request);
    const size_t LinesBefore = B.Panel.Lines.size();
    EXPECT_TRUE(B.Answer(Reply).empty()) << Hex(Reply);
    ASSERT_EQ(B.Panel.Lines.size(), LinesBefore + 1) << Hex(Reply);
    EXPECT_EQ(B.Panel.Lines.back().size(), 5 + 3 * Reply.size());
    EXPECT_FALSE(B.Ecu.RequestPending);
  }
}

}  // namespace
