//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SEEDED_PATH_HASH_H
#define VELA_SYNC_SEEDED_PATH_HASH_H

#include <pxr/usd/sdf/path.h>

#include <cstddef>
#include <cstdint>

namespace vela {

/// A hash of SdfPath for open-addressing tables, with a seed of its own
/// per table.
///
/// A linear-probing table slows to quadratic time when keys arrive in the
/// order of another table that places them by the same hash: each key
/// lands at the front of a growing run and shifts the whole run. That
/// order comes about without anyone iterating: freeing a table's paths in
/// its bucket order hands their path nodes, and so their hashes, to the
/// next paths created, in that same order. A sync layer authored after
/// another was freed hit exactly that. Each default-constructed hash
/// takes the next seed, so no two tables share an order; a copied table
/// keeps its seed along with its layout.
class SeededPathHash
{
public:
    SeededPathHash();

    size_t operator()(const pxr::SdfPath& path) const
    {
        return Mix(pxr::SdfPath::Hash()(path) ^ _seed);
    }

    /// A 64-bit finalizer: every bit of the input reaches every bit of
    /// the output, the low bits a power-of-two table uses included.
    static uint64_t Mix(uint64_t x)
    {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        x *= 0xc4ceb9fe1a85ec53ULL;
        x ^= x >> 33;
        return x;
    }

private:
    uint64_t _seed;
};

} // namespace vela

#endif // VELA_SYNC_SEEDED_PATH_HASH_H
