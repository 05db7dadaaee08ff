//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_CRC32_H
#define VELA_SYNC_CRC32_H

#include <cstddef>
#include <cstdint>

namespace vela {

/// The CRC-32 of frames and records (IEEE 802.3, reflected, as zlib's
/// crc32 and Python's zlib.crc32 compute it): the check of \p size bytes
/// at \p data, continuing from \p crc (0 to start). Eight bytes a step
/// (slicing by eight), which frames of a hundred bytes read several times
/// faster than a byte at a time.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

} // namespace vela

#endif // VELA_SYNC_CRC32_H
