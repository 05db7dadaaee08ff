//
// Copyright 2026 vela contributors
//
#include "python/opFrame.h"

#include "sync/packedData.h"
#include "sync/valueHandler.h"

#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/types.h>

#include <pxr/base/tf/token.h>
#include <pxr/base/vt/value.h>

#include <algorithm>
#include <string_view>
#include <functional>
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

// An open-addressing index of byte strings kept in a table of views: no
// allocation per entry, which matters at a few hundred thousand entries.
class _FlatIndex
{
public:
    explicit _FlatIndex(size_t expected)
    {
        size_t size = 16;
        while (size < expected * 2) {
            size *= 2;
        }
        _slots.assign(size, _Slot{0, 0});
    }

    // The position of key in keys, or -1.
    int64_t Find(std::string_view key, const std::vector<std::string_view>& keys) const
    {
        const size_t hash = std::hash<std::string_view>()(key);
        const size_t mask = _slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const _Slot& slot = _slots[i];
            if (slot.index == 0) {
                return -1;
            }
            if (slot.hash == hash && keys[slot.index - 1] == key) {
                return static_cast<int64_t>(slot.index - 1);
            }
        }
    }

    // The position of key in keys, or, when it is not there, keys.size()
    // (the caller then appends it) with *inserted set.
    uint64_t FindOrInsert(std::string_view key, const std::vector<std::string_view>& keys,
                          bool* inserted)
    {
        const size_t hash = std::hash<std::string_view>()(key);
        const size_t mask = _slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            _Slot& slot = _slots[i];
            if (slot.index == 0) {
                *inserted = true;
                slot = _Slot{hash, keys.size() + 1};
                if (++_count * 2 > _slots.size()) {
                    _Grow();
                }
                return keys.size();
            }
            if (slot.hash == hash && keys[slot.index - 1] == key) {
                *inserted = false;
                return slot.index - 1;
            }
        }
    }

private:
    struct _Slot
    {
        size_t hash;
        size_t index;  // position + 1; 0 for an empty slot
    };

    void _Grow()
    {
        std::vector<_Slot> old(_slots.size() * 2, _Slot{0, 0});
        old.swap(_slots);
        const size_t mask = _slots.size() - 1;
        for (const _Slot& slot : old) {
            if (slot.index) {
                size_t i = slot.hash & mask;
                while (_slots[i].index) {
                    i = (i + 1) & mask;
                }
                _slots[i] = slot;
            }
        }
    }

    std::vector<_Slot> _slots;
    size_t _count = 0;
};

// Interns the strings, paths and values of one frame, in first-use order.
class _Tables
{
public:
    // Room for a frame of n operations: about one new path per four
    // operations in a layer built from nothing, one new value per twenty.
    explicit _Tables(size_t n)
        : _stringIndex(n / 16 + 16), _pathIndex(n / 4 + 16), _valueIndex(n / 16 + 16) {}

    size_t PathCount() const { return _paths.size(); }
    size_t StringCount() const { return _strings.size(); }

    uint64_t String(std::string_view text)
    {
        bool inserted = false;
        const uint64_t index = _stringIndex.FindOrInsert(text, _strings, &inserted);
        if (inserted) {
            _strings.push_back(text);
        }
        return index;
    }

    // A path is split after its last '/' or '.' into a prefix, interned the
    // same way, and a piece; any split reads back the same text, this one
    // makes siblings share their parent. Walks up to the longest prefix
    // already known, then interns downwards (no recursion: a path may be
    // deep).
    uint64_t Path(std::string_view text)
    {
        const int64_t known = _pathIndex.Find(text, _pathTexts);
        if (known >= 0) {
            return static_cast<uint64_t>(known);
        }
        std::vector<size_t> lengths{text.size()};
        uint64_t prefix = 0;
        for (;;) {
            const size_t split = text.substr(0, lengths.back()).find_last_of("/.");
            if (split == std::string_view::npos || split == 0) {
                break;
            }
            const int64_t parent = _pathIndex.Find(text.substr(0, split), _pathTexts);
            if (parent >= 0) {
                prefix = static_cast<uint64_t>(parent) + 1;
                break;
            }
            lengths.push_back(split);
        }
        // Top down, so that every prefix precedes the paths built on it.
        for (size_t k = lengths.size(); k-- > 0;) {
            const std::string_view current = text.substr(0, lengths[k]);
            const size_t offset = prefix ? _pathTexts[prefix - 1].size() : 0;
            const uint64_t piece = String(current.substr(offset));
            bool inserted = false;
            const uint64_t index = _pathIndex.FindOrInsert(current, _pathTexts, &inserted);
            _pathTexts.push_back(current);
            _paths.emplace_back(prefix, piece);
            prefix = index + 1;
        }
        return prefix - 1;
    }

