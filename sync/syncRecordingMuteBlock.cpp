//
// Copyright 2026 vela contributors
//
#include "sync/syncRecordingMuteBlock.h"

namespace vela {

SyncRecordingMuteBlock::SyncRecordingMuteBlock(SyncData* data)
    : _data(data)
    , _wasMuted(data && data->IsRecordingMuted())
{
    if (_data) {
        _data->SetRecordingMuted(true);
    }
}

SyncRecordingMuteBlock::~SyncRecordingMuteBlock()
{
    if (_data) {
        _data->SetRecordingMuted(_wasMuted);
    }
}

} // namespace vela
