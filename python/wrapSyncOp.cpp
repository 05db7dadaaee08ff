//
// Copyright 2026 vela contributors
//
// Python wrapping of vela::SyncOp, its operation type and SyncOpList.

#include "python/pyBuffer.h"
#include "sync/syncOp.h"

#include <pxr/base/tf/enum.h>
#include <pxr/base/tf/pyEnum.h>

#include <pxr/external/boost/python/args.hpp>
#include <pxr/external/boost/python/class.hpp>
#include <pxr/external/boost/python/def.hpp>
#include <pxr/external/boost/python/errors.hpp>
#include <pxr/external/boost/python/extract.hpp>
#include <pxr/external/boost/python/make_function.hpp>
#include <pxr/external/boost/python/object.hpp>
#include <pxr/external/boost/python/scope.hpp>
#include <pxr/external/boost/python/suite/indexing/vector_indexing_suite.hpp>

#include <Python.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

// SyncOp's own attributes travel by value in both directions, so each one
// gets a getter/setter pair instead of def_readwrite (which would hand out
// references into the op).
template <class T, T SyncOp::*Member>
T _Get(const SyncOp& op)
{
    return op.*Member;
}

template <class T, T SyncOp::*Member>
void _Set(SyncOp& op, const T& value)
{
    op.*Member = value;
}

object _GetFieldValue(const SyncOp& op)
{
    // A fresh bytearray on every call: the caller may change it freely.
    PyObject* bytes = PyByteArray_FromStringAndSize(
        reinterpret_cast<const char*>(op.fieldValue.data()),
        static_cast<Py_ssize_t>(op.fieldValue.size()));
    if (!bytes) {
        throw_error_already_set();
    }
    return object(handle<>(bytes));
}

void _SetFieldValue(SyncOp& op, const object& data)
{
    op.fieldValue = PackedDataFromBytes(PyBufferToBytes(data));
}

object _GetBaseValue(const SyncOp& op)
{
    if (!op.hasBase) {
        return object();
    }
    PyObject* bytes = PyByteArray_FromStringAndSize(
        reinterpret_cast<const char*>(op.baseValue.data()),
        static_cast<Py_ssize_t>(op.baseValue.size()));
    if (!bytes) {
        throw_error_already_set();
    }
    return object(handle<>(bytes));
}

void _SetBaseValue(SyncOp& op, const object& data)
{
    op.hasBase = !data.is_none();
    op.baseValue =
        op.hasBase ? PackedDataFromBytes(PyBufferToBytes(data)) : PackedData();
}

int _OpTypeToInt(SyncOp::SyncOpType type)
{
    return static_cast<int>(type);
}

std::string _Repr(const SyncOp& op)
{
    static const char* const names[] = {"CreateNode", "SetField", "MoveNode",
                                        "EraseNode", "EraseField"};
    const int32_t type = static_cast<int32_t>(op.opType);
    std::string text = "SyncOp(";
    text += (type >= 0 && type < 5) ? names[type] : std::to_string(type);
    text += ", '" + op.nodePath + "'";
    if (!op.oldNodePath.empty()) {
        text += ", from '" + op.oldNodePath + "'";
    }
    if (op.opType == SyncOp::CreateNode) {
        text += ", nodeType=" + std::to_string(op.nodeType);
    }
    if (!op.fieldName.empty()) {
        text += ", '" + op.fieldName + "'";
    }
    if (!op.fieldValue.empty()) {
        text += ", " + std::to_string(op.fieldValue.size()) + " bytes";
    }
    return text + ")";
}

} // namespace

void wrapSyncOpType()
{
    // The sync library declares the enumeration as a plain C++ enum; the
    // names Python shows come from TfEnum, registered here once.
    if (TfEnum::GetAllNames<SyncOp::SyncOpType>().empty()) {
        TfEnum::AddName(SyncOp::CreateNode, "CreateNode");
        TfEnum::AddName(SyncOp::SetField, "SetField");
        TfEnum::AddName(SyncOp::MoveNode, "MoveNode");
        TfEnum::AddName(SyncOp::EraseNode, "EraseNode");
        TfEnum::AddName(SyncOp::EraseField, "EraseField");
    }
    TfPyWrapEnum<SyncOp::SyncOpType>("SyncOpType");

    // OpenUSD puts the values of an unscoped enum beside it in the module;
    // they are reachable through the type as well (SyncOpType.SetField).
    scope module;
    object enumType = module.attr("SyncOpType");
    for (const std::string& name : TfEnum::GetAllNames<SyncOp::SyncOpType>()) {
        enumType.attr(name.c_str()) = module.attr(name.c_str());
    }
    // Operation types are numbers on the wire: int(SyncOpType.SetField) is 1.
    enumType.attr("__int__") = make_function(&_OpTypeToInt);
    enumType.attr("__index__") = make_function(&_OpTypeToInt);
}

