"""A covariance matrix on the data's own scale, by robust moment matching.

The matrix that matrix estimation averages is smaller than the drift that
made the data: offsets are measured from an ancestral frequency estimated
from the same populations, and the covariance draw counts two allele lines
per SNP. It shrinks the directions of small drift more than those of large
drift, and SNPs under selection widen it along the contrasts they move
along. Test mode and the calibration's null SNPs need the neutral drift as it
is, so the matrix is refitted here until null SNPs drawn from it (the way the
scan's calibration draws them) scatter between populations as much as the
bulk of the data do.

Coordinates: B holds an orthonormal basis of the contrasts between
populations (the eigenvectors of C M C, C = I - 11'/K, M the average), so
that the unknown ancestral frequency drops out of y_j = B'f_j. The moment
matrix of a set of SNPs j with observed frequencies f_jk = count/total is

    A = sum_j [ y_j y_j' - B' diag(s_j) B ] / sum_j fbar_j (1 - fbar_j)

with fbar_j the pooled frequency and s_jk the unbiased estimate of the
sampling variance of f_jk: f(1-f) a/(1-a), a = 1/R for R counted copies; in
pooled mode a = 1/n + 1/R - 1/(nR), n the pool's allele copies and R the
reads. Over neutral SNPs A estimates B'SB (S the matrix that made the data)
times the mean of e(1-e) over the mean of fbar(1-fbar).

Robustness: a SNP with an effect along an environmental contrast, or with
unusual differentiation, lies far out along some contrast. Each SNP is
whitened with the current matrix plus sampling, and left out when its
distance (the sum of squares of its whitened coordinates) or its largest
whitened coordinate lies beyond the TRIM quantile of the same quantities over
null SNPs drawn from the current matrix; the whitened axes are those along
which the data's untrimmed moments stand out most, so the contrast SNPs under
selection move along is one of them. The nulls go through the same rule,
so the trimmed moments of data and nulls are compared like for like: under
the null the fit is consistent, whatever the trimming removes. The fit is the
fixed point of S_c <- S_c + (A - F) tr(S_c)/tr(F), with A and F the trimmed
moment matrices of the data and of the nulls drawn with S_c (the same seed
at every step), so every contrast matches, not only the directions of the
average (whose own widening along the environment it would keep). It starts
from the same drift along every contrast: started from the average's shape,
widened along the environment by the SNPs under selection, the whitening
would hide those SNPs from the rule and the fit stay wide. What no rule on
single SNPs removes: many SNPs only two or three standard deviations out
along one contrast (weak effects, or pooled sampling far above the drift)
still widen it. So the variance along the contrast where the data stand out
most is taken from the core of a two-part mixture instead of the trimmed mean
(coreaxis.py); core=False turns that off. Given the environmental variables
(env), the axes are theirs instead: along each variable's contrast the SNPs
under selection shift one way or the other, and the core is that of a normal
beside two shifted parts, at every step and for pooled data too.

The result is B S_c B' plus a variance along 1/sqrt(K), the direction all
populations share, plus the covariances g of the contrasts with it. The
contrasts do not see that variance, and the chains leave it anywhere (from a
twenty-fifth to ten times the truth in simulations), yet it sets how freely
test mode's ancestral frequency moves, and with it the flags of XtX and the
Bayes factors. It is fitted to the data: the further the populations drift
together from the ancestral frequency, the more the SNPs of extreme pooled
frequency drift against their fbar(1-fbar), so the variance is the one at
which the nulls' ratio of the contrasts' moments at extreme and middle
pooled frequencies is the data's (frequency_ratio), and the contrasts are
fitted again with it. A tree whose branches differ in length has the
covariances g (a population on a long branch drifts more, and its drift
moves the mean of all populations too); left out, they put the matrix off by
up to ten times in the directions that mix the two, and the variance along
1/sqrt(K) makes up for them in the ratio. They show in the moment of y
against the pooled frequency (centred: y scatters with the ancestral
frequency without depending on it), and are fitted with the contrasts, at
every step, the same way; they are kept short enough that the matrix stays
positive definite. The shared variance's error in simulations with 21,000
SNPs: 0.85-1.45 times the truth. The result depends on the average only
through the basis B. With single=True all directions share one factor:
S_c = c B'MB.
"""

import numpy as np

from peltra2tools.inputs import read_lines, read_numbers, read_pool_sizes

