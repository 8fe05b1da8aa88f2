#pragma once
// What the console tests share: a recorder in place of the exception report's
// message box, a trip computer on a pseudo-terminal, event pumping with a
// deadline, and byte texts.

#include <QPoint>
#include <QString>

#include <atomic>
#include <thread>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exception_report.h"
#include "pty_pair.h"

class QLineEdit;
class QListWidget;
class QWidget;

// Bytes from hex text, "81 11 F1" -> {0x81, 0x11, 0xF1}, and back.
std::vector<uint8_t> Bytes(const std::string& HexText);
std::string Hex(const std::vector<uint8_t>& Data);
// A request frame: the bytes of HexText followed by their checksum.
std::vector<uint8_t> Request(const std::string& HexText);

// A number text of the current locale: the comma of Text becomes the
// decimal separator in use.
QString LocalNumber(const std::string& Text);

// Runs the Qt event loop until Done holds or TimeoutMs have passed; returns
// whether Done held. The time-outs here and below are bounds for a run that
// hangs, generous enough for a sanitizer build on a loaded machine; nothing
// waits for them to pass.
bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs = 10000);

// Runs what is queued for the window thread so far (posted events and
// zero-time timers, which run in the order queued) and returns once a marker
// queued after them has run: for checking that something did NOT happen
// without waiting for a time.
bool RunQueuedEvents(int TimeoutMs = 10000);

// Replaces the exception report's message box for its lifetime.
class TReportRecorder {
public:
  struct TReport {
    QString Title, Text;
  };
  TReportRecorder();
  ~TReportRecorder();
  TReportRecorder(const TReportRecorder&) = delete;
  TReportRecorder& operator=(const TReportRecorder&) = delete;

  std::vector<TReport> Reports;
  QStringList Texts() const;

private:
  TExceptionReportSink Previous;
};

// The trip computer's end of a pseudo-terminal: the test holds the master
// and the tester opens the slave by its path.
class TPtyTripComputer {
public:
  TPtyTripComputer();
  ~TPtyTripComputer();
  TPtyTripComputer(const TPtyTripComputer&) = delete;
  TPtyTripComputer& operator=(const TPtyTripComputer&) = delete;

  const std::string& SlavePath() const { return FPty.SlavePath(); }
  // The master end (non-blocking), for a trip computer that runs on a
  // thread of its own; Send, Receive and Collect are then not to be used.
  int MasterFd() const { return Master; }
  // Writes the bytes to the line in one piece and returns once they wait in
  // the tester's input queue.
  void Send(const std::vector<uint8_t>& Data);
  // Pumps events until Count bytes have come back (or the time-out), and
  // returns what came, at most Count bytes; the rest stays for later.
  std::vector<uint8_t> Receive(size_t Count, int TimeoutMs = 10000);
  // Sends a request (its checksum added) and returns, as hex text, the
  // AnswerLength bytes that come back.
  std::string Exchange(const std::string& RequestHex, size_t AnswerLength);
  // Pumps events until the tester has read everything sent so far.
  bool WaitConsumed(int TimeoutMs = 10000);
  // Reads whatever has come back so far, pumping events meanwhile.
  void Collect();
  // Drops what has come back so far.
  void Discard() { Received.clear(); }
  std::vector<uint8_t> Received;

private:
  TPtyPair FPty;
  int Master = FPty.Master();
  int Slave = FPty.Slave();
};

// A trip computer on a thread of its own, polling through the master end of
// a line: it sends Count requests, the steps of Cycle in turn, and notes
// what comes back. It runs while the window thread is busy elsewhere (in the
// loop of a report box, copying the monitor), which is what a real trip
// computer does.
//
// The pace follows the answers, not the clock, so that a slow machine
// changes nothing but the run's length: after a request that is to be
// answered it waits for the whole answer (up to AnswerTimeoutMs, a bound
// for a hung run only) and then GapMs; after one that is not, it notes
// what comes within GapMs (nothing, when the program is right) and goes on.
// An answer that came late anyway shows up in place of the next one.
class TPacedTripComputer {
public:
  static constexpr int AnswerTimeoutMs = 20000;
  struct TStep {
    std::vector<uint8_t> Request;
    bool Answered;  // whether the program answers it
  };
  struct TExchange {
    std::vector<uint8_t> Request;
    std::vector<uint8_t> Answer;  // empty when none came
  };
  TPacedTripComputer(int MasterFd, std::vector<TStep> Cycle, int GapMs, int Count);
  ~TPacedTripComputer();
  TPacedTripComputer(const TPacedTripComputer&) = delete;
  TPacedTripComputer& operator=(const TPacedTripComputer&) = delete;

  bool Done() const { return FDone.load(); }
  // Exchanges finished so far (answered or timed out).
  size_t Completed() const { return FCompleted.load(); }
  // Ends the run after the exchange in progress (before Count requests).
  void Stop() { FStop = true; }
  // Waits for the thread; the exchanges are complete then.
  const std::vector<TExchange>& Join();

private:
  void Run(int MasterFd, int GapMs, int Count);
  std::vector<TStep> Cycle;
  std::vector<TExchange> Exchanges;
  std::atomic<size_t> FCompleted{0};
  std::atomic<bool> FDone{false};
  std::atomic<bool> FStop{false};
  std::thread Thread;
};

// Reads one answer frame (short or long header) from a non-blocking fd,
// waiting at most TimeoutMs; returns what came (possibly incomplete).
std::vector<uint8_t> ReadFrame(int Fd, int TimeoutMs);

// An adapter's device as /dev/serial/by-id/ names it: a symbolic link
// (/tmp/<Name>-<pid>) to a pseudo-terminal trip computer, so that a test can
// take the device away and bring a new one up under the same path.
class TLinkedTripComputer {
public:
  explicit TLinkedTripComputer(const std::string& Name);
  ~TLinkedTripComputer();  // the link goes
  TLinkedTripComputer(const TLinkedTripComputer&) = delete;
  TLinkedTripComputer& operator=(const TLinkedTripComputer&) = delete;

  const std::string& Path() const { return FPath; }
  TPtyTripComputer* operator->() const { return FLine.get(); }
  // The adapter pulled out: the link goes, as udev removes it, then the
  // pseudo-terminal closes. A link left pointing at the closed slave would
  // let the window's keeper open whichever pseudo-terminal another process
  // (a test running beside this one) is given under that number next.
  void Unplug() {
    RemoveLink();
    FLine.reset();
  }
  void RemoveLink();
  // A new pseudo-terminal, the link pointed at it.
  void PlugIn();

private:
  std::string FPath;
  std::unique_ptr<TPtyTripComputer> FLine;
};

class TAbDial;
// The point at Angle degrees around the dial's centre (0 below the centre,
// 90 to the left, 180 above), half way out on its face.
QPoint DialPoint(const TAbDial* Dial, double Angle);

class TTesterApplication;
// Starts the whole program on the line as the operator does: the COM port
// dialog comes up with the line's device selected and "OK" opens it. The
// program's windows are then shown, the port open unless a report says why.
std::unique_ptr<TTesterApplication> StartTesterOn(const TPtyTripComputer& Line);
std::unique_ptr<TTesterApplication> StartTesterOn(const std::string& DevicePath);

// Replaces the text of an edit field by typing, as the operator does.
void TypeInto(QLineEdit* Edit, const QString& Text);
// Clicks the check box of a row of a list, as the operator does.
void ClickItemCheck(QListWidget* List, int Row);
// Clicks a check box or button at its indicator.
void ClickAt(QWidget* Widget, int X, int Y);
