#!/usr/bin/python3
"""Every tool, as a careless user drives it: outputs that name an input or
another output (directly, through .., a symbolic or a hard link), empty
values, repeated options, numbers that are not whole, extra fields and rows,
files of the wrong kind, a scan in which every SNP fails. One table: the
command line, its exit status, a fragment of its standard error, and the
inputs that must come out unchanged."""

import gzip
import hashlib
import os
import pathlib
import shlex
import signal
import stat
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "scan"))
from scan_support import PELTRA2, ScratchTest, run, tool  # noqa: E402

SCAN = "peltra2-scan -i f.counts -p 4 -m f.matrix -e f.env -n 1 -k 5500 -z -j 1"


def scan(i="f.counts", m="f.matrix", e="f.env"):
    return SCAN.replace("f.counts", i).replace("f.matrix", m).replace("f.env", e)


CHAINS = "peltra2-matrix c1.out c2.out"
CONVERT = "peltra2-convert --vcf ex.vcf --map ex.popmap"
SIMULATE = "peltra2-simulate --pops 4"

# command line, exit status, fragment of standard error, inputs unchanged afterwards
CASES = [
    # outputs that are an input or another output
    (CHAINS + " -o c2.out", 1, "-o c2.out is the same file as input c2.out; give -o another name", "c1.out c2.out"),
    (CHAINS + " --diagnostics sub/../c1.out", 1, "is the same file as input c1.out", "c1.out c2.out"),
    (CHAINS + " --correlation chain.link", 1, "--correlation chain.link is the same file as input c1.out",
     "c1.out"),
    (CHAINS + " --counts f.counts -o counts.hard", 1, "-o counts.hard is the same file as --counts f.counts",
     "f.counts"),
    (CHAINS + " --correlation x.m -o x.m", 1, "--correlation x.m is the same file as -o x.m", ""),
    (CHAINS + " --counts f.counts -e f.env -o ./f.env", 1, "-o ./f.env is the same file as -e f.env", "f.env"),
    (SCAN + " -o sub/../f.counts", 1, "is the same file as -i", "f.counts"),
    (SCAN + " -o counts.link --work w1", 1, "is the same file as -i", "f.counts"),
    (SCAN + " --work f.env", 1, "is the same file as -e", "f.env"),
    (SCAN + " --calibrate 20 -o q.tsv --quantiles ./q.tsv", 1, "q.tsv is the same file as -o", ""),
    ("peltra2-plot heatmap f.matrix -o matrix.png", 1, "-o matrix.png is the same file as MATRIX f.matrix",
     "f.matrix"),
    (CONVERT + " --out cv --order cv.names", 1, "is the same file as", "cv.names ex.vcf ex.popmap"),
    (CONVERT + " --out sub/../hl", 1, "is the same file as", "ex.popmap"),
    (SIMULATE + " --loci 5 --matrix sm.matrix --out sm", 1, "is the same file as", "sm.matrix"),
    # a trailing / that a rename would drop; a file as a folder; - where only a file will do
    (CHAINS + " -o c1.out/", 1, "-o c1.out/ ends in /, as a folder does; give a file name", "c1.out c2.out"),
    (SCAN + " -o f.counts/", 1, "-o f.counts/ ends in /", "f.counts"),
    (SCAN + " --calibrate 20 -o q2.tsv --quantiles f.env/", 1, "--quantiles f.env/ ends in /", "f.env"),
    ("peltra2-scan merge -o t.tsv/ t.tsv", 1, "-o t.tsv/ ends in /", "t.tsv"),
    (SCAN + " --work t.tsv", 1, "--work t.tsv is a file, not a folder; give another name", "t.tsv"),
    (SCAN + " -o -", 1, "-o -: the table is written to a file, not to standard output", ""),
    (CONVERT + " --out sub/", 1, "option --out: 'sub/' ends in /, which would name hidden files", ""),
    (SIMULATE + " --loci 5 --out sub/", 1, "option --out: 'sub/' ends in /", ""),
    ("make-example-vcf --out sub/", 1, "option --out: 'sub/' ends in /", ""),
    (CHAINS + " --correlation -", 1, "--correlation -: it is written to a file, not to standard output", ""),
    (SIMULATE + " --loci 5 --one-locus f.env --out ol", 1, "--one-locus f.env is a file, not a folder", "f.env"),
    ("peltra2-matrix - -", 1, "- (standard input) given 2 times; it can be read only once", ""),
    ("peltra2-scan-job p w c 0 1 2 0 ../f.counts", 1, "RECORDS '../f.counts' must be a file name", "f.counts"),
    # empty values, repeated options, numbers that are not whole
    ("peltra2-matrix c1.out --counts ''", 1, "option --counts: empty value", "c1.out"),
    ("peltra2-matrix c1.out --diagnostics=", 1, "option --diagnostics: empty value", "c1.out"),
    ("peltra2-matrix ''", 1, "argument FILE: empty value", ""),
    ("peltra2-matrix c1.out -o a -o b", 1, "option -o given more than once", ""),
    ("peltra2-matrix c1.out -e f.env", 1, "--single-factor, -x, -s and -e go with --counts FILE", ""),
    ("peltra2-matrix c1.out --counts f.counts -n 1", 1, "-n N goes with -e ENV", ""),
    ("peltra2-matrix c1.out --counts f.counts -e f.env -n 0", 1, "-n 0: give the number of environmental", ""),
    ("peltra2-matrix c1.out --counts f.counts -e f.env -n 2", 1, "environment file f.env: 1 line of numbers "
     "where 2 are needed", ""),
    ("peltra2-matrix c1.out --counts f.counts -e ''", 1, "option -e: empty value", ""),
    ("peltra2-matrix c1.out -b 1_000", 1, "option -b: '1_000' is not a whole number", ""),
    (SCAN + " --names ''", 1, "option --names: empty value", ""),
    (SCAN + " --quantiles ''", 1, "option --quantiles: empty value", ""),
    (SCAN + " --quantiles q.tsv", 1, "--quantiles names the file of a calibration: give --calibrate N", ""),
    (SCAN + " --work ''", 1, "option --work: empty value", ""),
    (SCAN + " -o ''", 1, "option -o: empty value", ""),
    (SCAN + " --seed 1e3", 1, "option --seed: '1e3' is not a whole number", ""),
    (SCAN + " -k 6000", 1, "option -k given more than once", ""),
    ("peltra2-plot scan t.tsv -o ''", 1, "option -o: empty value", "t.tsv"),
    ("peltra2-plot heatmap f.matrix --title a --title b", 1, "option --title given more than once", ""),
    ("peltra2-plot trace c1.out -b 1e3", 1, "option -b: '1e3' is not a whole number", ""),
    ("make-example-vcf --out ''", 1, "option --out: empty value", ""),
    ("make-example-vcf --seed 1_0", 1, "option --seed: '1_0' is not a whole number", ""),
    (CONVERT + " --out ''", 1, "option --out: empty value", ""),
    (CONVERT + " --out a --out b", 1, "option --out given more than once", ""),
    (CONVERT + " --min-copies 1e3", 1, "option --min-copies: '1e3' is not a whole number", ""),
    (SIMULATE + " --loci 5 --out ''", 1, "option --out: empty value", ""),
    (SIMULATE + " --loci 1_0", 1, "option --loci: '1_0' is not a whole number", ""),
    ("peltra2-matrix c1.out -o ' '", 1, "option -o: empty value", ""),
    (CONVERT + " --out ' '", 1, "option --out: empty value", ""),
    (SIMULATE + " --loci 5 --out ' '", 1, "option --out: empty value", ""),
    ("make-example-vcf --seed -3", 1, "option --seed: '-3' is not a whole number from 0 up", ""),
    (SCAN + " --calibrate 20 --calibration-seed -1", 1, "--calibration-seed must be 0 or more", ""),
    ("peltra2-scan-job p w c x 1 2 0 r", 1, "OFFSET 'x' is not a whole number 0 or more", ""),
    # extra fields and rows: read past, with a warning that says what was used
    (scan(i="wide.counts") + " -o w.tsv --work ww", 0,
     "warning: count file wide.counts, line 1: 5 fields where 4 are needed; only the first 4 are used", ""),
    (scan(e="wide.env") + " -o e.tsv --work we", 0,
     "warning: environment file wide.env, line 1: 5 fields where 4 are needed; only the first 4 are used", ""),
    (scan(m="long.matrix") + " -o l.tsv --work wl", 0, "long.matrix, line 5: 1 more line with content; "
     "only the first 4 lines are used", ""),
    ("peltra2-matrix c1.out --counts wide.counts", 0, "warning: count file wide.counts, line 1: 5 fields", ""),
    ("peltra2-matrix c1.out --counts f.counts -e wide.env", 0, "warning: environment file wide.env, line 1: 5 "
     "fields where 4 are needed", ""),
    ("peltra2-plot heatmap long.matrix -o long.png", 0, "only the first 4 lines are used", ""),
    ("peltra2-plot scan wide.tsv -o wide.png", 0, "warning: scan table wide.tsv, line 2: 6 fields where 5 are "
     "needed; only the first 5 are used, on this line and 5 other lines", ""),
    # files of the wrong kind
    ("peltra2-plot scan f.counts", 1, "f.counts is not a scan table: its header (line 1) lacks the columns "
     "snp, name, status", "f.counts"),
    ("peltra2-plot scan t.tsv --quantiles f.counts -o q.png", 1, "f.counts is not a quantiles file", ""),
    ("peltra2-plot heatmap f.matrix --names latin.names -o ln.png", 1, "latin.names, line 2: the name is not UTF-8",
     ""),
    ("peltra2-matrix c1.out --counts f.counts.gz", 1, "f.counts.gz is compressed (gzip): decompress it first", ""),
    ("peltra2-plot scan dup.tsv -o dup.png", 1, "dup.tsv, line 4: SNP 2 again (first at line 3)", ""),
    (scan(m="spaced.matrix"), 1, "spaced.matrix, line 1: 1 field where 4 are needed (matrix file); fields are "
     "separated by tabs, not spaces", ""),
    (CONVERT.replace("ex.vcf", "binary.dat") + " --out bn", 1, "binary.dat is not a VCF or BCF file", ""),
    ("peltra2-plot scan t.tsv --snps cv0.snps -o s.png", 1, "t.tsv holds 6 SNPs but the SNP table cv0.snps holds",
     ""),
    ("peltra2-plot scan named.tsv --snps f.snps -o n.png", 1, "SNP 2 is named rsX in named.tsv but is rs2", ""),
    ("peltra2-plot scan nan.tsv -o nan.png", 1, "nan.tsv, line 3, column Z: 'nan' is not a number", ""),
    ("peltra2-plot scan num.tsv -o num.png", 1, "'1_000' is not a number", ""),
    ("peltra2-plot scan inf.tsv -o inf.png", 0, "Z: 5 of 6 SNPs with a value (1 infinite, drawn at the edge)", ""),
    ("peltra2-plot scan allna.tsv -o allna.png", 0, "rho_1: no SNP has a value (all NA); its panel is empty", ""),
    (scan(m="c1.out"), 1, "c1.out is the output of a matrix-estimation run, not a matrix file", ""),
    (SCAN + " --names short.names", 1, "names file", ""),
    ("peltra2-matrix neg.out", 1, "the run in neg.out, report at line 1 (ITER = 500): the variance is -0.5", ""),
    ("peltra2-matrix c1.out c1.out", 0, "warning: c1.out and c1.out are the same file", ""),
    ("peltra2-matrix c1.out copy.out", 0, "warning: c1.out and copy.out hold the same text", ""),
    ("peltra2-matrix short.out --diagnostics few.tsv", 0, "too few to judge convergence", ""),
    ("peltra2-scan merge -o t.tsv t.tsv", 1, "-o t.tsv is the same file as", "t.tsv"),
    ("peltra2-scan merge -o '' t.tsv", 1, "option -o: empty value", "t.tsv"),
    ("peltra2-scan-job --help", 0, "", ""),
    ("peltra2-scan-job f.counts", 1, "1 arguments where 8 or more are needed", "f.counts"),
    # refused by peltra2 before any SNP ran: its hint, and a work folder the corrected command may take
    (scan(m="npd.matrix") + " -o npd.tsv --work wnpd", 1, "npd.matrix\": the matrix of its first 4 lines is not "
     "positive definite", ""),
    (SCAN + " -o npd.tsv --work wnpd", 0, "running 6 SNPs", ""),
    (SCAN.replace("-k 5500", "-k 4294972797"), 1, "-k 4294972797: peltra2 takes at most 2147483647", ""),
    (SCAN + " --part 1/9 -o e9.tsv --work we9", 0, "e9.tsv: 0 SNPs", ""),  # more slices than SNPs
    # a scan in which every SNP fails
    (scan(i="mono.counts") + " -o mono.tsv --work wm", 1, "no SNP succeeded: all 2 failed", "mono.counts"),
]


