//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_PACKED_DATA_H
#define VELA_SYNC_PACKED_DATA_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vela {

/// The wire form of one field value: a one-byte type code, an array flag
/// and the packed bytes, the two-byte header included.
///
/// A default-constructed value is the empty packed value (type code 0, no
/// bytes); unpacking it yields an empty VtValue. PackedData owns its bytes
/// and is copied and moved by value.
class PackedData
{
public:
    PackedData() = default;
    PackedData(uint8_t typeCode, bool isArray, std::vector<uint8_t> bytes)
        : typeCode(typeCode)
        , isArray(isArray)
        , bytes(std::move(bytes))
    {}
    PackedData(const PackedData&) = default;
    PackedData(PackedData&&) noexcept = default;
    PackedData& operator=(const PackedData&) = default;
    PackedData& operator=(PackedData&&) noexcept = default;
    virtual ~PackedData() = default;

    /// Type code of the packed value; 0 means no value.
    uint8_t typeCode = 0;
    /// True when the value is a VtArray of the registered type.
    bool isArray = false;
    /// The complete packed form, header included.
    std::vector<uint8_t> bytes;

    std::vector<uint8_t>::const_iterator begin() const { return bytes.begin(); }
    std::vector<uint8_t>::const_iterator end() const { return bytes.end(); }
    const uint8_t* data() const { return bytes.data(); }
    size_t size() const { return bytes.size(); }
    bool empty() const { return bytes.empty(); }
};

} // namespace vela

#endif // VELA_SYNC_PACKED_DATA_H
