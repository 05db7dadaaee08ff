//
// Copyright 2026 vela contributors
//
#include "sync/syncFileFormat.h"
#include "sync/syncRecordingMuteBlock.h"

#include <pxr/pxr.h>
#include <pxr/usd/sdf/changeBlock.h>
#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/base/tf/registryManager.h>
#include <pxr/base/tf/type.h>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <string>
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

// The fields that name a spec's children.
const std::array<TfToken, 4>& _TokenChildrenFields()
{
    static const std::array<TfToken, 4> fields = {
        SdfChildrenKeys->PrimChildren, SdfChildrenKeys->PropertyChildren,
        SdfChildrenKeys->VariantSetChildren, SdfChildrenKeys->VariantChildren};
    return fields;
}

const std::array<TfToken, 3>& _PathChildrenFields()
{
    static const std::array<TfToken, 3> fields = {
        SdfChildrenKeys->RelationshipTargetChildren,
        SdfChildrenKeys->ConnectionChildren, SdfChildrenKeys->MapperChildren};
    return fields;
}

template <class Fields>
bool _Contains(const Fields& fields, const TfToken& name)
{
    return std::find(fields.begin(), fields.end(), name) != fields.end();
}

bool _IsChildrenField(const TfToken& name)
{
    return _Contains(_TokenChildrenFields(), name) ||
           _Contains(_PathChildrenFields(), name);
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

// The path of the child that a token children field of the spec at
// \p path names \p name; the empty path when no spec can be there.
SdfPath _TokenChildPath(const SdfPath& path, const TfToken& field,
                        const TfToken& name)
{
    if (field == SdfChildrenKeys->PrimChildren) {
        return path.AppendChild(name);
    }
    if (field == SdfChildrenKeys->PropertyChildren) {
        return path.AppendProperty(name);
    }
    if (field == SdfChildrenKeys->VariantSetChildren) {
        return path.AppendVariantSelection(name, "");
    }
    if (path.IsPrimVariantSelectionPath()) {
        return path.GetParentPath().AppendVariantSelection(
            path.GetVariantSelection().first, name);
    }
    return SdfPath();
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
        const SdfPath child = field == SdfChildrenKeys->MapperChildren
                                  ? path.AppendMapper(target)
                                  : path.AppendTarget(target);
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
            data, path, field, _TokenChildPath(path, field, name),
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
    if (_Contains(_PathChildrenFields(), field)) {
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
            if (_IsChildrenField(name)) {
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
    check(_TokenChildrenFields());
    check(_PathChildrenFields());
    return failure;
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
        const SdfSpecType type = data.GetSpecType(path);
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
        if (_IsChildrenField(change.name)) {
            std::string failure = _FindChildrenInconsistency(data, change.path);
            if (!failure.empty()) {
                return failure;
            }
        }
    }
    return {};
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
