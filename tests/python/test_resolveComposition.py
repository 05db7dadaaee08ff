"""Composition over sync layers with assets fetched on demand, through
OpenUSD's composition engine (Pcp.Cache) under a bound ResolverContext."""

import os
import shutil
import subprocess
import sys
import textwrap

import pytest
from pxr import Ar, Pcp, Sdf

import vela.usd.resolve as resolve
from vela.usd.client import jsonForm

PREFIX = "proj"
ASSETS = 32


def WriteAsset(path, primName, childName):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(textwrap.dedent(f"""\
            #usda 1.0
            (
                defaultPrim = "{primName}"
            )
            def Xform "{primName}"
            {{
                def Xform "{childName}"
                {{
                }}
            }}
            """))


class BlobStore:
    """A folder standing in for the remote store, and the fetch callback
    that copies its blobs into the local cache folder."""

    def __init__(self, root):
        self.store = os.path.join(root, "store")
        self.cache = os.path.join(root, "cache")
        self.calls = []
        os.makedirs(self.cache)

    def Put(self, blobPath, childName="Geom"):
        WriteAsset(os.path.join(self.store, blobPath), "Asset", childName)

    def __call__(self, blobPath, localPath):
        self.calls.append(blobPath)
        blob = blobPath.lstrip("/")
        target = os.path.join(localPath, blob)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(self.store, blob), target)
        return target

    def Context(self):
        # The default resolver's search path lets relative paths find what
        # was already fetched; vela's context names the store and the cache.
        return Ar.ResolverContext([
            resolve.ResolverContext(PREFIX, self.cache),
            Ar.DefaultResolverContext([os.path.join(self.cache, PREFIX)])])


@pytest.fixture
def store(tmp_path):
    blobs = BlobStore(str(tmp_path))
    assert resolve.SetOnFetchCallback(blobs)
    return blobs


def BuildScene(store, sync):
    """A root sync layer with a .usda sublayer and a .vela sublayer, both
    missing locally (the .usda) or in memory (the .vela), and 32 prims
    referencing assets that are only in the store: half by relative path,
    half by their path in the local cache."""
    store.Put(f"{PREFIX}/shared/looks.usda", "Looks")
    looksPath = os.path.join(store.store, PREFIX, "shared/looks.usda")
    looks = Sdf.Layer.FindOrOpen(looksPath)
    Sdf.CreatePrimInLayer(looks, "/Looks/Red")
    looks.Save()

    overrides = Sdf.Layer.CreateAnonymous("overrides.vela")
    Sdf.CreatePrimInLayer(overrides, "/World").specifier = Sdf.SpecifierOver

    root = Sdf.Layer.CreateAnonymous("root.vela")
    root.subLayerPaths.append(overrides.identifier)
    root.subLayerPaths.append("shared/looks.usda")
    world = Sdf.CreatePrimInLayer(root, "/World")
    world.specifier = Sdf.SpecifierDef
    for i in range(ASSETS):
        blob = f"assets/asset{i:02d}.usda"
        store.Put(f"{PREFIX}/{blob}")
        path = blob if i % 2 == 0 else os.path.join(store.cache, PREFIX, blob)
        prim = Sdf.PrimSpec(world, f"Ref{i:02d}", Sdf.SpecifierDef)
        prim.referenceList.Append(Sdf.Reference(path))
    sync.SyncData.GetLayerUpdates(root)
    return root, overrides


def Compose(root, context):
    cache = Pcp.Cache(Pcp.LayerStackIdentifier(root, None, context))
    errors = list(cache.ComputeLayerStack(cache.GetLayerStackIdentifier())[1])
    for i in range(ASSETS):
        index, primErrors = cache.ComputePrimIndex(f"/World/Ref{i:02d}")
        errors += primErrors
        assert index.IsValid()
        children = index.ComputePrimChildNames()[0]
        assert list(children) == ["Geom"], (i, children)
    return cache, errors


