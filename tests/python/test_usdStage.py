"""Sync layers under Usd stages, where users edit scenes: a sync layer as a
stage's root layer and as a sublayer edit target, edits authored through
Usd and UsdGeom reaching another peer's stage with the notices a stage
sends, a stage of assets that only the remote store has, and the
annotation schema applied on one peer and seen on the other. Only the
usd-core flavour has pxr.Usd."""

import os
import shutil
import textwrap

import pytest

Usd = pytest.importorskip("pxr.Usd", reason="pxr.Usd is only in the usd-core flavour")

import vela.usd.annotation as annotation  # noqa: E402  (before any stage, as a host would)
import vela.usd.resolve as resolve  # noqa: E402
from pxr import Ar, Sdf, Tf, UsdGeom  # noqa: E402
from vela.usd.client import EmbeddedTransport, Session  # noqa: E402
from vela.usd.sync import round as syncRound  # noqa: E402


class Notices:
    """The ObjectsChanged notices a stage sends, as path lists."""

    def __init__(self, stage):
        self.resynced = []
        self.changedInfo = []
        self._listener = Tf.Notice.Register(Usd.Notice.ObjectsChanged, self._Changed, stage)

    def _Changed(self, notice, sender):
        self.resynced += [str(p) for p in notice.GetResyncedPaths()]
        self.changedInfo += [str(p) for p in notice.GetChangedInfoOnlyPaths()]

    def Clear(self):
        del self.resynced[:]
        del self.changedInfo[:]


@pytest.fixture
def peers(tmp_path, syncLayer):
    """Two sessions on one embedded channel, each with a stage whose root
    layer is its sync layer."""
    transport = EmbeddedTransport(str(tmp_path / "channels"))

    def make(name):
        layer = syncLayer(name + ".vela")
        session = Session(layer, "stage", transport, name=name)
        return session, Usd.Stage.Open(layer)
    return make("A"), make("B")


def _Traversed(stage):
    return [str(prim.GetPath()) for prim in stage.Traverse()]


def test_UsdEditsOnOneStageReachTheOtherWithTheirNotices(peers):
    (a, stageA), (b, stageB) = peers
    world = UsdGeom.Xform.Define(stageA, "/World")
    cube = UsdGeom.Cube.Define(stageA, "/World/Cube")
    cube.CreateSizeAttr(2.0)
    cube.GetPrim().CreateRelationship("look").AddTarget("/World/Looks/Red")
    UsdGeom.Scope.Define(stageA, "/World/Looks/Red")
    variants = world.GetPrim().GetVariantSets().AddVariantSet("lod")
    for name in ("high", "low"):
        variants.AddVariant(name)
    high = a.layer.GetPrimAtPath("/World{lod=high}")
    Sdf.PrimSpec(high, "Detail", Sdf.SpecifierDef, "Sphere")
    UsdGeom.ModelAPI.Apply(world.GetPrim())
    a.Publish()

    seen = Notices(stageB)
    b.Pull()
    assert _Traversed(stageB) == _Traversed(stageA)
    assert b.layer.GetPrimAtPath("/World{lod=high}Detail").typeName == "Sphere"
    assert seen.resynced, "new prims are resynced"
    assert any(p in ("/", "/World", "/World/Cube") for p in seen.resynced)
    cubeB = UsdGeom.Cube(stageB.GetPrimAtPath("/World/Cube"))
    assert cubeB.GetSizeAttr().Get() == 2.0
    assert [str(t) for t in cubeB.GetPrim().GetRelationship("look").GetTargets()] == \
        ["/World/Looks/Red"]
    assert stageB.GetPrimAtPath("/World").GetVariantSet("lod").GetVariantNames() == \
        ["high", "low"]
    assert stageB.GetPrimAtPath("/World").HasAPI(UsdGeom.ModelAPI)
    assert syncRound.LayerText(b.layer) == syncRound.LayerText(a.layer)

    # A value edit is changed-info on the other stage, not a resync.
    seen.Clear()
    cube.GetSizeAttr().Set(5.0)
    a.Publish()
    b.Pull()
    assert "/World/Cube.size" in seen.changedInfo
    assert not any(p.startswith("/World") for p in seen.resynced)
    assert cubeB.GetSizeAttr().Get() == 5.0

    # And B's edits come back to A's stage the same way.
    UsdGeom.Cube.Define(stageB, "/World/FromB")
    b.Publish()
    a.Pull()
    assert stageA.GetPrimAtPath("/World/FromB").IsA(UsdGeom.Cube)


