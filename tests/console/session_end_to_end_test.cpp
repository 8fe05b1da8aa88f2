// The session record through the whole program on a pseudo-terminal: a trip
// computer polls, the operator records, saves in both formats and looks at
// the timing; the files are checked by Python's csv and json modules.

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTabWidget>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "console_support.h"
#include "environment.h"
#include "line_report.h"
#include "monitor_view.h"
#include "tester_app.h"
#include "tester_window.h"

namespace fs = std::filesystem;

namespace {

class SessionEndToEnd : public testing::Test {
protected:
  void SetUp() override {
    App = StartTesterOn(Line);
    Form = &App->Form1();
    ASSERT_TRUE(Form->VaComm1.Active()) << Recorder.Texts().join('\n').toStdString();
    Dir = fs::temp_directory_path() / ("session-test-" + UniqueTempSuffix());
    fs::create_directories(Dir);
    Form->PageControl1->setCurrentWidget(Form->TabSheet3);
  }
  void TearDown() override {
    App.reset();
    fs::remove_all(Dir);
  }

  // Saves and waits for the save to end; returns whether it was written.
  bool Save(const fs::path& Path) {
    bool Done = false, Written = false;
    QObject::connect(Form, &TForm1::SessionSaved, Form, [&](const QString&, bool Ok) {
      Done = true;
      Written = Ok;
    });
    Form->SaveSession(QString::fromStdString(Path.string()));
    EXPECT_TRUE(PumpUntil([&] { return Done; }, 10000));
    QObject::disconnect(Form, &TForm1::SessionSaved, Form, nullptr);
    return Written;
  }

  TPtyTripComputer Line;
  TReportRecorder Recorder;
  std::unique_ptr<TTesterApplication> App;
  TForm1* Form = nullptr;
  fs::path Dir;
};

}  // namespace

TEST_F(SessionEndToEnd, TenSecondsOfPollingOnFileInBothFormats) {
  QTest::mouseClick(Form->ButtonRecord, Qt::LeftButton);
  ASSERT_TRUE(Form->Record.Recording());
  EXPECT_EQ(Form->ButtonRecord->text(), QStringLiteral("Остановить запись"));
  // Requests 100 ms after the answer before (the verdict's P3), or after an
  // unanswered request.
  TPacedTripComputer Trip(Line.MasterFd(),
                          {{Request("81 11 F1 81"), true},
                           {Request("82 11 F1 21 01"), true},
                           {Request("82 11 F1 21 06"), true},
                           {Request("81 11 F1 3E"), true},
                           {Request("82 11 F1 21 07"), false}},
                          100, 100);
  // The trip computer is done when it has sent its last request; the window
  // may still be handling it, so the record is stopped once the emulator has
  // taken all 100 frames.
  ASSERT_TRUE(PumpUntil([&] { return Trip.Done() && Form->Emulator.FramesReceived >= 100; }, 120000));
  const auto& Exchanges = Trip.Join();
  QTest::mouseClick(Form->ButtonRecord, Qt::LeftButton);
  EXPECT_FALSE(Form->Record.Recording());

  std::ofstream Expected(Dir / "expected.txt");
  int Answered = 0;
  for (const auto& E : Exchanges) {
    Expected << Hex(E.Request) << '|' << Hex(E.Answer) << '\n';
    Answered += !E.Answer.empty();
  }
  Expected.close();
  // Record 07 is not one of variant 1's: every fifth request goes unanswered.
  EXPECT_EQ(Answered, 80);

  ASSERT_TRUE(Save(Dir / "session.csv"));
  ASSERT_TRUE(Save(Dir / "session.jsonl"));
  const std::string Check = "python3 " SOURCE_DIR "/check_session_files.py " + (Dir / "session.csv").string() + " " +
                            (Dir / "session.jsonl").string() + " " + (Dir / "expected.txt").string();
  EXPECT_EQ(std::system(Check.c_str()), 0) << Check;
  EXPECT_TRUE(Recorder.Reports.empty()) << Recorder.Texts().join('\n').toStdString();

  // The timing table: six measures; P3, from answers to requests, at least
  // 100 ms.
  QTest::mouseClick(Form->ButtonTiming, Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return Form->TimingTable != nullptr && Form->TimingDialog->isVisible(); }));
  ASSERT_EQ(Form->TimingTable->rowCount(), 6);
  EXPECT_EQ(Form->TimingTable->item(1, 0)->text(), QStringLiteral("P3: от ответа до следующего запроса"));
  EXPECT_EQ(Form->TimingTable->item(1, 6)->text(), QStringLiteral("норма"));
}

