"""vela.usd.resolve through the doors a client uses: the module's calls,
Ar.GetResolver() under a bound ResolverContext, and fresh interpreters for
what only happens once per process."""

import os
import subprocess
import sys
import textwrap

import pytest
from pxr import Ar

import vela.usd.resolve as resolve


class Recorder:
    """A fetch callback that records its calls and answers with `answer`
    (a value, or a function of the two arguments)."""

    def __init__(self, answer=""):
        self.calls = []
        self.answer = answer

    def __call__(self, assetPath, localPath):
        self.calls.append((assetPath, localPath))
        return self.answer(assetPath, localPath) if callable(self.answer) else self.answer


@pytest.fixture
def recorder():
    def make(answer=""):
        callback = Recorder(answer)
        assert resolve.SetOnFetchCallback(callback)
        return callback
    return make


def Resolve(path, ctx):
    with Ar.ResolverContextBinder(Ar.ResolverContext(ctx)):
        return Ar.GetResolver().Resolve(path).GetPathString()


def RunPython(code, env=None, timeout=120):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                          capture_output=True, text=True, timeout=timeout,
                          env=env)


# --- ResolverContext ------------------------------------------------------

def test_ContextFieldsAndText():
    ctx = resolve.ResolverContext("p", "/c")
    assert ctx.blobPrefix == "p" and ctx.localPath == "/c"
    assert ctx.GetAsString() == "[blobPrefix=p, localPath=/c]"
    assert str(ctx) == ctx.GetAsString()
    assert eval(repr(ctx), {"vela": __import__("vela.usd.resolve")}) == ctx
    with pytest.raises(AttributeError):
        ctx.blobPrefix = "q"


def test_ContextIdentityIsTheBlobPrefix():
    pc, pd = resolve.ResolverContext("p", "/c"), resolve.ResolverContext("p", "/d")
    a, b = resolve.ResolverContext("a", "/z"), resolve.ResolverContext("b", "/a")
    assert pc == pd and not pc != pd and hash(pc) == hash(pd)
    assert a < b and not b < a and a != b
    # Byte-wise: a prefix sorts first, upper case before lower case.
    assert resolve.ResolverContext("p", "") < resolve.ResolverContext("pq", "")
    assert resolve.ResolverContext("Z", "") < resolve.ResolverContext("a", "")
    assert len({pc, pd, a}) == 2
    assert Ar.ResolverContext(pc) == Ar.ResolverContext(pd)
    assert Ar.ResolverContext(pc) != Ar.ResolverContext(a)


def test_ContextConvertsIntoArResolverContext():
    ctx = resolve.ResolverContext("p", "/c")
    arCtx = Ar.ResolverContext(ctx)
    assert not arCtx.IsEmpty()
    assert arCtx.Get() == [ctx]
    assert arCtx.Get()[0].localPath == "/c"
    # Beside the default resolver's own context, in one ArResolverContext.
    both = Ar.ResolverContext([ctx, Ar.DefaultResolverContext(["/search"])])
    assert len(both.Get()) == 2


def test_EmptyContextFieldsWarn(logLines):
    resolve.ResolverContext("", "")
    assert logLines() == ["[warning] ResolverContext: blobPrefix is empty",
                          "[warning] ResolverContext: localPath is empty"]


# --- blob paths -----------------------------------------------------------

def test_BlobPathDerivations(recorder, tmp_path):
    c = str(tmp_path)
    callback = recorder("")
    ctx = resolve.ResolverContext("p", c)
    cases = [
        ("derive_a.usd", "p/derive_a.usd"),                 # relative: under the prefix
        (c + "/p/x/a.usd", "/p/x/a.usd"),                   # under the local root
        (c + "/pq/a.usd", "/pq/a.usd"),                     # passes the plain prefix test
        ("fmt.usd:SDF_FORMAT_ARGS:a=b&c=d", "p/fmt.usd"),   # format arguments cut off
    ]
    for path, blob in cases:
        del callback.calls[:]
        assert Resolve(path, ctx) == ""
        assert callback.calls == [(blob, c)], path


def test_LocalRootShorterThanLocalPathFallsBackToPrefixing(recorder, tmp_path):
    # Normalising localPath ("<c>/sub/..") makes the local root "<c>/p"
    # shorter than localPath itself; a path under it that is shorter than
    # localPath cannot lose localPath's length and is put under the prefix.
    c = str(tmp_path)
    callback = recorder("")
    ctx = resolve.ResolverContext("p", c + "/sub/..")
    path = c + "/p/a"
    assert len(path) < len(ctx.localPath)
    assert Resolve(path, ctx) == ""
    assert callback.calls == [("p" + path, c + "/sub/..")]


