// Request assembly from receive events: both header forms, frames spread over
// several events, dropped format bytes, "Pause", buffer bounds and echoes.

#include <gtest/gtest.h>

#include "fakes.h"
#include "numtext.h"

namespace {

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

TEST(Assembly, BytesWithoutAddressInformationAreSkipped) {
  // Format bytes 00..7F cannot begin a frame: each is skipped on its own and
  // the bytes after it are read afresh, so a request behind line noise in
  // the same event is still found.
  TEcuBench B;
  for (int Format = 0; Format < 0x80; ++Format) {
    TBytes Event = {static_cast<uint8_t>(Format)};
    Event.insert(Event.end(), StartComm.begin(), StartComm.end());
    EXPECT_EQ(B.Answer(Event), StartCommAnswer) << Format;
    EXPECT_FALSE(B.Ecu.RequestPending) << Format;
  }
  EXPECT_EQ(B.Panel.Lines, std::vector<std::string>(0x80, " - >  81 11 F1 81 04"));
}

TEST(Assembly, FunctionalFramesAreAssembledAndDroppedWithoutATrace) {
  TEcuBench B;
  // Short and long header (C0 with a length byte), whole and byte by byte;
  // the request right behind each is answered.
  const TBytes Functional[] = {{0xC1, 0x33, 0xF1, 0x81, 0x66}, {0xC0, 0x33, 0xF1, 0x01, 0x81, 0x66}};
  for (const TBytes& Frame : Functional) {
    B.Event(Frame);
    EXPECT_FALSE(B.Ecu.RequestPending);
    for (uint8_t Byte : Frame) B.Event({Byte});
    EXPECT_FALSE(B.Ecu.RequestPending);
    EXPECT_TRUE(B.Sent().empty());
    EXPECT_TRUE(B.Panel.Lines.empty());
    TBytes Both = Frame;
    Both.insert(Both.end(), StartComm.begin(), StartComm.end());
    EXPECT_EQ(B.Answer(Both), StartCommAnswer);
    B.Panel.Lines.clear();
  }
  EXPECT_EQ(B.Ecu.FramesReceived, 2u);
}

TEST(Assembly, EveryFrameOfAnEventIsHandledAtOnceInOrder) {
  TEcuBench B;
  // A frame with surplus bytes is answered in its own event; the surplus
  // starts the next frame.
  TBytes Event = StartComm;
  Event.push_back(0x00);
  EXPECT_EQ(B.Answer(Event), StartCommAnswer);
  EXPECT_FALSE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Panel.Lines, std::vector<std::string>{" - >  81 11 F1 81 04"});

  // Two requests in one event: two lines, two answers, in order.
  B.Panel.Lines.clear();
  B.Event({0x81, 0x11, 0xF1, 0x3E, 0xC1, 0x82, 0x11, 0xF1, 0x21, 0x01, 0xA6});
  const std::vector<TBytes> Answers = B.Sent();
  ASSERT_EQ(Answers.size(), 2u);
  EXPECT_EQ(Answers[0], (TBytes{0x81, 0xF1, 0x11, 0x7E, 0x01}));
  EXPECT_EQ(Answers[1][3], 0x61);
  EXPECT_EQ(Answers[1][4], 0x01);
  EXPECT_EQ(B.Panel.Lines, (std::vector<std::string>{" - >  81 11 F1 3E C1", " - >  82 11 F1 21 01 A6"}));

  // A frame completed by the first bytes of an event leaves the rest of the
  // event to the next frame.
  B.Event({0x81, 0x11, 0xF1});
  B.Event({0x3E, 0xC1, 0x81, 0x11});
  EXPECT_EQ(B.Sent(), std::vector<TBytes>{TesterPresentAnswer});
  EXPECT_TRUE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Answer({0xF1, 0x81, 0x04}), StartCommAnswer);

  // The length byte of a long header and the rest of its frame, and the
  // next frame, all in the event that continues it.
  B.Sent();
  B.Event({0x80, 0x11, 0xF1});
  B.Event({0x01, 0x3E, 0xB1, 0x81, 0x11, 0xF1, 0x3E, 0xC1});
  EXPECT_EQ(B.Sent(), std::vector<TBytes>(2, TesterPresentAnswer));
  EXPECT_EQ(B.Panel.Lines.back(), " - >  81 11 F1 3E C1");
  EXPECT_FALSE(B.Ecu.RequestPending);
}

TEST(Assembly, APortErrorEndsTheEvent) {
  // The answers behind a failed write would only wait for the same port.
  TEcuBench B;
  B.Port.WriteError = "Output buffer is full. Please check comm status.";
  TBytes Event = StartComm;
  Event.insert(Event.end(), {0x81, 0x11, 0xF1, 0x3E, 0xC1});
  B.Port.Input.insert(B.Port.Input.end(), Event.begin(), Event.end());
  EXPECT_THROW(B.Ecu.RxChar(static_cast<int>(Event.size())), std::runtime_error);
  EXPECT_EQ(B.Panel.Lines.size(), 1u);
  B.Port.WriteError.clear();
  EXPECT_EQ(B.Answer(StartComm), StartCommAnswer);
}

TEST(Assembly, AFailedAnswerDoesNotCostTheNextRequestOfTheEvent) {
  TEcuBench B;
  B.Start();
  B.Panel.Fields[TEcuField::IMAP] = "12.7";  // not a number under a comma locale
  // Record 04 reads the pressure; the TesterPresent behind it is answered
  // all the same, then the conversion error leaves the handler.
  const TBytes Record04 = WithChecksum({0x82, 0x11, 0xF1, 0x21, 0x04});
  TBytes Event = Record04;
  Event.insert(Event.end(), {0x81, 0x11, 0xF1, 0x3E, 0xC1});
  B.Port.Input.insert(B.Port.Input.end(), Event.begin(), Event.end());
  EXPECT_THROW(B.Ecu.RxChar(static_cast<int>(Event.size())), EConvertError);
  EXPECT_EQ(B.Sent(), std::vector<TBytes>{TesterPresentAnswer});
  EXPECT_EQ(B.Panel.Lines.size(), 3u);
  EXPECT_FALSE(B.Ecu.RequestPending);
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

TEST(Assembly, TheLongestFrameSpansEventsWithinTheBuffer) {
  // A long header announces at most 255 data bytes, so a frame never
  // outgrows the buffer: 80 11 F1 FF plus 255 bytes plus the checksum.
  TEcuBench B;
  B.Start();
  TBytes Frame = {0x80, 0x11, 0xF1, 0xFF, 0x3E};
  Frame.resize(4 + 255, 0x55);
  Frame = WithChecksum(Frame);
  B.Event(TBytes(Frame.begin(), Frame.begin() + 100));
  EXPECT_TRUE(B.Ecu.RequestPending);
  EXPECT_EQ(B.Answer(TBytes(Frame.begin() + 100, Frame.end())), (TBytes{0x81, 0xF1, 0x11, 0x7E, 0x01}));
  EXPECT_EQ(B.Panel.Lines.back().size(), 5u + 3u * 260u);
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
  const TBytes Requests[] = {
      StartComm, {0x82, 0x11, 0xF1, 0x21, 0x06, 0xAB}, {0x81, 0x11, 0xF1, 0x18, 0x9B}, {0x81, 0x11, 0xF1, 0x82, 0x05}};
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
