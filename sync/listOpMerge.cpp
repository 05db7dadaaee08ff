//
// Copyright 2026 vela contributors
//
#include "sync/listOpMerge.h"

#include <pxr/usd/sdf/listOp.h>
#include <pxr/usd/sdf/payload.h>
#include <pxr/usd/sdf/reference.h>
#include <pxr/usd/sdf/types.h>

#include <algorithm>
#include <vector>

using namespace pxr;

namespace vela {

namespace {

// One list of the result: current's items without those the author
// removed, then each item the author added, after its nearest predecessor
// in the author's list that the result holds. Lists are short (a prim's
// references, its API schemas), so linear searches are cheaper than sets
// and need no hash of the item type.
template <class T>
std::vector<T> _MergeItems(const std::vector<T>& base,
                           const std::vector<T>& next,
                           const std::vector<T>& current)
{
    const auto holds = [](const std::vector<T>& items, const T& item) {
        return std::find(items.begin(), items.end(), item) != items.end();
    };
    std::vector<T> result;
    result.reserve(current.size() + next.size());
    for (const T& item : current) {
        const bool removed = holds(base, item) && !holds(next, item);
        if (!removed && !holds(result, item)) {
            result.push_back(item);
        }
    }
    for (size_t i = 0; i < next.size(); ++i) {
        if (holds(base, next[i]) || holds(result, next[i])) {
            continue;
        }
        auto at = result.begin();
        for (size_t j = i; j-- > 0;) {
            const auto found = std::find(result.begin(), result.end(), next[j]);
            if (found != result.end()) {
                at = found + 1;
                break;
            }
        }
        result.insert(at, next[i]);
    }
    return result;
}

template <class T>
bool _Merge(const VtValue& base, const VtValue& next, const VtValue& current,
            VtValue* merged)
{
    using ListOp = SdfListOp<T>;
    if (!next.IsHolding<ListOp>() ||
        !(base.IsEmpty() || base.IsHolding<ListOp>()) ||
        !(current.IsEmpty() || current.IsHolding<ListOp>())) {
        return false;
    }
    const ListOp empty;
    const ListOp& b = base.IsEmpty() ? empty : base.UncheckedGet<ListOp>();
    const ListOp& n = next.UncheckedGet<ListOp>();
    const ListOp& c =
        current.IsEmpty() ? empty : current.UncheckedGet<ListOp>();
    if (b.IsExplicit() || n.IsExplicit() || c.IsExplicit()) {
        return false;
    }
    ListOp result;
    result.SetPrependedItems(_MergeItems(
        b.GetPrependedItems(), n.GetPrependedItems(), c.GetPrependedItems()));
    result.SetAppendedItems(_MergeItems(
        b.GetAppendedItems(), n.GetAppendedItems(), c.GetAppendedItems()));
    result.SetDeletedItems(_MergeItems(b.GetDeletedItems(), n.GetDeletedItems(),
                                       c.GetDeletedItems()));
    // Added and ordered items are the older form; most list ops have none,
    // and setting an empty list leaves the op as it was.
    const auto added =
        _MergeItems(b.GetAddedItems(), n.GetAddedItems(), c.GetAddedItems());
    if (!added.empty()) {
        result.SetAddedItems(added);
    }
    const auto ordered = _MergeItems(b.GetOrderedItems(), n.GetOrderedItems(),
                                     c.GetOrderedItems());
    if (!ordered.empty()) {
        result.SetOrderedItems(ordered);
    }
    *merged = VtValue(std::move(result));
    return true;
}

template <class T>
bool _Holds(const VtValue& value)
{
    return value.IsHolding<SdfListOp<T>>();
}

// The list-op types of the value handler's registry, one line each.
struct _ListOpType
{
    bool (*holds)(const VtValue&);
    bool (*merge)(const VtValue&, const VtValue&, const VtValue&, VtValue*);
};

template <class T>
constexpr _ListOpType _TypeOf()
{
    return {&_Holds<T>, &_Merge<T>};
}

const _ListOpType _ListOpTypes[] = {
    _TypeOf<TfToken>(),    _TypeOf<std::string>(),
    _TypeOf<SdfPath>(),    _TypeOf<SdfReference>(),
    _TypeOf<SdfPayload>(), _TypeOf<int>(),
    _TypeOf<int64_t>(),    _TypeOf<unsigned int>(),
    _TypeOf<uint64_t>(),   _TypeOf<SdfUnregisteredValue>(),
};

} // namespace

bool IsListOpValue(const VtValue& value)
{
    for (const _ListOpType& type : _ListOpTypes) {
        if (type.holds(value)) {
            return true;
        }
    }
    return false;
}

bool IsListOpBase(const VtValue& value, const VtValue& base)
{
    return IsListOpValue(value) && (base.IsEmpty() || IsListOpValue(base));
}

bool MergeListOps(const VtValue& base, const VtValue& next,
                  const VtValue& current, VtValue* merged)
{
    for (const _ListOpType& type : _ListOpTypes) {
        if (type.merge(base, next, current, merged)) {
            return true;
        }
    }
    return false;
}

} // namespace vela
