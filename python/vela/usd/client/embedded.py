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
import struct
import tempfile
import time
import zlib
from typing import List, Optional, Tuple, cast

from vela.usd.client.transport import Buffer, CheckChannelName, Entry, TransportError

__all__ = ["DefaultDirectory", "EmbeddedTransport"]

_log = logging.getLogger("vela.usd.client")

_Magic = b"VLF1"
_Header = struct.Struct("<4sII")
# A read takes at most this many bytes of a log at once.
_ReadChunk = 8 << 20


def DefaultDirectory() -> str:
    """Where channels live unless told otherwise: $VELA_SYNC_DIR, else
    vela-sync in the system's temporary directory."""
    return os.environ.get("VELA_SYNC_DIR") or os.path.join(tempfile.gettempdir(), "vela-sync")


class EmbeddedTransport:
    """Channels as local log files in one directory (created if missing)."""

    name = "embedded"

    def __init__(self, directory: Optional[str] = None) -> None:
        """Opens the channels in directory (DefaultDirectory() when None),
        creating it if missing."""
        self.directory = directory or DefaultDirectory()
        os.makedirs(self.directory, exist_ok=True)

    def __repr__(self) -> str:
        return "EmbeddedTransport(%r)" % self.directory

    def _Path(self, channel: str, suffix: str) -> str:
        return os.path.join(self.directory, CheckChannelName(channel) + suffix)

    def Append(self, channel: str, data: Buffer) -> str:
        """Appends one frame to the channel; returns its position."""
        record = _Header.pack(_Magic, len(data), zlib.crc32(data)) + bytes(data)
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

    def Read(self, channel: str, cursor: str, maxFrames: int = 256,
             blockMs: float = 0) -> Tuple[List[Entry], str]:
        """Frames after cursor: (entries, newCursor), entries a list of
        (position, frame bytes). With blockMs, waits up to that long for
        a first frame. A corrupt log raises TransportError."""
        deadline = time.monotonic() + blockMs / 1000.0
        while True:
            entries, newCursor = self._ReadOnce(channel, cursor, maxFrames)
            if entries or time.monotonic() >= deadline:
                return entries, newCursor
            time.sleep(0.002)

    def _ReadOnce(self, channel: str, cursor: str, maxFrames: int) -> Tuple[List[Entry], str]:
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
            chunk = f.read(min(size - offset, _ReadChunk))
            entries: List[Entry] = []
            pos = 0
            while len(entries) < maxFrames and len(chunk) - pos >= _Header.size:
                magic, length, crc = _Header.unpack_from(chunk, pos)
                if magic != _Magic:
                    raise TransportError("%s: no record at byte %d" % (path, offset + pos))
                end = pos + _Header.size + length
                if end > len(chunk):
                    if offset + end > size:
                        raise TransportError("%s: record at byte %d is cut short"
                                             % (path, offset + pos))
                    if entries:
                        break  # the rest comes with the next read
                    f.seek(offset + pos)
                    chunk = f.read(_Header.size + length)
                    offset, pos, end = offset + pos, 0, _Header.size + length
                data = chunk[pos + _Header.size:end]
                if zlib.crc32(data) != crc:
                    _log.error("%s: record at byte %d fails its checksum; skipped",
                               path, offset + pos)
                    data = b""
                entries.append((str(offset + pos), data))
                pos = end
            if len(entries) < maxFrames and 0 < len(chunk) - pos < _Header.size \
                    and offset + len(chunk) == size:
                raise TransportError("%s: record at byte %d is cut short" % (path, offset + pos))
        return entries, str(offset + pos)

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
        """Removes the channel's log and snapshot."""
        for suffix in (".log", ".snapshot"):
            try:
                os.unlink(self._Path(channel, suffix))
            except FileNotFoundError:
                pass

    def Close(self) -> None:
        """Nothing to release: every call opens and closes its files."""
        pass