def test_SceneOfFetchedAssetsComposesAndSecondCompositionNeverCallsBack(store, sync):
    root, overrides = BuildScene(store, sync)
    cache, errors = Compose(root, store.Context())
    assert errors == []
    assert len(store.calls) == ASSETS + 1
    assert f"{PREFIX}/shared/looks.usda" in store.calls
    assert f"{PREFIX}/assets/asset00.usda" in store.calls     # relative: under the prefix
    assert f"/{PREFIX}/assets/asset01.usda" in store.calls    # in the cache: prefix kept
    layers = cache.layerStack.layers
    assert layers[1].identifier == overrides.identifier
    assert layers[2].realPath == os.path.join(store.cache, PREFIX, "shared/looks.usda")
    assert all(os.path.getsize(os.path.join(store.cache, PREFIX, f"assets/asset{i:02d}.usda"))
               for i in range(ASSETS))

    del store.calls[:]
    again, errors = Compose(root, store.Context())
    assert errors == []
    assert store.calls == []


def test_ParallelIndexingFromPythonDoesNotDeadlock(tmp_path):
    # OpenUSD's workers resolve at once and each needs the interpreter lock
    # for the callback, while the Python thread that started the indexing
    # waits for them. Run in a fresh interpreter, guarded by a timeout.
    script = textwrap.dedent(f"""
        import os, sys, threading, time
        sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})
        from pxr import Ar, Pcp, Sdf, Work
        import vela.usd.sync as sync
        import vela.usd.resolve as resolve
        from test_resolveComposition import BlobStore, BuildScene, ASSETS

        Work.SetConcurrencyLimit(8)
        store = BlobStore({str(tmp_path)!r})
        threads = set()
        def fetch(blobPath, localPath):
            threads.add(threading.get_ident())
            time.sleep(0.01)
            return store(blobPath, localPath)
        resolve.SetOnFetchCallback(fetch)
        root, _ = BuildScene(store, sync)
        cache = Pcp.Cache(Pcp.LayerStackIdentifier(root, None, store.Context()))
        # A Python thread looks records up all the while: it must never hold
        # the interpreter lock while it waits for the fetcher's table.
        done = threading.Event()
        def poll():
            while not done.is_set():
                resolve.GetFetchResult(store.cache + "/proj/assets/asset00.usda")
        poller = threading.Thread(target=poll)
        poller.start()
        errors = resolve.ComputePrimIndexesInParallel(cache, ["/"])
        done.set()
        poller.join()
        assert errors == [], errors
        for i in range(ASSETS):
            index = cache.FindPrimIndex(f"/World/Ref{{i:02d}}")
            assert index and list(index.ComputePrimChildNames()[0]) == ["Geom"], i
        assert len(store.calls) == ASSETS + 1, len(store.calls)
        print("threads", len(threads))
        print("ok")
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True,
                            text=True, timeout=120)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout.strip().endswith("ok")


def test_CompositionFollowsARefreshOfTheSyncLayer(store, sync):
    store.Put(f"{PREFIX}/assets/chair.usda", "Chair")
    store.Put(f"{PREFIX}/assets/table.usda", "Table")

    def Author(layer, asset):
        prim = Sdf.CreatePrimInLayer(layer, "/World/Prop")
        prim.specifier = Sdf.SpecifierDef
        prim.referenceList.explicitItems = [Sdf.Reference(asset)]

    def Children(layer):
        cache = Pcp.Cache(Pcp.LayerStackIdentifier(layer, None, store.Context()))
        index, errors = cache.ComputePrimIndex("/World/Prop")
        assert list(errors) == []
        return list(index.ComputePrimChildNames()[0])

    local = Sdf.Layer.CreateAnonymous("local.vela")
    Author(local, "assets/chair.usda")
    assert Children(local) == ["Chair"]

    # The remote peer points the prop at another asset; its state arrives
    # as sync data and refreshes the local layer.
    remote = Sdf.Layer.CreateAnonymous("remote.vela")
    sync.SyncData.GetLayerUpdates(remote)
    Author(remote, "assets/table.usda")
    wire = jsonForm.EncodeOps(sync.SyncData.GetLayerUpdates(remote))
    sync.SyncData.RefreshData(local, jsonForm.BuildSyncData(wire))

    assert Children(local) == ["Table"]
    assert store.calls == [f"{PREFIX}/assets/chair.usda", f"{PREFIX}/assets/table.usda"]
