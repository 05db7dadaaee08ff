//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_OP_FRAME_TABLES_H
#define VELA_SYNC_OP_FRAME_TABLES_H

#include "sync/flatIndex.h"

#include <cstddef>
#include <cstdint>
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
};

} // namespace vela

#endif // VELA_SYNC_OP_FRAME_TABLES_H
