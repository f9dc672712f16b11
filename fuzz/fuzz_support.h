// What the fuzz targets share: the file an input is written to, the reset of
// the process-wide configuration, the guarded call of the code under test
// and the size choices taken from an input's first bytes.
#ifndef PELTRA_FUZZ_SUPPORT_H
#define PELTRA_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>

// Status of a guarded call that returned normally.
const int RETURNED = -1;

// Name of this process's scratch file (in /dev/shm when there is one).
const char *fuzz_file();
// Replaces the scratch file's content with size bytes of data.
void write_fuzz_file(const uint8_t *data, size_t size);

// Sets every run-configuration and reader global to its start value, as in
// a fresh process, and the random state word to seed.
void reset_configuration(long seed_value);

// Runs fn with the ledger open. Returns RETURNED, or the status of a fatal
// condition, which must be 1 (anything else is a finding and aborts). The
// ledger is closed but not released: the caller checks the outcome, clears
// its globals and then calls ledger_release().
int run_guarded(void (*fn)());

// A population count from one byte: mostly 1 .. 16, sometimes up to 2000
// (as wide as a line of an input of 4096 bytes can be), so that both small
// files and wide lines are reached.
int numpops_from(uint8_t b);

// Aborts with a message when an invariant of a successful read fails.
void require(bool ok, const char *what);

// Sends standard output to /dev/null: the readers print on every input.
void quiet_stdout();

#endif
