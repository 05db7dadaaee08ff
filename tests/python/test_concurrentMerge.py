"""Sync layers edited independently, through OpenUSD's Sdf API, with no pull
in between: their frames applied in one channel order to one replica per
peer, each layer refreshed from its replica. Every peer ends with the same
layer, every refresh is accepted, and what a peer created and nobody erased
is listed by its parent."""

import random

import pytest
from pxr import Sdf, Tf


def _Text(layer):
    """The layer as usda text (a sync layer's own export is empty)."""
    text = Sdf.Layer.CreateAnonymous("copy.usda")
    text.TransferContent(layer)
    return text.ExportToString()


class _Session:
    """Peers that start from one scene and exchange frames in rounds."""

    def __init__(self, sync, count, build):
        self.sync = sync
        seed = Sdf.Layer.CreateAnonymous("seed.vela")
        build(seed)
        body = sync.PackLayerUpdates(seed)
        self.layers, self.replicas = [], []
        for i in range(count):
            replica = sync.SyncData.CreateNew()
            sync.ApplyPackedOps(replica, body)
            layer = Sdf.Layer.CreateAnonymous("peer%d.vela" % i)
            sync.SyncData.RefreshData(layer, replica)
            self.layers.append(layer)
            self.replicas.append(replica)

    def Round(self, order, viaOps=False):
        """Takes every peer's frame, applies them all in the given order of
        peers to every replica, and refreshes every layer."""
        bodies = [self.sync.PackLayerUpdates(layer) for layer in self.layers]
        for replica in self.replicas:
            for i in order:
                if viaOps:
                    replica.ApplySyncOps(self.sync.UnpackOps(bodies[i]))
                else:
                    self.sync.ApplyPackedOps(replica, bodies[i])
        for layer, replica in zip(self.layers, self.replicas):
            self.sync.SyncData.RefreshData(layer, replica)

    def Texts(self):
        return [_Text(layer) for layer in self.layers]


def _Def(layer, path):
    prim = Sdf.CreatePrimInLayer(layer, path)
    prim.specifier = Sdf.SpecifierDef
    return prim


def _Listed(layer, path):
    """Whether the spec at path exists and its parent lists it."""
    path = Sdf.Path(path)
    parent = layer.GetPrimAtPath(path.GetParentPath())
    if path.IsPropertyPath():
        return layer.GetPropertyAtPath(path) is not None and \
            path.name in parent.properties.keys()
    return layer.GetPrimAtPath(path) is not None and \
        path.name in parent.nameChildren.keys()


def _World(layer):
    _Def(layer, "/World/Old")
    _Def(layer, "/World/Group/Inner")


def _EditA(layer):
    prim = _Def(layer, "/World/FromA")
    Sdf.AttributeSpec(prim, "size", Sdf.ValueTypeNames.Double).default = 1.0
    Sdf.AttributeSpec(layer.GetPrimAtPath("/World/Old"), "fromA",
                      Sdf.ValueTypeNames.Int)


def _EditB(layer):
    _Def(layer, "/World/FromB")
    Sdf.AttributeSpec(layer.GetPrimAtPath("/World/Old"), "fromB",
                      Sdf.ValueTypeNames.Int)
    layer.GetPrimAtPath("/World/Group").name = "Renamed"


def _EditC(layer):
    _Def(layer, "/World/Group/Inner/FromC")
    world = layer.GetPrimAtPath("/World")
    del world.nameChildren["Old"]


@pytest.mark.parametrize("order", [(0, 1, 2), (2, 1, 0), (1, 2, 0)])
@pytest.mark.parametrize("viaOps", [False, True])
def test_ConcurrentEditsMergeAlikeOnEveryPeer(sync, logLines, order, viaOps):
    session = _Session(sync, 3, _World)
    for layer, edit in zip(session.layers, (_EditA, _EditB, _EditC)):
        edit(layer)
    logLines()
    session.Round(order, viaOps)
    assert not [line for line in logLines() if "[error]" in line]
    texts = session.Texts()
    assert texts[1:] == texts[:-1]

    layer = session.layers[0]
    for path in ("/World/FromA", "/World/FromA.size", "/World/FromB"):
        assert _Listed(layer, path), path
    # A child added under the old name follows a later rename; one that
    # arrives after the rename has no parent any more and is dropped.
    carried = order.index(2) < order.index(1)
    assert _Listed(layer, "/World/Renamed/Inner/FromC") == carried
    assert layer.GetPrimAtPath("/World/Group") is None
    # Old was erased: so were the properties added to it concurrently.
    assert layer.GetPrimAtPath("/World/Old") is None
    assert "Old" not in layer.GetPrimAtPath("/World").nameChildren.keys()
    # Additions keep the channel order.
    names = list(layer.GetPrimAtPath("/World").nameChildren.keys())
    added = ["FromA" if i == 0 else "FromB" for i in order if i != 2]
    assert [n for n in names if n.startswith("From")] == added


