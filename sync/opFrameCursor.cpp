//
// Copyright 2026 vela contributors
//
#include "sync/opFrameCursor.h"

namespace vela {

bool OpFrameCursor::Bytes(std::string_view* bytes)
{
    uint64_t length = 0;
    if (!Varint(&length) || length > Remaining()) {
        return false;
    }
    *bytes = std::string_view(reinterpret_cast<const char*>(_data + _offset),
                              static_cast<size_t>(length));
    _offset += static_cast<size_t>(length);
    return true;
}

} // namespace vela
