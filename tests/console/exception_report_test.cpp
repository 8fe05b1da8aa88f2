// The standard exception report: title, full stop rule, recorder, reports
// from other threads.
#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "console_support.h"
#include "line_report.h"

TEST(ExceptionReport, AppendsAFullStopOnlyAfterCharactersSortingAfterIt) {
  const std::pair<const char*, const char*> Vectors[] = {
      {"'20,5' is not a valid integer value", "'20,5' is not a valid integer value."},
      {"Specified device not found (/dev/ttyS8 (COM9)).", "Specified device not found (/dev/ttyS8 (COM9))."},
      // ")" sorts before ".", so the system error text stays as it is.
      {"Can't open specified device COM1 (Error 16, Device or resource busy)",
       "Can't open specified device COM1 (Error 16, Device or resource busy)"},
      {"Output buffer is full. Please check comm status.", "Output buffer is full. Please check comm status."},
      {"Read error (5), Input/output error", "Read error (5), Input/output error."},
      {"value -", "value -"},  // '-' is 0x2D
      {"path/", "path/."},     // '/' is 0x2F
      {"100%", "100%"},
      {"0", "0."},
      {"ошибка", "ошибка."},
      {"", ""},
  };
  for (const auto& [Message, Shown] : Vectors)
    EXPECT_EQ(ExceptionReportText(QString::fromUtf8(Message)).toStdString(), Shown) << Message;
}

TEST(ExceptionReport, HandlersReportWhatLeavesThemUnderTheProgramName) {
  TReportRecorder Recorder;
  RunReported([] { throw std::runtime_error("'abc' is not a valid floating point value"); });
  RunReported([] { throw 42; });
  RunReported([] {});
  ASSERT_EQ(Recorder.Reports.size(), 2u);
  // The test program's file is console_tests: no extension to drop.
  EXPECT_EQ(Recorder.Reports[0].Title, QStringLiteral("console_tests"));
  EXPECT_EQ(Recorder.Reports[0].Text, QStringLiteral("'abc' is not a valid floating point value."));
  EXPECT_EQ(Recorder.Reports[1].Text, QStringLiteral("Unknown exception."));
}

TEST(ExceptionReport, ReportsFromOtherThreadsAreShownOnTheWindowThread) {
  TReportRecorder Recorder;
  QThread* ShownOn = nullptr;
  SetExceptionReportSink([&](const QString&, const QString& Text) {
    ShownOn = QThread::currentThread();
    Recorder.Reports.push_back({QString(), Text});
  });
  std::thread Worker([] { ReportException(std::runtime_error("Write error (5), Input/output error")); });
  Worker.join();
  EXPECT_TRUE(Recorder.Reports.empty());  // queued, not shown on the worker
  ASSERT_TRUE(PumpUntil([&] { return !Recorder.Reports.empty(); }));
  EXPECT_EQ(ShownOn, QCoreApplication::instance()->thread());
  EXPECT_EQ(Recorder.Reports[0].Text, QStringLiteral("Write error (5), Input/output error."));
}

TEST(LineReport, EachMessageIsShownOnceWhileItRecursAndOthersWaitTheirTurn) {
  TReportRecorder Recorder;
  TLineReport Report;
  QStringList Shown;
  // The first box stays open while the receive path reports again.
  SetExceptionReportSink([&](const QString&, const QString& Text) {
    Shown << Text;
    if (Shown.size() == 1) {
      Report.Report(QStringLiteral("'12.7' is not a valid integer value"));
      Report.Report(QStringLiteral("Write error (5), Input/output error"));
      Report.Report(QStringLiteral("'12.7' is not a valid integer value"));
      Report.Report(QStringLiteral("Write error (5), Input/output error"));
    }
  });
  Report.Report(QStringLiteral("'12.7' is not a valid integer value"));
  // Nothing is shown inside the call: the receive event finishes first.
  EXPECT_TRUE(Shown.isEmpty());
  ASSERT_TRUE(PumpUntil([&] { return Shown.size() == 2 && !Report.BoxOpen(); }));
  EXPECT_EQ(Shown, (QStringList{"'12.7' is not a valid integer value.", "Write error (5), Input/output error."}));
  // The count belongs to the message shown last: a waiting message that
  // comes again is not queued twice.
  EXPECT_EQ(Report.LastMessage(), QStringLiteral("Write error (5), Input/output error"));
  EXPECT_EQ(Report.Recurrences(), 0);
  // Recurring soon after its box closed, it is counted, not shown.
  Report.Report(QStringLiteral("Write error (5), Input/output error"));
  Report.Report(QStringLiteral("Write error (5), Input/output error"));
  ASSERT_TRUE(RunQueuedEvents());
  EXPECT_EQ(Shown.size(), 2);
  EXPECT_EQ(Report.Recurrences(), 2);
}
