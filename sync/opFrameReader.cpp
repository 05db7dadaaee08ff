//
// Copyright 2026 vela contributors
//
#include "sync/opFrameReader.h"

#include "sync/opFrameEncoding.h"
#include "sync/syncData.h"

#include <algorithm>

using namespace pxr;

namespace vela {

// Prefixes let a small frame describe very long texts: the paths may add
// up to 64 times the body's size, and at least 64 MiB.
OpFrameReader::OpFrameReader(const uint8_t* data, size_t size, bool bases)
    : _in(data, size)
{
    Reset(data, size, bases);
}

void OpFrameReader::Reset(const uint8_t* data, size_t size, bool bases)
{
    _in = OpFrameCursor(data, size);
    _bases = bases;
    _opCount = 0;
    _textBudget = std::max<size_t>(64u << 20, size * 64);
    _error.clear();
    _strings.clear();
    _pathEntries.clear();
    _pathLengths.clear();
    _valueBytes.clear();
    _ops.clear();
    _pathUsed.clear();
    _paths.clear();
    _tokens.clear();
    _values.clear();
    _tokenDone.clear();
    _valueDone.clear();
}

bool OpFrameReader::Run(std::string* error)
{
    if (_ReadTables() && _ReadOps() && _Resolve()) {
        return true;
    }
    *error = _error;
    return false;
}

std::string OpFrameReader::PathText(uint64_t i) const
{
    std::string text(_pathLengths[i], '\0');
    for (uint64_t entry = i + 1; entry; entry = _pathEntries[entry - 1].first) {
        const std::string_view piece = _strings[_pathEntries[entry - 1].second];
        const size_t end = _pathLengths[entry - 1];
        text.replace(end - piece.size(), piece.size(), piece.data(),
                     piece.size());
    }
    return text;
}

bool OpFrameReader::_Fail(std::string what)
{
    _error =
        std::move(what) + " (at byte " + std::to_string(_in.Offset()) + ")";
    return false;
}

bool OpFrameReader::_ReadTables()
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
        const size_t length =
            (prefix ? _pathLengths[prefix - 1] : 0) + _strings[piece].size();
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
bool OpFrameReader::_ReadOps()
{
    const uint64_t count = _opCount;
    if (count > _in.Remaining()) {
        return _Fail("operation count runs past the end");
    }
    _ops.resize(count);
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t type = 0;
        _in.Byte(&type); // in range: count <= what remains
        std::string message;
        if (!SyncData::CheckOpType(type, &message)) {
            return _Fail("operation " + std::to_string(i) + ": " + message);
        }
        _ops[i] = Op{static_cast<SyncOp::SyncOpType>(type), 0, 0, 0, 0, NoBase};
    }
    int64_t path = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t zigzag = 0;
        if (!_in.Varint(&zigzag)) {
            return _Fail("operation " + std::to_string(i) +
                         ": path index runs past the end");
        }
        path += OpFrameUnZigZag(zigzag);
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
            return _Fail(
                "operation " + std::to_string(i) + ": value index " +
                std::to_string(index) + " past the " +
                std::to_string(value == 0 ? _valueBytes.size() : nextNew) +
                " values it may use");
        }
        _ops[i].value = index;
    }
    if (_bases && !_ReadBases()) {
        return false;
    }
    if (_in.Remaining() != 0) {
        return _Fail(std::to_string(_in.Remaining()) +
                     " bytes after the last operation");
    }
    return true;
}

