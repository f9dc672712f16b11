#include "simulate/structure.h"

#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "simulate/options.h"

Matrix tree_sigma(int pops, double bmin, double bmax, Rng &r) {
  Matrix sigma(pops, std::vector<double>(pops, 0.0));
  if (pops == 1) {
    sigma[0][0] = bmin + (bmax - bmin) * rng_uniform(r);
    return sigma;
  }
  // Nodes 0 .. pops-1 are the leaves, later ones the joins; the last node
  // made is the root, which has no branch above it.
  int nodes = 2 * pops - 1;
  std::vector<int> parent(nodes, -1);
  std::vector<double> branch(nodes, 0.0);
  std::vector<int> lineages;
  for (int k = 0; k < pops; ++k) lineages.push_back(k);
  int next = pops;
  while (lineages.size() > 1) {
    uint64_t n = lineages.size();
    uint64_t i = rng_below(r, n);
    uint64_t j = rng_below(r, n - 1);
    if (j >= i) ++j;
    int a = lineages[i], b = lineages[j];
    parent[a] = parent[b] = next;
    branch[a] = bmin + (bmax - bmin) * rng_uniform(r);
    branch[b] = bmin + (bmax - bmin) * rng_uniform(r);
    if (i > j) std::swap(i, j);
    lineages.erase(lineages.begin() + j);
    lineages[i] = next++;
  }
  // Depth of a node: the summed branch lengths from the root down to it.
  std::vector<double> depth(nodes, 0.0);
  for (int v = nodes - 2; v >= 0; --v) depth[v] = depth[parent[v]] + branch[v];
  for (int i = 0; i < pops; ++i) {
    std::vector<char> above_i(nodes, 0);
    for (int v = i; v != -1; v = parent[v]) above_i[v] = 1;
    for (int j = 0; j < pops; ++j) {
      int v = j;
      while (!above_i[v]) v = parent[v];
      sigma[i][j] = depth[v];
    }
  }
  return sigma;
}

int group_of(int k, int pops, int groups) {
  int base = pops / groups, rem = pops % groups;
  int big = rem * (base + 1);  // populations in the larger blocks
  return k < big ? k / (base + 1) : rem + (k - big) / base;
}

Matrix groups_sigma(int pops, int groups, double shared, double priv) {
  Matrix sigma(pops, std::vector<double>(pops, 0.0));
  for (int i = 0; i < pops; ++i)
    for (int j = 0; j < pops; ++j) {
      if (group_of(i, pops, groups) == group_of(j, pops, groups)) sigma[i][j] = shared;
      if (i == j) sigma[i][j] += priv;
    }
  return sigma;
}

namespace {

// The next line of `in` into `line`, without its line feed (and carriage
// return); false at the end. A NUL byte means the file is not text.
bool next_line(FILE *in, const std::string &file, int number, std::string &line) {
  line.clear();
  int ch;
  while ((ch = std::fgetc(in)) != EOF && ch != '\n') {
    if (ch == '\0')
      tool_fail("%s, line %d: holds a NUL byte: the matrix file must be a text file", file.c_str(), number);
    line += static_cast<char>(ch);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ch != EOF || !line.empty();
}

// The values of a line, separated by tabs or spaces.
std::vector<std::string> values_of(const std::string &line) {
  std::vector<std::string> values;
  size_t pos = 0;
  while ((pos = line.find_first_not_of(" \t", pos)) != std::string::npos) {
    size_t end = line.find_first_of(" \t", pos);
    values.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    pos = end;
  }
  return values;
}

}  // namespace

Matrix read_sigma_file(const std::string &file, int pops) {
  FILE *in = std::fopen(file.c_str(), "r");
  if (!in) tool_fail("cannot open the matrix file %s: %s", file.c_str(), std::strerror(errno));
  Matrix a(pops, std::vector<double>(pops, 0.0));
  std::string line;
  bool warned = false;
  for (int row = 0; row < pops; ++row) {
    if (!next_line(in, file, row + 1, line))
      tool_fail("%s: %d line%s; %d needed (one row per population, --pops %d)", file.c_str(), row,
                row == 1 ? "" : "s", pops, pops);
    std::vector<std::string> values = values_of(line);
    if (static_cast<int>(values.size()) < pops)
      tool_fail("%s, line %d: %zu values; %d needed (--pops %d)", file.c_str(), row + 1, values.size(), pops,
                pops);
    if (static_cast<int>(values.size()) > pops && !warned) {
      warned = true;
      tool_warn("%s, line %d: %zu values where --pops is %d; only the first %d are used, on this line and on "
                "any other", file.c_str(), row + 1, values.size(), pops, pops);
    }
    for (int j = 0; j < pops; ++j)
      if (!decimal_number(values[j].c_str(), &a[row][j]))
        tool_fail("%s, line %d, field %d: '%s' is not a number", file.c_str(), row + 1, j + 1,
                  values[j].c_str());
  }
  int more = 0, first_more = 0;
  for (int number = pops + 1; next_line(in, file, number, line); ++number)
    if (!values_of(line).empty() && more++ == 0) first_more = number;
  if (std::ferror(in)) tool_fail("cannot read the matrix file %s: %s", file.c_str(), std::strerror(errno));
  std::fclose(in);
  if (more > 0)
    tool_warn("%s, line %d: %d more line%s than the %d rows of --pops %d; only the first %d are used",
              file.c_str(), first_more, more, more == 1 ? "" : "s", pops, pops, pops);
  for (int i = 0; i < pops; ++i)
    for (int j = 0; j < i; ++j) {
      double x = a[i][j], y = a[j][i];
      if (std::fabs(x - y) > 1e-6 * std::fmax(std::fabs(x), std::fabs(y)))
        tool_fail("%s, line %d, field %d: %g, but line %d, field %d is %g: the matrix must be symmetric",
                  file.c_str(), i + 1, j + 1, x, j + 1, i + 1, y);
      a[j][i] = x;
    }
  return a;
}

bool cholesky_lower(const Matrix &a, Matrix &l) {
  int n = static_cast<int>(a.size());
  l.assign(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j <= i; ++j) {
      double sum = a[i][j];
      for (int k = 0; k < j; ++k) sum -= l[i][k] * l[j][k];
      if (i == j) {
        if (!(sum > 0)) return false;
        l[i][i] = std::sqrt(sum);
      } else {
        l[i][j] = sum / l[j][j];
      }
    }
  }
  return true;
}

void round_to_printed(Matrix &a, const char *fmt) {
  char buf[64];
  for (std::vector<double> &row : a)
    for (double &v : row) {
      std::snprintf(buf, sizeof buf, fmt, v);
      v = std::strtod(buf, nullptr);
    }
}

Matrix environ_variables(int n, int pops, Rng &r) {
  Matrix e(n, std::vector<double>(pops, 0.0));
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < pops; ++k) e[i][k] = rng_normal(r);
    if (pops < 2) continue;
    double mean = 0, ss = 0;
    for (int k = 0; k < pops; ++k) mean += e[i][k];
    mean /= pops;
    for (int k = 0; k < pops; ++k) ss += (e[i][k] - mean) * (e[i][k] - mean);
    double sd = std::sqrt(ss / pops);
    for (int k = 0; k < pops; ++k) e[i][k] = sd > 0 ? (e[i][k] - mean) / sd : 0.0;
  }
  return e;
}
