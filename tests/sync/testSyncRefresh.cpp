// How a sync layer's refresh is carried out: a refresh that replaces most
// of the layer swaps a copy of the incoming store in whole, a small one
// edits the layer's store in place, content the layer holds already
// changes nothing. What OpenUSD's listeners are told in each case.
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/base/tf/notice.h>
#include <pxr/base/tf/weakBase.h>
#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/changeList.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/notice.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/schema.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace pxr;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela_test::ChangeWatcher;
using vela_test::Describe;
using vela_test::Dump;
using vela_test::LogCapture;
using Lines = std::vector<std::string>;

namespace {

// A store with def prims /<prefix>0 .. /<prefix>(count-1), each with a
// comment, listed as the pseudo-root's children.
SyncDataRefPtr Scene(const std::string& prefix, int count)
{
    SyncDataRefPtr store = SyncData::New();
    TfTokenVector names;
    for (int i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(i);
        const SdfPath path("/" + name);
        store->CreateNode(path, SdfSpecTypePrim);
        store->SetField(path, SdfFieldKeys->Specifier,
                        VtValue(SdfSpecifierDef));
        store->SetField(path, SdfFieldKeys->Comment, VtValue(name));
        names.emplace_back(name);
    }
    store->SetField(SdfPath::AbsoluteRootPath(), SdfChildrenKeys->PrimChildren,
                    VtValue(names));
    return store;
}

class SyncRefreshTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        layer = SdfLayer::CreateAnonymous("refresh.vela");
        ASSERT_TRUE(layer);
        SyncData::GetLayerUpdates(layer);
    }

    const SyncData* Store()
    {
        return get_pointer(SyncFileFormat::GetData(*layer));
    }
    Lines Updates() { return Describe(SyncData::GetLayerUpdates(layer)); }

    SdfLayerRefPtr layer;
};

} // namespace

TEST_F(SyncRefreshTest, WholeRefreshGivesTheLayerACopyInOneStep)
{
    SdfPrimSpec::New(layer->GetPseudoRoot(), "Pending", SdfSpecifierDef, "");
    const SyncData* before = Store();
    SyncDataRefPtr remote = Scene("P", 400);
    {
        ChangeWatcher watcher(layer);
        SyncFileFormat::RefreshData(layer, remote);
        EXPECT_EQ(watcher.notices, 1);
        EXPECT_EQ(watcher.replaced, 1);
        EXPECT_EQ(watcher.paths,
                  std::vector<SdfPath>{SdfPath::AbsoluteRootPath()});
    }
    const SyncData* after = Store();
    ASSERT_TRUE(after);
    EXPECT_NE(after, before);
    EXPECT_NE(after, get_pointer(remote));
    EXPECT_TRUE(after->IsOwnedByLayer());
    EXPECT_FALSE(after->StreamsData());
    EXPECT_EQ(Dump(*after), Dump(*remote));
    EXPECT_TRUE(dynamic_cast<const SyncFileFormat*>(
        get_pointer(layer->GetFileFormat())));
    EXPECT_FALSE(layer->GetPrimAtPath(SdfPath("/Pending")));
    EXPECT_TRUE(Updates().empty());

    // The layer's copy is its own: the replica fed further leaves it be,
    // and local edits are recorded in the copy alone.
    remote->SetField(SdfPath("/P1"), SdfFieldKeys->Comment,
                     VtValue(std::string("later")));
    EXPECT_EQ(layer->GetPrimAtPath(SdfPath("/P1"))->GetComment(), "P1");
    layer->GetPrimAtPath(SdfPath("/P2"))->SetComment("local");
    EXPECT_EQ(Updates(), Lines{"SetField /P2 comment"});
    EXPECT_EQ(remote->GetPendingOpCount(), 1u); // its pseudo-root's creation
}

