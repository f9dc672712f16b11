#!/usr/bin/python3
"""peltra2-scan: rows equal lone runs of peltra2 -t with seed S + i, input
order, failed SNPs named, a killed scan resumed, slices merged, and the
refusals."""

import os
import re
import signal
import subprocess
import time
import unittest

from scan_support import PELTRA2, ScratchTest, read_table, run, tool

K = 6
ITER = "6000"


def snp_lines(counts_text, i):
    lines = counts_text.splitlines(True)
    return "".join(lines[2 * i - 2:2 * i])


class ScanTest(ScratchTest):
    def setUp(self):
        super().setUp()
        self.simulate("--pops", str(K), "--loci", "40", "--env", "2", "--seed", "31", "--out", "data")
        self.counts = self.read("data.counts")

    def base(self, *extra):
        return ["-i", "data.counts", "-p", str(K), "-m", "data.matrix", "-e", "data.env", "-k", ITER,
                "-j", "2"] + list(extra)

    def lone_run(self, i, seed, opts, stem):
        """The statistic fields of peltra2 -t on SNP i alone, with -o stem."""
        self.write(stem + ".counts", snp_lines(self.counts, i))
        r = run([PELTRA2, "-t", "-i", stem + ".counts", "-r", str(seed), "-o", stem] + opts, self.dir)
        self.assertEqual(r.status, 0, r)
        return r

    def test_rows_equal_lone_runs_in_input_order(self):
        self.write("names.txt", "".join("rs%d\n" % (1000 + i) for i in range(1, 41)))
        opts = ["-p", str(K), "-m", "data.matrix", "-e", "data.env", "-n", "2", "-k", ITER, "-c", "-X"]
        r = self.scan(*self.base("-n", "2", "-c", "-X", "--seed", "100", "--names", "names.txt", "-o", "out.tsv",
                                 "--batch-size", "7", "--work", "w"))
        self.assertEqual(r.status, 0, r)
        # Work folder: a few files, under 1 KB per SNP.
        files = [os.path.join(d, f) for d, _, fs in os.walk(self.path("w")) for f in fs]
        self.assertLess(len(files), 6, files)
        self.assertLess(sum(os.path.getsize(f) for f in files), 40 * 1024)
        header, rows = read_table(self.path("out.tsv"))
        self.assertEqual(header, ["snp", "name", "BF_1", "rho_1", "r_1", "BF_2", "rho_2", "r_2", "XtX", "status"])
        self.assertEqual([row[0] for row in rows], [str(i) for i in range(1, 41)])
        self.assertEqual([row[1] for row in rows], ["rs%d" % (1000 + i) for i in range(1, 41)])
        for i, row in enumerate(rows, 1):
            self.lone_run(i, 100 + i, opts, "lone%d" % i)
            bf = self.read("lone%d.bf" % i).rstrip("\n").split("\t")
            xtx = self.read("lone%d.xtx" % i).rstrip("\n").split("\t")
            self.assertEqual(row[2:9], bf[1:7] + xtx[1:2], "SNP %d" % i)
            self.assertEqual(row[9], "ok")

    def test_z_statistic_columns_and_default_names(self):
        r = self.scan(*self.base("-n", "1", "-z", "-c", "--seed", "7"))
        self.assertEqual(r.status, 0, r)
        header, rows = read_table(self.path("data.counts.scan.tsv"))
        self.assertEqual(header, ["snp", "name", "Z", "rho_1", "status"])
        self.assertEqual([row[1] for row in rows], [str(i) for i in range(1, 41)])
        opts = ["-p", str(K), "-m", "data.matrix", "-e", "data.env", "-n", "1", "-k", ITER, "-z", "-c"]
        for i in (1, 17, 40):
            self.lone_run(i, 7 + i, opts, "z%d" % i)
            self.assertEqual(rows[i - 1][2:4], self.read("z%d.cor" % i).split("\t")[1:3])

    def test_failing_snp_is_named_and_kept(self):
        lines = self.counts.splitlines(True)
        mono = "40\t" * (K - 1) + "40\n" + "0\t" * (K - 1) + "0\n"
        self.write("mono.counts", "".join(lines[:10]) + mono + "".join(lines[10:20]))
        self.write("names.txt", "".join("snp_%c\n" % c for c in "abcdefghijk"))
        r = self.scan("-i", "mono.counts", "-p", str(K), "-m", "data.matrix", "-e", "data.env", "-n", "2",
                      "-k", ITER, "--names", "names.txt", "-o", "mono.tsv")
        self.assertEqual(r.status, 0, r)
        self.assertIn("SNP 6 (snp_f) failed: ", r.err)
        self.assertIn("11 SNPs, 1 failed", r.err)
        _, rows = read_table(self.path("mono.tsv"))
        self.assertEqual(len(rows), 11)
        self.assertEqual(rows[5][:4], ["6", "snp_f", "NA", "NA"])
        self.assertTrue(rows[5][4].startswith("failed: "), rows[5])
        # peltra2's own message on that SNP alone.
        self.write("alone.counts", mono)
        alone = run([PELTRA2, "-t", "-i", "alone.counts", "-p", str(K), "-m", "data.matrix", "-e", "data.env",
                     "-n", "2", "-k", ITER, "-r", "6"], self.dir)
        self.assertEqual(alone.status, 1)
        self.assertEqual(rows[5][4], "failed: " + alone.out.strip().splitlines()[-1])
        self.assertTrue(all(row[4] == "ok" for k, row in enumerate(rows) if k != 5))

    def records(self, work):
        """SNP numbers of every record of a work folder, in file order."""
        out = []
        for d, _, files in os.walk(self.path(work)):
            for name in files:
                if name == "records.tsv" or os.path.basename(d) == "done":
                    with open(os.path.join(d, name)) as f:
                        out += [int(line.split("\t")[0]) for line in f if line.endswith("\n")]
        return out

    def test_killed_scan_resumes_and_slices_merge_into_the_whole_scan(self):
        args = self.base("-n", "2", "-X", "--batch-size", "15")
        whole = self.scan(*args, "--work", "w0", "-o", "whole.tsv")
        self.assertEqual(whole.status, 0, whole)

        # SIGKILL to the whole process group in the middle of the batches.
        proc = subprocess.Popen([tool("peltra2-scan"), "--peltra2", PELTRA2] + args + ["--work", "w"],
                                cwd=self.dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)
        deadline = time.time() + 120
        while time.time() < deadline and proc.poll() is None and len(self.records("w")) < 4:
            time.sleep(0.01)
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        killed = len(self.records("w"))
        r = self.scan(*args, "--work", "w", "-o", "resumed.tsv")
        self.assertEqual(r.status, 0, r)
        # Runs under way when the scan was killed may still end and be recorded.
        done = int(re.search(r"(\d+) of 40 finished in an earlier attempt", r.err).group(1))
        self.assertTrue(killed <= done < 40, r)
        self.assertEqual(self.read("resumed.tsv"), self.read("whole.tsv"))
        self.assertEqual(self.records("w"), list(range(1, 41)))

        for i in (1, 2, 3):
            r = self.scan(*args, "--part", "%d/3" % i, "-o", "p%d.tsv" % i)
            self.assertEqual(r.status, 0, r)
        merge = [tool("peltra2-scan"), "merge", "-o"]
        r = run(merge + ["merged.tsv", "p3.tsv", "p1.tsv", "p2.tsv"], self.dir)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(self.read("merged.tsv"), self.read("whole.tsv"))
        for parts, message in ((["p1.tsv", "p3.tsv"], "slice 2/3 missing"),
                               (["p1.tsv", "p2.tsv", "p2.tsv", "p3.tsv"], "slice 2/3 given twice")):
            r = run(merge + ["bad.tsv"] + parts, self.dir)
            self.assertEqual(r.status, 1, r)
            self.assertIn(message, r.err)
            self.assertFalse(os.path.exists(self.path("bad.tsv")))

    def test_work_folder_of_another_scan_is_refused(self):
        r = self.scan(*self.base("-n", "2", "--work", "w"))
        self.assertEqual(r.status, 0, r)
        r = self.scan(*self.base("-n", "2", "--work", "w", "--seed", "5"))
        self.assertEqual(r.status, 1, r)
        self.assertIn("other settings (base_seed differ)", r.err)
        os.mkdir(self.path("mine"))
        self.write("mine/keep.txt", "x\n")
        r = self.scan(*self.base("-n", "2", "--work", "mine"))
        self.assertEqual(r.status, 1, r)
        self.assertIn("is not a peltra2-scan work folder", r.err)
        self.assertEqual(self.read("mine/keep.txt"), "x\n")


