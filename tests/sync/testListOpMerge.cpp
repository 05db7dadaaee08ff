// List-op fields edited by peers at once: the recorder keeps the value a
// set replaced, frames carry it in their bases section, and the merger
// keeps both peers' edits of one list.
#include "sync/opFrame.h"
#include "sync/syncData.h"
#include "sync/syncOp.h"
#include "sync/valueHandler.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/listOp.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/reference.h>
#include <pxr/usd/sdf/schema.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pxr;
using vela::OpFrame;
using vela::PackedData;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOp;
using vela::SyncOpList;
using vela::ValueHandler;
using vela_test::RawOp;
using Bytes = std::vector<uint8_t>;

namespace {

SdfReferenceListOp Prepended(const std::vector<std::string>& assets)
{
    SdfReferenceListOp op;
    SdfReferenceVector items;
    for (const std::string& asset : assets) {
        items.emplace_back(asset);
    }
    op.SetPrependedItems(items);
    return op;
}

std::vector<std::string> PrependedAssets(const VtValue& value)
{
    std::vector<std::string> assets;
    if (value.IsHolding<SdfReferenceListOp>()) {
        for (const SdfReference& ref :
             value.UncheckedGet<SdfReferenceListOp>().GetPrependedItems()) {
            assets.push_back(ref.GetAssetPath());
        }
    }
    return assets;
}

PackedData Pack(const VtValue& value)
{
    return ValueHandler::GetInstance().PackVtValue(value);
}

VtValue Unpack(const PackedData& packed)
{
    return packed.empty() ? VtValue()
                          : ValueHandler::GetInstance().UnpackVtValue(packed);
}

// The SetField of /P's references in \p ops.
const SyncOp* ReferencesSet(const SyncOpList& ops)
{
    const SyncOp* found = nullptr;
    for (const SyncOp& op : ops) {
        if (op.opType == SyncOp::SetField && op.nodePath == "/P" &&
            op.fieldName == SdfFieldKeys->References.GetString()) {
            found = &op;
        }
    }
    return found;
}

SyncOp SetReferences(const SdfReferenceListOp& next,
                     const SdfReferenceListOp* base)
{
    SyncOp op = RawOp(SyncOp::SetField, "/P", "references");
    op.fieldValue = Pack(VtValue(next));
    if (base) {
        op.hasBase = true;
        op.baseValue = base->HasKeys() ? Pack(VtValue(*base)) : PackedData();
    }
    return op;
}

// A replica holding /P, its references \p start.
SyncDataRefPtr Replica(const SdfReferenceListOp* start)
{
    SyncDataRefPtr store = SyncData::New();
    SyncOpList ops = {RawOp(SyncOp::CreateNode, "/P", "", SdfSpecTypePrim)};
    if (start) {
        ops.push_back(SetReferences(*start, nullptr));
    }
    store->ApplySyncOps(ops);
    return store;
}

// Applies \p ops as one version 2 frame, coalesced first if asked.
void ApplyFrame(const SyncDataRefPtr& store, const SyncOpList& ops,
                bool coalesce = false)
{
    const std::string body = OpFrame::Encode(ops, coalesce, 0, true);
    size_t applied = 0;
    std::string error;
    ASSERT_TRUE(OpFrame::Apply(reinterpret_cast<const uint8_t*>(body.data()),
                               body.size(), get_pointer(store), &applied,
                               &error, true))
        << error;
}

std::vector<std::string> References(const SyncDataRefPtr& store)
{
    return PrependedAssets(store->Get(SdfPath("/P"), SdfFieldKeys->References));
}

} // namespace

