//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_PACKED_DATA_IMPL_H
#define VELA_SYNC_PACKED_DATA_IMPL_H

// The writer and the checked reader behind PackedData. Internal to
// libvelaUsdSync: the value handler's registrations instantiate the
// overloads below, one writer and one reader per kind of encoding.

#include "sync/packedData.h"

#include <pxr/base/gf/half.h>
#include <pxr/base/gf/matrix2d.h>
#include <pxr/base/gf/matrix3d.h>
#include <pxr/base/gf/matrix4d.h>
#include <pxr/base/gf/quatd.h>
#include <pxr/base/gf/quatf.h>
#include <pxr/base/gf/quath.h>
#include <pxr/base/gf/vec2d.h>
#include <pxr/base/gf/vec2f.h>
#include <pxr/base/gf/vec2h.h>
#include <pxr/base/gf/vec2i.h>
#include <pxr/base/gf/vec3d.h>
#include <pxr/base/gf/vec3f.h>
#include <pxr/base/gf/vec3h.h>
#include <pxr/base/gf/vec3i.h>
#include <pxr/base/gf/vec4d.h>
#include <pxr/base/gf/vec4f.h>
#include <pxr/base/gf/vec4h.h>
#include <pxr/base/gf/vec4i.h>
#include <pxr/usd/sdf/assetPath.h>
#include <pxr/usd/sdf/layerOffset.h>
#include <pxr/usd/sdf/listOp.h>
#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/payload.h>
#include <pxr/usd/sdf/reference.h>
#include <pxr/usd/sdf/timeCode.h>
#include <pxr/usd/sdf/types.h>
#include <pxr/base/tf/token.h>
#include <pxr/base/vt/array.h>
#include <pxr/base/vt/dictionary.h>
#include <pxr/base/vt/value.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace vela {

/// Raised by the reader when the bytes cannot hold what they claim: a read
/// past the end, or a count larger than the remaining bytes allow. Caught
/// where unpacking starts; it never leaves the library.
class PackedDataError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Types written as their in-memory representation, and whose runs are one
/// block copy each way.
template <class T>
struct IsBitwiseReadWrite : std::false_type
{};

#define VELA_BITWISE_TYPE(T)                      \
    template <>                                   \
    struct IsBitwiseReadWrite<T> : std::true_type \
    {}

VELA_BITWISE_TYPE(bool);
VELA_BITWISE_TYPE(uint8_t);
VELA_BITWISE_TYPE(int32_t);
VELA_BITWISE_TYPE(uint32_t);
VELA_BITWISE_TYPE(int64_t);
VELA_BITWISE_TYPE(uint64_t);
VELA_BITWISE_TYPE(pxr::GfHalf);
VELA_BITWISE_TYPE(float);
VELA_BITWISE_TYPE(double);
VELA_BITWISE_TYPE(pxr::GfQuatd);
VELA_BITWISE_TYPE(pxr::GfQuatf);
VELA_BITWISE_TYPE(pxr::GfQuath);
VELA_BITWISE_TYPE(pxr::GfVec2d);
VELA_BITWISE_TYPE(pxr::GfVec2f);
VELA_BITWISE_TYPE(pxr::GfVec2h);
VELA_BITWISE_TYPE(pxr::GfVec2i);
VELA_BITWISE_TYPE(pxr::GfVec3d);
VELA_BITWISE_TYPE(pxr::GfVec3f);
VELA_BITWISE_TYPE(pxr::GfVec3h);
VELA_BITWISE_TYPE(pxr::GfVec3i);
VELA_BITWISE_TYPE(pxr::GfVec4d);
VELA_BITWISE_TYPE(pxr::GfVec4f);
VELA_BITWISE_TYPE(pxr::GfVec4h);
VELA_BITWISE_TYPE(pxr::GfVec4i);
VELA_BITWISE_TYPE(pxr::GfMatrix2d);
VELA_BITWISE_TYPE(pxr::GfMatrix3d);
VELA_BITWISE_TYPE(pxr::GfMatrix4d);
VELA_BITWISE_TYPE(pxr::SdfSpecifier);
VELA_BITWISE_TYPE(pxr::SdfPermission);
VELA_BITWISE_TYPE(pxr::SdfVariability);

