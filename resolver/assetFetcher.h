//
// Copyright 2026 vela contributors
//
#ifndef VELA_RESOLVER_ASSET_FETCHER_H
#define VELA_RESOLVER_ASSET_FETCHER_H

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

// The callback is a Python object; the header stays free of Python.h.
struct _object;
typedef _object PyObject;

namespace vela {

/// Outcome of one fetch, stored as these numbers.
enum AssetFetchStatus : int32_t
{
    kPending = 0, ///< fetch started (or download still running), outcome not
    ///< yet known
    kFetched = 1, ///< the asset is on local disk at resolvedPath
    kFailed = 2, ///< the fetch failed
    kInvalid = 3, ///< no such fetch is known, or waiting for it timed out
};

/// The record of one fetch, a plain value.
struct AssetFetchResult
{
    AssetFetchStatus status = kInvalid;
    /// First argument of the FetchAsset call that produced the record.
    std::string assetPath;
    /// Path returned by the fetch callback; empty when the fetch failed.
    std::string resolvedPath;
    /// Wall-clock seconds just before the callback was called.
    std::time_t startTime = 0;
    /// Wall-clock seconds after the callback returned, re-stamped by
    /// ReportFetchResult; 0 while a download the callback handed back as
    /// still running is pending.
    std::time_t endTime = 0;
};

/// The process-wide bridge between the asset resolver and the fetch routine
/// a Python client registers.
///
/// FetchAsset hands a missing asset to the client's callback and records
/// the outcome under the path the callback returned, findable by that path
/// and by the asset it was fetched for; WaitForFetchStatus waits (at most
/// 10 s) until such a record is no longer pending. One asset is fetched by
/// one callback call at a time: callers asking for it meanwhile wait for
/// that call and get its result. The tables are only touched under the
/// fetcher's mutex, which is never held while Python runs or while the
/// interpreter lock is being taken; whoever waits lets go of the
/// interpreter lock first. The callback is only examined, called or
/// replaced with the interpreter lock held. A process without an
/// initialised interpreter gets a clean fetch failure, never a call into
/// Python. Nothing is thrown to the caller.
class AssetFetcher
{
public:
    /// The single fetcher, created exactly once, on first call.
    static std::shared_ptr<AssetFetcher> GetInstance();

    /// The record returned for unknown paths and timed-out waits: status
    /// kInvalid, empty strings, zero times.
    static const AssetFetchResult k_InvalidResult;

    AssetFetcher(const AssetFetcher&) = delete;
    AssetFetcher& operator=(const AssetFetcher&) = delete;
    /// Drops the reference to the callback (only while an interpreter is
    /// still up; at process exit after finalisation it is left alone).
    ~AssetFetcher();

    /// Registers \p callback, which is called as callback(assetPath,
    /// localPath) and must return the local path (a str) of the fetched
    /// asset, or (path, kPending) for a download that is still running
    /// (finished later with ReportFetchResult), or (path, kFetched). The
    /// caller holds the interpreter lock. Returns false and logs
    /// "AssetFetcher::setOnFetchCallback: Callback not a function." for a
    /// non-callable object, keeping the previous callback; logs an info
    /// line when an earlier callback is replaced.
    bool SetOnFetchCallback(PyObject* callback);

    /// Asks the callback to fetch \p assetPath into \p localPath and
    /// returns the local path it reports, or an empty string on failure.
    /// Answered without a callback when \p assetPath is a path an earlier
    /// fetch returned, when the same asset (\p assetPath into \p localPath)
    /// is pending, and when it was fetched and its local file is still
    /// there. While a callback fetches the asset, later callers wait for
    /// it (however long it takes) and return its result; a callback that
    /// asks for its own asset again fails with an error line. Only
    /// successful fetches are recorded: status kFetched, or kPending for a
    /// download handed back as still running. Failures (no interpreter, no
    /// callback, a callback that raises or returns anything else) log an
    /// error line; a callback returning "" fails silently. Takes the
    /// interpreter lock itself, on whatever thread it runs.
    std::string FetchAsset(const std::string& assetPath,
                           const std::string& localPath);

    /// Waits until the record of \p path is no longer pending, re-checking
    /// at least every 100 ms, for at most 10 s, and returns a copy of it
    /// read under the lock. A caller holding the interpreter lock lets go
    /// of it meanwhile. Unknown paths and timeouts give
    /// k_InvalidResult and an error line.
    AssetFetchResult WaitForFetchStatus(const std::string& path);

    /// Marks the record of \p path fetched, re-stamps its endTime and wakes
    /// every waiter. A path no record has yet, reported while a callback
    /// runs, is kept for the record that callback may return (a download
    /// that finished before its callback returned); once no callback runs,
    /// such a path, or any unknown one, only logs an error line.
    void ReportFetchResult(const std::string& path);

    /// A copy of the record of \p path, or k_InvalidResult if there is
    /// none; never waits and never logs. For clients that poll.
    AssetFetchResult GetFetchResult(const std::string& path) const;

private:
    // Lets the tests plant records that the public operations never leave
    // behind (still pending), to exercise the wait.
    friend class AssetFetcherTestAccess;

    AssetFetcher();

    // One callback call in progress for an asset. Its caller owns it; later
    // callers wait until done and take resolvedPath.
    struct _Flight
    {
        std::thread::id owner;
        bool done = false;
        std::string resolvedPath;
    };

    // Examines and calls the callback; the caller holds the interpreter
    // lock. Fills status and resolvedPath of record.
    void _CallCallback(const std::string& localPath, AssetFetchResult& record);

    // What the tables already know of the asset under key, with _mutex
    // held: true and the local path, or false when it must be fetched.
    bool _FindKnown(const std::string& assetPath, const std::string& key,
                    std::string* resolvedPath);

    // Stores what flight's callback returned, ends the flight and wakes
    // its waiters.
    void _Land(const std::string& key, const std::shared_ptr<_Flight>& flight,
               AssetFetchResult record);

    // The registered callback; null until the first one is accepted.
    PyObject* _callback;
    // Records by the local path the callback returned.
    std::unordered_map<std::string, AssetFetchResult> _results;
    // The local path in _results of each asset fetched, by asset key.
    std::unordered_map<std::string, std::string> _byAsset;
    // Callback calls in progress, by asset key.
    std::unordered_map<std::string, std::shared_ptr<_Flight>> _flights;
    // Paths reported before their callback returned them.
    std::unordered_set<std::string> _earlyReports;
    mutable std::mutex _mutex;
    // Signalled by reports and by finished callback calls.
    std::condition_variable _reported;

    static std::shared_ptr<AssetFetcher> m_Instance;
};

} // namespace vela

#endif // VELA_RESOLVER_ASSET_FETCHER_H
