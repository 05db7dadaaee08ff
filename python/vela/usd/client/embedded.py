"""The embedded transport: one append-only log file per channel, no server.

Every process on the machine that opens the same directory sees the same
channels. Appends take an exclusive ``fcntl`` lock on the log and write a
whole record at once; reads take a shared lock, so a reader never sees half
a record. A record is::

    magic "VLF1" | length:u32 | crc32:u32 | frame bytes      (little-endian)

A position in the channel (a cursor) is the byte offset after the last
record read, as text; ``"0"`` is the start. The latest snapshot of a
channel lives beside its log, in ``<channel>.snapshot``, replaced whole.
"""

import fcntl
import logging
import os
import re
import struct
import tempfile
import time
import zlib

_log = logging.getLogger("vela.usd.client")

_MAGIC = b"VLF1"
_HEADER = struct.Struct("<4sII")
_CHANNEL_NAME = re.compile(r"^[A-Za-z0-9][A-Za-z0-9._-]{0,199}$")
# A read takes at most this many bytes of a log at once.
_READ_CHUNK = 8 << 20


class TransportError(RuntimeError):
    """A channel that cannot be read or written (a corrupt log, a server
    that stays away)."""


def DefaultDirectory():
    """Where channels live unless told otherwise: $VELA_SYNC_DIR, else
    vela-sync in the system's temporary directory."""
    return os.environ.get("VELA_SYNC_DIR") or os.path.join(tempfile.gettempdir(), "vela-sync")


def CheckChannelName(channel):
    """The channel name, if it is safe as a file or key name (letters,
    digits, '.', '_', '-', not starting with a dot); else ValueError."""
    if not isinstance(channel, str) or not _CHANNEL_NAME.match(channel):
        raise ValueError("bad channel name %r: use letters, digits, '.', '_' and '-'" % (channel,))
    return channel


class EmbeddedTransport:
    """Channels as local log files in one directory (created if missing)."""

    name = "embedded"

    def __init__(self, directory=None):
        self.directory = directory or DefaultDirectory()
        os.makedirs(self.directory, exist_ok=True)

    def __repr__(self):
        return "EmbeddedTransport(%r)" % self.directory

    def _Path(self, channel, suffix):
        return os.path.join(self.directory, CheckChannelName(channel) + suffix)

    def Append(self, channel, data):
        """Appends one frame to the channel; returns its position."""
        record = _HEADER.pack(_MAGIC, len(data), zlib.crc32(data)) + bytes(data)
        fd = os.open(self._Path(channel, ".log"), os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX)
            offset = os.lseek(fd, 0, os.SEEK_END)
            view = memoryview(record)
            while view:
                view = view[os.write(fd, view):]
            return str(offset)
        finally:
            os.close(fd)  # releases the lock

    def Read(self, channel, cursor, maxFrames=256, blockMs=0):
        """Frames after cursor: (entries, newCursor), entries a list of
        (position, frame bytes). With blockMs, waits up to that long for
        a first frame. A corrupt log raises TransportError."""
        deadline = time.monotonic() + blockMs / 1000.0
        while True:
            entries, newCursor = self._ReadOnce(channel, cursor, maxFrames)
            if entries or time.monotonic() >= deadline:
                return entries, newCursor
            time.sleep(0.002)

    def _ReadOnce(self, channel, cursor, maxFrames):
        try:
            offset = int(cursor)
        except ValueError:
            raise ValueError("bad cursor %r for an embedded channel" % (cursor,)) from None
        path = self._Path(channel, ".log")
        try:
            f = open(path, "rb")
        except FileNotFoundError:
            return [], cursor
        with f:
            fcntl.flock(f.fileno(), fcntl.LOCK_SH)
            size = os.fstat(f.fileno()).st_size
            if offset > size:
                raise TransportError("%s: cursor %d is past the end (%d bytes)" % (path, offset, size))
            f.seek(offset)
            chunk = f.read(min(size - offset, _READ_CHUNK))
            entries = []
            pos = 0
            while len(entries) < maxFrames and len(chunk) - pos >= _HEADER.size:
                magic, length, crc = _HEADER.unpack_from(chunk, pos)
                if magic != _MAGIC:
                    raise TransportError("%s: no record at byte %d" % (path, offset + pos))
                end = pos + _HEADER.size + length
                if end > len(chunk):
                    if offset + end > size:
                        raise TransportError("%s: record at byte %d is cut short"
                                             % (path, offset + pos))
                    if entries:
                        break  # the rest comes with the next read
                    f.seek(offset + pos)
                    chunk = f.read(_HEADER.size + length)
                    offset, pos, end = offset + pos, 0, _HEADER.size + length
                data = chunk[pos + _HEADER.size:end]
                if zlib.crc32(data) != crc:
                    _log.error("%s: record at byte %d fails its checksum; skipped",
                               path, offset + pos)
                    data = b""
                entries.append((str(offset + pos), data))
                pos = end
            if len(entries) < maxFrames and 0 < len(chunk) - pos < _HEADER.size \
                    and offset + len(chunk) == size:
                raise TransportError("%s: record at byte %d is cut short" % (path, offset + pos))
        return entries, str(offset + pos)

    def PutSnapshot(self, channel, base, data):
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

    def _ReadSnapshot(self, channel, headerOnly):
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

    def SnapshotBase(self, channel):
        """The position the latest snapshot covers, or None."""
        found = self._ReadSnapshot(channel, True)
        return found[0] if found else None

    def GetSnapshot(self, channel):
        """(base, frame bytes) of the latest snapshot, or None."""
        return self._ReadSnapshot(channel, False)

    def Delete(self, channel):
        """Removes the channel's log and snapshot."""
        for suffix in (".log", ".snapshot"):
            try:
                os.unlink(self._Path(channel, suffix))
            except FileNotFoundError:
                pass

    def Close(self):
        pass
