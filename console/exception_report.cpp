#include "exception_report.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <cstdio>

namespace {

TExceptionReportSink& Sink() {
  static TExceptionReportSink TheSink;
  return TheSink;
}

void ShowOnWindowThread(const QString& Message) {
  const QString Title = ExceptionReportTitle();
  const QString Text = ExceptionReportText(Message);
  if (Sink()) {
    Sink()(Title, Text);
    return;
  }
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    std::fprintf(stderr, "%s: %s\n", Title.toLocal8Bit().constData(), Text.toLocal8Bit().constData());
    return;
  }
  // On the heap and watched: the box is a child of the active window, and
  // when that window is destroyed while the box's loop runs (the program
  // ends under an open report), the box goes with it.
  const QPointer<QMessageBox> Box =
      new QMessageBox(QMessageBox::Critical, Title, Text, QMessageBox::Ok, QApplication::activeWindow());
  Box->exec();
  delete Box.data();
}

}  // namespace

QString ExceptionReportTitle() {
  QString Path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
  if (Path.isEmpty()) return QStringLiteral("trip-computer-tester");
  // Only the last extension goes ("tester.exe" -> "tester").
  return QFileInfo(Path).completeBaseName();
}

QString ExceptionReportText(const QString& Message) {
  if (!Message.isEmpty() && Message.back() > QLatin1Char('.')) return Message + QLatin1Char('.');
  return Message;
}

void ReportExceptionMessage(const QString& Message) {
  QCoreApplication* App = QCoreApplication::instance();
  if (App != nullptr && QThread::currentThread() != App->thread()) {
    QMetaObject::invokeMethod(
        App, [Message] { ShowOnWindowThread(Message); }, Qt::QueuedConnection);
    return;
  }
  ShowOnWindowThread(Message);
}

void ShowExceptionReport(const QString& Message) { ShowOnWindowThread(Message); }

void ReportException(const std::exception& E) { ReportExceptionMessage(QString::fromUtf8(E.what())); }

TExceptionReportSink SetExceptionReportSink(TExceptionReportSink NewSink) {
  return std::exchange(Sink(), std::move(NewSink));
}
