// The shared rules of the C++ tools (tools/common): which option texts are
// whole numbers, and which outputs are the same file as an input or an
// earlier output, by any path or link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/tool_cli.h"
#include "common/tool_files.h"
#include "support/cli.h"

namespace {

TEST(ToolNumbers, OnlyWholeTextsInRangeAreNumbers) {
  struct Row {
    const char *text;
    bool whole, decimal;
  };
  // Blanks, signs in the middle, hexadecimal, digit separators, inf and
  // nan, and values beyond the type are no numbers.
  const std::vector<Row> rows = {
      {"5", true, true},       {"+5", true, true},     {"-3", true, true},      {" 5", false, false},
      {"5 ", false, false},    {"5x", false, false},   {"", false, false},      {"-", false, false},
      {"0x10", false, false},  {"1_000", false, false}, {"1e3", false, true},   {".5", false, true},
      {"5.", false, true},     {"-2E+2", false, true}, {".", false, false},     {"e3", false, false},
      {"1e", false, false},    {"inf", false, false},  {"nan", false, false},   {"0x1p3", false, false},
      {"1,5", false, false},   {"1e999", false, false}, {"99999999999999999999", false, true},
  };
  for (const Row &r : rows) {
    long l = 0;
    double d = 0;
    EXPECT_EQ(whole_number(r.text, -10, 10, &l), r.whole) << r.text;
    EXPECT_EQ(decimal_number(r.text, &d), r.decimal) << r.text;
  }
  long l = 0;
  EXPECT_FALSE(whole_number("11", -10, 10, &l));
  EXPECT_TRUE(whole_number("-10", -10, 10, &l));
  EXPECT_EQ(l, -10);
}

TEST(ToolFiles, AnOutputMayBeNoInputAndNoEarlierOutput) {
  testsupport::TempDir d;
  d.write("in", "x\n");
  d.write("other", "y\n");
  ASSERT_EQ(mkdir(d.file("sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("in", d.file("soft").c_str()), 0);
  ASSERT_EQ(link(d.file("in").c_str(), d.file("hard").c_str()), 0);
  // The output's path (relative to the scratch folder) and whether it
  // clashes with the input "in" or the earlier output "new".
  const std::vector<std::pair<std::string, bool>> rows = {
      {"in", true},       {"sub/../in", true}, {"./in", true},  {"soft", true},   {"hard", true},
      {"new", true},      {"./sub/../new", true}, {"other", false}, {"sub/new", false}, {"absent", false},
      {"nodir/in", false},
  };
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(d.path().c_str()), 0);
  for (const auto &[path, clashes] : rows) {
    RunFiles files;
    files.input("--map in", "in");
    files.input("--order absent", "absent");  // not there: nothing to overwrite
    files.output("--out n (new)", "--out", "new");
    files.output("--out p (" + path + ")", "--out", path);
    std::string message = files.clash();
    EXPECT_EQ(!message.empty(), clashes) << path << ": " << message;
    if (clashes) {
      EXPECT_EQ(message.find("--out p (" + path + ") is the same file as "), 0u) << message;
    }
  }
  RunFiles files;
  files.output("--out a (x.counts)", "--out", "x.counts");
  files.input("--map x.counts", "x.counts");  // named later, still an input
  d.write("x.counts", "");
  EXPECT_EQ(files.clash(), "--out a (x.counts) is the same file as --map x.counts: give --out another name");
  ASSERT_EQ(chdir(here), 0);
}

}  // namespace
