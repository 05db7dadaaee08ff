//
// Copyright 2026 vela contributors
//
#include "python/pyBuffer.h"

#include <pxr/external/boost/python/errors.hpp>
#include <pxr/external/boost/python/extract.hpp>
#include <pxr/external/boost/python/handle.hpp>

#include <Python.h>

#include <utility>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

PyBuffer::PyBuffer(const object& data)
{
    PyObject* obj = data.ptr();
    // A str offers no buffer, but say so plainly: text here is almost
    // always Base64 handed to the wrong door.
    if (PyUnicode_Check(obj) || !PyObject_CheckBuffer(obj)) {
        PyErr_Format(PyExc_TypeError,
                     "expected bytes, bytearray or memoryview, not %s",
                     Py_TYPE(obj)->tp_name);
        throw_error_already_set();
    }
    if (PyObject_GetBuffer(obj, &_view, PyBUF_SIMPLE) != 0) {
        throw_error_already_set();
    }
}

PyBuffer::~PyBuffer()
{
    PyBuffer_Release(&_view);
}

std::vector<uint8_t> PyBufferToBytes(const object& data)
{
    const PyBuffer buffer(data);
    return std::vector<uint8_t>(buffer.Data(), buffer.Data() + buffer.Size());
}

PackedData PackedDataFromBytes(std::vector<uint8_t> bytes)
{
    const bool hasHeader = bytes.size() >= 2;
    const uint8_t typeCode = hasHeader ? bytes[0] : 0;
    const bool isArray = hasHeader && bytes[1] != 0;
    return PackedData(typeCode, isArray, std::move(bytes));
}

SyncOpList SyncOpsFromIterable(const object& ops, const char* caller)
{
    PyObject* iterator = PyObject_GetIter(ops.ptr());
    if (!iterator) {
        throw_error_already_set(); // TypeError: not iterable
    }
    handle<> ownedIterator(iterator);
    SyncOpList collected;
    while (PyObject* next = PyIter_Next(iterator)) {
        object item{handle<>(next)};
        extract<const SyncOp&> asOp(item);
        if (!asOp.check()) {
            PyErr_Format(PyExc_TypeError, "%s expects SyncOp items, not %s",
                         caller, Py_TYPE(item.ptr())->tp_name);
            throw_error_already_set();
        }
        collected.push_back(asOp());
    }
    if (PyErr_Occurred()) {
        throw_error_already_set();
    }
    return collected;
}

} // namespace vela
