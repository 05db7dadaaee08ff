//
// Copyright 2026 vela contributors
//
#include "sync/syncFileFormat.h"
#include "sync/specChildren.h"
#include "sync/syncRecordingMuteBlock.h"

#include <pxr/pxr.h>
#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/changeBlock.h>
#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/relationshipSpec.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/usd/sdf/usdaFileFormat.h>
#include <pxr/usd/sdf/variantSetSpec.h>
#include <pxr/usd/sdf/variantSpec.h>
#include <pxr/base/tf/diagnostic.h>
#include <pxr/base/tf/errorMark.h>
#include <pxr/base/tf/registryManager.h>
#include <pxr/base/tf/type.h>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <string>
#include <unordered_set>
#include <vector>

PXR_NAMESPACE_OPEN_SCOPE

TF_DEFINE_PUBLIC_TOKENS(VelaSyncFileFormatTokens, VELA_SYNC_FILE_FORMAT_TOKENS);

namespace {

// For its lifetime, a store tells OpenUSD that it streams its data, so
// that a layer swaps a new store in whole instead of editing this one.
class _StreamingBlock
{
public:
    explicit _StreamingBlock(vela::SyncData* data)
        : _data(data)
    {
        _data->SetReportsStreaming(true);
    }
    ~_StreamingBlock() { _data->SetReportsStreaming(false); }

    _StreamingBlock(const _StreamingBlock&) = delete;
    _StreamingBlock& operator=(const _StreamingBlock&) = delete;

private:
    vela::SyncData* _data;
};

// The paths of every spec in a store.
class _PathCollector : public SdfAbstractDataSpecVisitor
{
public:
    bool VisitSpec(const SdfAbstractData&, const SdfPath& path) override
    {
        paths.push_back(path);
        return true;
    }
    void Done(const SdfAbstractData&) override {}

