"""The table of a scan, from the records of its SNPs; the joining of the
tables of its slices."""

import re

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


def gather(records, first, last, columns):
    """Rows for SNPs first .. last from their records; a SNP not yet recorded
    is an error that names it."""
    rows = []
    missing = []
    for i in range(first, last + 1):
        if i not in records:
            missing.append(i)
            continue
        status, payload = records[i]
        if status == "ok":
            stats = payload.split("\t")
            if len(stats) != len(columns):
                raise GatherError("SNP %d: %d statistics recorded where %d were expected"
                                  % (i, len(stats), len(columns)))
            rows.append(Row(i, stats, "ok"))
        else:
            rows.append(Row(i, None, "failed: " + payload))
    if missing:
        shown = ", ".join(str(i) for i in missing[:20]) + (", ..." if len(missing) > 20 else "")
        raise GatherError("%d SNPs have no result yet (%s); run the same command again to run them"
                          % (len(missing), shown))
    return rows


def table_text(rows, names, stat_columns, flag_columns=(), first_line=None):
    """The table: a header, one row per SNP in input order."""
    header = ["snp", "name"] + list(stat_columns) + list(flag_columns) + ["status"]
    out = [first_line] if first_line else []
    out.append("\t".join(header))
    for r in rows:
        stats = r.stats if r.ok() else [NA] * len(stat_columns)
        flags = r.flags if flag_columns else []
        out.append("\t".join([str(r.index), names[r.index - 1]] + stats + flags + [r.status]))
    return "\n".join(out) + "\n"


# First line of a slice's table (--part I/N), read back by merge.
PART_LINE = "#peltra2-scan slice %d/%d: SNPs %d-%d of %d"
_PART_RE = re.compile(r"#peltra2-scan slice ([0-9]+)/([0-9]+): SNPs ([0-9]+)-([0-9]+) of ([0-9]+)")


def part_line(part, first, last, n):
    return PART_LINE % (part[0], part[1], first, last, n)


def _read_part(path):
    with open(path) as f:
        lines = f.read().splitlines()
    m = _PART_RE.fullmatch(lines[0]) if lines else None
    if not m or len(lines) < 2:
        raise GatherError("%s is not the table of a slice (peltra2-scan --part I/N)" % path)
    i, parts, first, last, n = (int(g) for g in m.groups())
    rows = lines[2:]
    if [r.split("\t", 1)[0] for r in rows] != [str(s) for s in range(first, last + 1)]:
        raise GatherError("%s: the rows are not SNPs %d-%d, as its first line says" % (path, first, last))
    return (i, parts, n), lines[1], rows


def merge(paths):
    """The table of the whole scan from the tables of its slices, each there
    once; returns (text, number of SNPs)."""
    slices = {}
    header = None
    whole = None
    for path in paths:
        (i, parts, n), head, rows = _read_part(path)
        if whole is None:
            whole, header = (parts, n), head
        elif (parts, n) != whole:
            raise GatherError("%s is slice %d/%d of %d SNPs, the others are slices of %d of %d SNPs"
                              % (path, i, parts, n, whole[0], whole[1]))
        elif head != header:
            raise GatherError("%s has other columns than %s (slices of scans with other options)"
                              % (path, paths[0]))
        if i in slices:
            raise GatherError("slice %d/%d given twice: %s and %s" % (i, parts, slices[i][0], path))
        slices[i] = (path, rows)
    parts, n = whole
    missing = [i for i in range(1, parts + 1) if i not in slices]
    if missing:
        raise GatherError("slice%s %s missing" % ("s" if len(missing) > 1 else "",
                                                ", ".join("%d/%d" % (i, parts) for i in missing)))
    out = [header] + [r for i in range(1, parts + 1) for r in slices[i][1]]
    return "\n".join(out) + "\n", n


def failure_report(rows, names, limit=10):
    """Lines naming the SNPs whose run failed."""
    failed = [r for r in rows if not r.ok()]
    lines = ["SNP %d (%s) %s" % (r.index, names[r.index - 1], r.status) for r in failed[:limit]]
    if len(failed) > limit:
        lines.append("... and %d more failed SNPs; see the status column" % (len(failed) - limit))
    return lines
