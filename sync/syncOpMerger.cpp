//
// Copyright 2026 vela contributors
//
#include "sync/syncOpMerger.h"

#include "sync/listOpMerge.h"

#include <pxr/usd/sdf/schema.h>
#include <pxr/usd/sdf/types.h>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <unordered_map>
#include <utility>

using namespace pxr;

namespace vela {

namespace {

bool DebugEnabled()
{
    return spdlog::should_log(spdlog::level::debug);
}

const char* OpName(SyncOp::SyncOpType type)
{
    switch (type) {
    case SyncOp::CreateNode:
        return "CreateNode";
    case SyncOp::SetField:
        return "SetField";
    case SyncOp::MoveNode:
        return "MoveNode";
    case SyncOp::EraseNode:
        return "EraseNode";
    case SyncOp::EraseField:
        return "EraseField";
    }
    return "?";
}

// A variant's spec, as opposed to its variant set's (/A{v=x}, not /A{v=}).
bool IsVariantPath(const SdfPath& path)
{
    return path.IsPrimVariantSelectionPath() &&
           !path.GetVariantSelection().second.empty();
}

// Specs that hold prims, properties and variant sets below them.
bool HoldsPrimContent(const SdfPath& path)
{
    return path.IsPrimPath() || IsVariantPath(path);
}

// The children fields of a spec that name children by path.
const std::array<TfToken, 3>& PathChildrenFields()
{
    static const std::array<TfToken, 3> fields = {
        SdfChildrenKeys->RelationshipTargetChildren,
        SdfChildrenKeys->ConnectionChildren, SdfChildrenKeys->MapperChildren};
    return fields;
}

// Moves sorted so that a spec comes before the specs below it: the
// shallower destination first, and among equals, the earlier move.
std::vector<size_t> ByDepth(const std::vector<SdfPath>& paths)
{
    std::vector<size_t> order(paths.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return paths[a].GetPathElementCount() < paths[b].GetPathElementCount();
    });
    return order;
}

// Names of one children list and a number for each: a scan for the short
// lists most specs have, a hash index for long ones.
class _NameIndex
{
public:
    static constexpr size_t NotFound = static_cast<size_t>(-1);

    explicit _NameIndex(size_t expected)
        : _hashed(expected > _ScanMax)
    {
        if (_hashed) {
            _index.reserve(expected);
        }
    }

    // False when the name is there already.
    bool Insert(const TfToken& name, size_t number)
    {
        if (_hashed) {
            return _index.emplace(name, number).second;
        }
        if (Find(name) != NotFound) {
            return false;
        }
        _entries.emplace_back(name, number);
        return true;
    }

    size_t Find(const TfToken& name) const
    {
        if (_hashed) {
            auto found = _index.find(name);
            return found == _index.end() ? NotFound : found->second;
        }
        for (const auto& entry : _entries) {
            if (entry.first == name) {
                return entry.second;
            }
        }
        return NotFound;
    }

private:
    static constexpr size_t _ScanMax = 16;
    bool _hashed;
    std::vector<std::pair<TfToken, size_t>> _entries;
    std::unordered_map<TfToken, size_t, TfToken::HashFunctor> _index;
};

// Whether \p names, a short list, has each name once, each with its spec,
// and holds every name of \p added.
template <class Exists>
bool _IsWholeList(const TfTokenVector& names, const TfTokenVector& added,
                  const Exists& exists)
{
    for (auto it = names.begin(); it != names.end(); ++it) {
        if (std::find(names.begin(), it, *it) != it || !exists(*it)) {
            return false;
        }
    }
    for (const TfToken& name : added) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            return false;
        }
    }
    return true;
}

const TfTokenVector* TokensOf(const VtValue* value)
{
    return value && value->IsHolding<TfTokenVector>()
               ? &value->UncheckedGet<TfTokenVector>()
               : nullptr;
}

} // namespace

const std::array<TfToken, 4>& SyncOpMerger::TokenChildrenFields()
{
    static const std::array<TfToken, 4> fields = {
        SdfChildrenKeys->PrimChildren, SdfChildrenKeys->PropertyChildren,
        SdfChildrenKeys->VariantSetChildren, SdfChildrenKeys->VariantChildren};
    return fields;
}