    SdfPathVector paths;
};

// Whether a spec of this type may sit at this path, as OpenUSD lays specs
// out: prims at prim paths, properties at property paths, and so on.
bool _SpecTypeFitsPath(const SdfAbstractData& data, const SdfPath& path,
                       SdfSpecType type)
{
    if (!path.IsAbsolutePath()) {
        return false;
    }
    if (path == SdfPath::AbsoluteRootPath()) {
        return type == SdfSpecTypePseudoRoot;
    }
    if (path.IsPrimPath()) {
        return type == SdfSpecTypePrim;
    }
    if (path.IsPrimVariantSelectionPath()) {
        return type == (path.GetVariantSelection().second.empty()
                            ? SdfSpecTypeVariantSet
                            : SdfSpecTypeVariant);
    }
    if (path.IsPrimPropertyPath()) {
        return type == SdfSpecTypeAttribute || type == SdfSpecTypeRelationship;
    }
    if (path.IsTargetPath()) {
        switch (data.GetSpecType(path.GetParentPath())) {
        case SdfSpecTypeRelationship:
            return type == SdfSpecTypeRelationshipTarget;
        case SdfSpecTypeAttribute:
            return type == SdfSpecTypeConnection;
        default:
            // OpenUSD derives a target's type from its owner's; a target
            // without one could not be created in the layer.
            return false;
        }
    }
    if (path.IsMapperPath()) {
        return type == SdfSpecTypeMapper;
    }
    if (path.IsMapperArgPath()) {
        return type == SdfSpecTypeMapperArg;
    }
    if (path.IsExpressionPath()) {
        return type == SdfSpecTypeExpression;
    }
    return false;
}

// A children field's problem, in the words of the consistency check.
std::string _ChildrenProblem(const SdfPath& path, const TfToken& field,
                             const std::string& what)
{
    return fmt::format("{} of {} {}", field.GetString(), path.GetString(),
                       what);
}

// Whether \p child, named \p name in a children field, has a spec.
std::string _FindMissingChild(const SdfAbstractData& data, const SdfPath& path,
                              const TfToken& field, const SdfPath& child,
                              const std::string& name)
{
    if (child.IsEmpty() || !data.HasSpec(child)) {
        return _ChildrenProblem(path, field,
                                "names '" + name + "', which has no spec");
    }
    return {};
}

// As _FindChildrenInconsistency, for the target and mapper children.
std::string _FindPathChildrenInconsistency(const SdfAbstractData& data,
                                           const SdfPath& path,
                                           const TfToken& field,
                                           const VtValue& value)
{
    if (!value.IsHolding<SdfPathVector>()) {
        return _ChildrenProblem(path, field, "is not a path list");
    }
    for (const SdfPath& target : value.UncheckedGet<SdfPathVector>()) {
        const SdfPath child = vela::SpecPathChildPath(path, field, target);
        std::string failure =
            _FindMissingChild(data, path, field, child, target.GetString());
        if (!failure.empty()) {
            return failure;
        }
    }
    return {};
}

// As _FindChildrenInconsistency, for the children named by tokens.
std::string _FindTokenChildrenInconsistency(const SdfAbstractData& data,
                                            const SdfPath& path,
                                            const TfToken& field,
                                            const VtValue& value)
{
    if (!value.IsHolding<TfTokenVector>()) {
        return _ChildrenProblem(path, field, "is not a token list");
    }
    for (const TfToken& name : value.UncheckedGet<TfTokenVector>()) {
        if (!SdfPath::IsValidIdentifier(name) &&
            !(field == SdfChildrenKeys->PropertyChildren &&
              SdfPath::IsValidNamespacedIdentifier(name))) {
            return _ChildrenProblem(path, field,
                                    "names '" + name.GetString() +
                                        "', which is not a valid name");
        }
        std::string failure = _FindMissingChild(
            data, path, field, vela::SpecTokenChildPath(path, field, name),
            name.GetString());
        if (!failure.empty()) {
            return failure;
        }
    }
    return {};
}

// Whether the children field \p field of the spec at \p path holds the
// type OpenUSD expects and names specs that exist. Returns the problem
// found, or "".
std::string _FindChildrenInconsistency(const SdfAbstractData& data,
                                       const SdfPath& path,
                                       const TfToken& field,
                                       const VtValue& value)
{
    if (value.IsEmpty()) {
        return {};
    }
    if (vela::SpecFieldsContain(vela::SpecPathChildrenFields(), field)) {
        return _FindPathChildrenInconsistency(data, path, field, value);
    }
    return _FindTokenChildrenInconsistency(data, path, field, value);
}

// As above, for every children field of the spec at \p path.
std::string _FindChildrenInconsistency(const SdfAbstractData& data,
                                       const SdfPath& path)
{
    std::string failure;
    if (const auto* store = dynamic_cast<const vela::SyncData*>(&data)) {
        // One lookup of the spec rather than one per children field.
        store->ForEachField(path, [&](const TfToken& name,
                                      const VtValue& value) {
            if (vela::IsSpecChildrenField(name)) {
                failure = _FindChildrenInconsistency(data, path, name, value);
            }
            return failure.empty();
        });
        return failure;
    }
    const auto check = [&](const auto& fields) {
        for (const TfToken& field : fields) {
            if (failure.empty()) {
                failure = _FindChildrenInconsistency(data, path, field,
                                                     data.Get(path, field));
            }
        }
    };
    check(vela::SpecTokenChildrenFields());
    check(vela::SpecPathChildrenFields());
    return failure;
}

// Whether the spec at \p path may have the type \p type in a layer of
// \p schema; returns the problem, or "".
std::string _FindSpecTypeProblem(const SdfAbstractData& data,
                                 const SdfSchemaBase& schema,
                                 const SdfPath& path, SdfSpecType type)
{
    if (!_SpecTypeFitsPath(data, path, type)) {
        return fmt::format("the spec at {} cannot have spec type {}",
                           path.GetString(), static_cast<int>(type));
    }
    // Mappers and expressions are spec types OpenUSD no longer defines.
    if (!schema.GetSpecDefinition(type)) {
        return fmt::format("the spec at {} has spec type {}, which the "
                           "layer's schema does not define",
                           path.GetString(), static_cast<int>(type));
    }
    return {};
}

// A store built from received operations is installed into a layer only if
// every spec's type fits its path (a target's owner included) and is one
// the layer's schema defines, and its children fields hold the types
// OpenUSD expects and name specs that exist: OpenUSD trusts a layer's data,
// and a child without a spec, or a prim listed as a child that is really
// an attribute (from a lost or forged operation), crashes it later, when
// the layer is traversed or written out. Returns the first problem found,
// or "".
std::string _FindInconsistency(const SdfAbstractData& data,
                               const SdfSchemaBase& schema)
{
    // OpenUSD reaches everything in a layer through its pseudo-root and
    // aborts the process on a layer that has none.
    if (data.GetSpecType(SdfPath::AbsoluteRootPath()) !=
        SdfSpecTypePseudoRoot) {
        return "it has no pseudo-root";
    }

    _PathCollector collector;
    data.VisitSpecs(&collector);

    for (const SdfPath& path : collector.paths) {
        std::string failure =
            _FindSpecTypeProblem(data, schema, path, data.GetSpecType(path));
        if (!failure.empty()) {
            return failure;
        }
    }

    for (const SdfPath& path : collector.paths) {
        std::string failure = _FindChildrenInconsistency(data, path);
        if (!failure.empty()) {
            return failure;
        }
    }
    return {};
}

// As _FindInconsistency, for data that differs from a layer's current
// content in the given fields only: the same specs with the same types, so
// only the children fields among them can be amiss.
std::string
_FindInconsistency(const SdfAbstractData& data,
                   const std::vector<vela::SyncData::FieldDifference>& changes)
{
    for (const auto& change : changes) {
        if (vela::IsSpecChildrenField(change.name)) {
            std::string failure = _FindChildrenInconsistency(data, change.path);
            if (!failure.empty()) {
                return failure;
            }
        }
    }
    return {};
}

// The spec types an incremental refresh makes and removes through Sdf's
// schema API. Targets, connections and the rest go through the full refresh.
bool _IsEditableSpecType(SdfSpecType type)
{
    switch (type) {
    case SdfSpecTypePrim:
    case SdfSpecTypeAttribute:
    case SdfSpecTypeRelationship:
    case SdfSpecTypeVariantSet:
    case SdfSpecTypeVariant:
        return true;
    default:
        return false;
    }
}

// The spec whose children field names the spec at \p path: a variant's
// variant set, every other spec's parent.
SdfPath _ChildrenOwner(const SdfPath& path)
{
    if (path.IsPrimVariantSelectionPath()) {
        const auto selection = path.GetVariantSelection();
        if (!selection.second.empty()) {
            return path.GetParentPath().AppendVariantSelection(selection.first,
                                                               "");
        }
    }
    return path.GetParentPath();
}

// A field's value as stored, or null when the spec has no such field or
// holds it empty (which is no field to a layer).
const VtValue* _StoredValue(const vela::SyncData& data, const SdfPath& path,
                            const TfToken& field)
{
    const VtValue* value = data.GetFieldValue(path, field);
    return value && !value->IsEmpty() ? value : nullptr;
}

template <class T>
T _StoredAs(const vela::SyncData& data, const SdfPath& path,
            const TfToken& field, const T& fallback)
{
    const VtValue* value = _StoredValue(data, path, field);
    return value && value->IsHolding<T>() ? value->UncheckedGet<T>() : fallback;
}

bool _SameValue(const VtValue* a, const VtValue* b)
{
    return a ? (b && *a == *b) : !b;
}

// Brings a sync layer into agreement with a store by looking only at the
// specs that changed on either side since the store last refreshed it:
// the store's record of changed paths and the layer store's own record of
// local edits. Outside those paths the two agree already.
//
// Plan sizes the work and checks the changed specs as the full refresh
// checks every spec; Edit makes the edits through Sdf's public API in one
// change block, so that Sdf reports each changed path on its own. Whatever
// that API cannot make (targets, connections, a spec whose parent is not
// there) is left to the full refresh.
class _ChangedSpecsRefresh
{
public:
    enum class Outcome
    {
        Ready, // the edits are planned
        Refused, // the data is not consistent
        Full, // the full refresh must do it
    };

