#!/usr/bin/python3
"""The Snakemake pipeline (workflow/Snakefile) on tiny settings: its tables
equal a direct peltra2-scan with the same matrix byte for byte; a second run
does nothing; a changed scan -k reruns the scan and what follows it, not the
chains; a scan job killed half way and the pipeline started again resumes
and ends with the same tables; a VCF input is converted and thinned; pooled
reads reach every step; bad settings are refused naming the key."""

import os
import pathlib
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

TOP = pathlib.Path(__file__).resolve().parents[2]
BUILD = os.environ.get("PELTRA_BUILD_DIR", str(TOP / "build"))
SNAKEFILE = str(TOP / "workflow" / "Snakefile")
ENV = str(TOP / "examples" / "example.env")
SNPS = 40  # the first SNPs of the example data
TINY = {"programs": BUILD, "counts": "small.counts", "env": ENV, "chains": 2, "iterations": 4000,
        "scan_iterations": 6000, "slices": 2, "scan_threads": 1, "calibrate": 20}
# Rules that follow the scan's -k; the others must not run again when it changes.
AFTER_SCAN = {"scan_slice", "merge", "calibrate", "scan_picture", "report", "all"}


def write_config(path, settings):
    path.write_text("".join("%s: %s\n" % kv for kv in settings.items()))


def rules_run(output):
    """The rules of the jobs a snakemake run started, from its log."""
    return set(re.findall(r"^(?:local)?rule (\w+):$", output, re.M))


