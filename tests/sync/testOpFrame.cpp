// The frame codec of the sync library: the body layout of
// docs/wireFormat.md byte for byte, and bodies that read back as the
// operations they were made of and apply as ApplySyncOp applies them.
#include "sync/opFrame.h"
#include "sync/opFrameReader.h"
#include "sync/syncData.h"
#include "sync/valueHandler.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/primSpec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace pxr;
using vela::OpFrame;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOp;
using vela::SyncOpList;
using vela_test::RawOp;
using Bytes = std::vector<uint8_t>;

namespace {


Bytes Encoded(const SyncOpList& ops)
{
    const std::string body = OpFrame::Encode(ops);
    return Bytes(body.begin(), body.end());
}

bool Decode(const Bytes& body, SyncOpList* ops, std::string* error)
{
    return OpFrame::Decode(body.data(), body.size(), ops, error);
}

// The packed string "d" and double 1.0, as ValueHandler writes them.
const Bytes _StringD = {0x0a, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 'd'};
const Bytes _Double1 = {0x09, 0x00, 0, 0, 0, 0, 0, 0, 0xf0, 0x3f};

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Applies \p body through \p reader, used again, to \p reused and
// through a reader of its own to \p fresh, and requires the same outcome
// of both; whether the reused reader took it.
bool ApplyBothWays(const Bytes& body, SyncData* reused, SyncData* fresh,
                   vela::OpFrameReader* reader, std::string* error)
{
    size_t appliedReused = 0, appliedFresh = 0;
    std::string errorFresh;
    const bool okReused = OpFrame::Apply(body.data(), body.size(), reused,
                                         &appliedReused, error, false, reader);
    const bool okFresh = OpFrame::Apply(body.data(), body.size(), fresh,
                                        &appliedFresh, &errorFresh);
    EXPECT_EQ(okReused, okFresh);
    EXPECT_EQ(appliedReused, appliedFresh);
    EXPECT_EQ(*error, errorFresh);
    return okReused;
}

} // namespace

// Each row is a list of operations and the body docs/wireFormat.md gives
// for it.
TEST(OpFrame, BodiesAreLaidOutAsDocumented)
{
    struct Row
    {
        const char* name;
        SyncOpList ops;
        Bytes body;
    };
    const Row rows[] = {
        {"no operations", {}, {0x00, 0x00, 0x00, 0x00}},
        {"one creation",
         {RawOp(SyncOp::CreateNode, "/A", "", 6)},
         {0x01, 0x01, 0x02, '/', 'A', 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
          0x0c}},
        // A negative node type keeps the form frames have always had.
        {"a negative node type",
         {RawOp(SyncOp::CreateNode, "/A", "", -1)},
         {0x01, 0x01, 0x02, '/',  'A',  0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
          0x81, 0x80, 0x80, 0x80, 0xe0, 0xff, 0xff, 0xff, 0xff, 0x01}},
        {"every kind, a shared prefix and a value used twice",
         {RawOp(SyncOp::CreateNode, "/A", "", 6),
          RawOp(SyncOp::SetField, "/A.x", "doc", 0, _StringD),
          RawOp(SyncOp::SetField, "/A.x", "doc", 0, _StringD),
          RawOp(SyncOp::MoveNode, "/B", "/A"),
          RawOp(SyncOp::EraseField, "/B", "doc"),
          RawOp(SyncOp::EraseNode, "/B")},
         Concat({{0x06}, // operations
                 {0x04, 0x02, '/', 'A', 0x02, '.', 'x', 0x03, 'd', 'o', 'c',
                  0x02, '/', 'B'}, // strings
                 {0x03, 0x00, 0x00, 0x01, 0x01, 0x00, 0x03}, // paths
                 {0x01, 0x0b},
                 _StringD, // values
                 {0x00, 0x01, 0x01, 0x02, 0x04, 0x03}, // types
                 {0x00, 0x02, 0x00, 0x02, 0x00, 0x00}, // path column
                 {0x0c, 0x02, 0x02, 0x03, 0x02}, // second column
                 {0x00, 0x01}})}, // value column
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Encoded(row.ops), row.body) << row.name;
    }
}

