//
// Copyright 2026 vela contributors
//
#include "sync/opFrameTables.h"

#include "sync/opFrameEncoding.h"

namespace vela {

// A layer built from nothing has about one new path per four operations,
// one new value per twenty.
OpFrameTables::OpFrameTables(size_t n)
    : _stringIndex(n / 16 + 16)
    , _pathIndex(n / 4 + 16)
    , _valueIndex(n / 16 + 16)
{}

// Any split reads back the same text; splitting after the last '/' or '.'
// makes siblings share their parent. Walks up to the longest prefix already
// known, then interns downwards (no recursion: a path may be deep).
uint64_t OpFrameTables::Path(std::string_view text)
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
        const int64_t parent =
            _pathIndex.Find(text.substr(0, split), _pathTexts);
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
        const uint64_t index =
            _pathIndex.FindOrInsert(current, _pathTexts, &inserted);
        _pathTexts.push_back(current);
        _paths.emplace_back(prefix, piece);
        prefix = index + 1;
    }
    return prefix - 1;
}

uint64_t OpFrameTables::OwnedString(std::string_view text)
{
    const int64_t known = _stringIndex.Find(text, _strings);
    if (known >= 0) {
        return static_cast<uint64_t>(known);
    }
    _owned.emplace_back(text);
    return String(_owned.back());
}

uint64_t OpFrameTables::OwnedValue(std::string_view bytes, bool* isNew)
{
    const int64_t known = _valueIndex.Find(bytes, _values);
    if (known >= 0) {
        *isNew = false;
        return static_cast<uint64_t>(known);
    }
    _owned.emplace_back(bytes);
    return Value(_owned.back(), isNew);
}

void OpFrameTables::Write(std::string* out) const
{
    OpFramePutVarint(out, _strings.size());
    for (std::string_view text : _strings) {
        OpFramePutBytes(out, text);
    }
    OpFramePutVarint(out, _paths.size());
    for (const auto& entry : _paths) {
        OpFramePutVarint(out, entry.first);
        OpFramePutVarint(out, entry.second);
    }
    OpFramePutVarint(out, _values.size());
    for (std::string_view bytes : _values) {
        OpFramePutBytes(out, bytes);
    }
}

} // namespace vela
