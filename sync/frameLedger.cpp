//
// Copyright 2026 vela contributors
//
#include "sync/frameLedger.h"
#include "sync/opFrame.h"

#include <fmt/format.h>

namespace vela {

FrameLedger::Outcome FrameLedger::Take(SyncData* store, uint8_t kind,
                                       std::string_view origin, uint64_t seq,
                                       const uint8_t* body, size_t bodySize,
                                       bool bases, std::string_view self,
                                       uint64_t ownSeq)
{
    Outcome outcome;
    if (kind == FrameHeader::KindSnapshot) {
        outcome.error = "a snapshot frame in the channel";
        return outcome;
    }
    if (origin == self && seq > ownSeq) {
        outcome.error = fmt::format(
            "frame {} in this peer's name, which it never sent", seq);
        return outcome;
    }
    std::string name(origin);
    auto it = _last.find(name);
    if (it != _last.end() ? seq <= it->second : seq == 0) {
        outcome.verdict = Verdict::Repeat;
        return outcome;
    }
    if (kind == FrameHeader::KindOps) {
        std::string error;
        if (!OpFrame::Apply(body, bodySize, store, &outcome.ops, &error, bases,
                            &_scratch.reader)) {
            outcome.error = "bad operation frame: " + error;
            return outcome;
        }
    }
    if (it != _last.end()) {
        it->second = seq;
    } else {
        _last.emplace(std::move(name), seq);
    }
    outcome.verdict = Verdict::Taken;
    return outcome;
}

} // namespace vela
