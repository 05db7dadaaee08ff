"""The Redis transport on a cluster, and durable publishes. A cluster of
three masters with a replica each starts once per test run on loopback
ports (tests/python/redisClusterServers.py); the tests that need servers
are skipped when Debian's redis-server and redis-cli are missing."""

import json
import os
import signal
import subprocess
import sys
import time
import uuid

import pytest
from pxr import Sdf

from vela.usd.client import (RedisTransport, Session, TransportError, TransportRefused,
                             redisCluster, resp)
from vela.usd.client.cli import NewSyncLayer as _Layer
from vela.usd.sync import round as syncRound

import redisClusterServers
import redisServers

_Missing = redisClusterServers.Available()
needsServers = pytest.mark.skipif(_Missing is not None, reason=str(_Missing))


@pytest.fixture(scope="session")
def cluster():
    if _Missing is not None:
        pytest.skip(_Missing)
    servers = redisClusterServers.ClusterServers(masters=3, replicas=1).Start()
    yield servers
    servers.Stop()


def _Unique(stem):
    return "%s-%s" % (stem, uuid.uuid4().hex[:8])


def _Slot(channel):
    return redisCluster.KeySlot(b"vela:{%s}:stream" % channel.encode())


def _Spread(servers, stem, count):
    """At least count channel names of a run's own, drawn until every
    master of servers owns one of them."""
    masters = {node.port for node in servers.Masters()}
    channels = []
    while len(channels) < count or {servers.MasterOfSlot(_Slot(c)) for c in channels} != masters:
        channels.append(_Unique("%s%d" % (stem, len(channels))))
    return channels


class TestAddresses:
    def test_key_slots_follow_crc16_and_hash_tags(self):
        # CRC16/XMODEM of "123456789" is 0x31C3.
        assert redisCluster.KeySlot(b"123456789") == 0x31C3
        assert redisCluster.KeySlot(b"{user1000}.following") == redisCluster.KeySlot(b"user1000")
        # An empty tag is no tag; only the first pair of braces counts.
        assert redisCluster.KeySlot(b"foo{}{bar}") != redisCluster.KeySlot(b"bar")
        assert redisCluster.KeySlot(b"foo{{bar}}zap") == redisCluster.KeySlot(b"{bar")
        assert redisCluster.KeySlot(b"vela:{scene}:stream") == \
            redisCluster.KeySlot(b"vela:{scene}:snapshot")

    @needsServers
    def test_key_slots_match_the_servers(self, cluster):
        node = cluster.nodes[0]
        for key in (b"", b"a", b"123456789", b"foo{}{bar}", b"foo{{bar}}zap", b"{}",
                    b"vela:{scene}:stream", "vela:{sc\u00e9ne}:x".encode(), b"\xff\x00{\x01}",
                    b"x" * 300):
            assert redisCluster.KeySlot(key) == node.Execute("CLUSTER", "KEYSLOT", key), key

    def test_cluster_urls(self):
        seeds, scheme, before, after = redisCluster.ParseClusterUrl(
            "rediss+cluster://u:p%40ss@h1:7001,[::1]:7002,h3/?ssl_cert_reqs=none")
        assert seeds == [("h1", 7001), ("::1", 7002), ("h3", 6379)]
        assert (scheme, before, after) == ("rediss", "u:p%40ss@", "/0?ssl_cert_reqs=none")
        connection = redisCluster.ClusterConnection("redis+cluster://:secret@h1:7001/0")
        address = resp.ParseUrl(connection.NodeUrl(("::1", 7005)))
        assert (address.host, address.port, address.password, address.tls) == \
            ("::1", 7005, "secret", False)
        assert redisCluster.ClusterUrl("h1:1,h2:2") == "redis+cluster://h1:1,h2:2"
        assert redisCluster.ClusterUrl("rediss://h1:1") == "rediss+cluster://h1:1"
        assert RedisTransport("redis://h1:7001", cluster=True).cluster
        assert not RedisTransport("redis://h1:7001").cluster
        for bad in ("redis+cluster://h1:7001/2", "redis+cluster://h1:port",
                    "redis+cluster:///", "redis+cluster://h1?nonsense=1", "redis://h1"):
            with pytest.raises(ValueError):
                redisCluster.ParseClusterUrl(bad)
        for options in ({"replicas": -1}, {"replicas": 1, "replicaTimeout": 0},
                        {"replicas": True}):
            with pytest.raises(ValueError):
                RedisTransport("redis://h1", **options)