#undef VELA_BITWISE_TYPE

/// The fewest bytes one encoded element of T can take. Counts are checked
/// against it before anything is allocated; 0 marks the placeholder kinds
/// that carry no bytes at all.
template <class T, class = void>
struct MinEncodedSize
{
    static constexpr size_t value = 8;
}; // length-prefixed or counted
template <class T>
struct MinEncodedSize<T, std::enable_if_t<IsBitwiseReadWrite<T>::value>>
{
    static constexpr size_t value = sizeof(T);
};
template <class T>
struct MinEncodedSize<pxr::SdfListOp<T>>
{
    static constexpr size_t value = 1;
}; // the flag byte
template <>
struct MinEncodedSize<pxr::SdfReference>
{
    static constexpr size_t value = 40;
}; // 2 strings, 2 doubles, a count
template <>
struct MinEncodedSize<pxr::SdfLayerOffset>
{
    static constexpr size_t value = 16;
};
template <>
struct MinEncodedSize<pxr::SdfValueBlock>
{
    static constexpr size_t value = 1;
};
template <>
struct MinEncodedSize<pxr::SdfVariantSelectionMap>
{
    static constexpr size_t value = 0;
};
template <>
struct MinEncodedSize<pxr::SdfTimeSampleMap>
{
    static constexpr size_t value = 0;
};
template <>
struct MinEncodedSize<pxr::SdfPayload>
{
    static constexpr size_t value = 0;
};
template <>
struct MinEncodedSize<pxr::VtValue>
{
    static constexpr size_t value = 0;
};
template <>
struct MinEncodedSize<pxr::SdfUnregisteredValue>
{
    static constexpr size_t value = 0;
};
template <>
struct MinEncodedSize<pxr::SdfTimeCode>
{
    static constexpr size_t value = 0;
};

/// Writer and reader of one packed value.
///
/// Writing appends to the bytes. Reading walks a byte range (the bytes of
/// another PackedData, or bytes this object owns) with one cursor; every
/// read is checked against the end of the range and raises PackedDataError
/// instead of reading past it.
class PackedDataImpl : public PackedData
{
public:
    /// Elements of placeholder kinds that one packed value may claim, over
    /// all of its counts together. Such elements occupy no bytes, so the
    /// remaining length cannot bound them; a budget per count would let an
    /// array of list ops claim it again for every list.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzzing builds keep the same checks with a smaller budget: inputs
    // that claim a million elements each would spend the search sorting and
    // copying placeholder lists instead of exploring the reader.
    static constexpr uint64_t MaxBytelessElements = uint64_t(1) << 12;
#else
    static constexpr uint64_t MaxBytelessElements = uint64_t(1) << 20;
#endif

    /// Bytes a writer starts with.
    static constexpr size_t InitialCapacity = 64;

    /// A writer whose bytes begin with the two-byte header.
    PackedDataImpl(uint8_t code, bool array);

    /// A reader over \p bytes, which must outlive it. The header fields are
    /// taken from the first two bytes and the cursor set after them.
    static PackedDataImpl ReaderOver(const std::vector<uint8_t>& bytes);

    /// A reader that owns \p bytes.
    static PackedDataImpl ReaderOwning(std::vector<uint8_t> bytes);

    PackedDataImpl(PackedDataImpl&& other) noexcept;
    PackedDataImpl(const PackedDataImpl&) = delete;
    PackedDataImpl& operator=(const PackedDataImpl&) = delete;

    /// The packed value; the writer's bytes move into it.
    PackedData Release() &&;

    // --- writing -----------------------------------------------------------

    void WriteRaw(const void* src, size_t n)
    {
        const uint8_t* p = static_cast<const uint8_t*>(src);
        bytes.insert(bytes.end(), p, p + n);
    }

    void WriteCount(uint64_t n)
    {
        WriteRaw(&n, sizeof(n));
    }

    template <class T>
    std::enable_if_t<IsBitwiseReadWrite<T>::value> Write(const T& value)
    {
        WriteRaw(&value, sizeof(T));
    }

    void Write(const bool& value)
    {
        const uint8_t b = value ? 1 : 0;
        WriteRaw(&b, 1);
    }

