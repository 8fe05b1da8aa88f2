#include "console_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "abdial.h"
#include "numtext.h"
#include "port_dialog.h"
#include "tester_app.h"

std::vector<uint8_t> Bytes(const std::string& HexText) {
  std::vector<uint8_t> Data;
  std::string Digits;
  for (char C : HexText)
    if (C != ' ') Digits += C;
  for (size_t I = 0; I + 1 < Digits.size(); I += 2)
    Data.push_back(static_cast<uint8_t>(std::stoi(Digits.substr(I, 2), nullptr, 16)));
  return Data;
}

std::string Hex(const std::vector<uint8_t>& Data) {
  std::string Text;
  char Pair[4];
  for (uint8_t B : Data) {
    std::snprintf(Pair, sizeof Pair, "%02X", B);
    if (!Text.empty()) Text += ' ';
    Text += Pair;
  }
  return Text;
}

std::vector<uint8_t> Request(const std::string& HexText) {
  std::vector<uint8_t> Data = Bytes(HexText);
  unsigned Sum = 0;
  for (uint8_t B : Data) Sum += B;
  Data.push_back(static_cast<uint8_t>(Sum));
  return Data;
}

QString LocalNumber(const std::string& Text) {
  QString Result = QString::fromStdString(Text);
  Result.replace(QLatin1Char(','), QLatin1Char(DecimalSeparator()));
  return Result;
}

bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs) {
  QElapsedTimer Clock;
  Clock.start();
  while (!Done()) {
    if (Clock.elapsed() > TimeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // Nothing to do until a worker hands something over: wait a little for
    // it without spinning the processor.
    poll(nullptr, 0, 1);
  }
  return true;
}

bool RunQueuedEvents(int TimeoutMs) {
  // Shared with the marker, which may run after a time-out.
  const auto Reached = std::make_shared<bool>(false);
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [Reached] { *Reached = true; }, Qt::QueuedConnection);
  return PumpUntil([&] { return *Reached; }, TimeoutMs);
}

TReportRecorder::TReportRecorder() {
  Previous = SetExceptionReportSink([this](const QString& Title, const QString& Text) {
    Reports.push_back({Title, Text});
  });
}

TReportRecorder::~TReportRecorder() { SetExceptionReportSink(Previous); }

QStringList TReportRecorder::Texts() const {
  QStringList List;
  for (const TReport& R : Reports) List << R.Text;
  return List;
}

// The pair is opened raw at the K-line settings (TPtyPair), so nothing is
// echoed before the tester sets the line up.
TPtyTripComputer::TPtyTripComputer() = default;

TPtyTripComputer::~TPtyTripComputer() = default;

TLinkedTripComputer::TLinkedTripComputer(const std::string& Name)
    : FPath("/tmp/" + Name + "-" + std::to_string(getpid())) {
  PlugIn();
}

TLinkedTripComputer::~TLinkedTripComputer() { RemoveLink(); }

void TLinkedTripComputer::RemoveLink() { unlink(FPath.c_str()); }

void TLinkedTripComputer::PlugIn() {
  FLine = std::make_unique<TPtyTripComputer>();
  RemoveLink();
  if (symlink(FLine->SlavePath().c_str(), FPath.c_str()) != 0)
    throw std::runtime_error("no link " + FPath + ": " + std::strerror(errno));
}

void TPtyTripComputer::Send(const std::vector<uint8_t>& Data) {
  const ssize_t Written = write(Master, Data.data(), Data.size());
  if (Written != static_cast<ssize_t>(Data.size())) throw std::runtime_error("short write to the pty");
  // The line discipline takes the bytes over a moment later. Only the
  // window thread (this one) reads them, so until events are processed they
  // stay in the slave's queue: wait for them there, without handling events,
  // so that the tester sees them arrive in one receive event.
  QElapsedTimer Clock;
  Clock.start();
  int Waiting = 0;
  while (ioctl(Slave, FIONREAD, &Waiting) == 0 && Waiting < static_cast<int>(Data.size()) && Clock.elapsed() < 2000)
    poll(nullptr, 0, 1);
}

void TPtyTripComputer::Collect() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  uint8_t Buf[4096];
  for (;;) {
    const ssize_t N = read(Master, Buf, sizeof Buf);
    if (N <= 0) break;
    Received.insert(Received.end(), Buf, Buf + N);
  }
}

std::vector<uint8_t> TPtyTripComputer::Receive(size_t Count, int TimeoutMs) {
  PumpUntil(
      [&] {
        Collect();
        return Received.size() >= Count;
      },
      TimeoutMs);
  const size_t Taken = std::min(Count, Received.size());
  std::vector<uint8_t> Result(Received.begin(), Received.begin() + Taken);
  Received.erase(Received.begin(), Received.begin() + Taken);
  return Result;
}

