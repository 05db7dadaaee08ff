// A store's record of changed specs, the refresh that looks only at them,
// compared with the full refresh of a second layer from the same store, and
// the snapshot body encoded from a store.
#include "sync/opFrame.h"
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/base/tf/notice.h>
#include <pxr/base/tf/weakBase.h>
#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/notice.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/schema.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace pxr;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela_test::ChangeWatcher;
using vela_test::Dump;
using vela_test::LogCapture;

namespace {

// Specs, types and fields as a layer means them: field order aside, fields
// stored empty or holding their fallback (which Sdf may or may not write)
// left out.
using Content = std::map<SdfPath, std::pair<int, std::map<TfToken, VtValue>>>;

Content Comparable(const SdfLayerHandle& layer)
{
    const SyncData& data = *SyncFileFormat::GetData(*layer);
    Content content;
    for (const auto& [text, spec] : Dump(data)) {
        auto& entry = content[SdfPath(text)];
        entry.first = spec.first;
        for (const auto& [name, value] : spec.second) {
            const TfToken field(name);
            if (!value.IsEmpty() &&
                value != SdfSchema::GetInstance().GetFallback(field)) {
                entry.second[field] = value;
            }
        }
    }
    return content;
}

std::set<SdfPath> Paths(const SyncData& data)
{
    return {data.GetChangedPaths().begin(), data.GetChangedPaths().end()};
}

void Prim(SyncData& store, const std::string& path, const char* type = "")
{
    store.CreateNode(SdfPath(path), SdfSpecTypePrim);
    store.SetField(SdfPath(path), SdfFieldKeys->Specifier,
                   VtValue(SdfSpecifierDef));
    if (*type) {
        store.SetField(SdfPath(path), SdfFieldKeys->TypeName,
                       VtValue(TfToken(type)));
    }
}

void Attribute(SyncData& store, const std::string& path, double value)
{
    store.CreateNode(SdfPath(path), SdfSpecTypeAttribute);
    store.SetField(SdfPath(path), SdfFieldKeys->TypeName,
                   VtValue(TfToken("double")));
    store.SetField(SdfPath(path), SdfFieldKeys->Custom, VtValue(false));
    store.SetField(SdfPath(path), SdfFieldKeys->Default, VtValue(value));
}

void Children(SyncData& store, const std::string& path, const TfToken& field,
              const std::vector<std::string>& names)
{
    TfTokenVector tokens(names.begin(), names.end());
    if (tokens.empty()) {
        store.Erase(SdfPath(path), field);
    } else {
        store.SetField(SdfPath(path), field, VtValue(tokens));
    }
}

// A scene of /G0../G2, each with prims P0..P3 holding a double attribute
// "size", refreshed into two layers: one incrementally, one in full.
class RefreshChangedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        store = SyncData::New();
        std::vector<std::string> groups;
        for (int g = 0; g < 3; ++g) {
            const std::string group = "/G" + std::to_string(g);
            Prim(*store, group, "Xform");
            std::vector<std::string> prims;
            for (int p = 0; p < 4; ++p) {
                const std::string prim = group + "/P" + std::to_string(p);
                Prim(*store, prim, "Mesh");
                Attribute(*store, prim + ".size", p);
                Children(*store, prim, SdfChildrenKeys->PropertyChildren,
                         {"size"});
                prims.push_back("P" + std::to_string(p));
            }
            Children(*store, group, SdfChildrenKeys->PrimChildren, prims);
            groups.push_back("G" + std::to_string(g));
        }
        Children(*store, "/", SdfChildrenKeys->PrimChildren, groups);
        incremental = SdfLayer::CreateAnonymous("incremental.vela");
        full = SdfLayer::CreateAnonymous("full.vela");
        Refresh();
    }

    // Both refreshes; true when the incremental one did not fall back.
    bool Refresh()
    {
        bool fellBack = false;
        {
            LogCapture capture;
            SyncFileFormat::RefreshChangedData(incremental, store);
            for (const auto& line : capture.Lines()) {
                fellBack =
                    fellBack || line.text.find("in full") != std::string::npos;
            }
        }
        SyncFileFormat::RefreshData(full, store);
        return !fellBack;
    }

    void ExpectSameLayers()
    {
        EXPECT_EQ(Comparable(incremental), Comparable(full));
        EXPECT_TRUE(SyncData::GetLayerUpdates(incremental).empty());
    }

    SyncDataRefPtr store;
    SdfLayerRefPtr incremental;
    SdfLayerRefPtr full;
};

} // namespace