int SyncOpMerger::GetChildSlot(const SdfPath& path, SdfPath* parent,
                               TfToken* name)
{
    *name = TfToken();
    if (path.IsAbsoluteRootPath() || path.IsEmpty()) {
        *parent = SdfPath();
        return -1;
    }
    *parent = path.GetParentPath();
    if (path.IsPrimPropertyPath()) {
        *name = path.GetNameToken();
        return 1;
    }
    if (path.IsPrimVariantSelectionPath()) {
        const auto selection = path.GetVariantSelection();
        if (selection.second.empty()) {
            *name = TfToken(selection.first);
            return 2;
        }
        // A variant is listed by its variant set's spec.
        *parent = parent->AppendVariantSelection(selection.first, "");
        *name = TfToken(selection.second);
        return 3;
    }
    if (path.IsPrimPath()) {
        *name = path.GetNameToken();
        return 0;
    }
    return -1;
}

// Names are checked as a layer's refresh checks them, so that no merged
// list holds a name the refresh would refuse, and so that no path is built
// from a name Sdf would report as a coding error.
SdfPath SyncOpMerger::GetChildPath(const SdfPath& path, int field,
                                   const TfToken& name)
{
    switch (field) {
    case 0:
        if ((path.IsAbsoluteRootOrPrimPath() || IsVariantPath(path)) &&
            SdfPath::IsValidIdentifier(name)) {
            return path.AppendChild(name);
        }
        break;
    case 1:
        if (HoldsPrimContent(path) &&
            (SdfPath::IsValidIdentifier(name) ||
             SdfPath::IsValidNamespacedIdentifier(name))) {
            return path.AppendProperty(name);
        }
        break;
    case 2:
        if (HoldsPrimContent(path) && SdfPath::IsValidIdentifier(name)) {
            return path.AppendVariantSelection(name, "");
        }
        break;
    case 3:
        if (path.IsPrimVariantSelectionPath() &&
            path.GetVariantSelection().second.empty() &&
            SdfPath::IsValidIdentifier(name)) {
            return path.GetParentPath().AppendVariantSelection(
                path.GetVariantSelection().first, name);
        }
        break;
    default:
        break;
    }
    return SdfPath();
}

void SyncOpMerger::AppendChildPaths(const SyncData& store, const SdfPath& path,
                                    std::vector<SdfPath>* children)
{
    const auto& tokenFields = TokenChildrenFields();
    for (int f = 0; f < _FieldCount; ++f) {
        if (const TfTokenVector* names =
                TokensOf(store.GetFieldValue(path, tokenFields[f]))) {
            for (const TfToken& name : *names) {
                SdfPath child = GetChildPath(path, f, name);
                if (!child.IsEmpty()) {
                    children->push_back(std::move(child));
                }
            }
        }
    }
    if (!path.IsPrimPropertyPath()) {
        return;
    }
    for (const TfToken& field : PathChildrenFields()) {
        const VtValue* value = store.GetFieldValue(path, field);
        if (!value || !value->IsHolding<SdfPathVector>()) {
            continue;
        }
        for (const SdfPath& target : value->UncheckedGet<SdfPathVector>()) {
            if (target.IsEmpty()) {
                continue;
            }
            children->push_back(field == SdfChildrenKeys->MapperChildren
                                    ? path.AppendMapper(target)
                                    : path.AppendTarget(target));
        }
    }
}

SyncOpMerger::SyncOpMerger(SyncData* store, size_t opCount)
    : _store(store)
{
    _parentIndex.reserve(opCount / 2);
}

SyncOpMerger::~SyncOpMerger()
{
    Finish();
}

SyncOpMerger::_Parent& SyncOpMerger::_Touch(const SdfPath& path)
{
    auto found = _parentIndex.find(path);
    if (found != _parentIndex.end()) {
        return _parents[found->second];
    }
    _parentIndex.emplace(path, _parents.size());
    _parents.emplace_back();
    _Parent& parent = _parents.back();
    parent.path = path;
    // One look-up of the spec for its four lists.
    const auto& fields = TokenChildrenFields();
    _store->ForEachField(path, [&](const TfToken& name, const VtValue& value) {
        const auto found = std::find(fields.begin(), fields.end(), name);
        if (found != fields.end() && value.IsHolding<TfTokenVector>()) {
            parent.prior[found - fields.begin()] =
                value.UncheckedGet<TfTokenVector>();
        }
        return true;
    });
    return parent;
}

