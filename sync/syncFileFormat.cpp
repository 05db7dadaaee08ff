//
// Copyright 2026 vela contributors
//
#include "sync/syncFileFormat.h"

#include <pxr/sdf/path.h>
#include <pxr/tf/registryManager.h>
#include <pxr/tf/type.h>

#include <spdlog/spdlog.h>

SDF_NAMESPACE_OPEN_SCOPE

TF_DEFINE_PUBLIC_TOKENS(VelaSyncFileFormatTokens, VELA_SYNC_FILE_FORMAT_TOKENS);

TF_REGISTRY_FUNCTION(TfType)
{
    SDF_DEFINE_FILE_FORMAT(SyncFileFormat, SdfFileFormat);
}

SyncFileFormat::SyncFileFormat()
    : SdfFileFormat(VelaSyncFileFormatTokens->Id,
                    VelaSyncFileFormatTokens->Version,
                    VelaSyncFileFormatTokens->Target,
                    VelaSyncFileFormatTokens->Extension.GetString())
{
}

SyncFileFormat::~SyncFileFormat() = default;

SdfAbstractDataRefPtr SyncFileFormat::InitData(const FileFormatArguments&) const
{
    return vela::SyncData::New();
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
    SdfAbstractDataRefPtr newData = data;
    _SetLayerData(get_pointer(layer), newData);
    // Sdf brings the layer into agreement by editing its current data,
    // and every such edit was recorded; none of them is a local change.
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
        vela::SyncOpList discarded;
        syncData->GetDelta().SwapPendingOps(discarded);
    }
    return syncData;
}

SDF_NAMESPACE_CLOSE_SCOPE
