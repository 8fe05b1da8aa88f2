// The pair is opened through posix_openpt rather than openpty: <pty.h>
// brings <termios.h>, which clashes with the kernel's termios2 that sets the
// rate of 10400 baud (no Bxxx constant names it).
#include "pty_pair.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

[[noreturn]] void Fail(const char* What, int Error) {
  throw std::runtime_error(std::string("pseudo-terminal: ") + What + ": " + std::strerror(Error));
}

// Raw at 10400 baud 8N1: no input or output processing, no echo, no
// signals, reads return what is there.
void SetKLineMode(int Fd) {
  struct termios2 T = {};
  if (ioctl(Fd, TCGETS2, &T) != 0) Fail("TCGETS2", errno);
  T.c_iflag = 0;
  T.c_oflag = 0;
  T.c_lflag = 0;
  T.c_cflag = CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  T.c_ispeed = T.c_ospeed = 10400;
  T.c_cc[VMIN] = 1;
  T.c_cc[VTIME] = 0;
  if (ioctl(Fd, TCSETS2, &T) != 0) Fail("TCSETS2", errno);
}

}  // namespace

TPtyPair::TPtyPair() {
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (FMaster < 0) Fail("posix_openpt", errno);
  char Name[128];
  if (grantpt(FMaster) != 0 || unlockpt(FMaster) != 0 || ptsname_r(FMaster, Name, sizeof Name) != 0) {
    const int Error = errno;
    close(FMaster);
    Fail("unlocking the slave", Error);
  }
  FSlavePath = Name;
  FSlave = open(Name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FSlave < 0) {
    const int Error = errno;
    close(FMaster);
    Fail(Name, Error);
  }
  try {
    SetKLineMode(FSlave);
  } catch (...) {
    close(FSlave);
    close(FMaster);
    throw;
  }
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
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      struct pollfd P = {FMaster, POLLOUT, 0};
      poll(&P, 1, 100);
    } else {
      Fail("write", errno);
    }
  }
}

void TPtyPair::Send(const std::string& Bytes) { Send(std::vector<uint8_t>(Bytes.begin(), Bytes.end())); }

int TPtyPair::InputWaiting() const {
  int Waiting = 0;
  return FSlave >= 0 && ioctl(FSlave, FIONREAD, &Waiting) == 0 ? Waiting : -1;
}

bool TPtyPair::WaitInput(int Count, std::chrono::milliseconds Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (InputWaiting() < Count) {
    if (std::chrono::steady_clock::now() >= Deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<uint8_t> TPtyPair::Receive(size_t Count, std::chrono::milliseconds Timeout) {
  std::vector<uint8_t> Result;
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (Result.size() < Count) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) break;
    struct pollfd P = {FMaster, POLLIN, 0};
    const int Ready = poll(&P, 1, int(Left.count()));
    if (Ready < 0 && errno == EINTR) continue;
    if (Ready <= 0) break;
    uint8_t Buffer[4096];
    const size_t Want = std::min(sizeof Buffer, Count - Result.size());
    const ssize_t n = read(FMaster, Buffer, Want);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    Result.insert(Result.end(), Buffer, Buffer + n);
  }
  return Result;
}
