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

const SdfPath _Prim("/A");
const SdfPath _Attr("/A.f");
const SdfPath _Missing("/Missing");
const TfToken _Doc("documentation");
const TfToken _Comment("comment");
const TfToken _Default("default");

VtValue Str(const char* s)
{
    return VtValue(std::string(s));
}

SyncOp Op(SyncOp::SyncOpType type, const char* nodePath,
          const char* fieldName = "", const char* oldNodePath = "",
          int32_t nodeType = 0)
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
        _data = SyncData::New();
        _data->CreateNode(_Prim, SdfSpecTypePrim);
        _data->CreateNode(_Attr, SdfSpecTypeAttribute);
        Drain(*_data);
    }

    Lines Pending() { return Describe(Drain(*_data)); }

    Lines Fields(const SdfPath& path)
    {
        Lines names;
        for (const auto& token : _data->List(path)) {
            names.push_back(token.GetString());
        }
        return names;
    }

    SyncDataRefPtr _data;
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
    _data->CreateSpec(SdfPath("/B"), SdfSpecTypePrim);
    EXPECT_EQ(
        cap.Count(debug,
                  "[SyncData::CreateSpec] Create spec at /B [specType=6]"),
        1u);
    EXPECT_EQ(_data->GetSpecType(SdfPath("/B")), SdfSpecTypePrim);

    // Unknown: recorded all the same, then refused by the store.
    _data->CreateSpec(SdfPath("/C"), SdfSpecTypeUnknown);
    EXPECT_EQ(cap.Count(err, "Cannot create spec with unknown type at /C"), 1u);
    EXPECT_FALSE(_data->HasSpec(SdfPath("/C")));
    EXPECT_EQ(Pending(), (Lines{"CreateNode /B 6", "CreateNode /C 0"}));

    // Out of Sdf's range: refused like unknown, since Sdf indexes its
    // per-type tables by it. (15 is the largest value the enumeration can
    // hold; a negative one would be undefined behaviour before the call.)
    _data->CreateNode(SdfPath("/D"), static_cast<SdfSpecType>(SdfNumSpecTypes));
    _data->CreateNode(SdfPath("/E"), static_cast<SdfSpecType>(15));
    EXPECT_FALSE(_data->HasSpec(SdfPath("/D")));
    EXPECT_FALSE(_data->HasSpec(SdfPath("/E")));
    EXPECT_EQ(cap.CountLevel(err), 3u);
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, CreateNodeRetypesAndKeepsFieldsWithoutRecording)
{
    _data->SetField(_Prim, _Doc, Str("doc"));
    _data->CreateNode(_Prim, SdfSpecTypeVariant);
    EXPECT_EQ(_data->GetSpecType(_Prim), SdfSpecTypeVariant);
    EXPECT_EQ(_data->Get(_Prim, _Doc), Str("doc"));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, EraseAndMoveTouchOnlyTheOneSpec)
{
    _data->SetField(_Prim, _Doc, Str("doc"));
    _data->SetField(_Prim, _Comment, Str("c"));
    LogCapture cap(debug);
    _data->MoveSpec(_Prim, SdfPath("/B"));
    EXPECT_EQ(_data->GetSpecType(SdfPath("/B")), SdfSpecTypePrim);
    EXPECT_EQ(Fields(SdfPath("/B")), (Lines{"documentation", "comment"}));
    EXPECT_FALSE(_data->HasSpec(_Prim));
    EXPECT_TRUE(_data->HasSpec(_Attr));
    EXPECT_FALSE(_data->HasSpec(SdfPath("/B.f")));

    _data->EraseSpec(SdfPath("/B"));
    EXPECT_FALSE(_data->HasSpec(SdfPath("/B")));
    EXPECT_TRUE(_data->HasSpec(_Attr));
    EXPECT_EQ(cap.Count(debug, "[SyncData::EraseSpec] Erase spec at /B"), 1u);
    EXPECT_EQ(Pending(), (Lines{"MoveNode /A -> /B", "EraseNode /B"}));
}

