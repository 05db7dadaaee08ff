"""Frames: how a batch of operations travels between session peers.

docs/wireFormat.md is the one statement of the frame layout, binary and
JSON; this module writes and reads it, the body through the extension
module's ``PackOps`` form.

A frame carries its kind (``KindOps``; ``KindSnapshot``, the operations
that rebuild the whole layer from an empty one; ``KindLeave``, a peer
leaving the channel, without operations), the sender's name and frame
number, and for a snapshot the channel position it covers. Bodies above
``CompressAbove`` bytes are compressed with zlib when that makes them
smaller.

Reading a frame checks every length, count and index against what
remains, every path, spec type, field name and value against what a store
accepts, and refuses a bad frame whole with ``FrameError``. The JSON form
(for debugging; ``--wire-json``) carries the operations as
``vela.usd.client.jsonForm``'s arrays; ``DecodeFrame`` reads either form
(JSON starts with ``{``, binary with the version byte), with the same
checks.
"""

import json
import zlib
from typing import Optional, Union, cast

from vela.usd import sync
from vela.usd.client import jsonForm

__all__ = ["ApplyFrame", "BodyOpCount", "CompressAbove", "DecodeFrame", "EncodeFrame",
           "Frame", "FrameError", "KindLeave", "KindNames", "KindOps", "KindSnapshot",
           "MaxBody", "Version"]

# What a frame may be read from.
_Buffer = Union[bytes, bytearray, memoryview]

# The frame version this client writes, and the only one it reads.
Version = 1

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
# before anything is inflated.
MaxBody = 1 << 30
# The body of a frame without operations: four empty counts.
_EmptyBody = b"\x00\x00\x00\x00"


class FrameError(ValueError):
    """A frame that cannot be read: truncated, corrupt, of an unknown
    version, or naming operations a store would not accept."""


class Frame:
    """One frame: ``kind``, ``origin``, ``seq``, ``base`` and its ``ops``
    (a SyncOpList). A binary frame decoded with unpack=False has ``ops``
    None and its checked-on-apply ``body`` instead (for ApplyPackedOps),
    with ``opCount`` operations."""

    __slots__ = ("kind", "origin", "seq", "base", "ops", "body", "opCount")

    def __init__(self, kind: int, origin: str, seq: int, ops: Optional["sync.SyncOpList"] = None,
                 base: str = "", body: Optional[_Buffer] = None,
                 opCount: Optional[int] = None) -> None:
        """A frame of the given kind from origin, numbered seq, carrying
        ops (an empty list when neither ops nor body is given) or, instead,
        body, the operations in PackOps form."""
        self.kind = kind
        self.origin = origin
        self.seq = seq
        self.base = base
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
            else sync.UnpackOps(frame.body)
        ops = sync.CoalesceOps(ops) if coalesce else ops
        frame.opCount = len(ops)
        return json.dumps({
            "version": Version, "kind": frame.kind, "origin": frame.origin,
            "seq": frame.seq, "base": frame.base,
            "ops": [jsonForm.OpToWire(op) for op in ops],
        }, separators=(",", ":")).encode("utf-8")
    body = sync.PackOps(frame.ops, coalesce) if frame.body is None else frame.body
    frame.opCount = _BodyOpCount(body)
    flags = 0
    rawLength = b""
    if compressAbove is not None and len(body) > compressAbove:
        packed = zlib.compress(body, 1)
        if len(packed) < len(body):
            flags |= _FlagZlib
            rawLength = _Varint(len(body))
            body = packed
    return b"".join((bytes((Version, frame.kind, flags)), _Text(frame.origin),
                     _Varint(frame.seq), _Text(frame.base), rawLength, body))


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
            result |= (byte & 0x7F) << shift
            if not byte & 0x80:
                return result
            shift += 7
            if shift > 63:
                raise FrameError("corrupt frame: %s is too long a number" % what)

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


def _ReadBody(data: _Buffer, reader: _Reader, flags: int) -> _Buffer:
    """The body after the header reader has read, inflated when flags say
    it is compressed; one that does not inflate to its stated size whole
    raises FrameError."""
    if not flags & _FlagZlib:
        return memoryview(data)[reader.pos:]
    rawLength = reader.Varint("body length")
    if rawLength > MaxBody:
        raise FrameError("frame body claims %d bytes, more than %d" % (rawLength, MaxBody))
    inflater = zlib.decompressobj()
    try:
        body = inflater.decompress(memoryview(data)[reader.pos:], rawLength)
    except zlib.error as error:
        raise FrameError("corrupt frame: compressed body: %s" % error) from None
    if len(body) != rawLength or not inflater.eof or inflater.unconsumed_tail \
            or inflater.unused_data:
        raise FrameError("corrupt frame: compressed body does not unpack to %d bytes"
                         % rawLength)
    return body


def _DecodeBinary(data: _Buffer, unpack: bool) -> Frame:
    reader = _Reader(data)
    version = reader.Byte("version")
    if version != Version:
        raise FrameError("unknown frame version %d (this client reads %d)" % (version, Version))
    kind = reader.Byte("kind")
    if kind not in _Kinds:
        raise FrameError("unknown frame kind %d" % kind)
    flags = reader.Byte("flags")
    if flags & ~_FlagZlib:
        raise FrameError("unknown frame flags 0x%02x" % flags)
    origin = reader.Text("origin")
    seq = reader.Varint("sequence number")
    base = reader.Text("snapshot base")
    body = _ReadBody(data, reader, flags)
    if not unpack:
        opCount = _BodyOpCount(body)
        if kind == KindLeave and bytes(body) != _EmptyBody:
            raise FrameError("a leave frame carries no operations")
        return Frame(kind, origin, seq, None, base, body=body, opCount=opCount)
    try:
        ops = sync.UnpackOps(body)
    except ValueError as error:
        raise FrameError(str(error)) from None
    if kind == KindLeave and len(ops):
        raise FrameError("a leave frame carries no operations")
    return Frame(kind, origin, seq, ops, base)


def _DecodeJson(data: _Buffer) -> Frame:
    try:
        obj = json.loads(bytes(data).decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as error:
        raise FrameError("corrupt JSON frame: %s" % error) from None
    if not isinstance(obj, dict):
        raise FrameError("a JSON frame is an object")
    if obj.get("version") != Version:
        raise FrameError("unknown frame version %r (this client reads %d)"
                         % (obj.get("version"), Version))
    kind, origin, seq, base = (obj.get(k) for k in ("kind", "origin", "seq", "base"))
    if kind not in _Kinds or not isinstance(origin, str) or type(seq) is not int \
            or seq < 0 or not isinstance(base, str) or not isinstance(obj.get("ops"), list):
        raise FrameError("malformed JSON frame header")
    ops = sync.SyncOpList()
    try:
        ops.extend(jsonForm.OpFromWire(entry) for entry in obj["ops"])
        # The binary reader holds every check a store needs; going through
        # it makes both forms refuse the same frames.
        ops = sync.UnpackOps(sync.PackOps(ops))
    except (ValueError, TypeError) as error:
        raise FrameError("bad JSON frame: %s" % error) from None
    if kind == KindLeave and len(ops):
        raise FrameError("a leave frame carries no operations")
    return Frame(kind, origin, seq, ops, base)


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
        return sync.ApplyPackedOps(syncData, frame.body)
    except ValueError as error:
        raise FrameError(str(error)) from None
