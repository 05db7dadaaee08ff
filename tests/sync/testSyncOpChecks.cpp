// SyncData's operation checks are the one rule of what a store accepts:
// CheckSyncOp, ApplySyncOp on either kind of store, the store's own
// CreateNode and SetField, and the frame decoder refuse the same
// operations with the same message.
#include "sync/opFrame.h"
#include "sync/syncData.h"
#include "sync/valueHandler.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pxr;
using spdlog::level::err;
using vela::OpFrame;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOp;
using vela_test::LogCapture;

using vela_test::RawOp;

namespace {


struct Refused
{
    const char* name;
    SyncOp op;
    std::string message;
};

// One row per check and per operand it guards.
std::vector<Refused> RefusedOps()
{
    return {
        {"relative path", RawOp(SyncOp::CreateNode, "relative/Path", "", 6),
         "Invalid path 'relative/Path': not an absolute path"},
        {"empty path", RawOp(SyncOp::EraseNode, ""),
         "Invalid path '': not an absolute path"},
        {"malformed path", RawOp(SyncOp::SetField, "/A[", "comment"),
         "Invalid path '/A[': not an absolute path"},
        {"relative old path", RawOp(SyncOp::MoveNode, "/B", "A"),
         "Invalid path 'A': not an absolute path"},
        {"spec type past Sdf's", RawOp(SyncOp::CreateNode, "/B", "", 1000),
         "Invalid spec type 1000 at /B"},
        {"spec type count",
         RawOp(SyncOp::CreateNode, "/B", "", SdfNumSpecTypes),
         "Invalid spec type " + std::to_string(SdfNumSpecTypes) + " at /B"},
        {"unknown spec type",
         RawOp(SyncOp::CreateNode, "/B", "", SdfSpecTypeUnknown),
         "Cannot create spec with unknown type at /B"},
        {"set of a field without a name", RawOp(SyncOp::SetField, "/A", ""),
         "Invalid field at /A: empty field name"},
        {"erase of a field without a name", RawOp(SyncOp::EraseField, "/A", ""),
         "Invalid field at /A: empty field name"},
        {"value that does not unpack",
         RawOp(SyncOp::SetField, "/A", "comment", 0, {0xee, 0x00}),
         "Invalid value of field comment at /A: does not unpack"},
        {"operation type", RawOp(9, "/A"), "Invalid operation type 9"},
    };
}

// A store with /A, recording nothing more.
SyncDataRefPtr Store(bool forLayer)
{
    SyncDataRefPtr store = forLayer ? SyncData::NewForLayer() : SyncData::New();
    store->CreateNode(SdfPath("/A"), SdfSpecTypePrim);
    store->SetField(SdfPath("/A"), TfToken("comment"),
                    VtValue(std::string("kept")));
    vela_test::Drain(*store);
    return store;
}

} // namespace

TEST(SyncOpChecks, CheckSyncOpRefusesEachBadOperandWithItsMessage)
{
    for (const Refused& row : RefusedOps()) {
        std::string error;
        EXPECT_FALSE(SyncData::CheckSyncOp(row.op, &error)) << row.name;
        EXPECT_EQ(error, row.message) << row.name;
        EXPECT_FALSE(SyncData::CheckSyncOp(row.op, nullptr)) << row.name;
    }
}

TEST(SyncOpChecks, ApplySyncOpLogsTheChecksMessageAndChangesNothing)
{
    for (bool forLayer : {false, true}) {
        for (const Refused& row : RefusedOps()) {
            SyncDataRefPtr store = Store(forLayer);
            const auto before = vela_test::Dump(*store);
            LogCapture cap;
            store->ApplySyncOp(row.op);
            EXPECT_EQ(cap.Count(err, row.message), 1u) << row.name;
            EXPECT_EQ(vela_test::Dump(*store), before) << row.name;
            EXPECT_EQ(store->GetPendingOpCount(), 0u) << row.name;
        }
    }
}

