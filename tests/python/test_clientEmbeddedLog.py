"""The embedded transport's log files: a record cut short by a crashed
writer, damaged bytes in the middle, logs written before the header
existed. Crashes are real: a writer process killed by the kernel halfway
through its append (SIGXFSZ, past its RLIMIT_FSIZE)."""

import json
import logging
import os
import signal
import struct
import subprocess
import sys
import textwrap
import zlib

import pytest

from vela.usd.client import ChannelTrimmed, EmbeddedTransport

_HeaderSize = 12  # the log's: magic and base position


def _Record(data):
    return struct.pack("<4sII", b"VLF1", len(data), zlib.crc32(data)) + data


def _Python(code, *args, check=True):
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)] + [str(a) for a in args],
                          capture_output=True, text=True, timeout=120)
    if check:
        assert done.returncode == 0, done.stderr
    return done


# Appends one large frame with the file size limited to a few bytes more than
# the log holds: the kernel takes part of the record, then kills the process
# at its next write, before it can clean up.
_TornAppend = """
    import os, resource, signal, sys
    from vela.usd.client import EmbeddedTransport
    directory = sys.argv[1]
    transport = EmbeddedTransport(directory)
    limit = os.path.getsize(os.path.join(directory, "scene.log")) + int(sys.argv[2])
    signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    transport.Append("scene", b"t" * 100000)
    """

_Append = """
    import sys
    from vela.usd.client import EmbeddedTransport
    transport = EmbeddedTransport(sys.argv[1])
    for frame in sys.argv[2:]:
        transport.Append("scene", frame.encode())
    """

# Follows the channel until it reads "end"; prints the frames as JSON.
_Follow = """
    import json, sys
    from vela.usd.client import EmbeddedTransport
    transport = EmbeddedTransport(sys.argv[1])
    cursor, frames = "0", []
    for _ in range(1200):
        entries, cursor = transport.Read("scene", cursor, maxFrames=1, blockMs=100)
        frames += [data.decode() for _, data in entries]
        if frames and frames[-1] == "end":
            break
    print(json.dumps(frames))
    """


def _Frames(transport, cursor="0"):
    entries, cursor = transport.Read("scene", cursor, maxFrames=10000)
    return [data for _, data in entries], cursor


@pytest.fixture
def transport(tmp_path):
    return EmbeddedTransport(str(tmp_path / "channels"))


def _LogPath(transport):
    return os.path.join(transport.directory, "scene.log")


class TestTornAppend:
    def _Tear(self, transport, keep=20):
        done = _Python(_TornAppend, transport.directory, keep, check=False)
        assert done.returncode == -signal.SIGXFSZ, done.stderr

    def test_readers_stop_before_a_torn_record_and_a_writer_truncates_it(self, transport):
        follower = subprocess.Popen([sys.executable, "-c", textwrap.dedent(_Follow),
                                     transport.directory], stdout=subprocess.PIPE, text=True)
        transport.Append("scene", b"a")
        transport.Append("scene", b"b")
        frames, cursor = _Frames(transport)
        size = os.path.getsize(_LogPath(transport))
        self._Tear(transport)
        assert os.path.getsize(_LogPath(transport)) == size + 20

        # The torn record is the end for now, for a reader that was there
        # and for one joining late; again and again.
        for _ in range(2):
            assert transport.Read("scene", cursor) == ([], cursor)
            assert _Frames(transport) == ([b"a", b"b"], cursor)
        assert transport.HasPosition("scene", cursor)

        # The next writer truncates it before appending.
        done = _Python(_Append, transport.directory, "c", "end")
        assert "cut short" in done.stderr and "truncated" in done.stderr
        assert _Frames(transport, cursor)[0] == [b"c", b"end"]
        assert _Frames(transport)[0] == [b"a", b"b", b"c", b"end"]
        assert follower.wait(timeout=120) == 0
        assert json.loads(follower.stdout.read()) == ["a", "b", "c", "end"]

    def test_a_torn_first_record_and_a_torn_header(self, transport):
        for keep in (20, 5):  # the first record's header whole; the log's header cut
            path = _LogPath(transport)
            if os.path.exists(path):
                os.unlink(path)
            if keep > _HeaderSize:
                transport.Append("scene", b"")  # creates the log
                os.truncate(path, _HeaderSize)
            else:
                open(path, "wb").close()
            self._Tear(transport, keep)
            assert transport.Read("scene", "0") == ([], "0")
            _Python(_Append, transport.directory, "first")
            assert _Frames(transport)[0] == [b"first"]

    def test_a_writer_of_the_released_build_appending_after_a_torn_record(self, transport,
                                                                          caplog):
        transport.Append("scene", b"a")
        self._Tear(transport)
        # A writer that does not heal appends right after the torn bytes;
        # the torn record's length covers the whole record that follows.
        with open(_LogPath(transport), "ab") as f:
            f.write(_Record(b"old writer"))
        with caplog.at_level(logging.ERROR, logger="vela.usd.client"):
            for _ in range(3):
                assert _Frames(transport)[0] == [b"a", b"old writer"]
        assert len([r for r in caplog.records if "skipped" in r.getMessage()]) == 1
        transport.Append("scene", b"b")
        assert _Frames(transport)[0] == [b"a", b"old writer", b"b"]

    def test_a_failed_write_in_a_process_that_lives_on_leaves_no_torn_record(self, transport):
        transport.Append("scene", b"a")
        done = _Python("""
            import os, resource, sys
            from vela.usd.client import EmbeddedTransport, TransportError
            transport = EmbeddedTransport(sys.argv[1])
            size = os.path.getsize(os.path.join(sys.argv[1], "scene.log"))
            resource.setrlimit(resource.RLIMIT_FSIZE, (size + 100, size + 100))
            try:
                transport.Append("scene", b"t" * 100000)
            except TransportError as error:
                print("refused:", error)
            transport.Append("scene", b"small")
            """, transport.directory)
        assert "refused:" in done.stdout and "append failed" in done.stdout
        assert _Frames(transport)[0] == [b"a", b"small"]


