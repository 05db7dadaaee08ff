//
// Copyright 2026 vela contributors
//
// Module functions over vela::OpFrame: the session client's binary form of
// a list of operations.

#include "sync/opFrame.h"
#include "python/pyBuffer.h"
#include "sync/syncData.h"
#include "sync/syncOp.h"

#include <pxr/external/boost/python/args.hpp>
#include <pxr/external/boost/python/def.hpp>
#include <pxr/external/boost/python/errors.hpp>
#include <pxr/external/boost/python/extract.hpp>
#include <pxr/external/boost/python/handle.hpp>
#include <pxr/external/boost/python/object.hpp>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/types.h>
#include <pxr/base/tf/pyPtrHelpers.h>

#include <Python.h>

#include <string>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

// A SyncOpList is encoded in place; any other iterable must yield SyncOp
// objects.
std::string _EncodeAny(const object& ops, bool coalesce, bool bases)
{
    extract<const SyncOpList&> asList(ops);
    if (asList.check()) {
        return OpFrame::Encode(asList(), coalesce, 0, bases);
    }
    return OpFrame::Encode(SyncOpsFromIterable(ops, "PackOps"), coalesce, 0,
                           bases);
}

object _PackOps(const object& ops, bool coalesce, bool bases)
{
    const std::string body = _EncodeAny(ops, coalesce, bases);
    PyObject* bytes = PyBytes_FromStringAndSize(
        body.data(), static_cast<Py_ssize_t>(body.size()));
    if (!bytes) {
        throw_error_already_set();
    }
    return object(handle<>(bytes));
}

void _RaiseBadFrame(const std::string& error)
{
    PyErr_SetString(PyExc_ValueError,
                    ("bad operation frame: " + error).c_str());
    throw_error_already_set();
}

SyncOpList _UnpackOps(const object& data, bool bases)
{
    SyncOpList ops;
    std::string error;
    bool ok = false;
    {
        const PyBuffer view(data);
        ok = OpFrame::Decode(view.Data(), view.Size(), &ops, &error, bases);
    }
    if (!ok) {
        _RaiseBadFrame(error);
    }
    return ops;
}

size_t _ApplyPackedOps(const SyncDataPtr& syncData, const object& data,
                       bool bases)
{
    if (!syncData) {
        PyErr_SetString(PyExc_ValueError,
                        "ApplyPackedOps needs a live SyncData");
        throw_error_already_set();
    }
    size_t applied = 0;
    std::string error;
    bool ok = false;
    {
        const PyBuffer view(data);
        ok = OpFrame::Apply(view.Data(), view.Size(), get_pointer(syncData),
                            &applied, &error, bases);
    }
    if (!ok) {
        _RaiseBadFrame(error);
    }
    return applied;
}

object _PackSyncData(const SyncDataPtr& syncData, bool bases)
{
    if (!syncData) {
        PyErr_SetString(PyExc_ValueError, "PackSyncData needs a live SyncData");
        throw_error_already_set();
    }
    const std::string body = OpFrame::EncodeStore(*syncData, nullptr, bases);
    PyObject* bytes = PyBytes_FromStringAndSize(
        body.data(), static_cast<Py_ssize_t>(body.size()));
    if (!bytes) {
        throw_error_already_set();
    }
    return object(handle<>(bytes));
}

object _PackLayerUpdates(const SdfLayerHandle& layer, bool coalesce, bool bases)
{
    // The layer's updates go straight into the body: a list handed to
    // Python would be copied whole on the way.
    SyncOpList ops = layer ? SyncData::GetLayerUpdates(*layer)
                           : SyncData::GetLayerUpdates(SdfLayerRefPtr());
    // Every store starts with its pseudo-root; a new layer records its
    // creation, which no peer needs.
    const bool rootFirst =
        !ops.empty() && ops.front().opType == SyncOp::CreateNode &&
        ops.front().nodePath == "/" &&
        ops.front().nodeType == static_cast<int32_t>(SdfSpecTypePseudoRoot);
    const std::string body =
        OpFrame::Encode(ops, coalesce, rootFirst ? 1 : 0, bases);
    PyObject* bytes = PyBytes_FromStringAndSize(
        body.data(), static_cast<Py_ssize_t>(body.size()));
    if (!bytes) {
        throw_error_already_set();
    }
    return object(handle<>(bytes));
}

} // namespace

void wrapOpFrame()
{
    def("PackOps", &_PackOps,
        (arg("ops"), arg("coalesce") = false, arg("bases") = false),
        "PackOps(ops: SyncOpList | Iterable[SyncOp], coalesce=False, "
        "bases=False) -> bytes\n\n"
        "Extension: the compact binary form of the operations, in order.\n"
        "Packed values travel as they are; path pieces, field names and\n"
        "values that repeat are written once and referred to by index.\n"
        "With coalesce, the field edits that later edits of the same field\n"
        "overwrite are left out, as CoalesceOps does, without a copy of\n"
        "the operations. With bases (version 2 frames only), the body ends\n"
        "with the bases of list-op sets (GetBaseValue); without, they are\n"
        "left out. docs/wireFormat.md specifies the layout.");

    def("UnpackOps", &_UnpackOps, (arg("data"), arg("bases") = false),
        "UnpackOps(data: bytes, bases=False) -> SyncOpList\n\n"
        "Extension: the operations PackOps wrote. Every length, count and\n"
        "index is checked against what remains, and every path, spec type,\n"
        "field name and value against what a store accepts; a fault raises\n"
        "ValueError naming it, and nothing is returned. bases as for\n"
        "PackOps: the body must be written with the same.");

    def("PackLayerUpdates", &_PackLayerUpdates,
        (arg("layer"), arg("coalesce") = true, arg("bases") = false),
        "PackLayerUpdates(layer: Sdf.Layer, coalesce=True, bases=False) "
        "-> bytes\n\n"
        "Extension: takes the layer's updates, as GetLayerUpdates does, and\n"
        "returns them in PackOps form, coalesced unless told otherwise and\n"
        "without the creation of the pseudo-root that every store already\n"
        "has. The operations never become Python objects. bases as for\n"
        "PackOps.");

    def("PackSyncData", &_PackSyncData, (arg("syncData"), arg("bases") = false),
        "PackSyncData(syncData: SyncData, bases=False) -> bytes\n\n"
        "Extension: the PackOps body of the operations that rebuild\n"
        "syncData from a new store (CreateNode of each spec, parents\n"
        "first, then its fields; the pseudo-root's fields too), read from\n"
        "the store itself without copying a layer. ApplyPackedOps of it on\n"
        "SyncData.CreateNew() gives the same specs and fields. Specs that\n"
        "no children field reaches from the pseudo-root are left out, with\n"
        "a debug line. With bases, the body ends with an empty bases\n"
        "section, as version 2 frames need.");

    def("ApplyPackedOps", &_ApplyPackedOps,
        (arg("syncData"), arg("data"), arg("bases") = false),
        "ApplyPackedOps(syncData: SyncData, data: bytes, bases=False) -> "
        "int\n\n"
        "Extension: applies the operations PackOps wrote to syncData, in\n"
        "order and as ApplySyncOps would, without building SyncOp objects:\n"
        "each distinct path, field name and value is parsed once. The body\n"
        "is checked whole first, as UnpackOps checks it; a fault raises\n"
        "ValueError and leaves syncData unchanged. Returns the number of\n"
        "operations applied. bases as for UnpackOps; a list-op set with a\n"
        "base merges with concurrent edits of the list.");
}

} // namespace vela
