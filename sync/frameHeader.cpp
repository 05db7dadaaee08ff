//
// Copyright 2026 vela contributors
//
#include "sync/frameHeader.h"
#include "sync/crc32.h"
#include "sync/opFrameEncoding.h"

namespace vela {

namespace {

constexpr uint8_t _Version = 2;
constexpr size_t _CheckSize = 4;
// The body of a leave frame: four empty counts and an empty table of
// bases.
constexpr uint8_t _LeaveBody[] = {0, 0, 0, 0, 0};

bool _Ascii(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (data[i] & 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace

void FrameHeader::Write(uint8_t kind, uint8_t flags, std::string_view origin,
                        uint64_t seq, std::string_view base,
                        std::string_view extra, std::string_view body,
                        std::string* out)
{
    const size_t start = out->size();
    // Three bytes, then two lengths and the number, varints of at most ten
    // bytes each.
    out->reserve(start + 3 + 30 + origin.size() + base.size() + extra.size() +
                 body.size() + _CheckSize);
    out->push_back(static_cast<char>(_Version));
    out->push_back(static_cast<char>(kind));
    out->push_back(static_cast<char>(flags));
    OpFramePutBytes(out, origin);
    OpFramePutVarint(out, seq);
    OpFramePutBytes(out, base);
    out->append(extra);
    out->append(body);
    const uint32_t check =
        Crc32(reinterpret_cast<const uint8_t*>(out->data() + start),
              out->size() - start);
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<char>((check >> (8 * i)) & 0xff));
    }
}

bool FrameHeader::ReadCommon(const uint8_t* data, size_t size,
                             FrameHeader* header)
{
    // version kind flags originLength: the shortest header is eight
    // bytes with an empty origin, a one-byte number and an empty base.
    if (size < 8 + _CheckSize || data[0] != _Version) {
        return false;
    }
    const size_t end = size - _CheckSize;
    const uint32_t check = static_cast<uint32_t>(data[end]) |
                           static_cast<uint32_t>(data[end + 1]) << 8 |
                           static_cast<uint32_t>(data[end + 2]) << 16 |
                           static_cast<uint32_t>(data[end + 3]) << 24;
    // Nothing of the frame is believed before its check passes.
    if (Crc32(data, end) != check) {
        return false;
    }
    const uint8_t kind = data[1];
    const uint8_t flags = data[2];
    const uint8_t originLength = data[3];
    if ((kind != KindOps && kind != KindLeave) || flags ||
        originLength >= 0x80) {
        return false;
    }
    size_t at = 4 + originLength;
    // The number's first byte and the base's length byte follow.
    if (at + 2 > end) {
        return false;
    }
    const size_t originAt = 4;
    uint64_t seq = 0;
    for (int i = 0;; ++i) {
        if (i == 4 || at >= end) {
            return false;
        }
        const uint8_t byte = data[at++];
        seq |= static_cast<uint64_t>(byte & 0x7f) << (7 * i);
        if (!(byte & 0x80)) {
            break;
        }
    }
    if (at >= end) {
        return false;
    }
    const uint8_t baseLength = data[at++];
    if (baseLength >= 0x80 || baseLength > end - at) {
        return false;
    }
    const size_t baseAt = at;
    at += baseLength;
    if (!_Ascii(data + originAt, originLength) ||
        !_Ascii(data + baseAt, baseLength)) {
        return false;
    }
    if (kind == KindLeave &&
        (end - at != sizeof(_LeaveBody) ||
         std::string_view(reinterpret_cast<const char*>(data + at),
                          sizeof(_LeaveBody)) !=
             std::string_view(reinterpret_cast<const char*>(_LeaveBody),
                              sizeof(_LeaveBody)))) {
        return false;
    }
    // A body starts with its operation count, a varint within its first
    // ten bytes.
    bool counted = false;
    for (size_t i = at; i < end && i < at + 10; ++i) {
        if (!(data[i] & 0x80)) {
            counted = true;
            break;
        }
    }
    if (!counted) {
        return false;
    }
    header->kind = kind;
    header->origin = std::string_view(
        reinterpret_cast<const char*>(data + originAt), originLength);
    header->seq = seq;
    header->base = std::string_view(
        reinterpret_cast<const char*>(data + baseAt), baseLength);
    header->bodyBegin = at;
    header->bodyEnd = end;
    return true;
}

} // namespace vela
