// Command line of peltra2-simulate: the settings of one simulation, their
// parsing and checking, the help text, and the failure exit.
#ifndef PELTRA_TOOLS_SIMULATE_OPTIONS_H
#define PELTRA_TOOLS_SIMULATE_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "common/tool_cli.h"

// Where the true covariance matrix comes from.
enum SigmaSource { SIGMA_TREE, SIGMA_MATRIX, SIGMA_GROUPS };

// Largest values accepted; the count file must stay within the 20,000-byte
// lines of peltra2's readers, and pooled sizes within its exact binomial
// coefficients.
const int MAX_POPS = 1000;
const long MAX_LOCI = 10000000;
const int MAX_COPIES = 100000;
const int MAX_POOL_SIZE = 170;
const int MAX_COVERAGE = 100000;

// The settings of one simulation, after defaults and checks.
struct SimOptions {
  int pops = 0;             // K
  long loci = 0;            // L, loci of the main count file
  std::vector<int> copies;  // allele copies sampled per population (K values)
  uint64_t seed = 1;
  SigmaSource source = SIGMA_TREE;
  std::string matrix_file;    // with SIGMA_MATRIX
  double branch_min = 0.005;  // tree branch lengths, uniform on [min, max]
  double branch_max = 0.05;
  int groups = 0;               // with SIGMA_GROUPS
  double group_drift = 0.1;     // covariance shared inside a group
  double private_drift = 0.02;  // extra variance of each population
  double anc_min = 0.05;        // ancestral frequencies lie in [anc_min, anc_max]
  double anc_max = 0.95;
  bool anc_beta = false;  // draw them from Beta(beta_a, beta_b) in that range
  double beta_a = 1.0;
  double beta_b = 1.0;
  int env = 0;  // environmental variables to write
  bool has_beta = false;
  double beta = 0.0;              // environmental effect size
  int effect_var = 1;             // variable (1-based) that carries the effect
  double effect_fraction = 0.0;   // share of the main loci with the effect
  long effect_loci = 0;           // loci with the effect in a separate file
  std::string out = "simulated";  // prefix of every output file
  std::string one_locus_dir;      // one file per SNP when not empty
  bool truth = false;             // write the true frequencies
  bool pooled = false;
  std::vector<int> pool_size;  // allele copies per pool (K values)
  int min_coverage = 1;
  int max_coverage = 0;
};

// Parses and checks the command line, and refuses outputs that are inputs
// or each other; prints the help and exits 0 for --help, fails through
// tool_fail for anything wrong.
SimOptions parse_options(int argc, char **argv);

// Prints the help text on standard output.
void print_help();

// Option values: each fails through tool_fail (common/tool_cli.h), naming
// the option `opt`, unless the whole argument converts and lies in range.
// Two numbers separated by a comma.
void parse_pair(const char *opt, const char *arg, double *a, double *b);
// Integers in lo .. hi separated by commas.
std::vector<int> parse_int_list(const char *opt, const char *arg, long lo, long hi);
// `v` for K populations: its single value repeated, or its K values.
std::vector<int> per_population(const char *opt, const std::vector<int> &v, int pops);

#endif