// What a layer records, through the frame and back: the same operations,
// and applied, the same store as ApplySyncOp builds from them.
TEST(OpFrame, ALayersUpdatesReadBackAndApplyAsTheyWereRecorded)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("frame.vela");
    SyncData::GetLayerUpdates(layer);
    SdfPrimSpecHandle world = SdfPrimSpec::New(layer->GetPseudoRoot(), "World",
                                               SdfSpecifierDef, "Xform");
    for (const char* name : {"A", "B", "C"}) {
        SdfPrimSpecHandle prim =
            SdfPrimSpec::New(world, name, SdfSpecifierDef, "Cube");
        SdfAttributeSpec::New(prim, "size", SdfValueTypeNames->Double)
            ->SetDefaultValue(VtValue(2.0));
        prim->SetDocumentation(name);
    }
    world->GetPrimAtPath(SdfPath("/World/B"))->SetName("D");
    world->RemoveNameChild(world->GetPrimAtPath(SdfPath("/World/C")));
    const SyncOpList ops = SyncData::GetLayerUpdates(layer);
    ASSERT_GT(ops.size(), 20u);

    SyncOpList decoded;
    std::string error;
    ASSERT_TRUE(Decode(Encoded(ops), &decoded, &error)) << error;
    ASSERT_EQ(vela_test::Describe(decoded), vela_test::Describe(ops));
    for (size_t i = 0; i < ops.size(); ++i) {
        EXPECT_EQ(decoded[i].fieldValue.bytes, ops[i].fieldValue.bytes) << i;
    }

    SyncDataRefPtr viaFrame = SyncData::New();
    SyncDataRefPtr viaOps = SyncData::New();
    const Bytes body = Encoded(ops);
    size_t applied = 0;
    ASSERT_TRUE(OpFrame::Apply(body.data(), body.size(), get_pointer(viaFrame),
                               &applied, &error))
        << error;
    EXPECT_EQ(applied, ops.size());
    for (const SyncOp& op : ops) {
        viaOps->ApplySyncOp(op);
    }
    EXPECT_EQ(vela_test::Dump(*viaFrame), vela_test::Dump(*viaOps));
    EXPECT_EQ(viaFrame->GetPendingOpCount(), 1u);
}

// A frame's own structure is the codec's to check: a body cut short
// anywhere is refused whole, with nothing applied.
TEST(OpFrame, EveryTruncationIsRefusedWhole)
{
    const Bytes body =
        Encoded({RawOp(SyncOp::CreateNode, "/A", "", 6),
                 RawOp(SyncOp::SetField, "/A", "doc", 0, _Double1),
                 RawOp(SyncOp::MoveNode, "/B", "/A")});
    for (size_t end = 0; end < body.size(); ++end) {
        const Bytes cut(body.begin(), body.begin() + end);
        SyncOpList ops;
        std::string error;
        EXPECT_FALSE(Decode(cut, &ops, &error)) << end;
        EXPECT_TRUE(ops.empty()) << end;
        SyncDataRefPtr store = SyncData::New();
        size_t applied = 7;
        EXPECT_FALSE(OpFrame::Apply(cut.data(), cut.size(), get_pointer(store),
                                    &applied, &error))
            << end;
        EXPECT_EQ(applied, 0u);
        EXPECT_EQ(store->GetSpecCount(), 1u) << end;
    }
}

// One reader serves frame after frame (a ledger's): each body, a refused
// one among them, reads and applies as it would with a reader of its own,
// whatever the bodies before it left in the reader's tables.
TEST(OpFrame, AReaderUsedAgainReadsEachBodyAsANewOneWould)
{
    const std::vector<Bytes> bodies = {
        Encoded({RawOp(SyncOp::CreateNode, "/A", "", 6),
                 RawOp(SyncOp::SetField, "/A", "doc", 0, _StringD),
                 RawOp(SyncOp::CreateNode, "/A/B", "", 6),
                 RawOp(SyncOp::SetField, "/A/B", "doc", 0, _Double1)}),
        Encoded({RawOp(SyncOp::SetField, "/A", "doc", 0, _Double1)}),
        // Cut short: refused, with nothing applied.
        Bytes(),
        Encoded({RawOp(SyncOp::MoveNode, "/C", "/A/B"),
                 RawOp(SyncOp::EraseField, "/A", "doc")}),
        Encoded({RawOp(SyncOp::CreateNode, "/D", "", 6)}),
    };
    SyncDataRefPtr reused = SyncData::New();
    SyncDataRefPtr fresh = SyncData::New();
    vela::OpFrameReader reader(nullptr, 0);
    for (size_t i = 0; i < bodies.size(); ++i) {
        Bytes body = bodies[i];
        if (body.empty()) {
            body = bodies[0];
            body.resize(body.size() / 2);
        }
        SCOPED_TRACE(i);
        std::string error;
        EXPECT_EQ(ApplyBothWays(body, get_pointer(reused), get_pointer(fresh),
                                &reader, &error),
                  !bodies[i].empty());
        EXPECT_EQ(vela_test::Dump(*reused), vela_test::Dump(*fresh));
    }
    EXPECT_TRUE(fresh->HasSpec(SdfPath("/C")));
    EXPECT_FALSE(fresh->HasSpec(SdfPath("/A/B")));
}

