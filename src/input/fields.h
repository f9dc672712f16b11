// Line and field scanning shared by the readers, and their error messages.
// A line is read through a fixed buffer; fields are separated by tabs, a run
// of tabs counts as one separator and tabs before the first field are
// skipped. Every problem ends the run with one line on standard output:
//   Error: <kind> "<name>"[, line N][, field F]: <problem>
#ifndef PELTRA_INPUT_FIELDS_H
#define PELTRA_INPUT_FIELDS_H

#include <cstdio>

// Size of the line buffer: a line of at most LINE_MAX_CHARS characters plus
// its line feed is read whole.
const int LINE_BUFFER = 20000;
const int LINE_MAX_CHARS = LINE_BUFFER - 2;

// An input file being read, with what its messages name.
struct TEXT_FILE {
  FILE *in;
  const char *kind;   // "count file", "environment file", ...
  const char *name;   // the file name as given
  int line;           // number of the last line read (1-based), 0 before the first
  bool told_extra = false;  // the hint on extra fields has been given
};

// Opens name for reading; a file that cannot be opened, or a directory, ends
// the run with "Error: cannot open <kind> "<name>": <reason>".
void open_input(TEXT_FILE *f, const char *kind, const char *name);

// Reads the next line into buf (LINE_BUFFER bytes) without its line feed and
// without a carriage return before it. Returns 0 at end of file. A line
// longer than LINE_MAX_CHARS or holding a NUL byte ends the run.
int read_line(TEXT_FILE *f, char *buf);

// Returns the next field of the line at *pos, terminated in place, and moves
// *pos past it; null when the line holds no further field.
char *next_field(char **pos);

// After the `used` fields of the current line: when more fields follow (not
// counting ones of spaces only), a hint on standard error, once per file,
// says how many fields the line has and that only the first `used` count.
void note_extra_fields(TEXT_FILE *f, char *pos, int used);

// Lines left in the file that hold more than blanks; they are not read as
// values, so any length or content is fine.
int count_further_lines(FILE *in);

// Ends the run because the current line holds only `found` of the `needed` fields.
[[noreturn]] void missing_fields(const TEXT_FILE *f, int found, int needed);
// Ends the run because the file ended after `found` of the `needed` lines.
[[noreturn]] void missing_lines(const TEXT_FILE *f, int found, int needed);

// Field `index` (1-based) of the current line as an int: decimal digits with
// an optional sign, spaces around them allowed. Anything else, or a value
// beyond the range of int, ends the run.
int field_int(const TEXT_FILE *f, const char *field, int index);
// Field `index` of the current line as a finite double in decimal notation
// (optional sign, decimal point and exponent), spaces around it allowed.
double field_real(const TEXT_FILE *f, const char *field, int index);

// Ends the run with "Error: <kind> "<name>"[, line L][, field F]: <message>";
// line or field 0 leaves that part out. The message carries no line feed.
[[noreturn]] void input_error(const TEXT_FILE *f, int line, int field, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Writes field into out (size bytes) in double quotes, fit for a message:
// bytes that are not printable ASCII appear as \xNN and a long field is cut short.
const char *quote_field(const char *field, char *out, int size);

#endif
