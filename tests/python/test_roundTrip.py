"""Whole sync rounds through the Python API: peer A edits a sync layer
through Sdf, its updates travel as JSON, peer B builds a store from them and
refreshes its own layer; what B reads back must be what A set."""

import importlib.util
import json
import subprocess
import sys

import pytest
from pxr import Gf, Sdf, Vt

from vela.usd.client import jsonForm
from vela.usd.sync import round as syncRound

_FLOATING = ("Half", "Float", "Double")


def _vecSample(cls, dim, floating):
    step = 0.5 if floating else 1
    return cls(*[(i + 1) * step * (-1) ** i for i in range(dim)])


def _scalarSamples():
    """(value type name, a value that is not the type's default)."""
    samples = {
        "Bool": True, "UChar": 200, "Int": -7, "UInt": 4000000000,
        "Int64": -(2 ** 40), "UInt64": 2 ** 63 + 5, "Half": 1.5,
        "Float": 0.25, "Double": -1.0e-300, "String": "with\0nul and ü",
        "Token": "someToken", "Asset": Sdf.AssetPath("tex/wood.png"),
        "Matrix2d": Gf.Matrix2d(1, 2, 3, 4),
        "Matrix3d": Gf.Matrix3d(*range(1, 10)),
        "Matrix4d": Gf.Matrix4d(*range(1, 17)),
        "Frame4d": Gf.Matrix4d(*range(2, 18)),
        "Quath": Gf.Quath(0.5, Gf.Vec3h(1, 2, 3)),
        "Quatf": Gf.Quatf(0.5, Gf.Vec3f(1, 2, 3)),
        "Quatd": Gf.Quatd(0.5, Gf.Vec3d(1, 2, 3)),
    }
    vectors = {"Int": (Gf.Vec2i, Gf.Vec3i, Gf.Vec4i),
               "Half": (Gf.Vec2h, Gf.Vec3h, Gf.Vec4h),
               "Float": (Gf.Vec2f, Gf.Vec3f, Gf.Vec4f),
               "Double": (Gf.Vec2d, Gf.Vec3d, Gf.Vec4d)}
    for base, classes in vectors.items():
        for dim, cls in zip((2, 3, 4), classes):
            samples["%s%d" % (base, dim)] = _vecSample(cls, dim, base in _FLOATING)
    for role in ("Point3", "Vector3", "Normal3", "Color3", "TexCoord3"):
        for suffix, cls in (("h", Gf.Vec3h), ("f", Gf.Vec3f), ("d", Gf.Vec3d)):
            samples[role + suffix] = _vecSample(cls, 3, True)
    for suffix, cls in (("h", Gf.Vec4h), ("f", Gf.Vec4f), ("d", Gf.Vec4d)):
        samples["Color4" + suffix] = _vecSample(cls, 4, True)
    for suffix, cls in (("h", Gf.Vec2h), ("f", Gf.Vec2f), ("d", Gf.Vec2d)):
        samples["TexCoord2" + suffix] = _vecSample(cls, 2, True)
    return samples


_SCALARS = _scalarSamples()


def _attrName(typeName):
    return "attr" + typeName.replace("[]", "Array")


def _authorAttributes(layer, valuesByType):
    prim = Sdf.CreatePrimInLayer(layer, "/Values")
    prim.specifier = Sdf.SpecifierDef
    for typeName, value in valuesByType.items():
        attr = Sdf.AttributeSpec(prim, _attrName(typeName),
                                 getattr(Sdf.ValueTypeNames, typeName))
        attr.default = value


def _assertSameDefaults(layerA, layerB, typeNames):
    mismatched = []
    for typeName in typeNames:
        path = "/Values." + _attrName(typeName)
        a = layerA.GetAttributeAtPath(path).default
        b = layerB.GetAttributeAtPath(path)
        if b is None or b.typeName != layerA.GetAttributeAtPath(path).typeName \
                or type(b.default) is not type(a) or b.default != a:
            mismatched.append((typeName, a, None if b is None else b.default))
    assert mismatched == []


def test_ScalarValuesSurviveTheRound(roundTrip):
    layerA, layerB, _ = roundTrip(lambda layer: _authorAttributes(layer, _SCALARS))
    _assertSameDefaults(layerA, layerB, _SCALARS)
    assert syncRound.DiffLayers(layerA, layerB) == []


