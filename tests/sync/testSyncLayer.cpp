// A real sync layer edited through OpenUSD's Sdf API: the update list it
// yields, refresh and reset, and replay of the updates into a new store.
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/base/gf/vec3f.h>
#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/listOp.h>
#include <pxr/usd/sdf/namespaceEdit.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/relationshipSpec.h>
#include <pxr/usd/sdf/schema.h>

#include <gtest/gtest.h>

using namespace pxr;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOpList;
using vela_test::Describe;
using vela_test::LogCapture;
using vela_test::Unpack;
using Lines = std::vector<std::string>;

namespace {

class SyncLayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        layer = SdfLayer::CreateAnonymous("test.vela");
        ASSERT_TRUE(layer);
        SyncData::GetLayerUpdates(layer);
    }

    SyncOpList Ops() { return SyncData::GetLayerUpdates(layer); }
    Lines Updates() { return Describe(Ops()); }

    SdfPrimSpecHandle NewPrim(const char* name, const char* type = "")
    {
        return SdfPrimSpec::New(layer->GetPseudoRoot(), name, SdfSpecifierDef,
                                type);
    }

    SdfLayerRefPtr layer;
};

} // namespace

TEST(SyncLayer, FreshLayerYieldsItsPseudoRootCreationOnce)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("fresh.vela");
    ASSERT_TRUE(layer);
    EXPECT_EQ(Describe(SyncData::GetLayerUpdates(layer)),
              Lines{"CreateNode / 7"});
    EXPECT_TRUE(SyncData::GetLayerUpdates(layer).empty());
    EXPECT_TRUE(SyncData::GetLayerUpdates(*layer).empty());
}

TEST_F(SyncLayerTest, AuthoringAPrimRecordsItsSpecAndFieldsInOrder)
{
    SdfPrimSpecHandle prim = NewPrim("A", "Xform");
    const SyncOpList ops = Ops();
    ASSERT_EQ(Describe(ops),
              (Lines{"CreateNode /A 6", "SetField / primChildren",
                     "SetField /A specifier", "SetField /A typeName"}));
    EXPECT_EQ(Unpack(ops[1]), VtValue(TfTokenVector{TfToken("A")}));
    EXPECT_EQ(Unpack(ops[2]), VtValue(SdfSpecifierDef));
    EXPECT_EQ(Unpack(ops[3]), VtValue(TfToken("Xform")));

    // The second edit of the comment supersedes the first.
    prim->SetComment("first");
    prim->SetComment("second");
    const SyncOpList edits = Ops();
    ASSERT_EQ(Describe(edits), (Lines{"SetField /A comment"}));
    EXPECT_EQ(Unpack(edits[0]), VtValue(std::string("second")));
    EXPECT_TRUE(Updates().empty());
}

TEST_F(SyncLayerTest, PropertiesAndMetadataArriveAsPackedValues)
{
    SdfPrimSpecHandle prim = NewPrim("A");
    SdfAttributeSpecHandle f =
        SdfAttributeSpec::New(prim, "f", SdfValueTypeNames->Float);
    SdfAttributeSpecHandle points =
        SdfAttributeSpec::New(prim, "points", SdfValueTypeNames->Float3Array);
    SdfRelationshipSpecHandle rel = SdfRelationshipSpec::New(prim, "r");
    Ops();

    const VtVec3fArray pts = {GfVec3f(1, 2, 3), GfVec3f(4, 5, 6)};
    f->SetDefaultValue(VtValue(1.5f));
    points->SetDefaultValue(VtValue(pts));
    prim->SetDocumentation("about A");
    rel->GetTargetPathList().Add(SdfPath("/B"));
    const SyncOpList ops = Ops();
    ASSERT_GE(ops.size(), 4u);
    EXPECT_EQ(Describe(SyncOpList(ops.begin(), ops.begin() + 3)),
              (Lines{"SetField /A.f default", "SetField /A.points default",
                     "SetField /A documentation"}));
    EXPECT_EQ(Unpack(ops[0]), VtValue(1.5f));
    EXPECT_EQ(Unpack(ops[1]), VtValue(pts));
    EXPECT_EQ(Unpack(ops[2]), VtValue(std::string("about A")));
    EXPECT_EQ(Describe(ops[3]), "SetField /A.r targetPaths");
    const VtValue targets = Unpack(ops[3]);
    ASSERT_TRUE(targets.IsHolding<SdfPathListOp>()) << targets.GetTypeName();
    EXPECT_EQ(targets.UncheckedGet<SdfPathListOp>().GetAddedItems(),
              SdfPathVector{SdfPath("/B")});

    f->ClearDefaultValue();
    EXPECT_EQ(Updates(), Lines{"EraseField /A.f default"});
}

TEST_F(SyncLayerTest, RenameAndRemoveRecordMovesAndErases)
{
    SdfPrimSpecHandle prim = NewPrim("A");
    SdfAttributeSpec::New(prim, "f", SdfValueTypeNames->Float);
    Ops();
    ASSERT_TRUE(prim->SetName("B"));
    EXPECT_EQ(Updates(), (Lines{"MoveNode /A.f -> /B.f", "MoveNode /A -> /B",
                                "SetField / primChildren"}));

    SdfBatchNamespaceEdit edit;
    edit.Add(SdfPath("/B"), SdfPath::EmptyPath());
    ASSERT_TRUE(layer->Apply(edit));
    EXPECT_EQ(Updates(), (Lines{"EraseNode /B.f", "EraseNode /B",
                                "EraseField / primChildren"}));
    EXPECT_FALSE(layer->GetPrimAtPath(SdfPath("/B")));
}

