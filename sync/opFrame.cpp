//
// Copyright 2026 vela contributors
//
#include "sync/opFrame.h"

#include "sync/opFrameEncoding.h"
#include "sync/opFrameReader.h"
#include "sync/opFrameTables.h"
#include "sync/specChildren.h"
#include "sync/syncOpMerger.h"
#include "sync/valueHandler.h"

#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/types.h>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

using namespace pxr;

namespace vela {

namespace {

// The bases section: the number of bases, then for each, in operation
// order, the operation's ordinal as the gap after the previous one, and
// the base's index in the value table.
void _PutBases(std::string* out,
               const std::vector<std::pair<uint64_t, uint64_t>>& bases)
{
    OpFramePutVarint(out, bases.size());
    uint64_t next = 0;
    for (const auto& [op, value] : bases) {
        OpFramePutVarint(out, op - next);
        OpFramePutVarint(out, value);
        next = op + 1;
    }
}

} // namespace

std::string OpFrame::Encode(const SyncOpList& ops, bool coalesce, size_t first,
                            bool bases)
{
    first = std::min(first, ops.size());
    const size_t n = ops.size() - first;
    OpFrameTables tables(n);

    // Paths and names are interned in one forward pass, so that coalescing
    // compares small numbers instead of strings.
    std::vector<uint32_t> pathIds(n), secondIds(n);
    for (size_t i = 0; i < n; ++i) {
        const SyncOp& op = ops[first + i];
        pathIds[i] = static_cast<uint32_t>(tables.Path(op.nodePath));
        if (op.opType == SyncOp::SetField || op.opType == SyncOp::EraseField) {
            secondIds[i] = static_cast<uint32_t>(tables.String(op.fieldName));
        } else if (op.opType == SyncOp::MoveNode) {
            secondIds[i] = static_cast<uint32_t>(tables.Path(op.oldNodePath));
        }
    }

    // Coalescing on the table indices: no operation is copied.
    const std::vector<char> keep =
        coalesce
            ? SyncOpsKeptByCoalescing(ops, first, pathIds, secondIds,
                                      tables.PathCount(), tables.StringCount())
            : std::vector<char>(n, 1);
    std::vector<size_t> baseSources;
    if (bases) {
        baseSources = SyncOpBaseSources(ops, first, pathIds, secondIds,
                                        tables.StringCount(), keep);
    }
    // Bases join the value table after the values the value column takes
    // in order, so that its "next new value" stays what it was.
    std::vector<std::pair<uint64_t, const PackedData*>> baseOps;

    std::string types, paths, seconds, values;
    types.reserve(n);
    paths.reserve(n * 2);
    seconds.reserve(n * 2);
    values.reserve(n);
    uint64_t count = 0;
    int64_t previousPath = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!keep[i]) {
            continue;
        }
        const SyncOp& op = ops[first + i];
        ++count;
        types.push_back(static_cast<char>(op.opType));
        const int64_t path = pathIds[i];
        OpFramePutVarint(&paths, OpFrameZigZag64(path - previousPath));
        previousPath = path;
        switch (op.opType) {
        case SyncOp::CreateNode:
            OpFramePutVarint(&seconds, OpFrameZigZag32(op.nodeType));
            break;
        case SyncOp::SetField: {
            OpFramePutVarint(&seconds, secondIds[i]);
            bool isNew = false;
            const uint64_t value =
                tables.Value(OpFrameBytesOf(op.fieldValue), &isNew);
            OpFramePutVarint(&values, isNew ? 0 : value + 1);
            if (bases && baseSources[i] != SIZE_MAX) {
                baseOps.emplace_back(count - 1,
                                     &ops[first + baseSources[i]].baseValue);
            }
            break;
        }
        case SyncOp::MoveNode:
            OpFramePutVarint(
                &seconds,
                OpFrameZigZag64(static_cast<int64_t>(secondIds[i]) - path));
            break;
        case SyncOp::EraseField:
            OpFramePutVarint(&seconds, secondIds[i]);
            break;
        default:
            break;
        }
    }
    std::string out;
    out.reserve(types.size() + paths.size() + seconds.size() + values.size() +
                count * 8);
    OpFramePutVarint(&out, count);
    std::vector<std::pair<uint64_t, uint64_t>> baseRefs;
    baseRefs.reserve(baseOps.size());
    for (const auto& [op, packed] : baseOps) {
        bool isNew = false;
        baseRefs.emplace_back(op,
                              tables.Value(OpFrameBytesOf(*packed), &isNew));
    }
    tables.Write(&out);
    out.append(types).append(paths).append(seconds).append(values);
    if (bases) {
        _PutBases(&out, baseRefs);
    }
    return out;
}

