// Builds expected packed bytes: little-endian numbers and length-prefixed
// strings, appended in call order.
#ifndef VELA_TESTS_SYNC_PACKED_BYTES_H
#define VELA_TESTS_SYNC_PACKED_BYTES_H

#include <pxr/usd/sdf/listOp.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vela_test {

class Bytes
{
public:
    Bytes& U8(uint8_t v) { return Raw(&v, 1); }
    Bytes& I32(int32_t v) { return Raw(&v, 4); }
    Bytes& U64(uint64_t v) { return Raw(&v, 8); }
    Bytes& F32(float v) { return Raw(&v, 4); }
    Bytes& F64(double v) { return Raw(&v, 8); }
    Bytes& Str(const std::string& s)
    {
        U64(s.size());
        return Raw(s.data(), s.size());
    }
    Bytes& Raw(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        _bytes.insert(_bytes.end(), b, b + n);
        return *this;
    }
    operator std::vector<uint8_t>() const { return _bytes; }

private:
    std::vector<uint8_t> _bytes;
};

/// A list op with \p items in the list of the given kind.
template <class T>
pxr::SdfListOp<T> ListOp(pxr::SdfListOpType type, std::vector<T> items)
{
    pxr::SdfListOp<T> op;
    op.SetItems(items, type);
    return op;
}

/// Standard Base64 with padding, for feeding the decoder.
inline std::string Base64(const std::vector<uint8_t>& bytes)
{
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t n =
            (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t n = bytes[i] << 16;
        if (rest == 2) {
            n |= bytes[i + 1] << 8;
        }
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += rest == 2 ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

} // namespace vela_test

#endif // VELA_TESTS_SYNC_PACKED_BYTES_H
