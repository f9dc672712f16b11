// Conversion of option values, each failing with the option's name.
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "simulate/options.h"

long parse_long(const char *opt, const char *arg, long lo, long hi) {
  errno = 0;
  char *end;
  long v = std::strtol(arg, &end, 10);
  if (end == arg || *end != '\0' || errno == ERANGE || v < lo || v > hi)
    sim_fatal("%s: expected an integer from %ld to %ld, got '%s'", opt, lo, hi, arg);
  return v;
}

double parse_double(const char *opt, const char *arg) {
  errno = 0;
  char *end;
  double v = std::strtod(arg, &end);
  if (end == arg || *end != '\0' || errno == ERANGE || !std::isfinite(v))
    sim_fatal("%s: expected a number, got '%s'", opt, arg);
  return v;
}

namespace {

// Splits "a,b,c" at the commas; empty items are kept so they fail to parse.
std::vector<std::string> split_commas(const char *arg) {
  std::vector<std::string> items;
  std::string cur;
  for (const char *p = arg;; ++p) {
    if (*p == ',' || *p == '\0') {
      items.push_back(cur);
      cur.clear();
      if (*p == '\0') break;
    } else {
      cur += *p;
    }
  }
  return items;
}

}  // namespace

void parse_pair(const char *opt, const char *arg, double *a, double *b) {
  std::vector<std::string> items = split_commas(arg);
  if (items.size() != 2)
    sim_fatal("%s: expected two numbers separated by a comma, got '%s'", opt, arg);
  *a = parse_double(opt, items[0].c_str());
  *b = parse_double(opt, items[1].c_str());
}

std::vector<int> parse_int_list(const char *opt, const char *arg, long lo, long hi) {
  std::vector<int> values;
  for (const std::string &item : split_commas(arg))
    values.push_back(static_cast<int>(parse_long(opt, item.c_str(), lo, hi)));
  return values;
}

uint64_t parse_seed(const char *arg) {
  errno = 0;
  char *end;
  unsigned long long v = std::strtoull(arg, &end, 10);
  if (end == arg || *end != '\0' || errno == ERANGE || arg[0] == '-' || arg[0] == '+' ||
      arg[0] == ' ')
    sim_fatal("--seed: expected an integer from 0 to %llu, got '%s'",
              (unsigned long long)UINT64_MAX, arg);
  return v;
}

// One value for every population, or one value repeated.
std::vector<int> per_population(const char *opt, const std::vector<int> &v, int pops) {
  if (v.size() == 1) return std::vector<int>(pops, v[0]);
  if (static_cast<int>(v.size()) != pops)
    sim_fatal("%s: expected 1 or %d values (one per population), got %zu", opt, pops, v.size());
  return v;
}
