"""The refresh that looks only at what changed, seen through OpenUSD's own
Python API: peer A's frames are applied to a store, and peer B refreshes
one layer from the store's changes and another in full; both layers must
hold the same content after every frame. And the snapshot body written
from a store."""

import base64

import pytest
from pxr import Pcp, Sdf, Tf

from vela.usd import sync
from vela.usd.sync import round as syncRound


def _Author(layer, count=20):
    world = Sdf.CreatePrimInLayer(layer, "/World")
    world.specifier = Sdf.SpecifierDef
    for i in range(count):
        prim = Sdf.PrimSpec(world, "P%d" % i, Sdf.SpecifierDef, "Xform")
        Sdf.AttributeSpec(prim, "size", Sdf.ValueTypeNames.Double).default = float(i)


class _Peers:
    """Peer A's layer, the store its frames are applied to, and peer B's
    two layers: one refreshed from the store's changes, one in full."""

    def __init__(self, syncLayer):
        self.source = syncLayer("source.vela")
        self.store = sync.SyncData.CreateNew()
        self.changed = syncLayer("changed.vela")
        self.full = syncLayer("full.vela")

    def Send(self):
        sync.ApplyPackedOps(self.store, sync.PackLayerUpdates(self.source))

    def Refresh(self):
        sync.SyncData.RefreshChangedData(self.changed, self.store)
        sync.SyncData.RefreshData(self.full, self.store)

    def Step(self, edit=None):
        if edit:
            edit(self.source)
        self.Send()
        self.Refresh()
        assert syncRound.DiffLayers(self.changed, self.full) == []
        assert syncRound.DiffLayers(self.source, self.changed) == []
        assert len(sync.SyncData.GetLayerUpdates(self.changed)) == 0


@pytest.fixture
def peers(syncLayer):
    result = _Peers(syncLayer)
    result.Step(_Author)
    return result


class _Notices:
    """How many LayersDidChange and LayerDidReplaceContent notices named
    the layer."""

    def __init__(self, layer):
        self.changes = self.replaced = 0
        self._layer = layer
        self._keys = [
            Tf.Notice.RegisterGlobally(Sdf.Notice.LayersDidChange, self._OnChange),
            Tf.Notice.Register(Sdf.Notice.LayerDidReplaceContent, self._OnReplace, layer),
        ]

    def _OnChange(self, notice, sender):
        self.changes += self._layer in notice.GetLayers()

    def _OnReplace(self, notice, sender):
        self.replaced += 1

    def Revoke(self):
        for key in self._keys:
            key.Revoke()


def test_FieldEditsCreationsErasuresRenamesAndReordersMatchTheFullRefresh(peers):
    def editFields(layer):
        layer.GetAttributeAtPath("/World/P3.size").default = 30.0
        layer.GetPrimAtPath("/World/P4").documentation = "four"
        layer.GetPrimAtPath("/World/P5").typeName = "Scope"
    peers.Step(editFields)

    def create(layer):
        world = layer.GetPrimAtPath("/World")
        new = Sdf.PrimSpec(world, "New", Sdf.SpecifierDef, "Sphere")
        Sdf.AttributeSpec(new, "radius", Sdf.ValueTypeNames.Float).default = 2.0
        Sdf.RelationshipSpec(new, "look")
        Sdf.PrimSpec(new, "Child", Sdf.SpecifierOver)
        Sdf.AttributeSpec(layer.GetPrimAtPath("/World/P1"), "extra",
                          Sdf.ValueTypeNames.Int).default = 7
    peers.Step(create)
    assert peers.changed.GetPrimAtPath("/World/New/Child") is not None

    def erase(layer):
        world = layer.GetPrimAtPath("/World")
        del world.nameChildren["P6"]
        prim = layer.GetPrimAtPath("/World/P1")
        prim.RemoveProperty(prim.properties["extra"])
    peers.Step(erase)
    assert peers.changed.GetPrimAtPath("/World/P6") is None

    def rename(layer):
        layer.GetPrimAtPath("/World/P7").name = "Seven"
        layer.GetPrimAtPath("/World/New").name = "Renamed"
    peers.Step(rename)
    assert peers.changed.GetAttributeAtPath("/World/Seven.size").default == 7.0

    def retype(layer):
        prim = layer.GetPrimAtPath("/World/P8")
        prim.RemoveProperty(prim.properties["size"])
        Sdf.AttributeSpec(prim, "size", Sdf.ValueTypeNames.Float).default = 8.0
    peers.Step(retype)
    assert peers.changed.GetAttributeAtPath("/World/P8.size").typeName == \
        Sdf.ValueTypeNames.Float

    # A reorder of a children list, as a peer sends it.
    assert peers.store.GetChangedPaths() == []
    order = ["P%d" % i for i in (2, 1, 0)]
    world = peers.full.GetPrimAtPath("/World")
    reordered = order + [name for name in world.nameChildren.keys() if name not in order]
    packed = sync.PackValue(reordered, "TfTokenVector")
    peers.store.SetField(Sdf.Path("/World"), "primChildren",
                         base64.b64encode(packed).decode())
    peers.Refresh()
    assert syncRound.DiffLayers(peers.changed, peers.full) == []
    assert list(peers.changed.GetPrimAtPath("/World").nameChildren.keys())[:3] == order


