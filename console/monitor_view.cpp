#include "monitor_view.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <climits>

#include "numtext.h"

namespace {

// Room between the frame and the text.
constexpr int LeftMargin = 4;
constexpr int TopMargin = 2;
// Scroll bars and picture catch up with appended lines this often at most.
constexpr int RefreshIntervalMs = 35;
// Window-thread time one slice of a copy may take; the event loop runs the
// queued work between slices.
constexpr qint64 CopySliceNs = 3'000'000;
// Lines copied between looks at the clock.
constexpr int CopyLinesPerCheck = 256;

QFont MonitorFont() {
  QFont Font;
  // Fixed-pitch faces, so that the byte columns of the frames line up:
  // Liberation Mono has Courier New's metrics; DejaVu Sans Mono is on every
  // Linux desktop.
  Font.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New"),
                    QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Consolas")});
  Font.setStyleHint(QFont::Monospace);
  Font.setFixedPitch(true);
  Font.setPixelSize(12);
  return Font;
}

bool IsAscii(std::string_view Text) {
  return std::all_of(Text.begin(), Text.end(), [](char Char) { return static_cast<unsigned char>(Char) < 0x80; });
}

// Length in UTF-16 units of a UTF-8 text: one per lead byte, two for the
// four-byte sequences that become surrogate pairs.
qsizetype Utf16Length(std::string_view Utf8) {
  qsizetype Length = 0;
  for (char Char : Utf8) {
    const auto Byte = static_cast<unsigned char>(Char);
    if ((Byte & 0xC0) != 0x80) ++Length;
    if (Byte >= 0xF0) ++Length;
  }
  return Length;
}

QString FromUtf8(std::string_view Utf8) { return QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size())); }

void AppendUtf8(QString& Text, std::string_view Utf8) {
  // Monitor lines are ASCII; widening them needs no decoding.
  if (IsAscii(Utf8)) Text.append(QLatin1StringView(Utf8.data(), static_cast<qsizetype>(Utf8.size())));
  else Text.append(FromUtf8(Utf8));
}

}  // namespace

TMonitorView::TMonitorView(QWidget* Parent) : QAbstractScrollArea(Parent) {
  // Steady-clock times of lines are shown as times of day.
  ClockOffsetUs = QDateTime::currentMSecsSinceEpoch() * 1000 - std::chrono::duration_cast<std::chrono::microseconds>(
                                                                   std::chrono::steady_clock::now().time_since_epoch())
                                                                   .count();
  setFont(MonitorFont());
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  RefreshTimer.setSingleShot(true);
  RefreshTimer.setInterval(RefreshIntervalMs);
  connect(&RefreshTimer, &QTimer::timeout, this, &TMonitorView::Refresh);
  CopyTimer.setSingleShot(true);
  CopyTimer.setInterval(0);
  connect(&CopyTimer, &QTimer::timeout, this, &TMonitorView::CopySlice);
  // Whether the view follows the newest line is the operator's choice: it
  // follows while the bar is at its end.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int Value) {
    if (!SettingScrollBars) Following = Value >= verticalScrollBar()->maximum();
  });
  UpdateMetrics();
}

void TMonitorView::AppendLine(std::string_view Utf8Line, int64_t TimeUs) {
  Lines.Append(Utf8Line);
  LongestLine = std::max(LongestLine, Utf16Length(Utf8Line));
  if (FAnnotated) AppendAnnotated(TimeUs, Utf8Line);
  if (!RefreshTimer.isActive()) RefreshTimer.start();
}

void TMonitorView::AppendAnswer(const uint8_t* Bytes, int Count, int64_t TimeUs) {
  if (!FAnnotated) return;
  // Mirrored arrow: an answer is never read as a received frame.
  std::string Line = " < - ";
  AppendHexBytes(Line, Bytes, static_cast<size_t>(std::max(Count, 0)));
  AppendAnnotated(TimeUs, Line);
  if (!RefreshTimer.isActive()) RefreshTimer.start();
}

