"""A session: one sync layer bound to one channel.

Every peer on a channel applies the same frames in the channel's order to
a replica store of its own and refreshes its layer from that replica, so
all peers converge on the same content; where two peers set the same
field, the one whose frame comes later in the channel wins.
"""

import logging
import uuid
from typing import Callable, Dict, Optional, Set

from pxr import Sdf

from vela.usd import sync
from vela.usd.client import wire
from vela.usd.client.embedded import EmbeddedTransport
from vela.usd.client.transport import Buffer, Transport

__all__ = ["NewPeerName", "Session", "Stats"]

_log = logging.getLogger("vela.usd.client")


def NewPeerName() -> str:
    """A name no other session will have: short, since every frame carries
    it."""
    return uuid.uuid4().hex[:10]


class Stats:
    """What a session sent and received (frames, operations, bytes).
    ``received*`` counts frames from other peers; ``ownFrames`` counts the
    session's own frames read back from the channel."""

    __slots__ = ("sentFrames", "sentOps", "sentBytes", "receivedFrames", "receivedOps",
                 "receivedBytes", "ownFrames", "refusedFrames", "duplicateFrames",
                 "snapshotsWritten", "snapshotsRead")
    sentFrames: int
    sentOps: int
    sentBytes: int
    receivedFrames: int
    receivedOps: int
    receivedBytes: int
    ownFrames: int
    refusedFrames: int
    duplicateFrames: int
    snapshotsWritten: int
    snapshotsRead: int

    def __init__(self) -> None:
        """All counts zero."""
        for name in self.__slots__:
            setattr(self, name, 0)

    def AsDict(self) -> Dict[str, int]:
        """The counts by name, as a dict (for JSON)."""
        return {name: getattr(self, name) for name in self.__slots__}


