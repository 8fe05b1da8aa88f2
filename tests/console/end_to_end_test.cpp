// The whole program on a pseudo-terminal: the COM port dialog opens the
// line, the real tester window with its real VaComm1 answers the trip
// computer that the test plays on the master end.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <unistd.h>
#include <random>

#include "console_support.h"
#include "line_report.h"
#include "port_dialog.h"
#include "tester_app.h"
#include "monitor_view.h"
#include "tester_window.h"

namespace {

class EndToEnd : public testing::Test {
protected:
  void SetUp() override {
    // The device argument is selected: "OK" opens the line.
    App = StartTesterOn(Line);
    Form = &App->Form1();
    ASSERT_TRUE(Form->VaComm1.Active()) << Recorder.Texts().join('\n').toStdString();
    ASSERT_TRUE(Form->isVisible());
  }

  void TearDown() override {
    EXPECT_TRUE(Recorder.Reports.empty()) << Recorder.Texts().join('\n').toStdString();
    App.reset();
  }

  // Sends a request (checksum added) and returns the answer of the given length.
  std::string Exchange(const std::string& RequestHex, size_t AnswerLength) {
    return Line.Exchange(RequestHex, AnswerLength);
  }

  // A request that must stay unanswered: once the tester has read it, the
  // next answer on the line is the one to a TesterPresent sent after it.
  void ExpectNoAnswer(const std::vector<uint8_t>& Frame) {
    Line.Send(Frame);
    ASSERT_TRUE(Line.WaitConsumed());
    EXPECT_EQ(Exchange("81 11 F1 3E", 5), "81 F1 11 7E 01") << Hex(Frame);
  }

  void StartCommunication() { ASSERT_EQ(Exchange("81 11 F1 81", 7), "83 F1 11 C1 6B 8F 40"); }

  void SetField(QLineEdit* Edit, const std::string& Value) {
    Form->PageControl1->setCurrentWidget(Form->TabSheet4);
    TypeInto(Edit, LocalNumber(Value));
    ASSERT_EQ(Edit->text(), LocalNumber(Value));
  }

  QStringList MonitorLines() const {
    QStringList Lines = Form->Memo1->ToPlainText().split('\n');
    if (!Lines.isEmpty() && Lines.front().isEmpty()) Lines.removeFirst();
    return Lines;
  }

  TPtyTripComputer Line;
  TReportRecorder Recorder;
  std::unique_ptr<TTesterApplication> App;
  TForm1* Form = nullptr;
};

}  // namespace

TEST_F(EndToEnd, StartCommunicationIsAnsweredAndLogged) {
  StartCommunication();
  EXPECT_EQ(MonitorLines(), QStringList{" - >  81 11 F1 81 04"});
  // Another target is logged and not answered; TesterPresent is answered.
  ExpectNoAnswer(Bytes("81 33 F1 81 26"));
  EXPECT_EQ(MonitorLines(), (QStringList{" - >  81 11 F1 81 04", " - >  81 33 F1 81 26", " - >  81 11 F1 3E C1"}));
  EXPECT_TRUE(Form->Emulator.CommunicationActive);
}

TEST_F(EndToEnd, VariantOneRecordsCarryTheTypedValues) {
  StartCommunication();
  EXPECT_EQ(Exchange("82 11 F1 21 01", 13), "89 F1 11 61 01 00 00 FF FF 00 00 00 EB");
  EXPECT_EQ(Exchange("82 11 F1 21 02", 16), "8C F1 11 61 02 00 00 00 00 00 FF FF 00 00 00 EF");
  EXPECT_EQ(Exchange("82 11 F1 21 05", 17), "8D F1 11 61 05 11 22 33 44 55 66 77 88 99 00 00 F2");
  SetField(Form->EditUbat, "12,00");
  SetField(Form->EditTOG, "20");
  SetField(Form->EditIAT, "20");
  SetField(Form->EditATP, "10");
  EXPECT_EQ(Exchange("82 11 F1 21 03", 15), "8B F1 11 61 03 00 00 AB 5B 5B 1A 00 00 00 6C");
  SetField(Form->EditIMAP, "100");
  SetField(Form->EditDv, "2,5");
  EXPECT_EQ(Exchange("82 11 F1 21 04", 18), "8E F1 11 61 04 00 64 00 00 A8 03 A8 03 A8 03 A8 03 05");
  SetField(Form->EditVSS, "60");
  SetField(Form->EditRPM, "800");
  EXPECT_EQ(Exchange("82 11 F1 21 06", 18), "8E F1 11 61 06 30 00 00 80 0C 00 00 00 00 00 00 00 B3");
  ExpectNoAnswer(Request("82 11 F1 21 07"));
}