@needsServers
class TestCluster:
    def test_channels_spread_over_masters_and_delete(self, cluster):
        transport = RedisTransport(cluster.url)
        masters = {node.port for node in cluster.Masters()}
        channels = _Spread(cluster, "spread", 8)
        for channel in channels:
            transport.Append(channel, b"one")
            transport.PutSnapshot(channel, "0", b"snap")
        # A connection to every master; to no other node but the seed the
        # map was read from.
        connected = {port for _, port in transport._connection._nodes}
        seeds = {port for _, port in transport._connection.seeds}
        assert masters <= connected and connected - masters <= seeds
        for channel in channels:
            entries, _ = transport.Read(channel, "0")
            assert [data for _, data in entries] == [b"one"]
            assert transport.GetSnapshot(channel) == ("0", b"snap")

        channel = channels[0]
        owner = cluster.Node(cluster.MasterOfSlot(_Slot(channel)))
        keys = [b"vela:{%s}:stream" % channel.encode(), b"vela:{%s}:snapshot" % channel.encode()]
        assert owner.Execute("EXISTS", *keys) == 2
        transport.Delete(channel)
        assert owner.Execute("EXISTS", *keys) == 0
        assert transport.Read(channel, "0") == ([], "0")
        assert transport.GetSnapshot(channel) is None
        for channel in channels[1:]:
            transport.Delete(channel)
        transport.Close()

    def test_a_stale_slot_map_is_corrected(self, cluster):
        transport = RedisTransport(cluster.url)
        channel = _Unique("stale")
        first = transport.Append(channel, b"one")
        connection = transport._connection
        slot = _Slot(channel)
        owner = connection.MasterOf(slot)
        wrong = next(node for node in connection.Nodes() if node != owner)
        for s in range(redisCluster.Slots):
            connection.SetSlotOwner(s, wrong)
        refreshes = connection.refreshes
        ids, entries, _, _ = transport.AppendAndRead(channel, [b"two"], "0")
        assert [data for _, data in entries] == [b"one", b"two"]
        assert entries[0][0] == first and entries[1][0] == ids[0]
        assert connection.redirects == 1
        # The MOVED reply corrected the slot at once; the next exchange
        # reads the whole map again.
        assert transport.Read(channel, ids[0]) == ([], ids[0])
        assert connection.refreshes == refreshes + 1
        assert connection.MasterOf(slot) == owner
        transport.Delete(channel)

    def test_a_slot_moving_to_another_master(self, cluster):
        transport = RedisTransport(cluster.url)
        channel = _Unique("moving")
        slot = _Slot(channel)
        source = cluster.Node(cluster.MasterOfSlot(slot))
        target = next(node for node in cluster.Masters() if node is not source)
        sourceId, targetId = (node.Execute("CLUSTER", "MYID") for node in (source, target))
        transport.Read(_Unique("warm"), "0")  # the map, as it stands now
        connection = transport._connection

        # Half way: keys not on the source yet are asked of the target.
        target.Execute("CLUSTER", "SETSLOT", slot, "IMPORTING", sourceId)
        source.Execute("CLUSTER", "SETSLOT", slot, "MIGRATING", targetId)
        try:
            ids, entries, cursor, _ = transport.AppendAndRead(channel, [b"one", b"two"], "0")
            assert [data for _, data in entries] == [b"one", b"two"]
            assert connection.redirects == 1
        finally:
            for node in cluster.Masters() + [target]:
                node.Execute("CLUSTER", "SETSLOT", slot, "NODE", targetId)
        cluster.WaitHealthy()

        # Done: the source answers MOVED, and the keys are on the target.
        ids, entries, _, _ = transport.AppendAndRead(channel, [b"three"], cursor)
        assert [data for _, data in entries] == [b"three"]
        assert connection.redirects == 2
        assert connection.MasterOf(slot) == ("127.0.0.1", target.port)
        assert target.Execute("XLEN", b"vela:{%s}:stream" % channel.encode()) == 3
        transport.Delete(channel)

    def test_the_demo_runs_on_the_cluster(self, cluster):
        seeds = cluster.url.split("://", 1)[1]
        done = subprocess.run([sys.executable, "-m", "vela.usd.client.cli", "demo",
                               "--rounds", "3", "--redis-cluster", seeds],
                              capture_output=True, text=True, timeout=180)
        assert done.returncode == 0, done.stdout + done.stderr
        assert "Redis cluster transport" in done.stdout
        assert "the layers match" in done.stdout

    def test_sixteen_channels_converge_through_a_failover(self, cluster, tmp_path):
        channels = _Spread(cluster, "failover", 16)
        owners = {channel: cluster.MasterOfSlot(_Slot(channel)) for channel in channels}
        assert len(set(owners.values())) >= 2
        victim = cluster.Node(owners[channels[0]])
        replica = cluster.ReplicaOf(victim)
        assert replica is not None
        flag = tmp_path / "killed"
        peer = os.path.join(os.path.dirname(__file__), "clusterPeer.py")
        names = ["A", "B"]
        procs = [subprocess.Popen(
            [sys.executable, peer, cluster.url, name, ",".join(names), ",".join(channels),
             str(flag), str(tmp_path / (name + ".json"))], stdout=subprocess.PIPE, text=True)
            for name in names]
        try:
            for proc in procs:
                assert proc.stdout.readline().strip() == "half"
            victim.Kill(signal.SIGKILL)
            # The replica takes over; the victim comes back as its replica,
            # which durable publishes to those slots wait for meanwhile.
            deadline = time.monotonic() + 60
            while cluster.MasterOfSlot(_Slot(channels[0])) != replica.port:
                assert time.monotonic() < deadline, "no failover"
                time.sleep(0.1)
            victim.Start()
            flag.write_text("")
            for proc in procs:
                assert proc.wait(timeout=240) == 0
        finally:
            for proc in procs:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
            if not victim.alive:
                victim.Start()
        cluster.WaitHealthy()
        assert cluster.MasterOfSlot(_Slot(channels[0])) == replica.port
        results = [json.load(open(tmp_path / (name + ".json"))) for name in names]
        assert sum(result["reconnects"] for result in results) > 0
        for channel in channels:
            views = [result["channels"][channel] for result in results]
            assert views[0]["text"] == views[1]["text"], channel
            for view in views:
                confirmed = set(views[0]["confirmed"]) | set(views[1]["confirmed"])
                assert confirmed <= set(view["prims"]), channel
        transport = RedisTransport(cluster.url)
        for channel in channels:
            transport.Delete(channel)
        transport.Close()


