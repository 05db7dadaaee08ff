//
// Copyright 2026 vela contributors
//
#include "sync/crc32.h"

#include <array>
#include <cstring>

namespace vela {

namespace {

using _Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr _Tables _MakeTables()
{
    _Tables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xedb88320u : crc >> 1;
        }
        tables[0][i] = crc;
    }
    for (size_t k = 1; k < 8; ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xff];
        }
    }
    return tables;
}

constexpr _Tables _tables = _MakeTables();

inline uint32_t _Byte(uint32_t crc, uint8_t byte)
{
    return _tables[0][(crc ^ byte) & 0xff] ^ (crc >> 8);
}

} // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    crc = ~crc;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; size >= 8; data += 8, size -= 8) {
        uint32_t low, high;
        std::memcpy(&low, data, 4);
        std::memcpy(&high, data + 4, 4);
        low ^= crc;
        crc = _tables[7][low & 0xff] ^ _tables[6][(low >> 8) & 0xff] ^
              _tables[5][(low >> 16) & 0xff] ^ _tables[4][low >> 24] ^
              _tables[3][high & 0xff] ^ _tables[2][(high >> 8) & 0xff] ^
              _tables[1][(high >> 16) & 0xff] ^ _tables[0][high >> 24];
    }
#endif
    for (; size; ++data, --size) {
        crc = _Byte(crc, *data);
    }
    return ~crc;
}

} // namespace vela
