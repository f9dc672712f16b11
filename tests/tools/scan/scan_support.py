"""Helpers of the scan tool tests: where the programs are, scratch folders,
running a command, simulating data and reading tables."""

import os
import shutil
import subprocess
import tempfile
import unittest

PELTRA2 = os.environ.get("PELTRA2_BIN", "")
TOOLS = os.environ.get("PELTRA_TOOLS_DIR", "")
HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")


def tool(name):
    return os.path.join(TOOLS, name)


def require_programs(testcase):
    for p in (PELTRA2, tool("peltra2-simulate"), tool("peltra2-scan"), tool("peltra2-matrix")):
        if not (p and os.access(p, os.X_OK)):
            testcase.fail("program missing: %r (set PELTRA2_BIN and PELTRA_TOOLS_DIR)" % p)


class Run:
    def __init__(self, p):
        self.status = p.returncode
        self.out = p.stdout.decode("utf-8", "replace")
        self.err = p.stderr.decode("utf-8", "replace")

    def __repr__(self):
        return "status %d\n--- stdout\n%s\n--- stderr\n%s" % (self.status, self.out[-3000:], self.err[-3000:])


def run(cmd, cwd, stdin=b""):
    p = subprocess.run(cmd, cwd=cwd, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return Run(p)


class ScratchTest(unittest.TestCase):
    """A test with its own scratch folder (and GNU parallel's home in it)."""

    def setUp(self):
        require_programs(self)
        self.dir = tempfile.mkdtemp(prefix="peltra2-scan-test-")
        os.environ["PARALLEL_HOME"] = os.path.join(self.dir, ".parallel")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)

    def read(self, name):
        with open(self.path(name)) as f:
            return f.read()

    def simulate(self, *args):
        r = run([tool("peltra2-simulate")] + list(args), self.dir)
        self.assertEqual(r.status, 0, r)

    def scan(self, *args):
        return run([tool("peltra2-scan"), "--peltra2", PELTRA2] + list(args), self.dir)


def read_table(path):
    """Header and rows (lists of fields) of a tab-separated table."""
    with open(path) as f:
        lines = f.read().splitlines()
    return lines[0].split("\t"), [l.split("\t") for l in lines[1:]]

