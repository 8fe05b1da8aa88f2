#pragma once
// What the console tests share: a recorder in place of the exception report's
// message box, a trip computer on a pseudo-terminal, event pumping with a
// deadline, and byte texts.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exception_report.h"

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
// whether Done held.
bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs = 3000);

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

  const std::string& SlavePath() const { return FSlavePath; }
  // The master end (non-blocking), for a trip computer that runs on a
  // thread of its own; Send, Receive and Collect are then not to be used.
  int MasterFd() const { return Master; }
  // Writes the bytes to the line in one piece and returns once they wait in
  // the tester's input queue.
  void Send(const std::vector<uint8_t>& Data);
  // Pumps events until Count bytes have come back (or the time-out), and
  // returns what came, at most Count bytes; the rest stays for later.
  std::vector<uint8_t> Receive(size_t Count, int TimeoutMs = 3000);
  // Sends a request (its checksum added) and returns, as hex text, the
  // AnswerLength bytes that come back.
  std::string Exchange(const std::string& RequestHex, size_t AnswerLength);
  // Pumps events until the tester has read everything sent so far.
  bool WaitConsumed(int TimeoutMs = 3000);
  // Reads whatever has come back so far, pumping events meanwhile.
  void Collect();
  // Drops what has come back so far.
  void Discard() { Received.clear(); }
  std::vector<uint8_t> Received;

private:
  int Master = -1;
  int Slave = -1;
  std::string FSlavePath;
};

class TTesterApplication;
// Starts the whole program on the line as the operator does: the COM port
// dialog comes up with the line's device selected and "OK" opens it. The
// program's windows are then shown, the port open unless a report says why.
std::unique_ptr<TTesterApplication> StartTesterOn(const TPtyTripComputer& Line);

// Replaces the text of an edit field by typing, as the operator does.
void TypeInto(QLineEdit* Edit, const QString& Text);
// Clicks the check box of a row of a list, as the operator does.
void ClickItemCheck(QListWidget* List, int Row);
// Clicks a check box or button at its indicator.
void ClickAt(QWidget* Widget, int X, int Y);
