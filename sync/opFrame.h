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

class OpFrameReader;

/// The compact binary form of a list of sync operations: the body of a
/// session client's frame (the header around it is the client's). The
/// layout is specified in docs/wireFormat.md.
class OpFrame
{
public:
    /// The body for \p ops, in their order. Packed values are copied as
    /// they are; repeated path pieces, field names and values are written
    /// once. With \p coalesce, the operations coalescing drops are left
    /// out (SyncOpsKeptByCoalescing, on the frame's table indices: no
    /// operation is copied), a kept SetField carrying the base of the
    /// first edit it stands for (SyncOpBaseSources). The operations before
    /// \p first are skipped. With \p bases (version 2 frames only) the
    /// body ends with the bases section; without it, bases are left out
    /// and the body is a version 1 body.
    static std::string Encode(const SyncOpList& ops, bool coalesce = false,
                              size_t first = 0, bool bases = false);

    /// The body of the operations that rebuild \p store from a new, empty
    /// one: each spec's CreateNode, parents before children, then its
    /// fields in their stored order (values packed, a field stored empty as
    /// zero bytes); for the pseudo-root, which every store has, its fields
    /// alone. Applying it to a new store gives one with the same specs,
    /// types, fields and field order. The specs are reached from the
    /// pseudo-root through their owners' children fields, in their order;
    /// a spec that no children field reaches is left out, and their number
    /// goes to \p leftOut, if given, and to a debug line. The store is read
    /// as it is: no layer, no copy of it, no sort of its paths.
    /// With \p bases the body ends with an empty bases section: a
    /// snapshot replaces, it merges with nothing.
    static std::string EncodeStore(const SyncData& store,
                                   size_t* leftOut = nullptr,
                                   bool bases = false);

    /// Rebuilds the operations of a body into \p ops. Every length, count
    /// and index is checked against what remains, then every operand, in
    /// operation order, by SyncData's checks (CheckNodePath, CheckSpecType,
    /// CheckFieldName, CheckFieldValue; zero value bytes stand for the
    /// empty value). On the first fault returns false with \p error saying
    /// what and where ("operation 3: <the check's message> (at byte 120)"),
    /// and \p ops is left empty: a body is taken whole or not at all.
    /// With \p bases the body must end with the bases section, which is
    /// checked as the rest (SyncData::CheckFieldBase as well); without it,
    /// any byte after the operations is refused, as version 1 reads them.
    static bool Decode(const uint8_t* data, size_t size, SyncOpList* ops,
                       std::string* error, bool bases = false);

    /// Applies the operations of a body to \p target as one frame, through
    /// a SyncOpMerger (each as SyncData::ApplySyncOp does, structure edits
    /// merged with the concurrent ones applied before), after checking all
    /// of them as Decode does; paths, field names and values are parsed
    /// once per distinct entry. On a fault returns false with \p error and
    /// changes nothing. \p applied receives the number of operations read,
    /// the ones the merger dropped included.
    /// \p bases as for Decode; a SetField with a base is merged three
    /// ways (SyncOpMerger).
    static bool Apply(const uint8_t* data, size_t size, SyncData* target,
                      size_t* applied, std::string* error, bool bases = false);

    /// As Apply, reading the body with \p reader, whose tables keep their
    /// room for the next body (a caller applying frame after frame).
    static bool Apply(const uint8_t* data, size_t size, SyncData* target,
                      size_t* applied, std::string* error, bool bases,
                      OpFrameReader* reader);
};

} // namespace vela

#endif // VELA_SYNC_OP_FRAME_H
