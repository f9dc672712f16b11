"""Running peltra2 over the SNPs of a work folder through GNU parallel."""

import ctypes
import os
import shlex
import shutil
import signal
import subprocess
import sys
import time

from .options import BURN_IN

JOB_PROGRAM = "peltra2-scan-job"
# prctl options: orphaned descendants are reparented to this process; a
# signal to this process when its parent dies.
PR_SET_CHILD_SUBREAPER = 36
PR_SET_PDEATHSIG = 1
# ssh options added to the user's ssh command (the user's own -o come first
# and win): no password prompt; a host that does not answer fails within
# 20 s, a connection that goes silent within a minute.
SSH_OPTIONS = "-o BatchMode=yes -o ConnectTimeout=20 -o ServerAliveInterval=15 -o ServerAliveCountMax=4"
# ssh's exit status when the login (not the command) failed.
SSH_FAILED = 255
JOB_LOG = "joblog"


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
        raise RunError("peltra2 rejects the test options or input files: %s" % stop_message(p))


def stop_message(p):
    """Why a peltra2 run stopped, as a SNP's record says it: its hint (the
    last "peltra2: " line of standard error that is no warning), else the
    last line of standard error, else of standard output."""
    err = [l for l in p.stderr.decode("utf-8", "replace").splitlines() if l.strip()]
    out = [l for l in p.stdout.decode("utf-8", "replace").splitlines() if l.strip()]
    hints = [l[9:] for l in err if l.startswith("peltra2: ") and not l.startswith("peltra2: warning: ")]
    others = [l for l in err if not l.startswith("peltra2: ")]
    for lines in (hints, others, out):
        if lines:
            return lines[-1].strip()
    return "exit status %d" % p.returncode


def _libc():
    try:
        return ctypes.CDLL(None, use_errno=True)
    except OSError:
        return None


def die_with_parent(signum):
    """For Popen's preexec_fn: the child gets signum when this process dies,
    however it dies (SIGKILL included), so that no GNU parallel outlives the
    scan; GNU parallel stops its jobs on SIGINT."""
    parent = os.getpid()
    libc = _libc()

    def set_in_child():
        if libc is not None:
            libc.prctl(PR_SET_PDEATHSIG, signum, 0, 0, 0)
        if os.getppid() != parent:  # died before the prctl took effect
            os._exit(1)
    return set_in_child


def read_job_log(path, offset):
    """(host, exit status) of every job attempt logged past byte offset."""
    try:
        with open(path, "rb") as f:
            f.seek(offset)
            lines = f.read().decode("utf-8", "replace").splitlines()
    except OSError:
        return []
    out = []
    for line in lines:
        fields = line.split("\t")
        if len(fields) >= 8 and fields[0].isdigit():
            out.append((fields[1], int(fields[6]) if fields[6].lstrip("-").isdigit() else -1))
    return out


def login_report(attempts, sshloginfile):
    """Messages on the batches whose ssh login failed on every machine tried
    (the job log holds each batch's last try); a RunError when no batch
    could log in anywhere."""
    failed = {}
    for host, status in attempts:
        if status == SSH_FAILED:
            failed[host] = failed.get(host, 0) + 1
    if not failed:
        return []
    if all(status == SSH_FAILED for _, status in attempts):
        raise RunError("every ssh login failed (%s; exit status %d): nothing ran. Check that \"ssh HOST "
                       "true\" logs in without a password for each line of %s, then give the same command "
                       "again" % (", ".join(sorted(failed)), SSH_FAILED, sshloginfile))
    return ["ssh login to %s failed for %d batch%s, also on the other machines tried (exit status %d)"
            % (host, n, "es" if n > 1 else "", SSH_FAILED) for host, n in sorted(failed.items())]


def _login_command(ssh, login):
    """The command that logs in as a line of an ssh login file does ("N/"
    dropped; a login with spaces is an ssh command of its own)."""
    login = login.split("/", 1)[1] if login.split("/", 1)[0].isdigit() and "/" in login else login
    if " " in login.strip():
        return login, shlex.split(login) + ["true"]
    return login, shlex.split(ssh) + shlex.split(SSH_OPTIONS) + [login, "true"]


