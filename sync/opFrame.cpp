//
// Copyright 2026 vela contributors
//
#include "sync/opFrame.h"

#include "sync/opFrameEncoding.h"
#include "sync/opFrameReader.h"
#include "sync/opFrameTables.h"
#include "sync/syncOpMerger.h"

#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/types.h>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

using namespace pxr;

namespace vela {

std::string OpFrame::Encode(const SyncOpList& ops, bool coalesce, size_t first)
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
    tables.Write(&out);
    out.append(types).append(paths).append(seconds).append(values);
    return out;
}

bool OpFrame::Decode(const uint8_t* data, size_t size, SyncOpList* ops,
                     std::string* error)
{
    ops->clear();
    OpFrameReader reader(data, size);
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
                    size_t* applied, std::string* error)
{
    *applied = 0;
    OpFrameReader reader(data, size);
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
