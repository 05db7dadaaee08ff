//
// Copyright 2026 vela contributors
//
// Python wrapping of vela::SyncData: the client's door to a sync layer.

#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "sync/syncOp.h"
#include "sync/valueHandler.h"

#include <pxr/sdf/abstractData.h>
#include <pxr/sdf/layer.h>
#include <pxr/sdf/schema.h>
#include <pxr/sdf/path.h>
#include <pxr/sdf/types.h>
#include <pxr/tf/makePyConstructor.h>
#include <pxr/tf/pyPtrHelpers.h>
#include <pxr/tf/token.h>

#include <pxr/boost/python/args.hpp>
#include <pxr/boost/python/class.hpp>
#include <pxr/boost/python/errors.hpp>
#include <pxr/boost/python/extract.hpp>
#include <pxr/boost/python/object.hpp>
#include <pxr/boost/python/return_value_policy.hpp>
#include <pxr/boost/python/handle.hpp>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <string>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

void wrapSyncOpType();
void wrapSyncOp();
void wrapSyncOpList();
void wrapValueHandler();

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

// The paths of every spec in a store.
class _PathCollector : public SdfAbstractDataSpecVisitor
{
public:
    bool VisitSpec(const SdfAbstractData&, const SdfPath& path) override
    {
        paths.push_back(path);
        return true;
    }
    void Done(const SdfAbstractData&) override {}

    SdfPathVector paths;
};

// Whether a spec of this type may sit at this path, as OpenUSD lays specs
// out: prims at prim paths, properties at property paths, and so on.
bool _SpecTypeFitsPath(const SdfAbstractData& data, const SdfPath& path,
                       SdfSpecType type)
{
    if (!path.IsAbsolutePath()) {
        return false;
    }
    if (path == SdfPath::AbsoluteRootPath()) {
        return type == SdfSpecTypePseudoRoot;
    }
    if (path.IsPrimPath()) {
        return type == SdfSpecTypePrim;
    }
    if (path.IsPrimVariantSelectionPath()) {
        return type == (path.GetVariantSelection().second.empty()
                            ? SdfSpecTypeVariantSet : SdfSpecTypeVariant);
    }
    if (path.IsPrimPropertyPath()) {
        return type == SdfSpecTypeAttribute || type == SdfSpecTypeRelationship;
    }
    if (path.IsTargetPath()) {
        switch (data.GetSpecType(path.GetParentPath())) {
        case SdfSpecTypeRelationship:
            return type == SdfSpecTypeRelationshipTarget;
        case SdfSpecTypeAttribute:
            return type == SdfSpecTypeConnection;
        default:
            return type == SdfSpecTypeRelationshipTarget ||
                   type == SdfSpecTypeConnection;
        }
    }
    if (path.IsMapperPath()) {
        return type == SdfSpecTypeMapper;
    }
    if (path.IsMapperArgPath()) {
        return type == SdfSpecTypeMapperArg;
    }
    if (path.IsExpressionPath()) {
        return type == SdfSpecTypeExpression;
    }
    return false;
}