from .calibrate import EPS_RANGE, MAX_SHAPE_SUM, MIN_SHAPE
from .coreaxis import choose_axis, match_core, match_environment
from .workdir import WorkError, read_count_file

NULL_SNPS = 20000
STEPS = 10
TRIM = 0.99  # the share of null SNPs kept by each of the two exclusion rules
SHARED_RANGE = (0.01, 300.0)  # the variance along 1 is sought within these multiples of its start
SHARED_STEPS = 14
# the shared variance moves by about 10% with a shift of 0.02 in frequency_ratio, which the nulls'
# own noise reaches with NULL_SNPS: its bisection draws this many times as many
SHARED_NULLS = 4
ERROR_HINT = 0.15  # above this own error, the note says how to narrow it


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


class Snps:
    """Frequencies of a set of SNPs in contrast coordinates: y = B'f, the summed sampling
    estimate, fbar(1-fbar), and the expected sampling variance per unit of fbar(1-fbar)."""

    def __init__(self, counts, totals, basis, pool_sizes=None):
        x = np.asarray(counts, dtype=float)
        r = np.asarray(totals, dtype=float)
        seen = r > 0
        f = np.where(seen, x / np.where(seen, r, 1.0), 0.0)
        share = sampling_share(r, pool_sizes)
        self.s = f * (1.0 - f) * share
        # a population without data contributes nothing: its frequency is set to the SNP's mean
        fbar = x.sum(1) / r.sum(1)
        f = np.where(seen, f, fbar[:, None])
        self.y = f @ basis
        self.h = fbar * (1.0 - fbar)
        self.a = share / (1.0 + share)
        self.basis = basis
        self.fbar = fbar
        # the sampling part of the covariance of y and fbar: fbar = sum_k w_k f_k, w_k the share of copies
        self.samp_cross = (self.s * (r / r.sum(1)[:, None])) @ basis

    def moments(self, keep=None):
        """The moment matrix A over the SNPs of `keep` (all by default)."""
        if keep is None:
            keep = np.ones(len(self.h), dtype=bool)
        y, b = self.y[keep], self.basis
        samp = (b.T * self.s[keep].sum(0)) @ b
        return (y.T @ y - samp) / self.h[keep].sum()

    def cross(self, keep=None):
        """The moment vector of y against the pooled frequency over the SNPs of `keep`: over
        neutral SNPs it estimates B'S1/K, the covariance of the contrasts with the drift all
        populations share, times the same factor as moments()."""
        if keep is None:
            keep = np.ones(len(self.h), dtype=bool)
        # centred, as y is uncorrelated with the ancestral frequency but scatters with it
        centred = self.fbar[keep] - self.fbar[keep].mean()
        return (self.y[keep].T @ centred - self.samp_cross[keep].sum(0)) / self.h[keep].sum()

    def whitened(self, w):
        """Per SNP: the squared distance and the largest absolute coordinate once whitened by w
        (a matrix with w'Qw = I, Q the expected moment matrix of a neutral SNP)."""
        z = (self.y @ w) / np.sqrt(np.maximum(self.h, 1e-12))[:, None]
        return (z ** 2).sum(1), np.abs(z).max(1)


def moment_statistic(counts, totals, directions, pool_sizes=None):
    """The moment statistic u'Au of each direction u (columns of `directions`, sum(u) = 0)."""
    d = np.asarray(directions, dtype=float)
    snps = Snps(counts, totals, d, pool_sizes)
    return np.diag(snps.moments()).copy()


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


def embed(vecs, sc, shared, g):
    """The K x K matrix with S_c along the contrasts B (vecs), `shared` along 1/sqrt(K) and g their
    covariances: B S_c B' + shared 11'/K + (B g 1' + 1 g'B')/sqrt(K)."""
    k = len(vecs)
    b1 = np.outer(vecs @ g, np.ones(k)) / np.sqrt(k)
    out = vecs @ sc @ vecs.T + shared * np.ones((k, k)) / k + b1 + b1.T
    return (out + out.T) / 2


def bounded_cross(sc, g, shared):
    """g, shortened where needed so that the matrix stays positive definite with a margin:
    g'S_c^-1 g at most 0.9 times the variance along 1/sqrt(K)."""
    need = float(g @ np.linalg.solve(sc, g))
    return g if need <= 0.9 * shared else g * np.sqrt(0.9 * shared / need)


