"""Frames: how a batch of operations travels between session peers.

Binary form (the default), all numbers unsigned LEB128 varints unless a
width is given::

    frame  = version:u8 kind:u8 flags:u8 origin seq base [rawLength] body
    origin = length utf8      the sending peer's name
    seq    = varint           the sender's frame number, from 1
    base   = length utf8      snapshots: the channel position they cover
    body   = PackOps form     zlib-compressed when flags bit 0 is set,
                              rawLength then giving its size unpacked

``version`` is 1. ``kind`` is 0 for operations, 1 for a snapshot (the
operations that rebuild the whole layer from an empty one) and 2 for a
peer leaving the channel (no operations). The body is the module's
``PackOps`` form: the number of operations, a table of strings (path pieces
and field names), a table of paths (each a prefix path and a piece, so
siblings share their parent), a table of packed values (each distinct value
once, its bytes as they are), then the operations as columns: their type
bytes, their path indices (as changes from the previous operation's), the
second operands (CreateNode: the node type; SetField, EraseField: the field
name; MoveNode: the old path) and the SetField values (0 for the next value
not used before, n for value n - 1). The module's ``OpFrame`` header
(python/opFrame.h) spells it out.

Reading a frame checks every length, count and index against what
remains, every path, spec type, field name and value against what a store
accepts, and refuses a bad frame whole with ``FrameError``.

JSON form (for debugging; ``--wire-json``): one object
``{"version": 1, "kind": k, "origin": name, "seq": n, "base": text,
"ops": [...]}`` whose operations are ``vela.usd.client.jsonForm``'s arrays, with
packed values as Base64 text. ``DecodeFrame`` reads either form (JSON
starts with ``{``, binary with the version byte), with the same checks.
"""

import json
import zlib

from vela.usd import sync
from vela.usd.client import jsonForm

VERSION = 1

KIND_OPS = 0
KIND_SNAPSHOT = 1
KIND_LEAVE = 2
_KINDS = (KIND_OPS, KIND_SNAPSHOT, KIND_LEAVE)
KIND_NAMES = {KIND_OPS: "ops", KIND_SNAPSHOT: "snapshot", KIND_LEAVE: "leave"}

_FLAG_ZLIB = 0x01
# Bodies below this size travel as they are: one edit stays a few dozen
# bytes, and compressing it would only add a header.
COMPRESS_ABOVE = 2048
# A frame may claim at most this much once unpacked; more is refused
# before anything is inflated.
MAX_BODY = 1 << 30
# The body of a frame without operations: four empty counts.
_EMPTY_BODY = b"\x00\x00\x00\x00"


class FrameError(ValueError):
    """A frame that cannot be read: truncated, corrupt, of an unknown
    version, or naming operations a store would not accept."""


class Frame:
    """One frame: ``kind``, ``origin``, ``seq``, ``base`` and its ``ops``
    (a SyncOpList). A binary frame decoded with unpack=False has ``ops``
    None and its checked-on-apply ``body`` instead (for ApplyPackedOps),
    with ``opCount`` operations."""

    __slots__ = ("kind", "origin", "seq", "base", "ops", "body", "opCount")

    def __init__(self, kind, origin, seq, ops=None, base="", body=None, opCount=None):
        self.kind = kind
        self.origin = origin
        self.seq = seq
        self.base = base
        self.body = body
        self.ops = ops if ops is not None or body is not None else sync.SyncOpList()
        if opCount is None:
            opCount = len(self.ops) if body is None else _BodyOpCount(body)
        self.opCount = opCount

    def __repr__(self):
        return "Frame(%s, %r, seq=%d, %d ops)" % (
            KIND_NAMES.get(self.kind, self.kind), self.origin, self.seq, self.opCount)


def _Varint(value):
    out = bytearray()
    while value >= 0x80:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    out.append(value)
    return bytes(out)


def _Text(text):
    data = text.encode("utf-8")
    return _Varint(len(data)) + data


def BodyOpCount(body):
    """The number of operations in a PackOps body."""
    return _BodyOpCount(body)


def _BodyOpCount(body):
    count = shift = 0
    for byte in body[:10]:
        count |= (byte & 0x7F) << shift
        if not byte & 0x80:
            return count
        shift += 7
    raise FrameError("corrupt frame: no operation count")


