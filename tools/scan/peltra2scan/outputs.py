"""Outputs that never overwrite an input and are written whole or not at all."""

import os
import tempfile


class OutputError(Exception):
    pass


def _identity(path):
    try:
        st = os.stat(path)
    except OSError:
        return None
    return st.st_dev, st.st_ino


def check_outputs(outputs, inputs):
    """outputs, inputs: lists of (what, path). Refuses an output that is one
    of the inputs or another output (the same file, by any path: compared by
    device and inode), and a file output that cannot be written."""
    seen = {}
    for what, path in inputs:
        ident = _identity(path)
        if ident:
            seen.setdefault(ident, (what, path))
    for what, path in outputs:
        ident = _identity(path)
        if ident in seen:
            other, other_path = seen[ident]
            raise OutputError("%s %s is the %s %s; choose another name" % (what, path, other, other_path))
        if ident:
            seen[ident] = (what, path)


def probe_writable(what, path):
    """Refuses a file that cannot be written (as write_atomically writes it),
    before any work is done."""
    if os.path.isdir(path):
        raise OutputError("%s %s is a folder" % (what, path))
    folder = os.path.dirname(path) or "."
    try:
        fd, tmp = tempfile.mkstemp(dir=folder, prefix="." + os.path.basename(path) + ".")
    except OSError as e:
        raise OutputError("%s %s cannot be written (%s); choose another place"
                          % (what, path, e.strerror))
    os.close(fd)
    os.unlink(tmp)


def write_atomically(path, text):
    """Writes a whole file under a temporary name and then renames it into place."""
    tmp = path + ".tmp"
    try:
        with open(tmp, "w") as f:
            f.write(text)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise
