"""A covariance matrix on the data's own scale, by moment matching.

The matrix that matrix estimation averages is smaller than the drift that
made the data: offsets are measured from an ancestral frequency estimated
from the same populations, and the covariance draw counts two allele lines
per SNP. It also shrinks the directions of small drift more than those of
large drift. Test mode and the calibration's null SNPs need the drift as it
is, so the matrix is rescaled here, direction by direction, until null SNPs
drawn from it (the way the scan's calibration draws them) scatter between
populations as much as the data do.

The moment statistic of a direction u (a unit vector with sum(u) = 0, so
that the unknown ancestral frequency drops out) over SNPs j with observed
frequencies f_jk = count/total is

    T(u) = sum_j [ (u'f_j)^2 - sum_k u_k^2 s_jk ] / sum_j fbar_j (1 - fbar_j)

with fbar_j the pooled frequency of SNP j and s_jk the unbiased estimate of
the sampling variance of f_jk: f(1-f) a/(1-a), a = 1/R for R counted copies;
in pooled mode a = 1/n + 1/R - 1/(nR), n the pool's allele copies and R the
reads. T(u) estimates u'Su times the mean of e(1-e) over the mean of
fbar(1-fbar), for the matrix S that made the data.

The correction: with w_1..w_{K-1} the eigenvectors of C M C (M the averaged
matrix, C = I - 11'/K), factors c_i scale M by the congruence
T M T, T = sqrt(c0) 11'/K + sum_i sqrt(c_i) w_i w_i', so that the centred
part of the result is sum_i c_i lambda_i w_i w_i' and the result stays
positive definite; c0, the factor of the direction 1 (which a free ancestral
frequency absorbs), is the mean of the c_i. Each c_i is set, by a few fixed
point steps on the same null SNPs, to the ratio of T(w_i) of the data to that
of null SNPs drawn with the current matrix. With single=True all directions
share one factor, matched on the sum of the T(w_i).
"""

import numpy as np

from .calibrate import EPS_RANGE, fit_ancestral, read_numbers
from .workdir import WorkError, read_count_file

NULL_SNPS = 20000
STEPS = 6


def sampling_share(totals, pool_sizes=None):
    """a/(1-a) per population and SNP: turns f(1-f) into the sampling variance of f."""
    r = np.asarray(totals, dtype=float)
    with np.errstate(divide="ignore", invalid="ignore"):
        a = 1.0 / r
        if pool_sizes is not None:
            n = np.asarray(pool_sizes, dtype=float)
            a = 1.0 / n + a - a / n
        out = a / (1.0 - a)
    out[~np.isfinite(out)] = 0.0
    return out


def moment_terms(counts, totals, directions, pool_sizes=None):
    """Per direction (columns of `directions`): the summed corrected squares, and the summed fbar(1-fbar)."""
    x = np.asarray(counts, dtype=float)
    r = np.asarray(totals, dtype=float)
    seen = r > 0
    f = np.where(seen, x / np.where(seen, r, 1.0), 0.0)
    s = f * (1.0 - f) * sampling_share(r, pool_sizes)
    # a population without data contributes nothing: its frequency is set to the SNP's mean
    fbar = x.sum(1) / r.sum(1)
    f = np.where(seen, f, fbar[:, None])
    proj = f @ directions
    num = (proj ** 2 - s @ directions ** 2).sum(0)
    return num, float((fbar * (1.0 - fbar)).sum())


def moment_statistic(counts, totals, directions, pool_sizes=None):
    num, den = moment_terms(counts, totals, directions, pool_sizes)
    return num / den


def centred_basis(m):
    """Eigenvalues and eigenvectors (columns) of C M C on the centred subspace, largest first."""
    k = len(m)
    c = np.eye(k) - 1.0 / k
    vals, vecs = np.linalg.eigh(c @ m @ c)
    # drop the eigenvector closest to the direction 1 (eigenvalue 0 of C M C)
    ones = np.ones(k) / np.sqrt(k)
    drop = int(np.argmax(np.abs(vecs.T @ ones)))
    keep = [i for i in range(k) if i != drop]
    vals, vecs = vals[keep], vecs[:, keep]
    order = np.argsort(vals)[::-1]
    return vals[order], vecs[:, order]


def transform(m, vecs, factors):
    k = len(m)
    c0 = float(np.mean(factors))
    t = np.sqrt(c0) * np.ones((k, k)) / k + (vecs * np.sqrt(factors)) @ vecs.T
    out = t @ m @ t
    return (out + out.T) / 2


