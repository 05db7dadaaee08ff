"""Refreshes that replace most of a sync layer, seen through OpenUSD's own
Python API: the layer keeps its identity and format, listeners and
composition see the new content, nothing is echoed, local edits after it
are recorded, refused data leaves the layer alone. And sessions that pull
back only what their layer holds already."""

import base64

import pytest
from pxr import Pcp, Sdf, Tf

from vela.usd import sync
from vela.usd.client import EmbeddedTransport, Session
from vela.usd.sync import round as syncRound

# Well past the size below which a refresh always edits in place.
_PRIMS = 300


def _Author(layer, prefix, count=_PRIMS):
    world = Sdf.CreatePrimInLayer(layer, "/World")
    world.specifier = Sdf.SpecifierDef
    for i in range(count):
        prim = Sdf.PrimSpec(world, "%s%d" % (prefix, i), Sdf.SpecifierDef, "Xform")
        Sdf.AttributeSpec(prim, "size", Sdf.ValueTypeNames.Double).default = float(i)


def _Replica(layer):
    """A client's replica of the layer, built from the layer's updates."""
    replica = sync.SyncData.CreateNew()
    replica.ApplySyncOps(sync.SyncData.GetLayerUpdates(layer))
    return replica


@pytest.fixture
def source(syncLayer):
    layer = syncLayer("source.vela")
    _Author(layer, "P")
    return layer


class _Notices:
    """The layers named by LayersDidChange notices, and what a listener
    read from the watched layer while handling each."""

    def __init__(self, layer):
        self.layers, self.seen = [], []
        self._layer = layer
        self._key = Tf.Notice.RegisterGlobally(Sdf.Notice.LayersDidChange, self._On)

    def _On(self, notice, sender):
        self.layers.append(notice.GetLayers())
        if self._layer in notice.GetLayers():
            world = self._layer.GetPrimAtPath("/World")
            self.seen.append(sorted(world.nameChildren.keys()) if world else [])

    def Revoke(self):
        self._key.Revoke()


def test_WholeRefreshKeepsTheLayerAndEchoesNothing(syncLayer, source):
    layer = syncLayer("target.vela")
    identifier = layer.identifier
    Sdf.CreatePrimInLayer(layer, "/Pending")   # dropped by the refresh
    replica = _Replica(source)
    sync.SyncData.RefreshData(layer, replica)

    assert syncRound.DiffLayers(source, layer) == []
    assert Sdf.Layer.Find(identifier) == layer
    assert layer.GetFileFormat().formatId == "vela"
    assert layer.GetFileFormat() == Sdf.FileFormat.FindById("vela")
    assert layer.GetPrimAtPath("/Pending") is None
    assert len(sync.SyncData.GetLayerUpdates(layer)) == 0

    # Still a sync layer: local edits are recorded, and only they.
    layer.GetAttributeAtPath("/World/P7.size").default = 70.0
    Sdf.CreatePrimInLayer(layer, "/World/Mine").specifier = Sdf.SpecifierDef
    ops = sync.SyncData.GetLayerUpdates(layer)
    assert {op.nodePath for op in ops} == {"/World/P7.size", "/World/Mine", "/World"}

    # The layer does not share the replica: feeding it on leaves the layer be.
    source.GetAttributeAtPath("/World/P8.size").default = 80.0
    replica.ApplySyncOps(sync.SyncData.GetLayerUpdates(source))
    assert layer.GetAttributeAtPath("/World/P8.size").default == 8.0
    assert layer.GetAttributeAtPath("/World/P7.size").default == 70.0


def test_ListenersSeeTheNewContentOnce(syncLayer, source):
    layer = syncLayer("target.vela")
    _Author(layer, "Old")
    sync.SyncData.GetLayerUpdates(layer)
    notices = _Notices(layer)
    try:
        sync.SyncData.RefreshData(layer, _Replica(source))
    finally:
        notices.Revoke()
    assert len(notices.seen) == 1
    assert notices.seen[0] == sorted("P%d" % i for i in range(_PRIMS))
    assert syncRound.DiffLayers(source, layer) == []


