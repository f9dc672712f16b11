// peltra2-scan-job: one batch of consecutive SNPs of a scan; peltra2-scan runs
// it, directly or through GNU parallel (also on other hosts, --sshloginfile).
//
//   peltra2-scan-job PELTRA2 WORK COUNTS OFFSET FIRST LAST BASE_SEED RECORDS [peltra2 test options...]
//
// Reads SNPs FIRST .. LAST (two lines each) of COUNTS from byte OFFSET on and
// runs "PELTRA2 -t -i snp.counts -o result -r BASE_SEED+I OPTIONS" for each, one
// after another, in the scratch folder WORK/run/FIRST (removed at the end).
// Each SNP whose run has ended gets one line appended to WORK/done/RECORDS:
//   I<TAB>ok<TAB>STATISTICS       the run completed; its result fields, tab-separated
//   I<TAB>failed<TAB>MESSAGE      peltra2 stopped on this SNP (its hint, else its message), or crashed
// With -f the frequency file of SNP I is kept as WORK/freqs/I.freqs.
// Exits 0 once every SNP of the batch is recorded. Otherwise (stopped by HUP,
// INT or TERM, the scan gone, peltra2 stopped by a signal that stops scans,
// peltra2 not runnable, a file problem) it exits non-zero, and the SNPs not
// recorded run again when the scan resumes. A batch run again with the same
// RECORDS (GNU parallel retrying it on another host) skips the SNPs recorded
// there already. When its parent dies (GNU parallel, or the shell it runs
// the job in, killed), the batch stops as on TERM.
//
// A compiled program rather than a shell loop: it starts each run with
// posix_spawn and keeps its files open for the batch, so that a scan costs
// little more than its runs.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/tool_cli.h"
#include "peltra2_version.h"

namespace {

volatile sig_atomic_t stop_signal = 0;

void on_stop(int sig) { stop_signal = sig; }

[[noreturn]] void fail(int status, const std::string &what) {
  fprintf(stderr, "peltra2-scan-job: %s\n", what.c_str());
  exit(status);
}

[[noreturn]] void fail_errno(const std::string &what) { fail(3, what + ": " + strerror(errno)); }

// Argument `name` read whole as a number 0 or more; anything else (a blank,
// other text) is a call that did not come from peltra2-scan.
long long argument_number(const char *name, const char *text) {
  long v;
  if (!whole_number(text, 0, LONG_MAX, &v))
    fail(1, std::string(name) + " '" + text + "' is not a whole number 0 or more");
  return v;
}

// A file the batch appends to and reads back: each run's part is what lies
// past the size it had before the run.
struct Tail {
  int fd = -1;
  off_t start = 0;

  void open_file(const char *name, bool append) {
    fd = open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | (append ? O_APPEND : 0), 0644);
    if (fd < 0) fail_errno(std::string("cannot create ") + name);
  }
  off_t size() const {
    struct stat st;
    return fstat(fd, &st) == 0 ? st.st_size : 0;
  }
  void mark() { start = size(); }
  // What was written since mark(); the next run's part starts after it.
  std::string since_mark() {
    off_t end = size();
    std::string s(static_cast<size_t>(end - start), '\0');
    ssize_t got = s.empty() ? 0 : pread(fd, &s[0], s.size(), start);
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    start = end;
    return s;
  }
};

// The first whole line of a run's result: the text after its first field.
bool result_fields(const std::string &text, std::string &fields) {
  size_t nl = text.find('\n');
  if (nl == std::string::npos) return false;
  std::string line = text.substr(0, nl);
  size_t tab = line.find('\t');
  fields = tab == std::string::npos ? line : line.substr(tab + 1);
  return true;
}

// peltra2's hint on why it stopped: the last line of its standard error
// that starts "peltra2: " and is not a warning, without that start and with
// the run's count file put in the scan's terms (the scan's count file, SNP
// i and its lines there); "" when there is none.
std::string stop_hint(const std::string &err, const std::string &counts, long i) {
  std::string hint;
  for (size_t pos = 0; pos < err.size();) {
    size_t nl = err.find('\n', pos);
    if (nl == std::string::npos) nl = err.size();
    std::string line = err.substr(pos, nl - pos);
    pos = nl + 1;
    if (line.compare(0, 9, "peltra2: ") == 0 && line.compare(9, 9, "warning: ") != 0) hint = line.substr(9);
  }
  const std::string own = "count file \"snp.counts\"";
  size_t at = hint.find(own);
  if (at == std::string::npos) return hint;
  std::string scan = "count file \"" + counts + "\"";
  std::string rest = hint.substr(at + own.size());
  const std::string snp = ", SNP 1 (lines 1-2)", line = ", line ";
  if (rest.compare(0, snp.size(), snp) == 0) {
    rest = ", SNP " + std::to_string(i) + " (lines " + std::to_string(2 * i - 1) + "-" + std::to_string(2 * i) + ")" +
           rest.substr(snp.size());
  } else if (rest.compare(0, line.size(), line) == 0) {
    size_t digits = rest.find_first_not_of("0123456789", line.size());
    long n = atol(rest.c_str() + line.size());
    rest = line + std::to_string(2 * (i - 1) + n) + rest.substr(digits == std::string::npos ? rest.size() : digits);
  }
  return hint.substr(0, at) + scan + rest;
}