void SyncOpMerger::_TouchParentOf(const SdfPath& child, bool added)
{
    SdfPath parentPath;
    TfToken name;
    const int field = GetChildSlot(child, &parentPath, &name);
    if (field < 0) {
        return;
    }
    _Parent& parent = _Touch(parentPath);
    parent.touched[field] = true;
    if (added) {
        parent.added[field].push_back(name);
    }
}

bool SyncOpMerger::_ParentExists(const SdfPath& path) const
{
    if (path.IsAbsoluteRootPath()) {
        return true;
    }
    SdfPath parent;
    TfToken name;
    GetChildSlot(path, &parent, &name);
    return !parent.IsEmpty() && _store->HasSpec(parent);
}

void SyncOpMerger::_Drop(const SyncData::CheckedSyncOp& op, const char* why)
{
    ++_dropped;
    if (DebugEnabled()) {
        spdlog::debug("[SyncOpMerger] Dropped {} {}: {}", OpName(op.type),
                      op.path.GetText(), why);
    }
}

void SyncOpMerger::Apply(const SyncData::CheckedSyncOp& op)
{
    ++_seq;
    switch (op.type) {
    case SyncOp::CreateNode:
        _ApplyCreate(op);
        break;
    case SyncOp::SetField:
    case SyncOp::EraseField:
        _ApplyField(op);
        break;
    case SyncOp::MoveNode:
        _ApplyMove(op);
        break;
    case SyncOp::EraseNode:
        _ApplyErase(op);
        break;
    }
}

// Creating an existing spec keeps its fields: two peers that create the
// same name end with one spec holding both peers' fields.
void SyncOpMerger::_ApplyCreate(const SyncData::CheckedSyncOp& op)
{
    if (!_ParentExists(op.path)) {
        _Drop(op, "its parent spec does not exist");
        return;
    }
    _TouchParentOf(op.path, true);
    if (_structural) {
        _Establish(op.path);
    }
    _store->ApplySyncOp(op);
}

void SyncOpMerger::_ApplyField(const SyncData::CheckedSyncOp& op)
{
    if (!_store->HasSpec(op.path)) {
        _Drop(op, "no spec");
        return;
    }
    const auto& fields = TokenChildrenFields();
    const auto found = std::find(fields.begin(), fields.end(), op.fieldName);
    if (found != fields.end()) {
        const size_t field = static_cast<size_t>(found - fields.begin());
        _Parent& parent = _Touch(op.path);
        parent.touched[field] = true;
        parent.setByFrame[field] = true;
    }
    if (op.hasBase) {
        // A list op set over a base another peer's frame has changed since:
        // both edits are kept, where the lists allow it.
        static const VtValue none;
        const VtValue* stored = _store->GetFieldValue(op.path, op.fieldName);
        const VtValue& current = stored ? *stored : none;
        VtValue merged;
        if (current != op.baseValue &&
            MergeListOps(op.baseValue, op.fieldValue, current, &merged)) {
            SyncData::CheckedSyncOp mergedOp = op;
            mergedOp.fieldValue = std::move(merged);
            _store->ApplySyncOp(mergedOp);
            return;
        }
    }
    _store->ApplySyncOp(op);
}

void SyncOpMerger::_ApplyMove(const SyncData::CheckedSyncOp& op)
{
    if (op.path.IsAbsoluteRootPath() || op.oldPath.IsAbsoluteRootPath()) {
        _Drop(op, "the pseudo-root stays where it is");
        return;
    }
    if (!_store->HasSpec(op.oldPath)) {
        _Drop(op, "no spec at its source");
        return;
    }
    if (_store->HasSpec(op.path)) {
        _Drop(op, "its destination is taken");
        return;
    }
    if (op.path.HasPrefix(op.oldPath)) {
        _Drop(op, "its destination is below its source");
        return;
    }
    _structural = true;
    _TouchParentOf(op.oldPath, false);
    _TouchParentOf(op.path, true);
    // The spec's own lists are checked too: a child may stay behind.
    _Touch(op.oldPath).touched.fill(true);

    size_t index;
    auto move = _moveIndex.find(op.oldPath);
    if (move == _moveIndex.end()) {
        index = _moves.size();
        _moves.push_back(_Moved{op.oldPath, op.path});
    } else {
        index = move->second;
        _moveIndex.erase(move);
        _moves[index].to = op.path;
    }
    _moveIndex[op.path] = index;
    _moveEvents.push_back(
        _MoveEvent{op.oldPath, _ChildrenOf(op.oldPath), _seq, index});
    _Move(op.oldPath, op.path);
}

