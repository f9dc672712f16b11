// The state of an open VCF/BCF input, shared by the reader and the code
// that sorts and tallies its records.
#ifndef PELTRA_TOOLS_CONVERT_VCF_RECORD_H
#define PELTRA_TOOLS_CONVERT_VCF_RECORD_H

#include <htslib/vcf.h>

#include <cstdint>
#include <string>

struct VcfInput {
  std::string name;          // file name for messages ("standard input" for -)
  htsFile *fp = nullptr;
  bcf_hdr_t *hdr = nullptr;
  bcf1_t *rec = nullptr;     // the current record
  bool text = false;         // text VCF (records have a line and its text)
  bool pooled = false;       // tally AD reads instead of GT alleles
  long record = 0;           // 1-based number of the current record
  std::string raw;           // text VCF: the current record's line
  std::string last_good;     // CHROM:POS of the last record read whole
  int32_t *buf = nullptr;    // FORMAT values of the current record
  int nbuf = 0;

  // "FILE: line L" (text) or "FILE: record N (after CHROM:POS)" (BCF).
  std::string where() const;

  // Ends the run with the record's place, the problem and, for text
  // input, the start of the record's text.
  [[noreturn]] void malformed(const std::string &problem) const;
};

// Reads the next record into in->rec; false at the end of the input. A
// record htslib cannot parse, or a line whose column count differs from
// the header's, is fatal.
bool read_record(VcfInput *in);

#endif
