//
// Copyright 2026 vela contributors
//
#include "python/opFrame.h"

#include "sync/packedData.h"
#include "sync/valueHandler.h"

#include <pxr/sdf/path.h>
#include <pxr/sdf/types.h>

#include <pxr/tf/token.h>
#include <pxr/vt/value.h>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace pxr;

namespace vela {

namespace {

void _PutVarint(std::string* out, uint64_t value)
{
    while (value >= 0x80) {
        out->push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out->push_back(static_cast<char>(value));
}

void _PutBytes(std::string* out, std::string_view bytes)
{
    _PutVarint(out, bytes.size());
    out->append(bytes.data(), bytes.size());
}

uint64_t _ZigZag(int32_t value)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(value)) << 1) ^
           static_cast<uint64_t>(static_cast<int64_t>(value) >> 63);
}

uint64_t _ZigZag64(int64_t value)
{
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t _UnZigZag(uint64_t value)
{
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

// Interns the strings, paths and values of one frame, in first-use order.
class _Tables
{
public:
    // Room for a frame of n operations: about one new path per five
    // operations in a layer built from nothing, one new value per two.
    explicit _Tables(size_t n)
    {
        _pathIndex.reserve(n / 4 + 16);
        _stringIndex.reserve(n / 8 + 16);
        _valueIndex.reserve(n / 2 + 16);
    }

    size_t PathCount() const { return _paths.size(); }

    uint64_t String(std::string_view text)
    {
        auto found = _stringIndex.find(text);
        if (found != _stringIndex.end()) {
            return found->second;
        }
        const uint64_t index = _strings.size();
        _strings.push_back(text);
        _stringIndex.emplace(text, index);
        return index;
    }

    // A path is split after its last '/' or '.' into a prefix, interned the
    // same way, and a piece; any split reads back the same text, this one
    // makes siblings share their parent.
    uint64_t Path(std::string_view text)
    {
        auto found = _pathIndex.find(text);
        if (found != _pathIndex.end()) {
            return found->second;
        }
        const size_t split = text.find_last_of("/.");
        uint64_t prefix = 0;
        std::string_view piece = text;
        if (split != std::string_view::npos && split > 0) {
            prefix = Path(text.substr(0, split)) + 1;
            piece = text.substr(split);
        }
        const uint64_t index = _paths.size();
        _paths.emplace_back(prefix, String(piece));
        _pathIndex.emplace(text, index);
        return index;
    }

    // The index of the value, and whether this is its first use (it is
    // then the next index in the table).
    uint64_t Value(std::string_view bytes, bool* isNew)
    {
        auto found = _valueIndex.find(bytes);
        *isNew = found == _valueIndex.end();
        if (!*isNew) {
            return found->second;
        }
        const uint64_t index = _values.size();
        _values.push_back(bytes);
        _valueIndex.emplace(bytes, index);
        return index;
    }

    void Write(std::string* out) const
    {
        _PutVarint(out, _strings.size());
        for (std::string_view text : _strings) {
            _PutBytes(out, text);
        }
        _PutVarint(out, _paths.size());
        for (const auto& entry : _paths) {
            _PutVarint(out, entry.first);
            _PutVarint(out, entry.second);
        }
        _PutVarint(out, _values.size());
        for (std::string_view bytes : _values) {
            _PutBytes(out, bytes);
        }
    }

private:
    // Views into the operations being encoded, which outlive the tables.
    std::vector<std::string_view> _strings;
    std::unordered_map<std::string_view, uint64_t> _stringIndex;
    std::vector<std::pair<uint64_t, uint64_t>> _paths;
    std::unordered_map<std::string_view, uint64_t> _pathIndex;
    std::vector<std::string_view> _values;
    std::unordered_map<std::string_view, uint64_t> _valueIndex;
};

std::string_view _View(const PackedData& value)
{
    return std::string_view(reinterpret_cast<const char*>(value.data()),
                            value.size());
}

PackedData _Packed(std::string_view bytes)
{
    const uint8_t* begin = reinterpret_cast<const uint8_t*>(bytes.data());
    return PackedData(bytes.size() >= 2 ? begin[0] : 0,
                      bytes.size() >= 2 && begin[1] != 0,
                      std::vector<uint8_t>(begin, begin + bytes.size()));
}

// The one read cursor of a frame: every read checks what remains.
class _Cursor
{
public:
    _Cursor(const uint8_t* data, size_t size)
        : _data(data), _size(size) {}

    size_t Offset() const { return _offset; }
    size_t Remaining() const { return _size - _offset; }

    bool Varint(uint64_t* value)
    {
        uint64_t result = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (_offset >= _size) {
                return false;
            }
            const uint8_t byte = _data[_offset++];
            if (shift == 63 && byte > 1) {
                return false;  // more than 64 bits
            }
            result |= static_cast<uint64_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80)) {
                *value = result;
                return true;
            }
        }
        return false;
    }

    bool Byte(uint8_t* value)
    {
        if (_offset >= _size) {
            return false;
        }
        *value = _data[_offset++];
        return true;
    }

    bool Bytes(std::string_view* bytes)
    {
        uint64_t length = 0;
        if (!Varint(&length) || length > Remaining()) {
            return false;
        }
        *bytes = std::string_view(
            reinterpret_cast<const char*>(_data + _offset),
            static_cast<size_t>(length));
        _offset += static_cast<size_t>(length);
        return true;
    }

    // A count of entries that each take at least one byte can never exceed
    // what remains; checking it first keeps a forged count from reserving
    // memory.
    bool Count(uint64_t* count)
    {
        return Varint(count) && *count <= Remaining();
    }