    _ChangedSpecsRefresh(const SdfLayerHandle& layer, vela::SyncData* own,
                         const vela::SyncData& data)
        : _layer(layer)
        , _own(*own)
        , _data(data)
        , _schema(layer->GetSchema())
    {}

    // Plans the refresh. Refused sets \p failure to the consistency
    // problem, Full sets \p reason.
    Outcome Plan(std::string* failure, std::string* reason);

    // Makes the planned edits, unrecorded; false when the layer did not
    // come into agreement (the full refresh finishes the job then).
    bool Edit();

    size_t ChangedCount() const { return _changed.size(); }
    size_t EditCount() const { return _edits; }

private:
    Outcome _PlanChanged(const SdfPath& path, std::string* failure,
                         std::string* reason);
    Outcome _PlanRemovedSubtree(const SdfPath& root, std::string* failure,
                                std::string* reason);
    Outcome _PlanCreations(std::string* reason);
    void _AddSync(const SdfPath& path);
    // As _FindChildrenInconsistency for a changed spec of the data, looking
    // only at what its children fields name that the layer's do not.
    std::string _FindChangedChildrenProblem(const SdfPath& path) const;
    // The problem if the owner's children field still names the spec at
    // \p path, which the data erased; "" otherwise.
    std::string _FindNamedByOwner(const SdfPath& owner,
                                  const SdfPath& path) const;

    bool _Remove(const SdfPath& path);
    bool _Create(const SdfPath& path);
    void _SyncFields(const SdfPath& path);
    bool _Agrees(const SdfPath& path) const;
    bool _IsRequiredFallback(const SdfPath& path, SdfSpecType type,
                             const TfToken& field, const VtValue& value) const;

    const SdfLayerHandle& _layer;
    vela::SyncData& _own;
    const vela::SyncData& _data;
    const SdfSchemaBase& _schema;

