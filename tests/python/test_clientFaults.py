"""Faults a session survives: sends that fail, damaged or replayed frames,
damaged snapshots and snapshots that name no position of their channel,
frames that claim to inflate to far more than they hold, history trimmed
while a peer was away."""

import shutil
import struct
import uuid
import zlib

import pytest
from pxr import Sdf

from vela.usd import sync
from vela.usd.client import RedisTransport, Session, TransportError, wire
from vela.usd.client.transport import ChannelTrimmed
from vela.usd.sync import round as syncRound

from test_clientConcurrency import _NewLayer, _OpenTransport, _Prim, transportSpec  # noqa: F401
from test_clientRedis import RedisServer


def _Text(session):
    return syncRound.LayerText(session.layer)


class Flaky:
    """A transport that refuses appends while ``down``, as a server gone
    past its retry window does."""

    def __init__(self, inner):
        self.inner = inner
        self.down = False

    def Append(self, channel, data):
        if self.down:
            raise TransportError("the server is away")
        return self.inner.Append(channel, data)

    def __getattr__(self, name):
        if name == "AppendAndRead":
            # Every send goes through Append, which fails while down.
            raise AttributeError(name)
        return getattr(self.inner, name)


@pytest.fixture
def channel(transportSpec):
    """make(name, **kwargs): a session on one new channel; the transport is
    make.transport."""
    transport = _OpenTransport(transportSpec)
    name = "f-" + uuid.uuid4().hex[:10]

    def make(peer, transport=transport, **kwargs):
        return Session(_NewLayer(peer), name, transport, name=peer, **kwargs)
    make.transport = transport
    make.name = name
    yield make
    transport.Delete(name)


class TestSends:
    def test_a_failed_send_keeps_the_edit_and_sends_it_once_later(self, channel):
        flaky = Flaky(channel.transport)
        a, b = channel("A", transport=flaky), channel("B")
        _Prim(a.layer, "/World")
        a.Pull()
        b.Pull()
        flaky.down = True
        _Prim(a.layer, "/World/WhileDown")
        with pytest.raises(TransportError):
            a.Publish()
        assert a.unsent == 1
        with pytest.raises(TransportError):
            a.Pull()  # the layer is not refreshed over the unsent edit
        assert a.layer.GetPrimAtPath("/World/WhileDown")
        _Prim(a.layer, "/World/AlsoWhileDown")
        with pytest.raises(TransportError):
            a.Publish()
        assert a.unsent == 2
        flaky.down = False
        a.Pull()
        b.Pull()
        assert a.unsent == 0
        for session in (a, b):
            assert session.layer.GetPrimAtPath("/World/WhileDown")
            assert session.layer.GetPrimAtPath("/World/AlsoWhileDown")
        assert _Text(a) == _Text(b)

    @pytest.mark.skipif(shutil.which("redis-server") is None, reason="no redis-server")
    def test_a_redis_server_away_past_the_retry_window_loses_no_edit(self, tmp_path):
        server = RedisServer(tmp_path)
        server.Start()
        try:
            a = Session(_NewLayer("A"), "scene", RedisTransport(server.url, retryFor=0.3),
                        name="A")
            b = Session(_NewLayer("B"), "scene", RedisTransport(server.url), name="B")
            _Prim(a.layer, "/World")
            a.Pull()
            b.Pull()
            server.Stop()
            _Prim(a.layer, "/World/WhileDown")
            with pytest.raises(TransportError):
                a.Publish()
            with pytest.raises(TransportError):
                a.Pull()
            assert a.unsent == 1 and a.layer.GetPrimAtPath("/World/WhileDown")
            server.Start()
            a.Pull()
            b.Pull()
            assert b.layer.GetPrimAtPath("/World/WhileDown")
            assert a.layer.GetPrimAtPath("/World/WhileDown") and a.unsent == 0
        finally:
            server.Stop()

    def test_a_frame_the_server_took_before_failing_is_applied_once(self, channel):
        a, b = channel("A"), channel("B")
        _Prim(a.layer, "/World")
        a.Publish()
        # The same bytes again, as a resend after a lost reply makes them.
        entries, _ = channel.transport.Read(channel.name, "0")
        channel.transport.Append(channel.name, entries[-1][1])
        b.Pull()
        assert b.stats.duplicateFrames == 1 and b.layer.GetPrimAtPath("/World")


