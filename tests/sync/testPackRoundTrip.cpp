// Every registered type, as a scalar and as an array, packs and unpacks to
// the value it started from, or to the documented default for the kinds
// that travel without their data.

#include "sync/valueHandler.h"
#include "tests/logCapture.h"
#include "tests/sync/packedBytes.h"

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
#include <pxr/base/vt/array.h>
#include <pxr/base/vt/dictionary.h>

#include <gtest/gtest.h>

#include <set>

using namespace pxr;
using vela_test::ListOp;

namespace {

struct RoundTripRow
{
    std::string name;
    uint8_t code;
    VtValue scalar; // empty: no scalar form to test
    VtValue scalarBack;
    VtValue array;
    VtValue arrayBack;
};

class Rows
{
public:
    /// A type whose values survive packing unchanged.
    template <class T>
    Rows& Same(const char* name, uint8_t code, const T& a, const T& b)
    {
        return Changed<T>(name, code, a, a, b, b);
    }

    /// A type that comes back as \p aBack and \p bBack.
    template <class T>
    Rows& Changed(const char* name, uint8_t code, const T& a, const T& aBack,
                  const T& b, const T& bBack)
    {
        rows.push_back({name, code, VtValue(a), VtValue(aBack),
                        VtValue(VtArray<T>{a, b}),
                        VtValue(VtArray<T>{aBack, bBack})});
        return *this;
    }