def test_ConcurrentPrimsFromTwoStagesBothStay(peers):
    (a, stageA), (b, stageB) = peers
    UsdGeom.Xform.Define(stageA, "/World")
    a.Publish()
    b.Pull()
    UsdGeom.Cube.Define(stageA, "/World/FromA")
    UsdGeom.Cube.Define(stageB, "/World/FromB")
    a.Publish()
    b.Publish()
    a.Pull()
    b.Pull()
    for stage in (stageA, stageB):
        assert sorted(_Traversed(stage)) == ["/World", "/World/FromA", "/World/FromB"]


def test_ASyncSublayerAsEditTargetRecordsAndSyncs(peers, syncLayer):
    (a, _), (b, stageB) = peers
    root = Sdf.Layer.CreateAnonymous("shot.usda")
    root.subLayerPaths.append(a.layer.identifier)
    stage = Usd.Stage.Open(root)
    stage.SetEditTarget(Usd.EditTarget(a.layer))
    UsdGeom.Mesh.Define(stage, "/World/Ground").CreatePointsAttr([(0, 0, 0), (1, 0, 0)])
    assert not root.GetPrimAtPath("/World"), "the edit went to the sync layer"
    assert a.layer.GetPrimAtPath("/World/Ground")
    a.Publish()
    b.Pull()
    points = UsdGeom.Mesh(stageB.GetPrimAtPath("/World/Ground")).GetPointsAttr().Get()
    assert len(points) == 2


def test_AnnotationAppliedOnOnePeerIsAppliedOnTheOther(peers):
    (a, stageA), (b, stageB) = peers
    chair = UsdGeom.Xform.Define(stageA, "/World/Chair").GetPrim()
    api = annotation.VelaAnnotationAPI.Apply(chair)
    api.CreateCommentCountAttr(2)
    api.CreateEntriesAttr(["looks good", "needs a cushion"])
    a.Publish()
    b.Pull()
    chairB = stageB.GetPrimAtPath("/World/Chair")
    assert "VelaAnnotationAPI" in chairB.GetAppliedSchemas()
    applied = annotation.VelaAnnotationAPI(chairB)
    assert applied
    assert applied.GetCommentCountAttr().Get() == 2
    assert list(applied.GetEntriesAttr().Get()) == ["looks good", "needs a cushion"]


def _WriteAsset(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(textwrap.dedent("""\
            #usda 1.0
            (
                defaultPrim = "Asset"
            )
            def Xform "Asset"
            {
                def Cube "Geom"
                {
                }
            }
            """))


def test_AStageOfRemoteReferencesOpensWithTheFetchCallback(tmp_path, syncLayer):
    prefix, count = "proj", 32
    store, cache = str(tmp_path / "store"), str(tmp_path / "cache")
    os.makedirs(cache)
    calls = []

    def fetch(blobPath, localPath):
        calls.append(blobPath)
        blob = blobPath.lstrip("/")
        target = os.path.join(localPath, blob)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(store, blob), target)
        return target

    assert resolve.SetOnFetchCallback(fetch)
    root = syncLayer("remote.vela")
    world = Sdf.CreatePrimInLayer(root, "/World")
    world.specifier = Sdf.SpecifierDef
    for i in range(count):
        blob = "assets/asset%02d.usda" % i
        _WriteAsset(os.path.join(store, prefix, blob))
        Sdf.PrimSpec(world, "Ref%02d" % i, Sdf.SpecifierDef).referenceList.Append(
            Sdf.Reference(blob))
    context = Ar.ResolverContext([
        resolve.ResolverContext(prefix, cache),
        Ar.DefaultResolverContext([os.path.join(cache, prefix)])])
    stage = Usd.Stage.Open(root, context)
    for i in range(count):
        geom = stage.GetPrimAtPath("/World/Ref%02d/Geom" % i)
        assert geom and geom.IsA(UsdGeom.Cube), i
    assert sorted(calls) == sorted("%s/assets/asset%02d.usda" % (prefix, i)
                                   for i in range(count))
