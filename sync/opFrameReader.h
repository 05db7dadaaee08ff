//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_OP_FRAME_READER_H
#define VELA_SYNC_OP_FRAME_READER_H

#include "sync/opFrameCursor.h"
#include "sync/syncOp.h"

#include <pxr/usd/sdf/path.h>
#include <pxr/base/tf/token.h>
#include <pxr/base/vt/value.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vela {

/// Reads a frame body (docs/wireFormat.md): its tables and operations,
/// every length, count and index checked, then each path, field name and
/// value that an operation uses resolved once (paths to SdfPaths, names to
/// tokens, values unpacked) and every operand checked by SyncData's
/// checks, in operation order. The reader holds views into the body, which
/// must outlive it. Internal to libvelaUsdSync.
class OpFrameReader
{
public:
    /// One operation as read, its operands still table indices.
    struct Op
    {
        SyncOp::SyncOpType type;
        uint64_t path;
        uint64_t second; // field (SetField, EraseField) or old path (MoveNode)
        uint64_t value; // SetField
        int64_t nodeType; // CreateNode, as read: checked when resolved
        uint64_t base; // SetField with a base: its value; NoBase otherwise
    };

    static constexpr uint64_t NoBase = UINT64_MAX;

    /// The most paths, and field names, a reader keeps from body to body.
    static constexpr size_t CacheLimit = 4096;
    /// Only bodies of at most this many paths keep theirs.
    static constexpr size_t KeptTableMax = 256;

    /// With \p bases the body ends with the bases section (version 2
    /// frames only).
    OpFrameReader(const uint8_t* data, size_t size, bool bases = false);

    /// Starts over on another body, as a new reader would, keeping the
    /// room its tables took: a reader used for frame after frame
    /// allocates nothing once it has read the largest, and builds a path
    /// or field name it built for an earlier body from what it kept (up to
    /// CacheLimit of each, for the reader's life). Reset to an empty body
    /// lets go of the paths, tokens and values the last body built.
    void Reset(const uint8_t* data, size_t size, bool bases = false);

    /// Reads and checks the whole body; on the first fault, false with
    /// \p error saying what and where.
    bool Run(std::string* error);

    const std::vector<Op>& Ops() const { return _ops; }
    size_t PathCount() const { return _pathEntries.size(); }

    /// A path's text, put together from its pieces (within the budget
    /// checked when the table was read).
    std::string PathText(uint64_t i) const;

    const pxr::SdfPath& Path(uint64_t i) const { return _paths[i]; }
    std::string_view String(uint64_t i) const { return _strings[i]; }
    const pxr::TfToken& Token(uint64_t i) const { return _tokens[i]; }
    const pxr::VtValue& Value(uint64_t i) const { return _values[i]; }
    std::string_view ValueBytes(uint64_t i) const { return _valueBytes[i]; }

private:
    bool _Fail(std::string what);
    bool _ReadTables();
    bool _ReadOps();
    bool _ReadSecond(Op* op);
    bool _ReadBases();
    bool _Index(size_t size, uint64_t* index, const char* what);
    // Path \p i of the table, kept for later bodies with \p keep.
    pxr::SdfPath _BuildPath(uint64_t i, bool keep);
    // A prim or property path one name below \p parent, from \p piece
    // ('/' or '.' and the name); empty when the fast way does not apply.
    pxr::SdfPath _AppendPiece(const pxr::SdfPath& parent,
                              std::string_view piece, bool keep);
    const pxr::TfToken& _FieldToken(std::string_view name);
    bool _Resolve();
    // Builds every path that an operation, or a path built on it, uses.
    void _ResolvePaths();
    // Whether path \p i resolved; if not, says why in \p message.
    bool _CheckPath(uint64_t i, std::string* message) const;
    // Checks the operands of \p op as SyncData does.
    bool _CheckOperands(const Op& op, std::string* message);
    // Checks the field name (and value) of a field edit, once each.
    bool _CheckField(const Op& op, const pxr::SdfPath& path,
                     std::string* message);
    // Unpacks and checks value \p value of the table, once.
    bool _CheckValue(uint64_t value, const Op& op, const pxr::SdfPath& path,
                     std::string* message);

    OpFrameCursor _in;
    bool _bases = false;
    uint64_t _opCount = 0;
    size_t _textBudget = 0;
    std::string _error;
    std::vector<std::string_view> _strings;
    std::vector<std::pair<uint64_t, uint64_t>> _pathEntries;
    std::vector<size_t> _pathLengths;
    std::vector<std::string_view> _valueBytes;
    std::vector<Op> _ops;
    std::vector<char> _pathUsed;
    std::vector<pxr::SdfPath> _paths;
    std::vector<pxr::TfToken> _tokens;
    std::vector<pxr::VtValue> _values;
    // Which field names and values have been checked.
    std::vector<char> _tokenDone;
    std::vector<char> _valueDone;

    // What earlier bodies built: a reader taking frame after frame of a
    // live session meets the same few paths and names again and again, and
    // making a token or path from text takes a trip through OpenUSD's
    // registries each time.
    struct _PieceHash
    {
        size_t operator()(const std::pair<pxr::SdfPath, std::string>& key) const
        {
            return pxr::SdfPath::Hash()(key.first) ^
                   (std::hash<std::string>()(key.second) *
                    0x9e3779b97f4a7c15ull);
        }
    };
    std::unordered_map<std::pair<pxr::SdfPath, std::string>, pxr::SdfPath,
                       _PieceHash>
        _builtPaths;
    std::pair<pxr::SdfPath, std::string> _pieceKey;
    std::unordered_map<std::string, pxr::TfToken> _builtTokens;
    std::string _nameKey;
};

} // namespace vela

#endif // VELA_SYNC_OP_FRAME_READER_H