TEST_F(EndToEnd, VariantButtonsSwitchTheRecordsOfTheNextRequest) {
  StartCommunication();
  QTest::mouseClick(Form->HyundayType2, Qt::LeftButton);
  // Start values in variant 2.
  EXPECT_EQ(Exchange("82 11 F1 21 02", 36),
            "A0 F1 11 61 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
            "00 00 AB 00 5B 00 5B 66");
  SetField(Form->EditVSS, "100");
  SetField(Form->EditTOG, "90");
  SetField(Form->EditRPM, "820");
  SetField(Form->EditATP, "30");
  SetField(Form->EditIMAP, "101");
  SetField(Form->EditDv, "2,5");
  SetField(Form->EditIAT, "35");
  SetField(Form->EditUbat, "14");
  EXPECT_EQ(Exchange("82 11 F1 21 02", 36),
            "A0 F1 11 61 02 00 00 00 00 00 00 00 00 00 00 00 65 00 00 00 00 00 00 00 00 4C 00 00 "
            "00 00 C7 00 B8 00 6F A4");
  EXPECT_EQ(Exchange("82 11 F1 21 05", 15), "8B F1 11 61 05 00 00 00 00 00 00 00 D0 0C CF");
  EXPECT_EQ(Exchange("82 11 F1 21 03", 24), "94 F1 11 61 03 00 00 00 00 00 00 00 00 03 03 03 03 00 00 00 00 00 00 06");

  QTest::mouseClick(Form->HyundayType3, Qt::LeftButton);
  EXPECT_EQ(Exchange("82 11 F1 21 02", 36),
            "A0 F1 11 61 02 00 00 00 00 00 00 00 00 00 00 00 65 00 00 00 00 00 00 00 00 4C 00 00 "
            "14 00 C7 00 B8 00 6F B8");
  EXPECT_EQ(Exchange("82 11 F1 21 06", 15), "8B F1 11 61 06 00 00 00 00 00 00 00 00 50 44");
  ExpectNoAnswer(Request("82 11 F1 21 05"));

  QTest::mouseClick(Form->HyundayType1, Qt::LeftButton);
  EXPECT_EQ(Exchange("82 11 F1 21 06", 18), "8E F1 11 61 06 50 00 00 D0 0C 00 00 00 00 00 00 00 23");
}

TEST_F(EndToEnd, TickedFaultCodesChangeTheFaultCodeAnswer) {
  EXPECT_EQ(Exchange("84 11 F1 18 00 FF 00", 6), "82 F1 11 58 00 DC");
  Form->PageControl1->setCurrentWidget(Form->TabSheet2);
  QCoreApplication::processEvents();
  // Ticked in the order 36, 1: reported in list order.
  ClickItemCheck(Form->CheckListBox1, 35);
  ClickItemCheck(Form->CheckListBox1, 0);
  ASSERT_TRUE(Form->FaultCodeChecked(0) && Form->FaultCodeChecked(35));
  EXPECT_EQ(Exchange("84 11 F1 18 00 FF 00", 12), "88 F1 11 58 02 01 02 E0 03 00 E0 AA");
  ClickItemCheck(Form->CheckListBox1, 35);
  EXPECT_EQ(Exchange("84 11 F1 18 00 FF 00", 9), "85 F1 11 58 01 01 02 E0 C3");
}

