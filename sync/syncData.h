//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SYNC_DATA_H
#define VELA_SYNC_SYNC_DATA_H

#include "sync/packedData.h"
#include "sync/seededPathHash.h"
#include "sync/specEntry.h"
#include "sync/syncDelta.h"
#include "sync/syncOp.h"

#include <pxr/usd/sdf/abstractData.h>
#include <pxr/usd/sdf/declareHandles.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/types.h>
#include <pxr/base/tf/declarePtrs.h>
#include <pxr/base/tf/pxrTslRobinMap/robin_map.h>
#include <pxr/base/tf/pxrTslRobinMap/robin_set.h>
#include <pxr/base/tf/token.h>
#include <pxr/base/vt/value.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vela {

using pxr::TfDeclarePtrs;

class SyncData;
TF_DECLARE_WEAK_AND_REF_PTRS(SyncData);

/// The in-memory content of a sync layer: specs keyed by path, each with
/// its type and its fields in the order they were first set.
///
/// The SdfAbstractData overrides are the path OpenUSD takes for local
/// edits: CreateSpec, EraseSpec, MoveSpec, Set and Erase change the store
/// and record one operation in the store's SyncDelta. CreateNode and
/// SetField change the store without recording; they are how content
/// received from the remote side is built. Trace lines go to spdlog's
/// default logger at debug level, failures at error level.
///
/// Records are for edits that a layer will report. A store that a layer
/// owns (made by SyncFileFormat, or NewForLayer) records every edit made
/// through the overrides, operations applied with ApplySyncOp included,
/// until GetLayerUpdates takes them out. A free-standing store (New) --
/// the replica a client keeps and feeds with received operations -- has
/// nobody to drain it: ApplySyncOp changes it without recording anything,
/// so it does not grow with what it is fed. It keeps only the pseudo-root's
/// CreateNode of its construction and whatever is recorded by calling its
/// overrides directly.
///
/// The store has no lock of its own: OpenUSD's rules for editing a layer
/// apply. Only the recorder's pending list is guarded.
class SyncData : public pxr::SdfAbstractData
{
public:
    /// A store holding only the pseudo-root. Its recorder already holds
    /// the pseudo-root's CreateNode ("/", node type 7).
    SyncData();

    /// A new free-standing store, as the constructor makes it, held by
    /// reference.
    static SyncDataRefPtr New();

    /// A new store for a layer: as New, but operations applied to it are
    /// recorded like local edits.
    static SyncDataRefPtr NewForLayer();

    /// A new store for a layer holding a copy of \p source's specs and
    /// fields (the values share what they hold; fields stored empty are
    /// left out), with nothing pending: what a layer is given when its
    /// content is replaced whole.
    static SyncDataRefPtr NewForLayer(const SyncData& source);

    /// Whether the store was made for a layer (NewForLayer).
    bool IsOwnedByLayer() const { return _ownedByLayer; }

    /// The number of specs, the pseudo-root's included.
    size_t GetSpecCount() const { return _specs.size(); }

    /// The number of specs that differ between this store and \p other:
    /// there in one only, of another type, or with fields that differ in
    /// name or value (their order aside; a field stored empty counts as
    /// missing, as it does to a layer). Stops counting past \p limit.
    size_t CountDifferingSpecs(const SyncData& other,
                               size_t limit = SIZE_MAX) const;

    /// A field that \p other holds otherwise: its value there, or an
    /// empty value where \p other has no such field.
    struct FieldDifference
    {
        pxr::SdfPath path;
        pxr::SdfSpecType specType;
        pxr::TfToken name;
        pxr::VtValue value;
    };

    /// As CountDifferingSpecs; when the stores hold the same specs with
    /// the same types and differ in fields only, also hands out every
    /// differing field in \p fields and sets \p fieldsOnly. Otherwise (or
    /// once counting stopped) \p fields is left empty and \p fieldsOnly
    /// false.
    size_t CountDifferingSpecs(const SyncData& other, size_t limit,
                               std::vector<FieldDifference>* fields,
                               bool* fieldsOnly) const;

