// Test fixtures for the serial port component: a hand-over that runs the
// workers' calls on the test's own thread, which so plays the window thread;
// a clock of the test's own for the port's time-outs; line error counters
// played on a pseudo-terminal; and a look at the process's threads. The
// trip computer's end of the line is a TPtyPair (tests/support).
#pragma once

#include "pty_pair.h"
#include "tty_linux.h"
#include "vacomm.h"
#include "vatimeout.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using TMs = std::chrono::milliseconds;

// How long a test waits for something that happens at once on any machine:
// only a fault lets it run out, so it is generous for a loaded machine and
// a sanitizer build.
constexpr TMs WaitBound = 10s;

// Runs queued calls only when the test asks for it.
class TTestSynchronizer : public TVaSynchronizer {
public:
  void Synchronize(const std::function<void()>& Call) override;
  // Runs queued calls on this thread until Done() holds or Timeout has
  // passed; returns Done().
  bool RunUntil(const std::function<bool()>& Done, TMs Timeout = WaitBound);
  // Runs queued calls on this thread for Duration.
  void RunFor(TMs Duration);
  // Waits (without running anything) until a call is queued.
  bool WaitPending(TMs Timeout = WaitBound);
  int Pending();
  // Queued and later calls return to their worker without running.
  void Shutdown();
  // Calls run so far.
  int Runs();
  // Calls made after Shutdown (they returned without running); waits until
  // at least Count have been made.
  bool WaitRefused(int Count, TMs Timeout = WaitBound);

private:
  struct TItem {
    const std::function<void()>* Call;
    bool Done = false;
  };
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TItem*> FQueue;
  bool FShutdown = false;
  int FRuns = 0, FRefused = 0;
};

// The clock of the port's time-outs while the object lives (the system's
// again afterwards). It stands still unless the test moves it, or moves by
// Step at every reading; a sleep of the port (the pause after Close) moves
// it at once instead of waiting.
class TTestClock : public vacomm_detail::TVaClock {
public:
  explicit TTestClock(uint32_t Start = 1000);
  ~TTestClock() override;
  TTestClock(const TTestClock&) = delete;
  TTestClock& operator=(const TTestClock&) = delete;

  uint32_t TickCount() override;
  void Sleep(int Milliseconds) override;

  uint32_t Now();
  void Set(uint32_t Now);
  void Advance(uint32_t Milliseconds);
  void SetStep(uint32_t Milliseconds);
  // The next reading moves the clock by Milliseconds more, once.
  void JumpAfterNextReading(uint32_t Milliseconds);
  // Readings so far, and a wait until there have been at least Count.
  int Reads();
  bool WaitReads(int Count, TMs Timeout = WaitBound);
  // Milliseconds that the port has slept by this clock.
  int64_t Slept();

private:
  std::mutex FLock;
  std::condition_variable FRead;
  uint32_t FNow, FStep = 0, FJump = 0;
  int FReads = 0;
  int64_t FSlept = 0;
};

// For a call on the test thread that waits by the port's clock (a read,
// a direct write, a wait for room in the write queue): a thread of its own
// runs Act once the call has read the clock Reads times since this object
// was made (so it is waiting), and plays the watchdog: when the call has not
// returned within WaitBound of that, it moves the clock an hour on, so that
// a faulty call ends instead of hanging the test. Tell it when the call has
// returned; the destructor does so too and waits for the thread.
class TWhileWaiting {
public:
  TWhileWaiting(TTestClock& Clock, int Reads, std::function<void()> Act);
  // The watchdog alone: for a call that must return without the clock moving.
  explicit TWhileWaiting(TTestClock& Clock) : TWhileWaiting(Clock, 1 << 30, nullptr) {}
  ~TWhileWaiting();
  TWhileWaiting(const TWhileWaiting&) = delete;
  TWhileWaiting& operator=(const TWhileWaiting&) = delete;

  void Returned();
  // Act ran while the call was still waiting.
  bool ActedWhileWaiting();
  // The watchdog had to end the call.
  bool Stuck();

private:
  void Run(int Reads);
  TTestClock& FClock;
  std::function<void()> FAct;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FReturned = false, FActedWhileWaiting = false, FStuck = false;
  std::thread FThread;  // last: starts once the rest is ready
};

// Line error counters that every port reads instead of the driver's while
// the object lives: a pseudo-terminal keeps none, so errors on the line are
// played by adding to these. Create it before the port is opened.
class TTestLineCounters {
public:
  TTestLineCounters();
  ~TTestLineCounters();
  TTestLineCounters(const TTestLineCounters&) = delete;
  TTestLineCounters& operator=(const TTestLineCounters&) = delete;
  // Counts errors as the driver would, since it started.
  void Add(const vacomm_detail::TVaLineCounters& More);
};

// The settings of a terminal as the kernel holds them (termios2).
struct TTtySettings {
  unsigned ISpeed = 0, OSpeed = 0;
  unsigned CFlag = 0, IFlag = 0, OFlag = 0, LFlag = 0;
  unsigned char VStart = 0, VStop = 0;
  bool Parenb = false, Parodd = false, Cstopb = false, Crtscts = false, Ixon = false, Ixoff = false, Ignbrk = false,
       Icanon = false, Echo = false;
  int CharSize = 0;  // 5..8
};
TTtySettings ReadTtySettings(int Fd);
// Sets the rate of a terminal behind the component's back.
void SetTtySpeed(int Fd, unsigned Speed);
// Puts a terminal behind the component's back into the opposite of what the
// K-line needs: line editing, echo, output processing, 7 data bits with even
// parity, two stop bits, handshakes, 1200 baud.
void SetTtyCooked(int Fd);

// Reads from the master end what arrives within Timeout, stopping once
// Count bytes are in, while running the port's hand-overs as a window thread
// would.
std::vector<uint8_t> ReceiveRunning(TPtyPair& Pty, TTestSynchronizer& Sync, size_t Count, TMs Timeout = WaitBound);

// CPU time (user + system) of the whole process.
TMs ProcessCpuTime();
// The nice values of the process's threads.
std::vector<int> ThreadNiceValues();
// The ids of the process's threads.
std::vector<int> ThreadIds();
// How often a thread of this process has given up the processor (blocked
// or been preempted) since it started; -1 when it has ended.
long ThreadSwitches(int Tid);
// Waits until every thread of Tids sleeps in a wait that lasts: its state
// is sleeping and it has not been switched for a while.
bool WaitAsleep(const std::vector<int>& Tids, TMs Timeout = WaitBound);

// The message of the EVaCommError that Call raises, or "(no exception)".
template <typename F>
std::string CommErrorOf(F&& Call) {
  try {
    Call();
  } catch (const EVaCommError& E) {
    return E.what();
  }
  return "(no exception)";
}

inline TMs Since(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration_cast<TMs>(std::chrono::steady_clock::now() - Start);
}

// A TVaComm set up as the tester window stores it, on a pseudo-terminal,
// with the test's hand-over and a recording exception report.
struct TPort {
  explicit TPort(const std::string& Path);
  std::shared_ptr<TTestSynchronizer> Sync = std::make_shared<TTestSynchronizer>();
  std::vector<std::string> Reports;
  TVaComm Comm;
};

// Waits until every worker thread of every port has ended, running hand-overs
// meanwhile; true when they have.
bool WorkersEnd(TTestSynchronizer& Sync, TMs Timeout = WaitBound);
// The same for workers that may be waiting on either of two hand-overs.
bool WorkersEnd(TTestSynchronizer& A, TTestSynchronizer& B, TMs Timeout = WaitBound);
