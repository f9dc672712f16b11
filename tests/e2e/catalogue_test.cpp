// The catalogue of malformed inputs (catalogue.txt): every case runs the
// program on its files in a scratch directory and must end with its status
// and message, never by a signal or a time-out. Before each run, the result
// files the command line can name already hold an earlier line; a run that
// fails must leave them byte for byte as they were, and one that succeeds
// may only append to them.
#include "e2e/catalogue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <sstream>

#include "e2e/e2e_fixtures.h"
#include "support/cli.h"

using testsupport::file_exists;
using testsupport::read_file;
using testsupport::TempDir;

namespace {

const char *const kEarlierLine = "earlier.txt\t1.0000e+00\t\n";

// The cases are read while the tests are being listed; a parse error is
// kept for CatalogueFormat.FileParses to report.
std::string load_error;

catalogue::Catalogue load() {
  try {
    return catalogue::parse(read_file(PELTRA_SOURCE_DIR "/tests/e2e/catalogue.txt"), &load_error);
  } catch (const std::exception &e) {  // a count that is not a number
    load_error = std::string("catalogue: ") + e.what();
    return {};
  }
}

const catalogue::Catalogue &the_catalogue() {
  static const catalogue::Catalogue cat = load();
  return cat;
}

// The result files a command line can write: the default names from the
// last -e argument and the -o names.
std::vector<std::string> result_names(const std::string &args) {
  std::istringstream in(args);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  std::string env, out;
  for (size_t i = 0; i + 1 < words.size(); i++) {
    if (words[i] == "-e") env = words[i + 1];
    if (words[i] == "-o") out = words[i + 1];
  }
  std::vector<std::string> names;
  if (!env.empty())
    for (const char *prefix : {"bf_environ.", "environ_corr.", "XtX_out."}) names.push_back(prefix + env);
  if (!out.empty())
    for (const char *suffix : {".bf", ".cor", ".xtx"}) names.push_back(out + suffix);
  return names;
}

void create(const TempDir &d, const catalogue::Entry &e) {
  std::string path = d.file(e.name);
  switch (e.kind) {
    case catalogue::Entry::FILE:
      d.write(e.name, e.content);
      break;
    case catalogue::Entry::DIR:
      unlink(path.c_str());  // a fixture of that name gives way
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << e.name;
      break;
    case catalogue::Entry::LINK:
      unlink(path.c_str());
      ASSERT_EQ(symlink(e.content.c_str(), path.c_str()), 0) << e.name;
      break;
    case catalogue::Entry::CHMOD:
      ASSERT_EQ(chmod(path.c_str(), (mode_t)std::stoul(e.content, nullptr, 8)), 0) << e.name;
      break;
  }
}

std::string last_line(const std::string &text) {
  auto lines = e2e::lines(text);
  return lines.empty() ? "" : lines.back();
}

class CatalogueCase : public ::testing::TestWithParam<size_t> {};

TEST_P(CatalogueCase, EndsAsListed) {
  const catalogue::Catalogue &cat = the_catalogue();
  ASSERT_LT(GetParam(), cat.cases.size());
  const catalogue::Case &c = cat.cases[GetParam()];
  SCOPED_TRACE("catalogue case \"" + c.name + "\" (line " + std::to_string(c.line) + ")");
  if (c.unless_root && geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";

  TempDir d;
  for (const auto &[name, content] : cat.fixtures) d.write(name, content);
  for (const auto &e : c.entries) create(d, e);

  // Every result file that can be created gets an earlier line first; what
  // a case put there itself (a directory, a link to a device) is left alone.
  std::map<std::string, std::string> before;
  std::vector<std::string> missing_before;
  for (const std::string &name : result_names(c.args)) {
    struct stat st;
    if (lstat(d.file(name).c_str(), &st) != 0) {
      d.write(name, kEarlierLine);
      if (lstat(d.file(name).c_str(), &st) != 0) {
        missing_before.push_back(name);
        continue;
      }
    }
    if (S_ISREG(st.st_mode)) before[name] = d.read(name);
  }

  auto r = testsupport::run_shell(std::string("timeout 120 '") + PELTRA2_BIN + "' " + c.args, d.path());

  // Undo read-only modes so that the scratch directory can be removed.
  for (const auto &e : c.entries)
    if (e.kind == catalogue::Entry::CHMOD) chmod(d.file(e.name).c_str(), 0755);

  const std::string shown = "\n--- stdout (last line) ---\n" + last_line(r.out) + "\n--- stderr ---\n" +
                            r.err.substr(0, 2000);
  ASSERT_EQ(r.status, c.status) << shown;
  if (c.has_last) {
    EXPECT_EQ(last_line(r.out), c.last) << shown;
  }
  for (const auto &p : c.stdout_patterns)
    EXPECT_TRUE(std::regex_search(r.out, std::regex(p))) << "stdout lacks /" << p << "/" << shown;
  if (c.stderr_patterns.empty()) {
    EXPECT_EQ(r.err, "") << shown;
  }
  for (const auto &p : c.stderr_patterns)
    EXPECT_TRUE(std::regex_search(r.err, std::regex(p))) << "stderr lacks /" << p << "/" << shown;
  for (const auto &[name, pattern] : c.results) {
    ASSERT_TRUE(d.exists(name)) << name;
    std::string line = last_line(d.read(name));
    EXPECT_TRUE(std::regex_match(line, std::regex(pattern))) << name << ": " << line;
  }
  for (const auto &name : c.absent) EXPECT_FALSE(d.exists(name)) << name;

  for (const auto &[name, content] : before) {
    std::string now = file_exists(d.file(name)) ? d.read(name) : "(removed)";
    if (c.status != 0) {
      EXPECT_EQ(now, content) << "a failed run changed the result file " << name;
    } else {
      EXPECT_EQ(now.compare(0, content.size(), content), 0) << "earlier lines of " << name << " lost";
    }
  }
  if (c.status != 0) {
    for (const auto &name : missing_before) EXPECT_FALSE(d.exists(name)) << name;
  }
}

std::string case_name(const ::testing::TestParamInfo<size_t> &info) {
  const auto &cases = the_catalogue().cases;
  std::string name = info.param < cases.size() ? cases[info.param].name : "missing";
  for (char &ch : name)
    if (!isalnum((unsigned char)ch)) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CatalogueCase, ::testing::Range<size_t>(0, the_catalogue().cases.size()),
                         case_name);

TEST(CatalogueFormat, FileParses) {
  EXPECT_EQ(load_error, "");
  EXPECT_GE(the_catalogue().cases.size(), 90u);
}

// The format itself: escapes, repetitions, and a directive it does not know.
TEST(CatalogueFormat, ParsesCasesAndRejectsUnknownDirectives) {
  EXPECT_EQ(catalogue::unescape("a\\tb\\n\\r\\\\\\x00\\xff{z*3}"), std::string("a\tb\n\r\\\0\xff" "zzz", 11));
  std::string error;
  auto cat = catalogue::parse(
      "fixture f.txt 1\\t2\\n\n# note\ncase one\nrepeat g 3 ab\nrun -p 2\nstatus 1\nlast x\\ty\n", &error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(cat.cases.size(), 1u);
  EXPECT_EQ(cat.fixtures.at("f.txt"), "1\t2\n");
  EXPECT_EQ(cat.cases[0].entries[0].content, "ababab");
  EXPECT_EQ(cat.cases[0].line, 3);
  EXPECT_EQ(cat.cases[0].last, "x\ty");
  catalogue::parse("case a\nfrobnicate b\n", &error);
  EXPECT_EQ(error, "catalogue line 2: unknown directive \"frobnicate\"");
  EXPECT_EQ(catalogue::random_bytes(4, 1), catalogue::random_bytes(4, 1));
  EXPECT_NE(catalogue::random_bytes(4, 1), catalogue::random_bytes(4, 2));
}

}  // namespace
