"""What a session needs from a transport, and what every transport shares.

A transport moves frames (opaque bytes) between peers: it appends them to
named channels, reads them back in the channel's order from a position (a
cursor, whose form only the transport knows; ``"0"`` is the start), and
keeps each channel's latest snapshot. ``EmbeddedTransport`` and
``RedisTransport`` are the two vela offers; any object with the methods of
``Transport`` serves a ``Session``.

Both transports check channel names with ``CheckChannelName``, since a
name becomes a file name in one and a key in the other, and report a
channel they cannot read or write with ``TransportError``.
"""

import re
from typing import List, Optional, Protocol, Tuple, Union

__all__ = ["Buffer", "CheckChannelName", "Entry", "Transport", "TransportError"]

# What a frame may be handed over as.
Buffer = Union[bytes, bytearray, memoryview]
# One frame read from a channel: its position and its bytes.
Entry = Tuple[str, bytes]

_ChannelName = re.compile(r"^[A-Za-z0-9][A-Za-z0-9._-]{0,199}$")


class TransportError(RuntimeError):
    """A channel that cannot be read or written (a corrupt log, a server
    that stays away)."""


def CheckChannelName(channel: str) -> str:
    """The channel name, if it is safe as a file or key name (letters,
    digits, '.', '_', '-', not starting with a dot); else ValueError."""
    if not isinstance(channel, str) or not _ChannelName.match(channel):
        raise ValueError("bad channel name %r: use letters, digits, '.', '_' and '-'" % (channel,))
    return channel


class Transport(Protocol):
    """The calls a Session makes on its transport."""

    def Append(self, channel: str, data: Buffer) -> str:
        """Appends one frame to the channel; returns its position."""
        ...

    def Read(self, channel: str, cursor: str, maxFrames: int = 256,
             blockMs: float = 0) -> Tuple[List[Entry], str]:
        """Frames after cursor, oldest first: (entries, newCursor), at most
        maxFrames of them. With blockMs, waits up to that long for a first
        frame."""
        ...

    def PutSnapshot(self, channel: str, base: str, data: Buffer) -> None:
        """Replaces the channel's latest snapshot: data covers the channel
        up to position base."""
        ...

    def GetSnapshotBase(self, channel: str) -> Optional[str]:
        """The position the latest snapshot covers, or None."""
        ...

    def GetSnapshot(self, channel: str) -> Optional[Tuple[str, bytes]]:
        """(base, frame bytes) of the latest snapshot, or None."""
        ...
