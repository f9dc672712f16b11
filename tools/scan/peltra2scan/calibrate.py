"""Calibration: null SNPs drawn from the model with the given covariance
matrix, and the quantiles of every statistic over their scan.

A null SNP j is drawn like this (random.Random(seed), so the same data and
seed give the same SNPs on every machine):
  1. take the per-population sample sizes (read coverages in pooled mode) of
     a data SNP chosen at random among the polymorphic ones;
  2. draw the ancestral frequency e from a Beta law fitted to the data (below),
     redrawn until it lies in [0.001, 0.999];
  3. population frequencies e + sqrt(e(1-e)) L z, z standard normal, L the
     Cholesky factor of the matrix, clipped to [0, 1];
  4. binomial counts with the sizes of step 1; in pooled mode first the allele
     copies of each pool (the -s sample sizes), then binomial reads;
  5. a SNP monomorphic over all populations is drawn again, as the scan's data
     SNPs must be polymorphic for peltra2 to run.

The Beta law matches the mean and variance of e estimated from the data's
pooled frequencies f (all counts of a SNP over all its copies): given e, f
scatters around e with variance about e(1-e)c, c = w'Sw + sum w_k^2/n_k
(w_k = n_k/sum n, S the matrix), so var(e) = (var(f) - mean(c) m(1-m)) /
(1 - mean(c)) with m the mean of f. Both Beta parameters are kept at 0.2
or more, and their sum at most 1000.
"""

import math
import random

from peltra2tools import inputs

from .workdir import WorkError

LEVELS = (("95", 0.95), ("99", 0.99), ("99.9", 0.999))
EPS_RANGE = (0.001, 0.999)
MIN_SHAPE = 0.2
MAX_SHAPE_SUM = 1000.0
MAX_ATTEMPTS = 100000


def read_matrix(path, k):
    """The matrix as peltra2 uses it: the lower triangle mirrored upward."""
    m = inputs.read_matrix(path, k)
    return [[m[max(i, j)][min(i, j)] for j in range(k)] for i in range(k)]


def cholesky(m):
    k = len(m)
    L = [[0.0] * k for _ in range(k)]
    for i in range(k):
        for j in range(i + 1):
            s = m[i][j] - math.fsum(L[i][t] * L[j][t] for t in range(j))
            if i == j:
                if s <= 0:
                    raise WorkError("the covariance matrix is not positive definite")
                L[i][i] = math.sqrt(s)
            else:
                L[i][j] = s / L[j][j]
    return L


def fit_ancestral(snps, sigma):
    """Beta(a, b) parameters for the ancestral frequencies, and the usable SNPs."""
    k = len(sigma)
    f, c, usable = [], [], []
    for snp in snps:
        counts, totals = snp[2], snp[3]
        n = sum(totals)
        x = sum(counts)
        if n == 0 or x == 0 or x == n:
            continue
        w = [t / n for t in totals]
        drift = math.fsum(w[a] * w[b] * sigma[a][b] for a in range(k) for b in range(k))
        sampling = math.fsum(w[a] * w[a] / totals[a] for a in range(k) if totals[a] > 0)
        f.append(x / n)
        c.append(drift + sampling)
        usable.append(snp)
    if len(f) < 2:
        raise WorkError("calibration needs at least two polymorphic SNPs in the count file")
    m = math.fsum(f) / len(f)
    var_f = math.fsum((x - m) ** 2 for x in f) / len(f)
    cbar = math.fsum(c) / len(c)
    var_e = (var_f - cbar * m * (1 - m)) / (1 - cbar) if cbar < 1 else 0.0
    total = m * (1 - m) / var_e - 1 if var_e > 0 else MAX_SHAPE_SUM
    total = min(max(total, 2 * MIN_SHAPE), MAX_SHAPE_SUM)
    return max(m * total, MIN_SHAPE), max((1 - m) * total, MIN_SHAPE), usable


def binomial(rng, n, p):
    """Exact binomial deviate by counting geometric waiting times; cost O(n min(p, 1-p))."""
    if n <= 0 or p <= 0:
        return 0
    if p >= 1:
        return n
    flip = p > 0.5
    q = 1 - p if flip else p
    log_rest = math.log1p(-q)
    x, pos = 0, 0
    while True:
        pos += int(math.log(1.0 - rng.random()) / log_rest) + 1
        if pos > n:
            break
        x += 1
    return n - x if flip else x


def simulate_null(snps, sigma, n, seed, pool_sizes=None):
    """n null SNPs as count-file text (two lines each)."""
    a, b, usable = fit_ancestral(snps, sigma)
    L = cholesky(sigma)
    k = len(sigma)
    rng = random.Random(seed)
    out = []
    for _ in range(n):
        for _attempt in range(MAX_ATTEMPTS):
            sizes = rng.choice(usable)[3]
            e = rng.betavariate(a, b)
            while not EPS_RANGE[0] <= e <= EPS_RANGE[1]:
                e = rng.betavariate(a, b)
            z = [rng.gauss(0.0, 1.0) for _ in range(k)]
            sd = math.sqrt(e * (1 - e))
            p = [min(1.0, max(0.0, e + sd * math.fsum(L[i][j] * z[j] for j in range(i + 1)))) for i in range(k)]
            if pool_sizes:
                p = [binomial(rng, pool_sizes[i], p[i]) / pool_sizes[i] if pool_sizes[i] > 0 else 0.0
                     for i in range(k)]
            counts = [binomial(rng, sizes[i], p[i]) for i in range(k)]
            if 0 < sum(counts) < sum(sizes):
                break
        else:
            raise WorkError("no polymorphic null SNP in %d draws" % MAX_ATTEMPTS)
        out.append("\t".join(map(str, counts)) + "\n" +
                   "\t".join(str(s - c) for s, c in zip(sizes, counts)) + "\n")
    return "".join(out), (a, b)