def test_OneAttributeChangeIsAFineGrainedNotice(peers):
    cache = Pcp.Cache(Pcp.LayerStackIdentifier(peers.changed))
    index, errors = cache.ComputePrimIndex("/World/P2")
    assert index.IsValid() and not errors

    peers.source.GetAttributeAtPath("/World/P2.size").default = -1.0
    peers.Send()
    notices = _Notices(peers.changed)
    sync.SyncData.RefreshChangedData(peers.changed, peers.store)
    notices.Revoke()
    assert (notices.changes, notices.replaced) == (1, 0)
    assert peers.changed.GetAttributeAtPath("/World/P2.size").default == -1.0

    # Composition sees what the refresh made.
    Sdf.PrimSpec(peers.source.GetPrimAtPath("/World"), "Late", Sdf.SpecifierDef, "Cube")
    peers.Send()
    sync.SyncData.RefreshChangedData(peers.changed, peers.store)
    index, errors = cache.ComputePrimIndex("/World/Late")
    assert index.IsValid() and index.primStack and not errors


def test_ReadingBackItsOwnFrameChangesNothing(peers):
    """Peer B edits its layer, publishes, and reads the frame back."""
    layer = peers.changed
    layer.GetAttributeAtPath("/World/P9.size").default = 99.0
    Sdf.PrimSpec(layer.GetPrimAtPath("/World"), "Mine", Sdf.SpecifierDef, "Cube")
    sync.ApplyPackedOps(peers.store, sync.PackLayerUpdates(layer))
    notices = _Notices(layer)
    sync.SyncData.RefreshChangedData(layer, peers.store)
    notices.Revoke()
    assert (notices.changes, notices.replaced) == (0, 0)
    sync.SyncData.RefreshData(peers.full, peers.store)
    assert syncRound.DiffLayers(layer, peers.full) == []


def test_InconsistentChangesAreRefusedAndTheLayerKept(peers, logLines):
    before = syncRound.LayerText(peers.changed)
    packed = sync.PackValue(["Ghost"], "TfTokenVector")
    peers.store.SetField(Sdf.Path("/World/P0"), "primChildren",
                         base64.b64encode(packed).decode())
    logLines()
    sync.SyncData.RefreshChangedData(peers.changed, peers.store)
    lines = logLines()
    assert any("RefreshData: refused, the sync data is not consistent" in line
               for line in lines), lines
    assert syncRound.LayerText(peers.changed) == before
    # The record is kept for when the data is whole again.
    assert Sdf.Path("/World/P0") in peers.store.GetChangedPaths()


def test_PackSyncDataRebuildsTheStore(peers):
    body = sync.PackSyncData(peers.store)
    rebuilt = sync.SyncData.CreateNew()
    sync.ApplyPackedOps(rebuilt, body)
    # The same specs, fields and field order give the same body again.
    assert sync.PackSyncData(rebuilt) == body
    layer = Sdf.Layer.CreateAnonymous("rebuilt.vela")
    sync.SyncData.RefreshData(layer, rebuilt)
    assert syncRound.DiffLayers(layer, peers.source) == []
    with pytest.raises(ValueError):
        sync.PackSyncData(None)
