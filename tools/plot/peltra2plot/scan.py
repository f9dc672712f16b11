"""The scan table along the genome: one panel per statistic, the SNPs at
their chromosome and position (from the converter's SNP table) or at their
index, calibration thresholds as lines and flagged SNPs marked. An infinite
value is drawn at the edge of its panel and marked."""

import math
import os
import re

from peltra2tools.tables import cell_number, read_quantiles, read_scan_table, read_snp_table

from .common import PlotError, figure, note, save

NOT_STATISTICS = {"snp", "name", "status", "chrom", "pos", "id", "ref", "alt"}
FLAG = re.compile(r"^(.+)_flag$|^flag_(.+)$")
COLOURS = ("#1f4e79", "#7fa7cf")  # alternate chromosomes
FLAGGED = "#c0392b"
INFINITE = "#e67e22"
NUMERIC = re.compile(r"^\s*[+-]?(inf|nan|[0-9.])", re.IGNORECASE)


def statistic_columns(t, wanted):
    """Statistic columns: every column that is not an identifier, a flag or
    the status and that holds a number or only missing values (or is asked
    for by name). In these NA or an empty cell is a missing value, inf a
    value beyond the panel and any other text an error; columns of text
    (comments) are left alone."""
    found = []
    for j, c in enumerate(t.columns):
        if c.lower() in NOT_STATISTICS or FLAG.match(c):
            continue
        cells = [row[j].strip() for row in t.rows]
        empty = all(x in ("", "NA") for x in cells)
        if not empty and not any(NUMERIC.match(x) for x in cells) and c not in (wanted or []):
            continue  # a column of text
        values = []
        for n, x in zip(t.line_numbers, cells):
            try:
                values.append(cell_number(x))
            except ValueError:
                raise PlotError("%s, line %d, column %s: '%s' is not a number (write NA for a missing value, "
                                "inf or -inf for an infinite one)" % (t.name, n, c, x[:40]))
        found.append((c, values))
    if wanted:
        have = dict(found)
        missing = [w for w in wanted if w not in have]
        if missing:
            raise PlotError("%s: no statistic column %s (the table has: %s)"
                            % (t.name, ", ".join(missing), ", ".join(c for c, _ in found) or "none"))
        found = [(w, have[w]) for w in wanted]
    if not found:
        raise PlotError("%s: no statistic column" % t.name)
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


def thresholds_for(stat, quantiles):
    """(label, value, both signs) for the statistic's panel."""
    if stat in quantiles:
        return [(l, v, False) for l, v in quantiles[stat]]
    if "|%s|" % stat in quantiles:
        return [(l, v, True) for l, v in quantiles["|%s|" % stat]]
    return []


def check_snps(t, snps_path, positions):
    """The SNP table must be of the conversion the scan ran on: every SNP of
    the scan table in it, under the same name when both have names (the
    SNP's id, or chrom:pos), and as many SNPs as a whole scan's table."""
    missing = [i for i in t.snps if i not in positions]
    if missing:
        raise PlotError("SNP %d of %s is not in the SNP table %s; give the SNP table of the conversion "
                        "the scan ran on" % (missing[0], t.name, snps_path))
    col = t.column("name")
    for i, row in zip(t.snps, t.rows):
        name = row[col].strip()
        chrom, pos, ident = positions[i]
        known = ident not in (None, "", ".")
        if known and name != str(i) and name not in (ident, "%s:%d" % (chrom, pos), "%s_%d" % (chrom, pos)):
            raise PlotError("SNP %d is named %s in %s but is %s at %s:%d in the SNP table %s; give the SNP "
                            "table of the conversion the scan ran on" % (i, name, t.name, ident, chrom, pos, snps_path))
    whole_scan = not any(c.startswith("#peltra2-scan slice") for c in t.comments)
    if whole_scan and t.snps == list(range(1, len(t.snps) + 1)) and len(positions) != len(t.snps):
        raise PlotError("%s holds %d SNPs but the SNP table %s holds %d; give the SNP table of the conversion "
                        "the scan ran on" % (t.name, len(t.snps), snps_path, len(positions)))


def genome_axis(t, positions):
    """x of every row, the chromosome of every row, and the chromosomes'
    (name, middle) for the axis labels. Chromosomes follow one another in
    the order of their first SNP."""
    idx = t.snps
    if positions is None:
        return idx, [0] * len(idx), []
    chroms, extent = [], {}
    for i in sorted(positions):
        c, p = positions[i][:2]
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