TEST(ListOpBase, TheRecorderKeepsTheValueBeforeTheFirstSetSinceTheDrain)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("base.vela");
    SdfPrimSpecHandle prim = SdfCreatePrimInLayer(layer, SdfPath("/P"));
    prim->GetReferenceList().Prepend(SdfReference("a.usda"));
    prim->GetReferenceList().Prepend(SdfReference("b.usda"));
    SyncOpList first = SyncData::GetLayerUpdates(layer);
    const SyncOp* set = ReferencesSet(first);
    ASSERT_TRUE(set);
    ASSERT_TRUE(set->hasBase);
    EXPECT_TRUE(set->baseValue.empty()) << "the field did not exist";
    EXPECT_EQ(PrependedAssets(Unpack(set->fieldValue)),
              (std::vector<std::string>{"b.usda", "a.usda"}));

    // After the drain the base is the value the peers were sent.
    prim->GetReferenceList().Prepend(SdfReference("c.usda"));
    prim->GetReferenceList().Erase(SdfReference("a.usda"));
    SyncOpList second = SyncData::GetLayerUpdates(layer);
    set = ReferencesSet(second);
    ASSERT_TRUE(set && set->hasBase);
    EXPECT_EQ(PrependedAssets(Unpack(set->baseValue)),
              (std::vector<std::string>{"b.usda", "a.usda"}));
    EXPECT_EQ(PrependedAssets(Unpack(set->fieldValue)),
              (std::vector<std::string>{"c.usda", "b.usda"}));

    // Values other than list ops carry none.
    prim->SetDocumentation("d");
    for (const SyncOp& op : SyncData::GetLayerUpdates(layer)) {
        EXPECT_FALSE(op.hasBase) << op.fieldName;
    }
}

TEST(ListOpBase, CoalescingKeepsTheLastSetWithTheFirstBase)
{
    const SdfReferenceListOp a = Prepended({"a"}), ab = Prepended({"b", "a"}),
                             abc = Prepended({"c", "b", "a"});
    const SyncOpList ops = {SetReferences(ab, &a), SetReferences(abc, &ab),
                            RawOp(SyncOp::EraseField, "/Q", "references"),
                            SetReferences(abc, nullptr)};
    const SyncOpList kept = vela::CoalesceSyncOps(ops);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_TRUE(kept[1].hasBase);
    EXPECT_EQ(PrependedAssets(Unpack(kept[1].baseValue)),
              (std::vector<std::string>{"a"}));
    EXPECT_EQ(PrependedAssets(Unpack(kept[1].fieldValue)),
              (std::vector<std::string>{"c", "b", "a"}));

    // The frame encoder coalesces the same way on its own indices.
    const std::string body = OpFrame::Encode(ops, true, 0, true);
    SyncOpList decoded;
    std::string error;
    ASSERT_TRUE(OpFrame::Decode(reinterpret_cast<const uint8_t*>(body.data()),
                                body.size(), &decoded, &error, true))
        << error;
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[1].baseValue.bytes, kept[1].baseValue.bytes);

    // An erase first in the run leaves the kept set without a base: its
    // value replaces whatever the field held.
    const SyncOpList afterErase =
        vela::CoalesceSyncOps({RawOp(SyncOp::EraseField, "/P", "references"),
                               SetReferences(abc, &a)});
    ASSERT_EQ(afterErase.size(), 1u);
    EXPECT_FALSE(afterErase[0].hasBase);
}

// A field may change type between drains (nothing stops a store from
// being set so): the value that replaces a list op is no list op, and a
// base sent with it would make every receiver refuse the set.
TEST(ListOpBase, ASetThatHoldsNoListOpCarriesNoBase)
{
    const SdfPath path("/P");
    const VtValue specifier(SdfSpecifierOver);
    SyncDataRefPtr recorded = SyncData::NewForLayer();
    recorded->CreateSpec(path, SdfSpecTypePrim);
    recorded->Set(path, SdfFieldKeys->References, VtValue(Prepended({"a"})));
    recorded->Set(path, SdfFieldKeys->References, specifier);
    SyncOpList ops;
    recorded->GetDelta().SwapPendingOps(ops);
    const SyncOp* set = ReferencesSet(ops);
    ASSERT_TRUE(set);
    EXPECT_FALSE(set->hasBase);
    SyncDataRefPtr replica = SyncData::New();
    for (const SyncOp& op : ops) {
        replica->ApplySyncOp(op);
    }
    EXPECT_EQ(replica->Get(path, SdfFieldKeys->References), specifier);

    // Coalescing a run whose first set carried a base, on lists and in the
    // frame encoder alike.
    SyncOp last = RawOp(SyncOp::SetField, "/P", "references");
    last.fieldValue = Pack(specifier);
    const SdfReferenceListOp a = Prepended({"a"}), ab = Prepended({"b", "a"});
    const SyncOpList withBase = {SetReferences(ab, &a), last};
    const SyncOpList kept = vela::CoalesceSyncOps(withBase);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_FALSE(kept[0].hasBase);
    SyncDataRefPtr framed = Replica(nullptr);
    ApplyFrame(framed, withBase, true);
    EXPECT_EQ(framed->Get(path, SdfFieldKeys->References), specifier);
}

