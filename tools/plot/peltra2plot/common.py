"""What every picture shares: the error type, notes on standard error, the
figure of a fixed pixel size and its file (PNG, PDF or SVG)."""

import argparse
import os
import sys

PROG = "peltra2-plot"
DPI = 100
FORMATS = ("png", "pdf", "svg")


class PlotError(Exception):
    """A problem with the input or the options: one line, exit status 1."""


def note(msg):
    print("%s: %s" % (PROG, msg), file=sys.stderr, flush=True)


def parse_size(text):
    """'WIDTHxHEIGHT' in pixels, each from 100 to 10000."""
    parts = text.lower().split("x")
    try:
        w, h = int(parts[0]), int(parts[1])
        if len(parts) != 2 or not (100 <= w <= 10000 and 100 <= h <= 10000):
            raise ValueError
    except (ValueError, IndexError):
        raise PlotError("--size: expected WIDTHxHEIGHT in pixels, each from 100 to 10000, got '%s'" % text)
    return w, h


def pyplot():
    """matplotlib's pyplot on the Agg backend (no display: PNG files only),
    imported at the first picture so that input errors show at once."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    return plt


def figure(size):
    """A figure that saves as exactly size[0] x size[1] pixels."""
    return pyplot().figure(figsize=(size[0] / DPI, size[1] / DPI), dpi=DPI)


def picture_format(path):
    """The format named by the file's extension; any other is an error."""
    ext = os.path.splitext(path)[1].lower().lstrip(".")
    if ext not in FORMATS:
        raise PlotError("%s: unknown picture format %s; give a file name ending in .png, .pdf or .svg"
                        % (path, "'.%s'" % ext if ext else "(no extension)"))
    return ext


def save(fig, path):
    """Writes the picture at the figure's own size (no tight cropping, which
    would change it) in the format of its extension, and releases the figure."""
    fmt = picture_format(path)
    tmp = os.path.join(os.path.dirname(path), ".%s.%d.tmp" % (os.path.basename(path), os.getpid()))
    try:
        fig.savefig(tmp, dpi=DPI, format=fmt)
        os.replace(tmp, path)  # whole or not at all
    except OSError as e:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise PlotError("cannot write %s: %s" % (path, e.strerror))
    finally:
        pyplot().close(fig)
    note("wrote %s" % path)


def version():
    """'peltra2-plot' and the build's version line, kept beside the script."""
    here = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
    try:
        with open(os.path.join(here, "peltra2-version")) as f:
            return "%s %s" % (PROG, f.readline().strip())
    except OSError:
        return "%s unknown version" % PROG


class Once(argparse.Action):
    """A single-valued option: giving it twice is an error."""

    def __call__(self, parser, namespace, values, option_string=None):
        seen = namespace.__dict__.setdefault("_given", set())
        if self.dest in seen:
            parser.error("option %s given twice" % self.option_strings[-1])
        seen.add(self.dest)
        setattr(namespace, self.dest, values)


def default_output(input_path, kind):
    """INPUT's base name with .KIND.png, in the current folder."""
    base = "stdin" if input_path == "-" else os.path.basename(input_path.rstrip("/"))
    return "%s.%s.png" % (base, kind)


def open_text(path, what):
    """An open text file, or standard input for '-'."""
    if path == "-":
        return sys.stdin
    try:
        return open(path, encoding="utf-8", errors="replace")
    except OSError as e:
        raise PlotError("cannot open the %s %s: %s" % (what, path, e.strerror))


def display_name(path):
    return "standard input" if path == "-" else path
