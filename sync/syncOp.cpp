//
// Copyright 2026 vela contributors
//
#include "sync/syncOp.h"
#include "sync/valueHandler.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace vela {

// Operations are records of events, not values with an identity: two
// edits with the same fields are still two edits, so nothing may treat
// one as a duplicate of the other.
bool operator==(const SyncOp&, const SyncOp&)
{
    return false;
}

// One backward pass: a field edit is dropped when an edit of the same field
// on the same node was seen after it, and any other operation on a node
// forgets what was seen there, since a move carries the node's fields along
// and a creation or erasure starts them afresh. The fields seen on a node
// are a bit mask when the list names at most 64 fields, as it nearly always
// does, and a short list otherwise.
std::vector<char>
SyncOpsKeptByCoalescing(const SyncOpList& ops, size_t first,
                        const std::vector<uint32_t>& nodeIds,
                        const std::vector<uint32_t>& secondIds,
                        size_t nodeIdCount, size_t fieldIdCount)
{
    const size_t n = nodeIds.size();
    std::vector<char> keep(n, 1);
    std::vector<int32_t> bit(fieldIdCount, -1);
    int32_t fields = 0;
    for (size_t i = 0; i < n; ++i) {
        const SyncOp::SyncOpType type = ops[first + i].opType;
        if ((type == SyncOp::SetField || type == SyncOp::EraseField) &&
            bit[secondIds[i]] < 0) {
            bit[secondIds[i]] = fields++;
        }
    }
    std::vector<uint64_t> masks;
    std::vector<std::vector<uint32_t>> lists;
    if (fields <= 64) {
        masks.assign(nodeIdCount, 0);
    } else {
        lists.resize(nodeIdCount);
    }
    auto seen = [&](uint32_t node, uint32_t field) {
        if (!masks.empty()) {
            const uint64_t flag = uint64_t(1) << bit[field];
            const bool was = masks[node] & flag;
            masks[node] |= flag;
            return was;
        }
        auto& list = lists[node];
        if (std::find(list.begin(), list.end(), field) != list.end()) {
            return true;
        }
        list.push_back(field);
        return false;
    };
    auto forget = [&](uint32_t node) {
        if (!masks.empty()) {
            masks[node] = 0;
        } else {
            lists[node].clear();
        }
    };
    for (size_t i = n; i-- > 0;) {
        switch (ops[first + i].opType) {
        case SyncOp::SetField:
        case SyncOp::EraseField:
            if (seen(nodeIds[i], secondIds[i])) {
                keep[i] = 0;
            }
            break;
        case SyncOp::MoveNode:
            forget(secondIds[i]);
            forget(nodeIds[i]);
            break;
        default:
            forget(nodeIds[i]);
            break;
        }
    }
    return keep;
}

std::vector<size_t> SyncOpBaseSources(const SyncOpList& ops, size_t first,
                                      const std::vector<uint32_t>& nodeIds,
                                      const std::vector<uint32_t>& secondIds,
                                      size_t fieldIdCount,
                                      const std::vector<char>& keep)
{
    const size_t n = ops.size() - first;
    std::vector<size_t> sources(n, SIZE_MAX);
    // Coalescing drops an edit only for a later one of the same field with
    // no move or erase of the node between, so a run of dropped edits
    // always ends at the kept edit of its field.
    std::unordered_map<uint64_t, size_t> runStart;
    const ValueHandler& handler = ValueHandler::GetInstance();
    for (size_t i = 0; i < n; ++i) {
        const SyncOp& op = ops[first + i];
        if (op.opType != SyncOp::SetField && op.opType != SyncOp::EraseField) {
            continue;
        }
        const uint64_t key =
            static_cast<uint64_t>(nodeIds[i]) * fieldIdCount + secondIds[i];
        const auto found = runStart.find(key);
        const size_t start = found == runStart.end() ? i : found->second;
        if (!keep[i]) {
            runStart.emplace(key, start);
            continue;
        }
        if (found != runStart.end()) {
            runStart.erase(found);
        }
        // The kept set stands for the run, so it takes the base of the
        // run's first set, unless its own value is no list op any more.
        const SyncOp& origin = ops[first + start];
        if (op.opType == SyncOp::SetField &&
            origin.opType == SyncOp::SetField && origin.hasBase &&
            (start == i || handler.IsListOp(op.fieldValue))) {
            sources[i] = start;
        }
    }
    return sources;
}

SyncOpList CoalesceSyncOps(const SyncOpList& ops)
{
    // Paths (old paths of moves among them) and field names become numbers
    // once, by their text; the operations outlive the views.
    std::unordered_map<std::string_view, uint32_t> nodes, fields;
    nodes.reserve(ops.size());
    auto id = [](std::unordered_map<std::string_view, uint32_t>& ids,
                 const std::string& text) {
        return ids.emplace(text, static_cast<uint32_t>(ids.size()))
            .first->second;
    };
    std::vector<uint32_t> nodeIds(ops.size()), secondIds(ops.size(), 0);
    for (size_t i = 0; i < ops.size(); ++i) {
        const SyncOp& op = ops[i];
        nodeIds[i] = id(nodes, op.nodePath);
        if (op.opType == SyncOp::SetField || op.opType == SyncOp::EraseField) {
            secondIds[i] = id(fields, op.fieldName);
        } else if (op.opType == SyncOp::MoveNode) {
            secondIds[i] = id(nodes, op.oldNodePath);
        }
    }
    const std::vector<char> keep = SyncOpsKeptByCoalescing(
        ops, 0, nodeIds, secondIds, nodes.size(), fields.size());
    const std::vector<size_t> sources =
        SyncOpBaseSources(ops, 0, nodeIds, secondIds, fields.size(), keep);
    SyncOpList kept;
    kept.reserve(static_cast<size_t>(std::count(keep.begin(), keep.end(), 1)));
    for (size_t i = 0; i < ops.size(); ++i) {
        if (keep[i]) {
            kept.push_back(ops[i]);
            SyncOp& op = kept.back();
            op.hasBase = sources[i] != SIZE_MAX;
            op.baseValue =
                op.hasBase ? ops[sources[i]].baseValue : PackedData();
        }
    }
    return kept;
}

} // namespace vela
