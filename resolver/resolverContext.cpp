//
// Copyright 2026 vela contributors
//
#include "resolver/resolverContext.h"

#include <pxr/base/tf/hash.h>

#include <spdlog/spdlog.h>

namespace vela {

ResolverContext::ResolverContext(const std::string& blobPrefix,
                                 const std::string& localPath)
    : _blobPrefix(blobPrefix)
    , _localPath(localPath)
{
    if (_blobPrefix.empty()) {
        spdlog::warn("ResolverContext: blobPrefix is empty");
    }
    if (_localPath.empty()) {
        spdlog::warn("ResolverContext: localPath is empty");
    }
}

std::string ResolverContext::GetAsString() const
{
    return "[blobPrefix=" + _blobPrefix + ", localPath=" + _localPath + "]";
}

bool ResolverContext::operator==(const ResolverContext& rhs) const
{
    return _blobPrefix == rhs._blobPrefix;
}

bool ResolverContext::operator!=(const ResolverContext& rhs) const
{
    return !(*this == rhs);
}

bool ResolverContext::operator<(const ResolverContext& rhs) const
{
    return _blobPrefix < rhs._blobPrefix;
}

size_t hash_value(const ResolverContext& context)
{
    return pxr::TfHash()(context.GetBlobPrefix());
}

std::string ArGetDebugString(const ResolverContext& context)
{
    return context.GetAsString();
}

} // namespace vela
