//
// Copyright 2026 vela contributors
//
// Module functions over the process-wide vela::ValueHandler, so that a
// client can produce and inspect packed field values.

#include "python/pyBuffer.h"
#include "sync/packedData.h"
#include "sync/valueHandler.h"

#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/base/tf/token.h>
#include <pxr/usd/sdf/valueTypeName.h>
#include <pxr/base/vt/value.h>

#include <pxr/external/boost/python/args.hpp>
#include <pxr/external/boost/python/def.hpp>
#include <pxr/external/boost/python/extract.hpp>
#include <pxr/external/boost/python/object.hpp>

#include <spdlog/spdlog.h>

#include <Python.h>

#include <string>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

object _EmptyBytes()
{
    return object(handle<>(PyBytes_FromStringAndSize(nullptr, 0)));
}

// The vector-valued fields of Sdf's schema (primChildren, properties,
// targetChildren, ...) hold std::vectors, which have no Sdf value type name.
// They are named by their TfType alias and converted from a Python sequence
// by Tf's own container conversions.
bool _ExtractVectorField(const object& value, const std::string& typeName,
                         VtValue* result)
{
    if (typeName == "TfTokenVector") {
        extract<TfTokenVector> tokens(value);
        if (tokens.check()) {
            *result = VtValue(tokens());
        }
        return true;
    }
    if (typeName == "SdfPathVector") {
        extract<SdfPathVector> paths(value);
        if (paths.check()) {
            *result = VtValue(paths());
        }
        return true;
    }
    return false;
}

object _PackValue(const object& pyValue, const std::string& typeName)
{
    VtValue typed;
    if (_ExtractVectorField(pyValue, typeName, &typed)) {
        if (typed.IsEmpty()) {
            spdlog::error("PackValue: the value cannot be converted to {}",
                          typeName);
            return _EmptyBytes();
        }
    } else {
        typed = extract<VtValue>(pyValue)();
        if (!typeName.empty()) {
            const SdfValueTypeName valueType =
                SdfSchema::GetInstance().FindType(typeName);
            if (!valueType) {
                spdlog::error("PackValue: unknown value type name '{}'",
                              typeName);
                return _EmptyBytes();
            }
            VtValue cast =
                VtValue::CastToTypeid(typed, valueType.GetType().GetTypeid());
            if (cast.IsEmpty()) {
                spdlog::error("PackValue: a {} value cannot be cast to {}",
                              typed.GetTypeName(), typeName);
                return _EmptyBytes();
            }
            typed.Swap(cast);
        }
    }
    const PackedData packed = ValueHandler::GetInstance().PackVtValue(typed);
    PyObject* bytes =
        PyBytes_FromStringAndSize(reinterpret_cast<const char*>(packed.data()),
                                  static_cast<Py_ssize_t>(packed.size()));
    if (!bytes) {
        throw_error_already_set();
    }
    return object(handle<>(bytes));
}

VtValue _UnpackValue(const object& data)
{
    const ValueHandler& handler = ValueHandler::GetInstance();
    extract<std::string> asText(data);
    if (PyUnicode_Check(data.ptr()) && asText.check()) {
        return handler.UnpackVtValue(asText());
    }
    return handler.UnpackVtValue(PackedDataFromBytes(PyBufferToBytes(data)));
}

} // namespace

void wrapValueHandler()
{
    def("PackValue", &_PackValue,
        (arg("value"), arg("typeName") = std::string()),
        "PackValue(value, typeName: str = '') -> bytes\n\n"
        "Extension: the packed form of a field value, header included, as\n"
        "SyncOp.GetFieldValue gives it. With a typeName (an Sdf value type\n"
        "name such as 'float3[]' or 'token') the value is first cast to that\n"
        "type, so plain Python numbers and lists can be packed as the type\n"
        "an attribute holds; 'TfTokenVector' and 'SdfPathVector' name the\n"
        "list-valued fields of Sdf's schema (primChildren, properties,\n"
        "...), packed from a sequence of str or Sdf.Path. A value of a type "
        "that does not pack, an\n"
        "unknown type name or a failed cast gives b'' and an error line.");

    def("UnpackValue", &_UnpackValue, (arg("data")),
        "UnpackValue(data: bytes | str) -> object\n\n"
        "Extension: the value of packed bytes (bytes, bytearray or\n"
        "memoryview, header included) or of their standard Base64 text (a\n"
        "str). Malformed bytes give None and an error line; Base64 text with\n"
        "a character outside the alphabet raises.");
}

} // namespace vela
