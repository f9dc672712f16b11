#!/usr/bin/python3
"""peltra2-scan: rows equal lone runs of peltra2 -t with seed S + i in input
order, a failed SNP named and kept, a killed scan stopped whole and resumed,
slices merged and those of other scans refused, and the refusals."""

import os
import pathlib
import re
import signal
import subprocess
import time
import unittest

from scan_support import PELTRA2, ScratchTest, read_table, run, tool

N = 12  # SNPs; SNP 6 is monomorphic and fails
OPTS = ["-p", "4", "-m", "sim.matrix", "-e", "sim.env", "-n", "2", "-k", "6000", "-c", "-X"]
# Batches of 5 leave a short last batch.
ARGS = ["-i", "data.counts", "--seed", "100", "--names", "names.txt", "--batch-size", "5", "-j", "2"] + OPTS


class Scan(ScratchTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.simulate("--pops", "4", "--loci", str(N - 1), "--env", "2", "--seed", "31", "--out", "sim")
        lines = cls.read("sim.counts").splitlines(True)
        cls.snps = lines[:10] + ["40\t40\t40\t40\n", "0\t0\t0\t0\n"] + lines[10:]
        cls.write("data.counts", "".join(cls.snps))
        cls.write("names.txt", "".join("rs%d\n" % (1000 + i) for i in range(1, N + 1)))
        cls.whole = cls.scan(*ARGS, "--work", "w0", "-o", "whole.tsv")
        # Inputs of the refusals.
        cls.write("d.counts", "".join(lines[:8]))
        cls.write("odd.counts", "".join(lines[:3]))
        cls.write("short.counts", "".join(lines[:2]) + "1\t2\t3\n" + lines[3])
        cls.write("text.counts", lines[0] + "1\tx\t2\t3\n")
        cls.write("bad.matrix", "1\t0\t0\t0\n0\t-1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n")  # not positive definite
        cls.write("file", "")
        os.symlink("d.counts", cls.path("link"))
        os.link(cls.path("d.counts"), cls.path("hard"))
        os.mkdir(cls.path("mine"))
        cls.write("mine/keep.txt", "x\n")

    def lone_run(self, i, seed, opts, stem):
        self.write(stem + ".counts", "".join(self.snps[2 * i - 2:2 * i]))
        return run([PELTRA2, "-t", "-i", stem + ".counts", "-r", str(seed), "-o", stem] + opts, self.dir)

    def test_rows_equal_lone_runs_in_input_order(self):
        self.assertEqual(self.whole.status, 0, self.whole)
        self.assertIn("SNP 6 (rs1006) failed: ", self.whole.err)
        self.assertIn("%d SNPs, 1 failed" % N, self.whole.err)
        header, rows = read_table(self.path("whole.tsv"))
        self.assertEqual(header, ["snp", "name", "BF_1", "rho_1", "r_1", "BF_2", "rho_2", "r_2", "XtX", "status"])
        self.assertEqual([row[:2] for row in rows], [[str(i), "rs%d" % (1000 + i)] for i in range(1, N + 1)])
        for i, row in enumerate(rows, 1):
            lone = self.lone_run(i, 100 + i, OPTS, "lone%d" % i)
            if i == 6:  # peltra2's own message on that SNP alone
                self.assertEqual(lone.status, 1, lone)
                self.assertEqual(row[2:], ["NA"] * 7 + ["failed: " + lone.out.strip().splitlines()[-1]])
                continue
            self.assertEqual(lone.status, 0, lone)
            bf = self.read("lone%d.bf" % i).rstrip("\n").split("\t")
            xtx = self.read("lone%d.xtx" % i).rstrip("\n").split("\t")
            self.assertEqual(row[2:], bf[1:7] + xtx[1:2] + ["ok"], "SNP %d" % i)

    def records(self, work):
        """SNP numbers of every record of a work folder, in file order."""
        files = [os.path.join(d, f) for d, _, fs in os.walk(self.path(work)) for f in fs
                 if f == "records.tsv" or os.path.basename(d) == "done"]
        lines = [line for name in files for line in pathlib.Path(name).read_text().splitlines(True)]
        return [int(line.split("\t")[0]) for line in lines if line.endswith("\n")]

    def session_processes(self, sid):
        """Processes of session sid still there (zombies included: not yet reaped)."""
        out = []
        for name in os.listdir("/proc"):
            try:
                stat = pathlib.Path("/proc/%s/stat" % name).read_text()
            except OSError:
                continue
            fields = stat[stat.rindex(")") + 2:].split()
            if name.isdigit() and int(fields[3]) == sid and fields[0] != "Z":
                out.append(stat[:stat.rindex(")") + 1])
        return out

    def wait_for(self, what, seconds):
        deadline = time.monotonic() + seconds
        while not what() and time.monotonic() < deadline:
            time.sleep(0.02)
        return what()

    def test_killed_scan_stops_at_once_and_resumes(self):
        # Every run half a second longer: the scan is still running when it is killed.
        self.write("slow-peltra2", "#!/bin/sh\nsleep 0.5\nexec %s \"$@\"\n" % PELTRA2)
        os.chmod(self.path("slow-peltra2"), 0o755)
        cmd = [tool("peltra2-scan"), "--peltra2", self.path("slow-peltra2")] + ARGS + ["--work", "w",
                                                                                      "-o", "resumed.tsv"]
        with open(self.path("first.log"), "w") as log:
            first = subprocess.Popen(cmd, cwd=self.dir, stdout=log, stderr=log, start_new_session=True)
        self.assertTrue(self.wait_for(lambda: len(self.records("w")) >= 2, 120), self.read("first.log"))
        # Another scan on the same work folder is refused at once, the same scan waits.
        other = self.scan(*[("5" if a == "100" else a) for a in ARGS], "--work", "w")
        self.assertEqual(other.status, 1, other)
        self.assertIn("other settings (base_seed differ)", other.err)
        self.assertIn("in use now", other.err)
        with open(self.path("again.log"), "w") as log:
            again = subprocess.Popen(cmd, cwd=self.dir, stdout=log, stderr=log)
        self.assertTrue(self.wait_for(lambda: "in use by this same scan" in self.read("again.log"), 30),
                        self.read("again.log"))
        # SIGKILL to the scan's top process alone: GNU parallel, the batches
        # and the runs stop within a few seconds, and the waiting scan resumes.
        os.kill(first.pid, signal.SIGKILL)
        first.wait()
        killed = len(self.records("w"))
        self.assertTrue(self.wait_for(lambda: not self.session_processes(first.pid), 5),
                        self.session_processes(first.pid))
        self.assertEqual(again.wait(timeout=120), 0, self.read("again.log"))
        err = self.read("again.log")
        done = int(re.search(r"(\d+) of %d finished in an earlier attempt" % N, err).group(1))
        self.assertTrue(killed <= done < N, err)
        self.assertEqual(self.read("resumed.tsv"), self.read("whole.tsv"))
        self.assertEqual(self.records("w"), list(range(1, N + 1)))

    def test_slices_merge_into_the_whole_scan_and_other_scans_are_refused(self):
        for i in (1, 2, 3):
            r = self.scan(*ARGS, "--part", "%d/3" % i, "-o", "p%d.tsv" % i)
            self.assertEqual(r.status, 0, r)
        merge = [tool("peltra2-scan"), "merge", "-o"]
        r = run(merge + ["merged.tsv", "p3.tsv", "p1.tsv", "p2.tsv"], self.dir)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(self.read("merged.tsv"), self.read("whole.tsv"))
        # Slice 2 of scans that differ in one setting; slice 2 edited by hand.
        lines = self.snps[:]
        lines[0], lines[1] = lines[1], lines[0]  # SNP 1 with its alleles swapped: same length
        self.write("other.counts", "".join(lines))
        self.write("other.matrix", "".join("\t".join("%.6f" % (1.1 * float(v)) for v in l.split()) + "\n"
                                           for l in self.read("sim.matrix").splitlines()))
        for name, changes in (("seed", {"100": "5"}), ("k", {"6000": "5600"}),
                              ("counts", {"data.counts": "other.counts"}), ("matrix", {"sim.matrix": "other.matrix"})):
            r = self.scan(*[changes.get(a, a) for a in ARGS], "--part", "2/3", "-o", "x-%s.tsv" % name,
                          "--work", "wx-" + name)
            self.assertEqual(r.status, 0, r)
        p2 = self.read("p2.tsv").splitlines(True)  # two comment lines and the header, then SNPs 5-8
        self.write("x-field.tsv", "".join(p2[:3] + [p2[3].replace("\tok", "\t1.0\tok")] + p2[4:]))
        self.write("x-junk.tsv", "".join(p2[:5] + [re.sub(r"^(7\t[^\t]*\t)[^\t]*", r"\1junk", p2[5])] + p2[6:]))
        self.write("x-snp.tsv", "".join(p2[:6] + [re.sub(r"^8\t", "9\t", p2[6])] + p2[7:]))
        self.write("x-old.tsv", "".join(p2[:1] + p2[2:]))
        for parts, message in [
            (["p1.tsv", "p3.tsv"], "slice 2/3 missing"),
            (["p1.tsv", "p2.tsv", "p2.tsv", "p3.tsv"], "slice 2/3 given twice"),
            (["p1.tsv", "x-seed.tsv", "p3.tsv"], "x-seed.tsv comes from another scan than p1.tsv: "
                                                 "--seed 5 against --seed 100"),
            (["p1.tsv", "x-k.tsv", "p3.tsv"], "-k 5600 against -k 6000"),
            (["p1.tsv", "x-counts.tsv", "p3.tsv"], "another count file (its contents differ)"),
            (["p1.tsv", "x-matrix.tsv", "p3.tsv"], "another matrix file (its contents differ)"),
            (["p1.tsv", "x-field.tsv", "p3.tsv"], "x-field.tsv, line 4: 11 fields where the header has 10"),
            (["p1.tsv", "x-junk.tsv", "p3.tsv"], 'x-junk.tsv, line 6, field BF_1: "junk" is not a number or NA'),
            (["p1.tsv", "x-snp.tsv", "p3.tsv"], 'x-snp.tsv, line 7, field snp: "9" where SNP 8 belongs'),
            (["p1.tsv", "x-old.tsv", "p3.tsv"], 'x-old.tsv, line 2: no "#peltra2-scan scan" line'),
        ]:
            r = run(merge + ["bad.tsv"] + parts, self.dir)
            self.assertEqual(r.status, 1, (parts, r))
            self.assertIn(message, r.err)
            self.assertFalse(os.path.exists(self.path("bad.tsv")))

    def test_a_batch_run_again_skips_what_it_recorded(self):
        # As GNU parallel retrying a batch on another machine: the same records
        # file, SNP 1 recorded, SNP 2's record cut short by a crash.
        os.makedirs(self.path("again/done"))
        self.write("again/done/1.1", "1\tok\tkept\n2\tok\t0.")
        job = [tool("peltra2-scan-job"), PELTRA2, self.path("again"), self.path("data.counts"), "0", "1", "3",
               "100", "1.1"] + [self.path(a) if a.startswith("sim.") else a for a in OPTS]
        r = run(job, self.dir)
        self.assertEqual(r.status, 0, r)
        whole = self.read("whole.tsv").splitlines()[3:5]  # SNPs 2 and 3, after the scan's line and header
        self.assertEqual(self.read("again/done/1.1"), "1\tok\tkept\n" + "".join(
            "%d\tok\t%s\n" % (i, "\t".join(row.split("\t")[2:-1])) for i, row in ((2, whole[0]), (3, whole[1]))))

    def test_refusals_before_any_snp_runs_leave_no_table(self):
        before = self.read("d.counts")
        defaults = [("-i", "d.counts"), ("-p", "4"), ("-m", "sim.matrix"), ("-e", "sim.env"), ("-n", "1"),
                    ("-k", "6000")]
        for extra, message in [  # options beside the defaults (-i, -m or -k given replaces them), message
            (["-i", "odd.counts"], "odd number of lines (3)"),
            (["-i", "short.counts"], 'short.counts", line 3: 3 fields'),
            (["-i", "text.counts"], 'line 2, field 2: "x" is not a count'),
            (["--names", "names.txt"], "names file"),  # 12 names for 4 SNPs
            (["-k", "5000"], "-k must exceed 5000"),
            (["-x", "-s", "sim.env", "-X"], "allows none of -c, -f, -X"),
            (["-o", "d.counts"], "table (-o) %s is the count file" % self.path("d.counts")),
            (["-o", "link"], "is the count file"),
            (["-o", "hard"], "is the count file"),
            (["--work", "sim.env"], "work folder (--work) %s is the environment file" % self.path("sim.env")),
            (["--work", "mine"], "is not a peltra2-scan work folder"),
            (["--calibrate", "20", "--quantiles", "sim.matrix"], "quantiles file (--quantiles)"),
            (["-o", "nowhere/t.tsv"], "cannot be written"),
            (["--calibrate", "20", "--quantiles", "file/q.tsv"], "cannot be written"),
            (["--calibrate", "0"], "at least 20 null SNPs (1000 or more for the 99.9% quantile)"),
            (["-m", "bad.matrix"], "rejects the test options or input files"),  # from one trial run
        ]:
            r = self.scan(*[x for f, v in defaults if f not in extra for x in (f, v)], *extra)
            self.assertEqual(r.status, 1, r)
            self.assertIn(message, r.err, extra)
            self.assertNotIn("%%", r.err)
            for name in ("d", "odd", "short", "text"):
                self.assertFalse(os.path.exists(self.path(name + ".counts.scan.tsv")), extra)
            self.assertFalse(os.path.exists(self.path("d.counts.scan/records.tsv")), extra)
            if "bad.matrix" not in extra:
                self.assertFalse(os.path.exists(self.path("d.counts.scan")), extra)
        self.assertEqual(self.read("d.counts"), before)
        self.assertEqual(self.read("mine/keep.txt"), "x\n")
        r = self.scan("-i", "d.counts", "-k", "6000", "-k", "6000")
        self.assertIn("option -k given twice", r.err)
        # The work folder of another scan.
        r = self.scan(*[("5" if a == "100" else a) for a in ARGS], "--work", "w0")
        self.assertEqual(r.status, 1, r)
        self.assertIn("other settings (base_seed differ)", r.err)
        r = self.scan("--help")
        self.assertEqual((r.status, r.err, "--batch-size" in r.out), (0, "", True), r)


if __name__ == "__main__":
    unittest.main()
