// A session client's frame body from a peer -> OpFrame::Decode and
// OpFrame::Apply.
//
// Whatever the bytes, decoding stays inside them and takes the body whole
// or not at all; applying agrees with decoding and, on a refused body,
// leaves the store as it was. A body that decodes encodes again to one that
// decodes to the same operations. The bytes are read both as a version 1
// body and as a version 2 body, which ends with its bases section.

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
    mark.Clear();
    return 0;
}
