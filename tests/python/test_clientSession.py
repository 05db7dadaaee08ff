"""Sessions over the embedded transport: peers in step within a process
and across processes, late joiners, refused frames, the log file itself."""

import json
import multiprocessing
import os
import subprocess
import sys

import pytest
from pxr import Sdf

from vela.usd import sync
from vela.usd.client import EmbeddedTransport, Session, TransportError, wire
from vela.usd.sync import round as syncRound


@pytest.fixture
def transport(tmp_path):
    return EmbeddedTransport(str(tmp_path / "channels"))


@pytest.fixture
def peer(transport, syncLayer):
    """A session on channel 'scene' with a new sync layer."""
    def make(name, **kwargs):
        return Session(syncLayer(name + ".vela"), "scene", transport, name=name, **kwargs)
    return make


def _Text(session):
    return syncRound.LayerText(session.layer)


def _Prim(layer, path, typeName="Xform"):
    prim = Sdf.CreatePrimInLayer(layer, path)
    prim.specifier = Sdf.SpecifierDef
    prim.typeName = typeName
    return prim


class TestSession:
    def test_peers_converge_with_the_later_frame_winning(self, peer):
        a, b = peer("A"), peer("B")
        syncRound.EditPeerA(a.layer)
        a.Pull()
        b.Pull()
        assert _Text(b) == _Text(a)

        # Both edit their own prim and the same field before either pulls.
        a.layer.GetAttributeAtPath("/World/Geom/Cube.size").default = 5.0
        b.layer.GetAttributeAtPath("/World/Lights/Key.inputs:intensity").default = 900.0
        a.layer.GetPrimAtPath("/World").documentation = "by A"
        b.layer.GetPrimAtPath("/World").documentation = "by B"
        a.Publish()
        b.Publish()
        a.Pull()
        b.Pull()
        assert _Text(a) == _Text(b)
        assert a.layer.GetPrimAtPath("/World").documentation == "by B"
        assert a.layer.GetAttributeAtPath("/World/Lights/Key.inputs:intensity").default == 900.0
        assert b.layer.GetAttributeAtPath("/World/Geom/Cube.size").default == 5.0
        assert (a.stats.ownFrames, a.stats.receivedFrames) == (2, 1)
        assert not sync.SyncData.GetLayerUpdates(b.layer)  # the refresh is not echoed

    def test_pull_publishes_local_edits_before_refreshing(self, peer):
        a, b = peer("A"), peer("B")
        _Prim(a.layer, "/World")
        a.Pull()
        b.Pull()
        _Prim(b.layer, "/World/Mine")
        _Prim(a.layer, "/Other")
        a.Publish()
        b.Pull()  # would drop /World/Mine if it only refreshed
        a.Pull()
        assert b.layer.GetPrimAtPath("/World/Mine") and a.layer.GetPrimAtPath("/World/Mine")
        assert b.layer.GetPrimAtPath("/Other")

    def test_a_late_joiner_catches_up_from_the_latest_snapshot(self, peer):
        a = peer("A", snapshotEvery=3)
        _Prim(a.layer, "/World")
        for i in range(10):
            _Prim(a.layer, "/World/P%d" % i).SetInfo("active", i % 2 == 0)
            a.Pull()
        assert a.stats.snapshotsWritten == 3
        a.WriteSnapshot()
        nothingAfter = peer("NothingAfter")
        nothingAfter.Pull()
        assert nothingAfter.stats.receivedFrames == 0 and _Text(nothingAfter) == _Text(a)

        _Prim(a.layer, "/World/After")
        a.Publish()

        late = peer("Late")
        late.Pull()
        assert late.stats.snapshotsRead == 1
        assert late.stats.receivedFrames == 1  # after the latest snapshot: /World/After
        assert _Text(late) == _Text(a)

        # The frames before the snapshot before the latest are trimmed: a
        # peer asking for the start rejoins from the snapshot instead.
        early = peer("Early", snapshotEvery=0, fromSnapshot=False)
        early.Pull()
        assert early.stats.rejoins == 1 and _Text(early) == _Text(a)

    def test_a_bad_frame_is_refused_whole_and_the_layer_left_as_it_was(self, peer, transport):
        a, b = peer("A"), peer("B")
        _Prim(a.layer, "/World")
        a.Pull()
        b.Pull()
        before = _Text(b)

        good = wire.EncodeFrame(wire.Frame(wire.KindOps, "X", 1, _OpsOf(
            lambda layer: [_Prim(layer, "/World"), _Prim(layer, "/World/Good")])))
        bad = bytearray(wire.EncodeFrame(wire.Frame(wire.KindOps, "X", 2, _OpsOf(
            lambda layer: [_Prim(layer, "/World"), _Prim(layer, "/World/Bad")]))))
        transport.Append("scene", bytes(bad[:-3]))  # cut short
        bad[-4] = 0xFF                               # an index past its table
        transport.Append("scene", bytes(bad))
        b.Pull()
        assert _Text(b) == before and b.stats.refusedFrames == 2

        transport.Append("scene", good)
        b.Pull()
        assert b.layer.GetPrimAtPath("/World/Good") and not b.layer.GetPrimAtPath("/World/Bad")

    def test_a_frame_sent_twice_is_applied_once(self, peer, transport):
        a, b = peer("A"), peer("B")
        _Prim(a.layer, "/World")
        a.Publish()
        entries, _ = transport.Read("scene", "0")
        transport.Append("scene", entries[0][1])  # as a retried send leaves it
        b.Pull()
        assert (b.stats.receivedFrames, b.stats.duplicateFrames) == (1, 1)

    def test_json_and_binary_peers_share_a_channel(self, peer):
        a, b = peer("A", useJson=True), peer("B")
        syncRound.EditPeerA(a.layer)
        a.Pull()
        b.Pull()
        b.layer.GetPrimAtPath("/World").documentation = "from the binary peer"
        b.Pull()
        a.Pull()
        assert _Text(a) == _Text(b)
        assert a.layer.GetPrimAtPath("/World").documentation == "from the binary peer"

    def test_a_session_needs_a_sync_layer(self, transport):
        with pytest.raises(ValueError):
            Session(Sdf.Layer.CreateAnonymous("x.usda"), "scene", transport)


