// The stages of a run, called in order by run_main, and the state they share.
#ifndef PELTRA_RUN_RUN_CONTROL_H
#define PELTRA_RUN_RUN_CONTROL_H

#include <cstdio>
#include <string>

#include "model/allele_SNP.h"

// Capacity of the locus array: the count file reader never stores more.
const int MAX_LOCI = 100000;

// The locus array (MAX_LOCI pointers); entries 0 .. NUMLOCI-1 are filled by
// the count file reader. Created by startup().
extern ALLELE **locus;
// "pop_spec.out", open for writing from the end of start-up to the end of the run.
extern FILE *pop_spec_out;
// Test mode: the frequency file's name, the count file's name followed by ".freqs".
extern std::string freqs_name;

// "--help" or "--version" as the only argument: prints the full help (every
// option) or "peltra2 <version line>" on standard output and returns true.
bool help_or_version(int argc, char **argv);

// Start-up after the mode line: scratch matrix, sample sizes, test stage A,
// seeding, the run header, the inputs, initialisation, the worker split and
// "pop_spec.out".
void startup();

// Test-mode staging. A: accumulators, grid, frequency file. B: environment,
// matrix and the fixed covariance quantities, "standardized.env" with -c.
// C: the one-locus rule. D: the population means.
void test_stage_a();
void test_stage_b();
void test_stage_c();
void test_stage_d();

// The Bayes-factor grid point j of n (j = 1 .. n).
double beta_grid_point(int j, int n);

// The ITER iterations with the covariance reports (matrix estimation) or the
// sampling step (test mode).
void run_loop();
// Prints the current covariance matrix labelled m and appends the population
// means to "pop_spec.out".
void covariance_report(int m);

// Test mode: sets the sample and Z counters to 0 before the first iteration.
void reset_test_counters();
// Test mode: the sampling step after iteration k's workers have finished.
void test_sample(int k);
// Test mode: appends the result lines and closes the frequency file.
void write_test_results();

// Opens a working file for writing ("w"); a file that cannot be opened ends
// the run with a message naming it.
FILE *open_working_file(const char *name, const char *what);
// Closes a working file; a write error ends the run with a message naming it.
void close_working_file(FILE *f, const char *name, const char *what);
// Flushes a working file; a write error ends the run with a message naming it.
void flush_working_file(FILE *f, const char *name, const char *what);
// Flushes standard output; a failed write (full disk, closed pipe) ends the
// run with a message on standard error and status 1.
void flush_standard_output();
// Opens the result file name for appending (O_APPEND); a file that cannot be
// opened ends the run with a message naming it, hint added.
int open_result_file(const std::string &name, const char *hint);
// Writes line with one write on fd, opened by open_result_file, and closes
// it, so concurrent runs never interleave within a line; a failed write ends
// the run with a message naming the file.
void write_result_line(int fd, const std::string &name, const std::string &line);
// open_result_file and write_result_line in one.
void append_result_line(const std::string &name, const std::string &line, const char *hint);

#endif