TEST(ChangeTracking, StoreRecordsEveryKindOfChangeAtItsPaths)
{
    SyncDataRefPtr store = SyncData::New();
    EXPECT_TRUE(store->GetChangedPaths().empty());
    store->CreateNode(SdfPath("/A"), SdfSpecTypePrim);
    store->CreateNode(SdfPath("/B"), SdfSpecTypePrim);
    store->CreateNode(SdfPath("/C"), SdfSpecTypePrim);
    store->SetField(SdfPath("/A"), SdfFieldKeys->Comment, VtValue("a"));
    store->ClearChangedPaths();

    store->SetField(SdfPath("/A"), SdfFieldKeys->Comment, VtValue("b"));
    store->ApplySyncOp(vela_test::RawOp(vela::SyncOp::MoveNode, "/D", "/B"));
    store->ApplySyncOp(vela_test::RawOp(vela::SyncOp::EraseNode, "/C"));
    EXPECT_EQ(Paths(*store), (std::set<SdfPath>{SdfPath("/A"), SdfPath("/B"),
                                                SdfPath("/C"), SdfPath("/D")}));
    store->ClearChangedPaths();
    store->ApplySyncOp(
        vela_test::RawOp(vela::SyncOp::EraseField, "/A", "comment"));
    store->ApplySyncOp(vela_test::RawOp(vela::SyncOp::CreateNode, "/E", "", 6));
    EXPECT_EQ(Paths(*store), (std::set<SdfPath>{SdfPath("/A"), SdfPath("/E")}));
    EXPECT_FALSE(store->HasChangedPathsOverflowed());
}

TEST(ChangeTracking, RecordIsDroppedOnceTooManySpecsChanged)
{
    SyncDataRefPtr store = SyncData::New();
    for (int i = 0; i < 256; ++i) {
        store->CreateNode(SdfPath("/P" + std::to_string(i)), SdfSpecTypePrim);
    }
    EXPECT_FALSE(store->HasChangedPathsOverflowed());
    EXPECT_EQ(store->GetChangedPaths().size(), 256u);
    store->CreateNode(SdfPath("/Last"), SdfSpecTypePrim);
    EXPECT_TRUE(store->HasChangedPathsOverflowed());
    EXPECT_TRUE(store->GetChangedPaths().empty());
    store->SetField(SdfPath("/Last"), SdfFieldKeys->Comment, VtValue("x"));
    EXPECT_TRUE(store->GetChangedPaths().empty());
    store->ClearChangedPaths();
    EXPECT_FALSE(store->HasChangedPathsOverflowed());
    store->SetField(SdfPath("/Last"), SdfFieldKeys->Comment, VtValue("y"));
    EXPECT_EQ(Paths(*store), std::set<SdfPath>{SdfPath("/Last")});
}

TEST(ChangeTracking, LayerStoreRecordsLocalEditsButNotItsRefresh)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("tracked.vela");
    SyncDataRefPtr store = SyncData::New();
    Prim(*store, "/A");
    Children(*store, "/", SdfChildrenKeys->PrimChildren, {"A"});
    SyncFileFormat::RefreshData(layer, store);
    const SyncData& own = *SyncFileFormat::GetData(*layer);
    EXPECT_TRUE(own.GetChangedPaths().empty());
    EXPECT_TRUE(store->GetChangedPaths().empty());
    EXPECT_EQ(get_pointer(store->GetRefreshedStore()), &own);
    EXPECT_EQ(get_pointer(own.GetRefreshedStore()), get_pointer(store));

    layer->GetPrimAtPath(SdfPath("/A"))->SetComment("local");
    EXPECT_EQ(Paths(own), std::set<SdfPath>{SdfPath("/A")});
}