    /// Whether the store tells OpenUSD that it streams its data. A layer
    /// whose content is replaced whole sets it on the store it gives up, so
    /// that OpenUSD swaps the new store in with one notice that the
    /// layer's content was replaced, instead of editing the old store into
    /// agreement spec by spec.
    void SetReportsStreaming(bool streaming) { _reportsStreaming = streaming; }

    // SdfAbstractData overrides, in the base class's order.

    /// Destroys the recorder (pending operations are discarded), then the
    /// specs.
    ~SyncData() override;

    /// False: the store keeps all of its content in memory. True only
    /// while SetReportsStreaming says so.
    bool StreamsData() const override;

    /// Logs "[SyncData::CreateSpec] Create spec at {} [specType={}]",
    /// records a CreateNode, then creates the spec as CreateNode does. The
    /// record is made even for a path or type the store refuses
    /// (SdfSpecTypeUnknown, say).
    void CreateSpec(const pxr::SdfPath& path,
                    pxr::SdfSpecType specType) override;

    bool HasSpec(const pxr::SdfPath& path) const override;

    /// Removes the one spec at \p path (specs below it stay), logs
    /// "[SyncData::EraseSpec] Erase spec at {}" and records an EraseNode.
    /// A missing spec logs "No spec to erase at {}" and records nothing.
    void EraseSpec(const pxr::SdfPath& path) override;

    /// Moves the one spec at \p oldPath (type and fields) to \p newPath and
    /// records a MoveNode; specs below \p oldPath stay where they are. A
    /// missing source logs "No spec to move at {}"; an occupied destination
    /// changes nothing silently. Neither records anything.
    void MoveSpec(const pxr::SdfPath& oldPath,
                  const pxr::SdfPath& newPath) override;

    /// The spec's type, or SdfSpecTypeUnknown when there is no spec.
    pxr::SdfSpecType GetSpecType(const pxr::SdfPath& path) const override;

    bool Has(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
             pxr::SdfAbstractDataValue* value) const override;

    bool Has(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
             pxr::VtValue* value = nullptr) const override;

    bool HasSpecAndField(const pxr::SdfPath& path,
                         const pxr::TfToken& fieldName,
                         pxr::SdfAbstractDataValue* value,
                         pxr::SdfSpecType* specType) const override;

    bool HasSpecAndField(const pxr::SdfPath& path,
                         const pxr::TfToken& fieldName, pxr::VtValue* value,
                         pxr::SdfSpecType* specType) const override;

    /// A copy of the stored value, or an empty VtValue.
    pxr::VtValue Get(const pxr::SdfPath& path,
                     const pxr::TfToken& fieldName) const override;

    /// Stores \p value and records a SetField carrying it (packed when the
    /// updates are taken out); a pending set of the same field may be
    /// superseded (see SyncDelta). An empty value is handed to Erase
    /// instead. The record is made even when there is no spec at \p path,
    /// after the error line of the lookup.
    void Set(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
             const pxr::VtValue& value) override;

    /// Stores the typed \p value and records a SetField carrying the value
    /// as stored. On a path without a spec only the lookup's error line is
    /// logged; nothing is stored or recorded.
    void Set(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
             const pxr::SdfAbstractDataConstValue& value) override;

    /// Removes the field, logs "[SyncData::Erase] Erase field {} at {}"
    /// and records an EraseField. A missing spec or field is silently
    /// ignored.
    void Erase(const pxr::SdfPath& path,
               const pxr::TfToken& fieldName) override;

    /// The spec's field names in stored order; empty when there is no spec.
    std::vector<pxr::TfToken> List(const pxr::SdfPath& path) const override;

    // The store keeps no time samples. ListAllTimeSamples,
    // ListTimeSamplesForPath, the SdfAbstractDataValue form of
    // QueryTimeSample, SetTimeSample and EraseTimeSample log
    // "[SyncData::<name>] not implemented" at warning level; none records.

    std::set<double> ListAllTimeSamples() const override;

    std::set<double>
    ListTimeSamplesForPath(const pxr::SdfPath& path) const override;

    bool GetBracketingTimeSamples(double time, double* tLower,
                                  double* tUpper) const override;

    size_t GetNumTimeSamplesForPath(const pxr::SdfPath& path) const override;

