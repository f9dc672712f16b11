"""The drift along the contrast SNPs under selection move along, from the core of the data.

Where the effect is weak against the drift, SNPs under selection lie only two or three
standard deviations out along the environment's contrast: the exclusion of single SNPs keeps
most of them, and their moments widen the fitted matrix along that contrast. Along one axis,
though, they make the wide part of a mixture: the kept data's coordinates there are fitted as
two centred normals, and the variance of the narrow one (the core) is matched to that of the
kept null SNPs drawn with the current matrix, which go through the same fit. Under the null
both cores estimate the same variance, so the match is consistent whatever the fit leaves out.

The axis is the direction, in the plane of the two axes along which the data's moments stand
out most against the nulls', where the data's plain variance is the largest multiple of their
core variance: the effect's contrast need not be one of those two axes on its own.

Given the environmental variables, the axes are theirs (match_environment): the functional
that best tells a shift along a variable's contrast from neutral drift and sampling. SNPs under
selection there shift the coordinate one way or the other rather than widen it, so the core is
that of a centred normal beside two shifted parts; none of the guards below applies, as the
axis is known rather than sought, and under the null the match stays consistent.

Without them, the core is left alone where the data's wide part does not hold MIN_EXCESS more
of the SNPs than the nulls' (no minority stands apart: the core would only add its noise), where
it holds more than MAX_WIDE of the SNPs (then it is the data's shape, not a minority under
selection) or where sampling is more than MAX_SAMPLING of the variance along the axis (a small
error of the core there is a large one of the drift). The axis is chosen anew at every step of
the fit, except for pooled data (moments.fit).
"""

import numpy as np

ANGLES = 36  # directions tried in the plane
EM_STEPS = 200
WIDE_FLOOR = 1.5  # the wide part is at least this much wider than the core
MAX_SAMPLING = 0.75  # the core says little about the drift along an axis where sampling is most of it
MIN_EXCESS = 0.02  # the data's wide part must outnumber the nulls' by this share of the SNPs
MAX_WIDE = 0.5  # SNPs under selection are a minority; a wider part than this is the data's shape


def core_variance(z, steps=EM_STEPS, full=False):
    """The variance of the narrow part of two centred normals fitted to z (EM)."""
    z2 = z * z
    v0 = (np.median(np.abs(z)) / 0.6745) ** 2
    v1, p = 9.0 * v0, 0.05
    for _ in range(steps):
        l0 = (1 - p) * np.exp(-0.5 * z2 / v0) / np.sqrt(v0)
        l1 = p * np.exp(-0.5 * z2 / v1) / np.sqrt(v1)
        g = l1 / np.maximum(l0 + l1, 1e-300)
        p = min(max(g.mean(), 1e-4), 0.5)
        v0 = ((1 - g) * z2).sum() / max((1 - g).sum(), 1e-12)
        v1 = max((g * z2).sum() / max(g.sum(), 1e-12), WIDE_FLOOR * v0)
    return (v0, p, v1) if full else v0


def shifted_core_variance(z, steps=EM_STEPS, full=False):
    """The variance of the core of a centred normal and two parts shifted to -mu and +mu (EM).
    Along an environmental variable's contrast, SNPs under selection move one way or the other
    by about the same amount: a shift, which two centred normals fit poorly."""
    z2 = z * z
    v = (np.median(np.abs(z)) / 0.6745) ** 2
    v1, mu, wp, wm = v, 2.0 * np.sqrt(v), 0.03, 0.03
    for _ in range(steps):
        l0 = (1 - wp - wm) * np.exp(-0.5 * z2 / v) / np.sqrt(v)
        lp = wp * np.exp(-0.5 * (z - mu) ** 2 / v1) / np.sqrt(v1)
        lm = wm * np.exp(-0.5 * (z + mu) ** 2 / v1) / np.sqrt(v1)
        tot = np.maximum(l0 + lp + lm, 1e-300)
        g0, gp, gm = l0 / tot, lp / tot, lm / tot
        wp, wm = min(max(gp.mean(), 1e-4), 0.5), min(max(gm.mean(), 1e-4), 0.5)
        mu = max(((gp - gm) * z).sum() / max((gp + gm).sum(), 1e-12), 0.0)
        v = (g0 * z2).sum() / max(g0.sum(), 1e-12)
        v1 = max((gp * (z - mu) ** 2 + gm * (z + mu) ** 2).sum() / max((gp + gm).sum(), 1e-12), v)
    return (v, wp + wm, v1) if full else v


