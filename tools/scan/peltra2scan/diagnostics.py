"""Convergence diagnostics of several chains of one quantity: the
rank-normalised split-R-hat and the bulk and tail effective sample sizes of
Vehtari, Gelman, Simpson, Carpenter and Buerkner (2021), "Rank-normalization,
folding, and localization: an improved R-hat for assessing convergence of
MCMC", Bayesian Analysis 16(2).

Every function takes the draws as an array of shape (chains, draws), all
chains of the same length, and returns nan when the draws cannot say
anything (too few draws, or every draw equal)."""

import numpy as np
from scipy.stats import norm, rankdata

MIN_DRAWS = 4  # per chain, before splitting: two per half


def split_chains(x):
    """Each chain cut into its first and second half (the middle draw of an
    odd-length chain is dropped), so that a drift within a chain shows as a
    difference between chains."""
    x = np.asarray(x, dtype=float)
    half = x.shape[1] // 2
    return np.vstack([x[:, :half], x[:, x.shape[1] - half:]])


def z_scale(x):
    """Rank normalisation: the ranks over all chains together (ties
    averaged) mapped to normal scores, Blom's offset 3/8."""
    r = rankdata(x, method="average").reshape(x.shape)
    return norm.ppf((r - 0.375) / (x.size + 0.25))


def _unusable(x):
    return x.shape[1] < 2 or not np.all(np.isfinite(x)) or np.ptp(x) == 0


def rhat_basic(x):
    """Potential scale reduction of chains as given (no split, no ranks):
    sqrt(((n - 1) / n * W + B / n) / W)."""
    if _unusable(x):
        return np.nan
    n = x.shape[1]
    within = np.mean(np.var(x, axis=1, ddof=1))
    between = n * np.var(np.mean(x, axis=1), ddof=1) if x.shape[0] > 1 else 0.0
    return float(np.sqrt((between / within + n - 1) / n))


def rhat(x):
    """Rank-normalised split-R-hat: the larger of the bulk R-hat (ranks of
    the draws) and the tail R-hat (ranks of the draws folded about their
    median)."""
    x = np.asarray(x, dtype=float)
    if x.shape[1] < MIN_DRAWS or _unusable(x):
        return np.nan
    folded = np.abs(x - np.median(x))
    return max(rhat_basic(z_scale(split_chains(x))), rhat_basic(z_scale(split_chains(folded))))


def autocovariance(chain):
    """Autocovariance of one chain at lags 0 .. n-1, divided by n (the
    biased estimate Geyer recommends), through a zero-padded FFT."""
    n = len(chain)
    size = 1 << (2 * n - 1).bit_length()
    f = np.fft.rfft(chain - np.mean(chain), size)
    return np.fft.irfft(f * np.conjugate(f), size)[:n] / n


def ess_basic(x):
    """Effective sample size of chains as given: autocorrelations combined
    over chains, summed in pairs up to Geyer's initial positive sequence and
    made monotone (Geyer's initial monotone sequence)."""
    x = np.asarray(x, dtype=float)
    m, n = x.shape
    if n < 3 or _unusable(x):
        return np.nan
    acov = np.array([autocovariance(c) for c in x])
    mean_var = np.mean(acov[:, 0]) * n / (n - 1.0)
    var_plus = mean_var * (n - 1.0) / n
    if m > 1:
        var_plus += np.var(np.mean(x, axis=1), ddof=1)
    acov_mean = np.mean(acov, axis=0)
    rho = np.zeros(n)
    even, odd = 1.0, 1.0 - (mean_var - acov_mean[1]) / var_plus
    rho[0], rho[1] = even, odd
    t = 0
    while t < n - 5 and even + odd > 0:  # Geyer's initial positive sequence
        t += 2
        even = 1.0 - (mean_var - acov_mean[t]) / var_plus
        odd = 1.0 - (mean_var - acov_mean[t + 1]) / var_plus
        if even + odd >= 0:
            rho[t], rho[t + 1] = even, odd
    max_t = t
    if even > 0:
        rho[max_t] = even  # the improved estimate of the paper
    t = 0
    while t <= max_t - 4:  # Geyer's initial monotone sequence
        t += 2
        if rho[t] + rho[t + 1] > rho[t - 2] + rho[t - 1]:
            rho[t] = rho[t + 1] = (rho[t - 2] + rho[t - 1]) / 2.0
    draws = m * n
    tau = -1.0 + 2.0 * np.sum(rho[:max(max_t, 1)]) + rho[max_t]
    tau = max(tau, 1.0 / np.log10(draws))
    return float(draws / tau)


def ess_bulk(x):
    """Bulk effective sample size: of the rank-normalised split chains."""
    x = np.asarray(x, dtype=float)
    if x.shape[1] < MIN_DRAWS or _unusable(x):
        return np.nan
    return ess_basic(z_scale(split_chains(x)))


def ess_tail(x):
    """Tail effective sample size: the smaller of the effective sample sizes
    of the indicators of the draws below the 5% and below the 95% quantile."""
    x = np.asarray(x, dtype=float)
    if x.shape[1] < MIN_DRAWS or _unusable(x):
        return np.nan
    return float(np.min([ess_basic(split_chains((x <= np.quantile(x, p)).astype(float))) for p in (0.05, 0.95)]))


def summary(x):
    """(R-hat, bulk ESS, tail ESS) of chains of one quantity."""
    return rhat(x), ess_bulk(x), ess_tail(x)