    std::vector<RoundTripRow> rows;
};

SdfListOp<std::string> ExplicitStrings(std::vector<std::string> items)
{
    SdfListOp<std::string> op;
    op.SetExplicitItems(items);
    return op;
}

std::vector<RoundTripRow> AllTypes()
{
    const VtDictionary custom{{"c", VtValue(1)}};
    const VtDictionary customKeys{{"c", VtValue()}};
    const SdfReference ref("a.usd", SdfPath("/A"), SdfLayerOffset(2, 3),
                           custom);
    const SdfReference refBack("a.usd", SdfPath("/A"), SdfLayerOffset(2, 3),
                               customKeys);
    const SdfReference ref2("", SdfPath("/B"));

    Rows r;
    r.Same<bool>("bool", 0x01, true, false)
        .Same<uint8_t>("uchar", 0x02, 200, 0)
        .Same<int32_t>("int", 0x03, -7, 1 << 30)
        .Same<uint32_t>("uint", 0x04, 4000000000u, 1)
        .Same<int64_t>("int64", 0x05, -(int64_t(1) << 40), 5)
        .Same<uint64_t>("uint64", 0x06, uint64_t(1) << 63, 6)
        .Same<GfHalf>("half", 0x07, GfHalf(1.5f), GfHalf(-2.0f))
        .Same<float>("float", 0x08, 2.5f, -0.0f)
        .Same<double>("double", 0x09, -3.25, 1e300)
        .Same<std::string>("string", 0x0A, "hello", std::string("\0x", 2))
        .Same<TfToken>("token", 0x0B, TfToken("tok"), TfToken())
        .Changed<SdfAssetPath>("asset", 0x0C, SdfAssetPath("a.usd", "/r/a.usd"),
                               SdfAssetPath("a.usd"), SdfAssetPath("b.usd"),
                               SdfAssetPath("b.usd"))
        .Same<GfQuatd>("quatd", 0x10, GfQuatd(1, 2, 3, 4), GfQuatd(0))
        .Same<GfQuatf>("quatf", 0x11, GfQuatf(1, 2, 3, 4), GfQuatf(0))
        .Same<GfQuath>("quath", 0x12, GfQuath(1), GfQuath(0))
        .Same<GfVec2d>("vec2d", 0x13, GfVec2d(1, 2), GfVec2d(3, 4))
        .Same<GfVec2f>("vec2f", 0x14, GfVec2f(1, 2), GfVec2f(3, 4))
        .Same<GfVec2h>("vec2h", 0x15, GfVec2h(1, 2), GfVec2h(3, 4))
        .Same<GfVec2i>("vec2i", 0x16, GfVec2i(1, 2), GfVec2i(3, 4))
        .Same<GfVec3d>("vec3d", 0x17, GfVec3d(1, 2, 3), GfVec3d(4, 5, 6))
        .Same<GfVec3f>("vec3f", 0x18, GfVec3f(1, 2, 3), GfVec3f(4, 5, 6))
        .Same<GfVec3h>("vec3h", 0x19, GfVec3h(1, 2, 3), GfVec3h(4, 5, 6))
        .Same<GfVec3i>("vec3i", 0x1A, GfVec3i(1, 2, 3), GfVec3i(4, 5, 6))
        .Same<GfVec4d>("vec4d", 0x1B, GfVec4d(1, 2, 3, 4), GfVec4d(0.5))
        .Same<GfVec4f>("vec4f", 0x1C, GfVec4f(1, 2, 3, 4), GfVec4f(0.5))
        .Same<GfVec4h>("vec4h", 0x1D, GfVec4h(1, 2, 3, 4), GfVec4h(0.5))
        .Same<GfVec4i>("vec4i", 0x1E, GfVec4i(1, 2, 3, 4), GfVec4i(7))
        .Same<GfMatrix2d>("matrix2d", 0x0D, GfMatrix2d(1, 2, 3, 4),
                          GfMatrix2d(1))
        .Same<GfMatrix3d>("matrix3d", 0x0E,
                          GfMatrix3d(1, 2, 3, 4, 5, 6, 7, 8, 9), GfMatrix3d(1))
        .Same<GfMatrix4d>("matrix4d", 0x0F, GfMatrix4d(2), GfMatrix4d(1))
        .Changed<VtDictionary>("dictionary", 0x1F, custom, customKeys,
                               VtDictionary(), VtDictionary())
        .Same<SdfTokenListOp>("tokenListOp", 0x20,
                              ListOp(SdfListOpTypePrepended,
                                     TfTokenVector{TfToken("a"), TfToken("b")}),
                              SdfTokenListOp())
        .Same<SdfStringListOp>(
            "stringListOp", 0x21, ExplicitStrings({"x", "y"}),
            ListOp(SdfListOpTypeAppended, std::vector<std::string>{"z"}))
        .Same<SdfPathListOp>(
            "pathListOp", 0x22,
            ListOp(SdfListOpTypeDeleted,
                   SdfPathVector{SdfPath("/A"), SdfPath("/B.r")}),
            ListOp(SdfListOpTypeOrdered, SdfPathVector{SdfPath("/C")}))
        .Changed<SdfReferenceListOp>(
            "referenceListOp", 0x23,
            ListOp(SdfListOpTypePrepended, SdfReferenceVector{ref, ref2}),
            ListOp(SdfListOpTypePrepended, SdfReferenceVector{refBack, ref2}),
            SdfReferenceListOp(), SdfReferenceListOp())
        .Same<SdfIntListOp>("intListOp", 0x24,
                            ListOp(SdfListOpTypeAdded, std::vector<int>{1, -1}),
                            SdfIntListOp())
        .Same<SdfInt64ListOp>("int64ListOp", 0x25,
                              ListOp(SdfListOpTypeAppended,
                                     std::vector<int64_t>{-(int64_t(1) << 50)}),
                              SdfInt64ListOp())
        .Same<SdfUIntListOp>(
            "uintListOp", 0x26,
            ListOp(SdfListOpTypeExplicit, std::vector<unsigned int>{7u, 8u}),
            SdfUIntListOp())
        .Same<SdfUInt64ListOp>("uint64ListOp", 0x27,
                               ListOp(SdfListOpTypeDeleted,
                                      std::vector<uint64_t>{uint64_t(1) << 63}),
                               SdfUInt64ListOp())
        .Same<SdfPathVector>("pathVector", 0x28,
                             SdfPathVector{SdfPath("/A"), SdfPath()},
                             SdfPathVector())
        .Same<TfTokenVector>("tokenVector", 0x29, TfTokenVector{TfToken("a")},
                             TfTokenVector())
        .Same<SdfSpecifier>("specifier", 0x2A, SdfSpecifierOver,
                            SdfSpecifierClass)
        .Same<SdfPermission>("permission", 0x2B, SdfPermissionPrivate,
                             SdfPermissionPublic)
        .Same<SdfVariability>("variability", 0x2C, SdfVariabilityUniform,
                              SdfVariabilityVarying)
        .Changed<SdfVariantSelectionMap>(
            "variantSelection", 0x2D, SdfVariantSelectionMap{{"v", "a"}},
            SdfVariantSelectionMap(), SdfVariantSelectionMap(),
            SdfVariantSelectionMap())
        .Changed<SdfTimeSampleMap>(
            "timeSamples", 0x2E, SdfTimeSampleMap{{1.0, VtValue(2)}},
            SdfTimeSampleMap(), SdfTimeSampleMap(), SdfTimeSampleMap())
        .Changed<SdfPayload>("payload", 0x2F,
                             SdfPayload("p.usd", SdfPath("/P")), SdfPayload(),
                             SdfPayload(), SdfPayload())
        .Same<std::vector<double>>("doubleVector", 0x30,
                                   std::vector<double>{0.5, -1},
                                   std::vector<double>())
        .Same<SdfLayerOffsetVector>("layerOffsetVector", 0x31,
                                    SdfLayerOffsetVector{SdfLayerOffset(10, 2)},
                                    SdfLayerOffsetVector())
        .Same<std::vector<std::string>>("stringVector", 0x32,
                                        std::vector<std::string>{"a", ""},
                                        std::vector<std::string>())
        .Same<SdfValueBlock>("valueBlock", 0x33, SdfValueBlock(),
                             SdfValueBlock())
        .Changed<SdfUnregisteredValue>(
            "unregistered", 0x35, SdfUnregisteredValue("text"),
            SdfUnregisteredValue(), SdfUnregisteredValue(),
            SdfUnregisteredValue())
        .Changed<SdfUnregisteredValueListOp>(
            "unregisteredListOp", 0x36,
            ListOp(
                SdfListOpTypePrepended,
                std::vector<SdfUnregisteredValue>{SdfUnregisteredValue("u")}),
            ListOp(SdfListOpTypePrepended,
                   std::vector<SdfUnregisteredValue>{SdfUnregisteredValue()}),
            SdfUnregisteredValueListOp(), SdfUnregisteredValueListOp())
        .Changed<SdfPayloadListOp>(
            "payloadListOp", 0x37,
            ListOp(SdfListOpTypeAppended,
                   SdfPayloadVector{SdfPayload("p.usd")}),
            ListOp(SdfListOpTypeAppended, SdfPayloadVector{SdfPayload()}),
            SdfPayloadListOp(), SdfPayloadListOp())
        .Changed<SdfTimeCode>("timeCode", 0x38, SdfTimeCode(24), SdfTimeCode(),
                              SdfTimeCode(), SdfTimeCode());

    // A VtValue cannot hold a VtValue, so nested values only come as arrays.
    r.rows.push_back({"nestedValue", 0x34, VtValue(), VtValue(),
                      VtValue(VtArray<VtValue>{VtValue(1), VtValue("s")}),
                      VtValue(VtArray<VtValue>{VtValue(), VtValue()})});
    return r.rows;
}

} // namespace

