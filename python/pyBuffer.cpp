//
// Copyright 2026 vela contributors
//
#include "python/pyBuffer.h"

#include <pxr/external/boost/python/errors.hpp>

#include <Python.h>

#include <utility>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

std::vector<uint8_t> PyBufferToBytes(const object& data)
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
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_SIMPLE) != 0) {
        throw_error_already_set();
    }
    const uint8_t* begin = static_cast<const uint8_t*>(view.buf);
    std::vector<uint8_t> bytes(begin, begin + view.len);
    PyBuffer_Release(&view);
    return bytes;
}

PackedData PackedDataFromBytes(std::vector<uint8_t> bytes)
{
    const bool hasHeader = bytes.size() >= 2;
    const uint8_t typeCode = hasHeader ? bytes[0] : 0;
    const bool isArray = hasHeader && bytes[1] != 0;
    return PackedData(typeCode, isArray, std::move(bytes));
}

} // namespace vela
