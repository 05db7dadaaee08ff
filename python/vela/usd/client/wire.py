"""Frames: how a batch of operations travels between session peers.

docs/wireFormat.md is the one statement of the frame layout, binary and
JSON; this module writes and reads it, the body through the extension
module's ``PackOps`` form.

A frame carries its kind (``KindOps``; ``KindSnapshot``, the operations
that rebuild the whole layer from an empty one; ``KindLeave``, a peer
leaving the channel, without operations), the sender's name and frame
number, and for a snapshot the channel position it covers and the last
frame number of each sender it includes. Bodies above ``CompressAbove``
bytes are compressed with zlib when that makes them smaller. Version 2,
the one written, ends with a CRC-32 of everything before it, checked
before anything else in the frame is believed; version 1 (no check) is
still read.

Reading a frame checks every length, count and index against what
remains, every path, spec type, field name and value against what a store
accepts, and refuses a bad frame whole with ``FrameError``. A compressed
body may claim at most ``MaxInflation`` times its compressed size (or
``MinInflationAllowance`` bytes, whichever is more) and at most
``MaxBody`` bytes, so that a small frame cannot make a peer inflate a
large one; writers keep to the same bound by sending such bodies as they
are. The JSON form
(for debugging; ``--wire-json``) carries the operations as
``vela.usd.client.jsonForm``'s arrays; ``DecodeFrame`` reads either form
(JSON starts with ``{``, binary with the version byte), with the same
checks.
"""

import json
import struct
import zlib
from typing import Any, Dict, Optional, Union, cast

from vela.usd import sync
from vela.usd.client import jsonForm

__all__ = ["ApplyFrame", "BodyOpCount", "CompressAbove", "DecodeFrame", "EncodeFrame", "EncodeOps",
           "Frame", "FrameError", "KindLeave", "KindNames", "KindOps", "KindSnapshot",
           "MaxBody", "MaxInflation", "MinInflationAllowance", "ReadVersions", "Version"]

# What a frame may be read from.
_Buffer = Union[bytes, bytearray, memoryview]

# The frame version this client writes, and the ones it reads: version 1
# (no integrity check, no sender table in snapshots) is what peers of
# 0.1 write.
Version = 2
ReadVersions = (1, 2)

KindOps = 0
KindSnapshot = 1
KindLeave = 2
_Kinds = (KindOps, KindSnapshot, KindLeave)
KindNames = {KindOps: "ops", KindSnapshot: "snapshot", KindLeave: "leave"}

_FlagZlib = 0x01
# Bodies below this size travel as they are: one edit stays a few dozen
# bytes, and compressing it would only add a header.
CompressAbove = 2048
# A frame may claim at most this much once unpacked; more is refused
# before anything is inflated. Read at every call: a host may lower it.
MaxBody = 1 << 30
# A compressed body may claim at most this many times its own size, or
# MinInflationAllowance bytes when that is more: what vela writes stays far
# below (operation bodies keep every repeated name once already), while a
# forged claim costs a reader at most that much memory.
MaxInflation = 12
MinInflationAllowance = 1 << 20
_Crc = struct.Struct("<I")
# The one writer of the binary layout (header, extra, body, check).
_WriteFrame = sync.WriteFrame
# The body of a frame without operations: four empty counts, and in
# version 2 an empty table of the values list-op edits started from.
_EmptyBody = b"\x00\x00\x00\x00"
_NoBases = b"\x00"


class FrameError(ValueError):
    """A frame that cannot be read: truncated, corrupt, of an unknown
    version, or naming operations a store would not accept."""


class Frame:
    """One frame: ``kind``, ``origin``, ``seq``, ``base`` and its ``ops``
    (a SyncOpList). A binary frame decoded with unpack=False has ``ops``
    None and its checked-on-apply ``body`` instead (for ApplyPackedOps),
    with ``opCount`` operations; ``bases`` says whether that body ends with
    the values list-op edits started from (``bases=True`` of PackOps and
    its kin: what version 2 frames carry). A snapshot's ``senders`` maps
    each sender to the last of its frame numbers the snapshot includes ({}
    in other kinds and in version-1 snapshots)."""

    __slots__ = ("kind", "origin", "seq", "base", "ops", "body", "opCount", "senders", "bases")

    def __init__(self, kind: int, origin: str, seq: int, ops: Optional["sync.SyncOpList"] = None,
                 base: str = "", body: Optional[_Buffer] = None,
                 opCount: Optional[int] = None,
                 senders: Optional[Dict[str, int]] = None, bases: bool = False) -> None:
        """A frame of the given kind from origin, numbered seq, carrying
        ops (an empty list when neither ops nor body is given) or, instead,
        body, the operations in PackOps form (with bases, as written with
        bases=True)."""
        self.bases = bases
        self.kind = kind
        self.origin = origin
        self.seq = seq
        self.base = base
        self.senders = dict(senders) if senders else {}
        self.body = body
        self.ops = ops if ops is not None or body is not None else sync.SyncOpList()
        if opCount is None:
            opCount = len(cast("sync.SyncOpList", self.ops)) if body is None \
                else _BodyOpCount(body)
        self.opCount = opCount

    def __repr__(self) -> str:
        return "Frame(%s, %r, seq=%d, %d ops)" % (
            KindNames.get(self.kind, self.kind), self.origin, self.seq, self.opCount)


