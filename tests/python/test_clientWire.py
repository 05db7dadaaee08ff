"""Frames of the session client: both forms carry the same operations, and
a frame that is cut short, forged or corrupt is refused whole."""

import struct
import zlib

import pytest
from pxr import Sdf

from vela.usd import sync
from vela.usd.client import wire
from vela.usd.sync import round as syncRound


def _Fields(ops):
    return [(int(op.opType), op.nodePath, op.oldNodePath, op.nodeType, op.fieldName,
             bytes(op.GetFieldValue())) for op in ops]


def _Op(kind, path, **fields):
    op = sync.SyncOp()
    op.opType = kind
    op.nodePath = path
    for name, value in fields.items():
        if name == "value":
            op.SetFieldValue(value)
        else:
            setattr(op, name, value)
    return op


@pytest.fixture
def sceneOps(syncLayer):
    """Every recorded operation of the round's scene: all five kinds, list
    ops, metadata, arrays, a rename and a removal."""
    layer = syncLayer()
    syncRound.EditPeerA(layer)
    ops = sync.SyncData.GetLayerUpdates(layer)
    assert {int(op.opType) for op in ops} == {0, 1, 2, 3, 4}
    return ops


def _Varint(value):
    return wire._Varint(value)


def _Body(strings=(), paths=(), values=(), types=b"", pathCol=b"", second=b"",
          valueCol=b"", opCount=None):
    """A hand-built PackOps body, its operation columns given as bytes."""
    out = _Varint(len(types) if opCount is None else opCount)
    out += _Varint(len(strings)) + b"".join(_Varint(len(s)) + s for s in strings)
    out += _Varint(len(paths)) + b"".join(_Varint(p) + _Varint(s) for p, s in paths)
    out += _Varint(len(values)) + b"".join(_Varint(len(v)) + v for v in values)
    return out + types + pathCol + second + valueCol


def _Header(kind=wire.KindOps, flags=0, origin=b"p", seq=1, base=b""):
    """A version-1 header: the frames of 0.1 peers, read as they were."""
    return bytes((1, kind, flags)) + _Varint(len(origin)) + origin + \
        _Varint(seq) + _Varint(len(base)) + base


def _Checked(frame):
    """A version-1 frame (header and body) as version 2: its check added."""
    return bytes((2,)) + frame[1:] + struct.pack("<I", zlib.crc32(bytes((2,)) + frame[1:]))


class TestForms:
    def test_binary_and_json_decode_to_the_same_operations(self, sceneOps):
        frame = wire.Frame(wire.KindOps, "peer A", 7, sceneOps)
        binary = wire.DecodeFrame(wire.EncodeFrame(frame))
        text = wire.DecodeFrame(wire.EncodeFrame(frame, useJson=True))
        for decoded in (binary, text):
            assert (decoded.kind, decoded.origin, decoded.seq) == (wire.KindOps, "peer A", 7)
            assert _Fields(decoded.ops) == _Fields(sceneOps)

    def test_compressed_and_plain_bodies_read_back_alike(self, sceneOps):
        frame = wire.Frame(wire.KindSnapshot, "p", 0, sceneOps, base="1234-0")
        packed = wire.EncodeFrame(frame, compressAbove=0)
        plain = wire.EncodeFrame(frame, compressAbove=None)
        assert packed[2] == 1 and plain[2] == 0 and len(packed) < len(plain)
        for data in (packed, plain):
            decoded = wire.DecodeFrame(data)
            assert decoded.base == "1234-0"
            assert _Fields(decoded.ops) == _Fields(sceneOps)

    def test_repeated_paths_fields_and_values_are_sent_once(self):
        value = bytes(sync.PackValue("render"))
        ops = [_Op(sync.SyncOpType.SetField, "/World/Group/Prim%03d.purpose" % i,
                   fieldName="default", value=value) for i in range(100)]
        body = bytes(sync.PackOps(ops))
        assert body.count(b"/World") == 1 and body.count(b"default") == 1
        assert body.count(value) == 1
        assert _Fields(sync.UnpackOps(body)) == _Fields(ops)

    def test_packing_coalesces_as_coalesceops_does(self, sceneOps):
        # Overwritten edits around moves and erasures as well.
        ops = sync.SyncOpList()
        ops.extend(sceneOps)
        ops.extend(sceneOps)
        packed = sync.UnpackOps(sync.PackOps(ops, coalesce=True))
        assert _Fields(packed) == _Fields(sync.CoalesceOps(ops))
        assert len(packed) < len(ops)

    def test_packing_a_layers_updates_drains_them(self, syncLayer):
        fresh = Sdf.Layer.CreateAnonymous("fresh.vela")  # its root creation pending
        Sdf.CreatePrimInLayer(fresh, "/World").specifier = Sdf.SpecifierDef
        fresh.GetPrimAtPath("/World").specifier = Sdf.SpecifierOver
        ops = sync.UnpackOps(sync.PackLayerUpdates(fresh))
        assert [(int(op.opType), op.nodePath, op.fieldName) for op in ops] == [
            (0, "/World", ""), (1, "/", "primChildren"), (1, "/World", "specifier")]
        assert not sync.SyncData.GetLayerUpdates(fresh)

    def test_odd_paths_survive_the_split(self):
        ops = [_Op(sync.SyncOpType.CreateNode, path, nodeType=kind.value) for path, kind in (
            ("/", Sdf.SpecTypePseudoRoot),
            ("/A.rel[/B/C.d]", Sdf.SpecTypeRelationshipTarget),
            ("/A{v=x}B", Sdf.SpecTypePrim),
            ("/A/B.attr.mapper[/C.d]", Sdf.SpecTypeMapper))]
        ops.append(_Op(sync.SyncOpType.MoveNode, "/A/New", oldNodePath="/A/Old"))
        ops.append(_Op(sync.SyncOpType.EraseField, "/A", fieldName="kind"))
        assert _Fields(sync.UnpackOps(sync.PackOps(ops))) == _Fields(ops)

    def test_a_leave_frame_carries_nothing(self):
        decoded = wire.DecodeFrame(wire.EncodeFrame(wire.Frame(wire.KindLeave, "p", 3)))
        assert decoded.kind == wire.KindLeave and len(decoded.ops) == 0