TEST_F(RefreshChangedTest, FieldEditsReachTheLayerAsTheFullRefreshMakesThem)
{
    store->SetField(SdfPath("/G0/P1.size"), SdfFieldKeys->Default,
                    VtValue(9.0));
    store->SetField(SdfPath("/G1"), SdfFieldKeys->Documentation,
                    VtValue(std::string("doc")));
    store->Erase(SdfPath("/G2/P0"), SdfFieldKeys->TypeName);
    Children(*store, "/G1", SdfChildrenKeys->PrimChildren,
             {"P3", "P1", "P2", "P0"});
    ChangeWatcher watcher(incremental);
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
    EXPECT_EQ(watcher.notices, 1);
    EXPECT_EQ(watcher.replaced, 0);
    EXPECT_EQ(watcher.PathSet(),
              (std::set<SdfPath>{SdfPath("/G0/P1.size"), SdfPath("/G1"),
                                 SdfPath("/G2/P0")}));
    EXPECT_EQ(incremental->GetPrimAtPath(SdfPath("/G1"))
                  ->GetNameChildren()
                  .front()
                  ->GetName(),
              "P3");
    EXPECT_TRUE(store->GetChangedPaths().empty());
}

TEST_F(RefreshChangedTest, OneAttributeChangeIsReportedAtThatPathAlone)
{
    store->SetField(SdfPath("/G2/P3.size"), SdfFieldKeys->Default,
                    VtValue(-1.0));
    ChangeWatcher watcher(incremental);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(watcher.PathSet(), std::set<SdfPath>{SdfPath("/G2/P3.size")});
    EXPECT_EQ(watcher.replaced, 0);
    EXPECT_EQ(incremental->GetAttributeAtPath(SdfPath("/G2/P3.size"))
                  ->GetDefaultValue(),
              VtValue(-1.0));
    ExpectSameLayers();
}

TEST_F(RefreshChangedTest, CreatedAndErasedPrimsAndPropertiesMatch)
{
    // A new prim with a typeless def child, a relationship and an
    // attribute; a new attribute on an old prim.
    Prim(*store, "/G0/New", "Sphere");
    Prim(*store, "/G0/New/Child");
    Attribute(*store, "/G0/New.radius", 2.0);
    store->CreateNode(SdfPath("/G0/New.rel"), SdfSpecTypeRelationship);
    store->SetField(SdfPath("/G0/New.rel"), SdfFieldKeys->Custom,
                    VtValue(true));
    Children(*store, "/G0/New", SdfChildrenKeys->PrimChildren, {"Child"});
    Children(*store, "/G0/New", SdfChildrenKeys->PropertyChildren,
             {"rel", "radius"});
    Children(*store, "/G0", SdfChildrenKeys->PrimChildren,
             {"New", "P0", "P1", "P2", "P3"});
    Attribute(*store, "/G1/P0.extra", 1.0);
    Children(*store, "/G1/P0", SdfChildrenKeys->PropertyChildren,
             {"extra", "size"});
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
    EXPECT_EQ(
        incremental->GetPrimAtPath(SdfPath("/G0/New/Child"))->GetTypeName(),
        TfToken());

    // A prim erased with its subtree, a property erased alone.
    for (const char* path : {"/G0/New/Child", "/G0/New.radius", "/G0/New.rel",
                             "/G0/New", "/G1/P0.size"}) {
        store->EraseSpec(SdfPath(path));
    }
    Children(*store, "/G0", SdfChildrenKeys->PrimChildren,
             {"P0", "P1", "P2", "P3"});
    Children(*store, "/G1/P0", SdfChildrenKeys->PropertyChildren, {"extra"});
    ChangeWatcher watcher(incremental);
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
    EXPECT_FALSE(incremental->GetPrimAtPath(SdfPath("/G0/New")));
    EXPECT_EQ(watcher.replaced, 0);
    for (const SdfPath& path : watcher.PathSet()) {
        EXPECT_TRUE(path.HasPrefix(SdfPath("/G0")) ||
                    path.HasPrefix(SdfPath("/G1/P0")))
            << path;
    }
}

