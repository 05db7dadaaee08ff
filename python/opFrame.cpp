//
// Copyright 2026 vela contributors
//
#include "python/opFrame.h"

#include "sync/packedData.h"
#include "sync/valueHandler.h"

#include <pxr/sdf/path.h>
#include <pxr/sdf/types.h>

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

int64_t _UnZigZag(uint64_t value)
{
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

// Interns the strings, paths and values of one frame, in first-use order.
class _Tables
{
public:
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

    uint64_t Value(std::string_view bytes)
    {
        auto found = _valueIndex.find(bytes);
        if (found != _valueIndex.end()) {
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

class _Decoder
{
public:
    _Decoder(const uint8_t* data, size_t size) : _in(data, size) {}

    bool Run(SyncOpList* ops, std::string* error)
    {
        const bool ok = _ReadTables() && _ReadOps(ops);
        if (!ok) {
            *error = _error + " (at byte " + std::to_string(_in.Offset()) + ")";
            ops->clear();
        }
        return ok;
    }

private:
    bool _Fail(std::string what)
    {
        _error = std::move(what);
        return false;
    }

    bool _ReadTables()
    {
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
        _paths.reserve(count);
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
            std::string text =
                prefix ? _paths[prefix - 1] : std::string();
            text.append(_strings[piece]);
            _paths.push_back(std::move(text));
        }
        _pathState.assign(_paths.size(), _Unchecked);
        if (!_in.Count(&count)) {
            return _Fail("value count runs past the end");
        }
        _values.resize(count);
        for (auto& bytes : _values) {
            if (!_in.Bytes(&bytes)) {
                return _Fail("value runs past the end");
            }
        }
        _valueState.assign(_values.size(), _Unchecked);
        return true;
    }

    bool _ReadOps(SyncOpList* ops)
    {
        uint64_t count = 0;
        if (!_in.Count(&count)) {
            return _Fail("operation count runs past the end");
        }
        ops->clear();
        ops->reserve(count);
        for (uint64_t i = 0; i < count; ++i) {
            SyncOp op;
            if (!_ReadOp(&op)) {
                _error = "operation " + std::to_string(i) + ": " + _error;
                return false;
            }
            ops->push_back(std::move(op));
        }
        if (_in.Remaining() != 0) {
            return _Fail(std::to_string(_in.Remaining()) +
                         " bytes after the last operation");
        }
        return true;
    }

    bool _ReadOp(SyncOp* op)
    {
        uint8_t type = 0;
        if (!_in.Byte(&type)) {
            return _Fail("runs past the end");
        }
        if (type > SyncOp::EraseField) {
            return _Fail("unknown operation type " + std::to_string(type));
        }
        op->opType = static_cast<SyncOp::SyncOpType>(type);
        if (!_ReadPath(&op->nodePath)) {
            return false;
        }
        switch (op->opType) {
        case SyncOp::CreateNode: {
            uint64_t zigzag = 0;
            if (!_in.Varint(&zigzag)) {
                return _Fail("node type runs past the end");
            }
            const int64_t nodeType = _UnZigZag(zigzag);
            if (nodeType <= SdfSpecTypeUnknown || nodeType >= SdfNumSpecTypes) {
                return _Fail("unknown spec type " + std::to_string(nodeType));
            }
            op->nodeType = static_cast<int32_t>(nodeType);
            return true;
        }
        case SyncOp::SetField:
            return _ReadField(&op->fieldName) && _ReadValue(&op->fieldValue);
        case SyncOp::MoveNode:
            return _ReadPath(&op->oldNodePath);
        case SyncOp::EraseField:
            return _ReadField(&op->fieldName);
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

    bool _ReadPath(std::string* path)
    {
        uint64_t index = 0;
        if (!_Index(_paths.size(), &index, "path")) {
            return false;
        }
        const std::string& text = _paths[index];
        if (_pathState[index] == _Unchecked) {
            _pathState[index] = !text.empty() && text[0] == '/' &&
                SdfPath::IsValidPathString(text) ? _Good : _Bad;
        }
        if (_pathState[index] == _Bad) {
            return _Fail("'" + text + "' is not an absolute path");
        }
        *path = text;
        return true;
    }

    bool _ReadField(std::string* field)
    {
        uint64_t index = 0;
        if (!_Index(_strings.size(), &index, "field name")) {
            return false;
        }
        if (_strings[index].empty()) {
            return _Fail("empty field name");
        }
        field->assign(_strings[index]);
        return true;
    }

    // A value is unpacked once, to see that it can be; zero bytes stand for
    // the empty value, as the recorder gives it for a type it cannot pack.
    bool _ReadValue(PackedData* value)
    {
        uint64_t index = 0;
        if (!_Index(_values.size(), &index, "value")) {
            return false;
        }
        const std::string_view bytes = _values[index];
        const uint8_t* begin = reinterpret_cast<const uint8_t*>(bytes.data());
        PackedData packed(bytes.size() >= 2 ? begin[0] : 0,
                          bytes.size() >= 2 && begin[1] != 0,
                          std::vector<uint8_t>(begin, begin + bytes.size()));
        if (_valueState[index] == _Unchecked) {
            _valueState[index] = bytes.empty() ||
                !ValueHandler::GetInstance().UnpackVtValue(packed).IsEmpty()
                ? _Good : _Bad;
        }
        if (_valueState[index] == _Bad) {
            return _Fail("value " + std::to_string(index) + " does not unpack");
        }
        *value = std::move(packed);
        return true;
    }

    enum _State : uint8_t { _Unchecked, _Good, _Bad };

    _Cursor _in;
    std::string _error;
    std::vector<std::string_view> _strings;
    std::vector<std::string> _paths;
    std::vector<_State> _pathState;
    std::vector<std::string_view> _values;
    std::vector<_State> _valueState;
};

} // namespace

std::string OpFrame::Encode(const SyncOpList& ops)
{
    _Tables tables;
    std::string body;
    body.reserve(ops.size() * 6);
    for (const SyncOp& op : ops) {
        body.push_back(static_cast<char>(op.opType));
        _PutVarint(&body, tables.Path(op.nodePath));
        switch (op.opType) {
        case SyncOp::CreateNode:
            _PutVarint(&body, _ZigZag(op.nodeType));
            break;
        case SyncOp::SetField:
            _PutVarint(&body, tables.String(op.fieldName));
            _PutVarint(&body, tables.Value(_View(op.fieldValue)));
            break;
        case SyncOp::MoveNode:
            _PutVarint(&body, tables.Path(op.oldNodePath));
            break;
        case SyncOp::EraseField:
            _PutVarint(&body, tables.String(op.fieldName));
            break;
        default:
            break;
        }
    }
    std::string out;
    out.reserve(body.size() + ops.size() * 16);
    tables.Write(&out);
    _PutVarint(&out, ops.size());
    out.append(body);
    return out;
}

bool OpFrame::Decode(const uint8_t* data, size_t size, SyncOpList* ops,
                     std::string* error)
{
    return _Decoder(data, size).Run(ops, error);
}

} // namespace vela
