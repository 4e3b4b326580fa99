"""Writing the files a user asks for so that a failure is never mistaken for
a result: each file appears under its name only once it is whole, a failure
names the file as the user gave it, and a link is written through (to the
file it names) rather than replaced by a file of its own."""

import os
import stat
import sys
import tempfile

from .errors import OutputError


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


def _reason(err):
    return err.strerror or str(err)


class _Pending:
    """One output being written: to a temporary beside its target, or
    straight to a target that is not a regular file (a device, a pipe)."""

    def __init__(self, path, binary):
        self.path = path                  # as the user gave it
        self.binary = binary
        self.temp = None
        self.target = None
        self.direct = False
        # A link is followed to what it names: a link to a file gets that
        # file written, a link to a device gets written to the device.
        target = os.path.realpath(path) if os.path.islink(path) else path
        try:
            mode = os.stat(target).st_mode
        except FileNotFoundError:
            mode = None
        except OSError as err:
            raise OutputError(path, _reason(err)) from None
        if mode is not None and stat.S_ISDIR(mode):
            raise OutputError(path, "it is a folder")
        self.target = target
        self.direct = mode is not None and not stat.S_ISREG(mode)

    def open(self):
        try:
            if self.direct:
                return open(self.target, "wb" if self.binary else "w", **self._text())
            folder = os.path.dirname(self.target) or "."
            fd, self.temp = tempfile.mkstemp(prefix=f".{os.path.basename(self.target)}.part-", dir=folder)
            return os.fdopen(fd, "wb" if self.binary else "w", **self._text())
        except OSError as err:
            raise OutputError(self.path, _reason(err)) from None

    def _text(self):
        return {} if self.binary else {"newline": "", "encoding": "utf-8"}

    def finish(self):
        if self.temp is None:
            return
        try:
            os.chmod(self.temp, 0o666 & ~_umask())
            os.replace(self.temp, self.target)
            self.temp = None
        except OSError as err:
            raise OutputError(self.path, _reason(err)) from None

    def discard(self):
        if self.temp is not None:
            try:
                os.remove(self.temp)
            except OSError:
                pass
            self.temp = None


def write_together(outputs, binary=False):
    """Writes several files, whose names appear only when every file is
    whole, so a failure leaves none of them looking finished.

    Args:
        outputs: (path, write) pairs, write(handle) filling one file; "-" is
            standard output.
        binary: open the files in binary mode.

    Returns:
        None; raises errors.OutputError naming the file that failed.
    """
    pending = []
    try:
        for path, write in outputs:
            if path == "-":
                write(sys.stdout.buffer if binary else sys.stdout)
                try:
                    sys.stdout.flush()
                except OSError as err:
                    raise OutputError("standard output", _reason(err)) from None
                continue
            out = _Pending(path, binary)
            pending.append(out)
            handle = out.open()
            try:
                with handle:
                    write(handle)
            except OSError as err:
                raise OutputError(path, _reason(err)) from None
        for out in pending:
            out.finish()
    except BaseException:
        for out in pending:
            out.discard()
        raise


def write_atomically(path, write, binary=False):
    """One file, written as write_together writes several.

    Args:
        path: the file ("-" for standard output).
        write: write(handle) fills it.
        binary: open it in binary mode.

    Returns:
        None; raises errors.OutputError when it cannot be written.
    """
    write_together([(path, write)], binary)
