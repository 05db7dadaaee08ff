// A later set of a field drops the pending set it supersedes, and the
// list that remains still rebuilds the layer's store on a peer: same specs,
// same values, fields in the same order.
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/schema.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

using namespace pxr;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOp;
using vela::SyncOpList;
using vela_test::Describe;
using vela_test::Drain;
using vela_test::Dump;
using vela_test::Unpack;
using Lines = std::vector<std::string>;

namespace {

const SdfPath _PathA("/A");
const SdfPath _PathB("/B");
const TfToken _Doc("documentation");
const TfToken _Comment("comment");
const TfToken _Active("active");

VtValue Str(const std::string& s)
{
    return VtValue(s);
}

// A layer's store and the replica a peer keeps of it. Sync() takes the
// pending operations out, applies them to the replica and checks that
// both stores agree, field order included.
class SupersessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        local = SyncData::NewForLayer();
        replica = SyncData::New();
        Drain(*local);
        local->CreateSpec(_PathA, SdfSpecTypePrim);
        Sync();
    }

    SyncOpList Sync()
    {
        SyncOpList ops = Drain(*local);
        for (const auto& op : ops) {
            replica->ApplySyncOp(op);
        }
        EXPECT_EQ(Dump(*replica), Dump(*local));
        EXPECT_EQ(local->GetPendingOpCount(), 0u);
        return ops;
    }

    SyncDataRefPtr local;
    SyncDataRefPtr replica;
};

} // namespace

TEST_F(SupersessionTest, ALaterSetDropsTheEarlierOne)
{
    local->Set(_PathA, _Doc, Str("one"));
    local->Set(_PathA, _Comment, Str("c"));
    local->Set(_PathA, _Comment, Str("d"));
    EXPECT_EQ(local->GetPendingOpCount(), 2u);
    Sync();

    // Fields that exist already: only the last set of each remains, and
    // the records that remain keep their order.
    local->Set(_PathA, _Doc, Str("two"));
    local->Set(_PathA, _Comment, Str("e"));
    local->Set(_PathA, _Doc, Str("three"));
    const float typed = 2.f;
    local->Set(_PathA, _Comment, SdfAbstractDataConstTypedValue<float>(&typed));
    const SyncOpList ops = Sync();
    ASSERT_EQ(Describe(ops),
              (Lines{"SetField /A documentation", "SetField /A comment"}));
    EXPECT_EQ(Unpack(ops[0]), Str("three"));
    EXPECT_EQ(Unpack(ops[1]), VtValue(2.f));
}

TEST_F(SupersessionTest, TheSetThatAddsAFieldStaysWhileLaterFieldsFollowIt)
{
    // Dropping the first set of documentation would put it after comment
    // on the peer.
    local->Set(_PathA, _Doc, Str("one"));
    local->Set(_PathA, _Comment, Str("c"));
    local->Set(_PathA, _Doc, Str("two"));
    local->Set(_PathA, _Doc, Str("three"));
    const SyncOpList ops = Sync();
    EXPECT_EQ(Describe(ops),
              (Lines{"SetField /A documentation", "SetField /A comment",
                     "SetField /A documentation"}));
    EXPECT_EQ(Unpack(ops[2]), Str("three"));

    // Once the later field is gone again, the first set may go too.
    local->Set(_PathA, _Active, VtValue(true));
    local->Erase(_PathA, _Comment);
    local->Set(_PathA, _Active, VtValue(false));
    EXPECT_EQ(Describe(Sync()),
              (Lines{"EraseField /A comment", "SetField /A active"}));
}

