"""SyncData through the Python API: building stores, refreshing layers,
collecting updates, ownership, the client extensions and bad input."""

import base64
import gc

import pytest
from pxr import Sdf

from vela.usd.sync import round as syncRound


def _b64(sync, value, typeName=""):
    return base64.b64encode(sync.PackValue(value, typeName)).decode("ascii")


def _rootStore(sync, *names):
    """A store with def prims at /<name>, children of the pseudo-root."""
    store = sync.SyncData.CreateNew()
    for name in names:
        store.CreateNode(Sdf.Path("/" + name), Sdf.SpecTypePrim)
        store.SetField("/" + name, "specifier", _b64(sync, Sdf.SpecifierDef))
    store.SetField("/", "primChildren", _b64(sync, list(names), "TfTokenVector"))
    return store


def test_CreateNewGivesDistinctStores(sync):
    a, b = sync.SyncData.CreateNew(), sync.SyncData.CreateNew()
    assert a is not b and a != b
    assert not a.expired and not b.expired


def test_FreshLayerYieldsPseudoRootThenNothing(sync):
    layer = Sdf.Layer.CreateAnonymous("fresh.vela")
    ops = sync.SyncData.GetLayerUpdates(layer)
    assert isinstance(ops, sync.SyncOpList)
    assert [(op.opType, op.nodePath, op.nodeType) for op in ops] == [
        (sync.SyncOpType.CreateNode, "/", 7)]
    assert len(sync.SyncData.GetLayerUpdates(layer)) == 0


def test_UpdatesComeOutInOrderAndDrain(sync, syncLayer):
    layer = syncLayer()
    prim = Sdf.CreatePrimInLayer(layer, "/A")
    sync.SyncData.GetLayerUpdates(layer)
    prim.documentation = "one"
    prim.comment = "c"
    prim.documentation = "two"
    prim.comment = "d"
    ops = sync.SyncData.GetLayerUpdates(layer)
    # The first documentation stays (comment was added after it); the first
    # comment is superseded by the second.
    assert [(op.opType, op.nodePath, op.fieldName) for op in ops] == [
        (sync.SyncOpType.SetField, "/A", name)
        for name in ("documentation", "documentation", "comment")]
    assert [sync.UnpackValue(bytes(op.GetFieldValue())) for op in ops] == ["one", "two", "d"]
    assert len(sync.SyncData.GetLayerUpdates(layer)) == 0


def test_LayerOfAnotherFormatGivesNothing(sync, logLines):
    logLines()
    layer = Sdf.Layer.CreateAnonymous("plain.usda")
    Sdf.CreatePrimInLayer(layer, "/A")
    assert len(sync.SyncData.GetLayerUpdates(layer)) == 0
    assert "[error] Layer is not using SyncFileFormat." in logLines()
    assert len(sync.SyncData.GetLayerUpdates(None)) == 0
    assert "[error] Invalid layer." in logLines()


def test_RefreshDataBringsLayerInLineWithoutEcho(sync, syncLayer):
    layer = syncLayer()
    Sdf.CreatePrimInLayer(layer, "/Old")  # pending, and dropped by the refresh
    sync.SyncData.RefreshData(layer, _rootStore(sync, "A", "B"))
    assert [p.name for p in layer.rootPrims] == ["A", "B"]
    assert layer.GetPrimAtPath("/Old") is None
    assert len(sync.SyncData.GetLayerUpdates(layer)) == 0
    # Local edits after the refresh are recorded again.
    layer.GetPrimAtPath("/A").documentation = "local"
    ops = sync.SyncData.GetLayerUpdates(layer)
    assert [(op.nodePath, op.fieldName) for op in ops] == [("/A", "documentation")]


def test_RefreshDataWithNoneChangesNothing(sync, syncLayer, logLines):
    layer = syncLayer()
    sync.SyncData.RefreshData(layer, _rootStore(sync, "A"))
    logLines()
    sync.SyncData.RefreshData(None, _rootStore(sync, "B"))
    sync.SyncData.RefreshData(layer, None)
    assert sum(line.startswith("[error]") for line in logLines()) == 2
    assert [p.name for p in layer.rootPrims] == ["A"]


def _withChild(sync, field, value, typeName):
    store = _rootStore(sync, "A")
    store.SetField("/A", field, _b64(sync, value, typeName))
    return store


