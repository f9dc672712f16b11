// Shared helpers of the converter tests: VCF text built in the test,
// binary copies of it written through htslib, running peltra2-convert, and
// reading its summary.
#ifndef PELTRA_TESTS_TOOLS_CONVERT_SUPPORT_H
#define PELTRA_TESTS_TOOLS_CONVERT_SUPPORT_H

#include <htslib/vcf.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "support/cli.h"

namespace convtest {

inline std::string converter() { return std::string(PELTRA_TOOLS_DIR) + "/peltra2-convert"; }

// Runs the converter with `args` (shell words) in `dir`.
inline testsupport::RunResult convert(const std::string &args, const std::string &dir) {
  return testsupport::run_shell("'" + converter() + "' " + args, dir);
}

// A VCF header for `samples`, declaring GT and AD and contigs 1 and 2.
inline std::string vcf_header(const std::vector<std::string> &samples) {
  std::string h =
      "##fileformat=VCFv4.2\n"
      "##contig=<ID=1,length=100000>\n"
      "##contig=<ID=2,length=100000>\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
      "##FORMAT=<ID=AD,Number=R,Type=Integer,Description=\"Reads per allele\">\n"
      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const std::string &s : samples) h += "\t" + s;
  return h + "\n";
}

// One data line: CHROM POS ID REF ALT, empty QUAL FILTER INFO, the FORMAT
// keys and one value per sample.
inline std::string vcf_line(const std::string &chrom, long pos, const std::string &ref,
                            const std::string &alt, const std::string &format,
                            const std::vector<std::string> &values) {
  std::string l = chrom + "\t" + std::to_string(pos) + "\t.\t" + ref + "\t" + alt + "\t.\t.\t.\t" +
                  format;
  for (const std::string &v : values) l += "\t" + v;
  return l + "\n";
}

// Copies the text VCF `from` to `to` through htslib in the given write mode
// ("wb": bgzipped BCF, "wz": bgzipped VCF). Returns false on any failure.
inline bool rewrite_vcf(const std::string &from, const std::string &to, const char *mode) {
  htsFile *in = hts_open(from.c_str(), "r");
  if (!in) return false;
  bcf_hdr_t *hdr = bcf_hdr_read(in);
  htsFile *out = hts_open(to.c_str(), mode);
  bool ok = hdr && out && bcf_hdr_write(out, hdr) == 0;
  bcf1_t *rec = bcf_init();
  while (ok && bcf_read(in, hdr, rec) == 0) ok = bcf_write(out, hdr, rec) == 0;
  bcf_destroy(rec);
  if (out && hts_close(out) != 0) ok = false;
  if (hdr) bcf_hdr_destroy(hdr);
  hts_close(in);
  return ok;
}

// The number the summary on standard error gives for `label` (the text
// after "skipped: ", or "records read", "SNPs written"); -1 if absent.
inline long summary_value(const std::string &err, const std::string &label) {
  std::string escaped = std::regex_replace(label, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  std::smatch m;
  if (!std::regex_search(err, m, std::regex("\\n  (skipped: )?" + escaped + " +([0-9]+)\\n")))
    return -1;
  return std::atol(m[2].str().c_str());
}

}  // namespace convtest

#endif
