#pragma once
// Two pseudo-terminals joined back to back, as a null-modem cable joins two
// serial ports: what a program writes to one end's device is read from the
// other end's. Each end is the slave of a pair of its own; a thread copies
// the bytes between the two masters as they come. The ends are kept open
// here too, so that either program may close and open its end again without
// the other seeing a hang-up. POSIX only; no Qt.

#include <string>
#include <thread>

class TPtyLink {
public:
  // Raises std::runtime_error when the system gives no pseudo-terminal.
  TPtyLink();
  ~TPtyLink();
  TPtyLink(const TPtyLink&) = delete;
  TPtyLink& operator=(const TPtyLink&) = delete;

  // The device paths of the two ends.
  const std::string& Path(int End) const { return FPath[End]; }

private:
  void Copy();

  int FMaster[2] = {-1, -1};
  int FSlave[2] = {-1, -1};
  std::string FPath[2];
  int FStop[2] = {-1, -1};  // a pipe that wakes the copying thread to end
  std::thread FThread;
};