def check_logins(sshloginfile, ssh, work, note):
    """Logs in once on every machine of the file, all at once; machines whose
    login fails are named and left out of the scan (a copy of the file in
    the work folder without them is returned). RunError when none is left."""
    with open(sshloginfile) as f:
        lines = [line.split("#", 1)[0].strip() for line in f]
    lines = [line for line in lines if line]
    tries = []
    for line in lines:
        login, cmd = _login_command(ssh, line)
        if login == ":":
            tries.append((line, login, None))
            continue
        tries.append((line, login, subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                                    stderr=subprocess.PIPE, preexec_fn=die_with_parent(signal.SIGTERM))))
    good, bad = [], []
    for line, login, p in tries:
        if p is None:
            good.append(line)
            continue
        err = p.communicate()[1].decode("utf-8", "replace").strip().splitlines()
        if p.returncode == 0:
            good.append(line)
        else:
            bad.append((login, err[-1] if err else "exit status %d" % p.returncode))
    if not good:
        raise RunError("every ssh login of %s failed: %s. Check that \"ssh HOST true\" logs in without a "
                       "password on each, then give the same command again"
                       % (sshloginfile, "; ".join("%s: %s" % b for b in bad)))
    for b in bad:
        note("ssh login to %s failed (%s); the scan goes on without it" % b)
    path = os.path.join(work, "sshlogins")
    with open(path, "w") as f:
        f.write("".join(line + "\n" for line in good))
    return path, len(good)


def adopt_orphans():
    """Makes this process the reaper of its orphaned descendants (Linux), so
    that jobs an interrupted parallel leaves behind can be found. Returns
    False where that is not available."""
    libc = _libc()
    return libc is not None and libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0


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
            bar=False, one_at_a_time=False, ssh="ssh", parallel_options="", note=None):
    """Runs the batches (offset, first, last), each recording its SNPs in
    done/<tag>.<first>: through GNU parallel, or one after another without
    it when one job at a time on this machine, without a bar, is asked for
    (GNU parallel's start-up costs more than a short scan's own runs). What
    a stopped run recorded stays recorded; the rest runs again when the scan
    resumes. Over ssh, a batch whose login fails is tried on another machine,
    and note() names the machines whose login failed."""
    def job(offset, first, last, name):
        return [job_program(), peltra2, work, counts, offset, first, last, str(base_seed), name] + args

    direct = one_at_a_time and not sshloginfile and not bar
    if not direct and shutil.which("parallel") is None:
        raise RunError("GNU parallel is not installed (Debian package \"parallel\"; see tools/install-deps.sh)")
    jobs_file = os.path.join(work, "batches")
    with open(jobs_file, "w") as f:
        f.write("".join("%d\t%d\t%d\n" % b for b in batches))
    job_log = os.path.join(work, JOB_LOG)
    log_start = os.path.getsize(job_log) if os.path.exists(job_log) else 0
    cmd = ["parallel", "--colsep", "\t", "-q", "--joblog", "+" + job_log]
    if jobs:
        cmd += ["-j", str(jobs)]
    if sshloginfile:
        logins, n = check_logins(sshloginfile, ssh, work, note or (lambda msg: None))
        cmd += ["--sshloginfile", logins, "--ssh", ssh + " " + SSH_OPTIONS, "--retries", str(n + 1)]
    if bar:
        cmd += ["--bar"]
    cmd += shlex.split(parallel_options)
    cmd += job("{1}", "{2}", "{3}", "%d.{2}" % tag) + ["::::", jobs_file]

    received = []
    running = []

    def forward(signum, frame):
        # Stop parallel (or the batch) and its jobs; what finished stays
        # finished. GNU parallel ignores SIGTERM until its first job starts,
        # not SIGINT.
        received.append(signum)
        try:
            running[-1].send_signal(signal.SIGINT)
        except (IndexError, ProcessLookupError):
            pass

    def start(c):
        # close_fds=False: the jobs inherit the work folder's lock.
        running.append(subprocess.Popen(c, cwd=work, stdin=subprocess.DEVNULL, stdout=sys.stderr,
                                        close_fds=False, preexec_fn=die_with_parent(signal.SIGINT)))
        if received:
            running[-1].send_signal(signal.SIGINT)
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
    if sshloginfile:
        for line in login_report(read_job_log(job_log, log_start), sshloginfile):
            if note:
                note(line)
    if not direct and (rc == 255 or rc < 0):
        raise RunError("GNU parallel stopped (exit status %d)" % rc)
    return rc
