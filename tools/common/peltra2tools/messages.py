"""Messages of the Python tools: every error and warning is a line on
standard error that starts with the tool's name; an error ends the run with
exit status 1. Standard output carries only what a tool writes there by
design."""

import sys

PROG = "peltra2-tools"
# Warnings already given: a file read twice in one run is told of once.
_warned = set()


class ToolError(Exception):
    """A problem with the options or the inputs, or an output that cannot be
    written: one line, exit status 1."""


def start(prog):
    """Names the running tool in every message."""
    global PROG
    PROG = prog


def note(msg):
    print("%s: %s" % (PROG, msg), file=sys.stderr, flush=True)


def warn(msg):
    if msg not in _warned:
        _warned.add(msg)
        note("warning: " + msg)


def os_error_text(e):
    """An OSError as a line naming its file."""
    return "%s: %s" % (e.filename, e.strerror) if e.filename else str(e.strerror or e)


def run(main, argv):
    """Runs main(argv) and returns its exit status: 0 unless main returns
    another; 1 after a ToolError or an OSError, told on standard error."""
    try:
        return main(argv) or 0
    except ToolError as e:
        note(str(e))
        return 1
    except OSError as e:
        note(os_error_text(e))
        return 1
