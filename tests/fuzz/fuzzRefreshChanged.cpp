// A byte stream read as operations from a peer (see opStream.h), applied to
// a store in batches; operations of unknown type end a batch, and kinds
// 1 and 4 with the high bit set are local edits of the first layer instead
// (a field set or erased through the layer's API).
//
// After every batch the first layer is refreshed from the store's changes
// alone (SyncFileFormat::RefreshChangedData), the second in full
// (RefreshData). Checked: when the full refresh takes the store, both
// layers hold the same specs and fields and nothing is left pending in
// either; when it refuses it, the first layer is left as it was, its local
// edits still pending as before (a refused refresh drops no edit a peer has
// yet to hear of), and nothing is pending in the second. Either way neither
// refresh is echoed into the updates.

#include "sync/specChildren.h"
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "tests/fuzz/fuzzSupport.h"
#include "tests/fuzz/opStream.h"

#include "sync/valueHandler.h"

#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/base/tf/errorMark.h>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace pxr;

namespace {

SdfLayerRefPtr& Layer(int which)
{
    static SdfLayerRefPtr layers[2] = {
        SdfLayer::CreateAnonymous("changed.vela"),
        SdfLayer::CreateAnonymous("full.vela")};
    return layers[which];
}

// A field edit made on the layer itself, as a local user would: only on a
// spec the layer holds, never of a children field (Sdf's own spec API
// keeps those).
void EditLocally(const vela_fuzz::StreamOp& in, const SdfLayerHandle& layer)
{
    SdfPath path;
    const TfToken field(in.field);
    if (!vela::SyncData::CheckNodePath(in.path, &path, nullptr) ||
        field.IsEmpty() || !layer->HasSpec(path) ||
        vela::IsSpecChildrenField(field)) {
        return;
    }
    if (in.kind % 8 == vela_fuzz::ApplyEraseField) {
        layer->EraseField(path, field);
        return;
    }
    const uint8_t code = in.value.empty() ? 0 : in.value[0];
    const bool array = in.value.size() > 1 && (in.value[1] & 1);
    const VtValue value = vela::ValueHandler::GetInstance().UnpackVtValue(
        vela::PackedData(code, array, in.value));
    if (!value.IsEmpty()) {
        layer->SetField(path, field, value);
    }
}

void RefreshBoth(const vela::SyncDataRefPtr& store)
{
    SdfLayerRefPtr changed = Layer(0);
    SdfLayerRefPtr full = Layer(1);
    const auto before = vela_fuzz::Content(*SyncFileFormat::GetData(*changed));
    // The local edits since the last refresh that took the store.
    const size_t pending =
        SyncFileFormat::GetData(*changed)->GetPendingOpCount();
    SyncFileFormat::RefreshChangedData(changed, store);
    SyncFileFormat::RefreshData(full, store);
    const vela::SyncData& mine = *SyncFileFormat::GetData(*changed);
    const vela::SyncData& theirs = *SyncFileFormat::GetData(*full);
    const bool taken = vela_fuzz::SameContent(theirs, *store);
    if (taken ? !vela_fuzz::SameContent(mine, theirs)
              : vela_fuzz::Content(mine) != before) {
        vela_fuzz::PrintContent("store", *store);
        vela_fuzz::PrintContent("refreshed from changes", mine);
        vela_fuzz::PrintContent("refreshed in full", theirs);
        vela_fuzz::Check(false, taken ? "both refreshes give the same layer"
                                      : "a refused refresh leaves the layer");
    }
    // A refresh that takes the store drops what was pending; one that
    // refuses it makes no edit, so it keeps the local edits and adds none.
    vela_fuzz::Check(mine.GetPendingOpCount() == (taken ? 0 : pending) &&
                         vela::SyncData::GetLayerUpdates(full).empty(),
                     "a refresh is not echoed into the layer updates");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vela_fuzz::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TfErrorMark mark;
    for (int which : {0, 1}) {
        vela_fuzz::Check(Layer(which), "the sync layers exist");
        SyncFileFormat::ResetData(Layer(which));
        vela::SyncData::GetLayerUpdates(Layer(which));
    }
    vela::SyncDataRefPtr store = vela::SyncData::New();
    vela_fuzz::OpStreamReader reader(data, size);
    vela_fuzz::StreamOp op;
    while (reader.Next(&op)) {
        const int kind = op.kind % 8;
        if ((op.kind & 0x80) && (kind == vela_fuzz::ApplySet ||
                                 kind == vela_fuzz::ApplyEraseField)) {
            EditLocally(op, Layer(0));
            continue;
        }
        vela_fuzz::Apply(op, *store);
        if (kind == vela_fuzz::UnknownType) {
            RefreshBoth(store);
        }
    }
    RefreshBoth(store);
    mark.Clear();
    return 0;
}