TEST_F(EndToEnd, EveryItemTickedGivesOneLongAnswer) {
  Form->PageControl1->setCurrentWidget(Form->TabSheet2);
  QCoreApplication::processEvents();
  for (int Row = 0; Row < Form->CheckListBox1->count(); ++Row) ClickItemCheck(Form->CheckListBox1, Row);
  for (int Row = 0; Row < Form->CheckListBox1->count(); ++Row) ASSERT_TRUE(Form->FaultCodeChecked(Row));
  // More than 63 data bytes: the long header; as many codes as 255 data
  // bytes hold (84), the count byte saying so, in list order.
  Line.Send(Request("84 11 F1 18 00 FF 00"));
  const std::vector<uint8_t> Answer = Line.Receive(4 + 254 + 1);
  ASSERT_EQ(Answer.size(), 259u) << Hex(Answer);
  EXPECT_EQ(Hex({Answer.begin(), Answer.begin() + 6}), "80 F1 11 FE 58 54");
  for (int Code = 0; Code < 84; ++Code) {
    const std::string Text = Form->FaultCodeText(Code).substr(0, 4);
    EXPECT_EQ(Hex({Answer.begin() + 6 + 3 * Code, Answer.begin() + 9 + 3 * Code}),
              Text.substr(0, 2) + " " + Text.substr(2, 2) + " E0")
        << Code;
  }
  unsigned Sum = 0;
  for (size_t I = 0; I + 1 < Answer.size(); ++I) Sum += Answer[I];
  EXPECT_EQ(Answer.back(), static_cast<uint8_t>(Sum));
  // Nothing more follows.
  EXPECT_EQ(Exchange("81 11 F1 3E", 5), "81 F1 11 7E 01");
}

TEST_F(EndToEnd, MonitorShowsOneLinePerReceivedFrame) {
  StartCommunication();
  // A frame split over two receive events gives one line once complete.
  Line.Send(Bytes("82 11"));
  ASSERT_TRUE(Line.WaitConsumed());
  EXPECT_EQ(MonitorLines().size(), 1);
  Line.Send(Bytes("F1 21 01 A6"));
  EXPECT_EQ(Hex(Line.Receive(13)), "89 F1 11 61 01 00 00 FF FF 00 00 00 EB");
  // A long header frame, and one with functional addressing (ignored).
  EXPECT_EQ(Exchange("80 11 F1 01 3E", 5), "81 F1 11 7E 01");
  ExpectNoAnswer(Bytes("C1 33 F1 81 66"));
  EXPECT_EQ(MonitorLines(), (QStringList{" - >  81 11 F1 81 04", " - >  82 11 F1 21 01 A6", " - >  80 11 F1 01 3E C1",
                                         " - >  81 11 F1 3E C1"}));
}

TEST_F(EndToEnd, PauseAndNoAnswerTickedWithTheMouse) {
  StartCommunication();
  Form->PageControl1->setCurrentWidget(Form->TabSheet3);
  QCoreApplication::processEvents();

  // Pause: the bytes are consumed, nothing logged, nothing answered.
  ClickAt(Form->CheckBox1, 7, Form->CheckBox1->height() / 2);
  ASSERT_TRUE(Form->PauseChecked());
  Line.Send(Request("81 11 F1 3E"));
  ASSERT_TRUE(Line.WaitConsumed());
  ClickAt(Form->CheckBox1, 7, Form->CheckBox1->height() / 2);
  ASSERT_FALSE(Form->PauseChecked());
  EXPECT_EQ(Exchange("81 11 F1 3E", 5), "81 F1 11 7E 01");
  EXPECT_EQ(MonitorLines().size(), 2);

  // No answer: logged, not answered, until unticked.
  ClickAt(Form->CheckBox3, 7, Form->CheckBox3->height() / 2);
  ASSERT_TRUE(Form->NoAnswerChecked());
  Line.Send(Request("84 11 F1 18 00 FF 00"));
  ASSERT_TRUE(Line.WaitConsumed());
  EXPECT_EQ(MonitorLines().size(), 3);
  ClickAt(Form->CheckBox3, 7, Form->CheckBox3->height() / 2);
  ASSERT_FALSE(Form->NoAnswerChecked());
  EXPECT_EQ(Exchange("81 11 F1 3E", 5), "81 F1 11 7E 01");
  EXPECT_EQ(MonitorLines().last(), QStringLiteral(" - >  81 11 F1 3E C1"));
}