def test_BlobPathsAboveTheStoreAreRefused(recorder, tmp_path, logLines):
    c = str(tmp_path)
    callback = recorder(lambda a, l: l + "/" + a)
    ctx = resolve.ResolverContext("p", c)
    for path in ["../../up.usd", c + "/p/../../up.usd", c + "/p/x/../../../../etc/up.usd"]:
        logLines()
        assert Resolve(path, ctx) == ""
        lines = logLines()
        assert len(lines) == 1 and lines[0].startswith(
            "[error] AssetResolver::_Resolve, blob path leaves the blob store"), lines
    assert callback.calls == []
    # Going up inside the store is fine.
    assert Resolve("x/../inside.usd", ctx) == c + "/p/inside.usd"


def test_MissingPathWithoutContext(recorder, tmp_path, logLines):
    callback = recorder("/never")
    missing = str(tmp_path / "missing.usd")
    logLines()
    assert Ar.GetResolver().Resolve(missing).GetPathString() == ""
    assert logLines() == [
        "[error] AssetResolver::_Resolve, invalid ResolverContext, assetFilePath: " + missing]
    assert callback.calls == []


def test_LocalPathsNeverCallBack(recorder, tmp_path, logLines):
    callback = recorder("/never")
    local = tmp_path / "here.usda"
    local.write_text("#usda 1.0\n")
    logLines()
    assert Ar.GetResolver().Resolve(str(local)).GetPathString() == str(local)
    ctx = resolve.ResolverContext("p", str(tmp_path))
    assert Resolve(str(local), ctx) == str(local)
    assert Resolve(str(local) + ":SDF_FORMAT_ARGS:a=b", ctx) == str(local)
    assert callback.calls == []
    assert logLines() == []


# --- the fetcher through the module ----------------------------------------

def test_FetchedPathIsRecordedUnderTheReturnedPath(recorder, tmp_path):
    c = str(tmp_path)
    callback = recorder(lambda a, l: os.path.join(l, "fetched", a))
    ctx = resolve.ResolverContext("rec", c)
    resolved = Resolve("one.usd", ctx)
    assert resolved == os.path.join(c, "fetched", "rec/one.usd")
    record = resolve.GetFetchResult(resolved)
    assert record.status == resolve.AssetFetchStatus.kFetched
    assert int(record.status) == 1
    assert record.assetPath == "rec/one.usd"
    assert record.resolvedPath == resolved
    assert 0 < record.startTime <= record.endTime
    waited = resolve.WaitForFetchStatus(resolved)
    assert waited.status == resolve.AssetFetchStatus.kFetched
    # The record is a copy: it does not follow later changes.
    resolve.ReportFetchResult(resolved)
    assert resolve.GetFetchResult(resolved).endTime >= record.endTime
    assert len(callback.calls) == 1


def test_FetchOfAPathAlreadyInTheTableDoesNotCallBack(recorder, tmp_path, logLines):
    # The callback answers with the blob path itself, so a second request
    # for it finds it among the stored paths.
    callback = recorder(lambda a, l: a)
    ctx = resolve.ResolverContext("same" + tmp_path.name, str(tmp_path))
    first = Resolve("k.usd", ctx)
    logLines()
    assert Resolve("k.usd", ctx) == first
    assert len(callback.calls) == 1
    assert logLines() == [
        "[info] AssetFetcher::FetchAsset: Asset already being fetched: " + first]


_BadPair = ("TypeError: fetch callback must return str or (str, "
            "AssetFetchStatus.kPending or kFetched)")


@pytest.mark.parametrize("answer, printed", [
    (RuntimeError("no route to store"), "RuntimeError: no route to store"),
    (None, "TypeError: fetch callback must return str, not NoneType"),
    (42, "TypeError: fetch callback must return str, not int"),
    (b"/bytes/path", "TypeError: fetch callback must return str, not bytes"),
    (("/p", resolve.AssetFetchStatus.kFailed), _BadPair),
    (("/p", 7), _BadPair),
    (("/p",), _BadPair),
    ((b"/p", resolve.AssetFetchStatus.kPending), _BadPair),
    (("/p", "kPending"), _BadPair),
])
def test_BadCallbackResultsLeaveNoRecord(recorder, tmp_path, capfd, answer, printed):
    def fail(a, l):
        if isinstance(answer, Exception):
            raise answer
        return answer
    recorder(fail)
    capfd.readouterr()
    path = str(tmp_path / "bad.usd")
    assert Resolve("bad.usd", resolve.ResolverContext("bad", str(tmp_path))) == ""
    out, err = capfd.readouterr()
    assert "[error] AssetFetcher::FetchAsset: Error in fetch callback" in out
    assert "[warning] AssetResolver::_Resolve, failed to fetch asset, assetFilePath: bad.usd" in out
    assert printed in err
    assert resolve.GetFetchResult(path).status == resolve.AssetFetchStatus.kInvalid


