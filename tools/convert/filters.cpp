// The filters a biallelic SNP must pass, and the summary of what was kept
// and why the rest was skipped.
#include <cstdio>
#include <string>

#include "convert/convert.h"

SkipReason apply_filters(const ConvertOptions &o, const Snp &snp) {
  long ref = 0, alt = 0;
  for (size_t c = 0; c < snp.ref_count.size(); ++c) {
    if (snp.ref_count[c] + snp.alt_count[c] < o.min_copies) return FEW_COPIES;
    ref += snp.ref_count[c];
    alt += snp.alt_count[c];
  }
  // peltra2 stops at a locus whose first allele is absent everywhere or
  // present in every copy, so such SNPs never reach the count file.
  if (ref == 0 || alt == 0) return MONOMORPHIC;
  double maf = static_cast<double>(ref < alt ? ref : alt) / static_cast<double>(ref + alt);
  if (maf < o.min_maf) return LOW_MAF;
  return KEPT;
}

void print_summary(const ConvertOptions &o, const Summary &s, long written) {
  const char *unit = o.pooled ? "reads" : "copies";
  std::string few = "fewer than " + std::to_string(o.min_copies) + " " + unit + " in a population";
  char maf[64];
  std::snprintf(maf, sizeof maf, "minor allele frequency below %g", o.min_maf);
  std::string none = o.pooled ? "no reads" : "no genotyped copies";
  std::fprintf(stderr, "peltra2-convert: summary of %s\n",
               o.vcf == "-" ? "standard input" : o.vcf.c_str());
  std::fprintf(stderr, "  %-52s %ld\n", "records read", s.read);
  std::fprintf(stderr, "  %-52s %ld\n", "SNPs written", written);
  std::fprintf(stderr, "  %-52s %ld\n", "skipped: multi-allelic", s.reason[MULTIALLELIC]);
  std::fprintf(stderr, "  %-52s %ld\n", "skipped: not a SNP (indel, symbolic, no ALT)",
               s.reason[NOT_SNP]);
  std::fprintf(stderr, "  %-52s %ld\n", ("skipped: " + none).c_str(), s.reason[NO_DATA]);
  if (o.min_copies > 0)
    std::fprintf(stderr, "  %-52s %ld\n", ("skipped: " + few).c_str(), s.reason[FEW_COPIES]);
  std::fprintf(stderr, "  %-52s %ld\n", "skipped: monomorphic", s.reason[MONOMORPHIC]);
  if (o.min_maf > 0)
    std::fprintf(stderr, "  %-52s %ld\n", (std::string("skipped: ") + maf).c_str(),
                 s.reason[LOW_MAF]);
  if (o.thin_every || o.thin_random)
    std::fprintf(stderr, "  %-52s %ld\n", "skipped: thinned", s.reason[THINNED]);
}
