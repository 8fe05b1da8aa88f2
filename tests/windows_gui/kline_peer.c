/* The trip computer's side of the Windows GUI check: holds the master end
 * of a pseudo-terminal whose slave end Wine maps as a COM port, and, once
 * told that the tester has opened the port, sends KWP2000 requests and
 * checks the answers byte for byte.
 *
 *   kline_peer             prints the slave path on the first line, then
 *                          waits for a line on standard input ("go");
 *   then, for each exchange, one line "PASS ..." or "FAIL ...", and
 *   "DONE"; the line is held open until standard input gives another line
 *   or ends (a pseudo-terminal whose master closes is a port that has gone
 *   away); the exit status is 0 when every answer was right, 1 otherwise.
 *
 * Each exchange is given ANSWER_MS for its answer; a missing or wrong
 * answer is reported with the bytes that did come. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

enum { ANSWER_MS = 5000, QUIET_MS = 150, GAP_MS = 60 };

struct exchange {
  const char* what;
  unsigned char request[16];
  size_t request_len;
  unsigned char answer[32];
  size_t answer_len;
};

static const struct exchange exchanges[] = {
    /* 81: format, physical address, 1 data byte; 11 the unit, F1 the
     * tester; 81 StartCommunication; 04 checksum. The answer: C1 positive
     * response, key bytes 6B 8F, checksum 40. */
    {"StartCommunication", {0x81, 0x11, 0xF1, 0x81, 0x04}, 5, {0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x40}, 7},
    /* 21 01: read data by local identifier, record 01; the answer 61 01
     * with the record of the start values (variant 1). */
    {"ReadDataByLocalIdentifier 01",
     {0x82, 0x11, 0xF1, 0x21, 0x01, 0xA6},
     6,
     {0x89, 0xF1, 0x11, 0x61, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xEB},
     13},
};

static long long now_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static void hex(char* out, size_t size, const unsigned char* bytes, size_t len) {
  size_t used = 0;
  out[0] = '\0';
  for (size_t i = 0; i < len && used + 4 < size; ++i)
    used += (size_t)snprintf(out + used, size - used, "%s%02X", i ? " " : "", bytes[i]);
  if (len == 0) snprintf(out, size, "(nothing)");
}

/* Reads what arrives until want bytes are in and the line has then been
 * quiet for QUIET_MS (so that extra bytes are seen too), or until deadline. */
static size_t read_answer(int master, unsigned char* buf, size_t size, size_t want, long long deadline) {
  size_t got = 0;
  for (;;) {
    long long left = deadline - now_ms();
    if (got >= want && left > QUIET_MS) left = QUIET_MS;
    if (left <= 0) return got;
    struct pollfd p = {master, POLLIN, 0};
    int ready = poll(&p, 1, (int)left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      if (got >= want) return got;
      continue;
    }
    ssize_t n = read(master, buf + got, size - got);
    if (n > 0) {
      got += (size_t)n;
      if (got == size) return got;
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      /* EIO: the slave end is not open (the tester closed the port). */
      usleep(20000);
    }
  }
}

int main(void) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    perror("kline_peer: pseudo-terminal");
    return 2;
  }
  const char* slave = ptsname(master);
  if (!slave) {
    perror("kline_peer: ptsname");
    return 2;
  }
  /* Raw from the start; Wine sets its own settings when it opens the port,
     * and whatever it leaves alone stays raw. */
  struct termios t;
  if (tcgetattr(master, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
  }
  /* The slave end is kept open here as well, so that the master never
     * reads EIO while Wine opens and configures the port. */
  int hold = open(slave, O_RDWR | O_NOCTTY);
  printf("%s\n", slave);
  fflush(stdout);

  char line[64];
  if (!fgets(line, sizeof line, stdin)) {
    fprintf(stderr, "kline_peer: told nothing, no exchange run\n");
    return 2;
  }
  /* Whatever the tester may have sent before the requests. */
  tcflush(master, TCIFLUSH);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  int failed = 0;
  for (size_t i = 0; i < sizeof exchanges / sizeof exchanges[0]; ++i) {
    const struct exchange* e = &exchanges[i];
    char sent[128], wanted[128], came[256];
    hex(sent, sizeof sent, e->request, e->request_len);
    hex(wanted, sizeof wanted, e->answer, e->answer_len);
    long long start = now_ms();
    if (write(master, e->request, e->request_len) != (ssize_t)e->request_len) {
      printf("FAIL %s: could not write %s: %s\n", e->what, sent, strerror(errno));
      failed = 1;
      break;
    }
    unsigned char buf[64];
    size_t got = read_answer(master, buf, sizeof buf, e->answer_len, start + ANSWER_MS);
    long long took = now_ms() - start;
    hex(came, sizeof came, buf, got);
    if (got == e->answer_len && memcmp(buf, e->answer, got) == 0) {
      printf("PASS %s: %s -> %s\n", e->what, sent, came);
    } else {
      printf("FAIL %s: sent %s, expected %s, got %s within %lld ms\n", e->what, sent, wanted, came, took);
      failed = 1;
    }
    fflush(stdout);
    usleep(GAP_MS * 1000);
  }
  printf("DONE\n");
  fflush(stdout);
  if (!fgets(line, sizeof line, stdin)) {
    /* standard input ended: the check is over */
  }
  if (hold >= 0) close(hold);
  close(master);
  return failed;
}
