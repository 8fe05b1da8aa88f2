// The traffic monitor: the line store, and the view on the offscreen
// platform (deferred drawing, following the newest line, selection, copying
// in slices, what is drawn where).
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor_lines.h"
#include "monitor_view.h"

namespace {

std::string FrameLine(int Number) {
  // A monitor line as the emulator writes it, made unique by a counter.
  char Text[48];
  std::snprintf(Text, sizeof Text, " - >  81 11 F1 81 04 %06d", Number);
  return Text;
}

class TPaintCounter : public QObject {
public:
  explicit TPaintCounter(QWidget* Watched) { Watched->installEventFilter(this); }
  int Paints = 0;

protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::Paint) ++Paints;
    return false;
  }
};

bool IsDark(QRgb Pixel) { return qGray(Pixel) < 128; }

// Pixel rows of Image that hold dark pixels, as [first, last] bands.
std::vector<std::pair<int, int>> DarkBands(const QImage& Image) {
  std::vector<std::pair<int, int>> Bands;
  for (int Y = 0; Y < Image.height(); ++Y) {
    bool Dark = false;
    for (int X = 0; X < Image.width() && !Dark; ++X) Dark = IsDark(Image.pixel(X, Y));
    if (!Dark) continue;
    if (!Bands.empty() && Bands.back().second == Y - 1) Bands.back().second = Y;
    else Bands.push_back({Y, Y});
  }
  return Bands;
}

// Leftmost and rightmost dark pixel columns in rows Top..Bottom.
std::pair<int, int> InkColumns(const QImage& Image, int Top, int Bottom) {
  std::pair<int, int> Ink{Image.width(), -1};
  for (int Y = Top; Y <= Bottom; ++Y)
    for (int X = 0; X < Image.width(); ++X)
      if (IsDark(Image.pixel(X, Y))) Ink = {std::min(Ink.first, X), std::max(Ink.second, X)};
  return Ink;
}

// A shown view of Width x Height with its scroll bars brought up to date.
void ShowView(TMonitorView& View, int Width, int Height) {
  View.resize(Width, Height);
  View.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&View));
  View.Refresh();
  QCoreApplication::processEvents();
}

bool WaitForCopy(TMonitorView& View) {
  QSignalSpy Finished(&View, &TMonitorView::CopyFinished);
  return Finished.wait(10000);
}

}  // namespace

TEST(MonitorLines, KeepsEveryLineAcrossChunkBoundaries) {
  TMonitorLines Store;
  std::vector<std::string> Expected;
  const auto Add = [&](std::string Line) {
    Store.Append(Line);
    Expected.push_back(std::move(Line));
  };
  // Lines of many lengths, empty ones among them, fill several chunks so that
  // lines that do not fit a chunk's tail start the next one.
  for (int I = 0; I < 20000; ++I) Add(I % 7 == 0 ? std::string() : std::string(I % 53, 'a' + I % 26));
  const char* EarlyAddress = Store.Line(1).data();
  // A line exactly one chunk long, one longer than a chunk, and lines after
  // them, including an empty line right after the long one.
  Add(std::string(TMonitorLines::ChunkBytes, 'x'));
  Add(std::string(3 * TMonitorLines::ChunkBytes + 5, 'y'));
  Add("");
  Add("after the long lines");
  for (int I = 0; I < 3000; ++I) Add(FrameLine(I));
  // A line over the size limit is cut before the two-byte character that
  // straddles the limit, not inside it.
  std::string Overlong = "a";
  while (Overlong.size() < TMonitorLines::MaxLineBytes + 10) Overlong += "\xD0\x96";
  Store.Append(Overlong);
  Expected.push_back(Overlong.substr(0, TMonitorLines::MaxLineBytes - 1));
  Add("next");

  ASSERT_EQ(Store.Count(), Expected.size());
  for (std::size_t I = 0; I < Expected.size(); ++I) ASSERT_EQ(Store.Line(I), Expected[I]) << "line " << I;
  // Appending never moves what is stored.
  EXPECT_EQ(Store.Line(1).data(), EarlyAddress);

  // The room the text of a range needs is never underestimated, and for
  // short lines it is hardly more than their sum.
  std::uint64_t Total = 0, ShortTotal = 0;
  for (std::size_t I = 0; I < Expected.size(); ++I) {
    Total += Expected[I].size();
    if (I < 20000) ShortTotal += Expected[I].size();
  }
  EXPECT_GE(Store.SpanBytes(0, Store.Count()), Total);
  EXPECT_GE(Store.SpanBytes(0, 20000), ShortTotal);
  EXPECT_LE(Store.SpanBytes(0, 20000), ShortTotal + ShortTotal / 50);
  EXPECT_EQ(Store.SpanBytes(5, 5), 0u);
}

