"""The embedded transport: one append-only log file per channel, no server.

Every process on the machine that opens the same directory sees the same
channels. Appends take an exclusive ``fcntl`` lock on the log and write a
whole record at once; reads take a shared lock, so a reader never sees half
a record being written. A log starts with a header, then records::

    header: magic "VLH1" | base:u64                          (little-endian)
    record: magic "VLF1" | length:u32 | crc32:u32 | frame bytes

A position in the channel (a cursor) is, as text, the offset in the
channel's history after the last record read; ``"0"`` is the start. The
header's base is the position of the log's first record, so positions stay
valid when ``Trim`` drops the records before a snapshot's base: the log is
rewritten from there into a new file, renamed into place, and every call
that finds the file it locked replaced opens the new one. A log without
the header (as written before trimming existed) has base 0 and is still
read and appended to.

A log heals. An append that never finished (a crash, a full disk) leaves a
record cut short at the end: readers take it as the end for now and the
next writer truncates it, under its lock, before appending. Bytes that hold
no whole record followed by more data (an old writer appended after a torn
record, or the disk damaged them) are skipped up to the next whole record
(its magic, length and checksum check out); a record whose length fits but
whose checksum fails is handed on with empty data, so every reader refuses
it as a frame alike. Each is logged once (per transport object).

The latest snapshot of a channel lives beside its log, in
``<channel>.snapshot``, replaced whole.

Channels are private to their user unless a caller shares a directory on
purpose: the default directory is the user's own (made 0700, and refused
when someone else owns it or others may enter it), and every log and
snapshot is created 0600. A directory the caller names is used as given.
"""

import contextlib
import fcntl
import logging
import os
import stat
import struct
import tempfile
import time
import zlib
from typing import Dict, Iterator, List, Optional, Set, Tuple, cast

from vela.usd.client.transport import (Buffer, ChannelTrimmed, CheckChannelName, Entry,
                                       TransportError)

__all__ = ["DefaultDirectory", "EmbeddedTransport"]

_log = logging.getLogger("vela.usd.client")

_Magic = b"VLF1"
_Header = struct.Struct("<4sII")
_LogMagic = b"VLH1"
_LogHeader = struct.Struct("<4sQ")
# A read hands on at most this many bytes of frames at once (and at least
# one frame).
_ReadChunk = 8 << 20
# How much a log is read ahead of a record header, and scanned at once for
# the next whole record.
_ReadAhead = 256 << 10

# What Records yields: a whole record, one whose checksum fails (its data
# empty), bytes skipped up to a whole record, a record cut short at the end.
_Whole, _Damaged, _Skipped, _Torn = range(4)

# A log file's identity, to tell a replaced file from the one a cache knew.
_FileKey = Tuple[int, int]


# Logs, snapshots and their temporary files: the user's alone.
_FileMode = 0o600


def DefaultDirectory() -> str:
    """Where channels live unless told otherwise: $VELA_SYNC_DIR, else
    vela-sync in the user's runtime directory ($XDG_RUNTIME_DIR), else
    vela-sync-<uid> in the system's temporary directory."""
    named = os.environ.get("VELA_SYNC_DIR")
    if named:
        return named
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    if runtime and os.path.isabs(runtime) and os.path.isdir(runtime):
        return os.path.join(runtime, "vela-sync")
    return os.path.join(tempfile.gettempdir(), "vela-sync-%d" % os.getuid())


def _PrivateDirectory(path: str) -> str:
    # The default directory, made 0700 if missing. One that is there already
    # must be a directory (not a link) of this user's that no one else may
    # enter: a directory someone else made first would let them read every
    # channel and write frames into them.
    try:
        os.mkdir(path, 0o700)
    except FileExistsError:
        pass
    except OSError as error:
        raise TransportError("cannot make the channel directory %s: %s" % (path, error)) from None
    st = os.lstat(path)
    if not stat.S_ISDIR(st.st_mode):
        raise TransportError("the channel directory %s is not a directory: refused (name "
                             "another directory, or set VELA_SYNC_DIR)" % path)
    if st.st_uid != os.getuid():
        raise TransportError("the channel directory %s belongs to user id %d, not to this "
                             "user (%d): refused (name another directory, or set "
                             "VELA_SYNC_DIR)" % (path, st.st_uid, os.getuid()))
    if st.st_mode & 0o077:
        raise TransportError("the channel directory %s is open to other users (mode %03o): "
                             "refused (chmod 700 it, or name another directory)"
                             % (path, stat.S_IMODE(st.st_mode)))
    return path


def _ParsePosition(position: str) -> int:
    if not (isinstance(position, str) and position.isascii() and position.isdigit()):
        raise ValueError("bad cursor %r for an embedded channel" % (position,))
    return int(position)


class _Log:
    """One log file, open and locked: its header, and its records read
    through one read-ahead buffer bounded by the size seen under the lock."""

    def __init__(self, fd: int, path: str, tornSeen: Dict[_FileKey, Tuple[int, int]]) -> None:
        self.fd = fd
        self.path = path
        self._tornSeen = tornSeen
        self._bufferAt = 0
        self._buffer = b""
        st = os.fstat(fd)
        self.key: _FileKey = (st.st_dev, st.st_ino)
        self.size = st.st_size
        head = os.pread(fd, _LogHeader.size, 0)
        if len(head) == _LogHeader.size and head[:4] == _LogMagic:
            self.start, self.base = _LogHeader.size, _LogHeader.unpack(head)[1]
        else:
            self.start, self.base = 0, 0

    def Position(self, offset: int) -> int:
        return self.base + offset - self.start

    def Offset(self, position: int) -> int:
        return position - self.base + self.start

    @property
    def end(self) -> int:
        """The position of the log's end."""
        return self.Position(self.size)

    def _Get(self, offset: int, count: int) -> bytes:
        count = min(count, self.size - offset)
        if not self._bufferAt <= offset <= offset + count <= self._bufferAt + len(self._buffer):
            self._bufferAt = offset
            self._buffer = os.pread(self.fd, min(max(count, _ReadAhead), self.size - offset),
                                    offset)
            if len(self._buffer) < count:
                raise TransportError("%s: shorter than it was under the lock" % self.path)
        at = offset - self._bufferAt
        return self._buffer[at:at + count]

    def _RecordAt(self, offset: int) -> Tuple[Optional[bytes], Optional[int]]:
        # (the frame if a whole record starts at offset, else None; where
        # the record's length says it ends, None if past the file's end or
        # no record starts there).
        head = self._Get(offset, _Header.size)
        if len(head) < _Header.size:
            return None, None
        magic, length, crc = _Header.unpack(head)
        end = offset + _Header.size + length
        if magic != _Magic or end > self.size:
            return None, None
        data = self._Get(offset + _Header.size, length)
        return (data if zlib.crc32(data) == crc else None), end

    def _NextWhole(self, offset: int) -> Optional[int]:
        # The offset of the first whole record at or after offset.
        while offset + _Header.size <= self.size:
            window = self._Get(offset, _ReadAhead)
            at = window.find(_Magic)
            while at >= 0:
                if self._RecordAt(offset + at)[0] is not None:
                    return offset + at
                at = window.find(_Magic, at + 1)
            # A magic cut by the window's end is found in the next one.
            offset += len(window) - (len(_Magic) - 1)
        return None

    def Records(self, offset: int) -> Iterator[Tuple[int, int, int, bytes]]:
        """(kind, offset, end, frame) from offset on, to the file's end or
        to a record cut short there (_Torn, always last)."""
        while offset < self.size:
            data, end = self._RecordAt(offset)
            if data is not None:
                yield _Whole, offset, cast(int, end), data
                offset = cast(int, end)
                continue
            # A reader polling a torn tail does not scan it again until the
            # log grows.
            if self._tornSeen.get(self.key) == (offset, self.size):
                yield _Torn, offset, self.size, b""
                return
            following = self._NextWhole(offset + 1)
            if end is not None and (following is None or following >= end):
                # Framed, and no whole record starts inside it: the bytes
                # inside are damaged, its length is not. (Where one does,
                # the length is what was damaged, or the record was torn
                # and another written after it.)
                yield _Damaged, offset, end, b""
                offset = end
            elif following is None:
                self._tornSeen[self.key] = (offset, self.size)
                yield _Torn, offset, self.size, b""
                return
            else:
                yield _Skipped, offset, following, b""
                offset = following

    def IsPosition(self, position: int) -> bool:
        """Whether position is the log's start or the end of a record in
        it (one whose checksum fails included)."""
        if position == self.base:
            return True
        target = self.Offset(position)
        for kind, _, end, _ in self.Records(self.start):
            if kind in (_Whole, _Damaged) and end >= target:
                return end == target
        return False

    def CleanEnd(self, offset: int) -> int:
        """Where the log's records end, from a record boundary at offset:
        the file's end, or the start of a record cut short there."""
        # Framing alone first (the common case: whole records to the end);
        # anything irregular goes through the checked walk.
        last = None
        at = offset
        while at + _Header.size <= self.size:
            magic, length, _ = _Header.unpack(self._Get(at, _Header.size))
            if magic != _Magic or at + _Header.size + length > self.size:
                break
            last, at = at, at + _Header.size + length
        if at == self.size and (last is None or self._RecordAt(last)[0] is not None):
            return self.size
        for kind, start, _, _ in self.Records(offset):
            if kind == _Torn:
                return start
        return self.size