// The last non-blank line of a run's messages, tabs made spaces; lines of
// peltra2's own hints ("peltra2: ...", naming this job's working files) are
// passed over when asked.
std::string last_line(const std::string &text, bool skip_hints) {
  std::string last;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    pos = nl + 1;
    if (line.find_first_not_of(" \t\r\v\f") == std::string::npos) continue;
    if (skip_hints && line.compare(0, 9, "peltra2: ") == 0) continue;
    last = line;
  }
  for (char &c : last)
    if (c == '\t') c = ' ';
  return last;
}

// The SNPs recorded in a records file already; a last line cut short (a
// crash while writing it) is cut off, so that appended records stay whole.
std::set<long> recorded_snps(const std::string &path) {
  std::set<long> done;
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return done;
  std::string text;
  char buf[1 << 16];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  size_t end = text.rfind('\n');
  end = end == std::string::npos ? 0 : end + 1;
  if (end < text.size() && ftruncate(fd, static_cast<off_t>(end)) != 0) fail_errno("cannot repair " + path);
  close(fd);
  for (size_t pos = 0; pos < end;) {
    size_t nl = text.find('\n', pos);
    done.insert(atol(text.c_str() + pos));
    pos = nl + 1;
  }
  return done;
}

bool read_line(FILE *in, std::string &line) {
  line.clear();
  int c;
  while ((c = getc(in)) != EOF && c != '\n') line += static_cast<char>(c);
  return c == '\n' || !line.empty();
}

void write_all(int fd, const std::string &s, const char *name) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail_errno(std::string("cannot write ") + name);
    done += static_cast<size_t>(n);
  }
}

}  // namespace