def test_ArrayValuesSurviveTheRound(roundTrip):
    arrays = {name + "Array": [value, value] for name, value in _SCALARS.items()}
    arrays["FloatArray"] = Vt.FloatArray(100000, list(range(100000)))
    arrays["IntArray"] = []  # empty arrays travel too
    layerA, layerB, _ = roundTrip(lambda layer: _authorAttributes(layer, arrays))
    _assertSameDefaults(layerA, layerB, arrays)


def _authorMetadata(layer):
    layer.defaultPrim = "Thing"
    thing = Sdf.CreatePrimInLayer(layer, "/Thing")
    thing.specifier = Sdf.SpecifierClass
    thing.permission = Sdf.PermissionPrivate
    thing.kind = "component"
    thing.SetInfo("testTokenListOp", Sdf.TokenListOp.Create(
        prependedItems=["A", "B"], deletedItems=["C"]))
    thing.SetInfo("testIntListOp", Sdf.IntListOp.Create(appendedItems=[3, -1, 2]))
    thing.SetInfo("testInt64ListOp", Sdf.Int64ListOp.CreateExplicit([2 ** 40, -5]))
    thing.variantSetNameList.prependedItems = ["look", "lod"]
    thing.inheritPathList.appendedItems = ["/Base", "/Other"]
    thing.referenceList.prependedItems = [
        Sdf.Reference("a.usd", "/A", Sdf.LayerOffset(2, 3)), Sdf.Reference("", "/Local")]
    over = Sdf.CreatePrimInLayer(layer, "/Thing/Child")
    over.specifier = Sdf.SpecifierOver
    uniform = Sdf.AttributeSpec(thing, "mode", Sdf.ValueTypeNames.Token,
                                Sdf.VariabilityUniform)
    uniform.default = "fast"
    rel = Sdf.RelationshipSpec(thing, "targets", custom=True)
    rel.targetPathList.explicitItems = ["/Thing/Child", "/Base"]
    conn = Sdf.AttributeSpec(thing, "input", Sdf.ValueTypeNames.Float)
    conn.connectionPathList.explicitItems = ["/Thing.mode"]
    looks = Sdf.VariantSetSpec(thing, "look")
    for name in ("red", "blue"):
        variant = Sdf.VariantSpec(looks, name)
        Sdf.AttributeSpec(variant.primSpec, "tint", Sdf.ValueTypeNames.Color3f).default = \
            Gf.Vec3f(1, 0, 0) if name == "red" else Gf.Vec3f(0, 0, 1)


def test_MetadataAndListOpsSurviveTheRound(roundTrip):
    layerA, layerB, ops = roundTrip(_authorMetadata)
    thingA, thingB = layerA.GetPrimAtPath("/Thing"), layerB.GetPrimAtPath("/Thing")
    for key in ("specifier", "permission", "kind", "testTokenListOp", "testIntListOp",
                "testInt64ListOp", "variantSetNames", "inheritPaths", "references"):
        assert thingB.GetInfo(key) == thingA.GetInfo(key), key
    assert layerB.GetPrimAtPath("/Thing/Child").specifier == Sdf.SpecifierOver
    assert layerB.GetAttributeAtPath("/Thing.mode").variability == Sdf.VariabilityUniform
    assert list(layerB.GetRelationshipAtPath("/Thing.targets").targetPathList.explicitItems) == \
        [Sdf.Path("/Thing/Child"), Sdf.Path("/Base")]
    assert layerB.defaultPrim == "Thing"
    # Token vectors (children, properties) and path vectors (target and
    # connection children) are among what travelled.
    fields = {op.fieldName for op in ops}
    assert {"primChildren", "properties", "targetChildren", "connectionChildren",
            "variantSetChildren", "variantChildren"} <= fields
    assert layerB.GetAttributeAtPath("/Thing{look=red}.tint").default == Gf.Vec3f(1, 0, 0)
    assert syncRound.DiffLayers(layerA, layerB) == []


