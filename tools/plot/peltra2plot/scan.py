"""The scan table along the genome: one panel per statistic, the SNPs at
their chromosome and position (from the converter's SNP table) or at their
index, calibration thresholds as lines and flagged SNPs marked."""

import os
import re

from .common import PlotError, figure, note, save
from .readers import Table, number, read_snp_positions

NOT_STATISTICS = {"snp", "name", "status", "chrom", "pos", "id", "ref", "alt"}
FLAG = re.compile(r"^(.+)_flag$|^flag_(.+)$")
COLOURS = ("#1f4e79", "#7fa7cf")  # alternate chromosomes
FLAGGED = "#c0392b"


def statistic_columns(t, wanted):
    """Statistic columns: every column that is not an identifier, a flag or
    the status and that holds a number (or is asked for by name). In these NA
    or an empty cell is a missing value and any other text an error; columns
    of text only (comments) are left alone."""
    found = []
    for j, c in enumerate(t.columns):
        if c.lower() in NOT_STATISTICS or FLAG.match(c):
            continue
        values, bad = [], None
        for n, row in enumerate(t.rows):
            try:
                values.append(number(row[j]))
            except ValueError:
                values.append(None)
                bad = bad or (n, row[j])
        if not any(v is not None for v in values) and c not in (wanted or []):
            continue
        if bad:
            raise PlotError("%s: line %d, column %s: '%s' is not a number (write NA for a missing value)"
                            % (t.name, t.line_numbers[bad[0]], c, bad[1].strip()[:40]))
        found.append((c, values))
    if wanted:
        have = dict(found)
        missing = [w for w in wanted if w not in have]
        if missing:
            raise PlotError("%s: no statistic column %s (the table has: %s)"
                            % (t.name, ", ".join(missing), ", ".join(c for c, _ in found) or "none"))
        found = [(w, have[w]) for w in wanted]
    if not found:
        raise PlotError("%s: no statistic column with a value" % t.name)
    return found


def flags_of(t, stat):
    """Per row, whether the table's flag column of `stat` marks the SNP."""
    for j, c in enumerate(t.columns):
        m = FLAG.match(c)
        if m and (m.group(1) or m.group(2)) == stat:
            return [row[j].strip().lower() in ("1", "yes", "true", "*") for row in t.rows]
    return None


def default_quantiles(table_path):
    """The quantile file peltra2-scan --calibrate writes next to its table."""
    if table_path.endswith(".tsv"):
        candidate = table_path[:-4] + ".quantiles.tsv"
        if os.path.exists(candidate):
            return candidate
    return None


def read_quantiles(path):
    """Thresholds per statistic from a quantile table with a header
    ('statistic', then one column per quantile): {name: [(label, value)]}.
    A name written |x| is a threshold on the absolute value of x."""
    t = Table(path, "quantile file")
    out = {}
    for row in t.rows:
        stat = row[0].strip()
        for j, label in enumerate(t.columns[1:], 1):
            if not label.lower().startswith("q"):
                continue  # e.g. the number of null SNPs
            try:
                v = number(row[j])
            except ValueError:
                raise PlotError("%s: '%s' under %s is not a number" % (t.name, row[j], label))
            if v is not None:
                out.setdefault(stat, []).append((label, v))
    return out


def thresholds_for(stat, quantiles):
    """(label, value, both signs) for the statistic's panel."""
    if stat in quantiles:
        return [(l, v, False) for l, v in quantiles[stat]]
    if "|%s|" % stat in quantiles:
        return [(l, v, True) for l, v in quantiles["|%s|" % stat]]
    return []


