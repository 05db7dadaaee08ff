//
// Copyright 2026 vela contributors
//
#include "sync/syncOp.h"

namespace vela {

// Operations are records of events, not values with an identity: two
// edits with the same fields are still two edits, so nothing may treat
// one as a duplicate of the other.
bool operator==(const SyncOp&, const SyncOp&)
{
    return false;
}

} // namespace vela