def _OpsOf(edit):
    layer = Sdf.Layer.CreateAnonymous("ops.vela")
    sync.SyncData.GetLayerUpdates(layer)
    edit(layer)
    return sync.SyncData.GetLayerUpdates(layer)


def _AppendMany(directory, worker, count):
    transport = EmbeddedTransport(directory)
    for i in range(count):
        transport.Append("busy", ("%d:%d:" % (worker, i)).encode() + b"x" * (i * 97 % 5000))


class TestEmbeddedTransport:
    def test_appends_from_several_processes_stay_whole(self, transport):
        context = multiprocessing.get_context("spawn")
        workers = [context.Process(target=_AppendMany, args=(transport.directory, w, 60))
                   for w in range(4)]
        for w in workers:
            w.start()
        for w in workers:
            w.join(60)
            assert w.exitcode == 0
        seen, cursor = [], "0"
        while True:
            entries, cursor = transport.Read("busy", cursor, maxFrames=7)
            if not entries:
                break
            seen.extend(data for _, data in entries)
        assert len(seen) == 240
        for data in seen:
            worker, i, pad = data.split(b":", 2)
            assert pad == b"x" * (int(i) * 97 % 5000)
        for w in range(4):  # each writer's frames in its own order
            mine = [int(d.split(b":")[1]) for d in seen if d.startswith(b"%d:" % w)]
            assert mine == list(range(60))

    def test_a_damaged_log_is_reported(self, transport):
        # (More in test_clientEmbeddedLog.py.)
        transport.Append("scene", b"first")
        transport.Append("scene", b"second")
        path = os.path.join(transport.directory, "scene.log")
        with open(path, "r+b") as f:
            f.seek(12 + 12)
            f.write(b"F")  # the first record's bytes, not its header
        entries, _ = transport.Read("scene", "0")
        assert [data for _, data in entries] == [b"", b"second"]  # refused as a frame
        with open(path, "r+b") as f:
            f.seek(12 + 17)
            f.write(b"XXXX")  # the second record's magic: the log ends after the first
        assert transport.Read("scene", "0") == ([("0", b"")], "17")
        with pytest.raises(TransportError, match="past the end"):
            transport.Read("scene", "36")

    def test_channel_names_must_be_safe_file_names(self, transport):
        for name in ("../x", "", ".hidden", "a/b", "x" * 300):
            with pytest.raises(ValueError):
                transport.Append(name, b"")


class TestProcesses:
    def test_two_processes_editing_at_once_converge(self, tmp_path):
        channel, directory = "procs", str(tmp_path / "channels")
        procs = [subprocess.Popen(
            [sys.executable, "-m", "vela.usd.client.cli", "peer", "--channel", channel,
             "--name", name, "--peers", "A,B", "--rounds", "6", "--snapshot-every", "0",
             "--dir", directory, "--result", str(tmp_path / (name + ".json"))])
            for name in ("A", "B")]
        for proc in procs:
            assert proc.wait(timeout=180) == 0
        results = [json.load(open(tmp_path / (n + ".json"))) for n in ("A", "B")]
        assert results[0]["layer"] == results[1]["layer"]

        # The shared field holds what the last frame setting it said (no
        # snapshots, so the channel keeps every frame).
        transport = EmbeddedTransport(directory)
        last = None
        entries, _ = transport.Read(channel, "0", maxFrames=10000)
        for _, data in entries:
            for op in wire.DecodeFrame(data).ops:
                if op.nodePath == "/World" and op.fieldName == "documentation":
                    last = sync.UnpackValue(op.GetFieldValue())
        replay = Sdf.Layer.CreateAnonymous("check.usda")
        replay.ImportFromString(results[0]["layer"])
        assert replay.GetPrimAtPath("/World").documentation == last
        assert replay.GetPrimAtPath("/World/Looks/Paint5")
        assert replay.GetPrimAtPath("/World/Lights/Bulb5")

    def test_replay_joins_late_and_writes_the_layer(self, peer, transport, tmp_path):
        a = peer("A")
        syncRound.EditPeerA(a.layer)
        a.Pull()
        out = tmp_path / "replayed.usda"
        done = subprocess.run([sys.executable, "-m", "vela.usd.client.cli", "replay", "scene",
                               "--dir", transport.directory, "--usda", str(out)],
                              capture_output=True, text=True, timeout=120)
        assert done.returncode == 0, done.stderr
        assert "1 frames" in done.stdout
        assert out.read_text() == _Text(a)

    def test_the_demo_reports_matching_layers(self, tmp_path):
        done = subprocess.run([sys.executable, "-m", "vela.usd.client.cli", "demo",
                               "--rounds", "3", "--dir", str(tmp_path)],
                              capture_output=True, text=True, timeout=180)
        assert done.returncode == 0, done.stdout + done.stderr
        assert "the layers match" in done.stdout
        assert "peer A:" in done.stdout and "peer B:" in done.stdout