TEST_F(SupersessionTest, AnEraseOfTheFieldBetweenKeepsTheErase)
{
    local->Set(_PathA, _Doc, Str("old"));
    local->Set(_PathA, _Comment, Str("c"));
    Sync();
    local->Set(_PathA, _Doc, Str("one"));
    local->Erase(_PathA, _Doc);
    local->Set(_PathA, _Doc, Str("two"));
    const SyncOpList ops = Sync();
    EXPECT_EQ(Describe(ops), (Lines{"EraseField /A documentation",
                                    "SetField /A documentation"}));
    EXPECT_EQ(Unpack(ops[1]), Str("two"));
    EXPECT_EQ(local->List(_PathA), (TfTokenVector{_Comment, _Doc}));

    // Cleared and set again over and over (as Sdf does with a child list):
    // one erase and one set remain.
    for (int i = 0; i < 50; ++i) {
        local->Erase(_PathA, _Comment);
        local->Set(_PathA, _Comment, Str(std::to_string(i)));
    }
    EXPECT_EQ(Describe(Sync()),
              (Lines{"EraseField /A comment", "SetField /A comment"}));
    EXPECT_EQ(local->List(_PathA), (TfTokenVector{_Doc, _Comment}));
}

TEST_F(SupersessionTest, AMoveOfTheSpecBetweenKeepsBoth)
{
    local->Set(_PathA, _Doc, Str("one"));
    local->MoveSpec(_PathA, _PathB);
    local->CreateSpec(_PathA, SdfSpecTypePrim);
    local->Set(_PathA, _Doc, Str("two"));
    EXPECT_EQ(Describe(Sync()),
              (Lines{"SetField /A documentation", "MoveNode /A -> /B",
                     "CreateNode /A 6", "SetField /A documentation"}));
    EXPECT_EQ(replica->Get(_PathB, _Doc), Str("one"));

    // Moved away and back: still both.
    local->Set(_PathB, _Doc, Str("three"));
    local->MoveSpec(_PathB, SdfPath("/C"));
    local->MoveSpec(SdfPath("/C"), _PathB);
    local->Set(_PathB, _Doc, Str("four"));
    EXPECT_EQ(Sync().size(), 4u);
}

TEST_F(SupersessionTest, AnEraseAndRecreationBetweenKeepsBoth)
{
    local->Set(_PathA, _Doc, Str("one"));
    local->Set(_PathA, _Comment, Str("c"));
    local->EraseSpec(_PathA);
    local->CreateSpec(_PathA, SdfSpecTypePrim);
    local->Set(_PathA, _Doc, Str("two"));
    EXPECT_EQ(Describe(Sync()),
              (Lines{"SetField /A documentation", "SetField /A comment",
                     "EraseNode /A", "CreateNode /A 6",
                     "SetField /A documentation"}));
    EXPECT_EQ(replica->List(_PathA), TfTokenVector{_Doc});
}

TEST_F(SupersessionTest, AMoveOfAnAncestorBetweenKeepsBoth)
{
    const SdfPath child("/A/C");
    const SdfPath childAttr("/A/C.size");
    local->CreateSpec(child, SdfSpecTypePrim);
    local->CreateSpec(childAttr, SdfSpecTypeAttribute);
    Sync();
    local->Set(childAttr, SdfFieldKeys->Default, VtValue(1.0));
    local->Set(child, _Doc, Str("one"));
    // The store moves only the one spec: the child stays at its path.
    local->MoveSpec(_PathA, _PathB);
    local->Set(childAttr, SdfFieldKeys->Default, VtValue(2.0));
    local->Set(child, _Doc, Str("two"));
    EXPECT_EQ(Sync().size(), 5u);

    // An erase of an ancestor, likewise; a sibling's field is not affected.
    local->CreateSpec(_PathA, SdfSpecTypePrim);
    local->Set(child, _Doc, Str("three"));
    local->Set(_PathB, _Doc, Str("b1"));
    local->EraseSpec(_PathA);
    local->Set(child, _Doc, Str("four"));
    local->Set(_PathB, _Doc, Str("b2"));
    EXPECT_EQ(
        Describe(Sync()),
        (Lines{"CreateNode /A 6", "SetField /A/C documentation", "EraseNode /A",
               "SetField /A/C documentation", "SetField /B documentation"}));
}