class TestDamagedFrames:
    def test_a_damaged_sequence_number_silences_nobody(self, channel):
        a, b = channel("A"), channel("B")
        _Prim(a.layer, "/World")
        a.Publish()
        entries, _ = channel.transport.Read(channel.name, "0")
        data = bytearray(entries[-1][1])
        # Frame 1 of "A" read as 65: the bit that makes the difference.
        at = data.index(b"\x01A") + 2
        assert data[at] == 1
        data[at] = 65
        channel.transport.Append(channel.name, bytes(data))
        _Prim(a.layer, "/World/Second")
        a.Pull()
        b.Pull()
        assert b.stats.refusedFrames == 1 and a.stats.refusedFrames == 1
        for session in (a, b):
            assert session.layer.GetPrimAtPath("/World/Second")

    def test_a_frame_in_a_peers_name_that_it_never_sent_is_refused_by_it(self, channel):
        a = channel("A")
        _Prim(a.layer, "/World")
        a.Pull()
        forged = wire.EncodeFrame(wire.Frame(wire.KindOps, "A", 50, _OpsOf("/Forged")))
        channel.transport.Append(channel.name, forged)
        _Prim(a.layer, "/World/Mine")
        a.Pull()
        assert a.stats.refusedFrames == 1 and a.layer.GetPrimAtPath("/World/Mine")

    def test_a_bomb_is_refused_and_the_channel_goes_on(self, channel):
        a, b = channel("A"), channel("B")
        _Prim(a.layer, "/World")
        a.Publish()
        zeros = zlib.compress(b"\0" * (64 << 20), 9)
        head = bytes((2, wire.KindOps, 1)) + b"\x01X\x01\x00" + wire._Varint(1 << 30)
        channel.transport.Append(channel.name, _WithCrc(head + zeros))
        _Prim(a.layer, "/World/After")
        a.Publish()
        b.Pull()
        assert b.stats.refusedFrames == 1 and b.layer.GetPrimAtPath("/World/After")


def _WithCrc(data):
    return data + struct.pack("<I", zlib.crc32(data))


def _OpsOf(path):
    layer = _NewLayer("ops")
    _Prim(layer, path)
    return sync.SyncData.GetLayerUpdates(layer)


