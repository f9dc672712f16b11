// The files a conversion writes: the count file, the SNP table, and at the
// end the population names, their copies (or reads) and the pool sizes.
// Each is written under a temporary name in its own folder and renamed into
// place only when the whole conversion has succeeded: a failed or
// interrupted run leaves none of them, and the files of an earlier run stay
// as they were (common/tool_files.h).
#include <cstdio>
#include <string>
#include <vector>

#include "common/tool_files.h"
#include "convert/convert.h"

struct Output {
  std::string prefix;
  bool pooled = false;
  FILE *counts = nullptr;
  FILE *snps = nullptr;
  long written = 0;
  std::vector<long> min, max;   // per column, over the written SNPs
  std::vector<double> sum;
};

namespace {

// One line of tab-separated counts, as the count file reader takes them.
void write_row(FILE *f, const std::vector<long> &v) {
  for (size_t c = 0; c < v.size(); ++c) std::fprintf(f, c ? "\t%ld" : "%ld", v[c]);
  std::fputc('\n', f);
}

}  // namespace

Output *open_output(const ConvertOptions &o, const Layout &layout) {
  Output *out = new Output;
  out->prefix = o.out;
  out->pooled = o.pooled;
  out->counts = whole_output_open(o.out + ".counts");
  out->snps = whole_output_open(o.out + ".snps");
  out->min.assign(layout.pops.size(), 0);
  out->max.assign(layout.pops.size(), 0);
  out->sum.assign(layout.pops.size(), 0.0);
  std::fputs("snp\tchrom\tpos\tid\tref\talt", out->snps);
  for (const std::string &p : layout.pops)
    std::fprintf(out->snps, "\t%s_%s", o.pooled ? "reads" : "copies", p.c_str());
  std::fputc('\n', out->snps);
  return out;
}

void write_snp(Output *out, const Snp &snp) {
  ++out->written;
  write_row(out->counts, snp.ref_count);
  write_row(out->counts, snp.alt_count);
  std::fprintf(out->snps, "%ld\t%s\t%lld\t%s\t%s\t%s", out->written, snp.chrom.c_str(), snp.pos,
               snp.id.c_str(), snp.ref.c_str(), snp.alt.c_str());
  for (size_t c = 0; c < snp.ref_count.size(); ++c) {
    long n = snp.ref_count[c] + snp.alt_count[c];
    std::fprintf(out->snps, "\t%ld", n);
    if (out->written == 1 || n < out->min[c]) out->min[c] = n;
    if (out->written == 1 || n > out->max[c]) out->max[c] = n;
    out->sum[c] += static_cast<double>(n);
  }
  std::fputc('\n', out->snps);
}

void close_output(Output *out, const Layout &layout) {
  whole_output_close(out->counts, out->prefix + ".counts");
  whole_output_close(out->snps, out->prefix + ".snps");

  std::string name = out->prefix + ".names";
  FILE *f = whole_output_open(name);
  for (const std::string &p : layout.pops) std::fprintf(f, "%s\n", p.c_str());
  whole_output_close(f, name);

  name = out->prefix + ".copies";
  f = whole_output_open(name);
  const char *unit = out->pooled ? "reads" : "copies";
  std::fprintf(f, "column\tpopulation\tsamples\t%s_min\t%s_mean\t%s_max%s\n", unit, unit, unit,
               out->pooled ? "\tpool_size" : "");
  for (size_t c = 0; c < layout.pops.size(); ++c) {
    double mean = out->written ? out->sum[c] / static_cast<double>(out->written) : 0.0;
    std::fprintf(f, "%zu\t%s\t%d\t%ld\t%.2f\t%ld", c + 1, layout.pops[c].c_str(),
                 layout.samples_in[c], out->min[c], mean, out->max[c]);
    if (out->pooled) std::fprintf(f, "\t%ld", layout.pool_size[c]);
    std::fputc('\n', f);
  }
  whole_output_close(f, name);

  if (out->pooled) {
    name = out->prefix + ".samplesize";
    f = whole_output_open(name);
    write_row(f, layout.pool_size);
    whole_output_close(f, name);
  }
  delete out;
}

void commit_output() { whole_output_commit_all(); }