// Each base names a later SetField than the one before it and an entry of
// the value table.
bool OpFrameReader::_ReadBases()
{
    uint64_t count = 0;
    if (!_in.Count(&count)) {
        return _Fail("base count runs past the end");
    }
    if (count > _ops.size()) {
        return _Fail("base count " + std::to_string(count) + " above the " +
                     std::to_string(_ops.size()) + " operations");
    }
    uint64_t next = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t gap = 0, value = 0;
        if (!_in.Varint(&gap) || !_in.Varint(&value)) {
            return _Fail("base " + std::to_string(i) + " runs past the end");
        }
        if (gap >= _ops.size() - next) {
            return _Fail("base " + std::to_string(i) +
                         " names an operation past the " +
                         std::to_string(_ops.size()));
        }
        Op& op = _ops[next + gap];
        if (op.type != SyncOp::SetField) {
            return _Fail("base " + std::to_string(i) + " names operation " +
                         std::to_string(next + gap) + ", not a SetField");
        }
        if (value >= _valueBytes.size()) {
            return _Fail("base " + std::to_string(i) + ": value index " +
                         std::to_string(value) + " past the table's " +
                         std::to_string(_valueBytes.size()));
        }
        op.base = value;
        next += gap + 1;
    }
    return true;
}

bool OpFrameReader::_ReadSecond(Op* op)
{
    uint64_t operand = 0;
    switch (op->type) {
    case SyncOp::CreateNode: {
        if (!_in.Varint(&operand)) {
            return _Fail("node type runs past the end");
        }
        op->nodeType = OpFrameUnZigZag(operand);
        return true;
    }
    case SyncOp::SetField:
    case SyncOp::EraseField:
        return _Index(_strings.size(), &op->second, "field name");
    case SyncOp::MoveNode: {
        if (!_in.Varint(&operand)) {
            return _Fail("old path index runs past the end");
        }
        const int64_t oldPath =
            static_cast<int64_t>(op->path) + OpFrameUnZigZag(operand);
        if (oldPath < 0 ||
            static_cast<uint64_t>(oldPath) >= _pathEntries.size()) {
            return _Fail("old path index " + std::to_string(oldPath) +
                         " past the table's " +
                         std::to_string(_pathEntries.size()));
        }
        op->second = static_cast<uint64_t>(oldPath);
        return true;
    }
    default:
        return true;
    }
}

bool OpFrameReader::_Index(size_t size, uint64_t* index, const char* what)
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
// text); anything else is parsed whole by SyncData's check, which leaves a
// path it refuses empty.
SdfPath OpFrameReader::_BuildPath(uint64_t i, bool keep)
{
    const uint64_t prefix = _pathEntries[i].first;
    const std::string_view piece = _strings[_pathEntries[i].second];
    if (piece.size() >= 2) {
        SdfPath path = _AppendPiece(prefix ? _paths[prefix - 1]
                                           : SdfPath::AbsoluteRootPath(),
                                    piece, keep);
        if (!path.IsEmpty()) {
            return path;
        }
    } else if (piece == "/" && !prefix) {
        return SdfPath::AbsoluteRootPath();
    }
    SdfPath path;
    SyncData::CheckNodePath(PathText(i), &path, nullptr);
    return path;
}

SdfPath OpFrameReader::_AppendPiece(const SdfPath& parent,
                                    std::string_view piece, bool keep)
{
    if (parent.IsEmpty()) {
        return SdfPath();
    }
    if (keep) {
        _pieceKey.first = parent;
        _pieceKey.second.assign(piece);
        const auto found = _builtPaths.find(_pieceKey);
        if (found != _builtPaths.end()) {
            return found->second;
        }
    }
    const std::string name(piece.substr(1));
    SdfPath path;
    if (piece[0] == '/' && parent.IsAbsoluteRootOrPrimPath() &&
        SdfPath::IsValidIdentifier(name)) {
        path = parent.AppendChild(TfToken(name));
    } else if (piece[0] == '.' && parent.IsPrimPath() &&
               SdfPath::IsValidNamespacedIdentifier(name)) {
        path = parent.AppendProperty(TfToken(name));
    }
    if (!keep || path.IsEmpty()) {
        return path;
    }
    if (_builtPaths.size() >= CacheLimit) {
        _builtPaths.clear();
    }
    _builtPaths.emplace(_pieceKey, path);
    return path;
}

