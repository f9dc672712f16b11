"""Running peltra2 over the SNPs of a work folder through GNU parallel."""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import time

from .options import BURN_IN

JOB_PROGRAM = "peltra2-scan-job"
# prctl option: orphaned descendants are reparented to this process.
PR_SET_CHILD_SUBREAPER = 36


class RunError(Exception):
    pass


class Interrupted(Exception):
    def __init__(self, signum):
        super().__init__("interrupted by signal %d" % signum)
        self.signum = signum


def job_program():
    here = os.path.dirname(os.path.realpath(__file__))
    path = os.path.realpath(os.path.join(here, "..", JOB_PROGRAM))
    if not os.access(path, os.X_OK):
        raise RunError("cannot find %s next to peltra2-scan" % JOB_PROGRAM)
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
            bar=False, one_at_a_time=False):
    """Runs the batches (offset, first, last), each recording its SNPs in
    done/<tag>.<first>: through GNU parallel, or one after another without
    it when one job at a time on this machine, without a bar, is asked for
    (GNU parallel's start-up costs more than a short scan's own runs). What
    a stopped run recorded stays recorded; the rest runs again when the scan
    resumes."""
    def job(offset, first, last, name):
        return [job_program(), peltra2, work, counts, offset, first, last, str(base_seed), name] + args

    direct = one_at_a_time and not sshloginfile and not bar
    if not direct and shutil.which("parallel") is None:
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
    cmd += job("{1}", "{2}", "{3}", "%d.{2}" % tag) + ["::::", jobs_file]

    received = []
    running = []

    def forward(signum, frame):
        # Stop parallel (or the batch) and its jobs; what finished stays finished.
        received.append(signum)
        try:
            running[-1].send_signal(signal.SIGTERM)
        except (IndexError, ProcessLookupError):
            pass

    def start(c):
        # close_fds=False: the jobs inherit the work folder's lock.
        running.append(subprocess.Popen(c, cwd=work, stdin=subprocess.DEVNULL, stdout=sys.stderr,
                                        close_fds=False))
        if received:
            running[-1].send_signal(signal.SIGTERM)
        return running[-1].wait()

    reaper = adopt_orphans()
    old = {s: signal.signal(s, forward) for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)}
    try:
        if direct:
            rc = 0
            for offset, first, last in batches:
                if received:
                    break
                rc = max(rc, start(job(str(offset), str(first), str(last), "%d.%d" % (tag, first))))
        else:
            rc = start(cmd)
        if received and reaper:
            stop_stragglers()
    finally:
        for s, h in old.items():
            signal.signal(s, h)
    if received:
        raise Interrupted(received[0])
    if not direct and (rc == 255 or rc < 0):
        raise RunError("GNU parallel stopped (exit status %d)" % rc)
    return rc
