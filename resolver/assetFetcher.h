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
#include <unordered_map>

// The callback is a Python object; the header stays free of Python.h.
struct _object;
typedef _object PyObject;

namespace vela {

/// Outcome of one fetch, stored as these numbers.
enum AssetFetchStatus : int32_t
{
    kPending = 0, ///< fetch started, outcome not yet known
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
    /// ReportFetchResult; 0 until then.
    std::time_t endTime = 0;
};

/// The process-wide bridge between the asset resolver and the fetch routine
/// a Python client registers.
///
/// FetchAsset hands a missing asset to the client's callback and records
/// the outcome under the path the callback returned; WaitForFetchStatus
/// waits (at most 10 s) until such a record is no longer pending. The
/// result table is only touched under the fetcher's mutex, which is never
/// held while Python runs; the callback is only examined, called or
/// replaced with the Python interpreter lock held. A process without an
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
    /// asset. The caller holds the interpreter lock. Returns false and logs
    /// "AssetFetcher::setOnFetchCallback: Callback not a function." for a
    /// non-callable object, keeping the previous callback; logs an info
    /// line when an earlier callback is replaced.
    bool SetOnFetchCallback(PyObject* callback);

    /// Asks the callback to fetch \p assetPath into \p localPath and
    /// returns the local path it reports, or an empty string on failure.
    /// A path that is already a key of the table is answered from it
    /// without a callback. Only successful fetches are recorded (under the
    /// returned path, status kFetched). Failures (no interpreter, no
    /// callback, a callback that raises or returns anything but a str)
    /// log an error line; a callback returning "" fails silently.
    /// Takes the interpreter lock itself, on whatever thread it runs.
    std::string FetchAsset(const std::string& assetPath,
                           const std::string& localPath);

    /// Waits until the record of \p path is no longer pending, re-checking
    /// at least every 100 ms, for at most 10 s, and returns a copy of it
    /// read under the lock. Unknown paths and timeouts give
    /// k_InvalidResult and an error line.
    AssetFetchResult WaitForFetchStatus(const std::string& path);

    /// Marks the record of \p path fetched, re-stamps its endTime and wakes
    /// every waiter. An unknown path only logs an error line.
    void ReportFetchResult(const std::string& path);

    /// A copy of the record of \p path, or k_InvalidResult if there is
    /// none; never waits and never logs. For clients that poll.
    AssetFetchResult GetFetchResult(const std::string& path) const;

private:
    // Lets the tests plant records that the public operations never leave
    // behind (still pending), to exercise the wait.
    friend class AssetFetcherTestAccess;

    AssetFetcher();

    // Examines and calls the callback; the caller holds the interpreter
    // lock. Fills status and resolvedPath of record.
    void _CallCallback(const std::string& localPath, AssetFetchResult& record);

    // The registered callback; null until the first one is accepted.
    PyObject* _callback;
    std::unordered_map<std::string, AssetFetchResult> _results;
    mutable std::mutex _mutex;
    std::condition_variable _reported;

    static std::shared_ptr<AssetFetcher> m_Instance;
};

} // namespace vela

#endif // VELA_RESOLVER_ASSET_FETCHER_H
