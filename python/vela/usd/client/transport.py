"""What a session needs from a transport, and what every transport shares.

A transport moves frames (opaque bytes) between peers: it appends them to
named channels, reads them back in the channel's order from a position (a
cursor, whose form only the transport knows; ``"0"`` is the start), and
keeps each channel's latest snapshot. ``EmbeddedTransport`` and
``RedisTransport`` are the two vela offers; any object with the methods of
``Transport`` serves a ``Session``.

Both transports check channel names with ``CheckChannelName``, since a
name becomes a file name in one and a key in the other, and report a
channel they cannot read or write with ``TransportError``, or with its
``TransportRefused`` when the server refused the call for good (a wrong
password, an ACL that does not grant it): trying again will not help, and
the caller should not. A channel's
history may be trimmed up to the position its snapshot covers; a read from
before that point raises ``ChannelTrimmed`` rather than skip frames.
"""

import re
from typing import List, Optional, Protocol, Tuple, Union

__all__ = ["Buffer", "ChannelTrimmed", "CheckChannelName", "Entry", "Transport",
           "TransportError", "TransportRefused"]

# What a frame may be handed over as.
Buffer = Union[bytes, bytearray, memoryview]
# One frame read from a channel: its position and its bytes.
Entry = Tuple[str, bytes]

_ChannelName = re.compile(r"[A-Za-z0-9][A-Za-z0-9._-]{0,199}")


class TransportError(RuntimeError):
    """A channel that cannot be read or written (a corrupt log, a server
    that stays away)."""


class TransportRefused(TransportError):
    """A call the server refused, and will refuse again however often it
    is made: a wrong password or user, a command or key its ACL does not
    grant, a key of the wrong type, a TLS certificate that fails
    verification. The message names what was refused."""


class ChannelTrimmed(TransportError):
    """A read from a position whose following frames were trimmed away:
    ``channel`` is the channel, ``trimmed`` the first position still kept
    (a reader starts again from the channel's snapshot)."""

    def __init__(self, channel: str, trimmed: str) -> None:
        # The attributes are the arguments, so that the error pickles.
        super().__init__(channel, trimmed)
        self.channel = channel
        self.trimmed = trimmed

    def __str__(self) -> str:
        return ("channel %s: the frames before position %s were trimmed; "
                "start from its snapshot" % (self.channel, self.trimmed))


def CheckChannelName(channel: str) -> str:
    """The channel name, if it is safe as a file or key name (letters,
    digits, '.', '_', '-', not starting with a dot); else ValueError."""
    if not isinstance(channel, str) or not _ChannelName.fullmatch(channel):
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
        frame. A cursor whose frames were trimmed raises ChannelTrimmed,
        a cursor past the channel's end TransportError."""
        ...

    def Trim(self, channel: str, before: str) -> None:
        """Lets the frames before position before go (the position a
        snapshot covers); the frames after it stay, and reads from a
        position before it raise ChannelTrimmed. A position past the
        channel's end raises TransportError."""
        ...

    def HasPosition(self, channel: str, position: str) -> bool:
        """Whether position is a position of the channel: "0", a position
        a read or an append gave out, or one since trimmed away; never one
        past the end."""
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