def ancestral_beta(counts, totals, sigma):
    """Beta(a, b) of the ancestral frequencies, as calibrate.fit_ancestral fits it (vectorised)."""
    n = totals.sum(1)
    w = totals / n[:, None]
    drift = np.einsum("ja,ab,jb->j", w, sigma, w)
    with np.errstate(divide="ignore", invalid="ignore"):
        sampling = np.where(totals > 0, w * w / totals, 0.0).sum(1)
    f = counts.sum(1) / n
    c = drift + sampling
    m = f.mean()
    var_f = ((f - m) ** 2).mean()
    cbar = c.mean()
    var_e = (var_f - cbar * m * (1 - m)) / (1 - cbar) if cbar < 1 else 0.0
    total = m * (1 - m) / var_e - 1 if var_e > 0 else MAX_SHAPE_SUM
    total = min(max(total, 2 * MIN_SHAPE), MAX_SHAPE_SUM)
    return max(m * total, MIN_SHAPE), max((1 - m) * total, MIN_SHAPE)


def draw_null(rng, counts_data, totals_data, sigma, n, pool_sizes=None):
    """n null SNPs (counts, totals) drawn like the calibration's: data sizes, Beta ancestral, clipped normal, binomial.
    The data are the polymorphic SNPs only."""
    a, b = ancestral_beta(counts_data, totals_data, sigma)
    sizes_all = totals_data.astype(np.int64)
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


def whitening(q, excess):
    """w with w'qw = I whose columns are the axes along which `excess` (the data's untrimmed
    moments) stands out most against q: the contrast SNPs under selection move along is an axis."""
    mu, v = np.linalg.eigh(q)
    half = v / np.sqrt(mu)
    _, r = np.linalg.eigh(half.T @ excess @ half)
    return half @ r


def trimmed(data, null, w):
    """Which data and null SNPs the exclusion rules keep, whitening both by w."""
    dd, dm = data.whitened(w)
    nd, nm = null.whitened(w)
    cut_d, cut_m = np.quantile(nd, TRIM), np.quantile(nm, TRIM)
    return (dd <= cut_d) & (dm <= cut_m), (nd <= cut_d) & (nm <= cut_m)


def floor_psd(a, rel=1e-3):
    w, v = np.linalg.eigh((a + a.T) / 2)
    w = np.maximum(w, rel * max(w.max(), 1e-12))
    return (v * w) @ v.T


def frequency_ratio(snps, keep):
    """The contrasts' moment of the kept SNPs whose pooled minor frequency is under 0.15, over
    that of those above 0.35. The more the populations drift together from the ancestral
    frequency, the further the pooled frequency lies from it, and the more drift the SNPs of
    extreme pooled frequency show against their fbar(1-fbar)."""
    extreme, middle = keep & (snps.h < 0.15 * 0.85), keep & (snps.h > 0.35 * 0.65)
    if extreme.sum() < 10 or middle.sum() < 10:
        return None
    den = np.trace(snps.moments(middle))
    return np.trace(snps.moments(extreme)) / den if den > 0 else None


def polymorphic(snps):
    """Counts and totals (float arrays, one row per SNP) of the SNPs that are polymorphic overall."""
    counts = np.array([s[2] for s in snps], dtype=float)
    totals = np.array([s[3] for s in snps], dtype=float)
    poly = (counts.sum(1) > 0) & (counts.sum(1) < totals.sum(1))
    return counts[poly], totals[poly]