class TestSnapshots:
    def _Scene(self, channel):
        a = channel("A", snapshotEvery=0)
        _Prim(a.layer, "/World")
        for i in range(5):
            _Prim(a.layer, "/World/P%d" % i).documentation = "%d.0" % i
            attr = Sdf.AttributeSpec(a.layer.GetPrimAtPath("/World/P%d" % i), "x",
                                     Sdf.ValueTypeNames.Double)
            attr.default = 1.0
            a.Pull()
        a.WriteSnapshot()
        _Prim(a.layer, "/World/After")
        a.Pull()
        return a

    def test_every_bit_flip_of_a_snapshot_is_refused_and_replayed_past(self, channel):
        a = self._Scene(channel)
        base, good = channel.transport.GetSnapshot(channel.name)
        for i in range(0, len(good), max(1, len(good) // 24)):
            damaged = bytearray(good)
            damaged[i] ^= 0x01
            channel.transport.PutSnapshot(channel.name, base, bytes(damaged))
            late = channel("Late%d" % i)
            late.Pull()
            assert late.stats.snapshotsRefused == 1 and late.stats.snapshotsRead == 0
            assert _Text(late) == _Text(a)

    def test_a_snapshot_whose_position_is_not_in_its_channel_is_refused(self, channel):
        a = self._Scene(channel)
        base, _ = channel.transport.GetSnapshot(channel.name)
        kind = channel.transport.name
        for bad in (("99999999999999-0",) if kind == "redis" else ("3", "999999")):
            frame = wire.Frame(wire.KindSnapshot, "X", 0, base=bad,
                               body=sync.PackSyncData(sync.SyncData.CreateNew()))
            channel.transport.PutSnapshot(channel.name, bad, wire.EncodeFrame(frame))
            late = channel("Late" + bad[:3])
            late.Pull()
            assert late.stats.snapshotsRefused == 1
            assert _Text(late) == _Text(a)


class TestHistory:
    def test_the_channel_keeps_one_snapshot_interval_and_late_peers_converge(self, channel):
        a = channel("A", snapshotEvery=20)
        behind = channel("Behind", snapshotEvery=0)
        _Prim(a.layer, "/World")
        for i in range(10):
            _Prim(a.layer, "/World/G%d" % i)
        a.Pull()
        behind.Pull()
        for i in range(200):
            a.layer.GetPrimAtPath("/World/G%d" % (i % 10)).documentation = "edit %d" % i
            a.Pull()
        entries, _ = channel.transport.Read(channel.name, channel.transport.GetSnapshotBase(
            channel.name), maxFrames=100000)
        assert len(entries) < 20
        # Everything before the snapshot before the latest one is gone.
        kept = _AllEntries(channel.transport, channel.name)
        assert len(kept) <= 2 * 20 + 2
        behind.Pull()
        assert behind.stats.rejoins == 1 and _Text(behind) == _Text(a)
        late = channel("Late")
        late.Pull()
        assert _Text(late) == _Text(a)


def _AllEntries(transport, name):
    # From the first position kept: a cursor before it is refused.
    try:
        entries, _ = transport.Read(name, "0", maxFrames=100000)
        return entries
    except ChannelTrimmed as trimmed:
        entries, _ = transport.Read(name, trimmed.trimmed, maxFrames=100000)
        return entries


class _FrameByFrame:
    """A session's ledger that hands every frame to the general reader."""

    def __init__(self, ledger):
        self.ledger = ledger

    def TakeFrames(self, syncData, entries, start, name, ownSeq):
        return (start, 0, 0, 0, 0, 0, 0, [], [])

    def __getattr__(self, name):
        return getattr(self.ledger, name)


class TestTakingFrames:
    def test_one_call_per_read_takes_what_frame_by_frame_takes(self, channel):
        # A channel of every kind of frame, good and bad, in random order:
        # a peer reading it in one call per read of any size, and one
        # reading frame by frame through the general reader, must end with
        # the same replica, numbers, counts and leavers.
        import random
        rng = random.Random(7)
        writers = [channel("w%d" % k) for k in range(3)]
        for writer in writers:
            writer.Pull()
        root = writers[0]
        _Prim(root.layer, "/World")
        root.Publish()
        frames = []
        for step in range(120):
            writer = rng.choice(writers)
            writer.Pull()
            _Prim(writer.layer, "/World/%s_%d" % (writer.name, step))
            writer.layer.GetPrimAtPath("/World").SetInfo("comment", "step %d" % step)
            writer._Drain()
            data, _ = writer._outbox.pop()
            frame = wire.DecodeFrame(data, unpack=False)
            roll = rng.random()
            if roll < 0.1:
                frames += [data, data]  # a repeated send
            elif roll < 0.2:
                forged = bytearray(data)
                forged[rng.randrange(len(forged))] ^= 1 << rng.randrange(8)
                frames.append(bytes(forged))  # damaged
            elif roll < 0.3:
                frames.append(wire.EncodeFrame(frame, useJson=True))
            elif roll < 0.35:
                frames.append(wire.EncodeFrame(frame, compressAbove=0))
            elif roll < 0.4:
                # A body that does not read, under a good check.
                frames.append(wire.EncodeFrame(wire.Frame(
                    wire.KindOps, writer.name, frame.seq, body=b"\x05garbage", bases=True)))
            elif roll < 0.45:
                frames.append(wire.EncodeFrame(wire.Frame(wire.KindOps, "peer", frame.seq + 500,
                                                          body=frame.body, bases=True)))
            else:
                frames.append(data)
        frames.append(wire.EncodeFrame(wire.Frame(wire.KindLeave, "w1", 10 ** 6)))
        frames.append(wire.EncodeFrame(wire.Frame(wire.KindSnapshot, "w2", 0, base="1")))
        for data in frames:
            channel.transport.Append(channel.name, data)

        oneCall = channel("peer")
        while oneCall.Pull(batch=rng.randrange(1, 40)):
            pass
        frameByFrame = channel("peer")
        frameByFrame._ledger = _FrameByFrame(frameByFrame._ledger)
        frameByFrame.Pull()
        assert oneCall.stats.AsDict() == frameByFrame.stats.AsDict()
        assert oneCall.stats.refusedFrames >= 10 and oneCall.stats.duplicateFrames >= 5
        assert oneCall._ledger.GetSenders() == frameByFrame._ledger.GetSenders()
        assert oneCall.left == frameByFrame.left == {"w1"}
        assert bytes(sync.PackSyncData(oneCall._replica)) == \
            bytes(sync.PackSyncData(frameByFrame._replica))
        assert _Text(oneCall) == _Text(frameByFrame)