private:
    const uint8_t* _data;
    size_t _size;
    size_t _offset = 0;
};

// One operation as read, its operands still table indices.
struct _RawOp
{
    SyncOp::SyncOpType type;
    uint64_t path;
    uint64_t second;  // field (SetField, EraseField) or old path (MoveNode)
    uint64_t value;   // SetField
    int32_t nodeType; // CreateNode
};

// Reads a body's tables and operations, checking every length, count and
// index, then resolves each path, field name and value that an operation
// uses once: paths to SdfPaths, names to tokens, values unpacked.
class _Reader
{
public:
    _Reader(const uint8_t* data, size_t size)
        : _in(data, size), _textBudget(std::max<size_t>(64u << 20, size * 64)) {}

    bool Run(std::string* error)
    {
        if (_ReadTables() && _ReadOps() && _Resolve()) {
            return true;
        }
        *error = _error;
        return false;
    }

    const std::vector<_RawOp>& Ops() const { return _ops; }
    const std::string& PathText(uint64_t i) const { return _pathTexts[i]; }
    const SdfPath& Path(uint64_t i) const { return _paths[i]; }
    std::string_view String(uint64_t i) const { return _strings[i]; }
    const TfToken& Token(uint64_t i) const { return _tokens[i]; }
    const VtValue& Value(uint64_t i) const { return _values[i]; }
    std::string_view ValueBytes(uint64_t i) const { return _valueBytes[i]; }

private:
    bool _Fail(std::string what)
    {
        _error = std::move(what) + " (at byte " + std::to_string(_in.Offset()) + ")";
        return false;
    }