// A store built from received operations is installed into a layer only if
// every spec's type fits its path and its children fields hold the types
// OpenUSD expects and name specs that exist: OpenUSD trusts a layer's data,
// and a child without a spec, or a prim listed as a child that is really
// an attribute (from a lost or forged operation), crashes it later, when
// the layer is traversed or written out. Returns the first problem found,
// or "".
std::string _FindInconsistency(const SdfAbstractData& data)
{
    _PathCollector collector;
    data.VisitSpecs(&collector);

    const auto problem = [](const SdfPath& path, const TfToken& field,
                            const std::string& what) {
        return fmt::format("{} of {} {}", field.GetString(), path.GetString(),
                           what);
    };
    const auto checkChild = [&](const SdfPath& path, const TfToken& field,
                                const SdfPath& child,
                                const std::string& name) -> std::string {
        if (child.IsEmpty() || !data.HasSpec(child)) {
            return problem(path, field, "names '" + name + "', which has no spec");
        }
        return {};
    };

    const TfToken tokenFields[] = {
        SdfChildrenKeys->PrimChildren, SdfChildrenKeys->PropertyChildren,
        SdfChildrenKeys->VariantSetChildren, SdfChildrenKeys->VariantChildren};
    const TfToken pathFields[] = {
        SdfChildrenKeys->RelationshipTargetChildren,
        SdfChildrenKeys->ConnectionChildren, SdfChildrenKeys->MapperChildren};

    for (const SdfPath& path : collector.paths) {
        const SdfSpecType type = data.GetSpecType(path);
        if (!_SpecTypeFitsPath(data, path, type)) {
            return fmt::format("the spec at {} cannot have spec type {}",
                               path.GetString(), static_cast<int>(type));
        }
    }

    for (const SdfPath& path : collector.paths) {
        for (const TfToken& field : tokenFields) {
            const VtValue value = data.Get(path, field);
            if (value.IsEmpty()) {
                continue;
            }
            if (!value.IsHolding<TfTokenVector>()) {
                return problem(path, field, "is not a token list");
            }
            for (const TfToken& name : value.UncheckedGet<TfTokenVector>()) {
                SdfPath child;
                if (!SdfPath::IsValidIdentifier(name) &&
                    !(field == SdfChildrenKeys->PropertyChildren &&
                      SdfPath::IsValidNamespacedIdentifier(name))) {
                    return problem(path, field,
                                   "names '" + name.GetString() +
                                   "', which is not a valid name");
                }
                if (field == SdfChildrenKeys->PrimChildren) {
                    child = path.AppendChild(name);
                } else if (field == SdfChildrenKeys->PropertyChildren) {
                    child = path.AppendProperty(name);
                } else if (field == SdfChildrenKeys->VariantSetChildren) {
                    child = path.AppendVariantSelection(name, "");
                } else if (path.IsPrimVariantSelectionPath()) {
                    child = path.GetParentPath().AppendVariantSelection(
                        path.GetVariantSelection().first, name);
                }
                const std::string failure =
                    checkChild(path, field, child, name.GetString());
                if (!failure.empty()) {
                    return failure;
                }
            }
        }
        for (const TfToken& field : pathFields) {
            const VtValue value = data.Get(path, field);
            if (value.IsEmpty()) {
                continue;
            }
            if (!value.IsHolding<SdfPathVector>()) {
                return problem(path, field, "is not a path list");
            }
            for (const SdfPath& target : value.UncheckedGet<SdfPathVector>()) {
                const SdfPath child = field == SdfChildrenKeys->MapperChildren
                    ? path.AppendMapper(target)
                    : path.AppendTarget(target);
                const std::string failure =
                    checkChild(path, field, child, target.GetString());
                if (!failure.empty()) {
                    return failure;
                }
            }
        }
    }
    return {};
}

void _RefreshData(const SdfLayerHandle& layer, const SyncDataPtr& syncData)
{
    if (syncData) {
        const std::string failure = _FindInconsistency(*syncData);
        if (!failure.empty()) {
            spdlog::error("RefreshData: refused, the sync data is not "
                          "consistent: {}", failure);
            return;
        }
    }
    SdfAbstractDataRefPtr data = syncData ? SdfAbstractDataRefPtr(syncData)
                                          : SdfAbstractDataRefPtr();
    SyncFileFormat::RefreshData(layer, data);
}

// OpenUSD indexes its spec definitions by SdfSpecType, so a number past the
// last type must never reach a layer. SdfSpecTypeUnknown (0) is left to the
// store, which refuses it with its own error line.
bool _IsSpecTypeInRange(int specType)
{
    return specType >= 0 && specType < SdfNumSpecTypes;
}

void _CreateNode(SyncData& self, const SdfPath& path, int specType)
{
    spdlog::debug("CreateSpec: path={}, specType={}", path.GetString(),
                  specType);
    if (!_IsSpecTypeInRange(specType)) {
        spdlog::error("Invalid spec type {} at {}", specType,
                      path.GetString());
        return;
    }
    if (!path.IsAbsolutePath()) {
        spdlog::error("Invalid path '{}': a node needs an absolute path",
                      path.GetString());
        return;
    }
    self.CreateNode(path, static_cast<SdfSpecType>(specType));
}

void _SetField(SyncData& self, const SdfPath& path, const TfToken& fieldName,
               const std::string& fieldValue)
{
    spdlog::debug("Set: path={}, fieldName={}", path.GetString(),
                  fieldName.GetString());
    const VtValue value = ValueHandler::GetInstance().UnpackVtValue(fieldValue);
    self.SetField(path, fieldName, value);
}

// Operations come off the wire, so they are checked before the store sees
// them: every path they name must parse, and a created node must have a
// spec type OpenUSD knows. A rejected op logs one error line and changes
// nothing.
bool _IsAbsolutePathString(const std::string& text)
{
    return SdfPath::IsValidPathString(text) && SdfPath(text).IsAbsolutePath();
}

