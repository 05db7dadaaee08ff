"""Signatures of vela.usd.resolve. The calls are defined by the extension
module _velaUsdResolve, which carries their docstrings; this file only
types them. The stores come from fetchers.py, typed there."""

from typing import Callable, ClassVar, Dict, Iterable, List, Tuple, Union

from pxr import Pcp, Sdf

from .fetchers import (BlobNotFoundError as BlobNotFoundError, BlobPathError as BlobPathError,
                       BlobStore as BlobStore, CheckBlobPath as CheckBlobPath,
                       FetchError as FetchError, HttpStore as HttpStore,
                       LocalDirectoryStore as LocalDirectoryStore, S3Store as S3Store)

__all__ = ["AssetFetchResult", "AssetFetchStatus", "ComputePrimIndexesInParallel",
           "GetFetchResult", "ReportFetchResult", "ResolverContext", "SetOnFetchCallback",
           "WaitForFetchStatus",
           "BlobNotFoundError", "BlobPathError", "BlobStore", "CheckBlobPath", "FetchError",
           "HttpStore", "LocalDirectoryStore", "S3Store"]


class AssetFetchStatus(int):
    kPending: ClassVar["AssetFetchStatus"]
    kFetched: ClassVar["AssetFetchStatus"]
    kFailed: ClassVar["AssetFetchStatus"]
    kInvalid: ClassVar["AssetFetchStatus"]
    names: ClassVar[Dict[str, "AssetFetchStatus"]]
    values: ClassVar[Dict[int, "AssetFetchStatus"]]

    @property
    def name(self) -> str: ...


class AssetFetchResult:
    @property
    def status(self) -> AssetFetchStatus: ...
    @property
    def assetPath(self) -> str: ...
    @property
    def resolvedPath(self) -> str: ...
    @property
    def startTime(self) -> int: ...
    @property
    def endTime(self) -> int: ...


class ResolverContext:
    def __init__(self, blobPrefix: str, localPath: str) -> None: ...
    @property
    def blobPrefix(self) -> str: ...
    @property
    def localPath(self) -> str: ...
    def GetAsString(self) -> str: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __lt__(self, other: "ResolverContext") -> bool: ...
    def __hash__(self) -> int: ...


# The callback gets the asset's blob path and the local directory, and
# returns the asset's local path ("" for a quiet failure) once the file is
# in place, or (path, AssetFetchStatus.kPending) while a download it leaves
# running still writes it: the record stays kPending, and opening the asset
# waits (at most 10 s), until ReportFetchResult(path) is called.
FetchAnswer = Union[str, Tuple[str, AssetFetchStatus]]


def SetOnFetchCallback(callback: Callable[[str, str], FetchAnswer]) -> bool: ...
def ReportFetchResult(path: str) -> None: ...
def GetFetchResult(path: str) -> AssetFetchResult: ...
def WaitForFetchStatus(path: str) -> AssetFetchResult: ...
def ComputePrimIndexesInParallel(cache: Pcp.Cache,
                                 paths: Iterable[Union[Sdf.Path, str]]) -> List[str]: ...