class Refusals(ScratchTest):
    """Errors found before any SNP runs; none of them leaves a table."""

    def setUp(self):
        super().setUp()
        self.simulate("--pops", "3", "--loci", "4", "--env", "1", "--seed", "2", "--out", "d")

    def refused(self, *extra, counts="d.counts", k=ITER, m="d.matrix"):
        r = self.scan("-i", counts, "-p", "3", "-m", m, "-e", "d.env", "-n", "1", "-k", k, *extra)
        self.assertEqual(r.status, 1, r)
        self.assertFalse(os.path.exists(self.path(counts + ".scan.tsv")))
        return r.err

    def test_count_file_problems_name_file_and_line(self):
        lines = self.read("d.counts").splitlines(True)
        self.write("odd.counts", "".join(lines[:3]))
        self.assertIn("odd number of lines (3)", self.refused(counts="odd.counts"))
        self.write("short.counts", "".join(lines[:2]) + "1\t2\n" + lines[3])
        self.assertRegex(self.refused(counts="short.counts"), r'short\.counts", line 3: 2 fields')
        self.write("text.counts", lines[0] + "1\tx\t2\n")
        self.assertRegex(self.refused(counts="text.counts"), r'line 2, field 2: "x" is not a count')

    def test_options_and_inputs_checked_first(self):
        self.write("names.txt", "a\nb\n")
        self.assertIn("names file", self.refused("--names", "names.txt"))
        self.assertIn("-k must exceed 5000", self.refused(k="5000"))
        self.assertIn("allows none of -c, -f, -X", self.refused("-x", "-s", "d.env", "-X"))
        # Not positive definite: peltra2's own message, from the one trial run.
        self.write("bad.matrix", "1\t0\t0\n0\t-1\t0\n0\t0\t1\n")
        err = self.refused(m="bad.matrix")
        self.assertIn("rejects the test options or input files", err)
        self.assertFalse(os.path.exists(self.path("d.counts.scan/records.tsv")))

    def test_outputs_never_inputs_and_writable_before_any_run(self):
        os.symlink("d.counts", self.path("link"))
        os.link(self.path("d.counts"), self.path("hard"))
        self.write("file", "")
        before = self.read("d.counts")
        cases = [  # extra options, message on standard error
            (["-o", "d.counts"], "table (-o) %s is the count file" % self.path("d.counts")),
            (["-o", "link"], "is the count file"),
            (["-o", "hard"], "is the count file"),
            (["--work", "d.env"], "work folder (--work) %s is the environment file" % self.path("d.env")),
            (["--calibrate", "20", "--quantiles", "d.matrix"], "quantiles file (--quantiles)"),
            (["-o", "nowhere/t.tsv"], "cannot be written"),
            (["-o", "file/t.tsv"], "cannot be written"),
            (["--calibrate", "20", "--quantiles", "file/q.tsv"], "cannot be written"),
            (["--calibrate", "0"], "at least 20 null SNPs (1000 or more for the 99.9% quantile)"),
            (["-k", "6000"], "option -k given twice"),
        ]
        for extra, message in cases:
            err = self.refused(*extra)
            self.assertIn(message, err, extra)
            self.assertNotIn("%%", err)
            self.assertFalse(os.path.exists(self.path("d.counts.scan")), extra)
        self.assertEqual(self.read("d.counts"), before)
        for flag, out in (("--help", "--batch-size"), ("--version", "peltra2-scan ")):
            r = self.scan(flag)
            self.assertEqual((r.status, r.err), (0, ""))
            self.assertIn(out, r.out)


if __name__ == "__main__":
    unittest.main()
