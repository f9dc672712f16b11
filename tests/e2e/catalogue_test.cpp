// The catalogue of whole runs (catalogue.txt): every case runs the program on
// its files in a scratch directory and must end with its status and message,
// never by a signal or a time-out. Before each run, the result files the
// command line can name already hold an earlier line; a run that fails must
// leave them byte for byte as they were, and one that succeeds may only
// append to them.
#include "e2e/catalogue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <sstream>

#include "e2e/e2e_fixtures.h"

using testsupport::TempDir;

namespace {

std::string load_error;  // reported by CatalogueFormat.FileParses

const catalogue::Catalogue &the_catalogue() {
  static const catalogue::Catalogue cat = [] {
    try {
      return catalogue::parse(testsupport::read_file(PELTRA_SOURCE_DIR "/tests/e2e/catalogue.txt"), &load_error);
    } catch (const std::exception &e) {  // a count that is not a number
      load_error = std::string("catalogue: ") + e.what();
      return catalogue::Catalogue();
    }
  }();
  return cat;
}

// The result files a command line can write: the default names from the
// last -e argument and the -o names.
std::vector<std::string> result_names(const std::string &args) {
  std::istringstream in(args);
  std::string w, prev, env, out;
  for (; in >> w; prev = w) {
    if (prev == "-e") env = w;
    if (prev == "-o") out = w;
  }
  std::vector<std::string> names;
  for (const char *prefix : {"bf_environ.", "environ_corr.", "XtX_out."})
    if (!env.empty()) names.push_back(prefix + env);
  for (const char *suffix : {".bf", ".cor", ".xtx"})
    if (!out.empty()) names.push_back(out + suffix);
  return names;
}

std::string last_line(const std::string &text) {
  auto lines = e2e::lines(text);
  return lines.empty() ? "" : lines.back();
}

class CatalogueCase : public ::testing::TestWithParam<size_t> {};

TEST_P(CatalogueCase, EndsAsListed) {
  const catalogue::Case &c = the_catalogue().cases.at(GetParam());
  SCOPED_TRACE("catalogue case \"" + c.name + "\" (line " + std::to_string(c.line) + ")");
  if (c.unless_root && geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";

  TempDir d;
  for (const auto &[name, content] : the_catalogue().fixtures) d.write(name, content);
  for (const auto &e : c.entries) {
    std::string path = d.file(e.name);
    if (e.kind == catalogue::Entry::FILE) d.write(e.name, e.content);
    if (e.kind == catalogue::Entry::DIR || e.kind == catalogue::Entry::LINK) unlink(path.c_str());
    int rc = e.kind == catalogue::Entry::DIR     ? mkdir(path.c_str(), 0755)
             : e.kind == catalogue::Entry::LINK  ? symlink(e.content.c_str(), path.c_str())
             : e.kind == catalogue::Entry::CHMOD ? chmod(path.c_str(), std::stoul(e.content, nullptr, 8))
                                                 : 0;
    ASSERT_EQ(rc, 0) << e.name;
  }

  // Every result file that can be created gets an earlier line first; what
  // a case put there itself (a directory, a link to a device) is left alone.
  std::map<std::string, std::string> before;
  std::vector<std::string> missing_before;
  for (const std::string &name : result_names(c.args)) {
    struct stat st;
    if (lstat(d.file(name).c_str(), &st) != 0) {
      d.write(name, "earlier.txt\t1.0000e+00\t\n");
      if (lstat(d.file(name).c_str(), &st) != 0) {
        missing_before.push_back(name);
        continue;
      }
    }
    if (S_ISREG(st.st_mode)) before[name] = d.read(name);
  }

  auto r = testsupport::run_shell(std::string("timeout 120 '") + PELTRA2_BIN + "' " + c.args, d.path());
  for (const auto &e : c.entries)  // so that the scratch directory can be removed
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
    EXPECT_TRUE(std::regex_match(last_line(d.read(name)), std::regex(pattern))) << name << ": " << d.read(name);
  }
  for (const auto &name : c.absent) EXPECT_FALSE(d.exists(name)) << name;

  for (const auto &[name, content] : before) {
    std::string now = d.exists(name) ? d.read(name) : "(removed)";
    std::string kept = c.status != 0 ? now : now.substr(0, content.size());
    EXPECT_EQ(kept, content) << (c.status != 0 ? "a failed run changed " : "earlier lines lost from ") << name;
  }
  for (const auto &name : missing_before) EXPECT_TRUE(c.status == 0 || !d.exists(name)) << name;
}

std::string case_name(const ::testing::TestParamInfo<size_t> &info) {
  std::string name = the_catalogue().cases.at(info.param).name;
  for (char &ch : name)
    if (!isalnum((unsigned char)ch)) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CatalogueCase, ::testing::Range<size_t>(0, the_catalogue().cases.size()),
                         case_name);

TEST(CatalogueFormat, FileParses) {
  EXPECT_EQ(load_error, "");
  EXPECT_GE(the_catalogue().cases.size(), 30u);
}

}  // namespace