void wrapSyncOp()
{
    class_<SyncOp>(
        "SyncOp",
        "One edit of a sync layer: a node created, moved or erased, or a\n"
        "field set or erased. Paths and field names are text; a set-field\n"
        "operation carries its value packed (GetFieldValue).",
        init<>())
        .add_property("opType", &_Get<SyncOp::SyncOpType, &SyncOp::opType>,
                      &_Set<SyncOp::SyncOpType, &SyncOp::opType>,
                      "The kind of operation (SyncOpType).")
        .add_property(
            "nodePath", &_Get<std::string, &SyncOp::nodePath>,
            &_Set<std::string, &SyncOp::nodePath>,
            "Text of the node's path; for MoveNode the path after the move.")
        .add_property("oldNodePath", &_Get<std::string, &SyncOp::oldNodePath>,
                      &_Set<std::string, &SyncOp::oldNodePath>,
                      "For MoveNode the path before the move; empty otherwise.")
        .add_property("nodeType", &_Get<int32_t, &SyncOp::nodeType>,
                      &_Set<int32_t, &SyncOp::nodeType>,
                      "For CreateNode the Sdf.SpecType number; 0 otherwise.")
        .add_property(
            "fieldName", &_Get<std::string, &SyncOp::fieldName>,
            &_Set<std::string, &SyncOp::fieldName>,
            "For SetField and EraseField the field's name; empty otherwise.")
        .def("GetFieldValue", &_GetFieldValue,
             "GetFieldValue() -> bytearray\n\n"
             "A new bytearray with a copy of the packed field value (header\n"
             "included; empty when the op carries no value). The bytes are\n"
             "not decoded: UnpackValue does that.")
        .def("SetFieldValue", &_SetFieldValue, arg("fieldValue"),
             "SetFieldValue(fieldValue: bytes) -> None\n\n"
             "Extension: replaces the packed field value by a copy of the\n"
             "given bytes (as GetFieldValue or PackValue give them), so that\n"
             "an operation received from the remote side can be rebuilt and\n"
             "applied with SyncData.ApplySyncOp.")
        .def("GetBaseValue", &_GetBaseValue,
             "GetBaseValue() -> bytearray | None\n\n"
             "Extension: for a SetField of a list op, a new bytearray with\n"
             "the packed value the author's edit replaced (empty when the\n"
             "field did not exist); None when the operation carries no base.")
        .def("SetBaseValue", &_SetBaseValue, arg("baseValue"),
             "SetBaseValue(baseValue: bytes | None) -> None\n\n"
             "Extension: gives the operation a copy of the packed base\n"
             "(None: no base). Only a list op's SetField may carry one.")
        .def("__repr__", &_Repr);
}

void wrapSyncOpList()
{
    class_<SyncOpList>(
        "SyncOpList",
        "A list of SyncOp, oldest first, with the full sequence protocol.\n"
        "Items fetched from it are live proxies into the list. Operations\n"
        "never compare equal, so 'op in ops' is always False.")
        .def(vector_indexing_suite<SyncOpList>());

    def("CoalesceOps", &CoalesceSyncOps, arg("ops"),
        "CoalesceOps(ops: SyncOpList) -> SyncOpList\n\n"
        "Extension: the operations worth sending, in their order: ops\n"
        "without the SetField and EraseField operations that a later\n"
        "SetField or EraseField of the same node and field overwrites, with\n"
        "no operation in between that creates, erases or moves that node.\n"
        "Applying the result in order gives the same specs and field values\n"
        "as applying ops; only the order in which a node's fields were first\n"
        "set may differ. The recorder keeps every edit, and OpenUSD re-sets a\n"
        "parent's child list each time a child is added, so this matters\n"
        "most for a layer built from scratch.");
}

} // namespace vela
