"""Readers of the files the pictures come from: matrix files, population
names, the scan table, the converter's SNP table and the calibration
quantiles. (The covariance reports are read by peltra2-matrix's reader.)"""

import math
import re

from .common import PlotError, display_name, open_text

REPORT = re.compile(r"^VAR-COVAR MATRIX: ITER = (-?\d+)\s*$")
MISSING = {"", "na", "nan"}
# Relative difference allowed between numbers that should be equal (or a
# correlation allowed past 1): files hold 7 significant digits or more.
ROUNDING = 1e-5


def number(text):
    """A real, or None for a missing value (NA, nan or empty)."""
    t = text.strip()
    if t.lower() in MISSING:
        return None
    v = float(t)  # ValueError for anything else
    return v if math.isfinite(v) else None


def read_matrix(path):
    """The K x K matrix of a matrix file: K is the number of fields of its first
    line, and its first K lines are the rows, as peltra2 -m reads them. It must be
    symmetric (up to rounding) with positive variances."""
    name = display_name(path)
    with open_text(path, "matrix file") as f:
        lines = [(i, l) for i, l in enumerate(f, 1) if l.strip()]
    if not lines:
        raise PlotError("%s: the matrix file is empty" % name)
    if any(REPORT.match(l) for _, l in lines):
        raise PlotError("%s is the output of a matrix-estimation run: average its reports into a "
                        "matrix file with peltra2-matrix, or plot them with '%s trace'" % (name, "peltra2-plot"))
    k = len(lines[0][1].split())
    if len(lines) < k:
        raise PlotError("%s: %d rows for a %d x %d matrix" % (name, len(lines), k, k))
    m = []
    for lineno, line in lines[:k]:
        fields = line.split()
        if len(fields) < k:
            raise PlotError("%s: line %d: %d values where the matrix has %d columns" % (name, lineno, len(fields), k))
        row = []
        for j, t in enumerate(fields[:k], 1):
            try:
                row.append(float(t))
                if not math.isfinite(row[-1]):
                    raise ValueError
            except ValueError:
                raise PlotError("%s: line %d: field %d: '%s' is not a number" % (name, lineno, j, t))
        m.append(row)
    for i in range(k):
        if not m[i][i] > 0:
            raise PlotError("%s: the variance of population %d (row %d, column %d) is not positive"
                            % (name, i + 1, i + 1, i + 1))
    for i in range(k):
        for j in range(i):
            if abs(m[i][j] - m[j][i]) > ROUNDING * math.sqrt(m[i][i] * m[j][j]):
                raise PlotError("%s: not symmetric: row %d, column %d is %g but row %d, column %d is %g"
                                % (name, i + 1, j + 1, m[i][j], j + 1, i + 1, m[j][i]))
    return m


def read_names(path, k):
    """K population names, one per line (the converter's PREFIX.names); the
    column numbers 1..K without a file."""
    if path is None:
        return [str(i + 1) for i in range(k)]
    with open_text(path, "names file") as f:
        names = [l.strip() for l in f if l.strip()]
    if len(names) != k:
        raise PlotError("%s: %d names for %d populations" % (display_name(path), len(names), k))
    return names


class Table:
    """A tab-separated table with a header: column names and rows of text
    fields (short rows padded with empty fields)."""

    def __init__(self, path, what):
        self.name = display_name(path)
        with open_text(path, what) as f:
            numbered = [(n, l.rstrip("\r\n")) for n, l in enumerate(f, 1) if l.strip() and not l.startswith("#")]
        if not numbered:
            raise PlotError("%s: the %s is empty" % (self.name, what))
        lines = [l for _, l in numbered]
        self.line_numbers = [n for n, _ in numbered[1:]]  # of the rows, in the file
        self.columns = [c.strip() for c in lines[0].split("\t")]
        self.rows = []
        for l in lines[1:]:
            fields = l.split("\t")
            self.rows.append(fields + [""] * (len(self.columns) - len(fields)))

    def column(self, name):
        return self.columns.index(name) if name in self.columns else None


def read_snp_positions(path):
    """From the converter's SNP table: SNP number -> (chromosome, position)."""
    t = Table(path, "SNP table")
    cols = [t.column(c) for c in ("snp", "chrom", "pos")]
    if None in cols:
        raise PlotError("%s: the SNP table needs the columns snp, chrom and pos" % t.name)
    where = {}
    for i, row in enumerate(t.rows, 2):
        try:
            where[int(row[cols[0]])] = (row[cols[1]], int(row[cols[2]]))
        except ValueError:
            raise PlotError("%s: row %d: snp and pos must be integers" % (t.name, i))
    return where