TEST_F(RefreshChangedTest, RenamesReordersAndRetypedAttributesMatch)
{
    // /G1/P2 renamed /G1/Moved, as a peer's frame carries it: every spec
    // of the subtree moved, the parent's children changed.
    store->MoveSpec(SdfPath("/G1/P2"), SdfPath("/G1/Moved"));
    store->MoveSpec(SdfPath("/G1/P2.size"), SdfPath("/G1/Moved.size"));
    Children(*store, "/G1", SdfChildrenKeys->PrimChildren,
             {"P0", "Moved", "P1", "P3"});
    // An attribute's value type changed: made anew.
    store->SetField(SdfPath("/G2/P1.size"), SdfFieldKeys->TypeName,
                    VtValue(TfToken("float")));
    store->SetField(SdfPath("/G2/P1.size"), SdfFieldKeys->Default,
                    VtValue(1.5f));
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
    EXPECT_FALSE(incremental->GetPrimAtPath(SdfPath("/G1/P2")));
    EXPECT_EQ(incremental->GetAttributeAtPath(SdfPath("/G1/Moved.size"))
                  ->GetDefaultValue(),
              VtValue(2.0));
    EXPECT_EQ(incremental->GetAttributeAtPath(SdfPath("/G2/P1.size"))
                  ->GetTypeName()
                  .GetAsToken(),
              TfToken("float"));

    // Variant sets and variants, with a prim inside a variant.
    store->CreateNode(SdfPath("/G0{look=}"), SdfSpecTypeVariantSet);
    store->CreateNode(SdfPath("/G0{look=red}"), SdfSpecTypeVariant);
    store->SetField(SdfPath("/G0{look=red}"), SdfFieldKeys->Specifier,
                    VtValue(SdfSpecifierOver));
    Prim(*store, "/G0{look=red}Inner", "Cube");
    Children(*store, "/G0{look=red}", SdfChildrenKeys->PrimChildren, {"Inner"});
    Children(*store, "/G0{look=}", SdfChildrenKeys->VariantChildren, {"red"});
    Children(*store, "/G0", SdfChildrenKeys->VariantSetChildren, {"look"});
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
    EXPECT_TRUE(incremental->GetPrimAtPath(SdfPath("/G0{look=red}Inner")));
}

TEST_F(RefreshChangedTest, TargetSpecsAndOrphansGoThroughTheFullRefresh)
{
    store->CreateNode(SdfPath("/G0/P0.rel"), SdfSpecTypeRelationship);
    store->CreateNode(SdfPath("/G0/P0.rel[/G1]"),
                      SdfSpecTypeRelationshipTarget);
    store->SetField(SdfPath("/G0/P0.rel"),
                    SdfChildrenKeys->RelationshipTargetChildren,
                    VtValue(SdfPathVector{SdfPath("/G1")}));
    Children(*store, "/G0/P0", SdfChildrenKeys->PropertyChildren,
             {"size", "rel"});
    EXPECT_FALSE(Refresh());
    ExpectSameLayers();

    // A prim whose parent the data does not hold.
    Prim(*store, "/Nowhere/Orphan");
    EXPECT_FALSE(Refresh());
    ExpectSameLayers();
    // Back on the incremental way after a full one.
    store->SetField(SdfPath("/G0/P0.size"), SdfFieldKeys->Default,
                    VtValue(4.0));
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
}

TEST_F(RefreshChangedTest, ReadingBackItsOwnEditsMakesNoEdit)
{
    SyncData::GetLayerUpdates(incremental);
    SdfPrimSpecHandle prim =
        SdfPrimSpec::New(incremental->GetPrimAtPath(SdfPath("/G0")), "Local",
                         SdfSpecifierDef, "Cube");
    SdfAttributeSpec::New(prim, "width", SdfValueTypeNames->Double)
        ->SetDefaultValue(VtValue(3.0));
    incremental->GetAttributeAtPath(SdfPath("/G1/P1.size"))
        ->SetDefaultValue(VtValue(8.0));
    for (const vela::SyncOp& op : SyncData::GetLayerUpdates(incremental)) {
        store->ApplySyncOp(op);
    }
    ChangeWatcher watcher(incremental);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(watcher.notices, 0);
    ExpectSameLayers();
}

TEST_F(RefreshChangedTest, LocalEditsTheStoreDoesNotHoldAreUndone)
{
    incremental->GetPrimAtPath(SdfPath("/G2"))->SetComment("local only");
    SdfPrimSpec::New(incremental->GetPseudoRoot(), "Stray", SdfSpecifierDef,
                     "");
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
    EXPECT_FALSE(incremental->GetPrimAtPath(SdfPath("/Stray")));
    EXPECT_EQ(incremental->GetPrimAtPath(SdfPath("/G2"))->GetComment(), "");
}