std::string OpFrame::EncodeStore(const SyncData& store, size_t* leftOut,
                                 bool bases)
{
    const size_t specCount = store.GetSpecCount();
    OpFrameTables tables(specCount * 4);
    std::string types, paths, seconds, values;
    uint64_t count = 0;
    int64_t previousPath = 0;
    const auto put = [&](SyncOp::SyncOpType type, uint64_t path) {
        ++count;
        types.push_back(static_cast<char>(type));
        const int64_t index = static_cast<int64_t>(path);
        OpFramePutVarint(&paths, OpFrameZigZag64(index - previousPath));
        previousPath = index;
    };
    const ValueHandler& handler = ValueHandler::GetInstance();
    const auto putFields = [&](const SdfPath& path, uint64_t index) {
        store.ForEachField(
            path, [&](const TfToken& name, const VtValue& value) {
                put(SyncOp::SetField, index);
                OpFramePutVarint(&seconds, tables.String(name.GetString()));
                const PackedData packed =
                    value.IsEmpty() ? PackedData() : handler.PackVtValue(value);
                bool isNew = false;
                const uint64_t at =
                    tables.OwnedValue(OpFrameBytesOf(packed), &isNew);
                OpFramePutVarint(&values, isNew ? 0 : at + 1);
                return true;
            });
    };

    // Depth first from the pseudo-root. Each entry carries the table index
    // (plus one) of the path its text extends: its owner's, or for a
    // variant, whose owner is its variant set, the prim's.
    struct Pending
    {
        SdfPath path;
        uint64_t textPrefix;
    };
    std::vector<Pending> stack;
    std::vector<SdfPath> children;
    const auto pushChildren = [&](const SdfPath& path, uint64_t index,
                                  uint64_t textPrefix) {
        children.clear();
        store.ForEachField(
            path, [&](const TfToken& name, const VtValue& value) {
                if (IsSpecChildrenField(name)) {
                    ForEachSpecChildPath(path, name, value,
                                         [&](const SdfPath& child) {
                                             children.push_back(child);
                                         });
                }
                return true;
            });
        // A path has one owner, so only a name its owner lists twice could
        // reach it twice (and a subtree as many times over, level by
        // level). Most specs have a child or none.
        if (children.size() > 1) {
            SyncData::PathSet listed(children.size() * 2);
            children.erase(
                std::remove_if(children.begin(), children.end(),
                               [&](const SdfPath& child) {
                                   return !listed.insert(child).second;
                               }),
                children.end());
        }
        // Reversed onto the stack, so that children come out in order.
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            const bool variant = it->IsPrimVariantSelectionPath() &&
                                 !it->GetVariantSelection().second.empty();
            stack.push_back(Pending{*it, variant ? textPrefix : index + 1});
        }
    };

    const SdfPath& root = SdfPath::AbsoluteRootPath();
    size_t reached = 0;
    std::string piece;
    if (store.HasSpec(root)) {
        const uint64_t index = tables.AppendPath(0, tables.String("/"));
        ++reached;
        putFields(root, index);
        pushChildren(root, index, 0);
    }
    while (!stack.empty()) {
        const Pending next = std::move(stack.back());
        stack.pop_back();
        const SdfSpecType type = store.GetSpecType(next.path);
        if (type == SdfSpecTypeUnknown) {
            continue;
        }
        // A prim's name follows its parent's text after a '/', except
        // after the pseudo-root's and a variant's.
        const SdfPath parent = next.path.GetParentPath();
        piece.clear();
        if (next.path.IsPrimPath() && !parent.IsAbsoluteRootPath() &&
            !parent.IsPrimVariantSelectionPath()) {
            piece.push_back('/');
        }
        piece += next.path.GetElementString();
        const uint64_t index =
            tables.AppendPath(next.textPrefix, tables.OwnedString(piece));
        ++reached;
        put(SyncOp::CreateNode, index);
        OpFramePutVarint(&seconds, OpFrameZigZag32(static_cast<int32_t>(type)));
        putFields(next.path, index);
        pushChildren(next.path, index, next.textPrefix);
    }
    const size_t missed = reached < specCount ? specCount - reached : 0;
    if (leftOut) {
        *leftOut = missed;
    }
    if (missed) {
        spdlog::debug("OpFrame::EncodeStore: left out {} of {} specs, which "
                      "no children field reaches",
                      missed, specCount);
    }
    std::string out;
    out.reserve(types.size() + paths.size() + seconds.size() + values.size() +
                count * 8);
    OpFramePutVarint(&out, count);
    tables.Write(&out);
    out.append(types).append(paths).append(seconds).append(values);
    if (bases) {
        _PutBases(&out, {});
    }
    return out;
}

