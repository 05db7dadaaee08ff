"""Several writers on one channel: what every peer ends with when peers
edit the same part of the scene before seeing each other's frames, over
both transports, in one process and in several."""

import multiprocessing
import os
import random
import uuid

import pytest
from pxr import Sdf, Tf

from vela.usd import sync
from vela.usd.client import EmbeddedTransport, RedisTransport, Session
from vela.usd.sync import round as syncRound


@pytest.fixture(params=["embedded", "redis"])
def transportSpec(request, tmp_path):
    """(kind, where) of a transport every peer process can open."""
    if request.param == "embedded":
        return ("embedded", str(tmp_path / "channels"))
    url = os.environ.get("VELA_TEST_REDIS_URL")
    if not url:
        pytest.skip("no Redis server named in VELA_TEST_REDIS_URL")
    return ("redis", url)


def _OpenTransport(spec):
    kind, where = spec
    return EmbeddedTransport(where) if kind == "embedded" else RedisTransport(where)


def _NewLayer(name):
    layer = Sdf.Layer.CreateAnonymous(name + ".vela")
    sync.SyncData.GetLayerUpdates(layer)
    return layer


@pytest.fixture
def peers(transportSpec):
    """make(*names): sessions on one new channel, all of them holding the
    round's scene (/World/Geom/Cube, /World/Lights/Key, ...)."""
    transport = _OpenTransport(transportSpec)
    channel = "c-" + uuid.uuid4().hex[:10]

    def make(*names, **kwargs):
        sessions = [Session(_NewLayer(n), channel, transport, name=n, **kwargs) for n in names]
        syncRound.EditPeerA(sessions[0].layer)
        for session in sessions:
            session.Pull()
        return sessions
    yield make
    transport.Delete(channel)


def _Prim(layer, path):
    prim = Sdf.CreatePrimInLayer(layer, path)
    prim.specifier = Sdf.SpecifierDef
    return prim


def _Move(layer, old, new, check=True):
    edit = Sdf.BatchNamespaceEdit()
    edit.Add(old, new)
    done = layer.Apply(edit)
    assert done or not check


def _Erase(layer, path):
    path = Sdf.Path(path)
    del layer.GetPrimAtPath(path.GetParentPath()).nameChildren[path.name]


def _Reorder(layer, path, index):
    edit = Sdf.BatchNamespaceEdit()
    edit.Add(Sdf.NamespaceEdit.Reorder(path, index))
    try:
        layer.Apply(edit)
    except Tf.ErrorException:
        # Sdf reorders the list, then reports the move of the child onto
        # itself that it also tries.
        pass


def _Exchange(*sessions):
    """Each publishes what it did, in the order given, then all pull."""
    for session in sessions:
        session.Publish()
    for session in sessions:
        session.Pull()
    texts = {syncRound.LayerText(s.layer) for s in sessions}
    assert len(texts) == 1, "the peers disagree"
    return sessions[0].layer


def _Children(layer, path):
    return [p.name for p in layer.GetPrimAtPath(path).nameChildren]


