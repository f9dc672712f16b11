#!/usr/bin/python3
"""peltra2-plot: pictures of the requested (or default) size and format, the
scan's thresholds and flags; bad inputs fail with one line and status 1."""

import struct
import unittest

from scan_support import ScratchTest, run, tool


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", "not a PNG: %s" % path
    return struct.unpack(">II", head[16:24])


def matrix_text(m):
    return "".join("".join("%e\t" % v for v in row) + "\n" for row in m)


def report(label, m):
    return "VAR-COVAR MATRIX: ITER = %d\n%s\n" % (label, matrix_text(m))


def scan_table(n):
    """n SNPs; SNP 7 failed; SNPs 3 and 30 flagged for BF_1, SNP 12 for XtX."""
    lines = ["snp\tname\tBF_1\trho_1\tr_1\tXtX\tBF_1_flag\tXtX_flag\tcomment\tstatus\n"]
    for i in range(1, n + 1):
        if i == 7:
            lines.append("7\trs7\tNA\tNA\tNA\tNA\tNA\tNA\tsee log\tfailed: initial epsilon zero or 1 locus 0\n")
            continue
        bf = 50.0 if i in (3, 30) else 0.2 + 0.01 * i
        lines.append("%d\trs%d\t%.4e\t%.4e\t%.4e\t%.4e\t%d\t%d\tx%d\tok\n"
                     % (i, i, bf, 0.3 - 0.015 * i, -0.2 + 0.01 * i, 5.0 + (4 if i == 12 else 0.01 * i),
                        i in (3, 30), i == 12, i))
    return "".join(lines)


