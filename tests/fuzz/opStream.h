// The operation stream of the operation fuzzer: how bytes turn into sync
// operations, how they are applied to a SyncData, and how streams are
// written (for the seed corpus).
//
//   stream    := operation*
//   operation := kind:u8, then by kind % 8:
//     0 CreateNode through ApplySyncOp        path, specType:i8
//     1 SetField through ApplySyncOp          path, field, value
//     2 MoveNode through ApplySyncOp          path (new), path (old)
//     3 EraseNode through ApplySyncOp         path
//     4 EraseField through ApplySyncOp        path, field
//     5 CreateNode as received content        path, specType:i8
//       (the store's non-recording CreateNode with the type as a number,
//       as the Python module calls it; the store checks both)
//     6 SetField as received content          path, field, value
//       (the value handed over as Base64 text, as the Python module does)
//     7 an operation of unknown type          path (opType = the kind byte)
//   path, field := b:u8; b >= 0x80 picks entry (b & 0x7f) of a table of
//     paths or of OpenUSD's field names, otherwise b bytes of text follow
//   value := n:u16 little-endian, then n packed bytes, header included
//
// A stream cut short ends with the last whole operation.
#ifndef VELA_TESTS_FUZZ_OP_STREAM_H
#define VELA_TESTS_FUZZ_OP_STREAM_H

#include "sync/packedData.h"
#include "sync/syncData.h"
#include "sync/syncOp.h"
#include "sync/valueHandler.h"

#include <pxr/usd/sdf/abstractData.h>
#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/base/tf/token.h>
#include <pxr/base/vt/value.h>

#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vela_fuzz {

enum StreamKind : uint8_t
{
    ApplyCreate = 0,
    ApplySet = 1,
    ApplyMove = 2,
    ApplyEraseNode = 3,
    ApplyEraseField = 4,
    ReceiveCreate = 5,
    ReceiveSet = 6,
    UnknownType = 7,
};

/// Paths of every shape OpenUSD has, some of them invalid or relative.
inline const std::vector<std::string>& PathTable()
{
    static const std::vector<std::string> paths = {
        "/",
        "/A",
        "/B",
        "/A/B",
        "/A/C",
        "/A/B/C",
        "/C",
        "/A.x",
        "/A.y",
        "/A/B.x",
        "/A.rel",
        "/A.rel[/B]",
        "/A.rel[/A/B]",
        "/A.x[/B]",
        "/A.x[/B.y]",
        "/A.x.mapper[/B.y]",
        "/A.x.mapper[/B.y].arg",
        "/A.x.expression",
        "/A{v=}",
        "/A{v=a}",
        "/A{v=b}",
        "/A{v=a}B",
        "/A{v=a}B.x",
        "/A{v=a}B{w=c}",
        "/A.rel[/B].x",
        "/A/B.rel[/A]",
        "A",
        "A/B",
        ".x",
        "",
        "/A/",
        "//",
        "/A.x.y",
        "/A:b",
        "/A.ns:x",
        "/A.rel[/B].z[/C]",
        "/A/B/C/D/E/F/G/H",
    };
    return paths;
}

/// OpenUSD's field and children keys, and two names it does not know.
inline const std::vector<pxr::TfToken>& FieldTable()
{
    static const std::vector<pxr::TfToken> fields = [] {
        std::vector<pxr::TfToken> all = pxr::SdfChildrenKeys->allTokens;
        const auto& keys = pxr::SdfFieldKeys->allTokens;
        all.insert(all.end(), keys.begin(), keys.end());
        all.emplace_back("x");
        all.emplace_back("");
        if (all.size() > 128) {
            all.resize(128);
        }
        return all;
    }();
    return fields;
}

/// One decoded operation of the stream.
struct StreamOp
{
    uint8_t kind = 0;
    std::string path;
    std::string oldPath;
    int32_t specType = 0;
    std::string field;
    std::vector<uint8_t> value;
};

class OpStreamReader
{
public:
    OpStreamReader(const uint8_t* data, size_t size)
        : _pos(data)
        , _end(data + size)
    {}

