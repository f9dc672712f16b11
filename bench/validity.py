#!/usr/bin/python3
"""Helpers of bench/validity.sh.

    validity.py subsample COUNTS EFFECT_LOCI N OUT
        OUT.counts: the first N neutral SNPs and every effect SNP of COUNTS, in
        order; OUT.effect_loci: the effect SNPs' indices in OUT.counts.
    validity.py genome DATA MORE OUT
        OUT.counts: the SNPs of DATA.counts, then those of MORE.counts past
        their number (a longer run of the same simulation: the same tree
        and environment); OUT.effect_loci: the effect SNPs of both, as
        indices in OUT.counts. The rest of the genome a user would rescale on.
    validity.py effects GENOME FROM N OUT
        OUT.counts: the first N effect SNPs of GENOME.counts past SNP FROM,
        in order: more effect SNPs for the power, scanned on their own.
    validity.py rows SET EFFECT_LOCI LABEL=TABLE[+EFFECTS_TABLE] ...
        One line per statistic: the share of neutral SNPs above the null's 99%
        and 95% quantiles, the power at the 1% empirical cut (the share of
        effect SNPs above the 99% quantile of the neutral SNPs' own values),
        the share of effect SNPs the scan's own 99% flags find, and lambda,
        for each scan table (peltra2-scan --calibrate; its quantiles file
        beside it), side by side; "-" for a missing table. The SNPs of an
        EFFECTS_TABLE (a scan of effects' output with the same matrix and
        options) count as effect SNPs too.
    validity.py contrast SET ENV VAR TRUE MATRIX...
        One line: the variance of each matrix along the contrast of variable
        VAR of ENV (centred) over that of the true matrix, and in brackets
        the same over the ratio of their traces between populations (its
        widening along the contrast against its own scale), then the least
        and the largest of that ratio over all contrasts.
    validity.py overlap EFFECT_LOCI REFERENCE TABLE...
        One line per statistic: the neutral SNPs flagged at 99% by each
        scan table, and the share of the reference's flagged SNPs (effect
        SNPs or not) that each table flags too.
    validity.py direct TOOLS PELTRA2 COUNTS MATRIX NULLS TABLE PELTRA2_OPTIONS...
        What "peltra2-scan -i COUNTS -m MATRIX --calibrate NULLS -o TABLE
        OPTIONS" computes (the same null SNPs, seeds and statistics, so the
        same numbers), with peltra2 -t run directly, two at a time: a cheap
        scan for the reference matrices. Writes TABLE and its quantiles file
        (with lambda)."""

import math
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor


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


def genome(data, more, out):
    with open(data + ".counts") as f:
        first = f.read().splitlines()
    with open(more + ".counts") as f:
        rest = f.read().splitlines()[len(first):]
    n = len(first) // 2
    eff = sorted(read_effect(data + ".effect_loci") | {i for i in read_effect(more + ".effect_loci") if i > n})
    with open(out + ".counts", "w") as f:
        f.write("".join(line + "\n" for line in first + rest))
    with open(out + ".effect_loci", "w") as f:
        f.write("".join("%d\n" % i for i in eff))


def effects(genome, start, n, out):
    eff = sorted(i for i in read_effect(genome + ".effect_loci") if i > start)[:n]
    with open(genome + ".counts") as f:
        lines = f.read().splitlines()
    with open(out + ".counts", "w") as f:
        f.write("".join(lines[2 * i - 2] + "\n" + lines[2 * i - 1] + "\n" for i in eff))


def quantile(values, prob):
    values = sorted(values)
    h = (len(values) - 1) * prob
    lo = math.floor(h)
    hi = min(lo + 1, len(values) - 1)
    return values[lo] + (h - lo) * (values[hi] - values[lo])


def read_table(path):
    with open(path) as f:
        lines = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]  # the scan's line
    return lines[0], lines[1:]


