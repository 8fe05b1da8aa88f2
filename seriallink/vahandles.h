// The handle, event and lock wrappers of the serial port component, for its
// own use: the port, its worker threads and the platform halves. One
// implementation per platform (platform_posix.cpp, platform_win32.cpp).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>

namespace vacomm_detail {

enum TVaWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };
constexpr int VA_INFINITE = -1;

// Owns one platform handle (a file descriptor on Linux), closed on destruction.
class TVaHandleObject {
public:
  TVaHandleObject(const TVaHandleObject&) = delete;
  TVaHandleObject& operator=(const TVaHandleObject&) = delete;
  virtual ~TVaHandleObject();
  intptr_t Handle() const { return FHandle; }
  int Error() const { return FError; }
  // Waits up to Milliseconds (VA_INFINITE: no limit) for the handle.
  TVaWaitResult WaitFor(int Milliseconds);

protected:
  TVaHandleObject() = default;
  intptr_t FHandle = -1;
  int FError = 0;
};

class TVaEvent : public TVaHandleObject {
public:
  void Signal();
  void Reset();
  bool IsSignaled();

protected:
  TVaEvent() = default;
};

// A manual-reset event, created not signalled.
class TVaWaitEvent : public TVaEvent {
public:
  TVaWaitEvent();
};

// Waits until one of Events is signalled; returns the index of the first
// signalled event of the list, -1 on time-out, -2 when the wait failed.
int VaWaitForAny(std::initializer_list<TVaEvent*> Events, int Milliseconds);

// A recursive lock, like a Windows critical section.
class TVaCriticalSection {
public:
  void Enter() { FLock.lock(); }
  void Leave() { FLock.unlock(); }
  void lock() { Enter(); }
  void unlock() { Leave(); }

private:
  std::recursive_mutex FLock;
};

}  // namespace vacomm_detail
