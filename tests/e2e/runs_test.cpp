// Whole runs on small files, one row per case: how a run ends, a fragment of
// its fixed standard output, the hint or message on standard error, and the
// files it writes or leaves alone. Before each run, the result files the
// command line can name hold an earlier line; a run that fails must leave
// them byte for byte as they were, and one that succeeds may only append.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_fixtures.h"

using testsupport::TempDir;

namespace {

// Name and content; a name "dir X" makes a directory, "link X" a symbolic
// link to the content, "chmod X" gives X the octal mode in the content.
typedef std::vector<std::pair<std::string, std::string>> Files;
// Name and a pattern its last line must match whole; null: no such file.
typedef std::vector<std::pair<std::string, const char *>> After;

struct Row {
  const char *name;
  Files files;       // over the defaults below
  std::string args;  // "" = kTest
  int status;
  std::string out;   // occurs in standard output
  std::string err;   // occurs in standard error ("" = it is empty)
  After after = {};
};

const std::string kTest = "-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5";
const std::string kMatrixRun = "-i counts.txt -p 4 -k 10 -r 5";
const char *kBf = "snp\\.txt(\\t\\d\\.\\d{4}e[+-]\\d\\d){2}\\t";
const char *kEarlier = "earlier\\.txt\\t1\\.0000e\\+00\\t";

const std::string kNotPd = "1\t2\t0\t0\n2\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n";
const std::string kEnv = e2e::kEnviron;
const std::string kMissing = "\n!!!Missing or wrong options for chosen configuration.\n";

// The recorded runs' files (results_unchanged_test.cpp) written otherwise:
// runs of tabs, spaces around fields, CRLF, no last line feed, an ignored
// fifth field making a line of 19998 characters with its carriage return.
const std::string kSnpLaid = "12\t30\t 7 \t\t21\t" + std::string(19983, 'x') + "\r\n\t28\t10\t33\t19";
const std::string kEnvLaid = "\t-1.2e0\t\t 0.3 \t8e-1\t+.1\r\n500e-3\t-0.70\t1.1\t-0.9";
const std::string kMatrixLaid = "5e-2\t.01\t0\t1E-2\r\n0.01\t0.06\t0.02\t0\n0\t0.02\t0.04\t0.01\n0.01\t0\t0.01\t0.05";

const Row kRows[] = {
    {"recorded Bayes-factor run, files laid out otherwise",
     {{"snp.txt", kSnpLaid}, {"env.txt", kEnvLaid}, {"matrix.txt", kMatrixLaid}},
     "-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -X -c -k 20000 -o res -r 1", 0, "",
     "peltra2: count file \"snp.txt\", line 1: 5 fields where -p is 4",
     {{"res.bf", "snp\\.txt\\t8\\.3236e-01\\t-2\\.6667e-01\\t-5\\.8788e-03\\t1\\.2189e\\+01\\t-8\\.2000e-01\\t-9\\.0142e-01\\t"}}},
    {"recorded pooled run with the table, files laid out otherwise",
     {{"sizes.txt", " 20\t20 \t\t20\t20\r\n"}, {"pool.txt", "\t14\t31\t9\t25\r\n26\t 12\t35\t17"}},
     "-x -l -t -i pool.txt -s sizes.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 20000 -o res -r 77", 0, "", "",
     {{"res.cor", "pool\\.txt\\t4\\.9933333333e-02\\t"}}},
    {"two loci in test mode", {{"snp.txt", "12\t30\t7\t21\n28\t10\t33\t19\n5\t9\t14\t2\n15\t11\t6\t18\n"}}, "",
     1, "cannot more than one locus in TEST mode\n", ""},
    // No polymorphism: the ancestral frequency would start at 0 or 1.
    {"monomorphic, absent", {{"snp.txt", "0\t0\t0\t0\n40\t40\t40\t40\n"}}, "", 1,
     "initial epsilon zero or 1 locus 0\n", "SNP 1 (lines 1-2): the SNP is monomorphic"},
    {"monomorphic, fixed", {{"counts.txt", std::string(e2e::kOneLocus) + "3\t3\t3\t3\n0\t0\t0\t0\n"}},
     kMatrixRun, 1, "number of loci = 2\ninitial epsilon zero or 1 locus 1\n",
     "peltra2: count file \"counts.txt\", SNP 2 (lines 3-4): the SNP is monomorphic (its first allele has"},
    // A population without data (total 0) is allowed: its term is empty.
    {"population without data", {{"snp.txt", "12\t0\t7\t21\n28\t0\t33\t19\n"}}, "", 0, "", "",
     {{"bf_environ.env.txt", kBf}}},
    // Extra fields and lines are used up to -p and -n, and said so.
    {"extra count fields", {{"counts.txt", "1\t2\t3\t4\t5\n5\t4\t3\t2\t1\n"}}, kMatrixRun, 0,
     "num_alleles = 2.000000\n",
     "peltra2: count file \"counts.txt\", line 1: 5 fields where -p is 4; only the first 4 are used"},
    {"extra environment lines", {{"env.txt", kEnv + "1\t2\t3\t4\n\n5\n"}}, "", 0, "reading environ\n",
     "peltra2: environment file \"env.txt\": 2 more lines than the 2 that -n asks for"},
    // A constant variable: the Bayes factor is 1; with -c its correlations
    // are 0/0, written as nan (the line keeps its fields).
    {"constant variable, Bayes factor", {{"env1.txt", "0\t0\t0\t0\n"}},
     "-t -c -i snp.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5", 0, "", "",
     {{"bf_environ.env1.txt", "snp\\.txt\\t1\\.0000e\\+00\\t-?nan\\t-?nan\\t"}}},
    {"constant variable, Z", {{"env1.txt", "0\t0\t0\t0\n"}},
     "-t -z -c -i snp.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5", 0, "", "",
     {{"environ_corr.env1.txt", "snp\\.txt\\t\\d\\.\\d{10}e[+-]\\d\\d\\t-?nan\\t"}}},
    {"matrix not positive definite", {{"matrix.txt", kNotPd}}, "", 1, "reading environ\n",
     "is not positive definite (the factorisation fails at row 2); give a covariance matrix such as a "
     "matrix-estimation run prints\nNumerical Recipes run-time error...\ncholdc failed\n"},
    {"singular matrix", {{"matrix.txt", "1\t1\t0\t0\n1\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n"}}, "", 1,
     "reading environ\n", "peltra2: matrix file \"matrix.txt\": the matrix of its first 4 lines is singular"},
    // Only the diagonal and the lower triangle are used.
    {"matrix not symmetric",
     {{"matrix.txt", "0.05\t9\t9\t9\n0.01\t0.06\t9\t9\n0.00\t0.02\t0.04\t9\n0.01\t0.00\t0.01\t0.05\n"}}, "", 0, "",
     "", {{"bf_environ.env.txt", kBf}}},
    {"lookup table too large", {{"sizes.txt", "20\t20\t20\t100000\n"}},
     "-x -l -t -i pool.txt -s sizes.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5", 1,
     "GB, more than a quarter of this machine's", ""},
    // Sigma = diag(4, 1, 1, 0.25), junk above the diagonal: L^-1 e divides
    // the variables by 2, 1, 1, 0.5.
    {"standardized environment", {{"matrix.txt", "4\t9\t9\t9\n0\t1\t9\t9\n0\t0\t1\t9\n0\t0\t0\t0.25\n"}},
     "-t -c -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5", 0, "", "",
     {{"standardized.env", "2\\.5000e-01\\t-7\\.0000e-01\\t1\\.1000e\\+00\\t-1\\.8000e\\+00\\t"}}},
    {"populations wrapping to negative", {}, "-i counts.txt -p 4294967292 -k 10 -r 5", 1, kMissing,
     "-p: give the number of populations"},
    // The file is read before the K x K starting matrix is made.
    {"population count wider than the file", {}, "-i counts.txt -p 10000 -k 10 -r 5", 1,
     "Error: count file \"counts.txt\", line 1: 4 fields; 10000 needed\n", ""},
    {"negative iterations run none", {}, "-i counts.txt -p 4 -k -5 -r 5", 0, "number of loci = 3\n", ""},
    {"unknown option goes on", {}, "-q -i counts.txt -p 4 -k 10 -r 5", 0, "\nunknown arg ?\n",
     "invalid option -- 'q'"},
    {"number read as strtol reads it", {}, "-i counts.txt -p 4 -k 12abc -r 5", 0, "ITERATIONS = 12\n",
     "peltra2: -k \"12abc\" is not a plain whole number; it was read as 12\n"},
    {"seed beyond 32 bits", {}, "-i counts.txt -p 4 -k 10 -r 4294967301", 0, "SEED = -5\n",
     "peltra2: -r \"4294967301\" is beyond the 32-bit range; it was read as 5\n"},
    {"repeated option", {}, "-i counts.txt -p 4 -k 10 -k 12 -r 5", 0, "ITERATIONS = 12\n",
     "peltra2: -k given more than once; the last value (\"12\") is used\n"},
    {"test mode options missing", {}, "-t -i snp.txt -n 2 -p 4 -k 5001", 1, kMissing,
     "peltra2: -t needs -m (matrix file), -e (environment file) and -n (a number above 0); missing: -m -e"},
    {"pooled mode conflicts", {}, "-x -c -X -s sizes.txt -i counts.txt -p 4 -k 10", 1, kMissing,
     "peltra2: -x excludes -c, -f and -X; remove: -c -X\n"},
    {"refused seed", {}, "-i counts.txt -p 4 -k 10 -r 1073741782", 1, "So running matrix estimation\n",
     "which the generator refuses: give a whole number from 1 to 1073741781 (its sign is ignored)\n a, m, s"},
    {"help", {}, "--help", 0, "\t\t-l - Pool mode", ""},
    {"version", {}, "--version", 0, "peltra2 0.4.0", ""},
    // Result names come from the -e argument, or -o with a suffix; the
    // frequency file is named from the count file, and written with -f only.
    {"names from the environment file", {}, "-t -X -f -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5",
     0, "", "",
     {{"bf_environ.env.txt", kBf},
      {"XtX_out.env.txt", "snp\\.txt\\t\\d\\.\\d{4}e[+-]\\d\\d"},
      {"snp.txt.freqs", "(-?\\d\\.\\d{4}e[+-]\\d\\d \\t){4}"},
      {"environ_corr.env.txt", kEarlier}}},
    {"names from the output option", {}, "-t -z -X -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5 -o res",
     0, "", "",
     {{"res.cor", "snp\\.txt\\t\\d\\.\\d{10}e[+-]\\d\\d\\t"},
      {"res.xtx", "snp\\.txt\\t\\d\\.\\d{4}e[+-]\\d\\d"},
      {"res.bf", kEarlier},
      {"bf_environ.env.txt", kEarlier},
      {"snp.txt.freqs", nullptr}}},
    {"earlier frequency file kept without -f", {{"snp.txt.freqs", "earlier\n"}}, "", 0, "number of loci = 1\n", "",
     {{"snp.txt.freqs", "earlier"}}},
    {"default name keeps the environment directory", {{"dir data", ""}, {"dir bf_environ.data", ""}, {"data/env.txt", kEnv}},
     "-t -i snp.txt -e data/env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5", 0, "", "",
     {{"bf_environ.data/env.txt", kBf}}},
    {"default name in a missing directory", {{"dir data", ""}, {"data/env.txt", kEnv}},
     "-t -X -i snp.txt -e data/env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5", 1,
     "\ncannot open the result file \"bf_environ.data/env.txt\" for appending: ", "", {{"XtX_out.data", nullptr}}},
    // A working or result file that cannot be written ends the run with one
    // line naming it. Bayes-factor lines come before XtX lines: when the XtX
    // file cannot be opened, the Bayes-factor file must not have gained one.
    {"covariance report cannot be created", {{"dir pop_spec.out", ""}}, kMatrixRun, 1,
     "cannot open the covariance report file \"pop_spec.out\" for writing: Is a directory\n", ""},
    {"standardized environment cannot be created", {{"dir standardized.env", ""}}, kTest + " -c", 1,
     "cannot open the standardized environment file \"standardized.env\" for writing: Is a directory\n", ""},
    {"result file is a directory", {{"dir res.bf", ""}}, kTest + " -o res", 1,
     "cannot open the result file \"res.bf\" for appending: Is a directory\n", ""},
    {"second result file is a directory", {{"dir res.xtx", ""}}, kTest + " -X -o res", 1,
     "cannot open the result file \"res.xtx\" for appending: Is a directory\n", ""},
    {"result file on a full disk", {{"link res.cor", "/dev/full"}},
     "-t -z -i snp.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5 -o res", 1,
     "cannot write the result line to \"res.cor\": No space left on device\n", ""},
    {"result directory not writable", {{"dir out", ""}, {"chmod out", "555"}}, kTest + " -o out/res", 1,
     "cannot open the result file \"out/res.bf\" for appending: Permission denied\n", ""},
    {"working directory not writable", {{"chmod .", "555"}}, kTest + " -o res", 1,
     "cannot open the frequency file \"snp.txt.freqs\" for writing: Permission denied\n", ""},
    {"frequency file on a full disk", {{"link snp.txt.freqs", "/dev/full"}}, kTest + " -f -o res", 1,
     "error while writing the frequency file \"snp.txt.freqs\"\n", ""},
    {"covariance report on a full disk", {{"link pop_spec.out", "/dev/full"}}, "-i counts.txt -p 4 -k 1000 -r 5", 1,
     "error while writing the covariance report file \"pop_spec.out\"\n", ""},
    {"standardized environment on a full disk", {{"link standardized.env", "/dev/full"}}, kTest + " -c -o res", 1,
     "error while writing the standardized environment file \"standardized.env\"\n", ""},
    // A name the file system takes, but not its result name with the prefix:
    // the run fails at its end, appending nowhere.
    {"result name too long", {{std::string(250, 'e'), kEnv}},
     "-t -i snp.txt -e " + std::string(250, 'e') + " -m matrix.txt -n 2 -p 4 -k 5001 -r 5", 1,
     "\ncannot open the result file \"bf_environ." + std::string(250, 'e') + "\" for appending: File name too long",
     ""},
};

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

TEST(Runs, EachRowEndsAsListed) {
  for (const Row &row : kRows) {
    SCOPED_TRACE(row.name);
    TempDir d;
    d.write("snp.txt", e2e::kOneLocus);
    d.write("counts.txt", "12\t30\t7\t21\n28\t10\t33\t19\n5\t9\t14\t2\n15\t11\t6\t18\n1\t29\t20\t3\n29\t1\t10\t27\n");
    d.write("env.txt", kEnv);
    d.write("env1.txt", "-1.2\t0.3\t0.8\t0.1\n");
    d.write("matrix.txt", e2e::kMatrix);
    d.write("sizes.txt", e2e::kSampleSizes);
    d.write("pool.txt", e2e::kPooledLocus);
    bool chmods = false;
    for (const auto &[name, content] : row.files) {
      std::string path = d.file(name.substr(name.find(' ') + 1));
      if (name.rfind("dir ", 0) == 0) {
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << name;
      } else if (name.rfind("link ", 0) == 0) {
        ASSERT_EQ(symlink(content.c_str(), path.c_str()), 0) << name;
      } else if (name.rfind("chmod ", 0) == 0) {
        ASSERT_EQ(chmod(path.c_str(), std::stoul(content, nullptr, 8)), 0) << name;
        chmods = true;
      } else {
        d.write(name, content);
      }
    }
    if (chmods && geteuid() == 0) continue;  // permissions do not bind root

    // Every result file that can be created gets an earlier line first; what
    // a row put there itself (a directory, a link to a device) stays.
    const std::string args = row.args.empty() ? kTest : row.args;
    std::map<std::string, std::string> before;
    for (const std::string &name : result_names(args)) {
      struct stat st;
      if (lstat(d.file(name).c_str(), &st) != 0) d.write(name, "earlier.txt\t1.0000e+00\t\n");
      if (lstat(d.file(name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) before[name] = d.read(name);
    }

    auto r = testsupport::run_shell("timeout 120 '" PELTRA2_BIN "' " + args, d.path());
    for (const auto &f : row.files)  // so that the scratch directory can be removed
      if (f.first.rfind("chmod ", 0) == 0) chmod(d.file(f.first.substr(6)).c_str(), 0755);

    SCOPED_TRACE("\n--- stdout (end) ---\n" + r.out.substr(r.out.size() - std::min<size_t>(r.out.size(), 500)) +
                 "\n--- stderr ---\n" + r.err.substr(0, 2000));
    EXPECT_EQ(r.status, row.status);
    EXPECT_NE(r.out.find(row.out), std::string::npos) << row.out;
    if (row.err.empty()) {
      EXPECT_EQ(r.err, "");
    }
    EXPECT_NE(r.err.find(row.err), std::string::npos) << row.err;
    for (const auto &[name, pattern] : row.after) {
      EXPECT_EQ(d.exists(name), pattern != nullptr) << name;
      if (pattern && d.exists(name)) {
        EXPECT_TRUE(std::regex_match(last_line(d.read(name)), std::regex(pattern))) << name << ": " << d.read(name);
      }
    }
    for (const auto &[name, content] : before) {
      std::string now = d.exists(name) ? d.read(name) : "(removed)";
      std::string kept = row.status != 0 ? now : now.substr(0, content.size());
      EXPECT_EQ(kept, content) << (row.status != 0 ? "a failed run changed " : "earlier lines lost from ") << name;
    }
  }
}

}  // namespace