    std::vector<SdfPath> _changed;
    std::vector<SdfPath> _removals; // specs of the layer to remove
    std::vector<SdfPath> _creations; // specs to make, parents first
    std::vector<SdfPath> _syncs; // specs whose fields to bring into agreement
    vela::SyncData::PathSet _gone; // what the removals take out of the layer
    vela::SyncData::PathSet _created;
    vela::SyncData::PathSet _synced;
    size_t _edits = 0;
};

_ChangedSpecsRefresh::Outcome _ChangedSpecsRefresh::Plan(std::string* failure,
                                                         std::string* reason)
{
    if (_data.GetSpecType(SdfPath::AbsoluteRootPath()) !=
        SdfSpecTypePseudoRoot) {
        *failure = "it has no pseudo-root";
        return Outcome::Refused;
    }
    if (!_layer->PermissionToEdit()) {
        *reason = "the layer may not be edited";
        return Outcome::Full;
    }
    vela::SyncData::PathSet seen;
    for (const auto* record :
         {&_data, static_cast<const vela::SyncData*>(&_own)}) {
        for (const SdfPath& path : record->GetChangedPaths()) {
            if (seen.insert(path).second) {
                _changed.push_back(path);
            }
        }
    }
    for (const SdfPath& path : _changed) {
        const Outcome outcome = _PlanChanged(path, failure, reason);
        if (outcome != Outcome::Ready) {
            return outcome;
        }
    }
    // Removing a spec through its owner takes its whole subtree out of the
    // layer; what the data still holds of it is made anew.
    const std::vector<SdfPath> removals = _removals;
    for (const SdfPath& root : removals) {
        if (_gone.count(root)) {
            continue;
        }
        const Outcome outcome = _PlanRemovedSubtree(root, failure, reason);
        if (outcome != Outcome::Ready) {
            return outcome;
        }
    }
    return _PlanCreations(reason);
}

_ChangedSpecsRefresh::Outcome
_ChangedSpecsRefresh::_PlanChanged(const SdfPath& path, std::string* failure,
                                   std::string* reason)
{
    const SdfSpecType theirs = _data.GetSpecType(path);
    const SdfSpecType mine = _own.GetSpecType(path);
    if (theirs != SdfSpecTypeUnknown) {
        *failure = _FindSpecTypeProblem(_data, _schema, path, theirs);
        if (failure->empty()) {
            *failure = _FindChangedChildrenProblem(path);
        }
        if (!failure->empty()) {
            return Outcome::Refused;
        }
        // The store keeps no time samples; the full refresh knows what to
        // do with a field that claims to hold them.
        if (!_SameValue(_StoredValue(_data, path, SdfFieldKeys->TimeSamples),
                        _StoredValue(_own, path, SdfFieldKeys->TimeSamples))) {
            *reason = "time samples changed at " + path.GetString();
            return Outcome::Full;
        }
        _AddSync(path);
    }
    if (mine == SdfSpecTypeUnknown) {
        if (theirs != SdfSpecTypeUnknown) {
            _creations.push_back(path);
        }
        return Outcome::Ready;
    }
    // Sdf changes an attribute's value type by making the attribute anew.
    const bool remade =
        theirs != SdfSpecTypeUnknown &&
        (theirs != mine ||
         (mine == SdfSpecTypeAttribute &&
          !_SameValue(_StoredValue(_data, path, SdfFieldKeys->TypeName),
                      _StoredValue(_own, path, SdfFieldKeys->TypeName))));
    if (theirs != SdfSpecTypeUnknown && !remade) {
        return Outcome::Ready;
    }
    if (!_IsEditableSpecType(mine)) {
        *reason = fmt::format("the spec at {} of type {} is removed",
                              path.GetString(), static_cast<int>(mine));
        return Outcome::Full;
    }
    _removals.push_back(path);
    if (remade) {
        _creations.push_back(path);
        return Outcome::Ready;
    }
    // The spec is gone from the data: its owner must not name it any more,
    // even where the owner's own fields did not change.
    const SdfPath owner = _ChildrenOwner(path);
    if (_data.HasSpec(owner)) {
        *failure = _FindNamedByOwner(owner, path);
        if (!failure->empty()) {
            return Outcome::Refused;
        }
        _AddSync(owner);
    }
    return Outcome::Ready;
}

std::string
_ChangedSpecsRefresh::_FindChangedChildrenProblem(const SdfPath& path) const
{
    std::string failure;
    _data.ForEachField(path, [&](const TfToken& name, const VtValue& value) {
        if (value.IsEmpty() || !vela::IsSpecChildrenField(name)) {
            return true;
        }
        // The layer's content passed the check: a children field it holds
        // alike is fine, and so is every name its own field holds (a child
        // the data erased since is one of the changed specs, checked as
        // such). A long list thus costs a lookup per new name only.
        const VtValue* mine = _StoredValue(_own, path, name);
        if (mine && *mine == value) {
            return true;
        }
        if (mine && mine->IsHolding<TfTokenVector>() &&
            value.IsHolding<TfTokenVector>()) {
            const TfTokenVector& known = mine->UncheckedGet<TfTokenVector>();
            const std::unordered_set<TfToken, TfToken::HashFunctor> old(
                known.begin(), known.end());
            TfTokenVector fresh;
            for (const TfToken& child : value.UncheckedGet<TfTokenVector>()) {
                if (!old.count(child)) {
                    fresh.push_back(child);
                }
            }
            failure =
                _FindChildrenInconsistency(_data, path, name, VtValue(fresh));
        } else {
            failure = _FindChildrenInconsistency(_data, path, name, value);
        }
        return failure.empty();
    });
    return failure;
}

std::string _ChangedSpecsRefresh::_FindNamedByOwner(const SdfPath& owner,
                                                    const SdfPath& path) const
{
    // The children field that would name the spec at path, and the name.
    TfToken field, name;
    SdfPath target;
    if (path.IsPrimPath()) {
        field = SdfChildrenKeys->PrimChildren;
        name = path.GetNameToken();
    } else if (path.IsPrimPropertyPath()) {
        field = SdfChildrenKeys->PropertyChildren;
        name = path.GetNameToken();
    } else if (path.IsPrimVariantSelectionPath()) {
        const auto selection = path.GetVariantSelection();
        field = selection.second.empty() ? SdfChildrenKeys->VariantSetChildren
                                         : SdfChildrenKeys->VariantChildren;
        name = TfToken(selection.second.empty() ? selection.first
                                                : selection.second);
    } else if (path.IsTargetPath()) {
        field = _data.GetSpecType(owner) == SdfSpecTypeAttribute
                    ? SdfChildrenKeys->ConnectionChildren
                    : SdfChildrenKeys->RelationshipTargetChildren;
        target = path.GetTargetPath();
    } else if (path.IsMapperPath()) {
        field = SdfChildrenKeys->MapperChildren;
        target = path.GetTargetPath();
    } else {
        return {};
    }
    const VtValue* value = _StoredValue(_data, owner, field);
    bool named = false;
    if (value && value->IsHolding<TfTokenVector>() && !name.IsEmpty()) {
        const TfTokenVector& names = value->UncheckedGet<TfTokenVector>();
        named = std::find(names.begin(), names.end(), name) != names.end();
    } else if (value && value->IsHolding<SdfPathVector>() &&
               !target.IsEmpty()) {
        const SdfPathVector& targets = value->UncheckedGet<SdfPathVector>();
        named =
            std::find(targets.begin(), targets.end(), target) != targets.end();
    }
    if (!named) {
        return {};
    }
    return _ChildrenProblem(
        owner, field,
        "names '" + (name.IsEmpty() ? target.GetString() : name.GetString()) +
            "', which has no spec");
}

_ChangedSpecsRefresh::Outcome _ChangedSpecsRefresh::_PlanRemovedSubtree(
    const SdfPath& root, std::string* failure, std::string* reason)
{
    // The walk follows the layer's children fields, as Sdf's removal does.
    std::vector<SdfPath> stack{root};
    while (!stack.empty()) {
        const SdfPath path = std::move(stack.back());
        stack.pop_back();
        if (!_own.HasSpec(path) || !_gone.insert(path).second) {
            continue;
        }
        _own.ForEachField(path, [&](const TfToken& name, const VtValue& value) {
            if (vela::IsSpecChildrenField(name)) {
                vela::ForEachSpecChildPath(
                    path, name, value,
                    [&](const SdfPath& child) { stack.push_back(child); });
            }
            return true;
        });
        if (path == root) {
            continue;
        }
        const SdfSpecType theirs = _data.GetSpecType(path);
        if (theirs == SdfSpecTypeUnknown) {
            continue;
        }
        // Kept by the data below a spec it removed or remade: made anew.
        *failure = _FindSpecTypeProblem(_data, _schema, path, theirs);
        if (!failure->empty()) {
            return Outcome::Refused;
        }
        if (!_IsEditableSpecType(theirs)) {
            *reason = fmt::format("the spec at {} of type {} is made anew",
                                  path.GetString(), static_cast<int>(theirs));
            return Outcome::Full;
        }
        _creations.push_back(path); // duplicates go when they are sorted
        _AddSync(path);
    }
    return Outcome::Ready;
}

_ChangedSpecsRefresh::Outcome
_ChangedSpecsRefresh::_PlanCreations(std::string* reason)
{
    // Parents first: a parent has fewer elements, and a variant set sorts
    // before its variants.
    std::sort(_creations.begin(), _creations.end(),
              [](const SdfPath& a, const SdfPath& b) {
                  const size_t na = a.GetPathElementCount();
                  const size_t nb = b.GetPathElementCount();
                  return na != nb ? na < nb : a < b;
              });
    _creations.erase(std::unique(_creations.begin(), _creations.end()),
                     _creations.end());
    // The type a spec has once the removals and the creations before it
    // are made.
    const auto typeThen = [&](const SdfPath& path) {
        if (_created.count(path)) {
            return _data.GetSpecType(path);
        }
        return _gone.count(path) ? SdfSpecTypeUnknown : _own.GetSpecType(path);
    };
    for (const SdfPath& path : _creations) {
        const SdfSpecType type = _data.GetSpecType(path);
        const SdfPath owner = _ChildrenOwner(path);
        const SdfSpecType ownerType = typeThen(owner);
        bool possible = false;
        switch (type) {
        case SdfSpecTypePrim:
            possible = (ownerType == SdfSpecTypePrim ||
                        ownerType == SdfSpecTypeVariant ||
                        ownerType == SdfSpecTypePseudoRoot) &&
                       SdfPrimSpec::IsValidName(path.GetName());
            break;
        case SdfSpecTypeAttribute:
            possible = (ownerType == SdfSpecTypePrim ||
                        ownerType == SdfSpecTypeVariant) &&
                       _schema.FindType(_StoredAs<TfToken>(
                           _data, path, SdfFieldKeys->TypeName, TfToken()));
            break;
        case SdfSpecTypeRelationship:
        case SdfSpecTypeVariantSet:
            possible =
                ownerType == SdfSpecTypePrim || ownerType == SdfSpecTypeVariant;
            break;
        case SdfSpecTypeVariant:
            possible = ownerType == SdfSpecTypeVariantSet;
            break;
        default:
            break;
        }
        if (!possible) {
            *reason = fmt::format("the spec at {} of type {} cannot be made "
                                  "through its owner",
                                  path.GetString(), static_cast<int>(type));
            return Outcome::Full;
        }
        _created.insert(path);
        _AddSync(path);
        // Sdf lists a new child in its owner's children field, and takes a
        // removed one out; the owner's fields end as the data's.
        if (_data.HasSpec(owner)) {
            _AddSync(owner);
        }
    }
    for (const SdfPath& path : _removals) {
        const SdfPath owner = _ChildrenOwner(path);
        if (_data.HasSpec(owner)) {
            _AddSync(owner);
        }
    }
    return Outcome::Ready;
}

void _ChangedSpecsRefresh::_AddSync(const SdfPath& path)
{
    if (_synced.insert(path).second) {
        _syncs.push_back(path);
    }
}

bool _ChangedSpecsRefresh::Edit()
{
    bool complete = true;
    {
        // An edit Sdf refuses is left to the full refresh, not reported.
        TfErrorMark mark;
        const vela::SyncRecordingMuteBlock mute(&_own);
        SdfChangeBlock block;
        // Top-down, so that a removed subtree goes in one edit.
        std::sort(_removals.begin(), _removals.end());
        for (const SdfPath& path : _removals) {
            if (_own.HasSpec(path) && !_Remove(path)) {
                spdlog::debug("RefreshChangedData: Sdf did not remove {}",
                              path.GetText());
                complete = false;
            }
        }
        for (const SdfPath& path : _creations) {
            if (!_Create(path)) {
                spdlog::debug("RefreshChangedData: Sdf did not make {}",
                              path.GetText());
                complete = false;
            }
        }
        for (const SdfPath& path : _syncs) {
            _SyncFields(path);
        }
        if (!mark.IsClean()) {
            for (const TfError& error : mark) {
                spdlog::debug("RefreshChangedData: Sdf refused an edit: {}",
                              error.GetCommentary());
            }
            complete = false;
            mark.Clear();
        }
    }
    if (!complete) {
        return false;
    }
    // Sdf's removals and creations are checked against the data: a spec
    // the layer holds outside its owner's children, say, is not removed.
    const auto agrees = [&](const SdfPath& path) {
        if (_Agrees(path)) {
            return true;
        }
        spdlog::debug("RefreshChangedData: {} differs from the data after "
                      "Sdf's edits",
                      path.GetText());
        return false;
    };
    for (const auto* paths : {&_removals, &_creations, &_syncs}) {
        if (!std::all_of(paths->begin(), paths->end(), agrees)) {
            return false;
        }
    }
    return std::all_of(_gone.begin(), _gone.end(), agrees);
}

bool _ChangedSpecsRefresh::_Remove(const SdfPath& path)
{
    ++_edits;
    const SdfPath ownerPath = _ChildrenOwner(path);
    switch (_own.GetSpecType(path)) {
    case SdfSpecTypePrim: {
        SdfPrimSpecHandle owner = _layer->GetPrimAtPath(ownerPath);
        SdfPrimSpecHandle prim = _layer->GetPrimAtPath(path);
        if (owner && prim) {
            owner->RemoveNameChild(prim);
        }
        break;
    }
    case SdfSpecTypeAttribute:
    case SdfSpecTypeRelationship: {
        SdfPrimSpecHandle owner = _layer->GetPrimAtPath(ownerPath);
        SdfPropertySpecHandle property = _layer->GetPropertyAtPath(path);
        if (owner && property) {
            owner->RemoveProperty(property);
        }
        break;
    }
    case SdfSpecTypeVariantSet: {
        if (SdfPrimSpecHandle owner = _layer->GetPrimAtPath(ownerPath)) {
            owner->RemoveVariantSet(path.GetVariantSelection().first);
        }
        break;
    }
    case SdfSpecTypeVariant: {
        auto owner = TfDynamic_cast<SdfVariantSetSpecHandle>(
            _layer->GetObjectAtPath(ownerPath));
        auto variant =
            TfDynamic_cast<SdfVariantSpecHandle>(_layer->GetObjectAtPath(path));
        if (owner && variant) {
            owner->RemoveVariant(variant);
        }
        break;
    }
    default:
        break;
    }
    return !_own.HasSpec(path);
}

bool _ChangedSpecsRefresh::_Create(const SdfPath& path)
{
    ++_edits;
    const SdfPath ownerPath = _ChildrenOwner(path);
    const SdfSpecType type = _data.GetSpecType(path);
    // The fields that the schema API takes are the data's; every other
    // field is set afterwards.
    const bool custom =
        _StoredAs<bool>(_data, path, SdfFieldKeys->Custom, false);
    const SdfVariability variability = _StoredAs<SdfVariability>(
        _data, path, SdfFieldKeys->Variability, SdfVariabilityVarying);
    bool made = false;
    switch (type) {
    case SdfSpecTypePrim: {
        const TfToken typeName =
            _StoredAs<TfToken>(_data, path, SdfFieldKeys->TypeName, TfToken());
        // A typeless def would be given Sdf's "any type" name: made as an
        // over, its specifier follows with the other fields.
        const SdfSpecifier specifier =
            typeName.IsEmpty()
                ? SdfSpecifierOver
                : _StoredAs<SdfSpecifier>(_data, path, SdfFieldKeys->Specifier,
                                          SdfSpecifierOver);
        made = bool(SdfPrimSpec::New(_layer->GetPrimAtPath(ownerPath),
                                     path.GetName(), specifier,
                                     typeName.GetString()));
        break;
    }
    case SdfSpecTypeAttribute: {
        const SdfValueTypeName typeName = _schema.FindType(
            _StoredAs<TfToken>(_data, path, SdfFieldKeys->TypeName, TfToken()));
        made = bool(SdfAttributeSpec::New(_layer->GetPrimAtPath(ownerPath),
                                          path.GetName(), typeName, variability,
                                          custom));
        break;
    }
    case SdfSpecTypeRelationship:
        made =
            bool(SdfRelationshipSpec::New(_layer->GetPrimAtPath(ownerPath),
                                          path.GetName(), custom, variability));
        break;
    case SdfSpecTypeVariantSet:
        made = bool(SdfVariantSetSpec::New(_layer->GetPrimAtPath(ownerPath),
                                           path.GetVariantSelection().first));
        break;
    case SdfSpecTypeVariant:
        made = bool(SdfVariantSpec::New(TfDynamic_cast<SdfVariantSetSpecHandle>(
                                            _layer->GetObjectAtPath(ownerPath)),
                                        path.GetVariantSelection().second));
        break;
    default:
        break;
    }
    return made;
}

bool _ChangedSpecsRefresh::_IsRequiredFallback(const SdfPath& path,
                                               SdfSpecType type,
                                               const TfToken& field,
                                               const VtValue& value) const
{
    // Sdf keeps a required field that holds its fallback rather than erase
    // it: to a layer it is the same as no field.
    const SdfSchemaBase::SpecDefinition* definition =
        _schema.GetSpecDefinition(type);
    return definition && definition->IsRequiredField(field) &&
           value == _schema.GetFallback(field);
}

void _ChangedSpecsRefresh::_SyncFields(const SdfPath& path)
{
    const SdfSpecType type = _data.GetSpecType(path);
    if (type == SdfSpecTypeUnknown) {
        return;
    }
    _data.ForEachField(path, [&](const TfToken& name, const VtValue& value) {
        if (!value.IsEmpty() &&
            !_SameValue(_StoredValue(_own, path, name), &value)) {
            _layer->SetField(path, name, value);
            ++_edits;
        }
        return true;
    });
    TfTokenVector erased;
    _own.ForEachField(path, [&](const TfToken& name, const VtValue& value) {
        if (!value.IsEmpty() && !_StoredValue(_data, path, name) &&
            !_IsRequiredFallback(path, type, name, value)) {
            erased.push_back(name);
        }
        return true;
    });
    for (const TfToken& name : erased) {
        _layer->EraseField(path, name);
        ++_edits;
    }
}

bool _ChangedSpecsRefresh::_Agrees(const SdfPath& path) const
{
    const SdfSpecType type = _data.GetSpecType(path);
    if (type != _own.GetSpecType(path)) {
        return false;
    }
    bool agrees = true;
    const auto compare = [&](const vela::SyncData& one,
                             const vela::SyncData& other) {
        one.ForEachField(path, [&](const TfToken& name, const VtValue& value) {
            if (!value.IsEmpty() &&
                !_SameValue(&value, _StoredValue(other, path, name)) &&
                !(!_StoredValue(other, path, name) &&
                  _IsRequiredFallback(path, type, name, value))) {
                agrees = false;
            }
            return agrees;
        });
    };
    compare(_data, _own);
    if (agrees) {
        compare(_own, _data);
    }
    return agrees;
}

} // namespace


