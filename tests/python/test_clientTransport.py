"""What both transports share: one channel-name check and one error type,
so that a caller handles either transport the same way."""

import socket

import pytest

from vela.usd import client

pytest.importorskip("redis")

_BadNames = ("../x", "", ".hidden", "a/b", "a b", "scene\n", "x" * 300, None)


def _ClosedPort():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture(params=["embedded", "redis"])
def transport(request, tmp_path):
    # The Redis client connects on its first command; a refused name never
    # gets that far, so no server is needed here.
    if request.param == "embedded":
        return client.EmbeddedTransport(str(tmp_path / "channels"))
    return client.RedisTransport("redis://127.0.0.1:%d/0" % _ClosedPort(), retryFor=0)


def test_both_transports_refuse_the_same_channel_names(transport):
    calls = [lambda name: transport.Append(name, b"frame"),
             lambda name: transport.Read(name, "0"),
             lambda name: transport.PutSnapshot(name, "0", b"frame"),
             lambda name: transport.GetSnapshotBase(name),
             lambda name: transport.GetSnapshot(name),
             lambda name: transport.Trim(name, "0"),
             lambda name: transport.HasPosition(name, "0"),
             lambda name: transport.Delete(name)]
    for name in _BadNames:
        for call in calls:
            with pytest.raises(ValueError, match="bad channel name"):
                call(name)


def test_a_server_that_stays_away_raises_the_clients_TransportError():
    transport = client.RedisTransport("redis://127.0.0.1:%d/0" % _ClosedPort(), retryFor=0)
    with pytest.raises(client.TransportError, match="XADD"):
        transport.Append("scene", b"frame")
    with pytest.raises(client.TransportError, match="XREAD"):
        transport.Read("scene", "0")