void TMonitorView::AppendAnnotated(int64_t TimeUs, std::string_view Line) {
  // The time of day of a steady-clock time, to the millisecond.
  const qint64 WallMs = (TimeUs + ClockOffsetUs) / 1000;
  const std::string Time =
      QDateTime::fromMSecsSinceEpoch(WallMs).toString(QStringLiteral("HH:mm:ss.zzz")).toStdString();
  std::string Text;
  Text.reserve(Time.size() + 1 + Line.size());
  Text += Time;
  Text += ' ';
  Text += Line;
  TimedLines.Append(Text);
  LongestAnnotated = std::max(LongestAnnotated, Utf16Length(Text));
}

void TMonitorView::SetAnnotated(bool Value) {
  if (FAnnotated == Value) return;
  FAnnotated = Value;
  CopyTimer.stop();
  Job = TCopyJob();
  Anchor = Caret = {};
  Following = true;
  ShownCount = 0;
  Refresh();
  viewport()->update();
}

qsizetype TMonitorView::RowCount() const { return static_cast<qsizetype>(Rows().Count()); }

QString TMonitorView::RowText(qsizetype Index) const {
  if (Index < 0 || Index >= RowCount()) return {};
  return FromUtf8(Rows().Line(static_cast<std::size_t>(Index)));
}

QString TMonitorView::LineText(qsizetype Index) const {
  if (Index < 0 || Index >= LineCount()) return {};
  return FromUtf8(Lines.Line(static_cast<std::size_t>(Index)));
}

QString TMonitorView::ToPlainText() const {
  QString Text;
  const std::size_t Count = Lines.Count();
  Text.reserve(static_cast<qsizetype>(Lines.SpanBytes(0, Count) + Count));
  for (std::size_t Index = 0; Index < Count; ++Index) {
    if (Index > 0) Text.append(QLatin1Char('\n'));
    AppendUtf8(Text, Lines.Line(Index));
  }
  return Text;
}

bool TMonitorView::HasSelection() const { return Anchor != Caret; }

void TMonitorView::SelectAll() {
  const qsizetype Count = RowCount();
  if (Count == 0) return;
  Anchor = {0, 0};
  Caret = {Count - 1, RowText(Count - 1).size()};
  viewport()->update();
}

void TMonitorView::ClearSelection() {
  Anchor = Caret;
  viewport()->update();
}

void TMonitorView::Copy() {
  Job = TCopyJob();
  CopyTimer.stop();
  if (!HasSelection()) return;
  Job.From = std::min(Anchor, Caret);
  Job.To = std::max(Anchor, Caret);
  Job.NextLine = Job.From.Line;
  // Room for the whole text at once (UTF-16 units never outnumber UTF-8
  // bytes): the text is never moved while it grows. Reserving does not touch
  // the memory, so this is cheap however large the selection.
  const auto First = static_cast<std::size_t>(Job.From.Line);
  const auto Last = static_cast<std::size_t>(Job.To.Line) + 1;
  Job.Text.reserve(static_cast<qsizetype>(Rows().SpanBytes(First, Last) + (Last - First)));
  CopyTimer.start();
}

void TMonitorView::CopySlice() {
  QElapsedTimer Clock;
  Clock.start();
  while (Job.NextLine <= Job.To.Line) {
    for (int Step = 0; Step < CopyLinesPerCheck && Job.NextLine <= Job.To.Line; ++Step) {
      const qsizetype Index = Job.NextLine++;
      const std::string_view Line = Rows().Line(static_cast<std::size_t>(Index));
      if (Index != Job.From.Line) Job.Text.append(QLatin1Char('\n'));
      if (Index == Job.From.Line || Index == Job.To.Line) {
        const QString Text = FromUtf8(Line);
        const qsizetype Begin = Index == Job.From.Line ? std::min(Job.From.Column, Text.size()) : 0;
        const qsizetype End = Index == Job.To.Line ? std::min(Job.To.Column, Text.size()) : Text.size();
        if (End > Begin) Job.Text.append(QStringView(Text).mid(Begin, End - Begin));
      } else {
        AppendUtf8(Job.Text, Line);
      }
    }
    if (Job.NextLine <= Job.To.Line && Clock.nsecsElapsed() > CopySliceNs) {
      CopyTimer.start();
      return;
    }
  }
  QGuiApplication::clipboard()->setText(Job.Text);
  Job = TCopyJob();
  emit CopyFinished();
}

void TMonitorView::UpdateMetrics() {
  const QFontMetrics Metrics(font());
  LineHeight = std::max(1, Metrics.lineSpacing());
  Ascent = Metrics.ascent();
  CharWidth = std::max(1, Metrics.horizontalAdvance(QLatin1Char('0')));
}

