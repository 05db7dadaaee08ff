// Bad packed input: every case yields the empty value and an error line,
// and nothing is read outside the buffer.

#include "sync/packedDataImpl.h"
#include "sync/valueHandler.h"
#include "tests/logCapture.h"
#include "tests/sync/packedBytes.h"

#include <pxr/base/gf/range3d.h>
#include <pxr/base/gf/vec3f.h>
#include <pxr/usd/sdf/listOp.h>
#include <pxr/usd/sdf/payload.h>
#include <pxr/usd/sdf/reference.h>
#include <pxr/usd/sdf/types.h>
#include <pxr/base/vt/array.h>
#include <pxr/base/vt/dictionary.h>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace pxr;
using vela_test::Bytes;

namespace {

vela::PackedData Packed(const std::vector<uint8_t>& bytes)
{
    return vela::PackedData(bytes.empty() ? 0 : bytes[0],
                            bytes.size() > 1 && (bytes[1] & 1), bytes);
}

/// Unpacks \p bytes from a buffer of exactly their size, so that any read
/// past the end lands outside the allocation (and shows under sanitizers).
VtValue UnpackExact(const std::vector<uint8_t>& bytes)
{
    return vela::ValueHandler::GetInstance().UnpackVtValue(Packed(bytes));
}

std::vector<VtValue> Representatives()
{
    SdfReferenceListOp refs;
    refs.SetPrependedItems({SdfReference("a.usd", SdfPath("/A"))});
    SdfTokenListOp tokens;
    tokens.SetExplicitItems({TfToken("x"), TfToken("yz")});
    return {
        VtValue(VtArray<GfVec3f>{GfVec3f(1, 2, 3), GfVec3f(4, 5, 6)}),
        VtValue(std::string("hello")),
        VtValue(VtArray<TfToken>{TfToken("a"), TfToken("bc")}),
        VtValue(tokens),
        VtValue(refs),
        VtValue(VtDictionary{{"k", VtValue(1)}}),
        VtValue(SdfPathVector{SdfPath("/A/B")}),
        VtValue(SdfSpecifierOver),
        VtValue(2.0),
    };
}

} // namespace

TEST(PackMalformed, EveryTruncationYieldsEmptyValueAndError)
{
    auto& handler = vela::ValueHandler::GetInstance();
    for (const VtValue& value : Representatives()) {
        const vela::PackedData whole = handler.PackVtValue(value);
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            vela_test::LogCapture capture;
            const std::vector<uint8_t> head(whole.begin(), whole.begin() + cut);
            EXPECT_TRUE(UnpackExact(head).IsEmpty())
                << value.GetTypeName() << " cut at " << cut;
            EXPECT_EQ(capture.CountLevel(spdlog::level::err), 1u)
                << value.GetTypeName() << " cut at " << cut;
        }
    }
}

TEST(PackMalformed, CountsBeyondTheBufferAreRefusedBeforeAllocating)
{
    const uint64_t huge = uint64_t(1) << 62;
    const std::vector<std::vector<uint8_t>> cases = {
        Bytes().U8(0x18).U8(1).U64(huge), // vec3f[]
        Bytes().U8(0x18).U8(1).U64(3).F32(1).F32(2).F32(
            3), // 3 claimed, 1 there
        Bytes().U8(0x0A).U8(0).U64(huge).U8('a'), // string length
        Bytes().U8(0x0A).U8(0).U64(~uint64_t(0)), // length wraps
        Bytes().U8(0x0A).U8(1).U64(huge), // string[]
        Bytes().U8(0x1F).U8(0).U64(huge), // dictionary
        Bytes().U8(0x20).U8(0).U8(0x02).U64(huge), // token list op
        Bytes().U8(0x24).U8(0).U8(0x02).U64(huge), // int list op
        Bytes().U8(0x23).U8(0).U8(0x02).U64(huge), // reference list op
        Bytes().U8(0x30).U8(0).U64(huge), // double vector
        Bytes().U8(0x2F).U8(1).U64(huge), // payload[], no bytes each
        Bytes().U8(0x37).U8(0).U8(0x20).U64(huge), // payload list op
        Bytes().U8(0x34).U8(1).U64(huge), // nested value[]
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        vela_test::LogCapture capture;
        EXPECT_TRUE(UnpackExact(cases[i]).IsEmpty()) << "case " << i;
        EXPECT_EQ(capture.CountLevel(spdlog::level::err), 1u) << "case " << i;
    }
}

