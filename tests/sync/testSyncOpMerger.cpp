// Frames of peers that edited one scene concurrently, applied in one
// channel order: the children lists keep every peer's additions, erasures
// and moves of specs that are gone are dropped, and every replica stays a
// store a layer accepts.
#include "sync/opFrame.h"
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "sync/syncOpMerger.h"
#include "sync/valueHandler.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/namespaceEdit.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/schema.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace pxr;
using spdlog::level::err;
using vela::OpFrame;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOp;
using vela::SyncOpList;
using vela::SyncOpMerger;
using vela_test::Dump;
using vela_test::LogCapture;
using vela_test::RawOp;
using Names = std::vector<std::string>;

namespace {

// A peer: a sync layer that starts from the shared scene and whose edits
// come out as one frame.
struct Peer
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("peer.vela");

    SdfPrimSpecHandle Prim(const char* path) const
    {
        return layer->GetPrimAtPath(SdfPath(path));
    }
    SyncOpList Frame() const { return SyncData::GetLayerUpdates(layer); }
};

// Every spec of \p store except the pseudo-root is listed by its parent,
// and every listed name has a spec; a layer takes the store whole.
void ExpectConsistent(const SyncDataRefPtr& store, const std::string& label)
{
    for (const auto& entry : Dump(*store)) {
        const SdfPath path(entry.first);
        SdfPath parent;
        TfToken name;
        const int field = SyncOpMerger::GetChildSlot(path, &parent, &name);
        if (field < 0) {
            continue;
        }
        const VtValue listed =
            store->Get(parent, SyncOpMerger::TokenChildrenFields()[field]);
        const TfTokenVector names = listed.GetWithDefault<TfTokenVector>();
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end())
            << label << ": " << path << " is not listed";
    }
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("check.vela");
    SyncFileFormat::RefreshData(layer, store);
    EXPECT_EQ(SyncFileFormat::GetData(*layer)->CountDifferingSpecs(*store), 0u)
        << label << ": the refresh refused the store";
}

// The scene every peer starts from, built by \p build on a layer of its
// own, as a replica holds it.
SyncDataRefPtr Scene(const std::function<void(const SdfLayerHandle&)>& build)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("scene.vela");
    build(layer);
    SyncDataRefPtr store = SyncData::New();
    store->ApplySyncOps(SyncData::GetLayerUpdates(layer));
    return store;
}

SyncDataRefPtr Copy(const SyncDataRefPtr& store)
{
    SyncDataRefPtr copy = SyncData::New();
    for (const auto& entry : Dump(*store)) {
        const SdfPath path(entry.first);
        copy->CreateNode(path, store->GetSpecType(path));
        for (const auto& field : entry.second.second) {
            copy->SetField(path, TfToken(field.first), field.second);
        }
    }
    return copy;
}

// Peers each starting from \p scene, edited by \p edits; their frames
// applied to a copy of the scene in \p order, through ApplySyncOps and,
// as a body, through OpFrame::Apply: both must agree.
SyncDataRefPtr Merged(const SyncDataRefPtr& scene,
                      const std::vector<std::function<void(Peer&)>>& edits,
                      const std::vector<size_t>& order)
{
    std::vector<SyncOpList> frames;
    for (const auto& edit : edits) {
        Peer peer;
        SyncFileFormat::RefreshData(peer.layer, scene);
        peer.Frame();
        edit(peer);
        frames.push_back(peer.Frame());
    }
    SyncDataRefPtr viaOps = Copy(scene);
    SyncDataRefPtr viaBody = Copy(scene);
    for (size_t index : order) {
        viaOps->ApplySyncOps(frames[index]);
        const std::string body = OpFrame::Encode(frames[index], true);
        size_t applied = 0;
        std::string error;
        EXPECT_TRUE(
            OpFrame::Apply(reinterpret_cast<const uint8_t*>(body.data()),
                           body.size(), get_pointer(viaBody), &applied, &error))
            << error;
    }
    EXPECT_EQ(Dump(*viaOps), Dump(*viaBody));
    ExpectConsistent(viaOps, "merged");
    return viaOps;
}

