#!/usr/bin/python3
"""peltra2-scan as a cluster runs it: over ssh logins to this machine (an sshd
of the test's own on a loopback port, with a throw-away key), some of which
fail, and the calibration of a table merged from slices."""

import os
import pathlib
import shutil
import socket
import subprocess
import time
import unittest

from scan_support import PELTRA2, ScratchTest, run, tool

OPTS = ["-i", "data.counts", "-p", "4", "-m", "data.matrix", "-e", "data.env", "-n", "1", "-k", "6000",
        "-X", "--seed", "3", "--batch-size", "4", "--no-bar"]
SSHD = "/usr/sbin/sshd"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Cluster(ScratchTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.simulate("--pops", "4", "--loci", "30", "--env", "1", "--seed", "8", "--out", "data")
        cls.local = cls.scan(*OPTS, "-o", "local.tsv", "--work", "local")
        try:
            cls.sshd_error = cls.start_sshd()
        except BaseException:
            cls.tearDownClass()  # not called when setUpClass fails
            raise

    @classmethod
    def start_sshd(cls):
        """An sshd on a free loopback port that lets in one key; the client's
        config names three logins: good (that key), refused (another key)
        and silent (a port that accepts and never answers). Returns why
        sshd cannot run, or None."""
        if not os.access(SSHD, os.X_OK) or not shutil.which("ssh-keygen"):
            return "%s or ssh-keygen is missing (Debian package openssh-server)" % SSHD
        d = cls.path("sshd")
        os.mkdir(d)
        for key in ("host", "good", "other"):
            r = run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(d, key)], d)
            if r.status != 0:
                return "ssh-keygen failed: %s" % r.err
        shutil.copy(os.path.join(d, "good.pub"), os.path.join(d, "authorized_keys"))
        if os.geteuid() == 0:
            os.makedirs("/run/sshd", exist_ok=True)  # sshd's privilege separation folder
        port = free_port()
        cls.silent = socket.socket()
        cls.silent.bind(("127.0.0.1", 0))
        cls.silent.listen(8)
        pathlib.Path(d, "sshd_config").write_text(
            "ListenAddress 127.0.0.1:%d\nHostKey %s/host\nAuthorizedKeysFile %s/authorized_keys\n"
            "PidFile %s/sshd.pid\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
            "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\n" % (port, d, d, d))
        pathlib.Path(d, "config").write_text(
            "Host good refused silent flaky\n HostName 127.0.0.1\n Port %d\n User %s\n StrictHostKeyChecking no\n"
            " UserKnownHostsFile /dev/null\n LogLevel ERROR\n IdentitiesOnly yes\n"
            "Host good flaky\n IdentityFile %s/good\nHost refused\n IdentityFile %s/other\n"
            "Host silent\n Port %d\n" % (port, os.environ.get("USER") or "root", d, d,
                                          cls.silent.getsockname()[1]))
        # In the foreground (-D): a child of the test, stopped and reaped by it.
        cls.sshd = subprocess.Popen([SSHD, "-D", "-f", os.path.join(d, "sshd_config"),
                                     "-E", os.path.join(d, "sshd.log")], cwd=d, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # "flaky" is good for the first login and fails every batch (exit status 255, as ssh):
        # its batches must run on the other machines.
        pathlib.Path(d, "flaky-ssh").write_text(
            '#!/bin/sh\ncase " $* " in *" flaky true "*) ;; *" flaky "*) exit 255 ;; esac\nexec ssh "$@"\n')
        os.chmod(os.path.join(d, "flaky-ssh"), 0o755)
        cls.ssh = "%s/flaky-ssh -F %s/config -o ConnectTimeout=3" % (d, d)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if run(["ssh"] + cls.ssh.split()[1:] + ["-o", "BatchMode=yes", "good", "true"], d).status == 0:
                return None
            if cls.sshd.poll() is not None:
                break
            time.sleep(0.2)
        return "cannot log in to the test's sshd: %s" % pathlib.Path(d, "sshd.log").read_text()[-500:]

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "sshd", None):
            cls.sshd.terminate()
            cls.sshd.wait()
        if hasattr(cls, "silent"):
            cls.silent.close()
        super().tearDownClass()

    def test_scan_over_ssh_logins_some_failing_equals_the_local_scan(self):
        if self.sshd_error:
            self.skipTest("no scan over ssh: " + self.sshd_error)
        self.assertEqual(self.local.status, 0, self.local)
        self.write("hosts", "2/good\n1/refused\n1/silent\n1/flaky\n:\n")
        started = time.monotonic()
        r = self.scan(*OPTS, "-o", "ssh.tsv", "--work", "ssh", "--sshloginfile", "hosts", "--ssh", self.ssh)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(self.read("ssh.tsv"), self.read("local.tsv"))
        self.assertIn("ssh login to refused failed (", r.err)
        self.assertIn("ssh login to silent failed (", r.err)
        self.assertNotIn("ssh login to good", r.err)
        self.assertNotIn("ssh login to flaky", r.err)
        # The silent host costs its connection timeout (3 s) once, not a hang.
        self.assertLess(time.monotonic() - started, 120)
        # The job log holds each batch's last try: none on flaky.
        hosts = {line.split("\t")[1] for line in self.read("ssh/joblog").splitlines()[1:]}
        self.assertEqual(hosts - {"good", ":"}, set(), hosts)
        self.write("dead-hosts", "refused\nsilent\n")
        r = self.scan(*OPTS, "-o", "dead.tsv", "--work", "dead", "--sshloginfile", "dead-hosts", "--ssh", self.ssh)
        self.assertEqual(r.status, 1, r)
        self.assertIn("every ssh login of %s failed: refused: " % self.path("dead-hosts"), r.err)
        self.assertFalse(os.path.exists(self.path("dead.tsv")))

    def test_calibration_of_merged_slices_equals_the_whole_scan(self):
        cal = ["--calibrate", "40", "--calibration-seed", "5"]
        r = self.scan(*OPTS, *cal, "-o", "whole.tsv", "--work", "whole")
        self.assertEqual(r.status, 0, r)
        for i in (1, 2, 3):
            r = self.scan(*OPTS, "--part", "%d/3" % i, "-o", "part%d.tsv" % i)
            self.assertEqual(r.status, 0, r)
        r = run([tool("peltra2-scan"), "merge", "-o", "merged.tsv", "part1.tsv", "part2.tsv", "part3.tsv"],
                self.dir)
        self.assertEqual(r.status, 0, r)
        calibrate = [tool("peltra2-scan"), "calibrate", "--peltra2", PELTRA2, "-o", "calibrated.tsv",
                     "merged.tsv"] + OPTS + cal
        r = run(calibrate, self.dir)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(self.read("calibrated.tsv"), self.read("whole.tsv"))
        self.assertEqual(self.read("calibrated.quantiles.tsv"), self.read("whole.quantiles.tsv"))
        again = run(calibrate, self.dir)
        self.assertIn("null SNPs: 40 of 40 finished in an earlier attempt", again.err)
        self.assertEqual(self.read("calibrated.tsv"), self.read("whole.tsv"))
        for table, change, message in [  # the table, an option changed, the message
            ("merged.tsv", ("--seed", "4"), "another scan than this command describes: --seed 3 against --seed 4"),
            ("merged.tsv", ("-k", "5600"), "-k 6000 against -k 5600"),
            ("merged.tsv", ("-m", "local.tsv"), "another matrix file"),
            ("part1.tsv", None, "is the table of one slice; join the slices with peltra2-scan merge first"),
            ("whole.tsv", None, "is calibrated already"),
            ("merged.tsv", ("--part", "1/2"), "--part: calibrate the merged table"),
        ]:
            opts = OPTS[:]
            if change and change[0] in opts:
                opts[opts.index(change[0]) + 1] = change[1]
            elif change:
                opts += list(change)
            r = run(calibrate[:4] + ["-o", "x.tsv", "--work", "x", table] + opts + cal, self.dir)
            self.assertEqual(r.status, 1, (table, change, r))
            self.assertIn(message, r.err)
            self.assertFalse(os.path.exists(self.path("x.tsv")))


if __name__ == "__main__":
    unittest.main()