    /// The next whole operation, or false at the end of the stream.
    bool Next(StreamOp* op)
    {
        *op = StreamOp();
        uint8_t kind;
        if (!Byte(&kind)) {
            return false;
        }
        op->kind = kind;
        uint8_t type = 0;
        switch (kind % 8) {
        case ApplyCreate:
        case ReceiveCreate:
            if (!Path(&op->path) || !Byte(&type)) {
                return false;
            }
            op->specType = int8_t(type);
            return true;
        case ApplySet:
        case ReceiveSet:
            return Path(&op->path) && Field(&op->field) && Value(&op->value);
        case ApplyMove:
            return Path(&op->path) && Path(&op->oldPath);
        case ApplyEraseField:
            return Path(&op->path) && Field(&op->field);
        default:
            return Path(&op->path);
        }
    }

private:
    bool Byte(uint8_t* b)
    {
        if (_pos == _end) {
            return false;
        }
        *b = *_pos++;
        return true;
    }

    bool Text(uint8_t n, std::string* text)
    {
        if (size_t(_end - _pos) < n) {
            return false;
        }
        text->assign(reinterpret_cast<const char*>(_pos), n);
        _pos += n;
        return true;
    }

    bool Path(std::string* path)
    {
        uint8_t b;
        if (!Byte(&b)) {
            return false;
        }
        if (b & 0x80) {
            const auto& table = PathTable();
            *path = table[(b & 0x7f) % table.size()];
            return true;
        }
        return Text(b, path);
    }

    bool Field(std::string* field)
    {
        uint8_t b;
        if (!Byte(&b)) {
            return false;
        }
        if (b & 0x80) {
            const auto& table = FieldTable();
            *field = table[(b & 0x7f) % table.size()].GetString();
            return true;
        }
        return Text(b, field);
    }

    bool Value(std::vector<uint8_t>* value)
    {
        uint8_t lo, hi;
        if (!Byte(&lo) || !Byte(&hi)) {
            return false;
        }
        const size_t n = size_t(lo) | (size_t(hi) << 8);
        if (size_t(_end - _pos) < n) {
            return false;
        }
        value->assign(_pos, _pos + n);
        _pos += n;
        return true;
    }

    const uint8_t* _pos;
    const uint8_t* _end;
};

/// Writes streams in the reader's format.
class OpStreamWriter
{
public:
    OpStreamWriter& Create(const std::string& path, int8_t specType,
                           bool received = false)
    {
        Kind(received ? ReceiveCreate : ApplyCreate).Path(path);
        _bytes.push_back(uint8_t(specType));
        return *this;
    }
    OpStreamWriter& Set(const std::string& path, const pxr::TfToken& field,
                        const std::vector<uint8_t>& value,
                        bool received = false)
    {
        Kind(received ? ReceiveSet : ApplySet).Path(path).Field(field);
        _bytes.push_back(uint8_t(value.size() & 0xff));
        _bytes.push_back(uint8_t(value.size() >> 8));
        _bytes.insert(_bytes.end(), value.begin(), value.end());
        return *this;
    }
    OpStreamWriter& Move(const std::string& from, const std::string& to)
    {
        return Kind(ApplyMove).Path(to).Path(from);
    }
    OpStreamWriter& EraseNode(const std::string& path)
    {
        return Kind(ApplyEraseNode).Path(path);
    }
    OpStreamWriter& EraseField(const std::string& path,
                               const pxr::TfToken& field)
    {
        return Kind(ApplyEraseField).Path(path).Field(field);
    }

    /// An operation of unknown type: where the refresh fuzzer ends a batch.
    OpStreamWriter& EndBatch() { return Kind(UnknownType).Path("/"); }

    const std::vector<uint8_t>& Bytes() const { return _bytes; }

private:
    OpStreamWriter& Kind(StreamKind kind)
    {
        _bytes.push_back(kind);
        return *this;
    }

    // Table entries are written as picks, anything else as text.
    template <class Table, class Name>
    void Pick(const Table& table, const Name& name, const std::string& text)
    {
        for (size_t i = 0; i < table.size(); ++i) {
            if (table[i] == name) {
                _bytes.push_back(uint8_t(0x80 | i));
                return;
            }
        }
        _bytes.push_back(uint8_t(text.size()));
        _bytes.insert(_bytes.end(), text.begin(), text.end());
    }
    OpStreamWriter& Path(const std::string& path)
    {
        Pick(PathTable(), path, path);
        return *this;
    }
    OpStreamWriter& Field(const pxr::TfToken& field)
    {
        Pick(FieldTable(), field, field.GetString());
        return *this;
    }

    std::vector<uint8_t> _bytes;
};

