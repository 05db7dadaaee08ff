//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_OP_FRAME_TABLES_H
#define VELA_SYNC_OP_FRAME_TABLES_H

#include "sync/flatIndex.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vela {

/// The string, path and value tables of one frame being encoded, each
/// entry interned once in first-use order (docs/wireFormat.md). The tables
/// hold views into the operations being encoded, which must outlive them.
/// Internal to libvelaUsdSync.
class OpFrameTables
{
public:
    /// Room for a frame of \p n operations.
    explicit OpFrameTables(size_t n);

    size_t PathCount() const { return _paths.size(); }
    size_t StringCount() const { return _strings.size(); }

    /// The index of \p text in the string table, added if new.
    uint64_t String(std::string_view text)
    {
        bool inserted = false;
        const uint64_t index =
            _stringIndex.FindOrInsert(text, _strings, &inserted);
        if (inserted) {
            _strings.push_back(text);
        }
        return index;
    }

    /// The index of the path \p text in the path table, added with every
    /// prefix not yet there (each split after its last '/' or '.').
    uint64_t Path(std::string_view text);

    /// The index of the value \p bytes, and whether this is its first use
    /// (it is then the next index in the table).
    uint64_t Value(std::string_view bytes, bool* isNew)
    {
        const uint64_t index = _valueIndex.FindOrInsert(bytes, _values, isNew);
        if (*isNew) {
            _values.push_back(bytes);
        }
        return index;
    }

    /// As String, for a text that need not outlive the call: a new one is
    /// copied into storage of the tables' own.
    uint64_t OwnedString(std::string_view text);

    /// As Value, for bytes that need not outlive the call.
    uint64_t OwnedValue(std::string_view bytes, bool* isNew);

    /// Appends the path whose text is path \p prefix - 1's (none for 0)
    /// followed by string \p piece, and returns its index, without looking
    /// for an equal path: for a writer that knows each of its paths is new.
    /// Path does not find paths added this way.
    uint64_t AppendPath(uint64_t prefix, uint64_t piece)
    {
        _paths.emplace_back(prefix, piece);
        return _paths.size() - 1;
    }

    /// Appends the three tables: strings, paths, values.
    void Write(std::string* out) const;

private:
    std::vector<std::string_view> _strings;
    FlatIndex _stringIndex;
    std::vector<std::pair<uint64_t, uint64_t>> _paths;
    std::vector<std::string_view> _pathTexts;
    FlatIndex _pathIndex;
    std::vector<std::string_view> _values;
    FlatIndex _valueIndex;
    // The texts and bytes of OwnedString and OwnedValue; a deque does not
    // move what it holds as it grows.
    std::deque<std::string> _owned;
};

} // namespace vela

#endif // VELA_SYNC_OP_FRAME_TABLES_H
