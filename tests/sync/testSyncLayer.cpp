// A real sync layer edited through OpenUSD's Sdf API: the update list it
// yields, refresh and reset, and replay of the updates into a new store.
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/gf/vec3f.h>
#include <pxr/sdf/attributeSpec.h>
#include <pxr/sdf/layer.h>
#include <pxr/sdf/listOp.h>
#include <pxr/sdf/namespaceEdit.h>
#include <pxr/sdf/primSpec.h>
#include <pxr/sdf/relationshipSpec.h>
#include <pxr/sdf/schema.h>
#include <pxr/sdf/types.h>
#include <pxr/vt/array.h>

#include <gtest/gtest.h>

using namespace pxr;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOpList;
using vela_test::Describe;
using vela_test::LogCapture;

namespace {

using Lines = std::vector<std::string>;

class SyncLayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        layer = SdfLayer::CreateAnonymous("test.vela");
        ASSERT_TRUE(layer);
        SyncData::GetLayerUpdates(layer);
    }

    Lines Updates() { return Describe(SyncData::GetLayerUpdates(layer)); }

    SdfLayerRefPtr layer;
};

const SyncOpList::value_type* FindOp(const SyncOpList& ops, const std::string& line)
{
    for (const auto& op : ops) {
        if (Describe(op) == line) {
            return &op;
        }
    }
    return nullptr;
}

} // namespace

TEST(SyncLayer, FreshLayerYieldsItsPseudoRootCreationOnce)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("fresh.vela");
    ASSERT_TRUE(layer);
    ASSERT_TRUE(SyncFileFormat::GetData(*layer));
    EXPECT_EQ(Describe(SyncData::GetLayerUpdates(layer)), Lines{"CreateNode / 7"});
    EXPECT_TRUE(SyncData::GetLayerUpdates(layer).empty());
    EXPECT_TRUE(SyncData::GetLayerUpdates(*layer).empty());
}

TEST_F(SyncLayerTest, AuthoringAPrimRecordsItsSpecAndFieldsInOrder)
{
    SdfPrimSpecHandle prim = SdfPrimSpec::New(layer->GetPseudoRoot(), "A",
                                              SdfSpecifierDef, "Xform");
    const SyncOpList ops = SyncData::GetLayerUpdates(layer);
    EXPECT_EQ(Describe(ops), (Lines{"CreateNode /A 6", "SetField / primChildren",
                                    "SetField /A specifier", "SetField /A typeName"}));
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(vela_test::Unpack(ops[1]), VtValue(TfTokenVector{TfToken("A")}));
    EXPECT_EQ(vela_test::Unpack(ops[2]), VtValue(SdfSpecifierDef));
    EXPECT_EQ(vela_test::Unpack(ops[3]), VtValue(TfToken("Xform")));
    EXPECT_EQ(layer->GetPrimAtPath(SdfPath("/A"))->GetTypeName(), TfToken("Xform"));
}

TEST_F(SyncLayerTest, AttributeDefaultsArriveAsPackedValues)
{
    SdfPrimSpecHandle prim = SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
    SdfAttributeSpecHandle f = SdfAttributeSpec::New(prim, "f", SdfValueTypeNames->Float);
    SdfAttributeSpecHandle points = SdfAttributeSpec::New(prim, "points",
                                                          SdfValueTypeNames->Float3Array);
    SyncData::GetLayerUpdates(layer);

    const VtVec3fArray pts = {GfVec3f(1, 2, 3), GfVec3f(4, 5, 6)};
    f->SetDefaultValue(VtValue(1.5f));
    points->SetDefaultValue(VtValue(pts));
    const SyncOpList ops = SyncData::GetLayerUpdates(layer);
    ASSERT_EQ(Describe(ops), (Lines{"SetField /A.f default", "SetField /A.points default"}));
    EXPECT_EQ(vela_test::Unpack(ops[0]), VtValue(1.5f));
    EXPECT_EQ(vela_test::Unpack(ops[1]), VtValue(pts));
    EXPECT_EQ(layer->GetAttributeAtPath(SdfPath("/A.f"))->GetDefaultValue(), VtValue(1.5f));

    f->ClearDefaultValue();
    EXPECT_EQ(Updates(), Lines{"EraseField /A.f default"});
}