// What a reader keeps from body to body (the paths and field names it
// built) never stands in for something else: a name under another parent,
// a prim name read as a property, a name refused before, or a path built
// before the reader let go of what it kept.
TEST(OpFrame, AReaderKeepsWhatItBuiltWithoutMixingItUp)
{
    const Bytes double1 = _Double1;
    const auto create = [](const char* path, int type = 6) {
        return RawOp(SyncOp::CreateNode, path, "", type);
    };
    const auto set = [&](const char* path, const char* field) {
        return RawOp(SyncOp::SetField, path, field, 0, double1);
    };
    // More paths than the reader keeps, in bodies small enough to keep
    // theirs, and one body too large to.
    std::vector<std::string> names;
    for (size_t i = 0; i < vela::OpFrameReader::CacheLimit + 300; ++i) {
        names.push_back("/Many/P" + std::to_string(i));
    }
    std::vector<Bytes> many;
    for (size_t at = 0; at < names.size(); at += 200) {
        SyncOpList ops = {create("/Many")};
        for (size_t i = at; i < std::min(names.size(), at + 200); ++i) {
            ops.push_back(create(names[i].c_str()));
        }
        many.push_back(Encoded(ops));
    }
    SyncOpList large = {create("/Large")};
    for (size_t i = 0; i < vela::OpFrameReader::KeptTableMax + 10; ++i) {
        names.push_back("/Large/P" + std::to_string(i));
        large.push_back(create(names.back().c_str()));
    }
    many.push_back(Encoded(large));
    std::vector<std::pair<Bytes, bool>> all = {
        {Encoded({create("/A"), create("/A/B"), set("/A/B", "doc")}), true},
        // The same piece under other parents, and as a property.
        {Encoded({create("/C"), create("/C/B"), set("/C/B", "doc")}), true},
        {Encoded({create("/A/B/B"), create("/A.B", 1), set("/A.B", "doc")}),
         true},
        // A name no prim may have, refused every time it comes.
        {Encoded({create("/A/9lives")}), false},
        {Encoded({create("/A/9lives")}), false},
        // Field names seen before and a new one, on paths seen before.
        {Encoded({set("/C/B", "doc"), set("/A/B", "comment")}), true},
    };
    for (const Bytes& body : many) {
        all.emplace_back(body, true);
    }
    all.emplace_back(Encoded({set("/A/B", "doc"), set("/C/B", "comment"),
                              set(names.front().c_str(), "doc"),
                              set(names.back().c_str(), "doc")}),
                     true);
    SyncDataRefPtr reused = SyncData::New();
    SyncDataRefPtr fresh = SyncData::New();
    vela::OpFrameReader reader(nullptr, 0);
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(i);
        std::string error;
        EXPECT_EQ(ApplyBothWays(all[i].first, get_pointer(reused),
                                get_pointer(fresh), &reader, &error),
                  all[i].second)
            << error;
    }
    EXPECT_EQ(vela_test::Dump(*reused), vela_test::Dump(*fresh));
    for (const char* path : {"/A/B", "/C/B", "/A/B/B", "/A.B"}) {
        EXPECT_TRUE(reused->HasSpec(SdfPath(path))) << path;
    }
    EXPECT_FALSE(reused->HasSpec(SdfPath("/B")));
    EXPECT_FALSE(reused->HasSpec(SdfPath("/C.B")));
    const VtValue* comment =
        reused->GetFieldValue(SdfPath("/C/B"), TfToken("comment"));
    ASSERT_TRUE(comment);
    EXPECT_EQ(*comment, VtValue(1.0));
    EXPECT_TRUE(reused->GetFieldValue(SdfPath(names.back()), TfToken("doc")));
}