    bool _ReadTables()
    {
        if (!_in.Count(&_opCount)) {
            return _Fail("operation count runs past the end");
        }
        uint64_t count = 0;
        if (!_in.Count(&count)) {
            return _Fail("string count runs past the end");
        }
        _strings.resize(count);
        for (auto& text : _strings) {
            if (!_in.Bytes(&text)) {
                return _Fail("string runs past the end");
            }
        }
        if (!_in.Count(&count)) {
            return _Fail("path count runs past the end");
        }
        _pathEntries.reserve(count);
        _pathTexts.reserve(count);
        for (uint64_t i = 0; i < count; ++i) {
            uint64_t prefix = 0, piece = 0;
            if (!_in.Varint(&prefix) || !_in.Varint(&piece)) {
                return _Fail("path entry runs past the end");
            }
            if (prefix > i) {
                return _Fail("path " + std::to_string(i) +
                             " names a prefix that does not precede it");
            }
            if (piece >= _strings.size()) {
                return _Fail("path " + std::to_string(i) +
                             " names a missing string");
            }
            // Prefixes let a small frame describe very long texts; they
            // may not add up to more than a frame could honestly need.
            const size_t length = (prefix ? _pathTexts[prefix - 1].size() : 0) +
                                  _strings[piece].size();
            if (length > _textBudget) {
                return _Fail("paths add up to more text than the frame can hold");
            }
            _textBudget -= length;
            std::string text = prefix ? _pathTexts[prefix - 1] : std::string();
            text.append(_strings[piece]);
            _pathTexts.push_back(std::move(text));
            _pathEntries.emplace_back(prefix, piece);
        }
        if (!_in.Count(&count)) {
            return _Fail("value count runs past the end");
        }
        _valueBytes.resize(count);
        for (auto& bytes : _valueBytes) {
            if (!_in.Bytes(&bytes)) {
                return _Fail("value runs past the end");
            }
        }
        return true;
    }

    // The operations come as four columns, read in turn: the type bytes,
    // the path indices (each as the change from the previous operation's),
    // the second operands of the types that have one, and the values of
    // the SetField operations (0: the next value not used before, n: the
    // value n - 1 used before).
    bool _ReadOps()
    {
        const uint64_t count = _opCount;
        if (count > _in.Remaining()) {
            return _Fail("operation count runs past the end");
        }
        _ops.resize(count);
        for (uint64_t i = 0; i < count; ++i) {
            uint8_t type = 0;
            _in.Byte(&type);  // in range: count <= what remains
            if (type > SyncOp::EraseField) {
                return _Fail("operation " + std::to_string(i) +
                             ": unknown operation type " + std::to_string(type));
            }
            _ops[i] = _RawOp{static_cast<SyncOp::SyncOpType>(type), 0, 0, 0, 0};
        }
        int64_t path = 0;
        for (uint64_t i = 0; i < count; ++i) {
            uint64_t zigzag = 0;
            if (!_in.Varint(&zigzag)) {
                return _Fail("operation " + std::to_string(i) +
                             ": path index runs past the end");
            }
            path += _UnZigZag(zigzag);
            if (path < 0 || static_cast<uint64_t>(path) >= _pathTexts.size()) {
                return _Fail("operation " + std::to_string(i) + ": path index " +
                             std::to_string(path) + " past the table's " +
                             std::to_string(_pathTexts.size()));
            }
            _ops[i].path = static_cast<uint64_t>(path);
        }
        for (uint64_t i = 0; i < count; ++i) {
            if (!_ReadSecond(&_ops[i])) {
                _error = "operation " + std::to_string(i) + ": " + _error;
                return false;
            }
        }
        uint64_t nextNew = 0;
        for (uint64_t i = 0; i < count; ++i) {
            if (_ops[i].type != SyncOp::SetField) {
                continue;
            }
            uint64_t value = 0;
            if (!_in.Varint(&value)) {
                return _Fail("operation " + std::to_string(i) +
                             ": value index runs past the end");
            }
            const uint64_t index = value == 0 ? nextNew++ : value - 1;
            if (index >= _valueBytes.size() || (value != 0 && index >= nextNew)) {
                return _Fail("operation " + std::to_string(i) + ": value index " +
                             std::to_string(index) + " past the " +
                             std::to_string(value == 0 ? _valueBytes.size() : nextNew) +
                             " values it may use");
            }
            _ops[i].value = index;
        }
        if (_in.Remaining() != 0) {
            return _Fail(std::to_string(_in.Remaining()) +
                         " bytes after the last operation");
        }
        return true;
    }

