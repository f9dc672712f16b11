// Readers of the input files. Each reads a tab-separated text file (a run of
// tabs is one separator; the first NUMPOPS fields of a line are used). A
// malformed file ends the run with one line on standard output that names
// the file and the line, and status 1.
#ifndef PELTRA_INPUT_READERS_H
#define PELTRA_INPUT_READERS_H

#include <cstdio>

#include "model/allele_SNP.h"

// Environmental values (number_environ x NUMPOPS), allocated by start-up,
// filled by read_environ. (Not named environ: that is the process environment.)
extern double **environ_values;
// Open stream of the matrix file and the number of matrices read from it.
extern FILE *matrix_in;
extern int read_matrix_num;

// Reads INPUT_FILE into loc[0 .. NUMLOCI-1]; sets NUMLOCI, num_alleles and
// the coverage extremes; one ran1 draw per locus; prints "num_alleles = %f".
void read_snpcounts(ALLELE **loc);
// Prints "reading environ" and fills environ_values from ENVIRON_FILE.
void read_environ();
// Fills sigmas (allocated by the caller) with the next NUMPOPS lines of MATRIX_FILE.
void read_matrix();
// Allocates samplesizes and fills it from SAMPLESIZE_FILE; prints "%d %d" with
// the smallest and largest size.
void read_samplesize();
// Creates pop_spec_mean, all zero (test mode). loc is not used.
void read_pop_spec_mean(ALLELE **loc);

#endif
