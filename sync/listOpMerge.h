//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_LIST_OP_MERGE_H
#define VELA_SYNC_LIST_OP_MERGE_H

#include <pxr/base/vt/value.h>

namespace vela {

/// Whether \p value holds one of the SdfListOp<T> types the value handler
/// packs (token, string, path, reference, payload, int, int64, uint,
/// uint64 and unregistered-value list ops): the values whose set carries
/// the value it replaced, so that receivers can merge concurrent edits.
bool IsListOpValue(const pxr::VtValue& value);

/// Whether \p base may travel with a set of \p value as the value it
/// replaced: \p value is a list op and \p base empty (the field did not
/// exist) or a list op. Recorders attach no other base, and receivers
/// refuse any other.
bool IsListOpBase(const pxr::VtValue& value, const pxr::VtValue& base);

/// The three-way merge of a list-op field: \p next is what the author set
/// over \p base, \p current what the store holds now. When all three are
/// list ops of one type (an empty value standing for the empty list op)
/// and none is explicit, each of the lists (prepended, appended, deleted,
/// added, ordered) becomes current's list without the items the author
/// removed (in base, not in next), plus the items it added (in next, not
/// in base), each placed right after the nearest item before it in next
/// that the result holds (at the front when there is none), no item twice;
/// \p merged receives it and true is returned. Otherwise returns false and
/// the caller lets the later value win.
bool MergeListOps(const pxr::VtValue& base, const pxr::VtValue& next,
                  const pxr::VtValue& current, pxr::VtValue* merged);

} // namespace vela

#endif // VELA_SYNC_LIST_OP_MERGE_H