TEST_F(SyncRefreshTest, ReplacingMostOfAFullLayerIsWholeAndSmallEditsStayFine)
{
    SyncFileFormat::RefreshData(layer, Scene("A", 300));
    const SyncData* first = Store();

    // A few changed fields: edited in place, one notice per changed spec.
    SyncDataRefPtr edited = Scene("A", 300);
    edited->SetField(SdfPath("/A7"), SdfFieldKeys->Comment,
                     VtValue(std::string("seven")));
    edited->CreateNode(SdfPath("/A7.size"), SdfSpecTypeAttribute);
    edited->SetField(SdfPath("/A7.size"), SdfFieldKeys->TypeName,
                     VtValue(TfToken("double")));
    edited->SetField(SdfPath("/A7"), SdfChildrenKeys->PropertyChildren,
                     VtValue(TfTokenVector{TfToken("size")}));
    {
        ChangeWatcher watcher(layer);
        SyncFileFormat::RefreshData(layer, edited);
        EXPECT_EQ(watcher.replaced, 0);
        EXPECT_FALSE(watcher.paths.empty());
        for (const SdfPath& path : watcher.paths) {
            EXPECT_TRUE(path.HasPrefix(SdfPath("/A7"))) << path;
        }
    }
    EXPECT_EQ(Store(), first);
    EXPECT_EQ(Dump(*Store()), Dump(*edited));
    EXPECT_TRUE(Updates().empty());

    // Another scene altogether: whole.
    SyncDataRefPtr other = Scene("B", 300);
    {
        ChangeWatcher watcher(layer);
        SyncFileFormat::RefreshData(layer, other);
        EXPECT_EQ(watcher.replaced, 1);
    }
    EXPECT_NE(Store(), first);
    EXPECT_EQ(Dump(*Store()), Dump(*other));
    EXPECT_FALSE(layer->GetPrimAtPath(SdfPath("/A7")));
    EXPECT_TRUE(Updates().empty());
    SdfPrimSpec::New(layer->GetPseudoRoot(), "Mine", SdfSpecifierDef, "");
    // Sdf takes a children list out before it puts the longer one back.
    EXPECT_EQ(Updates(),
              (Lines{"CreateNode /Mine 6", "EraseField / primChildren",
                     "SetField / primChildren", "SetField /Mine specifier"}));
}