def fit(snps, m, pool_sizes=None, single=False, seed=1, null_snps=NULL_SNPS, steps=STEPS, robust=True,
        core=True, env=None):
    """Fits the matrix to the data. Returns the result, the factors along the directions of the
    average (eigenvectors of C M C), its eigenvalues, the moment statistics along them of the
    kept data SNPs and of the kept nulls drawn with the result, and the shares of data SNPs and
    of null SNPs left out (0 without `robust`)."""
    m = np.asarray(m, dtype=float)
    counts, totals = polymorphic(snps)
    if len(counts) < 2:
        raise WorkError("the count file holds fewer than two polymorphic SNPs; no rescaling")
    vals, vecs = centred_basis(m)
    if not vals.min() > 0:
        raise WorkError("the average matrix is not positive definite on the differences between populations")
    data = Snps(counts, totals, vecs, pool_sizes)
    whole = data.moments()
    env_c = None
    if env is not None and robust and core:
        e = np.atleast_2d(np.asarray(env, dtype=float))
        e = (e - e.mean(1)[:, None]) @ vecs
        e = e[np.linalg.norm(e, axis=1) > 0]  # a variable equal in every population has no contrast
        env_c = e if len(e) else None
    if not np.trace(whole) > 0:
        raise WorkError("the count file shows no drift between populations beyond sampling; no rescaling")
    # expected sampling per unit of fbar(1-fbar), the same for data and nulls (drawn with the data's sizes)
    samp = (vecs.T * data.a.mean(0)) @ vecs
    # the start is the same drift along every contrast, not the average's shape (which a single
    # factor keeps): an average widened along the environment would hide SNPs under selection
    sc = (np.diag(vals) / vals.mean() if single else np.eye(len(vals))) * np.trace(whole) / len(vals)

    # the variance along the direction 1, which the data can tell only through frequency_ratio;
    # it starts at the mean drift of a contrast
    shared = np.trace(sc) / len(vals)
    # the covariances of the contrasts with that direction (a tree with branches of unequal length
    # has them), fitted with the contrasts from the moment of y against the pooled frequency
    cross = np.zeros(len(vals))
    root_k = np.sqrt(len(m))

    def matrix(sc, v):
        return embed(vecs, sc, v, bounded_cross(sc, cross, v))

    def nulls(sc, v, n=null_snps):
        nc, nt = draw_null(np.random.default_rng(seed), counts, totals, matrix(sc, v), n, pool_sizes)
        return Snps(nc, nt, vecs, pool_sizes)

    def step(sc, axis=None):
        null = nulls(sc, shared)
        keep_d, keep_n = trimmed(data, null, whitening(sc + samp, whole)) if robust else (None, None)
        a, f = data.moments(keep_d), null.moments(keep_n)
        if env_c is not None:
            return match_environment(data, null, env_c, samp, sc, a, f, keep_d, keep_n), f, keep_d, keep_n, null
        if robust and core and pool_sizes is None:
            axis = choose_axis(data, null, samp, whole, keep_d, keep_n)
        if axis is not None:
            a = match_core(data, null, axis, sc + samp, samp, a, f, keep_d, keep_n)
        return a, f, keep_d, keep_n, null

    def refit(sc, axis=None):
        nonlocal cross
        for _ in range(steps):
            a, f, keep_d, keep_n, null = step(sc, axis)
            kappa = np.trace(f) / np.trace(sc)
            if single:
                sc = sc * np.trace(a) / np.trace(f)
            else:
                sc = floor_psd(sc + (a - f) / kappa)
                # the moment against the pooled frequency is kappa g / sqrt(K) (see Snps.cross)
                step_g = root_k * (data.cross(keep_d) - null.cross(keep_n)) / kappa
                cross = bounded_cross(sc, cross + step_g, shared)
        return sc

    def fit_shared(sc):
        """The variance along 1 at which the nulls' frequency_ratio is the data's (bisection on
        its log, the nulls drawn with the same seed throughout, so the ratio rises steadily)."""
        w = whitening(sc + samp, whole)
        every = np.ones(len(data.h), dtype=bool)
        lo, hi = np.log(SHARED_RANGE[0] * shared), np.log(SHARED_RANGE[1] * shared)
        for _ in range(SHARED_STEPS):
            mid = (lo + hi) / 2
            null = nulls(sc, np.exp(mid), SHARED_NULLS * null_snps)
            keep_d, keep_n = trimmed(data, null, w) if robust else (every, np.ones(len(null.h), dtype=bool))
            rd, rn = frequency_ratio(data, keep_d), frequency_ratio(null, keep_n)
            if rd is None or rn is None:
                return shared  # too few SNPs of extreme or middle frequency, or no drift: keep the start
            lo, hi = (mid, hi) if rn < rd else (lo, mid)
        return float(np.exp((lo + hi) / 2))

    sc = refit(sc)
    shared = fit_shared(sc)
    sc = refit(sc)
    axis = None
    if robust and core and pool_sizes is not None and env_c is None:
        # pooled sampling moves the axis from step to step, so that the core acts at some steps
        # only and the fit stays wide: the axis is chosen once, from the trimmed fit, and the fit
        # goes on with the core along it. Individual data do better with the axis chosen anew at
        # every step: it settles closer to the contrast SNPs under selection move along.
        _, _, keep_d, keep_n, null = step(sc)
        axis = choose_axis(data, null, samp, whole, keep_d, keep_n)
        if axis is not None:
            sc = refit(sc, axis)
    shared = fit_shared(sc)
    a, f, keep_d, keep_n, _ = step(sc, axis)
    cur = matrix(sc, shared)
    factors = np.diag(sc) / vals
    left = (0.0, 0.0) if not robust else (1 - keep_d.mean(), 1 - keep_n.mean())
    return cur, factors, vals, np.diag(a).copy(), np.diag(f).copy(), left


