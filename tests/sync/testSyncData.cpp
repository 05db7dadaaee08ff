// The data store on its own: structural edits, field edits, queries,
// operation application and time samples.
#include "sync/syncData.h"
#include "sync/syncRecordingMuteBlock.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

using namespace pxr;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOp;
using vela_test::Describe;
using vela_test::Drain;
using vela_test::LogCapture;
using Lines = std::vector<std::string>;
using spdlog::level::debug;
using spdlog::level::err;

namespace {

const SdfPath kPrim("/A");
const SdfPath kAttr("/A.f");
const SdfPath kMissing("/Missing");
const TfToken kDoc("documentation");
const TfToken kComment("comment");
const TfToken kDefault("default");

VtValue Str(const char* s) { return VtValue(std::string(s)); }

SyncOp Op(SyncOp::SyncOpType type, const char* nodePath, const char* fieldName = "",
          const char* oldNodePath = "", int32_t nodeType = 0)
{
    SyncOp op;
    op.opType = type;
    op.nodePath = nodePath;
    op.fieldName = fieldName;
    op.oldNodePath = oldNodePath;
    op.nodeType = nodeType;
    return op;
}

class SyncDataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data = SyncData::New();
        data->CreateNode(kPrim, SdfSpecTypePrim);
        data->CreateNode(kAttr, SdfSpecTypeAttribute);
        Drain(*data);
    }

    Lines Pending() { return Describe(Drain(*data)); }

    Lines Fields(const SdfPath& path)
    {
        Lines names;
        for (const auto& token : data->List(path)) {
            names.push_back(token.GetString());
        }
        return names;
    }

    SyncDataRefPtr data;
};

} // namespace

TEST(SyncDataNew, HoldsOnlyThePseudoRootAndItsCreation)
{
    SyncDataRefPtr data = SyncData::New();
    EXPECT_EQ(data->GetSpecType(SdfPath("/")), SdfSpecTypePseudoRoot);
    EXPECT_TRUE(data->List(SdfPath("/")).empty());
    EXPECT_EQ(vela_test::Dump(*data).size(), 1u);
    EXPECT_EQ(Describe(Drain(*data)), Lines{"CreateNode / 7"});
}

TEST_F(SyncDataTest, CreateRecordsFirstAndRefusesUnknownTypes)
{
    LogCapture cap(debug);
    data->CreateSpec(SdfPath("/B"), SdfSpecTypePrim);
    EXPECT_EQ(cap.Count(debug, "[SyncData::CreateSpec] Create spec at /B [specType=6]"), 1u);
    EXPECT_EQ(data->GetSpecType(SdfPath("/B")), SdfSpecTypePrim);

    // Unknown: recorded all the same, then refused by the store.
    data->CreateSpec(SdfPath("/C"), SdfSpecTypeUnknown);
    EXPECT_EQ(cap.Count(err, "Cannot create spec with unknown type at /C"), 1u);
    EXPECT_FALSE(data->HasSpec(SdfPath("/C")));
    EXPECT_EQ(Pending(), (Lines{"CreateNode /B 6", "CreateNode /C 0"}));

    // Out of Sdf's range: refused like unknown, since Sdf indexes its
    // per-type tables by it. (15 is the largest value the enumeration can
    // hold; a negative one would be undefined behaviour before the call.)
    data->CreateNode(SdfPath("/D"), static_cast<SdfSpecType>(SdfNumSpecTypes));
    data->CreateNode(SdfPath("/E"), static_cast<SdfSpecType>(15));
    EXPECT_FALSE(data->HasSpec(SdfPath("/D")));
    EXPECT_FALSE(data->HasSpec(SdfPath("/E")));
    EXPECT_EQ(cap.CountLevel(err), 3u);
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, CreateNodeRetypesAndKeepsFieldsWithoutRecording)
{
    data->SetField(kPrim, kDoc, Str("doc"));
    data->CreateNode(kPrim, SdfSpecTypeVariant);
    EXPECT_EQ(data->GetSpecType(kPrim), SdfSpecTypeVariant);
    EXPECT_EQ(data->Get(kPrim, kDoc), Str("doc"));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, EraseAndMoveTouchOnlyTheOneSpec)
{
    data->SetField(kPrim, kDoc, Str("doc"));
    data->SetField(kPrim, kComment, Str("c"));
    LogCapture cap(debug);
    data->MoveSpec(kPrim, SdfPath("/B"));
    EXPECT_EQ(data->GetSpecType(SdfPath("/B")), SdfSpecTypePrim);
    EXPECT_EQ(Fields(SdfPath("/B")), (Lines{"documentation", "comment"}));
    EXPECT_FALSE(data->HasSpec(kPrim));
    EXPECT_TRUE(data->HasSpec(kAttr));
    EXPECT_FALSE(data->HasSpec(SdfPath("/B.f")));

    data->EraseSpec(SdfPath("/B"));
    EXPECT_FALSE(data->HasSpec(SdfPath("/B")));
    EXPECT_TRUE(data->HasSpec(kAttr));
    EXPECT_EQ(cap.Count(debug, "[SyncData::EraseSpec] Erase spec at /B"), 1u);
    EXPECT_EQ(Pending(), (Lines{"MoveNode /A -> /B", "EraseNode /B"}));
}

