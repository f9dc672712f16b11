"""The covariance reports in the standard output of matrix-estimation runs:
reading them, telling runs apart and discarding each run's burn-in.

A run prints, every 500 iterations,

    VAR-COVAR MATRIX: ITER = 500
    <K lines of K values, each value followed by a tab>
    <empty line>

A run stopped part-way may leave its last report cut anywhere, even inside a
number (2.782104e-0 of 2.782104e-03). A line counts only when its line feed
was written, so a cut row is never read as a number; a report still open at
the end of an input (or where another run's output starts) is left out with
a note. Every other malformed report is an error, and so is a report with
a variance that is negative or not finite, or any entry that is not finite.
"""

import math
import re
import sys

from .messages import ToolError
from .options import DECIMAL

HEADER = re.compile(r"VAR-COVAR MATRIX: ITER = (-?\d+)[ \t\r]*$")
HEADING = "VAR-COVAR MATRIX: ITER = "
BANNER = "====="  # the first line of every run: "===== PELTRA2.0 ====="


InputError = ToolError
# What a run prints for a value that is not finite.
NOT_FINITE = re.compile(r"-?(nan|inf)(inity)?", re.IGNORECASE)


class Report:
    def __init__(self, label, source, line):
        self.label = label
        self.source = source
        self.line = line
        self.rows = []

    def where(self):
        return "%s, line %d (ITER = %d)" % (self.source, self.line, self.label)

    def complete(self):
        return bool(self.rows) and len(self.rows) == len(self.rows[0])


def read_text(name, stdin=None):
    """The whole text of a file ('-': standard input); binary or compressed
    input is an error naming the file."""
    source = "standard input" if name == "-" else name
    try:
        if name == "-":
            data = (stdin or sys.stdin.buffer).read()
        else:
            with open(name, "rb") as f:
                data = f.read()
    except OSError as e:
        raise InputError("cannot read %s: %s" % (name, e.strerror))
    hint = "give the standard output of a peltra2 matrix-estimation run"
    if data[:2] == b"\x1f\x8b":
        raise InputError("%s is compressed (gzip): decompress it first, e.g. with zcat" % source)
    zero = data.find(b"\0")
    if zero >= 0:
        raise InputError("%s is not a text file (a zero byte at byte %d): %s" % (source, zero + 1, hint))
    try:
        return data.decode("utf-8"), source
    except UnicodeDecodeError as e:
        raise InputError("%s is not a text file (byte %d is not text): %s" % (source, e.start + 1, hint))


def parse_row(text, source, lineno):
    values = []
    for field in re.split(r"[\t ]+", text.strip("\t \r")):
        if not (DECIMAL.fullmatch(field) or NOT_FINITE.fullmatch(field)):
            raise InputError('%s, line %d, field %d: "%s" is not a number'
                             % (source, lineno, len(values) + 1, field[:40]))
        values.append(float(field))
    return values


def parse_reports(text, source, note):
    """The complete reports of one input, in order; note(message) tells of
    each report left out because it was cut short."""
    reports = []
    current = None

    def cut(why):
        note("ignored the report of %s, cut short after %d complete rows%s"
             % (current.where(), len(current.rows), why))

    lines = text.split("\n")
    unfinished = lines.pop()  # the text after the last line feed
    for lineno, line in enumerate(lines, 1):
        line = line.rstrip("\r")
        header = HEADER.search(line)
        if current is not None and (header or BANNER in line):
            # another run's output starts while this report is open
            if current.complete():
                reports.append(current)
            else:
                cut(" (another run's output follows)")
            current = None
        if header:
            current = Report(int(header.group(1)), source, lineno)
            continue
        if current is None:
            continue  # banner, option messages, run header
        if line.strip("\t ") == "":
            if not current.rows:
                continue
            if not current.complete():
                raise InputError("%s: %d rows of %d values; a report is square"
                                 % (current.where(), len(current.rows), len(current.rows[0])))
            reports.append(current)
            current = None
            continue
        row = parse_row(line, source, lineno)
        if current.rows and len(row) != len(current.rows[0]):
            raise InputError("%s, line %d: %d value%s where the rows before hold %d"
                             % (source, lineno, len(row), "" if len(row) == 1 else "s", len(current.rows[0])))
        current.rows.append(row)
        if len(current.rows) > len(current.rows[0]):
            raise InputError("%s: more rows than columns (%d)" % (current.where(), len(current.rows[0])))
    if current is not None:
        if current.complete():
            reports.append(current)  # only the empty line after it is missing
        else:
            cut(" at the end of the input" if not unfinished else ", inside a row")
    stub = unfinished.rstrip("\r")
    if stub and (HEADING.startswith(stub) or stub.startswith(HEADING)):
        note("ignored the last report of %s, cut short in its heading line" % source)
    return reports


def read_inputs(names, note, stdin=None):
    """The complete reports of every input, in order."""
    if names.count("-") > 1:
        raise InputError("- (standard input) given %d times; it can be read only once" % names.count("-"))
    reports = []
    for name in names or ["-"]:
        text, source = read_text(name, stdin)
        found = parse_reports(text, source, note)
        if not found and len(names) > 1:
            note("%s holds no complete covariance report" % source)
        reports += found
    if not reports:
        raise InputError("no covariance reports (\"VAR-COVAR MATRIX: ITER = ...\") in the input; "
                         "a run prints one every 500 iterations")
    k = len(reports[0].rows)
    for r in reports[1:]:
        if len(r.rows) != k:
            raise InputError("%s is %d x %d but %s is %d x %d: the reports come from runs with different -p"
                             % (r.where(), len(r.rows), len(r.rows), reports[0].where(), k, k))
    return reports


def split_runs(reports):
    """Runs (chains): consecutive reports of one input with growing labels."""
    runs = []
    for r in reports:
        if not runs or r.label <= runs[-1][-1].label or r.source != runs[-1][-1].source:
            runs.append([r])
        else:
            runs[-1].append(r)
    return runs


def check_values(runs):
    """Refuses a report with a variance that is negative or not finite, or
    another entry that is not finite, naming its run and the report."""
    for run in runs:
        same = [r for r in runs if r[0].source == run[0].source]
        name = "run %d of %d in %s" % (same.index(run) + 1, len(same), run[0].source) if len(same) > 1 \
            else "the run in %s" % run[0].source
        for r in run:
            for i, row in enumerate(r.rows):
                for j, v in enumerate(row):
                    if i == j and not v >= 0 or not math.isfinite(v):
                        raise ToolError("%s, report at line %d (ITER = %d): %s %s (row %d, column %d); "
                                        "a run that converges prints finite values and variances of 0 or "
                                        "more: leave this run out, or run it again"
                                        % (name, r.line, r.label, "the variance is" if i == j else "the covariance is",
                                           v, i + 1, j + 1))


def burn_in_count(run, burn_in):
    """How many of a run's first reports are burn-in: those labelled
    burn_in or lower, or by default the first half."""
    if burn_in is None:
        return len(run) // 2
    return sum(1 for r in run if r.label <= burn_in)
