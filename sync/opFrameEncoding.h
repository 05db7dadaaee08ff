//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_OP_FRAME_ENCODING_H
#define VELA_SYNC_OP_FRAME_ENCODING_H

// The number and byte encodings of an operation frame (docs/wireFormat.md),
// shared by its writer and its reader. Internal to libvelaUsdSync.

#include "sync/packedData.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vela {

/// Appends \p value as an unsigned LEB128 varint.
inline void OpFramePutVarint(std::string* out, uint64_t value)
{
    while (value >= 0x80) {
        out->push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out->push_back(static_cast<char>(value));
}

/// Appends the length of \p bytes as a varint, then the bytes.
inline void OpFramePutBytes(std::string* out, std::string_view bytes)
{
    OpFramePutVarint(out, bytes.size());
    out->append(bytes.data(), bytes.size());
}

/// The zigzag form of a node type as frames have always carried it: a
/// negative number's bits shifted as 32 bits and its sign as 64, so that
/// -1 is 0xfffffffe00000001. Readers refuse such a number (no spec type is
/// negative); it stays as it is so that the bytes of every frame do.
inline uint64_t OpFrameZigZag32(int32_t value)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(value)) << 1) ^
           static_cast<uint64_t>(static_cast<int64_t>(value) >> 63);
}

/// The zigzag form of a signed difference: 0, -1, 1, -2, ... as 0, 1, 2, 3.
inline uint64_t OpFrameZigZag64(int64_t value)
{
    return (static_cast<uint64_t>(value) << 1) ^
           static_cast<uint64_t>(value >> 63);
}

/// The signed number of a zigzag form.
inline int64_t OpFrameUnZigZag(uint64_t value)
{
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

/// The bytes of a packed value, header included, as a view.
inline std::string_view OpFrameBytesOf(const PackedData& value)
{
    return std::string_view(reinterpret_cast<const char*>(value.data()),
                            value.size());
}

/// A packed value from its bytes; bytes too short for the two-byte header
/// keep type code 0, which stands for the empty value.
inline PackedData OpFramePackedOf(std::string_view bytes)
{
    const uint8_t* begin = reinterpret_cast<const uint8_t*>(bytes.data());
    return PackedData(bytes.size() >= 2 ? begin[0] : 0,
                      bytes.size() >= 2 && begin[1] != 0,
                      std::vector<uint8_t>(begin, begin + bytes.size()));
}

} // namespace vela

#endif // VELA_SYNC_OP_FRAME_ENCODING_H