std::string TPtyTripComputer::Exchange(const std::string& RequestHex, size_t AnswerLength) {
  Send(Request(RequestHex));
  return Hex(Receive(AnswerLength));
}

bool TPtyTripComputer::WaitConsumed(int TimeoutMs) {
  return PumpUntil(
      [&] {
        Collect();
        int Waiting = 0;
        return ioctl(Slave, FIONREAD, &Waiting) == 0 && Waiting == 0;
      },
      TimeoutMs);
}

void TypeInto(QLineEdit* Edit, const QString& Text) {
  Edit->setFocus();
  Edit->selectAll();
  QTest::keyClick(Edit, Qt::Key_Backspace);
  QTest::keyClicks(Edit, Text);
}

void ClickItemCheck(QListWidget* List, int Row) {
  QListWidgetItem* Item = List->item(Row);
  List->scrollToItem(Item);
  QStyleOptionViewItem Option;
  Option.initFrom(List->viewport());
  Option.rect = List->visualItemRect(Item);
  Option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  Option.text = Item->text();
  Option.checkState = Item->checkState();
  const QRect Check = List->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &Option, List);
  QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, Check.center());
}

void ClickAt(QWidget* Widget, int X, int Y) { QTest::mouseClick(Widget, Qt::LeftButton, {}, QPoint(X, Y)); }

std::unique_ptr<TTesterApplication> StartTesterOn(const TPtyTripComputer& Line) {
  return StartTesterOn(Line.SlavePath());
}

std::unique_ptr<TTesterApplication> StartTesterOn(const std::string& DevicePath) {
  auto App = std::make_unique<TTesterApplication>(DevicePath);
  App->Show();
  QTest::mouseClick(App->Form2().Button1, Qt::LeftButton);
  return App;
}

std::vector<uint8_t> ReadFrame(int Fd, int TimeoutMs) {
  std::vector<uint8_t> Frame;
  QElapsedTimer Clock;
  Clock.start();
  auto Length = [&]() -> size_t {
    if (Frame.empty()) return 1;
    if ((Frame[0] & 0x3F) != 0) return (Frame[0] & 0x3F) + 4u;
    return Frame.size() < 4 ? 4u : Frame[3] + 5u;
  };
  while (Frame.size() < Length()) {
    const qint64 Left = TimeoutMs - Clock.elapsed();
    if (Left <= 0) break;
    pollfd P{Fd, POLLIN, 0};
    if (poll(&P, 1, static_cast<int>(Left)) <= 0) continue;
    uint8_t Byte;
    // One byte at a time: what follows the frame stays for the next read.
    while (Frame.size() < Length() && read(Fd, &Byte, 1) == 1) Frame.push_back(Byte);
  }
  return Frame;
}

TPacedTripComputer::TPacedTripComputer(int MasterFd, std::vector<TStep> Cycle, int GapMs, int Count)
    : Cycle(std::move(Cycle)) {
  Thread = std::thread([=, this] { Run(MasterFd, GapMs, Count); });
}

TPacedTripComputer::~TPacedTripComputer() {
  if (Thread.joinable()) Thread.join();
}

const std::vector<TPacedTripComputer::TExchange>& TPacedTripComputer::Join() {
  if (Thread.joinable()) Thread.join();
  return Exchanges;
}

void TPacedTripComputer::Run(int MasterFd, int GapMs, int Count) {
  for (int I = 0; I < Count && !FStop; ++I) {
    const TStep& Step = Cycle[static_cast<size_t>(I) % Cycle.size()];
    TExchange Exchange;
    Exchange.Request = Step.Request;
    if (write(MasterFd, Step.Request.data(), Step.Request.size()) == static_cast<ssize_t>(Step.Request.size()))
      Exchange.Answer = ReadFrame(MasterFd, Step.Answered ? AnswerTimeoutMs : GapMs);
    Exchanges.push_back(std::move(Exchange));
    ++FCompleted;
    // The trip computer's pause before its next request.
    if (Step.Answered) poll(nullptr, 0, GapMs);
  }
  FDone = true;
}

// The point at Angle degrees around the dial's centre (0 below the centre,
// 90 to the left, 180 above), half way out on its face.
QPoint DialPoint(const TAbDial* Dial, double Angle) {
  const double R = Dial->FaceRect().width() / 4.0;
  const double A = Angle * std::numbers::pi / 180;
  const QPoint C = Dial->FaceCentre();
  return QPoint(static_cast<int>(std::lround(C.x() - R * std::sin(A))),
                static_cast<int>(std::lround(C.y() + R * std::cos(A))));
}
