// Test fixtures for the serial port component: a pseudo-terminal pair whose
// master end plays the trip computer, and a hand-over that runs the workers'
// calls on the test's own thread, which so plays the window thread.
#pragma once

#include "vacomm.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using TMs = std::chrono::milliseconds;

// Runs queued calls only when the test asks for it.
class TTestSynchronizer : public TVaSynchronizer {
public:
  void Synchronize(const std::function<void()>& Call) override;
  // Runs queued calls on this thread until Done() holds or Timeout has
  // passed; returns Done().
  bool RunUntil(const std::function<bool()>& Done, TMs Timeout);
  // Runs queued calls on this thread for Duration.
  void RunFor(TMs Duration);
  // Waits (without running anything) until a call is queued.
  bool WaitPending(TMs Timeout);
  int Pending();
  // Queued and later calls return to their worker without running.
  void Shutdown();

private:
  struct TItem {
    const std::function<void()>* Call;
    bool Done = false;
  };
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TItem*> FQueue;
  bool FShutdown = false;
};

// A pseudo-terminal pair. The master end stays with the test; the slave's
// path is what the component opens.
class TPtyPair {
public:
  TPtyPair();
  ~TPtyPair();
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }
  int Master() const { return FMaster; }
  // The slave descriptor that openpty returned, kept to read the settings
  // back (-1 once closed).
  int Slave() const { return FSlave; }
  void CloseMaster();
  void CloseSlave();

  void Send(const std::vector<uint8_t>& Bytes);
  void Send(const std::string& Bytes);
  // Waits until the slave's input queue holds at least Count bytes (the
  // terminal layer passes bytes on asynchronously).
  bool WaitInput(int Count, TMs Timeout = 1000ms);
  // Reads what arrives within Timeout, stopping early once Count bytes are in.
  std::vector<uint8_t> Receive(size_t Count, TMs Timeout);

private:
  int FMaster = -1, FSlave = -1;
  std::string FSlavePath;
};

// The settings of a terminal as the kernel holds them (termios2).
struct TTtySettings {
  unsigned ISpeed = 0, OSpeed = 0;
  unsigned CFlag = 0, IFlag = 0, OFlag = 0, LFlag = 0;
  unsigned char VStart = 0, VStop = 0;
  bool Parenb = false, Parodd = false, Cstopb = false, Crtscts = false, Ixon = false,
       Ixoff = false, Ignbrk = false, Icanon = false, Echo = false;
  int CharSize = 0;  // 5..8
};
TTtySettings ReadTtySettings(int Fd);
// Sets the rate of a terminal behind the component's back.
void SetTtySpeed(int Fd, unsigned Speed);

// Reads from the master end what arrives within Timeout, stopping once
// Count bytes are in, while running the port's hand-overs as a window thread
// would.
std::vector<uint8_t> ReceiveRunning(TPtyPair& Pty, TTestSynchronizer& Sync, size_t Count,
                                    TMs Timeout);

// CPU time (user + system) of the whole process.
TMs ProcessCpuTime();
// The nice values of the process's threads.
std::vector<int> ThreadNiceValues();

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
bool WorkersEnd(TTestSynchronizer& Sync, TMs Timeout = 2000ms);
// The same for workers that may be waiting on either of two hand-overs.
bool WorkersEnd(TTestSynchronizer& A, TTestSynchronizer& B, TMs Timeout = 2000ms);
