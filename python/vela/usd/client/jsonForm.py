"""The JSON form of operations: readable text for debugging and for clients
that would rather not read the binary frame.

One operation is a JSON array: the operation type's number, the node path,
then only what that type carries::

    CreateNode  [0, nodePath, nodeType]
    SetField    [1, nodePath, fieldName, Base64 text of the packed value]
                [1, nodePath, fieldName, value, Base64 text of the packed base]
    MoveNode    [2, nodePath, oldNodePath]
    EraseNode   [3, nodePath]
    EraseField  [4, nodePath, fieldName]

The packed value travels as standard Base64 text. A SetField of a list op
that carries its base (the value the author's edit replaced, so that
receivers can merge concurrent edits of the list) has it as a fifth
element, Base64 too (empty text: the field did not exist). The session's JSON frames
(``vela.usd.client.wire``) carry their operations in this form, and the
one-process round (``vela.usd.sync.round``) sends a list of them.
"""

import base64
import json
from typing import Any, Iterable, List, Optional

from vela.usd import sync

__all__ = ["BuildSyncData", "DecodeOps", "EncodeOps", "OpFromWire", "OpToWire"]

_CreateNode = int(sync.SyncOpType.CreateNode)
_SetField = int(sync.SyncOpType.SetField)
_MoveNode = int(sync.SyncOpType.MoveNode)
_EraseNode = int(sync.SyncOpType.EraseNode)
_EraseField = int(sync.SyncOpType.EraseField)
_OpTypes = {int(t): t for t in sync.SyncOpType.allValues}
_OpTypeNames = {int(t): t.name for t in sync.SyncOpType.allValues}
# How many entries each type has on the wire.
_EntryLengths = {_CreateNode: 3, _SetField: 4, _MoveNode: 3,
                 _EraseNode: 2, _EraseField: 3}


def OpToWire(op: "sync.SyncOp") -> List[Any]:
    """The wire form of one SyncOp (a list, see above); the packed field
    value travels as standard Base64 text."""
    kind = int(op.opType)
    if kind == _CreateNode:
        return [kind, op.nodePath, op.nodeType]
    if kind == _SetField:
        entry = [kind, op.nodePath, op.fieldName,
                 base64.b64encode(op.GetFieldValue()).decode("ascii")]
        base = op.GetBaseValue()
        if base is not None:
            entry.append(base64.b64encode(base).decode("ascii"))
        return entry
    if kind == _MoveNode:
        return [kind, op.nodePath, op.oldNodePath]
    if kind == _EraseField:
        return [kind, op.nodePath, op.fieldName]
    return [kind, op.nodePath]


def EncodeOps(ops: Iterable["sync.SyncOp"]) -> str:
    """Serialises a list of SyncOp as compact JSON text, the form in which a
    client sends a layer's updates to its peer."""
    return json.dumps([OpToWire(op) for op in ops], separators=(",", ":"))


def _CheckedEntry(entry: Any) -> int:
    """The entry's type number, after checking its shape; a malformed entry
    raises ValueError."""
    if not isinstance(entry, list) or not entry or type(entry[0]) is not int \
            or entry[0] not in _EntryLengths:
        raise ValueError("not an operation: %r" % (entry,))
    kind = entry[0]
    lengths = (4, 5) if kind == _SetField else (_EntryLengths[kind],)
    if len(entry) not in lengths or not all(
            isinstance(item, str) for item in entry[1:]
            if not (kind == _CreateNode and item is entry[2])):
        raise ValueError("malformed %s operation: %r" % (_OpTypeNames[kind], entry))
    if kind == _CreateNode and type(entry[2]) is not int:
        raise ValueError("malformed CreateNode operation: %r" % (entry,))
    return kind


def OpFromWire(entry: Any) -> "sync.SyncOp":
    """Rebuilds a SyncOp from its wire form. A malformed entry, or a value
    that is not Base64 text, raises ValueError."""
    kind = _CheckedEntry(entry)
    op = sync.SyncOp()
    op.opType = _OpTypes[kind]
    op.nodePath = entry[1]
    if kind == _CreateNode:
        op.nodeType = entry[2]
    elif kind == _MoveNode:
        op.oldNodePath = entry[2]
    elif kind in (_SetField, _EraseField):
        op.fieldName = entry[2]
    if kind == _SetField:
        op.SetFieldValue(base64.b64decode(entry[3], validate=True))
        if len(entry) == 5:
            op.SetBaseValue(base64.b64decode(entry[4], validate=True))
    return op


def DecodeOps(text: str) -> "sync.SyncOpList":
    """The SyncOpList that EncodeOps' text describes."""
    ops = sync.SyncOpList()
    ops.extend(OpFromWire(entry) for entry in json.loads(text))
    return ops


def BuildSyncData(text: str, syncData: Optional["sync.SyncData"] = None) -> "sync.SyncData":
    """Builds (or extends) a SyncData from the JSON text of received
    operations, the way the receiving peer does: nodes and fields through
    the store's non-recording CreateNode and SetField (the field value
    handed over as the Base64 text it travelled as), moves and erasures
    through ApplySyncOp. Returns the store."""
    if syncData is None:
        syncData = sync.SyncData.CreateNew()
    for entry in json.loads(text):
        kind = _CheckedEntry(entry)
        if kind == _CreateNode:
            syncData.CreateNode(entry[1], entry[2])
        elif kind == _SetField and len(entry) == 4:
            syncData.SetField(entry[1], entry[2], entry[3])
        else:
            syncData.ApplySyncOp(OpFromWire(entry))
    return syncData
