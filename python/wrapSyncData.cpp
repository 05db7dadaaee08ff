//
// Copyright 2026 vela contributors
//
// Python wrapping of vela::SyncData: the client's door to a sync layer.

#include "python/pyBuffer.h"
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "sync/syncOp.h"
#include "sync/valueHandler.h"

#include <pxr/usd/sdf/abstractData.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/types.h>
#include <pxr/base/tf/makePyConstructor.h>
#include <pxr/base/tf/pyPtrHelpers.h>
#include <pxr/base/tf/token.h>

#include <pxr/external/boost/python/args.hpp>
#include <pxr/external/boost/python/class.hpp>
#include <pxr/external/boost/python/errors.hpp>
#include <pxr/external/boost/python/extract.hpp>
#include <pxr/external/boost/python/object.hpp>
#include <pxr/external/boost/python/return_value_policy.hpp>
#include <pxr/external/boost/python/handle.hpp>

#include <spdlog/spdlog.h>

#include <string>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

SyncDataRefPtr _CreateNew()
{
    return SyncData::New();
}

SyncOpList _GetLayerUpdates(const SdfLayerHandle& layer)
{
    // A None or expired handle takes the null-handle path, which logs.
    if (!layer) {
        return SyncData::GetLayerUpdates(SdfLayerRefPtr());
    }
    return SyncData::GetLayerUpdates(*layer);
}

void _RefreshData(const SdfLayerHandle& layer, const SyncDataPtr& syncData)
{
    SdfAbstractDataRefPtr data =
        syncData ? SdfAbstractDataRefPtr(syncData) : SdfAbstractDataRefPtr();
    SyncFileFormat::RefreshData(layer, data);
}

void _RefreshChangedData(const SdfLayerHandle& layer,
                         const SyncDataPtr& syncData)
{
    SdfAbstractDataRefPtr data =
        syncData ? SdfAbstractDataRefPtr(syncData) : SdfAbstractDataRefPtr();
    SyncFileFormat::RefreshChangedData(layer, data);
}

// In no particular order: the record is a hash set.
SdfPathVector _GetChangedPaths(const SyncData& self)
{
    const SyncData::PathSet& paths = self.GetChangedPaths();
    return SdfPathVector(paths.begin(), paths.end());
}

// The store checks the path and the spec type number itself, before the
// number becomes an SdfSpecType.
void _CreateNode(SyncData& self, const SdfPath& path, int specType)
{
    spdlog::debug("CreateSpec: path={}, specType={}", path.GetString(),
                  specType);
    self.CreateNode(path, static_cast<int32_t>(specType));
}

void _SetField(SyncData& self, const SdfPath& path, const TfToken& fieldName,
               const std::string& fieldValue)
{
    spdlog::debug("Set: path={}, fieldName={}", path.GetString(),
                  fieldName.GetString());
    const VtValue value = ValueHandler::GetInstance().UnpackVtValue(fieldValue);
    self.SetField(path, fieldName, value);
}

void _ApplySyncOps(SyncData& self, const object& ops)
{
    // A SyncOpList is applied in place; any other iterable must yield
    // SyncOp objects, checked one by one before anything is applied so
    // that a bad item leaves the store untouched.
    extract<const SyncOpList&> asList(ops);
    if (asList.check()) {
        self.ApplySyncOps(asList());
        return;
    }
    self.ApplySyncOps(SyncOpsFromIterable(ops, "ApplySyncOps"));
}

} // namespace

