"""A prim annotated with VelaAnnotationAPI, as Usd authors it (the
"apiSchemas" list op and the schema's attributes), travels through sync
rounds unchanged, so a peer sees the annotation. Sdf alone does not know
"apiSchemas": without Usd, the tests' metadata plug-in declares it as Usd
does."""

import pytest
from pxr import Sdf, Vt

from vela.usd.client import jsonForm
from vela.usd.sync import round as syncRound

_LIST_OPS = {
    "prepended": Sdf.TokenListOp.Create(prependedItems=["VelaAnnotationAPI"]),
    "explicit": Sdf.TokenListOp.CreateExplicit(["SomeOtherAPI", "VelaAnnotationAPI"]),
    "deleted": Sdf.TokenListOp.Create(appendedItems=["SomeOtherAPI"],
                                      deletedItems=["VelaAnnotationAPI"]),
}


def _annotate(layer, apiSchemas, count, entries):
    prim = Sdf.CreatePrimInLayer(layer, "/World/Chair")
    prim.specifier = Sdf.SpecifierDef
    prim.typeName = "Xform"
    prim.SetInfo("apiSchemas", apiSchemas)
    Sdf.AttributeSpec(prim, "annotation:commentCount", Sdf.ValueTypeNames.Int).default = count
    Sdf.AttributeSpec(prim, "annotation:entries",
                      Sdf.ValueTypeNames.StringArray).default = Vt.StringArray(entries)


@pytest.mark.parametrize("listOp", _LIST_OPS.values(), ids=_LIST_OPS.keys())
def test_AnnotatedPrimSurvivesTheRound(listOp, roundTrip):
    layerA, layerB, ops = roundTrip(
        lambda layer: _annotate(layer, listOp, 2, ["looks good", "needs a cushion"]))
    assert any(op.fieldName == "apiSchemas" for op in ops)

    prim = layerB.GetPrimAtPath("/World/Chair")
    assert prim.GetInfo("apiSchemas") == listOp
    for name, typeName, value in (
            ("annotation:commentCount", Sdf.ValueTypeNames.Int, 2),
            ("annotation:entries", Sdf.ValueTypeNames.StringArray,
             Vt.StringArray(["looks good", "needs a cushion"]))):
        attr = layerB.GetAttributeAtPath(prim.path.AppendProperty(name))
        assert attr.typeName == typeName and attr.default == value, name
        assert not attr.custom and attr.variability == Sdf.VariabilityVarying
    assert layerB.ExportToString() == layerA.ExportToString()
    assert syncRound.DiffLayers(layerA, layerB) == []


def test_AnnotationEditsReachThePeerInLaterRounds(sync, syncLayer):
    layerA, layerB = syncLayer("a.vela"), syncLayer("b.vela")
    mirror = sync.SyncData.CreateNew()

    def sendRound():
        ops = sync.SyncData.GetLayerUpdates(layerA)
        wire = jsonForm.EncodeOps(ops)
        sync.SyncData.RefreshData(layerB, jsonForm.BuildSyncData(wire, mirror))
        assert syncRound.DiffLayers(layerA, layerB) == []
        return ops

    _annotate(layerA, _LIST_OPS["prepended"], 0, [])
    sendRound()
    assert list(layerB.GetAttributeAtPath("/World/Chair.annotation:entries").default) == []

    # A reviewer adds an entry: only that field edit and the count travel.
    prim = layerA.GetPrimAtPath("/World/Chair")
    prim.attributes["annotation:entries"].default = Vt.StringArray(["wobbly leg"])
    prim.attributes["annotation:commentCount"].default = 1
    ops = sendRound()
    assert {(op.nodePath, op.fieldName) for op in ops} == {
        ("/World/Chair.annotation:entries", "default"),
        ("/World/Chair.annotation:commentCount", "default")}
    assert list(layerB.GetAttributeAtPath("/World/Chair.annotation:entries").default) == \
        ["wobbly leg"]

