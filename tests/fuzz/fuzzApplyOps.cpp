// A byte stream read as operations from a peer -> SyncData, then
// SyncFileFormat::RefreshData into a sync layer and an export of that layer
// to .usda text.
//
// Stream format (see opStream.h): each operation is a kind byte and its
// fields; paths and field names are short literals or picks from tables of
// names OpenUSD knows, values are packed bytes with a 16-bit length.
//
// Checked after every stream: a refresh never echoes into the layer
// updates; the layer holds exactly the store's specs and fields (refresh
// accepted) or its own earlier content (refused); the layer can be written
// out as text.
//
// The same stream also drives a layer's store through its recording edits
// (CreateSpec, Set, Erase, MoveSpec, EraseSpec), as OpenUSD's layer API
// would; operations of unknown type mark where its updates are taken out.
// Every list taken out is applied to a replica, in order, and the replica
// must end up with the store's specs, fields, field order and value bytes:
// whatever the recorder dropped as superseded, a peer must not miss.
//
// And the stream, cut into frames at the same marks, goes to a third store
// through SyncData::ApplySyncOps, the frame merger, keeping only what an Sdf
// layer can send (specs whose type fits their path, moves between paths of
// one kind, no target or mapper specs): after every frame each children
// name has its spec, each spec its parent and a place in the parent's
// list, and the refresh at the end takes that store whole.

#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "sync/syncOpMerger.h"
#include "tests/fuzz/fuzzSupport.h"
#include "tests/fuzz/opStream.h"

#include "sync/valueHandler.h"

#include <pxr/usd/sdf/layer.h>
#include <pxr/base/tf/errorMark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace pxr;
using vela::SyncOpList;