@pytest.mark.parametrize("field, value, typeName", [
    ("primChildren", ["Ghost"], "TfTokenVector"),
    ("primChildren", ["not a name"], "TfTokenVector"),
    ("primChildren", 1.5, ""),
    ("properties", ["ghost"], "TfTokenVector"),
    ("variantSetChildren", ["look"], "TfTokenVector"),
    ("targetChildren", [Sdf.Path("/A")], "SdfPathVector"),
    ("connectionChildren", ["x"], "token[]"),
])
def test_RefreshDataRefusesDanglingChildren(sync, syncLayer, logLines, field, value,
                                            typeName):
    layer = syncLayer()
    sync.SyncData.RefreshData(layer, _rootStore(sync, "Before"))
    logLines()
    sync.SyncData.RefreshData(layer, _withChild(sync, field, value, typeName))
    assert any(line.startswith("[error] RefreshData: refused") for line in logLines())
    assert [p.name for p in layer.rootPrims] == ["Before"]
    assert "Before" in syncRound.LayerText(layer)  # and the layer is still sound


@pytest.mark.parametrize("path, specType", [
    ("/A", Sdf.SpecTypeAttribute),      # a listed child prim that is an attribute
    ("/", Sdf.SpecTypePrim),
    ("/A.size", Sdf.SpecTypePrim),
    ("/A{v=x}", Sdf.SpecTypePrim),
    ("/A{v=}", Sdf.SpecTypeVariant),
    ("/A.size[/B]", Sdf.SpecTypeMapper),
    ("/A.size[/B]", Sdf.SpecTypeConnection),          # no attribute owns it
    ("/A.rel[/B]", Sdf.SpecTypeRelationshipTarget),   # no relationship owns it
    ("/A.size.mapper[/B.x]", Sdf.SpecTypeMapper),     # not in the schema
    ("/A.size.expression", Sdf.SpecTypeExpression),
])
def test_RefreshDataRefusesSpecTypesThatDoNotFitTheirPath(sync, syncLayer, logLines,
                                                          path, specType):
    layer = syncLayer()
    sync.SyncData.RefreshData(layer, _rootStore(sync, "Before"))
    store = _rootStore(sync, "A")
    store.CreateNode(path, specType)
    logLines()
    sync.SyncData.RefreshData(layer, store)
    assert any(line.startswith("[error] RefreshData: refused") for line in logLines())
    assert [p.name for p in layer.rootPrims] == ["Before"]
    assert "Before" in syncRound.LayerText(layer)


def test_RefreshDataRefusesDataWithoutPseudoRoot(sync, syncLayer, logLines):
    # OpenUSD aborts the process on a layer without its pseudo-root.
    layer = syncLayer()
    sync.SyncData.RefreshData(layer, _rootStore(sync, "Before"))
    store = _rootStore(sync, "A")
    op = sync.SyncOp()
    op.opType = sync.SyncOpType.EraseNode
    op.nodePath = "/"
    store.ApplySyncOp(op)
    logLines()
    sync.SyncData.RefreshData(layer, store)
    assert any(line.startswith("[error] RefreshData: refused") for line in logLines())
    assert [p.name for p in layer.rootPrims] == ["Before"]


def test_StoreDroppedByPythonButHeldByLayerStaysAlive(sync, syncLayer):
    layer = syncLayer()
    store = _rootStore(sync, "Kept")
    sync.SyncData.RefreshData(layer=layer, syncData=store)
    del store
    gc.collect()
    prim = layer.GetPrimAtPath("/Kept")
    assert prim is not None and prim.specifier == Sdf.SpecifierDef
    prim.documentation = "still here"
    assert [op.fieldName for op in sync.SyncData.GetLayerUpdates(layer)] == ["documentation"]
    assert syncRound.LayerText(layer).count("Kept") == 1


def test_SetFieldKeywordsInAnyOrder(sync):
    value = _b64(sync, "text")
    positional = _rootStore(sync, "A")
    positional.SetField(Sdf.Path("/A"), "documentation", value)
    keywords = _rootStore(sync, "A")
    keywords.SetField(fieldValue=value, path="/A", fieldName="documentation")
    layers = []
    for store in (positional, keywords):
        layer = Sdf.Layer.CreateAnonymous("kw.vela")
        sync.SyncData.RefreshData(layer, store)
        layers.append(layer)
    assert layers[0].GetPrimAtPath("/A").documentation == "text"
    assert syncRound.DiffLayers(*layers) == []
    # bytes holding the Base64 text are accepted as well
    keywords.SetField("/A", "comment", value.encode("ascii"))