TF_REGISTRY_FUNCTION(TfType)
{
    SDF_DEFINE_FILE_FORMAT(SyncFileFormat, SdfFileFormat);
}

SyncFileFormat::SyncFileFormat()
    : SdfFileFormat(VelaSyncFileFormatTokens->Id,
                    VelaSyncFileFormatTokens->Version,
                    VelaSyncFileFormatTokens->Target,
                    VelaSyncFileFormatTokens->Extension.GetString())
{}

SyncFileFormat::~SyncFileFormat() = default;

SdfAbstractDataRefPtr SyncFileFormat::InitData(const FileFormatArguments&) const
{
    return vela::SyncData::NewForLayer();
}

bool SyncFileFormat::CanRead(const std::string&) const
{
    return false;
}

bool SyncFileFormat::Read(SdfLayer*, const std::string&, bool) const
{
    spdlog::info("SyncFileFormat doesn't support read from file");
    return false;
}

namespace {

SdfFileFormatConstPtr UsdaFormat()
{
    return SdfFileFormat::FindById(SdfUsdaFileFormatTokens->Id);
}

} // namespace

bool SyncFileFormat::WriteToString(const SdfLayer& layer, std::string* str,
                                   const std::string& comment) const
{
    const SdfFileFormatConstPtr usda = UsdaFormat();
    return usda && usda->WriteToString(layer, str, comment);
}