// Placeholder items take no bytes, so nothing in the buffer bounds them: a
// few bytes could claim a million payloads in each list of each list op of
// an array. They share one budget per value instead.
TEST(PackMalformed, BytelessElementsShareOneBudgetPerValue)
{
    const uint64_t half = vela::PackedDataImpl::MaxBytelessElements / 2 + 1;
    const std::vector<std::vector<uint8_t>> cases = {
        // Two lists of one payload list op.
        Bytes().U8(0x37).U8(0).U8(0x60).U64(half).U64(half),
        // One list in each of two list ops of an array.
        Bytes().U8(0x37).U8(1).U64(2).U8(0x20).U64(half).U8(0x20).U64(half),
        // Added and deleted items of two unregistered-value list ops.
        Bytes().U8(0x36).U8(1).U64(2).U8(0x04).U64(half).U8(0x08).U64(half),
    };
    for (const auto& bytes : cases) {
        vela_test::LogCapture capture(spdlog::level::err);
        EXPECT_TRUE(UnpackExact(bytes).IsEmpty());
        EXPECT_EQ(capture.CountLevel(spdlog::level::err), 1u);
    }
    // Within the budget the same shapes are read.
    vela_test::LogCapture capture(spdlog::level::err);
    const VtValue small = UnpackExact(
        Bytes().U8(0x37).U8(1).U64(2).U8(0x20).U64(3).U8(0x40).U64(4));
    ASSERT_TRUE(small.IsHolding<VtArray<SdfPayloadListOp>>());
    const auto& ops = small.UncheckedGet<VtArray<SdfPayloadListOp>>();
    ASSERT_EQ(ops.size(), 2u);
    // The default payloads read are all equal, so each list keeps one.
    EXPECT_EQ(ops[0].GetPrependedItems().size(), 1u);
    EXPECT_EQ(ops[1].GetAppendedItems().size(), 1u);
    EXPECT_EQ(capture.CountLevel(spdlog::level::err), 0u);
}

TEST(PackMalformed, EnumeratorsOutOfRangeAreRefused)
{
    for (uint8_t code : {0x2A, 0x2B, 0x2C}) {
        for (int32_t raw : {-1, 99}) {
            vela_test::LogCapture capture;
            EXPECT_TRUE(UnpackExact(Bytes().U8(code).U8(0).I32(raw)).IsEmpty());
            EXPECT_EQ(capture.CountLevel(spdlog::level::err), 1u);
        }
    }
}

TEST(PackMalformed, BoolBytesTakeBitZero)
{
    EXPECT_EQ(UnpackExact(Bytes().U8(0x01).U8(0).U8(3)), VtValue(true));
    EXPECT_EQ(UnpackExact(Bytes().U8(0x01).U8(0).U8(2)), VtValue(false));
    EXPECT_EQ(UnpackExact(Bytes().U8(0x01).U8(1).U64(2).U8(0xFF).U8(0x02)),
              VtValue(VtArray<bool>{true, false}));
}

TEST(PackMalformed, UnknownAndMissingTypes)
{
    auto& handler = vela::ValueHandler::GetInstance();
    {
        vela_test::LogCapture capture;
        const vela::PackedData packed =
            handler.PackVtValue(VtValue(GfRange3d()));
        EXPECT_EQ(packed.typeCode, 0);
        EXPECT_FALSE(packed.isArray);
        EXPECT_TRUE(packed.empty());
        EXPECT_EQ(capture.Count(spdlog::level::err,
                                std::string("Unsupported type: ") +
                                    typeid(GfRange3d).name()),
                  1u);

        EXPECT_TRUE(handler.UnpackVtValue(packed).IsEmpty());
        EXPECT_EQ(capture.Count(spdlog::level::err, "Invalid type"), 1u);
    }
    {
        vela_test::LogCapture capture;
        EXPECT_TRUE(UnpackExact(Bytes().U8(0x39).U8(0).U8(1)).IsEmpty());
        EXPECT_EQ(capture.Count(spdlog::level::err, "Unsupported type: 57"),
                  1u);
        EXPECT_TRUE(UnpackExact(Bytes().U8(0xFF).U8(0)).IsEmpty());
        EXPECT_EQ(capture.Count(spdlog::level::err, "Unsupported type: 255"),
                  1u);
    }
    {
        vela_test::LogCapture capture;
        EXPECT_TRUE(UnpackExact(Bytes().U8(0x00).U8(0).U8(1)).IsEmpty());
        EXPECT_EQ(capture.Count(spdlog::level::err, "Invalid type"), 1u);
    }
}

