"""Input files of the Python tools, each checked for what it must be: count,
matrix, environment and sample-size files (rows of numbers), names files.
A file that is not what it must be is refused with its name, line and field;
extra fields or rows are read past with a warning that says what was used."""

import re
import sys

from .messages import ToolError, warn
from .options import finite, whole

REPORT = re.compile(r"^VAR-COVAR MATRIX: ITER = ")
COUNT_FIELD = re.compile(rb"^ *[+-]?[0-9]+ *$")
LARGEST_COUNT = 2147483647


def where(path, line, field=None):
    """'FILE, line N' or 'FILE, line N, field M' (standard input for -)."""
    name = "standard input" if path == "-" else path
    return "%s, line %d" % (name, line) + (", field %d" % field if field else "")


def read_lines(path, what):
    """The lines of a text file (without their line ends); - reads standard
    input. Compressed or binary data is refused."""
    try:
        if path == "-":
            data = sys.stdin.buffer.read()
        else:
            with open(path, "rb") as f:
                data = f.read()
    except OSError as e:
        raise ToolError("cannot read the %s %s: %s" % (what, path, e.strerror))
    name = "standard input" if path == "-" else path
    if data[:2] == b"\x1f\x8b":
        raise ToolError("%s is compressed (gzip): decompress it first, e.g. with zcat" % name)
    if b"\0" in data:
        raise ToolError("%s is not a text file (a zero byte at byte %d); give %s %s"
                        % (name, data.index(b"\0") + 1, "an" if what[0] in "aeiou" else "a", what))
    return [l.rstrip("\r") for l in data.decode("utf-8", "replace").split("\n")]


class Extra:
    """Lines of a file with more fields than are used: told once, at the
    first such line, with how many lines had them."""

    def __init__(self, path, what, used, unit="fields"):
        self.path, self.what, self.used, self.unit = path, what, used, unit
        self.first = None
        self.lines = 0

    def see(self, lineno, found):
        if found > self.used:
            self.lines += 1
            self.first = self.first or (lineno, found)

    def tell(self):
        if self.first:
            others = self.lines - 1
            others = " and %d other line%s" % (others, "s" if others > 1 else "") if others else ""
            warn("%s %s: %d %s where %d are needed; only the first %d are used, on this line%s"
                 % (self.what, where(self.path, self.first[0]), self.first[1], self.unit, self.used,
                    self.used, others))


def split_fields(line):
    """The fields of a line as peltra2 splits them: at runs of tabs, the
    blanks around a field dropped (a space inside one leaves it one field)."""
    return [f.strip(" ") for f in line.split("\t") if f.strip(" ") != ""]


def read_numbers(path, k, rows, what, convert=finite, lines=None):
    """The first `rows` lines of a file of numbers, k per line (the first k
    fields of each), as peltra2 reads them. Blank lines at the end are
    allowed; further lines with content and further fields are warned about."""
    lines = read_lines(path, what) if lines is None else lines
    kind = "whole number" if convert is whole else "finite number"
    extra = Extra(path, what, k)
    out = []
    for lineno, line in enumerate(lines, 1):
        if len(out) == rows:
            rest = [n for n, l in enumerate(lines[lineno - 1:], lineno) if l.strip("\t ")]
            if rest:
                warn("%s %s: %d more line%s with content; only the first %s used"
                     % (what, where(path, rest[0]), len(rest), "s" if len(rest) > 1 else "",
                        "%d lines are" % rows if rows > 1 else "line is"))
            break
        fields = split_fields(line)
        if len(fields) < k:
            if not fields and not any(l.strip("\t ") for l in lines[lineno:]):
                break
            raise ToolError("%s: %d field%s where %d are needed (%s)%s"
                            % (where(path, lineno), len(fields), "" if len(fields) == 1 else "s", k, what,
                               "; fields are separated by tabs, not spaces" if " " in line.strip(" ") else ""))
        extra.see(lineno, len(fields))
        row = []
        for j, text in enumerate(fields[:k], 1):
            try:
                row.append(convert(text))
            except ValueError:
                raise ToolError("%s: '%s' is not a %s (%s)%s" % (where(path, lineno, j), text[:40], kind, what,
                                "; fields are separated by tabs, not spaces" if " " in text else ""))
        out.append(row)
    if len(out) < rows:
        raise ToolError("%s %s: %d line%s of numbers where %d are needed"
                        % (what, "standard input" if path == "-" else path, len(out),
                           "" if len(out) == 1 else "s", rows))
    extra.tell()
    return out


def read_pool_sizes(path, k):
    """The sample-size file of pooled mode: k whole numbers of allele copies,
    each at least 1."""
    sizes = read_numbers(path, k, 1, "sample-size file", whole)[0]
    if min(sizes) < 1:
        raise ToolError("sample-size file %s, field %d: a pool holds at least 1 allele copy"
                        % (path, sizes.index(min(sizes)) + 1))
    return sizes


def read_matrix(path, k=None, what="matrix file"):
    """A K x K matrix file (K from -p, or the fields of its first line). The
    output of a matrix-estimation run is refused with what to do instead."""
    lines = read_lines(path, what)
    name = "standard input" if path == "-" else path
    if any(REPORT.match(l) for l in lines):
        raise ToolError("%s is the output of a matrix-estimation run, not a matrix file: average its "
                        "reports into one with peltra2-matrix" % name)
    if k is None:
        first = next((l for l in lines if l.strip("\t ")), None)
        if first is None:
            raise ToolError("%s: the %s is empty" % (name, what))
        k = len(split_fields(first))
    return read_numbers(path, k, k, what, lines=lines)


def count_line(line, k, path, lineno, extra):
    """The first k counts of a line (bytes) of a count file, checked as
    peltra2 checks them; extra (an Extra) hears of further fields."""
    name = "standard input" if path == "-" else path
    if lineno == 1 and line[:2] == b"\x1f\x8b":
        raise ToolError("%s is compressed (gzip): decompress it first, e.g. with zcat" % name)
    if b"\0" in line:
        raise ToolError("%s is not a text file (a zero byte on line %d); give a count file" % (name, lineno))
    fields = [f for f in line.split(b"\t") if f.strip(b" ") != b""]
    if len(fields) < k:
        raise ToolError("%s: %d fields where -p %d needs %d (count file)" % (where(path, lineno), len(fields), k, k))
    extra.see(lineno, len(fields))
    counts = []
    for j, f in enumerate(fields[:k], 1):
        v = int(f) if COUNT_FIELD.match(f) else -1
        if not 0 <= v <= LARGEST_COUNT:
            raise ToolError("%s: '%s' is not a count (count file)"
                            % (where(path, lineno, j), f[:40].decode("utf-8", "replace").strip()))
        counts.append(v)
    return counts


def read_names(path, n, what, of):
    """n names, one per line, each non-empty and without a tab; of: what
    they name (e.g. "SNPs of the count file")."""
    lines = read_lines(path, what)
    if lines and lines[-1] == "":
        lines.pop()
    if len(lines) != n:
        raise ToolError("%s %s has %d line%s for %d %s; give one name per line"
                        % (what, path, len(lines), "" if len(lines) == 1 else "s", n, of))
    for i, name in enumerate(lines, 1):
        if "\ufffd" in name:  # bytes that are no UTF-8 text, read as the replacement character
            raise ToolError("%s: the name is not UTF-8 text (%s)" % (where(path, i), what))
        if name.strip() == "" or "\t" in name:
            raise ToolError("%s: a name must be non-empty and hold no tab (%s)" % (where(path, i), what))
    return lines