def quantile(values, prob):
    """Linear interpolation between the order statistics of the sorted values."""
    h = (len(values) - 1) * prob
    lo = math.floor(h)
    hi = min(lo + 1, len(values) - 1)
    return values[lo] + (h - lo) * (values[hi] - values[lo])


def signed(column):
    """Correlation columns are signed: they are calibrated on their absolute value."""
    return column.startswith("rho_") or column.startswith("r_")


def value_of(text, column):
    v = float(text)
    return abs(v) if signed(column) else v


def thresholds(null_rows, columns):
    """Per column: the quantiles of LEVELS and the number of null values used."""
    out = {}
    for j, col in enumerate(columns):
        vals = []
        for r in null_rows:
            if r.ok():
                v = value_of(r.stats[j], col)
                if math.isfinite(v):
                    vals.append(v)
        if len(vals) < max(20, len(null_rows) // 2):
            raise WorkError("only %d of %d null SNPs gave a finite %s; no calibration" % (len(vals), len(null_rows), col))
        vals.sort()
        out[col] = ([quantile(vals, p) for _, p in LEVELS], len(vals))
    return out


def apply_flags(rows, columns, limits, level):
    """Sets each row's flags: 1 above the level's quantile, 0 at or below, NA without a value."""
    li = [name for name, _ in LEVELS].index(level)
    for r in rows:
        r.flags = []
        for j, col in enumerate(columns):
            v = value_of(r.stats[j], col) if r.ok() else float("nan")
            r.flags.append("NA" if not math.isfinite(v) else ("1" if v > limits[col][0][li] else "0"))


def finite_values(rows, j, col):
    out = []
    for r in rows:
        if r.ok():
            v = value_of(r.stats[j], col)
            if math.isfinite(v):
                out.append(v)
    return sorted(out)


def inflation(rows, null_rows, columns):
    """Per column: lambda, the median of the data SNPs over the median of the null SNPs (NA when undefined).
    Near 1 when the matrix matches the data's drift; above 1 the flags overstate the evidence."""
    out = {}
    for j, col in enumerate(columns):
        data, null = finite_values(rows, j, col), finite_values(null_rows, j, col)
        md = quantile(data, 0.5) if data else float("nan")
        mn = quantile(null, 0.5) if null else float("nan")
        out[col] = md / mn if mn > 0 else float("nan")
    return out


LAMBDA_RANGE = (0.9, 1.1)
STRICT_SHARE = 2.5  # % of the data above the null's 95% quantile under which the flags are too strict


def above_q95(rows, columns, limits):
    """Per column: the % of the data SNPs above the null's 95% quantile (NA without a value).
    Most SNPs of a genome are neutral, so about 5% or more (effects only add) when the flags
    mean what they say; far fewer says the matrix is too wide for that statistic."""
    out = {}
    for j, col in enumerate(columns):
        data = finite_values(rows, j, col)
        cut = limits[col][0][0]
        out[col] = 100.0 * sum(v > cut for v in data) / len(data) if data else float("nan")
    return out


def inflation_warning(lambdas, shares=None):
    """A warning naming every statistic whose flags are much looser (lambda above LAMBDA_RANGE)
    or stricter (lambda below it, or fewer than STRICT_SHARE % of the data above the null's 95%
    quantile) than stated, with what to do; None when all look right."""
    shares = shares or {}
    loose, strict = [], []
    for col, lam in lambdas.items():
        share = shares.get(col, float("nan"))
        text = "lambda of %s is %.3g%s" % (col, lam, " (%.1f%% of the SNPs above the null's 95%% quantile)" % share
                                          if math.isfinite(share) else "")
        if not math.isfinite(lam):
            continue
        if lam > LAMBDA_RANGE[1]:
            loose.append(text)
        elif lam < LAMBDA_RANGE[0] or share < STRICT_SHARE:
            strict.append(text)
    out = []
    if loose:
        out.append("%s: these flags are looser than stated: the matrix is narrower than the drift of the data, "
                   "so neutral SNPs get flags; rescale it with peltra2-matrix --counts on this count file "
                   "and scan again (if it was, many SNPs under strong selection can lift lambda too: "
                   "check the share flagged at 99%% against 1%%)" % ", ".join(loose))
    if strict:
        out.append("%s: these flags are stricter than stated (lambda under %g, or under %g%% of the SNPs above "
                   "the null's 95%% quantile where 5%% are expected): the matrix is wider than the neutral drift "
                   "along those contrasts, which SNPs under selection do to the chains' average; rescale it with "
                   "peltra2-matrix --counts with -e and this environment file (which leaves outlying SNPs out, "
                   "and SNPs shifted along a variable) and scan again, and meanwhile rank "
                   "by the statistic rather than trust the flags' level"
                   % (", ".join(strict), LAMBDA_RANGE[0], STRICT_SHARE))
    return "warning: " + "; ".join(out) if out else None


def quantile_table(limits, columns, lambdas=None, shares=None):
    lines = ["statistic\t" + "\t".join("q" + name for name, _ in LEVELS) + "\tnull_snps"
             + ("\tlambda" if lambdas is not None else "") + ("\tpct_above_q95" if shares is not None else "")]
    for col in columns:
        qs, n = limits[col]
        name = "|%s|" % col if signed(col) else col
        line = name + "\t" + "\t".join("%.6e" % q for q in qs) + "\t%d" % n
        for extra, form in ((lambdas, "\t%.4f"), (shares, "\t%.2f")):
            if extra is not None:
                line += form % extra[col] if math.isfinite(extra[col]) else "\tNA"
        lines.append(line)
    return "\n".join(lines) + "\n"
