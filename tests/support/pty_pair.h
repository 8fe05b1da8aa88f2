// A pseudo-terminal pair on which a test or benchmark plays the trip
// computer: the test holds the master end, the program under test opens the
// slave by its path, as it would open a serial adapter.
//
// Both ends are opened close-on-exec, so that no child process (Wine's
// server, a check script) keeps the line up. The slave is set raw at the
// K-line settings before anything else can use it: 10400 baud, 8 data bits,
// no parity, one stop bit, no echo, no line editing, no translation of any
// byte, so that bytes sent before the program sets the line up arrive
// unchanged and are not echoed back. The master end is non-blocking.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class TPtyPair {
public:
  // Raises std::runtime_error when the system has no pseudo-terminal to give.
  TPtyPair();
  ~TPtyPair();
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }
  int Master() const { return FMaster; }
  // The slave descriptor opened with the pair, kept to look at the line from
  // the program's side (its input queue, its settings); -1 once closed.
  int Slave() const { return FSlave; }
  // Closing both ends is pulling the adapter out: the system hangs the
  // slave up and removes its path.
  void CloseMaster();
  void CloseSlave();

  // Writes all the bytes to the master end, waiting for room as needed.
  void Send(const std::vector<uint8_t>& Bytes);
  void Send(const std::string& Bytes);
  // Bytes waiting in the slave's input queue (what the program has not read
  // yet); -1 when that cannot be told.
  int InputWaiting() const;
  // Waits until the slave's input queue holds at least Count bytes (the
  // terminal layer passes bytes on a moment after the write); false when
  // Timeout passed first.
  bool WaitInput(int Count, std::chrono::milliseconds Timeout);
  // Reads from the master end what arrives within Timeout, stopping as soon
  // as Count bytes are in; never more than Count.
  std::vector<uint8_t> Receive(size_t Count, std::chrono::milliseconds Timeout);

private:
  int FMaster = -1, FSlave = -1;
  std::string FSlavePath;
};
