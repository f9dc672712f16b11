// The files a conversion writes: the count file, the SNP table, and at the
// end the population names, their copies (or reads) and the pool sizes.
// Each is written under a temporary name in its own folder and renamed into
// place only when the whole conversion has succeeded: a failed or
// interrupted run leaves none of them, and the files of an earlier run stay
// as they were.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

// The files written so far: temporary name and final name. Removed at any
// exit or fatal signal until commit_output has renamed them.
struct Pending {
  std::string temp, name;
};
std::vector<Pending> pending;
// The temporary names as plain strings, for the signal handler.
std::vector<char *> pending_names;

void remove_pending() {
  for (char *t : pending_names) unlink(t);
}

void on_signal(int sig) {
  remove_pending();
  signal(sig, SIG_DFL);
  raise(sig);
}

void watch_pending() {
  static bool watching = false;
  if (watching) return;
  watching = true;
  pending_names.reserve(16);  // no reallocation under the signal handler
  std::atexit(remove_pending);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, on_signal);
}

// Creates name's temporary stand-in next to it, with the permissions a new
// file gets (mkstemp would give 0600).
FILE *create(const std::string &name) {
  watch_pending();
  std::string temp = name + ".tmp-XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) convert_fatal("cannot create %s: %s", name.c_str(), std::strerror(errno));
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  pending.push_back({temp, name});
  pending_names.push_back(strdup(temp.c_str()));
  FILE *f = fdopen(fd, "w");
  if (!f) convert_fatal("cannot create %s: %s", name.c_str(), std::strerror(errno));
  return f;
}

void finish(FILE *f, const std::string &name) {
  bool failed = std::ferror(f) != 0;
  if (std::fclose(f) != 0) failed = true;
  if (failed) convert_fatal("cannot write %s: %s", name.c_str(), std::strerror(errno));
}

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
  out->counts = create(o.out + ".counts");
  out->snps = create(o.out + ".snps");
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
  finish(out->counts, out->prefix + ".counts");
  finish(out->snps, out->prefix + ".snps");

  std::string name = out->prefix + ".names";
  FILE *f = create(name);
  for (const std::string &p : layout.pops) std::fprintf(f, "%s\n", p.c_str());
  finish(f, name);

  name = out->prefix + ".copies";
  f = create(name);
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
  finish(f, name);

  if (out->pooled) {
    name = out->prefix + ".samplesize";
    f = create(name);
    write_row(f, layout.pool_size);
    finish(f, name);
  }
  delete out;
}

void commit_output() {
  for (const Pending &p : pending)
    if (std::rename(p.temp.c_str(), p.name.c_str()) != 0)
      convert_fatal("cannot write %s: %s", p.name.c_str(), std::strerror(errno));
  for (char *t : pending_names) std::free(t);
  pending.clear();
  pending_names.clear();
}
