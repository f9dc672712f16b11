// The population layout: the map of samples to populations, the column
// order, the pool sizes, and how the VCF's samples fall into the columns.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "convert/convert.h"

namespace {

// Names listed in full in a warning before the list is cut short.
const size_t LISTED_NAMES = 10;

std::string trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \r\n");
  return s.substr(b, e - b + 1);
}

// The non-empty tab-separated fields of every line that is neither blank
// nor a comment, with their 1-based line numbers.
struct Row {
  int line;
  std::vector<std::string> fields;
};

// Every line of the file that is neither blank nor a comment; `used`
// fields of each are read, and a line with more gets a warning (the first
// such line of the file only), naming what the fields are (`what_used`).
std::vector<Row> read_rows(const std::string &path, const char *what, size_t used,
                           const char *what_used) {
  FILE *f = std::fopen(path.c_str(), "r");
  if (!f) tool_fail("cannot open the %s %s: %s", what, path.c_str(), std::strerror(errno));
  std::vector<Row> rows;
  std::string line;
  int number = 0;
  bool warned = false;
  for (;;) {
    int c = std::fgetc(f);
    if (c == '\0') tool_fail("%s, line %d: holds a NUL byte: the %s must be a text file", path.c_str(),
                             number + 1, what);
    if (c != EOF && c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    if (c == EOF && line.empty()) break;
    ++number;
    Row row{number, {}};
    size_t start = 0;
    for (;;) {
      size_t tab = line.find('\t', start);
      std::string field = trim(line.substr(start, tab == std::string::npos ? tab : tab - start));
      if (!field.empty()) row.fields.push_back(field);
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (!row.fields.empty() && row.fields[0][0] != '#') {
      if (row.fields.size() > used && !warned) {
        warned = true;
        std::string first = used == 1 ? "the first" : "the first " + std::to_string(used);
        tool_warn("%s, line %d: %zu fields; only %s (%s) %s used, on this line and on any other",
                  path.c_str(), number, row.fields.size(), first.c_str(), what_used,
                  used == 1 ? "is" : "are");
      }
      rows.push_back(row);
    }
    line.clear();
    if (c == EOF) break;
  }
  if (std::ferror(f)) tool_fail("cannot read the %s %s: %s", what, path.c_str(), std::strerror(errno));
  std::fclose(f);
  return rows;
}

std::string list_names(const std::vector<std::string> &names) {
  std::string s;
  for (size_t i = 0; i < names.size() && i < LISTED_NAMES; ++i) s += (i ? ", " : "") + names[i];
  if (names.size() > LISTED_NAMES) s += ", ...";
  return s;
}

int index_of(const std::vector<std::string> &names, const std::string &name) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int>(i);
  return -1;
}

// Column order: the order file's names, or the map's populations in the
// order of their first appearance.
std::vector<std::string> column_order(const ConvertOptions &o,
                                      const std::vector<std::string> &map_pops) {
  if (o.order.empty()) return map_pops;
  std::vector<std::string> pops;
  for (const Row &r : read_rows(o.order, "order file", 1, "the population name")) {
    const std::string &name = r.fields[0];
    if (index_of(map_pops, name) < 0)
      tool_fail("%s, line %d: population '%s' is not in the map %s", o.order.c_str(), r.line,
                name.c_str(), o.map.c_str());
    if (index_of(pops, name) >= 0)
      tool_fail("%s, line %d: population '%s' is listed twice", o.order.c_str(), r.line,
                name.c_str());
    pops.push_back(name);
  }
  if (pops.empty()) tool_fail("%s: the order file names no population", o.order.c_str());
  std::vector<std::string> left_out;
  for (const std::string &p : map_pops)
    if (index_of(pops, p) < 0) left_out.push_back(p);
  if (!left_out.empty())
    tool_warn("%zu %s of the map %s not in the order file; %s samples are ignored: %s",
              left_out.size(), left_out.size() == 1 ? "population" : "populations",
                 left_out.size() == 1 ? "is" : "are", left_out.size() == 1 ? "its" : "their",
                 list_names(left_out).c_str());
  return pops;
}

std::vector<long> read_pool_sizes(const ConvertOptions &o, const std::vector<std::string> &pops,
                                  const std::vector<std::string> &map_pops) {
  std::vector<long> sizes(pops.size(), 0);
  for (const Row &r : read_rows(o.pool_sizes, "pool-size file", 2, "population, pool size")) {
    const char *file = o.pool_sizes.c_str();
    if (r.fields.size() < 2)
      tool_fail("%s, line %d: 1 field; 2 needed (population name, tab, allele copies in the pool)",
                file, r.line);
    if (index_of(map_pops, r.fields[0]) < 0)
      tool_fail("%s, line %d, field 1: population '%s' is not in the map %s", file, r.line,
                r.fields[0].c_str(), o.map.c_str());
    long n;
    if (!whole_number(r.fields[1].c_str(), 2, 1000000, &n))
      tool_fail("%s, line %d, field 2: '%s' is not a pool size from 2 to 1000000 allele copies",
                file, r.line, r.fields[1].c_str());
    int col = index_of(pops, r.fields[0]);
    if (col < 0) continue;
    if (sizes[col] && sizes[col] != n)
      tool_fail("%s, line %d: population '%s' has two pool sizes", file, r.line,
                r.fields[0].c_str());
    sizes[col] = n;
  }
  for (size_t c = 0; c < pops.size(); ++c)
    if (!sizes[c])
      tool_fail("%s: no pool size for population '%s'", o.pool_sizes.c_str(), pops[c].c_str());
  return sizes;
}

}  // namespace