def edges(values, drawn, log):
    """Where +inf and -inf are drawn: just beyond the finite values and thresholds."""
    seen = [v for v in values if v is not None and math.isfinite(v)] + [v for _, v, _ in drawn]
    seen += [-v for _, v, both in drawn if both]
    if log:
        seen = [v for v in seen if v > 0] or [1.0]
        return max(seen) * 3.0, min(seen) / 3.0
    lo, hi = (min(seen), max(seen)) if seen else (0.0, 1.0)
    pad = 0.08 * (hi - lo) if hi > lo else 1.0
    return hi + pad, lo - pad


def panel(ax, stat, values, x, band, flags, drawn):
    """Draws one statistic; returns (SNPs with a value, flagged, infinite)."""
    pts = [(xi, v, b, f) for xi, v, b, f in zip(x, values, band, flags) if v is not None]
    finite = [p for p in pts if math.isfinite(p[1])]
    log = stat.upper().startswith("BF") and bool(finite) and min(p[1] for p in finite) > 0 \
        and all(p[1] > 0 for p in pts)
    for b in (0, 1):
        sel = [p for p in finite if p[2] == b and not p[3]]
        ax.scatter([p[0] for p in sel], [p[1] for p in sel], s=6, color=COLOURS[b], linewidths=0)
    marked = [p for p in finite if p[3]]
    ax.scatter([p[0] for p in marked], [p[1] for p in marked], s=18, color=FLAGGED, linewidths=0,
               label="flagged" if marked else None)
    infinite = [p for p in pts if not math.isfinite(p[1])]
    if infinite:
        top, bottom = edges(values, drawn, log)
        ax.scatter([p[0] for p in infinite], [top if p[1] > 0 else bottom for p in infinite], s=30,
                   marker="^", color=INFINITE, linewidths=0, label="inf (drawn at the edge)")
    for n, (label, v, both) in enumerate(drawn):
        style = dict(color="#555555", linewidth=0.8, linestyle=("--", "-.", ":")[n % 3])
        for sign in ((1, -1) if both else (1,)):
            if not (log and sign * v <= 0):
                ax.axhline(sign * v, **style, label=label if sign == 1 else None)
    if log:
        ax.set_yscale("log")
    if not pts:
        ax.text(0.5, 0.5, "no SNP has a value of %s (all NA)" % stat, transform=ax.transAxes,
                ha="center", va="center", color="#555555")
    ax.set_ylabel(stat)
    if drawn or marked or infinite:
        ax.legend(fontsize=7, loc="upper left", bbox_to_anchor=(1.0, 1.0))
    return len(pts), len(marked), len(infinite)


def plot(args, size_option):
    t = read_scan_table(args.table)
    stats = statistic_columns(t, args.stats.split(",") if args.stats else None)
    positions = read_snp_table(args.snps) if args.snps else None
    if positions is not None:
        check_snps(t, args.snps, positions)
    x, band, ticks = genome_axis(t, positions)
    qpath = None if args.no_thresholds else args.quantiles or default_quantiles(args.table)
    quantiles = read_quantiles(qpath) if qpath else {}
    if qpath:
        note("thresholds from %s" % qpath)

    size = size_option or (1200, 150 + 200 * len(stats))
    fig = figure(size)
    axes = fig.subplots(len(stats), 1, sharex=True, squeeze=False)[:, 0]
    for ax, (stat, values) in zip(axes, stats):
        drawn = thresholds_for(stat, quantiles)
        valued, flagged, infinite = panel(ax, stat, values, x, band, flags_of(t, stat) or [False] * len(values),
                                          drawn)
        note("%s: %d of %d SNPs with a value%s; thresholds: %s; flagged: %d"
             % (stat, valued, len(values), " (%d infinite, drawn at the edge)" % infinite if infinite else "",
                " ".join(l for l, _, _ in drawn) or "none", flagged))
        if not valued:
            note("%s: no SNP has a value (all NA); its panel is empty" % stat)
    if ticks:
        step = max(1, len(ticks) // 30)
        axes[-1].set_xticks([m for _, m in ticks[::step]])
        axes[-1].set_xticklabels([c for c, _ in ticks[::step]], rotation=90 if len(ticks) > 12 else 0)
        axes[-1].set_xlabel("chromosome")
    else:
        axes[-1].set_xlabel("SNP")
    status = t.column("status")
    failed = sum(1 for row in t.rows if row[status].strip() not in ("", "ok"))
    title = args.title or "Scan of %d SNPs%s" % (len(t.rows), ", %d failed" % failed if failed else "")
    fig.suptitle(title)
    fig.subplots_adjust(left=0.08, right=0.88, top=1 - min(0.25, 50.0 / size[1]),
                        bottom=min(0.3, 70.0 / size[1]), hspace=0.1)
    save(fig, args.out)
