#!/usr/bin/python3
"""peltra2-scan --calibrate: quantiles from null SNPs drawn by the scan,
checked against a second null set drawn independently by the simulator."""

import math
import random
import statistics
import sys
import unittest

from scan_support import TOOLS, ScratchTest, read_table

sys.path.insert(0, TOOLS)
from peltra2scan import calibrate, workdir  # noqa: E402

NULL_SNPS = 200     # drawn by the scan for its quantiles
CHECK_SNPS = 200    # drawn by peltra2-simulate, scanned as data
STATS = ["BF_1", "BF_2", "XtX"]


class Calibration(ScratchTest):
    def test_quantiles_hold_on_an_independent_null_set(self):
        # The data are null SNPs themselves (no effect), so every flag is a
        # false positive: about 1% of them lie above the 99% quantile.
        self.simulate("--pops", "6", "--loci", str(CHECK_SNPS), "--env", "2", "--seed", "77", "--out", "check")
        args = ["-i", "check.counts", "-p", "6", "-m", "check.matrix", "-e", "check.env", "-n", "2",
                "-X", "-k", "5600", "-j", "2", "-o", "check.tsv", "--calibrate", str(NULL_SNPS)]
        r = self.scan(*args)
        self.assertEqual(r.status, 0, r)

        header, rows = read_table(self.path("check.quantiles.tsv"))
        self.assertEqual(header, ["statistic", "q95", "q99", "q99.9", "null_snps", "lambda"])
        self.assertEqual([row[0] for row in rows], STATS)
        q = {}
        for row in rows:
            q95, q99, q999 = map(float, row[1:4])
            self.assertTrue(all(math.isfinite(v) for v in (q95, q99, q999)), row)
            self.assertTrue(0 < q95 <= q99 <= q999, row)
            self.assertEqual(row[4], str(NULL_SNPS))
            q[row[0]] = (q95, q99)

        header, table = read_table(self.path("check.tsv"))
        self.assertEqual(header, ["snp", "name"] + STATS + [s + "_flag" for s in STATS] + ["status"])
        self.assertEqual(len(table), CHECK_SNPS)
        above95 = above99 = 0
        for row in table:
            for j, s in enumerate(STATS):
                v = float(row[2 + j])
                self.assertEqual(row[5 + j], "1" if v > q[s][1] else "0", row)
                above95 += v > q[s][0]
                above99 += v > q[s][1]
        # 600 values, 3 statistics. The quantiles come from only 200 null SNPs,
        # so the share above the 99% quantile is about 1% with a spread of
        # about 0.9%; above the 95% quantile about 5%, spread about 2%.
        n = CHECK_SNPS * len(STATS)
        self.assertLessEqual(above99, 0.04 * n, above99)
        self.assertGreaterEqual(above99, 1)
        self.assertGreaterEqual(above95, 0.02 * n)
        self.assertLessEqual(above95, 0.10 * n)

        # The same command again reuses both finished scans and gives the same quantiles.
        quantiles = self.read("check.quantiles.tsv")
        again = self.scan(*args)
        self.assertEqual(again.status, 0, again)
        self.assertIn("null SNPs: %d of %d finished in an earlier attempt" % (NULL_SNPS, NULL_SNPS), again.err)
        self.assertEqual(self.read("check.quantiles.tsv"), quantiles)


class NullDraws(ScratchTest):
    def test_binomial_moments(self):
        # 20000 draws: the mean is off by more than 0.1 with odds below 1e-4;
        # the variance by more than 5% with odds below 1e-3.
        rng = random.Random(3)
        for n, p in ((50, 0.3), (50, 0.8), (7, 0.5), (1000, 0.01)):
            d = [calibrate.binomial(rng, n, p) for _ in range(20000)]
            self.assertAlmostEqual(statistics.fmean(d), n * p, delta=0.1)
            self.assertAlmostEqual(statistics.pvariance(d) / (n * p * (1 - p)), 1.0, delta=0.05)
        self.assertEqual([calibrate.binomial(rng, 10, p) for p in (0.0, 1.0)], [0, 10])

    def test_ancestral_law_and_sample_sizes_come_from_the_data(self):
        # 3000 SNPs with ancestral frequencies from Beta(2, 5): the fit, after
        # removing drift and sampling scatter, lands within 15% (monomorphic
        # SNPs, redrawn by the simulator, shift it a little).
        self.simulate("--pops", "6", "--loci", "3000", "--seed", "4", "--anc-beta", "2,5",
                      "--anc-range", "0.001,0.999", "--copies", "20,30,40,40,50,60", "--out", "fit")
        snps = workdir.read_count_file(self.path("fit.counts"), 6)
        sigma = calibrate.read_matrix(self.path("fit.matrix"), 6)
        a, b, _ = calibrate.fit_ancestral(snps, sigma)
        self.assertAlmostEqual(a / 2, 1.0, delta=0.15)
        self.assertAlmostEqual(b / 5, 1.0, delta=0.15)

        text, _ = calibrate.simulate_null(snps, sigma, 300, 9)
        self.assertEqual(calibrate.simulate_null(snps, sigma, 300, 9)[0], text)
        self.write("null.counts", text)
        null = workdir.read_count_file(self.path("null.counts"), 6)
        self.assertEqual(len(null), 300)
        for snp in null:
            self.assertEqual(snp[3], [20, 30, 40, 40, 50, 60])
            self.assertTrue(0 < sum(snp[2]) < sum(snp[3]))


if __name__ == "__main__":
    unittest.main()