void SyncOpMerger::_ApplyErase(const SyncData::CheckedSyncOp& op)
{
    if (op.path.IsAbsoluteRootPath()) {
        _Drop(op, "every store keeps its pseudo-root");
        return;
    }
    if (!_store->HasSpec(op.path)) {
        _Drop(op, "no spec");
        return;
    }
    _structural = true;
    _TouchParentOf(op.path, false);
    _erasures.push_back(_Erasure{op.path, _ChildrenOf(op.path), _seq});
    _Erase(op.path);
}

// The one place a spec changes path: its record and the frame's knowledge
// of it travel along.
bool SyncOpMerger::_Move(const SdfPath& from, const SdfPath& to)
{
    if (!_store->HasSpec(from) || _store->HasSpec(to)) {
        return false;
    }
    SyncData::CheckedSyncOp move;
    move.type = SyncOp::MoveNode;
    move.path = to;
    move.oldPath = from;
    _store->ApplySyncOp(move);

    auto record = _parentIndex.find(from);
    if (record != _parentIndex.end()) {
        const size_t index = record->second;
        _parentIndex.erase(record);
        auto replaced = _parentIndex.find(to);
        if (replaced != _parentIndex.end()) {
            // A record of a spec the frame erased from here: the children
            // it saw come and go are this spec's now.
            const _Parent& old = _parents[replaced->second];
            _Parent& moved = _parents[index];
            for (int f = 0; f < _FieldCount; ++f) {
                moved.touched[f] = moved.touched[f] || old.touched[f];
                moved.added[f].insert(moved.added[f].end(),
                                      old.added[f].begin(), old.added[f].end());
            }
            replaced.value() = index;
        } else {
            _parentIndex.emplace(to, index);
        }
        _parents[index].path = to;
    }
    auto known = _establishedAt.find(from);
    if (known != _establishedAt.end()) {
        known.value() = 0;
    }
    _Establish(to);
    return true;
}

// The subtree keeps its children lists; each spec in it moves by the same
// prefix. A spec whose new place is taken stays, for the orphan sweep.
void SyncOpMerger::_MoveTree(const SdfPath& from, const SdfPath& to)
{
    std::vector<SdfPath> pending{from};
    while (!pending.empty()) {
        const SdfPath current = std::move(pending.back());
        pending.pop_back();
        const SdfPath target = current.ReplacePrefix(from, to);
        if (!_store->HasSpec(current)) {
            continue;
        }
        if (target.IsEmpty() || _store->HasSpec(target) ||
            target.HasPrefix(current)) {
            _established.push_back(current);
            continue;
        }
        for (SdfPath& child : _ChildrenOf(current)) {
            pending.push_back(std::move(child));
        }
        _Move(current, target);
    }
}

void SyncOpMerger::_Establish(const SdfPath& path)
{
    auto [at, added] = _establishedAt.emplace(path, _seq);
    if (added) {
        _established.push_back(path);
    } else {
        at.value() = _seq;
    }
}

bool SyncOpMerger::_EstablishedAfter(const SdfPath& path, size_t seq) const
{
    auto at = _establishedAt.find(path);
    return at != _establishedAt.end() && at->second > seq;
}

// Sdf lists every child it makes and drops from the lists only what it
// erases or moves; a frame from elsewhere may not, and the children it
// leaves unlisted must not be lost track of either.
std::vector<SdfPath> SyncOpMerger::_ChildrenOf(const SdfPath& path) const
{
    std::vector<SdfPath> children;
    AppendChildPaths(*_store, path, &children);
    auto record = _parentIndex.find(path);
    if (record != _parentIndex.end()) {
        // And those the lists named before the frame rewrote them.
        const _Parent& parent = _parents[record->second];
        for (int f = 0; f < _FieldCount; ++f) {
            for (const auto* names : {&parent.prior[f], &parent.added[f]}) {
                for (const TfToken& name : *names) {
                    SdfPath child = GetChildPath(path, f, name);
                    if (!child.IsEmpty()) {
                        children.push_back(std::move(child));
                    }
                }
            }
        }
    }
    return children;
}

