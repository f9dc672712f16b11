// Helpers for tests that run programs: a scratch directory that removes
// itself, and a runner that captures standard output, standard error and
// the exit status.
#ifndef PELTRA_TESTS_SUPPORT_CLI_H
#define PELTRA_TESTS_SUPPORT_CLI_H

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

inline std::string read_file(const std::string &path) {
  std::stringstream ss;
  ss << std::ifstream(path, std::ios::binary).rdbuf();
  return ss.str();
}

// A fresh directory under TMPDIR (or /tmp), removed with its content.
class TempDir {
 public:
  TempDir() {
    const char *base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/peltra2-test-XXXXXX";
    if (!mkdtemp(&tmpl[0])) abort();
    path_ = tmpl;
  }
  ~TempDir() { [[maybe_unused]] int rc = system(("rm -rf '" + path_ + "'").c_str()); }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  void write(const std::string &name, const std::string &content) const {
    std::ofstream(file(name), std::ios::binary) << content;
  }
  std::string read(const std::string &name) const { return read_file(file(name)); }
  bool exists(const std::string &name) const {
    struct stat st;
    return stat(file(name).c_str(), &st) == 0;
  }

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `command` through the shell in directory `dir`, standard input empty.
inline RunResult run_shell(const std::string &command, const std::string &dir) {
  TempDir capture;
  std::string full = "cd '" + dir + "' && ( " + command + " ) </dev/null >'" + capture.file("out") + "' 2>'" +
                     capture.file("err") + "'";
  int rc = system(full.c_str());
  RunResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : WIFSIGNALED(rc) ? 128 + WTERMSIG(rc) : -1;
  r.out = capture.read("out");
  r.err = capture.read("err");
  return r;
}

#ifdef PELTRA2_BIN
// Runs the peltra2 binary with `args` (shell words) in directory `dir`.
inline RunResult run_peltra2(const std::string &args, const std::string &dir) {
  return run_shell(std::string("'") + PELTRA2_BIN + "' " + args, dir);
}
#endif

}  // namespace testsupport

#endif