    bool _ReadSecond(_RawOp* op)
    {
        uint64_t operand = 0;
        switch (op->type) {
        case SyncOp::CreateNode: {
            if (!_in.Varint(&operand)) {
                return _Fail("node type runs past the end");
            }
            const int64_t nodeType = _UnZigZag(operand);
            if (nodeType <= SdfSpecTypeUnknown || nodeType >= SdfNumSpecTypes) {
                return _Fail("unknown spec type " + std::to_string(nodeType));
            }
            op->nodeType = static_cast<int32_t>(nodeType);
            return true;
        }
        case SyncOp::SetField:
        case SyncOp::EraseField:
            return _Index(_strings.size(), &op->second, "field name");
        case SyncOp::MoveNode: {
            if (!_in.Varint(&operand)) {
                return _Fail("old path index runs past the end");
            }
            const int64_t oldPath = static_cast<int64_t>(op->path) + _UnZigZag(operand);
            if (oldPath < 0 || static_cast<uint64_t>(oldPath) >= _pathTexts.size()) {
                return _Fail("old path index " + std::to_string(oldPath) +
                             " past the table's " + std::to_string(_pathTexts.size()));
            }
            op->second = static_cast<uint64_t>(oldPath);
            return true;
        }
        default:
            return true;
        }
    }

    bool _Index(size_t size, uint64_t* index, const char* what)
    {
        if (!_in.Varint(index)) {
            return _Fail(std::string(what) + " index runs past the end");
        }
        if (*index >= size) {
            return _Fail(std::string(what) + " index " + std::to_string(*index) +
                         " past the table's " + std::to_string(size));
        }
        return true;
    }

    // Builds the path from its prefix where the piece is one prim or
    // property name (the common case, and much cheaper than parsing the
    // text); anything else is parsed whole.
    SdfPath _BuildPath(uint64_t i) const
    {
        const uint64_t prefix = _pathEntries[i].first;
        const std::string_view piece = _strings[_pathEntries[i].second];
        if (piece.size() >= 2) {
            const std::string name(piece.substr(1));
            const SdfPath& parent = prefix ? _paths[prefix - 1]
                                           : SdfPath::AbsoluteRootPath();
            if (piece[0] == '/' && parent.IsAbsoluteRootOrPrimPath() &&
                SdfPath::IsValidIdentifier(name)) {
                return parent.AppendChild(TfToken(name));
            }
            if (piece[0] == '.' && parent.IsPrimPath() &&
                SdfPath::IsValidNamespacedIdentifier(name)) {
                return parent.AppendProperty(TfToken(name));
            }
        } else if (piece == "/" && !prefix) {
            return SdfPath::AbsoluteRootPath();
        }
        const std::string& text = _pathTexts[i];
        if (!text.empty() && text[0] == '/' && SdfPath::IsValidPathString(text)) {
            const SdfPath path(text);
            if (path.IsAbsolutePath()) {
                return path;
            }
        }
        return SdfPath();
    }

