"""Blob stores for vela's resolver: ready-made fetch callbacks, and the
publishing of new assets where every peer's resolver finds them.

Each store is a callable to pass to ``SetOnFetchCallback``; it downloads
the blob the resolver asks for into the context's ``localPath``::

    import vela.usd.resolve as resolve

    store = resolve.HttpStore("https://assets.example.com/blobs")
    resolve.SetOnFetchCallback(store)

    # a peer adds an asset; the path goes into a layer as it is
    assetPath = store.Publish("/tmp/chair.usda", "proj")
    prim.referenceList.Append(Sdf.Reference(assetPath))

The stores:

``LocalDirectoryStore(root)``
    A directory (a local disk or a shared mount): blob ``proj/a.usda`` is
    the file ``root/proj/a.usda``.
``HttpStore(baseUrl)``
    An HTTP(S) server: blob ``proj/a.usda`` is ``GET baseUrl/proj/a.usda``,
    published with ``PUT`` to the same URL.
``S3Store(bucket, keyPrefix="", endpointUrl=None)``
    An S3-compatible bucket through boto3 (``pip install
    'velahub-sdk[s3]'``): blob ``proj/a.usda`` is the key
    ``keyPrefix/proj/a.usda``; credentials, region and endpoint come from
    wherever boto3 finds them unless given.

What every store does:

- A blob path is checked before anything is fetched or published
  (``CheckBlobPath``): a path with ``..``, a NUL or control character, a
  backslash, a drive letter or a second leading ``/`` is refused. The one
  leading ``/`` of the blob paths the resolver gives for assets under its
  cache is dropped (both forms name the same blob and the same local file).
- A download is written to a temporary file beside its target and renamed
  into place once it is whole and checked: its length against
  ``Content-Length``, its digest against an ``ETag`` that is an MD5 or
  SHA-256 digest, and, for a content-addressed path
  (``.../sha256/<digest>/...``), against that digest. No reader ever sees
  part of a file.
- Transient errors (connection refused or dropped, a short body, time-outs,
  HTTP 408, 429 and 5xx, a digest that does not match) are retried
  ``retries`` more times, waiting ``backoff`` seconds and doubling it.
- A fetch that fails logs why on the logger ``vela.usd.resolve`` and
  returns ``""`` to the resolver, which leaves the asset unresolved (its
  own warning line names the asset path). Nothing is left in the cache;
  the next resolve of the asset asks again. ``Fetch`` is the same download
  raising ``FetchError`` instead.

``Publish(localFile, blobPrefix, assetPath=None)`` uploads a file under
``blobPrefix/assetPath`` and returns ``assetPath``: the path a layer
references, which the resolver puts under the bound context's
``blobPrefix`` again. Without ``assetPath`` it is content-addressed,
``sha256/<digest of the file>/<file name>`` (the name keeps the file
format's extension). Uploads become visible whole: a rename in the
directory store, one ``PUT`` of the final key to S3, and a ``PUT`` to the
HTTP server, which must store it atomically. ``Publish`` raises
``FetchError`` (or ``BlobPathError``, a ``ValueError``) when it fails.
"""

import base64
import hashlib
import http.client
import logging
import os
import re
import shutil
import ssl
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request
from typing import TYPE_CHECKING, Any, Mapping, Optional, Union

if TYPE_CHECKING:
    from . import ResolverContext

__all__ = ["BlobNotFoundError", "BlobPathError", "BlobStore", "CheckBlobPath", "FetchError",
           "HttpStore", "LocalDirectoryStore", "S3Store"]

_log = logging.getLogger("vela.usd.resolve")

_ChunkSize = 1 << 20
_Drive = re.compile(r"^[A-Za-z]:")
_Hex = re.compile(r"^[0-9a-f]+$")


class FetchError(Exception):
    """A blob could not be fetched or published."""


class BlobNotFoundError(FetchError):
    """The store has no such blob."""


class BlobPathError(FetchError, ValueError):
    """A blob path that does not stay inside the store's root."""