TEST_F(RefreshChangedTest, InconsistentChangesAreRefusedAndTheLayerKept)
{
    const Content before = Comparable(incremental);
    // A changed children list naming a spec that is not there.
    Children(*store, "/G0/P0", SdfChildrenKeys->PrimChildren, {"Ghost"});
    store->SetField(SdfPath("/G0/P1.size"), SdfFieldKeys->Default,
                    VtValue(5.0));
    {
        LogCapture capture;
        SyncFileFormat::RefreshChangedData(incremental, store);
        ASSERT_EQ(capture.CountLevel(spdlog::level::err), 1u);
        EXPECT_NE(capture.Lines().back().text.find(
                      "RefreshData: refused, the sync data is not consistent"),
                  std::string::npos);
    }
    EXPECT_EQ(Comparable(incremental), before);
    store->Erase(SdfPath("/G0/P0"), SdfChildrenKeys->PrimChildren);

    // An erased spec that its unchanged parent still names.
    store->EraseSpec(SdfPath("/G2/P3.size"));
    {
        LogCapture capture;
        SyncFileFormat::RefreshChangedData(incremental, store);
        EXPECT_EQ(capture.CountLevel(spdlog::level::err), 1u);
    }
    EXPECT_EQ(Comparable(incremental), before);
    EXPECT_FALSE(store->GetChangedPaths().empty());

    // Made consistent, the whole record goes in.
    Children(*store, "/G2/P3", SdfChildrenKeys->PropertyChildren, {});
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
    EXPECT_FALSE(incremental->GetAttributeAtPath(SdfPath("/G2/P3.size")));
}

TEST_F(RefreshChangedTest, RefusedRefreshKeepsLocalEditsPending)
{
    SyncData::GetLayerUpdates(incremental);
    incremental->GetPrimAtPath(SdfPath("/G1"))->SetComment("local");
    Children(*store, "/G0/P0", SdfChildrenKeys->PrimChildren, {"Ghost"});
    {
        LogCapture capture;
        SyncFileFormat::RefreshChangedData(incremental, store);
        SyncFileFormat::RefreshChangedData(incremental, store);
        EXPECT_EQ(capture.CountLevel(spdlog::level::err), 2u);
    }
    // The peers have yet to hear of the edit, which the layer still holds.
    EXPECT_EQ(vela_test::Describe(SyncData::GetLayerUpdates(incremental)),
              std::vector<std::string>{"SetField /G1 comment"});

    // Taken, the refresh drops what is pending and undoes the edit.
    incremental->GetPrimAtPath(SdfPath("/G1"))->SetComment("again");
    store->Erase(SdfPath("/G0/P0"), SdfChildrenKeys->PrimChildren);
    EXPECT_TRUE(Refresh());
    ExpectSameLayers();
    EXPECT_EQ(incremental->GetPrimAtPath(SdfPath("/G1"))->GetComment(), "");
}

TEST_F(RefreshChangedTest, RecordsWithoutUseFallBackToTheFullRefresh)
{
    // A store that never refreshed the layer.
    SyncDataRefPtr other = SyncData::New();
    Prim(*other, "/Other");
    Children(*other, "/", SdfChildrenKeys->PrimChildren, {"Other"});
    {
        LogCapture capture;
        SyncFileFormat::RefreshChangedData(incremental, other);
        ASSERT_FALSE(capture.Lines().empty());
        EXPECT_NE(capture.Lines().front().text.find("did not refresh"),
                  std::string::npos);
    }
    EXPECT_TRUE(incremental->GetPrimAtPath(SdfPath("/Other")));
    EXPECT_FALSE(incremental->GetPrimAtPath(SdfPath("/G0")));
    // The store that did refresh it before is told apart.
    store->SetField(SdfPath("/G0"), SdfFieldKeys->Comment, VtValue("c"));
    EXPECT_FALSE(Refresh());
    ExpectSameLayers();

    // A record that overflowed.
    for (int i = 0; i < 300; ++i) {
        store->SetField(SdfPath("/G0/P0.size"),
                        TfToken("custom" + std::to_string(i)), VtValue(i));
        store->CreateNode(SdfPath("/G0/X" + std::to_string(i)),
                          SdfSpecTypePrim);
    }
    EXPECT_TRUE(store->HasChangedPathsOverflowed());
    EXPECT_FALSE(Refresh());
    ExpectSameLayers();
    EXPECT_FALSE(store->HasChangedPathsOverflowed());
}

