"""The work folder of a scan: the settings that a resumed scan must share
with the scan it resumes, and one record per finished SNP.

Layout:
    peltra2-scan.work     marks the folder as a scan's (nothing else is ever removed)
    settings.json         what the runs depend on
    lock                  held by a scan and its jobs while they run
    joblog                GNU parallel's job log: a line per batch (host, time, exit status)
    done/<attempt>.<i>    records of the batch that starts at SNP i (see peltra2-scan-job)
    records.tsv           every record, sorted, once the scan is complete (done/ is then empty)
    run/<i>               scratch folder of a running batch
    batches               the batches of the current attempt (offset, first, last)
    freqs/<i>.freqs       with -f: the frequency file of SNP i
"""

import fcntl
import hashlib
import json
import math
import os
import shutil
import time

from peltra2tools.inputs import Extra, count_line
from peltra2tools.messages import ToolError

MARKER = "peltra2-scan.work"
SETTINGS = "settings.json"
RECORDS = "records.tsv"
LAYOUT = 2
# Automatic batches: about this many per job, so that the jobs end together,
# and no larger than this.
BATCHES_PER_JOB = 4
MAX_BATCH = 1000
# peltra2 reads lines of at most this many characters.
LINE_MAX_CHARS = 19998


class WorkError(ToolError):
    pass


_digests = {}


def file_digest(path):
    """SHA-256 of a file's contents, read once per run of the tool (the work
    folder's settings and the table's scan line both need it)."""
    st = os.stat(path)
    key = (st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns)
    if key not in _digests:
        h = hashlib.sha256()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                h.update(block)
        _digests[key] = h.hexdigest()
    return _digests[key]


def read_count_file(path, k):
    """The SNPs of a count file as (raw first line, raw second line, counts,
    totals, byte offset of the first line)."""
    snps = []
    pending = None
    lineno = 0
    offset = 0
    extra = Extra(path, "count file", k)
    with open(path, "rb") as f:
        for raw in f:
            lineno += 1
            start = offset
            offset += len(raw)
            line = raw.rstrip(b"\n").rstrip(b"\r")
            if len(line) > LINE_MAX_CHARS:
                raise WorkError('count file "%s", line %d: longer than %d characters' % (path, lineno, LINE_MAX_CHARS))
            counts = count_line(line, k, path, lineno, extra)
            if not raw.endswith(b"\n"):
                raw += b"\n"
            if pending is None:
                pending = (raw, counts, start)
            else:
                totals = [a + b for a, b in zip(pending[1], counts)]
                snps.append((pending[0], raw, pending[1], totals, pending[2]))
                pending = None
    if pending is not None:
        raise WorkError('count file "%s": odd number of lines (%d): the last SNP lacks its second line' % (path, lineno))
    if not snps:
        raise WorkError('count file "%s" holds no SNPs' % path)
    extra.tell()
    return snps


def prepare_folder(work):
    """Creates the work folder, or checks that an existing one is a scan's."""
    if os.path.isdir(work) and os.listdir(work):
        if not os.path.exists(os.path.join(work, MARKER)):
            raise WorkError("%s exists and is not a peltra2-scan work folder; choose another with --work" % work)
        return
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, MARKER), "w") as f:
        f.write("work folder of peltra2-scan\n")


def _read_settings(work):
    try:
        with open(os.path.join(work, SETTINGS)) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def _other_settings(work, old, settings):
    keys = sorted(k for k in set(old) | set(settings) if old.get(k) != settings.get(k))
    return ("%s holds a scan with other settings (%s differ); give another --work, "
            "or remove the folder to start again" % (work, ", ".join(keys)))


def claim(work, settings, note, poll=0.5):
    """Makes the folder this scan's and holds its lock for this process and
    the jobs it starts (they inherit the descriptor). A folder in use by a
    scan with other settings is refused at once; one in use by the same scan
    (runs of an earlier attempt still ending) is waited for. Returns (lock
    descriptor, whether the folder already held this scan)."""
    prepare_folder(work)
    fd = os.open(os.path.join(work, "lock"), os.O_RDWR | os.O_CREAT, 0o644)
    waiting = False
    while True:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            break
        except BlockingIOError:
            # The holder writes its settings as soon as it has the lock.
            old = _read_settings(work)
            if old is not None and old != settings:
                os.close(fd)
                raise WorkError(_other_settings(work, old, settings) + "; it is in use now")
            if not waiting:
                note("%s is in use by this same scan (a command given twice, or runs of a stopped "
                     "attempt still ending); waiting" % work)
                waiting = True
            time.sleep(poll)
    os.set_inheritable(fd, True)
    return fd, prepare(work, settings)


