#include "pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

[[noreturn]] void Fail(const std::string& What, int Error) {
  throw std::runtime_error("pseudo-terminal link: " + What + ": " + std::strerror(Error));
}

// Writes all of Count bytes to a non-blocking descriptor, waiting for room;
// false when the descriptor fails.
bool WriteAll(int Fd, const unsigned char* Bytes, ssize_t Count) {
  while (Count > 0) {
    const ssize_t Done = write(Fd, Bytes, static_cast<size_t>(Count));
    if (Done > 0) {
      Bytes += Done;
      Count -= Done;
    } else if (Done < 0 && errno == EAGAIN) {
      pollfd P = {Fd, POLLOUT, 0};
      poll(&P, 1, 100);
    } else if (Done < 0 && errno != EINTR) {
      return false;
    }
  }
  return true;
}

}  // namespace

TPtyLink::TPtyLink() {
  try {
    for (int End = 0; End < 2; ++End) {
      FMaster[End] = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (FMaster[End] < 0) Fail("posix_openpt", errno);
      char Name[128];
      if (grantpt(FMaster[End]) != 0 || unlockpt(FMaster[End]) != 0 || ptsname_r(FMaster[End], Name, sizeof Name) != 0)
        Fail("unlocking the slave", errno);
      FPath[End] = Name;
      FSlave[End] = open(Name, O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (FSlave[End] < 0) Fail(Name, errno);
      // Raw from the start: bytes written before a program sets its end up
      // pass unchanged and are not echoed.
      termios T = {};
      if (tcgetattr(FSlave[End], &T) != 0) Fail("tcgetattr", errno);
      cfmakeraw(&T);
      if (tcsetattr(FSlave[End], TCSANOW, &T) != 0) Fail("tcsetattr", errno);
    }
    if (pipe2(FStop, O_CLOEXEC) != 0) Fail("pipe", errno);
  } catch (...) {
    for (int Fd : {FMaster[0], FMaster[1], FSlave[0], FSlave[1], FStop[0], FStop[1]})
      if (Fd >= 0) close(Fd);
    throw;
  }
  FThread = std::thread([this] { Copy(); });
}

TPtyLink::~TPtyLink() {
  (void)!write(FStop[1], "x", 1);
  FThread.join();
  for (int Fd : {FMaster[0], FMaster[1], FSlave[0], FSlave[1], FStop[0], FStop[1]}) close(Fd);
}

void TPtyLink::Copy() {
  for (;;) {
    pollfd P[3] = {{FMaster[0], POLLIN, 0}, {FMaster[1], POLLIN, 0}, {FStop[0], POLLIN, 0}};
    if (poll(P, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (P[2].revents != 0) return;
    for (int End = 0; End < 2; ++End) {
      // The ends stay open here, so a master never hangs up; an error on it
      // ends the link.
      if (P[End].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
      if (!(P[End].revents & POLLIN)) continue;
      unsigned char Buf[512];
      const ssize_t Got = read(FMaster[End], Buf, sizeof Buf);
      if (Got > 0 && !WriteAll(FMaster[1 - End], Buf, Got)) return;
    }
  }
}
