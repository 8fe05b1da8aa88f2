// Linux terminal settings that need the kernel's termios2 (any baud rate
// through BOTHER), kept apart because its header clashes with <termios.h>,
// and the driver's line error counters.
#pragma once

#include "vadcb.h"

struct termios2;  // <asm/termbits.h>

namespace vacomm_detail {

// --- the record

// The modem lines that a record holds on or off.
struct TVaModemLines {
  bool Dtr = false, Rts = false;
};

// The Linux record of a settings record, built anew: raw 8-bit mode (no
// input or output processing, no echo, reads return what is there), the
// rate in BaudRate through BOTHER for both directions, the character format,
// parity checking, the handshakes, the Xon and Xoff characters, IGNBRK (a
// break, the fast-init wake-up pattern, puts nothing into the queue); and
// the DTR and RTS lines: on when enabled or used for a handshake, off when
// disabled (and RTS idles off in toggle mode). Returns 0, or EINVAL for a
// record that Linux has no way to express (rate 0, 4 data bits, 1.5 stop
// bits with more than 5 data bits, an unknown parity or stop bits value).
int VaTtyRecord(const TVaDCB& Dcb, struct termios2& T, TVaModemLines& Lines);

// Writes the record of Dcb to the terminal and sets its modem lines (a
// driver without modem lines is fine). Returns 0 or the errno of the
// failed step.
int VaTtyApplyDCB(int Fd, const TVaDCB& Dcb);
// Asks the driver to pass received bytes on at once (ASYNC_LOW_LATENCY);
// a driver that refuses (a pseudo-terminal) is left as it is.
void VaTtyRequestLowLatency(int Fd);

// --- line errors

// Counts of line errors since the driver started.
struct TVaLineCounters {
  int Frame = 0, Overrun = 0, Parity = 0, Brk = 0, BufOverrun = 0;
};

// Reads the counters of a terminal; false when it keeps none.
using TVaLineCounterSource = bool (*)(int Fd, TVaLineCounters& Counters);
// The driver's counters (TIOCGICOUNT); a pseudo-terminal keeps none.
bool VaTtyReadCounters(int Fd, TVaLineCounters& Counters);

// Where the port reads the counters from: the driver unless a test has set
// a source of its own, so that line errors can be played on a
// pseudo-terminal. Set it before the port is opened (a port that finds no
// counters at Open never looks again) and give the driver's back once the
// port is closed; nullptr gives the driver's.
void VaSetLineCounterSource(TVaLineCounterSource Source);
bool VaReadLineCounters(int Fd, TVaLineCounters& Counters);

}  // namespace vacomm_detail
