// The helpers of the tools' tests: running peltra2-convert and
// peltra2-simulate, VCF text and binary copies of it written through htslib,
// the converter's summary, and text files split into lines, fields, numbers.
#ifndef PELTRA_TESTS_TOOLS_CONVERT_SUPPORT_H
#define PELTRA_TESTS_TOOLS_CONVERT_SUPPORT_H

#include <htslib/vcf.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "support/cli.h"

namespace convtest {

// Runs the converter or the simulator with `args` (shell words) in `dir`.
inline testsupport::RunResult convert(const std::string &args, const std::string &dir) {
  return testsupport::run_shell(std::string("'") + PELTRA_TOOLS_DIR + "/peltra2-convert' " + args, dir);
}
inline testsupport::RunResult simulate(const std::string &args, const std::string &dir) {
  return testsupport::run_shell(std::string("'") + PELTRA_TOOLS_DIR + "/peltra2-simulate' " + args, dir);
}

// A VCF header for `samples`, declaring GT and AD and contigs 1 and 2.
inline std::string vcf_header(const std::vector<std::string> &samples) {
  std::string h =
      "##fileformat=VCFv4.2\n##contig=<ID=1,length=100000>\n##contig=<ID=2,length=100000>\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
      "##FORMAT=<ID=AD,Number=R,Type=Integer,Description=\"Reads per allele\">\n"
      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const std::string &s : samples) h += "\t" + s;
  return h + "\n";
}

// One data line: CHROM POS ID REF ALT, empty QUAL FILTER INFO, the FORMAT
// keys and one value per sample.
inline std::string vcf_line(const std::string &chrom, long pos, const std::string &ref, const std::string &alt,
                            const std::string &format, const std::vector<std::string> &values) {
  std::string l = chrom + "\t" + std::to_string(pos) + "\t.\t" + ref + "\t" + alt + "\t.\t.\t.\t" + format;
  for (const std::string &v : values) l += "\t" + v;
  return l + "\n";
}

// Copies the text VCF `from` to `to` through htslib in write mode `mode`
// ("wb": bgzipped BCF, "wz": bgzipped VCF). False on any failure.
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
  if (!std::regex_search(err, m, std::regex("\\n  (skipped: )?" + escaped + " +([0-9]+)\\n"))) return -1;
  return std::atol(m[2].str().c_str());
}

// The pieces of `text` between `sep` characters, empty ones kept; the line
// feed that ends a text starts no further line.
inline std::vector<std::string> split(const std::string &text, char sep = '\n') {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(sep, start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  if (start < text.size() || sep != '\n') parts.push_back(text.substr(start));
  return parts;
}

// A file of tab-separated numbers as rows of values.
inline std::vector<std::vector<double>> read_table(const std::string &path) {
  std::vector<std::vector<double>> rows;
  for (const std::string &line : split(testsupport::read_file(path))) {
    rows.emplace_back();
    for (const std::string &f : split(line, '\t')) rows.back().push_back(std::atof(f.c_str()));
  }
  return rows;
}

}  // namespace convtest

#endif