TEST_F(SyncRefreshTest, FieldEditsReachTheLayerAsSdfWouldMakeThem)
{
    SyncDataRefPtr remote = Scene("P", 300);
    remote->CreateNode(SdfPath("/P1.size"), SdfSpecTypeAttribute);
    remote->SetField(SdfPath("/P1.size"), SdfFieldKeys->TypeName,
                     VtValue(TfToken("double")));
    remote->SetField(SdfPath("/P1.size"), SdfFieldKeys->Default, VtValue(1.0));
    remote->SetField(SdfPath("/P1"), SdfChildrenKeys->PropertyChildren,
                     VtValue(TfTokenVector{TfToken("size")}));
    SyncFileFormat::RefreshData(layer, remote);
    const SyncData* store = Store();

    // A value changed, a field added, one erased, children reordered.
    remote->SetField(SdfPath("/P1.size"), SdfFieldKeys->Default, VtValue(2.0));
    remote->SetField(SdfPath("/P2"), SdfFieldKeys->Documentation,
                     VtValue(std::string("doc")));
    remote->Erase(SdfPath("/P3"), SdfFieldKeys->Comment);
    {
        TfTokenVector names = remote
                                  ->Get(SdfPath::AbsoluteRootPath(),
                                        SdfChildrenKeys->PrimChildren)
                                  .UncheckedGet<TfTokenVector>();
        std::swap(names.front(), names.back());
        remote->SetField(SdfPath::AbsoluteRootPath(),
                         SdfChildrenKeys->PrimChildren, VtValue(names));
    }
    ChangeWatcher watcher(layer);
    SyncFileFormat::RefreshData(layer, remote);
    EXPECT_EQ(Store(), store);
    EXPECT_EQ(watcher.notices, 1);
    EXPECT_EQ(watcher.replaced, 0);
    std::set<SdfPath> paths(watcher.paths.begin(), watcher.paths.end());
    EXPECT_EQ(paths, (std::set<SdfPath>{SdfPath("/"), SdfPath("/P1.size"),
                                        SdfPath("/P2"), SdfPath("/P3")}));
    EXPECT_EQ(layer->GetAttributeAtPath(SdfPath("/P1.size"))->GetDefaultValue(),
              VtValue(2.0));
    EXPECT_EQ(layer->GetPrimAtPath(SdfPath("/P2"))->GetDocumentation(), "doc");
    EXPECT_EQ(layer->GetPseudoRoot()->GetNameChildren().front()->GetName(),
              "P299");
    EXPECT_EQ(Dump(*Store()), Dump(*remote));
    EXPECT_TRUE(Updates().empty());

    // A required field (the attribute's type) goes Sdf's way, to the same
    // end.
    remote->SetField(SdfPath("/P1.size"), SdfFieldKeys->TypeName,
                     VtValue(TfToken("float")));
    remote->SetField(SdfPath("/P1.size"), SdfFieldKeys->Default, VtValue(3.0f));
    SyncFileFormat::RefreshData(layer, remote);
    EXPECT_EQ(layer->GetAttributeAtPath(SdfPath("/P1.size"))
                  ->GetTypeName()
                  .GetAsToken(),
              TfToken("float"));
    EXPECT_EQ(layer->GetAttributeAtPath(SdfPath("/P1.size"))->GetDefaultValue(),
              VtValue(3.0f));
    EXPECT_TRUE(Updates().empty());

    // A changed children list naming a spec that is not there is refused.
    remote->SetField(SdfPath("/P4"), SdfChildrenKeys->PrimChildren,
                     VtValue(TfTokenVector{TfToken("Ghost")}));
    remote->SetField(SdfPath("/P5"), SdfFieldKeys->Comment,
                     VtValue(std::string("five")));
    const auto before = Dump(*Store());
    LogCapture cap;
    SyncFileFormat::RefreshData(layer, remote);
    EXPECT_EQ(cap.CountLevel(spdlog::level::err), 1u);
    EXPECT_EQ(Dump(*Store()), before);
}

TEST_F(SyncRefreshTest, SmallLayersAreAlwaysEditedInPlace)
{
    const SyncData* before = Store();
    ChangeWatcher watcher(layer);
    SyncFileFormat::RefreshData(layer, Scene("S", 20));
    EXPECT_EQ(Store(), before);
    EXPECT_EQ(watcher.replaced, 0);
    EXPECT_EQ(layer->GetPseudoRoot()->GetNameChildren().size(), 20u);
}

TEST_F(SyncRefreshTest, ContentTheLayerHoldsChangesNothingButDropsWhatIsPending)
{
    SyncDataRefPtr remote = Scene("P", 300);
    SyncFileFormat::RefreshData(layer, remote);
    const SyncData* before = Store();
    // Edited and put back: pending, yet the content is the remote's.
    SdfPrimSpecHandle prim = layer->GetPrimAtPath(SdfPath("/P3"));
    prim->SetComment("changed");
    prim->SetComment("P3");
    ASSERT_GT(Store()->GetPendingOpCount(), 0u);

    ChangeWatcher watcher(layer);
    SyncFileFormat::RefreshData(layer, remote);
    EXPECT_EQ(watcher.notices, 0);
    EXPECT_EQ(Store(), before);
    EXPECT_EQ(Store()->GetPendingOpCount(), 0u);
    EXPECT_EQ(Dump(*Store()), Dump(*remote));
}