def test_KindsWithoutDataDegradeAsSpecified(roundTrip, logLines):
    def edit(layer):
        prim = Sdf.CreatePrimInLayer(layer, "/P")
        prim.customData = {"answer": 42, "name": "x"}
        prim.SetInfo("payload", Sdf.PayloadListOp.Create(
            prependedItems=[Sdf.Payload("heavy.usd", "/Heavy")]))
        Sdf.AttributeSpec(prim, "time", Sdf.ValueTypeNames.TimeCode).default = Sdf.TimeCode(24)
    logLines()
    _, layerB, _ = roundTrip(edit)
    warnings = [line for line in logLines() if line.startswith("[warning]")]
    prim = layerB.GetPrimAtPath("/P")
    # A dictionary keeps its keys only.
    assert sorted(prim.customData.keys()) == ["answer", "name"]
    assert all(value is None for value in prim.customData.values())
    # A payload list op keeps its shape, not the payloads' data.
    (payload,) = prim.GetInfo("payload").prependedItems
    assert payload.assetPath == "" and payload.primPath == Sdf.Path()
    # A time code comes back as the default time code.
    assert layerB.GetAttributeAtPath("/P.time").default == Sdf.TimeCode(0)
    assert any("SdfPayload" in line for line in warnings)
    assert any("SdfTimeCode" in line for line in warnings)


def _authorScene(layer):
    for name in ("A", "B", "C"):
        prim = Sdf.CreatePrimInLayer(layer, "/World/" + name)
        prim.specifier = Sdf.SpecifierDef
        Sdf.AttributeSpec(prim, "size", Sdf.ValueTypeNames.Double).default = 1.0


def test_RenamesRemovalsAndFurtherRoundsStayInStep(sync, syncLayer):
    layerA, layerB = syncLayer("a.vela"), syncLayer("b.vela")
    mirror = sync.SyncData.CreateNew()

    def sendRound():
        wire = jsonForm.EncodeOps(sync.SyncData.GetLayerUpdates(layerA))
        sync.SyncData.RefreshData(layerB, jsonForm.BuildSyncData(wire, mirror))
        assert len(sync.SyncData.GetLayerUpdates(layerB)) == 0
        assert syncRound.DiffLayers(layerA, layerB) == []

    _authorScene(layerA)
    sendRound()
    edit = Sdf.BatchNamespaceEdit()
    edit.Add("/World/B", "/World/Renamed")
    edit.Add("/World/A.size", "/World/A.extent")
    assert layerA.Apply(edit)
    del layerA.GetPrimAtPath("/World").nameChildren["C"]
    layerA.GetAttributeAtPath("/World/Renamed.size").default = 5.0
    layerA.GetPrimAtPath("/World/A").ClearInfo("specifier")
    sendRound()
    assert [p.name for p in layerB.GetPrimAtPath("/World").nameChildren] == ["A", "Renamed"]
    assert layerB.GetAttributeAtPath("/World/Renamed.size").default == 5.0
    assert layerB.GetPrimAtPath("/World/C") is None


def test_WireFormRoundTripsEveryOp(sync, syncLayer):
    layer = syncLayer()
    _authorMetadata(layer)
    edit = Sdf.BatchNamespaceEdit()
    edit.Add("/Thing/Child", "/Thing/Kid")
    assert layer.Apply(edit)
    ops = sync.SyncData.GetLayerUpdates(layer)
    wire = jsonForm.EncodeOps(ops)
    entries = json.loads(wire)
    assert {0, 1, 2} <= {entry[0] for entry in entries}
    assert all(isinstance(entry[3], str) for entry in entries if entry[0] == 1)
    back = jsonForm.DecodeOps(wire)
    assert len(back) == len(ops)
    for a, b in zip(ops, back):
        assert (a.opType, a.nodePath, a.oldNodePath, a.nodeType, a.fieldName,
                a.GetFieldValue()) == (b.opType, b.nodePath, b.oldNodePath,
                                       b.nodeType, b.fieldName, b.GetFieldValue())


@pytest.mark.parametrize("entry", [
    [7, "/A"], [True, "/A"], ["SetField", "/A"], [], {"opType": 3},
    [3], [3, 5], [0, "/A", "6"], [0, "/A"], [2, "/B", None],
    [1, "/A", "x"], [1, "/A", "x", "no*base64!"],
])
def test_BadWireEntriesAreRefused(entry, sync):
    with pytest.raises(ValueError):
        jsonForm.DecodeOps(json.dumps([entry]))
    if isinstance(entry, list) and entry[-1:] != ["no*base64!"]:
        with pytest.raises(ValueError):
            jsonForm.BuildSyncData(json.dumps([entry]))


