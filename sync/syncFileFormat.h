//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SYNC_FILE_FORMAT_H
#define VELA_SYNC_SYNC_FILE_FORMAT_H

#include "sync/syncData.h"

#include <pxr/pxr.h>
#include <pxr/usd/sdf/abstractData.h>
#include <pxr/usd/sdf/declareHandles.h>
#include <pxr/usd/sdf/fileFormat.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/base/tf/declarePtrs.h>
#include <pxr/base/tf/staticTokens.h>

#include <string>
#include <vector>

PXR_NAMESPACE_OPEN_SCOPE

#define VELA_SYNC_FILE_FORMAT_TOKENS \
    ((Id, "vela"))((Version, "1.0"))((Target, "usd"))((Extension, "vela"))

TF_DECLARE_PUBLIC_TOKENS(VelaSyncFileFormatTokens,
                         VELA_SYNC_FILE_FORMAT_TOKENS);

TF_DECLARE_WEAK_AND_REF_PTRS(SyncFileFormat);

/// The layer file format whose layers keep their content in a
/// vela::SyncData instead of a file (format id and extension "vela",
/// target "usd").
///
/// Nothing is ever read from or written to disk: a layer of this format is
/// filled by edits and by the operations the client applies. The static
/// entry points let the client reach a layer's data and replace it.
class SyncFileFormat : public SdfFileFormat
{
public:
    /// A new vela::SyncData holding the pseudo-root; the arguments are
    /// ignored.
    SdfAbstractDataRefPtr
    InitData(const FileFormatArguments& args) const override;

    /// False for every path, the format's own extension included.
    bool CanRead(const std::string& file) const override;

    /// Reads nothing: logs "SyncFileFormat doesn't support read from file"
    /// at info level and returns false.
    bool Read(SdfLayer* layer, const std::string& resolvedPath,
              bool metadataOnly) const override;

    /// The layer as .usda text, as the usda format writes any layer: a sync
    /// layer exports like every other one, although it is never read back
    /// as a sync layer.
    bool WriteToString(const SdfLayer& layer, std::string* str,
                       const std::string& comment) const override;

    /// One spec as .usda text, as the usda format writes it.
    bool WriteToStream(const SdfSpecHandle& spec, std::ostream& out,
                       size_t indent) const override;

    /// Refuses with an error that says sync layers live in memory and names
    /// the formats to export to: saving or exporting to a .vela path
    /// (SdfLayer's Save, Export and CreateNew) writes nothing. Exports to
    /// .usda, .usdc and .usd go through their own formats.
    bool WriteToFile(const SdfLayer& layer, const std::string& filePath,
                     const std::string& comment,
                     const FileFormatArguments& args) const override;

    /// A weak pointer to the layer's vela::SyncData. When the layer's data
    /// is not a SyncData (another format) or has expired, logs
    /// "SyncFileFormat::GetData: layer {} has no SyncData" with the
    /// layer's identifier and returns the null pointer.
    static vela::SyncDataPtr GetData(const SdfLayer& layer);

    /// Installs \p data as the layer's content, then discards every
    /// operation pending in the layer's SyncData, so the refresh is never
    /// echoed back in the layer updates. Operations pending before the
    /// refresh are dropped as well. A null layer or data changes nothing.
    ///
    /// OpenUSD trusts a layer's data, so data it could not hold is refused
    /// with an error line and the layer left as it was: data without the
    /// pseudo-root (a peer's EraseNode of "/" leaves it so), a spec whose type
    /// does not fit its path (a target or connection without the
    /// relationship or attribute spec that owns it) or that the layer's
    /// schema does not define (mappers, expressions), or a children field
    /// that is of the wrong type or names a spec that is not there (as a
    /// lost or forged operation from a peer can leave it).
    ///
    /// A refresh that is not refused clears the layer's record of local
    /// edits and \p data's record of changed specs, and \p data remembers
    /// this layer as the one it refreshed, unless it remembers another that
    /// is still alive (see RefreshChangedData).
    ///
    /// When both the layer's data and \p data are vela::SyncData, the
    /// refresh is sized first. Content the layer holds already changes
    /// nothing (pending operations are still dropped). A refresh that
    /// creates, erases or changes at least half of the specs (and at least
    /// 256 of them) gives the layer a copy of \p data in one step, which
    /// OpenUSD reports as the layer's content replaced. One that only sets
    /// or erases fields (no required field, no time samples) makes those
    /// edits through the layer, with fine-grained notices, and checks only
    /// the children fields among them, the rest of the content being what
    /// the layer holds already. Any other goes through OpenUSD's own
    /// spec-by-spec edit of the layer's data. Either way the layer keeps
    /// its identity and format, never shares \p data, and records its later
    /// local edits.
    static void RefreshData(const SdfLayerHandle& layer,
                            const SdfAbstractDataRefPtr& data);

