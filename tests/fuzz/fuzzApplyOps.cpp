// A byte stream read as operations from a peer -> SyncData, then
// SyncFileFormat::RefreshData into a sync layer and an export of that layer
// to .usda text.
//
// Stream format (see opStream.h): each operation is a kind byte and its
// fields; paths and field names are short literals or picks from tables of
// names OpenUSD knows, values are packed bytes with a 16-bit length.
//
// Checked after every stream: a refresh never echoes into the layer
// updates; the layer holds exactly the store's specs and fields (refresh
// accepted) or its own earlier content (refused); the layer can be written
// out as text.

#include "sync/syncData.h"
#include "sync/syncFileFormat.h"
#include "tests/fuzz/fuzzSupport.h"
#include "tests/fuzz/opStream.h"

#include <pxr/usd/sdf/layer.h>
#include <pxr/base/tf/errorMark.h>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace pxr;

namespace {

// The layers live across inputs; every input starts from a reset layer.
SdfLayerRefPtr& SyncLayer()
{
    static SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("fuzz.vela");
    return layer;
}

SdfLayerRefPtr& TextLayer()
{
    static SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("fuzz.usda");
    return layer;
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
    SdfLayerRefPtr layer = SyncLayer();
    vela_fuzz::Check(layer, "the sync layer exists");
    SyncFileFormat::ResetData(layer);
    vela::SyncData::GetLayerUpdates(layer);

    vela::SyncDataRefPtr store = vela::SyncData::New();
    vela_fuzz::OpStreamReader reader(data, size);
    vela_fuzz::StreamOp op;
    while (reader.Next(&op)) {
        vela_fuzz::Apply(op, *store);
    }

    SyncFileFormat::RefreshData(layer, store);
    vela_fuzz::Check(vela::SyncData::GetLayerUpdates(layer).empty(),
                     "a refresh is not echoed into the layer updates");

    // Refused data leaves the layer as the reset left it.
    vela::SyncDataPtr held = SyncFileFormat::GetData(*layer);
    vela_fuzz::Check(held, "the layer keeps its SyncData");
    if (!vela_fuzz::SameContent(*held, *store) &&
        !vela_fuzz::SameContent(*held, *vela::SyncData::New())) {
        vela_fuzz::PrintContent("store", *store);
        vela_fuzz::PrintContent("layer", *held);
        vela_fuzz::Check(false, "the layer holds the store's content or its own");
    }

    std::string text;
    layer->ExportToString(&text);
    SdfLayerRefPtr textLayer = TextLayer();
    textLayer->TransferContent(layer);
    vela_fuzz::Check(textLayer->ExportToString(&text),
                     "the refreshed layer exports to text");
    mark.Clear();
    return 0;
}