bool SyncFileFormat::WriteToStream(const SdfSpecHandle& spec, std::ostream& out,
                                   size_t indent) const
{
    const SdfFileFormatConstPtr usda = UsdaFormat();
    return usda && usda->WriteToStream(spec, out, indent);
}

bool SyncFileFormat::WriteToFile(const SdfLayer&, const std::string& filePath,
                                 const std::string&,
                                 const FileFormatArguments&) const
{
    TF_RUNTIME_ERROR("Cannot write '%s': sync layers live in memory and "
                     "have no file of their own; export the layer to a "
                     ".usda, .usdc or .usd path instead",
                     filePath.c_str());
    return false;
}

vela::SyncDataPtr SyncFileFormat::GetData(const SdfLayer& layer)
{
    auto data = TfDynamic_cast<vela::SyncDataConstPtr>(_GetLayerData(layer));
    if (!data) {
        spdlog::error("SyncFileFormat::GetData: layer {} has no SyncData",
                      layer.GetIdentifier());
        return vela::SyncDataPtr();
    }
    // Sdf hands out layer data as const; the sync layer's callers edit the
    // recorder through it.
    return TfConst_cast<vela::SyncDataPtr>(data);
}

void SyncFileFormat::RefreshData(const SdfLayerHandle& layer,
                                 const SdfAbstractDataRefPtr& data)
{
    if (!layer) {
        spdlog::error("Invalid layer.");
        return;
    }
    if (!data) {
        spdlog::error("Invalid data for layer {}", layer->GetIdentifier());
        return;
    }
    std::vector<vela::SyncData::FieldDifference> changes;
    const _RefreshRoute route = _ChooseRefreshRoute(*layer, *data, &changes);
    if (route == _RefreshRoute::Unchanged) {
        _DiscardPendingOps(*layer);
        _NoteRefreshed(*layer, data);
        return;
    }
    // The layer's content has passed this check (or was made by OpenUSD's
    // own edits), so fields that differ are all there is left to check.
    const std::string failure =
        route == _RefreshRoute::Fields
            ? _FindInconsistency(*data, changes)
            : _FindInconsistency(*data, layer->GetSchema());
    if (!failure.empty()) {
        spdlog::error("RefreshData: refused, the sync data is not "
                      "consistent: {}",
                      failure);
        return;
    }
    const vela::SyncDataPtr own = GetData(*layer);
    if (own && route == _RefreshRoute::Whole) {
        _ReplaceData(layer, own, static_cast<const vela::SyncData&>(*data));
    } else if (own && route == _RefreshRoute::Fields) {
        _EditFields(layer, own, changes);
    } else {
        _EditSpecs(layer, own, data);
    }
    _NoteRefreshed(*layer, data);
}