class TestRefused:
    def test_every_truncation_is_refused(self, sceneOps):
        for compressAbove in (None, 0):
            data = wire.EncodeFrame(wire.Frame(wire.KindOps, "p", 1, sceneOps),
                                    compressAbove=compressAbove)
            for end in range(len(data)):
                with pytest.raises(wire.FrameError):
                    wire.DecodeFrame(data[:end])

    def test_every_single_byte_corruption_is_refused_or_reads_whole(self, sceneOps):
        data = bytearray(wire.EncodeFrame(wire.Frame(wire.KindOps, "p", 1, sceneOps[:40]),
                                          compressAbove=None))
        for i in range(len(data)):
            forged = bytearray(data)
            forged[i] ^= 0xFF
            try:
                decoded = wire.DecodeFrame(bytes(forged))
            except wire.FrameError:
                continue
            # What does read is a whole, applicable list.
            sync.SyncData.CreateNew().ApplySyncOps(decoded.ops)

    @pytest.mark.parametrize("body, message", [
        (_Body(opCount=5), "operation count"),
        (_Body(strings=[b"/A"], paths=[(0, 3)]), "missing string"),
        (_Body(strings=[b"/A"], paths=[(2, 0)]), "does not precede"),
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x03", pathCol=b"\x02"), "path index 1"),
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x03", pathCol=b"\x01"), "path index -1"),
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x03",
               pathCol=b"\xff\xff\xff\xff\xff\xff\xff\xff\xff\x7f"), "path index"),
        # A first operation that would apply, then one that cannot.
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x00\x03", pathCol=b"\x00\x02",
               second=b"\x02"), "operation 1: path index 1"),
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x07", pathCol=b"\x00"),
         "Invalid operation type 7"),
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x00", pathCol=b"\x00", second=b"\x00"),
         "Cannot create spec with unknown type at /A"),
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x00", pathCol=b"\x00", second=b"\x40"),
         "Invalid spec type 32 at /A"),
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x02", pathCol=b"\x00", second=b"\x04"),
         "old path index 2"),
        (_Body(strings=[b"A"], paths=[(0, 0)], types=b"\x03", pathCol=b"\x00"),
         "not an absolute path"),
        (_Body(strings=[b"/A//B"], paths=[(0, 0)], types=b"\x03", pathCol=b"\x00"),
         "not an absolute path"),
        (_Body(strings=[b"/A", b""], paths=[(0, 0)], types=b"\x04", pathCol=b"\x00",
               second=b"\x01"), "empty field name"),
        (_Body(strings=[b"/A", b"x"], paths=[(0, 0)], values=[b"\xee\x00"], types=b"\x01",
               pathCol=b"\x00", second=b"\x01", valueCol=b"\x00"), "does not unpack"),
        (_Body(strings=[b"/A", b"x"], paths=[(0, 0)], values=[b"\x05\x00\x01"], types=b"\x01",
               pathCol=b"\x00", second=b"\x01", valueCol=b"\x00"), "does not unpack"),
        (_Body(strings=[b"/A", b"x"], paths=[(0, 0)], types=b"\x01", pathCol=b"\x00",
               second=b"\x01", valueCol=b"\x00"), "value index"),
        # A value referred to as used before when it was not.
        (_Body(strings=[b"/A", b"x"], paths=[(0, 0)], values=[bytes(sync.PackValue(1.0))],
               types=b"\x01", pathCol=b"\x00", second=b"\x01", valueCol=b"\x01"),
         "value index"),
        (_Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x03", pathCol=b"\x00") + b"\x00",
         "after the last"),
    ])
    def test_forged_bodies_are_refused(self, body, message, syncLayer):
        with pytest.raises(wire.FrameError, match=message):
            wire.DecodeFrame(_Header() + body)
        # Applied straight to a store, the body is refused as whole.
        store = sync.SyncData.CreateNew()
        with pytest.raises(wire.FrameError, match=message):
            wire.ApplyFrame(wire.DecodeFrame(_Header() + body, unpack=False), store)
        layer = syncLayer()
        sync.SyncData.RefreshData(layer, store)
        assert not layer.rootPrims

    @pytest.mark.parametrize("data, message", [
        (b"", "version missing"),
        (b"\x03\x00\x00", "unknown frame version 3"),
        (bytes((1, 9, 0)), "unknown frame kind 9"),
        (bytes((1, 0, 4)), "unknown frame flags"),
        (bytes((1, 0, 0, 50)) + b"abc", "origin claims 50 bytes"),
        (bytes((1, 0, 0, 2)) + b"\xff\xfe", "not UTF-8"),
        (_Header(kind=wire.KindLeave) + _Body(strings=[b"/A"], paths=[(0, 0)], types=b"\x03",
                                               pathCol=b"\x00"), "carries no operations"),
        (_Header(flags=1) + _Varint(wire.MaxBody + 1), "more than"),
        (_Header(flags=1) + _Varint(wire.MinInflationAllowance + 1) + zlib.compress(_Body()),
         "more than"),
        (_Header(flags=1) + _Varint(10) + zlib.compress(_Body()), "does not unpack to 10"),
        (_Header(flags=1) + _Varint(3) + b"not zlib", "compressed body"),
        (_Header(flags=1) + _Varint(4) + zlib.compress(_Body()) + b"junk", "does not unpack"),
        (b'{"version": 1, "kind": 0}', "malformed JSON frame"),
        (b'{"version": 2, "kind": 0, "origin": "p", "seq": 1, "base": "", "ops": []}',
         "check is missing"),
        (b'{"version": 1, "kind": 0, "origin": "p", "seq": 1, "base": "", '
         b'"ops": [[3, "relative"]]}', "not an absolute path"),
        (b'{"version": 1, "kind": 0, "origin": "p", "seq": 1, "base": "", '
         b'"ops": [[1, "/A", "x", "not base64!"]]}', "bad JSON frame"),
        (b"{not json", "corrupt JSON"),
    ])
    def test_forged_frames_are_refused(self, data, message):
        with pytest.raises(wire.FrameError, match=message):
            wire.DecodeFrame(data)

    def test_a_zip_bomb_is_not_inflated_past_its_claim(self):
        bomb = zlib.compress(b"\x00" * (64 << 20))
        with pytest.raises(wire.FrameError, match="does not unpack to 100"):
            wire.DecodeFrame(_Header(flags=1) + _Varint(100) + bomb)

    def test_only_bytes_are_frames(self):
        with pytest.raises(TypeError):
            wire.DecodeFrame("text")
        with pytest.raises(TypeError):
            sync.UnpackOps("text")