    bool GetBracketingTimeSamplesForPath(const pxr::SdfPath& path, double time,
                                         double* tLower,
                                         double* tUpper) const override;

    bool QueryTimeSample(const pxr::SdfPath& path, double time,
                         pxr::VtValue* optionalValue = nullptr) const override;

    bool
    QueryTimeSample(const pxr::SdfPath& path, double time,
                    pxr::SdfAbstractDataValue* optionalValue) const override;

    void SetTimeSample(const pxr::SdfPath& path, double time,
                       const pxr::VtValue& value) override;

    void EraseTimeSample(const pxr::SdfPath& path, double time) override;

    // Non-recording edits and direct access.

    /// Creates the spec at \p path, or changes the type of an existing one
    /// (its fields stay), without recording. A path that is not absolute
    /// or a type CheckSpecType refuses (SdfSpecTypeUnknown among them)
    /// logs the check's error line and changes nothing.
    void CreateNode(const pxr::SdfPath& path, pxr::SdfSpecType specType);

    /// As above, for a spec type given as a number, as it arrives from a
    /// peer or from Python: it is checked before it becomes an SdfSpecType.
    void CreateNode(const pxr::SdfPath& path, int32_t specType);

    /// Stores \p value without recording; an empty value is stored as
    /// such. Logs "[SyncData::SetField] {} at {} => {}" at debug level (the
    /// value is stringified only when that level is enabled). A path that
    /// is not absolute or an empty field name logs the check's error line
    /// and changes nothing.
    void SetField(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
                  const pxr::VtValue& value);

    /// Writable access to the stored value, the field appended empty if it
    /// is missing. Without a spec it logs "No spec at <{}> when trying to
    /// set field '{}'" and returns null.
    pxr::VtValue* GetOrCreateFieldValue(const pxr::SdfPath& path,
                                        const pxr::TfToken& fieldName);

    /// Calls \p fn(name, value) for every field of the spec at \p path, in
    /// stored order, until it returns false. Nothing without a spec.
    template <class Fn>
    void ForEachField(const pxr::SdfPath& path, Fn&& fn) const
    {
        auto it = _specs.find(path);
        if (it == _specs.end()) {
            return;
        }
        for (const auto& field : it->second) {
            if (!fn(field.name, field.value)) {
                return;
            }
        }
    }

    /// Read-only access to the stored value, or null.
    const pxr::VtValue* GetFieldValue(const pxr::SdfPath& path,
                                      const pxr::TfToken& fieldName) const;

    /// As GetFieldValue; also sets \p specType to the spec's type, or to
    /// SdfSpecTypeUnknown when there is no spec.
    const pxr::VtValue*
    GetSpecTypeAndFieldValue(const pxr::SdfPath& path,
                             const pxr::TfToken& fieldName,
                             pxr::SdfSpecType* specType) const;

    /// Applies one received operation, after CheckSyncOp: an operation it
    /// refuses logs the check's message at error level and changes
    /// nothing. SetField goes through SetField with the unpacked value and
    /// is never recorded. CreateNode, MoveNode, EraseNode and EraseField go
    /// through CreateSpec, MoveSpec, EraseSpec and Erase: on a store owned
    /// by a layer they are recorded like local edits; a free-standing store
    /// makes them inside a SyncRecordingMuteBlock, so that they change it
    /// (and log the same failures and trace lines) without being recorded.
    void ApplySyncOp(const SyncOp& op);

    // The checks every received operation passes before it changes a
    // store: ApplySyncOp, the frame decoder (once per distinct operand)
    // and the Python bindings all use these, so that every path refuses
    // the same operations with the same messages. Each returns true when
    // the operand is acceptable; otherwise false with \p error, if given,
    // set to the message (logged by whoever applies).

    /// The operands of a checked operation as a store takes them.
    struct CheckedSyncOp
    {
        SyncOp::SyncOpType type = SyncOp::CreateNode;
        pxr::SdfPath path;
        pxr::SdfPath oldPath; // MoveNode
        pxr::SdfSpecType specType = pxr::SdfSpecTypeUnknown; // CreateNode
        pxr::TfToken fieldName; // SetField, EraseField
        pxr::VtValue fieldValue; // SetField
        bool hasBase = false; // SetField of a list op, with its base
        pxr::VtValue baseValue; // empty: the field did not exist
    };

