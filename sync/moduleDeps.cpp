//
// Copyright 2026 vela contributors
//
#include <pxr/sdf/pxr.h>
#include <pxr/tf/registryManager.h>
#include <pxr/tf/scriptModuleLoader.h>
#include <pxr/tf/token.h>

#include <vector>

SDF_NAMESPACE_OPEN_SCOPE

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

SDF_NAMESPACE_CLOSE_SCOPE
