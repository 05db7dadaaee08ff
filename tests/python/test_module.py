"""The extension module's types: SyncOpType, SyncOp, SyncOpList, and the
module's entry points."""

import ctypes

import pytest
from pxr import Sdf


def test_OpTypeValuesMatchTheWireNumbers(sync):
    expected = {"CreateNode": 0, "SetField": 1, "MoveNode": 2,
                "EraseNode": 3, "EraseField": 4}
    for name, number in expected.items():
        value = getattr(sync, name)
        assert getattr(sync.SyncOpType, name) == value
        assert int(value) == number
        assert value.value == number
        assert value.name == name
    assert [int(v) for v in sync.SyncOpType.allValues] == [0, 1, 2, 3, 4]
    # Module-level, not nested in SyncOp.
    assert not hasattr(sync.SyncOp, "SyncOpType")


def test_DefaultOpHasEmptyFields(sync):
    op = sync.SyncOp()
    assert op.opType == sync.SyncOpType.CreateNode
    assert op.nodePath == ""
    assert op.oldNodePath == ""
    assert op.nodeType == 0
    assert op.fieldName == ""
    value = op.GetFieldValue()
    assert isinstance(value, bytearray) and len(value) == 0


def test_AttributesAreCopiedByValue(sync):
    op = sync.SyncOp()
    path = "/World/Cube"
    op.opType = sync.SyncOpType.MoveNode
    op.nodePath = path
    op.oldNodePath = "/World/Box"
    op.nodeType = 6
    op.fieldName = "typeName"
    path += "/Other"
    assert (op.opType, op.nodePath, op.oldNodePath, op.nodeType, op.fieldName) == (
        sync.SyncOpType.MoveNode, "/World/Cube", "/World/Box", 6, "typeName")
    other = sync.SyncOp()
    other.nodePath = op.nodePath
    other.nodePath = "/Changed"
    assert op.nodePath == "/World/Cube"


def test_GetFieldValueGivesAFreshCopyEachCall(sync, syncLayer):
    layer = syncLayer()
    Sdf.CreatePrimInLayer(layer, "/A").documentation = "hello"
    setOps = [op for op in sync.SyncData.GetLayerUpdates(layer)
              if op.fieldName == "documentation"]
    assert len(setOps) == 1
    op = setOps[0]
    first = op.GetFieldValue()
    second = op.GetFieldValue()
    assert first == second and first is not second
    assert sync.UnpackValue(bytes(first)) == "hello"
    first[0] = 0
    first.extend(b"junk")
    assert op.GetFieldValue() == second
    assert sync.UnpackValue(bytes(op.GetFieldValue())) == "hello"


def test_SetFieldValueCopiesTheBytes(sync):
    op = sync.SyncOp()
    data = bytearray(sync.PackValue(2.5))
    op.SetFieldValue(data)
    data[2] ^= 0xFF
    assert sync.UnpackValue(bytes(op.GetFieldValue())) == 2.5
    op.SetFieldValue(memoryview(sync.PackValue("x")))
    assert sync.UnpackValue(bytes(op.GetFieldValue())) == "x"
    with pytest.raises(TypeError):
        op.SetFieldValue("CQAAAAAAAAT4Pw==")  # text, not bytes
    with pytest.raises(TypeError):
        op.SetFieldValue(12)


def _ops(sync, *paths):
    ops = sync.SyncOpList()
    for path in paths:
        op = sync.SyncOp()
        op.nodePath = path
        ops.append(op)
    return ops


def test_OpListIsAFullSequence(sync):
    ops = _ops(sync, "/a", "/b", "/c", "/d")
    assert len(ops) == 4
    assert [op.nodePath for op in ops] == ["/a", "/b", "/c", "/d"]
    assert ops[-1].nodePath == "/d"
    assert [op.nodePath for op in ops[1:3]] == ["/b", "/c"]
    with pytest.raises(IndexError):
        ops[4]

    ops[0] = _ops(sync, "/z")[0]
    assert ops[0].nodePath == "/z"
    ops[1:3] = _ops(sync, "/x", "/y", "/w")
    assert [op.nodePath for op in ops] == ["/z", "/x", "/y", "/w", "/d"]
    del ops[-1]
    del ops[0:2]
    assert [op.nodePath for op in ops] == ["/y", "/w"]
    ops.extend(_ops(sync, "/e", "/f"))
    ops.extend([_ops(sync, "/g")[0]])
    assert [op.nodePath for op in ops] == ["/y", "/w", "/e", "/f", "/g"]


def test_OpListItemsAreLiveProxies(sync):
    ops = _ops(sync, "/a", "/b")
    item = ops[1]
    item.fieldName = "changed"
    assert ops[1].fieldName == "changed"
    for op in ops:
        op.nodeType = 3
    assert [op.nodeType for op in ops] == [3, 3]


def test_OpsNeverCompareEqual(sync):
    ops = _ops(sync, "/a")
    op = ops[0]
    assert op not in ops
    assert sync.SyncOp() not in _ops(sync, "")


def test_BothInitEntryPointsAreExported(sync):
    import glob
    import os
    (path,) = glob.glob(os.path.join(os.path.dirname(sync.__file__), "_velaUsdSync*.so"))
    library = ctypes.CDLL(path)
    assert hasattr(library, "PyInit__velaUsdSync")
    assert hasattr(library, "PyInit_libvelaUsdSync")


def test_WrongArgumentTypesRaiseTypeError(sync):
    op = sync.SyncOp()
    with pytest.raises(TypeError):
        op.opType = 1  # an int is not a SyncOpType
    with pytest.raises(TypeError):
        op.nodePath = 5
    with pytest.raises(TypeError):
        op.nodeType = "six"
    ops = sync.SyncOpList()
    with pytest.raises(TypeError):
        ops.append("not an op")
    assert len(ops) == 0