TEST_F(SyncDataTest, FailedEraseAndMoveChangeAndRecordNothing)
{
    _data->CreateNode(SdfPath("/B"), SdfSpecTypePrim);
    _data->SetField(_Prim, _Doc, Str("a"));
    LogCapture cap;
    _data->EraseSpec(_Missing);
    _data->MoveSpec(_Missing, SdfPath("/C"));
    EXPECT_EQ(cap.Count(err, "No spec to erase at /Missing"), 1u);
    EXPECT_EQ(cap.Count(err, "No spec to move at /Missing"), 1u);
    EXPECT_FALSE(_data->HasSpec(SdfPath("/C")));

    // Onto an occupied path: silently nothing.
    _data->MoveSpec(_Prim, SdfPath("/B"));
    EXPECT_EQ(cap.Lines().size(), 2u);
    EXPECT_EQ(_data->Get(_Prim, _Doc), Str("a"));
    EXPECT_FALSE(_data->Has(SdfPath("/B"), _Doc));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, RecordedPathsAreTheirSdfText)
{
    std::string deep;
    for (int i = 0; i < 70; ++i) {
        deep += "/L" + std::to_string(i);
    }
    const std::string texts[] = {
        "/",
        "/A",
        "/A/B/C",
        "/A.f",
        "/A/B.primvars:st",
        "/A.r[/B]",
        "/A.r[/B].rel",
        "/A.f.mapper[/B.g]",
        "/A{v=x}",
        "/A{v=x}B",
        "/A{v=x}B.f",
        deep,
        deep + ".prop",
    };
    for (const auto& text : texts) {
        const SdfPath path(text);
        _data->CreateSpec(path, SdfSpecTypePrim);
        _data->SetField(path, _Comment, Str("c"));
        _data->Set(path, _Doc, Str("d"));
        _data->Erase(path, _Comment);
        _data->MoveSpec(path, SdfPath("/Moved"));
        _data->EraseSpec(SdfPath("/Moved"));
        const auto ops = Drain(*_data);
        ASSERT_EQ(ops.size(), 5u) << text;
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(ops[i].nodePath, text) << Describe(ops[i]);
        }
        EXPECT_EQ(ops[3].oldNodePath, text);
    }
}

TEST_F(SyncDataTest, QueriesReportSpecAndFieldSeparately)
{
    _data->SetField(_Attr, _Default, VtValue(1.5f));
    SdfSpecType type = SdfSpecTypeUnknown;
    VtValue value;
    EXPECT_FALSE(_data->HasSpecAndField(_Prim, _Default, &value, &type));
    EXPECT_EQ(type, SdfSpecTypePrim);
    EXPECT_TRUE(_data->HasSpecAndField(_Attr, _Default, &value, &type));
    EXPECT_EQ(value, VtValue(1.5f));
    EXPECT_FALSE(_data->HasSpecAndField(_Missing, _Default, &value, &type));
    EXPECT_EQ(type, SdfSpecTypeUnknown);

    EXPECT_TRUE(_data->Has(_Attr, _Default, static_cast<VtValue*>(nullptr)));
    EXPECT_TRUE(_data->Has(_Attr, _Default,
                           static_cast<SdfAbstractDataValue*>(nullptr)));
    float f = 0.f;
    SdfAbstractDataTypedValue<float> asFloat(&f);
    EXPECT_TRUE(_data->Has(_Attr, _Default, &asFloat));
    EXPECT_EQ(f, 1.5f);
    double d = 0.0;
    SdfAbstractDataTypedValue<double> asDouble(&d);
    EXPECT_FALSE(_data->HasSpecAndField(_Attr, _Default, &asDouble, &type));
    EXPECT_TRUE(asDouble.typeMismatch);

    EXPECT_TRUE(_data->Get(_Prim, _Default).IsEmpty());
    EXPECT_TRUE(_data->List(_Missing).empty());
    EXPECT_EQ(_data->GetSpecType(_Missing), SdfSpecTypeUnknown);
}

