//
// Copyright 2026 vela contributors
//
#include "sync/packedDataImpl.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

using namespace pxr;

namespace vela {

PackedDataImpl::PackedDataImpl(uint8_t code, bool array)
{
    typeCode = code;
    isArray = array;
    // Most values are small: one allocation holds the header, a count and
    // a short body. Larger ones grow from there by doubling.
    bytes.reserve(InitialCapacity);
    bytes.push_back(code);
    bytes.push_back(array ? 1 : 0);
}

PackedDataImpl::PackedDataImpl(PackedDataImpl&& other) noexcept
    : PackedData(std::move(other))
    // A moved vector keeps its buffer, so a cursor into owned bytes stays
    // valid as it is.
    , _begin(other._begin)
    , _pos(other._pos)
    , _end(other._end)
    , _bytelessLeft(other._bytelessLeft)
{}

void PackedDataImpl::SetRange(const std::vector<uint8_t>& range)
{
    _begin = range.data();
    _end = _begin + range.size();
    _pos = _begin;
    typeCode = range.size() > 0 ? range[0] : 0;
    isArray = range.size() > 1 ? (range[1] & 1) != 0 : false;
    _pos += std::min<size_t>(range.size(), 2);
}

PackedDataImpl PackedDataImpl::ReaderOver(const std::vector<uint8_t>& range)
{
    PackedDataImpl reader;
    reader.SetRange(range);
    return reader;
}

PackedDataImpl PackedDataImpl::ReaderOwning(std::vector<uint8_t> owned)
{
    PackedDataImpl reader;
    reader.bytes = std::move(owned);
    reader.SetRange(reader.bytes);
    return reader;
}

PackedData PackedDataImpl::Release() &&
{
    return PackedData(typeCode, isArray, std::move(bytes));
}

void PackedDataImpl::ThrowShort(size_t n) const
{
    throw PackedDataError(fmt::format("needs {} bytes at offset {}, {} left", n,
                                      Offset(), Remaining()));
}

void PackedDataImpl::ThrowCount(uint64_t n, size_t at) const
{
    throw PackedDataError(fmt::format(
        "count {} at offset {} is more than the {} bytes left can hold", n, at,
        Remaining()));
}

void PackedDataImpl::ThrowEnum(int32_t raw, size_t at) const
{
    throw PackedDataError(
        fmt::format("enumerator {} at offset {} is out of range", raw, at));
}

// --- strings and string-like values -------------------------------------------

void PackedDataImpl::Write(const std::string& value)
{
    WriteCount(value.size());
    WriteRaw(value.data(), value.size());
}

void PackedDataImpl::Write(const TfToken& value)
{
    Write(value.GetString());
}

void PackedDataImpl::Write(const SdfPath& value)
{
    Write(value.GetAsString());
}

void PackedDataImpl::Write(const SdfAssetPath& value)
{
    // Only the authored path travels; the resolved path is the receiver's.
    Write(value.GetAssetPath());
}

void PackedDataImpl::Read(bool& value)
{
    uint8_t b;
    ReadRaw(&b, 1);
    value = (b & 1) != 0;
}

void PackedDataImpl::Read(std::string& value)
{
    const size_t at = Offset();
    const uint64_t n = ReadCount();
    if (n > Remaining()) {
        ThrowCount(n, at);
    }
    value.assign(reinterpret_cast<const char*>(_pos), size_t(n));
    _pos += n;
}

void PackedDataImpl::Read(TfToken& value)
{
    std::string text;
    Read(text);
    value = TfToken(text);
}

void PackedDataImpl::Read(SdfPath& value)
{
    std::string text;
    Read(text);
    value = text.empty() ? SdfPath() : SdfPath(text);
}

void PackedDataImpl::Read(SdfAssetPath& value)
{
    std::string text;
    Read(text);
    value = SdfAssetPath(text);
}

// --- layer offsets and references -----------------------------------------------

void PackedDataImpl::Write(const SdfLayerOffset& value)
{
    Write(value.GetOffset());
    Write(value.GetScale());
}

void PackedDataImpl::Read(SdfLayerOffset& value)
{
    double offset, scale;
    Read(offset);
    Read(scale);
    value = SdfLayerOffset(offset, scale);
}

void PackedDataImpl::Write(const SdfReference& value)
{
    Write(value.GetAssetPath());
    Write(value.GetPrimPath());
    Write(value.GetLayerOffset());
    Write(value.GetCustomData());
}

void PackedDataImpl::Read(SdfReference& value)
{
    std::string assetPath;
    SdfPath primPath;
    SdfLayerOffset layerOffset;
    VtDictionary customData;
    Read(assetPath);
    Read(primPath);
    Read(layerOffset);
    Read(customData);
    value = SdfReference(assetPath, primPath, layerOffset, customData);
}

// --- dictionaries and nested values ---------------------------------------------

void PackedDataImpl::Write(const VtDictionary& value)
{
    WriteCount(value.size());
    for (const auto& entry : value) {
        Write(entry.first);
        Write(entry.second);
    }
}

void PackedDataImpl::Read(VtDictionary& value)
{
    VtDictionary result;
    const size_t n = ReadCountOf<std::string>();
    for (size_t i = 0; i < n; ++i) {
        std::string key;
        Read(key);
        VtValue entry;
        Read(entry);
        result[key] = entry;
    }
    value = std::move(result);
}

void PackedDataImpl::Write(const VtValue&)
{
    spdlog::warn("Writing nested VtValue is not supported yet");
}

void PackedDataImpl::Read(VtValue& value)
{
    spdlog::warn("Reading nested VtValue is not supported yet");
    value = VtValue();
}

// --- placeholders: kinds that travel without their data --------------------------

void PackedDataImpl::Write(const SdfVariantSelectionMap&)
{
    spdlog::warn("Writing SdfVariantSelectionMap is not supported yet");
}

void PackedDataImpl::Read(SdfVariantSelectionMap& value)
{
    spdlog::warn("Reading SdfVariantSelectionMap is not supported yet");
    value.clear();
}

void PackedDataImpl::Write(const SdfTimeSampleMap&)
{
    spdlog::warn("Writing SdfTimeSampleMap is not supported yet");
}

void PackedDataImpl::Read(SdfTimeSampleMap& value)
{
    spdlog::warn("Reading SdfTimeSampleMap is not supported yet");
    value.clear();
}

void PackedDataImpl::Write(const SdfPayload&)
{
    spdlog::warn("Writing SdfPayload is not supported yet");
}

void PackedDataImpl::Read(SdfPayload& value)
{
    spdlog::warn("Reading SdfPayload is not supported yet");
    value = SdfPayload();
}

void PackedDataImpl::Write(const SdfValueBlock&)
{
    // One byte that says nothing: a value block has no state.
    const uint8_t b = 0;
    WriteRaw(&b, 1);
}

void PackedDataImpl::Read(SdfValueBlock& value)
{
    uint8_t b;
    ReadRaw(&b, 1);
    value = SdfValueBlock();
}

void PackedDataImpl::Write(const SdfUnregisteredValue& value)
{
    Write(value.GetValue());
}

void PackedDataImpl::Read(SdfUnregisteredValue& value)
{
    spdlog::warn("Reading SdfUnregisteredValue is not supported yet");
    value = SdfUnregisteredValue();
}

void PackedDataImpl::Write(const SdfTimeCode&)
{
    spdlog::warn("Writing SdfTimeCode is not supported yet");
}

void PackedDataImpl::Read(SdfTimeCode& value)
{
    spdlog::warn("Reading SdfTimeCode is not supported yet");
    value = SdfTimeCode();
}

} // namespace vela
