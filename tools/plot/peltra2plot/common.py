"""What every picture shares: the figure of a fixed pixel size and its file
(PNG, PDF or SVG), written whole through peltra2tools."""

import os

from peltra2tools import outputs
from peltra2tools.messages import ToolError, note  # noqa: F401 (note: used by the pictures)
from peltra2tools.options import whole

PROG = "peltra2-plot"
DPI = 100
FORMATS = ("png", "pdf", "svg")
PlotError = ToolError


def parse_size(text):
    """'WIDTHxHEIGHT' in pixels, each from 100 to 10000."""
    parts = text.lower().split("x")
    try:
        w, h = whole(parts[0]), whole(parts[1])
        if len(parts) != 2 or not (100 <= w <= 10000 and 100 <= h <= 10000):
            raise ValueError
    except (ValueError, IndexError):
        raise PlotError("option --size: '%s' is not WIDTHxHEIGHT in pixels, each a whole number from 100 to 10000"
                        % text)
    return w, h


def pyplot():
    """matplotlib's pyplot on the Agg backend (no display needed), imported
    at the first picture so that input errors show at once."""
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
    """Writes the picture whole at the figure's own size (no tight cropping,
    which would change it) in the format of its extension, and releases the
    figure."""
    fmt = picture_format(path)
    try:
        outputs.write_whole(path, lambda f: fig.savefig(f, dpi=DPI, format=fmt))
    finally:
        pyplot().close(fig)
    note("wrote %s" % path)


def default_output(input_path, kind):
    """INPUT's base name with .KIND.png, in the current folder."""
    base = "stdin" if input_path == "-" else os.path.basename(input_path.rstrip("/"))
    return "%s.%s.png" % (base, kind)


def display_name(path):
    return "standard input" if path == "-" else path
