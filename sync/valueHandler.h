//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_VALUE_HANDLER_H
#define VELA_SYNC_VALUE_HANDLER_H

#include "sync/packedData.h"

#include <pxr/base/vt/value.h>

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>

namespace vela {

class PackedDataImpl;

/// The process-wide registry that packs VtValues into PackedData and back.
///
/// 56 types are registered, each under a fixed one-byte type code that is
/// the first byte of its packed form; VtArrays of every registered type
/// pack with the element's code and the array flag set. The registry is
/// filled once, on first use, and only read afterwards, so packing and
/// unpacking may run on several threads at once.
class ValueHandler
{
public:
    using PackFn = std::function<PackedData(const pxr::VtValue&)>;
    using UnpackFn = std::function<pxr::VtValue(PackedDataImpl&)>;

    /// The one instance, created thread-safely on first call.
    static ValueHandler& GetInstance();

    ValueHandler(const ValueHandler&) = delete;
    ValueHandler& operator=(const ValueHandler&) = delete;
    ~ValueHandler();

    /// Packs \p value. A type (or array element type) outside the registry
    /// logs "Unsupported type: {}" at error level and yields the empty
    /// PackedData.
    PackedData PackVtValue(const pxr::VtValue& value) const;

    /// Unpacks \p data. Type code 0 logs "Invalid type", an unknown code
    /// logs "Unsupported type: {}" with the code in decimal; a truncated or
    /// corrupt buffer logs an error. All of them yield the empty VtValue,
    /// and no read goes past the end of the bytes.
    pxr::VtValue UnpackVtValue(const PackedData& data) const;

    /// Unpacks at the reader's position (the header already taken).
    pxr::VtValue UnpackVtValue(PackedDataImpl& reader) const;

    /// Unpacks the standard Base64 text of packed bytes. Text whose length
    /// is not a multiple of four, or whose padding is not one or two '=' at
    /// the end, logs an error and yields the empty VtValue. A character outside the
    /// Base64 alphabet raises the decoder's exception.
    pxr::VtValue UnpackVtValue(const std::string& base64) const;

    /// Whether \p data is the packed form of an SdfListOp (of any item
    /// type), read off its header alone.
    bool IsListOp(const PackedData& data) const;

private:
    ValueHandler();

    void RegisterAllTypes();

    template <class T>
    void RegisterType(uint8_t code);

    std::map<std::type_index, PackFn> _packFns;
    // The same functions by type_info address: one pointer hash instead of
    // several name comparisons. Types whose type_info another library holds
    // a copy of miss here and are found in _packFns.
    std::unordered_map<const std::type_info*, const PackFn*> _packFnsByInfo;
    std::map<uint8_t, UnpackFn> _unpackFns;
    std::bitset<256> _listOpCodes;
};

} // namespace vela

#endif // VELA_SYNC_VALUE_HANDLER_H
