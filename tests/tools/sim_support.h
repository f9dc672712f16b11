// Shared helpers of the simulator tests: running peltra2-simulate in a
// scratch directory and splitting its text files into lines and fields.
#ifndef PELTRA_TESTS_TOOLS_SIM_SUPPORT_H
#define PELTRA_TESTS_TOOLS_SIM_SUPPORT_H

#include <cstdlib>
#include <string>
#include <vector>

#include "support/cli.h"

namespace simtest {

inline std::string simulator() { return std::string(PELTRA_TOOLS_DIR) + "/peltra2-simulate"; }

// Runs the simulator with `args` (shell words) in `dir`.
inline testsupport::RunResult simulate(const std::string &args, const std::string &dir) {
  return testsupport::run_shell("'" + simulator() + "' " + args, dir);
}

// The lines of `text`, without their line feeds; a last line without a
// line feed is kept.
inline std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The fields of a line split at every single tab (empty fields are kept, so
// a doubled or trailing tab shows up as an empty field).
inline std::vector<std::string> fields_of(const std::string &line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t end = line.find('\t', start);
    fields.push_back(
        line.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return fields;
}

// A file of tab-separated reals as rows of values.
inline std::vector<std::vector<double>> read_table(const std::string &path) {
  std::vector<std::vector<double>> rows;
  for (const std::string &line : lines_of(testsupport::read_file(path))) {
    std::vector<double> row;
    for (const std::string &f : fields_of(line)) row.push_back(std::strtod(f.c_str(), nullptr));
    rows.push_back(row);
  }
  return rows;
}

// A count file as loci: for each locus the first and second allele's counts.
struct CountLocus {
  std::vector<int> first, second;
};

inline std::vector<CountLocus> read_counts(const std::string &path) {
  std::vector<CountLocus> loci;
  std::vector<std::vector<double>> rows = read_table(path);
  for (size_t i = 0; i + 1 < rows.size(); i += 2) {
    CountLocus l;
    for (double v : rows[i]) l.first.push_back(static_cast<int>(v));
    for (double v : rows[i + 1]) l.second.push_back(static_cast<int>(v));
    loci.push_back(l);
  }
  return loci;
}

}  // namespace simtest

#endif
