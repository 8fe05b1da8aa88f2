// Linux terminal settings that need the kernel's termios2 (any baud rate
// through BOTHER), kept apart because its header clashes with <termios.h>.
#pragma once

#include "vacomm.h"

namespace vacomm_detail {

// Counts of line errors since the driver started (TIOCGICOUNT).
struct TVaLineCounters {
  int Frame = 0, Overrun = 0, Parity = 0, Brk = 0, BufOverrun = 0;
};

// Writes the settings record to the terminal: raw 8-bit mode, the rate in
// BaudRate through BOTHER, character format, handshakes, and the DTR and RTS
// lines. Returns 0 or the errno of the failed call; a setting that Linux has
// no way to express (4 data bits, 1.5 stop bits with more than 5 data bits,
// rate 0) gives EINVAL.
int VaTtyApplyDCB(int Fd, const TVaDCB& Dcb);
// Asks the driver to pass received bytes on at once (ASYNC_LOW_LATENCY);
// a driver that refuses (a pseudo-terminal) is left as it is.
void VaTtyRequestLowLatency(int Fd);
// False when the driver keeps no counters (a pseudo-terminal).
bool VaTtyReadCounters(int Fd, TVaLineCounters& Counters);

}  // namespace vacomm_detail