TEST_F(SyncLayerTest, RelationshipTargetsAndMetadataAreRecorded)
{
    SdfPrimSpecHandle prim = SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
    SdfRelationshipSpecHandle rel = SdfRelationshipSpec::New(prim, "r");
    rel->GetTargetPathList().Add(SdfPath("/B"));
    prim->SetDocumentation("about A");
    const SyncOpList ops = SyncData::GetLayerUpdates(layer);

    for (const char* line : {"CreateNode /A 6", "CreateNode /A.r 8", "SetField /A properties",
                             "SetField /A.r targetPaths", "CreateNode /A.r[/B] 9",
                             "SetField /A documentation"}) {
        EXPECT_TRUE(FindOp(ops, line)) << line;
    }
    EXPECT_EQ(Describe(ops.back()), "SetField /A documentation");
    EXPECT_EQ(vela_test::Unpack(ops.back()), VtValue(std::string("about A")));

    const auto* targets = FindOp(ops, "SetField /A.r targetPaths");
    ASSERT_TRUE(targets);
    const VtValue decoded = vela_test::Unpack(*targets);
    ASSERT_TRUE(decoded.IsHolding<SdfPathListOp>()) << decoded.GetTypeName();
    EXPECT_EQ(decoded.UncheckedGet<SdfPathListOp>().GetAddedItems(),
              SdfPathVector{SdfPath("/B")});
}

TEST_F(SyncLayerTest, OneEditBetweenTwoCallsYieldsExactlyThatEdit)
{
    SdfPrimSpecHandle prim = SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
    SyncData::GetLayerUpdates(layer);
    prim->SetComment("first");
    prim->SetComment("second");
    const SyncOpList ops = SyncData::GetLayerUpdates(layer);
    ASSERT_EQ(Describe(ops), (Lines{"SetField /A comment", "SetField /A comment"}));
    EXPECT_EQ(vela_test::Unpack(ops[1]), VtValue(std::string("second")));
    EXPECT_TRUE(Updates().empty());
}

TEST_F(SyncLayerTest, RenameAndRemoveRecordMovesAndErases)
{
    SdfPrimSpecHandle prim = SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
    SdfAttributeSpec::New(prim, "f", SdfValueTypeNames->Float);
    SyncData::GetLayerUpdates(layer);

    ASSERT_TRUE(prim->SetName("B"));
    EXPECT_EQ(Updates(), (Lines{"MoveNode /A.f -> /B.f", "MoveNode /A -> /B",
                                "SetField / primChildren"}));
    EXPECT_TRUE(layer->GetAttributeAtPath(SdfPath("/B.f")));

    SdfBatchNamespaceEdit edit;
    edit.Add(SdfPath("/B"), SdfPath::EmptyPath());
    ASSERT_TRUE(layer->Apply(edit));
    EXPECT_EQ(Updates(), (Lines{"EraseNode /B.f", "EraseNode /B", "EraseField / primChildren"}));
    EXPECT_FALSE(layer->GetPrimAtPath(SdfPath("/B")));
}

TEST_F(SyncLayerTest, RefreshBringsTheLayerIntoAgreementWithoutEcho)
{
    SdfPrimSpecHandle old = SdfPrimSpec::New(layer->GetPseudoRoot(), "Old", SdfSpecifierDef);
    // Pending before the refresh, and dropped with it.
    old->SetComment("pending");

    SyncDataRefPtr remote = SyncData::New();
    remote->CreateNode(SdfPath("/New"), SdfSpecTypePrim);
    // Sdf leaves fields at their fallback unauthored, so compare on values
    // that differ from the fallback.
    remote->SetField(SdfPath("/New"), SdfFieldKeys->Specifier, VtValue(SdfSpecifierDef));
    remote->SetField(SdfPath("/New"), SdfFieldKeys->Comment, VtValue(std::string("remote")));
    remote->SetField(SdfPath("/"), SdfChildrenKeys->PrimChildren,
                     VtValue(TfTokenVector{TfToken("New")}));
    SyncFileFormat::RefreshData(layer, remote);

    EXPECT_FALSE(layer->GetPrimAtPath(SdfPath("/Old")));
    SdfPrimSpecHandle prim = layer->GetPrimAtPath(SdfPath("/New"));
    ASSERT_TRUE(prim);
    EXPECT_EQ(prim->GetSpecifier(), SdfSpecifierDef);
    EXPECT_EQ(prim->GetComment(), "remote");
    EXPECT_EQ(vela_test::Dump(*SyncFileFormat::GetData(*layer)), vela_test::Dump(*remote));
    EXPECT_TRUE(Updates().empty());

    // Later local edits are recorded again.
    prim->SetComment("local");
    EXPECT_EQ(Updates(), Lines{"SetField /New comment"});
}