bool OpFrame::Decode(const uint8_t* data, size_t size, SyncOpList* ops,
                     std::string* error, bool bases)
{
    ops->clear();
    OpFrameReader reader(data, size, bases);
    if (!reader.Run(error)) {
        return false;
    }
    std::vector<std::string> texts(reader.PathCount());
    auto text = [&](uint64_t i) -> const std::string& {
        if (texts[i].empty()) {
            texts[i] = reader.PathText(i);
        }
        return texts[i];
    };
    ops->reserve(reader.Ops().size());
    for (const OpFrameReader::Op& raw : reader.Ops()) {
        SyncOp op;
        op.opType = raw.type;
        op.nodePath = text(raw.path);
        switch (raw.type) {
        case SyncOp::CreateNode:
            op.nodeType = static_cast<int32_t>(raw.nodeType); // checked
            break;
        case SyncOp::SetField:
            op.fieldName.assign(reader.String(raw.second));
            op.fieldValue = OpFramePackedOf(reader.ValueBytes(raw.value));
            if (raw.base != OpFrameReader::NoBase) {
                op.hasBase = true;
                op.baseValue = OpFramePackedOf(reader.ValueBytes(raw.base));
            }
            break;
        case SyncOp::MoveNode:
            op.oldNodePath = text(raw.second);
            break;
        case SyncOp::EraseField:
            op.fieldName.assign(reader.String(raw.second));
            break;
        default:
            break;
        }
        ops->push_back(std::move(op));
    }
    return true;
}

bool OpFrame::Apply(const uint8_t* data, size_t size, SyncData* target,
                    size_t* applied, std::string* error, bool bases)
{
    OpFrameReader reader(nullptr, 0);
    return Apply(data, size, target, applied, error, bases, &reader);
}

bool OpFrame::Apply(const uint8_t* data, size_t size, SyncData* target,
                    size_t* applied, std::string* error, bool bases,
                    OpFrameReader* readerToUse)
{
    *applied = 0;
    OpFrameReader& reader = *readerToUse;
    reader.Reset(data, size, bases);
    // What the body built is let go of with the call, the room kept.
    struct Release
    {
        OpFrameReader& reader;
        ~Release() { reader.Reset(nullptr, 0); }
    } release{reader};
    if (!reader.Run(error)) {
        return false;
    }
    // Everything is checked; the operations apply as one frame, merged
    // with what concurrent frames did before it. Values are unpacked once
    // per distinct entry; the store's own edits make every change.
    SyncOpMerger merger(target, reader.Ops().size());
    for (const OpFrameReader::Op& op : reader.Ops()) {
        SyncData::CheckedSyncOp received;
        received.type = op.type;
        received.path = reader.Path(op.path);
        switch (op.type) {
        case SyncOp::CreateNode:
            received.specType = static_cast<SdfSpecType>(op.nodeType);
            break;
        case SyncOp::SetField:
            received.fieldName = reader.Token(op.second);
            received.fieldValue = reader.Value(op.value);
            if (op.base != OpFrameReader::NoBase) {
                received.hasBase = true;
                received.baseValue = reader.Value(op.base);
            }
            break;
        case SyncOp::MoveNode:
            received.oldPath = reader.Path(op.second);
            break;
        case SyncOp::EraseField:
            received.fieldName = reader.Token(op.second);
            break;
        default:
            break;
        }
        merger.Apply(received);
    }
    merger.Finish();
    *applied = reader.Ops().size();
    return true;
}

} // namespace vela