TEST(MonitorLines, AMillionFrameLinesTakeLittleMemory) {
  TMonitorLines Store;
  const std::string Line = " - >  82 11 F1 21 06 AB";  // 23 characters
  for (int I = 0; I < 1000000; ++I) Store.Append(Line);
  // 23 bytes of text and 4 of bookkeeping per line, and little else.
  EXPECT_LT(Store.BytesUsed(), 29u * 1000000);
  EXPECT_EQ(Store.Line(999999), Line);
}

TEST(MonitorView, GivesBackItsLinesAsTextAndThroughTheContextMenu) {
  TMonitorView View;
  ShowView(View, 400, 200);
  EXPECT_TRUE(View.ToPlainText().isEmpty());
  View.AppendLine(" - >  81 11 F1 81 04");
  View.AppendLine("");
  View.AppendLine("Нет ответа");
  EXPECT_EQ(View.LineCount(), 3);
  EXPECT_EQ(View.LineText(2), QStringLiteral("Нет ответа"));
  const QString All = QStringLiteral(" - >  81 11 F1 81 04\n\nНет ответа");
  EXPECT_EQ(View.ToPlainText(), All);

  // "Выделить всё", then "Копировать" (offered only once there is a
  // selection), from the context menu.
  const auto MenuAction = [&](const QString& Text) -> QAction* {
    QContextMenuEvent Event(QContextMenuEvent::Mouse, QPoint(10, 10), View.mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(View.viewport(), &Event);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // menus closed before
    for (QAction* Action : View.findChild<QMenu*>()->actions())
      if (Action->text() == Text) return Action;
    return nullptr;
  };
  QAction* CopyAction = MenuAction(QStringLiteral("Копировать"));
  ASSERT_NE(CopyAction, nullptr);
  EXPECT_FALSE(CopyAction->isEnabled());
  View.findChild<QMenu*>()->close();
  MenuAction(QStringLiteral("Выделить всё"))->trigger();
  View.findChild<QMenu*>()->close();
  CopyAction = MenuAction(QStringLiteral("Копировать"));
  ASSERT_TRUE(CopyAction->isEnabled());
  CopyAction->trigger();
  ASSERT_TRUE(WaitForCopy(View));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), All);
}

TEST(MonitorView, AppendingDrawsNothingUntilTheTimerCoalescesIt) {
  TMonitorView View;
  ShowView(View, 400, 300);
  TPaintCounter Counter(View.viewport());
  QScrollBar* Bar = View.verticalScrollBar();

  // Inside AppendLine, and even after the posted events have run, neither
  // the scroll bar nor the picture changes: an answer follows the line.
  for (int I = 0; I < 500; ++I) View.AppendLine(FrameLine(I));
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(Counter.Paints, 0);
  EXPECT_EQ(Bar->maximum(), 0);

  // After the timer the view is up to date and shows the newest line.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Counter.Paints >= 1 && Bar->maximum() > 400; }, 10000));
  EXPECT_EQ(Bar->value(), Bar->maximum());

  // A line every 2 ms or so: repaints come at the timer's pace (at most one
  // in 35 ms, a coarse timer firing up to 5% early), not one per line. The
  // bound follows the time the lines actually took, so a busy machine that
  // stretches the loop cannot fail it.
  Counter.Paints = 0;
  QElapsedTimer Clock;
  Clock.start();
  for (int I = 0; I < 150; ++I) {
    View.AppendLine(FrameLine(1000 + I));
    QTest::qWait(2);
  }
  const qint64 Elapsed = Clock.elapsed();
  EXPECT_GE(Counter.Paints, 1);
  EXPECT_LE(Counter.Paints, Elapsed / 33 + 2) << Elapsed << " ms";
}