TEST_F(SyncDataTest, FailedEraseAndMoveChangeAndRecordNothing)
{
    data->CreateNode(SdfPath("/B"), SdfSpecTypePrim);
    data->SetField(kPrim, kDoc, Str("a"));
    LogCapture cap;
    data->EraseSpec(kMissing);
    data->MoveSpec(kMissing, SdfPath("/C"));
    EXPECT_EQ(cap.Count(err, "No spec to erase at /Missing"), 1u);
    EXPECT_EQ(cap.Count(err, "No spec to move at /Missing"), 1u);
    EXPECT_FALSE(data->HasSpec(SdfPath("/C")));

    // Onto an occupied path: silently nothing.
    data->MoveSpec(kPrim, SdfPath("/B"));
    EXPECT_EQ(cap.Lines().size(), 2u);
    EXPECT_EQ(data->Get(kPrim, kDoc), Str("a"));
    EXPECT_FALSE(data->Has(SdfPath("/B"), kDoc));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, RecordedPathsAreTheirSdfText)
{
    std::string deep;
    for (int i = 0; i < 70; ++i) {
        deep += "/L" + std::to_string(i);
    }
    const std::string texts[] = {
        "/", "/A", "/A/B/C", "/A.f", "/A/B.primvars:st", "/A.r[/B]", "/A.r[/B].rel",
        "/A.f.mapper[/B.g]", "/A{v=x}", "/A{v=x}B", "/A{v=x}B.f", deep, deep + ".prop",
    };
    for (const auto& text : texts) {
        const SdfPath path(text);
        data->CreateSpec(path, SdfSpecTypePrim);
        data->SetField(path, kComment, Str("c"));
        data->Set(path, kDoc, Str("d"));
        data->Erase(path, kComment);
        data->MoveSpec(path, SdfPath("/Moved"));
        data->EraseSpec(SdfPath("/Moved"));
        const auto ops = Drain(*data);
        ASSERT_EQ(ops.size(), 5u) << text;
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(ops[i].nodePath, text) << Describe(ops[i]);
        }
        EXPECT_EQ(ops[3].oldNodePath, text);
    }
}

TEST_F(SyncDataTest, QueriesReportSpecAndFieldSeparately)
{
    data->SetField(kAttr, kDefault, VtValue(1.5f));
    SdfSpecType type = SdfSpecTypeUnknown;
    VtValue value;
    EXPECT_FALSE(data->HasSpecAndField(kPrim, kDefault, &value, &type));
    EXPECT_EQ(type, SdfSpecTypePrim);
    EXPECT_TRUE(data->HasSpecAndField(kAttr, kDefault, &value, &type));
    EXPECT_EQ(value, VtValue(1.5f));
    EXPECT_FALSE(data->HasSpecAndField(kMissing, kDefault, &value, &type));
    EXPECT_EQ(type, SdfSpecTypeUnknown);

    EXPECT_TRUE(data->Has(kAttr, kDefault, static_cast<VtValue*>(nullptr)));
    EXPECT_TRUE(data->Has(kAttr, kDefault, static_cast<SdfAbstractDataValue*>(nullptr)));
    float f = 0.f;
    SdfAbstractDataTypedValue<float> asFloat(&f);
    EXPECT_TRUE(data->Has(kAttr, kDefault, &asFloat));
    EXPECT_EQ(f, 1.5f);
    double d = 0.0;
    SdfAbstractDataTypedValue<double> asDouble(&d);
    EXPECT_FALSE(data->HasSpecAndField(kAttr, kDefault, &asDouble, &type));
    EXPECT_TRUE(asDouble.typeMismatch);

    EXPECT_TRUE(data->Get(kPrim, kDefault).IsEmpty());
    EXPECT_TRUE(data->List(kMissing).empty());
    EXPECT_EQ(data->GetSpecType(kMissing), SdfSpecTypeUnknown);
}

