#!/usr/bin/python3
"""The progress line of matrix estimation: shown on a terminal, absent when
standard error is redirected, and standard output is the same either way."""

import os
import pty
import re
import subprocess
import unittest

from scan_support import PELTRA2, ScratchTest

# One locus: the first worker has none, so the run is fixed by its seed.
ONE_LOCUS = "12\t30\t7\t25\n28\t10\t33\t15\n"
ARGS = ["-i", "one.counts", "-p", "4", "-k", "2600", "-r", "21"]


def run_with_terminal_stderr(cmd, cwd, out_path):
    """Runs cmd with standard error on a pseudo-terminal; returns what it wrote there."""
    master, slave = pty.openpty()
    with open(out_path, "wb") as out:
        p = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=slave)
    os.close(slave)
    seen = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal closes when the program ends
            break
        if not chunk:
            break
        seen += chunk
    os.close(master)
    return p.wait(), seen.decode()


class ProgressLine(ScratchTest):
    def test_terminal_only_and_stdout_unchanged(self):
        self.write("one.counts", ONE_LOCUS)
        with open(self.path("plain.out"), "wb") as out, open(self.path("plain.err"), "wb") as err:
            rc = subprocess.run([PELTRA2] + ARGS, cwd=self.dir, stdout=out, stderr=err).returncode
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("plain.err"), "")

        rc, terminal = run_with_terminal_stderr([PELTRA2] + ARGS, self.dir, self.path("tty.out"))
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("tty.out"), self.read("plain.out"))
        self.assertEqual(self.read("plain.out").count("VAR-COVAR MATRIX"), 5)
        # Redrawn in place with carriage returns, never a line of its own,
        # and erased at the end.
        self.assertRegex(terminal, r"^\riteration 1 of 2600")
        self.assertNotIn("\n", terminal)
        self.assertTrue(re.search(r"\r *\r$", terminal), repr(terminal[-80:]))

    def test_nothing_in_test_mode(self):
        self.write("one.counts", ONE_LOCUS)
        self.write("env.txt", "1\t2\t3\t4\n")
        self.write("id.matrix", "1\t0\t0\t0\n0\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n")
        cmd = [PELTRA2, "-t", "-e", "env.txt", "-m", "id.matrix", "-n", "1", "-i", "one.counts", "-p", "4",
               "-k", "5600", "-r", "2"]
        rc, terminal = run_with_terminal_stderr(cmd, self.dir, self.path("t.out"))
        self.assertEqual(rc, 0)
        self.assertEqual(terminal, "")


if __name__ == "__main__":
    unittest.main()