TEST(MonitorView, FollowsTheNewestLineUnlessScrolledUp) {
  TMonitorView View;
  ShowView(View, 400, 300);
  QScrollBar* Bar = View.verticalScrollBar();
  for (int I = 0; I < 1000; ++I) View.AppendLine(FrameLine(I));
  View.Refresh();
  EXPECT_EQ(Bar->value(), Bar->maximum());

  // The operator pages up to read older lines: new lines leave the view there.
  QTest::keyClick(&View, Qt::Key_PageUp);
  QTest::keyClick(&View, Qt::Key_Up);
  const int Reading = Bar->value();
  EXPECT_EQ(Reading, Bar->maximum() - Bar->pageStep() - 1);
  const int OldMaximum = Bar->maximum();
  for (int I = 0; I < 100; ++I) View.AppendLine(FrameLine(I));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Bar->maximum() == OldMaximum + 100; }, 10000)) << Bar->maximum();
  EXPECT_EQ(Bar->value(), Reading);

  // Ctrl+Home goes to the first line, Ctrl+End back to the newest, and from
  // there the view follows again.
  QTest::keyClick(&View, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(Bar->value(), 0);
  QTest::keyClick(&View, Qt::Key_End, Qt::ControlModifier);
  for (int I = 0; I < 100; ++I) View.AppendLine(FrameLine(I));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Bar->maximum() == OldMaximum + 200; }, 10000)) << Bar->maximum();
  EXPECT_EQ(Bar->value(), Bar->maximum());
}

TEST(MonitorView, CopyingAllLetsTheEventLoopRunBetweenSlices) {
  TMonitorView View;
  ShowView(View, 400, 300);
  const int Lines = 400000;
  QString Expected;
  for (int I = 0; I < Lines; ++I) {
    const std::string Line = FrameLine(I);
    View.AppendLine(Line);
    if (I > 0) Expected += QLatin1Char('\n');
    Expected += QString::fromStdString(Line);
  }
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  // A zero-time timer stands for the serial port's hand-overs to the window
  // thread: it must get its turns while the copy is being built.
  int TurnsDuringCopy = 0;
  QTimer Probe;
  Probe.callOnTimeout([&] { TurnsDuringCopy += View.CopyRunning(); });

  QTest::keyClick(&View, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&View, Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(View.CopyRunning());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
  Probe.start();
  // Lines that arrive while copying are not part of the selection.
  View.AppendLine("arrived during the copy");
  ASSERT_TRUE(WaitForCopy(View));
  Probe.stop();

  EXPECT_GE(TurnsDuringCopy, 2);
  EXPECT_EQ(QGuiApplication::clipboard()->text().size(), Expected.size());
  EXPECT_TRUE(QGuiApplication::clipboard()->text() == Expected);
}

TEST(MonitorView, MouseDragAndShiftClickSelectCharacters) {
  TMonitorView View;
  ShowView(View, 400, 200);
  const QStringList Lines = {QStringLiteral(" - >  81 11 F1 81 04"), QStringLiteral(" - >  82 11 F1 21 06 AB"),
                             QStringLiteral(" - >  83 11 F1 18 02 FF 00"), QStringLiteral(" - >  C1 33 F1 81 66")};
  for (const QString& Line : Lines) View.AppendLine(Line.toStdString());
  View.Refresh();
  QCoreApplication::processEvents();

  // Where the text is, from the picture: the left edge of the glyphs and
  // the rows they occupy.
  const QImage Picture = View.viewport()->grab().toImage();
  const auto Bands = DarkBands(Picture);
  ASSERT_EQ(Bands.size(), 4u);
  const int Left = InkColumns(Picture, 0, Picture.height() - 1).first;
  // Every line begins with " -", so the leftmost ink is the dash's, in
  // column 1.
  const QFontMetrics Metrics(View.font());
  const int CharWidth = Metrics.horizontalAdvance(QLatin1Char('0'));
  const int TextLeft = Left - CharWidth - Metrics.boundingRect(QLatin1Char('-')).left();
  const auto At = [&](int Line, int Column) {
    return QPoint(TextLeft + Column * CharWidth + 1, (Bands[Line].first + Bands[Line].second) / 2);
  };

  QTest::mousePress(View.viewport(), Qt::LeftButton, {}, At(1, 6));
  QTest::mouseMove(View.viewport(), At(2, 4));
  QTest::mouseMove(View.viewport(), At(2, 11));
  QTest::mouseRelease(View.viewport(), Qt::LeftButton, {}, At(2, 11));
  View.Copy();
  ASSERT_TRUE(WaitForCopy(View));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Lines[1].mid(6) + '\n' + Lines[2].left(11));

  // Shift+click moves the far end and keeps the start; a drag upwards from
  // the start selects backwards.
  QTest::mouseClick(View.viewport(), Qt::LeftButton, Qt::ShiftModifier, At(3, 3));
  QTest::keyClick(&View, Qt::Key_C, Qt::ControlModifier);
  ASSERT_TRUE(WaitForCopy(View));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Lines[1].mid(6) + '\n' + Lines[2] + '\n' + Lines[3].left(3));

  QTest::mousePress(View.viewport(), Qt::LeftButton, {}, At(1, 2));
  QTest::mouseMove(View.viewport(), At(0, 18));
  QTest::mouseRelease(View.viewport(), Qt::LeftButton, {}, At(0, 18));
  View.Copy();
  ASSERT_TRUE(WaitForCopy(View));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Lines[0].mid(18) + '\n' + Lines[1].left(2));
}

