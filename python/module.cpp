//
// Copyright 2026 vela contributors
//
// The extension module _velaUsdSync of the package vela.usd.sync. The
// wrap-module machinery gives it both initialisation entry points,
// PyInit__velaUsdSync and PyInit_libvelaUsdSync. Every wrap function is
// called here, in the order the module is built: the operation type
// before the operations that carry it.

#include <pxr/base/tf/pyModule.h>

namespace vela {
void wrapSyncOpType();
void wrapSyncOp();
void wrapSyncOpList();
void wrapSyncData();
void wrapValueHandler();
void wrapOpFrame();
void wrapFrameLedger();
} // namespace vela

TF_WRAP_MODULE
{
    vela::wrapSyncOpType();
    vela::wrapSyncOp();
    vela::wrapSyncOpList();
    vela::wrapSyncData();
    vela::wrapValueHandler();
    vela::wrapOpFrame();
    vela::wrapFrameLedger();
}
