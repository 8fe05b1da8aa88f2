#include "line_report.h"

#include <QPointer>
#include <QTimer>

#include "exception_report.h"

TLineReport::TLineReport(QObject* Parent) : QObject(Parent) {}

void TLineReport::Report(const QString& Message) {
  const bool Held = FLastSeen.isValid() && (FShowing || FLastSeen.elapsed() < HoldMs);
  if (Message == FLast && Held) {
    FLastSeen.restart();
    ++FRecurrences;
    emit RecurrencesChanged(FRecurrences);
    return;
  }
  if (FWaiting.contains(Message) || FWaiting.size() >= MaxWaiting) return;
  FWaiting.append(Message);
  if (FShowing || FScheduled) return;
  // Shown from the event loop, once the receive event has been handled.
  FScheduled = true;
  QTimer::singleShot(0, this, [this] { ShowNext(); });
}

void TLineReport::ShowNext() {
  FScheduled = false;
  // The window that owns this report may be destroyed while its box is open.
  const QPointer<TLineReport> Alive(this);
  while (!FWaiting.isEmpty()) {
    const QString Message = FWaiting.takeFirst();
    FLast = Message;
    FRecurrences = 0;
    FLastSeen.restart();
    emit RecurrencesChanged(0);
    FShowing = true;
    // The box's event loop keeps the line served; reports that come in
    // meanwhile are counted or wait their turn.
    ShowExceptionReport(Message);
    if (Alive.isNull()) return;
    FShowing = false;
    FLastSeen.restart();
  }
}