TEST_F(EndToEnd, AnUnreadableFieldIsReportedAndNothingIsSent) {
  StartCommunication();
  SetField(Form->EditTOG, "20,5");
  Line.Send(Request("82 11 F1 21 03"));
  ASSERT_TRUE(PumpUntil([&] { return !Recorder.Reports.empty(); }));
  ASSERT_EQ(Recorder.Reports.size(), 1u);
  EXPECT_EQ(Recorder.Reports[0].Title, QStringLiteral("console_tests"));
  EXPECT_EQ(Recorder.Reports[0].Text.toStdString(),
            "'" + LocalNumber("20,5").toStdString() + "' is not a valid integer value.");
  Recorder.Reports.clear();

  // A floating-point field that holds letters.
  SetField(Form->EditVSS, "abc");
  Line.Send(Request("82 11 F1 21 06"));
  ASSERT_TRUE(PumpUntil([&] { return !Recorder.Reports.empty(); }));
  EXPECT_EQ(Recorder.Texts(), QStringList{"'abc' is not a valid floating point value."});
  Recorder.Reports.clear();
  SetField(Form->EditVSS, "0");

  // Nothing went out for either; with 20 again the next request is answered.
  SetField(Form->EditTOG, "20");
  EXPECT_EQ(Exchange("82 11 F1 21 03", 15), "8B F1 11 61 03 00 00 AB 5B 5B 00 00 00 00 52");
  EXPECT_EQ(MonitorLines().size(), 4);
}

TEST_F(EndToEnd, AFloodOfBytesLeavesTheWindowWorking) {
  StartCommunication();
  // A timer of the window thread keeps its turns while the bytes pour in:
  // the flood goes on until it has ticked ten times (however long that
  // takes on this machine), and would end at its bound if the receive path
  // kept the event loop from the timer.
  int Ticks = 0;
  QTimer Timer;
  QObject::connect(&Timer, &QTimer::timeout, [&] { ++Ticks; });
  Timer.start(10);
  std::mt19937 Random(4);
  std::vector<uint8_t> Chunk(256);
  TToolButton* Variants[] = {Form->HyundayType1, Form->HyundayType2, Form->HyundayType3};
  for (int I = 0; I < 128 || Ticks < 10; ++I) {
    ASSERT_LT(I, 20000) << "the timer ticked " << Ticks << " times";
    for (uint8_t& B : Chunk) B = static_cast<uint8_t>(Random());
    Line.Send(Chunk);
    // The operator goes on working meanwhile.
    Form->PageControl1->setCurrentIndex(I % 6);
    QTest::mouseClick(Variants[I % 3], Qt::LeftButton);
    ASSERT_EQ(Form->ActiveVariant(), I % 3 + 1) << I;
    ASSERT_TRUE(Line.WaitConsumed(5000)) << I;
  }
  // Whatever fragment is pending, 300 more bytes complete it; the next
  // request then starts a frame of its own.
  Line.Send(std::vector<uint8_t>(300, 0));
  ASSERT_TRUE(Line.WaitConsumed());
  QTest::mouseClick(Form->HyundayType1, Qt::LeftButton);
  Line.Collect();
  Line.Discard();
  Line.Send(Request("81 11 F1 3E"));
  const std::vector<uint8_t> Answer = Bytes("81 F1 11 7E 01");
  ASSERT_TRUE(PumpUntil([&] {
    Line.Collect();
    return Line.Received.size() >= Answer.size() &&
           std::equal(Answer.begin(), Answer.end(), Line.Received.end() - Answer.size());
  })) << Hex(Line.Received);
  EXPECT_GT(MonitorLines().size(), 2);
}

