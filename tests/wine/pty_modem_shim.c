/* Loaded into a Wine process with LD_PRELOAD so that a COM port that Wine
 * maps to a pseudo-terminal behaves like a serial driver towards
 * WaitCommEvent.
 *
 * Wine's WaitCommEvent reads the modem lines (TIOCMGET) and the interrupt
 * counters (TIOCGICOUNT) before it starts waiting. A pseudo-terminal refuses
 * both, so the wait fails at once and the caller's event thread has to pause
 * and retry, which puts about 150 ms into every round trip. Here the two
 * requests are answered as a serial driver with no modem lines and no line
 * events would answer them: lines 0, every counter 0. Every other request,
 * and these two on a device that does answer them, goes to the real ioctl
 * unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>

typedef int (*ioctl_function)(int, unsigned long, ...);

static ioctl_function real_ioctl(void) {
  static ioctl_function real;
  if (!real) real = (ioctl_function)dlsym(RTLD_NEXT, "ioctl");
  return real;
}

/* A terminal of any kind: TCGETS answers. */
static int is_terminal(int fd) {
  struct termios t;
  return real_ioctl()(fd, TCGETS, &t) == 0;
}

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);

  ioctl_function real = real_ioctl();
  if (!real) {
    errno = ENOSYS;
    return -1;
  }
  int result = real(fd, request, arg);
  if (result == 0 || (request != TIOCMGET && request != TIOCGICOUNT)) return result;
  int saved = errno;
  if ((saved != ENOTTY && saved != EINVAL) || !arg || !is_terminal(fd)) {
    errno = saved;
    return result;
  }
  if (request == TIOCMGET) *(int*)arg = 0;
  else memset(arg, 0, sizeof(struct serial_icounter_struct));
  errno = saved; /* success leaves errno as it was before the call */
  return 0;
}