class _TransientError(FetchError):
    """A failure that another attempt may not meet."""


def CheckBlobPath(blobPath: str) -> str:
    """Returns blobPath as the stores use it, segments joined by "/" with
    no leading "/", or raises BlobPathError for a path that could leave
    the store's root or the local cache directory."""
    if not isinstance(blobPath, str):
        raise BlobPathError("blob path must be a str, not %s" % type(blobPath).__name__)
    if any(c < " " or c == "\x7f" for c in blobPath):
        raise BlobPathError("blob path holds a NUL or control character: %r" % blobPath)
    if "\\" in blobPath:
        raise BlobPathError("blob path holds a backslash: %r" % blobPath)
    path = blobPath[1:] if blobPath.startswith("/") else blobPath
    if path.startswith("/"):
        raise BlobPathError("blob path is absolute: %r" % blobPath)
    segments = [s for s in path.split("/") if s not in ("", ".")]
    if not segments:
        raise BlobPathError("blob path names no blob: %r" % blobPath)
    if ".." in segments:
        raise BlobPathError("blob path climbs with '..': %r" % blobPath)
    if _Drive.match(segments[0]):
        raise BlobPathError("blob path starts with a drive: %r" % blobPath)
    return "/".join(segments)


def _Digest(name, path):
    digest = hashlib.new(name)
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(_ChunkSize), b""):
            digest.update(chunk)
    return digest


def _NamedDigest(blob):
    """The SHA-256 digest a content-addressed blob path names, or None."""
    segments = blob.split("/")
    for i, segment in enumerate(segments[:-1]):
        following = segments[i + 1]
        if segment == "sha256" and len(following) == 64 and _Hex.match(following):
            return following
    return None


def _EtagDigest(etag):
    """(algorithm, hex digest) for a strong ETag that is an MD5 or SHA-256
    digest, else None: other ETags are opaque."""
    if not etag or etag.startswith("W/"):
        return None
    value = etag.strip('"').lower()
    if not _Hex.match(value):
        return None
    return {32: ("md5", value), 64: ("sha256", value)}.get(len(value))


class _Sink:
    """The temporary file a download is written to, with its length and
    digests."""

    def __init__(self, out):
        self._out = out
        self.size = 0
        self.digests = {"sha256": hashlib.sha256()}

    def Expect(self, algorithm):
        self.digests.setdefault(algorithm, hashlib.new(algorithm))

    def Write(self, data):
        self._out.write(data)
        self.size += len(data)
        for digest in self.digests.values():
            digest.update(data)

    def Check(self, expected, what):
        """Raises a transient error unless the bytes written have the
        expected (algorithm, hex digest)."""
        algorithm, value = expected
        got = self.digests[algorithm].hexdigest()
        if got != value:
            raise _TransientError("%s %s is %s, the download's is %s"
                                  % (what, algorithm, value, got))

    def CheckWhole(self, length, lengthName, etag):
        """Raises a transient error unless as many bytes came as the
        server's length (lengthName, when it sent one) said, with the
        digest its ETag names (when it is one)."""
        if length is not None and self.size != length:
            raise _TransientError("connection closed after %d of %d bytes (%s)"
                                  % (self.size, length, lengthName))
        if etag:
            self.Check(etag, "the ETag's")


