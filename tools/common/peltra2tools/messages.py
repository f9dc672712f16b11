"""Messages of the Python tools: every error and warning is a line on
standard error that starts with the tool's name; an error ends the run with
exit status 1. Standard output carries only what a tool writes there by
design."""

import signal
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


class Stopped(BaseException):
    """A stop signal (SIGTERM, SIGHUP) raised where the run stands, so that
    an output half written is removed on the way out."""

    def __init__(self, signum):
        super().__init__(signum)
        self.signum = signum


def stop(signum, frame):
    raise Stopped(signum)


def run(main, argv):
    """Runs main(argv) and returns its exit status: 0 unless main returns
    another; 1 after a ToolError or an OSError, told on standard error;
    128 + the signal number when stopped (Ctrl-C, SIGTERM, SIGHUP)."""
    for sig in (signal.SIGTERM, signal.SIGHUP):
        if signal.getsignal(sig) == signal.SIG_DFL:
            signal.signal(sig, stop)
    try:
        return main(argv) or 0
    except ToolError as e:
        note(str(e))
        return 1
    except OSError as e:
        note(os_error_text(e))
        return 1
    except KeyboardInterrupt:
        note("interrupted; nothing written for the output in progress")
        return 128 + signal.SIGINT
    except Stopped as e:
        note("stopped by signal %d; nothing written for the output in progress" % e.signum)
        return 128 + e.signum