TEST_F(SyncLayerTest, RefreshWithNullDataOrLayerChangesNothing)
{
    SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
    LogCapture cap;
    SyncFileFormat::RefreshData(layer, SdfAbstractDataRefPtr());
    SyncFileFormat::RefreshData(SdfLayerHandle(), SyncData::New());
    SyncFileFormat::ResetData(SdfLayerHandle());
    EXPECT_EQ(cap.CountLevel(spdlog::level::err), 3u);
    EXPECT_TRUE(layer->GetPrimAtPath(SdfPath("/A")));
    EXPECT_EQ(Updates().size(), 3u);
}

TEST_F(SyncLayerTest, ResetLeavesOnlyThePseudoRootAndItsCreation)
{
    SdfPrimSpecHandle prim = SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
    layer->SetComment("root comment");
    SyncFileFormat::ResetData(layer);

    const auto dump = vela_test::Dump(*SyncFileFormat::GetData(*layer));
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump.begin()->first, "/");
    EXPECT_TRUE(dump.begin()->second.second.empty());
    EXPECT_EQ(Updates(), Lines{"CreateNode / 7"});
}

TEST_F(SyncLayerTest, LayersOfOtherFormatsAreRefused)
{
    SdfLayerRefPtr usda = SdfLayer::CreateAnonymous("other.usda");
    LogCapture cap;
    EXPECT_TRUE(SyncData::GetLayerUpdates(usda).empty());
    EXPECT_EQ(cap.Count(spdlog::level::err, "Layer is not using SyncFileFormat."), 1u);
    EXPECT_TRUE(SyncData::GetLayerUpdates(SdfLayerRefPtr()).empty());
    EXPECT_EQ(cap.Count(spdlog::level::err, "Invalid layer."), 1u);

}

// The update list of a layer, applied in order to a new store, rebuilds
// the layer's specs and fields.
TEST_F(SyncLayerTest, ReplayingUpdatesRebuildsTheLayer)
{
    SdfLayerRefPtr fresh = SdfLayer::CreateAnonymous("replay.vela");
    SyncOpList all = SyncData::GetLayerUpdates(fresh);

    SdfPrimSpecHandle world = SdfPrimSpec::New(fresh->GetPseudoRoot(), "World",
                                               SdfSpecifierDef, "Xform");
    SdfPrimSpecHandle a = SdfPrimSpec::New(world, "A", SdfSpecifierDef, "Mesh");
    SdfPrimSpecHandle b = SdfPrimSpec::New(world, "B", SdfSpecifierOver);
    SdfAttributeSpecHandle size = SdfAttributeSpec::New(a, "size", SdfValueTypeNames->Double);
    size->SetDefaultValue(VtValue(2.0));
    SdfAttributeSpecHandle pts = SdfAttributeSpec::New(a, "points", SdfValueTypeNames->Float3Array);
    pts->SetDefaultValue(VtValue(VtVec3fArray{GfVec3f(0, 1, 2)}));
    SdfAttributeSpecHandle name = SdfAttributeSpec::New(a, "label", SdfValueTypeNames->String,
                                                        SdfVariabilityUniform, true);
    name->SetDefaultValue(VtValue(std::string("hello")));
    SdfRelationshipSpecHandle rel = SdfRelationshipSpec::New(a, "target");
    rel->GetTargetPathList().Add(SdfPath("/World/B"));
    a->SetDocumentation("mesh");
    a->SetComment("c");
    a->SetComment("");
    b->SetActive(false);
    b->SetName("C");
    size->SetDefaultValue(VtValue(3.0));
    SdfPrimSpec::New(world, "Gone", SdfSpecifierDef);
    world->RemoveNameChild(world->GetNameChildren().get("Gone"));

    const SyncOpList updates = SyncData::GetLayerUpdates(fresh);
    all.insert(all.end(), updates.begin(), updates.end());

    SyncDataRefPtr replica = SyncData::New();
    for (const auto& op : all) {
        replica->ApplySyncOp(op);
    }
    EXPECT_EQ(vela_test::Dump(*replica), vela_test::Dump(*SyncFileFormat::GetData(*fresh)));
}