TEST(MonitorView, DrawsTheNewestLineInTheBottomRowInAFixedPitchFont) {
  TMonitorView View;
  View.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  View.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ShowView(View, 420, 240);
  // Byte columns line up only in a fixed-pitch face.
  const QFontMetrics Metrics(View.font());
  EXPECT_EQ(Metrics.horizontalAdvance(QStringLiteral("iiii")), Metrics.horizontalAdvance(QStringLiteral("WWWW")));

  for (int I = 0; I < 300; ++I) View.AppendLine(I % 2 ? "81 11" : "81 11 F1");
  const std::string Last = " - >  C1 33 F1 81 66 AA BB";
  View.AppendLine(Last);
  // Drawn once the timer has brought the view up to the newest line.
  QScrollBar* Bar = View.verticalScrollBar();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Bar->maximum() > 0 && Bar->value() == Bar->maximum(); }, 10000));
  const QImage Picture = View.viewport()->grab().toImage();
  const auto Bands = DarkBands(Picture);
  ASSERT_GE(Bands.size(), 5u);
  const auto [Top, Bottom] = Bands.back();
  // The newest line is the lowest one drawn, in the last row that fits the
  // view whole (its glyphs stand on the baseline, the row goes on by the
  // font's descent), and it is the longest one.
  const int RowBottom = Bottom + 1 + Metrics.descent();
  EXPECT_LE(RowBottom, Picture.height());
  EXPECT_GT(RowBottom + Metrics.lineSpacing(), Picture.height());
  const int LastRight = InkColumns(Picture, Top, Bottom).second;
  const auto [AboveTop, AboveBottom] = Bands[Bands.size() - 2];
  const int AboveRight = InkColumns(Picture, AboveTop, AboveBottom).second;
  const int CharWidth = Metrics.horizontalAdvance(QLatin1Char('0'));
  EXPECT_NEAR(LastRight - AboveRight, (static_cast<int>(Last.size()) - 5) * CharWidth, CharWidth);
  // The horizontal bar covers the longest line.
  EXPECT_EQ(View.horizontalScrollBar()->maximum(), 0);
  View.AppendLine(std::string(100, 'W'));
  View.Refresh();
  EXPECT_NEAR(View.horizontalScrollBar()->maximum(), 100 * CharWidth - View.viewport()->width(), 2 * CharWidth);
}