class TestIntegrity:
    """Version 2 frames carry a CRC-32 of themselves, checked before any of
    their header is believed: a flipped bit anywhere, the sequence number
    included, is refused whole."""

    def test_every_bit_flip_is_refused(self, sceneOps):
        for useJson in (False, True):
            frame = wire.Frame(wire.KindOps, "p", 1, sceneOps[:30])
            data = wire.EncodeFrame(frame, useJson=useJson, compressAbove=0)
            assert wire.DecodeFrame(data).seq == 1
            step = 1 if not useJson else 7
            for i in range(0, len(data), step):
                for bit in (0x01, 0x40):
                    forged = bytearray(data)
                    forged[i] ^= bit
                    with pytest.raises(wire.FrameError):
                        wire.DecodeFrame(bytes(forged))

    def test_a_snapshot_carries_its_senders(self, sceneOps):
        senders = {"a": 3, "b": 17}
        for useJson in (False, True):
            data = wire.EncodeFrame(wire.Frame(wire.KindSnapshot, "p", 0, sceneOps,
                                               base="12-0", senders=senders), useJson=useJson)
            decoded = wire.DecodeFrame(data, unpack=False)
            assert decoded.senders == senders and decoded.base == "12-0"
        # Other kinds have no table.
        ops = wire.DecodeFrame(wire.EncodeFrame(wire.Frame(wire.KindOps, "p", 1, sceneOps)))
        assert ops.senders == {}

    def test_version_one_frames_still_read(self, sceneOps):
        body = bytes(sync.PackOps(sceneOps))
        decoded = wire.DecodeFrame(_Header(seq=9) + body)
        assert decoded.seq == 9 and _Fields(decoded.ops) == _Fields(sceneOps)
        # As version 2: the same with an empty table of bases and a check.
        assert _Fields(wire.DecodeFrame(_Checked(_Header(seq=9) + body + b"\x00")).ops) == \
            _Fields(sceneOps)
        with pytest.raises(wire.FrameError, match="base count"):
            wire.DecodeFrame(_Checked(_Header(seq=9) + body))
        text = b'{"version": 1, "kind": 0, "origin": "p", "seq": 2, "base": "", "ops": []}'
        assert wire.DecodeFrame(text).seq == 2


