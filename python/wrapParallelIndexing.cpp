//
// Copyright 2026 vela contributors
//
// A Python door to OpenUSD's parallel prim indexing, which pxr's Pcp module
// does not offer. The workers resolve assets and may need the interpreter
// lock for the fetch callback, so the lock is released while they run.
// Fetches wait on the network rather than on a core, so a concurrency
// limit above the machine's cores (Work.SetConcurrencyLimit) is honoured:
// TBB's implicit arena never grows past the cores, so the indexing then
// runs in an arena of that size.

#include <pxr/usd/pcp/cache.h>
#include <pxr/usd/pcp/errors.h>
#include <pxr/usd/pcp/primIndex.h>
#include <pxr/usd/sdf/path.h>
#include <pxr/base/tf/pyLock.h>

#include <pxr/external/boost/python/args.hpp>
#include <pxr/external/boost/python/def.hpp>
#include <pxr/external/boost/python/extract.hpp>
#include <pxr/external/boost/python/list.hpp>
#include <pxr/external/boost/python/object.hpp>
#include <pxr/external/boost/python/stl_iterator.hpp>

#include <tbb/global_control.h>
#include <tbb/task_arena.h>

#include <string>
#include <vector>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

list _ComputePrimIndexesInParallel(PcpCache& cache, const object& paths)
{
    SdfPathVector roots;
    for (stl_input_iterator<object> it(paths), end; it != end; ++it) {
        extract<SdfPath> asPath(*it);
        roots.push_back(asPath.check() ? asPath()
                                       : SdfPath(extract<std::string>(*it)()));
    }

    PcpErrorVector errors;
    auto compute = [&cache, &roots, &errors] {
        cache.ComputePrimIndexesInParallel(
            roots, &errors,
            [](const PcpPrimIndex&, TfTokenVector*) { return true; },
            [](const SdfPath&) { return true; });
    };
    {
        TF_PY_ALLOW_THREADS_IN_SCOPE();
        const int limit = static_cast<int>(tbb::global_control::active_value(
            tbb::global_control::max_allowed_parallelism));
        if (limit > tbb::this_task_arena::max_concurrency()) {
            tbb::task_arena arena(limit);
            arena.execute(compute);
        } else {
            compute();
        }
    }

    list messages;
    for (const PcpErrorBasePtr& error : errors) {
        messages.append(error->ToString());
    }
    return messages;
}

} // namespace

void wrapParallelIndexing()
{
    def("ComputePrimIndexesInParallel", &_ComputePrimIndexesInParallel,
        (arg("cache"), arg("paths")),
        "ComputePrimIndexesInParallel(cache, paths) -> list of str\n\n"
        "Computes the prim indexes of the Pcp.Cache `cache` for the subtrees\n"
        "rooted at `paths` (Sdf.Path or str) on OpenUSD's worker threads,\n"
        "including every payload, and returns the composition errors as\n"
        "text. The interpreter lock is released meanwhile, so the fetch\n"
        "callback can run on the workers. Work.SetConcurrencyLimit sets how\n"
        "many there are, also beyond the machine's cores (fetches wait on\n"
        "the network). An extension beyond the fetcher and resolver\n"
        "surface, for clients that compose from Python.");
}

} // namespace vela
