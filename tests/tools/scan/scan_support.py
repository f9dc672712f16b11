"""Helpers of the Python tool tests: where the programs are, a scratch folder
per test class, running a command and reading tables."""

import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

PELTRA2 = os.environ.get("PELTRA2_BIN", "")
TOOLS = os.environ.get("PELTRA_TOOLS_DIR", "")
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")


def tool(name):
    return os.path.join(TOOLS, name)


class Run:
    def __init__(self, p):
        self.status = p.returncode
        self.out = p.stdout.decode("utf-8", "replace")
        self.err = p.stderr.decode("utf-8", "replace")

    def __repr__(self):
        return "status %d\n--- stdout\n%s\n--- stderr\n%s" % (self.status, self.out[-3000:], self.err[-3000:])


def run(cmd, cwd, stdin=b""):
    return Run(subprocess.run(cmd, cwd=cwd, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE))


def read_table(path):
    """Header and rows (lists of fields) of a tab-separated table, past its
    comment lines."""
    rows = [l.split("\t") for l in pathlib.Path(path).read_text().splitlines() if not l.startswith("#")]
    return rows[0], rows[1:]


class ScratchTest(unittest.TestCase):
    """Tests sharing one scratch folder, GNU parallel's home and the data made in setUpClass."""

    @classmethod
    def setUpClass(cls):
        for p in (PELTRA2, tool("peltra2-simulate")):
            if not (p and os.access(p, os.X_OK)):
                raise RuntimeError("program missing: %r (set PELTRA2_BIN and PELTRA_TOOLS_DIR)" % p)
        cls.dir = tempfile.mkdtemp(prefix="peltra2-tool-test-")
        os.environ["PARALLEL_HOME"] = os.path.join(cls.dir, ".parallel")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def path(cls, name):
        return os.path.join(cls.dir, name)

    @classmethod
    def write(cls, name, text):
        pathlib.Path(cls.path(name)).write_text(text)

    @classmethod
    def read(cls, name):
        return pathlib.Path(cls.path(name)).read_text()

    @classmethod
    def simulate(cls, *args):
        r = run([tool("peltra2-simulate")] + list(args), cls.dir)
        assert r.status == 0, r

    @classmethod
    def scan(cls, *args):
        return run([tool("peltra2-scan"), "--peltra2", PELTRA2] + list(args), cls.dir)
