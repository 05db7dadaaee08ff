"""Asset resolution: vela's primary resolver and its client API.

vela's resolver resolves like OpenUSD's default resolver; an asset that is
not on local disk is fetched through a callback that the client registers,
using the ResolverContext bound at the time::

    import os, shutil
    from pxr import Ar, Sdf
    import vela.usd.resolve as resolve

    blobStore = "/mnt/store"     # stands in for the remote store

    def fetch(blobPath, localPath):
        # blobPath is e.g. "proj/props/chair.usda" or "/proj/props/chair.usda"
        target = os.path.join(localPath, blobPath.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(blobStore, blobPath.lstrip("/")), target)
        return target

    resolve.SetOnFetchCallback(fetch)
    ctx = resolve.ResolverContext("proj", "/tmp/cache")
    with Ar.ResolverContextBinder(Ar.ResolverContext(ctx)):
        layer = Sdf.Layer.FindOrOpen("props/chair.usda")

What the module offers:

``ResolverContext(blobPrefix, localPath)``
    The context: the assets' key prefix in the blob store and the local
    directory they are fetched into. Converts into ``Ar.ResolverContext``.
``SetOnFetchCallback(callback) -> bool``
    Registers the fetch routine ``callback(blobPath, localPath)``, which
    returns the asset's local path, or ``(path, AssetFetchStatus.kPending)``
    for a download it leaves running.
``ReportFetchResult(path)``
    Marks the fetch recorded under a local path finished (the end of a
    download handed back as pending).

Extensions for clients, beyond that surface:

``GetFetchResult(path) -> AssetFetchResult``
    The record (``status``, ``assetPath``, ``resolvedPath``, ``startTime``,
    ``endTime``) of the fetch stored under a local path; never waits.
``WaitForFetchStatus(path) -> AssetFetchResult``
    Waits (at most 10 s) until that fetch is no longer pending.
``AssetFetchStatus``
    ``kPending`` (0), ``kFetched`` (1), ``kFailed`` (2), ``kInvalid`` (3).
``ComputePrimIndexesInParallel(cache, paths) -> list of str``
    OpenUSD's parallel prim indexing for a ``Pcp.Cache``, with the
    interpreter lock released so that the workers can call the fetch
    callback.

Ready-made fetch callbacks, which also publish new assets (``fetchers``):

``LocalDirectoryStore(root)``, ``HttpStore(baseUrl)``, ``S3Store(bucket, keyPrefix, endpointUrl)``
    Stores to pass to ``SetOnFetchCallback``: each downloads the blob
    into a temporary file and renames it into place, retries transient
    errors, refuses blob paths that leave its root (``CheckBlobPath``), and
    on failure logs why (logger ``vela.usd.resolve``) and answers ``""``,
    which leaves the asset unresolved. ``store.Publish(localFile,
    blobPrefix, assetPath=None)`` uploads a file and returns the asset
    path to reference (content-addressed, ``sha256/<digest>/<name>``,
    without ``assetPath``).

Importing the package creates OpenUSD's resolver (vela's, once ``import
vela`` has registered the plug-ins), so import it before threads resolve.
One missing asset is fetched by one callback call at a time; threads that
ask for it meanwhile wait for that call. Calls that wait or lock the
fetcher's table release the interpreter lock.
"""

# The OpenUSD modules whose types cross the module's interface come first.
from pxr import Ar as _Ar
from pxr import Pcp as _Pcp
from pxr import Sdf as _Sdf
from pxr import Tf as _Tf

_Tf.PreparePythonModule("_velaUsdResolve")

del _Ar, _Pcp, _Sdf, _Tf

# OpenUSD's resolver is created here, once for the process, with the
# interpreter lock let go: threads that resolve after the import never
# create it, and its creation cannot wait on the lock that one of them
# holds. A process that resolved before this import keeps its resolver.
_SetUpResolver()
del _SetUpResolver

# The blob stores shipped as fetch callbacks (pure Python: fetchers.py).
from .fetchers import (BlobNotFoundError, BlobPathError, BlobStore, CheckBlobPath,  # noqa: E402
                       FetchError, HttpStore, LocalDirectoryStore, S3Store)

# What the extension module defines (its signatures: __init__.pyi), and
# the stores.
__all__ = ["AssetFetchResult", "AssetFetchStatus", "ComputePrimIndexesInParallel",
           "GetFetchResult", "ReportFetchResult", "ResolverContext", "SetOnFetchCallback",
           "WaitForFetchStatus",
           "BlobNotFoundError", "BlobPathError", "BlobStore", "CheckBlobPath", "FetchError",
           "HttpStore", "LocalDirectoryStore", "S3Store"]
