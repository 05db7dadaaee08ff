//
// Copyright 2026 vela contributors
//
#include "sync/syncDelta.h"

#include "sync/listOpMerge.h"
#include "sync/valueHandler.h"

#include <pxr/base/tf/hash.h>

#include <utility>

using namespace pxr;

namespace vela {

namespace {

// The text of a path, as SdfPath::GetString gives it. Asking a path for
// its text interns a token for it, which costs more than the record it is
// asked for, so the common shapes -- prims and their properties, outside
// variants -- are spelled out from their element names instead.
std::string PathText(const SdfPath& path)
{
    SdfPath primPath;
    const std::string* propertyName = nullptr;
    if (path.IsPrimPropertyPath()) {
        primPath = path.GetParentPath();
        propertyName = &path.GetName();
    } else {
        primPath = path;
    }
    if (!primPath.IsAbsolutePath() || !primPath.IsPrimPath() ||
        primPath.ContainsPrimVariantSelection()) {
        return path.GetString();
    }

    // Element names from the leaf up; a path node keeps its parents and
    // their names alive, so the references stay valid.
    const std::string* names[64];
    size_t depth = 0;
    size_t length = propertyName ? propertyName->size() + 1 : 0;
    for (SdfPath p = primPath; !p.IsAbsoluteRootPath(); p = p.GetParentPath()) {
        if (depth == sizeof(names) / sizeof(names[0])) {
            return path.GetString();
        }
        names[depth] = &p.GetName();
        length += names[depth]->size() + 1;
        ++depth;
    }
    std::string text;
    text.reserve(length);
    while (depth > 0) {
        text += '/';
        text += *names[--depth];
    }
    if (propertyName) {
        text += '.';
        text += *propertyName;
    }
    return text;
}

} // namespace

size_t SyncDelta::_FieldKeyHash::operator()(const _FieldKey& key) const
{
    return SeededPathHash::Mix(pathHash(key.path) +
                               TfToken::HashFunctor()(key.fieldName));
}

SyncDelta::SyncDelta() = default;

SyncDelta::~SyncDelta() = default;

SyncDelta::_Record& SyncDelta::_Append(SyncOp::SyncOpType opType)
{
    _Record& record = _pending.records.emplace_back();
    record.kind = _Kind::Path;
    record.opType = static_cast<uint8_t>(opType);
    record.nodeType = 0;
    ++_pending.nextSerial;
    return record;
}

void SyncDelta::_AppendText(SyncOp&& op, const VtValue* value)
{
    std::lock_guard<_SpinMutex> lock(_mutex);
    _pending.textOps.push_back(std::move(op));
    _Record& record = _Append(_pending.textOps.back().opType);
    record.kind = value ? _Kind::Text : _Kind::Packed;
    record.nodeType = static_cast<int32_t>(_pending.textOps.size() - 1);
    if (value) {
        record.value = *value;
    }
}

void SyncDelta::_AddBarrier(const SdfPath& path)
{
    const uint64_t serial = _pending.nextSerial - 1;
    _pending.barriers[path] = serial;
    _pending.lastBarrier = serial;
}

// Whether a move or erase of the path or of one of its ancestors was
// recorded after the record with the given serial.
bool SyncDelta::_HasBarrierSince(const SdfPath& path, uint64_t serial) const
{
    if (_pending.lastBarrier < serial) {
        return false;
    }
    for (SdfPath p = path; !p.IsEmpty(); p = p.GetParentPath()) {
        auto it = _pending.barriers.find(p);
        if (it != _pending.barriers.end() && it->second > serial) {
            return true;
        }
        if (p.IsAbsoluteRootPath() || !p.IsAbsolutePath()) {
            break;
        }
    }
    return false;
}

void SyncDelta::CreateNode(const SdfPath& path, int32_t nodeType)
{
    std::lock_guard<_SpinMutex> lock(_mutex);
    _Record& record = _Append(SyncOp::CreateNode);
    record.path = path;
    record.nodeType = nodeType;
}

// The latest set of the field is dropped unless a move or erase of the
// spec or an ancestor came between (the peer would apply the earlier value
// to another spec), or the latest set is where a peer first adds the field
// and fields added to the spec after it are still there (dropping it would
// put the field after them on the peer): then it stays as the anchor, and
// goes once the field is last again. A pending erase of the field always
// stays: it moves the field to the end of the list.
void SyncDelta::SetField(const SdfPath& path, const TfToken& fieldName,
                         const VtValue& value, FieldPlacement placement,
                         FieldSlot* slot, const VtValue* base)
{
    std::lock_guard<_SpinMutex> lock(_mutex);
    if (placement == FieldPlacement::Untracked || !slot) {
        _AppendSet(path, fieldName, value, base);
        return;
    }

    _FieldEntry* entry = _ResolveEntry(slot, path, fieldName);
    if (!entry && placement == FieldPlacement::Added) {
        entry = _ReviveErased(slot, path, fieldName);
    }
    if (!entry) {
        // The field's only record: a direct handle, no entry.
        const size_t position = _pending.records.size();
        if (position < _DirectPositions) {
            *slot = FieldSlot{
                _Direct |
                    (placement == FieldPlacement::Added ? _DirectAdds : 0) |
                    static_cast<uint32_t>(position),
                _directGeneration};
            _AppendSet(path, fieldName, value, base);
            return;
        }
        entry = &_NewEntry(slot);
    } else if (_HasBarrierSince(path, entry->Newest())) {
        *entry = _FieldEntry{};
    }
    VtValue inherited;
    _Supersede(entry, placement, &base, &inherited);
    _AppendSet(path, fieldName, value, base);
    _CompactIfSparse();
}

void SyncDelta::_AppendSet(const SdfPath& path, const TfToken& fieldName,
                           const VtValue& value, const VtValue* base)
{
    _Record& record = _Append(SyncOp::SetField);
    record.path = path;
    record.fieldName = fieldName;
    record.value = value;
    // A set that supersedes earlier ones inherits the oldest one's base;
    // once the field holds no list op any more (a field may change type),
    // that base is no base of this value.
    if (base && IsListOpBase(value, *base)) {
        record.hasBase = true;
        record.base = *base;
    }
}

SyncDelta::_FieldEntry* SyncDelta::_ReviveErased(FieldSlot* slot,
                                                 const SdfPath& path,
                                                 const TfToken& fieldName)
{
    // Added again after an erase: the erase's records live on.
    if (_pending.erased.empty()) {
        return nullptr;
    }
    auto it = _pending.erased.find(_FieldKey{path, fieldName});
    if (it == _pending.erased.end()) {
        return nullptr;
    }
    *slot = FieldSlot{it->second, _generation};
    _pending.erased.erase(it);
    return _Entry(slot, path, fieldName);
}

void SyncDelta::_Supersede(_FieldEntry* entry, FieldPlacement placement,
                           const VtValue** base, VtValue* inherited)
{
    bool addsField = placement == FieldPlacement::Added;
    const bool isLast = placement != FieldPlacement::Kept;
    // The new record stands for the dropped ones, so it carries the base of
    // the oldest: the value before the first of them (none when that one
    // carried none, as for a value that was no list op).
    const auto inherit = [&](const _FieldEntry::Slot& first) {
        _Record& record = _pending.records[first.position];
        *inherited = std::move(record.base);
        *base = record.hasBase ? inherited : nullptr;
        record.hasBase = false;
    };
    if (entry->latest.serial) {
        if (isLast) {
            addsField = addsField || entry->latestAddsField ||
                        entry->anchor.serial != 0;
            inherit(entry->anchor.serial ? entry->anchor : entry->latest);
            _Drop(entry->anchor);
            _Drop(entry->latest);
        } else if (entry->latestAddsField) {
            entry->anchor = entry->latest;
        } else {
            inherit(entry->latest);
            _Drop(entry->latest);
        }
    }
    // The record about to be appended becomes the field's latest.
    entry->latest.serial = static_cast<uint32_t>(_pending.nextSerial);
    entry->latest.position = static_cast<uint32_t>(_pending.records.size());
    entry->latestAddsField = addsField;
}

SyncDelta::_FieldEntry& SyncDelta::_NewEntry(FieldSlot* slot)
{
    _pending.fields.emplace_back();
    *slot =
        FieldSlot{static_cast<uint32_t>(_pending.fields.size()), _generation};
    return _pending.fields.back();
}

SyncDelta::_FieldEntry* SyncDelta::_ResolveEntry(FieldSlot* slot,
                                                 const SdfPath& path,
                                                 const TfToken& fieldName)
{
    if (!slot || !(slot->entry & _Direct)) {
        return _Entry(slot, path, fieldName);
    }
    const uint32_t position = slot->entry & (_DirectPositions - 1);
    if (slot->generation != _directGeneration ||
        position >= _pending.records.size()) {
        return nullptr;
    }
    const _Record& record = _pending.records[position];
    if (record.kind != _Kind::Path || record.opType != SyncOp::SetField ||
        record.fieldName != fieldName || record.path != path) {
        return nullptr;
    }
    // Until the first compaction of a batch, a record's serial is one more
    // than its position, and direct handles do not outlive a compaction.
    const bool adds = (slot->entry & _DirectAdds) != 0;
    _FieldEntry& entry = _NewEntry(slot);
    entry.latest.position = position;
    entry.latest.serial = position + 1;
    entry.latestAddsField = adds;
    return &entry;
}

// The entry a slot refers to, if it is one of this batch and still about
// the same field of the same spec.
SyncDelta::_FieldEntry* SyncDelta::_Entry(const FieldSlot* slot,
                                          const SdfPath& path,
                                          const TfToken& fieldName)
{
    if (!slot || (slot->entry & _Direct) || slot->generation != _generation ||
        slot->entry == 0 || slot->entry > _pending.fields.size()) {
        return nullptr;
    }
    _FieldEntry& entry = _pending.fields[slot->entry - 1];
    const _FieldEntry::Slot& newest =
        entry.latest.serial ? entry.latest : entry.erase;
    if (!newest.serial) {
        return nullptr;
    }
    const _Record& record = _pending.records[newest.position];
    if (record.kind != _Kind::Path || record.fieldName != fieldName ||
        record.path != path) {
        return nullptr;
    }
    return &entry;
}

void SyncDelta::_Drop(_FieldEntry::Slot& slot)
{
    if (!slot.serial) {
        return;
    }
    _Record& dropped = _pending.records[slot.position];
    dropped.kind = _Kind::Dropped;
    dropped.value = VtValue();
    dropped.base = VtValue();
    dropped.hasBase = false;
    ++_pending.dropped;
    slot = _FieldEntry::Slot{};
}

void SyncDelta::MoveNode(const SdfPath& oldPath, const SdfPath& newPath)
{
    std::lock_guard<_SpinMutex> lock(_mutex);
    _Record& record = _Append(SyncOp::MoveNode);
    record.path = newPath;
    record.nodeType = static_cast<int32_t>(_pending.movedFrom.size());
    _pending.movedFrom.push_back(oldPath);
    _AddBarrier(oldPath);
    _AddBarrier(newPath);
}

void SyncDelta::EraseNode(const SdfPath& path)
{
    std::lock_guard<_SpinMutex> lock(_mutex);
    _Record& record = _Append(SyncOp::EraseNode);
    record.path = path;
    _AddBarrier(path);
}

// The field is gone after the erase whatever the records before it did,
// so every pending record of it goes, under the same condition of no move
// or erase of the spec or an ancestor between.
void SyncDelta::EraseField(const SdfPath& path, const TfToken& fieldName,
                           const FieldSlot* slot)
{
    std::lock_guard<_SpinMutex> lock(_mutex);
    FieldSlot current = slot ? *slot : FieldSlot{};
    _FieldEntry* entry = _ResolveEntry(&current, path, fieldName);
    if (entry && !_HasBarrierSince(path, entry->Newest())) {
        _Drop(entry->erase);
        _Drop(entry->anchor);
        _Drop(entry->latest);
    }
    if (slot) {
        if (!entry) {
            entry = &_NewEntry(&current);
        }
        *entry = _FieldEntry{};
        entry->erase.serial = static_cast<uint32_t>(_pending.nextSerial);
        entry->erase.position = static_cast<uint32_t>(_pending.records.size());
        _pending.erased.insert_or_assign(_FieldKey{path, fieldName},
                                         current.entry);
    }
    _Record& record = _Append(SyncOp::EraseField);
    record.path = path;
    record.fieldName = fieldName;
    _CompactIfSparse();
}

void SyncDelta::CreateNode(std::string nodePath, int32_t nodeType)
{
    SyncOp op;
    op.opType = SyncOp::CreateNode;
    op.nodePath = std::move(nodePath);
    op.nodeType = nodeType;
    _AppendText(std::move(op), nullptr);
}

void SyncDelta::SetField(std::string nodePath, std::string fieldName,
                         const VtValue& value)
{
    SyncOp op;
    op.opType = SyncOp::SetField;
    op.nodePath = std::move(nodePath);
    op.fieldName = std::move(fieldName);
    _AppendText(std::move(op), &value);
}

void SyncDelta::MoveNode(std::string oldNodePath, std::string newNodePath)
{
    SyncOp op;
    op.opType = SyncOp::MoveNode;
    op.nodePath = std::move(newNodePath);
    op.oldNodePath = std::move(oldNodePath);
    _AppendText(std::move(op), nullptr);
}

void SyncDelta::EraseNode(std::string nodePath)
{
    SyncOp op;
    op.opType = SyncOp::EraseNode;
    op.nodePath = std::move(nodePath);
    _AppendText(std::move(op), nullptr);
}

void SyncDelta::EraseField(std::string nodePath, std::string fieldName)
{
    SyncOp op;
    op.opType = SyncOp::EraseField;
    op.nodePath = std::move(nodePath);
    op.fieldName = std::move(fieldName);
    _AppendText(std::move(op), nullptr);
}

// Moves the live records to the front, in order, and points the field
// index at their new places. Only live records are indexed.
void SyncDelta::_Compact()
{
    _Chunked<_Record>& records = _pending.records;
    std::vector<uint32_t> newPosition(records.size());
    size_t live = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].kind == _Kind::Dropped) {
            continue;
        }
        newPosition[i] = static_cast<uint32_t>(live);
        if (live != i) {
            records[live] = std::move(records[i]);
        }
        ++live;
    }
    records.shrink(live);
    for (size_t i = 0; i < _pending.fields.size(); ++i) {
        _FieldEntry& entry = _pending.fields[i];
        for (_FieldEntry::Slot* slot :
             {&entry.erase, &entry.anchor, &entry.latest}) {
            if (slot->serial) {
                slot->position = newPosition[slot->position];
            }
        }
    }
    _pending.dropped = 0;
    // Direct handles hold positions, which have just changed.
    ++_directGeneration;
}

