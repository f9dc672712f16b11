"""The table of a scan, from the records of its SNPs; the joining of the
tables of its slices."""

import re

from peltra2tools import inputs

from . import scanid

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
        self.name = None  # as read from a table

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


def table_text(rows, names, stat_columns, flag_columns=(), first_lines=()):
    """The table: its first lines (the slice's, the scan's), a header, one row
    per SNP in input order."""
    header = ["snp", "name"] + list(stat_columns) + list(flag_columns) + ["status"]
    out = list(first_lines)
    out.append("\t".join(header))
    for r in rows:
        stats = r.stats if r.ok() else [NA] * len(stat_columns)
        flags = r.flags if flag_columns else []
        out.append("\t".join([str(r.index), names[r.index - 1]] + stats + flags + [r.status]))
    return "\n".join(out) + "\n"


# First line of a slice's table (--part I/N), read back by merge; the scan's
# line (scanid) follows it.
PART_LINE = "#peltra2-scan slice %d/%d: SNPs %d-%d of %d"
_PART_RE = re.compile(r"#peltra2-scan slice ([0-9]+)/([0-9]+): SNPs ([0-9]+)-([0-9]+) of ([0-9]+)")
_NUMBER = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?|[+-]?(nan|inf|infinity)", re.I)


def part_line(part, first, last, n):
    return PART_LINE % (part[0], part[1], first, last, n)


def check_rows(path, header, rows, first, first_lineno):
    """Every row of a table: as many fields as the header, SNPs first, first + 1, ...,
    a name, a number or NA in each statistic column, 0, 1 or NA in each flag
    column, and a status. Returns the rows as Row objects."""
    if header[:2] != ["snp", "name"] or header[-1] != "status" or len(header) < 4:
        raise GatherError("%s, line %d: not the header of a scan table (snp, name, statistics, status)"
                          % (path, first_lineno - 1))
    flags = [c.endswith("_flag") for c in header]
    out = []
    for n, line in enumerate(rows):
        lineno = first_lineno + n
        fields = line.split("\t")
        if len(fields) != len(header):
            raise GatherError("%s, line %d: %d fields where the header has %d"
                              % (path, lineno, len(fields), len(header)))
        if fields[0] != str(first + n):
            raise GatherError("%s, line %d, field snp: \"%s\" where SNP %d belongs"
                              % (path, lineno, fields[0][:40], first + n))
        if not fields[1]:
            raise GatherError("%s, line %d, field name: empty" % (path, lineno))
        status = fields[-1]
        if status != "ok" and not status.startswith("failed: "):
            raise GatherError("%s, line %d, field status: \"%s\" is neither ok nor failed: ..."
                              % (path, lineno, status[:40]))
        for j in range(2, len(header) - 1):
            v = fields[j]
            good = v in ("0", "1", NA) if flags[j] else (v == NA or _NUMBER.fullmatch(v))
            if not good:
                raise GatherError("%s, line %d, field %s: \"%s\" is not %s" % (
                    path, lineno, header[j], v[:40], "0, 1 or NA" if flags[j] else "a number or NA"))
        stats = [fields[j] for j in range(2, len(header) - 1) if not flags[j]]
        row = Row(first + n, stats if status == "ok" else None, status)
        row.name = fields[1]
        out.append(row)
    return out


def _lines(path):
    """The table's lines; a gzipped or binary file is refused as such."""
    lines = inputs.read_lines(path, "scan table")
    return lines[:-1] if lines and lines[-1] == "" else lines


def _read_part(path):
    lines = _lines(path)
    m = _PART_RE.fullmatch(lines[0]) if lines else None
    if not m or len(lines) < 3:
        raise GatherError("%s is not the table of a slice (peltra2-scan --part I/N)" % path)
    i, parts, first, last, n = (int(g) for g in m.groups())
    try:
        ident = scanid.parse(lines[1], "%s, line 2" % path)
    except scanid.IdentityError as e:
        raise GatherError(str(e))
    header = lines[2].split("\t")
    rows = lines[3:]
    check_rows(path, header, rows, first, 4)
    if len(rows) != last - first + 1:
        raise GatherError("%s: %d rows where its first line says SNPs %d-%d" % (path, len(rows), first, last))
    return (i, parts, n), ident, lines[2], rows


def merge(paths):
    """The table of the whole scan from the tables of its slices, each there
    once and all of the same scan; returns (text, number of SNPs)."""
    slices = {}
    first = None
    for path in paths:
        (i, parts, n), ident, head, rows = _read_part(path)
        if first is None:
            first = (path, (parts, n), ident, head)
        elif (parts, n) != first[1]:
            raise GatherError("%s is slice %d/%d of %d SNPs, %s a slice of %d of %d SNPs"
                              % (path, i, parts, n, first[0], first[1][0], first[1][1]))
        elif ident != first[2]:
            raise GatherError("%s comes from another scan than %s: %s" % (
                path, first[0], "; ".join(scanid.differences(ident, first[2]))))
        elif head != first[3]:
            raise GatherError("%s has other columns than %s" % (path, first[0]))
        if i in slices:
            raise GatherError("slice %d/%d given twice: %s and %s" % (i, parts, slices[i][0], path))
        slices[i] = (path, rows)
    _, (parts, n), ident, header = first
    missing = [i for i in range(1, parts + 1) if i not in slices]
    if missing:
        raise GatherError("slice%s %s missing" % ("s" if len(missing) > 1 else "",
                                                ", ".join("%d/%d" % (i, parts) for i in missing)))
    out = [scanid.line(ident), header] + [r for i in range(1, parts + 1) for r in slices[i][1]]
    return "\n".join(out) + "\n", n


def read_scan_table(path):
    """A whole (or merged) scan table: (identity, header, rows); refuses a slice."""
    lines = _lines(path)
    if lines and _PART_RE.fullmatch(lines[0]):
        raise GatherError("%s is the table of one slice; join the slices with peltra2-scan merge first"
                          % path)
    if len(lines) < 2:
        raise GatherError("%s is not a scan table (it has %d lines)" % (path, len(lines)))
    try:
        ident = scanid.parse(lines[0], "%s, line 1" % path)
    except scanid.IdentityError as e:
        raise GatherError(str(e))
    header = lines[1].split("\t")
    return ident, header, check_rows(path, header, lines[2:], 1, 3)


def failure_report(rows, names, limit=10):
    """Lines naming the SNPs whose run failed."""
    failed = [r for r in rows if not r.ok()]
    lines = ["SNP %d (%s) %s" % (r.index, names[r.index - 1], r.status) for r in failed[:limit]]
    if len(failed) > limit:
        lines.append("... and %d more failed SNPs; see the status column" % (len(failed) - limit))
    return lines
