#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

// --- TTestSynchronizer

void TTestSynchronizer::Synchronize(const std::function<void()>& Call) {
  TItem Item{&Call};
  std::unique_lock<std::mutex> Lock(FLock);
  if (FShutdown) return;
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
      if (Now >= Deadline) return Done();
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
  for (TItem* Item : FQueue) Item->Done = true;
  FQueue.clear();
  FChanged.notify_all();
}

// --- TPtyPair

TPtyPair::TPtyPair() {
  char Name[128];
  if (openpty(&FMaster, &FSlave, Name, nullptr, nullptr) != 0)
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  FSlavePath = Name;
  fcntl(FMaster, F_SETFL, fcntl(FMaster, F_GETFL) | O_NONBLOCK);
}

TPtyPair::~TPtyPair() {
  CloseMaster();
  CloseSlave();
}

void TPtyPair::CloseMaster() {
  if (FMaster >= 0) close(FMaster);
  FMaster = -1;
}

void TPtyPair::CloseSlave() {
  if (FSlave >= 0) close(FSlave);
  FSlave = -1;
}

void TPtyPair::Send(const std::vector<uint8_t>& Bytes) {
  size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t n = write(FMaster, Bytes.data() + Done, Bytes.size() - Done);
    if (n > 0) {
      Done += size_t(n);
    } else if (n < 0 && errno == EAGAIN) {
      struct pollfd P = {FMaster, POLLOUT, 0};
      poll(&P, 1, 100);
    } else {
      throw std::runtime_error(std::string("pty write: ") + std::strerror(errno));
    }
  }
}

bool TPtyPair::WaitInput(int Count, TMs Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  for (;;) {
    int Waiting = 0;
    if (ioctl(FSlave, FIONREAD, &Waiting) == 0 && Waiting >= Count) return true;
    if (std::chrono::steady_clock::now() >= Deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
}

std::vector<uint8_t> ReceiveRunning(TPtyPair& Pty, TTestSynchronizer& Sync, size_t Count,
                                    TMs Timeout) {
  std::vector<uint8_t> Result;
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (Result.size() < Count && std::chrono::steady_clock::now() < Deadline) {
    const auto Part = Pty.Receive(Count - Result.size(), 2ms);
    Result.insert(Result.end(), Part.begin(), Part.end());
    Sync.RunFor(1ms);
  }
  return Result;
}

void TPtyPair::Send(const std::string& Bytes) {
  Send(std::vector<uint8_t>(Bytes.begin(), Bytes.end()));
}

std::vector<uint8_t> TPtyPair::Receive(size_t Count, TMs Timeout) {
  std::vector<uint8_t> Result;
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (Result.size() < Count) {
    const auto Left = std::chrono::duration_cast<TMs>(Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) break;
    struct pollfd P = {FMaster, POLLIN, 0};
    if (poll(&P, 1, int(Left.count())) <= 0) break;
    uint8_t Buffer[4096];
    const ssize_t n = read(FMaster, Buffer, sizeof Buffer);
    if (n <= 0) break;
    Result.insert(Result.end(), Buffer, Buffer + n);
  }
  return Result;
}

// --- process measurements

TMs ProcessCpuTime() {
  struct rusage U;
  getrusage(RUSAGE_SELF, &U);
  const long long Us = (U.ru_utime.tv_sec + U.ru_stime.tv_sec) * 1000000LL + U.ru_utime.tv_usec +
                       U.ru_stime.tv_usec;
  return TMs(Us / 1000);
}

std::vector<int> ThreadNiceValues() {
  std::vector<int> Result;
  DIR* Dir = opendir("/proc/self/task");
  if (!Dir) return Result;
  while (struct dirent* E = readdir(Dir)) {
    if (E->d_name[0] == '.') continue;
    std::ifstream Stat(std::string("/proc/self/task/") + E->d_name + "/stat");
    std::string Line;
    std::getline(Stat, Line);
    // Fields after the command name (which is in parentheses): the nice
    // value is field 19 of the line, the 17th after the name.
    const size_t Close = Line.rfind(')');
    if (Close == std::string::npos) continue;
    std::istringstream Rest(Line.substr(Close + 2));
    std::string Field;
    for (int i = 3; i <= 19 && (Rest >> Field); ++i)
      if (i == 19) Result.push_back(std::stoi(Field));
  }
  closedir(Dir);
  return Result;
}

// --- TPort

TPort::TPort(const std::string& Path) {
  Comm.SetBaudrate(brUser);
  Comm.SetUserBaudrate(10400);
  Comm.SetDeviceName(Path);
  Comm.Buffers().SetReadTimeout(500);
  Comm.Buffers().SetWriteTimeout(5000);
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
