// The command-line rules the C++ tools share with the Python ones: every
// message on standard error headed by the tool's name, and option values
// refused when empty, given twice or not wholly a number of the range.
#ifndef PELTRA_TOOLS_COMMON_TOOL_CLI_H
#define PELTRA_TOOLS_COMMON_TOOL_CLI_H

#include <cstdint>
#include <string>

// The name that heads every message ("peltra2-convert"); set first in main.
void set_tool_name(const char *name);

// "<tool>: " and the message as one line on standard error, then exit 1.
[[noreturn]] void tool_fail(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// "<tool>: warning: " and the message as one line on standard error.
void tool_warn(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Fails for an empty (or all-blank) value of option `opt` ("--out") and for
// a second value (`seen` is whether the option came before; it is set).
void take_value(const char *opt, const char *arg, bool &seen);

// Fails for a prefix of file names (`opt` "--out") that ends in '/': its
// files would be hidden ones (".counts") in that folder.
void check_prefix(const char *opt, const std::string &prefix);

// True when the whole text is a base-10 integer ([+-]digits) within lo..hi;
// *v gets its value.
bool whole_number(const char *text, long lo, long hi, long *v);

// True when the whole text is a finite decimal number (no blanks, no
// hexadecimal, no inf or nan); *v gets its value.
bool decimal_number(const char *text, double *v);

// The option's value as an integer within lo..hi, else a failure naming the
// option and the text.
long option_long(const char *opt, const char *arg, long lo, long hi);

// The option's value as a seed, 0 to 2^64-1.
uint64_t option_seed(const char *opt, const char *arg);

// The option's value as a finite decimal number within lo..hi.
double option_real(const char *opt, const char *arg, double lo, double hi);

#endif