void wrapSyncData()
{
    using This = SyncData;
    using ThisPtr = SyncDataPtr;

    class_<This, ThisPtr, noncopyable>(
        "SyncData",
        "The content of a sync layer: specs keyed by path, with their\n"
        "fields. A store built here (CreateNew, CreateNode, SetField) is\n"
        "installed into a layer with RefreshData; a layer's own edits come\n"
        "out with GetLayerUpdates.",
        no_init)
        .def(TfPyRefAndWeakPtr())

        .def("CreateNew", &_CreateNew,
             return_value_policy<TfPyRefPtrFactory<>>(),
             "CreateNew() -> SyncData\n\n"
             "A new store holding only the pseudo-root, owned by Python.")
        .staticmethod("CreateNew")

        .def("GetLayerUpdates", &_GetLayerUpdates, (arg("layer")),
             "GetLayerUpdates(layer: Sdf.Layer) -> SyncOpList\n\n"
             "Takes every edit recorded on a sync layer since the last call,\n"
             "oldest first, leaving none pending. A layer of another format\n"
             "or None gives an empty list and an error line.")
        .staticmethod("GetLayerUpdates")

        .def("RefreshData", &_RefreshData, (arg("layer"), arg("syncData")),
             "RefreshData(layer: Sdf.Layer, syncData: SyncData) -> None\n\n"
             "Brings the layer's content into agreement with syncData. The\n"
             "edits this causes, and any that were pending on the layer, are\n"
             "discarded: they never come out of GetLayerUpdates. Sync data\n"
             "whose children fields name specs it does not hold (or hold the\n"
             "wrong type) is refused with an error line, the layer unchanged:\n"
             "OpenUSD would crash on such a layer later. Content the layer\n"
             "holds already changes nothing; a refresh that replaces most of\n"
             "a large layer gives it a copy of syncData in one step (one\n"
             "notice that the layer's content was replaced); field edits\n"
             "alone are made field by field.")
        .staticmethod("RefreshData")

        .def("RefreshChangedData", &_RefreshChangedData,
             (arg("layer"), arg("syncData")),
             "RefreshChangedData(layer: Sdf.Layer, syncData: SyncData) -> "
             "None\n\n"
             "Extension: as RefreshData, looking only at the specs that\n"
             "changed in syncData since it last refreshed this layer and at\n"
             "those edited on the layer since; the cost does not grow with\n"
             "the layer. Edits go through Sdf's API, so that listeners hear\n"
             "of each changed path; changes the layer holds already make no\n"
             "edit. Inconsistent changed specs are refused as RefreshData\n"
             "refuses them. Without a usable record (syncData never refreshed\n"
             "this layer, too many changes, or edits Sdf's spec API cannot\n"
             "make) it is RefreshData itself.")
        .staticmethod("RefreshChangedData")

        .def("GetChangedPaths", &_GetChangedPaths,
             "GetChangedPaths() -> list[Sdf.Path]\n\n"
             "Extension: the paths of the specs created, erased, moved or\n"
             "whose fields changed since the store last refreshed a layer, in\n"
             "no particular order; empty once too many changed (see\n"
             "HasChangedPathsOverflowed).")

        .def("HasChangedPathsOverflowed", &SyncData::HasChangedPathsOverflowed,
             "HasChangedPathsOverflowed() -> bool\n\n"
             "Extension: whether more specs changed than the store records\n"
             "(256, or an eighth of its specs if more); the next\n"
             "RefreshChangedData is then a full RefreshData.")

        .def("CreateNode", &_CreateNode, (arg("path"), arg("specType")),
             "CreateNode(path: Sdf.Path, specType: int) -> None\n\n"
             "Creates the spec at path with the given Sdf.SpecType number,\n"
             "or changes the type of the spec already there, without\n"
             "recording an operation. A path that is empty or not absolute,\n"
             "or a number that is no spec type, is refused with an error line.")

        .def(
            "SetField", &_SetField,
            (arg("path"), arg("fieldName"), arg("fieldValue")),
            "SetField(path: Sdf.Path, fieldName: str, fieldValue: str) -> "
            "None\n\n"
            "Sets a field from the standard Base64 text (str or bytes) of a\n"
            "packed value, without recording an operation. A character\n"
            "outside the Base64 alphabet raises; a packed value that does\n"
            "not decode is stored as an empty value after an error line. A\n"
            "path that is not absolute or an empty field name is refused with\n"
            "an error line.")

        .def(
            "ApplySyncOp",
            static_cast<void (SyncData::*)(const SyncOp&)>(
                &SyncData::ApplySyncOp),
            (arg("op")),
            "ApplySyncOp(op: SyncOp) -> None\n\n"
            "Extension: applies one received operation to the store.\n"
            "SetField stores the unpacked value without recording. On a\n"
            "layer's store, CreateNode, MoveNode, EraseNode and EraseField go\n"
            "through the recording edits (as local edits would); a store made\n"
            "with CreateNew records none of them, so a replica fed round "
            "after\n"
            "round does not grow. An op the store's checks refuse (a path\n"
            "that is not absolute, a spec type Sdf does not know, an empty\n"
            "field name, a value that does not unpack) changes nothing and\n"
            "logs an error line; frames are refused by the same checks.")

        .def("GetPendingOpCount", &SyncData::GetPendingOpCount,
             "GetPendingOpCount() -> int\n\n"
             "Extension: the number of operations recorded in the store and\n"
             "not yet taken out. A store made with CreateNew holds one, the\n"
             "creation of its pseudo-root, whatever is applied to it.")

        .def("ApplySyncOps", &_ApplySyncOps, (arg("ops")),
             "ApplySyncOps(ops: SyncOpList | Iterable[SyncOp]) -> None\n\n"
             "Extension: applies the operations in order as one frame, each\n"
             "as ApplySyncOp does, with the frame's structure edits merged\n"
             "into the concurrent ones already applied (children lists keep\n"
             "both peers' names; edits of missing specs are dropped).\n"
             "Applying a layer's whole update list to a new store rebuilds\n"
             "the layer's specs and fields. An item that is not a SyncOp\n"
             "raises TypeError before anything is applied.");
}

} // namespace vela