    void Write(const std::string& value);
    void Write(const pxr::TfToken& value);
    void Write(const pxr::SdfPath& value);
    void Write(const pxr::SdfAssetPath& value);
    void Write(const pxr::SdfLayerOffset& value);
    void Write(const pxr::SdfReference& value);
    void Write(const pxr::VtDictionary& value);
    void Write(const pxr::VtValue& value);
    void Write(const pxr::SdfVariantSelectionMap& value);
    void Write(const pxr::SdfTimeSampleMap& value);
    void Write(const pxr::SdfPayload& value);
    void Write(const pxr::SdfValueBlock& value);
    void Write(const pxr::SdfUnregisteredValue& value);
    void Write(const pxr::SdfTimeCode& value);

    template <class T>
    void Write(const std::vector<T>& values)
    {
        WriteRun(values.data(), values.size());
    }

    template <class T>
    void Write(const pxr::SdfListOp<T>& listOp);

    /// Count, then the elements: one block for bitwise types.
    template <class T>
    void WriteRun(const T* values, size_t n)
    {
        WriteCount(n);
        if constexpr (IsBitwiseReadWrite<T>::value) {
            WriteRaw(values, n * sizeof(T));
        } else {
            for (size_t i = 0; i < n; ++i) {
                Write(values[i]);
            }
        }
    }

    // --- reading -----------------------------------------------------------

    /// Bytes left after the cursor.
    size_t Remaining() const
    {
        return size_t(_end - _pos);
    }

    /// Offset of the cursor from the first byte.
    size_t Offset() const
    {
        return size_t(_pos - _begin);
    }

    void ReadRaw(void* dst, size_t n)
    {
        Require(n);
        if (n > 0) { // an empty run may have no storage at all
            std::memcpy(dst, _pos, n);
            _pos += n;
        }
    }

    uint64_t ReadCount()
    {
        uint64_t n;
        ReadRaw(&n, sizeof(n));
        return n;
    }

    /// Reads a count of elements of T and refuses one that the remaining
    /// bytes cannot hold.
    template <class T>
    size_t ReadCountOf()
    {
        const size_t at = Offset();
        const uint64_t n = ReadCount();
        constexpr size_t minSize = MinEncodedSize<T>::value;
        const bool fits =
            minSize == 0 ? n <= _bytelessLeft : n <= Remaining() / minSize;
        if (!fits) {
            ThrowCount(n, at);
        }
        if (minSize == 0) {
            _bytelessLeft -= n;
        }
        return size_t(n);
    }

    template <class T>
    std::enable_if_t<IsBitwiseReadWrite<T>::value> Read(T& value)
    {
        ReadRaw(&value, sizeof(T));
    }

    void Read(bool& value);
    void Read(pxr::SdfSpecifier& value)
    {
        ReadEnum(value, pxr::SdfNumSpecifiers);
    }
    void Read(pxr::SdfPermission& value)
    {
        ReadEnum(value, pxr::SdfNumPermissions);
    }
    void Read(pxr::SdfVariability& value)
    {
        ReadEnum(value, pxr::SdfNumVariabilities);
    }
    void Read(std::string& value);
    void Read(pxr::TfToken& value);
    void Read(pxr::SdfPath& value);
    void Read(pxr::SdfAssetPath& value);
    void Read(pxr::SdfLayerOffset& value);
    void Read(pxr::SdfReference& value);
    void Read(pxr::VtDictionary& value);
    void Read(pxr::VtValue& value);
    void Read(pxr::SdfVariantSelectionMap& value);
    void Read(pxr::SdfTimeSampleMap& value);
    void Read(pxr::SdfPayload& value);
    void Read(pxr::SdfValueBlock& value);
    void Read(pxr::SdfUnregisteredValue& value);
    void Read(pxr::SdfTimeCode& value);

    template <class T>
    void Read(std::vector<T>& values)
    {
        const size_t n = ReadCountOf<T>();
        values.resize(n);
        ReadContiguous(values.data(), n);
    }

    template <class T>
    void Read(pxr::SdfListOp<T>& listOp);

    /// Fills \p n slots that already exist: one block copy for bitwise
    /// types, element by element otherwise.
    template <class T>
    void ReadContiguous(T* dst, size_t n)
    {
        if constexpr (IsPlainBitwise<T>()) {
            ReadRaw(dst, n * sizeof(T));
        } else {
            for (size_t i = 0; i < n; ++i) {
                Read(dst[i]);
            }
        }
    }

