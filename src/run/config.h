// The run configuration: process-wide values set from the command line
// (parse_cl) and the input extents gathered while the files are read.
// Every subsystem reads them; after start-up they are only read.
#ifndef PELTRA_RUN_CONFIG_H
#define PELTRA_RUN_CONFIG_H

extern int ITER;                  // -k: MCMC iterations (negative: none)
extern int NUMPOPS;               // -p: number of populations K
extern const char *INPUT_FILE;    // -i: allele count file (null when absent)
extern const char *environ_num;   // -e: environment file name as given
extern const char *ENVIRON_FILE;  // environment file read in test mode ("" otherwise)
extern const char *MATRIX_FILE;   // -m: covariance matrix file
extern const char *SAMPLESIZE_FILE;  // -s: pooled sample-size file
extern const char *OUTPUT_NAME;   // -o: stem of the result file names
extern int OUTPUT_SET;            // 1 when -o was given
extern int number_environ;        // -n: number of environmental variables
extern long seed;                 // seed of both generators; state word of ran1; always <= 0 before use
extern const char *seed_arg;      // -r's argument as given (null without -r), for messages
extern int TEST;                  // -t: 1 = test mode, 0 = matrix estimation
extern int POOL;                  // -x: pooled-sequencing mode
extern int LOOKUP;                // -l: pooled likelihood from a precomputed table
extern int SNP_TEST;              // 1 = Bayes factors, 0 = Z statistic (-z, -x)
extern int PRINT_COR;             // -c: correlation output
extern int FREQS_OUTPUT;          // -f: frequency output
extern int CALC_XTX;              // -X: XtX
extern double X_DEV;              // proposal sd of the frequency update (0.05; 0.02 with -x)
extern int num_beta;              // points of the Bayes-factor grid (101)
extern double lambda_D;           // Beta prior of the ancestral frequency (0.001)
extern double lambda_A;           // Beta prior of the ancestral frequency (0.001)

// Extents gathered by the readers.
extern int max_coverage;          // largest per-population running total (count file)
extern int min_coverage;          // smallest per-population running total; starts at 2000000
extern int max_samplesize;        // largest pooled sample size
extern int min_samplesize;        // smallest pooled sample size; starts at 2000000
extern int NUMLOCI;               // loci read from the count file
extern double num_alleles;        // allele lines read from the count file

// Prints the help text on standard output and exits with status 1.
[[noreturn]] void usage();

// Prints the banner, parses every option with getopt and sets the
// configuration above, printing one message per option.
void parse_cl(int argc, char **argv);

// The configuration check made right after parse_cl: prints the fixed
// message and exits with status 1 when the options do not form a complete,
// consistent configuration.
void check_configuration();

#endif