def test_ApplySyncOpsRebuildsALayer(sync, syncLayer):
    layer = syncLayer()
    for name in ("A", "B", "C"):
        Sdf.CreatePrimInLayer(layer, "/" + name).specifier = Sdf.SpecifierDef
    edit = Sdf.BatchNamespaceEdit()
    edit.Add("/B", "/Renamed")
    assert layer.Apply(edit)
    del layer.pseudoRoot.nameChildren["C"]
    ops = sync.SyncData.GetLayerUpdates(layer)
    kinds = {int(op.opType) for op in ops}
    assert {0, 1, 2, 3} <= kinds

    fromList, fromIterable = sync.SyncData.CreateNew(), sync.SyncData.CreateNew()
    fromList.ApplySyncOps(ops)
    fromIterable.ApplySyncOps(iter(list(ops)))
    for store in (fromList, fromIterable):
        mirror = Sdf.Layer.CreateAnonymous("mirror.vela")
        sync.SyncData.RefreshData(mirror, store)
        assert [p.name for p in mirror.rootPrims] == ["A", "Renamed"]
        assert syncRound.DiffLayers(layer, mirror) == []


def test_ReplicaFedRoundAfterRoundDoesNotGrow(sync):
    """A client's replica, fed the same creates, sets, moves and erasures
    round after round, holds the same content and records nothing."""
    def op(kind, path, **attrs):
        o = sync.SyncOp()
        o.opType, o.nodePath = getattr(sync.SyncOpType, kind), path
        for name, value in attrs.items():
            setattr(o, name, value)
        return o

    ops = sync.SyncOpList()
    comment = op("SetField", "", fieldName="comment")
    comment.SetFieldValue(sync.PackValue("kept"))
    for i in range(200):
        ops.append(op("CreateNode", "/T%d" % i, nodeType=Sdf.SpecTypePrim.value))
        comment.nodePath = "/T%d" % i
        ops.append(comment)
        ops.append(op("MoveNode", "/M%d" % i, oldNodePath="/T%d" % i))
        ops.append(op("EraseNode", "/M%d" % i))
    ops.append(op("CreateNode", "/Kept", nodeType=Sdf.SpecTypePrim.value))
    ops.append(op("EraseField", "/Kept", fieldName="comment"))
    children = op("SetField", "/", fieldName="primChildren")
    children.SetFieldValue(sync.PackValue(["Kept"], "TfTokenVector"))
    ops.append(children)

    replica = sync.SyncData.CreateNew()
    assert replica.GetPendingOpCount() == 1  # its pseudo-root's creation
    replica.ApplySyncOps(ops)
    first = Sdf.Layer.CreateAnonymous("first.vela")
    sync.SyncData.RefreshData(first, replica)
    for _ in range(199):
        replica.ApplySyncOps(ops)
    assert replica.GetPendingOpCount() == 1
    last = Sdf.Layer.CreateAnonymous("last.vela")
    sync.SyncData.RefreshData(last, replica)
    assert syncRound.DiffLayers(first, last) == []
    assert [p.name for p in last.rootPrims] == ["Kept"]


def test_ApplySyncOpsChecksItemsFirst(sync, syncLayer):
    store = sync.SyncData.CreateNew()
    op = sync.SyncOp()
    op.nodePath = "/A"
    op.nodeType = Sdf.SpecTypePrim.value
    with pytest.raises(TypeError):
        store.ApplySyncOps([op, "not an op"])
    with pytest.raises(TypeError):
        store.ApplySyncOps(42)
    with pytest.raises(TypeError):
        store.ApplySyncOp("/A")
    store.SetField("/", "primChildren", _b64(sync, ["A"], "TfTokenVector"))
    layer = syncLayer()
    sync.SyncData.RefreshData(layer, store)
    assert layer.GetPrimAtPath("/A") is None  # nothing of the batch was applied


@pytest.mark.parametrize("nodePath, oldNodePath, nodeType, opType", [
    ("not a path!", "", 6, "CreateNode"),
    ("/A", "", 99, "CreateNode"),
    ("/A", "", -1, "CreateNode"),
    ("/B", "::bad::", 0, "MoveNode"),
    ("", "", 0, "EraseNode"),
    ("relative/path", "", 6, "CreateNode"),
])
def test_ApplySyncOpRefusesOpsOpenUSDCannotHold(sync, logLines, nodePath,
                                                oldNodePath, nodeType, opType):
    store = _rootStore(sync, "A")
    op = sync.SyncOp()
    op.opType = sync.SyncOpType.GetValueFromName(opType)
    op.nodePath, op.oldNodePath, op.nodeType = nodePath, oldNodePath, nodeType
    logLines()
    store.ApplySyncOp(op)
    assert any(line.startswith("[error] Invalid") for line in logLines())
    layer = Sdf.Layer.CreateAnonymous("refused.vela")
    sync.SyncData.RefreshData(layer, store)
    assert [p.name for p in layer.rootPrims] == ["A"]
    assert layer.GetPrimAtPath("/A").specifier == Sdf.SpecifierDef


