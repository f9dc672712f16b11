"""Tab-separated tables with a header that the tools read back: the scan
table (peltra2-scan), its quantiles file (peltra2-scan --calibrate) and the
converter's SNP table. Each is refused when its header lacks the columns it
must have, or when a row is shorter than the header."""

from .inputs import Extra, read_lines, where
from .messages import ToolError
from .options import finite, whole

SCAN_COLUMNS = ("snp", "name", "status")
QUANTILE_COLUMNS = ("statistic",)
SNP_COLUMNS = ("snp", "chrom", "pos")
MISSING = ("", "NA")


class Table:
    """Column names and rows of text fields; lines starting with # are
    comments (kept apart). line_numbers[i] is the line of row i in the file."""

    def __init__(self, path, what, required):
        self.name = "standard input" if path == "-" else path
        self.what = what
        lines = read_lines(path, what)
        self.comments = [l for l in lines if l.startswith("#")]
        numbered = [(n, l) for n, l in enumerate(lines, 1) if l.strip() and not l.startswith("#")]
        if not numbered:
            raise ToolError("%s: the %s is empty" % (self.name, what))
        head_line, head = numbered[0]
        self.columns = [c.strip() for c in head.split("\t")]
        missing = [c for c in required if c not in self.columns]
        if missing:
            raise ToolError("%s is not a %s: its header (line %d) lacks the column%s %s; a %s starts "
                            "with a header line naming %s"
                            % (self.name, what, head_line, "s" if len(missing) > 1 else "", ", ".join(missing),
                               what, ", ".join(required)))
        self.rows, self.line_numbers = [], []
        extra = Extra(path, what, len(self.columns))
        for n, line in numbered[1:]:
            fields = line.split("\t")
            if len(fields) < len(self.columns):
                raise ToolError("%s: %d fields where the header has %d (%s)"
                                % (where(path, n), len(fields), len(self.columns), what))
            extra.see(n, len(fields))
            self.rows.append(fields[:len(self.columns)])
            self.line_numbers.append(n)
        extra.tell()

    def column(self, name):
        return self.columns.index(name) if name in self.columns else None

    def whole_column(self, name):
        """The column's values as integers; any other text is an error naming its line."""
        j = self.column(name)
        out = []
        for row, n in zip(self.rows, self.line_numbers):
            try:
                out.append(whole(row[j].strip()))
            except ValueError:
                raise ToolError("%s: '%s' under %s is not a whole number (%s)"
                                % (where(self.name, n, j + 1), row[j][:40], name, self.what))
        return out


def read_scan_table(path):
    """A scan table; each SNP may appear once (a table pasted twice, or
    slices joined by hand, would be drawn twice)."""
    t = Table(path, "scan table", SCAN_COLUMNS)
    t.snps = t.whole_column("snp")
    first = {}
    for snp, n in zip(t.snps, t.line_numbers):
        if snp in first:
            raise ToolError("%s: SNP %d again (first at line %d); a scan table holds each SNP once"
                            % (where(t.name, n), snp, first[snp]))
        first[snp] = n
    return t


def cell_number(text):
    """A statistic's cell: None for a missing value (NA or empty), +-inf for
    inf or -inf, a finite number otherwise; other text (nan too) is ValueError."""
    t = text.strip()
    if t in MISSING:
        return None
    if t.lower() in ("inf", "+inf", "-inf"):
        return float(t)
    return finite(t)


def read_quantiles(path):
    """Thresholds per statistic of a quantiles file ('statistic', then one
    column per quantile named q...): {name: [(label, value)]}."""
    t = Table(path, "quantiles file", QUANTILE_COLUMNS)
    levels = [(j, c) for j, c in enumerate(t.columns) if c.startswith("q")]
    if not levels:
        raise ToolError("%s is not a quantiles file: its header names no quantile column (q95, q99, ...)" % t.name)
    out = {}
    for row, n in zip(t.rows, t.line_numbers):
        stat = row[t.column("statistic")].strip()
        for j, label in levels:
            try:
                v = finite(row[j].strip()) if row[j].strip() not in MISSING else None
            except ValueError:
                raise ToolError("%s: '%s' under %s is not a number (quantiles file)"
                                % (where(path, n, j + 1), row[j][:40], label))
            if v is not None:
                out.setdefault(stat, []).append((label, v))
    return out


def read_snp_table(path):
    """The converter's SNP table: SNP number -> (chromosome, position, id)."""
    t = Table(path, "SNP table", SNP_COLUMNS)
    ids = t.column("id")
    out = {}
    for snp, pos, row in zip(t.whole_column("snp"), t.whole_column("pos"), t.rows):
        out[snp] = (row[t.column("chrom")], pos, row[ids] if ids is not None else None)
    return out
