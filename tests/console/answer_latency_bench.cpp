// Request-to-answer time of the whole program against a bare responder on
// the same kind of line, and answers while the monitor is copied. Prints
// figures; it passes or fails nothing.
//
//   build/tests/console/answer_latency_bench [paced-requests]
//
// A trip computer on a thread of its own writes each request in one piece to
// the master end of a pseudo-terminal and waits for the whole answer:
// "paced" leaves 20..50 ms between an answer and the next request, as a trip
// computer does; "back to back" sends the next request at once. The bare
// responder is a loop that reads the slave end and writes a ready answer of
// the same length: what is left over is the program's own share. Last come
// the answers while the monitor is copied and while the speed dial is
// dragged.

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "abdial.h"
#include "console_support.h"
#include "monitor_view.h"
#include "tester_app.h"
#include "tester_window.h"

namespace {

using TClock = std::chrono::steady_clock;
using TFrame = std::vector<uint8_t>;

const TFrame Record06 = Request("82 11 F1 21 06");
const TFrame Record06Answer = Bytes("8E F1 11 61 06 00 00 00 00 00 00 00 00 00 00 00 00 F7");

struct TFigures {
  std::vector<double> Us;  // answer times in microseconds
  int Missing = 0;
};

double Percentile(std::vector<double> Values, double P) {
  if (Values.empty()) return 0;
  std::sort(Values.begin(), Values.end());
  return Values[std::min(Values.size() - 1, static_cast<size_t>(P * Values.size()))];
}

// The trip computer: Count exchanges of Record06 on Master.
TFigures Poll(int Master, int Count, bool Paced) {
  TFigures F;
  std::mt19937 Random(7);
  for (int I = 0; I < Count; ++I) {
    if (Paced) std::this_thread::sleep_for(std::chrono::milliseconds(20 + Random() % 31));
    const auto Start = TClock::now();
    if (write(Master, Record06.data(), Record06.size()) != static_cast<ssize_t>(Record06.size())) break;
    const TFrame Answer = ReadFrame(Master, 1000);
    if (Answer.size() != Record06Answer.size()) {
      ++F.Missing;
      continue;
    }
    F.Us.push_back(std::chrono::duration<double, std::micro>(TClock::now() - Start).count());
  }
  return F;
}

void Print(const char* What, const TFigures& F) {
  std::printf("%-44s n=%4zu  median %7.1f us  p90 %7.1f us  p99 %8.1f us  max %8.1f us  missing %d\n", What,
              F.Us.size(), Percentile(F.Us, 0.5), Percentile(F.Us, 0.9), Percentile(F.Us, 0.99),
              F.Us.empty() ? 0.0 : *std::max_element(F.Us.begin(), F.Us.end()), F.Missing);
  std::fflush(stdout);
}

// The bare responder: reads whole requests from the slave end and answers
// each at once with a ready frame.
TFigures BareResponder(int Count, bool Paced) {
  TPtyPair Pty;  // raw, the master non-blocking
  std::atomic<bool> Running{true};
  std::thread Responder([&] {
    TFrame Pending;
    while (Running) {
      pollfd P{Pty.Slave(), POLLIN, 0};
      if (poll(&P, 1, 50) <= 0) continue;
      uint8_t Buf[256];
      const ssize_t N = read(Pty.Slave(), Buf, sizeof Buf);
      if (N <= 0) continue;
      Pending.insert(Pending.end(), Buf, Buf + N);
      while (Pending.size() >= Record06.size()) {
        Pending.erase(Pending.begin(), Pending.begin() + static_cast<long>(Record06.size()));
        if (write(Pty.Slave(), Record06Answer.data(), Record06Answer.size()) < 0) break;
      }
    }
  });
  TFigures F = Poll(Pty.Master(), Count, Paced);
  Running = false;
  Responder.join();
  return F;
}

// Runs the window thread's event loop, as the program does, while Work runs
// on a thread of its own.
void RunLoopWhile(const std::function<void()>& Work) {
  QEventLoop Loop;
  std::thread Worker([&] {
    Work();
    QMetaObject::invokeMethod(&Loop, "quit", Qt::QueuedConnection);
  });
  Loop.exec();
  Worker.join();
}

// The whole program on a line: the trip computer polls on its own thread
// while the window thread runs the event loop.
TFigures ThroughTheWindow(TForm1& Form, TPtyTripComputer& Line, int Count, bool Paced, bool MonitorShown) {
  Form.PageControl1->setCurrentWidget(MonitorShown ? Form.TabSheet3 : Form.TabSheet1);
  QCoreApplication::processEvents();
  TFigures F;
  RunLoopWhile([&] { F = Poll(Line.MasterFd(), Count, Paced); });
  return F;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  const int Paced = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
  const int BackToBack = 2000;

  std::printf("Request-to-answer time, record 06 (6 bytes out, 18 back), pseudo-terminal\n");
  const TFigures BarePaced = BareResponder(Paced, true);
  Print("bare responder, paced 20-50 ms", BarePaced);
  const TFigures BareBurst = BareResponder(BackToBack, false);
  Print("bare responder, back to back", BareBurst);

  TReportRecorder Recorder;
  TPtyTripComputer Line;
  auto Tester = StartTesterOn(Line);
  TForm1& Form = Tester->Form1();
  if (!Form.VaComm1.Active()) {
    std::printf("the port did not open: %s\n", Recorder.Texts().join(' ').toStdString().c_str());
    return 1;
  }
  Line.Exchange("81 11 F1 81", 7);
  struct TRun {
    const char* Name;
    bool Paced, Shown;
  };
  const TRun Runs[] = {{"window, paced, monitor tab hidden", true, false},
                       {"window, paced, monitor tab visible", true, true},
                       {"window, back to back, monitor tab hidden", false, false},
                       {"window, back to back, monitor tab visible", false, true}};
  for (const TRun& Run : Runs) {
    const TFigures F = ThroughTheWindow(Form, Line, Run.Paced ? Paced : BackToBack, Run.Paced, Run.Shown);
    Print(Run.Name, F);
    const TFigures& Bare = Run.Paced ? BarePaced : BareBurst;
    std::printf("%-44s median %+7.1f us\n", "  program's share (window - bare)",
                Percentile(F.Us, 0.5) - Percentile(Bare.Us, 0.5));
  }

  // Copying a monitor of 5e5 lines while the trip computer polls every 20 ms.
  Form.PageControl1->setCurrentWidget(Form.TabSheet3);
  for (int I = 0; I < 500000; ++I) Form.AppendMonitorLine(" - >  82 11 F1 21 06 AB");
  Form.Memo1->Refresh();
  QCoreApplication::processEvents();
  TFigures During;
  bool Copied = false;
  double CopyMs = 0;
  QObject::connect(Form.Memo1, &TMonitorView::CopyFinished, [&] { Copied = true; });
  auto CopyStart = TClock::now();
  QTimer::singleShot(300, [&] {
    CopyStart = TClock::now();
    Form.Memo1->SelectAll();
    Form.Memo1->Copy();
  });
  QObject::connect(Form.Memo1, &TMonitorView::CopyFinished,
                   [&] { CopyMs = std::chrono::duration<double, std::milli>(TClock::now() - CopyStart).count(); });
  RunLoopWhile([&] {
    for (int I = 0; I < 150; ++I) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const auto Start = TClock::now();
      if (write(Line.MasterFd(), Record06.data(), Record06.size()) < 0) break;
      const TFrame Answer = ReadFrame(Line.MasterFd(), 1000);
      if (Answer.size() != Record06Answer.size()) ++During.Missing;
      else During.Us.push_back(std::chrono::duration<double, std::micro>(TClock::now() - Start).count());
    }
  });
  std::printf("copy of 500000 monitor lines took %.0f ms (%s)\n", CopyMs, Copied ? "done" : "not finished");
  Print("window, every 20 ms, while copying", During);