def _Varint(value: int) -> bytes:
    out = bytearray()
    while value >= 0x80:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    out.append(value)
    return bytes(out)


def _Text(text: str) -> bytes:
    data = text.encode("utf-8")
    return _Varint(len(data)) + data


def BodyOpCount(body: _Buffer) -> int:
    """The number of operations in a PackOps body."""
    return _BodyOpCount(body)


def _BodyOpCount(body: _Buffer) -> int:
    count = shift = 0
    for byte in body[:10]:
        count |= (byte & 0x7F) << shift
        if not byte & 0x80:
            return count
        shift += 7
    raise FrameError("corrupt frame: no operation count")


def InflationLimit(compressedSize: int) -> int:
    """The most a compressed body of compressedSize bytes may claim once
    inflated (MaxInflation, MinInflationAllowance and MaxBody as they stand
    now)."""
    return min(MaxBody, max(compressedSize * MaxInflation, MinInflationAllowance))


def _Senders(senders: Dict[str, int]) -> bytes:
    # In name order, so that equal tables are equal bytes.
    return _Varint(len(senders)) + b"".join(
        _Text(origin) + _Varint(seq) for origin, seq in sorted(senders.items()))


def _EncodeBinary(kind: int, origin: str, seq: int, base: str, senders: bytes, body: _Buffer,
                  compressAbove: Optional[int]) -> bytes:
    # The binary frame of body (with its table of bases): compressed when
    # that makes it smaller and a reader would accept the claim.
    flags, extra = 0, senders
    if compressAbove is not None and len(body) > compressAbove:
        packed = zlib.compress(body, 1)
        # A body that shrinks more than a reader accepts travels as it is.
        if len(packed) < len(body) <= InflationLimit(len(packed)):
            flags, extra, body = _FlagZlib, senders + _Varint(len(body)), packed
    return _WriteFrame(kind, flags, origin, seq, base, extra, body)


def EncodeOps(origin: str, seq: int, body: _Buffer,
              compressAbove: Optional[int] = CompressAbove) -> bytes:
    """The bytes of an operations frame from origin numbered seq carrying
    body (PackOps form with bases, as PackLayerUpdates(..., bases=True)
    drains it): what EncodeFrame writes of such a frame, without building
    one."""
    return _EncodeBinary(KindOps, origin, seq, "", b"", body, compressAbove)


def EncodeFrame(frame: Frame, useJson: bool = False,
                compressAbove: Optional[int] = CompressAbove, coalesce: bool = False) -> bytes:
    """The bytes of a frame, binary unless useJson. With coalesce, the
    field edits that later edits of the same field overwrite are left out
    (as CoalesceOps does); frame.opCount then says how many were sent."""
    if frame.kind not in _Kinds:
        raise ValueError("unknown frame kind %r" % (frame.kind,))
    if useJson:
        # Without a body, a frame has its ops.
        ops = cast("sync.SyncOpList", frame.ops) if frame.body is None \
            else sync.UnpackOps(frame.body, bases=frame.bases)
        ops = sync.CoalesceOps(ops) if coalesce else ops
        frame.opCount = len(ops)
        text = json.dumps({
            "version": Version, "kind": frame.kind, "origin": frame.origin,
            "seq": frame.seq, "base": frame.base, "senders": frame.senders,
            "ops": [jsonForm.OpToWire(op) for op in ops],
        }, separators=(",", ":"), sort_keys=True).encode("utf-8")
        # The check closes the object: the CRC of the text before it.
        return text[:-1] + _JsonCheck + b"%d}" % zlib.crc32(text[:-1])
    if frame.body is None:
        body = sync.PackOps(frame.ops, coalesce, bases=True)
    else:
        # A body without the table of bases gains an empty one.
        body = frame.body if frame.bases else bytes(frame.body) + _NoBases
    frame.opCount = _BodyOpCount(body)
    senders = _Senders(frame.senders) if frame.kind == KindSnapshot else b""
    return _EncodeBinary(frame.kind, frame.origin, frame.seq, frame.base, senders, body,
                         compressAbove)