void SyncOpMerger::_Erase(const SdfPath& path)
{
    SyncData::CheckedSyncOp erase;
    erase.type = SyncOp::EraseNode;
    erase.path = path;
    _store->ApplySyncOp(erase);
    auto known = _establishedAt.find(path);
    if (known != _establishedAt.end()) {
        known.value() = 0;
    }
}

void SyncOpMerger::_EraseTree(const SdfPath& path)
{
    std::vector<SdfPath> pending{path};
    while (!pending.empty()) {
        const SdfPath current = std::move(pending.back());
        pending.pop_back();
        if (!_store->HasSpec(current) || current.IsAbsoluteRootPath()) {
            continue;
        }
        for (SdfPath& child : _ChildrenOf(current)) {
            pending.push_back(std::move(child));
        }
        if (DebugEnabled()) {
            spdlog::debug("[SyncOpMerger] Erase {} with what is erased above "
                          "it",
                          current.GetText());
        }
        _Erase(current);
    }
}

void SyncOpMerger::Finish()
{
    if (_finished) {
        return;
    }
    _finished = true;
    _UndoMovesIntoMissingParents();
    _FollowMovedSpecs();
    _EraseBelowErased();
    _EraseOrphans();
    for (size_t i = 0; i < _parents.size(); ++i) {
        const _Parent& parent = _parents[i];
        auto current = _parentIndex.find(parent.path);
        if (current != _parentIndex.end() && current->second == i &&
            _store->HasSpec(parent.path)) {
            _MergeChildren(parent);
        }
    }
}

// Sdf moves a subtree children first, so a move can only be judged once
// the frame is over. Parents go back first: a child's destination then has
// no parent either, and it follows.
void SyncOpMerger::_UndoMovesIntoMissingParents()
{
    std::vector<SdfPath> destinations;
    destinations.reserve(_moves.size());
    for (const _Moved& move : _moves) {
        destinations.push_back(move.to);
    }
    for (size_t index : ByDepth(destinations)) {
        _Moved& move = _moves[index];
        if (move.from == move.to || !_store->HasSpec(move.to) ||
            _ParentExists(move.to)) {
            continue;
        }
        if (DebugEnabled()) {
            spdlog::debug("[SyncOpMerger] Move of {} to {} undone: no parent "
                          "spec there",
                          move.from.GetText(), move.to.GetText());
        }
        if (!_store->HasSpec(move.from) && _ParentExists(move.from)) {
            // What the frame moved or made below the spec goes back with it.
            _TouchParentOf(move.to, false);
            _TouchParentOf(move.from, true);
            _MoveTree(move.to, move.from);
            move.to = move.from;
        } else {
            _TouchParentOf(move.to, false);
            _EraseTree(move.to);
        }
    }
}

// A move names the specs its author knew; children added concurrently at
// the old path come along, so that nothing is left without a parent. Where
// they cannot (the spec was erased, or its new place has a child of that
// name), they stay: listed by a spec the frame put at the old path, or
// erased with the rest of what has no parent.
void SyncOpMerger::_FollowMovedSpecs()
{
    for (const _MoveEvent& event : _moveEvents) {
        const SdfPath& dest = _moves[event.moved].to;
        const bool arrived = dest != event.from && _store->HasSpec(dest);
        for (const SdfPath& child : event.children) {
            if (!_store->HasSpec(child) ||
                _EstablishedAfter(child, event.seq)) {
                continue;
            }
            const SdfPath to = child.ReplacePrefix(event.from, dest);
            if (!arrived || to.IsEmpty() || _store->HasSpec(to) ||
                to.HasPrefix(child)) {
                if (_ParentExists(child)) {
                    _TouchParentOf(child, true);
                } else {
                    _established.push_back(child);
                }
                continue;
            }
            _TouchParentOf(to, true);
            _MoveTree(child, to);
        }
    }
}

// The author of an erasure did not know the children added below the
// spec concurrently: they go with it, unless the frame itself put them
// there afterwards.
void SyncOpMerger::_EraseBelowErased()
{
    for (const _Erasure& erasure : _erasures) {
        for (const SdfPath& child : erasure.children) {
            if (!_store->HasSpec(child)) {
                continue;
            }
            if (_EstablishedAfter(child, erasure.seq)) {
                continue;
            }
            _TouchParentOf(child, false);
            _EraseTree(child);
        }
    }
}