    bool _Resolve()
    {
        // Prefixes precede the paths built on them, so one pass in table
        // order resolves them all; a prefix used by no operation is still
        // resolved, as its children are built on it.
        std::vector<char> used(_pathTexts.size(), 0);
        for (const _RawOp& op : _ops) {
            used[op.path] = 1;
            if (op.type == SyncOp::MoveNode) {
                used[op.second] = 1;
            }
        }
        for (uint64_t i = _pathTexts.size(); i-- > 0;) {
            if (used[i] && _pathEntries[i].first) {
                used[_pathEntries[i].first - 1] = 1;
            }
        }
        _paths.resize(_pathTexts.size());
        for (uint64_t i = 0; i < _pathTexts.size(); ++i) {
            if (used[i]) {
                _paths[i] = _BuildPath(i);
            }
        }
        _tokens.resize(_strings.size());
        _values.resize(_valueBytes.size());
        std::vector<char> tokenDone(_strings.size(), 0);
        std::vector<char> valueDone(_valueBytes.size(), 0);
        for (size_t n = 0; n < _ops.size(); ++n) {
            const _RawOp& op = _ops[n];
            const std::string where = "operation " + std::to_string(n) + ": ";
            if (_paths[op.path].IsEmpty()) {
                return _Fail(where + "'" + _pathTexts[op.path] +
                             "' is not an absolute path");
            }
            if (op.type == SyncOp::MoveNode && _paths[op.second].IsEmpty()) {
                return _Fail(where + "'" + _pathTexts[op.second] +
                             "' is not an absolute path");
            }
            if (op.type == SyncOp::SetField || op.type == SyncOp::EraseField) {
                if (_strings[op.second].empty()) {
                    return _Fail(where + "empty field name");
                }
                if (!tokenDone[op.second]) {
                    _tokens[op.second] = TfToken(std::string(_strings[op.second]));
                    tokenDone[op.second] = 1;
                }
            }
            if (op.type == SyncOp::SetField && !valueDone[op.value]) {
                const std::string_view bytes = _valueBytes[op.value];
                if (!bytes.empty()) {
                    _values[op.value] =
                        ValueHandler::GetInstance().UnpackVtValue(_Packed(bytes));
                    if (_values[op.value].IsEmpty()) {
                        return _Fail(where + "value " + std::to_string(op.value) +
                                     " does not unpack");
                    }
                }
                valueDone[op.value] = 1;
            }
        }
        return true;
    }

    _Cursor _in;
    uint64_t _opCount = 0;
    size_t _textBudget;
    std::string _error;
    std::vector<std::string_view> _strings;
    std::vector<std::pair<uint64_t, uint64_t>> _pathEntries;
    std::vector<std::string> _pathTexts;
    std::vector<std::string_view> _valueBytes;
    std::vector<_RawOp> _ops;
    std::vector<SdfPath> _paths;
    std::vector<TfToken> _tokens;
    std::vector<VtValue> _values;
};

} // namespace

