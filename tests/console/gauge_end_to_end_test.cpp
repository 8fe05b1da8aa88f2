// The gauge panel in the whole program on a pseudo-terminal: what the
// operator does with the instruments and edit fields shows in the answers of
// the next requests, and the window keeps answering a trip computer that
// polls at full line rate while an instrument is dragged.
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <set>
#include <thread>
#include <vector>

#include "abdial.h"
#include "abvslider.h"
#include "console_support.h"
#include "numtext.h"
#include "port_dialog.h"
#include "tester_app.h"
#include "tester_window.h"

namespace {

class GaugeEndToEnd : public testing::Test {
protected:
  void SetUp() override {
    App = StartTesterOn(Line);
    Form = &App->Form1();
    ASSERT_TRUE(Form->VaComm1.Active()) << Recorder.Texts().join('\n').toStdString();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form));
    // The dial's geometry is known once it has been drawn.
    ASSERT_TRUE(PumpUntil([&] { return Form->AbDialVSS->Ready(); }));
  }

  // Whatever the test did, no report came up (the program is closed after).
  void TearDown() override { EXPECT_EQ(Recorder.Texts(), QStringList()); }

  void StartCommunication() { ASSERT_EQ(Line.Exchange("81 11 F1 81", 7), "83 F1 11 C1 6B 8F 40"); }

  // The speed byte of variant 1's record 0x06, as the next answer carries it.
  std::string SpeedByte() {
    const std::string Answer = Line.Exchange("82 11 F1 21 06", 18);
    EXPECT_EQ(Answer.substr(0, 14), "8E F1 11 61 06") << Answer;
    return Answer.substr(15, 2);
  }

  TPtyTripComputer Line;
  TReportRecorder Recorder;
  std::unique_ptr<TTesterApplication> App;
  TForm1* Form = nullptr;
};

void MoveTo(TAbDial* Dial, QPoint At) {
  QMouseEvent Move(QEvent::MouseMove, At, Dial->mapToGlobal(At), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Dial, &Move);
}

// A trip computer on its own thread: StartCommunication, then record 0x06
// over and over, each request sent as soon as the answer to the previous
// one is in plus the gap between messages, for as long as it runs.
class TPollingTripComputer {
public:
  explicit TPollingTripComputer(int Master) : Master(Master), Worker([this] { Run(); }) {}
  ~TPollingTripComputer() { Stop(); }

  // Ends the polling once the request in flight is answered: the window
  // thread (the caller's) handles events meanwhile, as it must to answer.
  void Stop() {
    Running = false;
    PumpUntil([this] { return Finished.load(); }, 2 * AnswerTimeoutMs);
    if (Worker.joinable()) Worker.join();
  }

  // Answers so far, and how many different speed bytes they carried.
  int Answered() const { return FAnswered; }
  int SpeedBytes() const { return FSpeedBytes; }

  // Read after Stop.
  int Sent = 0, Corrupt = 0;

private:
  // A bound for a hung run only: the answers are waited for, not timed.
  static constexpr int AnswerTimeoutMs = 20000;

  // Sends a request and waits for an answer of Length bytes.
  bool Exchange(const std::vector<uint8_t>& Frame, size_t Length, std::vector<uint8_t>& Answer) {
    if (write(Master, Frame.data(), Frame.size()) != static_cast<ssize_t>(Frame.size())) return false;
    ++Sent;
    Answer.clear();
    while (Answer.size() < Length) {
      pollfd P{Master, POLLIN, 0};
      if (poll(&P, 1, AnswerTimeoutMs) <= 0) return false;
      uint8_t Buf[64];
      const ssize_t N = read(Master, Buf, std::min(sizeof Buf, Length - Answer.size()));
      if (N > 0) Answer.insert(Answer.end(), Buf, Buf + N);
    }
    ++FAnswered;
    return true;
  }

  void Run() {
    Poll();
    Finished = true;
  }

  void Poll() {
    std::vector<uint8_t> Answer;
    if (!Exchange(Request("81 11 F1 81"), 7, Answer)) return;
    const std::vector<uint8_t> Poll = Request("82 11 F1 21 06");
    std::set<int> Seen;
    while (Running) {
      if (!Exchange(Poll, 18, Answer)) return;
      unsigned Sum = 0;
      for (size_t I = 0; I + 1 < Answer.size(); ++I) Sum += Answer[I];
      if (Answer[0] != 0x8E || Answer[4] != 0x06 || Answer.back() != static_cast<uint8_t>(Sum)) ++Corrupt;
      Seen.insert(Answer[5]);
      FSpeedBytes = static_cast<int>(Seen.size());
      // The least gap between an answer and the next request.
      std::this_thread::sleep_for(std::chrono::microseconds(5500));
    }
  }

  int Master;
  std::atomic<bool> Running{true};
  std::atomic<bool> Finished{false};
  std::atomic<int> FAnswered{0};
  std::atomic<int> FSpeedBytes{0};
  std::thread Worker;
};

}  // namespace

