// Values and the exact bytes they pack to, one row per wire-format case.
// The packing tests check them; the fuzzers start from them.
#ifndef VELA_TESTS_SYNC_BYTE_ROWS_H
#define VELA_TESTS_SYNC_BYTE_ROWS_H

#include "tests/sync/packedBytes.h"

#include <pxr/base/gf/vec3f.h>
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
#include <pxr/base/vt/value.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vela_test {

using namespace pxr;

struct ByteRow
{
    const char* name;
    VtValue value;
    std::vector<uint8_t> expected;
};

inline std::vector<ByteRow> ByteRows()
{
    SdfTokenListOp explicitTokens;
    explicitTokens.SetExplicitItems({TfToken("a"), TfToken("b")});
    SdfTokenListOp explicitEmpty;
    explicitEmpty.ClearAndMakeExplicit();
    SdfStringListOp prependDelete;
    prependDelete.SetPrependedItems({"p"});
    prependDelete.SetDeletedItems({"d"});
    SdfIntListOp addedInts;
    addedInts.SetAddedItems({1, -1});
    SdfReferenceListOp references =
        ListOp(SdfListOpTypePrepended,
               std::vector<SdfReference>{SdfReference(
                   "a.usd", SdfPath("/P"), SdfLayerOffset(1.0, 2.0))});
    SdfPayloadListOp payloads = ListOp(
        SdfListOpTypePrepended,
        std::vector<SdfPayload>{SdfPayload("x.usd"), SdfPayload("y.usd")});

    const std::string withNul("a\0b", 3);

    return {
        {"BoolTrue", VtValue(true), Bytes().U8(0x01).U8(0).U8(1)},
        {"BoolFalse", VtValue(false), Bytes().U8(0x01).U8(0).U8(0)},
        {"BoolArray", VtValue(VtArray<bool>{true, false}),
         Bytes().U8(0x01).U8(1).U64(2).U8(1).U8(0)},
        {"EmptyFloatArray", VtValue(VtArray<float>()),
         Bytes().U8(0x08).U8(1).U64(0)},
        {"IntArray", VtValue(VtArray<int>{1, 2, -1}),
         Bytes().U8(0x03).U8(1).U64(3).I32(1).I32(2).I32(-1)},
        {"Double", VtValue(1.5), Bytes().U8(0x09).U8(0).F64(1.5)},
        {"Vec3f", VtValue(GfVec3f(1, 2, 3)),
         Bytes().U8(0x18).U8(0).F32(1).F32(2).F32(3)},
        {"EmptyString", VtValue(std::string()), Bytes().U8(0x0A).U8(0).U64(0)},
        {"StringWithNul", VtValue(withNul),
         Bytes().U8(0x0A).U8(0).Str(withNul)},
        {"EmptyToken", VtValue(TfToken()), Bytes().U8(0x0B).U8(0).U64(0)},
        {"TokenArray", VtValue(VtArray<TfToken>{TfToken("ab"), TfToken()}),
         Bytes().U8(0x0B).U8(1).U64(2).Str("ab").Str("")},
        {"AssetPathDropsResolvedPath",
         VtValue(SdfAssetPath("a.usd", "/abs/a.usd")),
         Bytes().U8(0x0C).U8(0).Str("a.usd")},
        {"EmptyPathInVector", VtValue(SdfPathVector{SdfPath()}),
         Bytes().U8(0x28).U8(0).U64(1).U64(0)},
        {"PathVector", VtValue(SdfPathVector{SdfPath("/A/B.x")}),
         Bytes().U8(0x28).U8(0).U64(1).Str("/A/B.x")},
        {"TokenVector", VtValue(TfTokenVector{TfToken("t")}),
         Bytes().U8(0x29).U8(0).U64(1).Str("t")},
        {"DefaultListOp", VtValue(SdfTokenListOp()),
         Bytes().U8(0x20).U8(0).U8(0x00)},
        {"ExplicitEmptyListOp", VtValue(explicitEmpty),
         Bytes().U8(0x20).U8(0).U8(0x01)},
        {"ExplicitTokenListOp", VtValue(explicitTokens),
         Bytes().U8(0x20).U8(0).U8(0x03).U64(2).Str("a").Str("b")},
        {"PrependedBeforeDeleted", VtValue(prependDelete),
         Bytes().U8(0x21).U8(0).U8(0x28).U64(1).Str("p").U64(1).Str("d")},
        {"AddedInts", VtValue(addedInts),
         Bytes()
             .U8(0x24)
             .U8(0)
             .U8(0x04)
             .U64(2)
             .U8(0x01)
             .U8(0)
             .U8(0)
             .U8(0)
             .U8(0xFF)
             .U8(0xFF)
             .U8(0xFF)
             .U8(0xFF)},
        {"ReferenceListOp", VtValue(references),
         Bytes()
             .U8(0x23)
             .U8(0)
             .U8(0x20)
             .U64(1)
             .Str("a.usd")
             .Str("/P")
             .F64(1.0)
             .F64(2.0)
             .U64(0)},
        {"PayloadListOpKeepsCounts", VtValue(payloads),
         Bytes().U8(0x37).U8(0).U8(0x20).U64(2)},
        {"ListOpArray",
         VtValue(VtArray<SdfTokenListOp>{SdfTokenListOp(), explicitEmpty,
                                         explicitTokens}),
         Bytes()
             .U8(0x20)
             .U8(1)
             .U64(3)
             .U8(0x00)
             .U8(0x01)
             .U8(0x03)
             .U64(2)
             .Str("a")
             .Str("b")},
        {"EmptyDictionary", VtValue(VtDictionary()),
         Bytes().U8(0x1F).U8(0).U64(0)},
        {"DictionaryKeysOnly",
         VtValue(VtDictionary{{"b", VtValue("x")}, {"a", VtValue(1)}}),
         Bytes().U8(0x1F).U8(0).U64(2).Str("a").Str("b")},
        {"DictionaryArray", VtValue(VtArray<VtDictionary>{VtDictionary()}),
         Bytes().U8(0x1F).U8(1).U64(1).U64(0)},
        {"Specifier", VtValue(SdfSpecifierClass),
         Bytes().U8(0x2A).U8(0).I32(int32_t(SdfSpecifierClass))},
        {"Variability", VtValue(SdfVariabilityUniform),
         Bytes().U8(0x2C).U8(0).I32(int32_t(SdfVariabilityUniform))},
        {"TimeCodeIsFrameOnly", VtValue(SdfTimeCode(24.0)),
         Bytes().U8(0x38).U8(0)},
        {"PayloadIsFrameOnly", VtValue(SdfPayload("p.usd")),
         Bytes().U8(0x2F).U8(0)},
        {"PayloadArrayKeepsCount", VtValue(VtArray<SdfPayload>(3)),
         Bytes().U8(0x2F).U8(1).U64(3)},
        {"ValueBlock", VtValue(SdfValueBlock()), Bytes().U8(0x33).U8(0).U8(0)},
        {"EmptyDoubleVector", VtValue(std::vector<double>()),
         Bytes().U8(0x30).U8(0).U64(0)},
        {"DoubleVector", VtValue(std::vector<double>{0.25}),
         Bytes().U8(0x30).U8(0).U64(1).F64(0.25)},
        {"LayerOffsetVector",
         VtValue(SdfLayerOffsetVector{SdfLayerOffset(10.0, 2.0)}),
         Bytes().U8(0x31).U8(0).U64(1).F64(10.0).F64(2.0)},
        {"StringVector", VtValue(std::vector<std::string>{"", "z"}),
         Bytes().U8(0x32).U8(0).U64(2).Str("").Str("z")},
    };
}

} // namespace vela_test

#endif // VELA_TESTS_SYNC_BYTE_ROWS_H
