// Writing the simulator's files: each is written whole under a temporary
// name and put in place by commit_outputs (the one-locus files at once);
// every failure to create or write one ends the program with the file's
// name and leaves the files of an earlier run as they were.
#ifndef PELTRA_TOOLS_SIMULATE_OUTPUT_H
#define PELTRA_TOOLS_SIMULATE_OUTPUT_H

#include <cstdio>
#include <string>
#include <vector>

#include "simulate/loci.h"
#include "simulate/structure.h"

// Opens the stand-in of `name` for writing.
FILE *open_output(const std::string &name);

// Closes a file opened by open_output, failing if anything was not written.
void close_output(FILE *f, const std::string &name);

// Puts every closed file in place, replacing the files of the same names.
void commit_outputs();

// Writes the values separated by tabs and ends the line.
void write_int_line(FILE *f, const std::vector<int> &values);

// Writes the rows of `a`, values printed with `fmt` and separated by tabs,
// to the new file `name`.
void write_matrix(const std::string &name, const Matrix &a, const char *fmt);

// Writes the locus's two count lines: first allele, then second allele.
void write_locus(FILE *f, const Locus &locus);

// Writes the locus's truth line: ancestral frequency, effect size, then
// the population frequencies.
void write_truth(FILE *f, const Locus &locus, double beta);

// Creates directory `dir` unless it exists already.
void make_directory(const std::string &dir);

// Writes the locus alone to dir/<stem>_<number>.counts, the number (1-based)
// zero-padded to `width` digits.
void write_one_locus(const std::string &dir, const char *stem, long number, int width,
                     const Locus &locus);

// Number of decimal digits of n >= 1.
int decimal_digits(long n);

#endif
