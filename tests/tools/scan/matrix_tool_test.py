#!/usr/bin/python3
"""peltra2-matrix: averages of recorded and made-up estimation outputs, the
burn-in, cut reports, its refusals, and the convergence diagnostics."""

import math
import os
import sys
import unittest

import numpy as np

from scan_support import DATA, PELTRA2, TOOLS, ScratchTest, run, tool

sys.path.insert(0, TOOLS)  # the tools' own modules: the report reader, the diagnostics
from peltra2scan import diagnostics, reports  # noqa: E402

RECORDED = os.path.join(DATA, "estimation_k3.out")


def report(label, rows):
    return "VAR-COVAR MATRIX: ITER = %d\n" % label + "".join(
        "".join("%e\t" % v for v in row) + "\n" for row in rows) + "\n"


def read_matrix(text):
    return [[float(x) for x in line.split("\t") if x] for line in text.splitlines()]


class RecordedOutput(ScratchTest):
    def matrix(self, *args, stdin=b""):
        r = run([tool("peltra2-matrix")] + list(args), self.dir, stdin)
        self.assertEqual(r.status, 0, r)
        return read_matrix(r.out), r

    def test_default_averages_the_second_half(self):
        # Six reports (ITER = 500 .. 3000): the last three, added up by hand
        # from the recorded file.
        m, r = self.matrix(RECORDED)
        self.assertIn("averaged 3 reports", r.err)
        self.assertAlmostEqual(m[0][0], (1.012099e-01 + 1.530457e-01 + 1.111183e-01) / 3, places=10)
        self.assertAlmostEqual(m[0][1], (4.780318e-03 + 4.933284e-02 + 7.706357e-03) / 3, places=10)
        self.assertAlmostEqual(m[1][2], (2.719973e-04 + 1.206116e-02 - 1.083527e-02) / 3, places=10)
        self.assertAlmostEqual(m[2][2], (1.139110e-01 + 9.778567e-02 + 1.141313e-01) / 3, places=10)

    def test_burn_in_option_and_rows_layout(self):
        m, r = self.matrix("--burn-in", "1000", RECORDED)
        self.assertIn("averaged 4 reports", r.err)
        self.assertAlmostEqual(m[0][0], (7.744128e-02 + 1.012099e-01 + 1.530457e-01 + 1.111183e-01) / 4, places=10)
        # Only the last report: its values come back unchanged, one
        # tab-terminated row per line as peltra2 prints them.
        _, r = self.matrix("-b", "2500", RECORDED)
        self.assertIn("averaged 1 reports", r.err)
        lines = r.out.splitlines()
        self.assertEqual(len(lines), 3)
        self.assertTrue(all(l.endswith("\t") and l.count("\t") == 3 for l in lines))
        self.assertEqual([float(x) for x in lines[2].split("\t")[:3]], [2.442539e-03, -1.083527e-02, 1.141313e-01])

    def test_standard_input_output_file_and_correlation(self):
        with open(RECORDED, "rb") as f:
            text = f.read()
        r = run([tool("peltra2-matrix"), "-o", "avg.matrix", "--correlation", "avg.cor"], self.dir, text)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.out, "")
        m = read_matrix(self.read("avg.matrix"))
        c = read_matrix(self.read("avg.cor"))
        for i in range(3):
            self.assertAlmostEqual(c[i][i], 1.0, places=10)
            for j in range(3):
                self.assertAlmostEqual(c[i][j], m[i][j] / (m[i][i] * m[j][j]) ** 0.5, places=9)

    def test_written_matrix_is_read_by_test_mode(self):
        m, r = self.matrix(RECORDED, "-o", "avg.matrix")
        self.write("snp.counts", "3\t10\t17\n37\t30\t23\n")
        self.write("env.txt", "-1\t0\t1\n")
        t = run([PELTRA2, "-t", "-i", "snp.counts", "-p", "3", "-m", "avg.matrix", "-e", "env.txt",
                 "-n", "1", "-k", "5600", "-r", "3", "-o", "res"], self.dir)
        self.assertEqual(t.status, 0, t)
        self.assertEqual(len(self.read("res.bf").splitlines()), 1)