TEST_F(SupersessionTest, ACreationOfTheSameSpecBetweenStillSupersedes)
{
    local->Set(_PathA, _Doc, Str("one"));
    local->CreateSpec(_PathA, SdfSpecTypeVariant);
    local->Set(_PathA, _Doc, Str("two"));
    EXPECT_EQ(Describe(Sync()),
              (Lines{"CreateNode /A 10", "SetField /A documentation"}));
}

TEST_F(SupersessionTest, SetsOnAMissingSpecAreNeverDropped)
{
    vela_test::LogCapture cap;
    local->Set(_PathB, _Doc, Str("lost"));
    local->CreateSpec(_PathB, SdfSpecTypePrim);
    local->Set(_PathB, _Doc, Str("kept"));
    local->Set(_PathB, _Doc, Str("last"));
    const SyncOpList ops = Sync();
    EXPECT_EQ(Describe(ops),
              (Lines{"SetField /B documentation", "CreateNode /B 6",
                     "SetField /B documentation"}));
    EXPECT_EQ(Unpack(ops[2]), Str("last"));
    EXPECT_EQ(replica->Get(_PathB, _Doc), Str("last"));
}

// Many superseded records are squeezed out on the way; the records that
// remain are still found and kept in order.
TEST_F(SupersessionTest, ManySetsKeepThePendingListShort)
{
    constexpr int Rounds = 5000;
    for (int i = 0; i < Rounds; ++i) {
        local->Set(_PathA, _Doc, VtValue(std::to_string(i)));
        local->Set(_PathA, _Comment, VtValue(std::to_string(i)));
        local->CreateSpec(SdfPath("/N" + std::to_string(i)), SdfSpecTypePrim);
        ASSERT_LE(local->GetPendingOpCount(), size_t(i) + 4);
    }
    const SyncOpList ops = Sync();
    // The first set of documentation stays: comment was added after it.
    ASSERT_EQ(ops.size(), size_t(Rounds) + 3);
    EXPECT_EQ(Describe(ops.front()), "SetField /A documentation");
    EXPECT_EQ(Unpack(ops.front()), Str("0"));
    EXPECT_EQ(replica->Get(_PathA, _Doc), Str(std::to_string(Rounds - 1)));
}

// Two layers recording at once: each keeps its own records and supersedes
// only its own.
TEST(Supersession, TwoLayersRecordIndependently)
{
    SdfLayerRefPtr first = SdfLayer::CreateAnonymous("first.vela");
    SdfLayerRefPtr second = SdfLayer::CreateAnonymous("second.vela");
    SyncData::GetLayerUpdates(first);
    SyncData::GetLayerUpdates(second);
    SdfPrimSpecHandle a1 =
        SdfPrimSpec::New(first->GetPseudoRoot(), "A", SdfSpecifierDef);
    SdfPrimSpecHandle a2 =
        SdfPrimSpec::New(second->GetPseudoRoot(), "A", SdfSpecifierDef);
    for (int i = 0; i < 10; ++i) {
        SdfPrimSpec::New(a1, "C" + std::to_string(i), SdfSpecifierDef);
        a2->SetComment("comment " + std::to_string(i));
        SdfPrimSpec::New(a2, "D" + std::to_string(i), SdfSpecifierDef);
    }

    SyncDataRefPtr replica1 = SyncData::New();
    SyncDataRefPtr replica2 = SyncData::New();
    const SyncOpList ops1 = SyncData::GetLayerUpdates(first);
    const SyncOpList ops2 = SyncData::GetLayerUpdates(second);
    for (const auto& op : ops1) {
        replica1->ApplySyncOp(op);
    }
    for (const auto& op : ops2) {
        replica2->ApplySyncOp(op);
    }
    EXPECT_EQ(Dump(*replica1), Dump(*SyncFileFormat::GetData(*first)));
    EXPECT_EQ(Dump(*replica2), Dump(*SyncFileFormat::GetData(*second)));

    // The second layer's comment was added before its child list, so its
    // first set stays beside the last one.
    const auto count = [](const Lines& lines, const char* line) {
        return std::count(lines.begin(), lines.end(), line);
    };
    const Lines lines1 = Describe(ops1), lines2 = Describe(ops2);
    EXPECT_EQ(count(lines1, "SetField /A primChildren"), 1);
    EXPECT_EQ(count(lines1, "SetField /A comment"), 0);
    EXPECT_EQ(count(lines2, "SetField /A primChildren"), 1);
    EXPECT_EQ(count(lines2, "SetField /A comment"), 2);
    EXPECT_EQ(count(lines1, "CreateNode /A/C9 6") +
                  count(lines2, "CreateNode /A/D9 6"),
              2);
}