TEST(ListOpBase, BodiesCarryBasesOnlyWhenAsked)
{
    const SdfReferenceListOp a = Prepended({"a"}), ab = Prepended({"b", "a"});
    const SdfReferenceListOp none;
    const SyncOpList ops = {RawOp(SyncOp::CreateNode, "/P", "", 6),
                            SetReferences(ab, &a), SetReferences(a, &none),
                            SetReferences(ab, nullptr)};
    SyncOpList plain = ops;
    for (SyncOp& op : plain) {
        op.hasBase = false;
        op.baseValue = PackedData();
    }
    // Without bases the body is the version 1 body of the same operations.
    EXPECT_EQ(OpFrame::Encode(ops), OpFrame::Encode(plain));

    const std::string body = OpFrame::Encode(ops, false, 0, true);
    const std::string v1 = OpFrame::Encode(ops);
    // The value table gains the empty value, after those the value column
    // takes; the section: two bases, operation 1 with value 1 (a), then
    // operation 2 (gap 0) with value 2 (the empty value).
    ASSERT_EQ(body.size(), v1.size() + 6);
    EXPECT_EQ(body.substr(body.size() - 5),
              std::string("\x02\x01\x01\x00\x02", 5));
    SyncOpList decoded;
    std::string error;
    ASSERT_TRUE(OpFrame::Decode(reinterpret_cast<const uint8_t*>(body.data()),
                                body.size(), &decoded, &error, true))
        << error;
    ASSERT_EQ(decoded.size(), 4u);
    EXPECT_FALSE(decoded[0].hasBase);
    EXPECT_TRUE(decoded[1].hasBase);
    EXPECT_EQ(decoded[1].baseValue.bytes, ops[1].baseValue.bytes);
    EXPECT_TRUE(decoded[2].hasBase);
    EXPECT_TRUE(decoded[2].baseValue.empty());
    EXPECT_FALSE(decoded[3].hasBase);

    // Each side must agree on the version: a version 1 reader refuses the
    // section as trailing bytes, a version 2 reader misses it.
    EXPECT_FALSE(OpFrame::Decode(reinterpret_cast<const uint8_t*>(body.data()),
                                 body.size(), &decoded, &error));
    EXPECT_FALSE(OpFrame::Decode(reinterpret_cast<const uint8_t*>(v1.data()),
                                 v1.size(), &decoded, &error, true));
}

TEST(ListOpBase, ForgedBaseSectionsAreRefused)
{
    const SdfReferenceListOp a = Prepended({"a"});
    const SyncOpList ops = {RawOp(SyncOp::CreateNode, "/P", "", 6),
                            SetReferences(a, nullptr)};
    const std::string head = OpFrame::Encode(ops);
    // The value table holds one value (a); the SetField is operation 1.
    struct Row
    {
        const char* name;
        std::string section;
        const char* message;
    };
    const Row rows[] = {
        {"no section", "", "base count runs past the end"},
        {"count past the end", "\x05\x01\x00", "base count runs past the end"},
        {"more bases than operations",
         std::string("\x03\x00\x00\x00\x00\x00\x00", 7),
         "base count 3 above the 2 operations"},
        {"entry cut short", "\x01\x01", "base 0 runs past the end"},
        {"operation index past the end", std::string("\x01\x02\x00", 3),
         "names an operation past the 2"},
        {"base of a CreateNode", std::string("\x01\x00\x00", 3),
         "not a SetField"},
        {"value index past the table", "\x01\x01\x01",
         "value index 1 past the table's 1"},
        {"two bases of one operation", std::string("\x02\x01\x00\x00\x00", 5),
         "names an operation past the 2"},
        {"bytes after the section", std::string("\x01\x01\x00\x00", 4),
         "1 bytes after the last operation"},
    };
    for (const Row& row : rows) {
        const std::string body = head + row.section;
        SyncOpList decoded;
        std::string error;
        EXPECT_FALSE(
            OpFrame::Decode(reinterpret_cast<const uint8_t*>(body.data()),
                            body.size(), &decoded, &error, true))
            << row.name;
        EXPECT_NE(error.find(row.message), std::string::npos)
            << row.name << ": " << error;
    }

    // A base on a value that is no list op, and a base that is none.
    SyncOp doc = RawOp(SyncOp::SetField, "/P", "documentation");
    doc.fieldValue = Pack(VtValue(std::string("d")));
    doc.hasBase = true;
    SyncOp badBase = SetReferences(a, nullptr);
    badBase.hasBase = true;
    badBase.baseValue = Pack(VtValue(std::string("d")));
    for (const SyncOp& op : {doc, badBase}) {
        const std::string body = OpFrame::Encode(
            {RawOp(SyncOp::CreateNode, "/P", "", 6), op}, false, 0, true);
        SyncOpList decoded;
        std::string error;
        EXPECT_FALSE(
            OpFrame::Decode(reinterpret_cast<const uint8_t*>(body.data()),
                            body.size(), &decoded, &error, true));
        EXPECT_NE(error.find("not a list op"), std::string::npos) << error;
        EXPECT_FALSE(SyncData::CheckSyncOp(op, &error));
    }
}

