// virtual-trip-computer: plays a trip computer on the K-line. It wakes the
// engine control unit (or the tester playing one), polls its live data and
// fault codes with KWP2000 and shows what a trip computer's display shows.
//
//   virtual-trip-computer [--variant N] [DEVICE]
//   virtual-trip-computer [--variant N] --link FILE     (POSIX)
//   virtual-trip-computer --self-test                   (POSIX)
//
// DEVICE (e.g. /dev/ttyUSB0 or COM3) is added to the port list, selected and
// connected at once. N is the unit variant to poll, 1 to 3 (1 without the
// option). --link makes a linked pair of pseudo-terminals, connects to one
// end and writes the other end's path into FILE, for the tester to open; the
// pair lives as long as the program. --self-test runs the tester's emulated
// unit and the trip client headless on such a pair and prints one line per
// check; the exit status is 1 when a check failed.

#include <QApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <string>

#include "device_list.h"
#include "numtext.h"
#include "trip_window.h"

#ifndef _WIN32
#include <fstream>
#include <memory>

#include "pty_link.h"
#include "self_test.h"
#endif

namespace {

void PrintUsage(FILE* To, const QString& Program) {
  std::fprintf(To,
               "Usage: %s [--variant N] [DEVICE | --link FILE]\n"
               "       %s --self-test\n"
               "Plays a trip computer on the K-line (KWP2000, 10400 baud): polls the engine\n"
               "control unit of variant N (1 to 3) and shows its display. DEVICE, e.g.\n"
               "/dev/ttyUSB0 or COM3, is added to the port list and connected at once.\n"
               "--link FILE: connects to one end of a new linked pair of pseudo-terminals\n"
               "and writes the other end's path into FILE, for the tester.\n"
               "--self-test: the tester's unit and this client on such a pair, headless;\n"
               "one line per check, exit status 1 when one failed.\n",
               Program.toLocal8Bit().constData(), Program.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
  InitNumberFormatFromLocale();
#ifndef _WIN32
  // Headless: before the application object, which would want a display.
  if (argc == 2 && std::string(argv[1]) == "--self-test") return RunTripSelfTest(stdout) == 0 ? 0 : 1;
#endif
  QApplication App(argc, argv);
  const QStringList Arguments = QApplication::arguments();
  const QString Program = Arguments.value(0);
  std::optional<std::string> Device;
  QString LinkFile;
  int Variant = 1;
  for (int I = 1; I < Arguments.size(); ++I) {
    const QString& A = Arguments[I];
    if (A == QLatin1String("-h") || A == QLatin1String("--help")) {
      PrintUsage(stdout, Program);
      return 0;
    }
    if (A == QLatin1String("--variant") && I + 1 < Arguments.size()) {
      bool Ok = false;
      Variant = Arguments[++I].toInt(&Ok);
      if (!Ok || Variant < 1 || Variant > 3) {
        PrintUsage(stderr, Program);
        return 2;
      }
#ifndef _WIN32
    } else if (A == QLatin1String("--link") && I + 1 < Arguments.size() && LinkFile.isEmpty()) {
      LinkFile = Arguments[++I];
#endif
    } else if (!A.isEmpty() && !A.startsWith(QLatin1Char('-')) && !Device) {
      Device = QFile::encodeName(A).toStdString();
    } else {
      PrintUsage(stderr, Program);
      return 2;
    }
  }

  if (Device && !LinkFile.isEmpty()) {
    PrintUsage(stderr, Program);
    return 2;
  }
#ifndef _WIN32
  std::unique_ptr<TPtyLink> Link;
  if (!LinkFile.isEmpty()) {
    Link = std::make_unique<TPtyLink>();
    Device = Link->Path(1);
    // Written aside and renamed: whoever waits for the file reads it whole.
    const std::string File = QFile::encodeName(LinkFile).toStdString();
    std::ofstream(File + ".part") << Link->Path(0) << "\n";
    std::rename((File + ".part").c_str(), File.c_str());
  }
#endif

  const TPortChoice Ports = ComPortChoice(SerialAdapterNames(), Device);
  TTripWindow Window(Ports.Names, Ports.Selected);
  Window.SelectVariant(Variant);
  Window.show();
  if (Device) Window.Connect();
  return App.exec();
}
