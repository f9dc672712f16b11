// The catalogue of malformed inputs: cases read from a text file, each a set
// of files, a command line and the outcome the run must have.
//
// Format: one directive per line; '#' starts a comment line. A case starts
// with "case NAME" and runs to the next case. Text arguments take the
// escapes \t \n \r \\ \xHH, and {c*N} stands for N copies of the character
// c (also in names and command lines).
//   fixture NAME TEXT     (before the first case) a file every case starts with
//   file NAME TEXT        a file of the case (replaces a fixture of that name)
//   repeat NAME N TEXT    a file holding TEXT N times
//   random NAME N SEED    a file of N bytes from a fixed-seed generator
//   dir NAME              a directory
//   link NAME TARGET      a symbolic link
//   chmod MODE NAME       permissions (octal), e.g. a read-only directory
//   unless-root           skip the case when running as root (permissions do not bind)
//   run ARGS              the command line after the program name (shell words)
//   status N              the expected exit status
//   last TEXT             the last line of standard output, exactly
//   stdout REGEX          a match somewhere in standard output
//   stderr REGEX          a match somewhere in standard error (without it,
//                         standard error must be empty)
//   result NAME REGEX     the last line of the file NAME matches REGEX whole
//   absent NAME           the run leaves no file NAME
#ifndef PELTRA_TESTS_E2E_CATALOGUE_H
#define PELTRA_TESTS_E2E_CATALOGUE_H

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace catalogue {

// One file-system entry a case creates before its run, in order.
struct Entry {
  enum Kind { FILE, DIR, LINK, CHMOD } kind;
  std::string name;
  std::string content;  // file content, link target or octal mode
};

struct Case {
  std::string name;
  int line = 0;  // line of the catalogue where the case starts
  std::vector<Entry> entries;
  bool unless_root = false;
  std::string args;
  int status = -1;
  bool has_last = false;
  std::string last;
  std::vector<std::string> stdout_patterns;
  std::vector<std::string> stderr_patterns;
  std::vector<std::pair<std::string, std::string>> results;
  std::vector<std::string> absent;
};

struct Catalogue {
  std::map<std::string, std::string> fixtures;
  std::vector<Case> cases;
};

inline int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Expands the escapes and the {c*N} repetitions of a text argument.
inline std::string unescape(const std::string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    if (c == '{' && i + 3 < text.size() && text[i + 2] == '*') {
      size_t close = text.find('}', i);
      if (close != std::string::npos) {
        out.append(std::stoul(text.substr(i + 3, close - i - 3)), text[i + 1]);
        i = close;
        continue;
      }
    }
    if (c != '\\' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    char e = text[++i];
    if (e == 't') out += '\t';
    else if (e == 'n') out += '\n';
    else if (e == 'r') out += '\r';
    else if (e == 'x' && i + 2 < text.size() && hex_digit(text[i + 1]) >= 0 &&
             hex_digit(text[i + 2]) >= 0) {
      out += (char)(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
      i += 2;
    } else {
      out += e;
    }
  }
  return out;
}

// N bytes from a fixed-seed linear congruential generator (the high byte of
// each state), so that every byte value occurs.
inline std::string random_bytes(size_t n, unsigned seed) {
  std::string out(n, '\0');
  unsigned long long x = seed;
  for (size_t i = 0; i < n; i++) {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    out[i] = (char)(x >> 56);
  }
  return out;
}

// Splits "word rest" at the first space.
inline std::pair<std::string, std::string> split_word(const std::string &s) {
  size_t sp = s.find(' ');
  if (sp == std::string::npos) return {s, ""};
  return {s.substr(0, sp), s.substr(sp + 1)};
}

// Parses the catalogue text; a malformed directive is reported in *error
// (with its line) and parsing stops.
inline Catalogue parse(const std::string &text, std::string *error) {
  Catalogue cat;
  Case *cur = nullptr;
  int line_no = 0;
  size_t start = 0;
  auto fail = [&](const std::string &what) {
    *error = "catalogue line " + std::to_string(line_no) + ": " + what;
  };
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    start = nl + 1;
    line_no++;
    if (line.empty() || line[0] == '#') continue;
    auto [key, rest] = split_word(line);
    if (key == "case") {
      cat.cases.push_back(Case());
      cur = &cat.cases.back();
      cur->name = rest;
      cur->line = line_no;
      continue;
    }
    if (key == "fixture" && cur == nullptr) {
      auto [name, content] = split_word(rest);
      cat.fixtures[name] = unescape(content);
      continue;
    }
    if (cur == nullptr) return fail("directive before the first case"), cat;
    if (key == "file") {
      auto [name, content] = split_word(rest);
      cur->entries.push_back({Entry::FILE, unescape(name), unescape(content)});
    } else if (key == "repeat" || key == "random") {
      auto [name, more] = split_word(rest);
      auto [count, arg] = split_word(more);
      size_t n = std::stoul(count);
      std::string content;
      if (key == "random") {
        content = random_bytes(n, (unsigned)std::stoul(arg));
      } else {
        std::string unit = unescape(arg);
        for (size_t i = 0; i < n; i++) content += unit;
      }
      cur->entries.push_back({Entry::FILE, unescape(name), content});
    } else if (key == "dir") {
      cur->entries.push_back({Entry::DIR, unescape(rest), ""});
    } else if (key == "link") {
      auto [name, target] = split_word(rest);
      cur->entries.push_back({Entry::LINK, unescape(name), unescape(target)});
    } else if (key == "chmod") {
      auto [mode, name] = split_word(rest);
      cur->entries.push_back({Entry::CHMOD, unescape(name), mode});
    } else if (key == "unless-root") {
      cur->unless_root = true;
    } else if (key == "run") {
      cur->args = unescape(rest);
    } else if (key == "status") {
      cur->status = std::stoi(rest);
    } else if (key == "last") {
      cur->has_last = true;
      cur->last = unescape(rest);
    } else if (key == "stdout") {
      cur->stdout_patterns.push_back(rest);
    } else if (key == "stderr") {
      cur->stderr_patterns.push_back(rest);
    } else if (key == "result") {
      auto [name, pattern] = split_word(rest);
      cur->results.push_back({unescape(name), pattern});
    } else if (key == "absent") {
      cur->absent.push_back(unescape(rest));
    } else {
      return fail("unknown directive \"" + key + "\""), cat;
    }
  }
  return cat;
}

}  // namespace catalogue

#endif