Names Children(const SyncDataRefPtr& store, const char* path,
               const TfToken& field = SdfChildrenKeys->PrimChildren)
{
    Names names;
    for (const TfToken& name :
         store->Get(SdfPath(path), field).GetWithDefault<TfTokenVector>()) {
        names.push_back(name.GetString());
    }
    return names;
}

SdfPrimSpecHandle Def(const SdfLayerHandle& layer, const char* path)
{
    SdfPrimSpecHandle prim = SdfCreatePrimInLayer(layer, SdfPath(path));
    prim->SetSpecifier(SdfSpecifierDef);
    return prim;
}

bool Move(const Peer& peer, const char* from, const char* to)
{
    SdfBatchNamespaceEdit edit;
    edit.Add(SdfPath(from), SdfPath(to));
    return peer.layer->Apply(edit);
}

SyncDataRefPtr World()
{
    return Scene([](const SdfLayerHandle& layer) {
        Def(layer, "/World/Old");
        Def(layer, "/World/Group/Inner");
    });
}

} // namespace

TEST(SyncOpMerger, ConcurrentChildrenAreAllListedInChannelOrder)
{
    const SyncDataRefPtr scene = World();
    const std::vector<std::function<void(Peer&)>> edits = {
        [](Peer& a) { Def(a.layer, "/World/FromA"); },
        [](Peer& b) {
            Def(b.layer, "/World/FromB");
            Def(b.layer, "/World/FromB2");
        },
        [](Peer& c) { Def(c.layer, "/World/Group/FromC"); },
    };
    EXPECT_EQ(Children(Merged(scene, edits, {0, 1, 2}), "/World"),
              (Names{"Old", "Group", "FromA", "FromB", "FromB2"}));
    EXPECT_EQ(Children(Merged(scene, edits, {1, 0, 2}), "/World"),
              (Names{"Old", "Group", "FromB", "FromB2", "FromA"}));
    EXPECT_EQ(Children(Merged(scene, edits, {2, 1, 0}), "/World/Group"),
              (Names{"Inner", "FromC"}));
}

TEST(SyncOpMerger, ConcurrentPropertiesAreAllListed)
{
    const SyncDataRefPtr scene = World();
    const auto add = [](const char* name) {
        return [name](Peer& peer) {
            SdfAttributeSpec::New(peer.Prim("/World/Old"), name,
                                  SdfValueTypeNames->Double);
        };
    };
    const SyncDataRefPtr merged =
        Merged(scene, {add("a"), add("b"), add("c")}, {2, 0, 1});
    EXPECT_EQ(Children(merged, "/World/Old", SdfChildrenKeys->PropertyChildren),
              (Names{"c", "a", "b"}));
}

// Both orders: the addition arrives under a spec already gone, or the
// erasure takes along what it did not know.
TEST(SyncOpMerger, ErasureWinsOverAConcurrentAdditionBelow)
{
    const SyncDataRefPtr scene = World();
    const std::vector<std::function<void(Peer&)>> edits = {
        [](Peer& a) {
            a.Prim("/World")->RemoveNameChild(a.Prim("/World/Group"));
        },
        [](Peer& b) {
            SdfPrimSpecHandle child = Def(b.layer, "/World/Group/Inner/New");
            SdfAttributeSpec::New(child, "size", SdfValueTypeNames->Double);
            Def(b.layer, "/World/Group/Sibling");
        },
    };
    for (const std::vector<size_t>& order :
         {std::vector<size_t>{0, 1}, std::vector<size_t>{1, 0}}) {
        const SyncDataRefPtr merged = Merged(scene, edits, order);
        EXPECT_EQ(Children(merged, "/World"), (Names{"Old"}));
        for (const char* gone :
             {"/World/Group", "/World/Group/Inner/New",
              "/World/Group/Inner/New.size", "/World/Group/Sibling"}) {
            EXPECT_FALSE(merged->HasSpec(SdfPath(gone))) << gone;
        }
    }
}