def measure(path, effect, more=None):
    """Per statistic: (99%, 95%, power, effect SNPs flagged, lambda) of one scan table; the
    SNPs of the table `more` are effect SNPs too."""
    head, rows = read_table(path)
    extra = read_table(more) if more else (head, [])
    q = {}
    with open(path[:-4] + ".quantiles.tsv") as f:
        qhead = f.readline().rstrip("\n").split("\t")
        for line in f:
            v = line.rstrip("\n").split("\t")
            q[v[0]] = dict(zip(qhead[1:], v[1:]))
    out = {}
    for col in [c for c in head if c in ("XtX", "Z") or (c.startswith("BF_") and not c.endswith("_flag"))]:
        j = head.index(col)
        neutral = [float(r[j]) for r in rows if r[-1] == "ok" and int(r[0]) not in effect]
        hit = [float(r[j]) for r in rows if r[-1] == "ok" and int(r[0]) in effect]
        hit += [float(r[extra[0].index(col)]) for r in extra[1] if r[-1] == "ok"]
        cut = quantile(neutral, 0.99)
        share = lambda vals, t: 100.0 * sum(v > t for v in vals) / max(1, len(vals))  # noqa: E731
        out[col] = (share(neutral, float(q[col]["q99"])), share(neutral, float(q[col]["q95"])),
                    share(hit, cut), share(hit, float(q[col]["q99"])), q[col].get("lambda", "NA"))
    return out


def rows(name, effect_path, tables):
    effect = read_effect(effect_path)
    found = {}
    for arg in tables:
        label, paths = arg.split("=", 1)
        path, more = (paths.split("+", 1) + [None])[:2]
        if more and not os.path.exists(more):
            more = None
        if os.path.exists(path) and os.path.exists(path[:-4] + ".quantiles.tsv"):
            found[label] = measure(path, effect, more)
    labels = [a.split("=", 1)[0] for a in tables]
    stats = sorted({c for m in found.values() for c in m}, key=lambda c: (c == "XtX", c))
    for col in stats:
        cells = []
        for what in range(5):
            for label in labels:
                v = found.get(label, {}).get(col)
                cells.append("-" if v is None else (v[what] if what == 4 else "%.1f" % v[what]))
        print("| %s | %s | %s |" % (name, col, " | ".join(cells)))


def flagged(path):
    with open(path) as f:
        lines = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]  # the scan's line
    head, rows = lines[0], lines[1:]
    cols = [c for c in head if c.endswith("_flag")]
    return {c[:-5]: {int(r[0]) for r in rows if r[head.index(c)] == "1"} for c in cols}


def overlap(effect_path, reference, tables):
    effect = read_effect(effect_path)
    ref = flagged(reference)
    found = [flagged(t) for t in tables]
    for col in sorted(ref, key=lambda c: (c == "XtX", c)):
        cells = []
        for f in [ref] + found:
            neutral = [i for i in f[col] if i not in effect]
            cells.append("%d neutral, %.0f%% of the reference's" % (len(neutral), 100.0 * len(f[col] & ref[col])
                                                                   / max(1, len(ref[col]))))
        print("| %s | %s |" % (col, " | ".join(cells)))


def read_square(path):
    with open(path) as f:
        rows = [[float(x) for x in line.split()] for line in f if line.strip()]
    k = len(rows)
    return [[rows[max(i, j)][min(i, j)] for j in range(k)] for i in range(k)]


def contrast(name, env, var, true, matrices):
    import numpy as np
    with open(env) as f:
        x = np.array([float(v) for v in f.read().splitlines()[var - 1].split()])
    u = x - x.mean()
    k = len(u)
    basis = np.linalg.svd(np.eye(k) - 1.0 / k)[0][:, :k - 1]  # the contrasts between populations
    t = basis.T @ np.array(read_square(true)) @ basis
    w, v = np.linalg.eigh(t)
    half = v / np.sqrt(w)
    base = u @ np.array(read_square(true)) @ u
    cells = []
    for p in matrices:
        if not os.path.exists(p):
            cells.append("-")
            continue
        m = np.array(read_square(p))
        ratio = u @ m @ u / base
        scale = np.trace(basis.T @ m @ basis) / np.trace(t)
        g = np.linalg.eigvalsh(half.T @ basis.T @ m @ basis @ half)
        cells.append("%.2f (%.2f) %.2f-%.2f" % (ratio, ratio / scale, g.min(), g.max()))
    print("| %s | %s |" % (name, " | ".join(cells)))