// Authoring through Sdf, with renames and removals between the edits of a
// parent's child list: the updates rebuild the layer's store.
TEST(Supersession, SdfEditsReplayExactly)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("replay.vela");
    SyncDataRefPtr replica = SyncData::New();
    SyncData::GetLayerUpdates(layer);
    SdfPrimSpecHandle parent =
        SdfPrimSpec::New(layer->GetPseudoRoot(), "P", SdfSpecifierDef);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 20; ++i) {
            SdfPrimSpecHandle child = SdfPrimSpec::New(
                parent, "C" + std::to_string(round) + "_" + std::to_string(i),
                SdfSpecifierDef);
            SdfAttributeSpec::New(child, "w", SdfValueTypeNames->Float)
                ->SetDefaultValue(VtValue(float(i)));
            if (i % 5 == 0) {
                ASSERT_TRUE(child->SetName("R" + std::to_string(round) + "_" +
                                           std::to_string(i)));
                child->SetComment("renamed");
            }
            if (i % 7 == 3) {
                parent->RemoveNameChild(child);
            }
            parent->SetComment("after " + std::to_string(i));
        }
        for (const auto& op : SyncData::GetLayerUpdates(layer)) {
            replica->ApplySyncOp(op);
        }
        EXPECT_EQ(Dump(*replica), Dump(*SyncFileFormat::GetData(*layer)))
            << "round " << round;
    }
}

// One thread edits a layer's store while another takes the updates out:
// the lists, replayed in the order they were taken, rebuild the store.
TEST(Supersession, DrainingWhileRecordingLosesNothing)
{
    vela_test::LogCapture cap; // sets on specs never created log errors
    SyncDataRefPtr local = SyncData::NewForLayer();
    SyncDataRefPtr replica = SyncData::New();
    Drain(*local);
    std::atomic<bool> done{false};
    std::vector<SyncOpList> batches;
    std::thread drainer([&] {
        while (!done.load()) {
            batches.push_back(Drain(*local));
            std::this_thread::yield();
        }
    });
    const TfToken fields[] = {_Doc, _Comment, _Active};
    for (int i = 0; i < 20000; ++i) {
        const SdfPath path("/P" + std::to_string(i % 50));
        if (i % 50 == i % 37) {
            local->CreateSpec(path, SdfSpecTypePrim);
        }
        if (i % 11 == 0) {
            local->Erase(path, fields[i % 3]);
        } else {
            local->Set(path, fields[i % 3], VtValue(i));
        }
        if (i % 997 == 0) {
            local->MoveSpec(path, SdfPath("/Moved"));
            local->MoveSpec(SdfPath("/Moved"), path);
        }
    }
    done = true;
    drainer.join();
    batches.push_back(Drain(*local));
    for (const auto& batch : batches) {
        for (const auto& op : batch) {
            replica->ApplySyncOp(op);
        }
    }
    EXPECT_EQ(Dump(*replica), Dump(*local));
}

