// Base64 text of packed bytes -> ValueHandler::UnpackVtValue(text).
//
// The text path must agree with the bytes path: text that is well-formed
// standard Base64 unpacks to exactly what its decoded bytes unpack to, and
// any other text yields the empty value (or, for a character outside the
// alphabet, the decoder's exception).

#include "sync/valueHandler.h"
#include "tests/fuzz/fuzzSupport.h"

#include <pxr/base/tf/errorMark.h>
#include <pxr/base/vt/value.h>

#include <boost/archive/iterators/dataflow_exception.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace pxr;

namespace {

int Sextet(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// A strict decoder of standard Base64: length a multiple of four, padding
// only as the last one or two characters. Unused bits of the last group
// are ignored, as most decoders do.
std::optional<std::vector<uint8_t>> StrictDecode(const std::string& text)
{
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    size_t padding = 0;
    while (padding < 2 && padding < text.size() &&
           text[text.size() - 1 - padding] == '=') {
        ++padding;
    }
    std::vector<uint8_t> out;
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t group = 0;
        for (size_t j = 0; j < 4; ++j) {
            const size_t at = i + j;
            int v = 0;
            if (at < text.size() - padding) {
                v = Sextet(text[at]);
                if (v < 0) {
                    return std::nullopt;
                }
            }
            group = (group << 6) | uint32_t(v);
        }
        out.push_back(uint8_t(group >> 16));
        out.push_back(uint8_t(group >> 8));
        out.push_back(uint8_t(group));
    }
    out.resize(out.size() - padding);
    return out;
}

bool OnlyBase64Characters(const std::string& text)
{
    for (char c : text) {
        if (Sextet(c) < 0 && c != '=') {
            return false;
        }
    }
    return true;
}

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
    const std::string text(reinterpret_cast<const char*>(data), size);

    VtValue fromText;
    bool raised = false;
    try {
        fromText = handler.UnpackVtValue(text);
    } catch (const boost::archive::iterators::dataflow_exception&) {
        raised = true;
    }

    const auto decoded = StrictDecode(text);
    if (raised) {
        vela_fuzz::Check(!OnlyBase64Characters(text),
                         "only a character outside the alphabet raises");
    } else if (!decoded) {
        vela_fuzz::Check(fromText.IsEmpty(),
                         "malformed Base64 text yields the empty value");
    } else {
        const uint8_t code = decoded->empty() ? 0 : (*decoded)[0];
        const bool array = decoded->size() > 1 && ((*decoded)[1] & 1);
        const VtValue fromBytes =
            handler.UnpackVtValue(vela::PackedData(code, array, *decoded));
        vela_fuzz::Check(fromText.IsEmpty() == fromBytes.IsEmpty(),
                         "text and bytes agree on failure");
        if (!fromText.IsEmpty()) {
            vela_fuzz::Check(handler.PackVtValue(fromText).bytes ==
                                 handler.PackVtValue(fromBytes).bytes,
                             "text and bytes unpack to the same value");
        }
    }
    mark.Clear();
    return 0;
}