void SyncFileFormat::RefreshChangedData(const SdfLayerHandle& layer,
                                        const SdfAbstractDataRefPtr& data)
{
    if (!layer) {
        spdlog::error("Invalid layer.");
        return;
    }
    if (!data) {
        spdlog::error("Invalid data for layer {}", layer->GetIdentifier());
        return;
    }
    const auto current =
        TfDynamic_cast<vela::SyncDataConstPtr>(_GetLayerData(*layer));
    const auto* incoming =
        dynamic_cast<const vela::SyncData*>(get_pointer(data));
    const std::string unusable =
        _FindChangeRecordProblem(*layer, get_pointer(current), incoming);
    if (!unusable.empty()) {
        spdlog::debug("RefreshChangedData: {}; refreshing layer {} in full",
                      unusable, layer->GetIdentifier());
        RefreshData(layer, data);
        return;
    }
    // Sdf hands out layer data as const; its refresh edits it through the
    // layer, muted.
    vela::SyncData* own = const_cast<vela::SyncData*>(get_pointer(current));
    _ChangedSpecsRefresh refresh(layer, own, *incoming);
    std::string failure, reason;
    switch (refresh.Plan(&failure, &reason)) {
    case _ChangedSpecsRefresh::Outcome::Refused:
        spdlog::error("RefreshData: refused, the sync data is not "
                      "consistent: {}",
                      failure);
        return;
    case _ChangedSpecsRefresh::Outcome::Full:
        spdlog::debug("RefreshChangedData: {}; refreshing layer {} in full",
                      reason, layer->GetIdentifier());
        RefreshData(layer, data);
        return;
    case _ChangedSpecsRefresh::Outcome::Ready:
        break;
    }
    if (!refresh.Edit()) {
        // The edits made so far are part of the way there.
        spdlog::debug("RefreshChangedData: layer {} did not come into "
                      "agreement spec by spec; refreshing it in full",
                      layer->GetIdentifier());
        RefreshData(layer, data);
        return;
    }
    own->GetDelta().DiscardPendingOps();
    _NoteRefreshed(own, const_cast<vela::SyncData*>(incoming));
    spdlog::debug("RefreshChangedData: {} changed specs of layer {}, {} edits",
                  refresh.ChangedCount(), layer->GetIdentifier(),
                  refresh.EditCount());
}

std::string
SyncFileFormat::_FindChangeRecordProblem(const SdfLayer& layer,
                                         const vela::SyncData* current,
                                         const vela::SyncData* incoming)
{
    if (!current) {
        return "the layer holds no SyncData";
    }
    if (!incoming) {
        return "the data is no SyncData";
    }
    // Each must name the other: the data may have refreshed this layer,
    // and another store the layer since.
    if (get_pointer(incoming->GetRefreshedStore()) != current ||
        get_pointer(current->GetRefreshedStore()) != incoming) {
        return "the data did not refresh this layer last";
    }
    if (incoming->HasChangedPathsOverflowed()) {
        return "too many specs of the data changed";
    }
    if (current->HasChangedPathsOverflowed()) {
        return "too many specs of the layer were edited";
    }
    const size_t changed =
        incoming->GetChangedPaths().size() + current->GetChangedPaths().size();
    if (changed > std::max(_WholesaleMinimum,
                           current->GetSpecCount() / _ChangedShareLimit)) {
        return fmt::format("{} changed specs", changed);
    }
    return {};
}

void SyncFileFormat::_NoteRefreshed(const SdfLayer& layer,
                                    const SdfAbstractDataRefPtr& data)
{
    const auto current =
        TfDynamic_cast<vela::SyncDataConstPtr>(_GetLayerData(layer));
    if (!current) {
        return;
    }
    _NoteRefreshed(const_cast<vela::SyncData*>(get_pointer(current)),
                   dynamic_cast<vela::SyncData*>(get_pointer(data)));
}

