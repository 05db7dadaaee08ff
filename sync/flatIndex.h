//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_FLAT_INDEX_H
#define VELA_SYNC_FLAT_INDEX_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace vela {

/// An open-addressing index of byte strings whose texts live in a table of
/// views that the caller keeps: the index holds only hashes and positions,
/// so an entry costs no allocation, which matters at a few hundred
/// thousand entries (the frame encoder's strings, paths and values).
/// Internal to libvelaUsdSync.
class FlatIndex
{
public:
    /// Room for about \p expected entries before the index first grows.
    explicit FlatIndex(size_t expected);

    /// The position of \p key in \p keys, or -1.
    int64_t Find(std::string_view key,
                 const std::vector<std::string_view>& keys) const
    {
        const size_t hash = std::hash<std::string_view>()(key);
        const size_t mask = _slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const _Slot& slot = _slots[i];
            if (slot.index == 0) {
                return -1;
            }
            if (slot.hash == hash && keys[slot.index - 1] == key) {
                return static_cast<int64_t>(slot.index - 1);
            }
        }
    }

    /// The position of \p key in \p keys, or, when it is not there,
    /// keys.size() with \p inserted set: the caller then appends it.
    uint64_t FindOrInsert(std::string_view key,
                          const std::vector<std::string_view>& keys,
                          bool* inserted)
    {
        const size_t hash = std::hash<std::string_view>()(key);
        const size_t mask = _slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            _Slot& slot = _slots[i];
            if (slot.index == 0) {
                *inserted = true;
                slot = _Slot{hash, keys.size() + 1};
                if (++_count * 2 > _slots.size()) {
                    _Grow();
                }
                return keys.size();
            }
            if (slot.hash == hash && keys[slot.index - 1] == key) {
                *inserted = false;
                return slot.index - 1;
            }
        }
    }

private:
    struct _Slot
    {
        size_t hash;
        size_t index; // position + 1; 0 for an empty slot
    };

    void _Grow();

    std::vector<_Slot> _slots;
    size_t _count = 0;
};

} // namespace vela

#endif // VELA_SYNC_FLAT_INDEX_H
