#!/usr/bin/python3
"""peltra2-matrix: averages of a real and of made-up estimation outputs, the
burn-in, cut reports, refusals, diagnostics; the progress line on a terminal."""

import math
import os
import pty
import re
import subprocess
import sys
import unittest

import numpy as np

from scan_support import PELTRA2, TOOLS, ScratchTest, run, tool

sys.path.insert(0, TOOLS)  # the tools' own modules: the report reader, the diagnostics
from peltra2scan import diagnostics  # noqa: E402


def report(label, rows):
    return "VAR-COVAR MATRIX: ITER = %d\n" % label + "".join(
        "".join("%e\t" % v for v in row) + "\n" for row in rows) + "\n"


def read_matrix(text):
    return [[float(x) for x in line.split("\t") if x] for line in text.splitlines()]


SINES = [[math.sin(0.9 * t + c) + 0.5 * math.sin(2.9 * t * (c + 1)) for t in range(40)] for c in range(3)]


class Matrix(ScratchTest):
    @classmethod
    def setUpClass(cls):
        # A real run with six reports (ITER = 500 .. 3000), read here on its own.
        super().setUpClass()
        cls.simulate("--pops", "3", "--loci", "30", "--seed", "5", "--out", "e3")
        r = run([PELTRA2, "-i", "e3.counts", "-p", "3", "-k", "3000", "-r", "11"], cls.dir)
        assert r.status == 0, r
        cls.write("est.out", r.out)
        cls.text = r.out
        cls.reports = re.findall(r"VAR-COVAR MATRIX: ITER = \d+\n((?:[^\n]+\n){3})\n", r.out)
        assert len(cls.reports) == 6, r.out

    def matrix(self, *args, stdin=b""):
        return run([tool("peltra2-matrix")] + list(args), self.dir, stdin)

    def test_averages_of_a_real_run(self):
        # The default drops the first half of the reports; --burn-in sets the
        # iterations dropped. Only the last report: its rows come back as
        # they are, one tab-terminated row per line.
        for args, last, note in (([], 3, "averaged 3 reports"), (["--burn-in", "1000"], 4, "averaged 4 reports"),
                                 (["-b", "2500"], 1, "averaged 1 reports")):
            r = self.matrix("est.out", *args)
            self.assertIn(note, r.err)
            want = np.mean([read_matrix(t) for t in self.reports[-last:]], axis=0)
            np.testing.assert_allclose(read_matrix(r.out), want, rtol=1e-9, err_msg=str(args))  # 11 digits printed
            self.assertTrue(all(l.endswith("\t") and l.count("\t") == 3 for l in r.out.splitlines()), r.out)
        # Standard input, an output file and the correlation matrix.
        r = self.matrix("-o", "avg.matrix", "--correlation", "avg.cor", stdin=self.text.encode())
        self.assertEqual((r.status, r.out), (0, ""), r)
        m, c = read_matrix(self.read("avg.matrix")), read_matrix(self.read("avg.cor"))
        for i in range(3):
            for j in range(3):
                self.assertAlmostEqual(c[i][j], m[i][j] / (m[i][i] * m[j][j]) ** 0.5, places=9)

    def test_made_up_outputs_and_bad_inputs(self):
        one = report(500, [[1, 0], [0, 1]])
        for content, args, status, message, value in [  # value: the first entry of the average
            (b"===== PELTRA2.0 =====\n\nnum_alleles = 6.000000\n", [], 1, "no covariance reports", None),
            (report(500, [[1.0]]) + report(1000, [[2.0]]), ["--burn-in", "1000"], 1,
             "no reports after the burn-in of 1000 iterations", None),
            # Mixed K is refused even within the burn-in.
            (one + report(1000, [[1.0]]) + report(1500, [[2.0]]), [], 1, "ITER = 1000) is 1 x 1", None),
            # Concatenated runs each lose their own burn-in.
            (report(500, [[1.0]]) + report(1000, [[2.0]]) + "".join(report(500 * n, [[10.0 * n]]) for n in (1, 2, 3, 4)),
             [], 0, "averaged 3 reports from 2 runs", (2.0 + 30.0 + 40.0) / 3),
            (one + report(1000, [[3, 0], [0, 3]]) + "VAR-COVAR MATRIX: ITER = 1500\n1.0\t0.0\t\n", [], 0,
             "cut short", 3.0),
            (one.replace("0.000000e+00\t\n0", "0.000000e+00\t\nx", 1), [], 1,
             "in.out, line 3, field 1: \"x.000000e+00\" is not a number", None),
            ("VAR-COVAR MATRIX: ITER = 500\n1\t2\n3\n\n", [], 1, "line 3: 1 value where the rows before hold 2", None),
            (b"\x1f\x8b\x08\x00", [], 1, "in.out is compressed (gzip)", None),
            (b"VAR-COVAR MATRIX: ITER = 500\n1\x00\t\n", [], 1, "in.out is not a text file (a zero byte at byte 31)",
             None),
            (b"VAR-COVAR MATRIX: ITER = 500\n\xff\t\n", [], 1, "in.out is not a text file (byte 30 is not text)", None),
        ]:
            with open(self.path("in.out"), "wb") as f:
                f.write(content if isinstance(content, bytes) else content.encode())
            r = self.matrix("in.out", *args)
            self.assertEqual(r.status, status, r)
            self.assertIn(message, r.err)
            self.assertNotIn("Traceback", r.err)
            if value is not None:
                self.assertAlmostEqual(read_matrix(r.out)[0][0], value, places=10)
            elif status:
                self.assertEqual(r.out, "")


    def test_diagnostics_against_reference_values(self):
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


# One locus: the first worker has none, so the run is fixed by its seed.
ARGS = [PELTRA2, "-i", "one.counts", "-p", "4", "-k", "2600", "-r", "21"]


def run_with_terminal_stderr(cmd, cwd):
    """Runs cmd with standard error on a pseudo-terminal; returns the exit
    status, standard output and what it wrote on the terminal."""
    master, slave = pty.openpty()
    p = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    seen = b""
    try:
        while chunk := os.read(master, 4096):
            seen += chunk
    except OSError:  # the terminal closes when the program ends
        pass
    os.close(master)
    out = p.communicate()[0]
    return p.returncode, out.decode(), seen.decode()


class ProgressLine(ScratchTest):
    def test_terminal_only_and_stdout_unchanged(self):
        self.write("one.counts", "12\t30\t7\t25\n28\t10\t33\t15\n")
        plain = run(ARGS, self.dir)
        self.assertEqual((plain.status, plain.err), (0, ""))
        self.assertEqual(plain.out.count("VAR-COVAR MATRIX"), 5)
        status, out, terminal = run_with_terminal_stderr(ARGS, self.dir)
        self.assertEqual((status, out), (0, plain.out))
        # Redrawn in place with carriage returns, never a line of its own, and erased at the end.
        self.assertRegex(terminal, r"^\riteration 1 of 2600")
        self.assertNotIn("\n", terminal)
        self.assertTrue(re.search(r"\r *\r$", terminal), repr(terminal[-80:]))


if __name__ == "__main__":
    unittest.main()