TEST(PackBase64, DecodesToTheSameValueAsTheBytes)
{
    auto& handler = vela::ValueHandler::GetInstance();
    vela_test::LogCapture capture;
    for (const VtValue& value : Representatives()) {
        const vela::PackedData packed = handler.PackVtValue(value);
        const std::string text = vela_test::Base64(packed.bytes);
        EXPECT_EQ(handler.UnpackVtValue(text), handler.UnpackVtValue(packed))
            << value.GetTypeName() << " " << text;
    }
    EXPECT_EQ(capture.CountLevel(spdlog::level::err), 0u);
}

TEST(PackBase64, PaddingCutsDecodedBytes)
{
    auto& handler = vela::ValueHandler::GetInstance();
    // 01 00 01 is bool true: "AQAB". One '=' drops the last byte, which
    // leaves a bool with no body; two drop the flag byte as well.
    EXPECT_EQ(handler.UnpackVtValue(std::string("AQAB")), VtValue(true));
    {
        vela_test::LogCapture capture;
        EXPECT_TRUE(handler.UnpackVtValue(std::string("AQA=")).IsEmpty());
        EXPECT_EQ(capture.CountLevel(spdlog::level::err), 1u);
    }
    // 09 00 + double 1.5 is 10 bytes: 16 characters, two of them padding.
    const std::vector<uint8_t> dbl = Bytes().U8(0x09).U8(0).F64(1.5);
    const std::string text = vela_test::Base64(dbl);
    ASSERT_EQ(text.substr(text.size() - 2), "==");
    EXPECT_EQ(handler.UnpackVtValue(text), VtValue(1.5));
}

TEST(PackBase64, MalformedTextIsRefused)
{
    auto& handler = vela::ValueHandler::GetInstance();
    // Padding in the middle, or three '=' at the end, once decoded into
    // shortened but plausible bytes.
    for (const char* text :
         {"AQA", "AQABA", "====", "A===", "AQ=B", "AQ==AQAB", "AQABA==="}) {
        vela_test::LogCapture capture;
        EXPECT_TRUE(handler.UnpackVtValue(std::string(text)).IsEmpty()) << text;
        EXPECT_EQ(capture.CountLevel(spdlog::level::err), 1u) << text;
    }
    {
        vela_test::LogCapture capture;
        EXPECT_TRUE(handler.UnpackVtValue(std::string()).IsEmpty());
        EXPECT_EQ(capture.Count(spdlog::level::err, "Invalid type"), 1u);
    }
    try {
        handler.UnpackVtValue(std::string("AQ*B"));
        FAIL() << "a character outside the alphabet must raise";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(),
                     "attempt to decode a value not in base64 char set");
    }
}

TEST(PackMalformed, CorruptedBytesNeverReadOutOfBounds)
{
    // Flip bytes of real packed values, deterministically. Whatever comes
    // out, unpacking must stay inside the buffer; a sanitizer build turns
    // any stray read into a failure here.
    auto& handler = vela::ValueHandler::GetInstance();
    vela_test::LogCapture capture(spdlog::level::off);
    uint32_t state = 12345;
    auto next = [&state]() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (const VtValue& value : Representatives()) {
        const vela::PackedData whole = handler.PackVtValue(value);
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> bytes = whole.bytes;
            const int flips = 1 + next() % 3;
            for (int f = 0; f < flips; ++f) {
                // Keep the type code most of the time, so bodies get read.
                const size_t at = 1 + next() % (bytes.size() - 1);
                bytes[at] = uint8_t(next());
            }
            UnpackExact(bytes);
        }
    }
}
