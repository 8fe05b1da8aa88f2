#pragma once
// TMonitorView: the traffic monitor, a read-only list of text lines (one per
// received frame) drawn in a fixed-pitch font, that keeps every line for the
// lifetime of the window and stays cheap for the window thread:
//
// - AppendLine only stores the line and marks the view out of date; the
//   scroll bars and the picture catch up from a timer, at most ~28 times a
//   second, so nothing is laid out or drawn between a received frame's line
//   and the answer sent right after it.
// - Only the visible lines are drawn, straight from the line store.
// - Copying a selection, however large, builds the text in slices of a few
//   milliseconds run from the event loop, so the serial port's hand-overs to
//   the window thread are served between slices; the clipboard is set once
//   the text is complete.
//
// It follows the newest line while scrolled to the bottom and stays where it
// is while the operator has scrolled up to read older lines.

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <string_view>

#include "monitor_lines.h"

class TMonitorView : public QAbstractScrollArea {
  Q_OBJECT
public:
  explicit TMonitorView(QWidget* Parent = nullptr);

  // Stores the line (UTF-8) after the last one. Cheap: no layout, no drawing,
  // no scroll bar change here. TimeUs: when its frame arrived, on the steady
  // clock (microseconds), for the timed view.
  void AppendLine(std::string_view Utf8Line, int64_t TimeUs = 0);

  // The timed view ("Показывать ответы"): from the moment it is switched on,
  // every line and every answer sent is also kept with its time of day, the
  // answers marked " < - " where received frames read " - > ", and the view
  // shows those. Switched off, it shows the plain lines again, untouched.
  void SetAnnotated(bool Value);
  bool Annotated() const { return FAnnotated; }
  // An answer sent (its bytes), for the timed view; ignored while it is off.
  void AppendAnswer(const uint8_t* Bytes, int Count, int64_t TimeUs);

  // The plain lines, whichever view is shown.
  qsizetype LineCount() const { return static_cast<qsizetype>(Lines.Count()); }
  QString LineText(qsizetype Index) const;
  // The rows of the view shown: plain lines, or timed lines and answers.
  qsizetype RowCount() const;
  QString RowText(qsizetype Index) const;
  // All lines joined by '\n', built at once: for tests and small monitors.
  QString ToPlainText() const;
  // The line store, for figures of its size.
  const TMonitorLines& Store() const { return Lines; }

  // Selection: character positions across lines. SelectAll takes the lines
  // there are now; lines appended later are not part of it.
  bool HasSelection() const;
  void SelectAll();
  void ClearSelection();

  // Starts copying the selection to the clipboard and returns; CopyFinished
  // follows once the clipboard holds it. A copy started while one runs
  // replaces it.
  void Copy();
  bool CopyRunning() const { return CopyTimer.isActive(); }

  // Brings scroll bars and picture up to date now instead of at the next
  // timer tick.
  void Refresh();

signals:
  void CopyFinished();

protected:
  bool event(QEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void scrollContentsBy(int Dx, int Dy) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void contextMenuEvent(QContextMenuEvent* Event) override;

private:
  // A place between characters: line, and column in UTF-16 units of the
  // line's text.
  struct TPosition {
    qsizetype Line = 0;
    qsizetype Column = 0;
    bool operator==(const TPosition&) const = default;
    auto operator<=>(const TPosition&) const = default;
  };

  void UpdateMetrics();
  int VisibleLines() const;
  int TextX(const QString& Text, qsizetype Column) const;
  TPosition PositionAt(QPoint Point) const;
  void CopySlice();

  const TMonitorLines& Rows() const { return FAnnotated ? TimedLines : Lines; }
  void AppendAnnotated(int64_t TimeUs, std::string_view Line);

  TMonitorLines Lines;
  TMonitorLines TimedLines;
  bool FAnnotated = false;
  qsizetype LongestAnnotated = 0;
  int64_t ClockOffsetUs = 0;
  // Longest line in UTF-16 units: the width the horizontal scroll bar covers.
  qsizetype LongestLine = 0;
  // Line count the picture and the scroll bars were last brought up to.
  qsizetype ShownCount = 0;
  bool Following = true;
  bool SettingScrollBars = false;
  QTimer RefreshTimer;

  int LineHeight = 1;
  int Ascent = 0;
  int CharWidth = 1;

  TPosition Anchor;
  TPosition Caret;
  bool Selecting = false;

  // The copy being built: positions fixed when it was asked for.
  struct TCopyJob {
    TPosition From;
    TPosition To;
    qsizetype NextLine = 0;
    QString Text;
  };
  TCopyJob Job;
  QTimer CopyTimer;
};
