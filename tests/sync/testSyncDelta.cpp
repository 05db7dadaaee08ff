// The delta recorder and the operation record.
#include "sync/syncDelta.h"
#include "tests/sync/syncTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace pxr;
using vela::SyncDelta;
using vela::SyncOp;
using vela::SyncOpList;
using vela_test::Describe;
using Lines = std::vector<std::string>;

namespace {

SyncOpList Swap(SyncDelta& delta)
{
    SyncOpList ops;
    delta.SwapPendingOps(ops);
    return ops;
}

} // namespace

TEST(SyncDelta, RecordsCarryOnlyTheirOwnFields)
{
    SyncDelta delta;
    delta.CreateNode("/A", 6);
    delta.SetField("/A.f", "default", VtValue(2.5f));
    delta.MoveNode("/A", "/B");
    delta.EraseNode("/B");
    delta.EraseField("/B", "documentation");
    const SyncOpList ops = Swap(delta);
    ASSERT_EQ(ops.size(), 5u);

    struct Row
    {
        SyncOp::SyncOpType type;
        const char* nodePath;
        const char* oldNodePath;
        int32_t nodeType;
        const char* fieldName;
    };
    const Row rows[] = {
        {SyncOp::CreateNode, "/A", "", 6, ""},
        {SyncOp::SetField, "/A.f", "", 0, "default"},
        {SyncOp::MoveNode, "/B", "/A", 0, ""},
        {SyncOp::EraseNode, "/B", "", 0, ""},
        {SyncOp::EraseField, "/B", "", 0, "documentation"},
    };
    for (size_t i = 0; i < ops.size(); ++i) {
        SCOPED_TRACE(Describe(ops[i]));
        EXPECT_EQ(ops[i].opType, rows[i].type);
        EXPECT_EQ(ops[i].nodePath, rows[i].nodePath);
        EXPECT_EQ(ops[i].oldNodePath, rows[i].oldNodePath);
        EXPECT_EQ(ops[i].nodeType, rows[i].nodeType);
        EXPECT_EQ(ops[i].fieldName, rows[i].fieldName);
        if (rows[i].type != SyncOp::SetField) {
            EXPECT_EQ(ops[i].fieldValue.typeCode, 0);
            EXPECT_TRUE(ops[i].fieldValue.empty());
        }
    }
    EXPECT_EQ(vela_test::Unpack(ops[1]), VtValue(2.5f));
}

TEST(SyncDelta, KeepsEveryRecordInCallOrder)
{
    SyncDelta delta;
    EXPECT_TRUE(Swap(delta).empty());
    delta.SetField("/A", "comment", VtValue(std::string("one")));
    delta.SetField("/A", "comment", VtValue(std::string("two")));
    delta.CreateNode("/B", 6);
    delta.EraseNode("/B");
    delta.CreateNode("", 0);
    EXPECT_EQ(Describe(Swap(delta)),
              (Lines{"SetField /A comment", "SetField /A comment",
                     "CreateNode /B 6", "EraseNode /B", "CreateNode  0"}));
    EXPECT_TRUE(Swap(delta).empty());
}

TEST(SyncDelta, SwapWithNonEmptyListExchangesContents)
{
    SyncDelta delta;
    delta.EraseNode("/Pending");
    SyncOpList mine(2);
    mine[0].opType = mine[1].opType = SyncOp::EraseNode;
    mine[0].nodePath = "/Mine1";
    mine[1].nodePath = "/Mine2";
    delta.SwapPendingOps(mine);
    EXPECT_EQ(Describe(mine), Lines{"EraseNode /Pending"});
    EXPECT_EQ(Describe(Swap(delta)),
              (Lines{"EraseNode /Mine1", "EraseNode /Mine2"}));
}

TEST(SyncOp, EqualityIsAlwaysFalse)
{
    SyncOp op;
    const SyncOp copy = op;
    EXPECT_FALSE(op == op);
    EXPECT_FALSE(op == copy);
}

// Several recorders and one drainer: every record lands in exactly one
// drained list, and each recorder's records keep their order.
TEST(SyncDelta, ConcurrentRecordingAndDrainingLosesNothing)
{
    constexpr int Threads = 4;
    constexpr int Records = 20000;
    SyncDelta delta;
    std::atomic<int> running{Threads};
    SyncOpList drained;

    std::thread drainer([&] {
        while (running.load() > 0) {
            SyncOpList batch = Swap(delta);
            std::move(batch.begin(), batch.end(), std::back_inserter(drained));
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> recorders;
    for (int t = 0; t < Threads; ++t) {
        recorders.emplace_back([&, t] {
            const std::string path = "/T" + std::to_string(t);
            for (int i = 0; i < Records; ++i) {
                if (i % 2) {
                    delta.CreateNode(path, i);
                } else {
                    delta.SetField(path, std::to_string(i), VtValue(i));
                }
            }
            --running;
        });
    }
    for (auto& thread : recorders) {
        thread.join();
    }
    drainer.join();
    SyncOpList rest = Swap(delta);
    std::move(rest.begin(), rest.end(), std::back_inserter(drained));

    ASSERT_EQ(drained.size(), size_t(Threads) * Records);
    std::vector<int> next(Threads, 0);
    for (const auto& op : drained) {
        const int t = std::stoi(op.nodePath.substr(2));
        ASSERT_TRUE(t >= 0 && t < Threads) << op.nodePath;
        const int i = op.opType == SyncOp::CreateNode ? op.nodeType
                                                      : std::stoi(op.fieldName);
        ASSERT_EQ(i, next[t]) << "thread " << t << " out of order";
        ++next[t];
    }
    EXPECT_EQ(next, std::vector<int>(Threads, Records));
}