TEST_F(SyncDataTest, SetFieldKeepsFieldOrderAndRecordsNothing)
{
    _data->SetField(_Prim, _Doc, Str("one"));
    _data->SetField(_Prim, _Comment, Str("c"));
    _data->SetField(_Prim, _Doc, Str("two"));
    _data->SetField(_Prim, TfToken("active"), VtValue(true));
    EXPECT_EQ(Fields(_Prim), (Lines{"documentation", "comment", "active"}));
    EXPECT_EQ(_data->Get(_Prim, _Doc), Str("two"));

    // The non-recording path stores an empty value as such.
    _data->SetField(_Prim, _Comment, VtValue());
    EXPECT_TRUE(_data->Has(_Prim, _Comment));
    EXPECT_TRUE(Pending().empty());

    LogCapture cap;
    _data->SetField(_Missing, _Doc, Str("x"));
    EXPECT_EQ(
        cap.Count(
            err,
            "No spec at </Missing> when trying to set field 'documentation'"),
        1u);
    EXPECT_EQ(_data->GetOrCreateFieldValue(_Missing, TfToken()), nullptr);
    EXPECT_EQ(
        cap.Count(err, "No spec at </Missing> when trying to set field ''"),
        1u);
    EXPECT_FALSE(_data->HasSpec(_Missing));
}

TEST_F(SyncDataTest, SetFieldStringifiesOnlyForPrintedLines)
{
    {
        LogCapture cap(debug);
        _data->SetField(_Prim, _Doc, Str("hello"));
        EXPECT_EQ(
            cap.Count(debug,
                      "[SyncData::SetField] documentation at /A => hello"),
            1u);
    }
    LogCapture cap(spdlog::level::info);
    _data->SetField(_Prim, _Doc, Str("hello"));
    EXPECT_TRUE(cap.Lines().empty());
}

TEST_F(SyncDataTest, SetRecordsOneSetFieldWithThePackedValue)
{
    LogCapture cap(debug);
    _data->Set(_Attr, _Default, VtValue(2.5f));
    const float typed = 3.25f;
    _data->Set(_Prim, _Default, SdfAbstractDataConstTypedValue<float>(&typed));
    EXPECT_EQ(cap.Count(debug, "[SyncData::Set#1] Set field default at /A.f"),
              1u);
    EXPECT_EQ(
        cap.Count(debug, "[SyncData::Set#2] Set field default@float at /A"),
        1u);
    EXPECT_EQ(_data->Get(_Attr, _Default), VtValue(2.5f));
    EXPECT_EQ(_data->Get(_Prim, _Default), VtValue(3.25f));

    const auto ops = Drain(*_data);
    ASSERT_EQ(Describe(ops),
              (Lines{"SetField /A.f default", "SetField /A default"}));
    EXPECT_EQ(vela_test::Unpack(ops[0]), VtValue(2.5f));
    EXPECT_EQ(vela_test::Unpack(ops[1]), VtValue(3.25f));
}

TEST_F(SyncDataTest, SetOnMissingSpecRecordsOnlyTheUntypedForm)
{
    LogCapture cap;
    _data->Set(_Missing, _Doc, Str("x"));
    const float typed = 1.f;
    _data->Set(_Missing, _Default,
               SdfAbstractDataConstTypedValue<float>(&typed));
    EXPECT_EQ(cap.CountLevel(err), 2u);
    EXPECT_FALSE(_data->HasSpec(_Missing));
    EXPECT_EQ(Pending(), Lines{"SetField /Missing documentation"});
}

