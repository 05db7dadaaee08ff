// Writes the fuzzers' seed corpora and dictionaries under the directory
// given on the command line (tests/fuzz in the source tree):
//
//   corpus/unpackPacked/seed-*   the byte vectors of the packing tests, and a
//                                scalar and an array frame of every type code
//   corpus/unpackBase64/seed-*   the same, as Base64 text
//   corpus/applyOps/seed-*       operation streams recorded from sync layers
//                                authored through Sdf
//   corpus/decodeFrame/seed-*    the same operations as session frame bodies
//   corpus/decodeFrame/frame-*   and as whole frames without their check
//   corpus/refreshChanged/seed-* the same streams as received content, in
//                                batches of a few operations
//   packed.dict, base64.dict, ops.dict
//
// Files named seed-* are rewritten; regression inputs (any other name) are
// left alone.

#include "sync/opFrame.h"
#include "sync/syncData.h"
#include "sync/syncOp.h"
#include "tests/fuzz/fuzzSupport.h"
#include "tests/fuzz/opStream.h"
#include "tests/sync/byteRows.h"

#include <pxr/base/gf/vec3f.h>
#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/relationshipSpec.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/usd/sdf/variantSetSpec.h>
#include <pxr/usd/sdf/variantSpec.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace pxr;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

// A directory emptied of its seeds; regression inputs stay.
fs::path SeedDir(const fs::path& root, const char* name)
{
    const fs::path dir = root / "corpus" / name;
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind("seed-", 0) == 0) {
            fs::remove(entry.path());
        }
    }
    return dir;
}

// A dictionary entry: printable bytes as they are, the rest as \xNN.
std::string DictEntry(const std::vector<uint8_t>& bytes)
{
    std::string out = "\"";
    for (uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7f && b != '"' && b != '\\') {
            out += char(b);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02X", b);
            out += hex;
        }
    }
    return out + "\"\n";
}

std::vector<uint8_t> Frame(uint8_t code, bool array)
{
    std::vector<uint8_t> bytes = {code, uint8_t(array ? 1 : 0)};
    if (array) {
        const uint64_t one = 1;
        bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&one),
                     reinterpret_cast<const uint8_t*>(&one) + 8);
    }
    // Zero bytes are a valid body of most types: numbers, empty strings,
    // empty lists, a list op without items.
    bytes.resize(bytes.size() + 24, 0);
    return bytes;
}

