"""Outputs of the Python tools: never an input or another output of the same
run, refused before any work starts; written whole (a temporary file beside
it, then a rename) with the mode a new file gets under the umask, or the mode
of the file it replaces."""

import os
import stat
import tempfile

from .messages import ToolError

STDOUT = "-"


def identity(path):
    """What names the same file by any path: (device, inode) of an existing
    file, else of its folder with the name a rename would give it."""
    try:
        st = os.stat(path)
        return st.st_dev, st.st_ino
    except FileNotFoundError:
        pass
    except OSError:
        return None
    folder, name = os.path.split(path)
    try:
        st = os.stat(folder or ".")
    except OSError:
        return None
    return st.st_dev, st.st_ino, name


def check(outputs, inputs, folders=()):
    """outputs, inputs, folders (outputs that are folders): (label, path)
    pairs, the label naming the option (e.g. "-o", "--counts", "input"); a
    path of None or "-" is left out. Refuses an output that is an input or
    another output, and a file output that cannot be written."""
    seen = {}
    for label, path in inputs:
        if path not in (None, STDOUT):
            ident = identity(path)
            if ident:
                seen.setdefault(ident, (label, path))
    for label, path in list(folders) + list(outputs):
        if path in (None, STDOUT):
            continue
        folder = (label, path) in folders
        if path.endswith("/") and not folder and not os.path.isdir(path):
            # A rename would drop the slash and put the file at the name before it.
            raise ToolError("%s %s ends in /, as a folder does; give a file name" % (label, path))
        bare = (path.rstrip("/") or "/") if folder else path
        ident = identity(bare)
        if ident in seen:
            other, other_path = seen[ident]
            raise ToolError("%s %s is the same file as %s %s; give %s another name"
                            % (label, path, other, other_path, label))
        if ident:
            seen[ident] = (label, path)
        if not folder:
            probe(label, path)
        elif os.path.exists(bare) and not os.path.isdir(bare):
            raise ToolError("%s %s is a file, not a folder; give another name" % (label, path))


def probe(label, path):
    """Refuses a file output that is a folder or whose folder takes no new file."""
    if os.path.isdir(path):
        raise ToolError("%s %s is a folder; give a file name" % (label, path))
    if os.path.exists(path) and not os.path.isfile(path):
        if not os.access(path, os.W_OK):
            raise ToolError("%s %s cannot be written; give another place" % (label, path))
        return
    folder = os.path.dirname(os.path.realpath(path))
    try:
        fd, tmp = tempfile.mkstemp(dir=folder, prefix="." + os.path.basename(path) + ".")
    except OSError as e:
        raise ToolError("%s %s cannot be written (%s); give another place" % (label, path, e.strerror))
    os.close(fd)
    os.unlink(tmp)


def new_file_mode():
    """The mode open() gives a new file under the current umask."""
    mask = os.umask(0)
    os.umask(mask)
    return 0o666 & ~mask


def write_whole(path, content):
    """Writes content (text, bytes, or a function that writes a binary file
    object) to path: a failed write leaves no half file and the earlier file
    intact. A symbolic link keeps pointing at the file it names; a device or
    a pipe (/dev/null, a FIFO) is written to, never replaced."""
    target = os.path.realpath(path)
    try:
        st = os.stat(target)
    except OSError:
        st = None
    if st and not stat.S_ISREG(st.st_mode) and not stat.S_ISDIR(st.st_mode):
        return write_in_place(path, content)
    mode = stat.S_IMODE(st.st_mode) if st else new_file_mode()
    tmp = None
    try:
        fd, tmp = tempfile.mkstemp(dir=os.path.dirname(target), prefix="." + os.path.basename(target) + ".")
        with os.fdopen(fd, "wb") as f:
            fill(f, content)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(tmp, mode)
        os.replace(tmp, target)
        tmp = None
    except OSError as e:
        raise ToolError("cannot write %s: %s" % (path, e.strerror))
    finally:
        if tmp is not None:
            try:
                os.unlink(tmp)
            except OSError:
                pass


def write_in_place(path, content):
    """Writes content to a file that is not a regular one (a device, a pipe)."""
    try:
        with open(path, "wb") as f:
            fill(f, content)
    except OSError as e:
        raise ToolError("cannot write %s: %s" % (path, e.strerror))


def fill(f, content):
    if callable(content):
        content(f)
    else:
        f.write(content.encode("utf-8") if isinstance(content, str) else content)