// The store's own non-recording edits take the same checks, a relative
// path to CreateNode included.
TEST(SyncOpChecks, CreateNodeAndSetFieldRefuseAsApplySyncOpDoes)
{
    for (const Refused& row : RefusedOps()) {
        if (!SdfPath::IsValidPathString(row.op.nodePath) ||
            (row.op.opType != SyncOp::CreateNode &&
             row.op.opType != SyncOp::SetField) ||
            !row.op.fieldValue.empty()) {
            continue;
        }
        SyncDataRefPtr store = Store(false);
        const auto before = vela_test::Dump(*store);
        const SdfPath path(row.op.nodePath);
        LogCapture cap;
        if (row.op.opType == SyncOp::CreateNode) {
            store->CreateNode(path, row.op.nodeType);
        } else {
            store->SetField(path, TfToken(row.op.fieldName), VtValue(1));
        }
        EXPECT_EQ(cap.Count(err, row.message), 1u) << row.name;
        EXPECT_EQ(cap.CountLevel(err), 1u) << row.name;
        EXPECT_EQ(vela_test::Dump(*store), before) << row.name;
    }
}

// A frame holding the operation after one that would apply is refused
// whole, naming the operation, with the check's message.
TEST(SyncOpChecks, TheFrameDecoderRefusesWithTheSameMessage)
{
    for (const Refused& row : RefusedOps()) {
        const std::string body = OpFrame::Encode(
            {RawOp(SyncOp::CreateNode, "/C", "", SdfSpecTypePrim), row.op});
        const auto* data = reinterpret_cast<const uint8_t*>(body.data());
        vela::SyncOpList ops;
        std::string error;
        EXPECT_FALSE(OpFrame::Decode(data, body.size(), &ops, &error))
            << row.name;
        EXPECT_EQ(error.rfind("operation 1: " + row.message + " (at byte ", 0),
                  0u)
            << row.name << ": " << error;

        SyncDataRefPtr store = Store(false);
        const auto before = vela_test::Dump(*store);
        size_t applied = 0;
        std::string applyError;
        EXPECT_FALSE(OpFrame::Apply(data, body.size(), get_pointer(store),
                                    &applied, &applyError))
            << row.name;
        EXPECT_EQ(applyError, error) << row.name;
        EXPECT_EQ(vela_test::Dump(*store), before) << row.name;
    }
}

// What the checks accept, every path takes: zero value bytes are the empty
// value, and a path of any shape Sdf addresses absolutely passes.
TEST(SyncOpChecks, AcceptedOperandsPassEveryPath)
{
    const std::vector<uint8_t> packed =
        vela::ValueHandler::GetInstance()
            .PackVtValue(VtValue(std::string("v")))
            .bytes;
    const SyncOp ops[] = {
        RawOp(SyncOp::CreateNode, "/A{v=x}B.rel[/C].f", "",
              SdfSpecTypeAttribute),
        RawOp(SyncOp::SetField, "/A", "comment", 0, packed),
        RawOp(SyncOp::SetField, "/A", "documentation"),
        RawOp(SyncOp::MoveNode, "/B", "/A"),
        RawOp(SyncOp::EraseField, "/B", "comment"),
        RawOp(SyncOp::EraseNode, "/B"),
    };
    SyncDataRefPtr applied = Store(false);
    LogCapture cap;
    for (const SyncOp& op : ops) {
        std::string error;
        EXPECT_TRUE(SyncData::CheckSyncOp(op, &error))
            << vela_test::Describe(op) << error;
        applied->ApplySyncOp(op);
    }
    EXPECT_EQ(cap.CountLevel(err), 0u);

    const std::string body =
        OpFrame::Encode(vela::SyncOpList(std::begin(ops), std::end(ops)));
    SyncDataRefPtr framed = Store(false);
    size_t count = 0;
    std::string error;
    ASSERT_TRUE(OpFrame::Apply(reinterpret_cast<const uint8_t*>(body.data()),
                               body.size(), get_pointer(framed), &count,
                               &error))
        << error;
    // One operation alone creates a spec of any shape; a frame drops the
    // creation of a spec whose parent spec is missing (SyncOpMerger), and
    // is otherwise applied alike.
    const SdfPath deep("/A{v=x}B.rel[/C].f");
    EXPECT_TRUE(applied->HasSpec(deep));
    EXPECT_FALSE(framed->HasSpec(deep));
    applied->EraseSpec(deep);
    EXPECT_EQ(vela_test::Dump(*framed), vela_test::Dump(*applied));
}
