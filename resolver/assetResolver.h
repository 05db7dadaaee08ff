//
// Copyright 2026 vela contributors
//
#ifndef VELA_RESOLVER_ASSET_RESOLVER_H
#define VELA_RESOLVER_ASSET_RESOLVER_H

#include <pxr/usd/ar/defaultResolver.h>

#include <memory>
#include <string>

namespace vela {

/// The primary asset resolver for stages whose assets live in a remote blob
/// store mirrored into a local directory.
///
/// Anything that exists on disk resolves exactly as ArDefaultResolver
/// resolves it. A path that does not resolve locally is turned into a blob
/// path with the bound ResolverContext and handed to the AssetFetcher;
/// the local path the fetch reports is the resolved path. Opening a
/// missing or empty file waits for its fetch. Holds no state of its own.
class AssetResolver : public pxr::ArDefaultResolver
{
public:
    AssetResolver();
    ~AssetResolver() override;

protected:
    // The operations without a comment forward to ArDefaultResolver.
    std::string _CreateIdentifier(
        const std::string& assetPath,
        const pxr::ArResolvedPath& anchorAssetPath) const override;

    std::string _CreateIdentifierForNewAsset(
        const std::string& assetPath,
        const pxr::ArResolvedPath& anchorAssetPath) const override;

    /// Cuts format arguments (":SDF_FORMAT_ARGS...") off \p assetPath and
    /// resolves the rest like ArDefaultResolver. If that finds nothing, the
    /// blob path is derived from the bound ResolverContext: a path under
    /// localPath/blobPrefix loses its localPath part, any other path is
    /// put under blobPrefix. The fetcher is asked for it, with localPath as
    /// the destination. Logs and returns an empty path when no context is
    /// bound, when the blob path would climb above the blob store's root
    /// ("..") and when the fetch fails.
    pxr::ArResolvedPath _Resolve(const std::string& assetPath) const override;

    pxr::ArResolvedPath
    _ResolveForNewAsset(const std::string& assetPath) const override;

    pxr::ArResolverContext _CreateDefaultContext() const override;

    pxr::ArResolverContext
    _CreateDefaultContextForAsset(const std::string& assetPath) const override;

    pxr::ArResolverContext
    _CreateContextFromString(const std::string& contextStr) const override;

    bool _IsContextDependentPath(const std::string& assetPath) const override;

    pxr::ArTimestamp _GetModificationTimestamp(
        const std::string& path,
        const pxr::ArResolvedPath& resolvedPath) const override;

    /// Opens an existing, non-empty file like ArDefaultResolver, unless
    /// its fetch is pending (a download the callback handed back as still
    /// running). A missing, empty or pending file counts as not yet
    /// fetched: waits for its fetch (at most 10 s) and opens it once
    /// fetched; otherwise logs "Failed to fetch asset, resolvedPath: {0},
    /// status: {1}" (after a line naming a download still pending) and
    /// returns null.
    std::shared_ptr<pxr::ArAsset>
    _OpenAsset(const pxr::ArResolvedPath& resolvedPath) const override;

    std::shared_ptr<pxr::ArWritableAsset>
    _OpenAssetForWrite(const pxr::ArResolvedPath& resolvedPath,
                       WriteMode writeMode) const override;

private:
    // _Resolve for a path without format arguments.
    pxr::ArResolvedPath
    _ResolveFilePath(const std::string& assetFilePath) const;
};

} // namespace vela

#endif // VELA_RESOLVER_ASSET_RESOLVER_H