// Streams recorded from layers authored through Sdf, each scene its own.
std::vector<std::pair<std::string, std::function<void(SdfLayerHandle)>>>
Scenes()
{
    return {
        {"prim",
         [](SdfLayerHandle layer) {
             SdfPrimSpecHandle a = SdfPrimSpec::New(layer->GetPseudoRoot(), "A",
                                                    SdfSpecifierDef, "Xform");
             a->SetDocumentation("doc");
             SdfAttributeSpec::New(a, "x", SdfValueTypeNames->Double)
                 ->SetDefaultValue(VtValue(2.0));
         }},
        {"hierarchy",
         [](SdfLayerHandle layer) {
             SdfPrimSpecHandle a = SdfPrimSpec::New(layer->GetPseudoRoot(), "A",
                                                    SdfSpecifierDef, "Xform");
             SdfPrimSpecHandle b =
                 SdfPrimSpec::New(a, "B", SdfSpecifierDef, "Mesh");
             SdfPrimSpec::New(a, "C", SdfSpecifierOver);
             SdfAttributeSpec::New(b, "x", SdfValueTypeNames->Float3Array)
                 ->SetDefaultValue(VtValue(VtVec3fArray{GfVec3f(0, 1, 2)}));
             SdfAttributeSpec::New(b, "y", SdfValueTypeNames->String,
                                   SdfVariabilityUniform, true)
                 ->SetDefaultValue(VtValue(std::string("s")));
             b->SetActive(false);
             b->SetKind(TfToken("component"));
         }},
        {"relationship",
         [](SdfLayerHandle layer) {
             SdfPrimSpecHandle a =
                 SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
             SdfPrimSpec::New(layer->GetPseudoRoot(), "B", SdfSpecifierDef);
             SdfRelationshipSpec::New(a, "rel")->GetTargetPathList().Add(
                 SdfPath("/B"));
             SdfAttributeSpecHandle x =
                 SdfAttributeSpec::New(a, "x", SdfValueTypeNames->Double);
             x->GetConnectionPathList().Add(SdfPath("/B.y"));
         }},
        {"references",
         [](SdfLayerHandle layer) {
             SdfPrimSpecHandle a =
                 SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
             a->GetReferenceList().Prepend(
                 SdfReference("a.usd", SdfPath("/P")));
             a->GetInheritPathList().Add(SdfPath("/C"));
             a->GetPayloadList().Append(SdfPayload("p.usd"));
             a->SetCustomData("k", VtValue(1));
             layer->SetDefaultPrim(TfToken("A"));
         }},
        {"variants",
         [](SdfLayerHandle layer) {
             SdfPrimSpecHandle a =
                 SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
             SdfVariantSetSpecHandle set = SdfVariantSetSpec::New(a, "v");
             SdfVariantSpecHandle va = SdfVariantSpec::New(set, "a");
             SdfPrimSpec::New(va->GetPrimSpec(), "B", SdfSpecifierDef);
             a->GetVariantSetNameList().Add("v");
             a->SetVariantSelection("v", "a");
         }},
        {"renameRemove",
         [](SdfLayerHandle layer) {
             SdfPrimSpecHandle a =
                 SdfPrimSpec::New(layer->GetPseudoRoot(), "A", SdfSpecifierDef);
             SdfPrimSpecHandle b = SdfPrimSpec::New(a, "B", SdfSpecifierDef);
             SdfAttributeSpec::New(b, "x", SdfValueTypeNames->Int)
                 ->SetDefaultValue(VtValue(1));
             b->SetName("C");
             SdfPrimSpecHandle gone = SdfPrimSpec::New(a, "D", SdfSpecifierDef);
             a->RemoveNameChild(gone);
             a->SetComment("c");
             a->SetComment("");
         }},
    };
}

// One op as a stream entry; \p received writes creations and field sets
// the way received content is built.
void Append(const vela::SyncOp& op, bool received,
            vela_fuzz::OpStreamWriter& writer)
{
    switch (op.opType) {
    case vela::SyncOp::CreateNode:
        writer.Create(op.nodePath, int8_t(op.nodeType), received);
        break;
    case vela::SyncOp::SetField:
        writer.Set(op.nodePath, TfToken(op.fieldName), op.fieldValue.bytes,
                   received);
        break;
    case vela::SyncOp::MoveNode:
        writer.Move(op.oldNodePath, op.nodePath);
        break;
    case vela::SyncOp::EraseNode:
        writer.EraseNode(op.nodePath);
        break;
    case vela::SyncOp::EraseField:
        writer.EraseField(op.nodePath, TfToken(op.fieldName));
        break;
    }
}

} // namespace