void SyncFileFormat::_NoteRefreshed(vela::SyncData* own,
                                    vela::SyncData* incoming)
{
    // The layer agrees with the data: its local edits are no longer news.
    own->ClearChangedPaths(incoming ? TfCreateWeakPtr(incoming)
                                    : vela::SyncDataPtr());
    // A store that keeps a record for another layer still alive keeps it:
    // that layer's next refresh needs it.
    if (incoming && (!incoming->GetRefreshedStore() ||
                     get_pointer(incoming->GetRefreshedStore()) == own)) {
        incoming->ClearChangedPaths(TfCreateWeakPtr(own));
    }
}

SyncFileFormat::_RefreshRoute SyncFileFormat::_ChooseRefreshRoute(
    const SdfLayer& layer, const SdfAbstractData& data,
    std::vector<vela::SyncData::FieldDifference>* changes)
{
    // Sized before it is checked: content the layer holds already needs
    // no check, and no edit either (Sdf would find nothing to change).
    const auto current =
        TfDynamic_cast<vela::SyncDataConstPtr>(_GetLayerData(layer));
    const auto* incoming = dynamic_cast<const vela::SyncData*>(&data);
    if (!current || !incoming) {
        return _RefreshRoute::Specs;
    }
    const size_t larger =
        std::max(current->GetSpecCount(), incoming->GetSpecCount());
    // Counting stops once the refresh is known to be whole.
    bool fieldsOnly = false;
    const size_t differing = current->CountDifferingSpecs(
        *incoming, std::max(larger / 2, _WholesaleMinimum), changes,
        &fieldsOnly);
    if (differing == 0) {
        return _RefreshRoute::Unchanged;
    }
    _RefreshRoute route = _RefreshRoute::Specs;
    if (differing >= _WholesaleMinimum && differing * 2 >= larger) {
        route = _RefreshRoute::Whole;
    } else if (fieldsOnly && _AreFieldEditsSafe(layer, *changes)) {
        route = _RefreshRoute::Fields;
    }
    if (route != _RefreshRoute::Fields) {
        changes->clear();
    }
    spdlog::debug("RefreshData: {} of {} specs of layer {} differ, {}",
                  differing, larger, layer.GetIdentifier(),
                  route == _RefreshRoute::Whole ? "replacing the content whole"
                  : route == _RefreshRoute::Fields ? "editing fields"
                                                   : "editing specs");
    return route;
}

void SyncFileFormat::_EditSpecs(const SdfLayerHandle& layer,
                                const vela::SyncDataPtr& own,
                                const SdfAbstractDataRefPtr& data)
{
    {
        // Sdf brings the layer into agreement by editing its current data;
        // none of those edits is a local change.
        const vela::SyncRecordingMuteBlock mute(get_pointer(own));
        SdfAbstractDataRefPtr newData = data;
        _SetLayerData(get_pointer(layer), newData);
    }
    // What was pending before the refresh is gone with the content it
    // described.
    _DiscardPendingOps(*layer);
}

bool SyncFileFormat::_AreFieldEditsSafe(
    const SdfLayer& layer,
    const std::vector<vela::SyncData::FieldDifference>& changes)
{
    if (!layer.PermissionToEdit()) {
        return false;
    }
    const SdfSchemaBase& schema = layer.GetSchema();
    for (const auto& change : changes) {
        // Sdf changes a required field (an attribute's type name, say) by
        // making the spec anew, and the fields it takes for time samples
        // are not a store's to hold.
        const SdfSchemaBase::SpecDefinition* definition =
            schema.GetSpecDefinition(change.specType);
        if (!definition || definition->IsRequiredField(change.name) ||
            change.name == SdfFieldKeys->TimeSamples) {
            return false;
        }
    }
    return true;
}

void SyncFileFormat::_EditFields(
    const SdfLayerHandle& layer, const vela::SyncDataPtr& own,
    const std::vector<vela::SyncData::FieldDifference>& changes)
{
    // The edits Sdf itself would make to bring the layer into agreement,
    // found without walking the layer through its API.
    {
        const vela::SyncRecordingMuteBlock mute(get_pointer(own));
        SdfChangeBlock block;
        for (const auto& change : changes) {
            if (change.value.IsEmpty()) {
                layer->EraseField(change.path, change.name);
            } else {
                layer->SetField(change.path, change.name, change.value);
            }
        }
    }
    _DiscardPendingOps(*layer);
}

void SyncFileFormat::_ReplaceData(const SdfLayerHandle& layer,
                                  const vela::SyncDataPtr& own,
                                  const vela::SyncData& incoming)
{
    // The layer gets a store of its own, never the caller's, which goes on
    // being fed. Nothing is pending in it, and what was pending in the old
    // store goes with that store.
    SdfAbstractDataRefPtr fresh = vela::SyncData::NewForLayer(incoming);
    // Sdf lets go of the old store during the swap; it must live until its
    // flags are put back.
    const vela::SyncDataRefPtr old = TfCreateRefPtrFromProtectedWeakPtr(own);
    {
        const vela::SyncRecordingMuteBlock mute(get_pointer(old));
        const _StreamingBlock streaming(get_pointer(old));
        _SetLayerData(get_pointer(layer), fresh);
    }
    // Should Sdf have edited the old store after all, the outcome is the
    // same content, and what it recorded is dropped here.
    _DiscardPendingOps(*layer);
}

void SyncFileFormat::ResetData(const SdfLayerHandle& layer)
{
    if (!layer) {
        spdlog::error("Invalid layer.");
        return;
    }
    SdfAbstractDataRefPtr fresh = vela::SyncData::New();
    _SetLayerData(get_pointer(layer), fresh);
    vela::SyncDataPtr syncData = _DiscardPendingOps(*layer);
    if (!syncData) {
        return;
    }
    // After the discard, so the peer learns that the layer starts over.
    syncData->CreateSpec(SdfPath::AbsoluteRootPath(), SdfSpecTypePseudoRoot);
}

vela::SyncDataPtr SyncFileFormat::_DiscardPendingOps(const SdfLayer& layer)
{
    vela::SyncDataPtr syncData = GetData(layer);
    if (syncData) {
        syncData->GetDelta().DiscardPendingOps();
    }
    return syncData;
}

PXR_NAMESPACE_CLOSE_SCOPE
