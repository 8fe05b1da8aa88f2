#pragma once
// Reports that come from the serial line's receive path: a conversion error
// of a field text met while answering, a failed write, the device lost.
//
// The trip computer keeps polling while the operator reads such a report, so
// the box must not hold up the line. A report is therefore shown after the
// receive event that raised it has been handled (the port's event thread goes
// on reading and the emulator answering from the box's own event loop), and
// the same message is shown once: while its box is open, and afterwards for
// as long as it keeps coming back at least every HoldMs, it is only counted.
// The box, its title and its text are those of the standard exception report.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class TLineReport : public QObject {
  Q_OBJECT
public:
  // A message that recurs less often than this is shown again.
  static constexpr int HoldMs = 5000;
  // Distinct messages waiting for the box at most; more are only counted.
  static constexpr int MaxWaiting = 8;

  explicit TLineReport(QObject* Parent = nullptr);

  // Window thread. Queues the message for the box, or counts it.
  void Report(const QString& Message);

  // The message shown last, and how often it came back since it was shown.
  const QString& LastMessage() const { return FLast; }
  int Recurrences() const { return FRecurrences; }
  bool BoxOpen() const { return FShowing; }

signals:
  // Whenever the count of recurrences of the last message changes.
  void RecurrencesChanged(int Count);

private:
  void ShowNext();

  QStringList FWaiting;
  QString FLast;
  int FRecurrences = 0;
  bool FShowing = false;
  bool FScheduled = false;
  QElapsedTimer FLastSeen;  // when the last message last came
};
