// Reading a VCF or BCF file record by record through htslib. Text records
// are read as lines and parsed here, so that a malformed one can be shown
// with its line number and text, and so that a short line is caught.
#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/kseq.h>
#include <htslib/kstring.h>
#include <htslib/vcf.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "convert/convert.h"
#include "convert/vcf_record.h"

namespace {

// Characters of a record's text quoted in an error message.
const size_t QUOTED_CHARS = 100;

std::string quoted(const std::string &text) {
  if (text.size() <= QUOTED_CHARS) return "'" + text + "'";
  return "'" + text.substr(0, QUOTED_CHARS) + "...'";
}

// What htslib says about a text record it cannot parse: the record is
// parsed once more with standard error sent to a scratch file, whose last
// line is htslib's message.
std::string htslib_message(const std::string &raw, bcf_hdr_t *hdr) {
  FILE *scratch = std::tmpfile();
  if (!scratch) return "";
  std::fflush(stderr);
  int saved = dup(STDERR_FILENO);
  if (saved < 0 || dup2(fileno(scratch), STDERR_FILENO) < 0) {
    std::fclose(scratch);
    return "";
  }
  kstring_t s = {0, 0, nullptr};
  kputsn(raw.data(), raw.size(), &s);
  bcf1_t *rec = bcf_init();
  vcf_parse(&s, hdr, rec);
  bcf_destroy(rec);
  free(s.s);
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::string text;
  std::rewind(scratch);
  for (int c; (c = std::fgetc(scratch)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(scratch);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  size_t nl = text.rfind('\n');
  return nl == std::string::npos ? text : text.substr(nl + 1);
}

// Whether a compressed text input broke off in its current line: the
// decoder failed, or the input ends right after the line without the
// end-of-file block that every complete bgzipped file has.
bool cut_short(htsFile *fp) {
  if (!fp->is_bgzf) return false;
  const BGZF *z = fp->fp.bgzf;
  if (z->errcode) return true;
  int ret = hts_getline(fp, KS_SEP_LINE, &fp->line);
  if (ret < -1 || z->errcode) return true;
  return ret == -1 && z->is_compressed && !z->is_gzip && !z->last_block_eof;
}

}  // namespace

std::string VcfInput::where() const {
  if (text) return name + ", line " + std::to_string(static_cast<long long>(fp->lineno));
  std::string at = name + ", record " + std::to_string(record);
  if (!last_good.empty()) at += " (after " + last_good + ")";
  return at;
}

void VcfInput::malformed(const std::string &problem) const {
  if (text && cut_short(fp))
    tool_fail("%s ends early: the compressed data break off in line %lld, so the file is "
              "truncated (copy or download it again)",
                  name.c_str(), static_cast<long long>(fp->lineno));
  if (text)
    tool_fail("%s: %s: %s", where().c_str(), problem.c_str(), quoted(raw).c_str());
  tool_fail("%s: %s", where().c_str(), problem.c_str());
}

VcfInput *open_vcf(const ConvertOptions &o) {
  VcfInput *in = new VcfInput;
  in->name = o.vcf == "-" ? "standard input" : o.vcf;
  in->pooled = o.pooled;
  // htslib's own lines on a failed open lack the tool's name and are told
  // below; it speaks again after, where its words add to ours.
  const htsLogLevel level = hts_get_log_level();
  hts_set_log_level(HTS_LOG_OFF);
  in->fp = hts_open(o.vcf.c_str(), "r");
  const int open_errno = errno;
  hts_set_log_level(level);
  errno = open_errno;
  // htslib fails with ENOEXEC on data it does not recognise at all.
  if (!in->fp && errno == ENOEXEC)
    tool_fail("%s is not a VCF or BCF file (plain, gzipped or bgzipped)", in->name.c_str());
  if (!in->fp) tool_fail("cannot open %s: %s", in->name.c_str(), std::strerror(errno));
  const htsFormat *fmt = hts_get_format(in->fp);
  if (fmt->format != vcf && fmt->format != bcf)
    tool_fail("%s is not a VCF or BCF file (htslib sees: %s)", in->name.c_str(),
              hts_format_description(fmt));
  in->text = fmt->format == vcf;
  // A bgzipped file cut at a block boundary reads without error; its missing
  // end-of-file marker is the only sign. Standard input cannot be checked.
  if (fmt->compression == bgzf && o.vcf != "-") {
    if (hts_check_EOF(in->fp) == 0)
      tool_fail("%s is truncated: its end-of-file marker is missing", in->name.c_str());
  }
  in->hdr = bcf_hdr_read(in->fp);
  if (!in->hdr)
    tool_fail("%s: cannot read the VCF header (htslib's message is on standard error)",
              in->name.c_str());
  if (bcf_hdr_nsamples(in->hdr) == 0) tool_fail("%s has no samples", in->name.c_str());
  in->rec = bcf_init();
  return in;
}

std::vector<std::string> vcf_samples(const VcfInput *in) {
  std::vector<std::string> names;
  for (int i = 0; i < bcf_hdr_nsamples(in->hdr); ++i) names.push_back(in->hdr->samples[i]);
  return names;
}

// At the end of a bgzipped input, whether its last block was the empty
// end-of-file block; a stream cut at a block boundary ends without it.
void check_complete(const VcfInput *in) {
  const htsFile *fp = in->fp;
  if (hts_get_format(in->fp)->compression != bgzf || !fp->is_bgzf) return;
  if (!fp->fp.bgzf->last_block_eof)
    tool_fail("%s is truncated: it ends without its end-of-file marker (after record %ld)",
              in->name.c_str(), in->record);
}

bool read_record(VcfInput *in) {
  if (!in->text) {
    int ret = bcf_read(in->fp, in->hdr, in->rec);
    if (ret == -1) {
      check_complete(in);
      return false;
    }
    ++in->record;
    if (ret < -1 || (in->rec->errcode & ~(BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF)))
      in->malformed("cannot read the record: the file is truncated or corrupt (htslib's message "
                    "is on standard error)");
    return true;
  }
  kstring_t *line = &in->fp->line;
  for (;;) {
    int ret = hts_getline(in->fp, KS_SEP_LINE, line);
    if (ret == -1) {
      check_complete(in);
      return false;
    }
    if (ret < -1)
      tool_fail("%s, after line %lld: cannot read on: the file is truncated or corrupt",
                in->name.c_str(), static_cast<long long>(in->fp->lineno));
    while (line->l && line->s[line->l - 1] == '\r') line->s[--line->l] = '\0';
    if (line->l) break;
  }
  ++in->record;
  in->raw.assign(line->s, line->l);
  size_t columns = 1;
  for (char c : in->raw) columns += c == '\t';
  size_t expected = 9 + static_cast<size_t>(bcf_hdr_nsamples(in->hdr));
  if (columns != expected)
    in->malformed(std::to_string(columns) + (columns == 1 ? " column" : " columns") +
                  " where the header has " + std::to_string(expected));
  if (vcf_parse(line, in->hdr, in->rec) < 0 ||
      (in->rec->errcode & ~(BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF))) {
    std::string msg = htslib_message(in->raw, in->hdr);
    in->malformed("htslib cannot parse the record" + (msg.empty() ? "" : " (" + msg + ")"));
  }
  return true;
}

void close_vcf(VcfInput *in) {
  free(in->buf);
  bcf_destroy(in->rec);
  bcf_hdr_destroy(in->hdr);
  if (hts_close(in->fp) != 0) tool_fail("%s: error while closing the input", in->name.c_str());
  delete in;
}