class Session:
    """Binds the sync layer ``layer`` to the channel ``channel`` of
    ``transport`` (an EmbeddedTransport in the default directory when
    None).

    ``name`` identifies the peer in its frames (by default ten random hex
    digits, unique per session). Every ``snapshotEvery`` frames a peer writes a snapshot, so
    that late joiners replay only what came after it (0: never).
    ``useJson`` sends the JSON form instead of the binary one. With
    ``fromSnapshot`` False, the session replays the channel from its start
    even when there is a snapshot.

    Names must be unique on a channel: a peer's frames are numbered, and a
    number seen before from the same name is taken for a repeated send.
    """

    def __init__(self, layer: Sdf.Layer, channel: str, transport: Optional[Transport] = None,
                 name: Optional[str] = None, snapshotEvery: int = 200, useJson: bool = False,
                 fromSnapshot: bool = True) -> None:
        """Binds layer to channel; a layer that is not a sync layer raises
        ValueError. Nothing is read or sent yet."""
        if layer is None or layer.GetFileFormat().formatId != "vela":
            raise ValueError("a session needs a sync layer (a .vela layer)")
        self.layer = layer
        self.channel = channel
        self.transport: Transport = transport if transport is not None else EmbeddedTransport()
        self.name = name or NewPeerName()
        self.snapshotEvery = snapshotEvery
        self.useJson = useJson
        self.stats = Stats()
        self.left: Set[str] = set()  # peers whose leave frame has been read
        self._replica = sync.SyncData.CreateNew()
        self._cursor = "0"
        self._joined = not fromSnapshot
        self._seq = 0
        self._lastSeq: Dict[str, int] = {}  # origin -> last sequence number applied
        self._snapshotBase: Optional[str] = None  # position the latest known snapshot covers
        self._sinceSnapshot = 0

    @property
    def cursor(self) -> str:
        """The channel position up to which frames have been applied."""
        return self._cursor

    def _Send(self, frame: wire.Frame, coalesce: bool = False) -> int:
        data = wire.EncodeFrame(frame, useJson=self.useJson, coalesce=coalesce)
        self.transport.Append(self.channel, data)
        self.stats.sentFrames += 1
        self.stats.sentOps += frame.opCount
        self.stats.sentBytes += len(data)
        return len(data)

    def Publish(self) -> int:
        """Drains the layer's updates and sends them as one frame (field
        edits that later ones overwrite dropped). Returns the bytes sent,
        0 when there was nothing to send."""
        body = sync.PackLayerUpdates(self.layer)
        if not wire.BodyOpCount(body):
            return 0
        self._seq += 1
        return self._Send(wire.Frame(wire.KindOps, self.name, self._seq, body=body),
                          coalesce=True)

    def Leave(self) -> None:
        """Publishes what is pending, then a frame saying this peer leaves."""
        self.Publish()
        self._seq += 1
        self._Send(wire.Frame(wire.KindLeave, self.name, self._seq))

    def _Join(self) -> bool:
        # A late joiner starts from the latest snapshot, when there is one.
        # True when it did.
        self._joined = True
        found = self.transport.GetSnapshot(self.channel)
        if found is None:
            return False
        base, data = found
        replica = sync.SyncData.CreateNew()
        try:
            wire.ApplyFrame(wire.DecodeFrame(data, unpack=False), replica)
        except wire.FrameError as error:
            _log.error("channel %s: snapshot refused, replaying from the start: %s",
                       self.channel, error)
            return False
        self._replica = replica
        self._cursor = base
        self._snapshotBase = base
        self.stats.snapshotsRead += 1
        return True

    def Pull(self, blockMs: float = 0, progress: Optional[Callable[[int, int], None]] = None,
             batch: int = 256) -> int:
        """Reads every frame the channel holds after this session's
        position (its own included, in channel order), applies them to the
        replica and refreshes the layer from it. Local edits not yet
        published are published first, since the refresh would drop them.

        blockMs waits up to that long for a first frame. progress, when
        given, is called as progress(frames, bytes) after each batch read.
        A frame that cannot be read is refused whole (logged, counted in
        stats.refusedFrames) and skipped by every peer alike. Returns the
        number of frames applied."""
        self.Publish()
        # A snapshot taken on joining changes the replica by itself.
        changed = not self._joined and self._Join()
        applied = frames = nbytes = 0
        wait = blockMs
        while True:
            entries, cursor = self.transport.Read(self.channel, self._cursor, batch, wait)
            wait = 0
            if not entries:
                break
            for position, data in entries:
                frames += 1
                nbytes += len(data)
                if self._ApplyFrame(position, data):
                    applied += 1
                    changed = True
            self._cursor = cursor
            if progress is not None:
                progress(frames, nbytes)
        if changed:
            sync.SyncData.RefreshData(self.layer, self._replica)
            self._MaybeSnapshot()
        return applied

    def _ApplyFrame(self, position: str, data: Buffer) -> bool:
        try:
            frame = wire.DecodeFrame(data, unpack=False)
            if frame.seq <= self._lastSeq.get(frame.origin, 0):
                self.stats.duplicateFrames += 1
                return False
            if frame.kind == wire.KindOps:
                wire.ApplyFrame(frame, self._replica)
        except wire.FrameError as error:
            _log.error("channel %s: frame at %s refused: %s", self.channel, position, error)
            self.stats.refusedFrames += 1
            return False
        self._lastSeq[frame.origin] = frame.seq
        self._sinceSnapshot += 1
        if frame.origin == self.name:
            self.stats.ownFrames += 1
        else:
            self.stats.receivedFrames += 1
            self.stats.receivedOps += frame.opCount
            self.stats.receivedBytes += len(data)
        if frame.kind == wire.KindLeave:
            self.left.add(frame.origin)
        return frame.kind == wire.KindOps

    def _MaybeSnapshot(self) -> None:
        if not self.snapshotEvery or self._sinceSnapshot < self.snapshotEvery:
            return
        latest = self.transport.GetSnapshotBase(self.channel)
        if latest != self._snapshotBase:
            # Another peer wrote one meanwhile; count from there.
            self._snapshotBase = latest
            self._sinceSnapshot = 0
            return
        self.WriteSnapshot()

    def WriteSnapshot(self) -> int:
        """Writes a snapshot of the layer as it stands at the session's
        position: the operations that rebuild it from an empty layer.
        Returns its size in bytes."""
        copy = Sdf.Layer.CreateAnonymous("snapshot.vela")
        sync.SyncData.GetLayerUpdates(copy)
        sync.SyncData.RefreshData(copy, self._replica)
        # The refresh records nothing; moving the content into a second
        # layer records every spec and field as a local edit.
        rebuilt = Sdf.Layer.CreateAnonymous("snapshot.vela")
        sync.SyncData.GetLayerUpdates(rebuilt)
        rebuilt.TransferContent(copy)
        frame = wire.Frame(wire.KindSnapshot, self.name, 0, base=self._cursor,
                           body=sync.PackLayerUpdates(rebuilt))
        data = wire.EncodeFrame(frame, useJson=self.useJson, coalesce=True)
        self.transport.PutSnapshot(self.channel, self._cursor, data)
        self._snapshotBase = self._cursor
        self._sinceSnapshot = 0
        self.stats.snapshotsWritten += 1
        return len(data)