TEST(SyncOpMerger, ReparentIntoAnErasedPrim)
{
    const SyncDataRefPtr scene = World();
    const std::vector<std::function<void(Peer&)>> edits = {
        [](Peer& a) {
            EXPECT_TRUE(Move(a, "/World/Group", "/World/Old/Group"));
            Def(a.layer, "/World/Old/Group/Made");
        },
        [](Peer& b) {
            b.Prim("/World")->RemoveNameChild(b.Prim("/World/Old"));
        },
    };
    // The erasure first: the move is undone, nothing is lost.
    SyncDataRefPtr merged = Merged(scene, edits, {1, 0});
    EXPECT_EQ(Children(merged, "/World"), (Names{"Group"}));
    EXPECT_EQ(Children(merged, "/World/Group"), (Names{"Inner", "Made"}));
    EXPECT_FALSE(merged->HasSpec(SdfPath("/World/Old/Group")));
    // The move first: the erasure takes the moved prim along.
    merged = Merged(scene, edits, {0, 1});
    EXPECT_EQ(Children(merged, "/World"), Names{});
    EXPECT_FALSE(merged->HasSpec(SdfPath("/World/Old/Group/Inner")));
}

TEST(SyncOpMerger, OfTwoRenamesOfOnePrimTheFirstWins)
{
    const SyncDataRefPtr scene = World();
    const std::vector<std::function<void(Peer&)>> edits = {
        [](Peer& a) { a.Prim("/World/Group")->SetName("ByA"); },
        [](Peer& b) { b.Prim("/World/Group")->SetName("ByB"); },
    };
    SyncDataRefPtr merged = Merged(scene, edits, {0, 1});
    EXPECT_EQ(Children(merged, "/World"), (Names{"Old", "ByA"}));
    EXPECT_TRUE(merged->HasSpec(SdfPath("/World/ByA/Inner")));
    EXPECT_FALSE(merged->HasSpec(SdfPath("/World/ByB")));
    merged = Merged(scene, edits, {1, 0});
    EXPECT_EQ(Children(merged, "/World"), (Names{"Old", "ByB"}));
}

TEST(SyncOpMerger, AnEditOfARenamedPrimsOldPathIsDropped)
{
    const SyncDataRefPtr scene = World();
    const SyncDataRefPtr merged =
        Merged(scene,
               {[](Peer& a) { a.Prim("/World/Group")->SetName("Renamed"); },
                [](Peer& b) {
                    b.Prim("/World/Group")->SetDocumentation("late");
                    Def(b.layer, "/World/Group/Inner/Deep");
                }},
               {0, 1});
    EXPECT_EQ(Children(merged, "/World"), (Names{"Old", "Renamed"}));
    EXPECT_EQ(
        merged->Get(SdfPath("/World/Renamed"), SdfFieldKeys->Documentation),
        VtValue());
    EXPECT_FALSE(merged->HasSpec(SdfPath("/World/Group")));
}

// A child added concurrently at the old path is carried along by a rename
// that comes later in the channel.
TEST(SyncOpMerger, ARenameCarriesAConcurrentChildAlong)
{
    const SyncDataRefPtr merged =
        Merged(World(),
               {[](Peer& b) { Def(b.layer, "/World/Group/Inner/New"); },
                [](Peer& a) { a.Prim("/World/Group")->SetName("Renamed"); }},
               {0, 1});
    EXPECT_EQ(Children(merged, "/World/Renamed/Inner"), (Names{"New"}));
    EXPECT_FALSE(merged->HasSpec(SdfPath("/World/Group/Inner/New")));
}