// A field set once is tracked by its record's position alone; records
// squeezed out between its first and second set move that record, and the
// second set must neither drop the wrong record nor lose the first.
TEST_F(SupersessionTest, ACompactionBetweenTwoSetsOfAFieldKeepsTheList)
{
    local->Set(_PathA, _Doc, Str("first"));
    local->Set(_PathB, _Doc, Str("b")); // no spec at /B: kept, never dropped
    for (int i = 0; i < 5000; ++i) {
        local->Set(_PathA, _Comment, VtValue(i));
    }
    local->Set(_PathA, _Doc, Str("second"));
    local->Set(_PathA, _Comment, VtValue(-1));
    EXPECT_LE(local->GetPendingOpCount(), 5u);
    Sync();
    EXPECT_EQ(replica->Get(_PathA, _Doc), Str("second"));
    EXPECT_EQ(replica->Get(_PathA, _Comment), VtValue(-1));
    EXPECT_EQ(replica->List(_PathA), (std::vector<TfToken>{_Doc, _Comment}));
}

// Random edits of a few specs and fields, drained at random points: every
// drained list rebuilds the store on the replica exactly. Rare drains let
// superseded records pile up and be squeezed out between the edits.
namespace {

// One random edit of \p path: a create, an erase, a move to \p to, or a
// field erased, set empty or set.
void RandomEdit(SyncData& local, size_t kind, const SdfPath& path,
                const SdfPath& to, const TfToken& field, int value)
{
    switch (kind) {
    case 0:
        local.CreateSpec(path, path.IsPropertyPath() ? SdfSpecTypeAttribute
                                                     : SdfSpecTypePrim);
        break;
    case 1:
        if (local.HasSpec(path)) {
            local.EraseSpec(path);
        }
        break;
    case 2:
        if (local.HasSpec(path) && !local.HasSpec(to) &&
            path.IsPropertyPath() == to.IsPropertyPath()) {
            local.MoveSpec(path, to);
        }
        break;
    case 3:
        local.Erase(path, field);
        break;
    case 4:
        local.Set(path, field, VtValue());
        break;
    default:
        local.Set(path, field, VtValue(value));
        break;
    }
}

void RunRandomEdits(unsigned seed, size_t drainOneIn)
{
    vela_test::LogCapture cap; // edits of missing specs log errors
    SyncDataRefPtr local = SyncData::NewForLayer();
    SyncDataRefPtr replica = SyncData::New();
    Drain(*local);
    const SdfPath paths[] = {SdfPath("/A"),   SdfPath("/B"),
                             SdfPath("/A/X"), SdfPath("/B/X"),
                             SdfPath("/A.p"), SdfPath("/A/X.q")};
    const TfToken fields[] = {_Doc, _Comment, _Active, TfToken("kind")};
    std::mt19937 random(seed);
    const auto pick = [&random](size_t n) { return size_t(random() % n); };
    size_t dropped = 0;
    for (int step = 0; step < 20000; ++step) {
        const SdfPath& path = paths[pick(6)];
        const TfToken& field = fields[pick(4)];
        const size_t before = local->GetPendingOpCount();
        const size_t kind = pick(10);
        const SdfPath& to = paths[kind == 2 ? pick(6) : 0];
        const int value = kind >= 5 ? int(pick(1000)) : 0;
        RandomEdit(*local, kind, path, to, field, value);
        if (local->GetPendingOpCount() <= before) {
            ++dropped;
        }
        if (pick(drainOneIn) == 0 || step == 19999) {
            for (const auto& op : Drain(*local)) {
                replica->ApplySyncOp(op);
            }
            ASSERT_EQ(Dump(*replica), Dump(*local)) << "step " << step;
        }
    }
    // The edits gave the recorder plenty to drop.
    EXPECT_GT(dropped, 1000u);
}

} // namespace

TEST(Supersession, RandomEditsReplayExactly)
{
    RunRandomEdits(7, 50);
}

TEST(Supersession, RandomEditsWithRareDrainsReplayExactly)
{
    RunRandomEdits(11, 4000);
    RunRandomEdits(12, 20000);
}
