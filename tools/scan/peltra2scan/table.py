"""Gathering the per-SNP result lines of a work folder into one table."""

import os

from .workdir import snp_dir

NA = "NA"


class GatherError(Exception):
    pass


class Row:
    """One SNP: its statistic fields as peltra2 wrote them (None when its
    run failed) and its status ("ok" or "failed: <message>")."""

    def __init__(self, index, stats, status):
        self.index = index
        self.stats = stats
        self.status = status
        self.flags = []

    def ok(self):
        return self.stats is not None


def _result_fields(path, expected, index):
    """The statistic fields of a result file that must hold exactly one line."""
    try:
        with open(path) as f:
            lines = f.read().splitlines()
    except OSError:
        raise GatherError("SNP %d: its run completed but %s is missing" % (index, os.path.basename(path)))
    if len(lines) != 1:
        raise GatherError("SNP %d: %s holds %d lines, not one" % (index, path, len(lines)))
    fields = lines[0].split("\t")
    if fields and fields[-1] == "":
        fields.pop()  # the tab that ends every line but the XtX line
    stats = fields[1:]
    if len(stats) != expected:
        raise GatherError("SNP %d: %s holds %d statistics where %d were expected"
                          % (index, path, len(stats), expected))
    return stats


def gather(work, n, columns, xtx_columns, z_statistic):
    """Rows for SNPs 1 .. n; a SNP whose run has not ended is an error that names it."""
    rows = []
    missing = []
    main_file = "result.cor" if z_statistic else "result.bf"
    for i in range(1, n + 1):
        d = snp_dir(work, i)
        try:
            with open(os.path.join(d, "done")) as f:
                status = f.readline().rstrip("\n")
        except OSError:
            missing.append(i)
            continue
        if status == "ok":
            stats = _result_fields(os.path.join(d, main_file), len(columns), i)
            if xtx_columns:
                stats += _result_fields(os.path.join(d, "result.xtx"), len(xtx_columns), i)
            rows.append(Row(i, stats, "ok"))
        elif status.startswith("failed\t"):
            rows.append(Row(i, None, "failed: " + status.split("\t", 1)[1]))
        else:
            raise GatherError("SNP %d: unreadable status \"%s\" in %s" % (i, status, os.path.join(d, "done")))
    if missing:
        shown = ", ".join(str(i) for i in missing[:20]) + (", ..." if len(missing) > 20 else "")
        raise GatherError("%d SNPs have no result yet (%s); run the same command again to run them"
                          % (len(missing), shown))
    return rows


def write_table(path, rows, names, stat_columns, flag_columns=()):
    """Writes the table with a header, one row per SNP in input order, atomically."""
    header = ["snp", "name"] + list(stat_columns) + list(flag_columns) + ["status"]
    out = ["\t".join(header)]
    for r in rows:
        stats = r.stats if r.ok() else [NA] * len(stat_columns)
        flags = r.flags if flag_columns else []
        out.append("\t".join([str(r.index), names[r.index - 1]] + stats + flags + [r.status]))
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(out) + "\n")
    os.replace(tmp, path)


def failure_report(rows, names, limit=10):
    """Lines naming the SNPs whose run failed."""
    failed = [r for r in rows if not r.ok()]
    lines = ["SNP %d (%s) %s" % (r.index, names[r.index - 1], r.status) for r in failed[:limit]]
    if len(failed) > limit:
        lines.append("... and %d more failed SNPs; see the status column" % (len(failed) - limit))
    return lines