Layout make_layout(const ConvertOptions &o, const std::vector<std::string> &vcf_samples) {
  std::map<std::string, std::pair<std::string, int>> pop_of;  // sample -> population, line
  std::vector<std::string> map_samples, map_pops;
  for (const Row &r : read_rows(o.map, "population map", 2, "sample, population")) {
    if (r.fields.size() < 2)
      tool_fail("%s, line %d: 1 field; 2 needed (sample name, tab, population name)", o.map.c_str(),
                r.line);
    auto it = pop_of.find(r.fields[0]);
    if (it != pop_of.end()) {
      if (it->second.first != r.fields[1])
        tool_fail("%s, line %d: sample '%s' is already in population '%s' (line %d)",
                  o.map.c_str(), r.line, r.fields[0].c_str(), it->second.first.c_str(),
                      it->second.second);
      continue;
    }
    pop_of[r.fields[0]] = {r.fields[1], r.line};
    map_samples.push_back(r.fields[0]);
    if (index_of(map_pops, r.fields[1]) < 0) map_pops.push_back(r.fields[1]);
  }
  if (map_samples.empty()) tool_fail("%s: the map names no sample", o.map.c_str());

  Layout l;
  l.pops = column_order(o, map_pops);
  if (o.pooled) l.pool_size = read_pool_sizes(o, l.pops, map_pops);
  l.samples_in.assign(l.pops.size(), 0);
  std::vector<std::string> unmapped;
  std::map<std::string, bool> in_vcf;
  for (const std::string &s : vcf_samples) {
    in_vcf[s] = true;
    auto it = pop_of.find(s);
    int col = it == pop_of.end() ? -1 : index_of(l.pops, it->second.first);
    if (it == pop_of.end()) unmapped.push_back(s);
    l.column_of.push_back(col);
    if (col >= 0) ++l.samples_in[col];
  }
  std::vector<std::string> absent;
  for (const std::string &s : map_samples)
    if (!in_vcf.count(s)) absent.push_back(s);
  if (!unmapped.empty())
    tool_warn("%zu of the VCF's %zu samples %s not in the map and %s ignored: %s",
              unmapped.size(), vcf_samples.size(), unmapped.size() == 1 ? "is" : "are",
                 unmapped.size() == 1 ? "is" : "are", list_names(unmapped).c_str());
  if (!absent.empty())
    tool_warn("%zu %s of the map %s not in the VCF: %s", absent.size(),
              absent.size() == 1 ? "sample" : "samples", absent.size() == 1 ? "is" : "are",
                 list_names(absent).c_str());
  for (size_t c = 0; c < l.pops.size(); ++c)
    if (!l.samples_in[c])
      tool_fail("population '%s' has no sample in the VCF %s", l.pops[c].c_str(),
                o.vcf.c_str());
  return l;
}
