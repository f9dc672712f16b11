#include "common/tool_cli.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *tool_name = "peltra2-tool";

void say(const char *kind, const char *fmt, va_list ap) {
  // Lines already written on standard output come first when both streams
  // go to one place.
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s", tool_name, kind);
  std::vfprintf(stderr, fmt, ap);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace

void set_tool_name(const char *name) { tool_name = name; }

void tool_fail(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  say("", fmt, ap);
  va_end(ap);
  std::exit(1);
}

void tool_warn(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  say("warning: ", fmt, ap);
  va_end(ap);
}

void take_value(const char *opt, const char *arg, bool &seen) {
  // Blanks alone name no file and no number: as empty as nothing.
  if (arg == nullptr || arg[std::strspn(arg, " \t\r\n")] == '\0') tool_fail("option %s: empty value", opt);
  if (seen) tool_fail("option %s given more than once", opt);
  seen = true;
}

void check_prefix(const char *opt, const std::string &prefix) {
  if (!prefix.empty() && prefix.back() == '/')
    tool_fail("option %s: '%s' ends in /, which would name hidden files (%s.counts, ...); give a prefix "
              "such as %sdata", opt, prefix.c_str(), prefix.c_str(), prefix.c_str());
}

bool whole_number(const char *text, long lo, long hi, long *v) {
  const char *p = text + (*text == '+' || *text == '-');
  if (*p == '\0' || std::strspn(p, "0123456789") != std::strlen(p)) return false;
  errno = 0;
  long x = std::strtol(text, nullptr, 10);
  if (errno == ERANGE || x < lo || x > hi) return false;
  *v = x;
  return true;
}

bool decimal_number(const char *text, double *v) {
  // [+-] digits [. digits] [e [+-] digits], with digits on one side of the
  // point at least.
  const char *p = text + (*text == '+' || *text == '-');
  size_t before = std::strspn(p, "0123456789");
  p += before;
  size_t after = 0;
  if (*p == '.') {
    after = std::strspn(p + 1, "0123456789");
    p += 1 + after;
  }
  if (before + after == 0) return false;
  if (*p == 'e' || *p == 'E') {
    const char *q = p + 1 + (p[1] == '+' || p[1] == '-');
    size_t exp = std::strspn(q, "0123456789");
    if (exp == 0) return false;
    p = q + exp;
  }
  if (*p != '\0') return false;
  double x = std::strtod(text, nullptr);
  if (!std::isfinite(x)) return false;
  *v = x;
  return true;
}

long option_long(const char *opt, const char *arg, long lo, long hi) {
  long v;
  if (!whole_number(arg, lo, hi, &v))
    tool_fail("option %s: '%s' is not a whole number from %ld to %ld", opt, arg, lo, hi);
  return v;
}

uint64_t option_seed(const char *opt, const char *arg) {
  const char *p = arg + (*arg == '+');
  bool digits = *p != '\0' && std::strspn(p, "0123456789") == std::strlen(p);
  errno = 0;
  unsigned long long v = digits ? std::strtoull(p, nullptr, 10) : 0;
  if (!digits || errno == ERANGE)
    tool_fail("option %s: '%s' is not a whole number from 0 to %llu", opt, arg,
              (unsigned long long)UINT64_MAX);
  return v;
}

double option_real(const char *opt, const char *arg, double lo, double hi) {
  double v;
  if (!decimal_number(arg, &v)) tool_fail("option %s: '%s' is not a number", opt, arg);
  if (v < lo || v > hi) tool_fail("option %s: '%s' is not a number from %g to %g", opt, arg, lo, hi);
  return v;
}