class MadeUpOutputs(ScratchTest):
    def matrix(self, text, *args):
        self.write("in.out", text)
        return run([tool("peltra2-matrix"), "in.out"] + list(args), self.dir)

    def test_no_reports(self):
        r = self.matrix("===== PELTRA2.0 =====\n\nnum_alleles = 6.000000\n")
        self.assertEqual(r.status, 1, r)
        self.assertIn("no covariance reports", r.err)
        self.assertEqual(r.out, "")

    def test_no_reports_after_burn_in(self):
        r = self.matrix(report(500, [[1.0]]) + report(1000, [[2.0]]), "--burn-in", "1000")
        self.assertEqual(r.status, 1, r)
        self.assertIn("no reports after the burn-in of 1000 iterations", r.err)

    def test_mixed_k_is_refused_even_within_the_burn_in(self):
        text = report(500, [[1.0, 0.0], [0.0, 1.0]]) + report(1000, [[1.0]]) + report(1500, [[2.0]])
        r = self.matrix(text)
        self.assertEqual(r.status, 1, r)
        self.assertIn("different -p", r.err)
        self.assertIn("ITER = 1000", r.err)

    def test_concatenated_runs_each_lose_their_own_burn_in(self):
        run1 = report(500, [[1.0]]) + report(1000, [[2.0]])
        run2 = report(500, [[10.0]]) + report(1000, [[20.0]]) + report(1500, [[30.0]]) + report(2000, [[40.0]])
        r = self.matrix(run1 + run2)
        self.assertEqual(r.status, 0, r)
        self.assertIn("averaged 3 reports from 2 runs", r.err)
        self.assertAlmostEqual(read_matrix(r.out)[0][0], (2.0 + 30.0 + 40.0) / 3, places=10)

    def test_report_cut_short_at_the_end_is_ignored(self):
        cut = "VAR-COVAR MATRIX: ITER = 1500\n1.0\t0.0\t\n"
        r = self.matrix(report(500, [[1, 0], [0, 1]]) + report(1000, [[3, 0], [0, 3]]) + cut)
        self.assertEqual(r.status, 0, r)
        self.assertIn("cut short", r.err)
        self.assertAlmostEqual(read_matrix(r.out)[1][1], 3.0, places=10)

    def test_malformed_report_names_the_line(self):
        r = self.matrix(report(500, [[1, 0], [0, 1]]).replace("0.000000e+00\t\n0", "0.000000e+00\t\nx", 1))
        self.assertEqual(r.status, 1, r)
        self.assertIn("in.out, line 3: \"x.000000e+00\" is not a number", r.err)
        r = self.matrix("VAR-COVAR MATRIX: ITER = 500\n1\t2\n3\n\n")
        self.assertEqual(r.status, 1, r)
        self.assertIn("line 3: 1 values where the rows before hold 2", r.err)


class CutReportsAndBadInputs(ScratchTest):
    def test_cut_at_every_byte_of_the_last_report(self):
        # Each cut inside the last report (ITER = 3000) is left out with one
        # note or, once its last row's line feed is in, read whole: never
        # another number.
        with open(RECORDED) as f:
            text = f.read()
        whole = [r.rows for r in reports.parse_reports(text, "x", self.fail)]
        start, rows_end = text.rindex("VAR-COVAR"), len(text) - 1
        for cut in range(start, len(text) + 1):
            notes = []
            got = [r.rows for r in reports.parse_reports(text[:cut], "x", notes.append)]
            complete = cut >= rows_end
            self.assertEqual(got, whole if complete else whole[:-1], cut)
            self.assertEqual(len(notes), int(start < cut < rows_end), (cut, notes))
        # End to end, cut inside the last number (1.141313e-0 of 1.141313e-01).
        self.write("cut.out", text[:rows_end - 2])
        r = run([tool("peltra2-matrix"), "cut.out", "-b", "0"], self.dir)
        self.assertEqual(r.status, 0, r)
        self.assertIn("cut short", r.err)
        self.assertAlmostEqual(read_matrix(r.out)[2][2], np.mean([x[2][2] for x in whole[:-1]]), places=10)

    def test_bad_inputs_and_options(self):
        for content, args, status, message in [
            (b"\x1f\x8b\x08\x00", [], 1, "in.out is compressed (gzip)"),
            (b"VAR-COVAR MATRIX: ITER = 500\n1\x00\t\n", [], 1, "in.out is not a text file (a zero byte at byte 31)"),
            (b"VAR-COVAR MATRIX: ITER = 500\n\xff\t\n", [], 1, "in.out is not a text file (byte 30 is not text)"),
            (b"", ["-o", "a", "--output", "b"], 1, "option --output given twice"),
            (b"", ["--version"], 0, ""),
        ]:
            with open(self.path("in.out"), "wb") as f:
                f.write(content)
            r = run([tool("peltra2-matrix"), "in.out"] + args, self.dir)
            self.assertEqual(r.status, status, r)
            self.assertIn(message, r.err)
            self.assertNotIn("Traceback", r.err)
        self.assertTrue(r.out.startswith("peltra2-matrix "), r)


