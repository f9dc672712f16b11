"""What every picture shares: the error type, notes on standard error, the
figure of a fixed pixel size and its PNG file."""

import os
import sys

PROG = "peltra2-plot"
DPI = 100


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


def save(fig, path):
    """Writes the PNG at the figure's own size (no tight cropping, which would
    change it) and releases the figure."""
    try:
        fig.savefig(path, dpi=DPI, format="png")
    except OSError as e:
        raise PlotError("cannot write %s: %s" % (path, e.strerror))
    finally:
        pyplot().close(fig)
    note("wrote %s" % path)


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
