//
// Copyright 2026 vela contributors
//
#ifndef VELA_PYTHON_PY_BUFFER_H
#define VELA_PYTHON_PY_BUFFER_H

#include "sync/packedData.h"

#include <pxr/pxr.h>
#include <pxr/external/boost/python/object.hpp>

#include <cstdint>
#include <vector>

namespace vela {

/// Copies the bytes of an object that offers the buffer protocol (bytes,
/// bytearray, memoryview). A str or any other object raises TypeError.
std::vector<uint8_t> PyBufferToBytes(const pxr::pxr_boost::python::object& data);

/// Packed bytes as received, header included, wrapped as PackedData. The
/// type code and array flag are read from the header; bytes too short to
/// hold one are kept with type code 0, which unpacks to an empty value.
PackedData PackedDataFromBytes(std::vector<uint8_t> bytes);

} // namespace vela

#endif // VELA_PYTHON_PY_BUFFER_H