class BlobStore:
    """What every store shares: the fetch callback, its checks, retries and
    atomic writes, and publishing. A store implements _Download(blob,
    sink), _Upload(blob, localFile, size, md5) and Location(blob)."""

    def __init__(self, retries: int = 2, backoff: float = 0.1) -> None:
        if retries < 0:
            raise ValueError("retries must be 0 or more")
        self.retries = retries
        self.backoff = backoff

    def Location(self, blob: str) -> str:
        """Where the store keeps a (checked) blob: a path, URL or key."""
        raise NotImplementedError

    def __call__(self, blobPath: str, localPath: str) -> str:
        """The fetch callback: the local path of the fetched blob, or ""
        (logged) when it could not be fetched."""
        try:
            return self.Fetch(blobPath, localPath)
        except BlobPathError as e:
            _log.error("fetch refused: %s", e)
        except FetchError as e:
            _log.error("%s", e)
        except Exception:   # a callback must answer; the trace says what broke
            _log.exception("fetch of %s failed", blobPath)
        return ""

    def Fetch(self, blobPath: str, localPath: str) -> str:
        """Downloads blobPath to localPath/blobPath and returns that path;
        raises FetchError (BlobNotFoundError, BlobPathError)."""
        blob = CheckBlobPath(blobPath)
        if not localPath:
            raise FetchError("no local directory to fetch %s into" % blob)
        target = os.path.join(localPath, *blob.split("/"))
        directory, name = os.path.split(target)
        try:
            os.makedirs(directory, exist_ok=True)
        except OSError as e:
            raise FetchError("cannot make %s: %s" % (directory, e)) from e
        named = _NamedDigest(blob)

        def Attempt():
            fd, partial = tempfile.mkstemp(prefix="." + name + ".", suffix=".part",
                                           dir=directory)
            try:
                os.fchmod(fd, 0o644)
                with os.fdopen(fd, "wb") as out:
                    sink = _Sink(out)
                    self._Download(blob, sink)
                if named:
                    sink.Check(("sha256", named), "the content-addressed path's")
                os.replace(partial, target)
            except BaseException:
                _Remove(partial)
                raise
        self._Retrying("fetch of %s from %s" % (blob, self.Location(blob)), Attempt)
        return target

    def Publish(self, localFile: str, blobPrefix: Union[str, "ResolverContext"],
                assetPath: Optional[str] = None) -> str:
        """Uploads localFile as blobPrefix/assetPath and returns assetPath
        (checked), the path a layer references under a context with that
        blobPrefix. Without assetPath: sha256/<digest>/<file name>.
        blobPrefix may be a ResolverContext."""
        prefix = getattr(blobPrefix, "blobPrefix", blobPrefix)
        try:
            size = os.path.getsize(localFile)
            sha256 = _Digest("sha256", localFile).hexdigest()
            md5 = _Digest("md5", localFile).digest()
        except OSError as e:
            raise FetchError("cannot read %s: %s" % (localFile, e)) from e
        if assetPath is None:
            assetPath = "sha256/%s/%s" % (sha256, os.path.basename(localFile))
        asset = CheckBlobPath(assetPath)
        blob = CheckBlobPath(prefix + "/" + asset if prefix else asset)
        named = _NamedDigest(blob)
        if named and named != sha256:
            raise FetchError("%s names another sha256 than %s's, %s" % (blob, localFile, sha256))
        self._Retrying("publish of %s to %s" % (blob, self.Location(blob)),
                       lambda: self._Upload(blob, localFile, size, md5))
        return asset

    def _Retrying(self, what, attempt):
        delay = self.backoff
        for done in range(self.retries + 1):
            try:
                return attempt()
            except _TransientError as e:
                if done == self.retries:
                    raise FetchError("%s failed after %d attempts: %s"
                                     % (what, done + 1, e)) from e
                _log.warning("%s: %s; trying again", what, e)
                time.sleep(delay)
                delay *= 2
            except FetchError as e:
                raise type(e)("%s: %s" % (what, e)) from e

    def _Download(self, blob, sink):
        raise NotImplementedError

    def _Upload(self, blob, localFile, size, md5):
        raise NotImplementedError


def _Remove(path):
    try:
        os.remove(path)
    except OSError:
        pass


