//
// Copyright 2026 vela contributors
//
// The extension module _velaUsdResolve of the package vela.usd.resolve.

#include <pxr/base/tf/pyModule.h>

namespace vela {
void wrapResolverContext();
void wrapAssetFetcher();
void wrapParallelIndexing();
} // namespace vela

TF_WRAP_MODULE
{
    vela::wrapResolverContext();
    vela::wrapAssetFetcher();
    vela::wrapParallelIndexing();
}
