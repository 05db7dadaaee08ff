//
// Copyright 2026 vela contributors
//
#include "sync/seededPathHash.h"

#include <atomic>

namespace vela {

namespace {

std::atomic<uint64_t> g_nextSeed{0};

} // namespace

SeededPathHash::SeededPathHash()
    // Consecutive counts, spread over all 64 bits; the sequence, and so
    // the tables' iteration order, is the same from one run to the next.
    : _seed(Mix((g_nextSeed.fetch_add(1, std::memory_order_relaxed) + 1) *
                0x9e3779b97f4a7c15ULL))
{}

} // namespace vela
