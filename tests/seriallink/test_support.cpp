#include "test_support.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

using namespace vacomm_detail;

// --- TTestSynchronizer

void TTestSynchronizer::Synchronize(const std::function<void()>& Call) {
  TItem Item{&Call};
  std::unique_lock<std::mutex> Lock(FLock);
  if (FShutdown) {
    ++FRefused;
    FChanged.notify_all();
    return;
  }
  FQueue.push_back(&Item);
  FChanged.notify_all();
  FChanged.wait(Lock, [&] { return Item.Done; });
}

bool TTestSynchronizer::RunUntil(const std::function<bool()>& Done, TMs Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  for (;;) {
    if (Done()) return true;
    TItem* Item = nullptr;
    {
      std::unique_lock<std::mutex> Lock(FLock);
      const auto Now = std::chrono::steady_clock::now();
      if (Now >= Deadline) {
        Lock.unlock();  // Done may look at this synchronizer
        return Done();
      }
      // Wake now and then to look at Done() again.
      FChanged.wait_until(Lock, std::min(Deadline, Now + 5ms), [&] { return !FQueue.empty(); });
      if (!FQueue.empty()) {
        Item = FQueue.front();
        FQueue.pop_front();
      }
    }
    if (Item) {
      (*Item->Call)();
      std::lock_guard<std::mutex> Lock(FLock);
      ++FRuns;
      Item->Done = true;
      FChanged.notify_all();
    }
  }
}

void TTestSynchronizer::RunFor(TMs Duration) {
  RunUntil([] { return false; }, Duration);
}

bool TTestSynchronizer::WaitPending(TMs Timeout) {
  std::unique_lock<std::mutex> Lock(FLock);
  return FChanged.wait_for(Lock, Timeout, [&] { return !FQueue.empty(); });
}

int TTestSynchronizer::Pending() {
  std::lock_guard<std::mutex> Lock(FLock);
  return int(FQueue.size());
}

void TTestSynchronizer::Shutdown() {
  std::lock_guard<std::mutex> Lock(FLock);
  FShutdown = true;
  for (TItem* Item : FQueue) {
    Item->Done = true;
    ++FRefused;
  }
  FQueue.clear();
  FChanged.notify_all();
}

int TTestSynchronizer::Runs() {
  std::lock_guard<std::mutex> Lock(FLock);
  return FRuns;
}

bool TTestSynchronizer::WaitRefused(int Count, TMs Timeout) {
  std::unique_lock<std::mutex> Lock(FLock);
  return FChanged.wait_for(Lock, Timeout, [&] { return FRefused >= Count; });
}

// --- TTestClock

TTestClock::TTestClock(uint32_t Start) : FNow(Start) { VaSetClock(this); }

TTestClock::~TTestClock() { VaSetClock(nullptr); }

uint32_t TTestClock::TickCount() {
  std::lock_guard<std::mutex> Lock(FLock);
  const uint32_t Result = FNow;
  FNow += FStep + FJump;
  FJump = 0;
  ++FReads;
  FRead.notify_all();
  return Result;
}

void TTestClock::Sleep(int Milliseconds) {
  std::lock_guard<std::mutex> Lock(FLock);
  FNow += uint32_t(Milliseconds);
  FSlept += Milliseconds;
}

uint32_t TTestClock::Now() {
  std::lock_guard<std::mutex> Lock(FLock);
  return FNow;
}

void TTestClock::Set(uint32_t Now) {
  std::lock_guard<std::mutex> Lock(FLock);
  FNow = Now;
}

void TTestClock::Advance(uint32_t Milliseconds) {
  std::lock_guard<std::mutex> Lock(FLock);
  FNow += Milliseconds;
}

void TTestClock::SetStep(uint32_t Milliseconds) {
  std::lock_guard<std::mutex> Lock(FLock);
  FStep = Milliseconds;
}

void TTestClock::JumpAfterNextReading(uint32_t Milliseconds) {
  std::lock_guard<std::mutex> Lock(FLock);
  FJump = Milliseconds;
}

int TTestClock::Reads() {
  std::lock_guard<std::mutex> Lock(FLock);
  return FReads;
}

bool TTestClock::WaitReads(int Count, TMs Timeout) {
  std::unique_lock<std::mutex> Lock(FLock);
  return FRead.wait_for(Lock, Timeout, [&] { return FReads >= Count; });
}

int64_t TTestClock::Slept() {
  std::lock_guard<std::mutex> Lock(FLock);
  return FSlept;
}

// --- TWhileWaiting

TWhileWaiting::TWhileWaiting(TTestClock& Clock, int Reads, std::function<void()> Act)
    : FClock(Clock), FAct(std::move(Act)) {
  FThread = std::thread([this, Target = Clock.Reads() + Reads] { Run(Target); });
}

TWhileWaiting::~TWhileWaiting() {
  Returned();
  FThread.join();
}

void TWhileWaiting::Run(int Reads) {
  // The call's readings, polled: the clock's own signal serves its readers.
  const auto Deadline = std::chrono::steady_clock::now() + WaitBound;
  {
    std::unique_lock<std::mutex> Lock(FLock);
    while (!FReturned && FClock.Reads() < Reads && std::chrono::steady_clock::now() < Deadline)
      FChanged.wait_for(Lock, 1ms);
    if (FReturned) return;
    FActedWhileWaiting = FClock.Reads() >= Reads;
  }
  if (FAct) FAct();
  std::unique_lock<std::mutex> Lock(FLock);
  if (FChanged.wait_for(Lock, WaitBound, [&] { return FReturned; })) return;
  FStuck = true;
  Lock.unlock();
  FClock.Advance(3600 * 1000);
}