const TfToken& OpFrameReader::_FieldToken(std::string_view name)
{
    _nameKey.assign(name);
    auto found = _builtTokens.find(_nameKey);
    if (found == _builtTokens.end()) {
        if (_builtTokens.size() >= CacheLimit) {
            _builtTokens.clear();
        }
        found = _builtTokens.emplace(_nameKey, TfToken(_nameKey)).first;
    }
    return found->second;
}

bool OpFrameReader::_Resolve()
{
    _ResolvePaths();
    _tokens.resize(_strings.size());
    _values.resize(_valueBytes.size());
    _tokenDone.assign(_strings.size(), 0);
    _valueDone.assign(_valueBytes.size(), 0);
    // The operands in operation order, each refused as SyncData refuses it.
    for (size_t n = 0; n < _ops.size(); ++n) {
        std::string message;
        if (!_CheckOperands(_ops[n], &message)) {
            return _Fail("operation " + std::to_string(n) + ": " + message);
        }
    }
    return true;
}

void OpFrameReader::_ResolvePaths()
{
    // Prefixes precede the paths built on them, so one pass in table
    // order resolves them all; a prefix used by no operation is still
    // resolved, as its children are built on it.
    std::vector<char>& used = _pathUsed;
    used.assign(_pathEntries.size(), 0);
    for (const Op& op : _ops) {
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
    // A large body (a snapshot, a late joiner's first frames) builds
    // paths it will not meet again: kept, they would only push out the
    // few that every live frame names.
    const bool keep = _pathEntries.size() <= KeptTableMax;
    _paths.resize(_pathEntries.size());
    for (uint64_t i = 0; i < _pathEntries.size(); ++i) {
        if (used[i]) {
            _paths[i] = _BuildPath(i, keep);
        }
    }
}

bool OpFrameReader::_CheckPath(uint64_t i, std::string* message) const
{
    if (!_paths[i].IsEmpty()) {
        return true;
    }
    SdfPath refused;
    SyncData::CheckNodePath(PathText(i), &refused, message);
    return false;
}

bool OpFrameReader::_CheckOperands(const Op& op, std::string* message)
{
    if (!_CheckPath(op.path, message)) {
        return false;
    }
    const SdfPath& path = _paths[op.path];
    switch (op.type) {
    case SyncOp::CreateNode:
        return SyncData::CheckSpecType(op.nodeType, path, message);
    case SyncOp::MoveNode:
        return _CheckPath(op.second, message);
    case SyncOp::SetField:
    case SyncOp::EraseField:
        return _CheckField(op, path, message);
    default:
        return true;
    }
}

bool OpFrameReader::_CheckField(const Op& op, const SdfPath& path,
                                std::string* message)
{
    // A field name or value used again is checked once.
    if (!_tokenDone[op.second]) {
        if (!SyncData::CheckFieldName(_strings[op.second], path, message)) {
            return false;
        }
        _tokens[op.second] = _FieldToken(_strings[op.second]);
        _tokenDone[op.second] = 1;
    }
    if (op.type != SyncOp::SetField) {
        return true;
    }
    if (!_CheckValue(op.value, op, path, message)) {
        return false;
    }
    if (op.base == NoBase) {
        return true;
    }
    return _CheckValue(op.base, op, path, message) &&
           SyncData::CheckFieldBase(_values[op.value], _values[op.base],
                                    _strings[op.second], path, message);
}

bool OpFrameReader::_CheckValue(uint64_t value, const Op& op,
                                const SdfPath& path, std::string* message)
{
    if (_valueDone[value]) {
        return true;
    }
    if (!SyncData::CheckFieldValue(OpFramePackedOf(_valueBytes[value]),
                                   _strings[op.second], path, &_values[value],
                                   message)) {
        return false;
    }
    _valueDone[value] = 1;
    return true;
}

} // namespace vela