def genome_axis(t, positions):
    """x of every row, the chromosome of every row, and the chromosomes'
    (name, middle) for the axis labels. Chromosomes follow one another in
    the order of their first SNP."""
    snp_col = t.column("snp")
    idx = []
    for i, row in enumerate(t.rows, 1):
        try:
            idx.append(int(row[snp_col]) if snp_col is not None else i)
        except ValueError:
            raise PlotError("%s: row %d: the snp field '%s' is not a number" % (t.name, i + 1, row[snp_col]))
    if positions is None:
        return idx, [0] * len(idx), []
    missing = [i for i in idx if i not in positions]
    if missing:
        raise PlotError("SNP %d of %s is not in the SNP table" % (missing[0], t.name))
    chroms, extent = [], {}
    for i in sorted(positions):
        c, p = positions[i]
        if c not in extent:
            chroms.append(c)
            extent[c] = 0
        extent[c] = max(extent[c], p)
    start, offset = {}, 0
    for c in chroms:
        start[c] = offset
        offset += extent[c] * 1.02
    x = [start[positions[i][0]] + positions[i][1] for i in idx]
    band = [chroms.index(positions[i][0]) % 2 for i in idx]
    ticks = [(c, start[c] + extent[c] / 2.0) for c in chroms]
    return x, band, ticks


def plot(args, size_option):
    t = Table(args.table, "scan table")
    stats = statistic_columns(t, args.stats.split(",") if args.stats else None)
    positions = read_snp_positions(args.snps) if args.snps else None
    x, band, ticks = genome_axis(t, positions)
    qpath = None if args.no_thresholds else args.quantiles or default_quantiles(args.table)
    quantiles = read_quantiles(qpath) if qpath else {}
    if qpath:
        note("thresholds from %s" % qpath)

    size = size_option or (1200, 150 + 200 * len(stats))
    fig = figure(size)
    axes = fig.subplots(len(stats), 1, sharex=True, squeeze=False)[:, 0]
    for ax, (stat, values) in zip(axes, stats):
        flags = flags_of(t, stat) or [False] * len(values)
        pts = [(xi, v, b, f) for xi, v, b, f in zip(x, values, band, flags) if v is not None]
        log = stat.upper().startswith("BF") and bool(pts) and min(p[1] for p in pts) > 0
        for b in (0, 1):
            sel = [p for p in pts if p[2] == b and not p[3]]
            ax.scatter([p[0] for p in sel], [p[1] for p in sel], s=6, color=COLOURS[b], linewidths=0)
        marked = [p for p in pts if p[3]]
        ax.scatter([p[0] for p in marked], [p[1] for p in marked], s=18, color=FLAGGED, linewidths=0,
                   label="flagged" if marked else None)
        drawn = thresholds_for(stat, quantiles)
        for n, (label, v, both) in enumerate(drawn):
            style = dict(color="#555555", linewidth=0.8, linestyle=("--", "-.", ":")[n % 3])
            for sign in ((1, -1) if both else (1,)):
                if not (log and sign * v <= 0):
                    ax.axhline(sign * v, **style, label=label if sign == 1 else None)
        if log:
            ax.set_yscale("log")
        ax.set_ylabel(stat)
        if drawn or marked:
            ax.legend(fontsize=7, loc="upper left", bbox_to_anchor=(1.0, 1.0))
        note("%s: %d of %d SNPs with a value; thresholds: %s; flagged: %d"
             % (stat, len(pts), len(values), " ".join(l for l, _, _ in drawn) or "none", len(marked)))
    if ticks:
        step = max(1, len(ticks) // 30)
        axes[-1].set_xticks([m for _, m in ticks[::step]])
        axes[-1].set_xticklabels([c for c, _ in ticks[::step]], rotation=90 if len(ticks) > 12 else 0)
        axes[-1].set_xlabel("chromosome")
    else:
        axes[-1].set_xlabel("SNP")
    failed = 0
    if t.column("status") is not None:
        failed = sum(1 for row in t.rows if row[t.column("status")].strip() not in ("", "ok"))
    title = args.title or "Scan of %d SNPs%s" % (len(t.rows), ", %d failed" % failed if failed else "")
    fig.suptitle(title)
    fig.subplots_adjust(left=0.08, right=0.88, top=1 - min(0.25, 50.0 / size[1]),
                        bottom=min(0.3, 70.0 / size[1]), hspace=0.1)
    save(fig, args.out)
