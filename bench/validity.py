#!/usr/bin/python3
"""Helpers of bench/validity.sh.

    validity.py subsample COUNTS EFFECT_LOCI N OUT
        OUT.counts: the first N neutral SNPs and every effect SNP of COUNTS, in
        order; OUT.effect_loci: the effect SNPs' indices in OUT.counts.
    validity.py rows SET EFFECT_LOCI LABEL=TABLE ...
        One line per statistic: the share of neutral SNPs above the null's 99%
        and 95% quantiles, the power at the 1% empirical cut (the share of
        effect SNPs above the 99% quantile of the neutral SNPs' own values)
        and lambda, for each scan table (peltra2-scan --calibrate; its
        quantiles file beside it), side by side; "-" for a missing table."""

import math
import os
import sys


def read_effect(path):
    with open(path) as f:
        return {int(x) for x in f.read().split()}


def subsample(counts, effect, n, out):
    eff = read_effect(effect)
    with open(counts) as f:
        lines = f.read().splitlines()
    keep, neutral = [], 0
    for i in range(1, len(lines) // 2 + 1):
        if i in eff or neutral < n:
            keep.append(i)
            neutral += i not in eff
    with open(out + ".counts", "w") as f:
        f.write("".join(lines[2 * i - 2] + "\n" + lines[2 * i - 1] + "\n" for i in keep))
    with open(out + ".effect_loci", "w") as f:
        f.write("".join("%d\n" % (j + 1) for j, i in enumerate(keep) if i in eff))


def quantile(values, prob):
    values = sorted(values)
    h = (len(values) - 1) * prob
    lo = math.floor(h)
    hi = min(lo + 1, len(values) - 1)
    return values[lo] + (h - lo) * (values[hi] - values[lo])


def measure(path, effect):
    """Per statistic: (99%, 95%, power, lambda) of one scan table."""
    with open(path) as f:
        head = f.readline().rstrip("\n").split("\t")
        rows = [line.rstrip("\n").split("\t") for line in f]
    q = {}
    with open(path[:-4] + ".quantiles.tsv") as f:
        qhead = f.readline().rstrip("\n").split("\t")
        for line in f:
            v = line.rstrip("\n").split("\t")
            q[v[0]] = dict(zip(qhead[1:], v[1:]))
    out = {}
    for col in [c for c in head if c == "XtX" or c.startswith("BF_")]:
        j = head.index(col)
        neutral = [float(r[j]) for r in rows if r[-1] == "ok" and int(r[0]) not in effect]
        hit = [float(r[j]) for r in rows if r[-1] == "ok" and int(r[0]) in effect]
        cut = quantile(neutral, 0.99)
        share = lambda vals, t: 100.0 * sum(v > t for v in vals) / max(1, len(vals))  # noqa: E731
        out[col] = (share(neutral, float(q[col]["q99"])), share(neutral, float(q[col]["q95"])),
                    share(hit, cut), q[col].get("lambda", "NA"))
    return out


def rows(name, effect_path, tables):
    effect = read_effect(effect_path)
    found = {}
    for arg in tables:
        label, path = arg.split("=", 1)
        if os.path.exists(path) and os.path.exists(path[:-4] + ".quantiles.tsv"):
            found[label] = measure(path, effect)
    labels = [a.split("=", 1)[0] for a in tables]
    stats = sorted({c for m in found.values() for c in m}, key=lambda c: (c == "XtX", c))
    for col in stats:
        cells = []
        for what in range(4):
            for label in labels:
                v = found.get(label, {}).get(col)
                cells.append("-" if v is None else (v[what] if what == 3 else "%.1f" % v[what]))
        print("| %s | %s | %s |" % (name, col, " | ".join(cells)))


if __name__ == "__main__":
    if sys.argv[1] == "subsample":
        subsample(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
    else:
        rows(sys.argv[2], sys.argv[3], sys.argv[4:])