TEST_F(SyncDataTest, EmptySetAndEraseRemoveExistingFieldsOnly)
{
    _data->SetField(_Prim, _Doc, Str("d"));
    _data->SetField(_Prim, _Comment, Str("c"));
    _data->SetField(_Prim, TfToken("active"), VtValue(true));
    LogCapture cap(debug);
    _data->Set(_Prim, _Doc, VtValue());
    _data->Erase(_Prim, TfToken("active"));
    EXPECT_EQ(Fields(_Prim), Lines{"comment"});
    EXPECT_EQ(cap.Count(debug, "[SyncData::Erase] Erase field active at /A"),
              1u);
    EXPECT_EQ(Pending(),
              (Lines{"EraseField /A documentation", "EraseField /A active"}));

    _data->Set(_Prim, _Doc, VtValue());
    _data->Erase(_Prim, _Doc);
    _data->Erase(_Missing, _Doc);
    EXPECT_EQ(cap.Lines().size(), 2u);
    EXPECT_TRUE(Pending().empty());
}

// Applied operations are recorded only by a store that a layer owns; a
// free-standing store makes the same changes and records nothing.
TEST_F(SyncDataTest, ApplyingOpsRecordsAllButSetFieldOnlyOnALayersStore)
{
    SyncDataRefPtr layerData = SyncData::NewForLayer();
    layerData->CreateNode(_Prim, SdfSpecTypePrim);
    layerData->CreateNode(_Attr, SdfSpecTypeAttribute);
    Drain(*layerData);
    EXPECT_TRUE(layerData->IsOwnedByLayer());
    EXPECT_FALSE(_data->IsOwnedByLayer());

    LogCapture cap;
    // Zero value bytes, as the second SetField carries, stand for the empty value.
    SyncOp set = Op(SyncOp::SetField, "/A.f", "default");
    set.fieldValue =
        vela::ValueHandler::GetInstance().PackVtValue(VtValue(4.5f));
    for (SyncData* store : {get_pointer(_data), get_pointer(layerData)}) {
        store->ApplySyncOp(
            Op(SyncOp::CreateNode, "/B", "", "", SdfSpecTypePrim));
        store->ApplySyncOp(set);
        store->ApplySyncOp(Op(SyncOp::SetField, "/B", "comment"));
        store->ApplySyncOp(Op(SyncOp::EraseField, "/B", "comment"));
        store->ApplySyncOp(Op(SyncOp::MoveNode, "/C", "", "/B"));
        store->ApplySyncOp(Op(SyncOp::EraseNode, "/A"));

        EXPECT_EQ(store->Get(_Attr, _Default), VtValue(4.5f));
        EXPECT_TRUE(store->List(SdfPath("/C")).empty());
        EXPECT_EQ(store->GetSpecType(SdfPath("/C")), SdfSpecTypePrim);
        EXPECT_FALSE(store->HasSpec(_Prim));
    }
    EXPECT_EQ(vela_test::Dump(*_data), vela_test::Dump(*layerData));
    EXPECT_EQ(_data->GetPendingOpCount(), 0u);
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(layerData->GetPendingOpCount(), 4u);
    EXPECT_EQ(Describe(Drain(*layerData)),
              (Lines{"CreateNode /B 6", "EraseField /B comment",
                     "MoveNode /B -> /C", "EraseNode /A"}));
}