@needsServers
def test_durable_publishes_wait_for_a_replica(tmp_path):
    servers = redisClusterServers.ReplicatedServer().Start()
    try:
        channel = "durable"
        a = Session(_Layer("a"), channel, RedisTransport(servers.url, replicas=1,
                                                         replicaTimeout=1.0), name="A")
        b = Session(_Layer("b"), channel, RedisTransport(servers.url), name="B")
        Sdf.CreatePrimInLayer(a.layer, "/World").specifier = Sdf.SpecifierDef
        a.Publish()
        assert servers.replica.Execute("XLEN", "vela:{durable}:stream") == 1

        # A replica that does not answer: the frame is on the master, but
        # the publish fails and the session keeps it.
        for send in (a.Publish, a.Pull):
            Sdf.CreatePrimInLayer(a.layer, "/World/While" + send.__name__)
            servers.replica.Kill(signal.SIGSTOP)
            try:
                with pytest.raises(TransportError, match="0 of 1 replicas acknowledged"):
                    send()
                assert a.unsent == 1
            finally:
                servers.replica.Kill(signal.SIGCONT)
            send()
            assert a.unsent == 0
        b.Pull()
        assert b.layer.GetPrimAtPath("/World/WhilePublish")
        assert b.layer.GetPrimAtPath("/World/WhilePull")
        assert b.stats.duplicateFrames == 2
        assert (b.stats.receivedFrames, a.stats.sentFrames) == (3, 3)

        # More replicas than there are: every append fails, none is lost.
        transport = RedisTransport(servers.url, replicas=2, replicaTimeout=0.1)
        with pytest.raises(TransportError, match="[01] of 2 replicas acknowledged"):
            transport.Append("durable", b"x")
    finally:
        servers.Stop()


@pytest.mark.skipif(_Missing is not None or not redisServers.RedisHasTls(),
                    reason=str(_Missing or "this redis-server was built without TLS, or "
                                           "openssl is missing"))
def test_a_tls_cluster_carries_channels_and_refuses_a_wrong_ca(tmp_path):
    certificates = redisServers.Certificates(tmp_path)
    servers = redisClusterServers.ClusterServers(masters=3, replicas=0,
                                                 tls=certificates).Start()
    try:
        channels = _Spread(servers, "tls", 6)
        writers = {c: Session(_Layer("a"), c, RedisTransport(servers.url), name="A")
                   for c in channels}
        readers = {c: Session(_Layer("b"), c, RedisTransport(servers.url), name="B")
                   for c in channels}
        for channel, session in writers.items():
            Sdf.CreatePrimInLayer(session.layer, "/World/" + channel.replace("-", "_"))
            session.Publish()
        for channel, session in readers.items():
            session.Pull()
            assert syncRound.LayerText(session.layer) == syncRound.LayerText(
                writers[channel].layer)
        owners = {servers.MasterOfSlot(_Slot(channel)) for channel in channels}
        assert len(owners) >= 2

        # A CA that vouches for none of the nodes: refused at once, the edit
        # kept.
        wrong = servers.url.replace(certificates.ca, certificates.otherCa)
        stranger = Session(_Layer("c"), channels[0], RedisTransport(wrong, retryFor=30),
                           name="C")
        Sdf.CreatePrimInLayer(stranger.layer, "/Elsewhere")
        with pytest.raises(TransportRefused, match="certificate"):
            stranger.Publish()
        assert stranger.unsent
        assert stranger.transport.reconnects == 0
        for session in list(writers.values()) + list(readers.values()):
            session.transport.Close()
    finally:
        servers.Stop()