class _Reader:
    """The checked read cursor of a frame header."""

    def __init__(self, data: _Buffer) -> None:
        self.data = data
        self.pos = 0

    def Byte(self, what: str) -> int:
        if self.pos >= len(self.data):
            raise FrameError("truncated frame: %s missing" % what)
        self.pos += 1
        return self.data[self.pos - 1]

    def Varint(self, what: str) -> int:
        result = shift = 0
        while True:
            byte = self.Byte(what)
            if shift == 63 and byte > 1:  # more than 64 bits
                raise FrameError("corrupt frame: %s is too long a number" % what)
            result |= (byte & 0x7F) << shift
            if not byte & 0x80:
                return result
            shift += 7

    def Text(self, what: str) -> str:
        length = self.Varint(what + " length")
        if length > len(self.data) - self.pos:
            raise FrameError("truncated frame: %s claims %d bytes, %d remain"
                             % (what, length, len(self.data) - self.pos))
        raw = bytes(self.data[self.pos:self.pos + length])
        self.pos += length
        try:
            return raw.decode("utf-8")
        except UnicodeDecodeError:
            raise FrameError("corrupt frame: %s is not UTF-8 text" % what) from None


def _ReadBody(data: _Buffer, reader: _Reader, flags: int, end: int) -> _Buffer:
    """The body between the header reader has read and end, inflated when
    flags say it is compressed; one that does not inflate to its stated
    size whole raises FrameError."""
    if not flags & _FlagZlib:
        return memoryview(data)[reader.pos:end]
    rawLength = reader.Varint("body length")
    compressed = memoryview(data)[reader.pos:end]
    limit = InflationLimit(len(compressed))
    if rawLength > limit:
        raise FrameError("frame body claims %d bytes, more than %d for %d compressed bytes"
                         % (rawLength, limit, len(compressed)))
    inflater = zlib.decompressobj()
    try:
        body = inflater.decompress(compressed, rawLength)
    except zlib.error as error:
        raise FrameError("corrupt frame: compressed body: %s" % error) from None
    if len(body) != rawLength or not inflater.eof or inflater.unconsumed_tail \
            or inflater.unused_data:
        raise FrameError("corrupt frame: compressed body does not unpack to %d bytes"
                         % rawLength)
    return body


def _ReadSenders(reader: _Reader) -> Dict[str, int]:
    count = reader.Varint("sender count")
    # Each entry takes two bytes at the least.
    if count > (len(reader.data) - reader.pos) // 2:
        raise FrameError("truncated frame: %d senders claimed" % count)
    senders: Dict[str, int] = {}
    for _ in range(count):
        origin = reader.Text("sender")
        senders[origin] = reader.Varint("sender's frame number")
    return senders


def _DecodeBinary(data: _Buffer, unpack: bool) -> Frame:
    reader = _Reader(data)
    version = reader.Byte("version")
    if version not in ReadVersions:
        raise FrameError("unknown frame version %d (this client reads %s)"
                         % (version, " and ".join(map(str, ReadVersions))))
    end = len(data)
    if version >= 2:
        # Nothing in the frame is believed before its check passes.
        if len(data) < 3 + _Crc.size:
            raise FrameError("truncated frame: %d bytes, no room for its check" % len(data))
        end -= _Crc.size
        (crc,) = _Crc.unpack_from(data, end)
        if zlib.crc32(memoryview(data)[:end]) != crc:
            raise FrameError("damaged frame: its check does not match its %d bytes" % end)
        reader.data = memoryview(data)[:end]
    kind = reader.Byte("kind")
    if kind not in _Kinds:
        raise FrameError("unknown frame kind %d" % kind)
    flags = reader.Byte("flags")
    if flags & ~_FlagZlib:
        raise FrameError("unknown frame flags 0x%02x" % flags)
    origin = reader.Text("origin")
    seq = reader.Varint("sequence number")
    base = reader.Text("snapshot base")
    senders = _ReadSenders(reader) if version >= 2 and kind == KindSnapshot else {}
    body = _ReadBody(data, reader, flags, end)
    bases = version >= 2
    if not unpack:
        opCount = _BodyOpCount(body)
        if kind == KindLeave and bytes(body) != _EmptyBody + (_NoBases if bases else b""):
            raise FrameError("a leave frame carries no operations")
        return Frame(kind, origin, seq, None, base, body=body, opCount=opCount, senders=senders,
                     bases=bases)
    try:
        ops = sync.UnpackOps(body, bases=bases)
    except ValueError as error:
        raise FrameError(str(error)) from None
    if kind == KindLeave and len(ops):
        raise FrameError("a leave frame carries no operations")
    return Frame(kind, origin, seq, ops, base, senders=senders)