TEST_F(SyncLayerTest, RefreshBringsTheLayerIntoAgreementWithoutEcho)
{
    // Pending before the refresh, and dropped with it.
    NewPrim("Old")->SetComment("pending");

    SyncDataRefPtr remote = SyncData::New();
    remote->CreateNode(SdfPath("/New"), SdfSpecTypePrim);
    // Sdf leaves fields at their fallback unauthored, so use other values.
    remote->SetField(SdfPath("/New"), SdfFieldKeys->Specifier,
                     VtValue(SdfSpecifierDef));
    remote->SetField(SdfPath("/New"), SdfFieldKeys->Comment,
                     VtValue(std::string("remote")));
    remote->SetField(SdfPath("/"), SdfChildrenKeys->PrimChildren,
                     VtValue(TfTokenVector{TfToken("New")}));
    SyncFileFormat::RefreshData(layer, remote);

    EXPECT_FALSE(layer->GetPrimAtPath(SdfPath("/Old")));
    SdfPrimSpecHandle prim = layer->GetPrimAtPath(SdfPath("/New"));
    ASSERT_TRUE(prim);
    EXPECT_EQ(prim->GetComment(), "remote");
    EXPECT_EQ(vela_test::Dump(*SyncFileFormat::GetData(*layer)),
              vela_test::Dump(*remote));
    EXPECT_TRUE(Updates().empty());

    prim->SetComment("local");
    EXPECT_EQ(Updates(), Lines{"SetField /New comment"});

    LogCapture cap;
    SyncFileFormat::RefreshData(layer, SdfAbstractDataRefPtr());
    SyncFileFormat::RefreshData(SdfLayerHandle(), SyncData::New());
    SyncFileFormat::ResetData(SdfLayerHandle());
    EXPECT_EQ(cap.CountLevel(spdlog::level::err), 3u);
    EXPECT_TRUE(layer->GetPrimAtPath(SdfPath("/New")));
}

TEST_F(SyncLayerTest, ResetLeavesOnlyThePseudoRootAndItsCreation)
{
    NewPrim("A");
    layer->SetComment("root comment");
    SyncFileFormat::ResetData(layer);
    const auto dump = vela_test::Dump(*SyncFileFormat::GetData(*layer));
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump.begin()->first, "/");
    EXPECT_TRUE(dump.begin()->second.second.empty());
    EXPECT_EQ(Updates(), Lines{"CreateNode / 7"});
}

TEST(SyncLayer, LayersOfOtherFormatsAreRefused)
{
    SdfLayerRefPtr usda = SdfLayer::CreateAnonymous("other.usda");
    LogCapture cap;
    EXPECT_TRUE(SyncData::GetLayerUpdates(usda).empty());
    EXPECT_EQ(
        cap.Count(spdlog::level::err, "Layer is not using SyncFileFormat."),
        1u);
    EXPECT_TRUE(SyncData::GetLayerUpdates(SdfLayerRefPtr()).empty());
    EXPECT_EQ(cap.Count(spdlog::level::err, "Invalid layer."), 1u);
}

// The update list of a layer, applied in order to a new store, rebuilds
// the layer's specs and fields.
TEST(SyncLayer, ReplayingUpdatesRebuildsTheLayer)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("replay.vela");
    SyncOpList all = SyncData::GetLayerUpdates(layer);

    SdfPrimSpecHandle world = SdfPrimSpec::New(layer->GetPseudoRoot(), "World",
                                               SdfSpecifierDef, "Xform");
    SdfPrimSpecHandle a = SdfPrimSpec::New(world, "A", SdfSpecifierDef, "Mesh");
    SdfPrimSpecHandle b = SdfPrimSpec::New(world, "B", SdfSpecifierOver);
    SdfAttributeSpecHandle size =
        SdfAttributeSpec::New(a, "size", SdfValueTypeNames->Double);
    size->SetDefaultValue(VtValue(2.0));
    SdfAttributeSpec::New(a, "points", SdfValueTypeNames->Float3Array)
        ->SetDefaultValue(VtValue(VtVec3fArray{GfVec3f(0, 1, 2)}));
    SdfAttributeSpec::New(a, "label", SdfValueTypeNames->String,
                          SdfVariabilityUniform, true)
        ->SetDefaultValue(VtValue(std::string("hello")));
    SdfRelationshipSpec::New(a, "target")
        ->GetTargetPathList()
        .Add(SdfPath("/World/B"));
    a->SetDocumentation("mesh");
    a->SetComment("c");
    a->SetComment("");
    b->SetActive(false);
    b->SetName("C");
    size->SetDefaultValue(VtValue(3.0));
    SdfPrimSpec::New(world, "Gone", SdfSpecifierDef);
    world->RemoveNameChild(world->GetNameChildren().get("Gone"));

    const SyncOpList updates = SyncData::GetLayerUpdates(layer);
    all.insert(all.end(), updates.begin(), updates.end());
    SyncDataRefPtr replica = SyncData::New();
    for (const auto& op : all) {
        replica->ApplySyncOp(op);
    }
    EXPECT_EQ(vela_test::Dump(*replica),
              vela_test::Dump(*SyncFileFormat::GetData(*layer)));
}
