//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_FRAME_LEDGER_H
#define VELA_SYNC_FRAME_LEDGER_H

#include "sync/frameHeader.h"
#include "sync/opFrameReader.h"
#include "sync/syncData.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vela {

/// What a session has taken from its channel: per sender, the last frame
/// number applied, and the rule by which the next frame is taken, repeated
/// or refused. Every peer reads the same frames in the same order, so
/// every peer takes the same ones.
class FrameLedger
{
public:
    enum class Verdict
    {
        Taken, ///< applied (an operations frame) or noted (a leave frame)
        Repeat, ///< a number seen before from its sender: a repeated send
        Refused, ///< the frame must not be believed; see Outcome::error
    };
    struct Outcome
    {
        Verdict verdict = Verdict::Refused;
        /// The operations read from a taken operations frame's body.
        size_t ops = 0;
        std::string error;
    };

    /// Takes the next frame of the channel for the session named \p self,
    /// whose own frames are numbered up to \p ownSeq. Refused: a snapshot
    /// frame (snapshots travel beside the channel), a frame in the
    /// session's own name numbered past what it sent, an operations frame
    /// whose body does not read whole (OpFrame::Apply's error, \p store
    /// unchanged). A repeat: a number not above the last taken from its
    /// sender. Otherwise an operations frame's body, read with \p bases
    /// as OpFrame::Apply reads it, is applied to \p store as one frame,
    /// and the number becomes the sender's last. Only a taken frame
    /// changes the ledger, so a damaged frame cannot silence its sender.
    Outcome Take(SyncData* store, uint8_t kind, std::string_view origin,
                 uint64_t seq, const uint8_t* body, size_t bodySize, bool bases,
                 std::string_view self, uint64_t ownSeq);

    /// The last number taken from each sender (what a snapshot records).
    const std::unordered_map<std::string, uint64_t>& GetSenders() const
    {
        return _last;
    }
    /// Starts over from \p senders (a snapshot's table).
    void SetSenders(std::unordered_map<std::string, uint64_t> senders)
    {
        _last = std::move(senders);
    }

private:
    // The reader of every body the ledger takes, its tables' room kept
    // from one frame to the next; a copy of the ledger has its own.
    struct _Scratch
    {
        _Scratch() = default;
        _Scratch(const _Scratch&) {}
        _Scratch& operator=(const _Scratch&) { return *this; }
        OpFrameReader reader{nullptr, 0};
    };

    std::unordered_map<std::string, uint64_t> _last;
    _Scratch _scratch;
};

} // namespace vela

#endif // VELA_SYNC_FRAME_LEDGER_H