class EmbeddedTransport:
    """Channels as local log files in one directory (created if missing)."""

    name = "embedded"

    def __init__(self, directory: Optional[str] = None) -> None:
        """Opens the channels in directory, creating it if missing. Without
        one, the user's private DefaultDirectory(); TransportError when that
        belongs to someone else or is open to other users."""
        named = directory or os.environ.get("VELA_SYNC_DIR")
        if named:
            self.directory = named
            os.makedirs(self.directory, exist_ok=True)
        else:
            self.directory = _PrivateDirectory(DefaultDirectory())
        # Per log file: an offset up to which its records are known whole,
        # so that an append checks only what came after.
        self._knownEnd: Dict[_FileKey, int] = {}
        # Per log file: a torn tail seen, (offset, file size then).
        self._tornSeen: Dict[_FileKey, Tuple[int, int]] = {}
        # (file, offset, kind) of damage already logged.
        self._logged: Set[Tuple[_FileKey, int, int]] = set()

    def __repr__(self) -> str:
        return "EmbeddedTransport(%r)" % self.directory

    def _Path(self, channel: str, suffix: str) -> str:
        return os.path.join(self.directory, CheckChannelName(channel) + suffix)

    @contextlib.contextmanager
    def _Locked(self, path: str, exclusive: bool, create: bool = False) -> Iterator[Optional[_Log]]:
        # The log at path, locked; None when there is none. A file replaced
        # (trimmed) or removed while waiting for its lock is not the
        # channel's any more: open what the path names now.
        flags = (os.O_RDWR | os.O_APPEND | (os.O_CREAT if create else 0)) if exclusive \
            else os.O_RDONLY
        while True:
            try:
                fd = os.open(path, flags, _FileMode)
            except FileNotFoundError:
                yield None
                return
            try:
                fcntl.flock(fd, fcntl.LOCK_EX if exclusive else fcntl.LOCK_SH)
                st = os.fstat(fd)
                try:
                    now = os.stat(path)
                    current = (now.st_dev, now.st_ino) == (st.st_dev, st.st_ino)
                except FileNotFoundError:
                    current = False
                if current:
                    yield _Log(fd, path, self._tornSeen)
                    return
            finally:
                os.close(fd)  # releases the lock

    def _LogOnce(self, log: _Log, offset: int, kind: int, level: int, message: str,
                 *args: object) -> None:
        if (log.key, offset, kind) not in self._logged:
            self._logged.add((log.key, offset, kind))
            _log.log(level, message, *args)

    def Append(self, channel: str, data: Buffer) -> str:
        """Appends one frame to the channel; returns its position. A record
        cut short at the log's end (an append that never finished) is
        truncated first. A write that fails raises TransportError."""
        record = _Header.pack(_Magic, len(data), zlib.crc32(data)) + bytes(data)
        path = self._Path(channel, ".log")
        with self._Locked(path, exclusive=True, create=True) as log:
            assert log is not None
            if log.start == 0 and log.size < _LogHeader.size:
                clean = 0  # no whole record fits: a new log, or a torn first one
            else:
                known = self._knownEnd.get(log.key, log.start)
                clean = log.CleanEnd(known if log.start <= known <= log.size else log.start)
            try:
                if clean < log.size:
                    _log.warning("%s: a record cut short at position %d (%d bytes, an "
                                 "append that never finished) truncated", path,
                                 log.Position(clean), log.size - clean)
                    os.ftruncate(log.fd, clean)
                    log.size = clean
                if log.size == 0:
                    _Write(log.fd, _LogHeader.pack(_LogMagic, 0))
                    log.start = log.size = _LogHeader.size
                offset = log.size
                try:
                    _Write(log.fd, record)
                except OSError:
                    # Leave no torn record behind when the process lives on.
                    os.ftruncate(log.fd, offset)
                    raise
            except OSError as error:
                raise TransportError("%s: append failed: %s" % (path, error)) from None
            self._knownEnd[log.key] = offset + len(record)
            return str(log.Position(offset))

    def Read(self, channel: str, cursor: str, maxFrames: int = 256,
             blockMs: float = 0) -> Tuple[List[Entry], str]:
        """Frames after cursor: (entries, newCursor), entries a list of
        (position, frame bytes). With blockMs, waits up to that long for
        a first frame. A cursor before the log's trimmed start raises
        ChannelTrimmed, one past its end TransportError."""
        deadline = time.monotonic() + blockMs / 1000.0
        while True:
            entries, newCursor = self._ReadOnce(channel, cursor, maxFrames)
            if entries or time.monotonic() >= deadline:
                return entries, newCursor
            time.sleep(0.002)

    def _ReadOnce(self, channel: str, cursor: str, maxFrames: int) -> Tuple[List[Entry], str]:
        position = _ParsePosition(cursor)
        path = self._Path(channel, ".log")
        with self._Locked(path, exclusive=False) as log:
            if log is None:
                if position:
                    raise TransportError("%s: cursor %d is past the end (no log)"
                                         % (path, position))
                return [], cursor
            self._CheckCursor(channel, log, position)
            entries: List[Entry] = []
            offset = log.Offset(position)
            taken = 0
            for kind, start, end, data in log.Records(offset):
                if kind == _Torn:
                    self._LogOnce(log, start, kind, logging.WARNING,
                                  "%s: the record at position %d is cut short (an append "
                                  "that never finished); read as the end", path,
                                  log.Position(start))
                    break
                if kind == _Skipped:
                    self._LogOnce(log, start, kind, logging.ERROR,
                                  "%s: positions %d to %d hold no whole record; skipped",
                                  path, log.Position(start), log.Position(end))
                    offset = end
                    continue
                if kind == _Damaged:
                    self._LogOnce(log, start, kind, logging.ERROR,
                                  "%s: the record at position %d fails its checksum; "
                                  "handed on empty", path, log.Position(start))
                entries.append((str(log.Position(start)), data))
                offset = end
                taken += end - start
                if len(entries) >= maxFrames or taken >= _ReadChunk:
                    break
            if offset > self._knownEnd.get(log.key, 0) and not (
                    entries == [] and offset == log.Offset(position)):
                self._knownEnd[log.key] = offset
            return entries, str(log.Position(offset))

    @staticmethod
    def _CheckCursor(channel: str, log: _Log, position: int) -> None:
        if position < log.base:
            raise ChannelTrimmed(channel, str(log.base))
        if position > log.end:
            raise TransportError("%s: cursor %d is past the end (%d)"
                                 % (log.path, position, log.end))

    def Trim(self, channel: str, before: str) -> None:
        """Drops the log's records before position before, which must be a
        position of the channel (else TransportError): the log is rewritten
        from there into a new file (its header's base that position) and
        renamed into place, under the old file's exclusive lock. Reads from
        a position before it raise ChannelTrimmed."""
        position = _ParsePosition(before)
        path = self._Path(channel, ".log")
        with self._Locked(path, exclusive=True) as log:
            if log is None or position <= log.base:
                if log is None and position:
                    raise TransportError("%s: cannot trim to %d, past the end (no log)"
                                         % (path, position))
                return
            if position > log.end:
                raise TransportError("%s: cannot trim to %d, past the end (%d)"
                                     % (path, position, log.end))
            if not log.IsPosition(position):
                raise TransportError("%s: cannot trim to %d, not a position of the channel"
                                     % (path, position))
            # One name per channel: only the holder of the log's lock writes it.
            temp = self._Path(channel, ".trim")
            try:
                with os.fdopen(os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, _FileMode),
                               "wb") as out:
                    out.write(_LogHeader.pack(_LogMagic, position))
                    at = log.Offset(position)
                    while at < log.size:
                        chunk = os.pread(log.fd, min(_ReadChunk, log.size - at), at)
                        if not chunk:
                            break
                        out.write(chunk)
                        at += len(chunk)
                    out.flush()
                    os.fsync(out.fileno())
                os.replace(temp, path)
            except OSError as error:
                with contextlib.suppress(FileNotFoundError):
                    os.unlink(temp)
                raise TransportError("%s: trim failed: %s" % (path, error)) from None
            _log.info("%s: %d bytes before position %d trimmed", path,
                      log.Offset(position) - log.start, position)

    def HasPosition(self, channel: str, position: str) -> bool:
        """Whether position is "0", the start of the log or the end of a
        record in it, or a position trimmed away; never one past the end."""
        path = self._Path(channel, ".log")
        try:
            wanted = _ParsePosition(position)
        except ValueError:
            return False
        if wanted == 0:
            return True
        with self._Locked(path, exclusive=False) as log:
            if log is None or wanted > log.end:
                return False
            return wanted < log.base or log.IsPosition(wanted)

    def PutSnapshot(self, channel: str, base: str, data: Buffer) -> None:
        """Replaces the channel's latest snapshot: data covers the channel
        up to position base."""
        path = self._Path(channel, ".snapshot")
        fd, temp = tempfile.mkstemp(dir=self.directory, prefix=".snapshot-")
        try:
            with os.fdopen(fd, "wb") as f:
                baseBytes = base.encode("ascii")
                f.write(struct.pack("<I", len(baseBytes)) + baseBytes + bytes(data))
            os.replace(temp, path)
        except BaseException:
            if os.path.exists(temp):
                os.unlink(temp)
            raise

    def _ReadSnapshot(self, channel: str,
                      headerOnly: bool) -> Optional[Tuple[str, Optional[bytes]]]:
        try:
            with open(self._Path(channel, ".snapshot"), "rb") as f:
                head = f.read(4)
                if len(head) < 4:
                    return None
                (length,) = struct.unpack("<I", head)
                base = f.read(length)
                if len(base) != length:
                    return None
                return base.decode("ascii", "replace"), (None if headerOnly else f.read())
        except FileNotFoundError:
            return None

    def GetSnapshotBase(self, channel: str) -> Optional[str]:
        """The position the latest snapshot covers, or None."""
        found = self._ReadSnapshot(channel, True)
        return found[0] if found else None

    def GetSnapshot(self, channel: str) -> Optional[Tuple[str, bytes]]:
        """(base, frame bytes) of the latest snapshot, or None."""
        # Read whole, the frame bytes are there (b"" at the least).
        return cast(Optional[Tuple[str, bytes]], self._ReadSnapshot(channel, False))

    def Delete(self, channel: str) -> None:
        """Removes the channel's log and snapshot (and a trim's leftover)."""
        for suffix in (".log", ".snapshot", ".trim"):
            try:
                os.unlink(self._Path(channel, suffix))
            except FileNotFoundError:
                pass

    def Close(self) -> None:
        """Nothing to release: every call opens and closes its files."""
        pass


def _Write(fd: int, data: bytes) -> None:
    view = memoryview(data)
    while view:
        view = view[os.write(fd, view):]