    /// Reads a count and a run of elements into \p array.
    template <class T>
    void ReadArray(pxr::VtArray<T>& array)
    {
        const size_t n = ReadCountOf<T>();
        if constexpr (IsPlainBitwise<T>()) {
            // Copy straight into the array's fresh storage; it needs no
            // default construction first.
            Require(n * sizeof(T));
            array.resize(n, [this, n](T* first, T*) {
                std::memcpy(static_cast<void*>(first), _pos, n * sizeof(T));
            });
            _pos += n * sizeof(T);
        } else {
            array.resize(n);
            ReadContiguous(array.data(), n);
        }
    }

private:
    PackedDataImpl() = default;

    /// Bitwise types whose every bit pattern is a valid value: these are
    /// block-copied on reading. bool and the enumerations are checked one by
    /// one instead.
    template <class T>
    static constexpr bool IsPlainBitwise()
    {
        return IsBitwiseReadWrite<T>::value && !std::is_same_v<T, bool> &&
               !std::is_enum_v<T>;
    }

    void SetRange(const std::vector<uint8_t>& range);

    void Require(size_t n)
    {
        if (n > Remaining()) {
            ThrowShort(n);
        }
    }

    template <class E>
    void ReadEnum(E& value, int count)
    {
        const size_t at = Offset();
        int32_t raw;
        ReadRaw(&raw, sizeof(raw));
        if (raw < 0 || raw >= count) {
            ThrowEnum(raw, at);
        }
        value = static_cast<E>(raw);
    }

    [[noreturn]] void ThrowShort(size_t n) const;
    [[noreturn]] void ThrowCount(uint64_t n, size_t at) const;
    [[noreturn]] void ThrowEnum(int32_t raw, size_t at) const;

    const uint8_t* _begin = nullptr;
    const uint8_t* _pos = nullptr;
    const uint8_t* _end = nullptr;
    uint64_t _bytelessLeft = MaxBytelessElements;
};

// --- list ops ----------------------------------------------------------------

namespace packed_list_op {

constexpr uint8_t ExplicitFlag = 0x01;

/// One item list of a list op: its bit in the flag byte, and its place in
/// the body, which follows the order of this table, not of the bits.
struct Slot
{
    uint8_t flag;
    pxr::SdfListOpType type;
};

constexpr Slot Slots[] = {
    {0x02, pxr::SdfListOpTypeExplicit},  {0x04, pxr::SdfListOpTypeAdded},
    {0x20, pxr::SdfListOpTypePrepended}, {0x40, pxr::SdfListOpTypeAppended},
    {0x08, pxr::SdfListOpTypeDeleted},   {0x10, pxr::SdfListOpTypeOrdered},
};

} // namespace packed_list_op

template <class T>
void PackedDataImpl::Write(const pxr::SdfListOp<T>& listOp)
{
    using namespace packed_list_op;
    uint8_t flags = listOp.IsExplicit() ? ExplicitFlag : 0;
    for (const Slot& slot : Slots) {
        if (!listOp.GetItems(slot.type).empty()) {
            flags |= slot.flag;
        }
    }
    Write(flags);
    for (const Slot& slot : Slots) {
        if (flags & slot.flag) {
            Write(listOp.GetItems(slot.type));
        }
    }
}

template <class T>
void PackedDataImpl::Read(pxr::SdfListOp<T>& listOp)
{
    using namespace packed_list_op;
    pxr::SdfListOp<T> result;
    uint8_t flags;
    Read(flags);
    if (flags & ExplicitFlag) {
        result.ClearAndMakeExplicit();
    }
    for (const Slot& slot : Slots) {
        if (flags & slot.flag) {
            std::vector<T> items;
            Read(items);
            // A list op holds each item once; duplicates from a peer are
            // dropped by OpenUSD here, as for any other author.
            std::string duplicates;
            result.SetItems(items, slot.type, &duplicates);
        }
    }
    listOp = std::move(result);
}

} // namespace vela

#endif // VELA_SYNC_PACKED_DATA_IMPL_H
