// Coalescing, the one rule both its callers use: CoalesceSyncOps (the
// Python module's CoalesceOps) on operations, and the frame encoder on its
// table indices. Both must keep exactly the operations a plain reading of
// the rule keeps.
#include "sync/opFrame.h"
#include "sync/syncOp.h"
#include "sync/valueHandler.h"
#include "tests/sync/syncTestHelpers.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using vela::SyncOp;
using vela::SyncOpList;
using vela_test::Describe;
using Lines = std::vector<std::string>;

namespace {

SyncOp Op(SyncOp::SyncOpType type, const std::string& path,
          const std::string& second = "", int value = 0)
{
    SyncOp op;
    op.opType = type;
    op.nodePath = path;
    if (type == SyncOp::MoveNode) {
        op.oldNodePath = second;
    } else if (type == SyncOp::CreateNode) {
        op.nodeType = 6;
    } else {
        op.fieldName = second;
    }
    if (type == SyncOp::SetField) {
        op.fieldValue =
            vela::ValueHandler::GetInstance().PackVtValue(pxr::VtValue(value));
    }
    return op;
}

// The rule as the module once wrote it, on texts: the reference both
// callers are held to.
std::vector<char> ReferenceKeep(const SyncOpList& ops)
{
    std::unordered_map<std::string, std::unordered_set<std::string>>
        overwritten;
    std::vector<char> keep(ops.size(), 1);
    for (size_t i = ops.size(); i-- > 0;) {
        const SyncOp& op = ops[i];
        switch (op.opType) {
        case SyncOp::SetField:
        case SyncOp::EraseField:
            if (!overwritten[op.nodePath].insert(op.fieldName).second) {
                keep[i] = 0;
            }
            break;
        case SyncOp::MoveNode:
            overwritten.erase(op.oldNodePath);
            overwritten.erase(op.nodePath);
            break;
        default:
            overwritten.erase(op.nodePath);
            break;
        }
    }
    return keep;
}

SyncOpList Kept(const SyncOpList& ops, const std::vector<char>& keep)
{
    SyncOpList kept;
    for (size_t i = 0; i < ops.size(); ++i) {
        if (keep[i]) {
            kept.push_back(ops[i]);
        }
    }
    return kept;
}

// Every member compared: operations never compare equal themselves.
void ExpectSameOps(const SyncOpList& actual, const SyncOpList& expected,
                   const std::string& what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < actual.size(); ++i) {
        const SyncOp& a = actual[i];
        const SyncOp& e = expected[i];
        EXPECT_TRUE(a.opType == e.opType && a.nodePath == e.nodePath &&
                    a.oldNodePath == e.oldNodePath &&
                    a.nodeType == e.nodeType && a.fieldName == e.fieldName &&
                    a.fieldValue.bytes == e.fieldValue.bytes)
            << what << ": operation " << i << " is " << Describe(a)
            << ", expected " << Describe(e);
    }
}

// What the encoder kept, read back from its frame.
SyncOpList EncodedWithCoalescing(const SyncOpList& ops, size_t first = 0)
{
    const std::string body = vela::OpFrame::Encode(ops, true, first);
    SyncOpList decoded;
    std::string error;
    EXPECT_TRUE(
        vela::OpFrame::Decode(reinterpret_cast<const uint8_t*>(body.data()),
                              body.size(), &decoded, &error))
        << error;
    return decoded;
}

// Operations over a few absolute paths, so that every decoder check passes,
// with \p fieldCount field names (more than 64 takes the rule's other
// bookkeeping).
SyncOpList RandomOps(std::mt19937& rng, size_t count, int fieldCount)
{
    static const char* const paths[] = {"/",    "/A",   "/B", "/A/B",
                                        "/A.x", "/B.y", "/C"};
    std::uniform_int_distribution<int> path(0, 6), field(0, fieldCount - 1),
        kind(0, 9), value(0, 3);
    SyncOpList ops;
    for (size_t i = 0; i < count; ++i) {
        const std::string at = paths[path(rng)];
        const std::string name = "f" + std::to_string(field(rng));
        switch (kind(rng)) {
        case 0:
            ops.push_back(Op(SyncOp::CreateNode, at));
            break;
        case 1:
            ops.push_back(Op(SyncOp::MoveNode, at, paths[path(rng)]));
            break;
        case 2:
            ops.push_back(Op(SyncOp::EraseNode, at));
            break;
        case 3:
        case 4:
            ops.push_back(Op(SyncOp::EraseField, at, name));
            break;
        default:
            ops.push_back(Op(SyncOp::SetField, at, name, value(rng)));
            break;
        }
    }
    return ops;
}

} // namespace

