"""Fetching as users meet it: many threads asking for one missing asset,
relative paths without a search path, and downloads that a callback leaves
running, through Ar.GetResolver(), Sdf.Layer and Pcp.Cache."""

import collections
import os
import subprocess
import sys
import textwrap
import threading
import time

import pytest
from pxr import Ar, Sdf

import vela.usd.resolve as resolve

THREADS = 32
LAYER = '#usda 1.0\ndef Xform "Chair"\n{\n    def Xform "Seat"\n    {\n    }\n}\n'


class Store:
    """A fetch callback that writes LAYER for every blob, slowly enough
    that other threads ask for the same blob meanwhile, and counts its calls
    per blob."""

    def __init__(self, cache, delay=0.05):
        self.cache = cache
        self.delay = delay
        self.calls = collections.Counter()
        self._lock = threading.Lock()

    def Target(self, blobPath):
        return os.path.join(self.cache, blobPath.lstrip("/"))

    def Write(self, target, text=LAYER):
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "w") as f:
            f.write(text)

    def __call__(self, blobPath, localPath):
        with self._lock:
            self.calls[blobPath] += 1
        time.sleep(self.delay)
        target = self.Target(blobPath)
        self.Write(target)
        return target


@pytest.fixture
def store(tmp_path):
    blobs = Store(str(tmp_path))
    assert resolve.SetOnFetchCallback(blobs)
    return blobs


def Binder(store, prefix):
    # vela's context alone: no search path finds what was fetched.
    return Ar.ResolverContextBinder(
        Ar.ResolverContext(resolve.ResolverContext(prefix, store.cache)))


def Resolve(path):
    return Ar.GetResolver().Resolve(path).GetPathString()


# --- one callback call per missing asset ------------------------------------

