// peltra2-simulate: draws SNP allele counts in K populations under the
// model peltra2 fits and writes them in the formats peltra2 reads.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "simulate/loci.h"
#include "simulate/options.h"
#include "simulate/output.h"
#include "simulate/rng.h"
#include "simulate/structure.h"

namespace {

// printf into a string: the lines that name the files written, printed
// once every file is in place.
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...) {
  char buf[4096];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// Formats of the written reals; the simulation uses the printed values.
const char *const MATRIX_FORMAT = "%.10g";
const char *const ENVIRON_FORMAT = "%.6f";

Matrix true_sigma(const SimOptions &o) {
  Matrix sigma;
  if (o.source == SIGMA_MATRIX) {
    sigma = read_sigma_file(o.matrix_file, o.pops);
  } else if (o.source == SIGMA_GROUPS) {
    sigma = groups_sigma(o.pops, o.groups, o.group_drift, o.private_drift);
  } else {
    Rng r;
    rng_seed(r, o.seed, STREAM_STRUCTURE);
    sigma = tree_sigma(o.pops, o.branch_min, o.branch_max, r);
  }
  round_to_printed(sigma, MATRIX_FORMAT);
  return sigma;
}

// Marks exactly round(fraction * loci) loci, each set of that size equally
// likely (selection sampling, one uniform per locus).
std::vector<char> pick_effect_loci(const SimOptions &o) {
  std::vector<char> picked(o.loci, 0);
  long wanted = std::lround(o.effect_fraction * o.loci);
  Rng r;
  rng_seed(r, o.seed, STREAM_EFFECT_PICK);
  for (long t = 0; t < o.loci && wanted > 0; ++t) {
    if ((o.loci - t) * rng_uniform(r) < wanted) {
      picked[t] = 1;
      --wanted;
    }
  }
  return picked;
}

// Draws `n` loci from `stream` into the count file `name` (and the truth
// and one-locus files); `picked` marks loci that carry the effect (all do
// when it is empty). Returns the number of monomorphic draws thrown away.
long simulate_loci(const SimOptions &o, const Matrix &chol, const std::vector<double> &shift,
                   long n, RngStream stream, const std::vector<char> &picked,
                   const std::string &name, const char *stem) {
  const std::vector<double> neutral(o.pops, 0.0);
  Rng r;
  rng_seed(r, o.seed, stream);
  FILE *counts = open_output(name + ".counts");
  FILE *truth = o.truth ? open_output(name + ".truth") : nullptr;
  if (!o.one_locus_dir.empty()) make_directory(o.one_locus_dir);
  const int width = decimal_digits(n);
  long redrawn = 0;
  Locus locus;
  for (long l = 0; l < n; ++l) {
    bool effect = !shift.empty() && (picked.empty() || picked[l]);
    redrawn += draw_locus(r, o, chol, effect ? shift : neutral, locus);
    write_locus(counts, locus);
    if (truth) write_truth(truth, locus, effect ? o.beta : 0.0);
    if (!o.one_locus_dir.empty()) write_one_locus(o.one_locus_dir, stem, l + 1, width, locus);
  }
  close_output(counts, name + ".counts");
  if (truth) close_output(truth, name + ".truth");
  return redrawn;
}

}  // namespace

int main(int argc, char **argv) {
  set_tool_name("peltra2-simulate");
  const SimOptions o = parse_options(argc, argv);
  std::string report;

  Matrix sigma = true_sigma(o);
  Matrix chol;
  if (!cholesky_lower(sigma, chol)) {
    if (o.source == SIGMA_MATRIX)
      tool_fail("%s: the matrix of its first %d lines is not positive definite; give a covariance matrix",
                o.matrix_file.c_str(), o.pops);
    tool_fail("the covariance matrix is not positive definite");
  }

  Matrix env;
  if (o.env > 0) {
    Rng r;
    rng_seed(r, o.seed, STREAM_ENVIRON);
    env = environ_variables(o.env, o.pops, r);
    round_to_printed(env, ENVIRON_FORMAT);
  }
  std::vector<double> shift;
  if (o.has_beta) {
    shift.resize(o.pops);
    for (int k = 0; k < o.pops; ++k) shift[k] = o.beta * env[o.effect_var - 1][k];
  }

  std::vector<char> picked;
  if (o.has_beta) picked = pick_effect_loci(o);
  if (o.effect_fraction > 0) {
    std::string name = o.out + ".effect_loci";
    FILE *f = open_output(name);
    for (long l = 0; l < o.loci; ++l)
      if (picked[l]) std::fprintf(f, "%ld\n", l + 1);
    close_output(f, name);
  }

  long redrawn = simulate_loci(o, chol, shift, o.loci, STREAM_LOCI, picked, o.out, "snp");
  report += format("%s.counts: %ld SNPs in %d populations (%ld monomorphic draws replaced)\n",
                   o.out.c_str(), o.loci, o.pops, redrawn);
  if (o.effect_fraction > 0) {
    long n = 0;
    for (char c : picked) n += c;
    report += format("%s.effect_loci: %ld SNPs with the effect %g of variable %d\n", o.out.c_str(), n,
                     o.beta, o.effect_var);
  }
  if (o.effect_loci > 0) {
    std::string name = o.out + ".effect";
    redrawn = simulate_loci(o, chol, shift, o.effect_loci, STREAM_EFFECT_LOCI, {}, name, "effect");
    report += format("%s.counts: %ld SNPs with the effect (%ld monomorphic draws replaced)\n",
                     name.c_str(), o.effect_loci, redrawn);
  }

  write_matrix(o.out + ".matrix", sigma, MATRIX_FORMAT);
  report += format("%s.matrix: the true covariance matrix\n", o.out.c_str());
  if (o.env > 0) {
    write_matrix(o.out + ".env", env, ENVIRON_FORMAT);
    report += format("%s.env: %d environmental variables\n", o.out.c_str(), o.env);
  }
  if (o.pooled) {
    std::string name = o.out + ".samplesize";
    FILE *f = open_output(name);
    write_int_line(f, o.pool_size);
    close_output(f, name);
    report += format("%s: pool sizes\n", name.c_str());
  }
  if (o.truth) report += format("%s.truth: true frequencies\n", o.out.c_str());
  if (!o.one_locus_dir.empty()) report += format("%s: one file per SNP\n", o.one_locus_dir.c_str());
  commit_outputs();
  std::fputs(report.c_str(), stdout);
  return 0;
}