TEST_F(SyncRefreshTest, RefusedWholeRefreshLeavesTheLayerAsItWas)
{
    SyncFileFormat::RefreshData(layer, Scene("Kept", 5));
    layer->GetPrimAtPath(SdfPath("/Kept1"))->SetComment("pending");
    const SyncData* before = Store();
    const auto content = Dump(*before);

    SyncDataRefPtr bad = Scene("P", 400);
    bad->SetField(SdfPath("/P5"), SdfChildrenKeys->PrimChildren,
                  VtValue(TfTokenVector{TfToken("Ghost")}));
    LogCapture cap;
    ChangeWatcher watcher(layer);
    SyncFileFormat::RefreshData(layer, bad);
    EXPECT_EQ(cap.CountLevel(spdlog::level::err), 1u);
    EXPECT_EQ(watcher.notices, 0);
    EXPECT_EQ(Store(), before);
    EXPECT_FALSE(Store()->StreamsData());
    EXPECT_EQ(Dump(*Store()), content);
    EXPECT_EQ(Updates(), Lines{"SetField /Kept1 comment"});
}

TEST(SyncDataCopy, CountsDifferingSpecsBothWaysAndCopiesForALayer)
{
    SyncDataRefPtr a = Scene("P", 10);
    SyncDataRefPtr b = Scene("P", 10);
    EXPECT_EQ(a->CountDifferingSpecs(*b), 0u);
    b->SetField(SdfPath("/P1"), SdfFieldKeys->Comment,
                VtValue(std::string("x")));
    b->SetField(SdfPath("/P2"), SdfFieldKeys->Documentation,
                VtValue(std::string("d")));
    b->CreateNode(SdfPath("/P3"), SdfSpecTypeVariantSet); // another type
    b->CreateNode(SdfPath("/Extra"), SdfSpecTypePrim); // in b only
    a->CreateNode(SdfPath("/Only"), SdfSpecTypePrim); // in a only
    EXPECT_EQ(a->CountDifferingSpecs(*b), 5u);
    EXPECT_EQ(b->CountDifferingSpecs(*a), 5u);
    EXPECT_EQ(a->CountDifferingSpecs(*b, 1), 2u); // stops past the limit

    // The same fields in another order are the same content.
    SyncDataRefPtr c = SyncData::New();
    SyncDataRefPtr d = SyncData::New();
    c->SetField(SdfPath::AbsoluteRootPath(), SdfFieldKeys->Comment,
                VtValue(std::string("c")));
    c->SetField(SdfPath::AbsoluteRootPath(), SdfFieldKeys->Documentation,
                VtValue(std::string("d")));
    d->SetField(SdfPath::AbsoluteRootPath(), SdfFieldKeys->Documentation,
                VtValue(std::string("d")));
    d->SetField(SdfPath::AbsoluteRootPath(), SdfFieldKeys->Comment,
                VtValue(std::string("c")));
    EXPECT_EQ(c->CountDifferingSpecs(*d), 0u);
    // A field stored empty is no field, and a layer's copy leaves it out.
    c->SetField(SdfPath::AbsoluteRootPath(), SdfFieldKeys->Kind, VtValue());
    EXPECT_EQ(c->CountDifferingSpecs(*d), 0u);
    EXPECT_EQ(d->CountDifferingSpecs(*c), 0u);
    EXPECT_EQ(
        SyncData::NewForLayer(*c)->List(SdfPath::AbsoluteRootPath()).size(),
        2u);
    d->SetField(SdfPath::AbsoluteRootPath(), SdfFieldKeys->Kind,
                VtValue(TfToken("group")));
    EXPECT_EQ(c->CountDifferingSpecs(*d), 1u);

    SyncDataRefPtr copy = SyncData::NewForLayer(*b);
    EXPECT_TRUE(copy->IsOwnedByLayer());
    EXPECT_EQ(copy->GetPendingOpCount(), 0u);
    EXPECT_EQ(copy->GetSpecCount(), b->GetSpecCount());
    EXPECT_EQ(Dump(*copy), Dump(*b));
    // Edits to the copy are recorded there and nowhere else.
    copy->Set(SdfPath("/P1"), SdfFieldKeys->Comment, VtValue(std::string("y")));
    EXPECT_EQ(copy->GetPendingOpCount(), 1u);
    EXPECT_EQ(b->Get(SdfPath("/P1"), SdfFieldKeys->Comment),
              VtValue(std::string("x")));
}