int TMonitorView::VisibleLines() const { return std::max(1, (viewport()->height() - TopMargin) / LineHeight); }

int TMonitorView::TextX(const QString& Text, qsizetype Column) const {
  return Column <= 0 ? 0 : fontMetrics().horizontalAdvance(Text, static_cast<int>(Column));
}

void TMonitorView::Refresh() {
  RefreshTimer.stop();
  // Range changes can resize the viewport (a bar appearing) and come back
  // here; the rollback keeps the guard up until the outermost call ends.
  QScopedValueRollback<bool> Guard(SettingScrollBars, true);
  const qsizetype Count = RowCount();
  const int Visible = VisibleLines();
  QScrollBar* Vertical = verticalScrollBar();
  Vertical->setSingleStep(1);
  Vertical->setPageStep(Visible);
  Vertical->setRange(0, static_cast<int>(std::clamp<qsizetype>(Count - Visible, 0, INT_MAX)));
  if (Following) Vertical->setValue(Vertical->maximum());
  // A taller view can bring the bar to its end: from there the view follows.
  Following = Vertical->value() >= Vertical->maximum();

  QScrollBar* Horizontal = horizontalScrollBar();
  const int Width = viewport()->width();
  const qint64 ContentWidth =
      2 * LeftMargin + static_cast<qint64>(FAnnotated ? LongestAnnotated : LongestLine) * CharWidth;
  Horizontal->setSingleStep(CharWidth);
  Horizontal->setPageStep(std::max(1, Width));
  Horizontal->setRange(0, static_cast<int>(std::clamp<qint64>(ContentWidth - Width, 0, INT_MAX)));

  // Lines that arrived into rows on screen need drawing; scrolling has asked
  // for its own repaint.
  if (ShownCount <= Vertical->value() + Visible) viewport()->update();
  ShownCount = Count;
}

TMonitorView::TPosition TMonitorView::PositionAt(QPoint Point) const {
  const qsizetype Count = RowCount();
  if (Count == 0) return {};
  const int Dy = Point.y() - TopMargin;
  const int Row = Dy >= 0 ? Dy / LineHeight : -((-Dy + LineHeight - 1) / LineHeight);
  const qsizetype Line = std::clamp<qsizetype>(verticalScrollBar()->value() + Row, 0, Count - 1);
  const QString Text = RowText(Line);
  const int X = Point.x() + horizontalScrollBar()->value() - LeftMargin;
  // The place between characters nearest to X; surrogate pairs stay whole.
  const QFontMetrics Metrics(font());
  qsizetype Column = 0;
  int Left = 0;
  while (Column < Text.size()) {
    const qsizetype Units = Text.at(Column).isHighSurrogate() && Column + 1 < Text.size() ? 2 : 1;
    const int Right = Left + Metrics.horizontalAdvance(Text.mid(Column, Units));
    if (X < (Left + Right) / 2) break;
    Column += Units;
    Left = Right;
  }
  return {Line, Column};
}

void TMonitorView::paintEvent(QPaintEvent* Event) {
  QPainter Painter(viewport());
  Painter.setFont(font());
  const QPalette& Colours = palette();
  const qsizetype Count = RowCount();
  const qsizetype First = verticalScrollBar()->value();
  const int X = LeftMargin - horizontalScrollBar()->value();
  const QRect Area = Event->rect();
  const int FirstRow = std::max(0, (Area.top() - TopMargin) / LineHeight);
  const int LastRow = std::max(0, (Area.bottom() - TopMargin) / LineHeight);
  const bool Selected = HasSelection();
  const TPosition From = std::min(Anchor, Caret);
  const TPosition To = std::max(Anchor, Caret);

  for (int Row = FirstRow; Row <= LastRow; ++Row) {
    const qsizetype Index = First + Row;
    if (Index >= Count) break;
    const QString Text = RowText(Index);
    const int Top = TopMargin + Row * LineHeight;
    Painter.setPen(Colours.color(QPalette::Text));
    if (!Selected || Index < From.Line || Index > To.Line) {
      Painter.drawText(X, Top + Ascent, Text);
      continue;
    }
    const qsizetype Begin = Index == From.Line ? std::min(From.Column, Text.size()) : 0;
    const qsizetype End = Index == To.Line ? std::min(To.Column, Text.size()) : Text.size();
    // A selection that goes on to the next line shows its line break as a
    // half-character mark.
    const int Break = Index < To.Line ? std::max(1, CharWidth / 2) : 0;
    const int Left = X + TextX(Text, Begin);
    const QRect Band(Left, Top, X + TextX(Text, End) + Break - Left, LineHeight);
    Painter.fillRect(Band, Colours.brush(QPalette::Highlight));
    Painter.drawText(X, Top + Ascent, Text);
    Painter.save();
    Painter.setClipRect(Band);
    Painter.setPen(Colours.color(QPalette::HighlightedText));
    Painter.drawText(X, Top + Ascent, Text);
    Painter.restore();
  }
}