TEST(PackRoundTrip, EveryTypeAsScalarAndArray)
{
    vela_test::LogCapture capture;
    auto& handler = vela::ValueHandler::GetInstance();
    std::set<int> codes;

    for (const RoundTripRow& row : AllTypes()) {
        codes.insert(row.code);
        if (!row.scalar.IsEmpty()) {
            const vela::PackedData packed = handler.PackVtValue(row.scalar);
            ASSERT_GE(packed.size(), 2u) << row.name;
            EXPECT_EQ(packed.bytes[0], row.code) << row.name;
            EXPECT_EQ(packed.bytes[1], 0) << row.name;
            EXPECT_EQ(handler.UnpackVtValue(packed), row.scalarBack)
                << row.name;
        }
        const vela::PackedData packed = handler.PackVtValue(row.array);
        ASSERT_GE(packed.size(), 10u) << row.name << "[]";
        EXPECT_EQ(packed.bytes[0], row.code) << row.name << "[]";
        EXPECT_EQ(packed.bytes[1], 1) << row.name << "[]";
        EXPECT_EQ(handler.UnpackVtValue(packed), row.arrayBack)
            << row.name << "[]";
    }

    EXPECT_EQ(codes.size(), 56u);
    EXPECT_EQ(*codes.begin(), 0x01);
    EXPECT_EQ(*codes.rbegin(), 0x38);
    EXPECT_EQ(capture.CountLevel(spdlog::level::err), 0u);
}

