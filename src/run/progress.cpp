// The progress line on standard error during matrix estimation.
#include "run/progress.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "run/config.h"

// The loop's reporting period: a covariance report follows the iteration
// before each multiple of it.
static const long REPORT_PERIOD = 500;

static bool decided = false;     // whether the line is shown has been decided
static bool enabled = false;     // standard error is a terminal, matrix estimation
static bool stdout_tty = false;  // reports may land on the same terminal
static double start_time = 0;    // time of the first call
static long start_k = 0;         // iteration of the first call
static double last_draw = 0;     // time of the last redraw
static int shown = 0;            // characters of the line now on the terminal

static double now_seconds() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// One write per redraw, so the line never appears half drawn.
static void write_all(const char *s, size_t n) {
  while (n > 0) {
    ssize_t w = write(2, s, n);
    if (w <= 0) {
      // The terminal is gone: stop drawing rather than failing the run.
      enabled = false;
      return;
    }
    s += w;
    n -= (size_t)w;
  }
}

// Overwrites the line with text (empty text erases it); spaces cover what
// was longer before.
static void draw(const char *text) {
  char buf[256];
  int len = (int)strlen(text);
  int pad = shown > len ? shown - len : 0;
  int n = snprintf(buf, sizeof buf, "\r%s%*s", text, pad, "");
  if (n >= (int)sizeof buf) n = (int)sizeof buf - 1;
  write_all(buf, (size_t)n);
  shown = len;
}

static void erase() {
  if (shown == 0) return;
  draw("");
  write_all("\r", 1);
}

// Seconds as h:mm:ss, or m:ss under an hour.
static void format_duration(char *buf, int size, double s) {
  if (s < 0) s = 0;
  long t = (long)(s + 0.5);
  if (t >= 3600)
    snprintf(buf, size, "%ld:%02ld:%02ld", t / 3600, (t / 60) % 60, t % 60);
  else
    snprintf(buf, size, "%ld:%02ld", t / 60, t % 60);
}

char *progress_text(char *buf, int size, long k, long iter, double rate) {
  if (rate <= 0) {
    snprintf(buf, size, "iteration %ld of %ld", k, iter);
    return buf;
  }
  char left[32];
  format_duration(left, sizeof left, (double)(iter - k) / rate);
  snprintf(buf, size, "iteration %ld of %ld, %.1f it/s, %s left", k, iter, rate, left);
  return buf;
}

void show_progress(long k) {
  if (!decided) {
    decided = true;
    enabled = !TEST && ITER > 0 && isatty(2);
    stdout_tty = isatty(1);
    start_time = last_draw = now_seconds();
    start_k = k;
    if (enabled) {
      char text[160];
      draw(progress_text(text, sizeof text, k, ITER, 0));
    }
  }
  if (!enabled) return;
  if (k >= ITER) {
    erase();
    return;
  }
  if (stdout_tty && (k + 1) % REPORT_PERIOD == 0) {
    erase();
    return;
  }
  double t = now_seconds();
  if (t - last_draw < 1.0 / PROGRESS_REDRAWS_PER_SECOND) return;
  last_draw = t;
  double rate = t > start_time ? (k - start_k) / (t - start_time) : 0;
  char text[160];
  draw(progress_text(text, sizeof text, k, ITER, rate));
}
