//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SYNC_DELTA_H
#define VELA_SYNC_SYNC_DELTA_H

#include "sync/syncOp.h"

#include <pxr/base/vt/value.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace vela {

/// The recorder of a SyncData's local edits: an ordered list of pending
/// operations behind a mutex.
///
/// Each record operation appends exactly one SyncOp under the lock; nothing
/// is coalesced, deduplicated or reordered, and arguments are recorded as
/// given, without validation. Strings are taken by value so that callers
/// can hand over the text they built. Any thread may record or swap. A SyncDelta
/// is owned by one SyncData and is neither copied nor shared.
class SyncDelta
{
public:
    SyncDelta() = default;
    SyncDelta(const SyncDelta&) = delete;
    SyncDelta& operator=(const SyncDelta&) = delete;

    /// Records a CreateNode of \p nodePath with spec type \p nodeType.
    void CreateNode(std::string nodePath, int32_t nodeType);

    /// Records a SetField; \p value is packed through the process-wide
    /// ValueHandler while the lock is held. A value that cannot be packed
    /// is recorded with the empty PackedData.
    void SetField(std::string nodePath, std::string fieldName,
                  const pxr::VtValue& value);

    /// Records a MoveNode from \p oldNodePath to \p newNodePath.
    void MoveNode(std::string oldNodePath, std::string newNodePath);

    /// Records an EraseNode of \p nodePath.
    void EraseNode(std::string nodePath);

    /// Records an EraseField of \p fieldName on \p nodePath.
    void EraseField(std::string nodePath, std::string fieldName);

    /// Exchanges the pending list with \p ops in constant time, under the
    /// lock. Called with an empty list, it leaves the recorder empty and
    /// hands everything that was pending to the caller, in recording order.
    void SwapPendingOps(SyncOpList& ops);

private:
    // Builds one record under the lock (fill sets its fields) and appends it.
    template <class Fill>
    void _Record(SyncOp::SyncOpType opType, Fill&& fill);

    std::mutex _mutex;
    SyncOpList _pendingOps;
};

} // namespace vela

#endif // VELA_SYNC_SYNC_DELTA_H
