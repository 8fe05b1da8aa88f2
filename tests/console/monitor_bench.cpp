// Figures of the traffic monitor: memory and append cost of the line store
// at 1e4, 1e5 and 1e6 lines; AppendLine cost of the shown view; how long the
// window thread is held at a stretch while 5e5 lines are copied. Prints
// figures; it passes or fails nothing.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <time.h>
#include <unistd.h>

#include "monitor_lines.h"
#include "monitor_view.h"

namespace {

using TClock = std::chrono::steady_clock;

// Resident set of the process in bytes (0 where /proc is missing).
long long ResidentBytes() {
  std::ifstream Statm("/proc/self/statm");
  long long Size = 0, Resident = 0;
  if (!(Statm >> Size >> Resident)) return 0;
  return Resident * sysconf(_SC_PAGESIZE);
}

qint64 ThreadCpuNs() {
  timespec Now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
  return static_cast<qint64>(Now.tv_sec) * 1000000000 + Now.tv_nsec;
}

// Received-frame lines of 20 to 38 characters, as the monitor shows them.
const std::vector<std::string>& SampleLines() {
  static const std::vector<std::string> Lines = {
      " - >  81 11 F1 81 04",    " - >  82 11 F1 21 01 A6",
      " - >  82 11 F1 21 06 AB", " - >  83 11 F1 18 02 FF 00 9E",
      " - >  82 11 F1 3E 01 C3", " - >  84 11 F1 1A 90 00 00 B0 FF",
      " - >  C1 33 F1 81 66",    " - >  82 11 F1 21 0B B0 00 00 00 01",
  };
  return Lines;
}

struct TCosts {
  double Mean = 0, Max = 0, Permille = 0, FirstTenth = 0, LastTenth = 0;  // microseconds
};

TCosts Summarise(const std::vector<float>& Micros) {
  TCosts Costs;
  const std::size_t N = Micros.size(), Tenth = std::max<std::size_t>(1, N / 10);
  double Sum = 0, First = 0, Last = 0;
  for (std::size_t I = 0; I < N; ++I) {
    Sum += Micros[I];
    Costs.Max = std::max<double>(Costs.Max, Micros[I]);
    if (I < Tenth) First += Micros[I];
    if (I >= N - Tenth) Last += Micros[I];
  }
  Costs.Mean = Sum / N;
  // One call in a thousand costs more than this (the maximum is mostly the
  // scheduler taking the processor away).
  std::vector<float> Sorted(Micros);
  std::nth_element(Sorted.begin(), Sorted.begin() + N * 999 / 1000, Sorted.end());
  Costs.Permille = Sorted[N * 999 / 1000];
  Costs.FirstTenth = First / Tenth;
  Costs.LastTenth = Last / Tenth;
  return Costs;
}

void PrintCosts(const char* What, const TCosts& Costs) {
  std::printf(
      "  %s: mean %.3f us, 99.9th percentile %.2f us, max %.1f us; "
      "mean over first 10%% %.3f us, last 10%% %.3f us\n",
      What, Costs.Mean, Costs.Permille, Costs.Max, Costs.FirstTenth, Costs.LastTenth);
}

void BenchStore(std::size_t Count) {
  const auto& Samples = SampleLines();
  std::vector<float> Micros(Count, 0.0f);  // touched before the baseline
  std::size_t TextBytes = 0;
  {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    const long long Before = ResidentBytes();
    TMonitorLines Store;
    for (std::size_t I = 0; I < Count; ++I) {
      const std::string& Line = Samples[I % Samples.size()];
      const auto Start = TClock::now();
      Store.Append(Line);
      Micros[I] = std::chrono::duration<float, std::micro>(TClock::now() - Start).count();
      TextBytes += Line.size();
    }
    const long long After = ResidentBytes();
    std::printf("store, %zu lines (%.1f characters a line):\n", Count, static_cast<double>(TextBytes) / Count);
    std::printf("  bytes used %.2f MB (%.1f bytes a line), resident set grew %.2f MB\n", Store.BytesUsed() / 1e6,
                static_cast<double>(Store.BytesUsed()) / Count, (After - Before) / 1e6);
  }
  PrintCosts("Append", Summarise(Micros));
}

void BenchView() {
  const std::size_t Count = 500000;
  const auto& Samples = SampleLines();
  TMonitorView View;
  View.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  View.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  View.resize(700, 465);
  View.show();
  QCoreApplication::processEvents();

  // Lines in bursts of 20 with the event loop run between bursts, so that
  // the refresh timer fires and the view redraws as it goes.
  std::vector<float> Micros(Count, 0.0f);
  double LongestLoopTurn = 0;
  const auto Started = TClock::now();
  for (std::size_t I = 0; I < Count; ++I) {
    const auto Start = TClock::now();
    View.AppendLine(Samples[I % Samples.size()]);
    Micros[I] = std::chrono::duration<float, std::micro>(TClock::now() - Start).count();
    if (I % 20 == 19) {
      const auto TurnStart = TClock::now();
      QCoreApplication::processEvents();
      LongestLoopTurn =
          std::max(LongestLoopTurn, std::chrono::duration<double, std::milli>(TClock::now() - TurnStart).count());
    }
  }
  const double Seconds = std::chrono::duration<double>(TClock::now() - Started).count();
  std::printf("view, %zu lines appended while shown (700 x 465, offscreen), %.2f s in all:\n", Count, Seconds);
  PrintCosts("AppendLine", Summarise(Micros));
  std::printf("  longest event loop turn between bursts (refresh and drawing) %.2f ms\n", LongestLoopTurn);

  // Select all and copy: a zero-time timer, standing for the serial port's
  // hand-overs, measures how long the window thread goes without getting
  // to the event loop.
  QTimer Probe;
  Probe.setInterval(0);
  // Wall time between turns counts the moments the scheduler gave the
  // processor to another program; the thread's processor time between
  // turns is the work the window thread did in one go.
  QElapsedTimer Clock;
  qint64 LastTick = 0, LongestGap = 0, LastCpu = ThreadCpuNs(), LongestCpuGap = 0, Ticks = 0;
  QObject::connect(&Probe, &QTimer::timeout, [&] {
    const qint64 Now = Clock.nsecsElapsed();
    const qint64 Cpu = ThreadCpuNs();
    LongestGap = std::max(LongestGap, Now - LastTick);
    LongestCpuGap = std::max(LongestCpuGap, Cpu - LastCpu);
    LastTick = Now;
    LastCpu = Cpu;
    ++Ticks;
  });
  QEventLoop Loop;
  QObject::connect(&View, &TMonitorView::CopyFinished, &Loop, &QEventLoop::quit);
  View.SelectAll();
  Clock.start();
  LastCpu = ThreadCpuNs();
  Probe.start();
  View.Copy();
  const qint64 CallNs = Clock.nsecsElapsed();
  Loop.exec();
  const qint64 TotalNs = Clock.nsecsElapsed();
  Probe.stop();
  std::printf("copy of all %zu lines (%lld characters) to the clipboard:\n", Count,
              static_cast<long long>(QGuiApplication::clipboard()->text().size()));
  std::printf(
      "  total %.1f ms; Copy() call %.3f ms; longest stretch without the event loop "
      "%.2f ms wall time, %.2f ms of the thread's processor time (probe ran %lld times)\n",
      TotalNs / 1e6, CallNs / 1e6, LongestGap / 1e6, LongestCpuGap / 1e6, static_cast<long long>(Ticks));
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  for (std::size_t Count : {10000u, 100000u, 1000000u}) BenchStore(Count);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  BenchView();
  return 0;
}
