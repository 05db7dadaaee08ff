"""List-op fields (references, apiSchemas) edited by two peers at once
through Sdf: their version 2 bodies (bases=True) applied in one order to
one replica per peer keep both peers' edits, and every peer ends with the
same layer."""

import base64

import pytest
from pxr import Sdf

from vela.usd.client import jsonForm


def _Text(layer):
    text = Sdf.Layer.CreateAnonymous("copy.usda")
    text.TransferContent(layer)
    return text.ExportToString()


def _Peers(sync, count=2):
    """Layers and replicas that start from one scene holding /World/P."""
    seed = Sdf.Layer.CreateAnonymous("seed.vela")
    prim = Sdf.CreatePrimInLayer(seed, "/World/P")
    prim.specifier = Sdf.SpecifierDef
    body = sync.PackLayerUpdates(seed, bases=True)
    peers = []
    for i in range(count):
        replica = sync.SyncData.CreateNew()
        sync.ApplyPackedOps(replica, body, bases=True)
        layer = Sdf.Layer.CreateAnonymous("peer%d.vela" % i)
        sync.SyncData.RefreshData(layer, replica)
        peers.append((layer, replica))
    return peers


def _Round(sync, peers):
    """Every peer's body, applied in peer order to every replica."""
    bodies = [sync.PackLayerUpdates(layer, bases=True) for layer, _ in peers]
    for layer, replica in peers:
        for body in bodies:
            sync.ApplyPackedOps(replica, body, bases=True)
        sync.SyncData.RefreshData(layer, replica)


def _Prim(layer):
    return layer.GetPrimAtPath("/World/P")


def test_ConcurrentReferencesAndApiSchemasAreAllKept(sync):
    peers = _Peers(sync)
    (a, _), (b, _) = peers
    _Prim(a).referenceList.Prepend(Sdf.Reference("a.usda"))
    _Prim(a).SetInfo("apiSchemas",
                     Sdf.TokenListOp.Create(prependedItems=["FromA"]))
    _Prim(b).referenceList.Prepend(Sdf.Reference("b.usda"))
    _Prim(b).SetInfo("apiSchemas",
                     Sdf.TokenListOp.Create(prependedItems=["FromB"]))
    _Round(sync, peers)

    assert _Text(a) == _Text(b)
    refs = [r.assetPath for r in _Prim(a).referenceList.prependedItems]
    assert refs == ["b.usda", "a.usda"]
    schemas = _Prim(a).GetInfo("apiSchemas").prependedItems
    assert list(schemas) == ["FromB", "FromA"]

    # The next round: A removes b's reference while B adds another.
    _Prim(a).referenceList.Erase(Sdf.Reference("b.usda"))
    _Prim(b).referenceList.Append(Sdf.Reference("c.usda"))
    _Round(sync, peers)
    assert _Text(a) == _Text(b)
    listOp = _Prim(b).referenceList
    assert [r.assetPath for r in listOp.prependedItems] == ["a.usda"]
    assert [r.assetPath for r in listOp.appendedItems] == ["c.usda"]


def test_WithoutBasesTheLaterFrameWins(sync):
    """Version 1 bodies carry no base: the later frame's list replaces."""
    peers = _Peers(sync)
    (a, _), (b, _) = peers
    _Prim(a).referenceList.Prepend(Sdf.Reference("a.usda"))
    _Prim(b).referenceList.Prepend(Sdf.Reference("b.usda"))
    bodies = [sync.PackLayerUpdates(layer) for layer, _ in peers]
    with pytest.raises(ValueError):
        sync.UnpackOps(bodies[0], bases=True)
    for layer, replica in peers:
        for body in bodies:
            sync.ApplyPackedOps(replica, body)
        sync.SyncData.RefreshData(layer, replica)
    assert [r.assetPath for r in _Prim(a).referenceList.prependedItems] == \
        ["b.usda"]


def test_BasesTravelInOpsAndTheJsonForm(sync):
    layer = Sdf.Layer.CreateAnonymous("json.vela")
    prim = Sdf.CreatePrimInLayer(layer, "/P")
    sync.SyncData.GetLayerUpdates(layer)
    prim.referenceList.Prepend(Sdf.Reference("a.usda"))
    prim.documentation = "d"
    ops = sync.UnpackOps(sync.PackLayerUpdates(layer, bases=True), bases=True)
    refs = [op for op in ops if op.fieldName == "references"][0]
    doc = [op for op in ops if op.fieldName == "documentation"][0]
    assert bytes(refs.GetBaseValue()) == b""
    assert doc.GetBaseValue() is None

    entry = jsonForm.OpToWire(refs)
    assert len(entry) == 5 and entry[4] == ""
    back = jsonForm.OpFromWire(entry)
    assert bytes(back.GetBaseValue()) == b""
    assert len(jsonForm.OpToWire(doc)) == 4

    # A base on a value that is no list op is refused, as a value would be.
    doc.SetBaseValue(bytes(refs.GetFieldValue()))
    with pytest.raises(ValueError, match="not a list op"):
        sync.UnpackOps(sync.PackOps([doc], bases=True), bases=True)
    # A snapshot body carries an empty section.
    store = sync.SyncData.CreateNew()
    body = sync.PackSyncData(store, bases=True)
    assert body[-1:] == b"\x00"
    assert len(sync.UnpackOps(body, bases=True)) == len(
        sync.UnpackOps(sync.PackSyncData(store)))
    assert base64.b64decode(entry[3]) == bytes(refs.GetFieldValue())
