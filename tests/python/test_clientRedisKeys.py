"""Where a channel lives on a Redis server: keys under a prefix with the
channel as hash tag, and channels that an earlier release kept under bare
key names moved over once. Needs the server the test command starts
(VELA_TEST_REDIS_URL)."""

import logging
import os
import uuid

import pytest
from pxr import Sdf

from vela.usd.client import RedisTransport, Session
from vela.usd.client import resp
from vela.usd.client.cli import NewSyncLayer
from vela.usd.sync import round as syncRound

pytestmark = pytest.mark.skipif(not os.environ.get("VELA_TEST_REDIS_URL"),
                                reason="needs VELA_TEST_REDIS_URL (the test command sets it)")


@pytest.fixture
def server():
    url = os.environ["VELA_TEST_REDIS_URL"]
    connection = resp.Connection(url)
    yield url, connection
    connection.Close()


def _Session(url, channel, name, **options):
    return Session(NewSyncLayer(name), channel, RedisTransport(url, **options), name=name, snapshotEvery=0)


def _Author(session):
    for path in ("/World", "/World/Chair"):
        Sdf.CreatePrimInLayer(session.layer, path).specifier = Sdf.SpecifierDef
        session.Publish()


def test_a_channel_keeps_to_its_prefix_and_hash_tag(server):
    url, redis = server
    channel = "keys-" + uuid.uuid4().hex[:8]
    a = _Session(url, channel, "A")
    _Author(a)
    a.WriteSnapshot()
    stream, snapshot = "vela:{%s}:stream" % channel, "vela:{%s}:snapshot" % channel
    assert sorted(redis.Execute("KEYS", "*%s*" % channel)) == sorted(
        [stream.encode(), snapshot.encode()])

    # Another prefix is another namespace: same channel name, no frames.
    other = _Session(url, channel, "B", prefix="studio-b:")
    other.Pull()
    assert syncRound.LayerText(other.layer) != syncRound.LayerText(a.layer)
    b = _Session(url, channel, "B")
    b.Pull()
    assert syncRound.LayerText(b.layer) == syncRound.LayerText(a.layer)
    a.transport.Delete(channel)
    assert redis.Execute("KEYS", "*%s*" % channel) == []

    for bad in ("a b", "{x}", "x\n", 3):
        with pytest.raises(ValueError, match="bad key prefix"):
            RedisTransport(url, prefix=bad)


def test_a_channel_under_the_old_names_is_moved_once(server, caplog):
    url, redis = server
    channel = "old-" + uuid.uuid4().hex[:8]
    a = _Session(url, channel, "A")
    _Author(a)
    a.WriteSnapshot()
    expected = syncRound.LayerText(a.layer)
    # As an earlier release left it.
    redis.Execute("RENAME", "vela:{%s}:stream" % channel, channel)
    redis.Execute("RENAME", "vela:{%s}:snapshot" % channel, channel + ":snapshot")
    # A key of someone else's that shares a channel's name is no channel.
    foreign = "old-foreign-" + uuid.uuid4().hex[:8]
    redis.Execute("XADD", foreign, "*", "user", "alice")

    with caplog.at_level(logging.WARNING, logger="vela.usd.client"):
        late = _Session(url, channel, "late")
        late.Pull()
        stranger = _Session(url, foreign, "C")
        stranger.Pull()
    assert syncRound.LayerText(late.layer) == expected
    assert late.stats.snapshotsRead == 1
    moved = [r.getMessage() for r in caplog.records if "moved from the keys" in r.getMessage()]
    assert len(moved) == 1 and channel in moved[0]
    assert redis.Execute("EXISTS", channel, channel + ":snapshot") == 0
    assert redis.Execute("XLEN", foreign) == 1
    assert redis.Execute("EXISTS", "vela:{%s}:stream" % foreign) == 0

    # The moved channel goes on as any other.
    _Author(late)
    a.Pull()
    assert syncRound.LayerText(a.layer) == syncRound.LayerText(late.layer)
    late.transport.Delete(channel)
    redis.Execute("DEL", foreign)