size_t SyncDelta::GetPendingCount() const
{
    std::lock_guard<_SpinMutex> lock(_mutex);
    return _pending.records.size() - _pending.dropped;
}

void SyncDelta::SwapPendingOps(SyncOpList& ops)
{
    // The caller's operations become pending as they are, packed.
    _Pending incoming;
    if (!ops.empty()) {
        for (size_t i = 0; i < ops.size(); ++i) {
            _Record& record = incoming.records.emplace_back();
            record.kind = _Kind::Packed;
            record.opType = static_cast<uint8_t>(ops[i].opType);
            record.nodeType = static_cast<int32_t>(i);
        }
        incoming.nextSerial = ops.size() + 1;
        incoming.textOps = std::move(ops);
    }
    _ExchangePending(incoming);
    ops.clear();
    _Convert(incoming, ops);
}

void SyncDelta::DiscardPendingOps()
{
    {
        // Nothing recorded since the last exchange, the common case of a
        // refresh right after a drain: no slot refers to anything, and
        // there is nothing to free.
        std::lock_guard<_SpinMutex> lock(_mutex);
        if (_IsUntouched(_pending)) {
            return;
        }
    }
    _Pending discarded;
    _ExchangePending(discarded);
    // The records (and the values they share) are freed here, unlocked.
}