    /// Checks the operation's type, then its operands in their order:
    /// node path, old path (MoveNode), spec type (CreateNode), field name
    /// (SetField, EraseField) and value (SetField). Fills \p checked, if
    /// given, with the parsed operands.
    static bool CheckSyncOp(const SyncOp& op, std::string* error,
                            CheckedSyncOp* checked = nullptr);

    /// ApplySyncOp for an operation that CheckSyncOp has passed, with the
    /// operands it parsed.
    void ApplySyncOp(const CheckedSyncOp& checked);

    /// Applies a received list of operations as one frame, through a
    /// SyncOpMerger: its structure edits merge with the concurrent ones
    /// already applied (see SyncOpMerger). An operation CheckSyncOp refuses
    /// logs the check's message at error level and is left out; the rest
    /// still apply.
    void ApplySyncOps(const SyncOpList& ops);

    /// A type outside SyncOpType: "Invalid operation type {}".
    static bool CheckOpType(int64_t opType, std::string* error);

    /// A node path must be an absolute Sdf path: "Invalid path '{}': not an
    /// absolute path" otherwise. The text form also parses it into \p path,
    /// left empty when refused.
    static bool CheckNodePath(const std::string& text, pxr::SdfPath* path,
                              std::string* error);
    static bool CheckNodePath(const pxr::SdfPath& path, std::string* error);

    /// A spec type must be one Sdf knows: a number outside SdfSpecType is
    /// "Invalid spec type {} at {}", SdfSpecTypeUnknown "Cannot create
    /// spec with unknown type at {}". Sdf indexes its per-type tables by
    /// it, so nothing else may reach a layer.
    static bool CheckSpecType(int64_t specType, const pxr::SdfPath& path,
                              std::string* error);

    /// A field needs a name: "Invalid field at {}: empty field name".
    static bool CheckFieldName(std::string_view fieldName,
                               const pxr::SdfPath& path, std::string* error);

    /// A packed value must unpack, into \p value: "Invalid value of field
    /// {} at {}: does not unpack" otherwise (after the value handler's own
    /// error line). Zero bytes stand for the empty value.
    static bool CheckFieldValue(const PackedData& packed,
                                std::string_view fieldName,
                                const pxr::SdfPath& path, pxr::VtValue* value,
                                std::string* error);

    /// A base (the value a SetField replaced) travels only with a list-op
    /// value and must itself be a list op or empty: "Invalid base of field
    /// {} at {}: not a list op" otherwise.
    static bool CheckFieldBase(const pxr::VtValue& value,
                               const pxr::VtValue& base,
                               std::string_view fieldName,
                               const pxr::SdfPath& path, std::string* error);

    /// While muted, edits change the store without being recorded. A
    /// layer's refresh mutes its store: the edits OpenUSD makes to bring
    /// the layer into agreement with received content are not local
    /// changes, and recording them only to discard them costs as much as
    /// the edits themselves. Not for use while other threads edit; callers
    /// mute through a SyncRecordingMuteBlock, which unmutes however the
    /// block is left.
    void SetRecordingMuted(bool muted);

    /// Whether recording is muted.
    bool IsRecordingMuted() const { return _muted; }

    // Change tracking: which specs changed since the store last brought a
    // layer into agreement, so that the layer's next refresh looks at those
    // alone (SyncFileFormat::RefreshChangedData).

    /// A set of spec paths.
    using PathSet = pxr::pxr_tsl::robin_set<pxr::SdfPath, SeededPathHash>;

    /// The paths of the specs created, erased, moved (both paths) or whose
    /// fields were set or erased since ClearChangedPaths. Every edit counts,
    /// recorded or not, except the muted ones of a store a layer owns: those
    /// are the layer's refresh, not changes to its content. Once more paths
    /// changed than max(256, specs / 8) the set is dropped and
    /// HasChangedPathsOverflowed says so: a late joiner's first frames change
    /// everything and are not worth a set of their own.
    const PathSet& GetChangedPaths() const { return _changedPaths; }