    // The index of the value, and whether this is its first use (it is
    // then the next index in the table).
    uint64_t Value(std::string_view bytes, bool* isNew)
    {
        const uint64_t index = _valueIndex.FindOrInsert(bytes, _values, isNew);
        if (*isNew) {
            _values.push_back(bytes);
        }
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
    _FlatIndex _stringIndex;
    std::vector<std::pair<uint64_t, uint64_t>> _paths;
    std::vector<std::string_view> _pathTexts;
    _FlatIndex _pathIndex;
    std::vector<std::string_view> _values;
    _FlatIndex _valueIndex;
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
    size_t PathCount() const { return _pathEntries.size(); }

    // A path's text, put together from its pieces (within the budget
    // checked when the table was read).
    std::string PathText(uint64_t i) const
    {
        std::string text(_pathLengths[i], '\0');
        for (uint64_t entry = i + 1; entry; entry = _pathEntries[entry - 1].first) {
            const std::string_view piece = _strings[_pathEntries[entry - 1].second];
            const size_t end = _pathLengths[entry - 1];
            text.replace(end - piece.size(), piece.size(), piece.data(), piece.size());
        }
        return text;
    }
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
        _pathLengths.reserve(count);
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
            const size_t length = (prefix ? _pathLengths[prefix - 1] : 0) +
                                  _strings[piece].size();
            if (length > _textBudget) {
                return _Fail("paths add up to more text than the frame can hold");
            }
            _textBudget -= length;
            _pathLengths.push_back(length);
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
            if (path < 0 || static_cast<uint64_t>(path) >= _pathEntries.size()) {
                return _Fail("operation " + std::to_string(i) + ": path index " +
                             std::to_string(path) + " past the table's " +
                             std::to_string(_pathEntries.size()));
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
            if (oldPath < 0 || static_cast<uint64_t>(oldPath) >= _pathEntries.size()) {
                return _Fail("old path index " + std::to_string(oldPath) +
                             " past the table's " + std::to_string(_pathEntries.size()));
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
        const std::string text = PathText(i);
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
        std::vector<char> used(_pathEntries.size(), 0);
        for (const _RawOp& op : _ops) {
            used[op.path] = 1;
            if (op.type == SyncOp::MoveNode) {
                used[op.second] = 1;
            }
        }
        for (uint64_t i = _pathEntries.size(); i-- > 0;) {
            if (used[i] && _pathEntries[i].first) {
                used[_pathEntries[i].first - 1] = 1;
            }
        }
        _paths.resize(_pathEntries.size());
        for (uint64_t i = 0; i < _pathEntries.size(); ++i) {
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
                return _Fail(where + "'" + PathText(op.path) +
                             "' is not an absolute path");
            }
            if (op.type == SyncOp::MoveNode && _paths[op.second].IsEmpty()) {
                return _Fail(where + "'" + PathText(op.second) +
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
    std::vector<size_t> _pathLengths;
    std::vector<std::string_view> _valueBytes;
    std::vector<_RawOp> _ops;
    std::vector<SdfPath> _paths;
    std::vector<TfToken> _tokens;
    std::vector<VtValue> _values;
};

} // namespace

namespace {

// CoalesceOps' rule, backwards: a SetField or EraseField is left out when a
// later one of the same node and field follows with no create, erase or
// move of that node in between. The fields already seen on a node are a
// bit mask when the frame names few fields, as it nearly always does.
void _Coalesce(const SyncOpList& ops, size_t first, const std::vector<uint32_t>& pathIds,
               const std::vector<uint32_t>& secondIds, const _Tables& tables,
               std::vector<char>* keep)
{
    const size_t n = pathIds.size();
    std::vector<int32_t> bit(tables.StringCount(), -1);
    int32_t fields = 0;
    for (size_t i = 0; i < n; ++i) {
        const SyncOp::SyncOpType type = ops[first + i].opType;
        if ((type == SyncOp::SetField || type == SyncOp::EraseField) &&
            bit[secondIds[i]] < 0) {
            bit[secondIds[i]] = fields++;
        }
    }
    std::vector<uint64_t> masks;
    std::vector<std::vector<uint32_t>> lists;
    if (fields <= 64) {
        masks.assign(tables.PathCount(), 0);
    } else {
        lists.resize(tables.PathCount());
    }
    auto seen = [&](uint32_t path, uint32_t field) {
        if (!masks.empty()) {
            const uint64_t flag = uint64_t(1) << bit[field];
            const bool was = masks[path] & flag;
            masks[path] |= flag;
            return was;
        }
        auto& list = lists[path];
        if (std::find(list.begin(), list.end(), field) != list.end()) {
            return true;
        }
        list.push_back(field);
        return false;
    };
    auto forget = [&](uint32_t path) {
        if (!masks.empty()) {
            masks[path] = 0;
        } else {
            lists[path].clear();
        }
    };
    for (size_t i = n; i-- > 0;) {
        switch (ops[first + i].opType) {
        case SyncOp::SetField:
        case SyncOp::EraseField:
            if (seen(pathIds[i], secondIds[i])) {
                (*keep)[i] = 0;
            }
            break;
        case SyncOp::MoveNode:
            forget(secondIds[i]);
            forget(pathIds[i]);
            break;
        default:
            forget(pathIds[i]);
            break;
        }
    }
}

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
        _Coalesce(ops, first, pathIds, secondIds, tables, &keep);
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
    std::vector<std::string> texts(reader.PathCount());
    auto text = [&](uint64_t i) -> const std::string& {
        if (texts[i].empty()) {
            texts[i] = reader.PathText(i);
        }
        return texts[i];
    };
    ops->reserve(reader.Ops().size());
    for (const _RawOp& raw : reader.Ops()) {
        SyncOp op;
        op.opType = raw.type;
        op.nodePath = text(raw.path);
        switch (raw.type) {
        case SyncOp::CreateNode:
            op.nodeType = raw.nodeType;
            break;
        case SyncOp::SetField:
            op.fieldName.assign(reader.String(raw.second));
            op.fieldValue = _Packed(reader.ValueBytes(raw.value));
            break;
        case SyncOp::MoveNode:
            op.oldNodePath = text(raw.second);
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
    // Everything is checked; from here on every operation applies. Nodes
    // and fields are built through the store's non-recording edits, with
    // the values unpacked once; moves and erasures, rare in a frame, go
    // through ApplySyncOp itself, so they are applied exactly as a
    // received SyncOp would be.
    for (const _RawOp& op : reader.Ops()) {
        const SdfPath& path = reader.Path(op.path);
        switch (op.type) {
        case SyncOp::CreateNode:
            target->CreateNode(path, static_cast<SdfSpecType>(op.nodeType));
            break;
        case SyncOp::SetField:
            target->SetField(path, reader.Token(op.second), reader.Value(op.value));
            break;
        default: {
            SyncOp received;
            received.opType = op.type;
            received.nodePath = path.GetString();
            if (op.type == SyncOp::MoveNode) {
                received.oldNodePath = reader.Path(op.second).GetString();
            } else if (op.type == SyncOp::EraseField) {
                received.fieldName = reader.Token(op.second).GetString();
            }
            target->ApplySyncOp(received);
            break;
        }
        }
    }
    *applied = reader.Ops().size();
    return true;
}

} // namespace vela
