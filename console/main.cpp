// trip-computer-tester: plays a car's engine control unit on the K-line for
// a trip computer under test.
//
//   trip-computer-tester [DEVICE]
//
// DEVICE (optional) is a serial device, e.g. /dev/ttyUSB0 or COM3; it is
// added to the COM port dialog's list and selected.

#include <QApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <string>

#include "numtext.h"
#include "tester_app.h"

namespace {

void PrintUsage(FILE* To, const QString& Program) {
  std::fprintf(To,
               "Usage: %s [DEVICE]\n"
               "Plays the engine control unit on the K-line (KWP2000, 10400 baud) for a\n"
               "trip computer under test. DEVICE, e.g. /dev/ttyUSB0 or COM3, is added to\n"
               "the port list and selected.\n",
               Program.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
  // Numbers follow the user's locale for the decimal separator.
  InitNumberFormatFromLocale();
  QApplication App(argc, argv);

  // Qt has taken its own options out of the list by now.
  const QStringList Arguments = QApplication::arguments();
  const QString Program = Arguments.value(0);
  std::optional<std::string> Device;
  if (Arguments.size() > 2) {
    PrintUsage(stderr, Program);
    return 2;
  }
  if (Arguments.size() == 2) {
    const QString Argument = Arguments[1];
    if (Argument == QLatin1String("-h") || Argument == QLatin1String("--help")) {
      PrintUsage(stdout, Program);
      return 0;
    }
    if (Argument.isEmpty() || Argument.startsWith(QLatin1Char('-'))) {
      PrintUsage(stderr, Program);
      return 2;
    }
    // The port component takes "COMn", a path, or a name in /dev.
    Device = QFile::encodeName(Argument).toStdString();
  }

  TTesterApplication Tester(Device);
  Tester.Show();
  return App.exec();
}
