//
// Copyright 2026 vela contributors
//
#include "sync/syncData.h"

#include "sync/listOpMerge.h"

#include "sync/syncFileFormat.h"
#include "sync/syncOpMerger.h"
#include "sync/syncRecordingMuteBlock.h"
#include "sync/valueHandler.h"

#include <pxr/base/tf/stringUtils.h>
#include <pxr/base/work/utils.h>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <utility>

using namespace pxr;

namespace vela {

namespace {

// Field lists are short and tokens compare by identity, so a linear scan
// beats any index.
template <class Fields>
auto FindField(Fields& fields, const TfToken& fieldName)
{
    return std::find_if(
        fields.begin(), fields.end(),
        [&fieldName](const auto& field) { return field.name == fieldName; });
}

// The checks' messages are formatted only for an operand they refuse, and
// only for a caller that asked for them.
template <class... Args>
bool Refuse(std::string* error, fmt::format_string<Args...> format,
            Args&&... args)
{
    if (error) {
        *error = fmt::format(format, std::forward<Args>(args)...);
    }
    return false;
}

// Trace lines are built only when they will be printed: some of their
// arguments (a value's text, a type name) cost more than the edit itself.
bool DebugEnabled()
{
    return spdlog::should_log(spdlog::level::debug);
}

} // namespace

SyncData::SyncData()
    : _delta(std::make_unique<SyncDelta>())
{
    // A fuller table costs a slightly longer probe now and then, but a
    // layer of many specs would otherwise keep twice the buckets it needs.
    _specs.max_load_factor(0.8f);
    CreateSpec(SdfPath::AbsoluteRootPath(), SdfSpecTypePseudoRoot);
    // A new store has refreshed no layer: its record starts now.
    _changedPaths.clear();
}

SyncDataRefPtr SyncData::New()
{
    return TfCreateRefPtr(new SyncData());
}

SyncDataRefPtr SyncData::NewForLayer()
{
    SyncDataRefPtr data = New();
    data->_ownedByLayer = true;
    return data;
}

SyncDataRefPtr SyncData::NewForLayer(const SyncData& source)
{
    SyncDataRefPtr data = NewForLayer();
    data->_specs = source._specs;
    for (auto it = data->_specs.begin(); it != data->_specs.end(); ++it) {
        auto& fields = it.value();
        // A field stored empty is no field to a layer: Sdf would not carry
        // it over either.
        fields.erase(std::remove_if(fields.begin(), fields.end(),
                                    [](const _Field& field) {
                                        return field.value.IsEmpty();
                                    }),
                     fields.end());
        // The source's handles point into the source's recorder.
        for (_Field& field : fields) {
            field.slot = SyncDelta::FieldSlot();
        }
    }
    data->_delta->DiscardPendingOps();
    return data;
}

namespace {

// Calls onDifference(name, value) for every field that \p theirs holds
// otherwise than \p mine -- with its value there, or an empty value where
// \p theirs has none -- until it returns false. A field stored empty
// counts as missing, as it does to Sdf.
template <class Fields, class OnDifference>
void CompareFields(const Fields& mine, const Fields& theirs,
                   OnDifference&& onDifference)
{
    for (const auto& field : theirs) {
        if (field.value.IsEmpty()) {
            continue;
        }
        auto found = FindField(mine, field.name);
        if ((found == mine.end() || !(found->value == field.value)) &&
            !onDifference(field.name, field.value)) {
            return;
        }
    }
    for (const auto& field : mine) {
        if (field.value.IsEmpty()) {
            continue;
        }
        auto found = FindField(theirs, field.name);
        if ((found == theirs.end() || found->value.IsEmpty()) &&
            !onDifference(field.name, VtValue())) {
            return;
        }
    }
}

} // namespace

size_t SyncData::CountDifferingSpecs(const SyncData& other, size_t limit) const
{
    bool fieldsOnly;
    return CountDifferingSpecs(other, limit, nullptr, &fieldsOnly);
}

size_t SyncData::CountDifferingSpecs(const SyncData& other, size_t limit,
                                     std::vector<FieldDifference>* fields,
                                     bool* fieldsOnly) const
{
    size_t count = 0;
    bool structural = false;
    const auto stop = [&] {
        if (fields) {
            fields->clear();
        }
        *fieldsOnly = false;
        return count;
    };
    for (const auto& entry : _specs) {
        if (count > limit) {
            return stop();
        }
        auto it = other._specs.find(entry.first);
        if (it == other._specs.end() ||
            it->second.GetType() != entry.second.GetType()) {
            ++count;
            structural = true;
            continue;
        }
        bool differs = false;
        const bool collect = fields && !structural;
        CompareFields(
            entry.second, it->second,
            [&](const TfToken& name, const VtValue& value) {
                differs = true;
                if (collect) {
                    fields->push_back(FieldDifference{
                        entry.first, entry.second.GetType(), name, value});
                }
                return collect;
            });
        count += differs ? 1 : 0;
    }
    for (const auto& entry : other._specs) {
        if (count > limit) {
            return stop();
        }
        if (_specs.find(entry.first) == _specs.end()) {
            ++count;
            structural = true;
        }
    }
    if (structural) {
        return stop();
    }
    *fieldsOnly = true;
    return count;
}

void SyncData::SetRecordingMuted(bool muted)
{
    _muted = muted;
}

void SyncData::_NoteChanged(const SdfPath& path)
{
    // A layer's store is muted only while its refresh edits it: those edits
    // bring it into agreement, they are no change to look at later.
    if (_changedPathsOverflowed || (_muted && _ownedByLayer)) {
        return;
    }
    _changedPaths.insert(path);
    const size_t limit =
        std::max(_ChangedPathsMinimum, _specs.size() / _ChangedPathsShare);
    if (_changedPaths.size() > limit) {
        _changedPathsOverflowed = true;
        PathSet().swap(_changedPaths);
    }
}

void SyncData::ClearChangedPaths(const SyncDataPtr& refreshedStore)
{
    // A small record is emptied in place, its room kept for the next
    // refresh's few paths; a large one (a late joiner's) is let go of.
    if (_changedPaths.bucket_count() > _ChangedPathsKeptBuckets) {
        PathSet().swap(_changedPaths);
    } else if (!_changedPaths.empty()) {
        _changedPaths.clear();
    }
    _changedPathsOverflowed = false;
    _refreshedStore = refreshedStore;
}

SyncData::~SyncData()
{
    // A large store takes a while to free (0.1-0.2 s for 100k prims): like
    // SdfData, leave that to a worker thread rather than keep the caller,
    // often a Python thread holding the interpreter's lock, waiting. The
    // records go first, as they would here.
    if (_specs.size() >= _AsyncDestroyMinSpecs) {
        struct Contents
        {
            _SpecMap specs;
            std::unique_ptr<SyncDelta> delta;
        };
        Contents contents{std::move(_specs), std::move(_delta)};
        WorkMoveDestroyAsync(contents);
        return;
    }
    _delta.reset();
}

bool SyncData::StreamsData() const
{
    return _reportsStreaming;
}

void SyncData::CreateSpec(const SdfPath& path, SdfSpecType specType)
{
    if (DebugEnabled()) {
        spdlog::debug("[SyncData::CreateSpec] Create spec at {} [specType={}]",
                      path.GetText(), static_cast<int>(specType));
    }
    if (!_muted) {
        _delta->CreateNode(path, static_cast<int32_t>(specType));
    }
    CreateNode(path, specType);
}

bool SyncData::HasSpec(const SdfPath& path) const
{
    return _specs.find(path) != _specs.end();
}

void SyncData::EraseSpec(const SdfPath& path)
{
    if (_EraseSpec(path) && !_muted) {
        _delta->EraseNode(path);
    }
}

bool SyncData::_EraseSpec(const SdfPath& path)
{
    auto it = _specs.find(path);
    if (it == _specs.end()) {
        spdlog::error("No spec to erase at {}", path.GetText());
        return false;
    }
    _specs.erase(it);
    _NoteChanged(path);
    if (DebugEnabled()) {
        spdlog::debug("[SyncData::EraseSpec] Erase spec at {}", path.GetText());
    }
    return true;
}

void SyncData::MoveSpec(const SdfPath& oldPath, const SdfPath& newPath)
{
    if (_MoveSpec(oldPath, newPath) && !_muted) {
        _delta->MoveNode(oldPath, newPath);
    }
}

bool SyncData::_MoveSpec(const SdfPath& oldPath, const SdfPath& newPath)
{
    auto it = _specs.find(oldPath);
    if (it == _specs.end()) {
        spdlog::error("No spec to move at {}", oldPath.GetText());
        return false;
    }
    if (_specs.find(newPath) != _specs.end()) {
        return false;
    }
    SpecData moved = std::move(it.value());
    _specs.erase(it);
    _specs.emplace(newPath, std::move(moved));
    _NoteChanged(oldPath);
    _NoteChanged(newPath);
    return true;
}

SdfSpecType SyncData::GetSpecType(const SdfPath& path) const
{
    auto it = _specs.find(path);
    return it == _specs.end() ? SdfSpecTypeUnknown : it->second.GetType();
}

bool SyncData::Has(const SdfPath& path, const TfToken& fieldName,
                   SdfAbstractDataValue* value) const
{
    const VtValue* stored = GetFieldValue(path, fieldName);
    if (!stored) {
        return false;
    }
    return value ? value->StoreValue(*stored) : true;
}

bool SyncData::Has(const SdfPath& path, const TfToken& fieldName,
                   VtValue* value) const
{
    const VtValue* stored = GetFieldValue(path, fieldName);
    if (!stored) {
        return false;
    }
    if (value && value != stored) {
        *value = *stored;
    }
    return true;
}

bool SyncData::HasSpecAndField(const SdfPath& path, const TfToken& fieldName,
                               SdfAbstractDataValue* value,
                               SdfSpecType* specType) const
{
    const VtValue* stored = GetSpecTypeAndFieldValue(path, fieldName, specType);
    if (!stored) {
        return false;
    }
    return value ? value->StoreValue(*stored) : true;
}

bool SyncData::HasSpecAndField(const SdfPath& path, const TfToken& fieldName,
                               VtValue* value, SdfSpecType* specType) const
{
    const VtValue* stored = GetSpecTypeAndFieldValue(path, fieldName, specType);
    if (!stored) {
        return false;
    }
    if (value && value != stored) {
        *value = *stored;
    }
    return true;
}

VtValue SyncData::Get(const SdfPath& path, const TfToken& fieldName) const
{
    const VtValue* stored = GetFieldValue(path, fieldName);
    return stored ? *stored : VtValue();
}

void SyncData::Set(const SdfPath& path, const TfToken& fieldName,
                   const VtValue& value)
{
    if (value.IsEmpty()) {
        Erase(path, fieldName);
        return;
    }
    const bool debug = DebugEnabled();
    if (debug) {
        spdlog::debug("[SyncData::SetField] {} at {} => {}",
                      fieldName.GetText(), path.GetText(), TfStringify(value));
    }
    SyncDelta::FieldPlacement placement;
    SyncDelta::FieldSlot* slot;
    VtValue* stored = _GetOrCreateField(path, fieldName, &placement, &slot);
    // A list op's set carries the value it replaces, so that a receiver
    // can merge it with a concurrent edit of the same list.
    const bool withBase = !_muted && stored && IsListOpValue(value);
    VtValue base;
    if (withBase) {
        base = *stored;
    }
    if (stored && stored != &value) {
        *stored = value;
    }
    if (debug) {
        spdlog::debug("[SyncData::Set#1] Set field {} at {}",
                      fieldName.GetText(), path.GetText());
    }
    if (!_muted) {
        _delta->SetField(path, fieldName, value, placement, slot,
                         withBase ? &base : nullptr);
    }
}

void SyncData::Set(const SdfPath& path, const TfToken& fieldName,
                   const SdfAbstractDataConstValue& value)
{
    SyncDelta::FieldPlacement placement;
    SyncDelta::FieldSlot* slot;
    VtValue* stored = _GetOrCreateField(path, fieldName, &placement, &slot);
    if (!stored) {
        // Nothing was stored, so there is no value to name or to record;
        // the lookup has logged the error.
        return;
    }
    // The former value (shared, not copied) is the base of a list op.
    VtValue base = _muted ? VtValue() : *stored;
    value.GetValue(stored);
    if (DebugEnabled()) {
        spdlog::debug("[SyncData::Set#2] Set field {}@{} at {}",
                      fieldName.GetText(), stored->GetTypeName(),
                      path.GetText());
    }
    if (!_muted) {
        _delta->SetField(path, fieldName, *stored, placement, slot,
                         IsListOpValue(*stored) ? &base : nullptr);
    }
}

void SyncData::Erase(const SdfPath& path, const TfToken& fieldName)
{
    // Only a recording needs the erased field's slot.
    SyncDelta::FieldSlot slot;
    if (_EraseField(path, fieldName, _muted ? nullptr : &slot) && !_muted) {
        _delta->EraseField(path, fieldName, &slot);
    }
}

bool SyncData::_EraseField(const SdfPath& path, const TfToken& fieldName,
                           SyncDelta::FieldSlot* erasedSlot)
{
    auto specIt = _specs.find(path);
    if (specIt == _specs.end()) {
        return false;
    }
    auto& fields = specIt.value();
    auto fieldIt = FindField(fields, fieldName);
    if (fieldIt == fields.end()) {
        return false;
    }
    if (erasedSlot) {
        *erasedSlot = fieldIt->slot;
    }
    fields.erase(fieldIt);
    _NoteChanged(path);
    if (DebugEnabled()) {
        spdlog::debug("[SyncData::Erase] Erase field {} at {}",
                      fieldName.GetText(), path.GetText());
    }
    return true;
}

std::vector<TfToken> SyncData::List(const SdfPath& path) const
{
    std::vector<TfToken> names;
    auto it = _specs.find(path);
    if (it != _specs.end()) {
        names.reserve(it->second.size());
        for (const auto& field : it->second) {
            names.push_back(field.name);
        }
    }
    return names;
}

std::set<double> SyncData::ListAllTimeSamples() const
{
    spdlog::warn("[SyncData::ListAllTimeSamples] not implemented");
    return {};
}

std::set<double> SyncData::ListTimeSamplesForPath(const SdfPath&) const
{
    spdlog::warn("[SyncData::ListTimeSamplesForPath] not implemented");
    return {};
}

bool SyncData::GetBracketingTimeSamples(double, double*, double*) const
{
    return false;
}

size_t SyncData::GetNumTimeSamplesForPath(const SdfPath&) const
{
    return 0;
}

bool SyncData::GetBracketingTimeSamplesForPath(const SdfPath&, double, double*,
                                               double*) const
{
    return false;
}

bool SyncData::QueryTimeSample(const SdfPath&, double, VtValue*) const
{
    return false;
}

bool SyncData::QueryTimeSample(const SdfPath&, double,
                               SdfAbstractDataValue*) const
{
    spdlog::warn("[SyncData::QueryTimeSample] not implemented");
    return false;
}

void SyncData::SetTimeSample(const SdfPath&, double, const VtValue&)
{
    spdlog::warn("[SyncData::SetTimeSample] not implemented");
}

void SyncData::EraseTimeSample(const SdfPath&, double)
{
    spdlog::warn("[SyncData::EraseTimeSample] not implemented");
}

void SyncData::CreateNode(const SdfPath& path, SdfSpecType specType)
{
    CreateNode(path, static_cast<int32_t>(specType));
}

void SyncData::CreateNode(const SdfPath& path, int32_t specType)
{
    std::string error;
    if (!CheckNodePath(path, &error) ||
        !CheckSpecType(specType, path, &error)) {
        spdlog::error("{}", error);
        return;
    }
    _specs[path].SetType(static_cast<SdfSpecType>(specType));
    _NoteChanged(path);
}

void SyncData::SetField(const SdfPath& path, const TfToken& fieldName,
                        const VtValue& value)
{
    std::string error;
    if (!CheckNodePath(path, &error) ||
        !CheckFieldName(fieldName.GetString(), path, &error)) {
        spdlog::error("{}", error);
        return;
    }
    // Stringifying a large array is costly; only do it for a line that is
    // going to be printed.
    if (DebugEnabled()) {
        spdlog::debug("[SyncData::SetField] {} at {} => {}",
                      fieldName.GetText(), path.GetText(), TfStringify(value));
    }
    VtValue* stored = GetOrCreateFieldValue(path, fieldName);
    if (stored && stored != &value) {
        *stored = value;
    }
}

VtValue* SyncData::GetOrCreateFieldValue(const SdfPath& path,
                                         const TfToken& fieldName)
{
    SyncDelta::FieldPlacement placement;
    SyncDelta::FieldSlot* slot;
    return _GetOrCreateField(path, fieldName, &placement, &slot);
}

VtValue* SyncData::_GetOrCreateField(const SdfPath& path,
                                     const TfToken& fieldName,
                                     SyncDelta::FieldPlacement* placement,
                                     SyncDelta::FieldSlot** slot)
{
    auto specIt = _specs.find(path);
    if (specIt == _specs.end()) {
        spdlog::error("No spec at <{}> when trying to set field '{}'",
                      path.GetText(), fieldName.GetText());
        *placement = SyncDelta::FieldPlacement::Untracked;
        *slot = nullptr;
        return nullptr;
    }
    _NoteChanged(path);
    auto& fields = specIt.value();
    auto fieldIt = FindField(fields, fieldName);
    if (fieldIt != fields.end()) {
        *placement = fieldIt + 1 == fields.end()
                         ? SyncDelta::FieldPlacement::KeptLast
                         : SyncDelta::FieldPlacement::Kept;
        *slot = &fieldIt->slot;
        return &fieldIt->value;
    }
    fields.push_back(_Field{fieldName, VtValue(), {}});
    *placement = SyncDelta::FieldPlacement::Added;
    *slot = &fields.back().slot;
    return &fields.back().value;
}

const VtValue* SyncData::GetFieldValue(const SdfPath& path,
                                       const TfToken& fieldName) const
{
    auto specIt = _specs.find(path);
    if (specIt == _specs.end()) {
        return nullptr;
    }
    const auto& fields = specIt->second;
    auto fieldIt = FindField(fields, fieldName);
    return fieldIt == fields.end() ? nullptr : &fieldIt->value;
}

const VtValue* SyncData::GetSpecTypeAndFieldValue(const SdfPath& path,
                                                  const TfToken& fieldName,
                                                  SdfSpecType* specType) const
{
    auto specIt = _specs.find(path);
    if (specIt == _specs.end()) {
        if (specType) {
            *specType = SdfSpecTypeUnknown;
        }
        return nullptr;
    }
    if (specType) {
        *specType = specIt->second.GetType();
    }
    const auto& fields = specIt->second;
    auto fieldIt = FindField(fields, fieldName);
    return fieldIt == fields.end() ? nullptr : &fieldIt->value;
}

// A layer's store applies operations through its recording edits, so that
// they reach the layer's updates like local edits. A store that no layer
// owns has nobody to report them to: it applies them through the same
// edits with its recording muted, and so does not grow with what it is fed.
void SyncData::ApplySyncOp(const SyncOp& op)
{
    CheckedSyncOp checked;
    std::string error;
    if (!CheckSyncOp(op, &error, &checked)) {
        spdlog::error("{}", error);
        return;
    }
    ApplySyncOp(checked);
}

void SyncData::ApplySyncOp(const CheckedSyncOp& checked)
{
    const SyncRecordingMuteBlock muted(_ownedByLayer ? nullptr : this);
    const SdfPath& path = checked.path;
    switch (checked.type) {
    case SyncOp::CreateNode:
        CreateSpec(path, checked.specType);
        break;
    case SyncOp::SetField:
        // Never recorded: a received value is no local edit on any store.
        SetField(path, checked.fieldName, checked.fieldValue);
        break;
    case SyncOp::MoveNode:
        MoveSpec(checked.oldPath, path);
        break;
    case SyncOp::EraseNode:
        EraseSpec(path);
        break;
    case SyncOp::EraseField:
        Erase(path, checked.fieldName);
        break;
    }
}

void SyncData::ApplySyncOps(const SyncOpList& ops)
{
    SyncOpMerger merger(this, ops.size());
    for (const SyncOp& op : ops) {
        CheckedSyncOp checked;
        std::string error;
        if (!CheckSyncOp(op, &error, &checked)) {
            spdlog::error("{}", error);
            continue;
        }
        merger.Apply(checked);
    }
    merger.Finish();
}

bool SyncData::CheckSyncOp(const SyncOp& op, std::string* error,
                           CheckedSyncOp* checked)
{
    CheckedSyncOp local;
    CheckedSyncOp& out = checked ? *checked : local;
    if (!CheckOpType(op.opType, error) ||
        !CheckNodePath(op.nodePath, &out.path, error)) {
        return false;
    }
    out.type = op.opType;
    switch (op.opType) {
    case SyncOp::CreateNode:
        if (!CheckSpecType(op.nodeType, out.path, error)) {
            return false;
        }
        out.specType = static_cast<SdfSpecType>(op.nodeType);
        return true;
    case SyncOp::SetField:
        if (!CheckFieldName(op.fieldName, out.path, error) ||
            !CheckFieldValue(op.fieldValue, op.fieldName, out.path,
                             &out.fieldValue, error)) {
            return false;
        }
        out.fieldName = TfToken(op.fieldName);
        out.hasBase = op.hasBase;
        if (op.hasBase && (!CheckFieldValue(op.baseValue, op.fieldName,
                                            out.path, &out.baseValue, error) ||
                           !CheckFieldBase(out.fieldValue, out.baseValue,
                                           op.fieldName, out.path, error))) {
            return false;
        }
        return true;
    case SyncOp::MoveNode:
        return CheckNodePath(op.oldNodePath, &out.oldPath, error);
    case SyncOp::EraseField:
        if (!CheckFieldName(op.fieldName, out.path, error)) {
            return false;
        }
        out.fieldName = TfToken(op.fieldName);
        return true;
    default:
        return true;
    }
}

bool SyncData::CheckOpType(int64_t opType, std::string* error)
{
    if (opType < SyncOp::CreateNode || opType > SyncOp::EraseField) {
        return Refuse(error, "Invalid operation type {}", opType);
    }
    return true;
}

// Paths received from the remote side must name an absolute, well-formed
// location; anything else would give the layer a spec it cannot address.
// The text is checked before it is parsed: Sdf reports a malformed path
// text as an error of its own.
bool SyncData::CheckNodePath(const std::string& text, SdfPath* path,
                             std::string* error)
{
    if (!SdfPath::IsValidPathString(text)) {
        *path = SdfPath();
        return Refuse(error, "Invalid path '{}': not an absolute path", text);
    }
    *path = SdfPath(text);
    if (!CheckNodePath(*path, error)) {
        *path = SdfPath();
        return false;
    }
    return true;
}

bool SyncData::CheckNodePath(const SdfPath& path, std::string* error)
{
    if (!path.IsAbsolutePath()) {
        return Refuse(error, "Invalid path '{}': not an absolute path",
                      path.GetString());
    }
    return true;
}

// A number outside SdfSpecType is no spec type at all, not even an unknown
// one: it must not be cast to the enumeration.
bool SyncData::CheckSpecType(int64_t specType, const SdfPath& path,
                             std::string* error)
{
    if (specType < 0 || specType >= SdfNumSpecTypes) {
        return Refuse(error, "Invalid spec type {} at {}", specType,
                      path.GetString());
    }
    if (specType == SdfSpecTypeUnknown) {
        return Refuse(error, "Cannot create spec with unknown type at {}",
                      path.GetString());
    }
    return true;
}

bool SyncData::CheckFieldName(std::string_view fieldName, const SdfPath& path,
                              std::string* error)
{
    if (fieldName.empty()) {
        return Refuse(error, "Invalid field at {}: empty field name",
                      path.GetString());
    }
    return true;
}

bool SyncData::CheckFieldBase(const VtValue& value, const VtValue& base,
                              std::string_view fieldName, const SdfPath& path,
                              std::string* error)
{
    if (!IsListOpBase(value, base)) {
        return Refuse(error, "Invalid base of field {} at {}: not a list op",
                      fieldName, path.GetText());
    }
    return true;
}

bool SyncData::CheckFieldValue(const PackedData& packed,
                               std::string_view fieldName, const SdfPath& path,
                               VtValue* value, std::string* error)
{
    if (packed.empty()) {
        *value = VtValue();
        return true;
    }
    *value = ValueHandler::GetInstance().UnpackVtValue(packed);
    if (value->IsEmpty()) {
        return Refuse(error, "Invalid value of field {} at {}: does not unpack",
                      fieldName, path.GetString());
    }
    return true;
}

size_t SyncData::GetPendingOpCount() const
{
    return _delta->GetPendingCount();
}

void SyncData::_VisitSpecs(SdfAbstractDataSpecVisitor* visitor) const
{
    for (const auto& entry : _specs) {
        if (!visitor->VisitSpec(*this, entry.first)) {
            break;
        }
    }
}

SyncOpList SyncData::GetLayerUpdates(const SdfLayerRefPtr& layer)
{
    if (!layer) {
        spdlog::error("Invalid layer.");
        return {};
    }
    return GetLayerUpdates(*layer);
}

SyncOpList SyncData::GetLayerUpdates(const SdfLayer& layer)
{
    if (!dynamic_cast<const SyncFileFormat*>(
            get_pointer(layer.GetFileFormat()))) {
        spdlog::error("Layer is not using SyncFileFormat.");
        return {};
    }
    SyncDataPtr data = SyncFileFormat::GetData(layer);
    if (!data) {
        spdlog::error("Failed to get sync data");
        return {};
    }
    SyncOpList ops;
    data->GetDelta().SwapPendingOps(ops);
    return ops;
}

} // namespace vela