def test_CoalescedOpsRebuildTheSameLayer(sync, syncLayer):
    layer = syncLayer()
    for i in range(20):
        prim = Sdf.CreatePrimInLayer(layer, "/Root/P%d" % i)
        prim.specifier = Sdf.SpecifierDef
        prim.documentation = "first %d" % i
        prim.documentation = "second %d" % i
    edit = Sdf.BatchNamespaceEdit()
    edit.Add("/Root/P1", "/Root/Moved")
    assert layer.Apply(edit)
    again = Sdf.CreatePrimInLayer(layer, "/Root/P1")  # a new prim at the old path
    again.specifier = Sdf.SpecifierOver
    again.documentation = "new P1"
    layer.GetPrimAtPath("/Root/Moved").documentation = "moved"
    layer.GetPrimAtPath("/Root/P2").ClearInfo("documentation")
    layer.GetPrimAtPath("/Root/P3").ClearInfo("documentation")
    layer.GetPrimAtPath("/Root/P3").documentation = "back"
    del layer.GetPrimAtPath("/Root").nameChildren["P4"]

    ops = sync.SyncData.GetLayerUpdates(layer)
    coalesced = syncRound.CoalesceOps(ops)
    # The recorder has dropped the superseded sets already; CoalesceOps
    # still drops the erases that a later set follows.
    def sets(ops):
        return sum(1 for op in ops if op.opType == sync.SyncOpType.SetField)
    assert sets(coalesced) == sets(ops) and len(coalesced) < len(ops)
    assert [op.fieldName for op in ops if op.nodePath == "/Root/P5"] == [
        "", "specifier", "documentation"]
    for sent in (ops, coalesced):
        mirror = Sdf.Layer.CreateAnonymous("mirror.vela")
        sync.SyncData.RefreshData(mirror, jsonForm.BuildSyncData(jsonForm.EncodeOps(sent)))
        assert syncRound.DiffLayers(layer, mirror) == []
    assert layer.GetPrimAtPath("/Root/P1").documentation == "new P1"


def test_DivergenceIsDetected(sync, monkeypatch):
    encode = syncRound.EncodeOps

    def dropFirstDefault(ops):
        keep = sync.SyncOpList()
        first = min(i for i, op in enumerate(ops) if op.opType == sync.SyncOpType.SetField
                   and op.fieldName == "default")
        keep.extend(op for i, op in enumerate(ops) if i != first)
        return encode(keep)

    monkeypatch.setattr(syncRound, "EncodeOps", dropFirstDefault)
    import io
    out = io.StringIO()
    assert syncRound.RunRound(out=out) is False
    assert "DIFFERS" in out.getvalue()


def test_MainJobExitsZeroWhenPeersAgree():
    result = subprocess.run([sys.executable, "-m", "vela.usd.sync.round"],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "peer B matches peer A" in result.stdout
    assert "MoveNode" in result.stdout and "EraseNode" in result.stdout


def test_ImportWorksInAFreshInterpreter():
    # The sync module's dependencies name Usd, whose Python module loads with
    # it where there is one (usd-core), and is not needed where there is not.
    hasUsd = importlib.util.find_spec("pxr.Usd") is not None
    code = ("import sys, vela.usd.sync as s\n"
            "from pxr import Sdf\n"
            f"assert ('pxr.Usd' in sys.modules) == {hasUsd}\n"
            "assert 'pxr.Sdf' in sys.modules and 'pxr.Gf' in sys.modules\n"
            "l = Sdf.Layer.CreateAnonymous('x.vela')\n"
            "assert l.GetFileFormat().formatId == 'vela'\n"
            "assert [o.nodePath for o in s.SyncData.GetLayerUpdates(l)] == ['/']\n")
    result = subprocess.run([sys.executable, "-c", code], capture_output=True,
                            text=True, timeout=120, cwd="/")
    assert result.returncode == 0, result.stdout + result.stderr


def test_HostWithoutVelaFindsThePluginThroughPluginPath(sync):
    import os
    siteDir = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(sync.__file__)))))
    env = dict(os.environ,
               PXR_PLUGINPATH_NAME=os.path.join(siteDir, "velahub_sdk.libs", "usd"))
    code = ("from pxr import Sdf\n"
            "l = Sdf.Layer.CreateAnonymous('x.vela')\n"
            "assert l.GetFileFormat().formatId == 'vela'\n"
            "Sdf.CreatePrimInLayer(l, '/A')\n"
            "import vela.usd.sync as s\n"
            "assert [o.nodePath for o in s.SyncData.GetLayerUpdates(l)][:2] == ['/', '/A']\n")
    result = subprocess.run([sys.executable, "-c", code], capture_output=True,
                            text=True, timeout=120, cwd="/", env=env)
    assert result.returncode == 0, result.stdout + result.stderr
