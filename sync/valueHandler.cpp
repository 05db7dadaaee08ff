//
// Copyright 2026 vela contributors
//
#include "sync/valueHandler.h"
#include "sync/packedDataImpl.h"

#include <boost/archive/iterators/binary_from_base64.hpp>
#include <boost/archive/iterators/transform_width.hpp>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <type_traits>

using namespace pxr;

namespace vela {

namespace {

template <class T>
struct IsSdfListOp : std::false_type
{};

template <class T>
struct IsSdfListOp<SdfListOp<T>> : std::true_type
{};

} // namespace

ValueHandler& ValueHandler::GetInstance()
{
    static ValueHandler instance;
    return instance;
}

ValueHandler::ValueHandler()
{
    RegisterAllTypes();
}

ValueHandler::~ValueHandler()
{
    _packFnsByInfo.clear();
    _packFns.clear();
    _unpackFns.clear();
}

// Every type shares one frame: the header, then for an array the element
// count and the elements, for a scalar the one encoding. The element
// encodings are PackedDataImpl's Write and Read overloads for T.
template <class T>
void ValueHandler::RegisterType(uint8_t code)
{
    PackFn& pack = _packFns[std::type_index(typeid(T))];
    _packFnsByInfo[&typeid(T)] = &pack;
    if constexpr (IsSdfListOp<T>::value) {
        _listOpCodes.set(code);
    }
    pack = [code](const VtValue& value) {
        const bool array = value.IsArrayValued();
        PackedDataImpl writer(code, array);
        if (array) {
            const VtArray<T>& elements = value.UncheckedGet<VtArray<T>>();
            writer.WriteRun(elements.cdata(), elements.size());
        } else {
            writer.Write(value.UncheckedGet<T>());
        }
        return std::move(writer).Release();
    };
    _unpackFns[code] = [](PackedDataImpl& reader) {
        if (reader.isArray) {
            VtArray<T> elements;
            reader.ReadArray(elements);
            return VtValue::Take(elements);
        }
        T value{};
        reader.Read(value);
        return VtValue::Take(value);
    };
}

bool ValueHandler::IsListOp(const PackedData& data) const
{
    // The header is the type code, then the flags byte whose low bit marks
    // an array; no list op packs as an array.
    return data.bytes.size() >= 2 && _listOpCodes.test(data.bytes[0]) &&
           !(data.bytes[1] & 1);
}

void ValueHandler::RegisterAllTypes()
{
    // The codes are the wire format: never renumber them. The matrices hold
    // 0x0D to 0x0F although they came after the vectors.
    RegisterType<bool>(0x01);
    RegisterType<uint8_t>(0x02);
    RegisterType<int32_t>(0x03);
    RegisterType<uint32_t>(0x04);
    RegisterType<int64_t>(0x05);
    RegisterType<uint64_t>(0x06);
    RegisterType<GfHalf>(0x07);
    RegisterType<float>(0x08);
    RegisterType<double>(0x09);
    RegisterType<std::string>(0x0A);
    RegisterType<TfToken>(0x0B);
    RegisterType<SdfAssetPath>(0x0C);
    RegisterType<GfQuatd>(0x10);
    RegisterType<GfQuatf>(0x11);
    RegisterType<GfQuath>(0x12);
    RegisterType<GfVec2d>(0x13);
    RegisterType<GfVec2f>(0x14);
    RegisterType<GfVec2h>(0x15);
    RegisterType<GfVec2i>(0x16);
    RegisterType<GfVec3d>(0x17);
    RegisterType<GfVec3f>(0x18);
    RegisterType<GfVec3h>(0x19);
    RegisterType<GfVec3i>(0x1A);
    RegisterType<GfVec4d>(0x1B);
    RegisterType<GfVec4f>(0x1C);
    RegisterType<GfVec4h>(0x1D);
    RegisterType<GfVec4i>(0x1E);
    RegisterType<GfMatrix2d>(0x0D);
    RegisterType<GfMatrix3d>(0x0E);
    RegisterType<GfMatrix4d>(0x0F);
    RegisterType<VtDictionary>(0x1F);
    RegisterType<SdfTokenListOp>(0x20);
    RegisterType<SdfStringListOp>(0x21);
    RegisterType<SdfPathListOp>(0x22);
    RegisterType<SdfReferenceListOp>(0x23);
    RegisterType<SdfIntListOp>(0x24);
    RegisterType<SdfInt64ListOp>(0x25);
    RegisterType<SdfUIntListOp>(0x26);
    RegisterType<SdfUInt64ListOp>(0x27);
    RegisterType<SdfPathVector>(0x28);
    RegisterType<TfTokenVector>(0x29);
    RegisterType<SdfSpecifier>(0x2A);
    RegisterType<SdfPermission>(0x2B);
    RegisterType<SdfVariability>(0x2C);
    RegisterType<SdfVariantSelectionMap>(0x2D);
    RegisterType<SdfTimeSampleMap>(0x2E);
    RegisterType<SdfPayload>(0x2F);
    RegisterType<std::vector<double>>(0x30);
    RegisterType<SdfLayerOffsetVector>(0x31);
    RegisterType<std::vector<std::string>>(0x32);
    RegisterType<SdfValueBlock>(0x33);
    RegisterType<VtValue>(0x34);
    RegisterType<SdfUnregisteredValue>(0x35);
    RegisterType<SdfUnregisteredValueListOp>(0x36);
    RegisterType<SdfPayloadListOp>(0x37);
    RegisterType<SdfTimeCode>(0x38);
}

PackedData ValueHandler::PackVtValue(const VtValue& value) const
{
    const std::type_info& key =
        value.IsArrayValued() ? value.GetElementTypeid() : value.GetTypeid();
    const auto fast = _packFnsByInfo.find(&key);
    if (fast != _packFnsByInfo.end()) {
        return (*fast->second)(value);
    }
    const auto it = _packFns.find(std::type_index(key));
    if (it == _packFns.end()) {
        spdlog::error("Unsupported type: {}", key.name());
        return PackedData();
    }
    return it->second(value);
}

VtValue ValueHandler::UnpackVtValue(const PackedData& data) const
{
    PackedDataImpl reader = PackedDataImpl::ReaderOver(data.bytes);
    return UnpackVtValue(reader);
}

VtValue ValueHandler::UnpackVtValue(PackedDataImpl& reader) const
{
    if (reader.typeCode == 0) {
        spdlog::error("Invalid type");
        return VtValue();
    }
    const auto it = _unpackFns.find(reader.typeCode);
    if (it == _unpackFns.end()) {
        spdlog::error("Unsupported type: {}", int(reader.typeCode));
        return VtValue();
    }
    if (reader.Offset() < 2) {
        spdlog::error("Malformed packed value: {} byte, shorter than its "
                      "2-byte header",
                      reader.Offset());
        return VtValue();
    }
    try {
        return it->second(reader);
    } catch (const PackedDataError& e) {
        spdlog::error("Malformed packed value of type {}: {}",
                      int(reader.typeCode), e.what());
        return VtValue();
    }
}

VtValue ValueHandler::UnpackVtValue(const std::string& base64) const
{
    if (base64.size() % 4 != 0) {
        spdlog::error("Malformed Base64 text: its length {} is not a multiple "
                      "of 4",
                      base64.size());
        return VtValue();
    }

    // Standard Base64 pads with one or two '=' at the very end; '=' anywhere
    // else, or more of them, is not Base64.
    const size_t firstPad = base64.find('=');
    const size_t padding =
        firstPad == std::string::npos ? 0 : base64.size() - firstPad;
    if (padding > 2 ||
        (padding > 0 &&
         base64.find_first_not_of('=', firstPad) != std::string::npos)) {
        spdlog::error("Malformed Base64 text: padding must be one or two '=' "
                      "at the end");
        return VtValue();
    }

    // Padding decodes as 'A' (six zero bits); the bytes it stands for are
    // cut off afterwards.
    std::string text(base64);
    std::replace(text.begin(), text.end(), '=', 'A');

    using namespace boost::archive::iterators;
    using Decoder =
        transform_width<binary_from_base64<std::string::const_iterator>, 8, 6>;
    std::vector<uint8_t> decoded(Decoder(text.cbegin()), Decoder(text.cend()));

    decoded.resize(decoded.size() - padding);

    PackedDataImpl reader = PackedDataImpl::ReaderOwning(std::move(decoded));
    return UnpackVtValue(reader);
}

} // namespace vela
