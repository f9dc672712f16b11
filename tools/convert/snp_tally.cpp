// Sorting the records into biallelic SNPs and the rest, and counting the
// REF and ALT copies (or reads) of every population at a SNP.
#include <htslib/vcf.h>

#include <cstring>
#include <string>

#include "convert/convert.h"
#include "convert/vcf_record.h"

namespace {

bool is_base(const char *allele) {
  return allele[0] && !allele[1] && std::strchr("ACGTacgt", allele[0]);
}

std::string sample_name(const VcfInput *in, int i) { return in->hdr->samples[i]; }

// Called alleles of every mapped sample: 0 counts for REF, 1 for ALT,
// missing ones count for nothing, haploid and diploid (or any ploidy) alike.
// Returns false when the record has no GT field.
bool tally_genotypes(VcfInput *in, const Layout &layout, Snp &snp) {
  int n = bcf_get_genotypes(in->hdr, in->rec, &in->buf, &in->nbuf);
  if (n <= 0) return false;
  int samples = bcf_hdr_nsamples(in->hdr);
  int ploidy = n / samples;
  for (int i = 0; i < samples; ++i) {
    int col = layout.column_of[i];
    const int32_t *gt = in->buf + static_cast<size_t>(i) * ploidy;
    for (int j = 0; j < ploidy && gt[j] != bcf_int32_vector_end; ++j) {
      if (bcf_gt_is_missing(gt[j])) continue;
      int allele = bcf_gt_allele(gt[j]);
      if (allele > 1)
        in->malformed("the genotype of sample " + sample_name(in, i) + " names allele " +
                      std::to_string(allele) + " of a record with 2 alleles");
      if (col < 0) continue;
      if (allele == 0) ++snp.ref_count[col];
      else ++snp.alt_count[col];
    }
  }
  return true;
}

// Reads of REF and ALT from the AD field of every mapped sample (each a
// pool); a missing AD counts as no reads. Returns false when the record has
// no AD values at all.
bool tally_reads(VcfInput *in, const Layout &layout, Snp &snp) {
  int n = bcf_get_format_int32(in->hdr, in->rec, "AD", &in->buf, &in->nbuf);
  if (n <= 0) return false;
  int samples = bcf_hdr_nsamples(in->hdr);
  int per = n / samples;
  bool any = false;
  for (int i = 0; i < samples; ++i) {
    const int32_t *ad = in->buf + static_cast<size_t>(i) * per;
    for (int j = 0; j < per && ad[j] != bcf_int32_vector_end; ++j) {
      if (ad[j] == bcf_int32_missing) continue;
      if (ad[j] < 0)
        in->malformed("the AD field of sample " + sample_name(in, i) + " holds a negative count");
      if (per < 2)
        in->malformed("the AD field of sample " + sample_name(in, i) +
                      " holds 1 value where the record has 2 alleles");
      any = true;
    }
    int col = layout.column_of[i];
    if (col < 0 || per < 2) continue;
    if (ad[0] != bcf_int32_missing && ad[0] != bcf_int32_vector_end) snp.ref_count[col] += ad[0];
    if (ad[1] != bcf_int32_missing && ad[1] != bcf_int32_vector_end) snp.alt_count[col] += ad[1];
  }
  return any;
}

}  // namespace

bool next_snp(VcfInput *in, const Layout &layout, Snp &snp, SkipReason &reason) {
  if (!read_record(in)) return false;
  bcf1_t *rec = in->rec;
  if (bcf_unpack(rec, BCF_UN_ALL) < 0) in->malformed("htslib cannot unpack the record");
  const char *chrom = bcf_seqname(in->hdr, rec);
  if (!chrom) in->malformed("the record names no known chromosome");
  if (rec->pos < 0) in->malformed("POS must be a positive integer");
  snp.record = in->record;
  snp.chrom = chrom;
  snp.pos = static_cast<long long>(rec->pos) + 1;
  in->last_good = snp.chrom + ":" + std::to_string(snp.pos);

  if (rec->n_allele > 2) {
    reason = MULTIALLELIC;
    return true;
  }
  if (rec->n_allele < 2 || !is_base(rec->d.allele[0]) || !is_base(rec->d.allele[1])) {
    reason = NOT_SNP;
    return true;
  }
  snp.id = rec->d.id;
  snp.ref = rec->d.allele[0];
  snp.alt = rec->d.allele[1];
  snp.ref_count.assign(layout.pops.size(), 0);
  snp.alt_count.assign(layout.pops.size(), 0);
  bool has_data = in->pooled ? tally_reads(in, layout, snp) : tally_genotypes(in, layout, snp);
  long total = 0;
  for (size_t c = 0; c < layout.pops.size(); ++c) total += snp.ref_count[c] + snp.alt_count[c];
  reason = has_data && total > 0 ? KEPT : NO_DATA;
  return true;
}