TEST_F(SyncDataTest, SetFieldKeepsFieldOrderAndRecordsNothing)
{
    data->SetField(kPrim, kDoc, Str("one"));
    data->SetField(kPrim, kComment, Str("c"));
    data->SetField(kPrim, kDoc, Str("two"));
    data->SetField(kPrim, TfToken("active"), VtValue(true));
    EXPECT_EQ(Fields(kPrim), (Lines{"documentation", "comment", "active"}));
    EXPECT_EQ(data->Get(kPrim, kDoc), Str("two"));

    // The non-recording path stores an empty value as such.
    data->SetField(kPrim, kComment, VtValue());
    EXPECT_TRUE(data->Has(kPrim, kComment));
    EXPECT_TRUE(Pending().empty());

    LogCapture cap;
    data->SetField(kMissing, kDoc, Str("x"));
    EXPECT_EQ(cap.Count(err, "No spec at </Missing> when trying to set field 'documentation'"), 1u);
    EXPECT_EQ(data->GetOrCreateFieldValue(kMissing, TfToken()), nullptr);
    EXPECT_EQ(cap.Count(err, "No spec at </Missing> when trying to set field ''"), 1u);
    EXPECT_FALSE(data->HasSpec(kMissing));
}

TEST_F(SyncDataTest, SetFieldStringifiesOnlyForPrintedLines)
{
    {
        LogCapture cap(debug);
        data->SetField(kPrim, kDoc, Str("hello"));
        EXPECT_EQ(cap.Count(debug, "[SyncData::SetField] documentation at /A => hello"), 1u);
    }
    LogCapture cap(spdlog::level::info);
    data->SetField(kPrim, kDoc, Str("hello"));
    EXPECT_TRUE(cap.Lines().empty());
}

TEST_F(SyncDataTest, SetRecordsOneSetFieldWithThePackedValue)
{
    LogCapture cap(debug);
    data->Set(kAttr, kDefault, VtValue(2.5f));
    const float typed = 3.25f;
    data->Set(kPrim, kDefault, SdfAbstractDataConstTypedValue<float>(&typed));
    EXPECT_EQ(cap.Count(debug, "[SyncData::Set#1] Set field default at /A.f"), 1u);
    EXPECT_EQ(cap.Count(debug, "[SyncData::Set#2] Set field default@float at /A"), 1u);
    EXPECT_EQ(data->Get(kAttr, kDefault), VtValue(2.5f));
    EXPECT_EQ(data->Get(kPrim, kDefault), VtValue(3.25f));

    const auto ops = Drain(*data);
    ASSERT_EQ(Describe(ops), (Lines{"SetField /A.f default", "SetField /A default"}));
    EXPECT_EQ(vela_test::Unpack(ops[0]), VtValue(2.5f));
    EXPECT_EQ(vela_test::Unpack(ops[1]), VtValue(3.25f));
}

TEST_F(SyncDataTest, SetOnMissingSpecRecordsOnlyTheUntypedForm)
{
    LogCapture cap;
    data->Set(kMissing, kDoc, Str("x"));
    const float typed = 1.f;
    data->Set(kMissing, kDefault, SdfAbstractDataConstTypedValue<float>(&typed));
    EXPECT_EQ(cap.CountLevel(err), 2u);
    EXPECT_FALSE(data->HasSpec(kMissing));
    EXPECT_EQ(Pending(), Lines{"SetField /Missing documentation"});
}