TEST(SyncOpMerger, AReorderKeepsTheNamesItDidNotKnowAfterTheirPredecessor)
{
    const SyncDataRefPtr scene = Scene([](const SdfLayerHandle& layer) {
        for (const char* path : {"/W/a", "/W/b", "/W/c"}) {
            Def(layer, path);
        }
    });
    const std::vector<std::function<void(Peer&)>> edits = {
        [](Peer& a) {
            SdfBatchNamespaceEdit edit;
            edit.Add(SdfNamespaceEdit::Reorder(SdfPath("/W/c"), 0));
            edit.Add(SdfNamespaceEdit::Reorder(SdfPath("/W/a"),
                                               SdfNamespaceEdit::AtEnd));
            EXPECT_TRUE(a.layer->Apply(edit));
        },
        [](Peer& b) {
            Def(b.layer, "/W/x");
            b.Prim("/W")->RemoveNameChild(b.Prim("/W/b"));
        },
    };
    // The reorder after the addition: x still follows c.
    EXPECT_EQ(Children(Merged(scene, edits, {1, 0}), "/W"),
              (Names{"c", "x", "a"}));
    // The addition after the reorder: its author's order wins.
    EXPECT_EQ(Children(Merged(scene, edits, {0, 1}), "/W"),
              (Names{"a", "c", "x"}));
}

TEST(SyncOpMerger, ConcurrentCreationsOfOneNameMakeOneSpec)
{
    const SyncDataRefPtr merged = Merged(
        World(),
        {[](Peer& a) {
             SdfPrimSpecHandle prim = Def(a.layer, "/World/Same");
             prim->SetDocumentation("a");
             prim->SetComment("only a");
         },
         [](Peer& b) { Def(b.layer, "/World/Same")->SetDocumentation("b"); }},
        {0, 1});
    EXPECT_EQ(Children(merged, "/World"), (Names{"Old", "Group", "Same"}));
    const SdfPath same("/World/Same");
    EXPECT_EQ(merged->Get(same, SdfFieldKeys->Documentation),
              VtValue(std::string("b")));
    EXPECT_EQ(merged->Get(same, SdfFieldKeys->Comment),
              VtValue(std::string("only a")));
}

// Edits of specs that are not there are the normal concurrent case: a
// debug line, no error, nothing changed.
TEST(SyncOpMerger, EditsOfMissingSpecsAreDroppedQuietly)
{
    const SyncDataRefPtr store = World();
    const auto before = Dump(*store);
    const std::vector<uint8_t> doc = vela::ValueHandler::GetInstance()
                                         .PackVtValue(VtValue(std::string("d")))
                                         .bytes;
    const SyncOpList frame = {
        RawOp(SyncOp::SetField, "/Gone", "documentation", 0, doc),
        RawOp(SyncOp::EraseField, "/Gone", "documentation"),
        RawOp(SyncOp::CreateNode, "/Gone/Child", "", SdfSpecTypePrim),
        RawOp(SyncOp::MoveNode, "/World/Moved", "/Gone"),
        RawOp(SyncOp::MoveNode, "/World/Old", "/World/Group"),
        RawOp(SyncOp::EraseNode, "/Gone"),
        RawOp(SyncOp::EraseNode, "/"),
        RawOp(SyncOp::MoveNode, "/Root", "/"),
    };
    LogCapture cap(spdlog::level::debug);
    vela::SyncOpMerger merger(get_pointer(store));
    for (const SyncOp& op : frame) {
        SyncData::CheckedSyncOp checked;
        ASSERT_TRUE(SyncData::CheckSyncOp(op, nullptr, &checked));
        merger.Apply(checked);
    }
    merger.Finish();
    EXPECT_EQ(merger.GetDroppedCount(), frame.size());
    EXPECT_EQ(cap.CountLevel(err), 0u);
    EXPECT_EQ(cap.Count(spdlog::level::debug,
                        "[SyncOpMerger] Dropped CreateNode /Gone/Child: its "
                        "parent spec does not exist"),
              1u);
    EXPECT_EQ(Dump(*store), before);

    // One operation alone is applied as it always was.
    store->ApplySyncOp(frame[2]);
    EXPECT_TRUE(store->HasSpec(SdfPath("/Gone/Child")));
}

