// Reads a terminal's settings with termios2, which clashes with <termios.h>
// and so lives in a file of its own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "test_support.h"

TTtySettings ReadTtySettings(int Fd) {
  struct termios2 T = {};
  if (ioctl(Fd, TCGETS2, &T) != 0) throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
  TTtySettings S;
  S.ISpeed = T.c_ispeed;
  S.OSpeed = T.c_ospeed;
  S.CFlag = T.c_cflag;
  S.IFlag = T.c_iflag;
  S.OFlag = T.c_oflag;
  S.LFlag = T.c_lflag;
  S.VStart = T.c_cc[VSTART];
  S.VStop = T.c_cc[VSTOP];
  S.Parenb = T.c_cflag & PARENB;
  S.Parodd = T.c_cflag & PARODD;
  S.Cstopb = T.c_cflag & CSTOPB;
  S.Crtscts = T.c_cflag & CRTSCTS;
  S.Ixon = T.c_iflag & IXON;
  S.Ixoff = T.c_iflag & IXOFF;
  S.Ignbrk = T.c_iflag & IGNBRK;
  S.Icanon = T.c_lflag & ICANON;
  S.Echo = T.c_lflag & ECHO;
  switch (T.c_cflag & CSIZE) {
    case CS5: S.CharSize = 5; break;
    case CS6: S.CharSize = 6; break;
    case CS7: S.CharSize = 7; break;
    default: S.CharSize = 8; break;
  }
  return S;
}

void SetTtySpeed(int Fd, unsigned Speed) {
  struct termios2 T = {};
  if (ioctl(Fd, TCGETS2, &T) != 0) throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
  T.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  T.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  T.c_ispeed = T.c_ospeed = Speed;
  if (ioctl(Fd, TCSETS2, &T) != 0) throw std::runtime_error(std::string("TCSETS2: ") + std::strerror(errno));
}

void SetTtyCooked(int Fd) {
  struct termios2 T = {};
  if (ioctl(Fd, TCGETS2, &T) != 0) throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
  T.c_iflag = ICRNL | IXON | IXOFF | INPCK;
  T.c_oflag = OPOST | ONLCR;
  T.c_lflag = ICANON | ECHO | ECHOE | ISIG;
  T.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS | CREAD | BOTHER | (BOTHER << IBSHIFT);
  T.c_ispeed = T.c_ospeed = 1200;
  T.c_cc[VSTART] = 0x01;
  T.c_cc[VSTOP] = 0x02;
  if (ioctl(Fd, TCSETS2, &T) != 0) throw std::runtime_error(std::string("TCSETS2: ") + std::strerror(errno));
}