TEST_F(SyncDataTest, EmptySetAndEraseRemoveExistingFieldsOnly)
{
    data->SetField(kPrim, kDoc, Str("d"));
    data->SetField(kPrim, kComment, Str("c"));
    data->SetField(kPrim, TfToken("active"), VtValue(true));
    LogCapture cap(debug);
    data->Set(kPrim, kDoc, VtValue());
    data->Erase(kPrim, TfToken("active"));
    EXPECT_EQ(Fields(kPrim), Lines{"comment"});
    EXPECT_EQ(cap.Count(debug, "[SyncData::Erase] Erase field active at /A"), 1u);
    EXPECT_EQ(Pending(), (Lines{"EraseField /A documentation", "EraseField /A active"}));

    data->Set(kPrim, kDoc, VtValue());
    data->Erase(kPrim, kDoc);
    data->Erase(kMissing, kDoc);
    EXPECT_EQ(cap.Lines().size(), 2u);
    EXPECT_TRUE(Pending().empty());
}

// Applied operations are recorded only by a store that a layer owns; a
// free-standing store makes the same changes and records nothing.
TEST_F(SyncDataTest, ApplyingOpsRecordsAllButSetFieldOnlyOnALayersStore)
{
    SyncDataRefPtr layerData = SyncData::NewForLayer();
    layerData->CreateNode(kPrim, SdfSpecTypePrim);
    layerData->CreateNode(kAttr, SdfSpecTypeAttribute);
    Drain(*layerData);
    EXPECT_TRUE(layerData->IsOwnedByLayer());
    EXPECT_FALSE(data->IsOwnedByLayer());

    LogCapture cap;
    // Zero value bytes, as the second SetField carries, stand for the empty value.
    SyncOp set = Op(SyncOp::SetField, "/A.f", "default");
    set.fieldValue = vela::ValueHandler::GetInstance().PackVtValue(VtValue(4.5f));
    for (SyncData* store : {get_pointer(data), get_pointer(layerData)}) {
        store->ApplySyncOp(Op(SyncOp::CreateNode, "/B", "", "", SdfSpecTypePrim));
        store->ApplySyncOp(set);
        store->ApplySyncOp(Op(SyncOp::SetField, "/B", "comment"));
        store->ApplySyncOp(Op(SyncOp::EraseField, "/B", "comment"));
        store->ApplySyncOp(Op(SyncOp::MoveNode, "/C", "", "/B"));
        store->ApplySyncOp(Op(SyncOp::EraseNode, "/A"));

        EXPECT_EQ(store->Get(kAttr, kDefault), VtValue(4.5f));
        EXPECT_TRUE(store->List(SdfPath("/C")).empty());
        EXPECT_EQ(store->GetSpecType(SdfPath("/C")), SdfSpecTypePrim);
        EXPECT_FALSE(store->HasSpec(kPrim));
    }
    EXPECT_EQ(vela_test::Dump(*data), vela_test::Dump(*layerData));
    EXPECT_EQ(data->GetPendingOpCount(), 0u);
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(layerData->GetPendingOpCount(), 4u);
    EXPECT_EQ(Describe(Drain(*layerData)), (Lines{"CreateNode /B 6", "EraseField /B comment",
                                                 "MoveNode /B -> /C", "EraseNode /A"}));
}

// A free-standing store applies through its recording edits, muted for the
// one operation: its own recording is as it was before, muted or not.
TEST_F(SyncDataTest, ApplyingOpsLeavesTheStoresRecordingAsItWas)
{
    data->ApplySyncOp(Op(SyncOp::CreateNode, "/B", "", "", SdfSpecTypePrim));
    data->ApplySyncOp(Op(SyncOp::EraseField, "/B", "comment"));
    EXPECT_FALSE(data->IsRecordingMuted());
    data->CreateSpec(SdfPath("/C"), SdfSpecTypePrim);
    EXPECT_EQ(Pending(), Lines{"CreateNode /C 6"});
    {
        vela::SyncRecordingMuteBlock outer(get_pointer(data));
        data->ApplySyncOp(Op(SyncOp::MoveNode, "/D", "", "/C"));
        EXPECT_TRUE(data->IsRecordingMuted());
    }
    EXPECT_FALSE(data->IsRecordingMuted());
    EXPECT_TRUE(data->HasSpec(SdfPath("/D")));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, ApplyingMalformedOpsChangesNothing)
{
    LogCapture cap;
    for (const char* bad : {"", "not a path", "relative/Path", "/A["}) {
        for (auto type : {SyncOp::CreateNode, SyncOp::SetField, SyncOp::EraseNode,
                          SyncOp::EraseField, SyncOp::MoveNode}) {
            data->ApplySyncOp(Op(type, bad, "comment", bad, SdfSpecTypePrim));
        }
    }
    EXPECT_EQ(cap.CountLevel(err), 20u);
    data->ApplySyncOp(Op(static_cast<SyncOp::SyncOpType>(17), "/B", "", "", SdfSpecTypePrim));
    EXPECT_EQ(vela_test::Dump(*data).size(), 3u);
    EXPECT_TRUE(Pending().empty());
}