def own_error(snps, result, pool_sizes=None):
    """The rescaled matrix's own error along a contrast, as a share: the eigenvalues of a
    covariance estimated from N SNPs spread by about 2 sqrt((K-1)/N) around the truth, and
    subtracting the sampling carries its noise into the drift, by (drift + sampling)/drift
    averaged over the contrasts. A guide to the order of the error, not a bound; SNPs under
    selection add to it."""
    result = np.asarray(result, dtype=float)
    counts, totals = polymorphic(snps)
    _, vecs = centred_basis(result)
    samp = (vecs.T * Snps(counts, totals, vecs, pool_sizes).a.mean(0)) @ vecs
    sc = vecs.T @ result @ vecs
    excess = np.linalg.eigvals(np.linalg.solve(sc, sc + samp)).real.mean()
    return 2 * np.sqrt((len(result) - 1) / len(counts)) * excess


def calibrate_matrix(snps, m, pool_sizes=None, single=False, seed=1, null_snps=NULL_SNPS, steps=STEPS):
    """fit() without the shares left out."""
    return fit(snps, m, pool_sizes, single, seed, null_snps, steps)[:5]


def read_environment(path, k, n=None):
    """The first n variables of an environment file (every line with content by default)."""
    lines = read_lines(path, "environment file")
    if n is None:
        n = max(1, sum(1 for line in lines if line.strip("\t ")))
    return read_numbers(path, k, n, "environment file", lines=lines)


def rescale(m, counts_path, pool_sizes_path=None, single=False, env_path=None, nenv=None):
    """peltra2-matrix --counts: the matrix on the data's scale, and the lines that say what was done."""
    k = len(m)
    snps = read_count_file(counts_path, k)
    pool_sizes = None
    if pool_sizes_path:
        pool_sizes = read_pool_sizes(pool_sizes_path, k)
    env = read_environment(env_path, k, nenv) if env_path else None
    out, factors, vals, data, null, left = fit(snps, m, pool_sizes, single, env=env)
    error = own_error(snps, out, pool_sizes)
    fmt = lambda v: " ".join("%.4g" % x for x in v)  # noqa: E731
    notes = [
        "rescaled to the drift of %s (%d SNPs%s), %s: factor%s %s; variance along the direction all "
        "populations share, fitted to the SNPs of extreme and of middle frequency: %.4g"
        % (counts_path, len(snps), ", pooled" if pool_sizes else "",
           "one factor for all directions" if single else "every contrast refitted; along the average's directions",
           "" if single else "s", "%.4g" % factors[0] if single else fmt(factors), float(np.sum(out)) / k),
        "left out as outlying along some contrast: %.1f%% of the SNPs, against %.1f%% of null SNPs drawn "
        "with the result; the excess (%.1f%%) stands apart from the drift (SNPs under selection, or errors)"
        % (100 * left[0], 100 * left[1], max(0.0, 100 * (left[0] - left[1]))),
        "directions: eigenvalues of the centred average %s; moment statistic of the kept data SNPs %s, "
        "of the kept null SNPs drawn with the result %s" % (fmt(vals), fmt(data), fmt(null)),
        "the fit's own error along a contrast is about %d%% with %d SNPs; it falls with their square root%s"
        % (round(100 * error), len(snps),
           ": more SNPs narrow it, so rescale on all the genome's (the chains may stay on a thinned file)"
           if error > ERROR_HINT else "")]
    if env is not None:
        notes.append("environmental variables of %s (%d): the drift along each one's contrast is that of the "
                     "SNPs' core, which SNPs under selection, shifted along it, do not widen" % (env_path, len(env)))
    return out.tolist(), notes
