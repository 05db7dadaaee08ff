"""A session: one sync layer bound to one channel.

Every peer on a channel applies the same frames in the channel's order to
a replica store of its own and refreshes its layer from that replica, so
all peers converge on the same content. Applying a frame merges what other
peers did concurrently (children added by two peers are both listed; see
docs/client.md for every rule); where two peers set the same field, the
one whose frame comes later in the channel wins. A pull refreshes only the
specs the pulled frames changed.

What ``Publish`` drains from the layer waits in the session's outbox until
the transport has taken it, so a send that fails loses nothing: the next
``Publish`` or ``Pull`` sends it first, under its first frame number.
"""

import logging
import uuid
from typing import Callable, Dict, List, Optional, Set, Tuple

from pxr import Sdf

from vela.usd import sync
from vela.usd.client import wire
from vela.usd.client.embedded import EmbeddedTransport
from vela.usd.client.transport import (Buffer, ChannelTrimmed, Transport, TransportError,
                                       TransportRefused)

__all__ = ["NewPeerName", "Session", "Stats"]

_log = logging.getLogger("vela.usd.client")

_KindOps, _KindLeave = wire.KindOps, wire.KindLeave


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
                 "snapshotsWritten", "snapshotsRead", "snapshotsRefused", "rejoins")
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
    snapshotsRefused: int
    rejoins: int

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

    A peer that writes a snapshot trims the channel's frames up to the
    snapshot before it, so a channel keeps one snapshot interval of frames
    that a snapshot already covers; a peer that fell further behind rejoins
    from the latest snapshot. A peer whose snapshot the transport refuses
    (TransportRefused: a read-only user) logs it and writes no more
    (``snapshotEvery`` becomes 0).
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
        # Per sender, the last frame number applied, and the rule that
        # takes, repeats or refuses the next frame.
        self._ledger = sync.FrameLedger()
        self._snapshotBase: Optional[str] = None  # position the latest known snapshot covers
        self._sinceSnapshot = 0
        # Frames drained from the layer that no transport has taken yet:
        # (bytes, operations), oldest first.
        self._outbox: List[Tuple[bytes, int]] = []

    @property
    def cursor(self) -> str:
        """The channel position up to which frames have been applied."""
        return self._cursor

    @property
    def unsent(self) -> int:
        """The number of frames waiting in the outbox (a send failed)."""
        return len(self._outbox)

    def _Queue(self, frame: wire.Frame, coalesce: bool = False) -> int:
        data = wire.EncodeFrame(frame, useJson=self.useJson, coalesce=coalesce)
        self._outbox.append((data, frame.opCount))
        return len(data)

    def _Sent(self, count: int) -> None:
        stats = self.stats
        for data, ops in self._outbox[:count]:
            stats.sentFrames += 1
            stats.sentOps += ops
            stats.sentBytes += len(data)
        del self._outbox[:count]

    def _Flush(self) -> None:
        # In order, each frame once the transport took it; on a failure the
        # rest waits for the next call.
        while self._outbox:
            self.transport.Append(self.channel, self._outbox[0][0])
            self._Sent(1)

    def _Drain(self) -> int:
        # The layer's updates into the outbox as one frame; its size.
        body = sync.PackLayerUpdates(self.layer, bases=True)
        ops = wire.BodyOpCount(body)
        if not ops:
            return 0
        self._seq += 1
        if self.useJson:
            return self._Queue(wire.Frame(wire.KindOps, self.name, self._seq, body=body,
                                          bases=True), coalesce=True)
        data = wire.EncodeOps(self.name, self._seq, body)
        self._outbox.append((data, ops))
        return len(data)

    def _SendAndRead(self, batch: int, blockMs: float) -> Tuple[List[Tuple[str, bytes]], str]:
        # What waits in the outbox, then a read; in one round trip where
        # the transport can (Redis), since a pull after every edit is the
        # common loop of a live session.
        exchange = getattr(self.transport, "AppendAndRead", None)
        if self._outbox and exchange is not None:
            _, entries, cursor, trimmed = exchange(
                self.channel, [data for data, _ in self._outbox], self._cursor, batch, blockMs)
            self._Sent(len(self._outbox))
            if trimmed is not None:
                raise ChannelTrimmed(self.channel, trimmed)
            return entries, cursor
        self._Flush()
        return self.transport.Read(self.channel, self._cursor, batch, blockMs)

    def Publish(self) -> int:
        """Drains the layer's updates and sends them as one frame (field
        edits that later ones overwrite dropped), after any frame still
        waiting from an earlier failed send. Returns the bytes of the new
        frame, 0 when there was nothing new. When the transport fails,
        raises TransportError; what was drained stays in the outbox and is
        sent first by the next Publish or Pull."""
        size = self._Drain()
        self._Flush()
        return size

    def Leave(self) -> None:
        """Publishes what is pending, then a frame saying this peer leaves."""
        self.Publish()
        self._seq += 1
        self._Queue(wire.Frame(wire.KindLeave, self.name, self._seq))
        self._Flush()

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
            frame = wire.DecodeFrame(data, unpack=False)
            if frame.kind != wire.KindSnapshot:
                raise wire.FrameError("it is not a snapshot frame")
            if frame.base != base:
                raise wire.FrameError("it covers %r, stored as covering %r" % (frame.base, base))
            if not self.transport.HasPosition(self.channel, base):
                raise wire.FrameError("%r is not a position of the channel" % base)
            wire.ApplyFrame(frame, replica)
        except wire.FrameError as error:
            _log.error("channel %s: snapshot refused, replaying from the start: %s",
                       self.channel, error)
            self.stats.snapshotsRefused += 1
            return False
        self._replica = replica
        self._cursor = base
        self._snapshotBase = base
        self._ledger.SetSenders(frame.senders)
        self.stats.snapshotsRead += 1
        return True

    def _Rejoin(self, trimmed: ChannelTrimmed) -> None:
        # The frames after this peer's position are gone: it starts over
        # from the latest snapshot, which covers them.
        _log.warning("channel %s: frames up to %s were trimmed while this peer was at %s; "
                     "rejoining from the latest snapshot", self.channel, trimmed.trimmed,
                     self._cursor)
        self.stats.rejoins += 1
        self._cursor = "0"
        self._ledger = sync.FrameLedger()
        self._replica = sync.SyncData.CreateNew()
        if not self._Join():
            raise TransportError("channel %s: its start was trimmed and it has no snapshot "
                                 "this peer can read" % self.channel) from trimmed

    def Pull(self, blockMs: float = 0, progress: Optional[Callable[[int, int], None]] = None,
             batch: int = 256) -> int:
        """Reads every frame the channel holds after this session's
        position (its own included, in channel order), applies them to the
        replica and refreshes the layer from it. Local edits not yet
        published are published first, since the refresh would drop them.

        blockMs waits up to that long for a first frame. progress, when
        given, is called as progress(frames, bytes) after each batch read.
        A frame that cannot be read is refused whole (logged, counted in
        stats.refusedFrames) and skipped by every peer alike. When the
        transport fails, raises TransportError before the layer is touched,
        so unsent edits stay in it. Returns the number of frames applied."""
        self._Drain()
        # A snapshot taken on joining changes the replica by itself.
        changed = not self._joined and self._Join()
        applied = frames = nbytes = 0
        wait = blockMs
        rejoined = False
        while True:
            try:
                entries, cursor = self._SendAndRead(batch, wait)
            except ChannelTrimmed as trimmed:
                if rejoined:
                    # The snapshot itself lies before what the channel kept.
                    raise TransportError("channel %s: trimmed past its latest snapshot (%s)"
                                         % (self.channel, trimmed.trimmed)) from trimmed
                self._Rejoin(trimmed)
                rejoined = True
                changed = True
                continue
            wait = 0
            if not entries:
                break
            count = self._ApplyFrames(entries)
            if count:
                applied += count
                changed = True
            self._cursor = cursor
            if progress is not None:
                frames += len(entries)
                nbytes += sum(len(data) for _, data in entries)
                progress(frames, nbytes)
            if len(entries) < batch:
                break  # caught up: asking again would only cost a round trip
        if changed:
            # Only the specs the frames changed; a replica that never
            # refreshed this layer (a snapshot's) refreshes it whole.
            sync.SyncData.RefreshChangedData(self.layer, self._replica)
            self._MaybeSnapshot()
        return applied

    def _ApplyFrames(self, entries: List[Tuple[str, Buffer]]) -> int:
        # The frames of one read, in channel order, each by itself: the
        # ledger takes it (applies its operations to the replica as one
        # frame), repeats it (a number seen before from its sender) or
        # refuses it. The frames in the common form are read and taken in
        # one call, the others one by one through the general reader.
        # Returns the number of operation frames applied.
        ledger, replica, name, stats = self._ledger, self._replica, self.name, self.stats
        if type(entries) is not list:
            entries = list(entries)
        applied = at = 0
        while at < len(entries):
            (at, taken, own, received, receivedOps, receivedBytes, repeats, refused,
             left) = ledger.TakeFrames(replica, entries, at, name, self._seq)
            applied += taken
            self._sinceSnapshot += own + received
            stats.ownFrames += own
            stats.receivedFrames += received
            stats.receivedOps += receivedOps
            stats.receivedBytes += receivedBytes
            stats.duplicateFrames += repeats
            for index, error in refused:
                self._Refused(entries[index][0], error)
            if left:
                self.left.update(left)
            if at < len(entries):
                applied += self._ApplyFrame(*entries[at])
                at += 1
        return applied

    def _ApplyFrame(self, position: str, data: Buffer) -> int:
        # One frame through the general reader: 1 when it was an operation
        # frame applied, else 0.
        stats = self.stats
        try:
            frame = wire.DecodeFrame(data, unpack=False)
            if frame.body is not None:
                body, bases = frame.body, frame.bases
            else:  # a JSON frame carries its operations
                body, bases = sync.PackOps(frame.ops, bases=True), True
            ops = self._ledger.Take(self._replica, frame.kind, frame.origin, frame.seq, body,
                                    bases, self.name, self._seq)
        except ValueError as error:  # FrameError, or the ledger's refusal
            self._Refused(position, str(error))
            return 0
        if ops < 0:
            stats.duplicateFrames += 1
            return 0
        self._sinceSnapshot += 1
        if frame.origin == self.name:
            stats.ownFrames += 1
        else:
            stats.receivedFrames += 1
            stats.receivedOps += frame.opCount
            stats.receivedBytes += len(data)
        if frame.kind == _KindLeave:
            self.left.add(frame.origin)
        return 1 if frame.kind == _KindOps else 0

    def _Refused(self, position: str, error: str) -> None:
        _log.error("channel %s: frame at %s refused: %s", self.channel, position, error)
        self.stats.refusedFrames += 1

    def _MaybeSnapshot(self) -> None:
        if not self.snapshotEvery or self._sinceSnapshot < self.snapshotEvery:
            return
        latest = self.transport.GetSnapshotBase(self.channel)
        if latest != self._snapshotBase:
            # Another peer wrote one meanwhile; count from there.
            self._snapshotBase = latest
            self._sinceSnapshot = 0
            return
        try:
            self.WriteSnapshot()
        except TransportRefused as error:
            # A peer that may read the channel but not write it (a
            # read-only user) leaves snapshots to the others.
            _log.warning("channel %s: this peer writes no snapshots, the server refuses them: %s",
                         self.channel, error)
            self.snapshotEvery = 0

    def WriteSnapshot(self) -> int:
        """Writes a snapshot of the layer as it stands at the session's
        position: the operations that rebuild it from an empty layer,
        encoded from the replica. Then trims the channel's frames that the
        snapshot before it covers. Returns the snapshot's size in bytes."""
        frame = wire.Frame(wire.KindSnapshot, self.name, 0, base=self._cursor,
                           body=sync.PackSyncData(self._replica, bases=True),
                           senders=self._ledger.GetSenders(), bases=True)
        data = wire.EncodeFrame(frame, useJson=self.useJson)
        self.transport.PutSnapshot(self.channel, self._cursor, data)
        previous, self._snapshotBase = self._snapshotBase, self._cursor
        self._sinceSnapshot = 0
        self.stats.snapshotsWritten += 1
        if previous is not None and previous != self._cursor:
            self.transport.Trim(self.channel, previous)
        return len(data)
