//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SYNC_OP_MERGER_H
#define VELA_SYNC_SYNC_OP_MERGER_H

#include "sync/syncData.h"

#include <pxr/usd/sdf/path.h>
#include <pxr/base/tf/pxrTslRobinMap/robin_map.h>
#include <pxr/base/tf/token.h>
#include <pxr/base/vt/value.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vela {

/// Applies the operations of one frame to a store as a unit, merging the
/// frame's structure edits with the concurrent ones other peers' earlier
/// frames already made. Every peer applies the same frames in the same
/// order to identical stores, so every rule is a function of the store
/// before the frame and the frame alone:
///
///   - Children merge. A spec's token children field (primChildren,
///     properties, variantSetChildren, variantChildren) that the frame set,
///     or under which it created, erased or moved a child, ends as the
///     frame's list (its last value in the frame, else the one before),
///     keeping the names whose child spec exists, plus every name of the
///     list before the frame that the frame's list lacks and whose spec
///     still exists, inserted right after the name it followed there (at
///     the front when it was first), plus any child the frame created or
///     moved in that neither list names, at the end. An empty result
///     erases the field, as Sdf keeps it.
///   - Edits of specs that do not exist are dropped with a debug line:
///     SetField and EraseField of a missing spec, CreateNode of a spec
///     whose parent spec is missing, MoveNode from a missing spec, onto an
///     existing one or below its own source, EraseNode of a missing spec,
///     and erasing or moving the pseudo-root.
///   - A spec the frame erased takes with it every spec still below it
///     after the frame that the frame did not itself create or move there
///     after the erasure (found through the erased spec's children fields as they were
///     before the frame and when it was erased, recursively).
///   - A spec moved onto a path whose parent spec does not exist after the
///     frame goes back to where it was before the frame, parents first,
///     with what the frame moved or made below it; where that place is
///     taken or has no parent either, it is erased.
///   - A child of a moved spec that the frame left behind (added
///     concurrently) follows the spec to its new path.
///   - A SetField with a base (a list op and the value its author's edit
///     replaced) over a field whose value is no longer that base sets the
///     three-way merge of base, its value and the store's (MergeListOps);
///     where they do not merge (an explicit list op, different types) and
///     when the store still holds the base, the value is set as it is.
///
/// Each operation is checked by the caller (SyncData::CheckSyncOp, or the
/// frame reader); the store changes only through SyncData's own edits.
/// Applying a frame of k operations costs O(k log k) plus the length of
/// every children list it touches, never the size of the store.
class SyncOpMerger
{
public:
    /// A merger applying to \p store a frame of about \p opCount
    /// operations; the frame is complete when Finish is called or the
    /// merger is destroyed.
    explicit SyncOpMerger(SyncData* store, size_t opCount = 0);
    ~SyncOpMerger();

    SyncOpMerger(const SyncOpMerger&) = delete;
    SyncOpMerger& operator=(const SyncOpMerger&) = delete;

    /// Applies one checked operation of the frame, or drops it (see the
    /// rules above).
    void Apply(const SyncData::CheckedSyncOp& op);

    /// Applies the frame's fix-ups (erasures below erased specs, undone and
    /// followed moves) and merges every touched children field. Later
    /// calls do nothing.
    void Finish();

    /// The number of the frame's operations dropped so far.
    size_t GetDroppedCount() const { return _dropped; }

    /// The parent spec of \p path as a store holds it (a variant's is its
    /// variant set's spec), and which token children field of that parent
    /// names it under \p name: an index into TokenChildrenFields, or -1
    /// for specs that no token field lists (targets, mappers) and for the
    /// pseudo-root, whose parent is the empty path.
    static int GetChildSlot(const pxr::SdfPath& path, pxr::SdfPath* parent,
                            pxr::TfToken* name);

    /// The path of the child named \p name by token children field
    /// \p field of the spec at \p path; the empty path when no spec could
    /// be there (a name Sdf does not take, a field the spec cannot hold).
    static pxr::SdfPath GetChildPath(const pxr::SdfPath& path, int field,
                                     const pxr::TfToken& name);

    /// primChildren, properties, variantSetChildren, variantChildren.
    static const std::array<pxr::TfToken, 4>& TokenChildrenFields();