class Row:
    def __init__(self, stats):
        self.stats = stats

    def ok(self):
        return self.stats is not None


def read_result(d, nvar, opts):
    try:
        with open(os.path.join(d, "result.bf")) as f:
            stats = f.read().split()[1:1 + nvar]
        if "-X" in opts:
            with open(os.path.join(d, "result.xtx")) as f:
                stats.append(f.read().split()[1])
        return stats
    except (OSError, IndexError):
        return None


def direct(tools, peltra2, counts, matrix, nulls, table, opts):
    sys.path.insert(0, tools)
    from peltra2scan import calibrate, workdir
    from peltra2tools import inputs
    k = int(opts[opts.index("-p") + 1])
    nvar = int(opts[opts.index("-n") + 1])
    pool = None
    if "-s" in opts:
        pool = inputs.read_pool_sizes(opts[opts.index("-s") + 1], k)
    # the runs work in folders of their own: file arguments made absolute
    opts = [os.path.abspath(v) if i and opts[i - 1] in ("-e", "-s") else v for i, v in enumerate(opts)]
    opts = opts + ["-m", os.path.abspath(matrix)]
    snps = workdir.read_count_file(counts, k)
    text, _ = calibrate.simulate_null(snps, calibrate.read_matrix(matrix, k), nulls, 1, pool)
    lines = text.splitlines(True)
    null_snps = [(lines[2 * i], lines[2 * i + 1]) for i in range(nulls)]
    cols = ["BF_%d" % (v + 1) for v in range(nvar)] + (["XtX"] if "-X" in opts else [])
    tmp = table[:-4] + ".direct"  # one folder per run; a stopped scan resumes
    os.makedirs(tmp, exist_ok=True)

    def one(job):
        i, first, second = job
        d = os.path.join(tmp, str(i))
        if os.path.exists(os.path.join(d, "done")):
            return read_result(d, nvar, opts)
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "counts"), "wb") as f:
            f.write(first.encode() if isinstance(first, str) else first)
            f.write(second.encode() if isinstance(second, str) else second)
        for name in ("result.bf", "result.xtx"):
            if os.path.exists(os.path.join(d, name)):
                os.remove(os.path.join(d, name))
        subprocess.run([peltra2, "-t", "-i", "counts", "-o", "result", "-r", str(abs(i))] + opts, cwd=d,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        open(os.path.join(d, "done"), "w").close()
        return read_result(d, nvar, opts)

    with ThreadPoolExecutor(2) as pool_:
        data = list(pool_.map(one, [(i + 1, s[0], s[1]) for i, s in enumerate(snps)]))
        null = list(pool_.map(one, [(-(i + 1), a, b) for i, (a, b) in enumerate(null_snps)]))
    rows_, null_rows = [Row(x) for x in data], [Row(x) for x in null]
    limits = calibrate.thresholds(null_rows, cols)
    with open(table[:-4] + ".quantiles.tsv", "w") as f:
        f.write(calibrate.quantile_table(limits, cols, calibrate.inflation(rows_, null_rows, cols),
                                         calibrate.above_q95(rows_, cols, limits)))
    with open(table, "w") as f:
        f.write("\t".join(["snp", "name"] + cols + ["status"]) + "\n")
        for i, r in enumerate(rows_, 1):
            f.write("\t".join([str(i), str(i)] + (r.stats or ["NA"] * len(cols)) +
                              ["ok" if r.ok() else "failed"]) + "\n")


if __name__ == "__main__":
    if sys.argv[1] == "subsample":
        subsample(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
    elif sys.argv[1] == "genome":
        genome(sys.argv[2], sys.argv[3], sys.argv[4])
    elif sys.argv[1] == "effects":
        effects(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
    elif sys.argv[1] == "direct":
        direct(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], int(sys.argv[6]), sys.argv[7], sys.argv[8:])
    elif sys.argv[1] == "overlap":
        overlap(sys.argv[2], sys.argv[3], sys.argv[4:])
    elif sys.argv[1] == "contrast":
        contrast(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5], sys.argv[6:])
    else:
        rows(sys.argv[2], sys.argv[3], sys.argv[4:])