class Plot(ScratchTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.write("genome.scan.tsv", scan_table(40))
        cls.write("genome.scan.quantiles.tsv",
                  "statistic\tq95\tq99\tq99.9\tnull_snps\nBF_1\t2.0\t5.0\t20.0\t1000\n"
                  "|rho_1|\t0.3\t0.5\t0.7\t1000\n|r_1|\t0.3\t0.5\t0.7\t1000\nXtX\t7\t8\t9\t1000\n")
        cls.write("genome.snps", "snp\tchrom\tpos\tid\tref\talt\tcopies_A\tcopies_B\n" + "".join(
            "%d\t%s\t%d\trs%d\tA\tC\t20\t20\n" % (i, "chr1" if i <= 25 else "chr2", 1000 * i, i) for i in range(1, 41)))

    def plot(self, *args, stdin=b""):
        return run(["/usr/bin/python3", tool("peltra2-plot")] + list(args), self.dir, stdin)

    def test_scan_panels_thresholds_and_flags(self):
        r = self.plot("scan", "genome.scan.tsv", "--snps", "genome.snps")
        self.assertEqual(r.status, 0, r)
        self.assertEqual(png_size(self.path("genome.scan.tsv.scan.png")), (1200, 150 + 4 * 200))
        self.assertIn("peltra2-plot: thresholds from genome.scan.quantiles.tsv\n", r.err)
        for stat, flagged in (("BF_1", 2), ("rho_1", 0), ("XtX", 1)):
            self.assertIn("peltra2-plot: %s: 39 of 40 SNPs with a value; thresholds: q95 q99 q99.9; flagged: %d\n"
                          % (stat, flagged), r.err)
        self.assertNotIn("comment", r.err)  # a text column is no statistic
        r = self.plot("scan", "-", "--stats", "XtX", "--quantiles", "genome.scan.quantiles.tsv",
                      stdin=self.read("genome.scan.tsv").encode())
        self.assertEqual(png_size(self.path("stdin.scan.png")), (1200, 150 + 200), r)
        self.assertNotIn("rho_1", r.err)

    def test_table(self):
        # One row per case: files, command line, status, a text expected on
        # standard output (errors, the whole line) or standard error (notes),
        # the start of the file written.
        one = [[1.0, 0.1], [0.1, 2.0]]
        for name, text in [
            ("m", matrix_text([[1.0, 0.5], [0.5, 2.0]])), ("names3", "a\nb\nc\n"),
            ("est.out", "===== PELTRA2.0 =====\n\n" + report(500, [[1.0]])), ("short", "1\t0.5\t0\n0.5\t1\t0\n"),
            ("zero", "1\t0\n0\t0\n"), ("text", "1\t0\n0\tx\n"), ("asym", "1\t0.5\n0.4\t1\n"),
            ("beyond", "1\t2\n2\t1\n"), ("na.tsv", "snp\tname\tBF_1\tnote\tstatus\n1\ta\t0.5\tx\tok\n2\tb\tNA\ty\tok\n3\tc\t2.5\tz\tok\n"),
            ("bad.tsv", "snp\tname\tBF_1\tstatus\n1\ta\t0.5\tok\n2\tb\toops\tok\n"),
            ("short.snps", "snp\tchrom\tpos\n1\tchr1\t5\n"),
            ("nostats.tsv", "snp\tname\tstatus\n1\ta\tok\n"), ("none.out", "===== PELTRA2.0 =====\n"),
            ("runs.out", "".join(report(500 * n, one) for n in (1, 2, 3, 4, 1, 2, 3, 4))),
            ("mixed.out", report(500, one) + report(1000, [[1.0]])),
        ]:
            self.write(name, text)
        for args, status, text, written in [
            (["heatmap", "m", "--size", "640x480", "-o", "small.png"], 0, "wrote small.png", b"\x89PNG"),
            (["heatmap", "m", "-o", "m.pdf"], 0, "wrote m.pdf", b"%PDF"),
            (["heatmap", "m", "-o", "m.svg"], 0, "wrote m.svg", b"<?xml"),
            (["scan", "na.tsv", "-o", "na.png"], 0, "BF_1: 2 of 3 SNPs with a value", b"\x89PNG"),
            (["trace", "runs.out", "-o", "t.svg"], 0, "8 reports of a 2 x 2 matrix in 2 runs", b"<?xml"),
            (["trace", "runs.out"], 0, "in 2 runs, ITER = 500 .. 2000\n", None),
            (["heatmap", "m", "--names", "names3"], 1, "names file names3 has 3 lines for 2 populations; "
             "give one name per line", None),
            (["heatmap", "est.out"], 1, "est.out is the output of a matrix-estimation run, not a matrix file: "
             "average its reports into one with peltra2-matrix", None),
            (["heatmap", "short"], 1, "matrix file short: 2 lines of numbers where 3 are needed", None),
            (["heatmap", "zero"], 1, "zero: the variance of population 2 (row 2, column 2) is not positive", None),
            (["heatmap", "text"], 1, "text, line 2, field 2: 'x' is not a finite number (matrix file)", None),
            (["heatmap", "m", "--size", "50x50"], 1,
             "option --size: '50x50' is not WIDTHxHEIGHT in pixels, each a whole number from 100 to 10000", None),
            (["heatmap", "asym"], 1, "asym: not symmetric: row 2, column 1 is 0.4 but row 1, column 2 is 0.5", None),
            (["heatmap", "beyond"], 1, "beyond: the correlation of populations 1 and 2 is 2, beyond 1: "
                                       "not a covariance matrix", None),
            (["heatmap", "m", "-o", "m.jpg"], 1, "m.jpg: unknown picture format '.jpg'; give a file name "
                                                 "ending in .png, .pdf or .svg", None),
            (["scan", "bad.tsv"], 1, "bad.tsv, line 3, column BF_1: 'oops' is not a number "
                                     "(write NA for a missing value, inf or -inf for an infinite one)", None),
            (["scan", "genome.scan.tsv", "--stats", "Z"], 1,
             "genome.scan.tsv: no statistic column Z (the table has: BF_1, rho_1, r_1, XtX)", None),
            (["scan", "genome.scan.tsv", "--snps", "short.snps"], 1,
             "SNP 2 of genome.scan.tsv is not in the SNP table short.snps; give the SNP table of the conversion "
             "the scan ran on", None),
            (["scan", "nostats.tsv"], 1, "nostats.tsv: no statistic column", None),
            (["trace", "mixed.out"], 1, "mixed.out, line 5 (ITER = 1000) is 1 x 1 but mixed.out, line 1 "
             "(ITER = 500) is 2 x 2: the reports come from runs with different -p", None),
            (["trace", "none.out"], 1, "no covariance reports (\"VAR-COVAR MATRIX: ITER = ...\") in the input; "
             "a run prints one every 500 iterations", None),
        ]:
            r = self.plot(*args)
            self.assertEqual(r.status, status, (args, r))
            if status and text:
                self.assertEqual((r.out, r.err), ("", "peltra2-plot: %s\n" % text), args)
            else:
                self.assertIn(text, r.err, (args, r))
            if written:
                with open(self.path(args[args.index("-o") + 1]), "rb") as f:
                    self.assertEqual(f.read(len(written)), written, args)
        self.assertEqual(png_size(self.path("small.png")), (640, 480))
        self.assertEqual(png_size(self.path("runs.out.trace.png")), (1000, 700))


if __name__ == "__main__":
    unittest.main()