class TestConcurrentStructure:
    def test_children_added_at_once_are_all_listed_in_channel_order(self, peers):
        a, b, c = peers("A", "B", "C")
        before = _Children(a.layer, "/World")
        _Prim(a.layer, "/World/FromA")
        _Prim(b.layer, "/World/FromB")
        _Prim(c.layer, "/World/FromC")
        Sdf.AttributeSpec(a.layer.GetPrimAtPath("/World/Geom/Cube"), "fromA",
                          Sdf.ValueTypeNames.Float)
        Sdf.AttributeSpec(b.layer.GetPrimAtPath("/World/Geom/Cube"), "fromB",
                          Sdf.ValueTypeNames.Float)
        layer = _Exchange(c, a, b)
        assert _Children(layer, "/World") == before + ["FromC", "FromA", "FromB"]
        names = [p.name for p in layer.GetPrimAtPath("/World/Geom/Cube").properties]
        assert names[-2:] == ["fromA", "fromB"]

    def test_a_reorder_keeps_its_order_and_gains_what_others_added(self, peers):
        a, b = peers("A", "B")
        order = _Children(a.layer, "/World")
        _Reorder(a.layer, "/World/" + order[-1], 0)
        assert _Children(a.layer, "/World")[0] == order[-1]
        _Prim(b.layer, "/World/New")
        layer = _Exchange(b, a)
        # New followed the last child, so it stays right after it.
        assert _Children(layer, "/World") == [order[-1], "New"] + order[:-1]

    @pytest.mark.parametrize("eraseFirst", [True, False])
    def test_an_erase_wins_over_edits_below_it(self, peers, eraseFirst):
        a, b = peers("A", "B")
        _Erase(a.layer, "/World/Geom")
        _Prim(b.layer, "/World/Geom/Added")
        b.layer.GetAttributeAtPath("/World/Geom/Cube.size").default = 9.0
        layer = _Exchange(*((a, b) if eraseFirst else (b, a)))
        assert not layer.GetPrimAtPath("/World/Geom")
        assert "Geom" not in _Children(layer, "/World")

    @pytest.mark.parametrize("renameFirst", [True, False])
    def test_an_edit_of_a_renamed_path_is_dropped_when_the_rename_came_first(
            self, peers, renameFirst):
        a, b = peers("A", "B")
        _Move(a.layer, "/World/Geom", "/World/Shapes")
        b.layer.GetAttributeAtPath("/World/Geom/Cube.size").default = 9.0
        layer = _Exchange(*((a, b) if renameFirst else (b, a)))
        assert not layer.GetPrimAtPath("/World/Geom")
        size = layer.GetAttributeAtPath("/World/Shapes/Cube.size").default
        assert (size == 9.0) == (not renameFirst)

    def test_of_two_renames_of_one_prim_the_first_wins(self, peers):
        a, b = peers("A", "B")
        _Move(a.layer, "/World/Geom", "/World/GeomA")
        _Move(b.layer, "/World/Geom", "/World/GeomB")
        layer = _Exchange(a, b)
        children = _Children(layer, "/World")
        assert "GeomA" in children and "GeomB" not in children and "Geom" not in children
        assert layer.GetPrimAtPath("/World/GeomA/Cube")

    @pytest.mark.parametrize("eraseFirst", [True, False])
    def test_a_reparent_into_an_erased_prim(self, peers, eraseFirst):
        a, b = peers("A", "B")
        _Erase(a.layer, "/World/Lights")
        _Move(b.layer, "/World/Geom/Cube", "/World/Lights/Cube")
        layer = _Exchange(*((a, b) if eraseFirst else (b, a)))
        assert not layer.GetPrimAtPath("/World/Lights")
        # Erased first: the move is undone and nothing is lost. Moved first:
        # the erase takes what was under the prim when it came.
        assert bool(layer.GetPrimAtPath("/World/Geom/Cube")) == eraseFirst
        assert ("Cube" in _Children(layer, "/World/Geom")) == eraseFirst

    def test_two_edits_of_one_list_op_are_both_kept(self, peers):
        a, b = peers("A", "B")
        geom = a.layer.GetPrimAtPath("/World/Geom")
        geom.referenceList.Prepend(Sdf.Reference("old.usda"))
        a.Pull()
        b.Pull()
        a.layer.GetPrimAtPath("/World/Geom").referenceList.Prepend(Sdf.Reference("a.usda"))
        b.layer.GetPrimAtPath("/World/Geom").referenceList.Prepend(Sdf.Reference("b.usda"))
        b.layer.GetPrimAtPath("/World/Geom").referenceList.prependedItems.remove(
            Sdf.Reference("old.usda"))
        layer = _Exchange(a, b)
        refs = [r.assetPath for r in
                layer.GetPrimAtPath("/World/Geom").referenceList.prependedItems]
        # A's addition, B's addition and B's removal all hold.
        assert sorted(refs) == ["a.usda", "b.usda"]
        # An explicit list is a statement of the whole: the later one wins.
        a.layer.GetPrimAtPath("/World/Geom").referenceList.explicitItems = [
            Sdf.Reference("x.usda")]
        b.layer.GetPrimAtPath("/World/Geom").referenceList.explicitItems = [
            Sdf.Reference("y.usda")]
        layer = _Exchange(a, b)
        assert [r.assetPath for r in
                layer.GetPrimAtPath("/World/Geom").referenceList.explicitItems] == ["y.usda"]


# A random editor for the differential runs: every edit goes through Sdf,
# as a user's would, on whatever the peer's layer holds at the time.

