//
// Copyright 2026 vela contributors
//
#include "sync/flatIndex.h"

namespace vela {

FlatIndex::FlatIndex(size_t expected)
{
    size_t size = 16;
    while (size < expected * 2) {
        size *= 2;
    }
    _slots.assign(size, _Slot{0, 0});
}

void FlatIndex::_Grow()
{
    std::vector<_Slot> old(_slots.size() * 2, _Slot{0, 0});
    old.swap(_slots);
    const size_t mask = _slots.size() - 1;
    for (const _Slot& slot : old) {
        if (slot.index) {
            size_t i = slot.hash & mask;
            while (_slots[i].index) {
                i = (i + 1) & mask;
            }
            _slots[i] = slot;
        }
    }
}

} // namespace vela