    /// Brings the layer into agreement with \p data as RefreshData does,
    /// looking only at the specs that changed since \p data last refreshed
    /// this layer (vela::SyncData::GetChangedPaths) and at those edited on
    /// the layer since (its own store's record), then clears both records.
    /// The cost is that of the changed specs and their fields, whatever the
    /// layer's size.
    ///
    /// The changed specs are checked as RefreshData checks every spec (their
    /// types fit their paths, their children fields name specs that exist,
    /// a removed spec is named by no children field): inconsistent data is
    /// refused with RefreshData's error line, the layer unchanged. Edits go
    /// through Sdf's own API in one change block, so that OpenUSD reports
    /// each changed path on its own: fields are set and erased, prims,
    /// properties, variant sets and variants made through their schema
    /// classes (an attribute whose value type changed is made anew) and
    /// removed through their owners, children fields set to the data's
    /// afterwards. Changes the layer holds already make no edit at all.
    /// Pending operations are discarded, as RefreshData discards them.
    ///
    /// Falls back to RefreshData (which clears the records too) when there
    /// is no usable record: \p data is no vela::SyncData, last refreshed
    /// another layer or none, or recorded too many changes; the layer was
    /// edited too much; more than an eighth of the layer changed (and more
    /// than 256 specs); or an edit is one the schema API cannot make (target
    /// and connection specs, a spec whose owner is not there). A debug line
    /// says why.
    static void RefreshChangedData(const SdfLayerHandle& layer,
                                   const SdfAbstractDataRefPtr& data);

    /// Replaces the layer's content by a fresh vela::SyncData holding only
    /// the pseudo-root and discards the pending operations; the
    /// pseudo-root's CreateNode is recorded afterwards and stays pending.
    static void ResetData(const SdfLayerHandle& layer);

protected:
    SDF_FILE_FORMAT_FACTORY_ACCESS;

    SyncFileFormat();
    ~SyncFileFormat() override;

private:
    // Below this many specs to create, erase or change, a refresh edits
    // the layer's data in place even when that is most of the layer.
    static constexpr size_t _WholesaleMinimum = 256;

    // How a refresh brings a layer into agreement with the incoming data.
    enum class _RefreshRoute
    {
        Unchanged, // the layer holds that content already
        Whole, // a copy of the data replaces the layer's store
        Fields, // fields are set and erased through the layer
        Specs, // Sdf edits the layer's data spec by spec
    };

    // Sizes a refresh of \p layer with \p data and picks its route. The
    // Fields route hands out the fields to set and erase in \p changes;
    // every other route leaves it empty.
    static _RefreshRoute
    _ChooseRefreshRoute(const SdfLayer& layer, const SdfAbstractData& data,
                        std::vector<vela::SyncData::FieldDifference>* changes);

    // Lets Sdf bring the layer's data into agreement with \p data, its own
    // spec-by-spec way, unrecorded, and leaves nothing pending.
    static void _EditSpecs(const SdfLayerHandle& layer,
                           const vela::SyncDataPtr& own,
                           const SdfAbstractDataRefPtr& data);

    // Whether the layer may be brought into agreement by setting and
    // erasing these fields through its API, as Sdf would.
    static bool _AreFieldEditsSafe(
        const SdfLayer& layer,
        const std::vector<vela::SyncData::FieldDifference>& changes);

    // Sets and erases the fields on the layer, unrecorded, in one change
    // block, and leaves nothing pending.
    static void
    _EditFields(const SdfLayerHandle& layer, const vela::SyncDataPtr& own,
                const std::vector<vela::SyncData::FieldDifference>& changes);

    // Gives the layer a copy of \p incoming in place of \p own, its
    // current store, and leaves nothing pending.
    static void _ReplaceData(const SdfLayerHandle& layer,
                             const vela::SyncDataPtr& own,
                             const vela::SyncData& incoming);

    // Above max(_WholesaleMinimum, specs / _ChangedShareLimit) changed
    // specs, an incremental refresh costs about what a full one does.
    static constexpr size_t _ChangedShareLimit = 8;

    // Why the records of \p current, the layer's store, and \p incoming
    // cannot drive an incremental refresh; "" when they can.
    static std::string _FindChangeRecordProblem(const SdfLayer& layer,
                                                const vela::SyncData* current,
                                                const vela::SyncData* incoming);

    // After a refresh that brought the layer into agreement with \p data:
    // clears the layer store's record and, unless \p data keeps one for
    // another layer's store, \p data's, which then describes changes since
    // this layer's refresh.
    static void _NoteRefreshed(const SdfLayer& layer,
                               const SdfAbstractDataRefPtr& data);
    // The same, given the layer's store and the data's.
    static void _NoteRefreshed(vela::SyncData* own, vela::SyncData* incoming);

    // Swaps out and drops the layer's pending operations; returns the
    // layer's SyncData, or null (GetData has logged) when there is none.
    static vela::SyncDataPtr _DiscardPendingOps(const SdfLayer& layer);
};

PXR_NAMESPACE_CLOSE_SCOPE

#endif // VELA_SYNC_SYNC_FILE_FORMAT_H