TEST(Coalescing, KeepsTheLastEditOfAFieldUnlessTheNodeChangesBetween)
{
    struct Row
    {
        const char* name;
        SyncOpList ops;
        Lines kept;
    };
    const Row rows[] = {
        {"a later set overwrites",
         {Op(SyncOp::SetField, "/A", "x", 1),
          Op(SyncOp::SetField, "/A", "y", 2),
          Op(SyncOp::SetField, "/A", "x", 3)},
         {"SetField /A y", "SetField /A x"}},
        {"an erase overwrites, and is overwritten",
         {Op(SyncOp::SetField, "/A", "x", 1), Op(SyncOp::EraseField, "/A", "x"),
          Op(SyncOp::SetField, "/B", "x", 1), Op(SyncOp::EraseField, "/B", "x"),
          Op(SyncOp::SetField, "/B", "x", 2)},
         {"EraseField /A x", "SetField /B x"}},
        {"a move carries the fields between",
         {Op(SyncOp::SetField, "/A", "x", 1), Op(SyncOp::MoveNode, "/B", "/A"),
          Op(SyncOp::SetField, "/A", "x", 2),
          Op(SyncOp::SetField, "/B", "x", 3),
          Op(SyncOp::SetField, "/B", "x", 4)},
         {"SetField /A x", "MoveNode /A -> /B", "SetField /A x",
          "SetField /B x"}},
        {"a creation or erasure starts the node afresh",
         {Op(SyncOp::SetField, "/A", "x", 1), Op(SyncOp::EraseNode, "/A"),
          Op(SyncOp::CreateNode, "/A"), Op(SyncOp::SetField, "/A", "x", 2),
          Op(SyncOp::CreateNode, "/A"), Op(SyncOp::SetField, "/A", "x", 3)},
         {"SetField /A x", "EraseNode /A", "CreateNode /A 6", "SetField /A x",
          "CreateNode /A 6", "SetField /A x"}},
        {"other nodes and an operation of unknown type",
         {Op(SyncOp::SetField, "/A", "x", 1),
          Op(SyncOp::SetField, "/A.x", "x", 1),
          Op(static_cast<SyncOp::SyncOpType>(9), "/A"),
          Op(SyncOp::SetField, "/A", "x", 2),
          Op(SyncOp::SetField, "/A.x", "x", 2)},
         {"SetField /A x", "Unknown 9", "SetField /A x", "SetField /A.x x"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Describe(vela::CoalesceSyncOps(row.ops)), row.kept)
            << row.name;
    }
}

// The encoder interns paths and names into tables and coalesces on their
// indices; the module interns texts of its own. Random lists, with few and
// with many field names, must keep the reference's operations on both.
TEST(Coalescing, EncoderAndModuleKeepTheReferencesOperations)
{
    std::mt19937 rng(20261);
    for (int fieldCount : {3, 70}) {
        for (int trial = 0; trial < 40; ++trial) {
            const SyncOpList ops = RandomOps(rng, 1 + trial * 5, fieldCount);
            const SyncOpList expected = Kept(ops, ReferenceKeep(ops));
            const std::string what = std::to_string(fieldCount) +
                                     " fields, trial " + std::to_string(trial);
            ExpectSameOps(vela::CoalesceSyncOps(ops), expected,
                          what + ", module");
            ExpectSameOps(EncodedWithCoalescing(ops), expected,
                          what + ", encoder");
        }
    }
}

// The operations before the encoder's first one are no part of the frame:
// they neither are kept nor cause a later one to be dropped.
TEST(Coalescing, EncoderCoalescesOnlyFromItsFirstOperation)
{
    std::mt19937 rng(7);
    const SyncOpList ops = RandomOps(rng, 120, 4);
    const SyncOpList tail(ops.begin() + 50, ops.end());
    ExpectSameOps(EncodedWithCoalescing(ops, 50), vela::CoalesceSyncOps(tail),
                  "from 50");
}

// With nothing to drop, a coalesced frame is the plain one, byte for byte.
TEST(Coalescing, NothingToDropEncodesTheSameBytes)
{
    const SyncOpList ops = {
        Op(SyncOp::CreateNode, "/A"), Op(SyncOp::SetField, "/A", "x", 1),
        Op(SyncOp::MoveNode, "/B", "/A"), Op(SyncOp::EraseField, "/B", "x"),
        Op(SyncOp::EraseNode, "/B")};
    EXPECT_EQ(vela::OpFrame::Encode(ops, true), vela::OpFrame::Encode(ops));
    EXPECT_EQ(vela::CoalesceSyncOps(ops).size(), ops.size());
}