inline std::string Base64(const std::vector<uint8_t>& bytes)
{
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t rest = bytes.size() - i;
        uint32_t n = uint32_t(bytes[i]) << 16;
        if (rest > 1)
            n |= uint32_t(bytes[i + 1]) << 8;
        if (rest > 2)
            n |= bytes[i + 2];
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += rest > 1 ? alphabet[(n >> 6) & 63] : '=';
        out += rest > 2 ? alphabet[n & 63] : '=';
    }
    return out;
}

/// Applies one operation the way the receiving side does.
inline void Apply(const StreamOp& in, vela::SyncData& store)
{
    const auto& handler = vela::ValueHandler::GetInstance();
    switch (in.kind % 8) {
    case ReceiveCreate: {
        const pxr::SdfPath path = pxr::SdfPath::IsValidPathString(in.path)
                                      ? pxr::SdfPath(in.path)
                                      : pxr::SdfPath();
        store.CreateNode(path, in.specType);
        return;
    }
    case ReceiveSet: {
        const pxr::SdfPath path = pxr::SdfPath::IsValidPathString(in.path)
                                      ? pxr::SdfPath(in.path)
                                      : pxr::SdfPath();
        store.SetField(path, pxr::TfToken(in.field),
                       handler.UnpackVtValue(Base64(in.value)));
        return;
    }
    default:
        break;
    }
    vela::SyncOp op;
    op.opType = in.kind % 8 == UnknownType
                    ? vela::SyncOp::SyncOpType(in.kind)
                    : vela::SyncOp::SyncOpType(in.kind % 8);
    op.nodePath = in.path;
    op.oldNodePath = in.oldPath;
    op.nodeType = in.specType;
    op.fieldName = in.field;
    const uint8_t code = in.value.empty() ? 0 : in.value[0];
    const bool array = in.value.size() > 1 && (in.value[1] & 1);
    op.fieldValue = vela::PackedData(code, array, in.value);
    store.ApplySyncOp(op);
}

/// The paths of every spec of \p data, in the order it visits them.
inline std::vector<pxr::SdfPath> SpecPaths(const pxr::SdfAbstractData& data)
{
    struct Collector : pxr::SdfAbstractDataSpecVisitor
    {
        std::vector<pxr::SdfPath> paths;
        bool VisitSpec(const pxr::SdfAbstractData&,
                       const pxr::SdfPath& path) override
        {
            paths.push_back(path);
            return true;
        }
        void Done(const pxr::SdfAbstractData&) override {}
    } collector;
    data.VisitSpecs(&collector);
    return std::move(collector.paths);
}

/// Every spec with its type and its fields (values as packed bytes, so that
/// NaNs compare equal to themselves), keyed by path. Empty values and
/// fallback values are left out.
inline std::map<pxr::SdfPath,
                std::pair<int, std::map<pxr::TfToken, std::vector<uint8_t>>>>
Content(const pxr::SdfAbstractData& data)
{
    const auto& handler = vela::ValueHandler::GetInstance();
    std::map<pxr::SdfPath,
             std::pair<int, std::map<pxr::TfToken, std::vector<uint8_t>>>>
        all;
    for (const auto& path : SpecPaths(data)) {
        auto& entry = all[path];
        entry.first = int(data.GetSpecType(path));
        for (const auto& field : data.List(path)) {
            // A field set to the empty value (what a value that failed to
            // unpack becomes) is the same as no field to OpenUSD, and so is
            // one that holds its fallback, which OpenUSD may not copy.
            const pxr::VtValue value = data.Get(path, field);
            if (!value.IsEmpty() &&
                value != pxr::SdfSchema::GetInstance().GetFallback(field)) {
                entry.second[field] = handler.PackVtValue(value).bytes;
            }
        }
    }
    return all;
}

inline bool SameContent(const pxr::SdfAbstractData& a,
                        const pxr::SdfAbstractData& b)
{
    return Content(a) == Content(b);
}

/// Prints every spec and field of \p data, for looking at a failed input.
inline void PrintContent(const char* title, const pxr::SdfAbstractData& data)
{
    std::fprintf(stderr, "%s:\n", title);
    for (const auto& [path, spec] : Content(data)) {
        std::fprintf(stderr, "  %s (type %d)\n", path.GetText(), spec.first);
        for (const auto& [field, bytes] : spec.second) {
            std::fprintf(stderr, "    %s: %zu bytes\n", field.GetText(),
                         bytes.size());
        }
    }
}

} // namespace vela_fuzz

#endif // VELA_TESTS_FUZZ_OP_STREAM_H
