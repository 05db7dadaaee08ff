// Spec tables place paths by a hash seeded per table, so that the order
// one table frees its paths in is no bad order for the next. A robin-hood
// table that takes keys in an order a same-hashed table handed on shifts
// long runs on every insert; the count of bucket steps below is what the
// real table would walk.
#include "sync/seededPathHash.h"

#include <pxr/base/tf/pxrTslRobinMap/robin_map.h>
#include <pxr/base/tf/token.h>
#include <pxr/usd/sdf/path.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace pxr;
using vela::SeededPathHash;

namespace {

// Bucket steps taken inserting the hashes in order into a robin-hood
// table that doubles past 80% full, as the spec table does.
uint64_t RobinHoodSteps(const std::vector<size_t>& hashes)
{
    std::vector<size_t> buckets(16);
    std::vector<bool> used(16);
    size_t count = 0;
    uint64_t steps = 0;
    auto insert = [&steps](std::vector<size_t>& table, std::vector<bool>& full,
                           size_t hash) {
        const size_t mask = table.size() - 1;
        size_t i = hash & mask;
        size_t distance = 0;
        while (full[i]) {
            const size_t resident = (i - (table[i] & mask)) & mask;
            if (resident < distance) {
                std::swap(table[i], hash);
                distance = resident;
            }
            i = (i + 1) & mask;
            ++distance;
            ++steps;
        }
        table[i] = hash;
        full[i] = true;
    };
    for (size_t hash : hashes) {
        if ((count + 1) * 5 > buckets.size() * 4) {
            std::vector<size_t> grown(buckets.size() * 2);
            std::vector<bool> grownUsed(grown.size());
            for (size_t i = 0; i < buckets.size(); ++i) {
                if (used[i]) {
                    insert(grown, grownUsed, buckets[i]);
                }
            }
            buckets.swap(grown);
            used.swap(grownUsed);
        }
        insert(buckets, used, hash);
        ++count;
    }
    return steps;
}

std::vector<SdfPath> ScenePaths(int groups, int primsPerGroup)
{
    std::vector<SdfPath> paths;
    const TfToken weight("weight");
    const TfToken points("points");
    for (int g = 0; g < groups; ++g) {
        const SdfPath group("/G" + std::to_string(g));
        paths.push_back(group);
        for (int p = 0; p < primsPerGroup; ++p) {
            const SdfPath prim =
                group.AppendChild(TfToken("P" + std::to_string(p)));
            paths.push_back(prim);
            paths.push_back(prim.AppendProperty(weight));
            paths.push_back(prim.AppendProperty(points));
        }
    }
    return paths;
}

std::vector<size_t> Hashes(const std::vector<SdfPath>& paths,
                           const SeededPathHash& hash)
{
    std::vector<size_t> hashes;
    hashes.reserve(paths.size());
    for (const SdfPath& path : paths) {
        hashes.push_back(hash(path));
    }
    return hashes;
}

} // namespace

TEST(SeededPathHash, CopiesAgreeAndNewTablesDiffer)
{
    const SdfPath path("/World/Mesh.points");
    const SeededPathHash first;
    const SeededPathHash copy = first;
    const SeededPathHash second;
    EXPECT_EQ(first(path), copy(path));
    EXPECT_EQ(first(path), first(SdfPath("/World/Mesh.points")));
    EXPECT_NE(first(path), second(path));
}

// Rounds of what a process authoring one sync layer after another does:
// paths are created and put in a table in creation order, then the table
// is freed, and its paths with it, in the table's own order. The freed
// path nodes, hashes and all, go to the next round's paths. Returns the
// most bucket steps per key that any round's inserts took.
namespace {

double WorstStepsPerKey(int rounds, bool hashPerTable)
{
    SeededPathHash shared;
    double worst = 0.0;
    for (int round = 0; round < rounds; ++round) {
        const SeededPathHash hash = hashPerTable ? SeededPathHash() : shared;
        std::vector<SdfPath> paths = ScenePaths(1000, 100);
        const std::vector<size_t> hashes = Hashes(paths, hash);
        worst = std::max(worst, double(RobinHoodSteps(hashes)) / hashes.size());
        pxr::pxr_tsl::robin_map<SdfPath, int, SeededPathHash> table(0, hash);
        for (const SdfPath& path : paths) {
            table.emplace(path, 0);
        }
        paths.clear();
    }
    return worst;
}

} // namespace

TEST(SeededPathHash, TablesFreedOneAfterAnotherLeaveNoBadOrder)
{
    // About 3.5 steps a key in a fresh process, in any round.
    const double seeded = WorstStepsPerKey(4, true);
    EXPECT_LT(seeded, 8.0);
    // One hash for every table, as an unseeded path hash is: the order a
    // freed table hands on is a bad one for the next. How bad depends on
    // how much of the freed memory the allocator hands back in order (20
    // to 170 steps a key seen), so the control is held against the seeded
    // figure of the same process rather than a fixed count.
    EXPECT_GT(WorstStepsPerKey(4, false), 3.0 * seeded);
}