TEST_F(EndToEnd, AnOpenReportBoxNeitherStopsTheLineNorComesBack) {
  // A trip computer polls records 01 and 04, 250 ms apart, while the
  // pressure field holds a bad text and the operator leaves its box open.
  StartCommunication();
  SetField(Form->EditIMAP, "12.7");
  std::unique_ptr<TPacedTripComputer> Poller;
  QStringList Shown;
  const TExceptionReportSink Recording = SetExceptionReportSink([&](const QString&, const QString& Text) {
    Shown << Text;
    // The box's own event loop runs until the trip computer has finished.
    PumpUntil([&] { return Poller->Done(); }, 60000);
  });
  Poller = std::make_unique<TPacedTripComputer>(
      Line.MasterFd(),
      std::vector<TPacedTripComputer::TStep>{{Request("82 11 F1 21 01"), true}, {Request("82 11 F1 21 04"), false}},
      250, 12);
  ASSERT_TRUE(PumpUntil([&] { return Poller->Done(); }, 60000));
  const std::vector<TPacedTripComputer::TExchange>& Exchanges = Poller->Join();
  SetExceptionReportSink(Recording);

  EXPECT_EQ(Shown, QStringList{"'12.7' is not a valid integer value."});
  for (size_t I = 0; I < Exchanges.size(); ++I) {
    if (I % 2 == 0) {
      // Each record 01 before the next request.
      EXPECT_EQ(Hex(Exchanges[I].Answer), "89 F1 11 61 01 00 00 FF FF 00 00 00 EB") << I;
    } else {
      EXPECT_TRUE(Exchanges[I].Answer.empty()) << I << ": " << Hex(Exchanges[I].Answer);
    }
  }
  // The five reports after the first are counted, not shown.
  EXPECT_EQ(Form->LineReport->Recurrences(), 5);
  EXPECT_EQ(MonitorLines().size(), 13);

  // Mended, record 04 is answered again.
  SetField(Form->EditIMAP, "100");
  EXPECT_EQ(Exchange("82 11 F1 21 04", 18), "8E F1 11 61 04 00 64 00 00 00 00 00 00 00 00 00 00 59");
}

TEST(PortComesBack, AnswersResumeWhenTheDeviceReturnsUnderTheSamePath) {
  // The adapter's device is a link, as /dev/serial/by-id/ names are: the
  // pseudo-terminal behind it goes away and a new one appears at the path.
  TReportRecorder Recorder;
  TLinkedTripComputer Line("tester-kline");
  const std::string& Link = Line.Path();
  auto App = StartTesterOn(Link);
  TForm1& Form = App->Form1();
  ASSERT_TRUE(Form.VaComm1.Active()) << Recorder.Texts().join('\n').toStdString();
  ASSERT_EQ(Line->Exchange("81 11 F1 81", 7), "83 F1 11 C1 6B 8F 40");
  // What the operator has set before the loss.
  Form.PageControl1->setCurrentWidget(Form.TabSheet4);
  TypeInto(Form.EditVSS, QStringLiteral("60"));
  ClickItemCheck(Form.CheckListBox1, 2);
  QTest::mouseClick(Form.HyundayType2, Qt::LeftButton);
  const std::string Record06 = Line->Exchange("82 11 F1 21 06", 15);
  ASSERT_EQ(Record06.size(), 15u * 3 - 1);

  Line.Unplug();
  ASSERT_TRUE(PumpUntil([&] { return !Recorder.Reports.empty(); }));
  ASSERT_EQ(Recorder.Reports.size(), 1u);
  EXPECT_TRUE(Recorder.Reports[0].Text.startsWith(QString::fromStdString("Порт " + Link + " потерян: ")))
      << Recorder.Reports[0].Text.toStdString();
  EXPECT_FALSE(Form.VaComm1.Active());
  // Nothing at the path: the attempts (one a second) fail quietly.
  ASSERT_TRUE(PumpUntil([&] { return Form.Keeper->Attempts() >= 2; }, 20000));
  ASSERT_TRUE(RunQueuedEvents());
  EXPECT_EQ(Recorder.Reports.size(), 1u);
  EXPECT_EQ(Form.Keeper->State(), TVaKeeperState::Reopening);
  EXPECT_TRUE(Form.StatusLine->toolTip().contains(QStringLiteral("переоткрытие")))
      << Form.StatusLine->toolTip().toStdString();

  Line.PlugIn();
  ASSERT_TRUE(PumpUntil([&] { return Form.VaComm1.Active(); }, 20000));
  EXPECT_EQ(Form.Keeper->State(), TVaKeeperState::Open);
  EXPECT_EQ(Line->Exchange("82 11 F1 21 06", 15), Record06);
  EXPECT_EQ(Line->Exchange("81 11 F1 18", 9), "85 F1 11 58 01 01 12 E0 D3");
  EXPECT_EQ(Form.EditVSS->text(), QStringLiteral("60"));
  EXPECT_EQ(Form.ActiveVariant(), 2);
  EXPECT_EQ(Recorder.Reports.size(), 1u);
}
