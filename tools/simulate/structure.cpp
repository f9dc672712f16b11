#include "simulate/structure.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

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

Matrix read_sigma_file(const std::string &file, int pops) {
  FILE *in = std::fopen(file.c_str(), "r");
  if (!in) sim_fatal("cannot open matrix file %s", file.c_str());
  Matrix a(pops, std::vector<double>(pops, 0.0));
  std::string line;
  for (int row = 0; row < pops; ++row) {
    line.clear();
    int ch;
    while ((ch = std::fgetc(in)) != EOF && ch != '\n') line += static_cast<char>(ch);
    if (ch == EOF && line.empty())
      sim_fatal("matrix file %s ends after line %d, expected %d rows", file.c_str(), row, pops);
    int field = 0;
    size_t pos = 0;
    while (true) {
      pos = line.find_first_not_of(" \t\r", pos);
      if (pos == std::string::npos) break;
      size_t end = line.find_first_of(" \t\r", pos);
      std::string text = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
      ++field;
      if (field <= pops) {
        char *stop;
        double v = std::strtod(text.c_str(), &stop);
        if (*stop != '\0' || !std::isfinite(v))
          sim_fatal("matrix file %s line %d field %d: '%s' is not a number", file.c_str(), row + 1,
                    field, text.c_str());
        a[row][field - 1] = v;
      }
      if (end == std::string::npos) break;
      pos = end;
    }
    if (field != pops)
      sim_fatal("matrix file %s line %d: %d values, expected %d", file.c_str(), row + 1, field,
                pops);
  }
  std::fclose(in);
  for (int i = 0; i < pops; ++i)
    for (int j = 0; j < i; ++j) {
      double x = a[i][j], y = a[j][i];
      if (std::fabs(x - y) > 1e-6 * std::fmax(std::fabs(x), std::fabs(y)))
        sim_fatal("matrix file %s is not symmetric: row %d column %d is %g, row %d column %d is %g",
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