TEST_F(GaugeEndToEnd, DraggingTheSpeedDialChangesTheNextSpeedByte) {
  StartCommunication();
  EXPECT_EQ(SpeedByte(), "00");
  TAbDial* Dial = Form->AbDialVSS;
  // A quarter turn clockwise, from the left of the centre to above it:
  // 90 of 270 degrees, grid position 333 of 1000, 83.25 km/h.
  QTest::mousePress(Dial, Qt::LeftButton, {}, DialPoint(Dial, 90));
  for (int Angle = 95; Angle <= 180; Angle += 5) MoveTo(Dial, DialPoint(Dial, Angle));
  QTest::mouseRelease(Dial, Qt::LeftButton, {}, DialPoint(Dial, 180));
  EXPECT_NEAR(Dial->Digit(), 333, 3);
  EXPECT_EQ(Form->EditVSS->text().toStdString(), RoundToText(Dial->Value()));
  // 83 km/h at 1.25 km/h a count: 66.4, so 66.
  const long long Expected = RoundHalfEven(StrToFloat(Form->EditVSS->text().toStdString()) / 1.25L);
  EXPECT_EQ(SpeedByte(), IntToHex(Expected, 2));
  EXPECT_GE(Expected, 0x40);
  // Back to the end stop and beyond: 0 again.
  QTest::mousePress(Dial, Qt::LeftButton, {}, DialPoint(Dial, 180));
  for (int Angle = 170; Angle >= 20; Angle -= 10) MoveTo(Dial, DialPoint(Dial, Angle));
  QTest::mouseRelease(Dial, Qt::LeftButton, {}, DialPoint(Dial, 20));
  EXPECT_EQ(Form->EditVSS->text(), QStringLiteral("0"));
  EXPECT_EQ(SpeedByte(), "00");
}

TEST_F(GaugeEndToEnd, TheAnswersCarryTheFieldTextsWhateverTheGauges) {
  StartCommunication();
  Form->PageControl1->setCurrentWidget(Form->TabSheet4);
  // 300 km/h: the dial stops at 250 (200 counts, C8) and rewrites the field;
  // 300 again with the dial at 250 stays in the field and is sent (240, F0).
  TypeInto(Form->EditVSS, QStringLiteral("300"));
  QTest::keyClick(Form->EditVSS, Qt::Key_Return);
  EXPECT_EQ(Form->EditVSS->text(), QStringLiteral("250"));
  EXPECT_EQ(SpeedByte(), "C8");
  TypeInto(Form->EditVSS, QStringLiteral("300"));
  QTest::keyClick(Form->EditVSS, Qt::Key_Return);
  EXPECT_EQ(Form->EditVSS->text(), QStringLiteral("300"));
  EXPECT_EQ(SpeedByte(), "F0");

  // 90 degC typed and not yet applied: the slider stays at 20, the next
  // record 0x03 already carries 90 ((90 + 48) / 0.75 = 184, B8).
  TypeInto(Form->EditTOG, QStringLiteral("90"));
  EXPECT_EQ(Form->AbVSliderTOG->Digit(), 300);
  EXPECT_EQ(Line.Exchange("82 11 F1 21 03", 15), "8B F1 11 61 03 00 00 AB B8 5B 00 00 00 00 AF");
  Form->EditVSS->setFocus();
  QTest::keyClick(Form->EditVSS, Qt::Key_Tab);
  EXPECT_EQ(Form->AbVSliderTOG->Value(), 90.0f);

  // The supply voltage slider moved by keys from 12 V to 11 V: the text
  // the answer is built from (11 * 255 / 17.9 = 156.7, so 9D).
  Form->PageControl1->setCurrentWidget(Form->TabSheet1);
  QTest::mouseClick(Form->AbVSliderUbat, Qt::LeftButton, {},
                    QPoint(Form->AbVSliderUbat->width() / 2, Form->AbVSliderUbat->height() - 3));
  for (int I = 0; I < 5; ++I) QTest::keyClick(Form->AbVSliderUbat, Qt::Key_PageDown);
  EXPECT_EQ(Form->EditUbat->text(), LocalNumber("11,00"));
  EXPECT_EQ(Line.Exchange("82 11 F1 21 03", 15).substr(21, 2), "9D");
}

TEST_F(GaugeEndToEnd, RequestsKeepBeingAnsweredWhileADialIsDragged) {
  // A trip computer polls at full line rate while the operator turns the
  // speed dial up and down: every request is answered, no answer is
  // damaged, and the answers follow the dial while the button is still down,
  // not once the drag ends. (How long the answers take meanwhile is a figure
  // of answer_latency_bench.)
  TAbDial* Dial = Form->AbDialVSS;
  TPollingTripComputer Poller(Line.MasterFd());
  int Moves = 0;
  QTest::mousePress(Dial, Qt::LeftButton, {}, DialPoint(Dial, 40));
  // Turn up and down the scale, handling events after every move as the
  // event loop does between two mouse messages, until the trip computer has
  // seen the speed change many times (a bound ends a hung run only).
  const auto Bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int Angle = 40, Step = 3; Poller.SpeedBytes() < 12 || Poller.Answered() < 100; ++Moves) {
    ASSERT_LT(std::chrono::steady_clock::now(), Bound)
        << Moves << " moves, " << Poller.Answered() << " answers, " << Poller.SpeedBytes() << " speed bytes";
    if ((Step > 0 && Angle >= 300) || (Step < 0 && Angle <= 40)) Step = -Step;
    Angle += Step;
    MoveTo(Dial, DialPoint(Dial, Angle));
    QCoreApplication::processEvents();
  }
  QTest::mouseRelease(Dial, Qt::LeftButton, {}, DialPoint(Dial, 40));
  Poller.Stop();
  EXPECT_EQ(Poller.Answered(), Poller.Sent);
  EXPECT_EQ(Poller.Corrupt, 0);
}