TEST(EncodeStore, BodyRebuildsTheStoreFieldOrderIncluded)
{
    SyncDataRefPtr store = SyncData::New();
    Prim(*store, "/A", "Xform");
    Prim(*store, "/A/B");
    Attribute(*store, "/A/B.size", 1.0);
    store->SetField(SdfPath("/A/B.size"), SdfFieldKeys->Comment, VtValue());
    store->CreateNode(SdfPath("/A.rel"), SdfSpecTypeRelationship);
    store->CreateNode(SdfPath("/A.rel[/A/B]"), SdfSpecTypeRelationshipTarget);
    store->SetField(SdfPath("/A.rel"),
                    SdfChildrenKeys->RelationshipTargetChildren,
                    VtValue(SdfPathVector{SdfPath("/A/B")}));
    store->CreateNode(SdfPath("/A{v=}"), SdfSpecTypeVariantSet);
    store->CreateNode(SdfPath("/A{v=x}"), SdfSpecTypeVariant);
    Prim(*store, "/A{v=x}In");
    Attribute(*store, "/A{v=x}In.size", 2.0);
    Children(*store, "/A{v=x}In", SdfChildrenKeys->PropertyChildren, {"size"});
    Children(*store, "/A{v=x}", SdfChildrenKeys->PrimChildren, {"In"});
    Children(*store, "/A{v=}", SdfChildrenKeys->VariantChildren, {"x"});
    Children(*store, "/A", SdfChildrenKeys->VariantSetChildren, {"v"});
    Children(*store, "/A", SdfChildrenKeys->PropertyChildren, {"rel"});
    Children(*store, "/A", SdfChildrenKeys->PrimChildren, {"B"});
    Children(*store, "/A/B", SdfChildrenKeys->PropertyChildren, {"size"});
    Children(*store, "/", SdfChildrenKeys->PrimChildren, {"A"});
    store->SetField(SdfPath("/"), SdfFieldKeys->Documentation,
                    VtValue(std::string("root")));

    size_t leftOut = 1;
    const std::string body = vela::OpFrame::EncodeStore(*store, &leftOut);
    EXPECT_EQ(leftOut, 0u);
    SyncDataRefPtr rebuilt = SyncData::New();
    size_t applied = 0;
    std::string error;
    ASSERT_TRUE(vela::OpFrame::Apply(
        reinterpret_cast<const uint8_t*>(body.data()), body.size(),
        get_pointer(rebuilt), &applied, &error))
        << error;
    EXPECT_EQ(Dump(*rebuilt), Dump(*store));

    // Parents come before their children, and an unreachable spec is left
    // out.
    vela::SyncOpList ops;
    ASSERT_TRUE(
        vela::OpFrame::Decode(reinterpret_cast<const uint8_t*>(body.data()),
                              body.size(), &ops, &error));
    std::vector<std::string> created;
    for (const auto& op : ops) {
        if (op.opType == vela::SyncOp::CreateNode) {
            created.push_back(op.nodePath);
        }
    }
    // The children fields in the order /A holds them.
    EXPECT_EQ(created,
              (std::vector<std::string>{"/A", "/A{v=}", "/A{v=x}", "/A{v=x}In",
                                        "/A{v=x}In.size", "/A.rel",
                                        "/A.rel[/A/B]", "/A/B", "/A/B.size"}));
    // A child listed twice is written once, and so is its subtree.
    Children(*store, "/A", SdfChildrenKeys->PrimChildren, {"B", "B"});
    const std::string once = vela::OpFrame::EncodeStore(*store);
    ASSERT_TRUE(
        vela::OpFrame::Decode(reinterpret_cast<const uint8_t*>(once.data()),
                              once.size(), &ops, &error));
    EXPECT_EQ(std::count_if(ops.begin(), ops.end(),
                            [](const vela::SyncOp& op) {
                                return op.opType == vela::SyncOp::CreateNode &&
                                       op.nodePath == "/A/B.size";
                            }),
              1);
    store->CreateNode(SdfPath("/Lost/Orphan"), SdfSpecTypePrim);
    vela::OpFrame::EncodeStore(*store, &leftOut);
    EXPECT_EQ(leftOut, 1u);
}