namespace {

// The layers live across inputs; every input starts from a reset layer.
SdfLayerRefPtr& SyncLayer()
{
    static SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("fuzz.vela");
    return layer;
}

SdfLayerRefPtr& TextLayer()
{
    static SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("fuzz.usda");
    return layer;
}

// The stream's operation as a local edit of a layer's store. Only what
// OpenUSD's layer API could ask for and a peer accepts: absolute paths,
// spec types in range, named fields (SyncData's checks refuse a field
// without a name on every peer, as frames always did).
bool IsFieldEdit(int kind)
{
    return kind == vela_fuzz::ApplySet || kind == vela_fuzz::ReceiveSet ||
           kind == vela_fuzz::ApplyEraseField;
}

// The value a stream's bytes pack, or the empty value.
VtValue Unpacked(const std::vector<uint8_t>& bytes)
{
    const uint8_t code = bytes.empty() ? 0 : bytes[0];
    const bool array = bytes.size() > 1 && (bytes[1] & 1);
    return vela::ValueHandler::GetInstance().UnpackVtValue(
        vela::PackedData(code, array, bytes));
}

void Record(const vela_fuzz::StreamOp& in, vela::SyncData& store)
{
    SdfPath path;
    const int kind = in.kind % 8;
    const TfToken field(in.field);
    if (!vela::SyncData::CheckNodePath(in.path, &path, nullptr) ||
        (field.IsEmpty() && IsFieldEdit(kind))) {
        return;
    }
    SdfPath from;
    switch (kind) {
    case vela_fuzz::ApplyCreate:
    case vela_fuzz::ReceiveCreate:
        if (in.specType > SdfSpecTypeUnknown && in.specType < SdfNumSpecTypes) {
            store.CreateSpec(path, SdfSpecType(in.specType));
        }
        return;
    case vela_fuzz::ApplySet:
    case vela_fuzz::ReceiveSet:
        store.Set(path, field, Unpacked(in.value));
        return;
    case vela_fuzz::ApplyMove:
        if (vela::SyncData::CheckNodePath(in.oldPath, &from, nullptr)) {
            store.MoveSpec(from, path);
        }
        return;
    case vela_fuzz::ApplyEraseNode:
        if (store.HasSpec(path)) {
            store.EraseSpec(path);
        }
        return;
    case vela_fuzz::ApplyEraseField:
        store.Erase(path, field);
        return;
    default:
        return;
    }
}

// Specs with their type and their fields in order, values as packed bytes.
using OrderedContent = std::map<
    SdfPath,
    std::pair<int, std::vector<std::pair<TfToken, std::vector<uint8_t>>>>>;

OrderedContent Ordered(const vela::SyncData& data)
{
    const auto& handler = vela::ValueHandler::GetInstance();
    OrderedContent all;
    for (const auto& path : vela_fuzz::SpecPaths(data)) {
        auto& entry = all[path];
        entry.first = int(data.GetSpecType(path));
        for (const auto& field : data.List(path)) {
            entry.second.emplace_back(
                field, handler.PackVtValue(data.Get(path, field)).bytes);
        }
    }
    return all;
}

// Every operation replayed for the current input, for a failure report.
std::vector<std::string>& Replayed()
{
    static std::vector<std::string> lines;
    return lines;
}

void Replay(vela::SyncData& recorded, vela::SyncData& replica)
{
    SyncOpList ops;
    recorded.GetDelta().SwapPendingOps(ops);
    for (const auto& op : ops) {
        Replayed().push_back(std::to_string(int(op.opType)) + " " +
                             op.nodePath + " " + op.oldNodePath + " " +
                             op.fieldName + " " + std::to_string(op.nodeType) +
                             " " + std::to_string(op.fieldValue.bytes.size()));
        replica.ApplySyncOp(op);
    }
    Replayed().push_back("--");
}

void PrintOrdered(const char* title, const OrderedContent& content)
{
    std::fprintf(stderr, "%s:\n", title);
    for (const auto& [path, spec] : content) {
        std::fprintf(stderr, "  %s (type %d)\n", path.GetText(), spec.first);
        for (const auto& [field, bytes] : spec.second) {
            std::string hex;
            for (uint8_t b : bytes) {
                static const char digits[] = "0123456789abcdef";
                hex += digits[b >> 4];
                hex += digits[b & 15];
            }
            std::fprintf(stderr, "    %s: %s\n", field.GetText(), hex.c_str());
        }
    }
}

// The stream's operation as a peer's layer could send it, or false. Every
// spec it creates or moves is a prim, property, variant set or variant, of
// the type its path calls for.
bool AsSdfWouldSend(const vela_fuzz::StreamOp& in, vela::SyncOp* op)
{
    const int kind = in.kind % 8;
    SdfPath path, from;
    if (kind == vela_fuzz::UnknownType ||
        !vela::SyncData::CheckNodePath(in.path, &path, nullptr)) {
        return false;
    }
    const auto shape = [](const SdfPath& p) {
        if (p.IsAbsoluteRootPath()) {
            return 0;
        }
        if (p.IsPrimPath()) {
            return 1;
        }
        if (p.IsPrimPropertyPath()) {
            return 2;
        }
        if (p.IsPrimVariantSelectionPath()) {
            return p.GetVariantSelection().second.empty() ? 3 : 4;
        }
        return -1;
    };
    op->nodePath = in.path;
    switch (kind) {
    case vela_fuzz::ApplyCreate:
    case vela_fuzz::ReceiveCreate: {
        static const int fits[][2] = {
            {SdfSpecTypePseudoRoot, SdfSpecTypePseudoRoot},
            {SdfSpecTypePrim, SdfSpecTypePrim},
            {SdfSpecTypeAttribute, SdfSpecTypeRelationship},
            {SdfSpecTypeVariantSet, SdfSpecTypeVariantSet},
            {SdfSpecTypeVariant, SdfSpecTypeVariant}};
        const int at = shape(path);
        if (at < 0 ||
            (in.specType != fits[at][0] && in.specType != fits[at][1])) {
            return false;
        }
        op->opType = vela::SyncOp::CreateNode;
        op->nodeType = in.specType;
        return true;
    }
    case vela_fuzz::ApplySet:
    case vela_fuzz::ReceiveSet:
    case vela_fuzz::ApplyEraseField: {
        // Children named by path are not merged; an Sdf layer sets them
        // only beside target and mapper specs.
        const TfToken field(in.field);
        if (field.IsEmpty() ||
            field == SdfChildrenKeys->RelationshipTargetChildren ||
            field == SdfChildrenKeys->ConnectionChildren ||
            field == SdfChildrenKeys->MapperChildren ||
            field == SdfChildrenKeys->MapperArgChildren ||
            field == SdfChildrenKeys->ExpressionChildren) {
            return false;
        }
        op->fieldName = in.field;
        if (kind == vela_fuzz::ApplyEraseField) {
            op->opType = vela::SyncOp::EraseField;
            return true;
        }
        op->opType = vela::SyncOp::SetField;
        const uint8_t code = in.value.empty() ? 0 : in.value[0];
        const bool array = in.value.size() > 1 && (in.value[1] & 1);
        op->fieldValue = vela::PackedData(code, array, in.value);
        return vela::SyncData::CheckSyncOp(*op, nullptr);
    }
    case vela_fuzz::ApplyMove:
        if (!vela::SyncData::CheckNodePath(in.oldPath, &from, nullptr) ||
            shape(path) < 1 || shape(path) != shape(from)) {
            return false;
        }
        op->opType = vela::SyncOp::MoveNode;
        op->oldNodePath = in.oldPath;
        return true;
    case vela_fuzz::ApplyEraseNode:
        op->opType = vela::SyncOp::EraseNode;
        return true;
    default:
        return false;
    }
}

std::string Describe(const vela::SyncOp& op)
{
    return std::to_string(int(op.opType)) + " " + op.nodePath + " " +
           op.oldNodePath + " " + op.fieldName + " " +
           std::to_string(op.nodeType) + " " +
           std::to_string(op.fieldValue.bytes.size());
}

// The frames given to the merger for the current input, for a failure
// report.
std::vector<std::string>& MergedFrames()
{
    static std::vector<std::string> lines;
    return lines;
}

void FailMerged(const vela::SyncData& store, const SdfPath& path,
                const char* what)
{
    std::fprintf(stderr, "at %s; frames:\n", path.GetText());
    for (const auto& line : MergedFrames()) {
        std::fprintf(stderr, "  %s\n", line.c_str());
    }
    vela_fuzz::PrintContent("merged", store);
    vela_fuzz::Check(false, what);
}

// The merger's promise about a store built from frames alone.
void CheckMerged(const vela::SyncData& store)
{
    if (!store.HasSpec(SdfPath::AbsoluteRootPath())) {
        FailMerged(store, SdfPath::AbsoluteRootPath(),
                   "a merged store keeps its pseudo-root");
    }
    const auto& fields = vela::SyncOpMerger::TokenChildrenFields();
    for (const SdfPath& path : vela_fuzz::SpecPaths(store)) {
        for (int f = 0; f < int(fields.size()); ++f) {
            const VtValue* value = store.GetFieldValue(path, fields[f]);
            if (!value) {
                continue;
            }
            if (!value->IsHolding<TfTokenVector>()) {
                FailMerged(store, path,
                           "a merged children field is a token list");
            }
            for (const TfToken& name : value->UncheckedGet<TfTokenVector>()) {
                const SdfPath child =
                    vela::SyncOpMerger::GetChildPath(path, f, name);
                if (child.IsEmpty() || !store.HasSpec(child)) {
                    FailMerged(store, path,
                               "every merged children name has its spec");
                }
            }
        }
        SdfPath parent;
        TfToken name;
        const int field =
            vela::SyncOpMerger::GetChildSlot(path, &parent, &name);
        if (field < 0) {
            continue;
        }
        if (!store.HasSpec(parent)) {
            FailMerged(store, path, "every merged spec has its parent spec");
        }
        const VtValue* listed = store.GetFieldValue(parent, fields[field]);
        const TfTokenVector* names =
            listed && listed->IsHolding<TfTokenVector>()
                ? &listed->UncheckedGet<TfTokenVector>()
                : nullptr;
        if (!names ||
            std::find(names->begin(), names->end(), name) == names->end()) {
            FailMerged(store, path,
                       "every merged spec is listed by its parent");
        }
    }
}

void ApplyFrame(vela::SyncOpList* frame, vela::SyncData& merged)
{
    for (const auto& op : *frame) {
        MergedFrames().push_back(Describe(op));
    }
    MergedFrames().push_back("--");
    merged.ApplySyncOps(*frame);
    frame->clear();
    CheckMerged(merged);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vela_fuzz::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TfErrorMark mark;
    SdfLayerRefPtr layer = SyncLayer();
    vela_fuzz::Check(layer, "the sync layer exists");
    SyncFileFormat::ResetData(layer);
    vela::SyncData::GetLayerUpdates(layer);

    vela::SyncDataRefPtr store = vela::SyncData::New();
    vela::SyncDataRefPtr recorded = vela::SyncData::NewForLayer();
    vela::SyncDataRefPtr replica = vela::SyncData::New();
    vela::SyncDataRefPtr merged = vela::SyncData::New();
    vela::SyncOpList frame;
    Replayed().clear();
    MergedFrames().clear();
    vela_fuzz::OpStreamReader reader(data, size);
    vela_fuzz::StreamOp op;
    while (reader.Next(&op)) {
        vela_fuzz::Apply(op, *store);
        Record(op, *recorded);
        vela::SyncOp sent;
        if (AsSdfWouldSend(op, &sent)) {
            frame.push_back(std::move(sent));
        }
        if (op.kind % 8 == vela_fuzz::UnknownType) {
            Replay(*recorded, *replica);
            ApplyFrame(&frame, *merged);
        }
    }
    Replay(*recorded, *replica);
    ApplyFrame(&frame, *merged);
    const OrderedContent recordedContent = Ordered(*recorded);
    const OrderedContent replicaContent = Ordered(*replica);
    if (recordedContent != replicaContent) {
        PrintOrdered("recorded", recordedContent);
        PrintOrdered("replica", replicaContent);
        std::fprintf(stderr, "replayed:\n");
        for (const auto& line : Replayed()) {
            std::fprintf(stderr, "  %s\n", line.c_str());
        }
        vela_fuzz::Check(false, "the recorded updates rebuild the store");
    }

    SyncFileFormat::RefreshData(layer, store);
    vela_fuzz::Check(vela::SyncData::GetLayerUpdates(layer).empty(),
                     "a refresh is not echoed into the layer updates");

    // Refused data leaves the layer as the reset left it.
    vela::SyncDataPtr held = SyncFileFormat::GetData(*layer);
    vela_fuzz::Check(held, "the layer keeps its SyncData");
    if (!vela_fuzz::SameContent(*held, *store) &&
        !vela_fuzz::SameContent(*held, *vela::SyncData::New())) {
        vela_fuzz::PrintContent("store", *store);
        vela_fuzz::PrintContent("layer", *held);
        vela_fuzz::Check(false,
                         "the layer holds the store's content or its own");
    }

    SyncFileFormat::RefreshData(layer, merged);
    held = SyncFileFormat::GetData(*layer);
    vela_fuzz::Check(held && vela_fuzz::SameContent(*held, *merged),
                     "a refresh takes a merged store whole");

    std::string text;
    layer->ExportToString(&text);
    SdfLayerRefPtr textLayer = TextLayer();
    textLayer->TransferContent(layer);
    vela_fuzz::Check(textLayer->ExportToString(&text),
                     "the refreshed layer exports to text");
    mark.Clear();
    return 0;
}