class Pipeline(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("snakemake"):
            raise RuntimeError("snakemake is missing: bash tools/install-deps.sh installs it")
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="peltra2-workflow-test-"))
        os.environ["PARALLEL_HOME"] = str(cls.dir / ".parallel")
        lines = (TOP / "examples" / "example.counts").read_text().splitlines(True)
        (cls.dir / "small.counts").write_text("".join(lines[:2 * SNPS]))
        write_config(cls.dir / "tiny.yaml", TINY)
        cls.first = cls.snakemake()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def command(cls, *extra):
        return ["snakemake", "-s", SNAKEFILE, "--cores", "2", "--configfile", "tiny.yaml"] + list(extra)

    @classmethod
    def snakemake(cls, *extra):
        return subprocess.run(cls.command(*extra), cwd=cls.dir, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)

    def direct_scan(self, k, *extra):
        """The table (and quantiles) of a whole scan run by hand with the pipeline's matrix."""
        name = "direct-%d%s" % (k, "".join(extra).replace(" ", ""))
        p = subprocess.run([os.path.join(BUILD, "tools", "peltra2-scan"), "--peltra2", os.path.join(BUILD, "peltra2"),
                            "--no-bar", "--work", name + ".work", "-i", "small.counts", "-p", "6",
                            "-m", "results/matrix.txt", "-e", ENV, "-n", "2", "-k", str(k), "-X", "--seed", "0",
                            "-o", name + ".tsv"] + list(extra), cwd=self.dir, stderr=subprocess.PIPE, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        return self.dir / (name + ".tsv")

    def assert_tables_equal_direct_scans(self, k):
        read = lambda p: pathlib.Path(p).read_bytes()
        self.assertEqual(read(self.dir / "results/scan/merged.tsv"), read(self.direct_scan(k)))
        calibrated = self.direct_scan(k, "--calibrate", "20")
        self.assertEqual(read(self.dir / "results/scan.tsv"), read(calibrated))
        self.assertEqual(read(self.dir / "results/scan.quantiles.tsv"),
                         read(str(calibrated).replace(".tsv", ".quantiles.tsv")))

    def test_1_tables_pictures_report_logs(self):
        self.assertEqual(self.first.returncode, 0, self.first.stdout[-3000:])
        self.assert_tables_equal_direct_scans(6000)
        results = self.dir / "results"
        for picture in ("trace", "heatmap", "scan"):
            self.assertEqual((results / "pictures" / (picture + ".png")).read_bytes()[:4], b"\x89PNG")
        report = (results / "report.html").read_text()
        self.assertEqual(report.count("data:image/png;base64,"), 3)
        for text in ("lambda", "Flagged SNPs", "R-hat", "XtX"):
            self.assertIn(text, report)
        logs = {p.name for p in (results / "logs").iterdir()}
        self.assertEqual(logs, {"chain1.log", "chain2.log", "matrix.log", "scan_slice1.log", "scan_slice2.log",
                                "merge.log", "calibrate.log", "trace.log", "heatmap.log", "scan_picture.log",
                                "report.log"})
        self.assertFalse(any((results / "scan" / "work").iterdir()), "work folders left after success")

    def test_2_second_run_does_nothing(self):
        again = self.snakemake()
        self.assertEqual(again.returncode, 0, again.stdout)
        self.assertIn("Nothing to be done", again.stdout)
        self.assertEqual(rules_run(again.stdout), set())

    def test_3_changed_k_and_a_killed_job(self):
        # A longer -k, so that the slice runs long enough to be killed half way.
        k = 40000
        cmd = self.command("--config", "scan_iterations=%d" % k)
        chains = [(self.dir / ("results/chains/chain%d.out" % c)).stat().st_mtime_ns for c in (1, 2)]
        dry = subprocess.run(cmd + ["-n"], cwd=self.dir, stdout=subprocess.PIPE, text=True)
        self.assertEqual(rules_run(dry.stdout), AFTER_SCAN)

        with open(self.dir / "killed.log", "w") as log:
            pipeline = subprocess.Popen(cmd, cwd=self.dir, stdout=log, stderr=subprocess.STDOUT)
        try:
            scan = self.wait_for_recorded_snps(pipeline.pid)
            os.kill(scan, signal.SIGTERM)
            self.assertNotEqual(pipeline.wait(timeout=120), 0)
        finally:
            if pipeline.poll() is None:
                pipeline.kill()
                pipeline.wait()
        killed = (self.dir / "killed.log").read_text()
        self.assertIn("Error in rule scan_slice", killed)

        again = subprocess.run(cmd, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.assertEqual(again.returncode, 0, again.stdout[-3000:])
        self.assertLessEqual(rules_run(killed) | rules_run(again.stdout), AFTER_SCAN)
        self.assertRegex((self.dir / "results/logs/scan_slice1.log").read_text(),
                         r"[1-9][0-9]* of 20 finished in an earlier attempt")
        self.assertEqual([(self.dir / ("results/chains/chain%d.out" % c)).stat().st_mtime_ns for c in (1, 2)], chains)
        self.assert_tables_equal_direct_scans(k)

    def wait_for_recorded_snps(self, root):
        """The pid of slice 1's peltra2-scan, among root's descendants, once it has recorded SNPs
        (should the slice end first, the kill or the resume check fails)."""
        work = self.dir / "results" / "scan" / "work"
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            done = [p for d in work.glob("slice1.*") for p in (d / "done").glob("*") if p.stat().st_size]
            pid = next((p for p in descendants(root) if is_slice_one(cmdline(p))), None)
            if done and pid:
                return pid
            time.sleep(0.05)
        self.fail("slice 1 recorded no SNP within 120 s")


def cmdline(pid):
    try:
        return pathlib.Path("/proc/%d/cmdline" % pid).read_bytes().decode().split("\0")
    except OSError:
        return []


def is_slice_one(argv):
    """peltra2-scan itself (run by python3), not the job's shell whose command line names it."""
    return (len(argv) > 2 and os.path.basename(argv[1]) == "peltra2-scan"
            and any(a == "--part" and b == "1/2" for a, b in zip(argv, argv[1:])))


def descendants(root):
    """The pids below root in the process tree, from /proc."""
    children = {}
    for stat in pathlib.Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append(int(stat.parent.name))
    found, todo = [], [root]
    while todo:
        for c in children.get(todo.pop(), []):
            found.append(c)
            todo.append(c)
    return found


class Settings(unittest.TestCase):
    """A VCF input converted and thinned, pooled reads; bad settings refused by the dry run, naming the key."""

    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="peltra2-workflow-test-"))
        self.addCleanup(shutil.rmtree, self.dir, True)
        os.environ["PARALLEL_HOME"] = str(self.dir / ".parallel")

    def run_pipeline(self, settings, *extra):
        write_config(self.dir / "c.yaml", settings)
        return subprocess.run(["snakemake", "-s", SNAKEFILE, "--cores", "2", "--configfile", "c.yaml"] + list(extra),
                              cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

    def test_vcf_input(self):
        p = subprocess.run([os.path.join(BUILD, "tools", "make-example-vcf"), "--seed", "3", "--snps", "60",
                            "--out", "demo"], cwd=self.dir, stderr=subprocess.PIPE, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        vcf = dict(TINY, vcf="demo.vcf", popmap="demo.popmap", env="demo.env", thin=20,
                   scan_iterations=5500, calibrate=0, slices=3)
        r = self.run_pipeline(vcf)
        self.assertEqual(r.returncode, 0, r.stdout[-3000:])
        data = self.dir / "results" / "data"
        self.assertEqual(len((data / "thinned.counts").read_text().splitlines()), 2 * 20)
        snps = [l.split("\t") for l in (data / "data.snps").read_text().splitlines()[1:]]
        rows = [l.split("\t") for l in (self.dir / "results" / "scan.tsv").read_text().splitlines()
                if not l.startswith("#")][1:]
        self.assertEqual([r[1] for r in rows], [s[3] if s[3] != "." else s[1] + ":" + s[2] for s in snps])
        # the chains see the thinned file, the rescaling every SNP
        log = (self.dir / "results" / "logs" / "matrix.log").read_text()
        self.assertRegex(log, r"rescaled to the drift of \S*data\.counts \(%d SNPs" % len(snps))

    def test_pooled_input(self):
        p = subprocess.run([os.path.join(BUILD, "tools", "peltra2-simulate"), "--pops", "4", "--loci", "30", "--env", "1",
                            "--tree", "--pooled", "--pool-size", "20", "--max-coverage", "30", "--seed", "5",
                            "--out", "p"], cwd=self.dir, stderr=subprocess.PIPE, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        pooled = dict(TINY, counts="p.counts", env="p.env", pooled="true", pool_sizes="p.samplesize", xtx="false")
        r = self.run_pipeline(pooled)
        self.assertEqual(r.returncode, 0, r.stdout[-3000:])
        lines = (self.dir / "results" / "scan.tsv").read_text().splitlines()
        self.assertIn("options=-p 4 -k 6000 -n 1 -x\t", lines[0])
        self.assertEqual(lines[1], "snp\tname\tZ\tZ_flag\tstatus")
        self.assertEqual(len(lines), 2 + 30)

    def test_refusals(self):
        cases = [  # setting changed, what the message says
            ({"iterations": 3000}, "config.yaml, iterations: too few"),
            ({"scan_iterations": 5000}, "config.yaml, scan_iterations: a test run needs more than 5000"),
            ({"slices": 0}, "config.yaml, slices: 0 is not a whole number of at least 1"),
            ({"calibrate": 10}, "config.yaml, calibrate: 10 null SNPs are too few"),
            ({"flag_level": 98}, "config.yaml, flag_level: 98 is not 95, 99 or 99.9"),
            ({"pooled": "true", "pool_sizes": "p.txt"}, "config.yaml: pooled reads give the Z statistic only"),
            ({"counts": '""'}, "config.yaml: give counts, or vcf with popmap"),
            ({"vcf": "x.vcf"}, "config.yaml, popmap: a VCF input needs its population map"),
            ({"programs": str(self.dir)}, "config.yaml, programs: no peltra2 in"),
        ]
        for change, message in cases:
            with self.subTest(change=change):
                r = self.run_pipeline(dict(TINY, **change), "-n")
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(message, r.stdout)


if __name__ == "__main__":
    unittest.main()