    /// Appends the path of every child \p store names in the children
    /// fields of the spec at \p path (token and path children alike).
    static void AppendChildPaths(const SyncData& store,
                                 const pxr::SdfPath& path,
                                 std::vector<pxr::SdfPath>* children);

private:
    static constexpr int _FieldCount = 4;

    // What the merge of one spec's children fields needs: each field's
    // value before the frame, whether the frame set or erased it, and the
    // children the frame created or moved in.
    struct _Parent
    {
        pxr::SdfPath path;
        std::array<bool, _FieldCount> touched{};
        std::array<bool, _FieldCount> setByFrame{};
        std::array<pxr::TfTokenVector, _FieldCount> prior;
        std::array<std::vector<pxr::TfToken>, _FieldCount> added;
    };

    // A spec the frame moved: where it was before the frame, where it is.
    struct _Moved
    {
        pxr::SdfPath from;
        pxr::SdfPath to;
    };

    // One move of the frame: the children the spec had at its source then
    // (listed, or made there by the frame), and which spec it moved.
    struct _MoveEvent
    {
        pxr::SdfPath from;
        std::vector<pxr::SdfPath> children;
        size_t seq;
        size_t moved;
    };

    // A spec the frame erased, with the children it had then.
    struct _Erasure
    {
        pxr::SdfPath path;
        std::vector<pxr::SdfPath> children;
        size_t seq;
    };

    using _PathMap =
        pxr::pxr_tsl::robin_map<pxr::SdfPath, size_t, pxr::SdfPath::Hash>;

    // The record of the spec at \p path, made (its fields captured as they
    // are now) on first use.
    _Parent& _Touch(const pxr::SdfPath& path);
    // Marks the field of \p child's parent that lists it.
    void _TouchParentOf(const pxr::SdfPath& child, bool added);

    void _ApplyCreate(const SyncData::CheckedSyncOp& op);
    void _ApplyField(const SyncData::CheckedSyncOp& op);
    void _ApplyMove(const SyncData::CheckedSyncOp& op);
    void _ApplyErase(const SyncData::CheckedSyncOp& op);
    void _Drop(const SyncData::CheckedSyncOp& op, const char* why);

    // The store's edits, as ApplySyncOp makes them.
    void _Erase(const pxr::SdfPath& path);
    bool _Move(const pxr::SdfPath& from, const pxr::SdfPath& to);
    // Moves the spec at \p from and everything its children fields name
    // below it to \p to.
    void _MoveTree(const pxr::SdfPath& from, const pxr::SdfPath& to);
    // Erases the spec at \p path and everything its children fields name
    // below it.
    void _EraseTree(const pxr::SdfPath& path);

    bool _ParentExists(const pxr::SdfPath& path) const;

    // Whether the frame put the spec at \p path there after operation
    // \p seq (and has not erased or moved it away since).
    bool _EstablishedAfter(const pxr::SdfPath& path, size_t seq) const;
    void _Establish(const pxr::SdfPath& path);
    // The children of the spec at \p path: those its fields name and those
    // the frame made or moved in there.
    std::vector<pxr::SdfPath> _ChildrenOf(const pxr::SdfPath& path) const;

    void _UndoMovesIntoMissingParents();
    void _FollowMovedSpecs();
    void _EraseBelowErased();
    void _EraseOrphans();
    void _MergeChildren(const _Parent& parent);

    SyncData* _store;
    bool _finished = false;
    // Whether the frame has moved or erased a spec yet. Until it has, no
    // spec can lose its parent, and what the frame creates needs no
    // tracking.
    bool _structural = false;
    size_t _dropped = 0;

    std::vector<_Parent> _parents;
    _PathMap _parentIndex;
    std::vector<_Moved> _moves;
    _PathMap _moveIndex;
    std::vector<_MoveEvent> _moveEvents;
    std::vector<_Erasure> _erasures;
    // The number of the operation being applied, from 1.
    size_t _seq = 0;
    // Paths the frame created or moved a spec to, and specs a move left
    // behind, in order: where a spec may have lost its parent.
    std::vector<pxr::SdfPath> _established;
    // For each path the frame put a spec at, the operation that did (0
    // once the spec is erased or moved away).
    _PathMap _establishedAt;
};

} // namespace vela

#endif // VELA_SYNC_SYNC_OP_MERGER_H