class TestLayout:
    """The writer lays every frame out byte for byte as the layout says:
    version, kind, flags, origin, number, base, the snapshot's senders or a
    compressed body's length, the body, the check. Peers of other builds
    read these bytes."""

    @staticmethod
    def _Expected(kind, origin, seq, base, body, senders=b"", flags=0, extra=b""):
        text = origin.encode("utf-8")
        raw = bytes((2, kind, flags)) + _Varint(len(text)) + text + _Varint(seq) + \
            _Varint(len(base)) + base.encode("utf-8") + senders + extra + body
        return raw + struct.pack("<I", zlib.crc32(raw))

    def test_every_kind_and_field_width(self, sceneOps):
        body = bytes(sync.PackOps(sceneOps[:4], bases=True))
        for origin in ("p", "P3-abcdef12", "\u00e9" * 70, ""):
            for seq in (0, 127, 128, (1 << 40) + 5, (1 << 64) - 1):
                for base in ("", "1234-0", "x" * 130):
                    frame = wire.Frame(wire.KindOps, origin, seq, base=base, body=body,
                                       bases=True)
                    expected = self._Expected(wire.KindOps, origin, seq, base, body)
                    assert wire.EncodeFrame(frame) == expected
                    if not base:
                        assert wire.EncodeOps(origin, seq, body) == expected
        leave = wire.EncodeFrame(wire.Frame(wire.KindLeave, "p", 4))
        assert leave == self._Expected(wire.KindLeave, "p", 4, "", b"\x00" * 5)
        snapshot = wire.Frame(wire.KindSnapshot, "p", 0, base="9-1", body=body, bases=True,
                              senders={"b": 300, "a": 2})
        senders = b"\x02" + b"\x01a\x02" + b"\x01b" + _Varint(300)
        assert wire.EncodeFrame(snapshot) == self._Expected(wire.KindSnapshot, "p", 0, "9-1",
                                                            body, senders=senders)

    def test_a_compressed_body_carries_its_length(self, sceneOps):
        body = bytes(sync.PackOps(sceneOps, bases=True))
        packed = zlib.compress(body, 1)
        assert len(packed) < len(body)
        expected = self._Expected(wire.KindOps, "p", 7, "", packed, flags=1,
                                  extra=_Varint(len(body)))
        assert wire.EncodeOps("p", 7, body, compressAbove=0) == expected
        frame = wire.Frame(wire.KindOps, "p", 7, body=body, bases=True)
        assert wire.EncodeFrame(frame, compressAbove=0) == expected

    def test_numbers_past_64_bits_are_refused(self):
        for seq in (1 << 64, -1):
            with pytest.raises((TypeError, OverflowError, ValueError)):
                wire.EncodeOps("p", seq, b"\x00" * 5)


