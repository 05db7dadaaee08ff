//
// Copyright 2026 vela contributors
//
#ifndef VELA_PYTHON_OP_FRAME_H
#define VELA_PYTHON_OP_FRAME_H

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
///     body    = strings paths values ops
///     strings = count { length utf8-bytes }     path pieces, field names
///     paths   = count { prefix piece }          prefix 0: none, k: path k-1
///     values  = count { length packed-bytes }   each distinct value once
///     ops     = count { type:u8 operands }
///
/// A path's text is its prefix path's text followed by its piece, so
/// "/World/Cube.size" is "/World/Cube" + ".size"; a prefix always comes
/// earlier in the table than the paths built on it. Operands by type:
/// CreateNode path nodeType (zigzag), SetField path field value,
/// MoveNode path oldPath, EraseNode path, EraseField path field, where
/// path is a paths index, field a strings index, value a values index.
class OpFrame
{
public:
    /// The body for \p ops, in their order. Packed values are copied as
    /// they are; repeated path pieces, field names and values are written
    /// once.
    static std::string Encode(const SyncOpList& ops);

    /// Rebuilds the operations of a body into \p ops. Every length, count
    /// and index is checked against what remains; every node path must be
    /// an absolute Sdf path, every created node a known spec type, every
    /// field name non-empty and every value one the value handler unpacks.
    /// On the first fault returns false with \p error saying what and
    /// where, and \p ops is left empty: a frame is taken whole or not at
    /// all.
    static bool Decode(const uint8_t* data, size_t size, SyncOpList* ops,
                       std::string* error);
};

} // namespace vela

#endif // VELA_PYTHON_OP_FRAME_H
