//
// Copyright 2026 vela contributors
//
#ifndef VELA_RESOLVER_RESOLVER_CONTEXT_H
#define VELA_RESOLVER_RESOLVER_CONTEXT_H

#include <pxr/pxr.h>
#include <pxr/usd/ar/defineResolverContext.h>

#include <cstddef>
#include <string>

namespace vela {

/// The resolver context of stages whose assets live in a remote blob store
/// and are mirrored into a local directory: the blob store's key prefix and
/// the local directory fetched assets are written to. Usable inside an
/// ArResolverContext.
///
/// Identity, ordering and hashing use blobPrefix only: two contexts that
/// differ only in localPath are the same context.
class ResolverContext
{
public:
    /// Copies both strings. An empty blobPrefix logs the warning
    /// "ResolverContext: blobPrefix is empty", an empty localPath
    /// "ResolverContext: localPath is empty"; the context is built anyway.
    ResolverContext(const std::string& blobPrefix,
                    const std::string& localPath);

    /// The assets' key prefix in the blob store.
    const std::string& GetBlobPrefix() const { return _blobPrefix; }
    /// The local directory fetched assets are written to.
    const std::string& GetLocalPath() const { return _localPath; }

    /// "[blobPrefix=<blobPrefix>, localPath=<localPath>]".
    std::string GetAsString() const;

    /// Byte-wise equality of blobPrefix.
    bool operator==(const ResolverContext& rhs) const;
    /// Negation of operator==.
    bool operator!=(const ResolverContext& rhs) const;
    /// Byte-wise lexicographic order of blobPrefix.
    bool operator<(const ResolverContext& rhs) const;

private:
    std::string _blobPrefix;
    std::string _localPath;
};

/// TfHash of blobPrefix.
size_t hash_value(const ResolverContext& context);

/// What Ar's debug output prints for a bound context: GetAsString().
std::string ArGetDebugString(const ResolverContext& context);

} // namespace vela

PXR_NAMESPACE_OPEN_SCOPE
AR_DECLARE_RESOLVER_CONTEXT(vela::ResolverContext);
PXR_NAMESPACE_CLOSE_SCOPE

#endif // VELA_RESOLVER_RESOLVER_CONTEXT_H
