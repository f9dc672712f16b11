// Line and field scanning shared by the readers, and their error messages.
#include "input/fields.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "run/fatal.h"

void open_input(TEXT_FILE *f, const char *kind, const char *name) {
  f->kind = kind;
  f->name = name;
  f->line = 0;
  f->told_extra = false;
  f->in = fopen(name, "r");
  if (f->in == nullptr) fatal("Error: cannot open %s \"%s\": %s\n", kind, name, strerror(errno));
  // A directory opens for reading on Linux and only fails at the first read.
  struct stat st;
  if (fstat(fileno(f->in), &st) == 0 && S_ISDIR(st.st_mode))
    fatal("Error: cannot open %s \"%s\": %s\n", kind, name, strerror(EISDIR));
}

int read_line(TEXT_FILE *f, char *buf) {
  int n = 0;
  int c;
  while ((c = getc_unlocked(f->in)) != EOF && c != '\n') {
    // A NUL byte would silently cut the line short for every string function.
    if (c == '\0') input_error(f, f->line + 1, 0, "holds a NUL byte (not a text file)");
    if (n == LINE_MAX_CHARS) input_error(f, f->line + 1, 0, "longer than %d characters", LINE_MAX_CHARS);
    buf[n++] = (char)c;
  }
  if (c == EOF && ferror(f->in)) input_error(f, 0, 0, "read error: %s", strerror(errno));
  if (c == EOF && n == 0) return 0;
  f->line++;
  if (n > 0 && buf[n - 1] == '\r') n--;
  buf[n] = '\0';
  return 1;
}

char *next_field(char **pos) {
  char *p = *pos;
  while (*p == '\t') p++;
  if (*p == '\0') {
    *pos = p;
    return nullptr;
  }
  char *start = p;
  while (*p != '\t' && *p != '\0') p++;
  if (*p == '\t') *p++ = '\0';
  *pos = p;
  return start;
}

void note_extra_fields(TEXT_FILE *f, char *pos, int used) {
  if (f->told_extra) return;
  int extra = 0;
  for (char *field; (field = next_field(&pos)) != nullptr;)
    if (strspn(field, " ") != strlen(field)) extra++;
  if (extra == 0) return;
  f->told_extra = true;
  hint("warning: %s \"%s\", line %d: %d fields where -p is %d; only the first %d are used, on this line "
       "and on any other", f->kind, f->name, f->line, used + extra, used, used);
}

int count_further_lines(FILE *in) {
  int lines = 0;
  bool filled = false;
  for (int c; (c = getc_unlocked(in)) != EOF;) {
    if (c == '\n') {
      lines += filled;
      filled = false;
    } else if (c != ' ' && c != '\t' && c != '\r') {
      filled = true;
    }
  }
  return lines + filled;
}

void missing_fields(const TEXT_FILE *f, int found, int needed) {
  if (found == 0) input_error(f, f->line, 0, "blank line; %d field%s needed", needed, needed == 1 ? "" : "s");
  input_error(f, f->line, 0, "%d field%s; %d needed", found, found == 1 ? "" : "s", needed);
}

void missing_lines(const TEXT_FILE *f, int found, int needed) {
  input_error(f, 0, 0, "%d line%s; %d needed", found, found == 1 ? "" : "s", needed);
}

// Bounds of the field text without the spaces around it.
static void trim_spaces(const char *field, const char **begin, const char **end) {
  const char *b = field;
  while (*b == ' ') b++;
  const char *e = b + strlen(b);
  while (e > b && e[-1] == ' ') e--;
  *begin = b;
  *end = e;
}

int field_int(const TEXT_FILE *f, const char *field, int index) {
  const char *b, *e;
  trim_spaces(field, &b, &e);
  const char *p = b;
  if (p < e && (*p == '+' || *p == '-')) p++;
  const char *digits = p;
  while (p < e && *p >= '0' && *p <= '9') p++;
  char quoted[64];
  if (p == digits || p != e)
    input_error(f, f->line, index, "%s is not an integer", quote_field(field, quoted, sizeof quoted));
  errno = 0;
  long long v = strtoll(b, nullptr, 10);
  if (errno == ERANGE || v > 2147483647LL || v < -2147483647LL - 1)
    input_error(f, f->line, index, "%s is beyond the integer range", quote_field(field, quoted, sizeof quoted));
  return (int)v;
}

double field_real(const TEXT_FILE *f, const char *field, int index) {
  const char *b, *e;
  trim_spaces(field, &b, &e);
  char quoted[64];
  // strtod also takes hexadecimal numbers; the files hold decimal ones only.
  bool hex = memchr(b, 'x', e - b) != nullptr || memchr(b, 'X', e - b) != nullptr;
  char *stop = nullptr;
  double v = b < e ? strtod(b, &stop) : 0.0;
  if (b == e || hex || stop != e)
    input_error(f, f->line, index, "%s is not a number", quote_field(field, quoted, sizeof quoted));
  if (!std::isfinite(v))
    input_error(f, f->line, index, "%s is not a finite number", quote_field(field, quoted, sizeof quoted));
  return v;
}

void input_error(const TEXT_FILE *f, int line, int field, const char *fmt, ...) {
  char where[64] = "";
  if (line > 0 && field > 0) snprintf(where, sizeof where, ", line %d, field %d", line, field);
  else if (line > 0) snprintf(where, sizeof where, ", line %d", line);
  char what[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(what, sizeof what, fmt, ap);
  va_end(ap);
  fatal("Error: %s \"%s\"%s: %s\n", f->kind, f->name, where, what);
}

const char *quote_field(const char *field, char *out, int size) {
  // Room for the closing quote, "..." and the terminator.
  int limit = size - 5;
  int n = 0;
  out[n++] = '"';
  const unsigned char *p = (const unsigned char *)field;
  for (; *p != '\0'; p++) {
    bool plain = *p >= 0x20 && *p < 0x7f;
    int width = plain ? 1 : 4;
    if (n + width > limit) break;
    if (plain) out[n++] = (char)*p;
    else n += snprintf(out + n, size - n, "\\x%02X", *p);
  }
  out[n++] = '"';
  if (*p != '\0') {
    memcpy(out + n, "...", 3);
    n += 3;
  }
  out[n] = '\0';
  return out;
}