std::string OpFrame::Encode(const SyncOpList& ops, bool coalesce, size_t first)
{
    first = std::min(first, ops.size());
    const size_t n = ops.size() - first;
    _Tables tables(n);

    // Paths and names are interned in one forward pass, so that the
    // coalescing pass below compares small numbers instead of strings.
    std::vector<uint32_t> pathIds(n), secondIds(n);
    for (size_t i = 0; i < n; ++i) {
        const SyncOp& op = ops[first + i];
        pathIds[i] = static_cast<uint32_t>(tables.Path(op.nodePath));
        if (op.opType == SyncOp::SetField || op.opType == SyncOp::EraseField) {
            secondIds[i] = static_cast<uint32_t>(tables.String(op.fieldName));
        } else if (op.opType == SyncOp::MoveNode) {
            secondIds[i] = static_cast<uint32_t>(tables.Path(op.oldNodePath));
        }
    }

    // CoalesceOps' rule, backwards: a SetField or EraseField is left out
    // when a later one of the same node and field follows with no create,
    // erase or move of that node in between.
    std::vector<char> keep(n, 1);
    if (coalesce) {
        std::vector<std::vector<uint32_t>> overwritten(tables.PathCount());
        for (size_t i = n; i-- > 0;) {
            const SyncOp& op = ops[first + i];
            switch (op.opType) {
            case SyncOp::SetField:
            case SyncOp::EraseField: {
                auto& fields = overwritten[pathIds[i]];
                if (std::find(fields.begin(), fields.end(), secondIds[i]) !=
                    fields.end()) {
                    keep[i] = 0;
                } else {
                    fields.push_back(secondIds[i]);
                }
                break;
            }
            case SyncOp::MoveNode:
                overwritten[secondIds[i]].clear();
                overwritten[pathIds[i]].clear();
                break;
            default:
                overwritten[pathIds[i]].clear();
                break;
            }
        }
    }

    std::string types, paths, seconds, values;
    types.reserve(n);
    paths.reserve(n * 2);
    seconds.reserve(n * 2);
    values.reserve(n);
    uint64_t count = 0;
    int64_t previousPath = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!keep[i]) {
            continue;
        }
        const SyncOp& op = ops[first + i];
        ++count;
        types.push_back(static_cast<char>(op.opType));
        const int64_t path = pathIds[i];
        _PutVarint(&paths, _ZigZag64(path - previousPath));
        previousPath = path;
        switch (op.opType) {
        case SyncOp::CreateNode:
            _PutVarint(&seconds, _ZigZag(op.nodeType));
            break;
        case SyncOp::SetField: {
            _PutVarint(&seconds, secondIds[i]);
            bool isNew = false;
            const uint64_t value = tables.Value(_View(op.fieldValue), &isNew);
            _PutVarint(&values, isNew ? 0 : value + 1);
            break;
        }
        case SyncOp::MoveNode:
            _PutVarint(&seconds, _ZigZag64(static_cast<int64_t>(secondIds[i]) - path));
            break;
        case SyncOp::EraseField:
            _PutVarint(&seconds, secondIds[i]);
            break;
        default:
            break;
        }
    }
    std::string out;
    out.reserve(types.size() + paths.size() + seconds.size() + values.size() +
                count * 8);
    _PutVarint(&out, count);
    tables.Write(&out);
    out.append(types).append(paths).append(seconds).append(values);
    return out;
}

bool OpFrame::Decode(const uint8_t* data, size_t size, SyncOpList* ops,
                     std::string* error)
{
    ops->clear();
    _Reader reader(data, size);
    if (!reader.Run(error)) {
        return false;
    }
    ops->reserve(reader.Ops().size());
    for (const _RawOp& raw : reader.Ops()) {
        SyncOp op;
        op.opType = raw.type;
        op.nodePath = reader.PathText(raw.path);
        switch (raw.type) {
        case SyncOp::CreateNode:
            op.nodeType = raw.nodeType;
            break;
        case SyncOp::SetField:
            op.fieldName.assign(reader.String(raw.second));
            op.fieldValue = _Packed(reader.ValueBytes(raw.value));
            break;
        case SyncOp::MoveNode:
            op.oldNodePath = reader.PathText(raw.second);
            break;
        case SyncOp::EraseField:
            op.fieldName.assign(reader.String(raw.second));
            break;
        default:
            break;
        }
        ops->push_back(std::move(op));
    }
    return true;
}

bool OpFrame::Apply(const uint8_t* data, size_t size, SyncData* target,
                    size_t* applied, std::string* error)
{
    *applied = 0;
    _Reader reader(data, size);
    if (!reader.Run(error)) {
        return false;
    }
    // Everything is checked; from here on every operation applies. The
    // store's non-recording edits build nodes and fields, the recording
    // ones move and erase, as ApplySyncOp does.
    for (const _RawOp& op : reader.Ops()) {
        const SdfPath& path = reader.Path(op.path);
        switch (op.type) {
        case SyncOp::CreateNode:
            target->CreateNode(path, static_cast<SdfSpecType>(op.nodeType));
            break;
        case SyncOp::SetField:
            target->SetField(path, reader.Token(op.second), reader.Value(op.value));
            break;
        case SyncOp::MoveNode:
            target->MoveSpec(reader.Path(op.second), path);
            break;
        case SyncOp::EraseNode:
            target->EraseSpec(path);
            break;
        case SyncOp::EraseField:
            target->Erase(path, reader.Token(op.second));
            break;
        }
    }
    *applied = reader.Ops().size();
    return true;
}

} // namespace vela
