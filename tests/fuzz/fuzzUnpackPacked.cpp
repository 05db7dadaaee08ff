// Packed bytes from a peer -> ValueHandler::UnpackVtValue.
//
// Whatever the bytes, unpacking stays inside them and yields a value or the
// empty value. A value that comes out packs again, and packing is stable
// from then on: the repacked bytes unpack to a value that packs to the same
// bytes.

#include "sync/valueHandler.h"
#include "tests/fuzz/fuzzSupport.h"

#include <pxr/base/tf/errorMark.h>
#include <pxr/base/vt/value.h>

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace pxr;

namespace {
constexpr size_t _MaxCheckedElements = 1 << 14;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vela_fuzz::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto& handler = vela::ValueHandler::GetInstance();
    TfErrorMark mark;

    // A buffer of exactly the input's size: a read past its end is a read
    // past the allocation.
    std::vector<uint8_t> bytes(data, data + size);
    const uint8_t code = size > 0 ? bytes[0] : 0;
    const bool array = size > 1 && (bytes[1] & 1);
    const vela::PackedData packed(code, array, std::move(bytes));

    const VtValue value = handler.UnpackVtValue(packed);
    // The round trip is checked on all but the largest arrays, which would
    // only slow the search down.
    if (!value.IsEmpty() && value.GetArraySize() <= _MaxCheckedElements) {
        const vela::PackedData again = handler.PackVtValue(value);
        vela_fuzz::Check(!again.empty(), "an unpacked value packs again");
        vela_fuzz::Check(again.typeCode == code,
                         "repacking keeps the type code");
        const VtValue back = handler.UnpackVtValue(again);
        vela_fuzz::Check(!back.IsEmpty(), "repacked bytes unpack");
        vela_fuzz::Check(handler.PackVtValue(back).bytes == again.bytes,
                         "packing is stable after one round");
    }
    mark.Clear();
    return 0;
}
