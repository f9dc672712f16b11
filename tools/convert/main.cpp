// peltra2-convert: turns the genotypes (or pooled read counts) of a VCF or
// BCF file into the count file peltra2 reads, with a table of the SNPs.
#include <cstdio>

#include "convert/convert.h"

int main(int argc, char **argv) {
  set_tool_name("peltra2-convert");
  ConvertOptions o = parse_options(argc, argv);
  VcfInput *in = open_vcf(o);
  Layout layout = make_layout(o, vcf_samples(in));
  Output *out = open_output(o, layout);
  Thinning *thinning = make_thinning(o);

  Summary s;
  long passed = 0;
  Snp snp;
  SkipReason reason;
  while (next_snp(in, layout, snp, reason)) {
    ++s.read;
    if (reason == KEPT) reason = apply_filters(o, snp);
    if (reason != KEPT) {
      ++s.reason[reason];
      continue;
    }
    ++passed;
    thin_offer(thinning, snp, out);
  }
  close_vcf(in);
  long written = thin_finish(thinning, out);
  s.reason[THINNED] = passed - written;
  close_output(out, layout);

  print_summary(o, s, written);
  if (written == 0) tool_fail("no SNP passed; no file written");
  commit_output();
  if (written > MAX_LOCI)
    tool_warn("%s.counts holds %ld SNPs and peltra2 reads at most %ld of one count file: for "
              "matrix estimation, convert again with --thin-random or --thin-every",
                 o.out.c_str(), written, MAX_LOCI);
  return 0;
}