def coordinate(snps, u):
    """Each SNP's coordinate along the functional u, per unit of sqrt(fbar(1-fbar))."""
    return (snps.y @ u) / np.sqrt(np.maximum(snps.h, 1e-12))


def widest_axis(data, plane):
    """The functional in the span of the two columns of `plane` along which the data's plain
    variance is the largest multiple of their core variance."""
    best, out = -1.0, plane[:, -1]
    for t in np.arange(ANGLES) * np.pi / ANGLES:
        u = plane @ np.array([np.sin(t), np.cos(t)])
        z = coordinate(data, u)
        r = (z * z).mean() / core_variance(z, 50)
        if r > best:
            best, out = r, u
    return out


def choose_axis(data, null, samp, whole, keep_d, keep_n):
    """The axis along which the data's core is matched, or None where no minority stands apart
    along it (the guards above). null: nulls drawn with the current matrix, samp: the expected
    sampling, whole: the data's untrimmed moments, keep_d and keep_n: the SNPs the trimming kept."""
    tot = null.moments() + samp
    mu, v = np.linalg.eigh(tot)
    half = v / np.sqrt(mu)
    _, r = np.linalg.eigh(half.T @ (whole + samp) @ half)
    u = widest_axis(data, (half @ r)[:, -2:])
    u = u / np.sqrt(u @ tot @ u)
    zd, zn = coordinate(data, u)[keep_d], coordinate(null, u)[keep_n]
    (_, pd, _), (_, pn, _) = core_variance(zd, full=True), core_variance(zn, full=True)
    fu = u @ null.moments(keep_n) @ u
    if pd < pn + MIN_EXCESS or pd > MAX_WIDE or u @ samp @ u > MAX_SAMPLING * (fu + u @ samp @ u):
        return None
    return u


def match_core(data, null, u, q, samp, a, f, keep_d, keep_n, core=core_variance):
    """a with its variance along the axis u replaced so that data and nulls differ there as
    their cores do. q: the current matrix plus sampling (coordinates of contrasts), samp: the
    expected sampling, a and f: the trimmed moments of data and nulls, keep_d and keep_n: the
    SNPs they kept (the cores are fitted to those alone), core: the fit that gives a core."""
    u = u / np.sqrt(u @ q @ u)
    c = q @ u  # a + x cc' changes u'au by x and leaves every functional q-orthogonal to u alone
    zd, zn = coordinate(data, u)[keep_d], coordinate(null, u)[keep_n]
    ratio = core(zd) / core(zn)
    fu = u @ f @ u
    target = fu + (ratio - 1.0) * (fu + u @ samp @ u)
    return a + (target - u @ a @ u) * np.outer(c, c)


def match_environment(data, null, env, samp, sc, a, f, keep_d, keep_n):
    """a with its variance along each environmental variable's axis matched by the shifted cores.
    env: the variables in contrast coordinates (rows). The axis of a variable is the functional
    that best tells a shift along it from the drift and sampling of neutral SNPs (tot^-1 e, tot
    their expected moments); each axis is made q-orthogonal to those before it, so that matching
    one leaves the others alone."""
    tot = null.moments() + samp
    q = sc + samp
    done = []
    for e in env:
        u = np.linalg.solve(tot, e)
        for w in done:
            u = u - (u @ q @ w) * w
        norm = u @ q @ u
        if not norm > 1e-12 * (e @ e) / np.trace(tot):
            continue  # a variable that moves along the axes before it only
        u = u / np.sqrt(norm)
        a = match_core(data, null, u, q, samp, a, f, keep_d, keep_n, shifted_core_variance)
        done.append(u)
    return a
