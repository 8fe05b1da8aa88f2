#include "tty_linux.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>

namespace vacomm_detail {

namespace {

std::atomic<TVaLineCounterSource> GCounterSource{nullptr};

// The character format of the record, or EINVAL.
int FormatFlags(const TVaDCB& Dcb, tcflag_t& Flags) {
  switch (Dcb.ByteSize) {
    case 5: Flags |= CS5; break;
    case 6: Flags |= CS6; break;
    case 7: Flags |= CS7; break;
    case 8: Flags |= CS8; break;
    default: return EINVAL;
  }
  switch (Dcb.Parity) {
    case 0: break;
    case 1: Flags |= PARENB | PARODD; break;
    case 2: Flags |= PARENB; break;
    case 3: Flags |= PARENB | CMSPAR | PARODD; break;
    case 4: Flags |= PARENB | CMSPAR; break;
    default: return EINVAL;
  }
  switch (Dcb.StopBits) {
    case 0: break;
    case 1:  // 1.5 stop bits: what a UART sends for CSTOPB with 5 data bits
      if (Dcb.ByteSize != 5) return EINVAL;
      Flags |= CSTOPB;
      break;
    case 2: Flags |= CSTOPB; break;
    default: return EINVAL;
  }
  return 0;
}

// Sets or clears one modem line; a driver without modem lines is fine.
int SetModemLine(int Fd, int Line, bool On) {
  if (ioctl(Fd, On ? TIOCMBIS : TIOCMBIC, &Line) == 0) return 0;
  return errno == ENOTTY || errno == EINVAL ? 0 : errno;
}

}  // namespace

int VaTtyRecord(const TVaDCB& Dcb, struct termios2& T, TVaModemLines& Lines) {
  T = termios2{};
  Lines = TVaModemLines{};
  if (Dcb.BaudRate == 0) return EINVAL;
  T.c_cflag = CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  if (const int Error = FormatFlags(Dcb, T.c_cflag)) return Error;
  if (Dcb.fOutxCtsFlow || Dcb.fRtsControl == 2) T.c_cflag |= CRTSCTS;
  T.c_ispeed = T.c_ospeed = Dcb.BaudRate;
  T.c_iflag = IGNBRK;
  if (Dcb.fParity) T.c_iflag |= INPCK;
  if (Dcb.fOutX) T.c_iflag |= IXON;
  if (Dcb.fInX) T.c_iflag |= IXOFF;
  T.c_oflag = 0;
  T.c_lflag = 0;
  T.c_cc[VSTART] = cc_t(Dcb.XonChar);
  T.c_cc[VSTOP] = cc_t(Dcb.XoffChar);
  T.c_cc[VMIN] = 0;
  T.c_cc[VTIME] = 0;
  Lines.Dtr = Dcb.fDtrControl != 0;
  Lines.Rts = Dcb.fRtsControl == 1 || Dcb.fRtsControl == 2;
  return 0;
}

int VaTtyApplyDCB(int Fd, const TVaDCB& Dcb) {
  struct termios2 T;
  TVaModemLines Lines;
  if (const int Error = VaTtyRecord(Dcb, T, Lines)) return Error;
  if (ioctl(Fd, TCSETS2, &T) != 0) return errno;
  if (const int Error = SetModemLine(Fd, TIOCM_DTR, Lines.Dtr)) return Error;
  return SetModemLine(Fd, TIOCM_RTS, Lines.Rts);
}

void VaTtyRequestLowLatency(int Fd) {
  struct serial_struct S = {};
  if (ioctl(Fd, TIOCGSERIAL, &S) != 0) return;
  S.flags |= ASYNC_LOW_LATENCY;
  (void)ioctl(Fd, TIOCSSERIAL, &S);
}

bool VaTtyReadCounters(int Fd, TVaLineCounters& Counters) {
  struct serial_icounter_struct C = {};
  if (ioctl(Fd, TIOCGICOUNT, &C) != 0) return false;
  Counters.Frame = C.frame;
  Counters.Overrun = C.overrun;
  Counters.Parity = C.parity;
  Counters.Brk = C.brk;
  Counters.BufOverrun = C.buf_overrun;
  return true;
}

void VaSetLineCounterSource(TVaLineCounterSource Source) { GCounterSource.store(Source, std::memory_order_release); }

bool VaReadLineCounters(int Fd, TVaLineCounters& Counters) {
  const TVaLineCounterSource Source = GCounterSource.load(std::memory_order_acquire);
  return Source ? Source(Fd, Counters) : VaTtyReadCounters(Fd, Counters);
}

}  // namespace vacomm_detail