void TMonitorView::resizeEvent(QResizeEvent* Event) {
  QAbstractScrollArea::resizeEvent(Event);
  Refresh();
}

void TMonitorView::scrollContentsBy(int, int) { viewport()->update(); }

bool TMonitorView::event(QEvent* Event) {
  // Copy and select-all reach the view before any shortcut of the window.
  if (Event->type() == QEvent::ShortcutOverride) {
    auto* Key = static_cast<QKeyEvent*>(Event);
    if (Key->matches(QKeySequence::Copy) || Key->matches(QKeySequence::SelectAll)) {
      Event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(Event);
}

void TMonitorView::changeEvent(QEvent* Event) {
  QAbstractScrollArea::changeEvent(Event);
  if (Event->type() == QEvent::FontChange) {
    UpdateMetrics();
    Refresh();
    viewport()->update();
  }
}

void TMonitorView::keyPressEvent(QKeyEvent* Event) {
  if (Event->matches(QKeySequence::SelectAll)) {
    SelectAll();
    return;
  }
  if (Event->matches(QKeySequence::Copy)) {
    Copy();
    return;
  }
  QScrollBar* Vertical = verticalScrollBar();
  QScrollBar* Horizontal = horizontalScrollBar();
  const bool Control = Event->modifiers() & Qt::ControlModifier;
  switch (Event->key()) {
    case Qt::Key_Up: Vertical->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Down: Vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_PageUp: Vertical->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_PageDown: Vertical->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_Left: Horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Right: Horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Home: (Control ? Vertical : Horizontal)->triggerAction(QAbstractSlider::SliderToMinimum); break;
    case Qt::Key_End: (Control ? Vertical : Horizontal)->triggerAction(QAbstractSlider::SliderToMaximum); break;
    default: QAbstractScrollArea::keyPressEvent(Event); return;
  }
  Event->accept();
}

void TMonitorView::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(Event);
    return;
  }
  const TPosition At = PositionAt(Event->position().toPoint());
  if (!(Event->modifiers() & Qt::ShiftModifier)) Anchor = At;
  Caret = At;
  Selecting = true;
  viewport()->update();
}

void TMonitorView::mouseMoveEvent(QMouseEvent* Event) {
  if (!Selecting || !(Event->buttons() & Qt::LeftButton)) return;
  const QPoint Point = Event->position().toPoint();
  // Dragging past the top or bottom edge scrolls a line per move.
  if (Point.y() < 0) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  else if (Point.y() >= viewport()->height()) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  Caret = PositionAt(Point);
  viewport()->update();
}

void TMonitorView::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseReleaseEvent(Event);
    return;
  }
  Selecting = false;
  Event->accept();
}

void TMonitorView::contextMenuEvent(QContextMenuEvent* Event) {
  auto* Menu = new QMenu(this);
  Menu->setAttribute(Qt::WA_DeleteOnClose);
  QAction* CopyAction = Menu->addAction(QStringLiteral("Копировать"));
  CopyAction->setShortcut(QKeySequence::Copy);
  CopyAction->setEnabled(HasSelection());
  connect(CopyAction, &QAction::triggered, this, &TMonitorView::Copy);
  Menu->addSeparator();
  QAction* SelectAllAction = Menu->addAction(QStringLiteral("Выделить всё"));
  SelectAllAction->setShortcut(QKeySequence::SelectAll);
  SelectAllAction->setEnabled(RowCount() > 0);
  connect(SelectAllAction, &QAction::triggered, this, &TMonitorView::SelectAll);
  Menu->popup(Event->globalPos());
}
