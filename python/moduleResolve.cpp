//
// Copyright 2026 vela contributors
//
// The extension module _velaUsdResolve of the package vela.usd.resolve.

#include <pxr/pxr.h>
#include <pxr/usd/ar/resolver.h>
#include <pxr/base/tf/pyLock.h>
#include <pxr/base/tf/pyModule.h>
#include <pxr/base/tf/scriptModuleLoader.h>

#include <pxr/external/boost/python/def.hpp>

namespace vela {
void wrapResolverContext();
void wrapAssetFetcher();
void wrapParallelIndexing();

namespace {

// OpenUSD creates its resolver once, in a function-local static that every
// other caller of ArGetResolver waits on. Loading the plug-in inside it lets
// go of the interpreter lock (PlugPlugin::Load), and its dlopen asks for the
// lock again to import whatever bindings are not yet imported
// (TfScriptModuleLoader). A Python thread that holds the lock and calls
// ArGetResolver meanwhile (binding a context, opening a layer) then waits on
// the static while its creator waits on the lock. So the bindings are
// imported first, with the lock held, and the resolver is created with the
// lock let go: its creation then never needs the lock, and by the time the
// package is imported no thread creates it again.
void _SetUpResolver()
{
    pxr::TfScriptModuleLoader::GetInstance().LoadModules();
    TF_PY_ALLOW_THREADS_IN_SCOPE();
    pxr::ArGetResolver();
}

} // namespace
} // namespace vela

TF_WRAP_MODULE
{
    vela::wrapResolverContext();
    vela::wrapAssetFetcher();
    vela::wrapParallelIndexing();
    pxr::pxr_boost::python::def("_SetUpResolver", &vela::_SetUpResolver);
}