class LocalDirectoryStore(BlobStore):
    """Blobs as files under a directory root."""

    def __init__(self, root: str, retries: int = 2, backoff: float = 0.1) -> None:
        super().__init__(retries, backoff)
        self.root = os.path.abspath(root)

    def Location(self, blob):
        return os.path.join(self.root, *blob.split("/"))

    def _Download(self, blob, sink):
        try:
            with open(self.Location(blob), "rb") as f:
                for chunk in iter(lambda: f.read(_ChunkSize), b""):
                    sink.Write(chunk)
        except (FileNotFoundError, NotADirectoryError) as e:
            raise BlobNotFoundError("no such blob") from e
        except (IsADirectoryError, PermissionError) as e:
            raise FetchError(str(e)) from e
        except OSError as e:
            raise _TransientError(str(e)) from e

    def _Upload(self, blob, localFile, size, md5):
        target = self.Location(blob)
        directory, name = os.path.split(target)
        partial = None
        try:
            os.makedirs(directory, exist_ok=True)
            fd, partial = tempfile.mkstemp(prefix="." + name + ".", suffix=".part",
                                           dir=directory)
            os.fchmod(fd, 0o644)
            with os.fdopen(fd, "wb") as out, open(localFile, "rb") as source:
                shutil.copyfileobj(source, out, _ChunkSize)
                out.flush()
                os.fsync(out.fileno())
            os.replace(partial, target)
        except (FileNotFoundError, PermissionError, IsADirectoryError,
                NotADirectoryError) as e:
            if partial:
                _Remove(partial)
            raise FetchError(str(e)) from e
        except OSError as e:
            if partial:
                _Remove(partial)
            raise _TransientError(str(e)) from e


# HTTP answers worth another attempt.
_RetriedStatus = {408, 425, 429, 500, 502, 503, 504}


class HttpStore(BlobStore):
    """Blobs at baseUrl/<blob path>: fetched with streaming GETs, published
    with PUT. headers are sent with every request (an Authorization, say);
    sslContext is passed to urllib for https."""

    def __init__(self, baseUrl: str, timeout: float = 30.0,
                 headers: Optional[Mapping[str, str]] = None,
                 sslContext: Optional[ssl.SSLContext] = None, retries: int = 2,
                 backoff: float = 0.1) -> None:
        super().__init__(retries, backoff)
        scheme = urllib.parse.urlsplit(baseUrl).scheme
        if scheme not in ("http", "https"):
            raise ValueError("HttpStore needs an http or https URL, not %r" % baseUrl)
        self.baseUrl = baseUrl.rstrip("/")
        self.timeout = timeout
        self.headers = dict(headers or {})
        self.sslContext = sslContext

    def Location(self, blob):
        return self.baseUrl + "/" + urllib.parse.quote(blob)

    def _Open(self, request):
        try:
            return urllib.request.urlopen(request, timeout=self.timeout,
                                          context=self.sslContext)
        except urllib.error.HTTPError as e:
            e.close()
            if e.code in (404, 410):
                raise BlobNotFoundError("no such blob (HTTP %d)" % e.code) from e
            error = _TransientError if e.code in _RetriedStatus else FetchError
            raise error("HTTP %d %s" % (e.code, e.reason)) from e
        except (urllib.error.URLError, http.client.HTTPException, OSError) as e:
            raise _TransientError(str(getattr(e, "reason", e) or type(e).__name__)) from e

    def _Download(self, blob, sink):
        request = urllib.request.Request(self.Location(blob), headers=self.headers)
        with self._Open(request) as response:
            length = response.headers.get("Content-Length")
            expected = int(length) if length and length.isdigit() else None
            etag = _EtagDigest(response.headers.get("ETag"))
            if etag:
                sink.Expect(etag[0])
            try:
                for chunk in iter(lambda: response.read(_ChunkSize), b""):
                    sink.Write(chunk)
            except (http.client.HTTPException, OSError) as e:
                raise _TransientError("download broke off after %d bytes: %s"
                                      % (sink.size, e or type(e).__name__)) from e
        sink.CheckWhole(expected, "Content-Length", etag)

    def _Upload(self, blob, localFile, size, md5):
        headers = dict(self.headers)
        headers.update({"Content-Length": str(size), "Content-Type": "application/octet-stream",
                        "Content-MD5": base64.b64encode(md5).decode()})
        try:
            with open(localFile, "rb") as body:
                request = urllib.request.Request(self.Location(blob), data=body,
                                                 headers=headers, method="PUT")
                with self._Open(request) as response:
                    response.read()
        except BlobNotFoundError as e:
            raise FetchError("the server has no place for the blob: %s" % e) from e
        except OSError as e:
            raise FetchError("cannot read %s: %s" % (localFile, e)) from e