_JsonCheck = b',"crc32":'


def _CheckJson(data: bytes) -> bytes:
    """The text of a version-2 JSON frame without its check, once the check
    passes; version-1 text as it is."""
    at = data.rfind(_JsonCheck)
    if at < 0 or not data.endswith(b"}"):
        return data
    digits = data[at + len(_JsonCheck):-1]
    if not digits.isdigit():
        return data
    if zlib.crc32(data[:at]) != int(digits):
        raise FrameError("damaged JSON frame: its check does not match")
    return data[:at] + b"}"


def _JsonObject(data: _Buffer) -> Dict[str, Any]:
    """The object of a JSON frame, its check and version passed."""
    raw = bytes(data)
    text = _CheckJson(raw)
    try:
        obj = json.loads(text.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as error:
        raise FrameError("corrupt JSON frame: %s" % error) from None
    if not isinstance(obj, dict):
        raise FrameError("a JSON frame is an object")
    version = obj.get("version")
    if version not in ReadVersions or type(version) is not int:
        raise FrameError("unknown frame version %r (this client reads %s)"
                         % (version, " and ".join(map(str, ReadVersions))))
    if version >= 2 and text is raw:
        raise FrameError("damaged JSON frame: its check is missing")
    return obj


def _JsonSenders(obj: Dict[str, Any]) -> Dict[str, int]:
    senders = obj.get("senders", {}) if obj["version"] >= 2 else {}
    if not isinstance(senders, dict) or not all(
            isinstance(k, str) and type(v) is int and 0 <= v < 1 << 64
            for k, v in senders.items()):
        raise FrameError("malformed JSON frame header: senders")
    return senders


def _DecodeJson(data: _Buffer) -> Frame:
    obj = _JsonObject(data)
    senders = _JsonSenders(obj)
    kind, origin, seq, base = (obj.get(k) for k in ("kind", "origin", "seq", "base"))
    if kind not in _Kinds or not isinstance(origin, str) or type(seq) is not int \
            or not 0 <= seq < 1 << 64 or not isinstance(base, str) \
            or not isinstance(obj.get("ops"), list):
        raise FrameError("malformed JSON frame header")
    ops = sync.SyncOpList()
    try:
        ops.extend(jsonForm.OpFromWire(entry) for entry in obj["ops"])
        # The binary reader holds every check a store needs; going through
        # it makes both forms refuse the same frames.
        ops = sync.UnpackOps(sync.PackOps(ops, bases=True), bases=True)
    except (ValueError, TypeError) as error:
        raise FrameError("bad JSON frame: %s" % error) from None
    if kind == KindLeave and len(ops):
        raise FrameError("a leave frame carries no operations")
    return Frame(kind, origin, seq, ops, base, senders=senders if kind == KindSnapshot else {})


def DecodeFrame(data: _Buffer, unpack: bool = True) -> Frame:
    """The Frame in data (bytes, either form). A frame that cannot be read
    whole raises FrameError; nothing of it is returned.

    With unpack False, a binary frame's header is checked and its body
    inflated but not read: ApplyFrame checks and applies it in one pass."""
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError("a frame is bytes, not %s" % type(data).__name__)
    if len(data) and data[0] == ord("{"):
        return _DecodeJson(data)
    return _DecodeBinary(data, unpack)


def ApplyFrame(frame: Frame, syncData: "sync.SyncData") -> int:
    """Applies the frame's operations to syncData, in order; returns how
    many. A body that does not read whole raises FrameError and changes
    nothing."""
    if frame.body is None:
        ops = cast("sync.SyncOpList", frame.ops)
        syncData.ApplySyncOps(ops)
        return len(ops)
    try:
        return sync.ApplyPackedOps(syncData, frame.body, bases=frame.bases)
    except ValueError as error:
        raise FrameError(str(error)) from None