def _Damage(path, offset, data):
    with open(path, "r+b") as f:
        f.seek(offset)
        f.write(data)


class TestDamage:
    # (what is damaged in the middle record, at which byte of its record,
    # the bytes written there, the frames read, the lines logged)
    _Cases = [
        ("its frame", 12, b"X", [b"first", b"", b"third"], 1),
        ("its checksum", 8, b"\0\0\0\0", [b"first", b"", b"third"], 1),
        ("its magic", 0, b"XXXX", [b"first", b"third"], 1),
        ("its length, past the end", 4, b"\xff\xff\x00\x00", [b"first", b"third"], 1),
        ("its length, into the next record", 4, b"\x0e\x00\x00\x00", [b"first", b"third"], 1),
        # Framed short of the next record: a damaged record, then bytes
        # that hold none.
        ("its length, short", 4, b"\x01\x00\x00\x00", [b"first", b"", b"third"], 2),
    ]

    @pytest.mark.parametrize("what, at, data, frames, lines", _Cases, ids=[c[0] for c in _Cases])
    def test_a_damaged_record_in_the_middle(self, transport, caplog, what, at, data, frames,
                                            lines):
        transport.Append("scene", b"first")
        second = int(transport.Append("scene", b"second frame"))
        third = transport.Append("scene", b"third")
        _Damage(_LogPath(transport), _HeaderSize + second + at, data)
        with caplog.at_level(logging.ERROR, logger="vela.usd.client"):
            for _ in range(3):  # logged once, not once per read
                entries, end = transport.Read("scene", "0")
                assert [d for _, d in entries] == frames
        assert len(caplog.records) == lines
        assert entries[-1][0] == third
        # A reader that starts at the damage counts it alike.
        assert transport.Read("scene", str(second)) == (entries[1:], end)
        transport.Append("scene", b"fourth")
        assert _Frames(transport, end)[0] == [b"fourth"]

    def test_a_damaged_record_before_a_torn_one_stays_a_record(self, transport):
        transport.Append("scene", b"first")
        second = int(transport.Append("scene", b"second"))
        _Damage(_LogPath(transport), _HeaderSize + second + 12, b"X")
        frames, cursor = _Frames(transport)
        assert frames == [b"first", b""]
        _Python(_TornAppend, transport.directory, 20, check=False)
        assert _Frames(transport) == ([b"first", b""], cursor)
        _Python(_Append, transport.directory, "third")
        assert _Frames(transport, cursor)[0] == [b"third"]

    def test_a_damaged_last_record_is_handed_on_empty_and_kept(self, transport):
        transport.Append("scene", b"first")
        second = int(transport.Append("scene", b"second"))
        _Damage(_LogPath(transport), _HeaderSize + second + 12, b"X")
        frames, cursor = _Frames(transport)
        assert frames == [b"first", b""]
        transport.Append("scene", b"third")  # not taken for a torn record
        assert _Frames(transport) == ([b"first", b"", b"third"], str(int(cursor) + 17))

    def test_garbage_before_a_record_is_skipped_up_to_it(self, transport):
        path = _LogPath(transport)
        for garbage in (b"VLF1" * 40, b"VLF1\xff\xff\xff\xff" * 3, b"\0" * 11,
                        bytes(range(256)) * 20):
            with open(path, "wb") as f:
                f.write(garbage + _Record(b"whole"))
            assert _Frames(transport) == ([b"whole"], str(len(garbage) + 17))
        # A header whose base is out of every range: a reader is told, not
        # sent past the end of the file.
        base = 2 ** 64 - 1
        with open(path, "wb") as f:
            f.write(b"VLH1" + struct.pack("<Q", base) + _Record(b"whole"))
        with pytest.raises(ChannelTrimmed):
            transport.Read("scene", "0")
        assert transport.Read("scene", str(base))[0] == [(str(base), b"whole")]


class TestFormat:
    def test_a_log_without_a_header_is_read_appended_and_trimmed(self, transport):
        with open(_LogPath(transport), "wb") as f:
            f.write(_Record(b"old 1") + _Record(b"old 2"))
        entries, cursor = transport.Read("scene", "0")
        assert entries == [("0", b"old 1"), ("17", b"old 2")] and cursor == "34"
        assert transport.Append("scene", b"new") == "34"
        with open(_LogPath(transport), "rb") as f:
            assert f.read(4) == b"VLF1"  # still the old layout
        assert transport.HasPosition("scene", "17") and not transport.HasPosition("scene", "16")

        # Trimming rewrites it with a header; the positions stay.
        transport.Trim("scene", "17")
        with open(_LogPath(transport), "rb") as f:
            assert f.read(_HeaderSize) == b"VLH1" + struct.pack("<Q", 17)
        assert transport.Read("scene", "17") == ([("17", b"old 2"), ("34", b"new")], "49")
        assert transport.Read("scene", "34")[0] == [("34", b"new")]
        with pytest.raises(ChannelTrimmed) as trimmed:
            transport.Read("scene", "0")
        assert (trimmed.value.channel, trimmed.value.trimmed) == ("scene", "17")

    def test_a_new_log_starts_with_its_header(self, transport):
        assert transport.Append("scene", b"frame") == "0"
        with open(_LogPath(transport), "rb") as f:
            assert f.read() == b"VLH1" + struct.pack("<Q", 0) + _Record(b"frame")
