//
// Copyright 2026 vela contributors
//
// The extension module _velaUsdSync of the package vela.usd.sync. The
// wrap-module machinery gives it both initialisation entry points,
// PyInit__velaUsdSync and PyInit_libvelaUsdSync.

#include <pxr/base/tf/pyModule.h>

namespace vela {
void wrapSyncData();
} // namespace vela

TF_WRAP_MODULE
{
    vela::wrapSyncData();
}
