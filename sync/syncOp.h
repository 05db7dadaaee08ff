//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SYNC_OP_H
#define VELA_SYNC_SYNC_OP_H

#include "sync/packedData.h"

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
};

/// Always false, for every pair of operands, an operation compared with
/// itself included. It exists only so that sequence wrappers that search
/// by equality can be instantiated; operations are never deduplicated.
bool operator==(const SyncOp& lhs, const SyncOp& rhs);

/// An ordered list of operations, oldest first.
using SyncOpList = std::vector<SyncOp>;

} // namespace vela

#endif // VELA_SYNC_SYNC_OP_H
