//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_FRAME_HEADER_H
#define VELA_SYNC_FRAME_HEADER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vela {

/// The header of a session frame in its common form, the one a live
/// session reads by the thousand: version 2, its check matching, an
/// operations or leave frame without flags, an ASCII origin and base of
/// fewer than 128 bytes each, a frame number of at most four bytes, and a
/// leave frame's body the empty one. docs/wireFormat.md gives the layout;
/// the client's general reader (wire.DecodeFrame) reads every other frame
/// and refuses what it must, with the same result for the frames both
/// read.
struct FrameHeader
{
    /// Frame kinds, as the header writes them.
    enum Kind : uint8_t
    {
        KindOps = 0,
        KindSnapshot = 1,
        KindLeave = 2,
    };

    uint8_t kind = KindOps;
    std::string_view origin;
    uint64_t seq = 0;
    std::string_view base;
    /// The body: bytes [bodyBegin, bodyEnd) of the frame.
    size_t bodyBegin = 0;
    size_t bodyEnd = 0;

    /// Reads the header of the \p size bytes at \p data into \p header
    /// (its views point into \p data) when the frame is whole and in the
    /// common form; false for anything else, \p header then unspecified.
    /// Never reads outside the bytes given.
    static bool ReadCommon(const uint8_t* data, size_t size,
                           FrameHeader* header);

    /// Appends to \p out a whole version 2 frame: the header (\p kind,
    /// \p flags, \p origin, \p seq, \p base), \p extra (what the layout
    /// puts between the header and the body: a snapshot's table of
    /// senders, a compressed body's inflated length), \p body, then the
    /// check over all of it. The one writer of the layout; what to put in
    /// \p flags and \p extra is the caller's.
    static void Write(uint8_t kind, uint8_t flags, std::string_view origin,
                      uint64_t seq, std::string_view base,
                      std::string_view extra, std::string_view body,
                      std::string* out);
};

} // namespace vela

#endif // VELA_SYNC_FRAME_HEADER_H
