//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SPEC_ENTRY_H
#define VELA_SYNC_SPEC_ENTRY_H

#include <pxr/usd/sdf/types.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace vela {

/// A spec's type and its list of fields in one machine word.
///
/// The spec table keeps one of these inline per bucket, so its size is
/// the table's size: a type beside a std::vector took 32 bytes, this takes
/// 8. The fields live in one heap block (a count, a capacity, then the
/// fields), and the type sits in the low bits of the block's address,
/// which operator new aligns to 16. A spec without fields has no block.
///
/// The field list behaves as a std::vector of \p Field does: contiguous,
/// in order, and growing moves the fields, so pointers into it last until
/// the next push_back or erase.
template <class Field>
class SpecEntry
{
public:
    using iterator = Field*;
    using const_iterator = const Field*;

    SpecEntry() = default;

    SpecEntry(const SpecEntry& other)
        : _bits(other._bits & _TypeMask)
    {
        if (const size_t count = other.size()) {
            _Block* block = _Allocate(count);
            Field* to = _Fields(block);
            try {
                for (const Field& field : other) {
                    new (to++) Field(field);
                    ++block->size;
                }
            } catch (...) {
                _Free(block);
                throw;
            }
            _SetBlock(block);
        }
    }

    SpecEntry(SpecEntry&& other) noexcept
        : _bits(std::exchange(other._bits, other._bits & _TypeMask))
    {}

    SpecEntry& operator=(const SpecEntry& other)
    {
        if (this != &other) {
            SpecEntry copy(other);
            swap(copy);
        }
        return *this;
    }

    SpecEntry& operator=(SpecEntry&& other) noexcept
    {
        if (this != &other) {
            SpecEntry moved(std::move(other));
            swap(moved);
        }
        return *this;
    }

    ~SpecEntry() { _Free(_GetBlock()); }

    void swap(SpecEntry& other) noexcept { std::swap(_bits, other._bits); }

    pxr::SdfSpecType GetType() const
    {
        return static_cast<pxr::SdfSpecType>(_bits & _TypeMask);
    }

    void SetType(pxr::SdfSpecType type)
    {
        _bits =
            (_bits & ~_TypeMask) | (static_cast<uintptr_t>(type) & _TypeMask);
    }

    size_t size() const
    {
        const _Block* block = _GetBlock();
        return block ? block->size : 0;
    }
    bool empty() const { return size() == 0; }

    iterator begin() { return _GetBlock() ? _Fields(_GetBlock()) : nullptr; }
    iterator end() { return begin() + size(); }
    const_iterator begin() const
    {
        return _GetBlock() ? _Fields(_GetBlock()) : nullptr;
    }
    const_iterator end() const { return begin() + size(); }
    Field& back() { return *(end() - 1); }

    /// Makes room for \p capacity fields in all.
    void reserve(size_t capacity)
    {
        _Block* block = _GetBlock();
        if (block && block->capacity >= capacity) {
            return;
        }
        _Block* grown = _Allocate(capacity);
        if (block) {
            Field* from = _Fields(block);
            Field* to = _Fields(grown);
            for (uint32_t i = 0; i < block->size; ++i) {
                new (to + i) Field(std::move(from[i]));
                from[i].~Field();
            }
            grown->size = block->size;
            block->size = 0;
            _Free(block);
        }
        _SetBlock(grown);
    }

    void push_back(Field&& field)
    {
        const size_t count = size();
        if (!_GetBlock() || count == _GetBlock()->capacity) {
            reserve(count < _FirstCapacity ? _FirstCapacity : count * 2);
        }
        new (end()) Field(std::move(field));
        ++_GetBlock()->size;
    }

    /// Removes [first, last), keeping the order of the rest.
    iterator erase(iterator first, iterator last)
    {
        if (first == last) {
            return first;
        }
        iterator to = std::move(last, end(), first);
        for (iterator it = to; it != end(); ++it) {
            it->~Field();
        }
        _GetBlock()->size = static_cast<uint32_t>(to - begin());
        return first;
    }

    iterator erase(iterator position) { return erase(position, position + 1); }

private:
    struct _Block
    {
        uint32_t size;
        uint32_t capacity;
    };
    static constexpr uintptr_t _TypeMask = 0xf;
    static constexpr size_t _FirstCapacity = 4;
    static_assert(pxr::SdfNumSpecTypes <= _TypeMask + 1,
                  "spec types must fit below the block's alignment");
    static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ > _TypeMask,
                  "operator new must leave the type bits free");
    static_assert(alignof(Field) <= sizeof(_Block) &&
                      sizeof(_Block) % alignof(Field) == 0,
                  "fields must start right after the block's header");

    static Field* _Fields(_Block* block)
    {
        return reinterpret_cast<Field*>(block + 1);
    }
    static const Field* _Fields(const _Block* block)
    {
        return reinterpret_cast<const Field*>(block + 1);
    }

    static _Block* _Allocate(size_t capacity)
    {
        auto* block = static_cast<_Block*>(
            ::operator new(sizeof(_Block) + capacity * sizeof(Field)));
        block->size = 0;
        block->capacity = static_cast<uint32_t>(capacity);
        return block;
    }

    static void _Free(_Block* block)
    {
        if (!block) {
            return;
        }
        Field* fields = _Fields(block);
        for (uint32_t i = 0; i < block->size; ++i) {
            fields[i].~Field();
        }
        ::operator delete(block);
    }

    _Block* _GetBlock() const
    {
        return reinterpret_cast<_Block*>(_bits & ~_TypeMask);
    }
    void _SetBlock(_Block* block)
    {
        _bits = reinterpret_cast<uintptr_t>(block) | (_bits & _TypeMask);
    }

    uintptr_t _bits = 0;
};

} // namespace vela

#endif // VELA_SYNC_SPEC_ENTRY_H
