// Fatal conditions: print a message and end the process with status 1.
// Buffered output is flushed first; nothing else is cleaned up, so the
// functions are safe to call from any thread.
#ifndef PELTRA_RUN_FATAL_H
#define PELTRA_RUN_FATAL_H

// printf-style message on standard output (run control, readers, model).
[[noreturn]] void fatal(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// printf-style message on standard error (numerics, random library).
[[noreturn]] void fatal_stderr(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// printf-style hint on standard error: one line, "peltra2: " and the text,
// after the lines already printed on standard output. The run goes on.
void hint(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Flushes every stream and ends the process with the given status.
[[noreturn]] void terminate_process(int status);

#ifdef PELTRA_FUZZ_BUILD
// Fuzz builds: terminate_process throws this instead of ending the process,
// so that a fuzz target can go on with its next input.
struct process_exit {
  int status;
};
#endif

#endif
