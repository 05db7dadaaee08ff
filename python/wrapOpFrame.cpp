//
// Copyright 2026 vela contributors
//
// Module functions over vela::OpFrame: the session client's binary form of
// a list of operations.

#include "python/opFrame.h"
#include "python/pyBuffer.h"
#include "sync/syncOp.h"

#include <pxr/boost/python/args.hpp>
#include <pxr/boost/python/def.hpp>
#include <pxr/boost/python/errors.hpp>
#include <pxr/boost/python/extract.hpp>
#include <pxr/boost/python/handle.hpp>
#include <pxr/boost/python/object.hpp>

#include <Python.h>

#include <string>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

// A SyncOpList is encoded in place; any other iterable must yield SyncOp
// objects.
std::string _EncodeAny(const object& ops)
{
    extract<const SyncOpList&> asList(ops);
    if (asList.check()) {
        return OpFrame::Encode(asList());
    }
    PyObject* iterator = PyObject_GetIter(ops.ptr());
    if (!iterator) {
        throw_error_already_set();
    }
    handle<> ownedIterator(iterator);
    SyncOpList collected;
    while (PyObject* next = PyIter_Next(iterator)) {
        object item{handle<>(next)};
        extract<const SyncOp&> asOp(item);
        if (!asOp.check()) {
            PyErr_Format(PyExc_TypeError, "PackOps expects SyncOp items, not %s",
                         Py_TYPE(item.ptr())->tp_name);
            throw_error_already_set();
        }
        collected.push_back(asOp());
    }
    if (PyErr_Occurred()) {
        throw_error_already_set();
    }
    return OpFrame::Encode(collected);
}

object _PackOps(const object& ops)
{
    const std::string body = _EncodeAny(ops);
    PyObject* bytes = PyBytes_FromStringAndSize(body.data(),
                                                static_cast<Py_ssize_t>(body.size()));
    if (!bytes) {
        throw_error_already_set();
    }
    return object(handle<>(bytes));
}

SyncOpList _UnpackOps(const object& data)
{
    PyObject* obj = data.ptr();
    if (PyUnicode_Check(obj) || !PyObject_CheckBuffer(obj)) {
        PyErr_Format(PyExc_TypeError,
                     "expected bytes, bytearray or memoryview, not %s",
                     Py_TYPE(obj)->tp_name);
        throw_error_already_set();
    }
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_SIMPLE) != 0) {
        throw_error_already_set();
    }
    SyncOpList ops;
    std::string error;
    const bool ok = OpFrame::Decode(static_cast<const uint8_t*>(view.buf),
                                    static_cast<size_t>(view.len), &ops, &error);
    PyBuffer_Release(&view);
    if (!ok) {
        PyErr_SetString(PyExc_ValueError, ("bad operation frame: " + error).c_str());
        throw_error_already_set();
    }
    return ops;
}

} // namespace

void wrapOpFrame()
{
    def("PackOps", &_PackOps, arg("ops"),
        "PackOps(ops: SyncOpList | Iterable[SyncOp]) -> bytes\n\n"
        "Extension: the compact binary form of the operations, in order.\n"
        "Packed values travel as they are; path pieces, field names and\n"
        "values that repeat are written once and referred to by index.\n"
        "vela.usd.client documents the layout.");

    def("UnpackOps", &_UnpackOps, arg("data"),
        "UnpackOps(data: bytes) -> SyncOpList\n\n"
        "Extension: the operations PackOps wrote. Every length, count and\n"
        "index is checked against what remains, and every path, spec type,\n"
        "field name and value against what a store accepts; a fault raises\n"
        "ValueError naming it, and nothing is returned.");
}

} // namespace vela
