"""Command lines of the Python tools: an option that takes a value may be
given once and never with an empty (or all-blank) value; numbers are read
whole ("1_000", "1e3" or " 7" is no whole number, "nan" and "inf" no finite
one). A usage error is one line on standard error with status 1, like every
other error."""

import argparse
import math
import os
import re
import sys

from . import messages

WHOLE = re.compile(r"[+-]?[0-9]+", re.ASCII)
DECIMAL = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?", re.ASCII)


def whole(text):
    """An integer written in decimal digits, else ValueError."""
    if not WHOLE.fullmatch(text):
        raise ValueError("whole number")
    return int(text)


def finite(text):
    """A finite decimal number, else ValueError."""
    if not DECIMAL.fullmatch(text) or not math.isfinite(float(text)):
        raise ValueError("finite number")
    return float(text)


# What a value that fails a converter is said not to be.
KINDS = {whole: "whole number", finite: "finite number", int: "whole number", float: "finite number"}
CONVERTERS = {int: whole, float: finite}


class Value(argparse.Action):
    """Stores a value after the checks every tool makes: not empty, an option
    given once, a number read whole."""

    def __init__(self, option_strings, dest, convert=None, **kw):
        super().__init__(option_strings, dest, **kw)
        self.convert = CONVERTERS.get(convert, convert)

    def __call__(self, parser, namespace, values, option_string=None):
        name = ("option %s" % option_string) if option_string else ("argument %s" % (self.metavar or self.dest))
        if option_string:
            given = namespace.__dict__.setdefault("_given", set())
            if self.dest in given:
                parser.error("option %s given more than once" % option_string)
            given.add(self.dest)
        items = values if isinstance(values, list) else [values]
        for v in items:
            if v.strip() == "":  # blanks alone name no file and no number
                parser.error("%s: empty value" % name)
        if self.convert:
            out = []
            for v in items:
                try:
                    out.append(self.convert(v))
                except ValueError:
                    parser.error("%s: '%s' is not a %s" % (name, v, KINDS.get(self.convert, "valid value")))
            values = out if isinstance(values, list) else out[0]
        setattr(namespace, self.dest, values)


def guarded(args, kw):
    """The keywords of add_argument with the Value action in place of a plain store."""
    if kw.get("action") in (None, "store"):
        kw["action"] = Value
        if "type" in kw:
            kw["convert"] = kw.pop("type")
    return kw


class Parser(argparse.ArgumentParser):
    """An argument parser whose options that take a value go through Value
    and whose usage errors end the run with status 1."""

    def __init__(self, *args, **kw):
        kw.setdefault("allow_abbrev", False)
        super().__init__(*args, **kw)

    def error(self, message):
        messages.note("%s (see %s --help)" % (message, self.prog))
        sys.exit(1)

    def add_argument(self, *args, **kw):
        return super().add_argument(*args, **guarded(args, kw))

    def add_argument_group(self, *args, **kw):
        group = super().add_argument_group(*args, **kw)
        plain = group.add_argument
        group.add_argument = lambda *a, **k: plain(*a, **guarded(a, k))
        return group


def version_line(prog, folder):
    """The tool's name and the build's version line, kept in the file
    peltra2-version in folder (beside the scripts)."""
    try:
        with open(os.path.join(folder, "peltra2-version")) as f:
            line = f.readline().strip()
    except OSError:
        line = ""
    return "%s %s" % (prog, line or "unknown version")
