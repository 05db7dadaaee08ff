//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SYNC_RECORDING_MUTE_BLOCK_H
#define VELA_SYNC_SYNC_RECORDING_MUTE_BLOCK_H

#include "sync/syncData.h"

namespace vela {

/// Mutes a store's recording for the block's lifetime, as SdfChangeBlock
/// holds back notices: edits made to the store meanwhile change it without
/// being recorded. On destruction the store records again as it did
/// before the block, so blocks nest. A null store is nothing to mute.
///
/// The block holds the store by reference: whoever opens it keeps the
/// store alive until it ends. Not for use while other threads edit.
class SyncRecordingMuteBlock
{
public:
    explicit SyncRecordingMuteBlock(SyncData* data);
    ~SyncRecordingMuteBlock();

    SyncRecordingMuteBlock(const SyncRecordingMuteBlock&) = delete;
    SyncRecordingMuteBlock& operator=(const SyncRecordingMuteBlock&) = delete;

private:
    SyncData* _data;
    bool _wasMuted;
};

} // namespace vela

#endif // VELA_SYNC_SYNC_RECORDING_MUTE_BLOCK_H
