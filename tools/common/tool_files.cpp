#include "common/tool_files.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/tool_cli.h"

namespace {

// Where a path leads: the file's device and inode, or for a name not there
// yet its folder's and the name itself.
struct Identity {
  bool known = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::string leaf;
  bool operator==(const Identity &o) const {
    return known && o.known && dev == o.dev && ino == o.ino && leaf == o.leaf;
  }
};

// An input not there has no identity: opening it fails anyway.
Identity identify(const std::string &path, bool may_be_new) {
  Identity id;
  struct stat st;
  bool is_stdin = path == "-";
  if (is_stdin ? fstat(0, &st) == 0 && S_ISREG(st.st_mode) : stat(path.c_str(), &st) == 0) {
    id.known = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    return id;
  }
  if (is_stdin || !may_be_new) return id;
  size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (stat(folder.c_str(), &st) != 0) return id;
  id.known = true;
  id.dev = st.st_dev;
  id.ino = st.st_ino;
  id.leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  return id;
}

}  // namespace

void RunFiles::input(const std::string &label, const std::string &path) {
  entries_.push_back({label, "", path, false, false});
}

void RunFiles::output(const std::string &label, const std::string &option, const std::string &path,
                      bool folder) {
  entries_.push_back({label, option, path, true, folder});
}

std::string RunFiles::clash() const {
  std::vector<Identity> ids;
  for (const Entry &e : entries_) ids.push_back(identify(e.path, e.output));
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (!entries_[i].output) continue;
    for (size_t j = 0; j < entries_.size(); ++j) {
      if (j == i || (entries_[j].output && j > i) || !(ids[i] == ids[j])) continue;
      return entries_[i].label + " is the same file as " + entries_[j].label + ": give " +
             entries_[i].option + " another name";
    }
  }
  return "";
}

void RunFiles::refuse_clashes() const {
  std::string message = clash();
  if (!message.empty()) tool_fail("%s", message.c_str());
  for (const Entry &e : entries_) {
    if (!e.output) continue;
    struct stat st;
    if (e.folder) {
      if (stat(e.path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        tool_fail("%s is a file, not a folder; give %s another name", e.label.c_str(), e.option.c_str());
      continue;
    }
    if (stat(e.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      tool_fail("cannot write %s: %s; give %s another name", e.path.c_str(), std::strerror(EISDIR),
                e.option.c_str());
    size_t slash = e.path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : e.path.substr(0, slash + 1);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
      tool_fail("cannot write %s: %s; give %s another name", e.path.c_str(), std::strerror(errno),
                e.option.c_str());
  }
}

namespace {

struct Pending {
  std::string temp, name;
  bool closed;
};
std::vector<Pending> pending;
// The temporary names as plain strings, for the signal handler; never
// reallocated while a handler may read it.
char **pending_names = nullptr;
size_t pending_capacity = 0;
volatile size_t pending_count = 0;

void remove_pending() {
  for (size_t i = 0; i < pending_count; ++i)
    if (pending_names[i]) unlink(pending_names[i]);
}

void on_signal(int sig) {
  remove_pending();
  signal(sig, SIG_DFL);
  raise(sig);
}

void watch(const std::string &temp) {
  static bool watching = false;
  if (!watching) {
    watching = true;
    std::atexit(remove_pending);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, on_signal);
  }
  if (pending_count == pending_capacity) {
    // A larger copy is filled first and then swapped in, so the handler
    // always sees a whole array.
    size_t cap = pending_capacity ? 2 * pending_capacity : 16;
    char **bigger = static_cast<char **>(std::calloc(cap, sizeof(char *)));
    if (!bigger) tool_fail("out of memory");
    for (size_t i = 0; i < pending_count; ++i) bigger[i] = pending_names[i];
    char **old = pending_names;
    pending_names = bigger;
    pending_capacity = cap;
    std::free(old);
  }
  pending_names[pending_count] = strdup(temp.c_str());
  pending_count = pending_count + 1;
}

// The slot of `temp` stops being removed at exit: it is in place.
void forget(const std::string &temp) {
  for (size_t i = pending_count; i-- > 0;)
    if (pending_names[i] && temp == pending_names[i]) {
      char *t = pending_names[i];
      pending_names[i] = nullptr;
      std::free(t);
      while (pending_count > 0 && pending_names[pending_count - 1] == nullptr)
        pending_count = pending_count - 1;
      return;
    }
}

mode_t new_file_mode() {
  static mode_t mode = 0;
  static bool known = false;
  if (!known) {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
    known = true;
  }
  return mode;
}

void put_in_place(const Pending &p) {
  if (std::rename(p.temp.c_str(), p.name.c_str()) != 0)
    tool_fail("cannot write %s: %s", p.name.c_str(), std::strerror(errno));
  forget(p.temp);
}

}  // namespace

FILE *whole_output_open(const std::string &name) {
  struct stat st;
  mode_t mode = stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_mode & 07777 : new_file_mode();
  std::string temp = name + ".tmp-XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) tool_fail("cannot create %s: %s", name.c_str(), std::strerror(errno));
  watch(temp);
  pending.push_back({temp, name, false});
  // mkstemp makes the file 0600.
  if (fchmod(fd, mode) != 0) tool_fail("cannot create %s: %s", name.c_str(), std::strerror(errno));
  FILE *f = fdopen(fd, "w");
  if (!f) tool_fail("cannot create %s: %s", name.c_str(), std::strerror(errno));
  return f;
}

void whole_output_close(FILE *f, const std::string &name, bool commit) {
  bool failed = std::ferror(f) != 0;
  errno = 0;
  if (std::fclose(f) != 0) failed = true;
  if (failed) tool_fail("cannot write %s: %s", name.c_str(), errno ? std::strerror(errno) : "write error");
  for (size_t i = pending.size(); i-- > 0;) {
    if (pending[i].name != name || pending[i].closed) continue;
    pending[i].closed = true;
    if (commit) {
      put_in_place(pending[i]);
      pending.erase(pending.begin() + static_cast<long>(i));
    }
    return;
  }
}

void whole_output_commit_all() {
  for (const Pending &p : pending)
    if (p.closed) put_in_place(p);
  pending.clear();
}