// What the rules above leave without a parent (a frame that erases the
// parent of a spec it created, a child that could not follow its parent)
// is erased, so that the store holds no spec that nothing lists.
void SyncOpMerger::_EraseOrphans()
{
    const std::vector<SdfPath> candidates = _established;
    for (size_t index : ByDepth(candidates)) {
        const SdfPath& path = candidates[index];
        if (_store->HasSpec(path) && !_ParentExists(path)) {
            _EraseTree(path);
        }
    }
}

void SyncOpMerger::_MergeChildren(const _Parent& parent)
{
    const auto& fields = TokenChildrenFields();
    const SdfPath& path = parent.path;
    const auto eraseField = [&](const TfToken& field) {
        SyncData::CheckedSyncOp erase;
        erase.type = SyncOp::EraseField;
        erase.path = path;
        erase.fieldName = field;
        _store->ApplySyncOp(erase);
    };
    for (int f = 0; f < _FieldCount; ++f) {
        if (!parent.touched[f]) {
            continue;
        }
        const VtValue* stored = _store->GetFieldValue(path, fields[f]);
        const TfTokenVector* current = TokensOf(stored);
        static const TfTokenVector none;
        const TfTokenVector& frameList = parent.setByFrame[f]
                                             ? (current ? *current : none)
                                             : parent.prior[f];

        const auto exists = [&](const TfToken& name) {
            const SdfPath child = GetChildPath(path, f, name);
            return !child.IsEmpty() && _store->HasSpec(child);
        };

        // Most specs a frame touches are its own, with a short list it
        // wrote whole: nothing to merge, and nothing to allocate.
        if (parent.prior[f].empty() && frameList.size() <= 16 &&
            _IsWholeList(frameList, parent.added[f], exists)) {
            if (stored && frameList.empty()) {
                eraseField(fields[f]);
            }
            continue;
        }

        // The frame's names whose specs exist, in the frame's order.
        TfTokenVector kept;
        kept.reserve(frameList.size());
        _NameIndex keptIndex(frameList.size());
        _NameIndex inFrame(frameList.size());
        for (const TfToken& name : frameList) {
            if (inFrame.Insert(name, 0) && exists(name)) {
                keptIndex.Insert(name, kept.size());
                kept.push_back(name);
            }
        }
        // Names the frame did not know, each after the name it followed
        // before the frame: anchor 0 is the front, anchor i + 1 follows
        // kept[i]. Sorting by anchor keeps the prior order among names
        // that share one.
        std::vector<std::pair<size_t, TfToken>> inserted;
        _NameIndex added(parent.prior[f].size() + parent.added[f].size());
        size_t anchor = 0;
        for (const TfToken& name : parent.prior[f]) {
            const size_t at = keptIndex.Find(name);
            if (at != _NameIndex::NotFound) {
                anchor = at + 1;
                continue;
            }
            if (inFrame.Find(name) != _NameIndex::NotFound || !exists(name) ||
                !added.Insert(name, 0)) {
                continue;
            }
            inserted.emplace_back(anchor, name);
        }
        std::stable_sort(
            inserted.begin(), inserted.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });

        TfTokenVector merged;
        merged.reserve(kept.size() + inserted.size());
        auto next = inserted.begin();
        for (size_t i = 0; i <= kept.size(); ++i) {
            if (i > 0) {
                merged.push_back(kept[i - 1]);
            }
            for (; next != inserted.end() && next->first == i; ++next) {
                merged.push_back(next->second);
            }
        }
        // Children the frame made that no list names still get one place.
        for (const TfToken& name : parent.added[f]) {
            if (keptIndex.Find(name) == _NameIndex::NotFound &&
                added.Find(name) == _NameIndex::NotFound && exists(name)) {
                added.Insert(name, 0);
                merged.push_back(name);
            }
        }

        if (merged.empty()) {
            if (stored) {
                eraseField(fields[f]);
            }
            continue;
        }
        if (current && *current == merged) {
            continue;
        }
        if (DebugEnabled()) {
            spdlog::debug("[SyncOpMerger] Merged {} of {}: {} names",
                          fields[f].GetText(), path.GetText(), merged.size());
        }
        _store->SetField(path, fields[f], VtValue(std::move(merged)));
    }
}

} // namespace vela
