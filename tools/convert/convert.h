// peltra2-convert: the settings of a conversion, the population layout of
// the samples, one SNP's tally, and the steps that main() strings together.
#ifndef PELTRA_TOOLS_CONVERT_CONVERT_H
#define PELTRA_TOOLS_CONVERT_CONVERT_H

#include <cstdint>
#include <string>
#include <vector>

#include "common/tool_cli.h"

// peltra2 keeps at most this many loci of one count file.
const long MAX_LOCI = 100000;

// The settings of one conversion, after defaults and checks.
struct ConvertOptions {
  std::string vcf;               // VCF/BCF path, "-" for standard input
  std::string map;               // sample -> population map
  std::string order;             // optional: population order, one name per line
  std::string pool_sizes;        // pooled mode: population -> allele copies in its pool
  std::string out = "converted"; // prefix of the written files
  bool pooled = false;           // counts are AD reads instead of genotypes
  long min_copies = 0;           // per population, every population
  double min_maf = 0.0;          // over all populations together
  long thin_every = 0;           // keep every n-th passing SNP (0: off)
  long thin_random = 0;          // keep this many passing SNPs at random (0: off)
  uint64_t seed = 1;             // seed of the random thinning
};

// Parses and checks the command line, and refuses outputs that are inputs
// or each other; prints the help and exits 0 for --help, fails through
// tool_fail (common/tool_cli.h) for anything wrong.
ConvertOptions parse_options(int argc, char **argv);

// Prints the help text on standard output.
void print_help();


// Which output column each VCF sample feeds, and what the populations are.
struct Layout {
  std::vector<std::string> pops;     // population names in column order
  std::vector<int> column_of;        // per VCF sample: 0-based column, or -1 (ignored)
  std::vector<int> samples_in;       // per column: number of VCF samples
  std::vector<long> pool_size;       // pooled mode: allele copies per column
};

// Reads the map (and the order and pool-size files), matches them against
// the VCF's sample names, reports the samples on one side only, and fails
// when a population is left without any sample.
Layout make_layout(const ConvertOptions &o, const std::vector<std::string> &vcf_samples);

// Why a record was not written; KEPT for those that were.
enum SkipReason {
  KEPT, MULTIALLELIC, NOT_SNP, NO_DATA, FEW_COPIES, MONOMORPHIC, LOW_MAF, THINNED, N_REASONS
};

// One biallelic SNP as it goes to the output files.
struct Snp {
  long record = 0;             // 1-based record number in the VCF
  std::string chrom, id, ref, alt;
  long long pos = 0;           // 1-based
  std::vector<long> ref_count; // per column: REF copies (pooled: reads)
  std::vector<long> alt_count; // per column: ALT copies (pooled: reads)
};

// Tallies of the whole run, printed at the end on standard error.
struct Summary {
  long read = 0;
  long reason[N_REASONS] = {};
};

// The output files of a conversion.
struct Output;

// Creates PREFIX.counts and PREFIX.snps (under temporary names) and writes
// the table header.
Output *open_output(const ConvertOptions &o, const Layout &layout);

// Appends one SNP as the next locus of the count file and the SNP table.
void write_snp(Output *out, const Snp &snp);

// Writes PREFIX.names, PREFIX.copies (and PREFIX.samplesize in pooled
// mode), closes everything and checks that every write succeeded. The files
// keep their temporary names, which any exit removes, until commit_output.
void close_output(Output *out, const Layout &layout);

// Renames every file written into place: the conversion has succeeded.
void commit_output();

// The SNPs that pass the filters go through the thinning, which writes the
// ones it keeps, in file order.
struct Thinning;

Thinning *make_thinning(const ConvertOptions &o);

// Offers the next SNP that passed the filters: written at once, dropped,
// or (random thinning) held in memory until thin_finish.
void thin_offer(Thinning *t, const Snp &snp, Output *out);

// Writes what random thinning holds; returns the number of SNPs written
// over the whole run.
long thin_finish(Thinning *t, Output *out);

// The first filter a SNP fails (FEW_COPIES, MONOMORPHIC, LOW_MAF), or KEPT.
SkipReason apply_filters(const ConvertOptions &o, const Snp &snp);

// An open VCF or BCF input, read record by record.
struct VcfInput;

// Opens the file (or standard input for "-"), reads its header and checks
// that it declares the FORMAT field the mode needs (GT, or AD when pooled).
VcfInput *open_vcf(const ConvertOptions &o);

// The sample names of the header, in column order.
std::vector<std::string> vcf_samples(const VcfInput *in);

// Reads the next record and sorts it: a biallelic SNP is tallied into `snp`
// per population column (KEPT), anything else gets its reason. Returns
// false at the end of the input. A malformed record is fatal, with the
// record's number and text.
bool next_snp(VcfInput *in, const Layout &layout, Snp &snp, SkipReason &reason);

// Closes the input.
void close_vcf(VcfInput *in);

// Prints the summary block on standard error.
void print_summary(const ConvertOptions &o, const Summary &s, long written);

#endif
