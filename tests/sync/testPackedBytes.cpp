// The packed wire format, byte for byte.

#include "sync/valueHandler.h"
#include "tests/logCapture.h"
#include "tests/sync/byteRows.h"
#include "tests/sync/packedBytes.h"

#include <pxr/base/gf/matrix3d.h>
#include <pxr/base/gf/matrix4d.h>
#include <pxr/base/gf/quath.h>
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

#include <gtest/gtest.h>

using namespace pxr;
using vela_test::ByteRow;
using vela_test::ByteRows;
using vela_test::Bytes;
using vela_test::ListOp;

TEST(PackedBytes, MatchTheWireFormat)
{
    vela_test::LogCapture capture;
    for (const ByteRow& row : ByteRows()) {
        const vela::PackedData packed =
            vela::ValueHandler::GetInstance().PackVtValue(row.value);
        EXPECT_EQ(packed.bytes, row.expected) << row.name;
        EXPECT_EQ(packed.typeCode, row.expected[0]) << row.name;
        EXPECT_EQ(packed.isArray, row.expected[1] == 1) << row.name;
    }
}

TEST(PackedBytes, FixedSizeBodies)
{
    auto& handler = vela::ValueHandler::GetInstance();
    const vela::PackedData m3 = handler.PackVtValue(VtValue(GfMatrix3d(1)));
    EXPECT_EQ(m3.typeCode, 0x0E);
    EXPECT_EQ(m3.size(), 2u + 72u);
    const vela::PackedData m4 = handler.PackVtValue(VtValue(GfMatrix4d(1)));
    EXPECT_EQ(m4.typeCode, 0x0F);
    EXPECT_EQ(m4.size(), 2u + 128u);
    const vela::PackedData q = handler.PackVtValue(VtValue(GfQuath(1)));
    EXPECT_EQ(q.typeCode, 0x12);
    EXPECT_EQ(q.size(), 2u + 8u);
}

TEST(PackedBytes, MatrixRowsAreDoublesInOrder)
{
    const GfMatrix3d m(1, 2, 3, 4, 5, 6, 7, 8, 9);
    Bytes expected;
    expected.U8(0x0E).U8(0);
    for (int i = 1; i <= 9; ++i) {
        expected.F64(i);
    }
    EXPECT_EQ(vela::ValueHandler::GetInstance().PackVtValue(VtValue(m)).bytes,
              std::vector<uint8_t>(expected));
}

TEST(PackedBytes, QuaternionImaginaryBeforeReal)
{
    const GfQuatf q(4.0f, 1.0f, 2.0f, 3.0f); // real, then i, j, k
    EXPECT_EQ(vela::ValueHandler::GetInstance().PackVtValue(VtValue(q)).bytes,
              std::vector<uint8_t>(
                  Bytes().U8(0x11).U8(0).F32(1).F32(2).F32(3).F32(4)));
}