int main(int argc, char **argv) {
  const char *usage = "usage: peltra2-scan-job PELTRA2 WORK COUNTS OFFSET FIRST LAST BASE_SEED RECORDS [OPTIONS...]\n";
  if (argc == 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
    printf("%s\nRuns SNPs FIRST to LAST of COUNTS (from byte OFFSET on) through PELTRA2 -t, one\n"
           "after another, and appends one record per SNP to WORK/done/RECORDS. peltra2-scan\n"
           "starts it; it is not meant to be run by hand.\n", usage);
    return 0;
  }
  if (argc == 2 && !strcmp(argv[1], "--version")) {
    printf("peltra2-scan-job %s\n", PELTRA2_VERSION_LINE);
    return 0;
  }
  if (argc < 9) {
    fprintf(stderr, "peltra2-scan-job: %d arguments where 8 or more are needed (PELTRA2 WORK COUNTS OFFSET "
            "FIRST LAST BASE_SEED RECORDS); peltra2-scan starts this program: run peltra2-scan instead\n",
            argc - 1);
    return 1;
  }
  const char *bin = argv[1];
  const std::string work = argv[2];
  const char *counts = argv[3];
  const long long offset = argument_number("OFFSET", argv[4]);
  const long first = static_cast<long>(argument_number("FIRST", argv[5]));
  const long last = static_cast<long>(argument_number("LAST", argv[6]));
  const long long base = argument_number("BASE_SEED", argv[7]);
  if (first < 1 || last < first) fail(1, "FIRST and LAST must satisfy 1 <= FIRST <= LAST");
  // The records file lies in WORK/done: a bare name, so no other file is appended to.
  if (!*argv[8] || std::strchr(argv[8], '/') || !strcmp(argv[8], ".") || !strcmp(argv[8], ".."))
    fail(1, std::string("RECORDS '") + argv[8] + "' must be a file name without a folder");
  const std::string records = work + "/done/" + argv[8];
  std::string main_stat = "bf";
  bool xtx = false, keep_freqs = false;
  for (int a = 9; a < argc; a++) {
    if (!strcmp(argv[a], "-z") || !strcmp(argv[a], "-x")) main_stat = "cor";
    if (!strcmp(argv[a], "-X")) xtx = true;
    if (!strcmp(argv[a], "-f")) keep_freqs = true;
  }

  struct sigaction sa {};
  sa.sa_handler = on_stop;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGHUP, SIGINT, SIGTERM}) sigaction(sig, &sa, nullptr);
  const pid_t parent = getppid();
  // Stop with the parent, however it ends; it may have ended already.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent || parent == 1) exit(3);

  const std::string run = work + "/run/" + std::to_string(first);
  std::error_code ec;
  std::filesystem::remove_all(run, ec);
  std::filesystem::create_directories(run, ec);
  if (ec || chdir(run.c_str()) != 0) fail(3, "cannot make " + run);

  FILE *in = fopen(counts, "re");  // "e": closed on exec
  if (!in || fseeko(in, static_cast<off_t>(offset), SEEK_SET) != 0) fail_errno(std::string("cannot read ") + counts);
  // The scan's lock is inherited and stays open: every descriptor of ours is
  // closed on exec, and none of them is the lock's.
  const std::set<long> done = recorded_snps(records);
  int rec_fd = open(records.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (rec_fd < 0) fail_errno("cannot open " + records);
  Tail res, rx, out, err;
  res.open_file(("result." + main_stat).c_str(), false);
  rx.open_file("result.xtx", false);
  out.open_file("out", true);
  err.open_file("err", true);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out.fd, 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd, 2);
  // peltra2 runs with the stop signals at their defaults, whatever this job
  // inherited, so that a signal to the job's process group stops it too.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  // The run's command line; only the seed changes from SNP to SNP.
  const int kSeedArg = 7;
  std::vector<char *> args = {const_cast<char *>(bin), const_cast<char *>("-t"), const_cast<char *>("-i"),
                              const_cast<char *>("snp.counts"), const_cast<char *>("-o"),
                              const_cast<char *>("result"), const_cast<char *>("-r"), nullptr};
  args.insert(args.end(), argv + 9, argv + argc);
  args.push_back(nullptr);

  std::string a, b;
  for (long i = first; i <= last; i++) {
    // Stopped, or the scan gone (killed hard): stop; the lock held until then
    // keeps a resumed scan waiting.
    if (stop_signal) exit(128 + stop_signal);
    if (getppid() != parent) exit(3);
    if (!read_line(in, a) || !read_line(in, b))
      fail(3, std::string(counts) + " ends before SNP " + std::to_string(i));
    if (done.count(i)) continue;
    {
      int fd = open("snp.counts", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) fail_errno("cannot write snp.counts");
      write_all(fd, a + "\n" + b + "\n", "snp.counts");
      close(fd);
    }
    for (Tail *t : {&res, &rx, &out, &err}) t->mark();

    std::string seed = std::to_string(base + i);
    args[kSeedArg] = &seed[0];
    pid_t pid;
    int spawn_error = posix_spawnp(&pid, bin, &actions, &attr, args.data(), environ);
    if (spawn_error) fail(spawn_error == ENOENT ? 127 : 126, std::string("cannot run ") + bin);
    int status;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) fail_errno("cannot wait for peltra2");
      // Stopped while peltra2 runs: stop it too; its SNP is not recorded.
      if (stop_signal) kill(pid, SIGTERM);
    }
    if (stop_signal) exit(128 + stop_signal);

    std::string rec;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      std::string fields, x;
      if (!result_fields(res.since_mark(), fields)) {
        rec = "failed\tpeltra2 wrote no result line";
      } else {
        if (!fields.empty() && fields.back() == '\t') fields.pop_back();
        rec = "ok\t" + fields;
        if (xtx) {
          if (result_fields(rx.since_mark(), x))
            rec += "\t" + x;
          else
            rec = "failed\tpeltra2 wrote no XtX line";
        }
      }
      struct stat st;
      if (keep_freqs && stat("snp.counts.freqs", &st) == 0 && st.st_size > 0) {
        const std::string dest = work + "/freqs/" + std::to_string(i) + ".freqs";
        if (rename("snp.counts.freqs", dest.c_str()) != 0) fail_errno("cannot move the frequencies to " + dest);
      }
    } else if (WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127)) {
      fail(WEXITSTATUS(status), std::string("cannot run ") + bin);
    } else if (WIFSIGNALED(status)) {
      int sig = WTERMSIG(status);
      // Signals that stop a scan leave the SNP unrecorded.
      if (sig == SIGHUP || sig == SIGINT || sig == SIGQUIT || sig == SIGKILL || sig == SIGPIPE || sig == SIGTERM)
        exit(128 + sig);
      rec = "failed\tpeltra2 ended by signal " + std::to_string(sig);
    } else {
      // peltra2 explains a terse fatal message with a hint on standard
      // error; it prints the message itself on standard output, the
      // numerics and the random library theirs on standard error.
      std::string err_text = err.since_mark();
      std::string msg = stop_hint(err_text, counts, i);
      for (char &c : msg)
        if (c == '\t') c = ' ';
      if (msg.empty()) msg = last_line(err_text, true);
      if (msg.empty()) msg = last_line(out.since_mark(), false);
      if (msg.empty()) msg = "peltra2 exited with status " + std::to_string(WEXITSTATUS(status));
      // Every file of the run is in its scratch folder: say which disk.
      if (msg.find(strerror(ENOSPC)) != std::string::npos) msg += " (in the work folder " + work + ")";
      rec = "failed\t" + msg;
    }
    // One write per record: a record is whole or, after a crash, a last line
    // without its line break that the scan ignores.
    write_all(rec_fd, std::to_string(i) + "\t" + rec + "\n", records.c_str());
    // The run's output is not needed any more: keep the files small.
    for (Tail *t : {&out, &err})
      if (t->size() > (1 << 20) && ftruncate(t->fd, 0) != 0) fail_errno("cannot empty a message file");
  }
  fclose(in);
  if (chdir(work.c_str()) == 0) std::filesystem::remove_all(run, ec);
  return 0;
}
