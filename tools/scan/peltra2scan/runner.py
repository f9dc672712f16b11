"""Running peltra2 over the SNPs of a work folder through GNU parallel."""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import time

from .options import BURN_IN

JOB_SCRIPT = "peltra2-scan-job"
# prctl option: orphaned descendants are reparented to this process.
PR_SET_CHILD_SUBREAPER = 36


class RunError(Exception):
    pass


class Interrupted(Exception):
    def __init__(self, signum):
        super().__init__("interrupted by signal %d" % signum)
        self.signum = signum


def job_script():
    here = os.path.dirname(os.path.realpath(__file__))
    path = os.path.realpath(os.path.join(here, "..", JOB_SCRIPT))
    if not os.access(path, os.X_OK):
        raise RunError("cannot find %s next to peltra2-scan" % JOB_SCRIPT)
    return path


def preflight(peltra2, work, args):
    """One short run on a made-up polymorphic SNP: checks the options, the
    environment, matrix and sample-size files before thousands of runs each
    fail on them."""
    d = os.path.join(work, "preflight")
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    k = int(args[args.index("-p") + 1])
    with open(os.path.join(d, "counts"), "w") as f:
        f.write(("1\t" * k).rstrip("\t") + "\n")
        f.write(("1\t" * k).rstrip("\t") + "\n")
    # A repeated option overrides the earlier one: the shortest run that samples.
    cmd = [peltra2, "-t", "-i", "counts", "-o", "result", "-r", "1"] + args + ["-k", str(BURN_IN + 1)]
    p = subprocess.run(cmd, cwd=d, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE)
    shutil.rmtree(d, ignore_errors=True)
    if p.returncode != 0:
        lines = [l for l in (p.stderr + p.stdout).decode("utf-8", "replace").splitlines() if l.strip()]
        msg = lines[-1] if lines else "exit status %d" % p.returncode
        raise RunError("peltra2 rejects the test options or input files: %s" % msg.strip())


def adopt_orphans():
    """Makes this process the reaper of its orphaned descendants (Linux), so
    that jobs an interrupted parallel leaves behind can be found. Returns
    False where that is not available."""
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        return libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0
    except (OSError, AttributeError):
        return False


def own_children():
    me = os.getpid()
    pids = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        if int(fields[1]) == me:
            pids.append(int(name))
    return pids


def stop_stragglers(grace=2.0):
    """Ends the jobs an interrupted parallel left running (one it started
    just as it was stopped), so that nothing of the scan runs once it exits.
    Each job has a process group of its own."""
    deadline = time.monotonic() + grace
    while True:
        while True:
            try:
                pid, _ = os.waitpid(-1, os.WNOHANG)
            except ChildProcessError:
                return
            if pid == 0:
                break
        pids = own_children()
        if not pids:
            return
        sig = signal.SIGTERM if time.monotonic() < deadline else signal.SIGKILL
        for pid in pids:
            try:
                os.killpg(os.getpgid(pid), sig)
            except (ProcessLookupError, PermissionError):
                pass
        time.sleep(0.05)


def run_all(work, counts, batches, peltra2, args, base_seed, tag, jobs=None, sshloginfile=None,
            bar=False):
    """Runs the batches (offset, first, last) through GNU parallel, each
    recording its SNPs in done/<tag>.<first>. What a stopped run recorded
    stays recorded; the rest runs again when the scan resumes."""
    if shutil.which("parallel") is None:
        raise RunError("GNU parallel is not installed (Debian package \"parallel\"; see tools/install-deps.sh)")
    jobs_file = os.path.join(work, "batches")
    with open(jobs_file, "w") as f:
        f.write("".join("%d\t%d\t%d\n" % b for b in batches))
    cmd = ["parallel", "--colsep", "\t", "-q"]
    if jobs:
        cmd += ["-j", str(jobs)]
    if sshloginfile:
        cmd += ["--sshloginfile", sshloginfile]
    if bar:
        cmd += ["--bar"]
    cmd += [job_script(), peltra2, work, counts, "{1}", "{2}", "{3}", str(base_seed),
            "%d.{2}" % tag] + args + ["::::", jobs_file]

    received = []

    def forward(signum, frame):
        # Stop parallel and its jobs; what finished stays finished.
        received.append(signum)
        try:
            proc.send_signal(signal.SIGTERM)
        except ProcessLookupError:
            pass

    reaper = adopt_orphans()
    # close_fds=False: the jobs inherit the work folder's lock.
    proc = subprocess.Popen(cmd, cwd=work, stdin=subprocess.DEVNULL, stdout=sys.stderr, close_fds=False)
    old = {s: signal.signal(s, forward) for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)}
    try:
        rc = proc.wait()
        if received and reaper:
            stop_stragglers()
    finally:
        for s, h in old.items():
            signal.signal(s, h)
    if received:
        raise Interrupted(received[0])
    if rc == 255 or rc < 0:
        raise RunError("GNU parallel stopped (exit status %d)" % rc)
    return rc
