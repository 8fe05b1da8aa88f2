#pragma once
// The standard exception report: every exception that leaves a handler the
// toolkit calls (button clicks, key presses, focus entries, the serial port's
// event dispatch) ends up here and is shown to the operator in one modal
// critical message box, after which the program carries on.
//
// Tests replace the message box with a recorder (SetExceptionReportSink), so
// that nothing ever waits for a person.

#include <QString>

#include <exception>
#include <functional>
#include <utility>

// The box title: the program file's name without its extension.
QString ExceptionReportTitle();

// The text shown for a message: a full stop is appended when the message's
// last character sorts after "." (so "… integer value" gets one, while
// "… not found (COM9)." and "… (Error 5, Access denied)" stay as they are).
QString ExceptionReportText(const QString& Message);

// Shows the report for an exception or a message. May be called from any
// thread: off the window thread the report is queued to it and shown there.
void ReportException(const std::exception& E);
void ReportExceptionMessage(const QString& Message);

// Shows the report for a message now, on the window thread, and returns when
// the operator has closed the box.
void ShowExceptionReport(const QString& Message);

// Where reports go instead of the message box; an empty sink restores the
// box. Returns the sink that was installed before.
using TExceptionReportSink = std::function<void(const QString& Title, const QString& Text)>;
TExceptionReportSink SetExceptionReportSink(TExceptionReportSink Sink);

// Runs Handler; an exception that leaves it goes to the standard exception
// report instead of into the toolkit's event loop.
template <typename F>
void RunReported(F&& Handler) noexcept {
  try {
    std::forward<F>(Handler)();
  } catch (const std::exception& E) {
    ReportException(E);
  } catch (...) {
    ReportExceptionMessage(QStringLiteral("Unknown exception"));
  }
}
