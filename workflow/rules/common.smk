# The helpers of the Snakefile and its rules: settings checked with a
# message that names the key, the programs, and the options shared by the
# scan's rules.

import os
import shutil

from snakemake.exceptions import WorkflowError


def setting(key):
    """A configuration value; a missing key names the file to fix."""
    if key not in config:
        raise WorkflowError("config.yaml: the setting %r is missing (workflow/config.yaml lists every one)" % key)
    return config[key]


def positive(key, low=1):
    v = setting(key)
    if isinstance(v, bool) or not isinstance(v, int) or v < low:
        raise WorkflowError("config.yaml, %s: %r is not a whole number of at least %d" % (key, v, low))
    return v


def program(name):
    """The absolute path of one of peltra2's programs, from the programs setting."""
    where = setting("programs")
    if not where:
        found = shutil.which(name)
        if not found:
            raise WorkflowError("config.yaml, programs: %s is not on PATH; install peltra2 or set programs to its build folder" % name)
        return os.path.abspath(found)
    for candidate in (os.path.join(where, name), os.path.join(where, "tools", name)):
        if os.path.isfile(candidate) and os.access(candidate, os.X_OK):
            return os.path.abspath(candidate)
    raise WorkflowError("config.yaml, programs: no %s in %s or %s/tools; build peltra2 first "
                        "(cmake -S . -B build && cmake --build build) or set programs" % (name, where, where))


def optional(**files):
    """Named inputs, leaving out the empty ones."""
    return {k: v for k, v in files.items() if v}


def test_options():
    """The peltra2 test options every scanned SNP runs with, but the files."""
    opts = ["-k", str(setting("scan_iterations"))]
    opts += [flag for flag, key in (("-z", "z"), ("-c", "correlations"), ("-X", "xtx")) if setting(key)]
    if POOLED:
        opts.append("-x")
    return " ".join(opts)


def sample_size_option(wildcards, input):
    """-s FILE in pooled mode, for peltra2-matrix and peltra2-scan."""
    return "-s " + input.sample_sizes if POOLED else ""
