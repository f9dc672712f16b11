"""Which scan a table comes from: a comment line at the top of every table
(whole, slice or merged) holding what makes its rows, so that merge and
calibrate refuse the tables of another scan and name what differs.

    #peltra2-scan scan<TAB>seed=S<TAB>options=-p 4 -k 6000 -n 2 -X<TAB>counts=<sha256><TAB>...

The options are those passed to every peltra2 run except the file names;
the files (count, matrix, environment, sample-size, names) are known by the
SHA-256 digest of their contents, as their paths may differ between machines.
"""

from . import options
from .workdir import file_digest

PREFIX = "#peltra2-scan scan"
# Keys in the order they are written; samplesize only in pooled mode.
KEYS = ("seed", "options", "counts", "matrix", "env", "samplesize", "names")
FILE_KEYS = {"counts": "count file", "matrix": "matrix file", "env": "environment file",
             "samplesize": "sample-size file", "names": "names file (--names)"}
# Options of peltra2 that name a file: known by the file's digest instead.
FILE_OPTIONS = ("-m", "-e", "-s")


class IdentityError(Exception):
    pass


def of_options(o):
    """The identity of the scan that the command line o describes."""
    args = options.peltra2_args(o)
    plain = []
    skip = False
    for a in args:
        if skip:
            skip = False
        elif a in FILE_OPTIONS:
            skip = True
        else:
            plain.append(a)
    ident = {"seed": str(o.seed), "options": " ".join(plain), "counts": file_digest(o.counts),
             "matrix": file_digest(o.matrix), "env": file_digest(o.env)}
    if o.samplesize:
        ident["samplesize"] = file_digest(o.samplesize)
    ident["names"] = file_digest(o.names) if o.names else "none"
    return ident


def line(ident):
    return "\t".join([PREFIX] + ["%s=%s" % (k, ident[k]) for k in KEYS if k in ident])


def parse(text, where):
    """The identity in a table's line, or IdentityError naming where."""
    fields = text.split("\t")
    if fields[0] != PREFIX:
        raise IdentityError("%s: no \"%s\" line: not a table of this version of peltra2-scan "
                            "(scan again to make one)" % (where, PREFIX))
    ident = {}
    for f in fields[1:]:
        key, eq, value = f.partition("=")
        if not eq or key not in KEYS or key in ident:
            raise IdentityError("%s: unreadable field \"%s\" in the scan's line" % (where, f[:60]))
        ident[key] = value
    missing = [k for k in KEYS if k not in ident and k != "samplesize"]
    if missing:
        raise IdentityError("%s: the scan's line lacks %s" % (where, ", ".join(missing)))
    return ident


def _option_values(text):
    """peltra2 options as flag -> value ("" for a flag without one)."""
    tokens = text.split()
    out = {}
    for j, t in enumerate(tokens):
        if t.startswith("-"):
            nxt = tokens[j + 1] if j + 1 < len(tokens) else ""
            out[t] = "" if nxt.startswith("-") else nxt
    return out


def _show(flag, values):
    if flag not in values:
        return "no " + flag
    return (flag + " " + values[flag]).strip()


def differences(mine, theirs):
    """What differs between two identities, in words: a list such as
    ["-k 6000 against -k 30000", "another count file (its contents differ)"]."""
    out = []
    for key in KEYS:
        a, b = mine.get(key), theirs.get(key)
        if a == b:
            continue
        if key == "seed":
            out.append("--seed %s against --seed %s" % (a, b))
        elif key == "options":
            va, vb = _option_values(a or ""), _option_values(b or "")
            for flag in sorted(set(va) | set(vb)):
                if va.get(flag) != vb.get(flag):
                    out.append("%s against %s" % (_show(flag, va), _show(flag, vb)))
        elif key == "names" and "none" in (a, b):
            out.append("%s against %s" % ("no --names" if a == "none" else "--names",
                                          "no --names" if b == "none" else "--names"))
        else:
            out.append("another %s (its contents differ)" % FILE_KEYS[key])
    return out
