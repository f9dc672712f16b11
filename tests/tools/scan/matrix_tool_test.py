#!/usr/bin/python3
"""peltra2-matrix: averages of recorded and made-up estimation outputs, the
burn-in, and its refusals."""

import os
import unittest

from scan_support import DATA, PELTRA2, ScratchTest, run, tool

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


if __name__ == "__main__":
    unittest.main()