namespace {

// Packed values and their text: every byte row, and a frame of every type
// code the rows leave out.
void WritePackedSeeds(const fs::path& root)
{
    const fs::path packedDir = SeedDir(root, "unpackPacked");
    const fs::path textDir = SeedDir(root, "unpackBase64");
    std::set<std::pair<uint8_t, bool>> framed;
    for (const auto& row : vela_test::ByteRows()) {
        WriteFile(packedDir / (std::string("seed-") + row.name), row.expected);
        WriteFile(textDir / (std::string("seed-") + row.name),
                  vela_fuzz::Base64(row.expected));
        framed.insert({row.expected[0], row.expected[1] == 1});
    }
    for (int code = 0x01; code <= 0x38; ++code) {
        for (bool array : {false, true}) {
            if (framed.count({uint8_t(code), array})) {
                continue;
            }
            char name[32];
            std::snprintf(name, sizeof(name), "seed-code%02X%s", code,
                          array ? "-array" : "");
            const std::vector<uint8_t> bytes = Frame(uint8_t(code), array);
            WriteFile(packedDir / name, bytes);
            WriteFile(textDir / name, vela_fuzz::Base64(bytes));
        }
    }
}

// Operation streams and frames of the authored scenes.
void WriteOpSeeds(const fs::path& root)
{
    const fs::path opsDir = SeedDir(root, "applyOps");
    const fs::path framesDir = SeedDir(root, "decodeFrame");
    const fs::path batchesDir = SeedDir(root, "refreshChanged");
    for (const auto& [name, author] : Scenes()) {
        SdfLayerRefPtr layer = SdfLayer::CreateAnonymous(name + ".vela");
        author(layer);
        const vela::SyncOpList ops = vela::SyncData::GetLayerUpdates(layer);
        WriteFile(framesDir / ("seed-" + name), vela::OpFrame::Encode(ops));
        // As a whole version 2 frame from peer "p", number 1, but for its
        // check, which the target appends.
        WriteFile(framesDir / ("frame-" + name),
                  std::string("\x02\x00\x00\x01p\x01\x00", 7) +
                      vela::OpFrame::Encode(ops, false, 0, true));
        for (bool received : {false, true}) {
            vela_fuzz::OpStreamWriter writer;
            for (const auto& op : ops) {
                Append(op, received, writer);
            }
            WriteFile(opsDir / ("seed-" + name + (received ? "-received" : "")),
                      writer.Bytes());
        }
        // Batches of five: the layer is refreshed from each batch's changes.
        vela_fuzz::OpStreamWriter batches;
        for (size_t i = 0; i < ops.size(); ++i) {
            Append(ops[i], true, batches);
            if (i % 5 == 4) {
                batches.EndBatch();
            }
        }
        WriteFile(batchesDir / ("seed-" + name), batches.Bytes());
    }
}

// Frames of every type code, and counts and lengths.
std::string PackedDictionary()
{
    std::string packedDict = "# Type codes with their array flag.\n";
    for (int code = 0x01; code <= 0x38; ++code) {
        for (uint8_t array : {0, 1}) {
            packedDict += DictEntry({uint8_t(code), array});
        }
    }
    packedDict += "# Counts and lengths.\n";
    for (uint64_t n :
         {uint64_t(0), uint64_t(1), uint64_t(2), uint64_t(255), ~uint64_t(0)}) {
        const auto* p = reinterpret_cast<const uint8_t*>(&n);
        packedDict += DictEntry(std::vector<uint8_t>(p, p + 8));
    }
    return packedDict;
}

// Base64 of the frames' first three bytes, and padding.
std::string TextDictionary()
{
    std::string textDict =
        "# Base64 of a type code, its flag, and a body byte.\n";
    for (int code = 0x01; code <= 0x38; ++code) {
        for (uint8_t array : {0, 1}) {
            textDict +=
                "\"" + vela_fuzz::Base64({uint8_t(code), array, 0}) + "\"\n";
        }
    }
    textDict += "\"=\"\n\"==\"\n\"AAAAAAAA\"\n";
    return textDict;
}

// Field names and paths as the stream writes text, and value frames.
std::string OpsDictionary()
{
    std::string opsDict = "# Field names and paths as literal text.\n";
    for (const TfToken& field : vela_fuzz::FieldTable()) {
        std::vector<uint8_t> entry = {uint8_t(field.size())};
        entry.insert(entry.end(), field.GetString().begin(),
                     field.GetString().end());
        opsDict += DictEntry(entry);
    }
    for (const std::string& path : vela_fuzz::PathTable()) {
        std::vector<uint8_t> entry = {uint8_t(path.size())};
        entry.insert(entry.end(), path.begin(), path.end());
        opsDict += DictEntry(entry);
    }
    opsDict += "# Packed value frames with their 16-bit length.\n";
    for (int code = 0x01; code <= 0x38; ++code) {
        opsDict += DictEntry({2, 0, uint8_t(code), 0});
    }
    return opsDict;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <tests/fuzz directory>\n", argv[0]);
        return 2;
    }
    vela_fuzz::Initialize();
    const fs::path root = argv[1];
    WritePackedSeeds(root);
    WriteOpSeeds(root);
    WriteFile(root / "packed.dict", PackedDictionary());
    WriteFile(root / "base64.dict", TextDictionary());
    WriteFile(root / "ops.dict", OpsDictionary());
    return 0;
}