def test_CompositionSeesTheNewContent(syncLayer, source):
    layer = syncLayer("target.vela")
    _Author(layer, "Old", 3)
    sync.SyncData.GetLayerUpdates(layer)
    cache = Pcp.Cache(Pcp.LayerStackIdentifier(layer))
    before, _ = cache.ComputePrimIndex("/World/Old1")
    assert [spec.layer for spec in before.primStack] == [layer]

    sync.SyncData.RefreshData(layer, _Replica(source))

    assert cache.FindAllLayerStacksUsingLayer(layer)
    index, errors = cache.ComputePrimIndex("/World/P5")
    assert not errors
    assert [spec.path for spec in index.primStack] == [Sdf.Path("/World/P5")]
    assert index.primStack[0].layer == layer
    fresh = Pcp.Cache(Pcp.LayerStackIdentifier(layer))
    world, _ = fresh.ComputePrimIndex("/World")
    assert list(world.ComputePrimChildNames()[0]) == ["P%d" % i for i in range(_PRIMS)]
    gone, _ = fresh.ComputePrimIndex("/World/Old1")
    assert not gone.primStack
    size, _ = fresh.ComputePropertyIndex("/World/P5.size")
    assert size.propertyStack[0].default == 5.0


def test_RefusedWholeRefreshLeavesTheLayerAsItWas(syncLayer, source, logLines):
    layer = syncLayer("target.vela")
    _Author(layer, "Kept", 3)
    sync.SyncData.GetLayerUpdates(layer)
    layer.GetPrimAtPath("/World/Kept1").documentation = "pending"
    text = syncRound.LayerText(layer)
    replica = _Replica(source)
    packed = sync.PackValue(["Ghost"], "TfTokenVector")
    replica.SetField("/World/P3", "primChildren", base64.b64encode(packed).decode("ascii"))
    notices = _Notices(layer)
    logLines()
    try:
        sync.SyncData.RefreshData(layer, replica)
    finally:
        notices.Revoke()
    assert any(line.startswith("[error] RefreshData: refused") for line in logLines())
    assert notices.seen == []
    assert syncRound.LayerText(layer) == text
    ops = sync.SyncData.GetLayerUpdates(layer)
    assert [(op.nodePath, op.fieldName) for op in ops] == [("/World/Kept1", "documentation")]


def test_SessionsPullingBackWhatTheyHoldChangeNothing(tmp_path, syncLayer):
    transport = EmbeddedTransport(str(tmp_path / "channels"))
    a = Session(syncLayer("a.vela"), "scene", transport, name="A", snapshotEvery=0)
    b = Session(syncLayer("b.vela"), "scene", transport, name="B", snapshotEvery=0)
    _Author(a.layer, "P")

    def pullQuietly(session):
        notices = _Notices(session.layer)
        try:
            session.Pull()
        finally:
            notices.Revoke()
        return notices.seen == []

    # A publishes the scene and reads it back: its layer holds it already.
    assert pullQuietly(a)
    assert not pullQuietly(b)   # a whole refresh on B
    a.layer.GetAttributeAtPath("/World/P1.size").default = 10.0
    assert pullQuietly(a)
    b.Pull()
    assert b.layer.GetAttributeAtPath("/World/P1.size").default == 10.0
    assert syncRound.DiffLayers(a.layer, b.layer) == []
    assert a.stats.ownFrames == 2 and b.stats.receivedFrames == 2
    # Both layers still record their own edits.
    b.layer.GetAttributeAtPath("/World/P2.size").default = 20.0
    b.Pull()
    a.Pull()
    assert a.layer.GetAttributeAtPath("/World/P2.size").default == 20.0
    assert len(sync.SyncData.GetLayerUpdates(a.layer)) == 0