def test_ThreadsAskingForOneMissingAssetCallBackOnce(store):
    start = threading.Barrier(THREADS)
    results = []

    def Work():
        with Binder(store, "same"):
            start.wait()
            results.append(Resolve("props/chair.usda"))

    threads = [threading.Thread(target=Work) for _ in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    target = store.Target("same/props/chair.usda")
    assert results == [target] * THREADS
    assert store.calls == {"same/props/chair.usda": 1}


def test_WaitersGetTheFirstCallsFailure(tmp_path, logLines):
    calls = []

    def fail(blobPath, localPath):
        calls.append(blobPath)
        time.sleep(0.05)
        return ""
    assert resolve.SetOnFetchCallback(fail)
    ctx = Ar.ResolverContext(resolve.ResolverContext("fail", str(tmp_path)))
    start = threading.Barrier(8)
    results = []

    def Work():
        with Ar.ResolverContextBinder(ctx):
            start.wait()
            results.append(Resolve("gone.usda"))

    threads = [threading.Thread(target=Work) for _ in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [""] * 8
    assert 1 <= len(calls) < 8
    # A failure is not remembered: the next resolve asks again.
    del calls[:]
    with Ar.ResolverContextBinder(ctx):
        assert Resolve("gone.usda") == ""
    assert calls == ["fail/gone.usda"]


def test_CompositionFromManyThreadsFetchesEachSharedAssetOnce(tmp_path):
    # 32 prims reference the same two assets, one by relative path (no
    # search path finds it once fetched) and one by its path in the cache.
    # 32 Python threads compose them, each with a Pcp.Cache of its own, then
    # OpenUSD's workers compose them again, twice. Each asset is fetched
    # once in all. In a fresh interpreter, guarded by a timeout.
    script = textwrap.dedent(f"""
        import sys, threading
        sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})
        from pxr import Ar, Pcp, Sdf, Work
        import vela.usd.resolve as resolve
        from test_resolveFetch import Store, THREADS

        Work.SetConcurrencyLimit(THREADS)
        store = Store({str(tmp_path)!r})
        resolve.SetOnFetchCallback(store)
        root = Sdf.Layer.CreateAnonymous("root.usda")
        world = Sdf.CreatePrimInLayer(root, "/World")
        world.specifier = Sdf.SpecifierDef
        for i in range(THREADS):
            path = "props/chair.usda" if i % 2 else store.Target("/pp/props/stool.usda")
            prim = Sdf.PrimSpec(world, "Ref%02d" % i, Sdf.SpecifierDef)
            prim.referenceList.Append(Sdf.Reference(path, "/Chair"))
        ctx = Ar.ResolverContext(resolve.ResolverContext("pp", store.cache))

        def NewCache():
            return Pcp.Cache(Pcp.LayerStackIdentifier(root, None, ctx))

        def Check(cache, i):
            index = cache.FindPrimIndex("/World/Ref%02d" % i)
            assert index and list(index.ComputePrimChildNames()[0]) == ["Seat"], i

        start = threading.Barrier(THREADS)
        failures = []
        def Compose(i):
            cache = NewCache()
            start.wait()
            try:
                errors = cache.ComputePrimIndex("/World/Ref%02d" % i)[1]
                assert list(errors) == [], errors
                Check(cache, i)
            except Exception as e:
                failures.append(repr(e))
        threads = [threading.Thread(target=Compose, args=(i,)) for i in range(THREADS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert failures == [], failures

        for _ in range(2):
            cache = NewCache()
            errors = resolve.ComputePrimIndexesInParallel(cache, ["/World"])
            assert errors == [], errors
            for i in range(THREADS):
                Check(cache, i)
        assert store.calls == {{"pp/props/chair.usda": 1, "/pp/props/stool.usda": 1}}, store.calls
        print("ok")
    """)
    try:
        result = subprocess.run([sys.executable, "-c", script], capture_output=True,
                                text=True, timeout=120)
    except subprocess.TimeoutExpired:
        pytest.fail("composition deadlocked")
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout.strip().endswith("ok")


def test_CallbackAskingForItsOwnAssetFailsInsteadOfWaiting(tmp_path, logLines):
    inner = []

    def fetch(blobPath, localPath):
        # The context is still bound on this thread: the same asset again.
        inner.append(Resolve("self.usda"))
        return ""
    assert resolve.SetOnFetchCallback(fetch)
    logLines()
    with Ar.ResolverContextBinder(
            Ar.ResolverContext(resolve.ResolverContext("self", str(tmp_path)))):
        assert Resolve("self.usda") == ""
    assert inner == [""]
    assert ("[error] AssetFetcher::FetchAsset: Fetch callback asked for its own "
            "asset: self/self.usda") in logLines()


# --- records found by the asset ---------------------------------------------

def test_RelativePathWithoutSearchPathFetchesOnce(store):
    with Binder(store, "rel"):
        first = Resolve("props/chair.usda")
        assert Resolve("props/chair.usda") == first
        layer = Sdf.Layer.FindOrOpen("props/chair.usda")
    assert layer and layer.realPath == first
    assert store.calls == {"rel/props/chair.usda": 1}
    record = resolve.GetFetchResult(first)
    assert record.status == resolve.AssetFetchStatus.kFetched
    assert record.assetPath == "rel/props/chair.usda"


def test_AssetFetchedAgainOnceItsLocalCopyIsGone(store):
    with Binder(store, "gone"):
        first = Resolve("props/chair.usda")
        os.remove(first)
        assert Resolve("props/chair.usda") == first
    assert store.calls == {"gone/props/chair.usda": 2}
    assert os.path.isfile(first)


def test_ContextsWithOtherLocalPathsFetchTheirOwnCopies(store, tmp_path):
    other = Store(str(tmp_path / "other"), delay=0)
    with Binder(store, "two"):
        first = Resolve("a.usda")
    assert resolve.SetOnFetchCallback(other)
    with Binder(other, "two"):
        second = Resolve("a.usda")
    assert first != second
    assert store.calls == {"two/a.usda": 1} and other.calls == {"two/a.usda": 1}


# --- downloads left running ---------------------------------------------------

class Download:
    """A callback that hands a download back as still running: it leaves a
    partial file and a thread that writes the whole file and reports it."""

    def __init__(self, cache, report=True):
        self.store = Store(cache, delay=0)
        self.report = report
        self.threads = []

    def Finish(self, target):
        time.sleep(0.2)
        self.store.Write(target)
        resolve.ReportFetchResult(target)

    def __call__(self, blobPath, localPath):
        target = self.store.Target(blobPath)
        self.store.Write(target, LAYER[:20])      # not yet a valid layer
        if self.report:
            thread = threading.Thread(target=self.Finish, args=(target,))
            thread.start()
            self.threads.append(thread)
        return target, resolve.AssetFetchStatus.kPending


def test_PendingDownloadIsWaitedForThenOpens(tmp_path, logLines):
    download = Download(str(tmp_path))
    assert resolve.SetOnFetchCallback(download)
    with Ar.ResolverContextBinder(
            Ar.ResolverContext(resolve.ResolverContext("dl", str(tmp_path)))):
        layer = Sdf.Layer.FindOrOpen("props/chair.usda")
        again = Resolve("props/chair.usda")
    for t in download.threads:
        t.join()
    assert layer, logLines()
    assert layer.GetPrimAtPath("/Chair/Seat")
    assert again == layer.realPath
    assert len(download.threads) == 1
    record = resolve.GetFetchResult(layer.realPath)
    assert record.status == resolve.AssetFetchStatus.kFetched
    assert record.endTime >= record.startTime > 0


def test_DownloadReportedBeforeItsCallbackReturnedIsFetched(tmp_path, logLines):
    writer = Store(str(tmp_path), delay=0)

    def fetch(blobPath, localPath):
        target = writer.Target(blobPath)
        writer.Write(target)
        reporter = threading.Thread(target=resolve.ReportFetchResult, args=(target,))
        reporter.start()
        reporter.join()
        return target, resolve.AssetFetchStatus.kPending
    assert resolve.SetOnFetchCallback(fetch)
    logLines()
    with Ar.ResolverContextBinder(
            Ar.ResolverContext(resolve.ResolverContext("early", str(tmp_path)))):
        resolved = Resolve("early.usda")
    assert resolve.GetFetchResult(resolved).status == resolve.AssetFetchStatus.kFetched
    assert logLines() == []
    # An unknown report while nothing is fetched is still only logged.
    resolve.ReportFetchResult(str(tmp_path / "unknown.usda"))
    assert logLines() == [
        "[error] AssetFetcher::ReportFetchResult: Asset not found: "
        + str(tmp_path / "unknown.usda")]


def test_PendingDownloadThatNeverReportsTimesOut(tmp_path, logLines):
    # The one slow Python test: opening waits its limit of about 10 s.
    download = Download(str(tmp_path), report=False)
    assert resolve.SetOnFetchCallback(download)
    logLines()
    with Ar.ResolverContextBinder(
            Ar.ResolverContext(resolve.ResolverContext("never", str(tmp_path)))):
        layer = Sdf.Layer.FindOrOpen("stuck.usda")
    assert layer is None
    target = download.store.Target("never/stuck.usda")
    lines = logLines()
    assert "[error] AssetFetcher::WaitForFetchStatus: Timeout waiting for asset: " + target in lines
    assert ("[error] AssetResolver::_OpenAsset, download still pending after the wait, "
            "never reported finished with ReportFetchResult: " + target
            + ", assetPath: never/stuck.usda") in lines
    assert resolve.GetFetchResult(target).status == resolve.AssetFetchStatus.kPending
