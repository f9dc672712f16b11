#!/usr/bin/env python3
"""One self-contained HTML page of a pipeline's results: the scan picture,
lambda and the calibration quantiles, the flagged SNPs, the matrix's heat map
and the chains' trace with their convergence diagnostics. The pictures are
embedded, so the page opens offline and can be mailed as one file."""

import argparse
import base64
import html
import os
import sys

# Thresholds of the convergence checks, as peltra2-matrix warns.
RHAT_MAX = 1.01
ESS_MIN = 100
# Lambda for a matrix that matches the data's drift.
LAMBDA_RANGE = (0.9, 1.1)
# Flagged SNPs listed at most; the table file has them all.
FLAGGED_ROWS = 500

STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 1250px; color: #222; }
h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 2em; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; font-size: 0.9em; margin: 0.5em 0; }
th, td { padding: 0.2em 0.7em; border-bottom: 1px solid #e4e4e4; text-align: right; }
th { background: #f2f2f2; } td.text, th.text { text-align: left; }
.good { background: #dff3df; } .bad { background: #fbdcdc; } .flag { font-weight: bold; color: #b00; }
.verdict { padding: 0.5em 1em; display: inline-block; border-radius: 4px; }
img { max-width: 100%; border: 1px solid #ddd; }
pre { background: #f7f7f7; padding: 0.7em; font-size: 0.8em; overflow-x: auto; }
"""


def read_table(path):
    """Header and rows of a tab-separated table, skipping '#' comment lines."""
    with open(path) as f:
        lines = [l.rstrip("\n") for l in f if l.strip() and not l.startswith("#")]
    if not lines:
        sys.exit("report: %s: empty table" % path)
    return lines[0].split("\t"), [l.split("\t") for l in lines[1:]]


def number(text):
    try:
        return float(text)
    except ValueError:
        return None


def cell(text, cls=""):
    attr = ' class="%s"' % cls if cls else ""
    return "<td%s>%s</td>" % (attr, html.escape(text))


def table_html(header, rows, text_columns=()):
    """rows: lists of ready <td> cells."""
    head = "".join('<th class="text">%s</th>' % html.escape(h) if h in text_columns
                   else "<th>%s</th>" % html.escape(h) for h in header)
    return "<table><tr>%s</tr>\n%s</table>" % (head, "\n".join("<tr>%s</tr>" % "".join(r) for r in rows))


def picture(path, alt):
    with open(path, "rb") as f:
        data = base64.b64encode(f.read()).decode("ascii")
    return '<img alt="%s" src="data:image/png;base64,%s">' % (html.escape(alt), data)


def calibration_section(quantiles, counts):
    header, rows = read_table(quantiles)
    col = {h: i for i, h in enumerate(header)}
    out_rows, glance = [], []
    for r in rows:
        lam = number(r[col["lambda"]])
        ok = lam is not None and LAMBDA_RANGE[0] <= lam <= LAMBDA_RANGE[1]
        glance.append('%s <span class="%s">%s</span>' % (html.escape(r[0]), "good" if ok else "bad",
                                                         html.escape(r[col["lambda"]])))
        out_rows.append([cell(r[0], "text")] + [cell(r[col[q]]) for q in ("q95", "q99", "q99.9", "null_snps")]
                        + [cell(r[col["lambda"]], "good" if ok else "bad"), cell(str(counts.get(r[0], 0)))])
    return glance, ("<h2>Calibration</h2><p>Lambda is the median of the data's SNPs over the median of the null "
            "SNPs: near 1 (%.1f&ndash;%.1f, green) when the matrix matches the data's drift and most SNPs "
            "are neutral.</p>" % LAMBDA_RANGE
            + table_html(["statistic", "95%", "99%", "99.9%", "null SNPs", "lambda", "flagged"], out_rows,
                         ("statistic",)))


def flagged_section(header, rows, snps, level):
    flags = [(i, h[:-len("_flag")]) for i, h in enumerate(header) if h.endswith("_flag")]
    if not flags:
        return "<h2>Flagged SNPs</h2><p>No calibration, so no flags.</p>", {}
    col = {h: i for i, h in enumerate(header)}
    counts = {stat: sum(1 for r in rows if r[i] == "1") for i, stat in flags}
    hit = [r for r in rows if any(r[i] == "1" for i, _ in flags)]
    stats = [stat for _, stat in flags]
    where = {}
    if snps:
        sh, srows = read_table(snps)
        where = {r[0]: (r[sh.index("chrom")], r[sh.index("pos")]) for r in srows}
    out_rows = []
    for r in hit[:FLAGGED_ROWS]:
        cells = [cell(r[col["snp"]]), cell(r[col["name"]], "text")]
        if where:
            chrom, pos = where.get(r[col["snp"]], ("", ""))
            cells += [cell(chrom, "text"), cell(pos)]
        cells += [cell(r[col[s]], "flag" if r[col[s + "_flag"]] == "1" else "") for s in stats]
        out_rows.append(cells)
    head = ["snp", "name"] + (["chrom", "pos"] if where else []) + stats
    note = ("<p>%d of %d SNPs are flagged above the %s%% null quantile of at least one statistic "
            "(flagged values in red)%s.</p>" % (len(hit), len(rows), level,
                                                "; the first %d are listed" % FLAGGED_ROWS
                                                if len(hit) > FLAGGED_ROWS else ""))
    return "<h2>Flagged SNPs</h2>" + note + table_html(head, out_rows, ("name", "chrom")), counts


def convergence_section(diagnostics, matrix_log):
    header, rows = read_table(diagnostics)
    col = {h: i for i, h in enumerate(header)}
    rhats = [number(r[col["rhat"]]) for r in rows]
    ess = [number(r[col[c]]) for r in rows for c in ("ess_bulk", "ess_tail")]
    rhat_max = max((v for v in rhats if v is not None), default=None)
    ess_min = min((v for v in ess if v is not None), default=None)
    good = rhat_max is not None and ess_min is not None and rhat_max <= RHAT_MAX and ess_min >= ESS_MIN
    verdict = ("largest R-hat %s, smallest ESS %s: %s" % (
        "NA" if rhat_max is None else "%.3f" % rhat_max, "NA" if ess_min is None else "%.0f" % ess_min,
        "the chains agree" if good else
        "the chains have not converged (R-hat above %.2f or ESS under %d): raise iterations and rerun"
        % (RHAT_MAX, ESS_MIN)))
    out_rows = []
    for r in rows:
        rh, cells = number(r[col["rhat"]]), [cell(r[col["row"]]), cell(r[col["column"]]),
                                             cell(r[col["mean"]]), cell(r[col["sd"]])]
        cells.append(cell(r[col["rhat"]], "" if rh is None else "good" if rh <= RHAT_MAX else "bad"))
        for c in ("ess_bulk", "ess_tail"):
            v = number(r[col[c]])
            cells.append(cell(r[col[c]], "" if v is None else "good" if v >= ESS_MIN else "bad"))
        out_rows.append(cells)
    with open(matrix_log) as f:
        log = f.read()
    glance = '<span class="%s">%s</span>' % ("good" if good else "bad", html.escape(verdict))
    return glance, ('<div class="verdict %s">%s</div>' % ("good" if good else "bad", html.escape(verdict))
            + table_html(["row", "column", "mean", "sd", "R-hat", "ESS bulk", "ESS tail"], out_rows)
            + "<p>What peltra2-matrix said (averaging, rescaling to the data's drift):</p><pre>%s</pre>"
            % html.escape(log))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--title", required=True)
    for name in ("table", "diagnostics", "matrix-log", "trace", "heatmap", "scan"):
        ap.add_argument("--" + name, required=True)
    ap.add_argument("--quantiles")
    ap.add_argument("--snps")
    ap.add_argument("--flag-level", default="99")
    ap.add_argument("-o", required=True)
    a = ap.parse_args()

    header, rows = read_table(a.table)
    failed = [r for r in rows if r[-1] != "ok"]
    flagged, counts = flagged_section(header, rows, a.snps, a.flag_level)
    chains_glance, chains = convergence_section(a.diagnostics, a.matrix_log)
    lambdas, calibration = calibration_section(a.quantiles, counts) if a.quantiles else ([], "")
    stats = [h for h in header[2:-1] if not h.endswith("_flag")]
    glance = ["%d SNPs scanned (%s), %s failed" % (len(rows), ", ".join(stats),
                                                   '<span class="bad">%d</span>' % len(failed) if failed else "none"),
              "chains: " + chains_glance]
    if a.quantiles:
        glance += ["lambda: " + ", ".join(lambdas),
                   "flagged above the %s%% null quantile: %s" % (
                       html.escape(a.flag_level), ", ".join("%s %d" % (html.escape(k), v) for k, v in counts.items()))]
    parts = ["<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%s</title><style>%s</style></head><body>"
             % (html.escape(a.title), STYLE),
             "<h1>%s</h1>" % html.escape(a.title),
             "<ul>%s</ul>" % "".join("<li>%s</li>" % g for g in glance),
             "<h2>Scan</h2>", picture(a.scan, "statistics along the genome"), calibration, flagged,
             "<h2>Covariance matrix</h2>", picture(a.heatmap, "correlation heat map"),
             "<h2>Chains</h2>", picture(a.trace, "trace of the chains"), chains, "</body></html>\n"]
    tmp = a.o + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(parts))
    os.replace(tmp, a.o)
    print("report: wrote %s: %d SNPs, %d flags, %d failed" % (a.o, len(rows), sum(counts.values()), len(failed)),
          file=sys.stderr)


if __name__ == "__main__":
    main()