TEST(ListOpMerge, ConcurrentPrependsAreBothKept)
{
    const SdfReferenceListOp none;
    SyncDataRefPtr store = Replica(nullptr);
    ApplyFrame(store, {SetReferences(Prepended({"a.usda"}), &none)});
    ApplyFrame(store, {SetReferences(Prepended({"b.usda"}), &none)});
    // The later frame's prepend goes first, as it would have had it seen
    // the earlier one.
    EXPECT_EQ(References(store),
              (std::vector<std::string>{"b.usda", "a.usda"}));
}

TEST(ListOpMerge, ADeletionAndAConcurrentAdditionBothTakeEffect)
{
    const SdfReferenceListOp ab = Prepended({"a", "b"});
    SyncDataRefPtr store = Replica(&ab);
    // Peer A removes a; peer B, from the same base, adds c after a.
    ApplyFrame(store, {SetReferences(Prepended({"b"}), &ab)});
    ApplyFrame(store, {SetReferences(Prepended({"a", "c", "b"}), &ab)});
    EXPECT_EQ(References(store), (std::vector<std::string>{"c", "b"}));
}

TEST(ListOpMerge, ARemovalSeenByTheLaterPeerStaysRemoved)
{
    const SdfReferenceListOp ab = Prepended({"a", "b"}), b = Prepended({"b"});
    SyncDataRefPtr store = Replica(&ab);
    ApplyFrame(store, {SetReferences(b, &ab)});
    // The next edit was made over b alone: the current value is its base,
    // so it is set as it is.
    ApplyFrame(store, {SetReferences(Prepended({"c", "b"}), &b)});
    EXPECT_EQ(References(store), (std::vector<std::string>{"c", "b"}));
}

TEST(ListOpMerge, AnExplicitListOpOrAnotherTypeLetsTheLaterFrameWin)
{
    const SdfReferenceListOp a = Prepended({"a"});
    SdfReferenceListOp explicitOp;
    explicitOp.SetExplicitItems({SdfReference("x")});
    SyncDataRefPtr store = Replica(&a);
    ApplyFrame(store, {SetReferences(Prepended({"b", "a"}), &a)});
    ApplyFrame(store, {SetReferences(explicitOp, &a)});
    const VtValue value = store->Get(SdfPath("/P"), SdfFieldKeys->References);
    ASSERT_TRUE(value.IsHolding<SdfReferenceListOp>());
    EXPECT_TRUE(value.UncheckedGet<SdfReferenceListOp>().IsExplicit());

    // A token list op over a reference list op: no merge either.
    SyncOp tokens = RawOp(SyncOp::SetField, "/P", "references");
    tokens.fieldValue = Pack(VtValue(SdfTokenListOp::Create({TfToken("t")})));
    tokens.hasBase = true;
    tokens.baseValue = Pack(VtValue(a));
    ApplyFrame(store, {tokens});
    EXPECT_TRUE(store->Get(SdfPath("/P"), SdfFieldKeys->References)
                    .IsHolding<SdfTokenListOp>());
}
