// The data store on its own: structural edits, field edits, queries,
// operation application and time samples.
#include "sync/syncData.h"
#include "tests/logCapture.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/sdf/abstractData.h>
#include <pxr/sdf/types.h>
#include <pxr/vt/array.h>
#include <pxr/gf/vec3f.h>

#include <gtest/gtest.h>

using namespace pxr;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncOp;
using vela_test::Describe;
using vela_test::Drain;
using vela_test::LogCapture;

namespace {

using Lines = std::vector<std::string>;

const SdfPath kRoot("/");
const SdfPath kPrim("/A");
const SdfPath kAttr("/A.f");
const TfToken kDoc("documentation");
const TfToken kComment("comment");
const TfToken kDefault("default");

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

    std::vector<std::string> FieldNames(const SdfPath& path)
    {
        std::vector<std::string> names;
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
    EXPECT_TRUE(data->HasSpec(kRoot));
    EXPECT_EQ(data->GetSpecType(kRoot), SdfSpecTypePseudoRoot);
    EXPECT_TRUE(data->List(kRoot).empty());
    EXPECT_FALSE(data->StreamsData());
    EXPECT_EQ(vela_test::Dump(*data).size(), 1u);
    EXPECT_EQ(Describe(Drain(*data)), Lines{"CreateNode / 7"});
}

TEST_F(SyncDataTest, CreateNodeRetypesAndKeepsFieldsWithoutRecording)
{
    data->SetField(kPrim, kDoc, VtValue(std::string("doc")));
    data->CreateNode(kPrim, SdfSpecTypeVariant);
    EXPECT_EQ(data->GetSpecType(kPrim), SdfSpecTypeVariant);
    EXPECT_EQ(data->Get(kPrim, kDoc), VtValue(std::string("doc")));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, CreateSpecLogsRecordsThenCreates)
{
    LogCapture cap(spdlog::level::debug);
    data->CreateSpec(SdfPath("/B"), SdfSpecTypePrim);
    EXPECT_EQ(cap.Count(spdlog::level::debug,
                        "[SyncData::CreateSpec] Create spec at /B [specType=6]"), 1u);
    EXPECT_EQ(data->GetSpecType(SdfPath("/B")), SdfSpecTypePrim);
    EXPECT_EQ(Pending(), Lines{"CreateNode /B 6"});
}

TEST_F(SyncDataTest, RecordedPathsAreTheirSdfText)
{
    std::string deep;
    for (int i = 0; i < 70; ++i) {
        deep += "/L" + std::to_string(i);
    }
    const std::string texts[] = {
        "/", "/A", "/A/B/C", "/A.f", "/A/B.primvars:st", "/A.r[/B]",
        "/A.r[/B].rel", "/A.f.mapper[/B.g]", "/A{v=x}", "/A{v=x}B", "/A{v=x}B.f",
        deep, deep + ".prop",
    };
    for (const auto& text : texts) {
        const SdfPath path(text);
        ASSERT_FALSE(path.IsEmpty()) << text;
        data->CreateSpec(path, SdfSpecTypePrim);
        data->Set(path, kDoc, VtValue(std::string("d")));
        data->Erase(path, kDoc);
        data->MoveSpec(path, SdfPath("/Moved"));
        data->MoveSpec(SdfPath("/Moved"), path);
        data->EraseSpec(path);
        const auto ops = Drain(*data);
        ASSERT_EQ(ops.size(), 6u) << text;
        for (const auto& op : ops) {
            EXPECT_EQ(op.nodePath, op.opType == SyncOp::MoveNode && op.nodePath == "/Moved"
                                       ? "/Moved" : text) << Describe(op);
        }
        EXPECT_EQ(ops[3].oldNodePath, text);
    }
}

TEST_F(SyncDataTest, UnknownSpecTypeIsRefusedButStillRecorded)
{
    LogCapture cap;
    data->CreateSpec(SdfPath("/B"), SdfSpecTypeUnknown);
    EXPECT_EQ(cap.Count(spdlog::level::err, "Cannot create spec with unknown type at /B"), 1u);
    EXPECT_FALSE(data->HasSpec(SdfPath("/B")));
    EXPECT_EQ(Pending(), Lines{"CreateNode /B 0"});

    data->CreateNode(SdfPath("/C"), SdfSpecTypeUnknown);
    EXPECT_FALSE(data->HasSpec(SdfPath("/C")));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, OutOfRangeSpecTypeIsRefusedLikeUnknown)
{
    LogCapture cap;
    data->CreateNode(SdfPath("/B"), static_cast<SdfSpecType>(SdfNumSpecTypes));
    data->CreateNode(SdfPath("/C"), static_cast<SdfSpecType>(-3));
    EXPECT_EQ(cap.CountLevel(spdlog::level::err), 2u);
    EXPECT_FALSE(data->HasSpec(SdfPath("/B")));
    EXPECT_FALSE(data->HasSpec(SdfPath("/C")));
}

TEST_F(SyncDataTest, EraseSpecRemovesOnlyThatSpec)
{
    LogCapture cap(spdlog::level::debug);
    data->EraseSpec(kPrim);
    EXPECT_FALSE(data->HasSpec(kPrim));
    EXPECT_TRUE(data->HasSpec(kAttr));
    EXPECT_EQ(cap.Count(spdlog::level::debug, "[SyncData::EraseSpec] Erase spec at /A"), 1u);
    EXPECT_EQ(Pending(), Lines{"EraseNode /A"});
}

TEST_F(SyncDataTest, EraseSpecOfMissingSpecLogsAndRecordsNothing)
{
    LogCapture cap;
    data->EraseSpec(SdfPath("/Missing"));
    EXPECT_EQ(cap.Count(spdlog::level::err, "No spec to erase at /Missing"), 1u);
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, MoveSpecCarriesTypeAndFieldsButNotChildren)
{
    data->SetField(kPrim, kDoc, VtValue(std::string("doc")));
    data->SetField(kPrim, kComment, VtValue(std::string("c")));
    data->MoveSpec(kPrim, SdfPath("/B"));

    EXPECT_FALSE(data->HasSpec(kPrim));
    EXPECT_EQ(data->GetSpecType(SdfPath("/B")), SdfSpecTypePrim);
    EXPECT_EQ(FieldNames(SdfPath("/B")), (Lines{"documentation", "comment"}));
    EXPECT_EQ(data->Get(SdfPath("/B"), kDoc), VtValue(std::string("doc")));
    EXPECT_TRUE(data->HasSpec(kAttr));
    EXPECT_FALSE(data->HasSpec(SdfPath("/B.f")));
    EXPECT_EQ(Pending(), Lines{"MoveNode /A -> /B"});
}

TEST_F(SyncDataTest, MoveSpecOntoOccupiedPathChangesNothing)
{
    data->CreateNode(SdfPath("/B"), SdfSpecTypePrim);
    data->SetField(kPrim, kDoc, VtValue(std::string("a")));
    LogCapture cap;
    data->MoveSpec(kPrim, SdfPath("/B"));
    EXPECT_TRUE(cap.Lines().empty());
    EXPECT_EQ(data->Get(kPrim, kDoc), VtValue(std::string("a")));
    EXPECT_FALSE(data->Has(SdfPath("/B"), kDoc));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, MoveSpecFromMissingPathLogsAndRecordsNothing)
{
    LogCapture cap;
    data->MoveSpec(SdfPath("/Missing"), SdfPath("/B"));
    EXPECT_EQ(cap.Count(spdlog::level::err, "No spec to move at /Missing"), 1u);
    EXPECT_FALSE(data->HasSpec(SdfPath("/B")));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, FieldQueriesReportSpecAndFieldSeparately)
{
    data->SetField(kAttr, kDefault, VtValue(1.5f));

    SdfSpecType type = SdfSpecTypeUnknown;
    VtValue value;
    EXPECT_FALSE(data->HasSpecAndField(kPrim, kDefault, &value, &type));
    EXPECT_EQ(type, SdfSpecTypePrim);
    EXPECT_TRUE(data->HasSpecAndField(kAttr, kDefault, &value, &type));
    EXPECT_EQ(type, SdfSpecTypeAttribute);
    EXPECT_EQ(value, VtValue(1.5f));
    EXPECT_FALSE(data->HasSpecAndField(SdfPath("/Missing"), kDefault, &value, &type));
    EXPECT_EQ(type, SdfSpecTypeUnknown);

    EXPECT_TRUE(data->Has(kAttr, kDefault, static_cast<VtValue*>(nullptr)));
    EXPECT_TRUE(data->Has(kAttr, kDefault, static_cast<SdfAbstractDataValue*>(nullptr)));
    EXPECT_FALSE(data->Has(kPrim, kDefault));
    EXPECT_TRUE(data->Get(kPrim, kDefault).IsEmpty());
    EXPECT_TRUE(data->Get(SdfPath("/Missing"), kDefault).IsEmpty());
    EXPECT_TRUE(data->List(SdfPath("/Missing")).empty());
    EXPECT_EQ(data->GetSpecType(SdfPath("/Missing")), SdfSpecTypeUnknown);
    EXPECT_EQ(data->GetFieldValue(kPrim, kDefault), nullptr);
    EXPECT_EQ(data->GetSpecTypeAndFieldValue(SdfPath("/Missing"), kDefault, &type), nullptr);
    EXPECT_EQ(type, SdfSpecTypeUnknown);
}

TEST_F(SyncDataTest, TypedQueriesHonourTheRequestedType)
{
    data->SetField(kAttr, kDefault, VtValue(1.5f));

    float f = 0.f;
    SdfAbstractDataTypedValue<float> asFloat(&f);
    EXPECT_TRUE(data->Has(kAttr, kDefault, &asFloat));
    EXPECT_EQ(f, 1.5f);

    double d = 0.0;
    SdfAbstractDataTypedValue<double> asDouble(&d);
    SdfSpecType type = SdfSpecTypeUnknown;
    EXPECT_FALSE(data->HasSpecAndField(kAttr, kDefault, &asDouble, &type));
    EXPECT_TRUE(asDouble.typeMismatch);
    EXPECT_EQ(type, SdfSpecTypeAttribute);
}

TEST_F(SyncDataTest, SetFieldKeepsPlaceOfExistingFieldsAndRecordsNothing)
{
    data->SetField(kPrim, kDoc, VtValue(std::string("one")));
    data->SetField(kPrim, kComment, VtValue(std::string("c")));
    data->SetField(kPrim, kDoc, VtValue(std::string("two")));
    data->SetField(kPrim, TfToken("active"), VtValue(true));

    EXPECT_EQ(FieldNames(kPrim), (Lines{"documentation", "comment", "active"}));
    EXPECT_EQ(data->Get(kPrim, kDoc), VtValue(std::string("two")));
    EXPECT_TRUE(Pending().empty());

    // An empty value is stored as such by the non-recording path.
    data->SetField(kPrim, kComment, VtValue());
    EXPECT_TRUE(data->Has(kPrim, kComment));
    EXPECT_TRUE(data->Get(kPrim, kComment).IsEmpty());
}

TEST_F(SyncDataTest, SetFieldOnMissingSpecLogsAndStoresNothing)
{
    LogCapture cap;
    data->SetField(SdfPath("/Missing"), kDoc, VtValue(std::string("x")));
    EXPECT_EQ(cap.Count(spdlog::level::err,
                        "No spec at </Missing> when trying to set field 'documentation'"), 1u);
    EXPECT_FALSE(data->HasSpec(SdfPath("/Missing")));
    EXPECT_EQ(data->GetOrCreateFieldValue(SdfPath("/Missing"), TfToken()), nullptr);
    EXPECT_EQ(cap.Count(spdlog::level::err,
                        "No spec at </Missing> when trying to set field ''"), 1u);
}

TEST_F(SyncDataTest, SetRecordsOneSetFieldWithThePackedValue)
{
    LogCapture cap(spdlog::level::debug);
    data->Set(kAttr, kDefault, VtValue(2.5f));
    EXPECT_EQ(data->Get(kAttr, kDefault), VtValue(2.5f));
    EXPECT_EQ(cap.Count(spdlog::level::debug, "[SyncData::Set#1] Set field default at /A.f"), 1u);

    const auto ops = Drain(*data);
    ASSERT_EQ(Describe(ops), Lines{"SetField /A.f default"});
    const VtValue decoded = vela_test::Unpack(ops[0]);
    ASSERT_TRUE(decoded.IsHolding<float>()) << decoded.GetTypeName();
    EXPECT_EQ(decoded.UncheckedGet<float>(), 2.5f);
}

TEST_F(SyncDataTest, SetOnMissingSpecStillRecords)
{
    LogCapture cap;
    data->Set(SdfPath("/Missing"), kDoc, VtValue(std::string("x")));
    EXPECT_EQ(cap.CountLevel(spdlog::level::err), 1u);
    EXPECT_FALSE(data->HasSpec(SdfPath("/Missing")));
    EXPECT_EQ(Pending(), Lines{"SetField /Missing documentation"});
}

TEST_F(SyncDataTest, SetWithEmptyValueIsRecordedAsEraseOnlyIfFieldExisted)
{
    data->SetField(kPrim, kDoc, VtValue(std::string("doc")));
    data->SetField(kPrim, kComment, VtValue(std::string("c")));
    data->Set(kPrim, kDoc, VtValue());
    EXPECT_FALSE(data->Has(kPrim, kDoc));
    EXPECT_EQ(FieldNames(kPrim), Lines{"comment"});
    EXPECT_EQ(Pending(), Lines{"EraseField /A documentation"});

    data->Set(kPrim, kDoc, VtValue());
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, TypedSetStoresAndRecordsTheStoredValue)
{
    LogCapture cap(spdlog::level::debug);
    const float value = 3.25f;
    data->Set(kAttr, kDefault, SdfAbstractDataConstTypedValue<float>(&value));
    EXPECT_EQ(data->Get(kAttr, kDefault), VtValue(3.25f));
    EXPECT_EQ(cap.Count(spdlog::level::debug,
                        "[SyncData::Set#2] Set field default@float at /A.f"), 1u);

    const auto ops = Drain(*data);
    ASSERT_EQ(Describe(ops), Lines{"SetField /A.f default"});
    EXPECT_EQ(vela_test::Unpack(ops[0]), VtValue(3.25f));
}

TEST_F(SyncDataTest, TypedSetOnMissingSpecRecordsNothing)
{
    LogCapture cap;
    const float value = 1.f;
    data->Set(SdfPath("/Missing"), kDefault, SdfAbstractDataConstTypedValue<float>(&value));
    EXPECT_EQ(cap.CountLevel(spdlog::level::err), 1u);
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, EraseKeepsOrderOfRemainingFieldsAndIgnoresMissing)
{
    data->SetField(kPrim, kDoc, VtValue(std::string("d")));
    data->SetField(kPrim, kComment, VtValue(std::string("c")));
    data->SetField(kPrim, TfToken("active"), VtValue(true));

    LogCapture cap(spdlog::level::debug);
    data->Erase(kPrim, kComment);
    EXPECT_EQ(FieldNames(kPrim), (Lines{"documentation", "active"}));
    EXPECT_EQ(cap.Count(spdlog::level::debug, "[SyncData::Erase] Erase field comment at /A"), 1u);
    EXPECT_EQ(Pending(), Lines{"EraseField /A comment"});

    data->Erase(kPrim, kComment);
    data->Erase(SdfPath("/Missing"), kComment);
    EXPECT_EQ(cap.Lines().size(), 1u);
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, SetFieldDebugLineStringifiesTheValue)
{
    {
        LogCapture cap(spdlog::level::debug);
        data->SetField(kPrim, kDoc, VtValue(std::string("hello")));
        EXPECT_EQ(cap.Count(spdlog::level::debug,
                            "[SyncData::SetField] documentation at /A => hello"), 1u);
    }
    {
        LogCapture cap(spdlog::level::info);
        data->SetField(kPrim, kDoc, VtValue(std::string("hello")));
        EXPECT_TRUE(cap.Lines().empty());
    }
}

TEST_F(SyncDataTest, ApplyCreateNodeRecordsLikeALocalCreation)
{
    SyncOp op;
    op.opType = SyncOp::CreateNode;
    op.nodePath = "/B";
    op.nodeType = SdfSpecTypePrim;
    data->ApplySyncOp(op);
    EXPECT_EQ(data->GetSpecType(SdfPath("/B")), SdfSpecTypePrim);
    EXPECT_EQ(Pending(), Lines{"CreateNode /B 6"});
}

TEST_F(SyncDataTest, ApplySetFieldStoresUnpackedValueWithoutRecording)
{
    SyncOp op;
    op.opType = SyncOp::SetField;
    op.nodePath = "/A.f";
    op.fieldName = "default";
    op.fieldValue = vela::ValueHandler::GetInstance().PackVtValue(VtValue(4.5f));
    data->ApplySyncOp(op);
    EXPECT_TRUE(Pending().empty());
    ASSERT_TRUE(data->Has(kAttr, kDefault));
    EXPECT_EQ(data->Get(kAttr, kDefault), VtValue(4.5f));
}

TEST_F(SyncDataTest, ApplyMoveAndEraseOpsEditAndRecord)
{
    data->SetField(kPrim, kDoc, VtValue(std::string("d")));
    data->SetField(kPrim, kComment, VtValue(std::string("c")));

    SyncOp eraseField;
    eraseField.opType = SyncOp::EraseField;
    eraseField.nodePath = "/A";
    eraseField.fieldName = "comment";
    SyncOp move;
    move.opType = SyncOp::MoveNode;
    move.oldNodePath = "/A";
    move.nodePath = "/B";
    SyncOp eraseNode;
    eraseNode.opType = SyncOp::EraseNode;
    eraseNode.nodePath = "/A.f";

    data->ApplySyncOp(eraseField);
    data->ApplySyncOp(move);
    data->ApplySyncOp(eraseNode);

    EXPECT_EQ(FieldNames(SdfPath("/B")), Lines{"documentation"});
    EXPECT_FALSE(data->HasSpec(kPrim));
    EXPECT_FALSE(data->HasSpec(kAttr));
    EXPECT_EQ(Pending(), (Lines{"EraseField /A comment", "MoveNode /A -> /B", "EraseNode /A.f"}));
}

TEST_F(SyncDataTest, ApplyWithMalformedPathChangesNothing)
{
    LogCapture cap;
    const char* badPaths[] = {"", "not a path", "relative/Path", "/A["};
    for (const char* bad : badPaths) {
        SCOPED_TRACE(bad);
        for (auto type : {SyncOp::CreateNode, SyncOp::SetField, SyncOp::EraseNode,
                          SyncOp::EraseField, SyncOp::MoveNode}) {
            SyncOp op;
            op.opType = type;
            op.nodePath = bad;
            op.oldNodePath = bad;
            op.nodeType = SdfSpecTypePrim;
            op.fieldName = "comment";
            data->ApplySyncOp(op);
        }
    }
    EXPECT_EQ(vela_test::Dump(*data).size(), 3u);
    EXPECT_TRUE(Pending().empty());
    EXPECT_GT(cap.CountLevel(spdlog::level::err), 0u);
}

TEST_F(SyncDataTest, ApplyUnknownOpTypeChangesNothing)
{
    SyncOp op;
    op.opType = static_cast<SyncOp::SyncOpType>(17);
    op.nodePath = "/B";
    op.nodeType = SdfSpecTypePrim;
    data->ApplySyncOp(op);
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

    EXPECT_EQ(cap.Count(spdlog::level::warn, "[SyncData::SetTimeSample] not implemented"), 1u);
    EXPECT_EQ(cap.Count(spdlog::level::warn, "[SyncData::ListAllTimeSamples] not implemented"), 1u);
    EXPECT_EQ(cap.Count(spdlog::level::warn, "[SyncData::ListTimeSamplesForPath] not implemented"), 1u);
    EXPECT_EQ(cap.Count(spdlog::level::warn, "[SyncData::QueryTimeSample] not implemented"), 1u);
    EXPECT_EQ(cap.Count(spdlog::level::warn, "[SyncData::EraseTimeSample] not implemented"), 1u);
    EXPECT_EQ(cap.Lines().size(), 5u);
    EXPECT_TRUE(data->List(kAttr).empty());
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, VisitSpecsStopsWhenTheVisitorDeclines)
{
    struct FirstOnly : SdfAbstractDataSpecVisitor
    {
        int visits = 0;
        bool done = false;
        bool VisitSpec(const SdfAbstractData&, const SdfPath&) override
        {
            ++visits;
            return false;
        }
        void Done(const SdfAbstractData&) override { done = true; }
    } visitor;
    data->VisitSpecs(&visitor);
    EXPECT_EQ(visitor.visits, 1);
    EXPECT_TRUE(visitor.done);
}
