//
// Copyright 2026 vela contributors
//
#include "resolver/assetResolver.h"
#include "resolver/assetFetcher.h"
#include "resolver/resolverContext.h"

#include <pxr/pxr.h>
#include <pxr/usd/ar/asset.h>
#include <pxr/usd/ar/defineResolver.h>
#include <pxr/base/tf/fileUtils.h>
#include <pxr/base/tf/stringUtils.h>

#include <spdlog/spdlog.h>

using namespace pxr;

PXR_NAMESPACE_OPEN_SCOPE
AR_DEFINE_RESOLVER(vela::AssetResolver, ArResolver);
PXR_NAMESPACE_CLOSE_SCOPE

namespace vela {

namespace {

const std::string _FormatArgsMarker(":SDF_FORMAT_ARGS");

// True when following the segments of blobPath would climb above the blob
// store's root: the fetch would then write outside localPath.
bool _ClimbsAboveRoot(const std::string& blobPath)
{
    int depth = 0;
    size_t start = 0;
    while (start <= blobPath.size()) {
        size_t end = blobPath.find('/', start);
        if (end == std::string::npos) {
            end = blobPath.size();
        }
        const size_t length = end - start;
        if (length == 2 && blobPath.compare(start, 2, "..") == 0) {
            if (--depth < 0) {
                return true;
            }
        } else if (length > 0 && !(length == 1 && blobPath[start] == '.')) {
            ++depth;
        }
        start = end + 1;
    }
    return false;
}

} // namespace

AssetResolver::AssetResolver() = default;
AssetResolver::~AssetResolver() = default;

std::string
AssetResolver::_CreateIdentifier(const std::string& assetPath,
                                 const ArResolvedPath& anchorAssetPath) const
{
    return ArDefaultResolver::_CreateIdentifier(assetPath, anchorAssetPath);
}

std::string AssetResolver::_CreateIdentifierForNewAsset(
    const std::string& assetPath, const ArResolvedPath& anchorAssetPath) const
{
    return ArDefaultResolver::_CreateIdentifierForNewAsset(assetPath,
                                                           anchorAssetPath);
}

ArResolvedPath AssetResolver::_Resolve(const std::string& assetPath) const
{
    // Most paths carry no format arguments: resolve them without a copy.
    const size_t marker = assetPath.find(_FormatArgsMarker);
    if (marker == std::string::npos) {
        return _ResolveFilePath(assetPath);
    }
    return _ResolveFilePath(assetPath.substr(0, marker));
}

ArResolvedPath
AssetResolver::_ResolveFilePath(const std::string& assetFilePath) const
{
    ArResolvedPath local = ArDefaultResolver::_Resolve(assetFilePath);
    if (!local.empty()) {
        return local;
    }

    const ResolverContext* context =
        _GetCurrentContextObject<ResolverContext>();
    if (!context) {
        spdlog::error("AssetResolver::_Resolve, invalid ResolverContext, "
                      "assetFilePath: {0}",
                      assetFilePath);
        return ArResolvedPath();
    }
    const std::string blobPrefix = context->GetBlobPrefix();
    const std::string localPath = context->GetLocalPath();
    const std::string localRoot = TfStringCatPaths(localPath, blobPrefix);

    // A path under the local root keeps its blobPrefix part. Normalisation
    // can make the local root shorter than localPath (a trailing
    // separator); such a path is too short to cut and takes the other rule.
    std::string blobPath;
    if (assetFilePath.size() >= localRoot.size() &&
        assetFilePath.compare(0, localRoot.size(), localRoot) == 0 &&
        assetFilePath.size() >= localPath.size()) {
        blobPath = assetFilePath.substr(localPath.size());
    } else {
        blobPath = TfStringCatPaths(blobPrefix, assetFilePath);
    }

    if (_ClimbsAboveRoot(blobPath)) {
        spdlog::error(
            "AssetResolver::_Resolve, blob path leaves the blob store: {0}, "
            "assetFilePath: {1}",
            blobPath, assetFilePath);
        return ArResolvedPath();
    }

    const std::string fetched =
        AssetFetcher::GetInstance()->FetchAsset(blobPath, localPath);
    if (fetched.empty()) {
        spdlog::warn("AssetResolver::_Resolve, failed to fetch asset, "
                     "assetFilePath: {0}",
                     assetFilePath);
        return ArResolvedPath();
    }
    return ArResolvedPath(fetched);
}

ArResolvedPath
AssetResolver::_ResolveForNewAsset(const std::string& assetPath) const
{
    return ArDefaultResolver::_ResolveForNewAsset(assetPath);
}

ArResolverContext AssetResolver::_CreateDefaultContext() const
{
    return ArDefaultResolver::_CreateDefaultContext();
}

ArResolverContext
AssetResolver::_CreateDefaultContextForAsset(const std::string& assetPath) const
{
    return ArDefaultResolver::_CreateDefaultContextForAsset(assetPath);
}

ArResolverContext
AssetResolver::_CreateContextFromString(const std::string& contextStr) const
{
    return ArDefaultResolver::_CreateContextFromString(contextStr);
}

bool AssetResolver::_IsContextDependentPath(const std::string& assetPath) const
{
    return ArDefaultResolver::_IsContextDependentPath(assetPath);
}

ArTimestamp AssetResolver::_GetModificationTimestamp(
    const std::string& path, const ArResolvedPath& resolvedPath) const
{
    return ArDefaultResolver::_GetModificationTimestamp(path, resolvedPath);
}

std::shared_ptr<ArAsset>
AssetResolver::_OpenAsset(const ArResolvedPath& resolvedPath) const
{
    const std::string& path = resolvedPath.GetPathString();
    const std::shared_ptr<AssetFetcher> fetcher = AssetFetcher::GetInstance();

    // A download still running may have written part of the file already:
    // only a file that is not pending opens at once.
    if (fetcher->GetFetchResult(path).status != kPending &&
        TfIsFile(path, /*resolveSymlinks=*/false)) {
        std::shared_ptr<ArAsset> asset =
            ArDefaultResolver::_OpenAsset(resolvedPath);
        if (asset && asset->GetSize() > 0) {
            return asset;
        }
    }

    // Missing, empty or pending: the fetch may still be writing it.
    const AssetFetchResult result = fetcher->WaitForFetchStatus(path);
    if (result.status == kFetched) {
        return ArDefaultResolver::_OpenAsset(resolvedPath);
    }
    const AssetFetchResult record = fetcher->GetFetchResult(path);
    if (record.status == kPending) {
        spdlog::error("AssetResolver::_OpenAsset, download still pending "
                      "after the wait, never reported finished with "
                      "ReportFetchResult: {0}, assetPath: {1}",
                      path, record.assetPath);
    }
    spdlog::error("Failed to fetch asset, resolvedPath: {0}, status: {1}", path,
                  static_cast<int>(result.status));
    return nullptr;
}

std::shared_ptr<ArWritableAsset>
AssetResolver::_OpenAssetForWrite(const ArResolvedPath& resolvedPath,
                                  WriteMode writeMode) const
{
    return ArDefaultResolver::_OpenAssetForWrite(resolvedPath, writeMode);
}

} // namespace vela
