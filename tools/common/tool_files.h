// The files a tool's run names: no output may be an input or another output
// of the same run, and every output is written whole.
#ifndef PELTRA_TOOLS_COMMON_TOOL_FILES_H
#define PELTRA_TOOLS_COMMON_TOOL_FILES_H

#include <cstdio>
#include <string>
#include <vector>

// The inputs and outputs of one run, each with the words that name it in a
// message ("--map d.names", "--out d (d.names)").
class RunFiles {
 public:
  // An input read from `path`; "-" is standard input (when it is a file).
  void input(const std::string &label, const std::string &path);
  // An output to be written to `path`; `option` is what to rename. A
  // folder (`folder`) may exist already; a file must be one that can be
  // made or replaced.
  void output(const std::string &label, const std::string &option, const std::string &path,
              bool folder = false);
  // The first output that is the same file as an input or an earlier
  // output, as a message; "" when there is none. Files are compared by
  // device and inode (an output not there yet by its folder's and its
  // name), so "..", symbolic links and hard links count.
  std::string clash() const;
  // Fails with clash()'s message, if any, for an output file that cannot
  // be made (a folder of that name, no such folder, no right to write
  // there) and for an output folder that is a file, so that no run fails
  // for it after its work.
  void refuse_clashes() const;

 private:
  struct Entry {
    std::string label, option, path;
    bool output, folder;
  };
  std::vector<Entry> entries_;
};

// Creates a temporary file next to `name` (same folder, so that a rename
// puts it in place) with the mode `name` has if it exists, else the mode a
// new file gets under the umask. Any exit or fatal signal removes it until
// it is committed. Fails naming `name` when it cannot.
FILE *whole_output_open(const std::string &name);

// Closes a file from whole_output_open, failing with the name if anything
// was not written; with `commit`, puts it in place at once.
void whole_output_close(FILE *f, const std::string &name, bool commit = false);

// Puts every closed, not yet committed output in place.
void whole_output_commit_all();

#endif
