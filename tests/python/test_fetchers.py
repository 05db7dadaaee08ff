"""The shipped blob stores (vela.usd.resolve's LocalDirectoryStore,
HttpStore and S3Store) as fetch callbacks of the resolver and as the way
peers publish assets, against a directory, an HTTP server and moto's S3
server on loopback (fetchServers.py)."""

import collections
import hashlib
import logging
import os
import subprocess
import sys
import textwrap
import threading
import uuid

import pytest
from pxr import Ar, Pcp, Sdf, Work

import vela.usd.resolve as resolve
from fetchServers import CuttingProxy, httpServer, s3Server  # noqa: F401 (fixtures)

ASSETS = 32


def Asset(child="Geom", padding=0):
    text = textwrap.dedent(f"""\
        #usda 1.0
        (
            defaultPrim = "Asset"
        )
        def Xform "Asset"
        {{
            def Xform "{child}"
            {{
            }}
        }}
        """)
    return (text + "#" * padding + "\n" * bool(padding)).encode()


class Backend:
    """One store under test: the store object, the Python expression that
    makes the same store in a peer process, a way to put a blob into the
    store behind its back, and a fresh blob prefix and cache directory."""

    def __init__(self, kind, store, make, put, cache, server=None):
        self.kind, self.store, self.make, self._put = kind, store, make, put
        self.prefix = "p" + uuid.uuid4().hex[:8]
        self.cache = str(cache)
        self.server = server

    def Put(self, assetPath, data):
        blob = self.prefix + "/" + assetPath
        self._put(blob, data)
        return blob

    def Context(self):
        return Ar.ResolverContext(resolve.ResolverContext(self.prefix, self.cache))

    def CacheFiles(self):
        return sorted(os.path.relpath(os.path.join(d, f), self.cache)
                      for d, _, files in os.walk(self.cache) for f in files)


