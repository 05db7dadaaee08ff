//
// Copyright 2026 vela contributors
//
#include <pxr/pxr.h>
#include <pxr/base/tf/registryManager.h>
#include <pxr/base/tf/scriptModuleLoader.h>
#include <pxr/base/tf/token.h>

#include <vector>

PXR_NAMESPACE_OPEN_SCOPE

// Loading vela.usd.resolve pulls in the OpenUSD modules its types come from.
TF_REGISTRY_FUNCTION(TfScriptModuleLoader)
{
    const std::vector<TfToken> reqs = {
        TfToken("ar"),
        TfToken("sdf"),
        TfToken("tf"),
    };
    TfScriptModuleLoader::GetInstance().RegisterLibrary(
        TfToken("velaUsdResolve"), TfToken("vela.usd.resolve"), reqs);
}

PXR_NAMESPACE_CLOSE_SCOPE