// A node type is a number on the wire; one outside SdfSpecType is refused
// before it could become one.
TEST_F(SyncDataTest, ApplyingCreateNodeWithSpecTypeOutOfRangeChangesNothing)
{
    LogCapture cap;
    for (int32_t type : {-61, int32_t(SdfNumSpecTypes), 1 << 30}) {
        data->ApplySyncOp(Op(SyncOp::CreateNode, "/B", "", "", type));
    }
    EXPECT_EQ(cap.CountLevel(err), 3u);
    EXPECT_EQ(cap.Count(err, "Invalid spec type -61 at /B"), 1u);
    EXPECT_FALSE(data->HasSpec(SdfPath("/B")));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, TimeSamplesAreRefused)
{
    LogCapture cap;
    data->SetTimeSample(kAttr, 1.0, VtValue(1.f));
    EXPECT_TRUE(data->ListAllTimeSamples().empty());
    EXPECT_TRUE(data->ListTimeSamplesForPath(kAttr).empty());
    VtValue v;
    EXPECT_FALSE(data->QueryTimeSample(kAttr, 1.0, &v));
    float f = 0.f;
    SdfAbstractDataTypedValue<float> typed(&f);
    EXPECT_FALSE(data->QueryTimeSample(kAttr, 1.0, &typed));
    data->EraseTimeSample(kAttr, 1.0);
    double lo = 0, hi = 0;
    EXPECT_FALSE(data->GetBracketingTimeSamples(1.0, &lo, &hi));
    EXPECT_FALSE(data->GetBracketingTimeSamplesForPath(kAttr, 1.0, &lo, &hi));
    EXPECT_EQ(data->GetNumTimeSamplesForPath(kAttr), 0u);

    for (const char* name : {"SetTimeSample", "ListAllTimeSamples", "ListTimeSamplesForPath",
                             "QueryTimeSample", "EraseTimeSample"}) {
        EXPECT_EQ(cap.Count(spdlog::level::warn,
                            std::string("[SyncData::") + name + "] not implemented"), 1u) << name;
    }
    EXPECT_EQ(cap.Lines().size(), 5u);
    EXPECT_TRUE(data->List(kAttr).empty());
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, VisitSpecsStopsWhenTheVisitorDeclines)
{
    struct FirstOnly : SdfAbstractDataSpecVisitor
    {
        int visits = 0;
        bool VisitSpec(const SdfAbstractData&, const SdfPath&) override { return ++visits < 1; }
        void Done(const SdfAbstractData&) override {}
    } visitor;
    data->VisitSpecs(&visitor);
    EXPECT_EQ(visitor.visits, 1);
}

// A large store is freed on a worker thread; whatever it held, the values
// its pending records share included, is still released.
TEST(SyncDataLarge, FreedStoreReleasesItsValues)
{
    auto shared = std::make_shared<int>(7);
    {
        SyncDataRefPtr data = SyncData::NewForLayer();
        for (int i = 0; i < 5000; ++i) {
            const SdfPath prim("/P" + std::to_string(i));
            data->CreateSpec(prim, SdfSpecTypePrim);
            data->Set(prim, TfToken("custom"), VtValue(shared));
        }
        EXPECT_GT(data->GetPendingOpCount(), 5000u);
        EXPECT_GT(shared.use_count(), 1);
    }
    // The worker may still be at it; wait for it rather than time it.
    for (int tries = 0; shared.use_count() > 1 && tries < 3000; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(shared.use_count(), 1);
}