def _WriteFile(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


@pytest.fixture(params=["local", "http", "s3"])
def backend(request, tmp_path):
    kind = request.param
    options = dict(retries=2, backoff=0.01)
    if kind == "local":
        root = str(tmp_path / "store")
        store = resolve.LocalDirectoryStore(root, **options)
        return Backend(kind, store, "resolve.LocalDirectoryStore(%r)" % root,
                       lambda blob, data: _WriteFile(os.path.join(root, blob), data),
                       tmp_path / "cache")
    if kind == "http":
        server = request.getfixturevalue("httpServer")
        store = resolve.HttpStore(server.url, **options)
        return Backend(kind, store, "resolve.HttpStore(%r)" % server.url,
                       lambda blob, data: _WriteFile(os.path.join(server.root, blob), data),
                       tmp_path / "cache", server)
    server = request.getfixturevalue("s3Server")
    store = resolve.S3Store("vela", keyPrefix="tests", endpointUrl=server.url, **options)
    return Backend(kind, store, "resolve.S3Store('vela', 'tests', %r)" % server.url,
                   lambda blob, data: store.client.put_object(Bucket="vela", Key=store.Key(blob),
                                                              Body=data),
                   tmp_path / "cache", server)


class Counting:
    """A fetch callback that counts the calls per blob path of the store it
    forwards to."""

    def __init__(self, store):
        self.store = store
        self.calls = collections.Counter()
        self._lock = threading.Lock()

    def __call__(self, blobPath, localPath):
        with self._lock:
            self.calls[blobPath] += 1
        return self.store(blobPath, localPath)


@pytest.fixture
def workers():
    before = Work.GetConcurrencyLimit()
    Work.SetConcurrencyLimit(ASSETS)
    yield
    Work.SetConcurrencyLimit(before)


def Compose(context, assetPaths):
    """The child names of /World/RefNN, each referencing one of assetPaths,
    composed by OpenUSD's parallel prim indexing; and the errors."""
    root = Sdf.Layer.CreateAnonymous("root.usda")
    world = Sdf.CreatePrimInLayer(root, "/World")
    world.specifier = Sdf.SpecifierDef
    for i, path in enumerate(assetPaths):
        Sdf.PrimSpec(world, "Ref%02d" % i, Sdf.SpecifierDef).referenceList.Append(
            Sdf.Reference(path))
    cache = Pcp.Cache(Pcp.LayerStackIdentifier(root, None, context))
    errors = resolve.ComputePrimIndexesInParallel(cache, ["/World"])
    return errors, [list(cache.FindPrimIndex("/World/Ref%02d" % i).ComputePrimChildNames()[0])
                    for i in range(len(assetPaths))]


def Errors(caplog):
    return [r.getMessage() for r in caplog.records
            if r.name == "vela.usd.resolve" and r.levelno >= logging.ERROR]


# --- blob paths ---------------------------------------------------------------

@pytest.mark.parametrize("path", ["../x.usda", "p/../../x.usda", "p/a/../b.usda", "//etc/passwd",
                                  "p/a\0.usda", "p\\..\\x.usda", "C:/x.usda", "p/a\n.usda", "",
                                  "/", "./.", 7])
def test_BlobPathsThatCouldLeaveTheRootAreRefused(path):
    with pytest.raises(resolve.BlobPathError):
        resolve.CheckBlobPath(path)


def test_BlobPathsAreNormalisedOneWay():
    assert resolve.CheckBlobPath("/p/props//./chair.usda") == "p/props/chair.usda"
    assert resolve.CheckBlobPath("p/props/chair.usda") == "p/props/chair.usda"


def test_StoresRefuseClimbingPathsWithoutTouchingTheStore(backend, caplog):
    gets = sum(backend.server.gets.values()) if backend.kind == "http" else 0
    assert backend.store(backend.prefix + "/../../etc/passwd", backend.cache) == ""
    assert any("refused" in line and ".." in line for line in Errors(caplog))
    with pytest.raises(resolve.BlobPathError):
        backend.store.Publish(__file__, backend.prefix, "../escape.usda")
    assert not os.path.exists(backend.cache) or backend.CacheFiles() == []
    if backend.kind == "http":
        assert sum(backend.server.gets.values()) == gets


# --- fetching -----------------------------------------------------------------

def test_FetchPutsTheWholeBlobInPlaceUnderEitherFormOfItsPath(backend):
    blob = backend.Put("props/chair.usda", Asset("Seat", padding=300000))
    target = backend.store(blob, backend.cache)
    assert target == os.path.join(backend.cache, backend.prefix, "props", "chair.usda")
    assert open(target, "rb").read() == Asset("Seat", padding=300000)
    # The resolver's form for assets under the cache: the same blob, the same file.
    assert backend.store("/" + blob, backend.cache) == target
    assert backend.CacheFiles() == [os.path.join(backend.prefix, "props", "chair.usda")]


def test_MissingBlobLeavesTheAssetUnresolvedAndIsNotRetried(backend, caplog):
    counting = Counting(backend.store)
    assert resolve.SetOnFetchCallback(counting)
    with Ar.ResolverContextBinder(backend.Context()):
        assert Ar.GetResolver().Resolve("gone.usda").GetPathString() == ""
    blob = backend.prefix + "/gone.usda"
    assert counting.calls == {blob: 1}
    assert [line for line in Errors(caplog) if blob in line and "no such blob" in line]
    assert backend.CacheFiles() == []
    if backend.kind == "http":
        assert backend.server.gets[blob] == 1


@pytest.mark.parametrize("shared", [True, False], ids=["oneAsset", "manyAssets"])
def test_ParallelCompositionFetchesEachAssetOnce(backend, workers, shared):
    paths = ["props/asset%02d.usda" % (0 if shared else i) for i in range(ASSETS)]
    for path in set(paths):
        backend.Put(path, Asset())
    counting = Counting(backend.store)
    assert resolve.SetOnFetchCallback(counting)
    errors, children = Compose(backend.Context(), paths)
    assert errors == []
    assert children == [["Geom"]] * ASSETS
    assert counting.calls == {backend.prefix + "/" + p: 1 for p in paths}
    assert backend.CacheFiles() == sorted(os.path.join(backend.prefix, p) for p in set(paths))


def test_ParallelIndexingFetchesOnMoreThreadsThanCores(tmp_path):
    # Eight fetches must be under way at once for any of them to finish:
    # the concurrency limit, not the two cores, sets how many run. In a
    # fresh interpreter with the limit in the environment, which the
    # usd-core flavour's TBB reads only at start-up.
    script = textwrap.dedent(f"""
        import os, sys, threading
        sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})
        from pxr import Ar
        import vela.usd.resolve as resolve
        from test_fetchers import Asset, Compose, _WriteFile
        root = {str(tmp_path)!r}
        store = resolve.LocalDirectoryStore(os.path.join(root, "store"))
        paths = ["asset%02d.usda" % i for i in range(8)]
        for path in paths:
            _WriteFile(os.path.join(root, "store", "p", path), Asset())
        together, broken = threading.Barrier(len(paths), timeout=60), []

        def Fetch(blobPath, localPath):
            try:
                together.wait()
            except threading.BrokenBarrierError:
                broken.append(blobPath)
            return store(blobPath, localPath)
        resolve.SetOnFetchCallback(Fetch)
        context = Ar.ResolverContext(resolve.ResolverContext("p", os.path.join(root, "cache")))
        errors, children = Compose(context, paths)
        print(broken, errors, children == [["Geom"]] * len(paths))
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=180, env=dict(os.environ, PXR_WORK_THREAD_LIMIT="32"))
    assert done.returncode == 0, done.stderr
    assert done.stdout.split("\n")[-2] == "[] [] True", done.stdout


def test_ServerDyingMidDownloadLeavesNoFile(backend, caplog):
    if backend.kind == "local":
        pytest.skip("a directory has no server to die")
    data = Asset(padding=256 * 1024)
    blob = backend.Put("big.usda", data)
    store, proxy = backend.store, None
    if backend.kind == "http":
        backend.server.Fail(blob, "cut", "cut", "cut")
    else:
        proxy = CuttingProxy(backend.server.port, cutAfter=64 * 1024)
        store = resolve.S3Store("vela", "tests", endpointUrl=proxy.url, retries=2, backoff=0.01)
    try:
        assert store(blob, backend.cache) == ""
    finally:
        if proxy:
            proxy.Stop()
    assert [line for line in Errors(caplog) if blob in line and "after 3 attempts" in line]
    assert backend.CacheFiles() == []
    # The store answers again: the next fetch gets the whole blob.
    assert open(backend.store(blob, backend.cache), "rb").read() == data


def test_TransientErrorsAreRetriedAndWrongDigestsRefused(httpServer, tmp_path, caplog):
    store = resolve.HttpStore(httpServer.url, retries=2, backoff=0.01)
    _WriteFile(os.path.join(httpServer.root, "retry/a.usda"), Asset())
    httpServer.Fail("retry/a.usda", "503")
    assert store("retry/a.usda", str(tmp_path)) == str(tmp_path / "retry/a.usda")
    assert httpServer.gets["retry/a.usda"] == 2

    httpServer.Fail("retry/a.usda", "etag", "etag", "etag")
    assert store("retry/a.usda", str(tmp_path / "etag")) == ""
    assert any("ETag" in line for line in Errors(caplog))

    # A content-addressed path whose blob is not that content.
    named = "retry/sha256/%s/a.usda" % hashlib.sha256(b"other").hexdigest()
    _WriteFile(os.path.join(httpServer.root, named), Asset())
    assert store(named, str(tmp_path)) == ""
    assert any("content-addressed" in line for line in Errors(caplog))
    files = [f for _, _, names in os.walk(tmp_path) for f in names]
    assert files == ["a.usda"]      # the first, good fetch's


# --- publishing ---------------------------------------------------------------

def test_PublishedAssetsAreFetchedByAPeerProcess(backend, tmp_path):
    chair, table = tmp_path / "chair.usda", tmp_path / "table.usda"
    chair.write_bytes(Asset("Seat"))
    table.write_bytes(Asset("Top"))
    digest = hashlib.sha256(Asset("Seat")).hexdigest()
    context = resolve.ResolverContext(backend.prefix, backend.cache)
    published = [backend.store.Publish(str(chair), context),
                 backend.store.Publish(str(table), backend.prefix, "props/table.usda")]
    assert published == ["sha256/%s/chair.usda" % digest, "props/table.usda"]
    assert backend.store.Publish(str(chair), backend.prefix) == published[0]
    with pytest.raises(resolve.FetchError):
        backend.store.Publish(str(tmp_path / "none.usda"), backend.prefix)

    script = textwrap.dedent(f"""
        import sys
        from pxr import Ar, Pcp, Sdf
        import vela.usd.resolve as resolve
        resolve.SetOnFetchCallback({backend.make})
        root = Sdf.Layer.CreateAnonymous("peer.usda")
        for i, path in enumerate({published!r}):
            prim = Sdf.CreatePrimInLayer(root, "/World/Ref%d" % i)
            prim.specifier = Sdf.SpecifierDef
            prim.referenceList.Append(Sdf.Reference(path))
        context = Ar.ResolverContext(resolve.ResolverContext({backend.prefix!r}, sys.argv[1]))
        cache = Pcp.Cache(Pcp.LayerStackIdentifier(root, None, context))
        for i in range(2):
            index, errors = cache.ComputePrimIndex("/World/Ref%d" % i)
            print(list(errors) or list(index.ComputePrimChildNames()[0]))
    """)
    peer = subprocess.run([sys.executable, "-c", script, str(tmp_path / "peer")],
                          capture_output=True, text=True, timeout=120)
    assert peer.returncode == 0, peer.stderr
    assert peer.stdout.split() == ["['Seat']", "['Top']"], peer.stdout + peer.stderr


def test_ReplacingABlobNeverShowsPartOfIt(backend, tmp_path):
    versions = [Asset("Small"), Asset("Large", padding=256 * 1024)]
    for i, data in enumerate(versions):
        (tmp_path / ("v%d.usda" % i)).write_bytes(data)
    backend.store.Publish(str(tmp_path / "v0.usda"), backend.prefix, "shared.usda")
    done, seen = threading.Event(), []

    def Read():
        while not done.is_set():
            seen.append(open(backend.store.Fetch(backend.prefix + "/shared.usda", backend.cache),
                             "rb").read())
    reader = threading.Thread(target=Read)
    reader.start()
    try:
        for i in range(12):
            backend.store.Publish(str(tmp_path / ("v%d.usda" % (i % 2))), backend.prefix,
                                  "shared.usda")
    finally:
        done.set()
        reader.join()
    assert seen and set(seen) <= set(versions)
    assert backend.CacheFiles() == [os.path.join(backend.prefix, "shared.usda")]


def test_StoresImportWithoutBoto3AndS3StoreSaysWhatItNeeds():
    script = textwrap.dedent("""
        import sys
        sys.modules["boto3"] = None
        import vela.usd.resolve as resolve
        store = resolve.LocalDirectoryStore("/tmp")
        try:
            resolve.S3Store("bucket")
        except ImportError as e:
            print(e)
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert "velahub-sdk[s3]" in done.stdout