def draw_null(rng, snps, sigma, n, pool_sizes=None):
    """n null SNPs (counts, totals) drawn like the calibration's: data sizes, Beta ancestral, clipped normal, binomial."""
    a, b, usable = fit_ancestral(snps, sigma.tolist())
    sizes_all = np.array([s[3] for s in usable], dtype=np.int64)
    k = len(sigma)
    chol = np.linalg.cholesky(sigma)
    counts = np.zeros((n, k), dtype=np.int64)
    totals = np.zeros((n, k), dtype=np.int64)
    todo = np.arange(n)
    for _ in range(1000):
        if todo.size == 0:
            break
        m = todo.size
        sizes = sizes_all[rng.integers(0, len(sizes_all), m)]
        e = rng.beta(a, b, m)
        bad = (e < EPS_RANGE[0]) | (e > EPS_RANGE[1])
        while bad.any():
            e[bad] = rng.beta(a, b, int(bad.sum()))
            bad = (e < EPS_RANGE[0]) | (e > EPS_RANGE[1])
        p = e[:, None] + np.sqrt(e * (1 - e))[:, None] * (rng.standard_normal((m, k)) @ chol.T)
        p = np.clip(p, 0.0, 1.0)
        if pool_sizes is not None:
            ps = np.asarray(pool_sizes)
            p = np.where(ps > 0, rng.binomial(np.maximum(ps, 1), p) / np.maximum(ps, 1), 0.0)
        x = rng.binomial(sizes, p)
        counts[todo], totals[todo] = x, sizes
        tot = x.sum(1)
        todo = todo[(tot == 0) | (tot == sizes.sum(1))]
    return counts, totals


def null_statistic(snps, sigma, vecs, pool_sizes, seed, null_snps):
    rng = np.random.default_rng(seed)
    nc, nt = draw_null(rng, snps, sigma, null_snps, pool_sizes)
    return moment_statistic(nc, nt, vecs, pool_sizes)


def calibrate_matrix(snps, m, pool_sizes=None, single=False, seed=1, null_snps=NULL_SNPS, steps=STEPS):
    """The rescaled matrix, the factors per direction, the eigenvalues of C M C, and the moment
    statistics per direction of the data and of null SNPs drawn with the result."""
    m = np.asarray(m, dtype=float)
    counts = np.array([s[2] for s in snps], dtype=float)
    totals = np.array([s[3] for s in snps], dtype=float)
    poly = (counts.sum(1) > 0) & (counts.sum(1) < totals.sum(1))
    if poly.sum() < 2:
        raise WorkError("the count file holds fewer than two polymorphic SNPs; no rescaling")
    counts, totals = counts[poly], totals[poly]
    vals, vecs = centred_basis(m)
    if not vals.min() > 0:
        raise WorkError("the average matrix is not positive definite on the differences between populations")
    data = moment_statistic(counts, totals, vecs, pool_sizes)
    if not data.sum() > 0:
        raise WorkError("the count file shows no drift between populations beyond sampling; no rescaling")
    factors = np.ones(len(vals))
    cur = m
    for _ in range(steps):
        null = null_statistic(snps, cur, vecs, pool_sizes, seed, null_snps)
        if single:
            ratio = np.full(len(vals), data.sum() / null.sum())
        else:
            # a direction whose drift the data do not measure (a statistic at or below 0) takes the overall ratio
            ok = (data > 0) & (null > 0)
            ratio = np.where(ok, data / np.where(ok, null, 1.0), data.sum() / null.sum())
        factors = np.clip(factors * ratio, 1e-2, 1e2)
        cur = transform(m, vecs, factors)
    null = null_statistic(snps, cur, vecs, pool_sizes, seed, null_snps)
    return cur, factors, vals, data, null


def rescale(m, counts_path, pool_sizes_path=None, single=False):
    """peltra2-matrix --counts: the matrix on the data's scale, and the lines that say what was done."""
    k = len(m)
    snps = read_count_file(counts_path, k)
    pool_sizes = None
    if pool_sizes_path:
        pool_sizes = read_numbers(pool_sizes_path, k, 1, int, "sample-size file")[0]
        if min(pool_sizes) < 1:
            raise WorkError("sample-size file %s: pool sizes must be 1 or more" % pool_sizes_path)
    out, factors, vals, data, null = calibrate_matrix(snps, m, pool_sizes, single)
    fmt = lambda v: " ".join("%.4g" % x for x in v)  # noqa: E731
    notes = [
        "rescaled to the drift of %s (%d SNPs%s), %s: factor%s %s"
        % (counts_path, len(snps), ", pooled" if pool_sizes else "",
           "one factor for all directions" if single else "one factor per direction of the average",
           "" if single else "s", "%.4g" % factors[0] if single else fmt(factors)),
        "directions: eigenvalues of the centred average %s; moment statistic of the data %s, "
        "of null SNPs drawn with the result %s" % (fmt(vals), fmt(data), fmt(null))]
    return out.tolist(), notes