def EncodeFrame(frame, useJson=False, compressAbove=COMPRESS_ABOVE, coalesce=False):
    """The bytes of a frame, binary unless useJson. With coalesce, the
    field edits that later edits of the same field overwrite are left out
    (as CoalesceOps does); frame.opCount then says how many were sent."""
    if frame.kind not in _KINDS:
        raise ValueError("unknown frame kind %r" % (frame.kind,))
    if useJson:
        ops = frame.ops if frame.body is None else sync.UnpackOps(frame.body)
        ops = sync.CoalesceOps(ops) if coalesce else ops
        frame.opCount = len(ops)
        return json.dumps({
            "version": VERSION, "kind": frame.kind, "origin": frame.origin,
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
            flags |= _FLAG_ZLIB
            rawLength = _Varint(len(body))
            body = packed
    return b"".join((bytes((VERSION, frame.kind, flags)), _Text(frame.origin),
                     _Varint(frame.seq), _Text(frame.base), rawLength, body))


class _Reader:
    """The checked read cursor of a frame header."""

    def __init__(self, data):
        self.data = data
        self.pos = 0

    def Byte(self, what):
        if self.pos >= len(self.data):
            raise FrameError("truncated frame: %s missing" % what)
        self.pos += 1
        return self.data[self.pos - 1]

    def Varint(self, what):
        result = shift = 0
        while True:
            byte = self.Byte(what)
            result |= (byte & 0x7F) << shift
            if not byte & 0x80:
                return result
            shift += 7
            if shift > 63:
                raise FrameError("corrupt frame: %s is too long a number" % what)

    def Text(self, what):
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


def _DecodeBinary(data, unpack):
    reader = _Reader(data)
    version = reader.Byte("version")
    if version != VERSION:
        raise FrameError("unknown frame version %d (this client reads %d)" % (version, VERSION))
    kind = reader.Byte("kind")
    if kind not in _KINDS:
        raise FrameError("unknown frame kind %d" % kind)
    flags = reader.Byte("flags")
    if flags & ~_FLAG_ZLIB:
        raise FrameError("unknown frame flags 0x%02x" % flags)
    origin = reader.Text("origin")
    seq = reader.Varint("sequence number")
    base = reader.Text("snapshot base")
    if flags & _FLAG_ZLIB:
        rawLength = reader.Varint("body length")
        if rawLength > MAX_BODY:
            raise FrameError("frame body claims %d bytes, more than %d" % (rawLength, MAX_BODY))
        inflater = zlib.decompressobj()
        try:
            body = inflater.decompress(memoryview(data)[reader.pos:], rawLength)
        except zlib.error as error:
            raise FrameError("corrupt frame: compressed body: %s" % error) from None
        if len(body) != rawLength or not inflater.eof or inflater.unconsumed_tail \
                or inflater.unused_data:
            raise FrameError("corrupt frame: compressed body does not unpack to %d bytes"
                             % rawLength)
    else:
        body = memoryview(data)[reader.pos:]
    if not unpack:
        opCount = _BodyOpCount(body)
        if kind == KIND_LEAVE and bytes(body) != _EMPTY_BODY:
            raise FrameError("a leave frame carries no operations")
        return Frame(kind, origin, seq, None, base, body=body, opCount=opCount)
    try:
        ops = sync.UnpackOps(body)
    except ValueError as error:
        raise FrameError(str(error)) from None
    if kind == KIND_LEAVE and len(ops):
        raise FrameError("a leave frame carries no operations")
    return Frame(kind, origin, seq, ops, base)


def _DecodeJson(data):
    try:
        obj = json.loads(bytes(data).decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as error:
        raise FrameError("corrupt JSON frame: %s" % error) from None
    if not isinstance(obj, dict):
        raise FrameError("a JSON frame is an object")
    if obj.get("version") != VERSION:
        raise FrameError("unknown frame version %r (this client reads %d)"
                         % (obj.get("version"), VERSION))
    kind, origin, seq, base = (obj.get(k) for k in ("kind", "origin", "seq", "base"))
    if kind not in _KINDS or not isinstance(origin, str) or type(seq) is not int \
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
    if kind == KIND_LEAVE and len(ops):
        raise FrameError("a leave frame carries no operations")
    return Frame(kind, origin, seq, ops, base)


def DecodeFrame(data, unpack=True):
    """The Frame in data (bytes, either form). A frame that cannot be read
    whole raises FrameError; nothing of it is returned.

    With unpack False, a binary frame's header is checked and its body
    inflated but not read: ApplyFrame checks and applies it in one pass."""
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError("a frame is bytes, not %s" % type(data).__name__)
    if len(data) and data[0] == ord("{"):
        return _DecodeJson(data)
    return _DecodeBinary(data, unpack)


def ApplyFrame(frame, syncData):
    """Applies the frame's operations to syncData, in order; returns how
    many. A body that does not read whole raises FrameError and changes
    nothing."""
    if frame.body is None:
        syncData.ApplySyncOps(frame.ops)
        return len(frame.ops)
    try:
        return sync.ApplyPackedOps(syncData, frame.body)
    except ValueError as error:
        raise FrameError(str(error)) from None