class S3Store(BlobStore):
    """Blobs as keys keyPrefix/<blob path> of an S3-compatible bucket.
    Without client, one is made by boto3 from the environment, with
    endpointUrl and region if given; boto3's own retries are left to the
    store's."""

    def __init__(self, bucket: str, keyPrefix: str = "", endpointUrl: Optional[str] = None,
                 region: Optional[str] = None, client: Any = None, retries: int = 2,
                 backoff: float = 0.1) -> None:
        super().__init__(retries, backoff)
        try:
            import boto3
            import botocore.config
            import botocore.exceptions
        except ImportError as e:
            raise ImportError("S3Store needs boto3: pip install 'velahub-sdk[s3]'") from e
        self.bucket = bucket
        self.keyPrefix = keyPrefix.strip("/")
        self._errors = botocore.exceptions
        if client is None:
            config = botocore.config.Config(
                retries={"total_max_attempts": 1, "mode": "standard"},
                max_pool_connections=32)
            client = boto3.session.Session().client("s3", endpoint_url=endpointUrl,
                                                    region_name=region, config=config)
        self.client = client

    def Key(self, blob: str) -> str:
        return self.keyPrefix + "/" + blob if self.keyPrefix else blob

    def Location(self, blob):
        return "s3://%s/%s" % (self.bucket, self.Key(blob))

    def _Failure(self, e):
        """The store's error for a boto3 exception."""
        errors = self._errors
        if isinstance(e, errors.ClientError):
            error = e.response.get("Error", {})
            code = str(error.get("Code", ""))
            status = e.response.get("ResponseMetadata", {}).get("HTTPStatusCode", 0)
            if code in ("NoSuchKey", "404", "NotFound"):
                return BlobNotFoundError("no such blob")
            text = "%s %s" % (code or status, error.get("Message", ""))
            if status in _RetriedStatus or code in ("SlowDown", "RequestTimeout",
                                                      "InternalError", "ServiceUnavailable"):
                return _TransientError(text)
            return FetchError(text)
        broken = (errors.IncompleteReadError,
                  getattr(errors, "ResponseStreamingError", errors.IncompleteReadError))
        if isinstance(e, broken):
            return _TransientError("download broke off: %s" % e)
        if isinstance(e, errors.HTTPClientError):
            return _TransientError(str(e))
        return FetchError(str(e))

    def _Download(self, blob, sink):
        try:
            response = self.client.get_object(Bucket=self.bucket, Key=self.Key(blob))
            etag = _EtagDigest(response.get("ETag"))
            if etag:
                sink.Expect(etag[0])
            body = response["Body"]
            try:
                for chunk in body.iter_chunks(_ChunkSize):
                    sink.Write(chunk)
            finally:
                body.close()
        except self._errors.BotoCoreError as e:
            raise self._Failure(e) from e
        except self._errors.ClientError as e:
            raise self._Failure(e) from e
        except OSError as e:
            raise _TransientError("download broke off after %d bytes: %s"
                                  % (sink.size, e)) from e
        sink.CheckWhole(response.get("ContentLength"), "ContentLength", etag)

    def _Upload(self, blob, localFile, size, md5):
        try:
            with open(localFile, "rb") as body:
                self.client.put_object(Bucket=self.bucket, Key=self.Key(blob), Body=body,
                                       ContentLength=size,
                                       ContentMD5=base64.b64encode(md5).decode())
        except (self._errors.BotoCoreError, self._errors.ClientError) as e:
            failure = self._Failure(e)
            if isinstance(failure, BlobNotFoundError):
                failure = FetchError(str(e))
            raise failure from e
        except OSError as e:
            raise FetchError("cannot read %s: %s" % (localFile, e)) from e