// A free-standing store applies through its recording edits, muted for the
// one operation: its own recording is as it was before, muted or not.
TEST_F(SyncDataTest, ApplyingOpsLeavesTheStoresRecordingAsItWas)
{
    _data->ApplySyncOp(Op(SyncOp::CreateNode, "/B", "", "", SdfSpecTypePrim));
    _data->ApplySyncOp(Op(SyncOp::EraseField, "/B", "comment"));
    EXPECT_FALSE(_data->IsRecordingMuted());
    _data->CreateSpec(SdfPath("/C"), SdfSpecTypePrim);
    EXPECT_EQ(Pending(), Lines{"CreateNode /C 6"});
    {
        vela::SyncRecordingMuteBlock outer(get_pointer(_data));
        _data->ApplySyncOp(Op(SyncOp::MoveNode, "/D", "", "/C"));
        EXPECT_TRUE(_data->IsRecordingMuted());
    }
    EXPECT_FALSE(_data->IsRecordingMuted());
    EXPECT_TRUE(_data->HasSpec(SdfPath("/D")));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, ApplyingMalformedOpsChangesNothing)
{
    LogCapture cap;
    for (const char* bad : {"", "not a path", "relative/Path", "/A["}) {
        for (auto type :
             {SyncOp::CreateNode, SyncOp::SetField, SyncOp::EraseNode,
              SyncOp::EraseField, SyncOp::MoveNode}) {
            _data->ApplySyncOp(Op(type, bad, "comment", bad, SdfSpecTypePrim));
        }
    }
    EXPECT_EQ(cap.CountLevel(err), 20u);
    _data->ApplySyncOp(
        Op(static_cast<SyncOp::SyncOpType>(17), "/B", "", "", SdfSpecTypePrim));
    EXPECT_EQ(vela_test::Dump(*_data).size(), 3u);
    EXPECT_TRUE(Pending().empty());
}

// A node type is a number on the wire; one outside SdfSpecType is refused
// before it could become one.
TEST_F(SyncDataTest, ApplyingCreateNodeWithSpecTypeOutOfRangeChangesNothing)
{
    LogCapture cap;
    for (int32_t type : {-61, int32_t(SdfNumSpecTypes), 1 << 30}) {
        _data->ApplySyncOp(Op(SyncOp::CreateNode, "/B", "", "", type));
    }
    EXPECT_EQ(cap.CountLevel(err), 3u);
    EXPECT_EQ(cap.Count(err, "Invalid spec type -61 at /B"), 1u);
    EXPECT_FALSE(_data->HasSpec(SdfPath("/B")));
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, TimeSamplesAreRefused)
{
    LogCapture cap;
    _data->SetTimeSample(_Attr, 1.0, VtValue(1.f));
    EXPECT_TRUE(_data->ListAllTimeSamples().empty());
    EXPECT_TRUE(_data->ListTimeSamplesForPath(_Attr).empty());
    VtValue v;
    EXPECT_FALSE(_data->QueryTimeSample(_Attr, 1.0, &v));
    float f = 0.f;
    SdfAbstractDataTypedValue<float> typed(&f);
    EXPECT_FALSE(_data->QueryTimeSample(_Attr, 1.0, &typed));
    _data->EraseTimeSample(_Attr, 1.0);
    double lo = 0, hi = 0;
    EXPECT_FALSE(_data->GetBracketingTimeSamples(1.0, &lo, &hi));
    EXPECT_FALSE(_data->GetBracketingTimeSamplesForPath(_Attr, 1.0, &lo, &hi));
    EXPECT_EQ(_data->GetNumTimeSamplesForPath(_Attr), 0u);

    for (const char* name :
         {"SetTimeSample", "ListAllTimeSamples", "ListTimeSamplesForPath",
          "QueryTimeSample", "EraseTimeSample"}) {
        EXPECT_EQ(
            cap.Count(spdlog::level::warn,
                      std::string("[SyncData::") + name + "] not implemented"),
            1u)
            << name;
    }
    EXPECT_EQ(cap.Lines().size(), 5u);
    EXPECT_TRUE(_data->List(_Attr).empty());
    EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncDataTest, VisitSpecsStopsWhenTheVisitorDeclines)
{
    struct FirstOnly : SdfAbstractDataSpecVisitor
    {
        int visits = 0;
        bool VisitSpec(const SdfAbstractData&, const SdfPath&) override
        {
            return ++visits < 1;
        }
        void Done(const SdfAbstractData&) override {}
    } visitor;
    _data->VisitSpecs(&visitor);
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
