// A session client's frame body from a peer -> OpFrame::Decode and
// OpFrame::Apply; the same bytes as a whole frame -> FrameHeader::ReadCommon
// and FrameLedger::Take.
//
// Whatever the bytes, decoding stays inside them and takes the body whole
// or not at all; applying agrees with decoding and, on a refused body,
// leaves the store as it was. A body that decodes encodes again to one that
// decodes to the same operations. The bytes are read both as a version 1
// body and as a version 2 body, which ends with its bases section.

#include "sync/crc32.h"
#include "sync/frameHeader.h"
#include "sync/frameLedger.h"
#include "sync/opFrame.h"
#include "sync/syncData.h"
#include "tests/fuzz/fuzzSupport.h"
#include "tests/fuzz/opStream.h"

#include <pxr/base/tf/errorMark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace pxr;

namespace {

// Operations compare as records of events (never equal), so their fields
// are compared here.
bool _SameOps(const vela::SyncOpList& lhs, const vela::SyncOpList& rhs)
{
    if (lhs.size() != rhs.size()) {
        return false;
    }
    for (size_t i = 0; i < lhs.size(); ++i) {
        const vela::SyncOp& a = lhs[i];
        const vela::SyncOp& b = rhs[i];
        if (a.opType != b.opType || a.nodePath != b.nodePath ||
            a.oldNodePath != b.oldNodePath || a.nodeType != b.nodeType ||
            a.fieldName != b.fieldName ||
            a.fieldValue.bytes != b.fieldValue.bytes ||
            a.hasBase != b.hasBase || a.baseValue.bytes != b.baseValue.bytes) {
            return false;
        }
    }
    return true;
}

// One reading of the bytes, as a version 1 body or (\p bases) as a
// version 2 one with its bases section.
void _Check(const std::vector<uint8_t>& bytes, bool bases)
{
    vela::SyncOpList ops;
    std::string error;
    const bool decoded =
        vela::OpFrame::Decode(bytes.data(), bytes.size(), &ops, &error, bases);
    vela_fuzz::Check(decoded || ops.empty(),
                     "a refused body yields no operations");
    vela_fuzz::Check(decoded || !error.empty(), "a refused body says why");

    vela::SyncDataRefPtr store = vela::SyncData::New();
    size_t applied = 0;
    std::string applyError;
    const bool appliedOk =
        vela::OpFrame::Apply(bytes.data(), bytes.size(), get_pointer(store),
                             &applied, &applyError, bases);
    vela_fuzz::Check(appliedOk == decoded, "applying agrees with decoding");
    if (!appliedOk) {
        vela_fuzz::Check(vela_fuzz::SameContent(*store, *vela::SyncData::New()),
                         "a refused body changes nothing");
    } else {
        vela_fuzz::Check(applied == ops.size(), "every operation is applied");
    }

    if (decoded) {
        const std::string again = vela::OpFrame::Encode(ops, false, 0, bases);
        vela::SyncOpList back;
        std::string backError;
        vela_fuzz::Check(vela::OpFrame::Decode(
                             reinterpret_cast<const uint8_t*>(again.data()),
                             again.size(), &back, &backError, bases),
                         "a re-encoded body decodes");
        vela_fuzz::Check(_SameOps(back, ops),
                         "a re-encoded body keeps its operations");
    }
}

// The bytes as a whole frame, its check appended (random bytes would
// never match one): a header read in the common form lies inside them, and
// taking the frame agrees with applying its body.
void _CheckFrame(const std::vector<uint8_t>& input)
{
    std::vector<uint8_t> bytes(input);
    const uint32_t check = vela::Crc32(input.data(), input.size());
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(check >> (8 * i)));
    }
    vela::FrameHeader header;
    if (!vela::FrameHeader::ReadCommon(bytes.data(), bytes.size(), &header)) {
        return;
    }
    vela_fuzz::Check(header.bodyBegin <= header.bodyEnd &&
                         header.bodyEnd + 4 == bytes.size(),
                     "a common header's body lies inside the frame");
    const uint8_t* body = bytes.data() + header.bodyBegin;
    const size_t bodySize = header.bodyEnd - header.bodyBegin;
    vela::SyncDataRefPtr taken = vela::SyncData::New();
    vela::FrameLedger ledger;
    const vela::FrameLedger::Outcome outcome =
        ledger.Take(get_pointer(taken), header.kind, header.origin, header.seq,
                    body, bodySize, true, "peer", 0);
    if (header.kind != vela::FrameHeader::KindOps ||
        outcome.verdict == vela::FrameLedger::Verdict::Repeat) {
        return;
    }
    vela::SyncDataRefPtr applied = vela::SyncData::New();
    size_t count = 0;
    std::string error;
    const bool ok = vela::OpFrame::Apply(body, bodySize, get_pointer(applied),
                                         &count, &error, true);
    const bool ownName = header.origin == "peer";
    vela_fuzz::Check(
        ownName ? outcome.verdict == vela::FrameLedger::Verdict::Refused
                : (outcome.verdict == vela::FrameLedger::Verdict::Taken) == ok,
        "the ledger takes what applies, and refuses its own name");
    vela_fuzz::Check(vela_fuzz::SameContent(
                         *taken, ownName ? *vela::SyncData::New() : *applied),
                     "taking a frame applies its body");
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
    // A buffer of exactly the input's size: a read past its end is a read
    // past the allocation.
    const std::vector<uint8_t> bytes(data, data + size);
    _Check(bytes, false);
    _Check(bytes, true);
    _CheckFrame(bytes);
    mark.Clear();
    return 0;
}