def test_PeersThatKnewTheOldListKeepEachOthersChildren(sync):
    session = _Session(sync, 2, lambda layer: _Def(layer, "/World"))
    _Def(session.layers[0], "/World/FromA")
    _Def(session.layers[1], "/World/FromB")
    session.Round([0, 1])
    for layer in session.layers:
        assert list(layer.GetPrimAtPath("/World").nameChildren.keys()) == \
            ["FromA", "FromB"]


class _RandomPeer:
    """Random edits of one peer's layer, through the Sdf API."""

    def __init__(self, index, rng):
        self.index, self.rng, self.count = index, rng, 0

    def _Name(self, shared=False):
        self.count += 1
        if shared and self.rng.random() < 0.3:
            return "S%d" % self.rng.randrange(4)
        return "p%d_%d" % (self.index, self.count)

    def _Prims(self, layer):
        prims = []
        layer.Traverse("/", lambda path: prims.append(path)
                       if path.IsPrimPath() else None)
        return sorted(prims)

    def Edit(self, layer):
        prims = self._Prims(layer)
        rng = self.rng
        kind = rng.choice(["create", "create", "erase", "rename", "reparent",
                           "set", "reorder", "property"])
        if kind == "create" or not prims:
            parent = rng.choice(prims + [Sdf.Path("/")])
            name = self._Name(shared=True)
            if not layer.GetPrimAtPath(parent.AppendChild(name)):
                _Def(layer, parent.AppendChild(name))
            return
        path = rng.choice(prims)
        prim = layer.GetPrimAtPath(path)
        if kind == "erase":
            parent = layer.GetPrimAtPath(path.GetParentPath())
            del parent.nameChildren[path.name]
        elif kind == "rename":
            prim.name = self._Name()
        elif kind == "reparent":
            targets = [p for p in prims + [Sdf.Path("/")]
                       if not p.HasPrefix(path) and p != path.GetParentPath()]
            if targets:
                edit = Sdf.BatchNamespaceEdit()
                edit.Add(path, rng.choice(targets).AppendChild(self._Name()))
                assert layer.Apply(edit)
        elif kind == "set":
            prim.documentation = "doc %d" % rng.randrange(1000)
        elif kind == "reorder":
            parent = layer.GetPrimAtPath(path.GetParentPath())
            if list(parent.nameChildren.keys()).index(path.name) > 0:
                edit = Sdf.BatchNamespaceEdit()
                edit.Add(Sdf.NamespaceEdit.Reorder(path, 0))
                try:
                    layer.Apply(edit)
                except Tf.ErrorException:
                    # Sdf reorders the list, then reports the move of the
                    # child onto itself that it also tries.
                    pass
                assert list(parent.nameChildren.keys())[0] == path.name
        else:
            Sdf.AttributeSpec(prim, self._Name(), Sdf.ValueTypeNames.Float)


@pytest.mark.parametrize("seed", range(12))
def test_RandomConcurrentEditsConvergeOnEveryPeer(sync, logLines, seed):
    rng = random.Random(seed)
    session = _Session(sync, 4, _World)
    peers = [_RandomPeer(i, rng) for i in range(4)]
    logLines()
    for _ in range(5):
        for peer, layer in zip(peers, session.layers):
            for _ in range(rng.randrange(1, 7)):
                peer.Edit(layer)
        order = list(range(4))
        rng.shuffle(order)
        session.Round(order)
        errors = [line for line in logLines() if "[error]" in line]
        assert not errors
        texts = session.Texts()
        assert texts[1:] == texts[:-1]