TEST(PackRoundTrip, EmptyArraysOfEveryType)
{
    vela_test::LogCapture capture;
    auto& handler = vela::ValueHandler::GetInstance();
    for (const RoundTripRow& row : AllTypes()) {
        // The row's header with a count of zero.
        const vela::PackedData full = handler.PackVtValue(row.array);
        std::vector<uint8_t> bytes(full.bytes.begin(), full.bytes.begin() + 2);
        bytes.resize(10, 0);
        const VtValue back =
            handler.UnpackVtValue(vela::PackedData(row.code, true, bytes));
        EXPECT_TRUE(back.IsArrayValued()) << row.name;
        EXPECT_EQ(back.GetArraySize(), 0u) << row.name;
        EXPECT_EQ(back.GetTypeid(), row.array.GetTypeid()) << row.name;
    }
}

TEST(PackRoundTrip, PlaceholderKindsWarnOncePerElement)
{
    auto& handler = vela::ValueHandler::GetInstance();
    {
        vela_test::LogCapture capture;
        const vela::PackedData packed =
            handler.PackVtValue(VtValue(VtArray<SdfPayload>(3)));
        EXPECT_EQ(capture.Count(spdlog::level::warn,
                                "Writing SdfPayload is not supported yet"),
                  3u);
        const VtValue back = handler.UnpackVtValue(packed);
        EXPECT_EQ(capture.Count(spdlog::level::warn,
                                "Reading SdfPayload is not supported yet"),
                  3u);
        EXPECT_EQ(back, VtValue(VtArray<SdfPayload>(3)));
    }
    {
        vela_test::LogCapture capture;
        const VtDictionary dict{{"a", VtValue(1)}, {"b", VtValue("x")}};
        const VtValue back =
            handler.UnpackVtValue(handler.PackVtValue(VtValue(dict)));
        EXPECT_EQ(capture.Count(spdlog::level::warn,
                                "Writing nested VtValue is not supported yet"),
                  2u);
        EXPECT_EQ(capture.Count(spdlog::level::warn,
                                "Reading nested VtValue is not supported yet"),
                  2u);
        EXPECT_EQ(back,
                  VtValue(VtDictionary{{"a", VtValue()}, {"b", VtValue()}}));
    }
    {
        vela_test::LogCapture capture;
        handler.UnpackVtValue(handler.PackVtValue(VtValue(VtDictionary())));
        EXPECT_EQ(capture.CountLevel(spdlog::level::warn), 0u);
    }
    {
        vela_test::LogCapture capture;
        handler.UnpackVtValue(handler.PackVtValue(VtValue(SdfTimeCode(3))));
        EXPECT_EQ(capture.Count(spdlog::level::warn,
                                "Writing SdfTimeCode is not supported yet"),
                  1u);
        EXPECT_EQ(capture.Count(spdlog::level::warn,
                                "Reading SdfTimeCode is not supported yet"),
                  1u);
    }
}

TEST(PackRoundTrip, PayloadListOpKeepsItemCountsOnTheWire)
{
    vela_test::LogCapture capture;
    auto& handler = vela::ValueHandler::GetInstance();
    const SdfPayloadListOp op =
        ListOp(SdfListOpTypePrepended,
               SdfPayloadVector{SdfPayload("a.usd"), SdfPayload("b.usd")});
    const vela::PackedData packed = handler.PackVtValue(VtValue(op));
    EXPECT_EQ(capture.Count(spdlog::level::warn,
                            "Writing SdfPayload is not supported yet"),
              2u);
    const VtValue back = handler.UnpackVtValue(packed);
    EXPECT_EQ(capture.Count(spdlog::level::warn,
                            "Reading SdfPayload is not supported yet"),
              2u);
    ASSERT_TRUE(back.IsHolding<SdfPayloadListOp>());
    // OpenUSD keeps each list-op item once, so the two default payloads
    // that arrive become one.
    EXPECT_EQ(back.UncheckedGet<SdfPayloadListOp>().GetPrependedItems(),
              SdfPayloadVector{SdfPayload()});
}