def test_CreateNodeRefusesUnknownSpecTypeNumbers(sync, logLines):
    store = sync.SyncData.CreateNew()
    logLines()
    store.CreateNode("/A", 1000)
    assert "[error] Invalid spec type 1000 at /A" in logLines()
    store.CreateNode("/A", 0)
    assert "[error] Cannot create spec with unknown type at /A" in logLines()
    for path in ("", "A/B"):
        store.CreateNode(path, Sdf.SpecTypePrim)
        assert any(line.startswith("[error] Invalid path") for line in logLines())


def test_WrongArgumentTypesRaiseTypeError(sync, syncLayer):
    store = sync.SyncData.CreateNew()
    layer = syncLayer()
    calls = [
        lambda: store.CreateNode(12, 6),
        lambda: store.CreateNode("/A", "prim"),
        lambda: store.SetField("/A", 5, "AAA="),
        lambda: store.SetField("/A", "documentation", 3.5),
        lambda: store.SetField(path="/A", fieldName="x"),
        lambda: sync.SyncData.GetLayerUpdates("layer"),
        lambda: sync.SyncData.GetLayerUpdates(layer=store),
        lambda: sync.SyncData.RefreshData(layer, "store"),
        lambda: sync.SyncData.RefreshData(store, store),
        lambda: sync.SyncData.CreateNew(1),
        lambda: sync.PackValue(),
        lambda: sync.UnpackValue(3),
        lambda: sync.UnpackValue(None),
    ]
    for call in calls:
        with pytest.raises(TypeError):
            call()
    with pytest.raises(RuntimeError, match="cannot be instantiated"):
        sync.SyncData()  # no Python constructor


def test_BadBase64RaisesAndLeavesTheStore(sync, syncLayer):
    store = _rootStore(sync, "A")
    store.SetField("/A", "documentation", _b64(sync, "kept"))
    for text in ("not*base64!!", "AA?A"):
        with pytest.raises(Exception):
            store.SetField("/A", "documentation", text)
        with pytest.raises(Exception):
            sync.UnpackValue(text)
    layer = syncLayer()
    sync.SyncData.RefreshData(layer, store)
    assert layer.GetPrimAtPath("/A").documentation == "kept"


@pytest.mark.parametrize("data", [
    b"", b"\x09", b"\x09\x00\x01\x02", b"\xfe\x00\x00", b"\x0a\x00\xff\xff\xff\xff\xff\xff\xff\x7f",
    b"\x08\x01\x10\x00\x00\x00\x00\x00\x00\x00\x00\x00",
])
def test_MalformedPackedBytesGiveNoneAndAnErrorLine(sync, logLines, data):
    logLines()
    assert sync.UnpackValue(data) is None
    assert any(line.startswith("[error]") for line in logLines())
    # The same bytes as Base64 text take the same path.
    assert sync.UnpackValue(base64.b64encode(data).decode("ascii")) is None


def test_BadLengthBase64GivesNone(sync, logLines):
    logLines()
    assert sync.UnpackValue("CQA") is None
    assert any(line.startswith("[error]") for line in logLines())


def test_PackValueCastsToANamedType(sync, logLines):
    assert sync.UnpackValue(sync.PackValue(2, "float")) == 2.0
    assert sync.PackValue(2, "float")[0] != sync.PackValue(2.0)[0]  # float, not double
    assert sync.UnpackValue(sync.PackValue(["A", "B"], "TfTokenVector")) == ["A", "B"]
    assert list(sync.UnpackValue(sync.PackValue(["a", "b"], "token[]"))) == ["a", "b"]
    logLines()
    assert sync.PackValue(1.0, "noSuchType") == b""
    assert sync.PackValue("text", "double") == b""
    assert sum(line.startswith("[error] PackValue") for line in logLines()) == 2
    with pytest.raises(TypeError):
        sync.PackValue([1, 2], "TfTokenVector")