// A parent of 100k children, and frames of peers that each knew only the
// original list: every addition is kept, in channel order, each frame
// merging in one pass over the list.
TEST(SyncOpMerger, ALongChildrenListMergesInOnePass)
{
    SyncDataRefPtr store = SyncData::New();
    TfTokenVector names;
    for (int i = 0; i < 100000; ++i) {
        names.emplace_back("c" + std::to_string(i));
        store->CreateNode(SdfPath::AbsoluteRootPath().AppendChild(names.back()),
                          SdfSpecTypePrim);
    }
    const SdfPath root = SdfPath::AbsoluteRootPath();
    store->SetField(root, SdfChildrenKeys->PrimChildren, VtValue(names));
    const auto& handler = vela::ValueHandler::GetInstance();
    for (int peer = 0; peer < 20; ++peer) {
        // Every peer knew the original list only.
        TfTokenVector known = names;
        const std::string name = "p" + std::to_string(peer);
        known.insert(known.begin() + 50000, TfToken(name));
        SyncOpList frame = {
            RawOp(SyncOp::CreateNode, ("/" + name).c_str(), "",
                  SdfSpecTypePrim),
            RawOp(SyncOp::SetField, "/", "primChildren", 0,
                  handler.PackVtValue(VtValue(known)).bytes),
        };
        store->ApplySyncOps(frame);
    }
    const Names merged = Children(store, "/");
    ASSERT_EQ(merged.size(), 100020u);
    for (int peer = 0; peer < 20; ++peer) {
        EXPECT_EQ(merged[50000 + peer], "p" + std::to_string(peer));
    }
    EXPECT_EQ(merged.back(), "c99999");
}

// Frames not written by Sdf (a move without the children, a spec made
// without a place in its parent's list) still leave every spec listed.
TEST(SyncOpMerger, FramesThatSkipChildrenStillLeaveEverySpecListed)
{
    const auto tokens = [](TfTokenVector names) {
        return vela::ValueHandler::GetInstance()
            .PackVtValue(VtValue(names))
            .bytes;
    };
    const SyncOpList build = {
        RawOp(SyncOp::CreateNode, "/A", "", SdfSpecTypePrim),
        RawOp(SyncOp::CreateNode, "/A/B", "", SdfSpecTypePrim),
        RawOp(SyncOp::CreateNode, "/A/B.x", "", SdfSpecTypeAttribute),
        RawOp(SyncOp::SetField, "/A/B", "properties", 0,
              tokens({TfToken("x")})),
    };
    // The property moves with its prim; the new /A/B starts empty.
    SyncDataRefPtr store = SyncData::New();
    SyncOpList frame = build;
    frame.push_back(RawOp(SyncOp::MoveNode, "/A/C", "/A/B"));
    frame.push_back(RawOp(SyncOp::CreateNode, "/A/B", "", SdfSpecTypePrim));
    store->ApplySyncOps(frame);
    ExpectConsistent(store, "moved along");
    EXPECT_EQ(Children(store, "/A"), (Names{"B", "C"}));
    EXPECT_EQ(Children(store, "/A/C", SdfChildrenKeys->PropertyChildren),
              (Names{"x"}));
    EXPECT_FALSE(store->HasSpec(SdfPath("/A/B.x")));

    // Made again at the old path after the move, the property belongs to
    // the new /A/B.
    store = SyncData::New();
    store->ApplySyncOps(build);
    store->ApplySyncOps(
        {RawOp(SyncOp::MoveNode, "/A/C", "/A/B"),
         RawOp(SyncOp::CreateNode, "/A/B", "", SdfSpecTypePrim),
         RawOp(SyncOp::CreateNode, "/A/B.x", "", SdfSpecTypeAttribute)});
    ExpectConsistent(store, "made again");
    EXPECT_EQ(Children(store, "/A/B", SdfChildrenKeys->PropertyChildren),
              (Names{"x"}));
    EXPECT_FALSE(store->HasSpec(SdfPath("/A/C.x")));
}
