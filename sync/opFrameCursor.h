//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_OP_FRAME_CURSOR_H
#define VELA_SYNC_OP_FRAME_CURSOR_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vela {

/// The one read cursor of a frame body: every read checks what remains
/// and fails, consuming nothing past the end, instead of reading beyond
/// it. Internal to libvelaUsdSync.
class OpFrameCursor
{
public:
    OpFrameCursor(const uint8_t* data, size_t size)
        : _data(data)
        , _size(size)
    {}

    size_t Offset() const { return _offset; }
    size_t Remaining() const { return _size - _offset; }

    /// An unsigned LEB128 varint of at most 64 bits.
    bool Varint(uint64_t* value)
    {
        uint64_t result = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (_offset >= _size) {
                return false;
            }
            const uint8_t byte = _data[_offset++];
            if (shift == 63 && byte > 1) {
                return false; // more than 64 bits
            }
            result |= static_cast<uint64_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80)) {
                *value = result;
                return true;
            }
        }
        return false;
    }

    bool Byte(uint8_t* value)
    {
        if (_offset >= _size) {
            return false;
        }
        *value = _data[_offset++];
        return true;
    }

    /// A varint length and that many bytes, as a view into the body.
    bool Bytes(std::string_view* bytes);

    /// A count of entries that each take at least one byte: it can never
    /// exceed what remains, and checking that first keeps a forged count
    /// from reserving memory.
    bool Count(uint64_t* count)
    {
        return Varint(count) && *count <= Remaining();
    }

private:
    const uint8_t* _data;
    size_t _size;
    size_t _offset = 0;
};

} // namespace vela

#endif // VELA_SYNC_OP_FRAME_CURSOR_H
