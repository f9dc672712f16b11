#!/usr/bin/python3
"""The progress line of matrix estimation: shown on a terminal, absent when
standard error is redirected or in test mode, standard output the same."""

import os
import pty
import re
import subprocess
import unittest

from scan_support import PELTRA2, ScratchTest, run

# One locus: the first worker has none, so the run is fixed by its seed.
ARGS = [PELTRA2, "-i", "one.counts", "-p", "4", "-k", "2600", "-r", "21"]


def run_with_terminal_stderr(cmd, cwd):
    """Runs cmd with standard error on a pseudo-terminal; returns the exit
    status, standard output and what it wrote on the terminal."""
    master, slave = pty.openpty()
    p = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave)
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
    out = p.stdout.read()
    return p.wait(), out.decode(), seen.decode()


class ProgressLine(ScratchTest):
    def test_terminal_only_and_stdout_unchanged(self):
        self.write("one.counts", "12\t30\t7\t25\n28\t10\t33\t15\n")
        plain = run(ARGS, self.dir)
        self.assertEqual((plain.status, plain.err), (0, ""))
        self.assertEqual(plain.out.count("VAR-COVAR MATRIX"), 5)
        status, out, terminal = run_with_terminal_stderr(ARGS, self.dir)
        self.assertEqual((status, out), (0, plain.out))
        # Redrawn in place with carriage returns, never a line of its own, and erased at the end.
        self.assertRegex(terminal, r"^\riteration 1 of 2600")
        self.assertNotIn("\n", terminal)
        self.assertTrue(re.search(r"\r *\r$", terminal), repr(terminal[-80:]))
        # Nothing in test mode.
        self.write("env.txt", "1\t2\t3\t4\n")
        self.write("id.matrix", "1\t0\t0\t0\n0\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n")
        test = ARGS[:5] + ["-t", "-e", "env.txt", "-m", "id.matrix", "-n", "1", "-k", "5600", "-r", "2"]
        self.assertEqual(run_with_terminal_stderr(test, self.dir)[::2], (0, ""))


if __name__ == "__main__":
    unittest.main()