TEST_F(SessionEndToEnd, AFailedSaveIsOneMessageAndTheRecordAndLineGoOn) {
  QTest::mouseClick(Form->ButtonRecord, Qt::LeftButton);
  EXPECT_EQ(Line.Exchange("81 11 F1 81", 7), "83 F1 11 C1 6B 8F 40");
  const size_t Count = Form->Record.Count();
  ASSERT_EQ(Count, 2u);
  EXPECT_FALSE(Save(Dir / "no-such-folder" / "session.csv"));
  ASSERT_TRUE(PumpUntil([&] { return !Recorder.Reports.empty(); }));
  ASSERT_EQ(Recorder.Reports.size(), 1u);
  EXPECT_TRUE(Recorder.Reports[0].Text.startsWith(QStringLiteral("Сеанс не сохранён в файл ")))
      << Recorder.Reports[0].Text.toStdString();
  Recorder.Reports.clear();
  EXPECT_EQ(Form->Record.Count(), Count);
  EXPECT_EQ(Line.Exchange("81 11 F1 3E", 5), "81 F1 11 7E 01");
  EXPECT_EQ(Form->Record.Count(), Count + 2);
  // Started and stopped many times: a new record each start.
  for (int I = 0; I < 20; ++I) QTest::mouseClick(Form->ButtonRecord, Qt::LeftButton);
  EXPECT_TRUE(Form->Record.Recording());
  EXPECT_EQ(Form->Record.Count(), 0u);
  EXPECT_TRUE(Save(Dir / "again.csv"));
}

TEST_F(SessionEndToEnd, ShownAnswersAreTimedAndMarkedAndThePlainMonitorStaysAsItWas) {
  EXPECT_FALSE(Form->CheckBoxAnswers->isChecked());
  EXPECT_EQ(Line.Exchange("81 11 F1 81", 7), "83 F1 11 C1 6B 8F 40");
  QTest::mouseClick(Form->CheckBoxAnswers, Qt::LeftButton, {}, QPoint(7, Form->CheckBoxAnswers->height() / 2));
  ASSERT_TRUE(Form->CheckBoxAnswers->isChecked());
  EXPECT_EQ(Line.Exchange("81 11 F1 3E", 5), "81 F1 11 7E 01");
  ASSERT_EQ(Form->Memo1->RowCount(), 2);
  const QString Request = Form->Memo1->RowText(0), Answer = Form->Memo1->RowText(1);
  // "12:34:56.789  - >  81 11 F1 3E C1", then the answer with a mirrored arrow.
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  - >  81 11 F1 3E C1$"))
                  .match(Request)
                  .hasMatch())
      << Request.toStdString();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  < -  81 F1 11 7E 01$"))
                  .match(Answer)
                  .hasMatch())
      << Answer.toStdString();
  // The plain lines are those of every frame received, as ever.
  QTest::mouseClick(Form->CheckBoxAnswers, Qt::LeftButton, {}, QPoint(7, Form->CheckBoxAnswers->height() / 2));
  EXPECT_EQ(Form->Memo1->RowCount(), 2);
  EXPECT_EQ(Form->Memo1->ToPlainText(), QStringLiteral(" - >  81 11 F1 81 04\n - >  81 11 F1 3E C1"));
}
