// Start-up: the COM port dialog first, its two buttons, a failed open, and
// the end of the program when the tester window closes.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "console_support.h"
#include "port_dialog.h"
#include "tester_app.h"
#include "tester_window.h"

namespace {

// Keeps COM1's device (/dev/ttyS0 on Linux) from being set up by a test: a
// lock held here makes the tester's open fail before it touches the line.
// Either way the report names the device that was tried.
class TComOneGuard {
public:
  TComOneGuard() {
    Fd = open("/dev/ttyS0", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Fd >= 0) flock(Fd, LOCK_EX | LOCK_NB);
  }
  ~TComOneGuard() {
    if (Fd >= 0) close(Fd);
  }

private:
  int Fd = -1;
};

std::vector<QWidget*> VisibleWindows() {
  std::vector<QWidget*> Windows;
  for (QWidget* W : QApplication::topLevelWidgets())
    if (W->isVisible()) Windows.push_back(W);
  return Windows;
}

// Whether another process can open and lock the device.
bool OtherProcessCanOpen(const std::string& Path) {
  const pid_t Child = fork();
  if (Child == 0) {
    const int Fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    _exit(Fd >= 0 && flock(Fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
  }
  int Status = 0;
  waitpid(Child, &Status, 0);
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

// Runs the application's event loop as main does; returns its exit code, or
// -1 when it did not end within the time-out.
int RunEventLoop(const std::function<void()>& Then) {
  QTimer::singleShot(0, Then);
  QTimer Failsafe;
  Failsafe.setSingleShot(true);
  QObject::connect(&Failsafe, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
  Failsafe.start(5000);
  return QApplication::exec();
}

}  // namespace

TEST(StartUp, TheDialogComesFirstWithComOneSelected) {
  TTesterApplication App;
  App.Show();
  TForm2& Dialog = App.Form2();
  EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Выбор COM порта"));
  EXPECT_EQ(Dialog.frameGeometry().size(), QSize(374, 136));
  EXPECT_EQ(Dialog.ComboBox1->geometry(), QRect(16, 16, 345, 22));
  EXPECT_EQ(Dialog.Button1->geometry(), QRect(176, 56, 81, 33));
  EXPECT_EQ(Dialog.Button2->geometry(), QRect(264, 56, 97, 33));
  EXPECT_EQ(Dialog.Button1->text(), QStringLiteral("OK"));
  EXPECT_EQ(Dialog.Button2->text(), QStringLiteral("Default"));
  EXPECT_FALSE(Dialog.ComboBox1->isEditable());
  ASSERT_GE(Dialog.ComboBox1->count(), 8);
  for (int I = 0; I < 8; ++I) EXPECT_EQ(Dialog.ComboBox1->itemText(I), QString("COM%1").arg(I + 1));
  EXPECT_EQ(Dialog.ComboBox1->currentIndex(), 0);
  EXPECT_EQ(Dialog.ComboBox1->nextInFocusChain(), Dialog.Button1);
  EXPECT_EQ(Dialog.Button1->nextInFocusChain(), Dialog.Button2);
  // The tester window exists, hidden, its port closed.
  EXPECT_EQ(VisibleWindows(), std::vector<QWidget*>{&Dialog});
  EXPECT_FALSE(App.Form1().VaComm1.Active());
  EXPECT_EQ(App.Form1().VaComm1.DeviceName(), "COM1");
  EXPECT_EQ(App.Form1().VaComm1.UserBaudrate(), 10400);
}

TEST(StartUp, OkAndDefaultOpenComOneUnlessAnotherEntryIsChosen) {
  TComOneGuard Guard;
  struct TCase {
    int Selected;  // the entry chosen before pressing, -1: untouched
    bool Default;  // "Default" instead of "OK"
  } Cases[] = {{-1, false}, {4, true}, {0, true}};
  for (const TCase& C : Cases) {
    TReportRecorder Recorder;
    TTesterApplication App;
    App.Show();
    TForm2& Dialog = App.Form2();
    if (C.Selected >= 0) Dialog.ComboBox1->setCurrentIndex(C.Selected);
    QTest::mouseClick(C.Default ? Dialog.Button2 : Dialog.Button1, Qt::LeftButton);
    EXPECT_EQ(App.Form1().VaComm1.DeviceName(), "COM1");
    EXPECT_EQ(App.Form1().VaComm1.UserBaudrate(), 10400);
    // The device of COM1 was tried and (held or absent) refused.
    ASSERT_EQ(Recorder.Reports.size(), 1u);
    EXPECT_TRUE(Recorder.Reports[0].Text.contains(QStringLiteral("/dev/ttyS0 (COM1)")))
        << Recorder.Reports[0].Text.toStdString();
    EXPECT_EQ(VisibleWindows(), std::vector<QWidget*>{&Dialog});
  }
  // "OK" with COM5 chosen tries COM5's device.
  TReportRecorder Recorder;
  TTesterApplication App;
  App.Show();
  App.Form2().ComboBox1->setCurrentIndex(4);
  QTest::mouseClick(App.Form2().Button1, Qt::LeftButton);
  EXPECT_EQ(App.Form1().VaComm1.DeviceName(), "COM5");
  ASSERT_EQ(Recorder.Reports.size(), 1u);
  EXPECT_TRUE(Recorder.Reports[0].Text.contains(QStringLiteral("/dev/ttyS4 (COM5)")));
}

TEST(StartUp, AMissingDeviceIsReportedAndTheDialogStaysUsable) {
  TPtyTripComputer Line;
  char Template[] = "/tmp/console-startup-XXXXXX";
  const std::filesystem::path Dir = mkdtemp(Template);
  const std::string Adapter = (Dir / "k-line").string();
  // The adapter is not plugged in yet: its name leads nowhere.
  std::filesystem::create_symlink(Dir / "absent", Adapter);

  TReportRecorder Recorder;
  {
    TTesterApplication App(Adapter);
    App.Show();
    TForm2& Dialog = App.Form2();
    EXPECT_EQ(Dialog.ComboBox1->currentText().toStdString(), Adapter);
    QTest::mouseClick(Dialog.Button1, Qt::LeftButton);
    EXPECT_EQ(Recorder.Texts(), QStringList{QString::fromStdString("Specified device not found (" + Adapter + ").")});
    EXPECT_FALSE(App.Form1().VaComm1.Active());
    EXPECT_EQ(VisibleWindows(), std::vector<QWidget*>{&Dialog});

    // Plugged in: the same entry, "OK" again.
    std::filesystem::remove(Adapter);
    std::filesystem::create_symlink(Line.SlavePath(), Adapter);
    QTest::mouseClick(Dialog.Button1, Qt::LeftButton);
    EXPECT_EQ(Recorder.Reports.size(), 1u);
    EXPECT_TRUE(App.Form1().VaComm1.Active());
    EXPECT_EQ(VisibleWindows(), std::vector<QWidget*>{&App.Form1()});
    Line.Send(Request("81 11 F1 81"));
    EXPECT_EQ(Hex(Line.Receive(7)), "83 F1 11 C1 6B 8F 40");
  }
  std::filesystem::remove_all(Dir);
}

TEST(StartUp, ClosingTheTesterWindowEndsTheProgramAndFreesThePort) {
  TPtyTripComputer Line;
  TReportRecorder Recorder;
  auto App = std::make_unique<TTesterApplication>(Line.SlavePath());
  App->Show();
  QTest::mouseClick(App->Form2().Button1, Qt::LeftButton);
  ASSERT_TRUE(App->Form1().VaComm1.Active()) << Recorder.Texts().join(' ').toStdString();
  EXPECT_EQ(VisibleWindows(), std::vector<QWidget*>{&App->Form1()});
  // Held by the tester, the port is refused to others.
  EXPECT_FALSE(OtherProcessCanOpen(Line.SlavePath()));

  EXPECT_EQ(RunEventLoop([&] { App->Form1().close(); }), 0);
  EXPECT_TRUE(VisibleWindows().empty());
  App.reset();
  EXPECT_TRUE(OtherProcessCanOpen(Line.SlavePath()));
  EXPECT_TRUE(Recorder.Reports.empty()) << Recorder.Texts().join(' ').toStdString();
}

TEST(StartUp, ClosingTheDialogEndsTheProgramWithoutOpeningThePort) {
  TTesterApplication App;
  App.Show();
  EXPECT_EQ(RunEventLoop([&] { App.Form2().close(); }), 0);
  EXPECT_FALSE(App.Form1().VaComm1.Active());
  EXPECT_TRUE(VisibleWindows().empty());
}