SINES = [[math.sin(0.9 * t + c) + 0.5 * math.sin(2.9 * t * (c + 1)) for t in range(40)] for c in range(3)]


class Diagnostics(ScratchTest):
    def test_against_reference_values(self):
        # Remade with R's posterior package 1.4.0 (Debian r-cran-posterior):
        # rhat(x), ess_bulk(x), ess_tail(x), x = cbind(chain 1, chain 2, ...);
        # its NA is nan here (a tail indicator that never varies).
        for draws, rhat, bulk, tail in [
            ([[0.12, -0.53, 1.10, 0.47, 0.31, -1.20, 0.85, 0.09], [1.42, 0.73, 1.95, 1.01, 0.66, 1.38, 2.10, 0.88]],
             1.3141318636, 8.0, 8.0),
            ([[0.1, 0.3, 0.2, 0.5, 0.4, 0.8, 0.7, 1.0, 0.9, 1.3, 1.1, 1.4]], 1.8857814426, 3.6693514817, 12.7058823529),
            ([[1, 2, 2, 3, 1, 0, 2], [2, 1, 3, 3, 2, 1, 0], [0, 1, 2, 2, 3, 1, 2]], 0.9782549543, 9.0, float("nan")),
            (SINES, 0.9834457288, 70.8854585614, 103.3356857210),
        ]:
            np.testing.assert_allclose(diagnostics.summary(draws), (rhat, bulk, tail), rtol=1e-9)

    def test_chains_that_disagree_warn(self):
        # Four runs of 400 reports of a 2 x 2 matrix, independent normal
        # draws (seed 7); in "apart" the first variance of runs 3 and 4 sits
        # 3 sd higher. Split-R-hat - 1 of such independent chains has an sd
        # near 0.003, so 1.01 is about 3 sd away.
        rng = np.random.default_rng(7)
        z = rng.normal(size=(4, 400, 3))
        for shift, warned in [(0.0, False), (0.3, True)]:
            names = []
            for c in range(4):
                v = 1 + 0.1 * z[c] + [shift * (c >= 2), 0, 0]
                names.append("chain%d.out" % c)
                self.write(names[-1], "".join(report(500 * (n + 1), [[a, b], [b, d]]) for n, (a, b, d) in enumerate(v)))
            r = run([tool("peltra2-matrix"), "--diagnostics", "diag.tsv"] + names, self.dir)
            self.assertEqual(r.status, 0, r)
            self.assertEqual("warning: the largest R-hat" in r.err, warned, r)
            self.assertEqual("smallest ESS" in r.err, warned, r)  # disagreeing halves also cut the ESS
            table = [l.split("\t") for l in self.read("diag.tsv").splitlines()]
            self.assertEqual([t[:2] for t in table], [["row", "column"], ["1", "1"], ["2", "1"], ["2", "2"]])
            self.assertEqual(float(table[1][4]) > 1.5, warned, table)


if __name__ == "__main__":
    unittest.main()