bool _IsApplicable(const SyncOp& op)
{
    if (!_IsAbsolutePathString(op.nodePath)) {
        spdlog::error("Invalid node path '{}' in operation of type {}",
                      op.nodePath, static_cast<int>(op.opType));
        return false;
    }
    if (op.opType == SyncOp::MoveNode &&
        !_IsAbsolutePathString(op.oldNodePath)) {
        spdlog::error("Invalid old node path '{}' in move to {}",
                      op.oldNodePath, op.nodePath);
        return false;
    }
    if (op.opType == SyncOp::CreateNode && !_IsSpecTypeInRange(op.nodeType)) {
        spdlog::error("Invalid spec type {} at {}", op.nodeType, op.nodePath);
        return false;
    }
    return true;
}

void _Apply(SyncData& self, const SyncOp& op)
{
    if (_IsApplicable(op)) {
        self.ApplySyncOp(op);
    }
}

void _ApplySyncOp(SyncData& self, const SyncOp& op)
{
    _Apply(self, op);
}

void _ApplySyncOps(SyncData& self, const object& ops)
{
    // A SyncOpList is applied in place; any other iterable must yield
    // SyncOp objects, checked one by one before anything is applied so
    // that a bad item leaves the store untouched.
    extract<const SyncOpList&> asList(ops);
    if (asList.check()) {
        for (const SyncOp& op : asList()) {
            _Apply(self, op);
        }
        return;
    }
    PyObject* iterator = PyObject_GetIter(ops.ptr());
    if (!iterator) {
        throw_error_already_set();  // TypeError: not iterable
    }
    handle<> ownedIterator(iterator);
    SyncOpList collected;
    while (PyObject* next = PyIter_Next(iterator)) {
        object item{handle<>(next)};
        extract<const SyncOp&> asOp(item);
        if (!asOp.check()) {
            PyErr_Format(PyExc_TypeError,
                         "ApplySyncOps expects SyncOp items, not %s",
                         Py_TYPE(item.ptr())->tp_name);
            throw_error_already_set();
        }
        collected.push_back(asOp());
    }
    if (PyErr_Occurred()) {
        throw_error_already_set();
    }
    for (const SyncOp& op : collected) {
        _Apply(self, op);
    }
}

} // namespace

void wrapSyncData()
{
    wrapSyncOpType();
    wrapSyncOp();
    wrapSyncOpList();

    using This = SyncData;
    using ThisPtr = SyncDataPtr;

    class_<This, ThisPtr, noncopyable>("SyncData",
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
            "OpenUSD would crash on such a layer later.")
        .staticmethod("RefreshData")

        .def("CreateNode", &_CreateNode, (arg("path"), arg("specType")),
            "CreateNode(path: Sdf.Path, specType: int) -> None\n\n"
            "Creates the spec at path with the given Sdf.SpecType number,\n"
            "or changes the type of the spec already there, without\n"
            "recording an operation. A path that is empty or not absolute,\n"
            "or a number that is no spec type, is refused with an error line.")

        .def("SetField", &_SetField,
            (arg("path"), arg("fieldName"), arg("fieldValue")),
            "SetField(path: Sdf.Path, fieldName: str, fieldValue: str) -> None\n\n"
            "Sets a field from the standard Base64 text (str or bytes) of a\n"
            "packed value, without recording an operation. A character\n"
            "outside the Base64 alphabet raises; a packed value that does\n"
            "not decode is stored as an empty value after an error line.")

        .def("ApplySyncOp", &_ApplySyncOp, (arg("op")),
            "ApplySyncOp(op: SyncOp) -> None\n\n"
            "Extension: applies one received operation to the store.\n"
            "CreateNode, MoveNode, EraseNode and EraseField go through the\n"
            "recording edits (as local edits would); SetField stores the\n"
            "unpacked value without recording. An op naming a path that\n"
            "does not parse, or creating a node of an unknown spec type\n"
            "number, is refused with an error line.")

        .def("ApplySyncOps", &_ApplySyncOps, (arg("ops")),
            "ApplySyncOps(ops: SyncOpList | Iterable[SyncOp]) -> None\n\n"
            "Extension: applies the operations in order, as ApplySyncOp.\n"
            "Applying a layer's whole update list to a new store rebuilds\n"
            "the layer's specs and fields. An item that is not a SyncOp\n"
            "raises TypeError before anything is applied.")
        ;

    wrapValueHandler();
}

} // namespace vela
