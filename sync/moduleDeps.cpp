//
// Copyright 2026 vela contributors
//
#include <pxr/pxr.h>
#include <pxr/base/tf/registryManager.h>
#include <pxr/base/tf/scriptModuleLoader.h>
#include <pxr/base/tf/token.h>

#include <vector>

PXR_NAMESPACE_OPEN_SCOPE

// Loading vela.usd.sync pulls in the OpenUSD modules its types come from.
TF_REGISTRY_FUNCTION(TfScriptModuleLoader)
{
    const std::vector<TfToken> reqs = {
        TfToken("gf"),
        TfToken("sdf"),
        TfToken("tf"),
        TfToken("usd"),
    };
    TfScriptModuleLoader::GetInstance().RegisterLibrary(
        TfToken("velaUsdSync"), TfToken("vela.usd.sync"), reqs);
}

PXR_NAMESPACE_CLOSE_SCOPE