def test_EmptyAnswerFailsQuietly(recorder, tmp_path, logLines):
    recorder("")
    logLines()
    assert Resolve("quiet.usd", resolve.ResolverContext("quiet", str(tmp_path))) == ""
    assert logLines() == [
        "[warning] AssetResolver::_Resolve, failed to fetch asset, assetFilePath: quiet.usd"]


def test_CallbackReplacementAndRefusal(recorder, logLines):
    first = recorder("")
    logLines()
    assert resolve.SetOnFetchCallback(42) is False
    assert resolve.SetOnFetchCallback("not a function") is False
    assert logLines() == ["[error] AssetFetcher::setOnFetchCallback: Callback not a function."] * 2
    # The refused objects did not replace the first callback.
    Resolve("keep.usd", resolve.ResolverContext("keep", "/c"))
    assert first.calls == [("keep/keep.usd", "/c")]
    logLines()
    recorder("")
    assert logLines() == ["[info] AssetFetcher::setOnFetchCallback: Existing callback replaced."]


def test_ReportAndWaitOnUnknownPaths(logLines):
    logLines()
    resolve.ReportFetchResult("/unknown/r.usd")
    record = resolve.WaitForFetchStatus("/unknown/w.usd")
    assert record.status == resolve.AssetFetchStatus.kInvalid
    assert (record.assetPath, record.resolvedPath, record.startTime, record.endTime) == ("", "", 0, 0)
    assert logLines() == [
        "[error] AssetFetcher::ReportFetchResult: Asset not found: /unknown/r.usd",
        "[error] AssetFetcher::WaitForFetchStatus: Asset not found: /unknown/w.usd"]


# --- once per process -------------------------------------------------------

def test_ImportingVelaMakesItThePrimaryResolver():
    result = RunPython("""
        import vela
        from pxr import Ar
        import vela.usd.resolve as resolve
        calls = []
        resolve.SetOnFetchCallback(lambda a, l: calls.append(a) or "")
        with Ar.ResolverContextBinder(resolve.ResolverContext("p", "/c")):
            Ar.GetResolver().Resolve("primary_check.usd")
        assert calls == ["p/primary_check.usd"], calls
        maps = open("/proc/self/maps").read().split("\\n")
        libpython = {l.split()[-1] for l in maps if "libpython3" in l}
        assert len(libpython) <= 1, libpython
        print("ok")
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip().endswith("ok")


def test_ThreadsMakingTheFirstResolvesDoNotDeadlock():
    # The process's first resolves, from four threads at once: whoever
    # created OpenUSD's resolver inside its one-time construction used to
    # wait for the interpreter lock that another thread held while it
    # waited for the construction. A hang is a failure; several fresh
    # processes, since it happened in some runs only.
    script = """
        import threading
        import vela
        from pxr import Ar, Sdf
        import vela.usd.resolve as resolve
        resolve.SetOnFetchCallback(lambda a, l: "")
        start = threading.Barrier(4)
        resolved = []
        def Work(i):
            ctx = resolve.ResolverContext("p%d" % i, "/c%d" % i)
            start.wait()
            with Ar.ResolverContextBinder(Ar.ResolverContext(ctx)):
                resolved.append(Ar.GetResolver().Resolve("first%d.usd" % i))
                Sdf.Layer.FindOrOpen("first%d.usd" % i)
        threads = [threading.Thread(target=Work, args=(i,)) for i in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert len(resolved) == 4
        print("ok")
    """
    for run in range(5):
        try:
            result = RunPython(script, timeout=60)
        except subprocess.TimeoutExpired:
            pytest.fail(f"run {run}: the first resolves deadlocked")
        assert result.returncode == 0, result.stderr
        assert result.stdout.strip().endswith("ok")


def test_FetchBeforeAnyCallbackIsSet():
    result = RunPython("""
        import vela.usd.resolve as resolve
        from pxr import Ar
        with Ar.ResolverContextBinder(resolve.ResolverContext("p", "/c")):
            assert Ar.GetResolver().Resolve("unset.usd").GetPathString() == ""
        assert resolve.GetFetchResult("p/unset.usd").status == resolve.AssetFetchStatus.kInvalid
    """)
    assert result.returncode == 0, result.stderr
    assert "[error] AssetFetcher::FetchAsset: Callback not set" in result.stdout


def test_HostFindsTheResolverThroughThePluginPath():
    import vela
    pluginDir = os.path.join(os.path.dirname(os.path.dirname(vela.__file__)),
                             "velahub_sdk.libs", "usd")
    env = dict(os.environ, PXR_PLUGINPATH_NAME=pluginDir)
    result = RunPython("""
        from pxr import Ar
        Ar.GetResolver().Resolve("/plugin/path/missing.usd")
    """, env=env)
    assert result.returncode == 0, result.stderr
    assert ("AssetResolver::_Resolve, invalid ResolverContext, assetFilePath: "
            "/plugin/path/missing.usd") in result.stdout
