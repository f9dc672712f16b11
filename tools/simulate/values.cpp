// Conversion of option values, each failing with the option's name.

#include <cmath>

#include "simulate/options.h"

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
    tool_fail("option %s: '%s' is not two numbers separated by a comma", opt, arg);
  *a = option_real(opt, items[0].c_str(), -HUGE_VAL, HUGE_VAL);
  *b = option_real(opt, items[1].c_str(), -HUGE_VAL, HUGE_VAL);
}

std::vector<int> parse_int_list(const char *opt, const char *arg, long lo, long hi) {
  std::vector<int> values;
  for (const std::string &item : split_commas(arg))
    values.push_back(static_cast<int>(option_long(opt, item.c_str(), lo, hi)));
  return values;
}

// One value for every population, or one value repeated.
std::vector<int> per_population(const char *opt, const std::vector<int> &v, int pops) {
  if (v.size() == 1) return std::vector<int>(pops, v[0]);
  if (static_cast<int>(v.size()) != pops)
    tool_fail("option %s: %zu values; give 1 or %d (one per population)", opt, v.size(), pops);
  return v;
}