def _write_json_atomically(path, data):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(data, f, indent=1, sort_keys=True)
        f.write("\n")
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, path)


def prepare(work, settings, freqs=False):
    """Makes the work folder ready for this scan, unless it already holds
    exactly this scan (then a stopped scan resumes) or the finished SNPs of
    another (refused). Returns True when it resumes."""
    prepare_folder(work)
    # Scratch folders of batches that were stopped; no job runs (the lock).
    shutil.rmtree(os.path.join(work, "run"), ignore_errors=True)
    os.makedirs(os.path.join(work, "done"), exist_ok=True)
    if freqs:
        os.makedirs(os.path.join(work, "freqs"), exist_ok=True)
    settings_path = os.path.join(work, SETTINGS)
    if os.path.exists(settings_path):
        with open(settings_path) as f:
            old = json.load(f)
        if old == settings:
            return True
        # A command refused before any SNP finished (its options, its
        # files) leaves nothing to keep: the folder is this scan's now.
        if read_records(work):
            raise WorkError(_other_settings(work, old, settings))
    _write_json_atomically(settings_path, settings)
    return False


def _parse_records(path, records):
    with open(path, "rb") as f:
        data = f.read().decode("utf-8", "replace")
    # A last line without its line break is a record cut short by a crash.
    for line in data.split("\n")[:-1]:
        fields = line.split("\t", 2)
        if len(fields) != 3 or not fields[0].isdigit() or fields[1] not in ("ok", "failed"):
            raise WorkError("%s: unreadable record \"%s\"" % (path, line[:80]))
        i = int(fields[0])
        if i in records:
            raise WorkError("%s: SNP %d recorded twice" % (path, i))
        records[i] = (fields[1], fields[2])


def read_records(work):
    """The records of the finished SNPs: index -> (status, statistics or message)."""
    records = {}
    whole = os.path.join(work, RECORDS)
    if os.path.exists(whole):
        _parse_records(whole, records)
        return records
    done = os.path.join(work, "done")
    names = os.listdir(done) if os.path.isdir(done) else []
    for name in sorted(names):
        _parse_records(os.path.join(done, name), records)
    return records


def consolidate(work, records):
    """Once every SNP is recorded: one file of records instead of one per batch."""
    whole = os.path.join(work, RECORDS)
    if not os.path.exists(whole):
        tmp = whole + ".tmp"
        with open(tmp, "w") as f:
            f.write("".join("%d\t%s\t%s\n" % (i, s, p) for i, (s, p) in sorted(records.items())))
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, whole)
    shutil.rmtree(os.path.join(work, "done"), ignore_errors=True)
    shutil.rmtree(os.path.join(work, "run"), ignore_errors=True)
    try:
        os.unlink(os.path.join(work, "batches"))
    except FileNotFoundError:
        pass


def next_attempt(work):
    """A number larger than that of every earlier attempt's record files."""
    done = os.path.join(work, "done")
    tags = [int(n.split(".")[0]) for n in os.listdir(done) if n.split(".")[0].isdigit()]
    return max(tags, default=0) + 1


def batch_size(pending, slots):
    """SNPs per batch: about BATCHES_PER_JOB batches per job slot, so that
    every slot stays busy to the end, but no more than MAX_BATCH."""
    return max(1, min(MAX_BATCH, math.ceil(pending / (BATCHES_PER_JOB * max(1, slots)))))


def plan_batches(pending, size):
    """Runs of consecutive SNPs (first, last) of at most size SNPs each."""
    out = []
    for i in pending:
        if out and out[-1][1] == i - 1 and i - out[-1][0] < size:
            out[-1][1] = i
        else:
            out.append([i, i])
    return [tuple(b) for b in out]


def scan_settings(o, counts_path, first, last, peltra2_args, base_seed):
    """Everything a run's result depends on, with the contents of its input files."""
    files = {"counts": counts_path, "matrix": o.matrix, "env": o.env}
    if o.samplesize:
        files["samplesize"] = o.samplesize
    return {
        "layout": LAYOUT,
        "snps": [first, last],
        "base_seed": base_seed,
        # File paths may change between sessions; their contents may not.
        "peltra2_options": [a if not os.path.isabs(a) else "FILE" for a in peltra2_args],
        "file_contents": {k: file_digest(v) for k, v in sorted(files.items())},
    }
