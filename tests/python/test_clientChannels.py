"""What both transports promise about a channel's positions: which ones
exist, that a read past the end is an error, and that a trimmed history
loses nothing a reader still needs while other processes append and read.
The Redis cases need VELA_TEST_REDIS_URL (the test command starts a
server and sets it)."""

import json
import os
import subprocess
import sys
import textwrap
import time
import uuid

import pytest

from vela.usd import client
from vela.usd.client import ChannelTrimmed, TransportError

_RedisUrl = os.environ.get("VELA_TEST_REDIS_URL")


@pytest.fixture(params=["embedded", "redis"])
def spec(request, tmp_path):
    """How a process opens the transport: 'embedded:<dir>' or 'redis:<url>'."""
    if request.param == "embedded":
        return "embedded:" + str(tmp_path / "channels")
    if not _RedisUrl:
        pytest.skip("VELA_TEST_REDIS_URL is not set")
    pytest.importorskip("redis")
    return "redis:" + _RedisUrl


def _Open(spec):
    kind, where = spec.split(":", 1)
    return client.EmbeddedTransport(where) if kind == "embedded" else client.RedisTransport(where)


@pytest.fixture
def channel(spec):
    name = "channel-" + uuid.uuid4().hex[:10]
    yield name
    _Open(spec).Delete(name)


_OpenInChild = """
    import json, os, sys, time
    from vela.usd import client
    from vela.usd.client import ChannelTrimmed
    def Open(spec):
        kind, where = spec.split(":", 1)
        return (client.EmbeddedTransport(where) if kind == "embedded"
                else client.RedisTransport(where))
    spec, channel, work = sys.argv[1:4]
    transport = Open(spec)
    """

# Appends 0..count-1 and "end"; halfway it waits until the channel has been
# trimmed, so that the rest goes into the trimmed channel.
_Appender = _OpenInChild + """
    count = int(sys.argv[4])
    for i in range(count):
        if i == count // 2:
            for _ in range(6000):
                if os.path.exists(os.path.join(work, "trimmed")):
                    break
                time.sleep(0.01)
        transport.Append(channel, str(i).encode() + b" " + b"x" * (i % 7 * 300))
    transport.Append(channel, b"end")
    """

# Reads to "end" in small batches, saying after each how far it has read
# (the trimmer trims only up to there); prints the frames as JSON.
_Reader = _OpenInChild + """
    cursor, frames = "0", []
    for _ in range(6000):
        entries, cursor = transport.Read(channel, cursor, maxFrames=16, blockMs=100)
        frames += [data.decode().split(" ")[0] for _, data in entries]
        if entries:
            with open(os.path.join(work, "ack.tmp"), "w") as f:
                f.write(cursor)
            os.replace(os.path.join(work, "ack.tmp"), os.path.join(work, "ack"))
        if frames and frames[-1] == "end":
            break
    print(json.dumps(frames))
    """


def _Start(script, spec, channel, work, *args):
    return subprocess.Popen([sys.executable, "-c", textwrap.dedent(script), spec, channel,
                             str(work)] + [str(a) for a in args],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def test_trimming_while_others_append_and_read_loses_nothing_they_need(spec, channel,
                                                                       tmp_path):
    count = 1500
    transport = _Open(spec)
    reader = _Start(_Reader, spec, channel, tmp_path)
    appender = _Start(_Appender, spec, channel, tmp_path, count)
    trims, last = [], None
    while reader.poll() is None:
        try:
            with open(tmp_path / "ack") as f:
                ack = f.read()
        except FileNotFoundError:
            ack = None
        if ack and ack != last:
            assert transport.HasPosition(channel, ack)
            transport.Trim(channel, ack)
            trims.append(ack)
            last = ack
            (tmp_path / "trimmed").touch()
        time.sleep(0.005)
    out, err = reader.communicate(timeout=60)
    assert reader.returncode == 0, err
    assert appender.wait(timeout=60) == 0, appender.stderr.read()
    assert json.loads(out) == [str(i) for i in range(count)] + ["end"]
    assert trims

    # A reader behind the trim point is told so; one at it reads on.
    with pytest.raises(ChannelTrimmed) as trimmed:
        transport.Read(channel, "0")
    assert trimmed.value.channel == channel
    kept = [d.decode().split(" ")[0] for _, d in transport.Read(channel, trimmed.value.trimmed,
                                                                maxFrames=10000)[0]]
    assert kept == json.loads(out)[len(json.loads(out)) - len(kept):]
    assert transport.HasPosition(channel, "0") and transport.HasPosition(channel, trims[-1])


def test_a_trim_point_never_moves_back_and_delete_removes_it(spec, channel):
    transport = _Open(spec)
    positions = []
    cursor = "0"
    for i in range(5):
        transport.Append(channel, b"frame %d" % i)
        _, cursor = transport.Read(channel, cursor)
        positions.append(cursor)
    transport.Trim(channel, positions[3])
    transport.Trim(channel, positions[1])  # a peer's older snapshot: nothing changes
    with pytest.raises(ChannelTrimmed):
        transport.Read(channel, positions[2])
    assert [d for _, d in transport.Read(channel, positions[3])[0]] == [b"frame 4"]
    # The session trims at what its snapshot covers; "0" covers nothing.
    transport.Trim(channel, "0")

    transport.Delete(channel)
    assert transport.Read(channel, "0") == ([], "0")
    assert not transport.HasPosition(channel, positions[3])
    transport.Append(channel, b"again")
    assert [d for _, d in transport.Read(channel, "0")[0]] == [b"again"]


def test_positions_of_a_channel(spec, channel):
    transport = _Open(spec)
    assert transport.HasPosition(channel, "0")
    assert not transport.HasPosition(channel, "not a position")
    appended = [transport.Append(channel, b"frame %d" % i) for i in range(3)]
    entries, end = transport.Read(channel, "0")
    for position in [p for p, _ in entries] + [end]:
        assert transport.HasPosition(channel, position), position
    assert appended == [p for p, _ in entries]

    if spec.startswith("embedded"):
        between = [str(int(appended[1]) + 1), str(int(end) - 1)]
        beyond = str(int(end) + 1)
    else:
        ms, seq = map(int, appended[1].split("-"))
        between = ["%d-%d" % (ms, seq + 1000)]
        last = int(end.split("-")[0])
        beyond = "%d-0" % (last + 10 ** 6)
    for position in between + [beyond]:
        assert not transport.HasPosition(channel, position), position

    # Trimmed positions stay positions of the channel, not readable ones.
    transport.Trim(channel, appended[2])
    assert transport.HasPosition(channel, appended[1])
    with pytest.raises(ChannelTrimmed):
        transport.Read(channel, appended[1])


def test_a_cursor_past_the_end_is_an_error(spec, channel):
    transport = _Open(spec)
    beyond = "1000" if spec.startswith("embedded") else "%d-0" % (time.time() * 1000 + 10 ** 7)
    with pytest.raises(TransportError, match="past the"):
        transport.Read(channel, beyond)  # no channel at all
    transport.Append(channel, b"frame")
    _, end = transport.Read(channel, "0")
    assert transport.Read(channel, end) == ([], end)
    for read in (lambda: transport.Read(channel, beyond),
                 lambda: transport.Read(channel, beyond, blockMs=50),
                 lambda: transport.Trim(channel, beyond)):
        with pytest.raises(TransportError, match="past the") as error:
            read()
        assert not isinstance(error.value, ChannelTrimmed)
