"""The work folder of a scan: the count file split into one folder per SNP,
and the settings that a resumed scan must share with the scan it resumes.

Layout:
    peltra2-scan.work     marks the folder as a scan's (nothing else is ever removed)
    settings.json         what the runs depend on; written once the split is complete
    snp/<i>/counts        the one-locus count file of SNP i (from 1)
    snp/<i>/done          written by the job when SNP i's run has ended (see peltra2-scan-job)
    joblog                GNU parallel's job log
"""

import hashlib
import json
import os
import re

MARKER = "peltra2-scan.work"
SETTINGS = "settings.json"
# peltra2 reads lines of at most this many characters.
LINE_MAX_CHARS = 19998

_COUNT_FIELD = re.compile(rb"^ *[+-]?[0-9]+ *$")


class WorkError(Exception):
    pass


def file_digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def _count_fields(line, k, name, lineno):
    """The first k counts of a line, checked as peltra2's reader checks them."""
    fields = [f for f in line.split(b"\t") if f != b""]
    if len(fields) < k:
        raise WorkError('count file "%s", line %d: %d fields where %d populations need %d'
                        % (name, lineno, len(fields), k, k))
    counts = []
    for j, f in enumerate(fields[:k], 1):
        if not _COUNT_FIELD.match(f):
            raise WorkError('count file "%s", line %d, field %d: "%s" is not a count'
                            % (name, lineno, j, f[:40].decode("utf-8", "replace")))
        v = int(f)
        if v < 0 or v > 2147483647:
            raise WorkError('count file "%s", line %d, field %d: %d is not a count' % (name, lineno, j, v))
        counts.append(v)
    return counts


def read_count_file(path, k):
    """The SNPs of a count file as (raw first line, raw second line, counts, totals)."""
    snps = []
    pending = None
    lineno = 0
    with open(path, "rb") as f:
        for raw in f:
            lineno += 1
            line = raw.rstrip(b"\n").rstrip(b"\r")
            if len(line) > LINE_MAX_CHARS:
                raise WorkError('count file "%s", line %d: longer than %d characters' % (path, lineno, LINE_MAX_CHARS))
            counts = _count_fields(line, k, path, lineno)
            if not raw.endswith(b"\n"):
                raw += b"\n"
            if pending is None:
                pending = (raw, counts)
            else:
                totals = [a + b for a, b in zip(pending[1], counts)]
                snps.append((pending[0], raw, pending[1], totals))
                pending = None
    if pending is not None:
        raise WorkError('count file "%s": odd number of lines (%d): the last SNP lacks its second line' % (path, lineno))
    if not snps:
        raise WorkError('count file "%s" holds no SNPs' % path)
    return snps


def read_names(path, n):
    with open(path, encoding="utf-8", errors="replace") as f:
        names = [line.rstrip("\r\n") for line in f]
    if len(names) != n:
        raise WorkError("names file %s has %d lines but the count file has %d SNPs" % (path, len(names), n))
    for i, name in enumerate(names, 1):
        if "\t" in name or name == "":
            raise WorkError("names file %s, line %d: a name must be non-empty and hold no tab" % (path, i))
    return names


def snp_dir(work, i):
    return os.path.join(work, "snp", str(i))


def prepare_folder(work):
    """Creates the work folder, or checks that an existing one is a scan's."""
    if os.path.isdir(work) and os.listdir(work):
        if not os.path.exists(os.path.join(work, MARKER)):
            raise WorkError("%s exists and is not a peltra2-scan work folder; choose another with --work" % work)
        return
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, MARKER), "w") as f:
        f.write("work folder of peltra2-scan\n")


def _write_json_atomically(path, data):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(data, f, indent=1, sort_keys=True)
        f.write("\n")
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, path)


def prepare(work, snps, settings):
    """Splits the SNPs into the work folder, unless it already holds exactly
    this scan (then a stopped scan resumes). Returns True when it resumes."""
    prepare_folder(work)
    settings_path = os.path.join(work, SETTINGS)
    if os.path.exists(settings_path):
        with open(settings_path) as f:
            old = json.load(f)
        if old != settings:
            keys = sorted(k for k in set(old) | set(settings) if old.get(k) != settings.get(k))
            raise WorkError("%s holds a scan with other settings (%s differ); give another --work, "
                            "or remove the folder to start again" % (work, ", ".join(keys)))
        return True
    # No settings: nothing has run yet (a split may have been cut short).
    for i, (first, second, _, _) in enumerate(snps, 1):
        d = snp_dir(work, i)
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "counts"), "wb") as f:
            f.write(first + second)
    _write_json_atomically(settings_path, settings)
    return False


def scan_settings(o, counts_path, n, peltra2_args, base_seed):
    """Everything a run's result depends on, with the contents of its input files."""
    files = {"counts": counts_path, "matrix": o.matrix, "env": o.env}
    if o.samplesize:
        files["samplesize"] = o.samplesize
    return {
        "snps": n,
        "base_seed": base_seed,
        # File paths may change between sessions; their contents may not.
        "peltra2_options": [a if not os.path.isabs(a) else "FILE" for a in peltra2_args],
        "file_contents": {k: file_digest(v) for k, v in sorted(files.items())},
    }