def _Prims(layer):
    found = []
    layer.Traverse("/World", lambda p: found.append(p) if p.IsPrimPath() else None)
    return sorted(found)


def _RandomEdit(layer, rng, peer, serial):
    prims = _Prims(layer)
    inner = [p for p in prims if p != Sdf.Path("/World")]
    choice = rng.random()
    if choice < 0.35 or not inner:
        parent = rng.choice(prims)
        _Prim(layer, parent.AppendChild("%s_%d" % (peer, serial)))
    elif choice < 0.45:
        _Erase(layer, rng.choice(inner))
    elif choice < 0.55:
        path = rng.choice(inner)
        _Move(layer, path, path.GetParentPath().AppendChild("%s_r%d" % (peer, serial)), False)
    elif choice < 0.62:
        path = rng.choice(inner)
        targets = [p for p in prims if not p.HasPrefix(path) and p != path.GetParentPath()]
        if targets:
            _Move(layer, path, rng.choice(targets).AppendChild(path.name), False)
    elif choice < 0.7:
        _Reorder(layer, rng.choice(inner), 0)
    elif choice < 0.85:
        prim = layer.GetPrimAtPath(rng.choice(prims))
        attr = Sdf.AttributeSpec(prim, "%s_a%d" % (peer, serial), Sdf.ValueTypeNames.Float)
        attr.default = float(serial)
    else:
        layer.GetPrimAtPath(rng.choice(prims)).documentation = "%s %d" % (peer, serial)


def _DifferentialPeer(spec, channel, name, rounds, edits, seed, barrier, out):
    """One peer process: a round of random edits without pulling, publish,
    wait for everyone, pull; at the end its last additions under /World
    and its layer's text go to out."""
    transport = _OpenTransport(spec)
    session = Session(_NewLayer(name), channel, transport, name=name, snapshotEvery=7)
    rng = random.Random(seed)
    barrier.wait()
    session.Pull()
    for r in range(rounds):
        for i in range(edits):
            _RandomEdit(session.layer, rng, name, r * 1000 + i)
        if r == rounds - 1:
            # Made in the last round, so nobody can have erased them.
            _Prim(session.layer, "/World/Last_" + name)
            Sdf.AttributeSpec(session.layer.GetPrimAtPath("/World"), "last_" + name,
                              Sdf.ValueTypeNames.Int)
        session.Publish()
        barrier.wait()
        session.Pull()
        barrier.wait()
    with open(out, "w") as f:
        f.write(syncRound.LayerText(session.layer))


def _AllListed(layer):
    # Every spec is named in its parent's children, so nothing is unseen.
    missing = []

    def visit(path):
        if path.IsPrimPath() and path != Sdf.Path("/World"):
            parent = layer.GetPrimAtPath(path.GetParentPath())
            if path.name not in [c.name for c in parent.nameChildren]:
                missing.append(path)
    layer.Traverse("/", visit)
    return missing


@pytest.mark.parametrize("seed", [1, 2])
def test_random_concurrent_edits_converge_in_four_processes(transportSpec, tmp_path, seed):
    channel = "diff-" + uuid.uuid4().hex[:8]
    transport = _OpenTransport(transportSpec)
    seedLayer = _NewLayer("seed")
    _Prim(seedLayer, "/World")
    for group in range(4):
        for i in range(5):
            _Prim(seedLayer, "/World/G%d/P%d" % (group, i))
    Session(seedLayer, channel, transport, name="seed").Publish()

    names = ["A", "B", "C", "D"]
    context = multiprocessing.get_context("spawn")
    barrier = context.Barrier(len(names))
    procs = [context.Process(target=_DifferentialPeer, args=(
        transportSpec, channel, n, 4, 12, seed * 100 + k, barrier, str(tmp_path / n)))
        for k, n in enumerate(names)]
    for p in procs:
        p.start()
    for p in procs:
        p.join(300)
        assert p.exitcode == 0
    texts = [(tmp_path / n).read_text() for n in names]
    assert all(t == texts[0] for t in texts), "the peers' layers differ"
    layer = Sdf.Layer.CreateAnonymous("result.usda")
    layer.ImportFromString(texts[0])
    for n in names:
        assert "Last_" + n in _Children(layer, "/World")
        assert layer.GetAttributeAtPath("/World.last_" + n)
    assert not _AllListed(layer)
    transport.Delete(channel)