bool SyncDelta::_IsUntouched(const _Pending& pending)
{
    return pending.records.empty() && pending.textOps.empty() &&
           pending.movedFrom.empty() && pending.fields.empty() &&
           pending.erased.empty() && pending.barriers.empty() &&
           pending.lastBarrier == 0 && pending.nextSerial == 1 &&
           pending.dropped == 0;
}

void SyncDelta::_ExchangePending(_Pending& other)
{
    std::lock_guard<_SpinMutex> lock(_mutex);
    std::swap(_pending, other);
    // Every slot handed out so far refers to the records taken out.
    if (++_generation == 0) {
        _generation = 1;
    }
    ++_directGeneration;
}

void SyncDelta::_Convert(_Pending& pending, SyncOpList& ops)
{
    const ValueHandler& handler = ValueHandler::GetInstance();
    ops.reserve(pending.records.size() - pending.dropped);
    for (size_t i = 0; i < pending.records.size(); ++i) {
        _Record& record = pending.records[i];
        switch (record.kind) {
        case _Kind::Dropped:
            continue;
        case _Kind::Packed:
            ops.push_back(std::move(pending.textOps[record.nodeType]));
            continue;
        case _Kind::Text:
            ops.push_back(std::move(pending.textOps[record.nodeType]));
            ops.back().fieldValue = handler.PackVtValue(record.value);
            continue;
        case _Kind::Path:
            break;
        }
        SyncOp& op = ops.emplace_back();
        op.opType = static_cast<SyncOp::SyncOpType>(record.opType);
        op.nodePath = PathText(record.path);
        switch (record.opType) {
        case SyncOp::CreateNode:
            op.nodeType = record.nodeType;
            break;
        case SyncOp::SetField:
            op.fieldName = record.fieldName.GetString();
            op.fieldValue = handler.PackVtValue(record.value);
            if (record.hasBase) {
                op.hasBase = true;
                op.baseValue = record.base.IsEmpty()
                                   ? PackedData()
                                   : handler.PackVtValue(record.base);
            }
            break;
        case SyncOp::MoveNode:
            op.oldNodePath = PathText(pending.movedFrom[record.nodeType]);
            break;
        case SyncOp::EraseField:
            op.fieldName = record.fieldName.GetString();
            break;
        default:
            break;
        }
    }
}

} // namespace vela
