// The catalogue of whole runs (catalogue.txt): cases read from a text file,
// each a set of files, a command line and the outcome the run must have.
//
// Format: one directive per line; '#' starts a comment line. A case starts
// with "case NAME" and runs to the next case. Text arguments take the
// escapes \t \n \r \\ \xHH, and {c*N} stands for N copies of the character
// c (also in names and command lines).
//   fixture NAME TEXT     (before the first case) a file every case starts with
//   usual ARGS            (before the first case) the command line of a case without "run"
//   file NAME TEXT        a file of the case (replaces a fixture of that name)
//   repeat NAME N TEXT    a file holding TEXT N times
//   random NAME N SEED    a file of N bytes from a fixed-seed generator
//   dir NAME / link NAME TARGET / chmod MODE NAME   a directory, a symbolic link, permissions (octal)
//   unless-root           skip the case when running as root (permissions do not bind)
//   run ARGS              the command line after the program name (shell words)
//   status N              the expected exit status (1 without it)
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
  bool unless_root = false, has_last = false;
  std::string args, last;
  int status = 1;
  std::vector<std::string> stdout_patterns, stderr_patterns, absent;
  std::vector<std::pair<std::string, std::string>> results;
};

struct Catalogue {
  std::map<std::string, std::string> fixtures;
  std::string usual;
  std::vector<Case> cases;
};

// Expands the escapes and the {c*N} repetitions of a text argument.
inline std::string unescape(const std::string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    size_t close = text.find('}', i);
    if (c == '{' && i + 3 < text.size() && text[i + 2] == '*' && close != std::string::npos) {
      out.append(std::stoul(text.substr(i + 3, close - i - 3)), text[i + 1]);
      i = close;
    } else if (c != '\\' || i + 1 == text.size()) {
      out += c;
    } else {
      char e = text[++i];
      if (e == 'x' && i + 2 < text.size()) {
        out += (char)std::stoi(text.substr(i + 1, 2), nullptr, 16);
        i += 2;
      } else {
        out += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
      }
    }
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
  size_t start = 0;
  for (int line_no = 1; start < text.size(); line_no++) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    start = nl + 1;
    if (line.empty() || line[0] == '#') continue;
    auto [key, rest] = split_word(line);
    auto [name, arg] = split_word(rest);
    if (key == "case") {
      cat.cases.push_back(Case());
      cur = &cat.cases.back();
      cur->name = rest;
      cur->line = line_no;
      cur->args = cat.usual;
    } else if (cur == nullptr && key == "fixture") {
      cat.fixtures[name] = unescape(arg);
    } else if (cur == nullptr && key == "usual") {
      cat.usual = unescape(rest);
    } else if (cur == nullptr) {
      *error = "catalogue line " + std::to_string(line_no) + ": directive before the first case";
      return cat;
    } else if (key == "file") {
      cur->entries.push_back({Entry::FILE, unescape(name), unescape(arg)});
    } else if (key == "repeat" || key == "random") {
      auto [count, more] = split_word(arg);
      std::string content;
      unsigned long long x = key == "random" ? std::stoul(more) : 0;
      for (size_t i = 0; i < std::stoul(count); i++) {
        // random: the high byte of each state of a fixed-seed linear
        // congruential generator, so that every byte value occurs.
        x = x * 6364136223846793005ULL + 1442695040888963407ULL;
        content += key == "random" ? std::string(1, (char)(x >> 56)) : unescape(more);
      }
      cur->entries.push_back({Entry::FILE, unescape(name), content});
    } else if (key == "dir") {
      cur->entries.push_back({Entry::DIR, unescape(rest), ""});
    } else if (key == "link") {
      cur->entries.push_back({Entry::LINK, unescape(name), unescape(arg)});
    } else if (key == "chmod") {
      cur->entries.push_back({Entry::CHMOD, unescape(arg), name});
    } else if (key == "unless-root") {
      cur->unless_root = true;
    } else if (key == "run") {
      cur->args = unescape(rest);
    } else if (key == "status") {
      cur->status = std::stoi(rest);
    } else if (key == "last") {
      cur->has_last = true;
      cur->last = unescape(rest);
    } else if (key == "stdout" || key == "stderr") {
      (key == "stdout" ? cur->stdout_patterns : cur->stderr_patterns).push_back(rest);
    } else if (key == "result") {
      cur->results.push_back({unescape(name), arg});
    } else if (key == "absent") {
      cur->absent.push_back(unescape(rest));
    } else {
      *error = "catalogue line " + std::to_string(line_no) + ": unknown directive \"" + key + "\"";
      return cat;
    }
  }
  return cat;
}

}  // namespace catalogue

#endif
