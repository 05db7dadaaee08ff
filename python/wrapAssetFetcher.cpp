//
// Copyright 2026 vela contributors
//
// Python wrapping of the fetcher: the client registers its fetch routine,
// reports finished fetches and looks up their records. Calls that lock the
// fetcher's table or wait release the interpreter lock first, so that a
// resolver thread needing it for the callback is never blocked by us.

#include "resolver/assetFetcher.h"

#include <pxr/base/tf/pyLock.h>

#include <pxr/external/boost/python/args.hpp>
#include <pxr/external/boost/python/class.hpp>
#include <pxr/external/boost/python/def.hpp>
#include <pxr/external/boost/python/enum.hpp>
#include <pxr/external/boost/python/object.hpp>

#include <string>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

bool _SetOnFetchCallback(const object& callback)
{
    // Runs with the interpreter lock held, as the fetcher requires.
    return AssetFetcher::GetInstance()->SetOnFetchCallback(callback.ptr());
}

void _ReportFetchResult(const std::string& path)
{
    TF_PY_ALLOW_THREADS_IN_SCOPE();
    AssetFetcher::GetInstance()->ReportFetchResult(path);
}

AssetFetchResult _GetFetchResult(const std::string& path)
{
    TF_PY_ALLOW_THREADS_IN_SCOPE();
    return AssetFetcher::GetInstance()->GetFetchResult(path);
}

AssetFetchResult _WaitForFetchStatus(const std::string& path)
{
    TF_PY_ALLOW_THREADS_IN_SCOPE();
    return AssetFetcher::GetInstance()->WaitForFetchStatus(path);
}

AssetFetchStatus _GetStatus(const AssetFetchResult& r)
{
    return r.status;
}
std::string _GetAssetPath(const AssetFetchResult& r)
{
    return r.assetPath;
}
std::string _GetResolvedPath(const AssetFetchResult& r)
{
    return r.resolvedPath;
}
long long _GetStartTime(const AssetFetchResult& r)
{
    return r.startTime;
}
long long _GetEndTime(const AssetFetchResult& r)
{
    return r.endTime;
}

} // namespace

void wrapAssetFetcher()
{
    enum_<AssetFetchStatus>(
        "AssetFetchStatus",
        "Outcome of a fetch: kPending (0), kFetched (1), kFailed (2),\n"
        "kInvalid (3, no such fetch known, or the wait timed out).")
        .value("kPending", kPending)
        .value("kFetched", kFetched)
        .value("kFailed", kFailed)
        .value("kInvalid", kInvalid);

    class_<AssetFetchResult>(
        "AssetFetchResult",
        "A copy of the record of one fetch (read-only). Times are wall-clock\n"
        "seconds; endTime is re-stamped by ReportFetchResult.",
        no_init)
        .add_property("status", &_GetStatus, "The AssetFetchStatus.")
        .add_property("assetPath", &_GetAssetPath,
                      "The blob path the resolver asked for.")
        .add_property("resolvedPath", &_GetResolvedPath,
                      "The local path the fetch callback returned.")
        .add_property("startTime", &_GetStartTime,
                      "When the callback was called (seconds since the epoch).")
        .add_property(
            "endTime", &_GetEndTime,
            "When the callback returned or the fetch was last reported.");

    def("SetOnFetchCallback", &_SetOnFetchCallback, (arg("callback")),
        "SetOnFetchCallback(callback) -> bool\n\n"
        "Registers the fetch routine. OpenUSD calls callback(assetPath,\n"
        "localPath) (both str) on whatever thread resolves a missing asset,\n"
        "once per asset at a time (threads asking for it meanwhile wait for\n"
        "that call); it must put the asset under localPath and return its\n"
        "local path as a str. A callback that leaves a download running\n"
        "returns (path, AssetFetchStatus.kPending) instead and calls\n"
        "ReportFetchResult(path) once the file is written; opening the\n"
        "asset waits for that (at most 10 s). Returning '' reports a\n"
        "failure quietly; raising or returning anything else is logged and\n"
        "printed, and the asset is left unresolved. Returns False (and\n"
        "keeps the previous callback) when callback is not callable. A\n"
        "second callable replaces the first.");

    def("ReportFetchResult", &_ReportFetchResult, (arg("path")),
        "ReportFetchResult(path)\n\n"
        "Marks the fetch recorded under the local path `path` as finished\n"
        "and wakes whoever waits to open it: the end of a download the\n"
        "callback handed back as pending. A report that comes before its\n"
        "callback has returned the path is kept for it; an unknown path is\n"
        "only logged.");

    def("GetFetchResult", &_GetFetchResult, (arg("path")),
        "GetFetchResult(path) -> AssetFetchResult\n\n"
        "The record of the fetch stored under the local path `path`, or one\n"
        "with status kInvalid if there is none. Never waits. An extension\n"
        "for clients beyond the fetcher's C++ surface.");

    def("WaitForFetchStatus", &_WaitForFetchStatus, (arg("path")),
        "WaitForFetchStatus(path) -> AssetFetchResult\n\n"
        "Waits (at most 10 s, with the interpreter lock released) until the\n"
        "fetch recorded under `path` is no longer pending and returns its\n"
        "record; kInvalid for unknown paths and timeouts.");
}

} // namespace vela
