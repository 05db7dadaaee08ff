//
// Copyright 2026 vela contributors
//
#include <pxr/ar/pxr.h>
#include <pxr/tf/registryManager.h>
#include <pxr/tf/scriptModuleLoader.h>
#include <pxr/tf/token.h>

#include <vector>

AR_NAMESPACE_OPEN_SCOPE

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

AR_NAMESPACE_CLOSE_SCOPE