  // Back to back while the operator drags the speed dial up and down, the
  // window thread handling events after every mouse move.
  Form.PageControl1->setCurrentWidget(Form.TabSheet1);
  QCoreApplication::processEvents();
  TAbDial* Dial = Form.AbDialVSS;
  // Its geometry is known once it has been drawn.
  PumpUntil([&] { return Dial->Ready(); });
  TFigures Dragged;
  std::atomic<bool> Polling{true};
  std::thread Poller([&] {
    Dragged = Poll(Line.MasterFd(), BackToBack, false);
    Polling = false;
  });
  int Moves = 0;
  QTest::mousePress(Dial, Qt::LeftButton, {}, DialPoint(Dial, 40));
  for (int Angle = 40, Step = 3; Polling; ++Moves) {
    if ((Step > 0 && Angle >= 300) || (Step < 0 && Angle <= 40)) Step = -Step;
    Angle += Step;
    const QPoint At = DialPoint(Dial, Angle);
    QMouseEvent Move(QEvent::MouseMove, At, Dial->mapToGlobal(At), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Dial, &Move);
    QCoreApplication::processEvents();
  }
  QTest::mouseRelease(Dial, Qt::LeftButton, {}, DialPoint(Dial, 40));
  Poller.join();
  std::printf("%d mouse moves during the drag\n", Moves);
  Print("window, back to back, speed dial dragged", Dragged);
  return 0;
}
