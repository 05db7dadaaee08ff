//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_OP_FRAME_H
#define VELA_SYNC_OP_FRAME_H

#include "sync/syncData.h"
#include "sync/syncOp.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vela {

/// The compact binary form of a list of sync operations, as the session
/// client sends it (the frame header around it is the client's).
///
/// Layout; every number is an unsigned LEB128 varint, every index counts
/// from 0 unless said otherwise:
///
///     body    = opCount strings paths values types pathCol secondCol valueCol
///     strings = count { length utf8-bytes }     path pieces, field names
///     paths   = count { prefix piece }          prefix 0: none, k: path k-1
///     values  = count { length packed-bytes }   each distinct value once
///     types   = opCount bytes                   SyncOpType of each operation
///     pathCol = opCount zigzag numbers          path index minus the previous
///                                               operation's (0 before the first)
///     secondCol, one number per operation that has a second operand:
///         CreateNode  zigzag node type
///         SetField, EraseField  field name (strings index)
///         MoveNode    zigzag old path index minus the path index
///     valueCol, one number per SetField: 0 for the next value not used
///         before, n for value n - 1, used before
///
/// A path's text is its prefix path's text followed by its piece, so
/// "/World/Cube.size" is "/World/Cube" + ".size"; a prefix always comes
/// earlier in the table than the paths built on it. Columns rather than
/// whole operations one after another, and indices as small changes,
/// leave the frame much more to gain from compression.
class OpFrame
{
public:
    /// The body for \p ops, in their order. Packed values are copied as
    /// they are; repeated path pieces, field names and values are written
    /// once. With \p coalesce, field edits that a later edit of the same
    /// field overwrites are left out, as CoalesceOps does, without copying
    /// the operations first. The operations before \p first are skipped.
    static std::string Encode(const SyncOpList& ops, bool coalesce = false,
                              size_t first = 0);

    /// Rebuilds the operations of a body into \p ops. Every length, count
    /// and index is checked against what remains; every node path must be
    /// an absolute Sdf path, every created node a known spec type, every
    /// field name non-empty and every value one the value handler unpacks
    /// (zero bytes stand for the empty value). On the first fault returns
    /// false with \p error saying what and where, and \p ops is left
    /// empty: a body is taken whole or not at all.
    static bool Decode(const uint8_t* data, size_t size, SyncOpList* ops,
                       std::string* error);

    /// Applies the operations of a body to \p target in order, as
    /// SyncData::ApplySyncOp does (nodes and fields through the store's
    /// non-recording CreateNode and SetField), after checking all of them
    /// as Decode does; paths, field names and values are parsed once per
    /// distinct entry. On a fault returns false with \p error and changes nothing.
    /// \p applied receives the number of operations.
    static bool Apply(const uint8_t* data, size_t size, SyncData* target,
                      size_t* applied, std::string* error);
};

} // namespace vela

#endif // VELA_SYNC_OP_FRAME_H