    /// Whether the changes passed the threshold and were no longer recorded.
    bool HasChangedPathsOverflowed() const { return _changedPathsOverflowed; }

    /// Starts a new record of changes, empty. \p refreshedStore is the
    /// store on the other side of the refresh that made the two agree (for
    /// a received store, the layer's store it refreshed; for a layer's
    /// store, the store it was refreshed from), null for none: the record
    /// says what changed since then.
    void ClearChangedPaths(const SyncDataPtr& refreshedStore = SyncDataPtr());

    /// The store given to the last ClearChangedPaths, or null once that
    /// store is gone.
    const SyncDataPtr& GetRefreshedStore() const { return _refreshedStore; }

    /// The recorder of this store's local edits.
    SyncDelta& GetDelta() { return *_delta; }

    /// The number of operations pending in the recorder.
    size_t GetPendingOpCount() const;

    /// Takes every pending operation out of the layer's recorder, in
    /// recording order, leaving it empty. A null handle logs "Invalid
    /// layer." and yields an empty list.
    static SyncOpList GetLayerUpdates(const pxr::SdfLayerRefPtr& layer);

    /// As above, for a layer. A layer of another format logs "Layer is not
    /// using SyncFileFormat."; one without live SyncData logs "Failed to
    /// get sync data". Both yield an empty list and change nothing.
    static SyncOpList GetLayerUpdates(const pxr::SdfLayer& layer);

protected:
    void _VisitSpecs(pxr::SdfAbstractDataSpecVisitor* visitor) const override;

private:
    // A field, and the recorder's handle on its pending records.
    struct _Field
    {
        pxr::TfToken name;
        pxr::VtValue value;
        SyncDelta::FieldSlot slot;
    };

    using SpecData = SpecEntry<_Field>;

    // GetOrCreateFieldValue, also telling where the field sits in its
    // spec's field list (Untracked when there is no spec) and giving its
    // slot.
    pxr::VtValue* _GetOrCreateField(const pxr::SdfPath& path,
                                    const pxr::TfToken& fieldName,
                                    SyncDelta::FieldPlacement* placement,
                                    SyncDelta::FieldSlot** slot);

    // Adds \p path to the changed paths, or drops the set once too many
    // paths changed.
    void _NoteChanged(const pxr::SdfPath& path);

    // The changes of EraseSpec, MoveSpec and Erase, with their log lines,
    // without recording; true when the store changed.
    bool _EraseSpec(const pxr::SdfPath& path);
    bool _MoveSpec(const pxr::SdfPath& oldPath, const pxr::SdfPath& newPath);
    // _EraseField also hands out the erased field's slot.
    bool _EraseField(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
                     SyncDelta::FieldSlot* erasedSlot = nullptr);

    // Open addressing keeps the specs in one array: with the recorder
    // allocating beside it, a node-based map would scatter them. A bucket
    // is 24 bytes: the path, a word for the spec, and the table's own.
    using _SpecMap =
        pxr::pxr_tsl::robin_map<pxr::SdfPath, SpecData, SeededPathHash>;

    // Stores of at least this many specs are freed on a worker thread.
    static constexpr size_t _AsyncDestroyMinSpecs = 4096;

    // The changed paths are recorded up to max(_ChangedPathsMinimum,
    // specs / _ChangedPathsShare) of them.
    static constexpr size_t _ChangedPathsMinimum = 256;
    static constexpr size_t _ChangedPathsShare = 8;
    // A record of changed paths up to this many buckets is emptied in
    // place when cleared.
    static constexpr size_t _ChangedPathsKeptBuckets = 512;

    // Declared in this order so that the recorder goes first on destruction.
    _SpecMap _specs;
    std::unique_ptr<SyncDelta> _delta;
    bool _ownedByLayer = false;
    bool _muted = false;
    bool _reportsStreaming = false;
    PathSet _changedPaths;
    SyncDataPtr _refreshedStore;
    bool _changedPathsOverflowed = false;
};

} // namespace vela

#endif // VELA_SYNC_SYNC_DATA_H