void TWhileWaiting::Returned() {
  std::lock_guard<std::mutex> Lock(FLock);
  FReturned = true;
  FChanged.notify_all();
}

bool TWhileWaiting::ActedWhileWaiting() {
  std::lock_guard<std::mutex> Lock(FLock);
  return FActedWhileWaiting;
}

bool TWhileWaiting::Stuck() {
  std::lock_guard<std::mutex> Lock(FLock);
  return FStuck;
}

// --- TTestLineCounters

namespace {
std::mutex GCountersLock;
TVaLineCounters GCounters;

bool ReadTestCounters(int, TVaLineCounters& Counters) {
  std::lock_guard<std::mutex> Lock(GCountersLock);
  Counters = GCounters;
  return true;
}
}  // namespace

TTestLineCounters::TTestLineCounters() {
  {
    std::lock_guard<std::mutex> Lock(GCountersLock);
    GCounters = TVaLineCounters{};
  }
  VaSetLineCounterSource(ReadTestCounters);
}

TTestLineCounters::~TTestLineCounters() { VaSetLineCounterSource(nullptr); }

void TTestLineCounters::Add(const TVaLineCounters& More) {
  std::lock_guard<std::mutex> Lock(GCountersLock);
  GCounters.Frame += More.Frame;
  GCounters.Overrun += More.Overrun;
  GCounters.Parity += More.Parity;
  GCounters.Brk += More.Brk;
  GCounters.BufOverrun += More.BufOverrun;
}

// --- the line

std::vector<uint8_t> ReceiveRunning(TPtyPair& Pty, TTestSynchronizer& Sync, size_t Count, TMs Timeout) {
  std::vector<uint8_t> Result;
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (Result.size() < Count && std::chrono::steady_clock::now() < Deadline) {
    const auto Part = Pty.Receive(Count - Result.size(), 2ms);
    Result.insert(Result.end(), Part.begin(), Part.end());
    Sync.RunFor(1ms);
  }
  return Result;
}

// --- the process's threads

TMs ProcessCpuTime() {
  struct rusage U;
  getrusage(RUSAGE_SELF, &U);
  const long long Us = (U.ru_utime.tv_sec + U.ru_stime.tv_sec) * 1000000LL + U.ru_utime.tv_usec + U.ru_stime.tv_usec;
  return TMs(Us / 1000);
}

std::vector<int> ThreadIds() {
  std::vector<int> Result;
  DIR* Dir = opendir("/proc/self/task");
  if (!Dir) return Result;
  while (struct dirent* E = readdir(Dir))
    if (E->d_name[0] != '.') Result.push_back(std::atoi(E->d_name));
  closedir(Dir);
  return Result;
}

namespace {
// The fields of /proc/self/task/<Tid>/stat after the command name (which is
// in parentheses and may hold blanks): field 3, the state, first.
std::vector<std::string> StatFields(int Tid) {
  std::ifstream Stat("/proc/self/task/" + std::to_string(Tid) + "/stat");
  std::string Line;
  std::getline(Stat, Line);
  std::vector<std::string> Fields;
  const size_t Close = Line.rfind(')');
  if (Close == std::string::npos) return Fields;
  std::istringstream Rest(Line.substr(Close + 2));
  std::string Field;
  while (Rest >> Field) Fields.push_back(Field);
  return Fields;
}
}  // namespace

std::vector<int> ThreadNiceValues() {
  std::vector<int> Result;
  for (int Tid : ThreadIds()) {
    const auto Fields = StatFields(Tid);
    if (Fields.size() > 16) Result.push_back(std::stoi(Fields[16]));  // field 19
  }
  return Result;
}

long ThreadSwitches(int Tid) {
  std::ifstream Status("/proc/self/task/" + std::to_string(Tid) + "/status");
  if (!Status) return -1;
  long Total = 0;
  int Found = 0;
  std::string Line;
  while (std::getline(Status, Line)) {
    if (Line.rfind("voluntary_ctxt_switches:", 0) == 0 || Line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
      Total += std::stol(Line.substr(Line.find(':') + 1));
      ++Found;
    }
  }
  return Found == 2 ? Total : -1;
}

bool WaitAsleep(const std::vector<int>& Tids, TMs Timeout) {
  if (Tids.empty()) return true;
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  const auto Snapshot = [&] {
    std::vector<long> Switches;
    for (int Tid : Tids) {
      const auto Fields = StatFields(Tid);
      if (Fields.empty() || Fields[0] != "S") return std::vector<long>();
      Switches.push_back(ThreadSwitches(Tid));
    }
    return Switches;
  };
  std::vector<long> Before = Snapshot();
  while (std::chrono::steady_clock::now() < Deadline) {
    std::this_thread::sleep_for(20ms);
    const std::vector<long> Now = Snapshot();
    if (!Now.empty() && Now == Before) return true;
    Before = Now;
  }
  return false;
}

// --- TPort

TPort::TPort(const std::string& Path) {
  VaSetUpKLinePort(Comm);
  Comm.SetDeviceName(Path);
  Comm.SetSynchronizer(Sync);
  Comm.SetExceptionReport([this](const std::exception& E) { Reports.push_back(E.what()); });
}

bool WorkersEnd(TTestSynchronizer& Sync, TMs Timeout) {
  return Sync.RunUntil([] { return TVaCustomComm::RunningWorkers() == 0; }, Timeout);
}

bool WorkersEnd(TTestSynchronizer& A, TTestSynchronizer& B, TMs Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (TVaCustomComm::RunningWorkers() != 0) {
    if (std::chrono::steady_clock::now() >= Deadline) return false;
    A.RunFor(1ms);
    B.RunFor(1ms);
  }
  return true;
}
