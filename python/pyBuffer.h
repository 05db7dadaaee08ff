//
// Copyright 2026 vela contributors
//
#ifndef VELA_PYTHON_PY_BUFFER_H
#define VELA_PYTHON_PY_BUFFER_H

#include "sync/packedData.h"
#include "sync/syncOp.h"

#include <pxr/pxr.h>
#include <pxr/external/boost/python/object.hpp>

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vela {

/// The bytes of a Python object that offers the buffer protocol (bytes,
/// bytearray, memoryview), held for as long as the PyBuffer lives. A str
/// or any other object raises TypeError.
class PyBuffer
{
public:
    explicit PyBuffer(const pxr::pxr_boost::python::object& data);
    ~PyBuffer();
    PyBuffer(const PyBuffer&) = delete;
    PyBuffer& operator=(const PyBuffer&) = delete;

    const uint8_t* Data() const
    {
        return static_cast<const uint8_t*>(_view.buf);
    }
    size_t Size() const { return static_cast<size_t>(_view.len); }

private:
    Py_buffer _view;
};

/// Copies the bytes of an object that offers the buffer protocol (bytes,
/// bytearray, memoryview). A str or any other object raises TypeError.
std::vector<uint8_t>
PyBufferToBytes(const pxr::pxr_boost::python::object& data);

/// Packed bytes as received, header included, wrapped as PackedData. The
/// type code and array flag are read from the header; bytes too short to
/// hold one are kept with type code 0, which unpacks to an empty value.
PackedData PackedDataFromBytes(std::vector<uint8_t> bytes);

/// The operations of a Python iterable that yields SyncOp objects, all
/// checked before the list is returned; an item of another type raises
/// TypeError naming \p caller, a non-iterable raises TypeError.
SyncOpList SyncOpsFromIterable(const pxr::pxr_boost::python::object& ops,
                               const char* caller);

} // namespace vela

#endif // VELA_PYTHON_PY_BUFFER_H