def edited(table, cells):
    """The table's text with cells[(row, column)] (rows from 1 after the header, columns from 0) replaced."""
    lines = [l.split("\t") for l in table.splitlines()]
    for (i, j), text in cells.items():
        lines[i][j] = text
    return "".join("\t".join(l) + "\n" for l in lines)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Careful(ScratchTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.simulate("--pops", "4", "--loci", "6", "--env", "1", "--seed", "7", "--out", "f")
        for seed, name in ((11, "c1.out"), (12, "c2.out")):
            r = run([PELTRA2, "-i", "f.counts", "-p", "4", "-k", "3000", "-r", str(seed)], cls.dir)
            assert r.status == 0, r
            cls.write(name, r.out)
        cls.write("copy.out", cls.read("c1.out"))
        r = cls.scan("-i", "f.counts", "-p", "4", "-m", "f.matrix", "-e", "f.env", "-n", "1", "-k", "5500", "-z",
                     "-c", "-j", "1", "-o", "t.tsv", "--work", "tw")
        assert r.status == 0, r
        for args in (["make-example-vcf", "--pops", "3", "--samples", "2", "--snps", "40", "--out", "ex"],
                     ["peltra2-convert", "--vcf", "ex.vcf", "--map", "ex.popmap", "--out", "cv0"]):
            r = run([tool(args[0])] + args[1:], cls.dir)
            assert r.status == 0, r
        counts = cls.read("f.counts").splitlines(True)
        # snp, name, Z, rho_1, status; without the line that names the scan
        table = "".join(l for l in cls.read("t.tsv").splitlines(True) if not l.startswith("#"))
        files = {
            "cv.names": "N1\nS1\nE1\n", "sm.matrix": cls.read("f.matrix"),
            "wide.counts": "".join(l.rstrip("\n") + "\t9\n" for l in counts),
            "wide.env": cls.read("f.env").rstrip("\n") + "\t1.5\n",
            "long.matrix": cls.read("f.matrix") + "0.1\n",
            "mono.counts": "40\t40\t40\t40\n0\t0\t0\t0\n" * 2,
            "short.names": "a\nb\n",
            "neg.out": "VAR-COVAR MATRIX: ITER = 500\n-0.5\t\n\n",
            "short.out": "".join("VAR-COVAR MATRIX: ITER = %d\n%d\t0\t\n0\t%d\t\n\n" % (500 * v, v, v) for v in (1, 2)),
            "f.snps": "snp\tchrom\tpos\tid\n" + "".join("%d\tchr1\t%d\trs%d\n" % (i, 100 * i, i) for i in range(1, 7)),
            "named.tsv": edited(table, {(i, 1): "rsX" if i == 2 else "rs%d" % i for i in range(1, 7)}),
            "nan.tsv": edited(table, {(2, 2): "nan"}),
            "num.tsv": edited(table, {(1, 2): "1_000"}),
            "inf.tsv": edited(table, {(1, 2): "inf", (2, 2): "NA"}),
            "allna.tsv": edited(table, {(i, 3): "NA" for i in range(1, 7)}),
            "dup.tsv": edited(table, {(3, 0): "2"}),
            "npd.matrix": "1\t2\t0\t0\n2\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n",
            "spaced.matrix": cls.read("f.matrix").replace("\t", " "),
            "binary.dat": "\x00\x01\x02\x7f\n",
            "wide.tsv": "".join(l + ("\textra\n" if n else "\n") for n, l in enumerate(table.splitlines())),
        }
        for name, text in files.items():
            cls.write(name, text)
        pathlib.Path(cls.path("f.counts.gz")).write_bytes(gzip.compress(cls.read("f.counts").encode()))
        pathlib.Path(cls.path("latin.names")).write_bytes("N1\nZ\u00fcrich\nE1\nS1\n".encode("latin-1"))
        os.mkdir(cls.path("sub"))
        os.symlink("c1.out", cls.path("chain.link"))
        os.symlink("f.counts", cls.path("counts.link"))
        os.symlink("f.matrix", cls.path("matrix.png"))
        os.link(cls.path("f.counts"), cls.path("counts.hard"))
        os.link(cls.path("ex.popmap"), cls.path("hl.names"))

    def command(self, line):
        words = shlex.split(line)
        name = words[0]
        if name == "peltra2-scan" and words[1] != "merge":
            words[1:1] = ["--peltra2", PELTRA2]
        return [tool(name)] + words[1:], name

    def test_table(self):
        self.assertIn("\tZ\trho_1\tstatus", self.read("t.tsv").splitlines()[1])  # after the scan line
        for line, status, fragment, unchanged in CASES:
            with self.subTest(line):
                argv, name = self.command(line)
                before = {f: sha(self.path(f)) for f in unchanged.split()}
                r = run(argv, self.dir)
                self.assertEqual(r.status, status, r)
                self.assertIn(fragment, r.err, r)
                self.assertNotIn("Traceback", r.err)
                self.assertEqual({f: sha(self.path(f)) for f in before}, before)
                if status:
                    self.assertEqual(r.out, "", r)
                    self.assertTrue(all(l.startswith(name + ": ") for l in r.err.splitlines()), r)
        # Asked for, the diagnostics table is written even when the reports are too few.
        self.assertEqual(self.read("few.tsv").splitlines()[1:], ["1\t1\t2.000000e+00\tNA\tNA\tNA\tNA",
                                                                 "2\t1\t0.000000e+00\tNA\tNA\tNA\tNA",
                                                                 "2\t2\t2.000000e+00\tNA\tNA\tNA\tNA"])

    def test_outputs_keep_the_mode_of_what_they_replace(self):
        self.write("mode.m", "old\n")
        os.chmod(self.path("mode.m"), 0o664)
        old = os.umask(0o077)
        try:
            r = run([tool("peltra2-matrix"), "c1.out", "-o", "mode.m", "--correlation", "new.m"], self.dir)
        finally:
            os.umask(old)
        self.assertEqual(r.status, 0, r)
        self.assertEqual((os.stat(self.path("mode.m")).st_mode & 0o777, os.stat(self.path("new.m")).st_mode & 0o777),
                         (0o664, 0o600))
        self.assertEqual([f for f in os.listdir(self.dir) if f.startswith(".")], [])  # no temporary file left

    def test_a_pipe_is_written_to_not_replaced(self):
        fifo = self.path("out.fifo")
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        try:
            r = run([tool("peltra2-matrix"), "c1.out", "-o", "out.fifo"], self.dir)
            self.assertEqual(r.status, 0, r)
            self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode))
            self.assertEqual(os.read(reader, 1 << 16).decode().count("\n"), 4)
        finally:
            os.close(reader)
            os.unlink(fifo)

    def test_a_stop_signal_leaves_no_temporary_file(self):
        folder = self.path("stop")
        os.mkdir(folder)
        p = subprocess.Popen([tool("make-example-vcf"), "--snps", "1000000", "--out", "big"], cwd=folder,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        while not os.listdir(folder) and p.poll() is None:  # until the VCF is being written
            time.sleep(0.05)
        p.send_signal(signal.SIGTERM)
        out, err = p.communicate()
        self.assertEqual((p.returncode, out), (128 + signal.SIGTERM, b""), err)
        self.assertEqual(err.decode(), "make-example-vcf: stopped by signal 15; nothing written for the output "
                                       "in progress\n")
        self.assertEqual(os.listdir(folder), [])


if __name__ == "__main__":
    unittest.main()
