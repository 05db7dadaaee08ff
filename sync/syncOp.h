//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SYNC_OP_H
#define VELA_SYNC_SYNC_OP_H

#include "sync/packedData.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vela {

/// One edit of a sync layer, in a form that can leave the process: paths
/// and field names are text, a field value travels packed.
///
/// Which fields carry data depends on the type:
///   - CreateNode: nodePath, nodeType (the SdfSpecType's integer value)
///   - SetField:   nodePath, fieldName, fieldValue
///   - MoveNode:   nodePath (destination), oldNodePath (source)
///   - EraseNode:  nodePath
///   - EraseField: nodePath, fieldName
/// Every other field keeps its empty value (empty text, 0, empty
/// PackedData). A SyncOp is a plain value; a copy owns its own bytes.
class SyncOp
{
public:
    enum SyncOpType : int32_t
    {
        CreateNode = 0,
        SetField = 1,
        MoveNode = 2,
        EraseNode = 3,
        EraseField = 4,
    };

    SyncOpType opType = CreateNode;
    /// Text of the node's SdfPath; for MoveNode the path after the move.
    std::string nodePath;
    /// For MoveNode the path before the move; empty otherwise.
    std::string oldNodePath;
    /// For CreateNode the SdfSpecType's integer value; 0 otherwise.
    int32_t nodeType = 0;
    /// For SetField and EraseField the field's token text; empty otherwise.
    std::string fieldName;
    /// For SetField the packed value; empty otherwise.
    PackedData fieldValue;
    /// For a SetField of a list-op value: whether the operation carries the
    /// value the author's edit replaced (its base), which lets a receiver
    /// merge concurrent edits of the list.
    bool hasBase = false;
    /// The packed base; zero bytes when the field did not exist.
    PackedData baseValue;
};

/// Always false, for every pair of operands, an operation compared with
/// itself included. It exists only so that sequence wrappers that search
/// by equality can be instantiated; operations are never deduplicated.
bool operator==(const SyncOp& lhs, const SyncOp& rhs);

/// An ordered list of operations, oldest first.
using SyncOpList = std::vector<SyncOp>;

/// Coalescing, the one rule by which field edits are left out before they
/// are sent: a SetField or EraseField is dropped when a later SetField or
/// EraseField of the same node and field follows with no other operation on
/// that node in between (a CreateNode or EraseNode of it, a MoveNode to or
/// from it, an operation of unknown type naming it). Applying what is kept,
/// in order, gives the same specs and field values as applying all; only
/// the order in which a node's fields were first set may differ.
///
/// This form takes the operands as small numbers, for a caller that holds
/// them so already (the frame encoder's table indices): \p nodeIds[i]
/// stands for the node path of ops[first + i], \p secondIds[i] for its
/// field name (SetField, EraseField) or its old path (MoveNode; a node id).
/// Equal numbers must stand for equal text; node ids are below
/// \p nodeIdCount, field ids below \p fieldIdCount. Returns one flag per
/// operation from \p first on, 0 for those left out.
std::vector<char>
SyncOpsKeptByCoalescing(const SyncOpList& ops, size_t first,
                        const std::vector<uint32_t>& nodeIds,
                        const std::vector<uint32_t>& secondIds,
                        size_t nodeIdCount, size_t fieldIdCount);

/// Which operation's base each kept operation carries after coalescing:
/// a field's kept SetField stands for the whole run of edits of that field
/// it ends, so it carries the base of the run's first edit (none when that
/// is an EraseField or a SetField without a base). Takes the operands and
/// \p keep as SyncOpsKeptByCoalescing takes and gives them; returns, per
/// operation from \p first on, the index (from \p first) of the operation
/// whose base it carries, or SIZE_MAX for none.
std::vector<size_t> SyncOpBaseSources(const SyncOpList& ops, size_t first,
                                      const std::vector<uint32_t>& nodeIds,
                                      const std::vector<uint32_t>& secondIds,
                                      size_t fieldIdCount,
                                      const std::vector<char>& keep);

/// \p ops without the ones coalescing leaves out, in their order; a kept
/// SetField carries the base SyncOpBaseSources names.
SyncOpList CoalesceSyncOps(const SyncOpList& ops);

} // namespace vela

#endif // VELA_SYNC_SYNC_OP_H
