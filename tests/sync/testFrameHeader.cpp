// Frame headers: what FrameHeader::Write lays out, the common reader takes
// back field for field, and nothing else; the check covers every byte and
// is zlib's CRC-32.
#include "sync/crc32.h"
#include "sync/frameHeader.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>

using vela::FrameHeader;

namespace {

// An empty body: four empty counts and an empty table of bases.
const std::string_view EmptyBody("\0\0\0\0\0", 5);

std::string Written(uint8_t kind, std::string_view origin, uint64_t seq,
                    std::string_view base, std::string_view body,
                    uint8_t flags = 0, std::string_view extra = {})
{
    std::string frame;
    FrameHeader::Write(kind, flags, origin, seq, base, extra, body, &frame);
    return frame;
}

bool Read(const std::string& frame, FrameHeader* header)
{
    return FrameHeader::ReadCommon(
        reinterpret_cast<const uint8_t*>(frame.data()), frame.size(), header);
}

} // namespace

TEST(FrameHeader, WhatIsWrittenInTheCommonFormReadsBack)
{
    const std::string body = std::string("\x01", 1) + std::string(40, 'b');
    for (const uint8_t kind : {FrameHeader::KindOps, FrameHeader::KindLeave}) {
        for (const uint64_t seq : {0ull, 127ull, 128ull, (1ull << 28) - 1}) {
            for (const std::string_view origin : {"", "P3-abcdef12"}) {
                const std::string_view payload =
                    kind == FrameHeader::KindLeave ? EmptyBody : body;
                const std::string frame =
                    Written(kind, origin, seq, "12-0", payload);
                FrameHeader header;
                ASSERT_TRUE(Read(frame, &header)) << seq;
                EXPECT_EQ(header.kind, kind);
                EXPECT_EQ(header.origin, origin);
                EXPECT_EQ(header.seq, seq);
                EXPECT_EQ(header.base, "12-0");
                EXPECT_EQ(frame.substr(header.bodyBegin,
                                       header.bodyEnd - header.bodyBegin),
                          payload);
            }
        }
    }
}

TEST(FrameHeader, OnlyTheCommonFormIsReadHere)
{
    FrameHeader header;
    // A snapshot, flags (a compressed body), a number past four bytes,
    // names of 128 bytes or more: the general reader's.
    EXPECT_FALSE(Read(Written(FrameHeader::KindSnapshot, "p", 1, "", EmptyBody),
                      &header));
    EXPECT_FALSE(Read(Written(FrameHeader::KindOps, "p", 1, "", EmptyBody, 1,
                              std::string_view("\x05", 1)),
                      &header));
    EXPECT_FALSE(
        Read(Written(FrameHeader::KindOps, "p", 1ull << 28, "", EmptyBody),
             &header));
    EXPECT_FALSE(Read(
        Written(FrameHeader::KindOps, std::string(128, 'o'), 1, "", EmptyBody),
        &header));
    EXPECT_FALSE(Read(
        Written(FrameHeader::KindOps, "p", 1, std::string(200, 'b'), EmptyBody),
        &header));
    // A leave frame carries nothing.
    EXPECT_FALSE(Read(Written(FrameHeader::KindLeave, "p", 1, "",
                              std::string("\x01", 1) + "xyz"),
                      &header));
}

TEST(FrameHeader, TheCheckCoversEveryByte)
{
    const std::string frame =
        Written(FrameHeader::KindOps, "peer", 300, "7-1", EmptyBody);
    FrameHeader header;
    ASSERT_TRUE(Read(frame, &header));
    for (size_t i = 0; i < frame.size(); ++i) {
        for (const uint8_t bit : {0x01, 0x80}) {
            std::string forged = frame;
            forged[i] = static_cast<char>(forged[i] ^ bit);
            EXPECT_FALSE(Read(forged, &header)) << "byte " << i;
        }
        EXPECT_FALSE(Read(frame.substr(0, i), &header)) << "cut at " << i;
    }
}

TEST(FrameHeader, WriteAppendsToWhatIsThere)
{
    std::string out = "head";
    FrameHeader::Write(FrameHeader::KindOps, 0, "p", 1, "", {}, EmptyBody,
                       &out);
    const std::string alone =
        Written(FrameHeader::KindOps, "p", 1, "", EmptyBody);
    EXPECT_EQ(out, "head" + alone);
}

TEST(FrameHeader, TheCheckIsZlibsCrc32)
{
    // Every length up to a few hundred bytes, at every alignment, and in
    // pieces: the same as zlib's (which Python's reader uses).
    std::string bytes(600, '\0');
    uint32_t seed = 12345;
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t size = 0; size + offset <= 300; ++size) {
            ASSERT_EQ(vela::Crc32(data + offset, size),
                      crc32_z(0, data + offset, size))
                << offset << " " << size;
        }
    }
    const uint32_t first = vela::Crc32(data, 123);
    EXPECT_EQ(vela::Crc32(data + 123, 477, first), crc32_z(0, data, 600));
}
