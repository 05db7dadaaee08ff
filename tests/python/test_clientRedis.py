"""Sessions over Redis Streams. They need redis-server (Debian's
redis-server package, which scripts/setup.sh installs); the test command
starts one on a loopback port and names it in VELA_TEST_REDIS_URL. Without
that variable, each test starts its own."""

import json
import os
import shutil
import subprocess
import sys
import threading
import time
import uuid

import pytest
from pxr import Sdf

from vela.usd.client import RedisTransport, Session
from vela.usd.sync import round as syncRound

from redisServers import RedisServer  # noqa: F401 (test_clientFaults takes it from here)

pytestmark = pytest.mark.skipif(shutil.which("redis-server") is None,
                                reason="redis-server is not installed")


@pytest.fixture
def privateRedis(tmp_path):
    server = RedisServer(tmp_path)
    server.Start()
    yield server
    server.Stop()


@pytest.fixture
def redisUrl(tmp_path):
    url = os.environ.get("VELA_TEST_REDIS_URL")
    if url:
        yield url
        return
    server = RedisServer(tmp_path)
    server.Start()
    yield server.url
    server.Stop()


def _Layer(name):
    layer = Sdf.Layer.CreateAnonymous(name + ".vela")
    from vela.usd import sync
    sync.SyncData.GetLayerUpdates(layer)
    return layer


def _Prim(layer, path):
    prim = Sdf.CreatePrimInLayer(layer, path)
    prim.specifier = Sdf.SpecifierDef
    return prim


def test_two_processes_converge_over_redis(redisUrl, tmp_path):
    channel = "procs-" + uuid.uuid4().hex[:8]
    procs = [subprocess.Popen(
        [sys.executable, "-m", "vela.usd.client.cli", "peer", "--channel", channel,
         "--name", name, "--peers", "A,B", "--rounds", "5", "--snapshot-every", "4",
         "--redis", redisUrl, "--result", str(tmp_path / (name + ".json"))])
        for name in ("A", "B")]
    for proc in procs:
        assert proc.wait(timeout=180) == 0
    texts = [json.load(open(tmp_path / (n + ".json")))["layer"] for n in ("A", "B")]
    assert texts[0] == texts[1]

    # A late joiner starts from the snapshot the peers wrote.
    late = Session(_Layer("late"), channel, RedisTransport(redisUrl), name="late")
    late.Pull()
    assert late.stats.snapshotsRead == 1
    assert syncRound.LayerText(late.layer) == texts[0]
    late.transport.Delete(channel)


def test_a_server_restart_loses_nothing_sent(privateRedis):
    channel = "restart"
    a = Session(_Layer("a"), channel, RedisTransport(privateRedis.url), name="A")
    b = Session(_Layer("b"), channel, RedisTransport(privateRedis.url), name="B")
    _Prim(a.layer, "/World")
    a.Pull()
    b.Pull()

    privateRedis.Stop()
    # Published while the server is away: the send is retried until it is
    # back.
    _Prim(a.layer, "/World/WhileDown")
    sender = threading.Thread(target=a.Publish)
    sender.start()
    time.sleep(0.3)
    privateRedis.Start()
    sender.join(timeout=60)
    assert not sender.is_alive()

    _Prim(b.layer, "/World/AfterRestart")
    b.Pull()
    a.Pull()
    assert b.layer.GetPrimAtPath("/World/WhileDown")
    assert a.layer.GetPrimAtPath("/World/AfterRestart")
    assert syncRound.LayerText(a.layer) == syncRound.LayerText(b.layer)
    assert (a.stats.sentFrames, b.stats.receivedFrames) == (2, 2)


def test_append_and_read_is_one_exchange_that_reads_what_it_appended(redisUrl):
    transport = RedisTransport(redisUrl)
    channel = "ar-" + uuid.uuid4().hex[:8]
    try:
        first = transport.Append(channel, b"first")
        ids, entries, cursor, trimmed = transport.AppendAndRead(
            channel, [b"second", b"third"], first)
        assert trimmed is None and [d for _, d in entries] == [b"second", b"third"]
        assert [p for p, _ in entries] == ids and cursor == ids[-1]
        transport.Trim(channel, ids[0])
        ids, entries, cursor, trimmed = transport.AppendAndRead(channel, [b"fourth"], "0")
        # Appended although the cursor was trimmed past; nothing read.
        assert trimmed is not None
        assert entries == [] and cursor == "0"
        assert [d for _, d in transport.Read(channel, trimmed)[0]][-1] == b"fourth"
    finally:
        transport.Delete(channel)


class _SentTwice:
    """A Redis transport whose every exchange lands its frames twice, as a
    retried exchange does when the first try reached the server."""

    def __init__(self, url):
        self.inner = RedisTransport(url)

    def __getattr__(self, name):
        return getattr(self.inner, name)

    def AppendAndRead(self, channel, frames, cursor, *args):
        for data in frames:
            self.inner.Append(channel, data)
        return self.inner.AppendAndRead(channel, frames, cursor, *args)


@pytest.mark.parametrize("useJson", [False, True])
@pytest.mark.parametrize("twice", [False, True])
def test_frames_read_back_from_their_exchange_apply_as_decoded_ones(redisUrl, useJson, twice):
    # A pull takes the frames it sent from what it encoded, not from the
    # channel; the rules and the result are those of a peer decoding them.
    channel = "back-" + uuid.uuid4().hex[:8]
    transport = _SentTwice(redisUrl) if twice else RedisTransport(redisUrl)
    a = Session(_Layer("a"), channel, transport, name="A", useJson=useJson)
    b = Session(_Layer("b"), channel, RedisTransport(redisUrl), name="B")
    _Prim(a.layer, "/World")
    a.Pull()
    for i in range(5):
        _Prim(a.layer, "/World/P%d" % i).documentation = "a%d" % i
        _Prim(b.layer, "/World/Q%d" % i)
        b.Pull()
        a.Pull()
    b.Pull()
    assert syncRound.LayerText(a.layer) == syncRound.LayerText(b.layer)
    assert a.layer.GetPrimAtPath("/World/Q4") and b.layer.GetPrimAtPath("/World/P4")
    # Sent twice, each of A's frames applies once, the second copy (the
    # exchange's own) dropped by its number, on both peers.
    assert a.stats.ownFrames == a.stats.sentFrames == 6
    assert a.stats.duplicateFrames == b.stats.duplicateFrames == (6 if twice else 0)
    assert a.stats.receivedFrames == b.stats.sentFrames
    a.transport.Delete(channel)