class TestInflation:
    def test_a_bomb_is_refused_before_it_is_inflated(self):
        # Compressed zeros claiming a gigabyte: the claim alone refuses it.
        bomb = zlib.compress(b"\x00" * (64 << 20), 9)
        data = _Checked(_Header(flags=1) + _Varint(1 << 30) + bomb)
        with pytest.raises(wire.FrameError, match="more than"):
            wire.DecodeFrame(data)

    def test_writers_keep_to_the_readers_bound(self):
        # A body that zlib shrinks past MaxInflation travels as it is.
        value = bytes(sync.PackValue("x" * (4 << 20)))
        ops = [_Op(sync.SyncOpType.SetField, "/A", fieldName="comment", value=value)]
        data = wire.EncodeFrame(wire.Frame(wire.KindOps, "p", 1, ops), compressAbove=0)
        assert data[2] == 0
        assert bytes(wire.DecodeFrame(data).ops[0].GetFieldValue()) == value

    def test_the_cap_is_the_hosts_to_lower(self, sceneOps, monkeypatch):
        data = wire.EncodeFrame(wire.Frame(wire.KindOps, "p", 1, sceneOps), compressAbove=0)
        monkeypatch.setattr(wire, "MaxBody", 64)
        with pytest.raises(wire.FrameError, match="more than 64"):
            wire.DecodeFrame(data)


def _Rechecked(raw):
    return raw + struct.pack("<I", zlib.crc32(raw))


class TestCommonHeader:
    """Sessions read the headers of the frames they see most (version 2,
    ops or leave, no flags, short ASCII names) in C++: that reader must
    take only frames the general reader reads, and read them alike."""

    @staticmethod
    def _General(data):
        try:
            frame = wire.DecodeFrame(data, unpack=False)
            return (frame.kind, frame.origin, frame.seq, frame.base, frame.opCount, frame.bases,
                    bytes(frame.body))
        except wire.FrameError as error:
            return str(error)

    @staticmethod
    def _Common(data):
        header = sync.ReadFrameHeader(data)
        if header is None:
            return None
        kind, origin, seq, base, begin, end = header
        body = data[begin:end]
        return (kind, origin, seq, base, wire.BodyOpCount(body), True, bytes(body))

    def test_it_reads_only_what_the_general_reader_reads_and_alike(self, sceneOps):
        edit = sceneOps[:3]
        frames = [wire.EncodeFrame(wire.Frame(kind, origin, seq, ops, base=base))
                  for kind, ops in ((wire.KindOps, edit), (wire.KindOps, sceneOps),
                                    (wire.KindLeave, sync.SyncOpList()))
                  for origin in ("P3-abcdef12", "\u00e9" * 70, "")
                  for seq in (0, 127, 128, 1 << 28, 1 << 40)
                  for base in ("", "1234-0", "x" * 130)]
        frames.append(wire.EncodeFrame(wire.Frame(wire.KindSnapshot, "p", 1, edit,
                                                  senders={"a": 3})))
        frames.append(wire.EncodeFrame(wire.Frame(wire.KindOps, "p", 1, sceneOps),
                                       compressAbove=0))
        # Leave frames with operations, kinds and flags no reader knows, a
        # bad origin, a header longer than the frame, no body at all.
        body = bytes(sync.PackOps(edit, bases=True))
        frames.append(_Checked(_Header(kind=wire.KindLeave) + body))
        frames.append(_Checked(_Header(kind=9) + body))
        frames.append(_Checked(_Header(flags=4) + body))
        frames.append(_Checked(_Header(origin=b"\xff\xfe") + body))
        frames.append(_Checked(_Header(base=b"x" * 40)))
        frames.append(_Checked(_Header(origin=b"x" * 20)[:12]))
        frames.append(_Checked(_Header() + b"\x80" * 12))
        common = 0
        for data in frames:
            # Cut short, and header bytes changed, each with its check made
            # anew so that the header itself is read.
            raw = data[:-4]
            variants = [data] + [data[:cut] for cut in range(0, len(data), 7)]
            variants += [_Rechecked(raw[:cut]) for cut in range(1, len(raw))]
            variants += [_Rechecked(raw[:i] + bytes((raw[i] ^ flip,)) + raw[i + 1:])
                         for i in range(1, min(len(raw), 24)) for flip in (0x80, 0x01)]
            for variant in variants:
                read = self._Common(variant)
                if read is not None:
                    assert read == self._General(variant), variant
                    common += 1
        # The common frames were read there.
        assert common >= 3 * 4 * 2
